// End to end with the real solver: the view imports a STEP part, faces are
// picked with the real mouse and fixed and loaded by command, preFiles is
// uploaded with openSSh to a solver host on loopback (its own sshd, the
// account "orvanefem" laid out by scripts/solver-host.sh, Debian's mpirun
// with 2 ranks, Gmsh and CalculiX), the results come back and show.
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/real-solver.test.mjs
// Needs root (its own sshd and account).
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { delimiter, join } from 'node:path';
import { promisify } from 'node:util';
import { repoRoot, startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot } from './harness.mjs';
import { SSHD, startSolverHost } from './solver-host.mjs';
import { RESULT, isBackground, makeBracketStep, modelSpan, runSolverLoop } from './solver-loop.mjs';

const execFileAsync = promisify(execFile);
const ACCOUNT = 'orvanefem';
const SOLVER = process.env.ORVANE_SOLVER || join(repoRoot, 'build/tools/solver/orvane-solver');
const SUITE_TIMEOUT = 900000;

const onPath = (name) => (process.env.PATH || '').split(delimiter).some((d) => d && existsSync(join(d, name)));

function skipReason() {
  const common = viewSkipReason();
  if (common) return common;
  if (typeof process.getuid !== 'function' || process.getuid() !== 0) {
    return `needs root: it runs its own sshd and logs in as the account ${ACCOUNT}; CI runs as root`;
  }
  if (process.env.ORVANE_E2E_REQUIRED) return false;
  if (!existsSync(SSHD)) return `${SSHD} is missing (Debian package openssh-server)`;
  for (const program of ['mpirun', 'ssh', 'scp', 'ccx', 'gmsh', 'xdotool']) {
    if (!onPath(program)) return `${program} is not on PATH`;
  }
  if (!existsSync(SOLVER)) return `the solver is not built: ${SOLVER}`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`real-solver: skipping: ${skip}\n`);

const isRed = ([r, g, b]) => r > 150 && r > g + 60 && r > b + 60;
const isBlue = ([r, g, b]) => b > 150 && b > r + 60 && b > g + 30;

