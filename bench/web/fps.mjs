// Frames per second of the web page in headless Chromium, per scene, from the show's own time
// lines: the whole 61-second show in mode 7 (800 x 600, windowed), one line per frame.
//
//   node bench/web/fps.mjs --site FOLDER --modules FOLDER [--mode DIGIT]
import {
  isTimeLine, launchBrowser, openWatched, seenLines, serveFolders, sleep, testArguments, waitFor,
} from '../../tests/web/browser.mjs';

const options = testArguments();
const digit = options.mode || '7';

// Scene windows in seconds of the scene clock (the frame's own timeline).
const scenes = [
  {name: 'wave field', from: 0, to: 8},
  {name: 'line rosettes', from: 8, to: 12},
  {name: 'ring stack', from: 12, to: 20},
  {name: 'twin clouds', from: 20, to: 40},
  {name: 'wave rows', from: 40, to: 58},
  {name: 'wave rows, swelling', from: 58, to: 61},
];

const site = await serveFolders({'/': options.site});
const chromium = await launchBrowser(options.modules);
try {
  const {page, errors} = await openWatched(chromium.browser, `${site.url}index.html`);
  await waitFor(async () => (await seenLines(page)).length >= 10, 60000, async () => 'no menu');
  await page.keyboard.press(digit);
  // The show ends by itself a little after 61 s; two minutes means it never will.
  await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), 120000,
    async () => `still running: ${JSON.stringify((await seenLines(page)).slice(-3))}`);
  await sleep(100);
  const clocks = (await seenLines(page))
    .filter(([, text]) => isTimeLine(text))
    .map(([, text]) => Number.parseFloat(text));
  const status = await page.evaluate(() => document.body.dataset.exitStatus);
  const size = await page.$eval('#screen', (screen) => `${screen.width}x${screen.height}`);
  console.log(`mode ${digit} (${size}), ${clocks.length} frames, exit status ${status}` +
    (errors.length ? `, page errors: ${errors.join('; ')}` : ''));
  for (const {name, from, to} of scenes) {
    const inside = clocks.filter((t) => t > from && t < to);
    if (inside.length < 2) {
      console.log(`${name.padEnd(22)} (${from}-${to} s): too few frames (${inside.length})`);
      continue;
    }
    const fps = (inside.length - 1) / (inside.at(-1) - inside[0]);
    console.log(`${name.padEnd(22)} (${from}-${to} s): ${fps.toFixed(1)} frames/s`);
  }
} finally {
  await chromium.close();
  await site.close();
}
