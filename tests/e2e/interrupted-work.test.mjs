// End-to-end tests of signals that arrive while the view works: SIGTERM
// during a STEP import, and a second signal during a slow shutdown.
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/interrupted-work.test.mjs
// The import needs a model big enough to be still running when the signal
// comes: the benchmark's model generator writes one (ORVANE_MAKE_LARGE_MODEL,
// else build/benchmarks/orvane_make_large_model). Skipped when the view or
// the generator is not built or there is no display, unless
// ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import {
  existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { prepareDataRoot, repoRoot, startUiServer, startView, stopAll, viewSkipReason } from './harness.mjs';

const execFileAsync = promisify(execFile);

const SCREW = '/usr/share/opencascade/data/step/screw.step';
const MAKE_LARGE_MODEL = process.env.ORVANE_MAKE_LARGE_MODEL
  || join(repoRoot, 'build/benchmarks/orvane_make_large_model');
// Faces of the large model: its import takes some seconds on two cores.
const LARGE_MODEL_FACES = 1500;
const MODEL_FILES = ['pts', 'stl', 'tri'].map((ext) => `locomotive_bogieassembly_sldasm2.${ext}`);
const EXIT_LIMIT = 5000;
const READY_TIMEOUT = 60000;
const IMPORT_TIMEOUT = 120000;
const SUITE_TIMEOUT = 300000;

function skipReason() {
  const common = viewSkipReason();
  if (common !== false || process.env.ORVANE_E2E_REQUIRED) return common;
  if (!existsSync(SCREW)) return `the OpenCASCADE sample model ${SCREW} is missing`;
  if (!existsSync(MAKE_LARGE_MODEL)) return `the model generator is not built: ${MAKE_LARGE_MODEL}`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`interrupted-work: skipping: ${skip}\n`);

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function until(what, check, timeout) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const value = check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out after ${timeout} ms waiting for ${what}`);
    await sleep(10);
  }
}

// Every regular file below dir with its content, by relative path.
function snapshot(dir) {
  const files = {};
  for (const entry of readdirSync(dir, { recursive: true })) {
    const path = join(dir, entry);
    if (statSync(path).isFile()) files[entry] = readFileSync(path, 'latin1');
  }
  return files;
}

// Running processes only: an orphan waits as a zombie until PID 1 reaps it.
function running(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
    return !/^[ZX]$/.test(stat.slice(stat.lastIndexOf(')') + 2, stat.lastIndexOf(')') + 3));
  } catch {
    return false;
  }
}

// node's runner counts a skipped test, not a skipped suite.
if (skip) test('signals while the view works', { skip }, () => {});
else describe('signals while the view works', { timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let ui;
  let largeModel;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-interrupt-'));
    largeModel = join(dir, 'large.step');
    await execFileAsync(MAKE_LARGE_MODEL, [largeModel, String(LARGE_MODEL_FACES)], { timeout: 120000 });
    ui = await startUiServer();
  });
  after(async () => {
    await stopAll();
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  const prepareRoot = (name) => prepareDataRoot(join(dir, name));

  async function newView() {
    const view = await startView({ url: ui.url, cwd: dir });
    await ui.waitFor({ event: 'ready' }, { after: ui.mark(), timeout: READY_TIMEOUT });
    return view;
  }

  // Sends the signal and resolves with the exit and the time it took.
  async function signal(view, name = 'SIGTERM') {
    view.proc.stopping = true;
    const start = Date.now();
    process.kill(view.pid, name);
    return { exit: await view.proc.exited, ms: () => Date.now() - start };
  }

  // `when` says how far the second import gets before SIGTERM: "read" (the
  // STEP transfer reports progress), "mesh" (the model is being meshed) or
  // "write" (its first files are there).
  for (const when of ['read', 'mesh', 'write']) {
    test(`SIGTERM during an import's ${when} exits within 5 s, leaves none of its files and keeps an earlier import's`,
      async () => {
        const view = await newView();
        const earlier = await prepareRoot(`earlier-${when}`);
        const mark = ui.mark();
        await ui.send(`openSTLFile ${earlier} ${SCREW}`);
        await ui.waitFor({ event: 'message', text: 'step_file_loaded_flag' }, { after: mark, timeout: IMPORT_TIMEOUT });
        const kept = snapshot(join(earlier, 'data'));
        assert.ok(Object.keys(kept).some((f) => f.startsWith('step/')), 'the earlier import wrote no face files');

        const root = await prepareRoot(`interrupted-${when}`);
        const data = join(root, 'data');
        const before = snapshot(data);
        ui.mark();
        await ui.send(`openSTLFile ${root} ${largeModel}`);
        if (when === 'read') {
          await ui.waitFor({ event: 'progress', text: /^read [1-9][0-9]* 1000$/ }, { timeout: IMPORT_TIMEOUT });
        } else if (when === 'mesh') {
          await ui.waitFor({ event: 'progress', text: /^read 1000 1000$/ }, { timeout: IMPORT_TIMEOUT });
        } else {
          await until('the first face file', () => readdirSync(join(data, 'step')).length > 0, IMPORT_TIMEOUT);
        }
        const { exit, ms } = await signal(view);
        const took = ms();
        assert.ok(took <= EXIT_LIMIT, `the view took ${took} ms to exit`);
        assert.equal(exit.code, 0, JSON.stringify(exit));
        assert.equal(ui.events.slice(ui.lastMark).filter((e) => e.event === 'message'
          && e.args[0] === 'step_file_loaded_flag').length, 0, 'the import completed before the signal');
        assert.deepEqual(snapshot(data), before, 'files of the interrupted import are left');
        for (const name of MODEL_FILES) assert.ok(!existsSync(join(data, name)), name);
        assert.deepEqual(snapshot(join(earlier, 'data')), kept, 'the earlier import\'s files changed');
      });
  }

  test('a second signal during a slow shutdown ends the view at once, with the program it ran', async () => {
    const view = await newView();
    const pidFile = join(dir, 'stubborn.pids');
    const script = join(dir, 'stubborn-job');
    // Ignores SIGTERM, as does the child it starts, so the first stop waits.
    writeFileSync(script, `#!/bin/sh\ntrap '' TERM\nsleep 300 &\necho $$ $! > "${pidFile}"\nwait\n`,
      { mode: 0o755 });
    await ui.send(`SolveModel ${script}`);
    const pids = (await until('the job\'s process ids', () => existsSync(pidFile)
      && readFileSync(pidFile, 'utf8').trim().split(' ').map(Number).filter(Boolean).length === 2
      && readFileSync(pidFile, 'utf8').trim().split(' ').map(Number), 10000));
    assert.ok(pids.every(running), 'the job is not running');

    view.proc.stopping = true;
    process.kill(view.pid, 'SIGTERM');
    await view.waitForStderr(/^orvane: SolveModel: stopping /, { timeout: 5000 });
    const { exit, ms } = await signal(view);
    const took = ms();
    assert.ok(took <= 1000, `the view took ${took} ms to exit after the second signal`);
    assert.equal(exit.signal, 'SIGTERM', JSON.stringify(exit));
    await until('the job to end', () => !pids.some(running), 2000).catch(() => {
      assert.fail(`processes of the job outlived the view: ${pids.filter(running).join(' ')}`);
    });
  });
});
