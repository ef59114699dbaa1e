// The page as a user meets it, in the browser named by --browser: the menu in the console panel,
// the first key (or tap) choosing the mode, the canvas as the window, fitted to smaller pages,
// the time lines, the ways the show ends, the light music's seamless loop, and a show without
// its music.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';

import {
  canvasSummary, isTimeLine, launchBrowser, openWatched, seenLines, serveFolders, sleep,
  testArguments, waitFor,
} from './browser.mjs';

const options = testArguments();

const menuLines = [
  'Paljonkos pannaan?: ',
  '1 1920x1080 (Full Screen)',
  '2 1280x720(Full Screen)',
  '3 800x600(Full Screen)',
  '4 480x320(Full Screen)',
  '',
  '5 1920x1080(windowed)',
  '6 1280x720(windowed)',
  '7 800x600(windowed)',
  '8 480x320(windowed)',
];

// Loading the page and its program: generous, only a page that never shows the menu trips it.
const loadLimitMs = 60000;

let site;
let siteWithoutMusic;
let siteWithoutMp3;
let browser;

before(async () => {
  site = await serveFolders({'/': options.site});
  siteWithoutMusic = await serveFolders({'/': options.site},
    ['/tarmelipolkka.mp3', '/tarmelipolkka.wav']);
  siteWithoutMp3 = await serveFolders({'/': options.site}, ['/tarmelipolkka.mp3']);
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  if (site) await site.close();
  if (siteWithoutMusic) await siteWithoutMusic.close();
  if (siteWithoutMp3) await siteWithoutMp3.close();
});

function describeLines(lines) {
  const texts = lines.map(([, text]) => text);
  return `${texts.length} lines, the last: ${JSON.stringify(texts.slice(-12))}`;
}

// A fresh tab at the menu; `prepare(page)` runs before the page loads.
async function openMenu(server, prepare = null) {
  const watched = await openWatched(browser.browser, `${server.url}index.html`, {prepare});
  await waitFor(async () => (await seenLines(watched.page)).length >= menuLines.length,
    loadLimitMs, async () => `no menu: ${describeLines(await seenLines(watched.page))}`);
  return watched;
}

function timeLinesOf(lines) {
  return lines.filter(([, text]) => isTimeLine(text));
}

// How long the page has taken for one frame at most so far (ms between time lines).
function longestFrameMs(lines) {
  const times = timeLinesOf(lines).map(([ms]) => ms);
  let longest = 0;
  for (let i = 1; i < times.length; i++) longest = Math.max(longest, times[i] - times[i - 1]);
  return longest;
}

// Waits for `count` time lines after the window opened. The first frames include compiling the
// renderer's shaders, so the bound is the page's own load time many times over.
async function waitForTimeLines(page, count) {
  return waitFor(async () => {
    const lines = await seenLines(page);
    return timeLinesOf(lines).length >= count ? lines : null;
  }, loadLimitMs, async () => `fewer than ${count} time lines: ${describeLines(await seenLines(page))}`);
}

// Waits for the exit status, allowing many of the show's own slowest frames.
async function waitForExit(page) {
  const frameMs = longestFrameMs(await seenLines(page));
  const limitMs = 5000 + 50 * frameMs;
  await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), limitMs,
    async () => `no exit status (slowest frame so far ${frameMs.toFixed(0)} ms): ` +
      describeLines(await seenLines(page)));
  return page.evaluate(() => document.body.dataset.exitStatus);
}

// After the show: the status line comes last, and the canvas no longer changes.
async function assertShowOver(watched, status) {
  const {page} = watched;
  const lines = await seenLines(page);
  assert.equal(lines.at(-1)[1], `exit status ${status}`, describeLines(lines));
  const before = await canvasSummary(page);
  await sleep(Math.max(300, 5 * longestFrameMs(lines)));
  const later = await canvasSummary(page);
  assert.equal(later.sum, before.sum, 'the canvas changed after the show ended');
  assert.equal((await seenLines(page)).length, lines.length, 'lines were printed after the end');
  assert.deepEqual(watched.errors, []);
}

