// End-to-end harness: runs the UI server and the real Orvane view (under X,
// e.g. xvfb-run) and observes both.
//
// startUiServer({port = 0, args = []}) -> ui    (args: more server arguments, e.g. --host)
//   ui.port, ui.url ("ws://localhost:PORT", for the view), ui.httpUrl
//   ui.token       the server's token; startView sends it when given ui.url
//   ui.pageUrl     the page's address with the token
//   ui.events      every event a view emitted: {event, args, t}
//   ui.log         every JSON line the server printed; ui.stderrLines
//   ui.send(text)            POST /command -> {views}
//   ui.emitRaw(event, args)  POST /emit    -> {views}
//   ui.status()              GET /status   -> {views, pages}
//   ui.writeStdin(data)      raw bytes to the server's standard input
//   ui.mark()                index into ui.events; later waits look only after it
//   ui.waitFor(match, {after = last mark, timeout})  -> the first matching event;
//       match is a predicate or {event, text} (text: string or RegExp on args[0])
//   ui.waitForLog(predicate, {after = 0, timeout})   -> the first matching log record
//   ui.waitForStderr(re, {after = 0, timeout})       -> the first matching stderr line
//   ui.waitQuiet(ms, {after = last mark, match})     rejects if a (matching) event arrives
//   ui.stop() -> exit code;  ui.restart() -> same port, resolves once listening
//
// startView({url, args = [], env = {}, cwd}) -> view    (ORVANE_BIN, else build/src/app/orvane)
//   env.ORVANE_UI_TOKEN overrides the token of the harness's server at url ('' sends none)
// resultGeneratorBinary()   (ORVANE_RESULT_GENERATOR, else build/tools/result-generator/orvane-result-generator)
//   view.pid, view.stdoutLines, view.stderrLines, view.exitInfo ({code, signal} once exited)
//   view.waitForStdout(re, {after = 0, timeout}), view.waitForStderr(re, ...) -> the line
//   view.window() -> X window id;  view.geometry() -> {x, y, width, height}
// keyboardWindow(windowId) -> the child window that takes the view's keys
//   view.stop(signal = 'SIGTERM', {timeout}) -> exit code (SIGKILL and an error on timeout)
//
// screenshot(windowId?) -> image (whole screen without an id)
//   image.width, image.height, image.pixel(x, y) -> [r, g, b]
//   image.header    the XWD header; windowX/windowY: screen position of pixel (0, 0)
//   image.rect(left, top, right, bottom)  fractions of the size -> {x, y, width, height}
//   image.countPixels(([r, g, b], x, y) => bool, rect?)
// waitForScreenshot(windowId, check, {timeout}) retakes until check(image) does not throw.
// parseXwd(buffer) -> image;  stopAll() stops every process started here.
//
// Failures of every wait list the events seen so far and the stderr tails.
// ORVANE_E2E_KEEP=DIR (or 1 for the temp dir) keeps each screenshot as a PPM file.

