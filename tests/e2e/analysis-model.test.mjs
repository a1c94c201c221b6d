// End-to-end tests of the analysis model on the real view, driven with the
// real mouse and keyboard (xdotool): a face target picked by hover and right
// click, forces and constraints added by command and by key, a force deleted
// with Escape, the solver input file, keys that must not end the view, and
// beam nodes picked with the mouse:
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/analysis-model.test.mjs
// Skipped when the view is not built, there is no display or the sample STEP
// model is missing, unless ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import {
  keyboardWindow, repoRoot, screenshot, startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot,
} from './harness.mjs';

const execFileAsync = promisify(execFile);

const SCREW = '/usr/share/opencascade/data/step/screw.step';

function skipReason() {
  const common = viewSkipReason();
  if (common !== false || process.env.ORVANE_E2E_REQUIRED) return common;
  if (!existsSync(SCREW)) return `the OpenCASCADE sample model ${SCREW} is missing`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`analysis-model: skipping: ${skip}\n`);

// Rendering under Xvfb is software GL on a small machine: generous waits.
const READY_TIMEOUT = 60000;
const IMPORT_TIMEOUT = 120000;
const SUITE_TIMEOUT = 600000;

const FORCE = '0 0 -100 0 0 0';
const FIX = '1 1 1 0 0 0';
const FORCE_HEADER = '$ forceFace id xn yn zn xr yr zr';
const FIX_HEADER = '$ fixFace id xn yn zn xr yr zr';
const GLYPH_LENGTH = 40;
const SCREW_LENGTH = 42.29;
// One counter numbers forces and constraints: the forces are added first.
const FORCE_NAMES = ['* 0', '* 1'];
// Beam 0: 4 segments of 25 along x from the origin.
const BEAM_NODES = [0, 25, 50, 75, 100].map((x) => [x, 0, 0]);

const TOP = [52, 52, 103];
const BOTTOM = [167, 167, 188];
const isRed = ([r, g, b]) => r > 180 && g < 80 && b < 80;
const isGreen = ([r, g, b]) => g > 150 && r < 100 && b < 100;
// Any shade of the lit green glyphs, down to their darkest faces.
const isGlyphGreen = ([r, g, b]) => g >= 90 && r <= 40 && b <= 40;
const isPureGreen = ([r, g, b]) => g >= 240 && r <= 20 && b <= 20;
// The shaded screw; the background gradient is always bluer than this.
const isGrey = ([r, g, b]) => g >= 50 && Math.abs(r - g) <= 8 && Math.abs(b - g) <= 10;
// GBK texts as the harness decodes stdout (UTF-8).
const POSITION_LABEL = Buffer.from([
  0xd1, 0xa1, 0xd6, 0xd0, 0xbd, 0xda, 0xb5, 0xe3, 0xb5, 0xc4, 0xce, 0xbb, 0xd6, 0xc3, 0xa3, 0xba,
]).toString('utf8');
const SELECTED = Buffer.from([0xd2, 0xd1, 0xd1, 0xa1, 0xd6, 0xd0]).toString('utf8');

// C++ default stream formatting (six significant digits) and six decimals.
const cppNumber = (v) => String(Number(v.toPrecision(6)));
const sixDecimals = (p) => p.map((v) => v.toFixed(6)).join(' ');

const xdotool = (...args) => execFileAsync('xdotool', args.map(String), { timeout: 20000 });

function isBackground(image, [r, g, b], y) {
  const f = y / (image.height - 1);
  const want = TOP.map((v, i) => v + (BOTTOM[i] - v) * f);
  return Math.max(Math.abs(r - want[0]), Math.abs(g - want[1]), Math.abs(b - want[2])) <= 30;
}

// The axes marker fills the lower-left tenth of the view.
const isMarker = (image, x, y) => x < image.width * 0.12 && y > image.height * 0.86;