test('the menu, mode 8 in the page, time lines, a bounded console, Esc', async () => {
  const watched = await openMenu(site);
  const {page} = watched;
  try {
    const menu = (await seenLines(page)).map(([, text]) => text);
    assert.deepEqual(menu, menuLines);
    await waitFor(() => page.$eval('#console', (panel) => panel.textContent),
      loadLimitMs, async () => 'the console panel stays empty');
    assert.equal(await page.$eval('#console', (panel) => panel.textContent),
      menuLines.join('\n'));
    assert.equal(await page.$eval('#window', (frame) => frame.hidden), true,
      'the window shows before a mode is chosen');
    assert.equal(await page.$eval('#hint', (hint) => hint.hidden), false);

    await page.keyboard.press('8');
    let lines = await waitForTimeLines(page, 3);
    const times = timeLinesOf(lines).map(([, text]) => text);
    assert.equal(times[0], '0.000000.');
    assert.deepEqual(lines.slice(0, menuLines.length).map(([, text]) => text), menuLines);
    assert.equal(lines[menuLines.length][1], '0.000000.', 'the first line after the menu');

    const screen = await canvasSummary(page);
    assert.deepEqual([screen.width, screen.height], [480, 320]);
    assert.equal(await page.$eval('#window', (frame) => frame.hidden), false);
    assert.equal(await page.$eval('#hint', (hint) => hint.hidden), true);
    assert.equal(await page.$eval('#titlebar', (bar) => bar.hidden), false);
    assert.equal(await page.$eval('#titlebar span', (title) => title.textContent), 'Dadadazo');

    // The wave field's 10,000 points (drawn for the first seven seconds).
    await waitForTimeLines(page, 10);
    const lit = (await canvasSummary(page)).lit;
    const clock = timeLinesOf(await seenLines(page)).at(-1)[1];
    assert.ok(lit > 1000, `${lit} pixels lit at ${clock}`);

    // More lines than the panel keeps: it holds the latest few hundred.
    lines = await waitForTimeLines(page, 450);
    const clocks = timeLinesOf(lines).map(([, text]) => Number.parseFloat(text));
    for (let i = 1; i < clocks.length; i++) {
      assert.ok(clocks[i] >= clocks[i - 1], `the clock ran backwards: ${clocks[i - 1]}, ${clocks[i]}`);
    }
    const panel = await page.$eval('#console', (element) => element.textContent.split('\n'));
    assert.ok(panel.length <= 400 && panel.length >= 200, `the panel keeps ${panel.length} lines`);
    assert.equal(lines.filter(([, text]) => text.startsWith('dadadazo:')).length, 0,
      describeLines(lines));
    await waitFor(() => page.evaluate(() => document.body.dataset.music), loadLimitMs,
      async () => 'the music neither plays nor says why');
    assert.equal(await page.evaluate(() => document.body.dataset.music), 'playing');
    assert.equal(await page.evaluate(() => document.body.dataset.musicFile), 'tarmelipolkka.mp3');

    await page.keyboard.press('Escape');
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
    assert.equal(await page.evaluate(() => document.body.dataset.music), 'stopped');
  } finally {
    await page.close();
  }
});

test('a key typed before the program has loaded is the one the menu reads', async () => {
  // The program's WebAssembly is held back until the key has been typed.
  let releaseProgram;
  const keyTyped = new Promise((typed) => {
    releaseProgram = typed;
  });
  const watched = await openWatched(browser.browser, `${site.url}index.html`, {
    waitUntil: 'domcontentloaded',
    prepare: async (page) => {
      await page.setRequestInterception(true);
      page.on('request', (request) => {
        if (request.url().endsWith('/dadadazo.wasm')) {
          keyTyped.then(() => request.continue());
        } else {
          request.continue();
        }
      });
    },
  });
  const {page} = watched;
  try {
    await page.keyboard.press('6');
    assert.deepEqual(await seenLines(page), [], 'the program ran before its code arrived');
    releaseProgram();
    const lines = await waitForTimeLines(page, 3);
    assert.deepEqual(lines.slice(0, menuLines.length + 1).map(([, text]) => text),
      [...menuLines, '0.000000.']);
    const screen = await canvasSummary(page);
    assert.deepEqual([screen.width, screen.height], [1280, 720]);
    await page.keyboard.press('Escape');
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
  } finally {
    await page.close();
  }
});

test('the close button ends a windowed show like Esc', async () => {
  const watched = await openMenu(site);
  const {page} = watched;
  try {
    await page.keyboard.press('7');
    await waitForTimeLines(page, 5);
    const screen = await canvasSummary(page);
    assert.deepEqual([screen.width, screen.height], [800, 600]);
    // Keys other than Esc change nothing.
    await page.keyboard.press('x');
    await page.keyboard.press('Enter');
    await waitForTimeLines(page, 10);
    assert.equal(await page.evaluate(() => document.body.dataset.exitStatus), undefined);

    await page.click('#close');
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
  } finally {
    await page.close();
  }
});

