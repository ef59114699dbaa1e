// The whole show in the page, left alone: it ends by itself on the first clock reading past 61
// seconds, with exit status 0, after frames in every scene. Its WebGL context is taken away 3 s
// in and given back 1.5 s later: its last frame is still the one a still at that reading draws.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';

import {canvasSummary, isTimeLine, launchBrowser, serveFolders, testArguments, waitFor}
  from './browser.mjs';

const options = testArguments();

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

test('the show ends by itself after 61 seconds with status 0', async () => {
  const tab = await browser.open(`${site.url}index.html`);
  let still = null;
  try {
    await waitFor(async () => (await tab.lines()).length >= 10, 60000, async () => 'no menu');
    // The key is pressed after the menu's last line: the show's clock starts later still.
    const menuDoneMs = (await tab.lines())[9][0];
    await tab.press('8');
    await waitFor(async () => (await tab.lines()).some(([, text]) => isTimeLine(text)),
      60000, async () => 'no frame');
    // The show's clock is the page's wall clock: it is over 61 s after its first frame. The
    // bound allows for the show's own slowest frames many times over.
    const started = Date.now();
    await waitFor(async () => (await tab.lines()).some(([, text]) => isTimeLine(text) &&
      Number.parseFloat(text) >= 3), 60000, async () => 'no frame 3 s into the show');
    await tab.evaluate(() => new Promise((restored) => {
      const losing = document.getElementById('screen').getContext('webgl2')
        .getExtension('WEBGL_lose_context');
      setTimeout(() => restored(losing.restoreContext()), 1500, losing.loseContext());
    }));
    await waitFor(async () => {
      const status = await tab.evaluate(() => document.body.dataset.exitStatus);
      if (status !== null) return true;
      const lines = (await tab.lines()).filter(([, text]) => isTimeLine(text));
      let slowest = 0;
      for (let i = 1; i < lines.length; i++) {
        slowest = Math.max(slowest, lines[i][0] - lines[i - 1][0]);
      }
      if (Date.now() - started > 61000 + 10000 + 50 * slowest) {
        throw new Error(`not over ${(Date.now() - started) / 1000} s after the first frame ` +
          `(slowest frame ${slowest.toFixed(0)} ms); last lines: ` +
          JSON.stringify(lines.slice(-3).map(([, text]) => text)));
      }
      return false;
    }, 600000, async () => 'still running');

    const timed = await tab.lines();
    const lines = timed.map(([, text]) => text);
    assert.equal(lines.at(-1), 'exit status 0');
    assert.equal(await tab.evaluate(() => document.body.dataset.exitStatus), '0');
    const clocks = lines.filter(isTimeLine).map((text) => Number.parseFloat(text));
    // The last frame is drawn at a reading of at most 61 s; the reading after it ends the show
    // without another frame, however long that frame took: so the end comes at least 61 s of
    // the page's own time after the key, and so after the menu.
    assert.ok(clocks.at(-1) <= 61.0, `last frame at ${clocks.at(-1)}`);
    const endMs = timed.at(-1)[0] - menuDoneMs;
    assert.ok(endMs >= 61000, `the show ended ${(endMs / 1000).toFixed(3)} s after the menu, ` +
      `its last frame at ${clocks.at(-1)}`);
    for (const [from, to] of [[0, 8], [8, 12], [12, 20], [20, 40], [40, 58], [58, 61]]) {
      assert.ok(clocks.some((t) => t > from && t < to), `no frame between ${from} and ${to} s`);
    }
    assert.deepEqual(await tab.errors(), []);
    const shown = await canvasSummary(tab); // (in WebKit the still takes the show's window)
    still = await browser.open(`${site.url}index.html?mode=8&at=${Math.round(clocks.at(-1) * 1000)}`);
    await waitFor(() => still.evaluate(() => document.body.dataset.frameReady), 60000,
      async () => 'no still');
    assert.deepEqual(shown, await canvasSummary(still), `the last frame, at ${clocks.at(-1)} s`);
  } finally {
    if (still) await still.close();
    await tab.close();
  }
});
