// Tests of the UI server alone: a socket.io client stands in for the view.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { request } from 'node:http';
import { createRequire } from 'node:module';
import { connect } from 'node:net';
import { networkInterfaces } from 'node:os';
import { join } from 'node:path';
import { repoRoot, startUiServer, stopAll } from './harness.mjs';

const require = createRequire(join(repoRoot, 'tools/ui-server/package.json'));
const { io } = require('socket.io-client');

const TIMEOUT = 10000;

// A socket.io client that records everything it receives: a view, or a page
// with auth {role: 'ui'}; both show the server's token.
async function connectClient(ui, auth = {}) {
  const socket = io(ui.url, { auth: { token: ui.token, ...auth }, reconnectionDelay: 100, reconnectionDelayMax: 500 });
  const client = { socket, received: [], listeners: new Set() };
  socket.onAny((event, ...args) => {
    client.received.push({ event, args });
    for (const listener of client.listeners) listener();
  });
  await new Promise((resolve, reject) => {
    socket.once('connect', resolve);
    socket.once('connect_error', reject);
  });
  const kind = auth.role === 'ui' ? 'page' : 'view';
  await ui.waitForLog((r) => r[kind] === 'connected' && r.id === socket.id, { timeout: TIMEOUT });
  return client;
}

function waitForClient(client, find, what) {
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      client.listeners.delete(check);
      reject(new Error(`timed out waiting for ${what}; received: ${JSON.stringify(client.received)}`));
    }, TIMEOUT);
    function check() {
      const found = find();
      if (found === undefined) return;
      clearTimeout(timer);
      client.listeners.delete(check);
      resolve(found);
    }
    client.listeners.add(check);
    check();
  });
}

function nextReceived(client, event, { after = 0, count = 1 } = {}) {
  return waitForClient(client, () => {
    const found = client.received.slice(after).filter((r) => r.event === event);
    return found.length >= count ? found.slice(0, count) : undefined;
  }, `${count} "${event}" events after #${after}`);
}

// Messages the view received from `after` up to a sentinel command, so that
// "nothing else arrived" needs no quiet period.
async function messagesUntilSentinel(ui, view, after) {
  const sentinel = `sentinel ${after}`;
  await ui.send(sentinel);
  const messages = () => view.received.slice(after).filter((r) => r.event === 'message').map((r) => r.args);
  await waitForClient(view, () => messages().find((args) => args[0] === sentinel), `"${sentinel}"`);
  const all = messages();
  return all.slice(0, all.findIndex((args) => args[0] === sentinel));
}

// With the token and a JSON content type unless `headers` says otherwise (null removes one).
function rawHttp(ui, method, path, body, headers = {}) {
  const sent = Object.fromEntries(Object.entries({
    Authorization: `Bearer ${ui.token}`, 'Content-Type': 'application/json', ...headers,
  }).filter(([, value]) => value !== null));
  return new Promise((resolve, reject) => {
    const req = request({ host: ui.host ?? 'localhost', port: ui.port, method, path, headers: sent }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks).toString() }));
    });
    req.on('error', reject);
    req.end(body);
  });
}

function runServer(args, env = {}) {
  const child = spawn(process.execPath, [join(repoRoot, 'tools/ui-server/server.mjs'), ...args], {
    env: { ...process.env, PORT: '', ...env },
    stdio: ['pipe', 'pipe', 'pipe'],
  });
  const out = { child, stdout: '', stderr: '' };
  child.stdout.on('data', (d) => { out.stdout += d; });
  child.stderr.on('data', (d) => { out.stderr += d; });
  out.exit = new Promise((resolve) => child.on('close', (code, signal) => resolve({ code, signal })));
  return out;
}

