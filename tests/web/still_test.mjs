// Stills (index.html?mode=DIGIT&at=MS) against the capture tool's frames at the same readings:
// both draw through the portable renderer, the page on WebGL 2 (in the browser --browser names:
// Chromium's SwiftShader, or Firefox on Mesa), the tool on EGL (Mesa). At least 98% of the pixels must agree within 1/255 in every channel.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdtempSync, rmSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {after, before, test} from 'node:test';

import {launchBrowser, openWatched, seenLines, serveFolders, testArguments, waitFor} from
  './browser.mjs';

const options = testArguments();
if (!options.capture) throw new Error('--capture TOOL (dadadazo-capture) is missing');

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

// Compares the page's canvas with the captured PNG, in the page.
function compareInPage(page, pngUrl) {
  return page.evaluate(async (url) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const read = (source, width, height) => {
      const copy = document.createElement('canvas');
      copy.width = width;
      copy.height = height;
      const context = copy.getContext('2d');
      context.drawImage(source, 0, 0);
      return context.getImageData(0, 0, width, height).data;
    };
    const screen = document.getElementById('screen');
    const result = {
      screen: [screen.width, screen.height],
      captured: [image.naturalWidth, image.naturalHeight],
    };
    if (screen.width !== image.naturalWidth || screen.height !== image.naturalHeight) {
      return result;
    }
    const drawn = read(screen, screen.width, screen.height);
    const wanted = read(image, screen.width, screen.height);
    let same = 0;
    let litEither = 0;
    let sameLit = 0;
    let litDrawn = 0;
    let litWanted = 0;
    let firstDifference = null;
    const differences = [];
    for (let i = 0; i < drawn.length; i += 4) {
      let close = true;
      for (let c = 0; c < 3; c++) {
        if (Math.abs(drawn[i + c] - wanted[i + c]) > 1) close = false;
      }
      const lit = drawn[i] || drawn[i + 1] || drawn[i + 2] || wanted[i] || wanted[i + 1] ||
        wanted[i + 2];
      if (lit) litEither++;
      if (close) {
        same++;
        if (lit) sameLit++;
      } else if (firstDifference === null) {
        const pixel = i / 4;
        firstDifference = {x: pixel % screen.width, y: Math.floor(pixel / screen.width),
          page: [...drawn.slice(i, i + 3)], capture: [...wanted.slice(i, i + 3)]};
      }
      differences.push(close ? 0 : 255);
      if (drawn[i] || drawn[i + 1] || drawn[i + 2]) litDrawn++;
      if (wanted[i] || wanted[i + 1] || wanted[i + 2]) litWanted++;
    }
    // The difference as an image (white where they differ), for a failure's report.
    const map = document.createElement('canvas');
    map.width = screen.width;
    map.height = screen.height;
    const mapContext = map.getContext('2d');
    const mapPixels = mapContext.createImageData(screen.width, screen.height);
    differences.forEach((value, pixel) => {
      mapPixels.data.set([value, value, value, 255], pixel * 4);
    });
    mapContext.putImageData(mapPixels, 0, 0);
    return Object.assign(result, {
      pixels: drawn.length / 4, same, litEither, sameLit, litDrawn, litWanted, firstDifference,
      pagePng: screen.toDataURL('image/png'), differencePng: map.toDataURL('image/png'),
    });
  }, pngUrl);
}

function keepForInspection(name, dataUrl) {
  const file = join(options.keep || tmpdir(), name);
  writeFileSync(file, Buffer.from(dataUrl.replace(/^data:image\/png;base64,/, ''), 'base64'));
  return file;
}

for (const {mode, at, scene} of stills) {
  test(`mode ${mode} at ${at} ms: ${scene}`, async (t) => {
    const watched = await openWatched(browser.browser,
      `${site.url}index.html?mode=${mode}&at=${at}`);
    const {page} = watched;
    try {
      await waitFor(() => page.evaluate(() => document.body.dataset.frameReady), loadLimitMs,
        async () => `no frame: ${JSON.stringify((await seenLines(page)).map(([, t]) => t))}`);
      // The still prints its one time line, and nothing else.
      const lines = (await seenLines(page)).map(([, text]) => text);
      assert.deepEqual(lines, [`${(at / 1000).toFixed(6)}.`]);

      const png = `${String(at).padStart(6, '0')}.png`;
      const result = await compareInPage(page, `${site.url}capture/${mode}-${at}/${png}`);
      assert.deepEqual(result.screen, result.captured, 'the still and the capture differ in size');
      assert.ok(result.litWanted > 0, 'the captured frame is black');
      const agreement = result.same / result.pixels;
      const litAgreement = result.sameLit / result.litEither;
      t.diagnostic(`${(agreement * 100).toFixed(2)}% of all pixels agree, ` +
        `${(litAgreement * 100).toFixed(2)}% of those lit in either frame`);
      if (agreement < agreementNeeded || litAgreement < litAgreementNeeded) {
        const name = `still-${options.browser}-${mode}-${at}`;
        const kept = [keepForInspection(`${name}.png`, result.pagePng),
          keepForInspection(`${name}-difference.png`, result.differencePng)];
        assert.fail(`${(agreement * 100).toFixed(2)}% of the pixels agree (needed ` +
          `${agreementNeeded * 100}%), ${(litAgreement * 100).toFixed(2)}% of the lit ones ` +
          `(needed ${litAgreementNeeded * 100}%); lit pixels: page ${result.litDrawn}, capture ` +
          `${result.litWanted}; first difference ${JSON.stringify(result.firstDifference)}; ` +
          `the page's frame and the difference: ${kept.join(', ')}`);
      }
      assert.deepEqual(watched.errors, []);
    } finally {
      await page.close();
    }
  });
}
