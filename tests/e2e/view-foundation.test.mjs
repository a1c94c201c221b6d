// End-to-end tests of the real view, driven through the UI server under X:
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/view-foundation.test.mjs
// Skipped when the view is not built or there is no display, unless
// ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import {
  screenshot, startUiServer, startView, stopAll, viewSkipReason, waitForScreenshot,
} from './harness.mjs';

const execFileAsync = promisify(execFile);

const skip = viewSkipReason();
if (skip) process.stderr.write(`view-foundation: skipping: ${skip}\n`);

// Rendering under Xvfb is software GL on a small machine: generous waits.
const READY_TIMEOUT = 60000;
const RECONNECT_TIMEOUT = 45000;
const SUITE_TIMEOUT = 300000;

const TOP = [52, 52, 103];
const BOTTOM = [167, 167, 188];
const TOLERANCE = 12;
const isYellow = ([r, g, b]) => r > 200 && g > 200 && b < 80;

function asciiStl(name, triangles, centre) {
  const sub = (p, q) => p.map((v, i) => v - q[i]);
  const facets = triangles.map(([a, b, c]) => {
    const u = sub(b, a);
    const w = sub(c, a);
    let n = [u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]];
    let corners = [a, b, c];
    // STL wants counter-clockwise corners seen from outside.
    if (n.reduce((s, v, i) => s + v * (a[i] - centre[i]), 0) < 0) {
      n = n.map((v) => -v);
      corners = [a, c, b];
    }
    const length = Math.hypot(...n);
    const normal = n.map((v) => (v / length).toFixed(6)).join(' ');
    const vertices = corners.map((p) => `      vertex ${p.join(' ')}`).join('\n');
    return `  facet normal ${normal}\n    outer loop\n${vertices}\n    endloop\n  endfacet`;
  });
  return `solid ${name}\n${facets.join('\n')}\nendsolid ${name}\n`;
}

// The cube encloses every tetrahedron, so readStl's camera always frames it.
function cubeStl(half) {
  const corner = (x, y, z) => [x * half, y * half, z * half];
  const triangles = [];
  for (let axis = 0; axis < 3; axis++) {
    for (const side of [-1, 1]) {
      const square = [[-1, -1], [1, -1], [1, 1], [-1, 1]].map(([p, q]) => {
        const c = [0, 0, 0];
        c[axis] = side;
        c[(axis + 1) % 3] = p;
        c[(axis + 2) % 3] = q;
        return corner(...c);
      });
      triangles.push([square[0], square[1], square[2]], [square[0], square[2], square[3]]);
    }
  }
  return asciiStl('cube', triangles, [0, 0, 0]);
}

function tetrahedronStl() {
  const p = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]];
  return asciiStl('tetrahedron', [[p[0], p[2], p[1]], [p[0], p[1], p[3]], [p[0], p[3], p[2]], [p[1], p[2], p[3]]],
    [0.25, 0.25, 0.25]);
}

const lerp = (from, to, f) => from.map((v, i) => v + (to[i] - v) * f);

function expectedBackground(image, y) {
  return lerp(TOP, BOTTOM, y / (image.height - 1));
}

function assertBackgroundAt(image, fx, fy) {
  const x = Math.round(fx * (image.width - 1));
  const y = Math.round(fy * (image.height - 1));
  const got = image.pixel(x, y);
  const want = expectedBackground(image, y).map(Math.round);
  assert.ok(got.every((v, i) => Math.abs(v - want[i]) <= TOLERANCE),
    `background at (${x}, ${y}) of ${image.width}x${image.height} is ${got}, expected about ${want}`);
}

function yellowShare(image, area) {
  return image.countPixels(isYellow, area) / (area.width * area.height);
}

// A tiny X client with a known look, to check screenshots before trusting them.
async function showTestPattern(title) {
  const child = spawn('xlogo', ['-title', title, '-bg', '#ff8000', '-fg', '#0000ff', '-geometry', '120x80+30+40'],
    { stdio: 'ignore' });
  const { stdout } = await execFileAsync('xdotool', ['search', '--sync', '--onlyvisible', '--name', title],
    { timeout: 20000 });
  return { child, id: Number(stdout.trim().split('\n')[0]) };
}