describe('a real solve through the UI server and the view', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let host;
  let ui;
  let view;
  let root;
  let target;
  let loop;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-real-solver-'));
    host = await startSolverHost({ repoRoot, account: ACCOUNT, solver: SOLVER, dir });
    root = join(dir, 'root');
    await execFileAsync(join(repoRoot, 'tools/prepare-data-root.sh'), [root]);
    target = join(root, 'data/modelAnsys');
    rmSync(join(target, RESULT), { recursive: true, force: true });
    ui = await startUiServer();
    view = await startView({ url: ui.url, cwd: dir, env: host.viewEnv });
    await ui.waitFor({ event: 'ready' }, { after: 0, timeout: 60000 });
  });
  after(async () => {
    await stopAll();
    if (host) host.stop();
    rmSync(`/home/${ACCOUNT}/project`, { recursive: true, force: true });
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  test('picked faces are fixed and loaded, solved over ssh with 2 ranks; eigenvalues, "success" and the coloured part',
    async () => {
      const step = await makeBracketStep(dir);
      loop = await runSolverLoop({ ui, view, root, jobDir: join(dir, 'jobs/bracket'), target, step });
      assert.deepEqual(loop.imported, [['message', 'open'], ['message', 'step_file_loaded_flag']]);
      assert.deepEqual(loop.written, [['message', 'file is generated!']]);
      const preFiles = readFileSync(join(root, 'data/preFiles.txt'), 'latin1');
      assert.ok(preFiles.includes(`$ fixFace id xn yn zn xr yr zr\r\n${loop.clamp} 0 1 1 1 0 0 0\r\n`)
        || preFiles.includes(`$ fixFace id xn yn zn xr yr zr\n${loop.clamp} 0 1 1 1 0 0 0\n`), preFiles);
      assert.ok(preFiles.includes(`${loop.tip} 0.000000 0.000000 -100.000000 0.000000 0.000000 0.000000`), preFiles);
      assert.ok(loop.runLines.includes('orvane: openSSh: done'), loop.runLines.join('\n'));

      const result = join(target, RESULT);
      const log = readFileSync(join(result, 'solver.log'), 'utf8');
      // Both ranks started; rank 0 solved with both cores.
      assert.match(log, /, 2 core\(s\)\n/);
      assert.match(log, new RegExp(`force on face ${loop.tip}: 0 0 -100 N, moment 0 0 0 N mm about 190 10 -10,`));
      assert.match(log, /reactions \S+ \S+ 100 N against applied \S+ \S+ -100 N/);

      // ModelAnsys replies the solver's eigenvalues, then "success".
      const eigenvalues = readFileSync(join(result, 'eigenvalues.txt'), 'utf8').split('\n').filter(Boolean)
        .map((l) => Number(l.slice(l.indexOf(':') + 1)).toFixed(6));
      assert.equal(eigenvalues.length, 3);
      const mark = ui.mark();
      await ui.send(`ModelAnsys ${root} 0`);
      await ui.waitFor({ event: 'message', text: 'success' }, { after: mark, timeout: 60000 });
      assert.deepEqual(ui.events.slice(mark).filter((e) => e.event === 'Eigenvalue').map((e) => e.args[0]),
        eigenvalues);

      // The static result: the clamped end blue, the free end red.
      await ui.send(`Renderer ${result}`);
      await ui.send('reset');
      const windowId = await view.window();
      await waitForScreenshot(windowId, (image) => {
        const y = Math.round(image.height / 2);
        const span = modelSpan(image, y);
        assert.ok(span, 'no part on the middle row');
        const at = (f) => image.pixel(Math.round(span.left + f * (span.right - span.left)), y);
        // The camera looks along +z: x grows to the left.
        assert.ok(isBlue(at(0.97)), `clamped end ${at(0.97)}`);
        assert.ok(isRed(at(0.03)), `free end ${at(0.03)}`);
        assert.ok(!isBackground(image, at(0.5), y));
      }, { timeout: 60000 });
    });

  test('a run the solver refuses stops the chain; the target keeps its old content', async () => {
    assert.ok(loop, 'needs the solved loop');
    const job = join(dir, 'jobs/broken');
    mkdirSync(job, { recursive: true });
    const text = readFileSync(join(dir, 'jobs/bracket/preFiles.txt'), 'latin1')
      .replace(/(\$ fixFace id xn yn zn xr yr zr\r?\n)\d+/, '$199');
    writeFileSync(join(job, 'preFiles.txt'), text, 'latin1');
    writeFileSync(join(job, 'bracket.step'), readFileSync(join(dir, 'jobs/bracket/bracket.step')));
    const before = readFileSync(join(target, RESULT, 'eigenvalues.txt'), 'utf8');
    const from = view.stderrLines.length;
    const fromOut = view.stdoutLines.length;
    const mark = ui.mark();
    await ui.send(`openSSh ${job} 2 both 3 6 2 ${target}`);
    await ui.send('selectId');
    await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout: 300000 });
    const lines = view.stderrLines.slice(from);
    assert.ok(lines.some((l) => /^orvane: openSSh: solve \(ssh\) failed with exit status [1-9]\d*; no later step runs$/.test(l)),
      lines.join('\n'));
    // The remote side runs on a terminal (so a stop hangs it up): its
    // standard error reaches the view's console through ssh's output.
    const consoleLines = [...lines, ...view.stdoutLines.slice(fromOut)];
    assert.ok(consoleLines.some((l) => l.includes('a constraint names face 99')), consoleLines.join('\n'));
    assert.ok(!lines.some((l) => l.startsWith('orvane: openSSh: download')), lines.join('\n'));
    assert.equal(readFileSync(join(target, RESULT, 'eigenvalues.txt'), 'utf8'), before);
    assert.ok(!existsSync(`/home/${ACCOUNT}/project/output/${RESULT}`), 'a failed run left its result directory');
  });
});
