// The whole loop of a real solve through the UI server and the view: a
// bracket (a cantilever with a block below the clamp end and one below the
// tip, so that both faces show to the view's camera) made as STEP by Gmsh, imported; the clamp
// and tip faces picked with the real mouse, fixed and loaded by command;
// materials, preFiles, openSSh to the solver host, the modal result and the
// static result on screen.
import { execFile } from 'node:child_process';
import { copyFileSync, mkdirSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { waitForScreenshot } from './harness.mjs';

const execFileAsync = promisify(execFile);
const xdotool = (...args) => execFileAsync('xdotool', args.map(String), { timeout: 20000 });

export const RESULT = 'unitfcm5-0-1e-10-451';
export const FORCE = '0 0 -100 0 0 0';
export const FIX = '1 1 1 0 0 0';
// E (MPa), Poisson's ratio, density (kg/m3), yield strength (MPa): steel.
export const MATERIALS = '210000 0.3 7850 235';
export const SOLVER_ARGUMENTS = 'both 3 6 2';

const BRACKET_GEO = `SetFactory("OpenCASCADE");
Box(1) = {0, 0, 0, 200, 20, 10};
Box(2) = {0, 0, -20, 20, 20, 20};
Box(3) = {180, 0, -10, 20, 20, 10};
BooleanUnion{ Volume{1}; Delete; }{ Volume{2, 3}; Delete; }
`;
// The view looks along +z: the blocks stand out below the beam, and their
// lowest faces carry the clamp and the load.
const CLAMP_TOP = -20;
const TIP_TOP = -10;

export async function makeBracketStep(dir) {
  const geo = join(dir, 'bracket.geo');
  const step = join(dir, 'bracket.step');
  writeFileSync(geo, BRACKET_GEO);
  await execFileAsync('gmsh', [geo, '-0', '-o', step], { timeout: 60000 });
  return step;
}

function stlBox(path) {
  const lo = [Infinity, Infinity, Infinity];
  const hi = [-Infinity, -Infinity, -Infinity];
  for (const m of readFileSync(path, 'utf8').matchAll(/vertex\s+(\S+)\s+(\S+)\s+(\S+)/g)) {
    for (let i = 0; i < 3; i++) {
      lo[i] = Math.min(lo[i], Number(m[i + 1]));
      hi[i] = Math.max(hi[i], Number(m[i + 1]));
    }
  }
  return { lo, hi };
}

// The view's index of the flat face at height z, from the face files of the import.
function faceAtHeight(root, z) {
  const files = readdirSync(join(root, 'data/step')).filter((f) => /^model\d+\.stl$/.test(f));
  for (const file of files) {
    const { lo, hi } = stlBox(join(root, 'data/step', file));
    if (Math.abs(lo[2] - z) < 1e-6 && Math.abs(hi[2] - z) < 1e-6) return Number(file.match(/\d+/)[0]);
  }
  throw new Error(`no face of the import lies flat at z = ${z}`);
}

// Background: the view's vertical gradient; the model is anything else.
const TOP = [52, 52, 103];
const BOTTOM = [167, 167, 188];
export function isBackground(image, [r, g, b], y) {
  const f = y / (image.height - 1);
  const want = TOP.map((v, i) => v + (BOTTOM[i] - v) * f);
  return Math.max(Math.abs(r - want[0]), Math.abs(g - want[1]), Math.abs(b - want[2])) <= 30;
}

// First and last model column of a row.
export function modelSpan(image, y) {
  let left = -1;
  let right = -1;
  for (let x = Math.round(image.width * 0.12); x < image.width; x++) {
    if (!isBackground(image, image.pixel(x, y), y)) {
      if (left < 0) left = x;
      right = x;
    }
  }
  return left < 0 ? null : { left, right };
}

export async function runSolverLoop({ ui, view, root, jobDir, target, step, log = () => {} }) {
  const windowId = await view.window();
  const g = await view.geometry();
  const answersTo = async (commands, timeout = 120000) => {
    const mark = ui.mark();
    for (const command of commands) await ui.send(command);
    await ui.send('selectId');
    const last = await ui.waitFor({ event: 'selectFace' }, { after: mark, timeout });
    return { selection: last.args[0], replies: ui.events.slice(mark, ui.events.indexOf(last))
      .filter((e) => e.event !== 'progress').map((e) => [e.event, ...e.args]) };
  };
  const moveTo = async (x, y) => {
    await xdotool('mousemove', '--sync', g.x + x + 1, g.y + y);
    await xdotool('mousemove', '--sync', g.x + x, g.y + y);
  };

  log(`importing ${step}`);
  const imported = await answersTo([`openSTLFile ${root} ${step}`, 'reset', 'facePickup']);
  const clamp = faceAtHeight(root, CLAMP_TOP);
  const tip = faceAtHeight(root, TIP_TOP);
  const middle = Math.round(g.height / 2);
  let span = null;
  await waitForScreenshot(windowId, (image) => {
    span = modelSpan(image, middle);
    if (!span || span.right - span.left < image.width / 4) {
      throw new Error('the imported part does not show across the middle row of the view');
    }
  }, { timeout: 60000 });

  // Hover near the ends until the wanted face is the one highlighted, then
  // right click to make it the target.
  // Which end is which depends on the camera: try both.
  const pick = async (face) => {
    const seen = [];
    for (const f of [0.05, 0.95, 0.03, 0.97, 0.07, 0.93]) {
      const x = Math.round(span.left + f * (span.right - span.left));
      await moveTo(x, middle);
      // The hover arrives through the X server, the query through the socket.
      let hovered = '';
      for (let i = 0; i < 10 && hovered !== `${face} `; i++) {
        await new Promise((r) => setTimeout(r, 100));
        hovered = (await answersTo([])).selection;
      }
      seen.push(`${x}: '${hovered}'`);
      if (hovered === `${face} `) {
        const mark = view.stdoutLines.length;
        await xdotool('click', 3);
        await view.waitForStdout(new RegExp(`^F 0 ${face}$`), { after: mark });
        return;
      }
    }
    throw new Error(`face ${face} could not be hovered near either end `
      + `(span ${span.left}..${span.right}; hovered ${seen.join(', ')})`);
  };
  await pick(clamp);
  await answersTo([`fixHighLight ${FIX}`, 'constrainAdd']);
  await pick(tip);
  await answersTo([`arrowHighLight ${FORCE}`, 'arrowAdd']);
  await moveTo(5, 5);
  const written = await answersTo([`materials 0 ${MATERIALS}`, `preFiles ${root}/`]);

  // The job directory holds the solver file and the STEP file it names.
  mkdirSync(jobDir, { recursive: true });
  copyFileSync(join(root, 'data/preFiles.txt'), join(jobDir, 'preFiles.txt'));
  copyFileSync(step, join(jobDir, 'bracket.step'));
  log(`solving: openSSh ${jobDir} 2 ${SOLVER_ARGUMENTS} ${target}`);
  const from = view.stderrLines.length;
  await answersTo([`openSSh ${jobDir} 2 ${SOLVER_ARGUMENTS} ${target}`], 600000);
  const runLines = view.stderrLines.slice(from).filter((l) => l.startsWith('orvane: openSSh'));
  return { clamp, tip, imported: imported.replies, written: written.replies, runLines };
}
