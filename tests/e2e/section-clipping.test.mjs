// End-to-end test of section clipping with the real mouse (xdotool): a
// generated beam result coloured by its axial displacement, which changes
// sign through the beam's thickness, is cut by the plane widget when one of
// its handles is dragged and released; the cap on the cut shows the result's
// colours. Turning the plane over by its normal keeps the other half.
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/section-clipping.test.mjs
// Skipped when the view or the result generator is not built or there is no
// display, unless ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import {
  resultGeneratorBinary, startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot,
} from './harness.mjs';

const execFileAsync = promisify(execFile);

function skipReason() {
  const common = viewSkipReason();
  if (common !== false || process.env.ORVANE_E2E_REQUIRED) return common;
  if (!existsSync(resultGeneratorBinary())) return `the result generator ${resultGeneratorBinary()} is not built`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`section-clipping: skipping: ${skip}\n`);

const READY_TIMEOUT = 60000;
const SUITE_TIMEOUT = 300000;

const TOP = [52, 52, 103];
const BOTTOM = [167, 167, 188];
// The face nearest the camera runs from green at the clamped end through
// yellow to orange at the free end; the cut through the middle of the
// thickness, where the axial displacement is 0, is all green.
const isOrange = ([r, g, b]) => r > 200 && g > 80 && g < 210 && b < 60;
const isCapGreen = ([r, g, b]) => g > 190 && r < 90 && b < 90;

const xdotool = (...args) => execFileAsync('xdotool', args.map(String), { timeout: 20000 });

function isBackground(image, [r, g, b], y) {
  const f = y / (image.height - 1);
  const want = TOP.map((v, i) => v + (BOTTOM[i] - v) * f);
  return Math.max(Math.abs(r - want[0]), Math.abs(g - want[1]), Math.abs(b - want[2])) <= 30;
}

// The beam's box on screen: everything that is not background, leaving out
// the axes marker in the lower-left corner.
function beamBox(image) {
  let box = null;
  for (let y = 0; y < image.height; y++) {
    for (let x = 0; x < image.width; x++) {
      if (x < image.width * 0.12 && y > image.height * 0.86) continue;
      if (isBackground(image, image.pixel(x, y), y)) continue;
      box ??= { left: x, right: x, top: y, bottom: y };
      box.left = Math.min(box.left, x);
      box.right = Math.max(box.right, x);
      box.top = Math.min(box.top, y);
      box.bottom = Math.max(box.bottom, y);
    }
  }
  return box;
}

const area = (box) => ({ x: box.left, y: box.top, width: box.right - box.left + 1, height: box.bottom - box.top + 1 });

describe('view: section clipping with the plane widget and the real mouse', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let ui;
  let view;
  let windowId;
  let origin;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-clip-'));
    await execFileAsync(resultGeneratorBinary(), [join(dir, 'root'), '--box-level', '8'], { timeout: 60000 });
    ui = await startUiServer();
    view = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { after: 0, timeout: READY_TIMEOUT });
    windowId = await view.window();
    const g = await view.geometry();
    origin = { x: g.x, y: g.y };
  });
  after(async () => {
    await stopAll();
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  // selectId always replies and commands run in order.
  async function run(commands) {
    const mark = ui.mark();
    for (const command of commands) await ui.send(command);
    await ui.send('selectId');
    await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout: READY_TIMEOUT });
  }

  // Presses the left button at `from`, drags to `to` and releases it; returns
  // the plane lines the view printed for the release.
  async function drag(from, to) {
    const mark = view.stdoutLines.length;
    const at = (p) => [origin.x + Math.round(p.x), origin.y + Math.round(p.y)];
    const steps = [1, 2, 3, 4].map((i) => at({ x: from.x + ((to.x - from.x) * i) / 4, y: from.y + ((to.y - from.y) * i) / 4 }));
    await xdotool('mousemove', '--sync', ...at({ x: from.x + 1, y: from.y }));
    await xdotool('mousemove', '--sync', ...at(from), 'mousedown', 1,
      ...steps.flatMap((p) => ['mousemove', '--sync', ...p]), 'mouseup', 1);
    await view.waitForStdout(/^Normal: \(/, { after: mark });
    // Anything printed for a second run of the observer arrives with the first.
    await run([]);
    return view.stdoutLines.slice(mark).filter((l) => /^(Center|Normal): \(/.test(l));
  }

  const vector = (line) => line.replace(/^\w+: \(|\)$/g, '').split(', ').map(Number);

  test('a released handle cuts the beam open with green caps; the plane turned over keeps the other half', async () => {
    const root = join(dir, 'root');
    await run([`stack ${root} 1`, 'attribute 2', 'reset', 'cutter', 'reset']);
    let beam;
    let orangeWhole;
    await waitForScreenshot(windowId, (image) => {
      beam = beamBox(image);
      assert.ok(beam && beam.right - beam.left > image.width / 2, `beam ${JSON.stringify(beam)}`);
      orangeWhole = image.countPixels(isOrange, area(beam));
      assert.ok(orangeWhole > 500, `only ${orangeWhole} orange pixels on the whole beam`);
    }, { timeout: READY_TIMEOUT });
    const length = beam.right - beam.left;
    const thickness = beam.bottom - beam.top;
    const middle = { x: (beam.left + beam.right) / 2, y: (beam.top + beam.bottom) / 2 };

    // A corner handle of the plane (60% of the beam's length by 40% of its
    // width, across the middle of its thickness) dragged sideways.
    const handle = { x: beam.left + 0.3 * length, y: middle.y - 0.2 * thickness };
    const cut = await drag(handle, { x: handle.x, y: handle.y - 40 });
    assert.equal(cut.length, 2, `plane lines: ${JSON.stringify(cut)}`);
    assert.match(cut[0], /^Center: \(/);
    assert.equal(cut[1], 'Normal: (0, 0, 1)');
    await waitForScreenshot(windowId, (image) => {
      const orange = image.countPixels(isOrange, area(beam));
      const green = image.countPixels(isCapGreen, area(beam));
      const all = (length + 1) * (thickness + 1);
      assert.ok(orange < orangeWhole * 0.01, `${orange} orange pixels left of ${orangeWhole}: the near face was not cut away`);
      assert.ok(green > 0.6 * all, `only ${green} of ${all} pixels show the green cap`);
    });

    // A second cutter places the plane afresh; a release still cuts once.
    // The normal, seen end-on in the middle, dragged through nearly half
    // the window's diagonal: the plane turns by about 175 degrees.
    await run(['cutter']);
    const turned = await drag(middle, { x: 2 * middle.x - 20, y: 2 * middle.y - 20 });
    assert.equal(turned.length, 2, `plane lines: ${JSON.stringify(turned)}`);
    const normal = vector(turned[1]);
    assert.ok(normal[2] < -0.95, `the plane did not turn over: ${turned[1]}`);
    await waitForScreenshot(windowId, (image) => {
      const orange = image.countPixels(isOrange, area(beam));
      assert.ok(orange > 0.5 * orangeWhole, `${orange} orange pixels of ${orangeWhole}: the near half is not back`);
    });
  });
});
