// End-to-end tests of STEP import, hover picking with the real mouse
// (xdotool), face B-rep export and shutdown clean-up on the real view:
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/geometry-import.test.mjs
// Skipped when the view is not built, there is no display or the sample STEP
// models are missing, unless ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import {
  existsSync, lstatSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync, writeFileSync,
} from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import {
  prepareDataRoot, startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot,
} from './harness.mjs';

const execFileAsync = promisify(execFile);

const STEP_DIR = '/usr/share/opencascade/data/step';
// Both import in about a second; the screw has 10 faces, the link rods 37.
const SCREW = join(STEP_DIR, 'screw.step');
const LINKRODS = join(STEP_DIR, 'linkrods.step');
const SCREW_FACES = 10;
const LINKRODS_FACES = 37;
const MODEL_FILES = ['pts', 'stl', 'tri'].map((ext) => `locomotive_bogieassembly_sldasm2.${ext}`);

function skipReason() {
  const common = viewSkipReason();
  if (common !== false || process.env.ORVANE_E2E_REQUIRED) return common;
  if (!existsSync(SCREW) || !existsSync(LINKRODS)) return `the OpenCASCADE sample models are missing from ${STEP_DIR}`;
  return false;
}
const skip = skipReason();
if (skip) process.stderr.write(`geometry-import: skipping: ${skip}\n`);

// Rendering under Xvfb is software GL on a small machine: generous waits.
const READY_TIMEOUT = 60000;
const IMPORT_TIMEOUT = 120000;
const SUITE_TIMEOUT = 600000;

const TOP = [52, 52, 103];
const BOTTOM = [167, 167, 188];
const isRed = ([r, g, b]) => r > 180 && g < 80 && b < 80;
const isGreen = ([r, g, b]) => g > 150 && r < 100 && b < 100;
// "Position of the selected node:" in GBK, as the harness decodes stdout (UTF-8).
const POSITION_LABEL = Buffer.from([
  0xd1, 0xa1, 0xd6, 0xd0, 0xbd, 0xda, 0xb5, 0xe3, 0xb5, 0xc4, 0xce, 0xbb, 0xd6, 0xc3, 0xa3, 0xba,
]).toString('utf8');

const xdotool = (...args) => execFileAsync('xdotool', args.map(String), { timeout: 20000 });

function isBackground(image, [r, g, b], y) {
  const f = y / (image.height - 1);
  const want = TOP.map((v, i) => v + (BOTTOM[i] - v) * f);
  return Math.max(Math.abs(r - want[0]), Math.abs(g - want[1]), Math.abs(b - want[2])) <= 30;
}

// The axes marker fills the lower-left tenth of the view; everything else
// that is not the gradient belongs to the model.
function isMarker(image, x, y) {
  return x < image.width * 0.12 && y > image.height * 0.86;
}

function modelPixels(image) {
  const found = [];
  image.countPixels((rgb, x, y) => {
    if (!isMarker(image, x, y) && !isBackground(image, rgb, y)) found.push([x, y]);
    return false;
  });
  return found;
}

// Where the model shows: its pixel count, its bounding box with a margin, the
// model pixel nearest to the centroid ("middle") and the one 5 pixels below
// the top of the model in the centroid's column ("rim"), each with an 11x11
// neighbourhood of model pixels so that a pick there cannot miss.
function locateModel(image) {
  const pixels = modelPixels(image);
  assert.ok(pixels.length >= 1000, `only ${pixels.length} model pixels on the screenshot`);
  const xs = pixels.map(([x]) => x);
  const ys = pixels.map(([, y]) => y);
  const [left, right, top, bottom] = [Math.min(...xs), Math.max(...xs), Math.min(...ys), Math.max(...ys)];
  const cx = xs.reduce((s, v) => s + v, 0) / xs.length;
  const cy = ys.reduce((s, v) => s + v, 0) / ys.length;
  const inside = new Set(pixels.map(([x, y]) => y * image.width + x));
  const surrounded = ([x, y]) => {
    for (let dy = -5; dy <= 5; dy++) {
      for (let dx = -5; dx <= 5; dx++) if (!inside.has((y + dy) * image.width + x + dx)) return false;
    }
    return true;
  };
  const inner = pixels.filter(surrounded);
  assert.ok(inner.length > 0, 'no model pixel surrounded by model pixels');
  const distance = ([x, y]) => Math.hypot(x - cx, y - cy);
  const [mx, my] = inner.reduce((best, p) => (distance(p) < distance(best) ? p : best));
  const column = inner.filter(([x]) => x === mx).map(([, y]) => y);
  const rimY = Math.min(...column) + 5;
  assert.ok(surrounded([mx, rimY]), `no model around (${mx}, ${rimY})`);
  const margin = 20;
  const area = {
    x: left - margin, y: top - margin, width: right - left + 2 * margin, height: bottom - top + 2 * margin,
  };
  return { count: pixels.length, area, middle: { x: mx, y: my }, rim: { x: mx, y: rimY } };
}

