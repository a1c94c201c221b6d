#!/usr/bin/env node
// Drives the real view, as a hostile UI server would, with random command
// lines built from its own command table, and replays reproducer files.
//
//   node tests/fuzz/fuzz.mjs --seed N --count N [--out DIR]   random run
//   node tests/fuzz/fuzz.mjs --replay FILE_OR_DIR...           reproducers
//   --seconds N        stop a random run after N seconds, before --count is reached
//   --mutate FRACTION  that share of the commands loads a mutated file (mutate.mjs)
//                      read by the orvane-result-generator of --bin's build tree
//   common: --bin PATH (default: ORVANE_BIN, else build/src/app/orvane)
//   ORVANE_FUZZ_KEEP=1 keeps a replay's scratch directory for a look afterwards
//
// The view runs under the current DISPLAY (use xvfb-run), in a scratch
// directory that holds every path the commands name: data roots, generated
// malformed files, a FIFO, directories, and links to /dev/zero and
// /dev/urandom. Commands that run programs or reach the network are never
// sent. Random runs also move the real mouse and press keys (xdotool) over
// the view's window, which is then shown: moves, clicks, drags, wheel turns
// and keys, interleaved with the commands and with STEP imports of a real
// model. A heartbeat ("selectId", answered by "selectFace") follows every 50
// commands; no answer in 30 s is a hang. On a crash, a hang or a sanitizer
// report the last 100 commands are saved as a reproducer file and the view
// is restarted. The same seed gives the same commands.
//
// Reproducer files: one command per line, as sent; blank lines and lines
// starting with "#" are skipped; ${SCRATCH}, ${GEN} and ${ROOT} expand to
// the scratch directory, the generated files and a data root inside it.
// Directives:
//   @big BYTES WORD            send "WORD xxxx..." of BYTES bytes
//   @json "TEXT"               send a command written as a JSON string (for control characters)
//   @emit EVENT JSON...        emit an event with the given JSON arguments
//   @mouse move FX FY | click BUTTON | shift-click BUTTON | drag FX FY FX2 FY2
//                              real mouse input over the view (F: fraction of the window)
//   @key KEYSYM                a real key press in the view's window
//   @copy FILE PATH            copy FILE (beside the reproducer) to PATH, in command order
//   @mkdir PATH / @mkfifo PATH / @symlink TARGET LINK / @write PATH TEXT
//                              (TEXT may be a JSON string, "..." or "...".repeat(N))
//   @expect-stderr REGEX       the view's standard error must match, by the end
//   @after-exit-exists PATH    after the view has shut down, PATH must exist
//   @after-exit-missing PATH   ... and PATH must not
//   @after-exit-file PATH TEXT ... and PATH must hold exactly TEXT
//   @sync                      wait until the view has run every command sent so far
//   @small-filesystem DIR SIZE mount a tmpfs of SIZE (e.g. 8m) over DIR before the view
//                              starts (needs a private mount namespace: run under
//                              tests/fuzz/in-mount-namespace.sh)
//   @fill FILE                 grow FILE until its file system is full; @free FILE removes it
//   @snapshot DIR              record every file under DIR with its content
//   @expect-unchanged DIR      DIR holds what the snapshot recorded, besides @fill files
// A reproducer with @mouse or @key lines shows the view's window; others run
// it hidden. A replay passes when the view answers the final heartbeat, shuts down
// cleanly on SIGTERM, prints no sanitizer report and meets the expectations.