// Pixels whose whole (2r+1)-square matches: solid areas, not thin wireframe
// lines or text strokes. Returns their bounding box grown back by r, or null.
function solidArea(image, matches, r, keep = () => true) {
  const { width, height } = image;
  const mask = new Uint8Array(width * height);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) if (matches(image.pixel(x, y), x, y)) mask[y * width + x] = 1;
  }
  const erode = (src, step, lines, length, stride) => {
    const out = new Uint8Array(src.length);
    for (let l = 0; l < lines; l++) {
      let run = 0;
      for (let i = 0; i < length; i++) {
        const at = l * stride + i * step;
        run = src[at] ? run + 1 : 0;
        if (run >= 2 * r + 1) out[at - r * step] = 1;
      }
    }
    return out;
  };
  const solid = erode(erode(mask, 1, height, width, width), width, width, height, 1);
  let box = null;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      if (!solid[y * width + x] || !keep(x, y)) continue;
      box ??= { left: x, right: x, top: y, bottom: y, count: 0 };
      box.left = Math.min(box.left, x);
      box.right = Math.max(box.right, x);
      box.top = Math.min(box.top, y);
      box.bottom = Math.max(box.bottom, y);
      box.count++;
    }
  }
  if (box) Object.assign(box, { left: box.left - r, right: box.right + r, top: box.top - r, bottom: box.bottom + r });
  return box;
}

// Connected groups of matching pixels (4-neighbourhood): size, centre, extent.
function blobs(image, matches) {
  const { width, height } = image;
  const seen = new Uint8Array(width * height);
  const found = [];
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      if (seen[y * width + x] || !matches(image.pixel(x, y))) continue;
      const stack = [[x, y]];
      seen[y * width + x] = 1;
      const b = { size: 0, sx: 0, sy: 0, left: x, right: x, top: y, bottom: y };
      while (stack.length > 0) {
        const [px, py] = stack.pop();
        b.size++;
        b.sx += px;
        b.sy += py;
        b.left = Math.min(b.left, px);
        b.right = Math.max(b.right, px);
        b.top = Math.min(b.top, py);
        b.bottom = Math.max(b.bottom, py);
        for (const [qx, qy] of [[px + 1, py], [px - 1, py], [px, py + 1], [px, py - 1]]) {
          if (qx < 0 || qy < 0 || qx >= width || qy >= height || seen[qy * width + qx]) continue;
          if (!matches(image.pixel(qx, qy))) continue;
          seen[qy * width + qx] = 1;
          stack.push([qx, qy]);
        }
      }
      found.push({
        size: b.size, x: b.sx / b.size, y: b.sy / b.size, w: b.right - b.left + 1, h: b.bottom - b.top + 1,
      });
    }
  }
  return found;
}

// Bounding box of an ASCII STL; VTK's actor centre is its middle.
function stlBox(file) {
  const lo = [Infinity, Infinity, Infinity];
  const hi = [-Infinity, -Infinity, -Infinity];
  for (const m of readFileSync(file, 'latin1').matchAll(/^\s*vertex\s+(\S+)\s+(\S+)\s+(\S+)/gm)) {
    [1, 2, 3].forEach((k, i) => {
      lo[i] = Math.min(lo[i], Number(m[k]));
      hi[i] = Math.max(hi[i], Number(m[k]));
    });
  }
  assert.ok(Number.isFinite(lo[0]), `no vertices in ${file}`);
  return { lo, hi, centre: lo.map((v, i) => (v + hi[i]) / 2), size: Math.hypot(...hi.map((v, i) => v - lo[i])) };
}

// The data lines of one section of preFiles.txt, which ends with a blank line.
function section(text, header) {
  const lines = text.split('\n');
  const start = lines.indexOf(header);
  assert.ok(start >= 0, `no "${header}" line in preFiles.txt:\n${text}`);
  const end = lines.indexOf('', start + 1);
  assert.ok(end > start, `the "${header}" section does not end with a blank line`);
  return lines.slice(start + 1, end);
}