describe('harness screenshots', { skip: process.env.DISPLAY ? false : 'no X display' }, () => {
  test('decode a window with known colours, alone and within the whole screen', async () => {
    const { child, id } = await showTestPattern(`orvane-e2e-${process.pid}`);
    try {
      const isOrange = ([r, g, b]) => r === 255 && Math.abs(g - 128) <= 2 && b === 0;
      const isBlue = ([r, g, b]) => r === 0 && g === 0 && b === 255;
      const image = await waitForScreenshot(id, (shot) => assert.ok(shot.countPixels(isBlue) > 100, 'logo drawn'));
      assert.deepEqual([image.width, image.height], [120, 80]);
      const all = image.width * image.height;
      const orange = image.countPixels(isOrange);
      assert.equal(orange + image.countPixels(isBlue), all, 'only background and logo colours');
      assert.ok(orange > all / 2, `${orange} orange pixels of ${all}`);

      const { windowX: x, windowY: y } = image.header;
      assert.deepEqual([x, y], [31, 41], 'inside the one-pixel border');
      const screen = await screenshot();
      for (let py = 0; py < image.height; py += 7) {
        for (let px = 0; px < image.width; px += 5) {
          assert.deepEqual(screen.pixel(x + px, y + py), image.pixel(px, py), `pixel (${px}, ${py})`);
        }
      }
    } finally {
      child.kill();
    }
  });
});