import { spawn, execFile } from 'node:child_process';
import { randomBytes } from 'node:crypto';
import { EventEmitter } from 'node:events';
import { existsSync, statSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { StringDecoder } from 'node:string_decoder';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const execFileAsync = promisify(execFile);

export const repoRoot = resolve(fileURLToPath(new URL('../..', import.meta.url)));
const serverScript = join(repoRoot, 'tools/ui-server/server.mjs');

export const DEFAULT_TIMEOUT = 20000;
const TAIL = 15;

// Any new output or exit anywhere wakes up every pending wait.
const activity = new EventEmitter();
activity.setMaxListeners(0);
const managed = new Set();
const viewsStarted = [];
// The token of each UI server started here, by the URL views connect to.
const tokensByUrl = new Map();

process.on('exit', () => {
  for (const proc of managed) if (!proc.exitInfo) proc.child.kill('SIGKILL');
});

// Lays out a data root's directory tree, as the UI server's side does.
export async function prepareDataRoot(root) {
  await execFileAsync(join(repoRoot, 'tools/prepare-data-root.sh'), [root], { timeout: 20000 });
  return root;
}

export function viewBinary() {
  return process.env.ORVANE_BIN || join(repoRoot, 'build/src/app/orvane');
}

export function resultGeneratorBinary() {
  return process.env.ORVANE_RESULT_GENERATOR
    || join(repoRoot, 'build/tools/result-generator/orvane-result-generator');
}

// Why the view tests of a file cannot run here (no display, no binary), or
// false; with ORVANE_E2E_REQUIRED set they always run, and fail instead.
export function viewSkipReason() {
  if (process.env.ORVANE_E2E_REQUIRED) return false;
  if (!process.env.DISPLAY) {
    return 'no X display: run under xvfb-run -a -s "-screen 0 1280x1024x24" (or set ORVANE_E2E_REQUIRED)';
  }
  if (!existsSync(viewBinary())) {
    return `view not built: ${viewBinary()} is missing (set ORVANE_BIN, or ORVANE_E2E_REQUIRED to fail instead)`;
  }
  return false;
}

function onLines(stream, callback) {
  const decoder = new StringDecoder('utf8');
  let pending = '';
  stream.on('data', (chunk) => {
    pending += decoder.write(chunk);
    let newline;
    while ((newline = pending.indexOf('\n')) !== -1) {
      callback(pending.slice(0, newline).replace(/\r$/, ''));
      pending = pending.slice(newline + 1);
    }
  });
  stream.on('end', () => {
    pending += decoder.end();
    if (pending !== '') callback(pending);
  });
}

function tail(lines, n = TAIL) {
  if (lines.length === 0) return '  (none)';
  const shown = lines.slice(-n).map((l) => `  ${l}`).join('\n');
  return lines.length > n ? `  ... ${lines.length - n} earlier lines\n${shown}` : shown;
}

function describeExit(proc) {
  if (!proc.exitInfo) return 'running';
  const { code, signal, error } = proc.exitInfo;
  return error ? `failed to start: ${error}` : `exited with code ${code}${signal ? ` (signal ${signal})` : ''}`;
}

let currentUi = null;

function diagnostics() {
  const parts = [];
  if (currentUi) {
    parts.push(`events seen (${currentUi.events.length}):\n${tail(currentUi.events.map((e) => JSON.stringify(e)), 25)}`);
    parts.push(`UI server (${describeExit(currentUi.proc)}) stderr:\n${tail(currentUi.stderrLines, 8)}`);
  }
  for (const view of viewsStarted.slice(-2)) {
    parts.push(`view pid ${view.pid} (${describeExit(view.proc)}) stderr:\n${tail(view.stderrLines)}`);
  }
  return parts.join('\n');
}

// Resolves with the first defined value of find(); fails on timeout, or early
// when a process that was running at the start exits without being stopped.
function waitUntil(find, what, timeout = DEFAULT_TIMEOUT, { resolveOnTimeout = false } = {}) {
  const watched = [...managed].filter((p) => !p.exitInfo);
  return new Promise((resolvePromise, reject) => {
    let timer;
    const finish = () => {
      clearTimeout(timer);
      activity.off('change', check);
    };
    const fail = (reason) => {
      finish();
      reject(new Error(`${reason} while waiting for ${what}\n${diagnostics()}`));
    };
    function check() {
      let found;
      try {
        found = find();
      } catch (err) {
        return fail(err.message);
      }
      if (found !== undefined) {
        finish();
        return resolvePromise(found);
      }
      const died = watched.find((p) => p.exitInfo && !p.stopping);
      if (died) fail(`${died.name} ${describeExit(died)}`);
    }
    timer = setTimeout(() => {
      if (!resolveOnTimeout) return fail(`timed out after ${timeout} ms`);
      finish();
      resolvePromise(undefined);
    }, timeout);
    activity.on('change', check);
    check();
  });
}

function manage(child, name, stderrLines = []) {
  const proc = { child, name, stdoutLines: [], stderrLines, exitInfo: null, stopping: false };
  proc.exited = new Promise((resolvePromise) => {
    child.on('error', (err) => {
      if (proc.exitInfo) return;
      proc.exitInfo = { code: null, signal: null, error: err.message };
      resolvePromise(proc.exitInfo);
    });
    // 'close' rather than 'exit': all output has been read by then.
    child.on('close', (code, signal) => {
      proc.exitInfo ??= { code, signal };
      resolvePromise(proc.exitInfo);
    });
  }).then((info) => {
    managed.delete(proc);
    activity.emit('change');
    return info;
  });
  onLines(child.stderr, (line) => {
    proc.stderrLines.push(line);
    activity.emit('change');
  });
  managed.add(proc);
  return proc;
}

async function stopProcess(proc, signal, timeout) {
  if (!proc.exitInfo) {
    proc.stopping = true;
    proc.child.kill(signal);
    let timer;
    const timedOut = new Promise((resolvePromise) => {
      timer = setTimeout(() => resolvePromise('timeout'), timeout);
    });
    const outcome = await Promise.race([proc.exited, timedOut]);
    clearTimeout(timer);
    if (outcome === 'timeout') {
      proc.child.kill('SIGKILL');
      await proc.exited;
      throw new Error(`${proc.name} did not exit within ${timeout} ms of ${signal}; killed it\n`
        + `stderr:\n${tail(proc.stderrLines)}`);
    }
  }
  await proc.exited;
  return proc.exitInfo.code;
}

function eventMatcher(match) {
  if (typeof match === 'function') return match;
  const { event, text } = match;
  return (e) => (event === undefined || e.event === event)
    && (text === undefined
      || (text instanceof RegExp ? typeof e.args[0] === 'string' && text.test(e.args[0]) : e.args[0] === text));
}

function describeMatch(match) {
  if (typeof match === 'function') return `an event matching ${match.toString().slice(0, 120)}`;
  const text = match.text instanceof RegExp ? String(match.text) : JSON.stringify(match.text);
  return `event ${JSON.stringify(match.event ?? '(any)')}${match.text === undefined ? '' : ` with text ${text}`}`;
}

export async function startUiServer({ port = 0, args = [] } = {}) {
  const ui = {
    port: null,
    url: null,
    httpUrl: null,
    token: randomBytes(32).toString('hex'),
    pageUrl: null,
    events: [],
    log: [],
    stderrLines: [],
    proc: null,
    lastMark: 0,
  };

  async function launch(requestedPort) {
    const child = spawn(process.execPath, [serverScript, '--port', String(requestedPort), ...args], {
      env: { ...process.env, ORVANE_UI_TOKEN: ui.token },
      stdio: ['pipe', 'pipe', 'pipe'],
    });
    const proc = manage(child, 'UI server', ui.stderrLines);
    child.stdin.on('error', () => {});
    onLines(child.stdout, (line) => {
      let record;
      try {
        record = JSON.parse(line);
      } catch {
        record = { unparsed: line };
      }
      ui.log.push(record);
      if (record.event !== undefined) ui.events.push(record);
      activity.emit('change');
    });
    ui.proc = proc;
    currentUi = ui;
    const logStart = ui.log.length;
    const listening = await waitUntil(() => {
      if (proc.exitInfo) throw new Error(`UI server ${describeExit(proc)}`);
      return ui.log.slice(logStart).find((r) => r.listening !== undefined);
    }, 'the UI server to listen', 15000);
    ui.port = listening.listening;
    ui.url = `ws://localhost:${ui.port}`;
    ui.httpUrl = `http://localhost:${ui.port}`;
    ui.pageUrl = `${ui.httpUrl}/?token=${ui.token}`;
    tokensByUrl.set(ui.url, ui.token);
  }

  const authorization = () => ({ Authorization: `Bearer ${ui.token}` });

  async function post(path, value) {
    const res = await fetch(`${ui.httpUrl}${path}`, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json', ...authorization() },
      body: JSON.stringify(value),
    });
    const text = await res.text();
    if (!res.ok) throw new Error(`POST ${path} answered ${res.status}: ${text}`);
    return JSON.parse(text);
  }

  Object.assign(ui, {
    send: (text) => post('/command', { command: text }),
    emitRaw: (event, args = []) => post('/emit', { event, args }),
    async status() {
      const res = await fetch(`${ui.httpUrl}/status`, { headers: authorization() });
      return res.json();
    },
    writeStdin(data) {
      ui.proc.child.stdin.write(data);
    },
    mark() {
      ui.lastMark = ui.events.length;
      return ui.lastMark;
    },
    waitFor(match, { after = ui.lastMark, timeout = DEFAULT_TIMEOUT } = {}) {
      const matches = eventMatcher(match);
      return waitUntil(() => ui.events.slice(after).find(matches), describeMatch(match), timeout);
    },
    waitForLog(predicate, { after = 0, timeout = DEFAULT_TIMEOUT } = {}) {
      return waitUntil(() => ui.log.slice(after).find(predicate),
        `a server log line matching ${predicate.toString().slice(0, 120)}`, timeout);
    },
    waitForStderr(re, { after = 0, timeout = DEFAULT_TIMEOUT } = {}) {
      return waitUntil(() => ui.stderrLines.slice(after).find((l) => re.test(l)),
        `UI server stderr line matching ${re}`, timeout);
    },
    async waitQuiet(ms, { after = ui.lastMark, match = () => true } = {}) {
      const matches = eventMatcher(match);
      const arrived = await waitUntil(() => ui.events.slice(after).find(matches),
        `${ms} ms without ${describeMatch(match)}`, ms, { resolveOnTimeout: true });
      if (arrived) {
        throw new Error(`expected no event for ${ms} ms but got ${JSON.stringify(arrived)}\n${diagnostics()}`);
      }
    },
    stop: () => stopProcess(ui.proc, 'SIGTERM', 10000),
    async restart() {
      const code = await ui.stop();
      if (code !== 0) throw new Error(`UI server exited with code ${code} on SIGTERM`);
      await launch(ui.port);
    },
  });

  await launch(port);
  return ui;
}