test('Enter alone gives the 1920 x 1080 windowed fallback', async () => {
  const watched = await openMenu(site);
  const {page} = watched;
  try {
    await page.keyboard.press('Enter');
    await waitForTimeLines(page, 3);
    const screen = await canvasSummary(page);
    assert.deepEqual([screen.width, screen.height], [1920, 1080]);
    assert.equal(await page.$eval('#titlebar', (bar) => bar.hidden), false);
    assert.equal(await page.evaluate(() => document.fullscreenElement), null);
    await page.keyboard.press('Escape');
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
  } finally {
    await page.close();
  }
});

test('a full-screen mode shows the canvas alone; leaving full screen ends the show', async (t) => {
  const watched = await openMenu(site);
  const {page} = watched;
  try {
    await page.keyboard.press('4');
    await waitForTimeLines(page, 5);
    const state = await page.evaluate(() => ({
      element: document.fullscreenElement && document.fullscreenElement.id,
      cursor: getComputedStyle(document.getElementById('screen')).cursor,
      titleBarHidden: document.getElementById('titlebar').hidden,
      held: document.pointerLockElement && document.pointerLockElement.id,
    }));
    // A headless browser has no pointer to hold.
    if (state.held === null && browser.name === 'chromium') {
      t.diagnostic('headless Chromium holds no pointer: pointer lock is not checked');
    } else {
      assert.equal(state.held, 'screen', 'the pointer is not held');
    }
    delete state.held;
    assert.deepEqual(state, {element: 'screen', cursor: 'none', titleBarHidden: true});
    const screen = await canvasSummary(page);
    assert.deepEqual([screen.width, screen.height], [480, 320]);

    await page.evaluate(() => document.exitFullscreen());
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
  } finally {
    await page.close();
  }
});

test('without its music the show says why in one line and plays on', async () => {
  const watched = await openMenu(siteWithoutMusic);
  const {page} = watched;
  try {
    await page.keyboard.press('8');
    const limitMs = loadLimitMs;
    const lines = await waitFor(async () => {
      const seen = await seenLines(page);
      const said = seen.findIndex(([, text]) => text.startsWith('dadadazo:'));
      return said >= 0 && timeLinesOf(seen.slice(said)).length >= 20 ? seen : null;
    }, limitMs, async () => describeLines(await seenLines(page)));
    const said = lines.filter(([, text]) => text.startsWith('dadadazo:')).map(([, text]) => text);
    assert.deepEqual(said, ['dadadazo: playing without sound: tarmelipolkka.mp3: HTTP 404 ' +
      'Not Found; tarmelipolkka.wav: HTTP 404 Not Found']);
    assert.ok((await canvasSummary(page)).lit > 0, 'nothing drawn');
    assert.equal(await page.evaluate(() => document.body.dataset.music), 'silent');

    await page.keyboard.press('Escape');
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
  } finally {
    await page.close();
  }
});

test('a show whose canvas loses its WebGL context says so and ends with status 1', async () => {
  const watched = await openMenu(site);
  const {page} = watched;
  try {
    await page.keyboard.press('8');
    await waitForTimeLines(page, 5);
    await page.evaluate(() => {
      document.getElementById('screen').getContext('webgl2')
        .getExtension('WEBGL_lose_context').loseContext();
    });
    assert.equal(await waitForExit(page), '1');
    const said = (await seenLines(page)).filter(([, text]) => text.startsWith('dadadazo:'));
    assert.deepEqual(said.map(([, text]) => text),
      ["dadadazo: the browser took the canvas's WebGL context away; the show cannot go on"]);
    assert.equal((await seenLines(page)).at(-1)[1], 'exit status 1');
    assert.deepEqual(watched.errors, []);
  } finally {
    await page.close();
  }
});

test('a still with a malformed address says how to ask for one', async () => {
  for (const query of ['mode=9&at=5000', 'mode=8&at=-5', 'mode=8', 'at=100&mode=8x']) {
    const watched = await openWatched(browser.browser, `${site.url}index.html?${query}`);
    try {
      await waitFor(() => watched.page.evaluate(() => document.body.dataset.exitStatus),
        loadLimitMs, async () => `${query}: ${describeLines(await seenLines(watched.page))}`);
      const lines = (await seenLines(watched.page)).map(([, text]) => text);
      assert.deepEqual(lines, [
        'dadadazo: a still takes ?mode=DIGIT (1 to 8)&at=MILLISECONDS (a whole number)',
      ], query);
      assert.equal(await watched.page.evaluate(() => document.body.dataset.exitStatus), '2');
      assert.equal(await watched.page.$eval('#window', (frame) => frame.hidden), true, query);
    } finally {
      await watched.page.close();
    }
  }
});

