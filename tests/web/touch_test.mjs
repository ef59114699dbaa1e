// The page without a keyboard, and in pages smaller than the window: the menu's entries tapped,
// clicked or reached with Tab and Enter; the window scaled down to fit, close button in sight;
// a full screen the browser refuses played in the page instead.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';

import {
  canvasSummary, isTimeLine, launchBrowser, openWatched, seenLines, serveFolders, sleep,
  testArguments, waitFor,
} from './browser.mjs';

const options = testArguments();
const loadLimitMs = 60000;
const menuLineCount = 10;
const phone = {width: 390, height: 844, hasTouch: true, isMobile: true};
const laptop = {width: 1366, height: 768};

let site;
let browser;

before(async () => {
  site = await serveFolders({'/': options.site});
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  if (site) await site.close();
});

async function openMenu(viewport, prepare = null) {
  const watched = await openWatched(browser.browser, `${site.url}index.html`, {
    prepare: async (page) => {
      await page.setViewport(viewport);
      if (prepare) await prepare(page);
    },
  });
  await waitFor(() => watched.page.$$eval('#console .entry', (entries) => entries.length === 8),
    loadLimitMs, async () => `no menu entries: ${await watched.page.$eval('#console',
      (panel) => panel.innerHTML)}`);
  return watched;
}

async function timeLines(page) {
  return (await seenLines(page)).filter(([, text]) => isTimeLine(text));
}

async function waitForFrames(page, count) {
  await waitFor(async () => (await timeLines(page)).length >= count, loadLimitMs,
    async () => JSON.stringify((await seenLines(page)).slice(-5)));
}

// Where the window lies in the page, and the page's own size.
function layout(page) {
  return page.evaluate(() => {
    const box = (id) => {
      const {left, top, right, bottom, width, height} =
        document.getElementById(id).getBoundingClientRect();
      return {left, top, right, bottom, width, height};
    };
    const page = document.documentElement;
    return {
      window: box('window'), close: box('close'), screen: box('screen'),
      view: {width: page.clientWidth, height: page.clientHeight}, scrollWidth: page.scrollWidth,
    };
  });
}

// The whole window is in sight, within the page's width, and the canvas shows the mode's
// picture scaled down, aspect kept.
async function assertFitted(page, [width, height], {titleBar = true} = {}) {
  const seen = await layout(page);
  const where = JSON.stringify(seen);
  assert.ok(seen.window.left >= 0 && seen.window.right <= seen.view.width, where);
  assert.ok(seen.window.top >= 0 && seen.window.bottom <= seen.view.height, where);
  assert.ok(seen.scrollWidth <= seen.view.width, `the page is wider than its view: ${where}`);
  if (titleBar) {
    assert.ok(seen.close.width > 0 && seen.close.right <= seen.view.width &&
      seen.close.bottom <= seen.view.height, `the close button is out of sight: ${where}`);
  }
  assert.ok(Math.abs(seen.screen.width / seen.screen.height - width / height) < 0.01, where);
  assert.ok(seen.screen.width < width, `not scaled down: ${where}`);
  const drawn = await canvasSummary(page);
  assert.deepEqual([drawn.width, drawn.height], [width, height], 'the drawing buffer changed');
}

async function waitForExit(page) {
  await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), loadLimitMs,
    async () => JSON.stringify((await seenLines(page)).slice(-5)));
  return page.evaluate(() => document.body.dataset.exitStatus);
}

test(`${options.browser}: a phone's taps choose a mode, once; the close button ends the show`,
  async () => {
    const watched = await openMenu(phone);
    const {page} = watched;
    try {
      const menu = (await seenLines(page)).map(([, text]) => text);
      const panel = await page.$eval('#console', (element) => ({
        text: element.textContent,
        entries: [...element.querySelectorAll('.entry')].map((entry) =>
          [entry.textContent, entry.getAttribute('role'), entry.getAttribute('aria-label')]),
      }));
      assert.equal(panel.text, menu.join('\n'), 'the panel is not what the program printed');
      assert.deepEqual(panel.entries.map(([text]) => text),
        menu.filter((line) => /^[1-8] /.test(line)));
      assert.deepEqual(panel.entries[4].slice(1), ['button', 'Mode 5: 1920 by 1080, windowed']);

      // The heading's line, the empty line and the panel's margin give the program nothing
      // (tapped at the right, away from the entries: a browser may move a tap to a button
      // next to it).
      const spots = await page.$eval('#console', (element) => {
        const box = element.getBoundingClientRect();
        const line = parseFloat(getComputedStyle(element).lineHeight);
        const padding = parseFloat(getComputedStyle(element).paddingTop);
        return [[box.right - 30, box.top + padding + line / 2],
          [box.right - 30, box.top + padding + 5.5 * line], [box.right - 10, box.bottom - 10]];
      });
      for (const [x, y] of spots) await page.touchscreen.tap(x, y);
      await sleep(500);
      assert.equal((await seenLines(page)).length, menuLineCount, 'a tap off the entries chose');

      await page.touchscreen.tap(...await centreOf(page, '#console .entry[data-key="5"]'));
      await waitForFrames(page, 5);
      assert.equal(await page.$$eval('#console .entry', (entries) => entries.length), 0);
      await assertFitted(page, [1920, 1080]);

      await page.touchscreen.tap(...await centreOf(page, '#close'));
      assert.equal(await waitForExit(page), '0');
      assert.deepEqual(watched.errors, []);
    } finally {
      await page.close();
    }
  });

async function centreOf(page, selector) {
  return page.$eval(selector, (element) => {
    const box = element.getBoundingClientRect();
    return [box.left + box.width / 2, box.top + box.height / 2];
  });
}

test(`${options.browser}: Tab and Enter choose an entry; a window wider than the page fits`,
  async () => {
    const watched = await openMenu(laptop);
    const {page} = watched;
    try {
      for (let i = 0; i < 5; i++) await page.keyboard.press('Tab');
      assert.equal(await page.evaluate(() => document.activeElement.textContent),
        '5 1920x1080(windowed)');
      await page.keyboard.press('Enter');
      await waitForFrames(page, 5);
      await assertFitted(page, [1920, 1080]);
      // Smaller still: the window follows the page.
      await page.setViewport({width: 700, height: 500});
      await sleep(300);
      await assertFitted(page, [1920, 1080]);
      await page.click('#close');
      assert.equal(await waitForExit(page), '0');
      assert.deepEqual(watched.errors, []);
    } finally {
      await page.close();
    }
  });

test(`${options.browser}: where full screen is refused, the show plays fitted in the page`,
  async () => {
    const watched = await openMenu(phone, (page) => page.evaluateOnNewDocument(() => {
      Element.prototype.requestFullscreen = () => Promise.reject(new TypeError('refused'));
    }));
    const {page} = watched;
    try {
      await page.touchscreen.tap(...await centreOf(page, '#console .entry[data-key="3"]'));
      await waitForFrames(page, 5);
      await waitFor(() => page.$eval('#titlebar', (bar) => !bar.hidden), loadLimitMs,
        async () => 'no title bar');
      const said = (await seenLines(page)).filter(([, text]) => text.startsWith('dadadazo:'));
      assert.deepEqual(said.map(([, text]) => text),
        ['dadadazo: no full screen (refused); the show plays in the page']);
      await assertFitted(page, [800, 600]);
      await page.touchscreen.tap(...await centreOf(page, '#close'));
      assert.equal(await waitForExit(page), '0');
    } finally {
      await page.close();
    }
  });
