// Sound that the browser holds back: Firefox blocking audible autoplay (Web Audio included), a
// show started by a key no user typed. The page says so in one line and plays on silently; the
// next real key press lets the music play; Esc still ends the show.
import assert from 'node:assert/strict';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import {tmpdir} from 'node:os';
import {join, resolve} from 'node:path';
import {after, before, test} from 'node:test';

import {isTimeLine, openWatched, seenLines, serveFolders, testArguments, waitFor} from './browser.mjs';

const options = testArguments();
const loadLimitMs = 60000;
const heldLine = 'dadadazo: the browser holds the sound back: tap or press a key for sound';

// Firefox as the tests drive it, but with its autoplay policy on: no sound without a gesture.
// A machine without a sound card gives Firefox no device, and its Web Audio never runs: it
// plays to ALSA's null device instead (a home folder of its own whose .asoundrc names it), at
// the page's own 44.1 kHz: Firefox's ALSA output here runs a context only at the device's rate.
async function firefoxBlockingAutoplay(modules) {
  if (!process.env.DISPLAY) throw new Error('Firefox needs an X server: DISPLAY is not set');
  const puppeteer = createRequire(join(resolve(modules), 'package.json'))('puppeteer-core');
  const home = mkdtempSync(join(tmpdir(), 'dadadazo-firefox-home-'));
  writeFileSync(join(home, '.asoundrc'),
    'pcm.!default { type plug slave { pcm "null" rate 44100 } }\n');
  const browser = await puppeteer.launch({
    browser: 'firefox',
    executablePath: process.env.DADADAZO_FIREFOX || '/usr/bin/firefox-esr',
    headless: false,
    protocolTimeout: 600000,
    defaultViewport: {width: 1400, height: 1000},
    env: {...process.env, HOME: home},
    extraPrefsFirefox: {
      'media.autoplay.default': 1,
      'media.autoplay.block-webaudio': true,
      // Only a gesture now counts, not one the driver's navigation left on the page.
      'media.autoplay.blocking_policy': 1,
      'media.cubeb.backend': 'alsa',
      'webgl.force-enabled': true,
      'browser.shell.checkDefaultBrowser': false,
      'app.update.enabled': false,
    },
  });
  return {
    browser,
    close: async () => {
      await browser.close();
      rmSync(home, {recursive: true, force: true});
    },
  };
}

let site;
let browser;

before(async () => {
  if (options.browser !== 'firefox') throw new Error('this test runs in Firefox only');
  site = await serveFolders({'/': options.site});
  browser = await firefoxBlockingAutoplay(options.modules);
});

after(async () => {
  if (browser) await browser.close();
  if (site) await site.close();
});

const music = (page) => page.evaluate(() => document.body.dataset.music);

test('held-back sound: one line, "held", silent frames; a real key press plays it', async () => {
  const {page, errors} = await openWatched(browser.browser, `${site.url}index.html`);
  try {
    await waitFor(async () => (await seenLines(page)).length >= 10, loadLimitMs,
      async () => 'no menu');
    // A key no user typed: no gesture lets the sound start.
    await page.evaluate(() => document.body.dispatchEvent(
      new KeyboardEvent('keydown', {key: '8', bubbles: true})));
    await waitFor(async () => (await music(page)) === 'held', loadLimitMs,
      async () => `music ${await music(page)}: ${JSON.stringify(await seenLines(page))}`);
    const frames = async () => (await seenLines(page)).filter(([, t]) => isTimeLine(t)).length;
    const before = await frames();
    await waitFor(async () => (await frames()) > before + 10, loadLimitMs,
      async () => 'the show stopped while its sound was held');
    const said = (await seenLines(page)).filter(([, t]) => t.startsWith('dadadazo:'));
    assert.deepEqual(said.map(([, t]) => t), [heldLine]);
    assert.equal(await music(page), 'held');

    await page.keyboard.press('x');
    await waitFor(async () => (await music(page)) === 'playing', loadLimitMs,
      async () => `music ${await music(page)} after a key press`);

    await page.keyboard.press('Escape');
    await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), loadLimitMs,
      async () => 'Esc did not end the show');
    assert.equal(await page.evaluate(() => document.body.dataset.exitStatus), '0');
    assert.equal(await music(page), 'stopped');
    assert.deepEqual(errors, []);
  } finally {
    await page.close();
  }
});
