// Sound that the browser holds back: Chromium with its autoplay policy on (sound only after a
// user gesture), a show started by a key no user typed. The page says so in one line, sets
// dataset.music to "held", shows "Tap for sound" in sight and uncovered in every frame while held,
// and plays on silently; one tap on it lets the music play; Esc still ends the show.
//
// Nothing is evaluated in the page until that key press: the driver's evaluations count as
// gestures. The page reports through its console instead, from a script added before it loads.
import assert from 'node:assert/strict';
import {mkdtempSync, rmSync} from 'node:fs';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {join, resolve} from 'node:path';
import {after, before, test} from 'node:test';

import {isTimeLine, serveFolders, testArguments, waitFor} from './browser.mjs';

const options = testArguments();
const loadLimitMs = 60000;
const heldLine = 'dadadazo: the browser holds the sound back: tap or press a key for sound';

// Chromium as the tests drive it, with the autoplay policy of a browser on the desktop.
async function chromiumBlockingAutoplay(modules) {
  const puppeteer = createRequire(join(resolve(modules), 'package.json'))('puppeteer-core');
  const profile = mkdtempSync(join(tmpdir(), 'dadadazo-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.DADADAZO_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    protocolTimeout: 600000,
    args: ['--headless', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--no-first-run', '--disable-background-timer-throttling', `--user-data-dir=${profile}`,
      '--autoplay-policy=document-user-activation-required'],
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      rmSync(profile, {recursive: true, force: true});
    },
  };
}

let site;
let browser;

before(async () => {
  if (options.browser !== 'chromium') throw new Error('this test drives Chromium only');
  site = await serveFolders({'/': options.site});
  browser = await chromiumBlockingAutoplay(options.modules);
});

after(async () => {
  if (browser) await browser.close();
  if (site) await site.close();
});

test('held-back sound: one line, "held", frames go on; one tap on the control plays it', async () => {
  const page = await browser.browser.newPage();
  const seen = [];
  page.on('console', (message) => seen.push(message.text()));
  const errors = [];
  page.on('pageerror', (error) => errors.push(String(error)));
  // The menu's last line starts the show with a key no user typed; the page's lines and the
  // music's state come back as console messages.
  await page.evaluateOnNewDocument(() => {
    document.addEventListener('dadadazo:line', (event) => {
      console.log(`line ${event.detail}`);
      if (event.detail === '8 480x320(windowed)') {
        setTimeout(() => document.body.dispatchEvent(
          new KeyboardEvent('keydown', {key: '8', bubbles: true})));
      }
    });
    new MutationObserver(() => console.log(`music ${document.body.dataset.music}`))
      .observe(document, {attributes: true, subtree: true, attributeFilter: ['data-music']});
    (function watchControl() {
      const control = document.getElementById('sound');
      if (control && document.body.dataset.music === 'held') {
        const box = control.getBoundingClientRect();
        const top = document.elementFromPoint(box.x + box.width / 2, box.y + box.height / 2);
        console.log(top === control && box.top >= 0 && box.left >= 0 && box.bottom <= innerHeight &&
          box.right <= innerWidth ? 'control seen' : `control unseen ${JSON.stringify(box)}`);
      }
      requestAnimationFrame(watchControl);
    })();
  });
  const frames = () => seen.filter((text) => text.startsWith('line ') && isTimeLine(text.slice(5)));
  try {
    await page.goto(`${site.url}index.html`);
    await waitFor(() => seen.includes('music held'), loadLimitMs,
      async () => `not held: ${JSON.stringify(seen.slice(-20))}`);
    const framesWhenHeld = frames().length;
    await waitFor(() => frames().length > framesWhenHeld + 10, loadLimitMs,
      async () => 'the show stopped while its sound was held');
    const said = seen.filter((text) => text.startsWith('line dadadazo:'));
    assert.deepEqual(said, [`line ${heldLine}`]);
    assert.ok(!seen.includes('music playing'), 'the music played without a gesture');

    await waitFor(() => seen.filter((text) => text === 'control seen').length >= 10, loadLimitMs,
      async () => `the control was checked in too few frames: ${JSON.stringify(seen.slice(-5))}`);
    assert.deepEqual(seen.filter((text) => text.startsWith('control unseen')).slice(0, 3), []);
    await page.click('#sound');
    await waitFor(() => seen.includes('music playing'), loadLimitMs,
      async () => `not playing after a tap: ${JSON.stringify(seen.slice(-5))}`);
    assert.equal(await page.evaluate(() => document.getElementById('sound').hidden), true);
    await page.keyboard.press('Escape');
    await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), loadLimitMs,
      async () => 'Esc did not end the show');
    assert.deepEqual(await page.evaluate(() => [document.body.dataset.exitStatus,
      document.body.dataset.music]), ['0', 'stopped']);
    assert.deepEqual(errors, []);
  } finally {
    await page.close();
  }
});