// Corners of an ASCII STL's bounding box; VTK's actor centre is its middle.
function stlCentre(file) {
  const lo = [Infinity, Infinity, Infinity];
  const hi = [-Infinity, -Infinity, -Infinity];
  for (const m of readFileSync(file, 'latin1').matchAll(/^\s*vertex\s+(\S+)\s+(\S+)\s+(\S+)/gm)) {
    [1, 2, 3].forEach((k, i) => {
      lo[i] = Math.min(lo[i], Number(m[k]));
      hi[i] = Math.max(hi[i], Number(m[k]));
    });
  }
  assert.ok(Number.isFinite(lo[0]), `no vertices in ${file}`);
  return { lo, centre: lo.map((v, i) => (v + hi[i]) / 2), size: Math.hypot(...hi.map((v, i) => v - lo[i])) };
}

// "x, y, z" printed with six significant digits.
function assertPrintedCentre(line, file) {
  assert.ok(line.startsWith(POSITION_LABEL), `no position label in ${JSON.stringify(line)}`);
  const printed = line.slice(POSITION_LABEL.length).split(', ').map(Number);
  assert.equal(printed.length, 3, `position ${JSON.stringify(line)}`);
  const { centre, size } = stlCentre(file);
  printed.forEach((v, i) => {
    assert.ok(Math.abs(v - centre[i]) <= 1e-4 * size + 1e-4 * Math.abs(centre[i]),
      `printed centre ${printed} is not the centre ${centre} of ${file}`);
  });
}

function changedPixels(image, before, area) {
  return image.countPixels((rgb, x, y) => {
    const old = before.pixel(x, y);
    return rgb.some((v, i) => Math.abs(v - old[i]) > 8);
  }, area);
}

const regularFiles = (directory) => readdirSync(directory)
  .filter((name) => lstatSync(join(directory, name)).isFile()).sort();
const faceFileNames = (n) => Array.from({ length: n }, (_, i) => `model${i}.stl`).sort();