describe('view: analysis model with the real mouse and keyboard', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let root;
  let ui;
  let view;
  let windowId;
  let keyWindow;
  let origin; // screen position of the window's pixel (0, 0)
  let size;
  let face; // the face targeted by the right click
  let forcesAdded = false;
  let deleted = false;
  // Nothing is ever drawn in the corner: a move there ends any hover.
  const corner = { x: 5, y: 5 };

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-'));
    ui = await startUiServer();
    view = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { after: 0, timeout: READY_TIMEOUT });
    windowId = await view.window();
    keyWindow = await keyboardWindow(windowId);
    const g = await view.geometry();
    origin = { x: g.x, y: g.y };
    size = { width: g.width, height: g.height };
  });
  after(async () => {
    await stopAll();
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  // Every event the view sent in answer to `commands`: selectId always
  // replies and commands are handled in order.
  async function answersTo(commands, { timeout = IMPORT_TIMEOUT } = {}) {
    const mark = ui.mark();
    for (const command of commands) await ui.send(command);
    await ui.send('selectId');
    const last = await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout });
    // Progress reports of an import are checked where the progress bar is.
    return ui.events.slice(mark, ui.events.indexOf(last)).filter((e) => e.event !== 'progress')
      .map((e) => [e.event, ...e.args]);
  }

  const selection = async () => {
    const mark = ui.mark();
    await ui.send('selectId');
    return (await ui.waitFor({ event: 'selectFace' }, { after: mark })).args[0];
  };

  // mousemove --sync waits until the pointer moves: step aside first when it
  // is already there, which also makes the view see a move.
  async function moveTo(p) {
    const x = origin.x + Math.round(p.x);
    const y = origin.y + Math.round(p.y);
    const { stdout } = await xdotool('getmouselocation', '--shell');
    const at = Object.fromEntries(stdout.trim().split('\n').map((l) => l.split('=')));
    if (Number(at.X) === x && Number(at.Y) === y) await xdotool('mousemove', '--sync', x + 1, y);
    await xdotool('mousemove', '--sync', x, y);
  }

  // A shift+right click over nothing prints "!"; mouse and key events are
  // handled in order, so the stdout lines before it are all that the input
  // since `mark` printed.
  async function inputDone(mark) {
    await moveTo(corner);
    await xdotool('keydown', 'shift', 'click', 3, 'keyup', 'shift');
    await view.waitForStdout(/^!$/, { after: mark });
    const lines = view.stdoutLines.slice(mark);
    return lines.slice(0, lines.indexOf('!'));
  }

  async function pressKeys(...keys) {
    const mark = view.stdoutLines.length;
    await xdotool('windowfocus', '--sync', keyWindow);
    await xdotool('key', ...keys);
    return inputDone(mark);
  }

  async function preFiles() {
    assert.deepEqual(await answersTo([`preFiles ${root}/`]), [['message', 'file is generated!']]);
    return readFileSync(join(root, 'data/preFiles.txt'), 'latin1');
  }

  const forceLine = () => `${face} 0.000000 0.000000 -100.000000 0.000000 0.000000 0.000000`;
  const fixLine = () => `${face} 0 1 1 1 0 0 0`;

  test('face mode: a right click on the hovered end face targets it; pointsCoord reports its centre', async () => {
    root = join(dir, 'root');
    await execFileAsync(join(repoRoot, 'tools/prepare-data-root.sh'), [root], { timeout: 20000 });
    await moveTo(corner);
    assert.deepEqual(await answersTo([`openSTLFile ${root} ${SCREW}`]),
      [['message', 'open'], ['message', 'step_file_loaded_flag']]);
    // The screw shows end-on, its flat end in the middle.
    const middle = { x: Math.round(size.width / 2), y: Math.round(size.height / 2) };
    await waitForScreenshot(windowId, (image) => {
      const area = { x: middle.x - 10, y: middle.y - 10, width: 21, height: 21 };
      const model = image.countPixels((rgb, x, y) => !isBackground(image, rgb, y), area);
      assert.equal(model, 21 * 21, 'the middle of the view is not all model');
    }, { timeout: READY_TIMEOUT });

    assert.deepEqual(await answersTo(['facePickup']), []);
    await moveTo(middle);
    await waitForScreenshot(windowId, (image) => {
      const pixel = image.pixel(middle.x, middle.y);
      assert.ok(isGreen(pixel), `the hovered pixel is ${pixel}`);
    });
    const hovered = await selection();
    assert.match(hovered, /^\d+ $/);
    face = Number(hovered);

    const mark = view.stdoutLines.length;
    await xdotool('click', 3);
    await view.waitForStdout(/, .*, /, { after: mark });
    const lines = view.stdoutLines.slice(mark);
    assert.equal(lines[0], `F 0 ${face}`, `stdout: ${JSON.stringify(lines)}`);
    assert.ok(lines[1].startsWith(POSITION_LABEL), `no position label in ${JSON.stringify(lines[1])}`);
    const printed = lines[1].slice(POSITION_LABEL.length).split(', ').map(Number);

    const answers = await answersTo(['pointsCoord']);
    assert.equal(answers.length, 1, `answers: ${JSON.stringify(answers)}`);
    const [event, text] = answers[0];
    assert.equal(event, 'spring');
    const m = text.match(/^(-?\d+\.\d{6}) (-?\d+\.\d{6}) (-?\d+\.\d{6}) (F 0 \d+)$/);
    assert.ok(m, `spring reply ${JSON.stringify(text)}`);
    assert.equal(m[4], `F 0 ${face}`);
    const reported = [m[1], m[2], m[3]].map(Number);
    // The face actor's centre, as printed with six significant digits.
    const box = stlBox(join(root, `data/step/model${face}.stl`));
    reported.forEach((v, i) => {
      assert.ok(Math.abs(v - box.centre[i]) <= 1e-4 * box.size, `centre ${reported} is not ${box.centre}`);
      assert.equal(cppNumber(v), cppNumber(printed[i]), `printed ${printed}, reported ${reported}`);
    });
    // The flat end, facing the viewer at the model's lowest z.
    const solid = stlBox(join(root, 'data/solid/solid0.stl'));
    assert.ok(Math.abs(box.lo[2] - solid.lo[2]) < 1e-3 && Math.abs(box.hi[2] - solid.lo[2]) < 1e-3,
      `face ${face} spans z ${box.lo[2]}..${box.hi[2]}, not the end at ${solid.lo[2]}`);
  });

  test('arrowAdd adds nothing before arrowHighLight; forces and constraints come by command and by key', async () => {
    assert.ok(face !== undefined, 'needs the face target');
    const stderrMark = view.stderrLines.length;
    assert.deepEqual(await answersTo(['arrowAdd']), []);
    await view.waitForStderr(/force|arrow/i, { after: stderrMark });
    assert.deepEqual(section(await preFiles(), FORCE_HEADER), [], 'a force before arrowHighLight');

    assert.deepEqual(await answersTo([`arrowHighLight ${FORCE}`, `fixHighLight ${FIX}`, 'arrowAdd']), []);
    assert.deepEqual(await pressKeys('r'), []);
    assert.deepEqual(await answersTo(['constrainAdd']), []);
    assert.deepEqual(await pressKeys('t'), []);

    const text = await preFiles();
    assert.deepEqual(section(text, FORCE_HEADER), [forceLine(), forceLine()]);
    assert.deepEqual(section(text, FIX_HEADER), [fixLine(), fixLine()]);
    forcesAdded = true;
  });

  test('solid mode: Escape over a force arrow deletes that force', async () => {
    assert.ok(forcesAdded, 'needs the forces and constraints');
    assert.deepEqual(await answersTo(['solidPickup', 'reset']), []);
    // Seen from the side (+x): a 90 degree turn, the trackball turning the
    // camera 200 degrees per window width of drag.
    const y = Math.round(size.height * 0.05);
    const x0 = Math.round(size.width * 0.05);
    await xdotool('mousemove', '--sync', origin.x + x0, origin.y + y, 'mousedown', 1,
      'mousemove', '--sync', origin.x + x0 + Math.round(size.width * 0.45), origin.y + y, 'mouseup', 1);
    await moveTo(corner);
    let screwBox;
    await waitForScreenshot(windowId, (image) => {
      const screw = solidArea(image, isGrey, 2, (x, yy) => !isMarker(image, x, yy));
      const arrow = solidArea(image, isGlyphGreen, 2);
      assert.ok(screw && arrow, `screw ${JSON.stringify(screw)}, arrow ${JSON.stringify(arrow)}`);
      const length = (b) => b.right - b.left;
      const axis = (b) => (b.top + b.bottom) / 2;
      const boxes = `screw ${JSON.stringify(screw)}, arrow ${JSON.stringify(arrow)}`;
      assert.ok(length(screw) > 2 * (screw.bottom - screw.top), `the screw is not seen from the side: ${boxes}`);
      // The arrow starts at the end face's centre and points away from the
      // screw along its axis, 40 units long (the screw is 42.29).
      assert.ok(Math.abs(arrow.left - screw.right) <= 6, `the arrow does not start at the end: ${boxes}`);
      assert.ok(Math.abs(axis(arrow) - axis(screw)) <= 4, `the arrow is off the screw's axis: ${boxes}`);
      const ratio = length(arrow) / length(screw);
      assert.ok(Math.abs(ratio - GLYPH_LENGTH / SCREW_LENGTH) <= 0.06, `arrow/screw length ${ratio.toFixed(3)}`);
      const area = { x: arrow.left, y: arrow.top, width: length(arrow) + 1, height: arrow.bottom - arrow.top + 1 };
      assert.ok(image.countPixels(isPureGreen, area) > 0, 'no pure green on the arrow');
      screwBox = screw;
    }, { timeout: READY_TIMEOUT });

    // The constraint's cone along the force (tip at the target, radius half
    // its distance from it) encloses the whole arrow except the shaft right
    // at its foot, where the cone is still thinner than the shaft: zoom in
    // to hover there. Hovering the screw first makes it red until the mouse
    // leaves it after the zoom, so a shot without red shows the final zoom.
    await moveTo({ x: (screwBox.left + screwBox.right) / 2, y: (screwBox.top + screwBox.bottom) / 2 });
    await waitForScreenshot(windowId, (image) => {
      assert.ok(image.countPixels(isRed) > 500, 'the hovered screw is not red');
    });
    await xdotool('click', '--repeat', 10, 4);
    await moveTo(corner);
    let foot;
    await waitForScreenshot(windowId, (image) => {
      const red = image.countPixels((rgb, x, yy) => isRed(rgb) && !isMarker(image, x, yy));
      assert.equal(red, 0, 'the screw is still red');
      const shaft = solidArea(image, isGlyphGreen, 3);
      assert.ok(shaft, 'no arrow');
      // Only the shaft lies within 40 pixels of the foot.
      const near = solidArea(image, isGlyphGreen, 3, (x) => x - 3 <= shaft.left + 40);
      const half = (near.bottom - near.top) / 2;
      foot = { x: shaft.left, y: (near.top + near.bottom) / 2, half };
      assert.ok(half >= 20, `the shaft is only ${near.bottom - near.top} pixels thick: ${JSON.stringify(near)}`);
      assert.ok(foot.x > 0 && foot.y - half > 0 && foot.x + 2 * half < image.width,
        `the foot ${JSON.stringify(foot)} is not well inside the view`);
    });
    // 1.8 and 1.4 units (the shaft's radius is 2) from the foot and the axis.
    const spot = { x: foot.x + 0.9 * foot.half, y: foot.y - 0.7 * foot.half };
    await moveTo(spot);
    const lines = await pressKeys('Escape');
    assert.equal(lines.length, 2, `stdout: ${JSON.stringify(lines)}`);
    assert.ok(FORCE_NAMES.includes(lines[0]), `deleted ${JSON.stringify(lines[0])}, not a force (${FORCE_NAMES})`);
    assert.equal(lines[1], 'arrow delete');
    deleted = true;

    // The two arrows coincide, and the one drawn last hid the hover colour of
    // the other. The deleted one is gone: the remaining one now shows red.
    await moveTo(spot);
    const side = Math.round(2 * foot.half);
    const area = { x: Math.round(foot.x), y: Math.round(foot.y - foot.half), width: side, height: side };
    await waitForScreenshot(windowId, (image) => {
      const red = image.countPixels(isRed, area);
      assert.ok(red > area.width * area.height * 0.3, `${red} red pixels on the remaining arrow`);
    });
    await moveTo(corner);
    await waitForScreenshot(windowId, (image) => {
      assert.equal(image.countPixels(isRed, area), 0, 'red after the mouse left the arrow');
    });
  });

  test('preFiles writes the surviving force and both constraints on the face', async () => {
    assert.ok(deleted, 'needs the deletion');
    const text = await preFiles();
    assert.deepEqual(section(text, FORCE_HEADER), [forceLine()]);
    assert.deepEqual(section(text, FIX_HEADER), [fixLine(), fixLine()]);
  });

  test('q, e and Escape over nothing print nothing and do not end the view; k writes preFiles.txt', async () => {
    assert.ok(root, 'needs the import');
    const file = join(root, 'data/preFiles.txt');
    const expected = await preFiles();
    rmSync(file);
    assert.deepEqual(await answersTo(['reset']), []);
    await moveTo(corner);
    assert.deepEqual(await pressKeys('q', 'e', 'Escape', 'k'), []);
    assert.equal(view.exitInfo, null, 'the view exited');
    assert.equal(await selection(), '');
    assert.ok(existsSync(file), 'k wrote no preFiles.txt');
    assert.equal(readFileSync(file, 'latin1'), expected, 'k and preFiles wrote different files');
    // The window is still shown.
    await screenshot(windowId);
  });

  test('beam nodes: a click picks a node; fixBeam and arrowBeam report it, arrowBeam once per pick', async () => {
    assert.deepEqual(await answersTo(['beamMesh 4 100 1 0 0 0 0 0']), []);
    assert.deepEqual(await answersTo(['showBeam']),
      [...BEAM_NODES.map((p) => ['message', sixDecimals(p)]), ['message', 'add line']]);
    assert.deepEqual(await answersTo(['showPoint 0 1 0 0 1', 'reset', 'arrowOpen']), []);
    await moveTo(corner);

    // Five 5-pixel green dots in a row, evenly spaced, the recoloured (red)
    // beam line running through them. Looking along +z with +y up, world x
    // grows to the left: the leftmost dot is node 4.
    let dots;
    const before = await waitForScreenshot(windowId, (image) => {
      const small = blobs(image, isGreen)
        .filter((b) => b.size >= 12 && b.w >= 3 && b.h >= 3 && b.w <= 7 && b.h <= 7);
      const row = small.filter((b) => small.filter((o) => Math.abs(o.y - b.y) <= 2).length === BEAM_NODES.length);
      assert.equal(row.length, BEAM_NODES.length, `dots: ${JSON.stringify(small)}`);
      row.sort((a, b) => a.x - b.x);
      const step = (row[4].x - row[0].x) / 4;
      assert.ok(step >= 20, `dots ${step} pixels apart`);
      row.forEach((b, i) => {
        assert.ok(Math.abs(b.x - (row[0].x + i * step)) <= 2, `uneven dots: ${JSON.stringify(row)}`);
      });
      for (let i = 0; i < 4; i++) {
        const x = Math.round((row[i].x + row[i + 1].x) / 2);
        const y = Math.round((row[i].y + row[i + 1].y) / 2);
        const red = image.countPixels(isRed, { x, y: y - 2, width: 1, height: 5 });
        assert.ok(red > 0, `no beam line between dots ${i} and ${i + 1} at (${x}, ${y})`);
      }
      dots = row.reverse();
    }, { timeout: READY_TIMEOUT });

    async function pick(node) {
      const mark = view.stdoutLines.length;
      await moveTo(dots[node]);
      await xdotool('click', 1);
      await view.waitForStdout(new RegExp(`^${SELECTED}$`, 'u'), { after: mark });
      const lines = view.stdoutLines.slice(mark);
      const cpp = BEAM_NODES[node].map(cppNumber).join(', ');
      assert.deepEqual(lines.slice(0, lines.indexOf(SELECTED) + 1),
        [`Picked Position: ${cpp}`, String(node), cpp, SELECTED]);
      await moveTo(corner);
    }
    const near = (node) => ({
      x: Math.round(dots[node].x) - 40, y: Math.round(dots[node].y) - 40, width: 81, height: 81,
    });
    const changedNear = (image, old, node) => image.countPixels((rgb, x, y) => {
      const was = old.pixel(x, y);
      return rgb.some((v, i) => Math.abs(v - was[i]) > 40);
    }, near(node));

    await pick(4);
    const position = sixDecimals(BEAM_NODES[4]);
    // fixBeam leaves the pick to arrowBeam.
    assert.deepEqual(await answersTo(['fixBeam C1']), [['message', position]]);
    const fixed = await waitForScreenshot(windowId, (image) => {
      assert.ok(changedNear(image, before, 4) >= 20, 'no constraint marker at the node');
    });
    assert.deepEqual(await answersTo(['arrowBeam F1 0 0 1']), [['message', position], ['id', '4']]);
    await waitForScreenshot(windowId, (image) => {
      assert.ok(changedNear(image, fixed, 4) >= 20, 'no load marker at the node');
    });
    assert.deepEqual(await answersTo(['arrowBeam F2 0 0 1']), []);

    // A new pick gives a new load.
    await pick(1);
    assert.deepEqual(await answersTo(['arrowBeam F3 0 0 1']),
      [['message', sixDecimals(BEAM_NODES[1])], ['id', '1']]);
    assert.equal(view.exitInfo, null, 'the view exited');
  });
});