export async function startView({ url, args = [], env = {}, cwd } = {}) {
  const bin = viewBinary();
  if (!existsSync(bin)) throw new Error(`view executable not found: ${bin} (build it or set ORVANE_BIN)`);
  const child = spawn(bin, args, {
    cwd,
    env: {
      ...process.env,
      ...(url ? { ORVANE_UI_URL: url } : {}),
      ...(tokensByUrl.has(url) ? { ORVANE_UI_TOKEN: tokensByUrl.get(url) } : {}),
      ...env,
    },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const proc = manage(child, `view pid ${child.pid}`);
  onLines(child.stdout, (line) => {
    proc.stdoutLines.push(line);
    activity.emit('change');
  });
  let windowId = null;

  const view = {
    pid: child.pid,
    proc,
    stdoutLines: proc.stdoutLines,
    stderrLines: proc.stderrLines,
    get exitInfo() {
      return proc.exitInfo;
    },
    waitForStdout(re, { after = 0, timeout = DEFAULT_TIMEOUT } = {}) {
      return waitUntil(() => proc.stdoutLines.slice(after).find((l) => re.test(l)),
        `view stdout line matching ${re}`, timeout);
    },
    waitForStderr(re, { after = 0, timeout = DEFAULT_TIMEOUT } = {}) {
      return waitUntil(() => proc.stderrLines.slice(after).find((l) => re.test(l)),
        `view stderr line matching ${re}`, timeout);
    },
    // Qt may map helper windows too; the view is the largest visible one.
    // xdotool stops with an X error when a window it has listed goes away
    // before it asks about it, as Qt's helper windows do at start: then it
    // is asked again, until the time is up.
    async window({ timeout = DEFAULT_TIMEOUT } = {}) {
      if (windowId !== null) return windowId;
      const deadline = Date.now() + timeout;
      let lastProblem = 'timed out';
      for (;;) {
        const left = deadline - Date.now();
        if (left <= 0) {
          throw new Error(`no visible window of view pid ${child.pid} found within ${timeout} ms `
            + `(${lastProblem}; DISPLAY=${process.env.DISPLAY})\n${diagnostics()}`);
        }
        try {
          const { stdout } = await execFileAsync('xdotool',
            ['search', '--sync', '--onlyvisible', '--pid', String(child.pid)], { timeout: left });
          let best = null;
          for (const id of stdout.split('\n').filter(Boolean).map(Number)) {
            const g = await windowGeometry(id).catch(() => null);
            if (g && (!best || g.width * g.height > best.area)) best = { id, area: g.width * g.height };
          }
          if (best) {
            windowId = best.id;
            return windowId;
          }
        } catch (err) {
          lastProblem = err.killed ? 'timed out' : err.message.trim();
        }
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
    },
    async geometry() {
      return windowGeometry(await view.window());
    },
    stop: (signal = 'SIGTERM', { timeout = 15000 } = {}) => stopProcess(proc, signal, timeout),
  };
  viewsStarted.push(view);
  return view;
}

export async function windowGeometry(id) {
  const { stdout } = await execFileAsync('xdotool', ['getwindowgeometry', '--shell', String(id)]);
  const fields = Object.fromEntries(stdout.split('\n').filter(Boolean).map((l) => l.split('=')));
  return { x: Number(fields.X), y: Number(fields.Y), width: Number(fields.WIDTH), height: Number(fields.HEIGHT) };
}

// Keys reach the view only through its embedded GL window, a child of the
// top-level window: focusing the top-level one loses them.
export async function keyboardWindow(id) {
  const { stdout } = await execFileAsync('xwininfo', ['-children', '-id', String(id)], { timeout: 20000 });
  let best = { id, area: -1 };
  for (const m of stdout.matchAll(/^\s+(0x[0-9a-f]+) .*?\s(\d+)x(\d+)[+-]\d+[+-]\d+/gim)) {
    const area = Number(m[2]) * Number(m[3]);
    if (area > best.area) best = { id: Number.parseInt(m[1], 16), area };
  }
  return best.id;
}

export async function stopAll() {
  const results = await Promise.allSettled([...managed].map((p) => stopProcess(p, 'SIGTERM', 10000)));
  const failure = results.find((r) => r.status === 'rejected');
  if (failure) throw failure.reason;
}

const XWD_HEADER_FIELDS = [
  'headerSize', 'fileVersion', 'pixmapFormat', 'pixmapDepth', 'pixmapWidth', 'pixmapHeight',
  'xOffset', 'byteOrder', 'bitmapUnit', 'bitmapBitOrder', 'bitmapPad', 'bitsPerPixel',
  'bytesPerLine', 'visualClass', 'redMask', 'greenMask', 'blueMask', 'bitsPerRgb',
  'colormapEntries', 'nColors', 'windowWidth', 'windowHeight', 'windowX', 'windowY', 'windowBorderWidth',
];
const XWD_ZPIXMAP = 2;
const XWD_VERSION = 7;
const XWD_COLOR_SIZE = 12;
const TRUE_COLOR = 4;
const DIRECT_COLOR = 5;

function channel(mask) {
  if (mask === 0) throw new Error('XWD: a colour mask is zero');
  let shift = 0;
  while (((mask >>> shift) & 1) === 0) shift++;
  const max = mask >>> shift;
  return { mask, shift, scale: 255 / max };
}

// The header and colour table are big-endian (xwd swaps them); the pixels
// follow the image's own byte order.
export function parseXwd(buffer) {
  if (buffer.length < XWD_HEADER_FIELDS.length * 4) throw new Error(`XWD: only ${buffer.length} bytes`);
  const h = {};
  XWD_HEADER_FIELDS.forEach((name, i) => {
    h[name] = name === 'windowX' || name === 'windowY' ? buffer.readInt32BE(i * 4) : buffer.readUInt32BE(i * 4);
  });
  if (h.fileVersion !== XWD_VERSION) throw new Error(`XWD: file version ${h.fileVersion}, expected ${XWD_VERSION}`);
  if (h.pixmapFormat !== XWD_ZPIXMAP) throw new Error(`XWD: pixmap format ${h.pixmapFormat}, only ZPixmap (2) is read`);
  if (h.visualClass !== TRUE_COLOR && h.visualClass !== DIRECT_COLOR) {
    throw new Error(`XWD: visual class ${h.visualClass}, only TrueColor/DirectColor are read`);
  }
  if (![16, 24, 32].includes(h.bitsPerPixel)) throw new Error(`XWD: ${h.bitsPerPixel} bits per pixel is not read`);
  const dataOffset = h.headerSize + h.nColors * XWD_COLOR_SIZE;
  const bytesPerPixel = h.bitsPerPixel / 8;
  const width = h.pixmapWidth;
  const height = h.pixmapHeight;
  const needed = dataOffset + h.bytesPerLine * (height - 1) + (h.xOffset + width) * bytesPerPixel;
  if (height > 0 && buffer.length < needed) throw new Error(`XWD: ${buffer.length} bytes, image needs ${needed}`);
  const msbFirst = h.byteOrder === 1;
  const [red, green, blue] = [h.redMask, h.greenMask, h.blueMask].map(channel);

  function pixelValue(x, y) {
    const at = dataOffset + y * h.bytesPerLine + (x + h.xOffset) * bytesPerPixel;
    let value = 0;
    for (let i = 0; i < bytesPerPixel; i++) {
      const byte = buffer[at + (msbFirst ? i : bytesPerPixel - 1 - i)];
      value = value * 256 + byte;
    }
    return value;
  }
  const component = (value, c) => Math.round(((value & c.mask) >>> c.shift) * c.scale);

  const image = {
    width,
    height,
    header: h,
    pixel(x, y) {
      if (!Number.isInteger(x) || !Number.isInteger(y) || x < 0 || y < 0 || x >= width || y >= height) {
        throw new RangeError(`pixel (${x}, ${y}) is outside the ${width}x${height} image`);
      }
      const value = pixelValue(x, y);
      return [component(value, red), component(value, green), component(value, blue)];
    },
    rect(left, top, right, bottom) {
      const x = Math.round(left * width);
      const y = Math.round(top * height);
      return { x, y, width: Math.round(right * width) - x, height: Math.round(bottom * height) - y };
    },
    countPixels(predicate, area = { x: 0, y: 0, width, height }) {
      const x0 = Math.max(0, area.x);
      const y0 = Math.max(0, area.y);
      const x1 = Math.min(width, area.x + area.width);
      const y1 = Math.min(height, area.y + area.height);
      let count = 0;
      for (let y = y0; y < y1; y++) {
        for (let x = x0; x < x1; x++) if (predicate(image.pixel(x, y), x, y)) count++;
      }
      return count;
    },
    toPpm() {
      const head = Buffer.from(`P6\n${width} ${height}\n255\n`, 'ascii');
      const body = Buffer.alloc(width * height * 3);
      for (let y = 0; y < height; y++) {
        for (let x = 0; x < width; x++) body.set(image.pixel(x, y), (y * width + x) * 3);
      }
      return Buffer.concat([head, body]);
    },
  };
  return image;
}

let shotCounter = 0;

function keepDirectory() {
  const keep = process.env.ORVANE_E2E_KEEP;
  if (!keep) return null;
  return existsSync(keep) && statSync(keep).isDirectory() ? keep : tmpdir();
}

export async function screenshot(windowId) {
  const target = windowId === undefined ? ['-root'] : ['-nobdrs', '-id', String(windowId)];
  let stdout;
  try {
    ({ stdout } = await execFileAsync('xwd', ['-silent', ...target],
      { encoding: 'buffer', maxBuffer: 256 * 1024 * 1024, timeout: DEFAULT_TIMEOUT }));
  } catch (err) {
    throw new Error(`xwd ${target.join(' ')} failed (DISPLAY=${process.env.DISPLAY}): ${err.message.trim()}`);
  }
  const image = parseXwd(stdout);
  const dir = keepDirectory();
  if (dir) {
    const file = join(dir, `orvane-e2e-${process.pid}-${++shotCounter}.ppm`);
    writeFileSync(file, image.toPpm());
    process.stderr.write(`screenshot kept: ${file}\n`);
  }
  return image;
}

// Rendering lags behind the command that triggered it, so shots are retaken
// until check(image) stops throwing; the last failing shot is kept as a PPM.
export async function waitForScreenshot(windowId, check, { timeout = DEFAULT_TIMEOUT, interval = 250 } = {}) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const image = await screenshot(windowId);
    try {
      check(image);
      return image;
    } catch (err) {
      if (Date.now() >= deadline) {
        const file = join(keepDirectory() ?? tmpdir(), `orvane-e2e-failed-${process.pid}-${++shotCounter}.ppm`);
        writeFileSync(file, image.toPpm());
        throw new Error(`screenshot of window ${windowId} still wrong after ${timeout} ms (kept as ${file}): `
          + `${err.message}\n${diagnostics()}`);
      }
    }
    await new Promise((r) => setTimeout(r, interval));
  }
}
