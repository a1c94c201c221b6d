// The UI server's page in a real browser (Debian's chromium through npm
// puppeteer-core, headless) against the real UI server and the real view:
//   xvfb-run -a -s "-screen 0 1280x1024x24" node --test tests/e2e/browser-console.test.mjs
// Skipped only outside CI when chromium is missing, or when the view cannot run
// here (see the harness), unless ORVANE_E2E_REQUIRED is set.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';
import { repoRoot, startUiServer, startView, stopAll, viewBinary, viewSkipReason } from './harness.mjs';

const execFileAsync = promisify(execFile);
const require = createRequire(join(repoRoot, 'tools/ui-server/package.json'));

const CHROMIUM = process.env.ORVANE_CHROMIUM || '/usr/bin/chromium';
const CUBE = join(repoRoot, 'tests/data/cube.stl');
const LINKRODS = '/usr/share/opencascade/data/step/linkrods.step';
// Software rendering under Xvfb on a small shared machine: generous waits.
const TIMEOUT = 60000;

function skipReason() {
  if (!existsSync(CHROMIUM) && !process.env.CI) {
    return `no browser at ${CHROMIUM} (install Debian's chromium, or set ORVANE_CHROMIUM)`;
  }
  return viewSkipReason();
}
const skip = skipReason();
if (skip) process.stderr.write(`browser-console: skipping: ${skip}\n`);

describe('orvane --commands', { skip }, () => {
  test('prints every row of the command table with its usage and description, without a window', async () => {
    const env = { ...process.env };
    delete env.DISPLAY;
    const { stdout } = await execFileAsync(viewBinary(), ['--commands'], { env, timeout: TIMEOUT });
    const rows = JSON.parse(stdout);
    assert.ok(rows.length >= 50, `only ${rows.length} rows`);
    const keys = new Set();
    for (const row of rows) {
      const label = JSON.stringify(row);
      assert.deepEqual(Object.keys(row), ['word', 'selector', 'arguments', 'usage', 'description'], label);
      const key = `${row.word} ${row.selector}`;
      assert.ok(!keys.has(key), `${key} listed twice`);
      keys.add(key);
      assert.ok(row.arguments.every((kind) => ['text', 'int', 'real'].includes(kind)), label);
      // The usage is the command line itself: the word, the selector, one name per argument word.
      const words = row.usage.split(' ');
      assert.deepEqual(words.slice(0, row.selector === '' ? 1 : 2), row.selector === '' ? [row.word] : [row.word, row.selector], label);
      assert.equal(words.length, 1 + (row.selector === '' ? 0 : 1) + row.arguments.length, `usage names: ${label}`);
      assert.ok(words.every((w) => w !== ''), label);
      assert.match(row.description, /^\S.*\S$/, label);
      assert.doesNotMatch(row.description, /\n/, label);
    }
    for (const key of ['readStl 1', 'openSTLFile ', 'screenshot ', 'Opacity 0', 'sphere 2', 'roratePosition ']) {
      assert.ok(keys.has(key), `${key} missing`);
    }
    const openStl = rows.find((r) => r.word === 'openSTLFile');
    assert.equal(openStl.usage, 'openSTLFile DATA_ROOT STEP_FILE');
    assert.deepEqual(openStl.arguments, ['text', 'text']);
  });
});

