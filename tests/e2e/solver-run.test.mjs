// End-to-end tests of the solver runs on the real view: `openSSh` against a
// real OpenSSH server on a loopback port with Debian's OpenMPI mpirun and the
// stand-in solver, and `SolveModel` with local scripts.
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/solver-run.test.mjs
// Needs root: it runs its own sshd and uses (creates) the account
// "orvanesolver" with home /home/orvanesolver as the solver machine's account.
// The real user's ~/.ssh is never read or written: keys, host keys and both
// configurations live in a temporary directory.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import {
  chmodSync, copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync,
  writeFileSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { delimiter, join } from 'node:path';
import { promisify } from 'node:util';
import {
  repoRoot, screenshot, startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot,
} from './harness.mjs';
import { SSHD, freePort, startPrivateSshd, writeMpirunWrapper } from './solver-host.mjs';

const execFileAsync = promisify(execFile);

const ACCOUNT = 'orvanesolver';
const HOME = `/home/${ACCOUNT}`;
const PROJECT = `${HOME}/project`;
const RESULT = 'unitfcm5-0-1e-10-451';
const STANDIN = process.env.ORVANE_SOLVER_STANDIN
  || join(repoRoot, 'build/tools/solver-standin/orvane-solver-standin');
const CUBE = join(repoRoot, 'tests/data/cube.stl');

const READY_TIMEOUT = 60000;
const RUN_TIMEOUT = 60000;
const SUITE_TIMEOUT = 300000;

function onPath(name) {
  return (process.env.PATH || '').split(delimiter).some((d) => d && existsSync(join(d, name)));
}

const notRoot = (typeof process.getuid !== 'function' || process.getuid() !== 0)
  && `needs root: it runs its own sshd and logs in as the account ${ACCOUNT} (home ${HOME}); CI runs as root`;

// Required (ORVANE_E2E_REQUIRED), the suite runs and fails where it cannot run.
function skipReason() {
  const common = viewSkipReason();
  if (common) return common;
  if (process.env.ORVANE_E2E_REQUIRED) return false;
  if (notRoot) return notRoot;
  if (!existsSync(SSHD)) return `${SSHD} is missing (Debian package openssh-server)`;
  if (!onPath('mpirun') || !onPath('ssh') || !onPath('scp')) return 'mpirun, ssh or scp is not on PATH';
  if (!existsSync(STANDIN)) return `the stand-in solver is not built: ${STANDIN}`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`solver-run: skipping: ${skip}\n`);

const run = (program, args) => execFileAsync(program, args, { timeout: 30000 });

// A closed box of 12 triangles, the model surface the mode form reads.
function boxStl([x0, x1, y0, y1, z0, z1]) {
  const p = (i, j, k) => [[x0, x1][i], [y0, y1][j], [z0, z1][k]];
  const quads = [
    [p(0, 0, 0), p(0, 1, 0), p(1, 1, 0), p(1, 0, 0)], [p(0, 0, 1), p(1, 0, 1), p(1, 1, 1), p(0, 1, 1)],
    [p(0, 0, 0), p(1, 0, 0), p(1, 0, 1), p(0, 0, 1)], [p(0, 1, 0), p(0, 1, 1), p(1, 1, 1), p(1, 1, 0)],
    [p(0, 0, 0), p(0, 0, 1), p(0, 1, 1), p(0, 1, 0)], [p(1, 0, 0), p(1, 1, 0), p(1, 1, 1), p(1, 0, 1)],
  ];
  const facet = (a, b, c) => `facet normal 0 0 0\nouter loop\n${[a, b, c].map((v) => `vertex ${v.join(' ')}`).join('\n')}`
    + '\nendloop\nendfacet';
  const facets = quads.flatMap(([a, b, c, d]) => [facet(a, b, c), facet(a, c, d)]);
  return `solid box\n${facets.join('\n')}\nendsolid box\n`;
}