describe('view: commands, replies and rendering', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let cube;
  let tetra;
  let ui;
  let view;
  let ready;
  let slot = 100;
  const nextSlot = () => ++slot;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-'));
    cube = join(dir, 'cube.stl');
    tetra = join(dir, 'tetrahedron.stl');
    writeFileSync(cube, cubeStl(2));
    writeFileSync(tetra, tetrahedronStl());
    ui = await startUiServer();
    view = await startView({ url: ui.url });
    ready = await ui.waitFor({ event: 'ready' }, { after: 0, timeout: READY_TIMEOUT });
  });
  after(async () => {
    await stopAll();
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  const reply = (s, colour) => `${s} ${colour.map((c) => c.toFixed(6)).join(' ')}`;

  // Every event the view sent in answer to `commands`: a readModelSTL
  // sentinel follows them, and commands are handled in order, so whatever
  // came before the sentinel's reply is the complete answer.
  async function answersTo(commands) {
    const mark = ui.mark();
    for (const command of commands) {
      if (typeof command === 'string') await ui.send(command);
      else await ui.emitRaw('message', command.args);
    }
    const sentinel = nextSlot();
    await ui.send(`readModelSTL ${tetra} ${sentinel} 0 0 1 1`);
    const sentinelText = reply(sentinel, [0, 0, 1, 1]);
    const last = await ui.waitFor({ event: 'message', text: sentinelText }, { after: mark });
    return ui.events.slice(mark, ui.events.indexOf(last))
      .map((e) => (e.event === 'message' && e.args.length === 1 ? e.args[0] : JSON.stringify(e)));
  }

  test('emits "ready" with no arguments when it connects', () => {
    assert.deepEqual(ready.args, []);
  });

  test('shows the gradient background and an axes marker in the lower-left corner', async () => {
    const id = await view.window();
    await waitForScreenshot(id, (image) => {
      for (const fy of [0.02, 0.5, 0.98]) {
        for (const fx of [0.6, 0.95]) assertBackgroundAt(image, fx, fy);
      }
      assertBackgroundAt(image, 0.05, 0.02);
      const marker = image.rect(0, 0.88, 0.12, 1);
      const differing = image.countPixels(([r, g, b], x, y) => {
        const want = expectedBackground(image, y);
        return Math.max(Math.abs(r - want[0]), Math.abs(g - want[1]), Math.abs(b - want[2])) > 40;
      }, marker);
      assert.ok(differing >= 20, `only ${differing} non-background pixels in the lower-left corner`);
    }, { timeout: READY_TIMEOUT });
  });

  test('back-to-back readModelSTL are answered in order; slot 0 first repeats the initial slot', async () => {
    const answers = await answersTo([
      `readModelSTL ${tetra} 0 1 1 1 1`,
      `readModelSTL ${tetra} 5 1 0.5 0 1`,
      `readModelSTL ${tetra} 6 0 0.5 1 0.25`,
    ]);
    assert.deepEqual(answers, [reply(5, [1, 0.5, 0, 1]), reply(6, [0, 0.5, 1, 0.25])]);
  });

  test('readModelSTL truncates the slot, rounds colours to six digits, and answers for a missing file', async () => {
    const [a, b] = [nextSlot(), nextSlot()];
    const answers = await answersTo([
      `readModelSTL ${tetra} ${a}.7 0.25 0.1234567 0 0.5`,
      `readModelSTL ${join(dir, 'absent.stl')} ${b} 0 1 1 1`,
    ]);
    assert.deepEqual(answers, [`${a} 0.250000 0.123457 0.000000 0.500000`, reply(b, [0, 1, 1, 1])]);
    assert.equal(view.exitInfo, null);
  });

  test('readModelSTL with the previous slot again does nothing', async () => {
    const [a, b] = [nextSlot(), nextSlot()];
    const answers = await answersTo([
      `readModelSTL ${tetra} ${a} 0 1 0 1`,
      `readModelSTL ${tetra} ${a} 0 1 0 1`,
      `readModelSTL ${tetra} ${b} 1 0 1 1`,
      `readModelSTL ${tetra} ${a} 0 1 0 1`,
    ]);
    assert.deepEqual(answers, [reply(a, [0, 1, 0, 1]), reply(b, [1, 0, 1, 1]), reply(a, [0, 1, 0, 1])]);
  });

  test('readModelSTL rejects slots outside 0..9998 with a diagnostic', async () => {
    for (const bad of ['9999', '-1', '10000']) {
      const stderrMark = view.stderrLines.length;
      await ui.send(`readModelSTL ${tetra} ${bad} 1 0 0 1`);
      await view.waitForStderr(/\S/, { after: stderrMark });
    }
    assert.deepEqual(await answersTo([`readModelSTL ${tetra} 9998 1 0 0 1`]), [reply(9998, [1, 0, 0, 1])]);
  });

  test('a "message" that is not a string is ignored', async () => {
    const answers = await answersTo([
      { args: [42] },
      { args: [{ text: `readModelSTL ${tetra} ${nextSlot()} 1 1 1 1` }] },
      { args: [null] },
      { args: [] },
      { args: [[`readModelSTL ${tetra} ${nextSlot()} 1 1 1 1`]] },
    ]);
    assert.deepEqual(answers, []);
    assert.equal(view.exitInfo, null);
  });

  test('unknown and empty commands do nothing; short ones name the command on stderr', async () => {
    assert.deepEqual(await answersTo(['frobnicate 1 2 3', '', ' ']), []);
    const short = [
      ['readModelSTL', /readModelSTL/],
      ['readModelSTL onlyone', /readModelSTL/],
      [`readModelSTL ${tetra} ${nextSlot()} 1 1 1`, /readModelSTL/],
      ['readStl 1', /readStl/],
      ['changeModel 0 1 0 0', /changeModel/],
    ];
    const stdoutMark = view.stdoutLines.length;
    for (const [command, names] of short) {
      const stderrMark = view.stderrLines.length;
      await ui.send(command);
      await view.waitForStderr(names, { after: stderrMark });
    }
    assert.deepEqual(await answersTo([]), []);
    assert.deepEqual(view.stdoutLines.slice(stdoutMark), []);
  });

  test('changeModel with an index no part has reports the missing actor', async () => {
    for (const index of ['999', '-1']) {
      const stderrMark = view.stderrLines.length;
      await ui.send(`changeModel ${index} 1 0 0 1`);
      await view.waitForStderr(/Failed to retrieve the actor object\./, { after: stderrMark });
    }
    const stderrMark = view.stderrLines.length;
    assert.deepEqual(await answersTo(['changeModel 0 0 0 1 1', 'changeModel 1 0.5 0.5 0.5 0.5']), []);
    assert.deepEqual(view.stderrLines.slice(stderrMark).filter((l) => /Failed to retrieve/.test(l)), []);
  });

  test('readStl 0 does nothing; readStl 1 shows a yellow model and prints "11"', async () => {
    const id = await view.window();
    const stdoutMark = view.stdoutLines.length;
    assert.deepEqual(await answersTo([`readStl 0 ${cube}`]), []);
    const shot = await screenshot(id);
    assert.equal(shot.countPixels(isYellow, shot.rect(0.2, 0.2, 0.8, 0.8)), 0, 'no yellow after readStl 0');
    assert.deepEqual(view.stdoutLines.slice(stdoutMark), []);

    await ui.send(`readStl 1 ${cube}`);
    await view.waitForStdout(/^11$/, { after: stdoutMark });
    await waitForScreenshot(id, (image) => {
      const share = yellowShare(image, image.rect(0.4, 0.4, 0.6, 0.6));
      assert.ok(share > 0.8, `${(share * 100).toFixed(1)}% of the centre is yellow`);
      assertBackgroundAt(image, 0.95, 0.02);
    });
    assert.deepEqual(view.stdoutLines.slice(stdoutMark), ['11']);
  });

  test('SIGINT ends the view with exit code 0', async () => {
    assert.equal(await view.stop('SIGINT'), 0);
  });
});

