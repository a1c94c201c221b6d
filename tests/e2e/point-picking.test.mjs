// End-to-end tests of point picking with the real mouse (xdotool) on the real view:
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/point-picking.test.mjs
// Skipped when the view is not built or there is no display, unless
// ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import {
  startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot,
} from './harness.mjs';

const execFileAsync = promisify(execFile);

const skip = viewSkipReason();
if (skip) process.stderr.write(`point-picking: skipping: ${skip}\n`);

// Rendering under Xvfb is software GL on a small machine: generous waits.
const READY_TIMEOUT = 60000;
const SUITE_TIMEOUT = 300000;

// Four corners of a square, and a fifth point within 0.01 of the second.
const POINTS = [[0, 0, 0], [100, 0, 0], [0, 100, 0], [100, 100, 0], [100.004, 0, 0]];
const CORNERS = [0, 1, 2, 3];

const isBlue = ([r, g, b]) => b > 200 && r < 60 && g < 60;
const isMagenta = ([r, g, b]) => r > 200 && g < 80 && b > 200;
const isGreen = ([r, g, b]) => g > 150 && r < 80 && b < 80;
// "Selected" in GBK, as the harness decodes stdout (UTF-8).
const SELECTED = Buffer.from([0xd2, 0xd1, 0xd1, 0xa1, 0xd6, 0xd0]).toString('utf8');
const SELECTED_LINE = new RegExp(`^${SELECTED}$`, 'u');

// C++ default stream formatting (six significant digits) for the values used here.
const cppNumber = (v) => String(Number(v.toPrecision(6)));
const sixDigits = (p) => p.map((v) => v.toFixed(6)).join(' ');

const xdotool = (...args) => execFileAsync('xdotool', args.map(String), { timeout: 20000 });

// Connected groups of matching pixels (4-neighbourhood), with their centres.
function blobs(image, matches) {
  const { width, height } = image;
  const seen = new Uint8Array(width * height);
  const found = [];
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      if (seen[y * width + x] || !matches(image.pixel(x, y), x, y)) continue;
      const stack = [[x, y]];
      seen[y * width + x] = 1;
      let [n, sx, sy] = [0, 0, 0];
      while (stack.length > 0) {
        const [px, py] = stack.pop();
        n++;
        sx += px;
        sy += py;
        for (const [qx, qy] of [[px + 1, py], [px - 1, py], [px, py + 1], [px, py - 1]]) {
          if (qx < 0 || qy < 0 || qx >= width || qy >= height || seen[qy * width + qx]) continue;
          if (!matches(image.pixel(qx, qy), qx, qy)) continue;
          seen[qy * width + qx] = 1;
          stack.push([qx, qy]);
        }
      }
      found.push({ size: n, x: sx / n, y: sy / n });
    }
  }
  return found;
}