// The solver machine: an sshd of its own on a free loopback port, the remote
// layout below the account's home and an mpirun wrapper for containers.
async function startCluster(dir) {
  try {
    await run('id', ['-u', ACCOUNT]);
  } catch {
    await run('useradd', ['--create-home', '--home-dir', HOME, '--shell', '/bin/sh', ACCOUNT]);
  }
  // Without PAM sshd refuses an account whose password is locked ("!").
  await run('usermod', ['-p', '*', ACCOUNT]);

  rmSync(PROJECT, { recursive: true, force: true });
  mkdirSync(join(PROJECT, 'motai'), { recursive: true });
  mkdirSync(join(PROJECT, 'output'), { recursive: true });
  copyFileSync(STANDIN, join(PROJECT, 'output/demo'));
  chmodSync(join(PROJECT, 'output/demo'), 0o755);
  const mpirun = writeMpirunWrapper(HOME);
  await run('chown', ['-R', `${ACCOUNT}:`, PROJECT, mpirun]);
  return { ...(await startPrivateSshd({ account: ACCOUNT, dir })), mpirun };
}

// node's runner counts a skipped test, not a skipped suite.
if (skip) test('solver runs over ssh, scp and mpirun, and local programs', { skip }, () => {});
else describe('solver runs over ssh, scp and mpirun, and local programs', { timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let cluster;
  let ui;
  let view;
  let spy;
  let cwd;
  let slot = 500;
  const slowFiles = [];

  before(async () => {
    if (notRoot) throw new Error(`required, but cannot run: ${notRoot}`);
    dir = mkdtempSync(join(tmpdir(), 'orvane-solver-'));
    cluster = await startCluster(dir);
    // Whoever might run an injected command, local root or the remote account, could write here.
    spy = join(dir, 'spy');
    mkdirSync(spy, { mode: 0o1777 });
    chmodSync(spy, 0o1777);
    cwd = join(dir, 'cwd');
    mkdirSync(cwd);
    mkdirSync(join(dir, 'bin'));
    ui = await startUiServer();
    await launchView();
  });
  async function launchView(env = {}) {
    const mark = ui.mark();
    view = await startView({
      url: ui.url,
      cwd,
      env: {
        ORVANE_REMOTE_HOST: 'solver-machine',
        ORVANE_REMOTE_ACCOUNT: ACCOUNT,
        ORVANE_MPIRUN: cluster.mpirun,
        ORVANE_SSH_CONFIG: cluster.clientConfig,
        PATH: `${join(dir, 'bin')}${delimiter}${process.env.PATH}`,
        ...env,
      },
    });
    await ui.waitFor({ event: 'ready' }, { after: mark, timeout: READY_TIMEOUT });
  }
  after(async () => {
    await stopAll();
    if (cluster) cluster.sshd.kill('SIGTERM');
    rmSync(PROJECT, { recursive: true, force: true });
    rmSync(join(HOME, 'mpirun-for-tests'), { force: true });
    for (const file of slowFiles) rmSync(file, { force: true });
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  const cubeReply = (s) => `${s} 1.000000 0.000000 0.000000 1.000000`;
  async function sendSentinel() {
    const s = ++slot;
    await ui.send(`readModelSTL ${CUBE} ${s} 1 0 0 1`);
    return s;
  }
  const waitForSentinel = (s, timeout = RUN_TIMEOUT) => ui.waitFor({ event: 'message', text: cubeReply(s) },
    { timeout });
  // Every view stderr line from index `from` on.
  const stderrSince = (from) => view.stderrLines.slice(from);
  const stepLines = (from) => stderrSince(from).filter((l) => /^orvane: openSSh: (upload|solve|download): /.test(l));

  function writeInput(path, bounds) {
    mkdirSync(path, { recursive: true });
    writeFileSync(join(path, 'bounds.txt'), `${bounds.join(' ')}\n`);
    writeFileSync(join(path, 'preFiles.txt'), 'force 0 0 1\n');
    writeFileSync(join(path, 'material.txt'), 'E 2.1e11\nnu 0.3\n');
  }

  function noInjectedFiles() {
    assert.deepEqual(readdirSync(spy), [], 'an injected command ran');
    for (const where of [cwd, HOME, join(PROJECT, 'output')]) {
      assert.deepEqual(readdirSync(where).filter((f) => f.includes('pwned')), [], `an injected command ran in ${where}`);
    }
  }

  const root = () => join(dir, 'root');
  const bounds = [0, 2, 0, 1, 0, 3];

  test('openSSh with 2 processes: upload, mpirun over sshd, download; commands sent meanwhile wait, in order',
    async () => {
      const input = join(dir, 'jobs', 'case7');
      writeInput(input, bounds);
      mkdirSync(join(root(), 'data/modelAnsys'), { recursive: true });
      writeFileSync(join(root(), 'data/locomotive_bogieassembly_sldasm2.stl'), boxStl(bounds));
      const target = join(root(), 'data/modelAnsys');
      const from = view.stderrLines.length;
      ui.mark();
      await ui.send(`openSSh ${input} 2 a1 0.5 1e-10 451 ${target}`);
      const first = await sendSentinel();
      const second = await sendSentinel();

      const reply = await waitForSentinel(first);
      // The reply left the view after the download had written the files.
      const downloaded = join(target, RESULT);
      assert.ok(existsSync(join(downloaded, 'eigenvalues.txt')), 'a held command ran before the download ended');
      await waitForSentinel(second);
      const replies = ui.events.slice(ui.lastMark).filter((e) => e.event === 'message').map((e) => e.args[0]);
      assert.deepEqual(replies, [cubeReply(first), cubeReply(second)]);
      assert.ok(ui.events.indexOf(reply) >= ui.lastMark);

      const steps = stepLines(from);
      assert.equal(steps.length, 3, stderrSince(from).join('\n'));
      const login = `${ACCOUNT}@solver-machine`;
      assert.match(steps[0], new RegExp(`^orvane: openSSh: upload: scp -r .* -- ${input} ${login}:${HOME}/project/motai$`));
      assert.ok(steps[1].startsWith('orvane: openSSh: solve: ssh '), steps[1]);
      assert.ok(steps[1].endsWith(` -- ${login} cd ..;cd ${ACCOUNT}/project/output;${cluster.mpirun} -n 2 ./demo `
        + `${HOME}/project/motai/case7 a1 0.5 1e-10 451`), steps[1]);
      assert.match(steps[2], new RegExp(`^orvane: openSSh: download: scp -r .* -- ${login}:${HOME}/project/output/${RESULT} ${target}$`));
      assert.ok(stderrSince(from).includes('orvane: openSSh: done'));

      assert.deepEqual(readFileSync(join(downloaded, 'arguments.txt'), 'utf8').split('\n'),
        [`${HOME}/project/motai/case7`, 'a1', '0.5', '1e-10', '451', '']);
      // Both ranks read their share of the uploaded files; the totals met in an MPI_Allreduce.
      const bytes = readdirSync(input).reduce((sum, f) => sum + statSync(join(input, f)).size, 0);
      assert.equal(readFileSync(join(downloaded, 'run.txt'), 'utf8'), `ranks 2\nfiles 3\nbytes ${bytes}\n`);
      assert.match(readFileSync(join(downloaded, 'eigenvalues.txt'), 'utf8'), /^Mode 1: [0-9.e+]+\nMode 2: /m);
      for (const mode of [10, 20, 30]) assert.ok(existsSync(join(downloaded, `postprocess${mode}.vts`)));
      // The upload really went to the account's home on the other side.
      assert.ok(existsSync(join(PROJECT, 'motai/case7/material.txt')));
    });

  test('ModelAnsys on the downloaded result replies the eigenvalues and "success"', async () => {
      const eigenvalues = readFileSync(join(root(), 'data/modelAnsys', RESULT, 'eigenvalues.txt'), 'utf8')
        .split('\n').filter((l) => l.includes(':')).map((l) => Number(l.slice(l.indexOf(':') + 1)).toFixed(6));
      assert.equal(eigenvalues.length, 3);
      const mark = ui.mark();
      await ui.send(`ModelAnsys ${root()} 0`);
      const s = await sendSentinel();
      const last = await waitForSentinel(s);
      const answer = ui.events.slice(mark, ui.events.indexOf(last)).filter((e) => e.event !== 'progress')
        .map((e) => [e.event, ...e.args]);
      assert.deepEqual(answer, [...eigenvalues.map((v) => ['Eigenvalue', v]), ['message', 'success']]);
    });

  test('hostile words reach the solver unchanged and run nothing; a leading "-" is refused', async () => {
    const inputName = "case;touch${IFS}pwned-in$(touch${IFS}pwned-in2)`touch${IFS}pwned-in3`'q'\"q\"";
    const input = join(dir, 'jobs', inputName);
    writeInput(input, bounds);
    const words = [
      `$(touch\${IFS}${spy}/a1)`,
      `\`touch\${IFS}${spy}/a2\``,
      `'";touch\${IFS}${spy}/a3;"'`,
      `-oProxyCommand=touch\${IFS}${spy}/a4`,
    ];
    const target = join(dir, 'targets', "t;touch${IFS}pwned-t$(touch${IFS}pwned-t2)'\"");
    mkdirSync(target, { recursive: true });
    let from = view.stderrLines.length;
    ui.mark();
    await ui.send(`openSSh ${input} 2 ${words.join(' ')} ${target}`);
    await waitForSentinel(await sendSentinel());
    assert.equal(stepLines(from).length, 3, stderrSince(from).join('\n'));
    assert.ok(stderrSince(from).includes('orvane: openSSh: done'), stderrSince(from).join('\n'));
    assert.deepEqual(readFileSync(join(target, RESULT, 'arguments.txt'), 'utf8').split('\n'),
      [`${HOME}/project/motai/${inputName}`, ...words, '']);
    noInjectedFiles();

    for (const command of [
      `openSSh -oProxyCommand=touch\${IFS}${spy}/x 2 a b c d ${target}`,
      `openSSh ${input} 2 a b c d -oProxyCommand=touch\${IFS}${spy}/y`,
    ]) {
      from = view.stderrLines.length;
      await ui.send(command);
      await waitForSentinel(await sendSentinel());
      assert.deepEqual(stepLines(from), [], `${command} ran something`);
      assert.ok(stderrSince(from).some((l) => /refused: the (input|target) directory '-oProxyCommand.*starts with '-'/.test(l)),
        stderrSince(from).join('\n'));
    }
    noInjectedFiles();
  });

  test('a failing step stops the chain with its diagnostic; the target keeps its old content', async () => {
    const input = join(dir, 'jobs', 'case8');
    writeInput(input, bounds);
    const target = join(dir, 'old/data/modelAnsys');
    mkdirSync(join(target, RESULT), { recursive: true });
    writeFileSync(join(target, RESULT, 'eigenvalues.txt'), 'Mode 1: 1.5\n');
    // An old result on the solver machine that a download after a failed solve would bring back.
    mkdirSync(join(PROJECT, 'output', RESULT), { recursive: true });
    writeFileSync(join(PROJECT, 'output', RESULT, 'stale.txt'), 'old\n');
    await run('chown', ['-R', `${ACCOUNT}:`, join(PROJECT, 'output', RESULT)]);

    const closedPort = await freePort();
    const cases = [
      { name: 'unreachable port', brk: () => cluster.writeClientConfig({ port: closedPort }),
        fails: /^orvane: openSSh: upload \(scp\) failed with exit status 255; no later step runs$/, ran: ['upload'] },
      { name: 'missing key', brk: () => cluster.writeClientConfig({ key: join(cluster.dir, 'no_such_key') }),
        fails: /^orvane: openSSh: upload \(scp\) failed with exit status 255; no later step runs$/, ran: ['upload'] },
      // The upload creates the missing directory from the input's content, so the
      // solver finds no input directory below it and fails.
      { name: 'missing remote upload directory', brk: () => rmSync(join(PROJECT, 'motai'), { recursive: true }),
        fails: /^orvane: openSSh: solve \(ssh\) failed with exit status [1-9][0-9]*; no later step runs$/,
        ran: ['upload', 'solve'] },
    ];
    for (const c of cases) {
      c.brk();
      const from = view.stderrLines.length;
      await ui.send(`openSSh ${input} 2 a b c d ${target}`);
      const s = await sendSentinel();
      await waitForSentinel(s);
      const lines = stderrSince(from);
      assert.ok(lines.some((l) => c.fails.test(l)), `${c.name}: no diagnostic ${c.fails}:\n${lines.join('\n')}`);
      assert.deepEqual(stepLines(from).map((l) => l.split(': ')[2]), c.ran, `${c.name}:\n${lines.join('\n')}`);
      assert.deepEqual(readdirSync(join(target, RESULT)), ['eigenvalues.txt'], c.name);
      assert.equal(readFileSync(join(target, RESULT, 'eigenvalues.txt'), 'utf8'), 'Mode 1: 1.5\n', c.name);
      cluster.writeClientConfig();
    }
    mkdirSync(join(PROJECT, 'motai'), { recursive: true });
    await run('chown', [`${ACCOUNT}:`, join(PROJECT, 'motai')]);
  });

  test('SolveModel runs a program by path or by name, without a shell; commands wait; the view keeps painting',
    async () => {
      const out = join(dir, 'solve-out');
      mkdirSync(out);
      const script = join(dir, 'bin', 'solver-job');
      // Runs until the test creates "release" (20 s at most).
      writeFileSync(script, `#!/bin/sh\ncd "${out}" || exit 1\ntouch started\ni=0\n`
        + 'while [ ! -e release ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\ntouch done\n', { mode: 0o755 });
      const failing = join(dir, 'bin', 'failing-job');
      writeFileSync(failing, '#!/bin/sh\nexit 3\n', { mode: 0o755 });

      const windowId = await view.window();
      const { width, height } = await view.geometry();
      const marker = (image) => {
        const pixels = [];
        for (let y = Math.round(height * 0.9); y < height; y += 2) {
          for (let x = 0; x < Math.round(width * 0.1); x += 2) pixels.push(image.pixel(x, y).join(','));
        }
        return pixels.join(';');
      };
      const before = marker(await screenshot(windowId));

      ui.mark();
      await ui.send(`SolveModel ${script}`);
      const first = await sendSentinel();
      const second = await sendSentinel();
      while (!existsSync(join(out, 'started'))) await new Promise((r) => setTimeout(r, 50));
      // A drag turns the camera, and with it the axes marker, while the program runs.
      const { stdout } = await execFileAsync('xdotool', ['getwindowgeometry', '--shell', String(windowId)]);
      const g = Object.fromEntries(stdout.trim().split('\n').map((l) => l.split('=')));
      const [x, y] = [Number(g.X) + Math.round(width * 0.4), Number(g.Y) + Math.round(height * 0.5)];
      await execFileAsync('xdotool', ['mousemove', '--sync', x, y, 'mousedown', 1,
        'mousemove', '--sync', x + Math.round(width * 0.3), y + 20, 'mouseup', 1].map(String));
      await waitForScreenshot(windowId, (image) => assert.notEqual(marker(image), before, 'the view did not turn'),
        { timeout: 3000 });
      assert.ok(!existsSync(join(out, 'done')), 'the program ended early');
      assert.deepEqual(ui.events.slice(ui.lastMark).filter((e) => e.event !== 'progress'), [],
        'a command ran while the program was running');
      writeFileSync(join(out, 'release'), '');

      await waitForSentinel(first);
      assert.ok(existsSync(join(out, 'done')), 'a held command ran before the program ended');
      await waitForSentinel(second);
      assert.deepEqual(ui.events.slice(ui.lastMark).filter((e) => e.event === 'message').map((e) => e.args[0]),
        [cubeReply(first), cubeReply(second)]);

      // By name on PATH; a failing program; words that only a shell would run.
      rmSync(out, { recursive: true });
      mkdirSync(out);
      writeFileSync(join(out, 'release'), '');
      const from = view.stderrLines.length;
      for (const word of ['solver-job', 'failing-job', `${script};touch\${IFS}${spy}/s1`,
        `touch\${IFS}${spy}/s2`, `$(touch\${IFS}${spy}/s3)`, `\`touch\${IFS}${spy}/s4\``]) {
        await ui.send(`SolveModel ${word}`);
      }
      await waitForSentinel(await sendSentinel());
      const lines = stderrSince(from);
      assert.ok(existsSync(join(out, 'done')), 'solver-job did not run by name');
      assert.ok(lines.includes('orvane: SolveModel: failing-job (failing-job) failed with exit status 3; '
        + 'no later step runs'), lines.join('\n'));
      assert.equal(lines.filter((l) => /^orvane: SolveModel: .*: cannot start '/.test(l)).length, 4, lines.join('\n'));
      noInjectedFiles();
    });

  // Running processes only: an orphan waits as a zombie until PID 1 reaps it.
  function running(pid) {
    try {
      const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
      return !'ZX'.includes(stat[stat.lastIndexOf(')') + 2]);
    } catch {
      return false;
    }
  }
  async function until(what, check, timeout) {
    const deadline = Date.now() + timeout;
    while (!check()) {
      if (Date.now() > deadline) throw new Error(`timed out after ${timeout} ms waiting for ${what}`);
      await new Promise((r) => setTimeout(r, 50));
    }
  }
  const pidsIn = (file) => (existsSync(file) ? readFileSync(file, 'utf8').trim().split(/\s+/).map(Number)
    .filter(Boolean) : []);

  test('SIGTERM during a run stops the program and every process it started before the view exits', async () => {
    const pidFile = join(dir, 'long-job.pid');
    const script = join(dir, 'bin', 'long-job');
    // The child is no exec: it is the program's own child, which outlives a stop of the program alone.
    writeFileSync(script, `#!/bin/sh\nsleep 120 &\necho $$ $! > "${pidFile}"\nwait\n`, { mode: 0o755 });
    await ui.send(`SolveModel ${script}`);
    await until('the job\'s process ids', () => pidsIn(pidFile).length === 2, RUN_TIMEOUT);
    const pids = pidsIn(pidFile);
    assert.ok(pids.every(running), 'the program is not running');
    assert.equal(await view.stop('SIGTERM', { timeout: 5000 }), 0);
    assert.deepEqual(pids.filter(running), [], 'processes of the run outlived the view');
  });

  test('SIGTERM during a remote solve stops the solver on the solver machine too', async () => {
    // One view only: the UI server sends every command to each.
    if (!view.exitInfo) await view.stop();
    // A solver that runs until it is stopped, started by mpirun through a
    // launcher of this run's own, so the shared ./demo stays as it is.
    const pidFile = join(spy, 'slow-solver.pid');
    const slow = join(HOME, `slow-solver-${process.pid}`);
    const launcher = join(HOME, `mpirun-slow-${process.pid}`);
    slowFiles.push(slow, launcher);
    writeFileSync(slow, `#!/bin/sh\necho $$ > "${pidFile}"\nexec sleep 300\n`, { mode: 0o755 });
    writeFileSync(launcher, readFileSync(cluster.mpirun, 'utf8').replace('"$@"', `-n 1 ${slow}`), { mode: 0o755 });
    await run('chown', [`${ACCOUNT}:`, slow, launcher]);
    await launchView({ ORVANE_MPIRUN: launcher });
    const input = join(dir, 'jobs', 'case9');
    writeInput(input, bounds);
    await ui.send(`openSSh ${input} 1 a b c d ${join(dir, 'never')}`);
    await until('the remote solver', () => pidsIn(pidFile).length === 1, RUN_TIMEOUT);
    const [solver] = pidsIn(pidFile);
    assert.ok(running(solver));
    const stopped = Date.now();
    assert.equal(await view.stop('SIGTERM', { timeout: 5000 }), 0);
    assert.ok(Date.now() - stopped <= 5000);
    // The remote shell and mpirun name the launcher or the solver (other
    // runs of this test may use the account at the same time).
    const accountProcesses = async () => (await execFileAsync('ps', ['-u', ACCOUNT, '-o', 'pid=,stat=,args=']))
      .stdout.split('\n').filter((l) => !/^\s*\d+\s+Z/.test(l) && (l.includes(slow) || l.includes(launcher)));
    await until('the remote solver to end', () => !running(solver), 10000).catch(() => {
      assert.fail(`the remote solver ${solver} still runs after the view stopped`);
    });
    let left = [];
    for (let i = 0; i < 100; i++) {
      left = await accountProcesses().catch(() => []);
      if (left.length === 0) break;
      await new Promise((r) => setTimeout(r, 100));
    }
    assert.deepEqual(left, [], 'processes of the remote run are left on the solver machine');
  });
});
