// Who reaches the bundled UI server, seen from its real clients: the view
// with and without ORVANE_UI_TOKEN, and pages in a real browser (Debian's
// chromium through npm puppeteer-core, headless), one of them from another
// site on another loopback port.
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/ui-access.test.mjs
// Skipped outside CI when chromium is missing or the view cannot run here,
// unless ORVANE_E2E_REQUIRED is set; then it fails instead.
import { after, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createInterface } from 'node:readline';
import { repoRoot, startUiServer, startView, stopAll, viewSkipReason } from './harness.mjs';

const require = createRequire(join(repoRoot, 'tools/ui-server/package.json'));
const { io } = require('socket.io-client');

const CHROMIUM = process.env.ORVANE_CHROMIUM || '/usr/bin/chromium';
const TIMEOUT = 60000;

const viewSkip = viewSkipReason();
const browserSkip = !existsSync(CHROMIUM) && !process.env.CI && !process.env.ORVANE_E2E_REQUIRED
  && `no browser at ${CHROMIUM} (install Debian's chromium, or set ORVANE_CHROMIUM)`;
for (const reason of [viewSkip, browserSkip]) if (reason) process.stderr.write(`ui-access: skipping: ${reason}\n`);

after(stopAll);

// The protocol tests' own socket.io server, which knows nothing of tokens.
async function startPlainServer() {
  const child = spawn(process.execPath, [join(repoRoot, 'tests/support/sio-test-server.mjs'), '--port', '0'],
    { stdio: ['pipe', 'pipe', 'inherit'] });
  const records = [];
  const waiters = new Set();
  createInterface({ input: child.stdout }).on('line', (line) => {
    records.push(JSON.parse(line));
    for (const check of waiters) check();
  });
  const waitFor = (find, what) => new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      waiters.delete(check);
      reject(new Error(`timed out waiting for ${what}; server printed ${JSON.stringify(records)}`));
    }, TIMEOUT);
    function check() {
      const found = records.find(find);
      if (found === undefined) return;
      clearTimeout(timer);
      waiters.delete(check);
      resolve(found);
    }
    waiters.add(check);
    check();
  });
  const { listening } = await waitFor((r) => r.listening !== undefined, 'the server to listen');
  return { url: `ws://127.0.0.1:${listening}`, waitFor, stop: () => child.stdin.end() };
}

describe('the view and the token', { skip: viewSkip, timeout: 180000 }, () => {
  test('the view joins with the token, is refused without it or with a wrong one, and joins a server without tokens', async () => {
    const ui = await startUiServer();
    const admitted = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { after: 0, timeout: TIMEOUT });

    for (const [token, reason] of [['', 'missing token'], ['f'.repeat(64), 'wrong token']]) {
      const logStart = ui.log.length;
      const refused = await startView({ url: ui.url, env: { ORVANE_UI_TOKEN: token } });
      await ui.waitForLog((r) => r.refused === 'socket.io' && r.reason.startsWith(reason),
        { after: logStart, timeout: TIMEOUT });
      await refused.waitForStderr(new RegExp(`server refused namespace '/': ${reason}`), { timeout: TIMEOUT });
      assert.equal(await refused.stop(), 0);
    }
    assert.deepEqual(await ui.status(), { views: 1, pages: 0 });
    const mark = ui.mark();
    await ui.send('selectId');
    await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout: TIMEOUT });
    assert.equal(ui.events.slice(mark).filter((e) => e.event === 'selectFace').length, 1, 'one view answered');
    assert.equal(await admitted.stop(), 0);

    const plain = await startPlainServer();
    try {
      const view = await startView({ url: plain.url, env: { ORVANE_UI_TOKEN: '' } });
      const joined = await plain.waitFor((r) => r.connect?.nsp === '/', 'the view to join');
      assert.deepEqual(joined.connect.auth, {}, 'no token, no auth');
      await plain.waitFor((r) => r.event === 'ready', '"ready"');
      assert.equal(await view.stop(), 0);
    } finally {
      plain.stop();
    }
  });
});

// Tries every way a page can reach another origin, with the real token in
// hand, and reports what it saw in window.results.
function otherSitePage(target, token) {
  const command = JSON.stringify({ command: 'SolveModel /bin/false' });
  return `<!DOCTYPE html><html><body>
<form id="form" method="post" enctype="text/plain" action="${target}/command" target="sink">
<input name='{"command":"SolveModel /bin/false","x":"' value='"}'></form>
<iframe name="sink" id="sink"></iframe>
<script src="/socket.io.min.js"></script>
<script>
const target = ${JSON.stringify(target)};
const token = ${JSON.stringify(token)};
const command = ${JSON.stringify(command)};
const results = {};
async function attempt(name, run) {
  try { results[name] = await run(); } catch (err) { results[name] = 'failed: ' + err.message; }
}
(async () => {
  await attempt('no-cors text', async () => (await fetch(target + '/command',
    { method: 'POST', mode: 'no-cors', headers: { 'Content-Type': 'text/plain' }, body: command })).type);
  await attempt('no-cors json', async () => (await fetch(target + '/command', { method: 'POST', mode: 'no-cors',
    headers: { 'Content-Type': 'application/json', Authorization: 'Bearer ' + token }, body: command })).type);
  await attempt('cors json', async () => (await fetch(target + '/command', { method: 'POST',
    headers: { 'Content-Type': 'application/json', Authorization: 'Bearer ' + token }, body: command })).status);
  await attempt('form', () => new Promise((resolve) => {
    document.getElementById('sink').onload = () => resolve('submitted');
    document.getElementById('form').submit();
  }));
  await attempt('socket.io', () => new Promise((resolve) => {
    const socket = io(target, { auth: { token }, reconnection: false });
    socket.on('connect', () => resolve('connected'));
    socket.on('connect_error', (err) => resolve('refused: ' + err.message));
  }));
  await attempt('websocket', () => new Promise((resolve) => {
    const ws = new WebSocket(target.replace('http', 'ws') + '/socket.io/?EIO=4&transport=websocket');
    ws.onopen = () => resolve('open');
    ws.onerror = () => resolve('error');
  }));
  window.results = results;
})();
</script></body></html>`;
}