describe('the browser console', { skip, timeout: 240000 }, () => {
  let ui;
  let view;
  let browser;
  let page;
  let scratch;

  before(async () => {
    scratch = mkdtempSync(join(tmpdir(), 'orvane-console-'));
    ui = await startUiServer();
    view = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { timeout: TIMEOUT, polling: 100 });
    const puppeteer = require('puppeteer-core');
    browser = await puppeteer.launch({
      protocolTimeout: TIMEOUT,
      executablePath: CHROMIUM,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', `--user-data-dir=${join(scratch, 'browser')}`],
    });
    page = await openPage();
  });

  after(async () => {
    await browser?.close();
    await stopAll();
    if (scratch) rmSync(scratch, { recursive: true, force: true });
  });

  async function openPage() {
    const opened = await browser.newPage();
    await opened.setViewport({ width: 1400, height: 800 });
    await opened.goto(ui.pageUrl, { waitUntil: 'load' });
    await opened.waitForFunction(() => /^\d+ commands$/.test(document.getElementById('reference-count').textContent),
      { timeout: TIMEOUT, polling: 100 });
    return opened;
  }

  const logText = (p) => p.$eval('#log', (log) => log.textContent);
  const waitForLog = (p, text) => p.waitForFunction((t) => document.getElementById('log').textContent.includes(t),
    { timeout: TIMEOUT, polling: 100 }, text);
  const waitForBadge = (p, text) => p.waitForFunction((t) => document.getElementById('indicator').textContent === t,
    { timeout: TIMEOUT, polling: 100 }, text);

  async function typeCommand(text) {
    await page.click('#command', { clickCount: 3 });
    await page.keyboard.press('Backspace');
    await page.type('#command', text);
    await page.keyboard.press('Enter');
  }

  // Once a picture newer than `previousUrl` has loaded: its size and the
  // colours of a GRID x GRID sample of its pixels (row by row, top first).
  const GRID = 64;
  async function pictureAfter(previousUrl) {
    await page.waitForFunction((prev) => {
      const img = document.getElementById('view-picture');
      return img.getAttribute('src') && img.getAttribute('src') !== prev && img.complete && img.naturalWidth > 0;
    }, { timeout: TIMEOUT, polling: 100 }, previousUrl);
    return page.$eval('#view-picture', (img, grid) => {
      const canvas = document.createElement('canvas');
      canvas.width = img.naturalWidth;
      canvas.height = img.naturalHeight;
      const context = canvas.getContext('2d');
      context.drawImage(img, 0, 0);
      const { data } = context.getImageData(0, 0, canvas.width, canvas.height);
      const samples = [];
      for (let gy = 0; gy < grid; gy++) {
        for (let gx = 0; gx < grid; gx++) {
          const x = Math.floor(((gx + 0.5) * canvas.width) / grid);
          const y = Math.floor(((gy + 0.5) * canvas.height) / grid);
          samples.push([...data.slice((y * canvas.width + x) * 4, (y * canvas.width + x) * 4 + 3)]);
        }
      }
      return { url: img.getAttribute('src'), width: canvas.width, height: canvas.height, samples };
    }, GRID);
  }

  const sample = (shot, gx, gy) => shot.samples[gy * GRID + gx];
  const centreOf = (shot) => sample(shot, GRID / 2, GRID / 2);

  test('one session: picture, commands and replies, history, reference, completion, progress, reconnection', async () => {
    await waitForBadge(page, '1 view connected');

    // The first picture: the empty view, the gradient from dark blue at the top to light grey at the bottom.
    const before = await pictureAfter(null);
    const geometry = await view.geometry();
    assert.deepEqual([before.width, before.height], [geometry.width, geometry.height], 'the picture has the window size');
    const top = sample(before, GRID - 1, 0);
    const bottom = sample(before, GRID - 1, GRID - 1);
    assert.ok(top[2] > top[0] + 30 && top[0] < 90, `top ${top}`);
    assert.ok(bottom[0] > 140 && bottom[2] > 160, `bottom ${bottom}`);

    // A typed command shows in the log and the picture follows it: the yellow cube appears.
    await typeCommand(`readStl 1 ${CUBE}`);
    await waitForLog(page, `> readStl 1 ${CUBE}`);
    const afterCube = await pictureAfter(before.url);
    const changed = before.samples.filter((rgb, i) => rgb.some((v, c) => Math.abs(v - afterCube.samples[i][c]) > 40));
    assert.ok(changed.length > (GRID * GRID) / 20, `only ${changed.length} of ${GRID * GRID} samples changed`);
    const centre = centreOf(afterCube);
    assert.ok(centre[0] > 120 && centre[1] > 120 && centre[2] < 60, `centre ${centre} is not the yellow cube`);

    // A reply of the view reaches the log.
    await typeCommand(`readModelSTL ${CUBE} 5 0 0 1 1`);
    await waitForLog(page, '< message 5 0.000000 0.000000 1.000000 1.000000');

    // Up and Down walk the history; below its end the draft comes back.
    await page.type('#command', 'draft');
    const inputValue = () => page.$eval('#command', (i) => i.value);
    const walked = [];
    for (const key of ['ArrowUp', 'ArrowUp', 'ArrowUp', 'ArrowDown', 'ArrowDown', 'ArrowDown']) {
      await page.keyboard.press(key);
      walked.push(await inputValue());
    }
    assert.deepEqual(walked, [`readModelSTL ${CUBE} 5 0 0 1 1`, `readStl 1 ${CUBE}`, `readStl 1 ${CUBE}`,
      `readModelSTL ${CUBE} 5 0 0 1 1`, 'draft', 'draft']);

    // The reference search finds openSTLFile with its usage and description; a click takes the usage.
    await page.type('#reference-search', 'step');
    const found = await page.$$eval('#reference-list li', (items) => items.map((li) => li.textContent));
    assert.ok(found.some((t) => t.startsWith('openSTLFile DATA_ROOT STEP_FILE') && /STEP model/.test(t)), found.join('\n'));
    assert.ok(found.every((t) => /step/i.test(t)), found.join('\n'));
    assert.match(await page.$eval('#reference-count', (c) => c.textContent), /^\d+ of \d+ commands$/);
    await page.$$eval('#reference-list li', (items) => items.find((li) => li.textContent.startsWith('openSTLFile ')).click());
    assert.deepEqual(await page.$eval('#command', (i) => [i.value, i.value.slice(i.selectionStart, i.selectionEnd)]),
      ['openSTLFile DATA_ROOT STEP_FILE', 'DATA_ROOT']);

    // Completion of the command word: "openS" offers openSTLFile among the
    // words that begin so; once the choice is single, Tab takes it.
    await page.click('#command', { clickCount: 3 });
    await page.keyboard.press('Backspace');
    await page.type('#command', 'openS');
    const offered = await page.$$eval('#completions li', (items) => items.map((li) => li.dataset.word));
    assert.ok(offered.includes('openSTLFile'), offered.join(' '));
    assert.ok(offered.every((word) => word.startsWith('openS')), offered.join(' '));
    await page.type('#command', 'T');
    assert.deepEqual(await page.$$eval('#completions li', (items) => items.map((li) => li.dataset.word)),
      ['openSTLFile']);
    await page.keyboard.press('Tab');
    assert.equal(await inputValue(), 'openSTLFile ');
    assert.equal(await page.$eval('#completions', (c) => c.hidden), true);

    // A STEP import moves the progress bar and ends it at 100 %.
    const root = join(scratch, 'root');
    await execFileAsync(join(repoRoot, 'tools/prepare-data-root.sh'), [root], { timeout: TIMEOUT });
    await page.evaluate(() => {
      window.progressSeen = [];
      const bar = document.getElementById('progress-bar');
      new MutationObserver(() => window.progressSeen.push(bar.value)).observe(bar, { attributes: true });
    });
    await page.type('#command', `${root} ${LINKRODS}`);
    await page.keyboard.press('Enter');
    await waitForLog(page, '< message step_file_loaded_flag');
    const seen = await page.evaluate(() => window.progressSeen);
    assert.equal(seen.at(-1), 100, `progress seen: ${seen}`);
    assert.ok(seen.some((v) => v > 0 && v < 100), `no value between 0 and 100 in ${seen}`);
    assert.ok(new Set(seen).size >= 3, `progress seen: ${seen}`);

    // A second page sees the same replies; both follow the view leaving and coming back.
    const second = await openPage();
    await waitForBadge(second, '1 view connected');
    await view.stop();
    await waitForBadge(page, '0 views connected');
    await waitForBadge(second, '0 views connected');
    await waitForLog(page, 'the view disconnected');
    const mark = ui.mark();
    const lastPicture = await page.$eval('#view-picture', (img) => img.getAttribute('src'));
    view = await startView({ url: ui.url });
    await ui.waitFor({ event: 'ready' }, { after: mark, timeout: TIMEOUT });
    await waitForBadge(page, '1 view connected');
    await waitForBadge(second, '1 view connected');
    await page.bringToFront();
    await typeCommand(`readModelSTL ${CUBE} 7 1 0 0 1`);
    await waitForLog(page, '< message 7 1.000000 0.000000 0.000000 1.000000');
    await waitForLog(second, '< message 7 1.000000 0.000000 0.000000 1.000000');
    assert.match(await logText(second), new RegExp(`> readModelSTL ${CUBE.replace(/[.]/g, '\\.')} 7 1 0 0 1`));
    // The new view is pictured too: the red part on the gradient, once the camera is reset.
    await typeCommand('reset');
    let shot = { url: lastPicture };
    const isRed = ([r, g, b]) => r > 120 && g < 60 && b < 60;
    const deadline = Date.now() + TIMEOUT;
    do {
      shot = await pictureAfter(shot.url);
    } while (!isRed(centreOf(shot)) && Date.now() < deadline);
    assert.ok(isRed(centreOf(shot)), `centre ${centreOf(shot)} is not the red part`);
  });
});
