// Stills (index.html?mode=DIGIT&at=MS) against the capture tool's frames at the same readings:
// both draw through the portable renderer, the page on WebGL 2 (in the browser --browser names:
// Chromium's SwiftShader, or Firefox or WebKit on Mesa), the tool on EGL (Mesa). The page's
// frame is the canvas as the screen shows it. At least 98% of the pixels must agree within
// 1/255 in every channel.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, test} from 'node:test';

import {launchBrowser, serveFolders, testArguments, waitFor} from './browser.mjs';

const options = testArguments();
if (!options.capture) throw new Error('--capture TOOL (dadadazo-capture) is missing');
if (!options['pixel-match']) throw new Error('--pixel-match TOOL (tests/lib/pixel_match) is missing');

// A reading in every scene, and the swell at the end; two at a second size.
const stills = [
  {mode: 8, at: 1000, scene: 'wave field, still red'},
  {mode: 8, at: 2500, scene: 'wave field, coloured'},
  {mode: 8, at: 5000, scene: 'wave field, coloured and wobbling'},
  {mode: 8, at: 7500, scene: 'wave field, falling'},
  {mode: 8, at: 10000, scene: 'line rosettes'},
  {mode: 8, at: 16000, scene: 'ring stack'},
  {mode: 8, at: 30000, scene: 'twin clouds'},
  {mode: 8, at: 45000, scene: 'wave rows'},
  {mode: 8, at: 59500, scene: 'wave rows, swelling'},
  {mode: 7, at: 10000, scene: 'line rosettes at 800 x 600'},
  {mode: 3, at: 30000, scene: 'twin clouds at 800 x 600 (a full-screen mode)'},
];
const agreementNeeded = 0.98;
// Most of a frame is black background: the lit pixels (in either frame) must agree too, or a
// frame with its figures in the wrong place could still pass.
const litAgreementNeeded = 0.95;

// Loading a page and drawing one frame: generous, only a page that never draws trips it.
const loadLimitMs = 60000;

let captures;
let site;
let browser;

before(async () => {
  captures = mkdtempSync(join(tmpdir(), 'dadadazo-stills-'));
  // One run of the tool per reading: each starts from a fresh drift, as a still does.
  for (const {mode, at} of stills) {
    execFileSync(options.capture, ['--mode', String(mode), '--at', String(at), '-o',
      join(captures, `${mode}-${at}`)], {stdio: ['ignore', 'ignore', 'inherit']});
  }
  site = await serveFolders({'/': options.site, '/capture/': captures});
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  if (site) await site.close();
  if (captures) rmSync(captures, {recursive: true, force: true});
});

// Runs the shared pixel comparison (tests/lib/pixel_match): its one JSON line, and whether the
// frames match; exit status 2 (unreadable, or sizes that differ) fails at once.
function comparePngs(expected, actual, difference) {
  const command = [expected, actual, '--channel', '1', '--same', String(agreementNeeded),
    '--lit-same', String(litAgreementNeeded), '--difference', difference];
  try {
    return {...JSON.parse(execFileSync(options['pixel-match'], command, {encoding: 'utf8'})), ok: true};
  } catch (error) {
    if (error.status !== 1) throw new Error(`pixel_match failed: ${error.stderr || error.message}`);
    return {...JSON.parse(error.stdout), ok: false};
  }
}

for (const {mode, at, scene} of stills) {
  test(`mode ${mode} at ${at} ms: ${scene}`, async (t) => {
    const tab = await browser.open(`${site.url}index.html?mode=${mode}&at=${at}`);
    try {
      await waitFor(() => tab.evaluate(() => document.body.dataset.frameReady), loadLimitMs,
        async () => `no frame: ${JSON.stringify((await tab.lines()).map(([, t]) => t))}`);
      // The still prints its one time line, and nothing else.
      const lines = (await tab.lines()).map(([, text]) => text);
      assert.deepEqual(lines, [`${(at / 1000).toFixed(6)}.`]);

      const name = `still-${options.browser}-${mode}-${at}`;
      const drawn = join(options.keep || tmpdir(), `${name}.png`);
      writeFileSync(drawn, await tab.pixels('#screen'));
      const difference = join(options.keep || tmpdir(), `${name}-difference.png`);
      const captured = join(captures, `${mode}-${at}`, `${String(at).padStart(6, '0')}.png`);
      const result = comparePngs(captured, drawn, difference);
      assert.ok(result.litExpected > 0, 'the captured frame is black');
      const agreement = result.same / result.pixels;
      const litAgreement = result.lit === 0 ? 1 : result.litSame / result.lit;
      t.diagnostic(`${(agreement * 100).toFixed(2)}% of all pixels agree, ` +
        `${(litAgreement * 100).toFixed(2)}% of those lit in either frame`);
      if (!result.ok) {
        assert.fail(`${(agreement * 100).toFixed(2)}% of the pixels agree (needed ` +
          `${agreementNeeded * 100}%), ${(litAgreement * 100).toFixed(2)}% of the lit ones ` +
          `(needed ${litAgreementNeeded * 100}%); lit pixels: page ${result.litActual}, capture ` +
          `${result.litExpected}; first difference ${JSON.stringify(result.first)}; ` +
          `the page's frame and the difference: ${drawn}, ${difference}`);
      }
      rmSync(drawn, {force: true});
      assert.deepEqual(await tab.errors(), []);
    } finally {
      await tab.close();
    }
  });
}