describe('pages in the real browser', { skip: browserSkip, timeout: 180000 }, () => {
  test("another site's page reaches nothing even with the token; the page opened with the token works", async () => {
    const scratch = mkdtempSync(join(tmpdir(), 'orvane-access-'));
    const ui = await startUiServer();
    // Stands in for the view: records every command the server relays.
    const view = io(ui.url, { auth: { token: ui.token } });
    const commands = [];
    view.on('message', (text) => commands.push(text));
    await once(view, 'connect');

    const target = `http://127.0.0.1:${ui.port}`;
    const clientScript = readFileSync(join(repoRoot, 'tools/ui-server/node_modules/socket.io/client-dist/socket.io.min.js'));
    const otherSite = createServer((req, res) => {
      if (req.url === '/socket.io.min.js') {
        res.writeHead(200, { 'Content-Type': 'text/javascript' });
        return res.end(clientScript);
      }
      res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
      return res.end(otherSitePage(target, ui.token));
    });
    otherSite.listen(0, '127.0.0.1');
    await once(otherSite, 'listening');
    const otherOrigin = `http://127.0.0.1:${otherSite.address().port}`;

    const puppeteer = require('puppeteer-core');
    const browser = await puppeteer.launch({
      protocolTimeout: TIMEOUT,
      executablePath: CHROMIUM,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', `--user-data-dir=${join(scratch, 'browser')}`],
    });
    try {
      const logStart = ui.log.length;
      const evil = await browser.newPage();
      await evil.goto(otherOrigin, { waitUntil: 'load' });
      await evil.waitForFunction(() => window.results !== undefined, { timeout: TIMEOUT, polling: 100 });
      const results = await evil.evaluate(() => window.results);
      assert.equal(results['cors json'], 'failed: Failed to fetch', JSON.stringify(results));
      assert.match(results['socket.io'], /^refused: /, JSON.stringify(results));
      assert.equal(results.websocket, 'error', JSON.stringify(results));

      // Nothing reached the view; the server turned every attempt away for its origin.
      const sentinel = 'sentinel after the other site';
      await ui.send(sentinel);
      await ui.waitForLog((r) => r.sent === sentinel, { after: logStart, timeout: TIMEOUT });
      assert.deepEqual(commands, [sentinel]);
      const refusals = ui.log.slice(logStart).filter((r) => r.refused !== undefined);
      for (const r of refusals) assert.equal(r.reason, `Origin "${otherOrigin}" is not this server's`, JSON.stringify(r));
      // The two fetches without CORS, the preflight of the third, the form,
      // the socket.io handshake and the WebSocket, in that order.
      assert.deepEqual(refusals.map((r) => `${r.method} ${r.path.replace(/&.*/, '')}`), ['POST /command',
        'POST /command', 'OPTIONS /command', 'POST /command', 'GET /socket.io/?EIO=4', 'GET /socket.io/?EIO=4']);

      // Without the token the page is told it was refused.
      const stranger = await browser.newPage();
      await stranger.goto(`http://localhost:${ui.port}/`, { waitUntil: 'load' });
      await stranger.waitForFunction(() => document.getElementById('indicator').textContent === 'refused by the UI server',
        { timeout: TIMEOUT, polling: 100 });
      assert.match(await stranger.$eval('#log', (log) => log.textContent), /refused this page: missing token/);

      // With the token the page sends commands and shows replies.
      const page = await browser.newPage();
      await page.goto(ui.pageUrl, { waitUntil: 'load' });
      await page.waitForFunction(() => document.getElementById('indicator').textContent === '1 view connected',
        { timeout: TIMEOUT, polling: 100 });
      await page.type('#command', 'reset');
      await page.keyboard.press('Enter');
      await ui.waitForLog((r) => r.sent === 'reset' && r.source === 'page', { timeout: TIMEOUT });
      assert.ok(commands.includes('reset'));
      view.emit('message', 'reply to the page');
      const waitForLog = (text) => page.waitForFunction((t) => document.getElementById('log').textContent.includes(t),
        { timeout: TIMEOUT, polling: 100 }, text);
      await waitForLog('< message reply to the page');

      // Without a view the page says that commands are dropped, not that they wait.
      view.close();
      await waitForLog('the view disconnected; commands sent now reach no view and are dropped');
      await page.type('#command', 'reset');
      await page.keyboard.press('Enter');
      await waitForLog('> reset  (dropped: no view connected, from page)');
    } finally {
      await browser.close();
      view.close();
      otherSite.close();
      rmSync(scratch, { recursive: true, force: true });
    }
  });
});