describe('view: non-ASCII paths, reconnection and SIGTERM', { skip, timeout: SUITE_TIMEOUT }, () => {
  let dir;
  let ui;
  let view;

  before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'orvane-e2e-'));
    ui = await startUiServer();
    view = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { after: 0, timeout: READY_TIMEOUT });
  });
  after(async () => {
    await stopAll();
    if (dir) rmSync(dir, { recursive: true, force: true });
  });

  test('a file under a non-ASCII directory is loaded and shown', async () => {
    // Words are separated by spaces, so a path cannot hold one.
    const folder = join(dir, '模型-ü-é');
    mkdirSync(folder);
    const file = join(folder, 'würfel.stl');
    writeFileSync(file, cubeStl(1));

    const stderrMark = view.stderrLines.length;
    const mark = ui.mark();
    await ui.send(`readModelSTL ${file} 3 0.2 0.4 0.6 1`);
    await ui.waitFor({ event: 'message', text: '3 0.200000 0.400000 0.600000 1.000000' }, { after: mark });

    const stdoutMark = view.stdoutLines.length;
    await ui.send(`readStl 1 ${file}`);
    await view.waitForStdout(/^11$/, { after: stdoutMark });
    await waitForScreenshot(await view.window(), (image) => {
      const share = yellowShare(image, image.rect(0.4, 0.4, 0.6, 0.6));
      assert.ok(share > 0.8, `${(share * 100).toFixed(1)}% of the centre is yellow`);
    }, { timeout: READY_TIMEOUT });
    const complaints = view.stderrLines.slice(stderrMark)
      .filter((l) => /w.{0,4}rfel|stl|no such|not found|cannot open|failed to (open|read)/i.test(l));
    assert.deepEqual(complaints, []);
  });

  test('20 UI-server restarts while commands flow: "ready" after each, one reply per command, none twice', async () => {
    let slot = 2000;
    const textOf = (n) => `${n} 1.000000 1.000000 1.000000 1.000000`;
    const inFlight = [];
    for (let round = 0; round < 20; round++) {
      // Commands sent and answered while connected: exactly one reply each.
      const mark = ui.mark();
      const sent = [];
      for (let k = 0; k < 5; k++) {
        sent.push(++slot);
        await ui.send(`readModelSTL ${join(dir, 'absent.stl')} ${slot} 1 1 1 1`);
      }
      await ui.waitFor({ event: 'message', text: textOf(sent.at(-1)) }, { after: mark });
      for (const n of sent) {
        const replies = ui.events.slice(mark).filter((e) => e.event === 'message' && e.args[0] === textOf(n));
        assert.equal(replies.length, 1, `round ${round}: slot ${n} answered ${replies.length} times`);
      }
      // Commands still being answered while the server goes away.
      for (let k = 0; k < 3; k++) {
        inFlight.push(++slot);
        await ui.send(`readModelSTL ${join(dir, 'absent.stl')} ${slot} 1 1 1 1`);
      }
      const restartMark = ui.mark();
      await ui.restart();
      const ready = await ui.waitFor({ event: 'ready' }, { after: restartMark, timeout: RECONNECT_TIMEOUT });
      assert.deepEqual(ready.args, []);
    }
    // Replies emitted while the server was away arrive after reconnection or
    // are dropped, never twice.
    const mark = ui.mark();
    await ui.send(`readModelSTL ${join(dir, 'absent.stl')} 42 1 1 1 1`);
    await ui.waitFor({ event: 'message', text: textOf(42) }, { after: mark });
    for (const n of inFlight) {
      const replies = ui.events.filter((e) => e.event === 'message' && e.args[0] === textOf(n));
      assert.ok(replies.length <= 1, `slot ${n} answered ${replies.length} times`);
    }
  });

  test('SIGTERM ends the view with exit code 0', async () => {
    assert.equal(await view.stop('SIGTERM'), 0);
  });
});