describe('view: picking points with the mouse', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let pointFile;
  let ui;
  let view;
  let windowId;
  let origin; // screen position of the window's pixel (0, 0)
  let dots; // corner index -> blob centre in window pixels
  let slot = 100;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-'));
    pointFile = join(dir, 'points.txt');
    writeFileSync(pointFile, `${POINTS.map((p) => p.join(' ')).join('\n')}\n`);
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

  // Every event the view sent in answer to `commands`: a readModelSTL of a
  // missing file follows them and commands are handled in order, so whatever
  // came before its reply is the complete answer.
  async function answersTo(commands) {
    const mark = ui.mark();
    for (const command of commands) await ui.send(command);
    const sentinel = ++slot;
    await ui.send(`readModelSTL ${join(dir, 'absent.stl')} ${sentinel} 1 1 1 1`);
    const last = await ui.waitFor({ event: 'message', text: `${sentinel} 1.000000 1.000000 1.000000 1.000000` },
      { after: mark });
    return ui.events.slice(mark, ui.events.indexOf(last)).map((e) => [e.event, ...e.args]);
  }

  // Hover highlighting turns the actor under the mouse red: keep the mouse
  // off the window while looking for the blue dots.
  async function parkMouse() {
    const g = await view.geometry();
    const { stdout } = await xdotool('getdisplaygeometry');
    const [sw, sh] = stdout.trim().split(/\s+/).map(Number);
    const corners = [[sw - 1, sh - 1], [0, sh - 1], [sw - 1, 0], [0, 0]];
    const outside = corners.find(([x, y]) => x < g.x || y < g.y || x >= g.x + g.width || y >= g.y + g.height);
    assert.ok(outside, `the window ${JSON.stringify(g)} covers the whole ${sw}x${sh} screen`);
    await xdotool('mousemove', '--sync', ...outside);
  }

  // The only magenta in the view is one arrow, 30 world units long, from
  // `dot` along the world direction from dot `from` to dot `to` (100 units
  // apart). Returns the distance of its nearest pixel to `dot`.
  function assertArrow(image, dot, from, to) {
    const [wx, wy] = [to.x - from.x, to.y - from.y];
    const pxPerUnit = Math.hypot(wx, wy) / 100;
    let [n, sx, sy, nearest, farthest] = [0, 0, 0, Infinity, 0];
    image.countPixels((rgb, x, y) => {
      if (!isMagenta(rgb)) return false;
      const d = Math.hypot(x - dot.x, y - dot.y);
      [n, sx, sy] = [n + 1, sx + x, sy + y];
      [nearest, farthest] = [Math.min(nearest, d), Math.max(farthest, d)];
      return true;
    });
    assert.ok(n >= 10, `${n} magenta pixels`);
    assert.ok(farthest <= 35 * pxPerUnit, `magenta ${farthest.toFixed(1)} px from the clicked dot`);
    const [ax, ay] = [sx / n - dot.x, sy / n - dot.y];
    const cosine = (ax * wx + ay * wy) / (Math.hypot(ax, ay) * Math.hypot(wx, wy));
    assert.ok(cosine > 0.9,
      `arrow centre (${ax.toFixed(1)}, ${ay.toFixed(1)}) px off the dot, not along (${wx}, ${wy})`);
    return nearest;
  }

  async function clickAt(dot) {
    await xdotool('mousemove', '--sync', origin.x + Math.round(dot.x), origin.y + Math.round(dot.y), 'click', 1);
  }

  // Stdout lines from `mark` until (and including) the first "selected" line.
  async function pickLines(mark) {
    await view.waitForStdout(SELECTED_LINE, { after: mark });
    const lines = view.stdoutLines.slice(mark);
    return lines.slice(0, lines.indexOf(SELECTED) + 1);
  }

  test('arrow before any pick sends nothing', async () => {
    assert.deepEqual(await answersTo(['arrow 1 0 0 F0', 'arrow 0 0 1 F0']), []);
  });

  test('load shows each point as a blue dot; after reset they form the square seen along +z', async () => {
    await parkMouse();
    assert.deepEqual(await answersTo([`load 1 ${pointFile}`, 'reset']), []);
    let found;
    await waitForScreenshot(windowId, (image) => {
      // An 8-pixel dot covers about 50-64 pixels; the axes marker's z axis
      // shows only a few blue ones.
      found = blobs(image, isBlue).filter((b) => b.size >= 20);
      // The fifth point falls on the second one's dot.
      assert.equal(found.length, 4, `blue dots: ${JSON.stringify(found)}`);
      for (const blob of found) assert.ok(blob.size <= 150, `dot of ${blob.size} pixels`);
      assert.equal(image.countPixels(isMagenta), 0, 'no magenta before any arrow');
    }, { timeout: READY_TIMEOUT });

    // Looking along +z with +y up, world x grows to the left of the image and
    // world y upwards.
    const xs = found.map((b) => b.x);
    const ys = found.map((b) => b.y);
    const [left, right, top, bottom] = [Math.min(...xs), Math.max(...xs), Math.min(...ys), Math.max(...ys)];
    assert.ok(right - left > 40 && bottom - top > 40, `dots too close: ${JSON.stringify(found)}`);
    dots = {};
    for (const blob of found) {
      const u = (right - blob.x) / (right - left);
      const v = (bottom - blob.y) / (bottom - top);
      const corner = CORNERS.find((k) => Math.hypot(POINTS[k][0] / 100 - u, POINTS[k][1] / 100 - v) < 0.1);
      assert.ok(corner !== undefined && !(corner in dots),
        `dot at (${u}, ${v}) of the square: ${JSON.stringify(found)}`);
      dots[corner] = blob;
    }
    // Equal scales on both axes: the view looks straight along z.
    assert.ok(Math.abs((right - left) - (bottom - top)) <= 3, `square is ${right - left} x ${bottom - top} px`);
  });

  test('after arrowOpen the view still answers, and arrow still waits for a pick', async () => {
    assert.ok(dots, 'needs the dots');
    assert.deepEqual(await answersTo(['arrowOpen', 'arrow 1 0 0 F0']), []);
  });

  test('a click on a dot selects its point; arrow reports it and all points within 0.01, and draws there', async () => {
    assert.ok(dots, 'needs the dots');
    const mark = view.stdoutLines.length;
    await clickAt(dots[1]);
    const lines = await pickLines(mark);
    // Points 1 and 4 share the dot: either may be the nearest to the ray.
    const id = Number(lines[1]);
    assert.ok(id === 1 || id === 4, `picked id ${lines[1]}: ${JSON.stringify(lines)}`);
    const p = POINTS[id];
    const cpp = p.map(cppNumber).join(', ');
    assert.deepEqual(lines, [`Picked Position: ${cpp}`, String(id), cpp, SELECTED]);

    const answers = await answersTo(['arrow 1 0 0 F1']);
    // The reply carries the file's value, not a single-precision copy of it.
    const position = sixDigits(p);
    assert.deepEqual(answers, [['message', position], ['spring', `${position} 1`], ['spring', `${position} 4`]]);

    // World +x runs from dot 0 to dot 1.
    await waitForScreenshot(windowId, (image) => {
      const nearest = assertArrow(image, dots[1], dots[0], dots[1]);
      assert.ok(nearest <= 80, `the nearest magenta pixel is ${nearest.toFixed(1)} px from the clicked dot`);
    });
  });

  test('each pick gives one arrow; a direction of no length is rejected and keeps the pick', async () => {
    assert.ok(dots, 'needs the dots');
    assert.deepEqual(await answersTo(['arrow 1 0 0 F2']), []);

    const mark = view.stdoutLines.length;
    await clickAt(dots[2]);
    assert.deepEqual(await pickLines(mark), ['Picked Position: 0, 100, 0', '2', '0, 100, 0', SELECTED]);
    const stderrMark = view.stderrLines.length;
    assert.deepEqual(await answersTo(['arrow 0 0 0 L']), []);
    await view.waitForStderr(/arrow/, { after: stderrMark });
    assert.deepEqual(await answersTo(['arrow 0 1 0 F3', 'arrow 0 1 0 F4']), [
      ['message', '0.000000 100.000000 0.000000'],
      ['spring', '0.000000 100.000000 0.000000 2'],
    ]);
    // The one arrow moves to the new pick and turns to world +y (dot 0 to dot 2);
    // lit from the front, its thin shaft may come out dark.
    await waitForScreenshot(windowId, (image) => assertArrow(image, dots[2], dots[0], dots[2]));
  });

  test('after arrowClose a click picks nothing, until arrowOpen again', async () => {
    assert.ok(dots, 'needs the dots');
    assert.deepEqual(await answersTo(['arrowClose']), []);
    const mark = view.stdoutLines.length;
    await clickAt(dots[3]);
    // Mouse events are handled in order, and a shift+right click over nothing
    // prints "!": once it shows, the left click has been handled.
    await xdotool('mousemove', '--sync', origin.x + 5, origin.y + 5, 'keydown', 'shift', 'click', 3, 'keyup', 'shift');
    await view.waitForStdout(/^!$/, { after: mark });
    assert.deepEqual(view.stdoutLines.slice(mark), ['!']);
    assert.deepEqual(await answersTo(['arrow 1 0 0 F5']), []);

    assert.deepEqual(await answersTo(['arrowOpen']), []);
    const reopened = view.stdoutLines.length;
    await clickAt(dots[0]);
    assert.deepEqual(await pickLines(reopened), ['Picked Position: 0, 0, 0', '0', '0, 0, 0', SELECTED]);
    assert.deepEqual(await answersTo(['arrow 1 0 0 F6']), [
      ['message', '0.000000 0.000000 0.000000'],
      ['spring', '0.000000 0.000000 0.000000 0'],
    ]);
  });

  test('roratePosition centres the view on the point and marks it with a green sphere', async () => {
    assert.ok(dots, 'needs the dots');
    const greenBlobs = (image) => blobs(image, isGreen).filter((b) => b.size >= 50);
    assert.deepEqual(await answersTo(['roratePosition 100 100 0']), []);
    // It does not render by itself; a mouse move does (away from any actor,
    // which hovering would turn red).
    await xdotool('mousemove', '--sync', origin.x + 5, origin.y + 5);
    // The old focal point, the square's centre, was at the middle of the view.
    const mean = (axis) => CORNERS.reduce((sum, k) => sum + dots[k][axis], 0) / CORNERS.length;
    const middle = { x: mean('x'), y: mean('y') };
    await waitForScreenshot(windowId, (image) => {
      const green = greenBlobs(image);
      assert.equal(green.length, 1, `green blobs: ${JSON.stringify(green)}`);
      const [sphere] = green;
      assert.ok(Math.hypot(sphere.x - middle.x, sphere.y - middle.y) <= 10,
        `sphere at (${sphere.x}, ${sphere.y}), the view's middle at (${middle.x}, ${middle.y})`);
    });

    // reset frames the square and the sphere again, centred near (55, 55).
    await parkMouse();
    assert.deepEqual(await answersTo(['reset']), []);
    await waitForScreenshot(windowId, (image) => {
      const green = greenBlobs(image);
      assert.equal(green.length, 1, `green blobs: ${JSON.stringify(green)}`);
      const [sphere] = green;
      assert.ok(sphere.x < middle.x - 100 && sphere.y < middle.y - 100,
        `sphere at (${sphere.x}, ${sphere.y}), not well up and left of (${middle.x}, ${middle.y})`);
      // The sphere hides the dot at its centre.
      const blue = blobs(image, isBlue).filter((b) => b.size >= 20);
      assert.equal(blue.length, 3, `blue dots: ${JSON.stringify(blue)}`);
    }, { timeout: READY_TIMEOUT });
  });

  test('the view is still running', () => {
    assert.equal(view.exitInfo, null);
  });
});