test('a browser without WebGL says why and ends with status 1, for a show and for a still',
  async () => {
    const withoutWebGl = await launchBrowser(options.modules,
      {name: options.browser, withoutWebGl: true});
    try {
      const reason = 'dadadazo: cannot open a window: ' +
        'this browser gives the canvas no WebGL 2 context';
      const show = await openWatched(withoutWebGl.browser, `${site.url}index.html`);
      await waitFor(async () => (await seenLines(show.page)).length >= menuLines.length,
        loadLimitMs, async () => `no menu: ${describeLines(await seenLines(show.page))}`);
      await show.page.keyboard.press('8');
      await waitFor(() => show.page.evaluate(() => document.body.dataset.exitStatus),
        loadLimitMs, async () => describeLines(await seenLines(show.page)));
      assert.deepEqual((await seenLines(show.page)).slice(menuLines.length).map(([, t]) => t),
        [reason, 'exit status 1']);
      assert.deepEqual(show.errors, []);

      const still = await openWatched(withoutWebGl.browser, `${site.url}index.html?mode=8&at=0`);
      await waitFor(() => still.page.evaluate(() => document.body.dataset.exitStatus),
        loadLimitMs, async () => describeLines(await seenLines(still.page)));
      assert.deepEqual((await seenLines(still.page)).map(([, t]) => t),
        [reason, 'exit status 1']);
      assert.equal(await still.page.evaluate(() => document.body.dataset.frameReady), undefined);
    } finally {
      await withoutWebGl.close();
    }
  });

// The whole window in sight, no wider than the page, the mode's picture scaled down with its
// aspect kept, and the drawing buffer still the mode's size.
async function assertFitted(page, [width, height]) {
  const seen = await page.evaluate(() => {
    const box = (id) => document.getElementById(id).getBoundingClientRect().toJSON();
    const root = document.documentElement;
    return {window: box('window'), close: box('close'), screen: box('screen'),
      width: root.clientWidth, height: root.clientHeight, scrollWidth: root.scrollWidth};
  });
  const where = JSON.stringify(seen);
  assert.ok(seen.window.left >= 0 && seen.window.top >= 0 && seen.scrollWidth <= seen.width &&
    seen.window.right <= seen.width && seen.window.bottom <= seen.height, where);
  assert.ok(seen.close.width > 0 && seen.close.bottom <= seen.height, where);
  assert.ok(seen.screen.width < width, `not scaled down: ${where}`);
  assert.ok(Math.abs(seen.screen.width / seen.screen.height - width / height) < 0.01, where);
  const drawn = await canvasSummary(page);
  assert.deepEqual([drawn.width, drawn.height], [width, height]);
}

// The menu's entries are drawn in the browser frame after its lines are printed.
function waitForEntries(page) {
  return waitFor(() => page.$$eval('.entry', (entries) => entries.length === 8), loadLimitMs,
    async () => 'the menu has no entries to choose');
}

async function centreOf(page, selector) {
  const box = await page.$eval(selector, (element) => element.getBoundingClientRect().toJSON());
  return [box.x + box.width / 2, box.y + box.height / 2];
}