describe('view: STEP import, hover picking and clean-up', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let ui;
  let view;
  let windowId;
  let origin; // screen position of the window's pixel (0, 0)
  let screw; // where the screw shows after its import: {count, area, middle, rim, image}
  let rimFace; // the face under screw.rim
  let background; // a window pixel far from the model
  let firstRoot;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-'));
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

  const prepareRoot = (name) => prepareDataRoot(join(dir, name));

  // Every event the view sent in answer to `commands`, and the selection:
  // selectId always replies and commands are handled in order, so whatever
  // came before its reply is the complete answer.
  async function answersTo(commands, { timeout = IMPORT_TIMEOUT } = {}) {
    const mark = ui.mark();
    for (const command of commands) await ui.send(command);
    await ui.send('selectId');
    const last = await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout });
    // Progress reports of the import are checked where the progress bar is.
    const answers = ui.events.slice(mark, ui.events.indexOf(last)).filter((e) => e.event !== 'progress')
      .map((e) => [e.event, ...e.args]);
    return { answers, selection: last.args[0] };
  }

  const selection = async () => (await answersTo([])).selection;

  async function importStep(root, file) {
    const { answers } = await answersTo([`openSTLFile ${root} ${file}`]);
    assert.deepEqual(answers, [['message', 'open'], ['message', 'step_file_loaded_flag']]);
  }

  // Hovering turns the actor under the mouse red: keep the mouse off the
  // window while looking at the model.
  async function parkMouse() {
    const g = await view.geometry();
    const { stdout } = await xdotool('getdisplaygeometry');
    const [sw, sh] = stdout.trim().split(/\s+/).map(Number);
    const corners = [[sw - 1, sh - 1], [0, sh - 1], [sw - 1, 0], [0, 0]];
    const outside = corners.find(([x, y]) => x < g.x || y < g.y || x >= g.x + g.width || y >= g.y + g.height);
    assert.ok(outside, `the window ${JSON.stringify(g)} covers the whole ${sw}x${sh} screen`);
    await xdotool('mousemove', '--sync', ...outside);
  }

  const moveTo = (p) => xdotool('mousemove', '--sync', origin.x + p.x, origin.y + p.y);

  test('openSTLFile imports the screw: faces, solid and whole-model files, shown in the middle', async () => {
    await parkMouse();
    firstRoot = await prepareRoot('first');
    await importStep(firstRoot, SCREW);
    const data = join(firstRoot, 'data');
    assert.deepEqual(regularFiles(join(data, 'step')), faceFileNames(SCREW_FACES));
    assert.deepEqual(regularFiles(join(data, 'solid')), ['solid0.stl']);
    for (const name of MODEL_FILES) assert.ok(statSync(join(data, name)).size > 0, `${name} is empty`);
    assert.deepEqual(regularFiles(join(data, 'cut')), []);

    const image = await waitForScreenshot(windowId, (shot) => {
      const middle = shot.rect(0.45, 0.45, 0.55, 0.55);
      const filled = shot.countPixels((rgb, x, y) => !isBackground(shot, rgb, y), middle);
      assert.ok(filled > middle.width * middle.height * 0.9, `${filled} model pixels in the middle`);
    }, { timeout: READY_TIMEOUT });
    screw = { ...locateModel(image), image };
    // Grey-white, not yet highlighted.
    assert.equal(image.countPixels(isRed, screw.area), 0, 'red before any hover');
    const { area } = screw;
    background = { x: Math.round(image.width * 0.9), y: Math.round(image.height * 0.1) };
    assert.ok(background.x > area.x + area.width || background.y < area.y, 'the model reaches the upper right');
  });

  test('solid mode: hovering turns the solid red, leaving restores it; a right click targets it', async () => {
    assert.ok(screw, 'needs the imported screw');
    await moveTo(screw.middle);
    await waitForScreenshot(windowId, (image) => {
      const red = image.countPixels(isRed, screw.area);
      assert.ok(red > screw.count * 0.5, `${red} red pixels, the model has ${screw.count}`);
    });

    const mark = view.stdoutLines.length;
    await xdotool('click', 3);
    await view.waitForStdout(/^S 0 0$/, { after: mark });
    const lines = view.stdoutLines.slice(mark);
    assert.equal(lines[0], 'S 0 0', `stdout: ${JSON.stringify(lines)}`);
    await view.waitForStdout(/, .*, /, { after: mark + 1 });
    assertPrintedCentre(view.stdoutLines[mark + 1], join(firstRoot, 'data/solid/solid0.stl'));

    await moveTo(background);
    await waitForScreenshot(windowId, (image) => {
      assert.equal(image.countPixels(isRed, screw.area), 0, 'red pixels after the mouse left');
      const changed = changedPixels(image, screw.image, screw.area);
      assert.ok(changed <= screw.count * 0.005, `${changed} pixels differ from the look before the hover`);
    });
  });

  test('face mode: hovering shows one face green and selects it; a right click targets it', async () => {
    assert.ok(screw, 'needs the imported screw');
    assert.deepEqual((await answersTo(['facePickup'])).answers, []);
    assert.equal(await selection(), '', 'a selection before any face hover');

    await moveTo(screw.rim);
    // Once the face shows, the move has been handled.
    await waitForScreenshot(windowId, (image) => {
      const green = image.countPixels(isGreen, screw.area);
      assert.ok(green >= 100, `${green} green pixels`);
      assert.ok(isGreen(image.pixel(screw.rim.x, screw.rim.y)), 'the hovered pixel is not green');
      assert.equal(image.countPixels(isRed, screw.area), 0, 'red pixels in face mode');
    });
    const picked = await selection();
    assert.match(picked, /^\d+ $/);
    rimFace = Number(picked);
    assert.ok(rimFace < SCREW_FACES, `face ${rimFace} of ${SCREW_FACES}`);

    const mark = view.stdoutLines.length;
    await xdotool('click', 3);
    await view.waitForStdout(/, .*, /, { after: mark });
    assert.equal(view.stdoutLines[mark], `F 0 ${rimFace}`,
      `stdout: ${JSON.stringify(view.stdoutLines.slice(mark))}`);
    assertPrintedCentre(view.stdoutLines[mark + 1], join(firstRoot, `data/step/model${rimFace}.stl`));
  });

  test('face mode: rendererFace selects a face by index; an index without a face changes nothing', async () => {
    assert.ok(rimFace !== undefined, 'needs a hovered face');
    const stderrMark = view.stderrLines.length;
    assert.deepEqual(await answersTo(['rendererFace 99999']), { answers: [], selection: `${rimFace} ` });
    await view.waitForStderr(/rendererFace/, { after: stderrMark });

    // Selecting another face hides the hovered one; selecting it again shows it.
    const other = (rimFace + 1) % SCREW_FACES;
    assert.deepEqual(await answersTo([`rendererFace ${other}`]), { answers: [], selection: `${other} ` });
    await waitForScreenshot(windowId, (image) => {
      assert.ok(!isGreen(image.pixel(screw.rim.x, screw.rim.y)), `face ${rimFace} is still green`);
    });
    assert.deepEqual(await answersTo([`rendererFace ${rimFace}`]), { answers: [], selection: `${rimFace} ` });
    await waitForScreenshot(windowId, (image) => {
      assert.ok(isGreen(image.pixel(screw.rim.x, screw.rim.y)), `face ${rimFace} is not green`);
    });
  });

  test('face mode: the flat end face turned to the viewer is picked and drawn green over the solid', async () => {
    assert.ok(screw, 'needs the imported screw');
    const { x, y } = screw.middle;
    await moveTo(screw.middle);
    // The hovered face shows, in some shade of green.
    const image = await waitForScreenshot(windowId, (shot) => {
      const [r, g, b] = shot.pixel(x, y);
      assert.ok(g > r + 40 && g > b + 40, `the hovered pixel is ${[r, g, b]}, not greenish`);
    });
    const picked = await selection();
    assert.match(picked, /^\d+ $/);
    assert.notEqual(Number(picked), rimFace);
    // Opaque green, not washed out by the translucent solid's coincident surface.
    assert.ok(isGreen(image.pixel(x, y)), `face ${Number(picked)} shows as ${image.pixel(x, y)}`);
  });

  test('face mode: leaving the model clears the selection', async () => {
    assert.ok(screw, 'needs the imported screw');
    await moveTo(screw.rim);
    await waitForScreenshot(windowId, (image) => {
      assert.ok(isGreen(image.pixel(screw.rim.x, screw.rim.y)), 'the rim is not green');
    });
    await moveTo(background);
    await waitForScreenshot(windowId, (image) => {
      const green = image.countPixels(isGreen, screw.area);
      assert.equal(green, 0, `${green} green pixels after the mouse left the model`);
    });
    assert.equal(await selection(), '', 'the selection after the mouse left the model');
  });

  test('solidPickup while a face is shown: hovering turns the solid red, leaving restores the first look', async () => {
    assert.ok(screw, 'needs the imported screw');
    await moveTo(screw.rim);
    await waitForScreenshot(windowId, (image) => {
      assert.ok(isGreen(image.pixel(screw.rim.x, screw.rim.y)), 'the rim is not green');
    });
    assert.deepEqual((await answersTo(['solidPickup'])).answers, []);
    await moveTo(screw.middle);
    await waitForScreenshot(windowId, (image) => {
      const red = image.countPixels(isRed, screw.area);
      assert.ok(red > screw.count * 0.5, `${red} red pixels, the model has ${screw.count}`);
      assert.equal(image.countPixels(isGreen, screw.area), 0, 'green pixels in solid mode');
    });
    await moveTo(background);
    await waitForScreenshot(windowId, (image) => {
      assert.equal(image.countPixels(isRed, screw.area), 0, 'red pixels after the mouse left');
      const changed = changedPixels(image, screw.image, screw.area);
      assert.ok(changed <= screw.count * 0.005, `${changed} pixels differ from the look before any hover`);
    });
  });

  // Reads a file that is no model into `root` after showing the screw.
  async function failedImport(root, file) {
    await importStep(firstRoot, SCREW);
    const stderrMark = view.stderrLines.length;
    const { answers } = await answersTo([`openSTLFile ${root} ${file}`]);
    assert.deepEqual(answers, [['message', 'open']], file);
    assert.ok(view.stderrLines.slice(stderrMark).some((l) => l.includes(file)),
      `no diagnostic naming ${file}: ${JSON.stringify(view.stderrLines.slice(stderrMark))}`);
  }

  const assertEmpty = (file) => (image) => {
    const shown = modelPixels(image).length;
    assert.equal(shown, 0, `${shown} model pixels after importing ${file}`);
  };

  test('an unreadable STEP path answers only "open", writes nothing and removes the model', async () => {
    assert.ok(screw, 'needs the imported screw');
    const root = await prepareRoot('unreadable');
    const notStep = join(dir, 'not-a-model.step');
    writeFileSync(notStep, 'solid nothing\nendsolid nothing\n');
    let spot = 0;
    for (const file of [join(dir, 'absent.step'), notStep]) {
      await parkMouse();
      await failedImport(root, file);
      // A move to a new spot over the background draws the view.
      await moveTo({ x: background.x - 10 * ++spot, y: background.y });
      await waitForScreenshot(windowId, assertEmpty(file));
    }
    for (const sub of ['step', 'solid', 'cut']) assert.deepEqual(regularFiles(join(root, 'data', sub)), [], sub);
    for (const name of MODEL_FILES) assert.ok(!existsSync(join(root, 'data', name)), `${name} written`);
  });

  test('an unreadable STEP path shows the emptied view without waiting for input', async () => {
    assert.ok(screw, 'needs the imported screw');
    await parkMouse();
    const file = join(dir, 'absent.step');
    await failedImport(await prepareRoot('unreadable-drawn'), file);
    await waitForScreenshot(windowId, assertEmpty(file));
  });

  test('a second import with fewer faces leaves the extra face files of the first', async () => {
    const root = await prepareRoot('reimport');
    const step = join(root, 'data/step');
    await importStep(root, LINKRODS);
    assert.deepEqual(regularFiles(step), faceFileNames(LINKRODS_FACES));
    const before = Object.fromEntries(regularFiles(step).map((n) => [n, readFileSync(join(step, n), 'latin1')]));
    const model = readFileSync(join(root, 'data', MODEL_FILES[1]), 'latin1');

    await importStep(root, SCREW);
    assert.deepEqual(regularFiles(step), faceFileNames(LINKRODS_FACES));
    for (let i = 0; i < LINKRODS_FACES; i++) {
      const name = `model${i}.stl`;
      const same = readFileSync(join(step, name), 'latin1') === before[name];
      assert.equal(same, i >= SCREW_FACES, `${name} ${same ? 'kept' : 'rewritten'}`);
    }
    assert.notEqual(readFileSync(join(root, 'data', MODEL_FILES[1]), 'latin1'), model, 'the whole model is rewritten');
    assert.deepEqual(regularFiles(join(root, 'data/solid')), ['solid0.stl']);
    // The screw is shown as after its first import.
    await waitForScreenshot(windowId, (image) => {
      const changed = changedPixels(image, screw.image, screw.area);
      assert.ok(changed <= screw.count * 0.005, `${changed} pixels differ from the screw's first import`);
    });
  });

  test('genBrep 0 under a root named with non-ASCII and shell characters runs the Gauss-point program', async () => {
    // The STL writer reads '|' and '^' in a path as a separator and a parent directory.
    const root = await prepareRoot("root-ü;$(x)'q`&|^");
    await importStep(root, SCREW);
    assert.ok(statSync(join(root, 'data/step/model0.stl')).size > 0, 'model0.stl is missing');
    const brep = join(root, 'data/brep/face0.brep');
    const gauss = join(root, 'data/guass/guass.txt');
    const stdoutMark = view.stdoutLines.length;
    const stderrMark = view.stderrLines.length;
    assert.deepEqual((await answersTo(['genBrep 0'])).answers, []);
    assert.ok(view.stdoutLines.slice(stdoutMark).includes(`Successfully saved face to ${brep}`),
      `stdout: ${JSON.stringify(view.stdoutLines.slice(stdoutMark))}`);
    assert.ok(statSync(brep).size > 0, 'face0.brep is empty');
    assert.ok(existsSync(gauss), `the Gauss-point program wrote no ${gauss}; stderr: `
      + `${JSON.stringify(view.stderrLines.slice(stderrMark))}`);
    assert.ok(statSync(gauss).size > 0, 'guass.txt is empty');
    assert.deepEqual(view.stderrLines.slice(stderrMark).filter((l) => /cannot run|signal/.test(l)), []);
  });

  test('SIGTERM exits 0 and deletes only the files of the last import', async () => {
    const first = await prepareRoot('shutdown-a');
    const last = await prepareRoot('shutdown-b');
    await importStep(first, SCREW);
    await importStep(last, SCREW);
    const keptDir = join(last, 'data/step/keep');
    mkdirSync(keptDir);
    writeFileSync(join(keptDir, 'inner.txt'), 'kept\n');
    // The middle of the screw's flat end, which faces -z.
    const { lo, centre } = stlCentre(join(last, 'data/solid/solid0.stl'));
    const endMiddle = [centre[0], centre[1], lo[2]];
    const at = endMiddle.join(' ');
    const stderrMark = view.stderrLines.length;
    assert.deepEqual((await answersTo([`cutBrep ${at} 0`, `cutBrep ${at} -1`])).answers, []);
    assert.equal(view.stderrLines.slice(stderrMark).filter((l) => /cutBrep/.test(l)).length, 2,
      `stderr: ${JSON.stringify(view.stderrLines.slice(stderrMark))}`);
    assert.deepEqual(regularFiles(join(last, 'data/cut')), [], 'a cut without radius');
    // The sphere holds a disk of the end face.
    assert.deepEqual((await answersTo(['genBrep 0', `cutBrep ${at} 2`])).answers, []);
    assert.deepEqual(regularFiles(join(last, 'data/cut')), ['cut0.stl']);
    assert.match(readFileSync(join(last, 'data/cut/cut0.stl'), 'latin1'), /facet/);
    assert.ok(existsSync(join(last, 'data/brep/cut0.brep')), 'cut0.brep');

    assert.equal(await view.stop('SIGTERM'), 0);
    for (const sub of ['step', 'solid', 'cut']) assert.deepEqual(regularFiles(join(last, 'data', sub)), [], sub);
    assert.deepEqual(readdirSync(join(last, 'data/step')), ['keep']);
    assert.ok(existsSync(join(keptDir, 'inner.txt')), 'a file below a subdirectory of data/step');
    assert.deepEqual(regularFiles(join(last, 'data/brep')), ['cut0.brep', 'face0.brep']);
    for (const name of MODEL_FILES) assert.ok(existsSync(join(last, 'data', name)), `${name} of the last import`);
    assert.ok(existsSync(join(last, 'data/guass/guass.txt')), 'guass.txt');
    assert.deepEqual(regularFiles(join(first, 'data/step')), faceFileNames(SCREW_FACES));
    assert.deepEqual(regularFiles(join(first, 'data/solid')), ['solid0.stl']);
  });
});
