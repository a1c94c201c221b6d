// The real mouse and keyboard (xdotool) while the view replaces what it
// shows: hover, right click and the delete keys during a STEP import, and
// after pointCloud and Stress took the place of the hovered solid. Meant for
// the sanitizer build (ORVANE_BIN=build-asan/src/app/orvane), where a touch
// of a freed actor is a report:
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/mouse-during-work.test.mjs
// Skipped when the view is not built, there is no display or the sample STEP
// models are missing, unless ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import {
  keyboardWindow, repoRoot, resultGeneratorBinary, startUiServer, startView, stopAll, viewSkipReason,
} from './harness.mjs';

const execFileAsync = promisify(execFile);

const STEP_DIR = '/usr/share/opencascade/data/step';
const SCREW = join(STEP_DIR, 'screw.step');
const LINKRODS = join(STEP_DIR, 'linkrods.step');

function skipReason() {
  const common = viewSkipReason();
  if (common !== false || process.env.ORVANE_E2E_REQUIRED) return common;
  if (!existsSync(SCREW) || !existsSync(LINKRODS)) return `the OpenCASCADE sample models are missing from ${STEP_DIR}`;
  if (!existsSync(resultGeneratorBinary())) return `the result generator ${resultGeneratorBinary()} is not built`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`mouse-during-work: skipping: ${skip}\n`);

// The sanitizer build under software GL is slow: generous waits.
const TIMEOUT = 120000;
const SANITIZER_REPORT = /ERROR: (Address|Leak|Thread|Memory)Sanitizer|runtime error:|SEGV/;

// Moves go without --sync: a move to where the pointer already is would wait
// for a motion that never comes. The X server keeps the order of the input.
const xdotool = (...args) => execFileAsync('xdotool', args.map(String), { timeout: 20000 });

describe('view: mouse and keys while the scene is replaced', { skip, timeout: 600000 }, () => {
  let dir;
  let ui;
  let view;
  let origin;
  let size;
  let keyWindow;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-mouse-'));
    await execFileAsync(join(repoRoot, 'tools/prepare-data-root.sh'), [join(dir, 'root')], { timeout: 20000 });
    await execFileAsync(resultGeneratorBinary(), [join(dir, 'results'), '--grid', '11', '3', '3', '--box-level', '6'],
      { timeout: 60000 });
    ui = await startUiServer();
    view = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { after: 0, timeout: TIMEOUT });
    const windowId = await view.window();
    const g = await view.geometry();
    origin = { x: g.x, y: g.y };
    size = { width: g.width, height: g.height };
    keyWindow = await keyboardWindow(windowId);
  });
  after(async () => {
    await stopAll();
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  const at = (fx, fy) => [origin.x + Math.round(size.width * fx), origin.y + Math.round(size.height * fy)];
  const middle = () => xdotool('mousemove', ...at(0.5, 0.5));

  // selectId always replies and commands run in order: the view answers.
  async function answers() {
    const mark = ui.mark();
    await ui.send('selectId');
    await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout: TIMEOUT });
  }

  // Moves across the view, drags with the left button, hovers the middle,
  // right-clicks and presses the delete keys (q and Escape).
  async function handle() {
    await xdotool('mousemove', ...at(0.3, 0.3), 'mousemove', ...at(0.7, 0.6), 'mousemove', ...at(0.45, 0.55));
    await xdotool('mousedown', 1, 'mousemove', ...at(0.55, 0.5), 'mouseup', 1);
    await middle();
    await xdotool('click', 3);
    await xdotool('windowfocus', keyWindow);
    await xdotool('key', 'q', 'Escape');
  }

  function assertNoReport() {
    const report = view.stderrLines.find((l) => SANITIZER_REPORT.test(l));
    assert.equal(report, undefined, `sanitizer report: ${report}`);
    assert.equal(view.exitInfo, null, 'the view is gone');
  }

  test('input during an import that replaces the hovered solid is ignored, and acts again after it', async () => {
    const root = join(dir, 'root');
    const mark = ui.mark();
    await ui.send(`openSTLFile ${root} ${SCREW}`);
    await ui.waitFor({ event: 'message', text: 'step_file_loaded_flag' }, { after: mark, timeout: TIMEOUT });
    await xdotool('mousemove', ...at(0.4, 0.4));
    await middle();
    let out = view.stdoutLines.length;
    await xdotool('click', 3);
    await view.waitForStdout(/^S 0 0$/, { after: out, timeout: TIMEOUT });

    // The second import drops the red screw at once; the mouse stays on it.
    const importMark = ui.mark();
    const errors = view.stderrLines.length;
    await ui.send(`openSTLFile ${root} ${LINKRODS}`);
    await ui.waitFor({ event: 'progress' }, { after: importMark, timeout: TIMEOUT });
    await handle();
    await view.waitForStderr(/^orvane: right click ignored: the view is busy/, { after: errors, timeout: TIMEOUT });
    await view.waitForStderr(/^orvane: key q ignored: the view is busy/, { after: errors, timeout: TIMEOUT });
    await ui.waitFor({ event: 'message', text: 'step_file_loaded_flag' }, { after: importMark, timeout: TIMEOUT });
    assertNoReport();

    // A shift+right click always prints "!" once input is taken again.
    out = view.stdoutLines.length;
    await xdotool('keydown', 'shift', 'click', 3, 'keyup', 'shift');
    await view.waitForStdout(/^!$/, { after: out, timeout: TIMEOUT });
    await answers();
    assertNoReport();
  });

  test('input after pointCloud and Stress replaced the hovered actor', async () => {
    for (const command of [`pointCloud ${join(dir, 'results/data/pointCloud')}`,
      `Stress ${join(dir, 'results/data/stress')}`]) {
      await xdotool('mousemove', ...at(0.4, 0.4));
      await middle();
      await ui.send(command);
      await handle();
      await answers();
      assertNoReport();
    }
  });
});