describe('UI server with a view and a page connected', () => {
  let ui;
  let view;
  let page;

  before(async () => {
    ui = await startUiServer();
    view = await connectClient(ui);
    page = await connectClient(ui, { role: 'ui' });
  });
  after(async () => {
    view?.socket.close();
    page?.socket.close();
    await stopAll();
  });

  test('prints the listening line first and counts views and pages apart', async () => {
    // ::1 is left out, with a warning, where the machine has no IPv6 loopback.
    const { addresses, ...first } = ui.log[0];
    assert.deepEqual(first, { listening: ui.port, page: `http://localhost:${ui.port}/?token=${ui.token}` });
    assert.deepEqual(addresses.filter((a) => a !== '::1'), ['127.0.0.1']);
    assert.deepEqual(await ui.status(), { views: 1, pages: 1 });
  });

  test('commands sent over HTTP reach the view verbatim and in order', async () => {
    const texts = [
      'reset',
      'readStl 1 /tmp/a  b.stl',
      'Opacity 1 ',
      ' leading space',
      'openSTLFile /tmp/模型 ü é /tmp/模型 ü é/x.step',
      '',
    ];
    const start = view.received.length;
    const logStart = ui.log.length;
    for (const text of texts) assert.deepEqual(await ui.send(text), { views: 1 });
    const got = await nextReceived(view, 'message', { after: start, count: texts.length });
    assert.deepEqual(got.map((r) => r.args), texts.map((t) => [t]));
    const sentLog = ui.log.slice(logStart).filter((r) => r.sent !== undefined);
    assert.deepEqual(sentLog.map((r) => [r.sent, r.views]), texts.map((t) => [t, 1]));
  });

  test('standard input lines are commands with only the line terminator removed', async () => {
    const start = view.received.length;
    ui.writeStdin('reset\na  b \r\n\nü é\n');
    // A character split across two writes must not be mangled.
    const split = Buffer.from('später\n');
    ui.writeStdin(split.subarray(0, 3));
    await new Promise((r) => setTimeout(r, 50));
    ui.writeStdin(split.subarray(3));
    await nextReceived(view, 'message', { after: start, count: 4 });
    assert.deepEqual(await messagesUntilSentinel(ui, view, start), [['reset'], ['a  b '], ['ü é'], ['später']]);
  });

  test('/emit sends arbitrary JSON arguments unchanged', async () => {
    const cases = [[42], [{ a: [1, 'x'] }, null], [], [true, 0.5]];
    const start = view.received.length;
    for (const args of cases) assert.deepEqual(await ui.emitRaw('message', args), { views: 1 });
    const got = await nextReceived(view, 'message', { after: start, count: cases.length });
    assert.deepEqual(got.map((r) => r.args), cases);

    const customStart = view.received.length;
    await ui.emitRaw('spring', ['s', 2]);
    assert.deepEqual((await nextReceived(view, 'spring', { after: customStart }))[0].args, ['s', 2]);

    const stdinStart = view.received.length;
    ui.writeStdin('/emit {"event":"message","args":[3.5]}\n');
    assert.deepEqual((await nextReceived(view, 'message', { after: stdinStart }))[0].args, [3.5]);
  });

  test('bad requests get a 400 and a diagnostic, and the server keeps working', async () => {
    const bodies = [
      'not json',
      '[]',
      'null',
      '{"args":[1]}',
      '{"event":"","args":[]}',
      '{"event":"message","args":5}',
      '{"event":"disconnect","args":[]}',
    ];
    for (const body of bodies) {
      const stderrBefore = ui.stderrLines.length;
      const res = await rawHttp(ui, 'POST', '/emit', body);
      assert.equal(res.status, 400, body);
      assert.equal(typeof JSON.parse(res.body).error, 'string', body);
      await ui.waitForStderr(/^ui-server: POST \/emit: /, { after: stderrBefore, timeout: TIMEOUT });
    }
    const invalidUtf8 = await rawHttp(ui, 'POST', '/command', Buffer.from([0x61, 0xff, 0x62]));
    assert.equal(invalidUtf8.status, 400);

    const stderrBefore = ui.stderrLines.length;
    ui.writeStdin('/emit {oops\n');
    await ui.waitForStderr(/^ui-server: stdin \/emit \{oops: malformed JSON/, { after: stderrBefore, timeout: TIMEOUT });

    const start = view.received.length;
    assert.deepEqual(await messagesUntilSentinel(ui, view, start), []);
    assert.equal(ui.proc.exitInfo, null);
  });

  test('HTTP routes: page, client library, status, and nothing outside public/', async () => {
    const pageRes = await rawHttp(ui, 'GET', '/');
    assert.equal(pageRes.status, 200);
    assert.match(pageRes.headers['content-type'], /text\/html/);
    assert.match(pageRes.body, /<script src="\/socket.io\/socket.io.js">/);
    for (const preset of ['readModelSTL <file> 1 1 1 0 1', 'openSTLFile <root> <file.step>', 'solidPickup']) {
      assert.ok(pageRes.body.includes(preset), preset);
    }
    assert.equal((await rawHttp(ui, 'GET', '/socket.io/socket.io.js')).status, 200);
    assert.equal((await rawHttp(ui, 'GET', '/command')).status, 405);
    assert.equal((await rawHttp(ui, 'POST', '/status', 'x')).status, 405);
    for (const path of ['/nope', '/../server.mjs', '/..%2fserver.mjs', '/%2e%2e/package.json', '/%E0%A4%A']) {
      const res = await rawHttp(ui, 'GET', path);
      assert.ok(res.status === 404 || res.status === 400, `${path} -> ${res.status}`);
      assert.doesNotMatch(res.body, /import|"dependencies"/, path);
    }
  });

  test('events from the view are logged as JSON lines and forwarded to pages', async () => {
    const mark = ui.mark();
    const pageStart = page.received.length;
    const emitted = [
      ['ready', []],
      ['message', ['4 1.000000 0.500000 0.000000 1.000000']],
      ['spring', [1, 'x', { k: [2] }]],
      ['Eigenvalue', [null]],
    ];
    for (const [event, args] of emitted) view.socket.emit(event, ...args);
    view.socket.emit('id', 7, () => {});
    const last = await ui.waitFor({ event: 'id' });
    assert.deepEqual(last.args, [7], 'an acknowledgement callback is not an argument');
    const logged = ui.events.slice(mark);
    assert.deepEqual(logged.map((e) => [e.event, e.args]), [...emitted, ['id', [7]]]);
    for (const e of logged) assert.ok(Number.isInteger(e.t) && e.t >= 0, JSON.stringify(e));

    const replies = await nextReceived(page, 'reply', { after: pageStart, count: emitted.length + 1 });
    assert.deepEqual(replies.map((r) => r.args[0]), [...emitted, ['id', [7]]].map(([event, args]) => ({ event, args })));
  });

  test('a page command reaches the view, and pages see every command sent', async () => {
    const start = view.received.length;
    const pageStart = page.received.length;
    const ack = await page.socket.timeout(TIMEOUT).emitWithAck('command', 'facePickup');
    assert.deepEqual(ack, { views: 1 });
    const [message] = await nextReceived(view, 'message', { after: start });
    assert.deepEqual(message.args, ['facePickup']);
    await ui.send('reset');
    const sent = await nextReceived(page, 'sent', { after: pageStart, count: 2 });
    assert.deepEqual(sent.map((s) => s.args[0]), [
      { text: 'facePickup', views: 1, source: 'page' },
      { text: 'reset', views: 1, source: 'http' },
    ]);

    const afterValid = view.received.length;
    const stderrBefore = ui.stderrLines.length;
    page.socket.emit('command', 42);
    assert.deepEqual(await messagesUntilSentinel(ui, view, afterValid), []);
    assert.ok(ui.stderrLines.slice(stderrBefore).some((l) => /not a string/.test(l)), ui.stderrLines.join('\n'));
  });

  test('a view leaving is logged, and commands then report no views', async () => {
    const pageStart = page.received.length;
    const id = view.socket.id;
    view.socket.close();
    const record = await ui.waitForLog((r) => r.view === 'disconnected' && r.id === id, { timeout: TIMEOUT });
    assert.equal(typeof record.reason, 'string');
    assert.deepEqual(await ui.send('reset'), { views: 0 });
    assert.ok(ui.log.some((r) => r.sent === 'reset' && r.views === 0));
    const statuses = await nextReceived(page, 'status', { after: pageStart });
    assert.deepEqual(statuses[0].args[0], { views: 0, pages: 1 });
  });
});

describe('who may use the UI server', () => {
  let ui;
  let view;

  before(async () => {
    ui = await startUiServer();
    view = await connectClient(ui);
  });
  after(async () => {
    view?.socket.close();
    await stopAll();
  });

  // The log lines up to the `sent` record of a sentinel command, which the
  // server prints after everything that came before it.
  async function logUntilSentinel(logStart) {
    const sentinel = `sentinel log ${logStart}`;
    await ui.send(sentinel);
    await ui.waitForLog((r) => r.sent === sentinel, { after: logStart, timeout: TIMEOUT });
    return ui.log.slice(logStart);
  }

  test('HTTP without the token, under another host name, from another site or with a form body is refused, logged, not relayed', async () => {
    const body = JSON.stringify({ command: 'SolveModel /bin/false' });
    const cases = [
      ['no token', 'POST', '/command', body, { Authorization: null }, 401],
      ['wrong token', 'POST', '/command', body, { Authorization: `Bearer ${'0'.repeat(64)}` }, 401],
      ['token under another scheme', 'POST', '/command', body, { Authorization: `Basic ${ui.token}` }, 401],
      ['token with a suffix', 'POST', '/command', body, { Authorization: `Bearer ${ui.token}0` }, 401],
      ['no token, /emit', 'POST', '/emit', '{"event":"message","args":["reset"]}', { Authorization: null }, 401],
      ['no token, /status', 'GET', '/status', undefined, { Authorization: null }, 401],
      ['no token, picture', 'GET', '/view.png', undefined, { Authorization: null }, 401],
      ['no token, reference', 'GET', '/commands', undefined, { Authorization: null }, 401],
      ['rebound host name', 'POST', '/command', body, { Host: `evil.example:${ui.port}` }, 403],
      ['rebound host name, the page with the token', 'GET', `/?token=${ui.token}`, undefined, { Host: 'evil.example' }, 403],
      ['own name, another port', 'POST', '/command', body, { Host: `localhost:${ui.port + 1}` }, 403],
      ['another site', 'POST', '/command', body, { Origin: 'http://evil.example' }, 403],
      ['another port of localhost', 'POST', '/command', body, { Origin: `http://localhost:${ui.port + 1}` }, 403],
      ['an opaque origin', 'POST', '/command', body, { Origin: 'null' }, 403],
      ['another site, preflight', 'OPTIONS', '/command', undefined, { Origin: 'http://evil.example' }, 403],
      ['another site, client script', 'GET', '/socket.io/socket.io.js', undefined, { Origin: 'http://evil.example' }, 403],
      ['another site, socket.io handshake', 'GET', '/socket.io/?EIO=4&transport=polling', undefined,
        { Origin: 'http://evil.example' }, 403],
      ['text body', 'POST', '/command', 'SolveModel /bin/false', { 'Content-Type': 'text/plain' }, 415],
      ['form body', 'POST', '/command', 'command=x', { 'Content-Type': 'application/x-www-form-urlencoded' }, 415],
      ['multipart body', 'POST', '/emit', '--x--', { 'Content-Type': 'multipart/form-data; boundary=x' }, 415],
      ['no content type', 'POST', '/command', body, { 'Content-Type': null }, 415],
    ];
    const start = view.received.length;
    const logStart = ui.log.length;
    for (const [label, method, path, requestBody, headers, status] of cases) {
      const res = await rawHttp(ui, method, path, requestBody, headers);
      assert.equal(res.status, status, `${label}: ${res.body}`);
      if (status === 401) assert.match(res.headers['www-authenticate'], /^Bearer /, label);
    }
    assert.deepEqual(await messagesUntilSentinel(ui, view, start), []);
    const refusals = (await logUntilSentinel(logStart)).filter((r) => r.refused !== undefined);
    assert.deepEqual(refusals.map((r) => [r.refused, r.method, r.path]),
      cases.map(([, method, path]) => ['http', method, path.replace(ui.token, '(hidden)')]));
    assert.ok(!JSON.stringify(refusals).includes(ui.token), 'a refusal line shows the token');

    // The server's own names and origins, the page itself without the token, a JSON command.
    for (const [host, origin] of [[`LOCALHOST:${ui.port}`, `http://localhost:${ui.port}`],
      [`127.0.0.1:${ui.port}`, `http://127.0.0.1:${ui.port}`], [`[::1]:${ui.port}`, `http://[::1]:${ui.port}`]]) {
      const res = await rawHttp(ui, 'GET', '/status', undefined, { Host: host, Origin: origin });
      assert.equal(res.status, 200, `${host} ${origin}: ${res.body}`);
    }
    assert.equal((await rawHttp(ui, 'GET', '/', undefined, { Authorization: null })).status, 200);
    const beforeJson = view.received.length;
    const sent = await rawHttp(ui, 'POST', '/command', JSON.stringify({ command: 'reset json' }),
      { 'Content-Type': 'application/json; charset=utf-8' });
    assert.deepEqual([sent.status, JSON.parse(sent.body)], [200, { views: 1 }]);
    await waitForClient(view, () => view.received.slice(beforeJson).find((r) => r.args[0] === 'reset json'),
      'the JSON command');
    for (const wrong of ['"reset"', '{"text":"reset"}', '{"command":5}']) {
      assert.equal((await rawHttp(ui, 'POST', '/command', wrong)).status, 400, wrong);
    }
  });

  test('a socket.io client without the right token, or from another site, is refused and gets no command', async () => {
    const attempts = [
      ['no token', { auth: {} }, /^missing token/],
      ['wrong token', { auth: { token: 'x'.repeat(64) } }, /^wrong token/],
      ['a page without the token', { auth: { role: 'ui' } }, /^missing token/],
      ['wrong token in the query', { query: { token: 'y' } }, /^wrong token/],
      ['another site with the token', { auth: { token: ui.token }, extraHeaders: { Origin: 'http://evil.example' } },
        /poll error|websocket error/],
    ];
    const logStart = ui.log.length;
    const refused = [];
    for (const [label, options, message] of attempts) {
      const socket = io(ui.url, { reconnection: false, ...options });
      const received = [];
      socket.onAny((event) => received.push(event));
      const outcome = await new Promise((resolve) => {
        socket.once('connect', () => resolve('connected'));
        socket.once('connect_error', (err) => resolve(err.message));
      });
      assert.match(outcome, message, label);
      refused.push({ label, socket, received });
    }
    const start = view.received.length;
    await ui.send('reset');
    await nextReceived(view, 'message', { after: start });
    assert.deepEqual((await ui.status()).views, 1);
    for (const { label, socket, received } of refused) {
      assert.deepEqual([socket.connected, received], [false, []], label);
      socket.close();
    }
    const refusals = (await logUntilSentinel(logStart)).filter((r) => r.refused !== undefined);
    assert.deepEqual(refusals.map((r) => [r.refused, r.reason.split(':')[0]]), [
      ['socket.io', 'missing token'], ['socket.io', 'wrong token'], ['socket.io', 'missing token'],
      ['socket.io', 'wrong token'], ['http', 'Origin "http']]);
  });

  test('only the loopback addresses listen, unless --host opens an address of this machine', async (t) => {
    const address = Object.values(networkInterfaces()).flat().find((i) => !i.internal && i.family === 'IPv4')?.address;
    if (!address) {
      process.stderr.write('ui-server: skipping the --host test: this machine has no non-loopback IPv4 address\n');
      t.skip('this machine has no non-loopback IPv4 address to try');
      return;
    }
    const reach = (port) => new Promise((resolve) => {
      const socket = connect({ host: address, port }, () => {
        socket.destroy();
        resolve('connected');
      });
      socket.on('error', (err) => resolve(err.code));
    });
    assert.equal(await reach(ui.port), 'ECONNREFUSED');

    const open = await startUiServer({ args: ['--host', address] });
    assert.deepEqual(open.log[0].addresses.filter((a) => a !== '::1'), ['127.0.0.1', address]);
    await open.waitForStderr(new RegExp(`WARNING: also listening on ${address.replace(/\./g, '\\.')}:${open.port}`));
    const there = { ...open, host: address };
    const own = `${address}:${open.port}`;
    assert.equal((await rawHttp(there, 'GET', '/status', undefined, { Host: own, Origin: `http://${own}` })).status, 200);
    assert.equal((await rawHttp(there, 'GET', '/status', undefined, { Host: own, Authorization: null })).status, 401);
    assert.equal((await rawHttp(open, 'GET', '/status')).status, 200, 'loopback still listens');
    assert.equal((await rawHttp(there, 'GET', '/status', undefined, { Host: `evil.example:${open.port}` })).status, 403);
    assert.equal(await open.stop(), 0);
  });

  test("a page's screenshot replies reach the page; the server's picture requests take only their own", async () => {
    // Stands in for the view's screenshot: a path under /no/such fails.
    let failAll = false;
    view.socket.on('message', (text) => {
      if (typeof text !== 'string' || !text.startsWith('screenshot ')) return;
      const path = text.slice('screenshot '.length);
      view.socket.emit('screenshot', failAll || path.startsWith('/no/such/') ? '' : path);
    });
    const page = await connectClient(ui, { role: 'ui' });
    const screenshotReplies = () => page.received
      .filter((r) => r.event === 'reply' && r.args[0].event === 'screenshot').map((r) => r.args[0].args[0]);
    try {
      page.socket.emit('watchView');
      await nextReceived(page, 'picture');
      // Sent once no picture is pending and the request interval (500 ms) has
      // passed, so the server's next request follows it at once: the failure
      // ('') answers the page's command, the path the server's own request.
      await new Promise((r) => setTimeout(r, 600));
      const pictures = page.received.length;
      page.socket.emit('command', 'screenshot /no/such/dir/a.png');
      await nextReceived(page, 'picture', { after: pictures });
      await nextReceived(page, 'reply', { after: pictures });
      page.socket.emit('command', 'screenshot /tmp/page-shot.png');
      await waitForClient(page, () => (screenshotReplies().length === 2 ? true : undefined), 'two screenshot replies');
      assert.deepEqual(screenshotReplies(), ['', '/tmp/page-shot.png']);

      // The server's own failed request is its own: a warning, no reply to the pages.
      failAll = true;
      const stderrBefore = ui.stderrLines.length;
      await new Promise((r) => setTimeout(r, 600));
      page.socket.emit('refreshView');
      await ui.waitForStderr(/could not take its picture/, { after: stderrBefore, timeout: TIMEOUT });
      page.socket.emit('command', 'screenshot /tmp/page-shot-2.png');
      await waitForClient(page, () => (screenshotReplies().length === 3 ? true : undefined), 'a third screenshot reply');
      assert.deepEqual(screenshotReplies(), ['', '/tmp/page-shot.png', '']);
    } finally {
      page.socket.close();
    }
  });
});

describe('UI server lifecycle', () => {
  after(stopAll);

  test('restarts on the same port; a view reconnects and gets commands', async () => {
    const ui = await startUiServer();
    const view = await connectClient(ui);
    try {
      const port = ui.port;
      const logStart = ui.log.length;
      await ui.restart();
      assert.equal(ui.port, port);
      await ui.waitForLog((r) => r.view === 'connected', { after: logStart, timeout: TIMEOUT });
      const start = view.received.length;
      await ui.send('readStl 1 /tmp/x.stl');
      assert.deepEqual((await nextReceived(view, 'message', { after: start }))[0].args, ['readStl 1 /tmp/x.stl']);
      assert.equal(await ui.stop(), 0);
    } finally {
      view.socket.close();
    }
  });

  test('SIGINT and SIGTERM exit 0', async () => {
    for (const signal of ['SIGINT', 'SIGTERM']) {
      const server = runServer(['--port', '0']);
      await new Promise((resolve) => {
        server.child.stdout.on('data', () => server.stdout.includes('"listening"') && resolve());
      });
      server.child.kill(signal);
      assert.deepEqual(await server.exit, { code: 0, signal: null }, `${signal}: ${server.stderr}`);
    }
  });

  test('bad arguments and a busy port give a one-line diagnostic and a non-zero exit', async () => {
    const ui = await startUiServer();
    const cases = [
      [['--port', 'abc'], {}, 2, /invalid port "abc"/],
      [['--port', '70000'], {}, 2, /invalid port "70000"/],
      [['--port'], {}, 2, /--port needs a value/],
      [['--verbose'], {}, 2, /unknown argument "--verbose"/],
      [[], { PORT: '-1' }, 2, /invalid port "-1" from PORT/],
      [['--host'], {}, 2, /--host needs an address/],
      [['--host='], {}, 2, /--host needs an address/],
      [[], { ORVANE_UI_TOKEN: 'two words' }, 2, /ORVANE_UI_TOKEN must be visible ASCII/],
      // A documentation address (RFC 5737) that is no address of this machine.
      [['--port', '0', '--host', '203.0.113.7'], {}, 1, /cannot listen on 203\.0\.113\.7 port 0: .*EADDRNOTAVAIL/],
      [['--port', String(ui.port)], {}, 1, new RegExp(`port ${ui.port} is already in use`)],
    ];
    for (const [args, env, code, message] of cases) {
      const server = runServer(args, env);
      server.child.stdin.end();
      const exit = await server.exit;
      const label = JSON.stringify({ args, env });
      assert.equal(exit.code, code, `${label}: ${server.stderr}`);
      assert.match(server.stderr, message, label);
      assert.equal(server.stderr.trim().split('\n').length, 1, `${label}: ${server.stderr}`);
      assert.equal(server.stdout, '', label);
    }
  });
});