test('on a phone, a tapped entry chooses once, the window fits, the close button ends it',
  async () => {
    const watched = await openMenu(site, (page) =>
      page.setViewport({width: 390, height: 844, hasTouch: true, isMobile: true}));
    const {page} = watched;
    try {
      await waitForEntries(page);
      const panel = await page.$eval('#console', (element) => [element.textContent,
        [...element.querySelectorAll('.entry')].map((entry) => entry.textContent),
        element.querySelector('.entry[data-key="5"]').getAttribute('aria-label')]);
      assert.deepEqual(panel, [menuLines.join('\n'),
        menuLines.filter((line) => /^[1-8] /.test(line)), 'Mode 5: 1920 by 1080, windowed']);
      // The heading's line, the empty line and the panel's corner, tapped at the right, away
      // from the entries (a browser may move a tap to a button next to it): nothing.
      const [panelBox, first, fourth, fifth] = await Promise.all(['#console', '.entry',
        '.entry[data-key="4"]', '.entry[data-key="5"]'].map((selector) =>
        page.$eval(selector, (element) => element.getBoundingClientRect().toJSON())));
      const x = panelBox.right - 30;
      for (const [tapX, tapY] of [[x, first.top - 6], [x, (fourth.bottom + fifth.top) / 2],
        [panelBox.right - 5, panelBox.bottom - 5]]) {
        await page.touchscreen.tap(tapX, tapY);
      }
      await sleep(300);
      assert.equal((await seenLines(page)).length, menuLines.length, 'a tap off the entries chose');

      await page.touchscreen.tap(...await centreOf(page, '#console .entry[data-key="5"]'));
      await waitForTimeLines(page, 5);
      assert.equal(await page.$$eval('.entry', (entries) => entries.length), 0);
      await assertFitted(page, [1920, 1080]);
      await page.touchscreen.tap(...await centreOf(page, '#close'));
      assert.equal(await waitForExit(page), '0');
      await assertShowOver(watched, 0);
    } finally {
      await page.close();
    }
  });

test('Tab and Enter choose an entry; a refused full screen plays fitted in the page', async () => {
  const watched = await openMenu(site, async (page) => {
    await page.setViewport({width: 1366, height: 768});
    await page.evaluateOnNewDocument(() => {
      Element.prototype.requestFullscreen = () => Promise.reject(new TypeError('refused'));
    });
  });
  const {page} = watched;
  try {
    await waitForEntries(page);
    for (let i = 0; i < 3; i++) await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.textContent),
      '3 800x600(Full Screen)');
    await page.keyboard.press('Enter');
    await waitForTimeLines(page, 5);
    await waitFor(() => page.$eval('#titlebar', (bar) => !bar.hidden), loadLimitMs,
      async () => `no title bar: ${describeLines(await seenLines(page))}`);
    const said = (await seenLines(page)).filter(([, text]) => text.startsWith('dadadazo:'));
    assert.deepEqual(said.map(([, text]) => text),
      ['dadadazo: no full screen (refused); the show plays in the page']);
    await assertFitted(page, [800, 600]);
    await page.setViewport({width: 700, height: 500});
    await sleep(300);
    await assertFitted(page, [800, 600]);
    await page.click('#close');
    assert.equal(await waitForExit(page), '0');
    await assertShowOver(watched, 0);
  } finally {
    await page.close();
  }
});

// The loop the page plays against the WAV's samples, both decoded by the browser: its length,
// and the root mean square of the difference over 2048 frames each side of the seam, against
// that of the WAV's samples there, per channel.
async function loopAgainstWav(server) {
  const {page, errors} = await openMenu(server);
  try {
    return await page.evaluate(async () => {
      const context = new AudioContext({sampleRate: 44100});
      const {buffer, file} = await Module.page.loadMusic(context, 'tarmelipolkka.wav');
      const wav = await context.decodeAudioData(await (await fetch('tarmelipolkka.wav'))
        .arrayBuffer());
      const errors = [0, 1].map((channel) => {
        const [got, wanted] = [buffer, wav].map((sound) => sound.getChannelData(channel));
        let error = 0;
        let energy = 0;
        for (let i = -2048; i < 2048; i++) {
          const frame = (i + wav.length) % wav.length;
          error += (got[frame] - wanted[frame]) ** 2;
          energy += wanted[frame] ** 2;
        }
        return Math.sqrt(error / energy);
      });
      await context.close();
      return {file, frames: buffer.length, wavFrames: wav.length, errors};
    }).then((result) => ({...result, pageErrors: errors}));
  } finally {
    await page.close();
  }
}

test('the light music loops one period of the WAV, seamless; without it the WAV loops',
  async (t) => {
    const light = await loopAgainstWav(site);
    t.diagnostic(JSON.stringify(light));
    assert.equal(light.file, 'tarmelipolkka.mp3');
    assert.ok(Math.abs(light.frames - light.wavFrames) <= 44, `${light.frames} frames`);
    assert.ok(light.errors.every((error) => error <= 0.08), 'the seam is not the WAV\'s');
    const whole = await loopAgainstWav(siteWithoutMp3);
    assert.deepEqual([whole.file, whole.frames, whole.errors, whole.pageErrors],
      ['tarmelipolkka.wav', whole.wavFrames, [0, 0], []]);
  });