import { spawn, spawnSync, execFileSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { createServer } from 'node:http';
import { createHash } from 'node:crypto';
import {
  closeSync, existsSync, mkdirSync, mkdtempSync, openSync, readdirSync, readFileSync, rmSync, statSync, symlinkSync,
  writeFileSync, writeSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { keyboardWindow, windowGeometry } from '../e2e/harness.mjs';
import { prepareMutation, writeMutantFiles } from './mutate.mjs';

const repoRoot = resolve(fileURLToPath(new URL('../..', import.meta.url)));
const requireFromServer = createRequire(join(repoRoot, 'tools/ui-server/package.json'));
const { Server } = requireFromServer('socket.io');

const HEARTBEAT_EVERY = 50;
const HANG_MS = Number(process.env.ORVANE_FUZZ_HANG_MS || 30000);
const KEEP = 100;
const SANITIZER = /^==\d+==ERROR: |runtime error: |^SUMMARY: \w+Sanitizer|^==\d+==WARNING: .*Sanitizer/;

// A real model for the imports that the mouse meets half-built.
const SAMPLE_STEP = '/usr/share/opencascade/data/step/screw.step';
// The view's keys, except "x" (it runs the Gauss-point program), and others.
const KEYS = ['q', 'Escape', 'r', 't', 'y', 'b', 'u', 'h', 'v', 'z', 'l', 'k', 'a', 'e', 'w', 's', 'f', '3',
  'Return', 'space', 'Delete', 'Tab', 'F1', 'shift+r', 'ctrl+q'];

// Command words that run programs or reach other machines.
const EXCLUDED_WORDS = new Set(['openSSh', 'SolveModel', 'genBrep', 'generateBreps']);
const RUNS_PROGRAMS = /\bruns?\b[^.;]*\b(program|solver)\b|\bssh\b|\bscp\b|\bmpirun\b|\bremote\b/i;

// ---------------------------------------------------------------- arguments

function parseArgs(argv) {
  const options = { seed: 1, count: 1000, replay: [], out: null, bin: null, mutate: 0, seconds: Infinity };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const next = () => {
      if (i + 1 >= argv.length) throw new Error(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--seed') options.seed = Number(next());
    else if (a === '--count') options.count = Number(next());
    else if (a === '--out') options.out = next();
    else if (a === '--bin') options.bin = next();
    else if (a === '--mutate') options.mutate = Number(next());
    else if (a === '--seconds') options.seconds = Number(next());
    else if (a === '--replay') {
      while (i + 1 < argv.length && !argv[i + 1].startsWith('--')) options.replay.push(argv[++i]);
    } else throw new Error(`unknown argument ${a}`);
  }
  if (!Number.isInteger(options.seed) || !Number.isInteger(options.count) || options.count < 0) {
    throw new Error('--seed and --count take whole numbers');
  }
  if (!(options.mutate >= 0 && options.mutate <= 1)) throw new Error('--mutate takes a fraction from 0 to 1');
  return options;
}

// ------------------------------------------------------------ random numbers

// mulberry32: small, fast and the same everywhere for one seed.
function rng(seed) {
  let a = seed >>> 0;
  const next = () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  return {
    next,
    int: (n) => Math.floor(next() * n),
    pick: (list) => list[Math.floor(next() * list.length)],
    chance: (p) => next() < p,
  };
}

// --------------------------------------------------------------- the scratch

function makeScratch() {
  const scratch = mkdtempSync(join(tmpdir(), 'orvane-fuzz-'));
  const gen = join(scratch, 'gen');
  const root = join(scratch, 'root');
  for (const dir of [gen, root, join(root, 'data/step'), join(root, 'data/solid'), join(root, 'data/cut'),
    join(root, 'data/brep'), join(scratch, 'cwd'), join(scratch, 'rb3'), join(scratch, 'gauss'),
    join(scratch, 'series'), join(gen, 'dir')]) {
    mkdirSync(dir, { recursive: true });
  }
  const file = (name, content) => writeFileSync(join(gen, name), content);
  file('deep-brackets.step', `ISO-10303-21;\nHEADER;\nENDSEC;\nDATA;\n#1=A${'('.repeat(100000)}${')'.repeat(100000)};\nENDSEC;\nEND-ISO-10303-21;\n`);
  file('empty.step', '');
  file('garbage.step', Buffer.from(Array.from({ length: 4096 }, (_, i) => (i * 7919) & 0xff)));
  file('truncated.step', 'ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((\'\'),\'2;1\');\nENDSEC;\nDATA;\n#1=CARTESIAN_POINT(\'\',(0.,0.');
  const huge = Buffer.alloc(134, 1);
  huge.writeUInt32LE(711000000, 80);
  file('huge-claim.stl', huge);
  file('empty.stl', '');
  file('garbage.stl', Buffer.from(Array.from({ length: 3000 }, (_, i) => (i * 131 + 17) & 0xff)));
  file('truncated.stl', 'solid t\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0');
  file('cube.stl', readFileSync(join(repoRoot, 'tests/data/cube.stl')));
  const many = [];
  for (let i = 0; i < 200000; i++) many.push(`${i % 997} ${(i * 7) % 991} ${(i * 13) % 983}`);
  file('points-200k.txt', `${many.join('\n')}\n`);
  file('points.txt', '0 0 0\n10 0 0\n0 10 0\n');
  file('garbage-points.txt', '1 2 3 4,5 x\u0001\u0002 9');
  file('long-word.txt', `1 2 3 ${'7'.repeat(200000)}`);
  file('empty.txt', '');
  file('garbage.brep', 'CASCADE Topology V1, (c) Matra-Datavision\nLocations 3\n1\n');
  file('garbage.vts', '<?xml version="1.0"?><VTKFile type="StructuredGrid"><StructuredGrid WholeExtent="0 99999 0 99999 0 99999">');
  file('garbage.vtk', '# vtk DataFile Version 3.0\nx\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS 100000 100000 100000\n');
  file('huge-extent.vts', '<?xml version="1.0"?>\n<VTKFile type="StructuredGrid" version="1.0" byte_order="LittleEndian">\n'
    + '<StructuredGrid WholeExtent="0 2000 0 2000 0 2000">\n<Piece Extent="0 2000 0 2000 0 2000">\n'
    + '<Points><DataArray type="Float32" NumberOfComponents="3" format="ascii">0 0 0</DataArray></Points>\n'
    + '</Piece>\n</StructuredGrid>\n</VTKFile>\n');
  file('huge-claim.vtk', '# vtk DataFile Version 3.0\nx\nASCII\nDATASET POLYDATA\nPOINTS 1000000000 float\n0 0 0\n');
  const frame = '# vtk DataFile Version 3.0\nx\nASCII\nDATASET POLYDATA\nPOINTS 3 float\n0 0 0 1 0 0 0 1 0\n'
    + 'POLYGONS 1 4\n3 0 1 2\nPOINT_DATA 3\nSCALARS sigma_xx float 1\nLOOKUP_TABLE default\n1 2 3\n';
  file('frame.vtk', frame);
  // A series for rendererVTK and the step commands: good frames and a hostile one.
  writeFileSync(join(scratch, 'series/box3D_FEMmpData1.vtk'), frame);
  writeFileSync(join(scratch, 'series/box3D_FEMmpData2.vtk'), readFileSync(join(gen, 'huge-claim.vtk')));
  writeFileSync(join(scratch, 'series/box3D_FEMmpData3.vtk'), frame);
  file('table.txt', '1 2\n3\nnot a table\n');
  spawnSync('mkfifo', [join(gen, 'fifo')]);
  symlinkSync('/dev/zero', join(gen, 'zero'));
  symlinkSync('/dev/urandom', join(gen, 'urandom'));
  symlinkSync(join(gen, 'dir'), join(gen, 'dir-link'));
  return { scratch, gen, root };
}

function pathPool({ scratch, gen, root }) {
  const files = readdirSync(gen).map((name) => join(gen, name));
  return [
    ...files, root, `${root}/`, scratch, join(scratch, 'missing/file.stl'), join(gen, 'missing.step'),
    join(root, 'data'), join(root, 'data/step'), join(root, 'data/step/model0.stl'),
    join(root, 'out.txt'), join(scratch, 'cwd/out.png'), join(root, 'data/preFiles.txt'),
  ];
}

// ----------------------------------------------------------- the command table

function commandTable(bin) {
  const rows = JSON.parse(execFileSync(bin, ['--commands'], { encoding: 'utf8', maxBuffer: 16 << 20 }));
  return rows.filter((r) => !EXCLUDED_WORDS.has(r.word) && !RUNS_PROGRAMS.test(r.description));
}

const EDGE_NUMBERS = [
  '0', '1', '-1', '2', '3', '7', '10', '100', '1000', '9998', '9999', '10000', '100000', '10000000',
  '3e9', '-3e9', '2147483647', '2147483648', '-2147483649', '1e300', '-1e300', '1.7976931348623157e308',
  '4.9e-324', '1e-300', 'NaN', 'nan', 'inf', '-inf', 'Infinity', '0x10', '0x7fffffff', '1e', '+', '-',
  '0.5', '-0.5', '1.5', '8047', '.', '1,5', '00000000000000000000001', '',
];

function makeGenerator(seed, table, paths, { withInput = false, importRoots = [] } = {}) {
  const r = rng(seed);
  const junk = () => {
    const alphabet = 'abcXYZ019_.-:%é模型';
    let w = '';
    const n = 1 + r.int(12);
    for (let i = 0; i < n; i++) w += r.pick(alphabet);
    // Relative words resolve inside the view's working directory (the scratch).
    return w.replace(/\.\./g, '._').replace(/^-/, '_');
  };
  const word = (kind) => {
    if (r.chance(0.002)) return r.pick(['a', '1', '/']).repeat(100000).replace(/^\//, paths[0]);
    if (kind === 'int' || kind === 'real') return r.chance(0.9) ? r.pick(EDGE_NUMBERS) : junk();
    if (r.chance(0.03)) return r.pick(EDGE_NUMBERS);
    if (r.chance(0.7)) return r.pick(paths);
    if (r.chance(0.1)) return `${r.pick(paths)}\u0001x`;
    return junk();
  };
  const fraction = () => (r.int(1000) / 1000).toFixed(3);
  const input = () => {
    const roll = r.next();
    if (roll < 0.45) return { kind: 'mouse', words: ['move', fraction(), fraction()] };
    if (roll < 0.65) return { kind: 'mouse', words: ['click', r.pick(['1', '3', '3', '2', '4', '5'])] };
    if (roll < 0.72) return { kind: 'mouse', words: ['shift-click', '3'] };
    if (roll < 0.82) return { kind: 'mouse', words: ['drag', fraction(), fraction(), fraction(), fraction()] };
    return { kind: 'key', key: r.pick(KEYS) };
  };
  return function nextMessage() {
    if (withInput) {
      if (r.chance(0.1)) return input();
      if (r.chance(0.003) && existsSync(SAMPLE_STEP)) {
        return { kind: 'text', text: `openSTLFile ${r.pick(importRoots)} ${SAMPLE_STEP}` };
      }
    }
    const roll = r.next();
    if (roll < 0.01) {
      const payloads = [[42], [{ a: 1 }], [], [null], [['readStl', '1']], [true], ['selectId', 'extra']];
      return { kind: 'emit', event: 'message', args: r.pick(payloads) };
    }
    if (roll < 0.015) return { kind: 'emit', event: r.pick(['zzz', 'command', 'ready', 'reply']), args: ['x'] };
    if (roll < 0.016) return { kind: 'text', text: `${r.pick(table).word} ${'y'.repeat(1200000)}` };
    if (roll < 0.02) return { kind: 'text', text: r.pick(['', ' ', '  ', junk(), `${junk()} 1 2 3`]) };
    const row = r.pick(table);
    const words = [row.word];
    if (row.selector) words.push(r.chance(0.95) ? row.selector : r.pick(EDGE_NUMBERS));
    let count = row.arguments.length;
    if (r.chance(0.25)) count = r.int(row.arguments.length + 4);
    for (let i = 0; i < count; i++) words.push(word(row.arguments[i] ?? r.pick(['text', 'real'])));
    let text = words.join(' ');
    if (r.chance(0.05)) text = text.replace(/ /, '  ');
    return { kind: 'text', text };
  };
}

// ------------------------------------------------------------------ the view

class ViewHost {
  constructor(bin, env) {
    this.bin = bin;
    this.env = env;
    // Events are counted, not kept: one command may draw a hundred thousand
    // replies, and rescanning a list of them on every arrival would stall
    // this process until the server times the view out.
    this.eventCounts = new Map();
    this.waiters = [];
    this.socket = null;
    this.stderr = [];
    this.sanitizerLines = [];
  }

  async listen() {
    this.http = createServer();
    this.io = new Server(this.http, { maxHttpBufferSize: 256 << 20 });
    this.io.on('connection', (socket) => {
      this.socket = socket;
      socket.onAny((event, ...args) => {
        this.eventCounts.set(event, this.count(event) + 1);
        if (event === 'ready' || event === 'selectFace') this.wake();
      });
      socket.on('disconnect', (reason) => {
        if (!this.stopping) console.log(`  the server lost the view: ${reason}`);
        if (this.socket === socket) this.socket = null;
        this.wake();
      });
      this.wake();
    });
    await new Promise((done) => this.http.listen(0, '127.0.0.1', done));
    this.url = `ws://127.0.0.1:${this.http.address().port}`;
  }

  count(event) {
    return this.eventCounts.get(event) || 0;
  }

  wake() {
    const waiters = this.waiters;
    this.waiters = [];
    for (const w of waiters) w();
  }

  waitFor(predicate, ms) {
    return new Promise((done) => {
      const timer = setTimeout(() => done(false), ms);
      const check = () => {
        if (predicate()) {
          clearTimeout(timer);
          done(true);
        } else if (this.exited) {
          clearTimeout(timer);
          done(false);
        } else this.waiters.push(check);
      };
      check();
    });
  }

  async start() {
    this.exited = null;
    this.stopping = false;
    this.eventCounts = new Map();
    this.expectedReplies = 0;
    this.window = null;
    this.child = spawn(this.bin, this.shown ? [] : ['hide'], {
      cwd: this.env.cwd, env: { ...process.env, ...this.env.vars, ORVANE_UI_URL: this.url },
      stdio: ['ignore', 'ignore', 'pipe'],
    });
    let pending = '';
    this.child.stderr.setEncoding('utf8');
    this.child.stderr.on('data', (chunk) => {
      pending += chunk;
      let nl;
      while ((nl = pending.indexOf('\n')) !== -1) {
        const line = pending.slice(0, nl);
        pending = pending.slice(nl + 1);
        if (this.stderr.length > 5000) this.stderr.splice(0, 2500);
        this.stderr.push(line);
        if (SANITIZER.test(line)) this.sanitizerLines.push(line);
      }
    });
    this.child.on('exit', (code, signal) => {
      this.exited = { code, signal };
      this.wake();
    });
    const ready = await this.waitFor(() => this.socket && this.count('ready') > 0, 60000);
    if (!ready) throw new Error(`the view did not connect: ${this.exited ? JSON.stringify(this.exited) : 'timeout'}\n${this.stderr.slice(-20).join('\n')}`);
  }

  // The shown view's largest window, its place and the child that takes keys.
  async findWindow() {
    const found = spawnSync('xdotool', ['search', '--sync', '--onlyvisible', '--pid', String(this.child.pid)],
      { encoding: 'utf8', timeout: 30000 });
    let best = null;
    for (const id of (found.stdout || '').split('\n').filter(Boolean).map(Number)) {
      const g = await windowGeometry(id);
      if (!best || g.width * g.height > best.g.width * best.g.height) best = { id, g };
    }
    if (!best) throw new Error(`no window of the view: ${found.stderr || found.error || 'xdotool found none'}`);
    this.window = { ...best.g, keys: await keyboardWindow(best.id) };
  }

  // Real input over the window; a view that is gone makes it a no-op.
  input(message) {
    if (!this.window || this.exited) return;
    const w = this.window;
    const at = (fx, fy) => [String(w.x + Math.round(Number(fx) * (w.width - 1))),
      String(w.y + Math.round(Number(fy) * (w.height - 1)))];
    let args;
    if (message.kind === 'key') args = ['windowfocus', String(w.keys), 'key', message.key];
    else {
      const [what, ...rest] = message.words;
      if (what === 'move') args = ['mousemove', ...at(rest[0], rest[1])];
      else if (what === 'click') args = ['click', rest[0]];
      else if (what === 'shift-click') args = ['keydown', 'shift', 'click', rest[0], 'keyup', 'shift'];
      else if (what === 'drag') {
        args = ['mousemove', ...at(rest[0], rest[1]), 'mousedown', '1', 'mousemove', ...at(rest[2], rest[3]),
          'mouseup', '1'];
      } else throw new Error(`unknown mouse input ${what}`);
    }
    spawnSync('xdotool', args, { timeout: 10000 });
  }

  async startAndFind() {
    await this.start();
    if (this.shown) await this.findWindow();
  }

  send(message) {
    if (message.kind === 'mouse' || message.kind === 'key') {
      this.input(message);
      return;
    }
    if (!this.socket) return;
    if (message.kind === 'mutant') writeMutantFiles(message.files);
    if (message.kind === 'text' || message.kind === 'mutant') {
      this.socket.emit('message', message.text);
      if (message.text.split(' ')[0] === 'selectId' && Buffer.byteLength(message.text) <= 1 << 20) {
        this.expectedReplies += 1;
      }
    } else {
      this.socket.emit(message.event, ...message.args);
      if (message.event === 'message' && typeof message.args[0] === 'string' &&
          message.args[0].split(' ')[0] === 'selectId') {
        this.expectedReplies += 1;
      }
    }
  }

  // True when every selectId sent so far has its "selectFace" answer.
  async heartbeat(ms = HANG_MS) {
    this.send({ kind: 'text', text: 'selectId' });
    const want = this.expectedReplies;
    return this.waitFor(() => this.count('selectFace') >= want, ms);
  }

  async stop(signal = 'SIGTERM', ms = 30000) {
    if (!this.child || this.exited) return this.exited;
    this.stopping = true;
    this.child.kill(signal);
    const done = await this.waitFor(() => this.exited, ms);
    if (!done) {
      this.child.kill('SIGKILL');
      await this.waitFor(() => this.exited, 10000);
      return { code: null, signal: 'SIGKILL', timedOut: true };
    }
    return this.exited;
  }

  async close() {
    this.io.close();
    await new Promise((done) => this.http.close(() => done()));
  }
}

function viewEnv(scratch) {
  return {
    cwd: join(scratch.scratch, 'cwd'),
    vars: {
      ORVANE_DEFAULT_DATA_ROOT: scratch.root,
      ORVANE_RB3_BREP_DIR: join(scratch.scratch, 'rb3'),
      ORVANE_GAUSS_DATA_DIR: join(scratch.scratch, 'gauss'),
      ORVANE_SERIES_DIR: join(scratch.scratch, 'series'),
      ORVANE_REMOTE_HOST: '',
      ASAN_OPTIONS: process.env.ASAN_OPTIONS || 'detect_leaks=0:allocator_may_return_null=1',
      UBSAN_OPTIONS: process.env.UBSAN_OPTIONS || 'print_stacktrace=1',
    },
  };
}

function describe(message) {
  if (message.kind === 'mouse') return `@mouse ${message.words.join(' ')}`;
  if (message.kind === 'key') return `@key ${message.key}`;
  if (message.kind === 'text' || message.kind === 'mutant') {
    return message.text.length > 2000 ? `@big ${Buffer.byteLength(message.text)} ${message.text.split(' ')[0]}` : message.text;
  }
  return `@emit ${message.event} ${message.args.map((a) => JSON.stringify(a)).join(' ')}`;
}

// ------------------------------------------------------------------ fuzzing

async function fuzz(options, bin) {
  const scratch = makeScratch();
  const table = commandTable(bin);
  const withInput = Boolean(process.env.DISPLAY);
  if (!withInput) console.log('  no DISPLAY: no mouse or keyboard input');
  const commands = makeGenerator(options.seed, table, pathPool(scratch),
    { withInput, importRoots: [scratch.root, join(scratch.scratch, 'missing-root')] });
  let next = commands;
  if (options.mutate > 0) {
    const random = rng(options.seed ^ 0x5bd1e995);
    const mutation = prepareMutation({
      scratch: scratch.scratch, root: scratch.root, seriesDir: join(scratch.scratch, 'series'), random,
      generator: join(dirname(bin), '../../tools/result-generator/orvane-result-generator'),
    });
    next = () => (random.chance(options.mutate) ? mutation.next() : commands());
  }
  // A mutated STEP model is imported whole: answers come later than for words.
  const heartbeatEvery = options.mutate > 0 ? 10 : HEARTBEAT_EVERY;
  // A STEP model that makes the reader run away holds the commands after it
  // until the reader's time limit (over two minutes for the largest sample).
  const hangMs = options.mutate > 0 ? Math.max(HANG_MS, 240000) : HANG_MS;
  const out = resolve(options.out || join(tmpdir(), 'orvane-fuzz-reproducers'));
  mkdirSync(out, { recursive: true });
  const host = new ViewHost(bin, viewEnv(scratch));
  host.shown = withInput;
  await host.listen();
  await host.startAndFind();
  const stats = { sent: 0, crashes: 0, hangs: 0, sanitizerReports: 0, restarts: 0 };
  const recent = [];
  const started = Date.now();
  let reportedSanitizer = 0;

  const saveReproducer = (why) => {
    const file = join(out, `${why}-seed${options.seed}-${stats.sent}.txt`);
    // Scratch paths are written as ${SCRATCH} so that a replay finds its own generated files.
    const files = `${file}.files`;
    const portable = recent.flatMap((message, k) => {
      const lines = [];
      for (const { path, bytes } of message.files || []) {
        mkdirSync(files, { recursive: true });
        writeFileSync(join(files, `${k}-${basename(path)}`), bytes);
        lines.push(`@copy ${relative(out, join(files, `${k}-${basename(path)}`))} ${path}`);
      }
      lines.push(describe(message));
      return lines.map((line) => line.replaceAll(scratch.scratch, '${SCRATCH}'));
    });
    writeFileSync(file, `# ${why} after command ${stats.sent} of seed ${options.seed}\n# view stderr tail:\n${host.stderr.slice(-15).map((l) => `#   ${l.slice(0, 300)}`).join('\n')}\n${portable.join('\n')}\n`);
    console.log(`  ${why}: reproducer ${file}`);
  };

  for (let i = 0; i < options.count; i++) {
    if ((Date.now() - started) / 1000 > options.seconds && i % heartbeatEvery === 0) break;
    const message = next();
    recent.push(message);
    if (recent.length > KEEP) recent.shift();
    host.send(message);
    stats.sent += 1;
    if ((i + 1) % heartbeatEvery !== 0 && i + 1 !== options.count && !host.exited) continue;
    const alive = await host.heartbeat(hangMs);
    const newReports = host.sanitizerLines.length - reportedSanitizer;
    if (newReports > 0) {
      stats.sanitizerReports += host.sanitizerLines.slice(reportedSanitizer).filter((l) => /ERROR: |runtime error: /.test(l)).length;
      reportedSanitizer = host.sanitizerLines.length;
      saveReproducer('sanitizer');
    }
    if (!alive) {
      if (host.exited) stats.crashes += 1;
      else stats.hangs += 1;
      saveReproducer(host.exited ? 'crash' : 'hang');
      await host.stop('SIGKILL');
      stats.restarts += 1;
      recent.length = 0;
      await host.startAndFind();
    }
    if ((i + 1) % 1000 === 0) console.log(`  ${i + 1} commands, ${Math.round((Date.now() - started) / 1000)} s`);
  }
  const exit = await host.stop();
  if (exit && (exit.code !== 0 || exit.signal)) {
    stats.crashes += 1;
    saveReproducer('shutdown');
  }
  await host.close();
  console.log(`fuzz seed ${options.seed}: sent ${stats.sent}, crashes ${stats.crashes}, hangs ${stats.hangs}, ` +
    `sanitizer reports ${stats.sanitizerReports}, restarts ${stats.restarts}, ` +
    `${Math.round((Date.now() - started) / 1000)} s`);
  for (const line of host.sanitizerLines.slice(0, 20)) console.log(`  ${line}`);
  rmSync(scratch.scratch, { recursive: true, force: true });
  return stats.crashes + stats.hangs + stats.sanitizerReports === 0;
}

// ------------------------------------------------------------------ replay

// @write text: as written, or a JSON string when it starts with a quote (for
// line breaks and control characters); "...".repeat(N) repeats it.
function writtenText(text) {
  const repeated = /^(".*")\.repeat\((\d+)\)$/.exec(text);
  if (repeated) return JSON.parse(repeated[1]).repeat(Number(repeated[2]));
  return text.startsWith('"') ? JSON.parse(text) : text;
}

function mountSmallFileSystem(dir, size) {
  mkdirSync(dir, { recursive: true });
  const mounted = spawnSync('mount', ['-t', 'tmpfs', '-o', `size=${size}`, 'orvane-small', dir], { encoding: 'utf8' });
  if (mounted.status !== 0) {
    throw new Error(`cannot mount a ${size} file system on ${dir} (run under tests/fuzz/in-mount-namespace.sh): ` +
      `${mounted.stderr || mounted.error}`);
  }
}

function fillFileSystem(path) {
  const fd = openSync(path, 'a');
  const chunk = Buffer.alloc(64 << 10);
  try {
    for (let size = chunk.length; size > 0; size >>= 1) {
      try {
        for (;;) writeSync(fd, chunk, 0, size);
      } catch (error) {
        if (error.code !== 'ENOSPC') throw error;
      }
    }
  } finally {
    closeSync(fd);
  }
}

// Path -> digest of every regular file under dir (links and others by kind).
function fileContents(dir) {
  const found = new Map();
  const walk = (d) => {
    for (const entry of readdirSync(d, { withFileTypes: true })) {
      const path = join(d, entry.name);
      if (entry.isDirectory()) walk(path);
      else if (entry.isFile()) {
        const content = readFileSync(path);
        found.set(path, `${content.length} bytes, sha1 ${createHash('sha1').update(content).digest('hex')}`);
      }
      else found.set(path, 'not a regular file');
    }
  };
  walk(dir);
  return found;
}

function replayFiles(paths) {
  const files = [];
  for (const p of paths) {
    if (statSync(p).isDirectory()) {
      for (const name of readdirSync(p).sort()) if (name.endsWith('.txt')) files.push(join(p, name));
    } else files.push(p);
  }
  return files;
}

async function replayOne(file, bin) {
  const scratch = makeScratch();
  const expand = (text) => text.replaceAll('${SCRATCH}', scratch.scratch).replaceAll('${GEN}', scratch.gen)
    .replaceAll('${ROOT}', scratch.root);
  const host = new ViewHost(bin, viewEnv(scratch));
  const failures = [];
  const expectations = [];
  const afterExit = [];
  const fillers = new Set();
  const mounted = [];
  let snapshot = new Map();
  const lines = readFileSync(file, 'utf8').split('\n');
  // Set-up directives run before the view starts, so it sees the tree complete.
  for (const raw of lines) {
    const line = expand(raw);
    const [directive, ...rest] = line.split(' ');
    if (directive === '@small-filesystem') {
      mountSmallFileSystem(rest[0], rest[1]);
      mounted.push(rest[0]);
    }
    else if (directive === '@mkdir') mkdirSync(rest.join(' '), { recursive: true });
    else if (directive === '@mkfifo') spawnSync('mkfifo', [rest.join(' ')]);
    else if (directive === '@symlink') symlinkSync(rest[0], rest[1]);
    else if (directive === '@write') writeFileSync(rest[0], writtenText(rest.slice(1).join(' ')));
  }
  host.shown = lines.some((line) => /^@(mouse|key) /.test(line));
  await host.listen();
  await host.startAndFind();
  for (const raw of lines) {
    if (raw.trim() === '' || raw.startsWith('#')) continue;
    const line = expand(raw);
    const [directive, ...rest] = line.split(' ');
    if (['@small-filesystem', '@mkdir', '@mkfifo', '@symlink', '@write'].includes(directive)) continue;
    if (directive === '@sync') {
      if (!(await host.heartbeat())) {
        failures.push(`${raw}: ${host.exited ? 'the view ended' : `no answer in ${HANG_MS} ms`}`);
        break;
      }
    } else if (directive === '@fill') {
      fillFileSystem(rest.join(' '));
      fillers.add(rest.join(' '));
    } else if (directive === '@free') rmSync(rest.join(' '), { force: true });
    else if (directive === '@snapshot') snapshot = fileContents(rest.join(' '));
    else if (directive === '@expect-unchanged') {
      const now = fileContents(rest.join(' '));
      for (const filler of fillers) now.delete(filler);
      for (const [path, digest] of snapshot) {
        if (!now.has(path)) failures.push(`${path} was removed`);
        else if (now.get(path) !== digest) failures.push(`${path} was changed: ${now.get(path)}, was ${digest}`);
      }
      for (const path of now.keys()) if (!snapshot.has(path)) failures.push(`${path} appeared`);
    } else if (directive === '@expect-stderr') expectations.push(new RegExp(rest.join(' ')));
    else if (directive === '@after-exit-exists') afterExit.push({ path: rest.join(' '), exists: true });
    else if (directive === '@after-exit-missing') afterExit.push({ path: rest.join(' '), exists: false });
    else if (directive === '@after-exit-file') afterExit.push({ path: rest[0], exists: true, content: rest.slice(1).join(' ') });
    else if (directive === '@mouse') host.send({ kind: 'mouse', words: rest });
    else if (directive === '@key') host.send({ kind: 'key', key: rest[0] });
    else if (directive === '@copy') {
      mkdirSync(dirname(rest[1]), { recursive: true });
      writeFileSync(rest[1], readFileSync(resolve(dirname(file), rest[0])));
    } else if (directive === '@json') host.send({ kind: 'text', text: JSON.parse(rest.join(' ')) });
    else if (directive === '@big') host.send({ kind: 'text', text: `${rest[1]} ${'x'.repeat(Math.max(0, Number(rest[0]) - rest[1].length - 1))}` });
    else if (directive === '@emit') host.send({ kind: 'emit', event: rest[0], args: rest.slice(1).filter((a) => a !== '').map((a) => JSON.parse(a)) });
    else host.send({ kind: 'text', text: line });
  }
  if (!(await host.heartbeat())) {
    failures.push(host.exited ? `the view ended: ${JSON.stringify(host.exited)}` : `no answer in ${HANG_MS} ms (hang)`);
  }
  const exit = await host.stop();
  if (exit && (exit.code !== 0 || exit.signal) && failures.length === 0) {
    failures.push(`shutdown: ${JSON.stringify(exit)}`);
  }
  await host.close();
  if (host.sanitizerLines.length > 0) failures.push(`sanitizer report:\n    ${host.sanitizerLines.join('\n    ')}`);
  for (const re of expectations) {
    if (!host.stderr.some((l) => re.test(l))) failures.push(`no stderr line matches ${re}`);
  }
  for (const { path, exists, content } of afterExit) {
    if (existsSync(path) !== exists) failures.push(`after shutdown ${path} ${exists ? 'is missing' : 'still exists'}`);
    else if (content !== undefined && readFileSync(path, 'utf8') !== content) {
      failures.push(`after shutdown ${path} holds ${JSON.stringify(readFileSync(path, 'utf8').slice(0, 80))}`);
    }
  }
  if (failures.length > 0) {
    console.log(`FAIL ${basename(file)}\n  ${failures.join('\n  ')}\n  view stderr tail:\n${host.stderr.slice(-15).map((l) => `    ${l.slice(0, 300)}`).join('\n')}`);
  } else console.log(`ok   ${basename(file)}`);
  if (process.env.ORVANE_FUZZ_KEEP) console.log(`  kept ${scratch.scratch}`);
  else {
    for (const dir of mounted) spawnSync('umount', [dir]);
    rmSync(scratch.scratch, { recursive: true, force: true });
  }
  return failures.length === 0;
}

// ------------------------------------------------------------------ main

const options = parseArgs(process.argv.slice(2));
const bin = resolve(options.bin || process.env.ORVANE_BIN || join(repoRoot, 'build/src/app/orvane'));
let passed = true;
if (options.replay.length > 0) {
  for (const file of replayFiles(options.replay)) passed = (await replayOne(file, bin)) && passed;
} else {
  passed = await fuzz(options, bin);
}
process.exit(passed ? 0 : 1);
