// User-interface server for the Orvane view.
//
// The view connects as a socket.io client with auth {token}; browser pages
// connect with auth {role: "ui", token}. Commands (one-line texts) come from
// the page, from standard input, or from HTTP (POST /command, POST /emit, JSON
// bodies, "Authorization: Bearer TOKEN") and are emitted to every view as
// event "message". Everything a view emits is logged as one JSON line on
// stdout and forwarded to the pages as event "reply".
//
// Only the loopback addresses listen unless --host opens another; every
// request must name the server by its own host (Host), must not come from
// another site's page (Origin), and needs the token (ORVANE_UI_TOKEN, else a
// random one per start) for everything but the page and its script files.
//
// Pages that ask for the live picture (event "watchView") get event "picture"
// whenever a new screenshot of the view is served at /view.png: the server
// sends "screenshot PATH" after the commands it relays, at most every 500 ms.
// The command reference comes from the view binary ("orvane --commands") and
// is served at /commands.
//
// Usage: node server.mjs [--port N] [--host ADDRESS] [--view-binary PATH]
//   PORT: env PORT; default 3000; 0 = any free port
//   ADDRESS: an address (or name) of this machine to listen on besides loopback
//   PATH: env ORVANE_BIN; default the build tree's build/src/app/orvane

import { execFile } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { createServer as createTcpServer } from 'node:net';
import { readFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { dirname, join, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';
import { StringDecoder } from 'node:string_decoder';
import { Server } from 'socket.io';
import { Access, isLoopback, listenAddresses, newToken, tokenProblem, urlHost } from './access.mjs';

const SERVER_DIR = dirname(fileURLToPath(import.meta.url));
const PUBLIC_DIR = join(SERVER_DIR, 'public');
const DEFAULT_VIEW_BINARY = resolve(SERVER_DIR, '../../build/src/app/orvane');
const MAX_BODY_BYTES = 1 << 20;
const CONTENT_TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
};
// Pictures of the view are asked for at most this often.
const PICTURE_INTERVAL_MS = 500;
// A screenshot queued behind a long command (an import) may take this long;
// after it the next one is asked for anyway.
const PICTURE_PATIENCE_MS = 30000;
const started = Date.now();

// A closed log reader must not take the server down with it.
process.stdout.on('error', () => {});

function log(record) {
  process.stdout.write(`${JSON.stringify(record)}\n`);
}

function warn(text) {
  process.stderr.write(`ui-server: ${text}\n`);
}

function usageError(text) {
  warn(`${text} (usage: node server.mjs [--port N] [--host ADDRESS] [--view-binary PATH])`);
  process.exit(2);
}

function parsePort(text, origin) {
  if (!/^\d{1,5}$/.test(text) || Number(text) > 65535) {
    usageError(`invalid port ${JSON.stringify(text)} from ${origin}; expected an integer 0..65535`);
  }
  return Number(text);
}

function optionsFromArguments(argv) {
  let port = process.env.PORT !== undefined && process.env.PORT !== ''
    ? parsePort(process.env.PORT, 'PORT') : 3000;
  let viewBinary = process.env.ORVANE_BIN || DEFAULT_VIEW_BINARY;
  let host = null;
  for (let i = 0; i < argv.length; i++) {
    const arg = argv[i];
    if (arg === '--port') {
      if (i + 1 >= argv.length) usageError('--port needs a value');
      port = parsePort(argv[++i], '--port');
    } else if (arg.startsWith('--port=')) {
      port = parsePort(arg.slice('--port='.length), '--port');
    } else if (arg === '--host' || arg.startsWith('--host=')) {
      host = arg === '--host' ? argv[++i] ?? '' : arg.slice('--host='.length);
      if (host === '') usageError('--host needs an address');
    } else if (arg === '--view-binary') {
      if (i + 1 >= argv.length || argv[i + 1] === '') usageError('--view-binary needs a path');
      viewBinary = argv[++i];
    } else if (arg.startsWith('--view-binary=') && arg.length > '--view-binary='.length) {
      viewBinary = arg.slice('--view-binary='.length);
    } else {
      usageError(`unknown argument ${JSON.stringify(arg)}`);
    }
  }
  return { port, host, viewBinary: resolve(viewBinary) };
}

function tokenFromEnvironment() {
  const given = process.env.ORVANE_UI_TOKEN;
  if (given === undefined || given === '') return newToken();
  const problem = tokenProblem(given);
  if (problem) usageError(`ORVANE_UI_TOKEN ${problem}`);
  return given;
}

const { port, host, viewBinary } = optionsFromArguments(process.argv.slice(2));
const token = tokenFromEnvironment();
const access = new Access({ token, extraHost: host });

class BadRequest extends Error {}

// A request turned away for who sent it or how; logged as a refusal.
class Refused extends Error {
  constructor(status, reason, headers = {}) {
    super(reason);
    this.status = status;
    this.headers = headers;
  }
}

// The command reference: the rows "orvane --commands" prints. Without a view
// binary the server works as before and the page says why it has no reference.
const reference = { commands: [], source: viewBinary, error: 'not read yet' };
let referenceLoaded = null;

function isReferenceRow(row) {
  return row !== null && typeof row === 'object'
    && ['word', 'selector', 'usage', 'description'].every((key) => typeof row[key] === 'string')
    && Array.isArray(row.arguments);
}

function loadReference() {
  referenceLoaded = new Promise((done) => {
    if (!existsSync(viewBinary)) {
      reference.error = `view binary ${viewBinary} not found (use --view-binary or ORVANE_BIN)`;
      warn(`no command reference: ${reference.error}`);
      done();
      return;
    }
    execFile(viewBinary, ['--commands'], { timeout: 20000, maxBuffer: 8 << 20 }, (err, stdout) => {
      try {
        if (err) throw new Error(err.killed ? 'timed out' : err.message.trim().split('\n')[0]);
        const rows = JSON.parse(stdout);
        if (!Array.isArray(rows) || !rows.every(isReferenceRow)) throw new Error('unexpected JSON shape');
        reference.commands = rows;
        reference.error = null;
        log({ reference: rows.length, source: viewBinary });
      } catch (failure) {
        reference.error = `${viewBinary} --commands: ${failure.message}`;
        warn(`no command reference: ${reference.error}`);
      }
      done();
    });
  });
}

// The live picture: one file in a private directory, replaced whole by the view.
const picture = {
  directory: null,
  path: null,
  version: 0,
  askedAt: 0,
  pendingSince: 0,
  wanted: false,
  timer: null,
};

function preparePictureFile() {
  try {
    picture.directory = mkdtempSync(join(tmpdir(), 'orvane-ui-'));
  } catch (err) {
    warn(`no live picture: cannot create a temporary directory: ${err.message}`);
    return;
  }
  const path = join(picture.directory, 'view.png');
  // Command words are separated by single spaces, so the path must have none.
  if (/\s/.test(path)) {
    warn(`no live picture: the temporary path ${JSON.stringify(path)} contains white space`);
    return;
  }
  picture.path = path;
}

const httpServer = createServer((req, res) => {
  handleHttp(req, res).catch((err) => {
    const status = err instanceof BadRequest ? 400 : err.status ?? 500;
    if (err instanceof Refused) noteRefusal('http', req, err.message);
    else warn(`${req.method} ${req.url}: ${err.message}`);
    if (!res.headersSent) sendJson(res, status, { error: err.message }, err.headers);
    else res.destroy();
  });
});

// allowEIO3 keeps older socket.io client libraries (engine.io protocol 3) working.
// A message above maxHttpBufferSize cuts its sender's connection (socket.io's
// default is 1 MB), so the bound is far above any command; commands above
// MAX_COMMAND_BYTES are dropped below with a warning instead.
const MAX_MESSAGE_BYTES = 128 << 20;
const MAX_COMMAND_BYTES = 1 << 20;
const io = new Server(httpServer, { allowEIO3: true, maxHttpBufferSize: MAX_MESSAGE_BYTES });
guardEveryRequest(httpServer);

// One line on stdout and one on stderr for each request or connection turned
// away; a token in the query, right or wrong, is not repeated.
function noteRefusal(kind, req, reason) {
  const path = req.url.replace(/([?&]token=)[^&]*/gi, '$1(hidden)');
  log({ refused: kind, reason, method: req.method, path, from: req.socket?.remoteAddress ?? null });
  warn(`refused ${kind} ${req.method} ${path} from ${req.socket?.remoteAddress}: ${reason}`);
}

// The Host and Origin checks come before every handler on the server,
// socket.io's own (handshakes, polling, websocket upgrades, the client
// script) included.
function guardEveryRequest(server) {
  for (const kind of ['request', 'upgrade']) {
    const handlers = server.listeners(kind);
    server.removeAllListeners(kind);
    server.on(kind, (req, resOrSocket, head) => {
      const reason = access.refusal(req);
      if (reason === null) {
        for (const handler of handlers) handler.call(server, req, resOrSocket, head);
        return;
      }
      noteRefusal('http', req, reason);
      if (kind === 'request') {
        sendJson(resOrSocket, 403, { error: reason });
      } else {
        resOrSocket.on('error', () => {});
        resOrSocket.end('HTTP/1.1 403 Forbidden\r\nConnection: close\r\nContent-Length: 0\r\n\r\n');
      }
    });
  }
}

// Every socket.io client shows the token: in the handshake's auth, or in its
// query for clients of the older protocol that cannot send auth.
io.use((socket, next) => {
  const offered = socket.handshake.auth?.token ?? socket.handshake.query?.token;
  if (access.tokenMatches(offered)) return next();
  const reason = offered === undefined || offered === '' ? 'missing token' : 'wrong token';
  noteRefusal('socket.io', socket.request, reason);
  return next(new Error(`${reason}: open the page address the UI server printed, or set ORVANE_UI_TOKEN`));
});

const viewCount = () => io.of('/').adapter.rooms.get('views')?.size ?? 0;
const pageCount = () => io.of('/').adapter.rooms.get('pages')?.size ?? 0;
const watcherCount = () => io.of('/').adapter.rooms.get('watchers')?.size ?? 0;

// Asks the views for a new picture when a page watches; requests are spaced
// PICTURE_INTERVAL_MS apart and never more than one is outstanding, so a burst
// of commands costs one screenshot after the last of them.
function wantPicture() {
  if (picture.path === null || watcherCount() === 0 || viewCount() === 0) return;
  picture.wanted = true;
  pumpPicture();
}

function pumpPicture() {
  if (!picture.wanted || picture.timer !== null) return;
  const now = Date.now();
  if (picture.pendingSince !== 0 && now - picture.pendingSince < PICTURE_PATIENCE_MS) return;
  const wait = picture.askedAt + PICTURE_INTERVAL_MS - now;
  if (wait > 0) {
    picture.timer = setTimeout(() => {
      picture.timer = null;
      pumpPicture();
    }, wait);
    return;
  }
  picture.wanted = false;
  picture.askedAt = now;
  picture.pendingSince = now;
  const text = `screenshot ${picture.path}`;
  io.to('views').emit('message', text);
  oweScreenshotReplies(text, true);
  log({ sent: text, views: viewCount(), source: 'picture' });
}

// Each view answers its commands in the order they came, and every
// "screenshot PATH" command with one "screenshot" reply: the path, or an
// empty text when it failed. So a view's replies belong, in order, to the
// screenshot commands it was sent, and a failure is told apart only this
// way. socket.data.screenshots holds, per view, whether each owed reply is
// the server's own (true) or someone else's (false).
function oweScreenshotReplies(text, own) {
  if (typeof text !== 'string' || !text.startsWith('screenshot ')) return;
  for (const id of io.of('/').adapter.rooms.get('views') ?? []) {
    io.of('/').sockets.get(id)?.data.screenshots.push(own);
  }
}

// True when the "screenshot" reply answers the server's own picture request.
function takePictureReply(socket, path) {
  const own = socket.data.screenshots.shift() ?? false;
  if (!own || (path !== picture.path && path !== '')) return false;
  picture.pendingSince = 0;
  if (path === picture.path) {
    picture.version += 1;
    io.to('watchers').emit('picture', { url: `/view.png?v=${picture.version}` });
  } else {
    warn('the view could not take its picture (see its standard error)');
  }
  pumpPicture();
  return true;
}

function broadcastStatus() {
  io.to('pages').emit('status', { views: viewCount(), pages: pageCount() });
}

// Acknowledgement callbacks are not data, so they are neither logged nor forwarded.
const dataArgs = (args) => args.filter((a) => typeof a !== 'function');

io.on('connection', (socket) => {
  if (socket.handshake.auth?.role === 'ui') {
    socket.join('pages');
    log({ page: 'connected', id: socket.id });
    socket.on('command', (text, ack) => {
      if (typeof text !== 'string') {
        warn(`page ${socket.id} sent a command that is not a string; ignored`);
        return;
      }
      const views = sendCommand(text, 'page');
      if (typeof ack === 'function') ack({ views });
    });
    socket.on('watchView', () => {
      socket.join('watchers');
      if (picture.version > 0) socket.emit('picture', { url: `/view.png?v=${picture.version}` });
      wantPicture();
    });
    socket.on('refreshView', () => wantPicture());
    socket.on('disconnect', (reason) => {
      log({ page: 'disconnected', id: socket.id, reason });
      broadcastStatus();
    });
  } else {
    socket.data.screenshots = [];
    socket.join('views');
    log({ view: 'connected', id: socket.id });
    socket.onAny((event, ...args) => {
      const data = dataArgs(args);
      log({ event, args: data, t: Date.now() - started });
      if (event === 'screenshot' && takePictureReply(socket, data[0])) return;
      io.to('pages').emit('reply', { event, args: data });
      if (event === 'ready') wantPicture();
    });
    socket.on('disconnect', (reason) => {
      log({ view: 'disconnected', id: socket.id, reason });
      // A reply of the view that left will not come.
      picture.pendingSince = 0;
      broadcastStatus();
    });
  }
  broadcastStatus();
});

function sendCommand(text, source) {
  if (Buffer.byteLength(text) > MAX_COMMAND_BYTES) {
    warn(`dropped a ${source} command of ${Buffer.byteLength(text)} bytes (above ${MAX_COMMAND_BYTES}): ${JSON.stringify(text.slice(0, 40))}...`);
    return viewCount();
  }
  io.to('views').emit('message', text);
  oweScreenshotReplies(text, false);
  const views = viewCount();
  log({ sent: text, views, source });
  io.to('pages').emit('sent', { text, views, source });
  // Queued behind the command, so the picture shows its outcome.
  wantPicture();
  return views;
}

// The JSON object of a request body; throws BadRequest when it is none.
function parseObject(body, shape) {
  let request;
  try {
    request = JSON.parse(body);
  } catch (err) {
    throw new BadRequest(`malformed JSON: ${err.message}`);
  }
  if (request === null || typeof request !== 'object' || Array.isArray(request)) {
    throw new BadRequest(`expected a JSON object ${shape}`);
  }
  return request;
}

// Validates a {"event", "args"} request and emits it; throws BadRequest on bad input.
function emitRaw(body, source) {
  const { event, args = [] } = parseObject(body, '{"event": NAME, "args": [...]}');
  if (typeof event !== 'string' || event === '') {
    throw new BadRequest('"event" must be a non-empty string');
  }
  if (!Array.isArray(args)) throw new BadRequest('"args" must be an array');
  try {
    io.to('views').emit(event, ...args);
  } catch (err) {
    // socket.io refuses its reserved event names ("connect", "disconnect", ...).
    throw new BadRequest(err.message);
  }
  if (event === 'message') oweScreenshotReplies(args[0], false);
  const views = viewCount();
  log({ emitted: event, args, views, source });
  io.to('pages').emit('sent', { event, args, views, source });
  return views;
}

async function readBody(req) {
  const chunks = [];
  let size = 0;
  for await (const chunk of req) {
    size += chunk.length;
    if (size > MAX_BODY_BYTES) {
      throw Object.assign(new Error(`body larger than ${MAX_BODY_BYTES} bytes`), { status: 413 });
    }
    chunks.push(chunk);
  }
  try {
    return new TextDecoder('utf-8', { fatal: true }).decode(Buffer.concat(chunks));
  } catch {
    throw new BadRequest('body is not valid UTF-8');
  }
}

function sendJson(res, status, value, headers = {}) {
  res.writeHead(status, { 'Content-Type': 'application/json; charset=utf-8', ...headers });
  res.end(JSON.stringify(value));
}

// A JSON body cannot be sent from another site without a preflight, which
// finds no CORS answer here; a form or text/plain body can.
async function readJsonBody(req) {
  const type = (req.headers['content-type'] ?? '').split(';')[0].trim().toLowerCase();
  if (type !== 'application/json') {
    throw new Refused(415, `Content-Type ${JSON.stringify(type)}: only application/json is taken`);
  }
  return readBody(req);
}

const routes = {
  'POST /command': async (req, res) => {
    const { command } = parseObject(await readJsonBody(req), '{"command": TEXT}');
    if (typeof command !== 'string') throw new BadRequest('"command" must be a string');
    sendJson(res, 200, { views: sendCommand(command, 'http') });
  },
  'POST /emit': async (req, res) => {
    sendJson(res, 200, { views: emitRaw(await readJsonBody(req), 'http') });
  },
  'GET /status': async (req, res) => {
    sendJson(res, 200, { views: viewCount(), pages: pageCount() });
  },
  'GET /commands': async (req, res) => {
    await referenceLoaded;
    sendJson(res, 200, reference);
  },
  'GET /view.png': async (req, res) => {
    const content = picture.version > 0 ? await readFile(picture.path).catch(() => null) : null;
    if (content === null) {
      res.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' });
      return res.end('no picture of the view yet\n');
    }
    res.writeHead(200, { 'Content-Type': 'image/png', 'Cache-Control': 'no-store' });
    return res.end(content);
  },
};

// Everything but the page and its script files drives or shows the view.
const routePaths = new Set(Object.keys(routes).map((key) => key.split(' ')[1]));

async function handleHttp(req, res) {
  const { pathname } = new URL(req.url, 'http://localhost');
  if (routePaths.has(pathname)) {
    const problem = access.httpTokenProblem(req);
    if (problem !== null) {
      throw new Refused(401, `${problem}: send "Authorization: Bearer TOKEN"`,
        { 'WWW-Authenticate': 'Bearer realm="orvane"' });
    }
  }
  const route = routes[`${req.method} ${pathname}`];
  if (route) return route(req, res);
  const allowed = Object.keys(routes)
    .filter((key) => key.endsWith(` ${pathname}`))
    .map((key) => key.split(' ')[0]);
  if (allowed.length) {
    res.writeHead(405, { Allow: allowed.join(', '), 'Content-Type': 'text/plain; charset=utf-8' });
    return res.end(`${req.method} not allowed on ${pathname}\n`);
  }
  if (req.method === 'GET') return serveStatic(pathname, res);
  sendJson(res, 404, { error: `no route ${req.method} ${pathname}` });
}

async function serveStatic(pathname, res) {
  let name;
  try {
    name = decodeURIComponent(pathname === '/' ? '/index.html' : pathname);
  } catch {
    throw new BadRequest(`malformed path ${pathname}`);
  }
  const file = resolve(PUBLIC_DIR, `.${name}`);
  const type = CONTENT_TYPES[file.slice(file.lastIndexOf('.'))];
  let content = null;
  if (file.startsWith(PUBLIC_DIR + sep) && type) {
    content = await readFile(file).catch(() => null);
  }
  if (content === null) {
    res.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' });
    return res.end(`not found: ${pathname}\n`);
  }
  res.writeHead(200, { 'Content-Type': type, 'Cache-Control': 'no-cache' });
  res.end(content);
}

function handleStdinLine(line) {
  if (line === '') return;
  if (line === '/emit' || line.startsWith('/emit ')) {
    try {
      emitRaw(line.slice('/emit'.length), 'stdin');
    } catch (err) {
      warn(`stdin ${line}: ${err.message}`);
    }
    return;
  }
  sendCommand(line, 'stdin');
}

// Only the line terminator is removed: spaces are part of the command.
function readCommandsFromStdin() {
  const decoder = new StringDecoder('utf8');
  let pending = '';
  process.stdin.on('data', (chunk) => {
    pending += decoder.write(chunk);
    let newline;
    while ((newline = pending.indexOf('\n')) !== -1) {
      handleStdinLine(pending.slice(0, newline).replace(/\r$/, ''));
      pending = pending.slice(newline + 1);
    }
  });
  process.stdin.on('end', () => {
    handleStdinLine((pending + decoder.end()).replace(/\r$/, ''));
    pending = '';
  });
  process.stdin.on('error', (err) => warn(`standard input: ${err.message}`));
}

function removePictureDirectory() {
  if (picture.directory !== null) rmSync(picture.directory, { recursive: true, force: true });
  picture.directory = null;
}
process.on('exit', removePictureDirectory);

function shutDown(signal) {
  log({ shutdown: signal });
  // Keep-alive HTTP connections would otherwise hold the close open.
  setTimeout(() => process.exit(0), 2000).unref();
  io.close(() => process.exit(0));
  httpServer.closeAllConnections();
}

process.once('SIGINT', () => shutDown('SIGINT'));
process.once('SIGTERM', () => shutDown('SIGTERM'));

function listen(server, address, requestedPort) {
  return new Promise((resolveListen, rejectListen) => {
    server.once('error', rejectListen);
    server.listen(requestedPort, address, () => {
      server.off('error', rejectListen);
      server.on('error', (err) => warn(`listener on ${address}: ${err.message}`));
      resolveListen(server.address().port);
    });
  });
}

// The HTTP server listens on the first address; the others hand their
// connections to it. They are bound first, so that with port 0 the port
// they got is free on every address.
async function listenOnEveryAddress(addresses) {
  for (let attempt = 1; ; attempt++) {
    const relays = [];
    let chosen = port;
    const bound = [];
    try {
      for (const address of addresses.slice(1)) {
        const relay = createTcpServer((socket) => httpServer.emit('connection', socket));
        try {
          chosen = await listen(relay, address, chosen);
        } catch (err) {
          if (address === '::1' && ['EADDRNOTAVAIL', 'EAFNOSUPPORT'].includes(err.code)) {
            warn('no IPv6 loopback address here; listening on 127.0.0.1 only');
            continue;
          }
          throw Object.assign(err, { address });
        }
        relays.push(relay);
        bound.push(address);
      }
      const actual = await listen(httpServer, addresses[0], chosen).catch((err) => {
        throw Object.assign(err, { address: addresses[0] });
      });
      return { actual, bound: [addresses[0], ...bound] };
    } catch (err) {
      for (const relay of relays) relay.close();
      if (port === 0 && err.code === 'EADDRINUSE' && attempt < 10) continue;
      throw err;
    }
  }
}

listenOnEveryAddress(listenAddresses(host)).then(({ actual, bound }) => {
  access.setPort(actual);
  const page = `http://localhost:${actual}/?token=${encodeURIComponent(token)}`;
  log({ listening: actual, page, addresses: bound });
  process.stderr.write(`Orvane UI server: open ${page} (views connect to ws://localhost:${actual} `
    + 'with ORVANE_UI_TOKEN set to the token)\n');
  if (host !== null && !isLoopback(host)) {
    warn(`WARNING: also listening on ${urlHost(host)}:${actual}: whoever reaches it with the token drives `
      + 'the view, which runs programs and writes files as you; the token and all traffic cross the network '
      + 'unencrypted');
  }
  preparePictureFile();
  loadReference();
  readCommandsFromStdin();
}, (err) => {
  warn(err.code === 'EADDRINUSE' ? `port ${port} is already in use`
    : `cannot listen on ${err.address} port ${port}: ${err.message}`);
  process.exit(1);
});
