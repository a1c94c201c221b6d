// The whole loop of a real solve on this machine; see scripts/solver-loop.sh.
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { execFileSync } from 'node:child_process';
import { repoRoot, startUiServer, startView, stopAll } from '../tests/e2e/harness.mjs';
import { startSolverHost } from '../tests/e2e/solver-host.mjs';
import { RESULT, SOLVER_ARGUMENTS, makeBracketStep, runSolverLoop } from '../tests/e2e/solver-loop.mjs';

const port = Number(process.env.ORVANE_UI_PORT || 3000);
const account = process.env.ORVANE_SOLVER_ACCOUNT || 'orvanefem';
const pictureArgument = process.argv.indexOf('--picture');
const picture = pictureArgument > 0 ? resolve(process.argv[pictureArgument + 1]) : null;
const say = (text) => process.stdout.write(`solver-loop: ${text}\n`);

const dir = mkdtempSync(join(tmpdir(), 'orvane-solver-loop-'));
let host;
async function cleanup() {
  await stopAll().catch(() => {});
  if (host) host.stop();
  rmSync(dir, { recursive: true, force: true });
}
process.on('SIGINT', () => cleanup().then(() => process.exit(130)));
process.on('SIGTERM', () => cleanup().then(() => process.exit(143)));

try {
  say(`solver host: account ${account}, private sshd on loopback (keys in ${dir})`);
  host = await startSolverHost({
    repoRoot, account, solver: join(repoRoot, 'build/tools/solver/orvane-solver'), dir,
  });
  const root = join(dir, 'root');
  execFileSync(join(repoRoot, 'tools/prepare-data-root.sh'), [root]);
  const ui = await startUiServer({ port });
  say(`UI server page: ${ui.pageUrl}`);
  const view = await startView({ url: ui.url, cwd: dir, env: host.viewEnv });
  await ui.waitFor({ event: 'ready' }, { after: 0, timeout: 60000 });
  const step = await makeBracketStep(dir);
  const target = join(root, 'data/modelAnsys');
  const loop = await runSolverLoop({ ui, view, root, jobDir: join(dir, 'jobs/bracket'), target, step, log: say });
  if (!loop.runLines.includes('orvane: openSSh: done')) {
    throw new Error(`the remote run failed:\n${view.stderrLines.slice(-30).join('\n')}`);
  }
  const result = join(target, RESULT);
  say(`solved (${SOLVER_ARGUMENTS}); the solver's log is ${join(result, 'solver.log')}`);
  for (const command of [`Renderer ${result}`, 'reset', 'scalarBar true false']) await ui.send(command);
  if (picture) {
    mkdirSync(join(picture, '..'), { recursive: true });
    const mark = ui.mark();
    await ui.send(`screenshot ${picture}`);
    const reply = await ui.waitFor({ event: 'screenshot' }, { after: mark, timeout: 60000 });
    say(reply.args[0] ? `picture: ${reply.args[0]}` : 'the picture could not be written');
  }
  say(`the page shows the static result; try "ModelAnsys ${root} 0" or "playModel ${root}"; Ctrl+C stops`);
} catch (error) {
  process.stderr.write(`solver-loop: ${error.stack || error}\n`);
  await cleanup();
  process.exit(1);
}
