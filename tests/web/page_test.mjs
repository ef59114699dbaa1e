// The page as a user meets it, in the browser named by --browser: the menu in the console panel,
// the first key (or tap) choosing the mode, the canvas as the window, fitted to smaller pages,
// the time lines, the ways the show ends, the light music's seamless loop, and a show without
// its music. What the browser grants later (full screen, the pointer held, the music running,
// a new size) is awaited, bounded by the show's own slowest frames.
import assert from 'node:assert/strict';
import {join, resolve} from 'node:path';
import {after, before, test} from 'node:test';
import {pathToFileURL} from 'node:url';

import {
  canvasSummary, isTimeLine, launchBrowser, serveFolders, sleep, testArguments, waitFor,
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

// A fresh tab at the menu, in `viewport` (puppeteer's) where given.
async function openMenu(server, viewport = null) {
  const tab = await browser.open(`${server.url}index.html`, {viewport});
  await waitForMenu(tab);
  return tab;
}

function waitForMenu(tab) {
  return waitFor(async () => (await tab.lines()).length >= menuLines.length, loadLimitMs,
    async () => `no menu: ${describeLines(await tab.lines())}`);
}

// The element's property (a dotted path: 'dataset.music'), null where it has none.
function read(tab, selector, path) {
  return tab.evaluate((chosen, names) => names.split('.').reduce(
    (value, name) => (value === null || value === undefined ? null : value[name]),
    document.querySelector(chosen)) ?? null, selector, path);
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
async function waitForTimeLines(tab, count) {
  return waitFor(async () => {
    const lines = await tab.lines();
    return timeLinesOf(lines).length >= count ? lines : null;
  }, loadLimitMs, async () => `fewer than ${count} time lines: ${describeLines(await tab.lines())}`);
}

// How long to wait for what the show or the browser does next: many of the show's own slowest
// frames so far.
async function showBoundMs(tab) {
  return 5000 + 50 * longestFrameMs(await tab.lines());
}

// Waits for `check()` to hold, bounded by the show's frames; a time-out says what `check`
// returned last (`seen`).
async function awaitState(tab, check, what) {
  const limitMs = await showBoundMs(tab);
  let seen;
  await waitFor(async () => {
    seen = await check();
    return seen === true;
  }, limitMs, async () => `${what} (within ${limitMs} ms, allowed by the show's slowest ` +
    `frame); seen: ${JSON.stringify(seen)}`);
}

// Waits for the exit status, allowing many of the show's own slowest frames.
async function waitForExit(tab) {
  const frameMs = longestFrameMs(await tab.lines());
  const limitMs = 5000 + 50 * frameMs;
  await waitFor(() => read(tab, 'body', 'dataset.exitStatus'), limitMs,
    async () => `no exit status (slowest frame so far ${frameMs.toFixed(0)} ms): ` +
      describeLines(await tab.lines()));
  return read(tab, 'body', 'dataset.exitStatus');
}

// After the show: the status line comes last, and the canvas no longer changes.
async function assertShowOver(tab, status) {
  const lines = await tab.lines();
  assert.equal(lines.at(-1)[1], `exit status ${status}`, describeLines(lines));
  const before = await canvasSummary(tab);
  await sleep(Math.max(300, 5 * longestFrameMs(lines)));
  const later = await canvasSummary(tab);
  assert.equal(later.sum, before.sum, 'the canvas changed after the show ended');
  assert.equal((await tab.lines()).length, lines.length, 'lines were printed after the end');
  assert.deepEqual(await tab.errors(), []);
}

test('the menu, mode 8 in the page, time lines, a bounded console, Esc', async () => {
  const tab = await openMenu(site);
  try {
    const menu = (await tab.lines()).map(([, text]) => text);
    assert.deepEqual(menu, menuLines);
    // The panel is drawn at the browser's next frame.
    let panelText = null;
    await waitFor(async () => (panelText = await read(tab, '#console', 'textContent')) ===
      menuLines.join('\n'), loadLimitMs, async () => `the panel shows ${JSON.stringify(panelText)}`);
    assert.equal(await read(tab, '#window', 'hidden'), true,
      'the window shows before a mode is chosen');
    assert.equal(await read(tab, '#hint', 'hidden'), false);

    await tab.press('8');
    let lines = await waitForTimeLines(tab, 3);
    const times = timeLinesOf(lines).map(([, text]) => text);
    assert.equal(times[0], '0.000000.');
    assert.deepEqual(lines.slice(0, menuLines.length).map(([, text]) => text), menuLines);
    assert.equal(lines[menuLines.length][1], '0.000000.', 'the first line after the menu');

    const screen = await canvasSummary(tab);
    assert.deepEqual([screen.width, screen.height], [480, 320]);
    assert.equal(await read(tab, '#window', 'hidden'), false);
    assert.equal(await read(tab, '#hint', 'hidden'), true);
    assert.equal(await read(tab, '#titlebar', 'hidden'), false);
    assert.equal(await read(tab, '#titlebar span', 'textContent'), 'Dadadazo');
    assert.deepEqual(await tab.evaluate(() => [document.activeElement.id, // the keys' window
      document.activeElement.getAttribute('aria-label')]), ['screen', 'Dadadazo, 480 by 320, windowed: 61-second show']);

    // The wave field's 10,000 points (drawn for the first seven seconds).
    await waitForTimeLines(tab, 10);
    const lit = (await canvasSummary(tab)).lit;
    const clock = timeLinesOf(await tab.lines()).at(-1)[1];
    assert.ok(lit > 1000, `${lit} pixels lit at ${clock}`);

    // More lines than the panel keeps: it holds the latest few hundred.
    lines = await waitForTimeLines(tab, 450);
    const clocks = timeLinesOf(lines).map(([, text]) => Number.parseFloat(text));
    for (let i = 1; i < clocks.length; i++) {
      assert.ok(clocks[i] >= clocks[i - 1], `the clock ran backwards: ${clocks[i - 1]}, ${clocks[i]}`);
    }
    const panel = (await read(tab, '#console', 'textContent')).split('\n');
    assert.ok(panel.length <= 400 && panel.length >= 200, `the panel keeps ${panel.length} lines`);
    assert.equal(lines.filter(([, text]) => text.startsWith('dadadazo:')).length, 0,
      describeLines(lines));
    await awaitState(tab, async () => await read(tab, 'body', 'dataset.music') === 'playing',
      'the music does not play');
    assert.equal(await read(tab, 'body', 'dataset.musicFile'), 'tarmelipolkka.mp3');

    await tab.press('Escape');
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
    assert.equal(await read(tab, 'body', 'dataset.music'), 'stopped');
    assert.deepEqual([await tab.evaluate(() => document.activeElement.id),
      await read(tab, '#status', 'textContent')], ['console', 'exit status 0']);
  } finally {
    await tab.close();
  }
});

test('a key typed before the program has loaded is the one the menu reads', async () => {
  // The server holds the program's WebAssembly back until the key has been typed.
  let releaseProgram;
  const keyTyped = new Promise((typed) => {
    releaseProgram = typed;
  });
  const slowSite = await serveFolders({'/': options.site}, [], {hold: {'/dadadazo.wasm': keyTyped}});
  const tab = await browser.open(`${slowSite.url}index.html`);
  try {
    await tab.press('6');
    assert.deepEqual(await tab.lines(), [], 'the program ran before its code arrived');
    releaseProgram();
    const lines = await waitForTimeLines(tab, 3);
    assert.deepEqual(lines.slice(0, menuLines.length + 1).map(([, text]) => text),
      [...menuLines, '0.000000.']);
    const screen = await canvasSummary(tab);
    assert.deepEqual([screen.width, screen.height], [1280, 720]);
    await tab.press('Escape');
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
  } finally {
    releaseProgram();
    await tab.close();
    await slowSite.close();
  }
});

test('the close button ends a windowed show like Esc', async () => {
  const tab = await openMenu(site);
  try {
    await tab.press('7');
    await waitForTimeLines(tab, 5);
    const screen = await canvasSummary(tab);
    assert.deepEqual([screen.width, screen.height], [800, 600]);
    // Keys other than Esc change nothing.
    await tab.press('x');
    await tab.press('Enter');
    await waitForTimeLines(tab, 10);
    assert.equal(await read(tab, 'body', 'dataset.exitStatus'), null);

    await tab.click('#close');
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
  } finally {
    await tab.close();
  }
});

test('the gentle control: its keys pass the menu by, it is kept, and the show runs gently',
  async () => {
    const boxChecked = (tab) => read(tab, '#gentle-box', 'checked');
    let tab = await openMenu(site);
    try {
      assert.equal(await read(tab, '#gentle label', 'textContent'),
        'Gentle: no more than three flashes a second');
      assert.equal(await boxChecked(tab), false); // no choice kept, no reduced motion asked
      await tab.evaluate(() => document.getElementById('gentle-box').focus());
      await tab.press(' ');
      await waitFor(async () => await boxChecked(tab) === true, loadLimitMs,
        async () => 'Space on the control did not check it');
      await tab.press('Enter');
      await tab.press('Enter');
      await waitFor(async () => await boxChecked(tab) === true, loadLimitMs,
        async () => 'Enter twice on the control did not leave it checked');
      // None of those keys answered the menu.
      assert.equal(await tab.evaluate(() => document.querySelectorAll('.entry').length), 8);
      await tab.close();

      tab = await openMenu(site);
      assert.equal(await boxChecked(tab), true, 'the choice is kept for the next visit');
      await tab.press('8');
      await waitForTimeLines(tab, 10);
      assert.deepEqual(await tab.errors(), []);
      await tab.press('Escape');
      assert.equal(await waitForExit(tab), '0');
    } finally {
      await tab.evaluate(() => localStorage.removeItem('dadadazo.gentle'));
      await tab.close();
    }
  });

const browserKeys = ['ArrowDown', 'PageDown', 'End', 'Home', 'ArrowUp', ' ', 'Escape', 'Backspace',
  'F5', 'F12', 'Control+l', 'Control+r'];

test('at the menu browser keys choose nothing; Enter gives the 1920 x 1080 fallback', async () => {
  const tab = await openMenu(site);
  try {
    await tab.evaluate(() => window.addEventListener('keydown', (event) => {
      if (event.defaultPrevented) window.keysTaken = [...(window.keysTaken || []), event.key];
      event.preventDefault(); // no reload, no address bar: the test stays in this page
    }));
    for (const key of browserKeys) await tab.press(key);
    if (browser.name === 'chromium') { // reduced motion: only a chosen mode starts the show
      await tab.page.emulateMediaFeatures([{name: 'prefers-reduced-motion', value: 'reduce'}]);
      for (const key of ['Enter', 'x']) await tab.press(key);
      await tab.page.emulateMediaFeatures([]);
    }
    await sleep(500);
    assert.deepEqual([await tab.evaluate(() => window.keysTaken), (await tab.lines()).length],
      [null, menuLines.length]);
    await tab.press('Enter');
    await waitForTimeLines(tab, 3);
    const screen = await canvasSummary(tab);
    assert.deepEqual([screen.width, screen.height], [1920, 1080]);
    assert.equal(await read(tab, '#titlebar', 'hidden'), false);
    assert.equal(await tab.evaluate(() => document.fullscreenElement), null);
    await tab.press('Escape');
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
  } finally {
    await tab.close();
  }
});

test('a full-screen mode shows the canvas alone; leaving full screen ends the show', async (t) => {
  const tab = await openMenu(site);
  try {
    await tab.press('4');
    await waitForTimeLines(tab, 5);
    // The browser grants full screen and the pointer when it gets to it: on a busy machine that
    // may be well after the first frames.
    const wanted = {element: 'window', cursor: 'none', rendering: 'pixelated', titleBarHidden: true,
      held: 'screen'};
    if (!browser.can.pointerLock) {
      // Headless Chromium holds the pointer now and then, mostly not: neither is checked.
      t.diagnostic(`${browser.name} as started here holds no pointer: pointer lock is not checked`);
      delete wanted.held;
    }
    await awaitState(tab, async () => {
      const state = await tab.evaluate(() => ({
        element: document.fullscreenElement ? document.fullscreenElement.id : null,
        cursor: getComputedStyle(document.getElementById('screen')).cursor,
        rendering: getComputedStyle(document.getElementById('screen')).imageRendering,
        titleBarHidden: document.getElementById('titlebar').hidden,
        held: document.pointerLockElement ? document.pointerLockElement.id : null,
      }));
      if (!('held' in wanted)) delete state.held;
      const keys = Object.keys(wanted).sort(); // the drivers order an object's keys their way
      return JSON.stringify(state, keys) === JSON.stringify(wanted, keys) || state;
    }, `not full screen with the pointer held as ${JSON.stringify(wanted)}`);
    const screen = await canvasSummary(tab);
    assert.deepEqual([screen.width, screen.height], [480, 320]);

    await tab.evaluate(() => document.exitFullscreen());
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
  } finally {
    await tab.close();
  }
});

test('without its music the show says why in one line and plays on', async () => {
  const tab = await openMenu(siteWithoutMusic);
  try {
    await tab.press('8');
    const lines = await waitFor(async () => {
      const seen = await tab.lines();
      const said = seen.findIndex(([, text]) => text.startsWith('dadadazo:'));
      return said >= 0 && timeLinesOf(seen.slice(said)).length >= 20 ? seen : null;
    }, loadLimitMs, async () => describeLines(await tab.lines()));
    const said = lines.filter(([, text]) => text.startsWith('dadadazo:')).map(([, text]) => text);
    assert.deepEqual(said, ['dadadazo: playing without sound: tarmelipolkka.mp3: HTTP 404 ' +
      'Not Found; tarmelipolkka.wav: HTTP 404 Not Found']);
    assert.ok((await canvasSummary(tab)).lit > 0, 'nothing drawn');
    assert.equal(await read(tab, 'body', 'dataset.music'), 'silent');

    await tab.press('Escape');
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
  } finally {
    await tab.close();
  }
});

test('a WebGL context not given back ends the show after 10 s: one line, status 1', async () => {
  const tab = await openMenu(site);
  try {
    await tab.press('8');
    await waitForTimeLines(tab, 5);
    await tab.evaluate(() => {
      document.getElementById('screen').getContext('webgl2')
        .getExtension('WEBGL_lose_context').loseContext();
    });
    await waitFor(() => read(tab, 'body', 'dataset.exitStatus'), 10000 + await showBoundMs(tab),
      async () => `no exit status: ${describeLines(await tab.lines())}`);
    assert.equal(await read(tab, 'body', 'dataset.exitStatus'), '1');
    const said = (await tab.lines()).filter(([, text]) => text.startsWith('dadadazo:'));
    assert.deepEqual(said.map(([, text]) => text), ["dadadazo: the browser took the canvas's " +
      'WebGL context away and did not give it back within 10 s; the show cannot go on']);
    assert.equal((await tab.lines()).at(-1)[1], 'exit status 1');
    assert.deepEqual(await tab.errors(), []);
  } finally {
    await tab.close();
  }
});

test('a still with a malformed address says how to ask for one', async () => {
  for (const query of ['mode=9&at=5000', 'mode=8&at=-5', 'mode=8', 'at=100&mode=8x']) {
    const tab = await browser.open(`${site.url}index.html?${query}`);
    try {
      await waitFor(() => read(tab, 'body', 'dataset.exitStatus'),
        loadLimitMs, async () => `${query}: ${describeLines(await tab.lines())}`);
      const lines = (await tab.lines()).map(([, text]) => text);
      assert.deepEqual(lines, [
        'dadadazo: a still takes ?mode=DIGIT (1 to 8)&at=MILLISECONDS (a whole number)',
      ], query);
      assert.equal(await read(tab, 'body', 'dataset.exitStatus'), '2');
      assert.equal(await read(tab, '#window', 'hidden'), true, query);
    } finally {
      await tab.close();
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
      const show = await withoutWebGl.open(`${site.url}index.html`);
      await waitForMenu(show);
      await show.press('8');
      await waitFor(() => read(show, 'body', 'dataset.exitStatus'),
        loadLimitMs, async () => describeLines(await show.lines()));
      assert.deepEqual((await show.lines()).slice(menuLines.length).map(([, t]) => t),
        [reason, 'exit status 1']);
      assert.deepEqual(await show.errors(), []);
      await show.close();

      const still = await withoutWebGl.open(`${site.url}index.html?mode=8&at=0`);
      await waitFor(() => read(still, 'body', 'dataset.exitStatus'),
        loadLimitMs, async () => describeLines(await still.lines()));
      assert.deepEqual((await still.lines()).map(([, t]) => t), [reason, 'exit status 1']);
      assert.equal(await read(still, 'body', 'dataset.frameReady'), null);
    } finally {
      await withoutWebGl.close();
    }
  });

// What keeps the window from being fitted to the page (null when it is): the whole window in
// sight, no wider than the page, the mode's picture scaled down with its aspect kept, and the
// drawing buffer still the mode's size.
async function unfitted(tab, [width, height]) {
  const seen = await tab.evaluate(() => {
    const box = (id) => document.getElementById(id).getBoundingClientRect().toJSON();
    const root = document.documentElement;
    return {window: box('window'), close: box('close'), screen: box('screen'),
      width: root.clientWidth, height: root.clientHeight, scrollWidth: root.scrollWidth};
  });
  const drawn = await canvasSummary(tab);
  const problems = [
    [seen.window.left >= 0 && seen.window.top >= 0 && seen.scrollWidth <= seen.width &&
      seen.window.right <= seen.width && seen.window.bottom <= seen.height, 'out of sight'],
    [seen.close.width > 0 && seen.close.bottom <= seen.height, 'no close button in sight'],
    [seen.screen.width < width, 'not scaled down'],
    [Math.abs(seen.screen.width / seen.screen.height - width / height) < 0.01, 'aspect changed'],
    [drawn.width === width && drawn.height === height, `drawn ${drawn.width}x${drawn.height}`],
  ].filter(([holds]) => !holds).map(([, problem]) => problem);
  return problems.length === 0 ? null : `${problems.join(', ')}: ${JSON.stringify(seen)}`;
}

// At a whole number of device pixels per drawn pixel and sharp, or scaled down and smoothed.
const crispness = (tab, ratio) => tab.evaluate((wanted) => {
  const screen = document.getElementById('screen');
  const factor = screen.getBoundingClientRect().width * devicePixelRatio / screen.width;
  const rendering = getComputedStyle(screen).imageRendering;
  const whole = factor > 0.999 && Math.abs(factor - Math.round(factor)) < 1e-3;
  return (devicePixelRatio === wanted && (whole || factor < 1) &&
    rendering === (whole ? 'pixelated' : 'auto')) || {factor, rendering, ratio: devicePixelRatio};
}, ratio);

// The page fits the window anew when its size changes: awaited.
async function assertFitted(tab, size) {
  await awaitState(tab, async () => (await unfitted(tab, size)) ?? true,
    `the window is not fitted to the page at ${size.join('x')}`);
}

// The menu's entries are drawn in the browser frame after its lines are printed.
function waitForEntries(tab) {
  return waitFor(() => tab.evaluate(() => document.querySelectorAll('.entry').length === 8),
    loadLimitMs, async () => 'the menu has no entries to choose');
}

function boxOf(tab, selector) {
  return tab.evaluate((chosen) => document.querySelector(chosen).getBoundingClientRect().toJSON(),
    selector);
}

async function centreOf(tab, selector) {
  const box = await boxOf(tab, selector);
  return [box.x + box.width / 2, box.y + box.height / 2];
}

test('on a phone, a tapped entry chooses once, the window fits, the close button ends it',
  async (t) => {
    if (!browser.can.touch) {
      t.skip(`${browser.name}: its driver has no touch screen nor a phone-sized page`);
      return;
    }
    const tab = await openMenu(site, {width: 390, height: 844, hasTouch: true, isMobile: true});
    try {
      await waitForEntries(tab);
      const panel = await tab.evaluate(() => {
        const element = document.getElementById('console');
        return [element.textContent,
          [...element.querySelectorAll('.entry')].map((entry) => entry.textContent),
          element.querySelector('.entry[data-key="5"]').getAttribute('aria-label')];
      });
      assert.deepEqual(panel, [menuLines.join('\n'),
        menuLines.filter((line) => /^[1-8] /.test(line)), 'Mode 5: 1920 by 1080, windowed']);
      // The heading's line, the empty line and the panel's corner, tapped at the right, away
      // from the entries (a browser may move a tap to a button next to it): nothing.
      const [panelBox, first, fourth, fifth] = await Promise.all(['#console', '.entry',
        '.entry[data-key="4"]', '.entry[data-key="5"]'].map((selector) => boxOf(tab, selector)));
      const x = panelBox.right - 30;
      for (const [tapX, tapY] of [[x, first.top - 6], [x, (fourth.bottom + fifth.top) / 2],
        [panelBox.right - 5, panelBox.bottom - 5]]) {
        await tab.tap(tapX, tapY);
      }
      await sleep(300);
      assert.equal((await tab.lines()).length, menuLines.length, 'a tap off the entries chose');

      await tab.tap(...await centreOf(tab, '#console .entry[data-key="5"]'));
      await waitForTimeLines(tab, 5);
      assert.equal(await tab.evaluate(() => document.querySelectorAll('.entry').length), 0);
      await assertFitted(tab, [1920, 1080]);
      await tab.tap(...await centreOf(tab, '#close'));
      assert.equal(await waitForExit(tab), '0');
      await assertShowOver(tab, 0);
    } finally {
      await tab.close();
    }
  });

test('Tab and Enter choose an entry; a refused full screen plays fitted in the page', async () => {
  const tab = await openMenu(site, {width: 1366, height: 768});
  try {
    await waitForEntries(tab);
    // Asked for once a mode is chosen: refused from now on.
    await tab.evaluate(() => {
      Element.prototype.requestFullscreen = () => Promise.reject(new TypeError('refused'));
    });
    // Past what comes before the menu (the warning's link, the gentle control) to its third entry.
    const focused = () => tab.evaluate(() => document.activeElement.className);
    for (let i = 0; i < 10 && await focused() !== 'entry'; i++) await tab.press('Tab');
    for (let i = 0; i < 2; i++) await tab.press('Tab');
    assert.equal(await tab.evaluate(() => document.activeElement.textContent),
      '3 800x600(Full Screen)');
    await tab.press('Enter');
    await waitForTimeLines(tab, 5);
    await waitFor(async () => !(await read(tab, '#titlebar', 'hidden')), loadLimitMs,
      async () => `no title bar: ${describeLines(await tab.lines())}`);
    const said = (await tab.lines()).filter(([, text]) => text.startsWith('dadadazo:'));
    assert.deepEqual(said.map(([, text]) => text),
      ['dadadazo: no full screen (refused); the show plays in the page']);
    await assertFitted(tab, [800, 600]);
    await tab.resize(700, 500);
    await assertFitted(tab, [800, 600]);
    for (const ratio of browser.name === 'webkit' ? [] : [1, 1.25, 1.5, 2, 3]) { // WebKit: no ratio
      for (const [width, height] of [[390, 844], [1366, 768]]) {
        await tab.resize(width, height, ratio);
        await awaitState(tab, () => crispness(tab, ratio), `not sharp at ${width}x${height}, ${ratio}`);
      }
    }
    await tab.click('#close');
    assert.equal(await waitForExit(tab), '0');
    await assertShowOver(tab, 0);
  } finally {
    await tab.close();
  }
});

// The loop the page plays against the WAV's samples, both decoded by the browser: its length,
// and the root mean square of the difference over 2048 frames each side of the seam, against
// that of the WAV's samples there, per channel.
async function loopAgainstWav(server) {
  const tab = await openMenu(server);
  try {
    const result = await tab.evaluate(async () => {
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
    });
    return {...result, pageErrors: await tab.errors()};
  } finally {
    await tab.close();
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

// A page whose program does not come, or does not run, says why from the first byte to its last
// line, status 1; music that does not come gets a line, and the show plays on. The limits (20 s
// for an answer, 15 s for the music) are the page's own.
test('a program that is not the program, or does not come, or a page from a file: one line',
  async () => {
    const folder = resolve(options.site);
    let unhold;
    const held = new Promise((resolve) => (unhold = resolve));
    const cases = [
      [{answers: {'/dadadazo.js': {type: 'text/html', body: '<!doctype html><p>Sign in</p>'}}},
        'dadadazo: stopped: dadadazo.js: the server sent a web page in its place (a network ' +
        'that wants a sign-in first?)'],
      [{answers: {'/dadadazo.js': {type: 'text/javascript', body: 'var Module = {'}}},
        /^dadadazo: stopped: dadadazo\.js: .*SyntaxError/],
      [null, 'dadadazo: this page needs a web server, not a file: run python3 -m http.server ' +
        `8000 --bind 127.0.0.1 --directory ${folder}/ and open http://127.0.0.1:8000/`],
      [{hold: {'/dadadazo.wasm': held}}, 'dadadazo: stopped: dadadazo.wasm: no answer within 20 s'],
    ];
    for (const [how, reason] of cases) {
      const server = how && await serveFolders({'/': options.site}, [], how);
      const tab = await browser.open(server ? `${server.url}index.html` :
        pathToFileURL(join(folder, 'index.html')).href);
      try {
        const first = how?.hold && await read(tab, '#console', 'textContent');
        if (first) assert.equal(first, 'loading the show…');
        let panel = '';
        await waitFor(async () => (panel = await read(tab, '#console', 'textContent'))
          .endsWith('\nexit status 1'), loadLimitMs, async () => `the panel: ${panel}`);
        const said = panel.split('\n');
        assert.equal(said.length, 2, panel);
        (reason instanceof RegExp ? assert.match : assert.equal)(said[0], reason);
      } finally {
        await tab.close();
        if (how?.hold) unhold();
        if (server) await server.close();
      }
    }

    const silent = await serveFolders({'/': options.site}, [],
      {hold: {'/tarmelipolkka.mp3': new Promise((resolve) => (unhold = resolve))}});
    const tab = await openMenu(silent);
    try {
      await tab.press('8');
      const said = await waitFor(async () => {
        const lines = (await tab.lines()).filter(([, text]) => text.startsWith('dadadazo:'));
        return lines.length > 0 && lines.map(([, text]) => text);
      }, loadLimitMs, async () => describeLines(await tab.lines()));
      assert.deepEqual(said,
        ['dadadazo: no music after 15 s; the show plays on silent until it comes']);
      await tab.press('Escape');
      assert.equal(await waitForExit(tab), '0');
    } finally {
      await tab.close();
      unhold();
      await silent.close();
    }
  });
