// Frames per second per scene, from the show's own time lines (one per frame): the whole
// 61-second show in one display mode (7, 800 x 600 windowed, by default), in each browser named
// and, with --native PROGRAM, in the native show on the X server in $DISPLAY. One table, a
// column each. Firefox and WebKit, too, need $DISPLAY. With --gentle yes, each gets a second
// column, the show run again gently right after (the page's control checked; the native show
// with --renderer portable, and then --gentle too).
//
//   node bench/web/fps.mjs --site FOLDER --modules FOLDER [--browsers chromium,firefox,webkit]
//                          [--native PROGRAM] [--mode DIGIT] [--gentle yes]
import {spawn} from 'node:child_process';
import {dirname} from 'node:path';

import {
  isTimeLine, launchBrowser, serveFolders, sleep, testArguments, waitFor,
} from '../../tests/web/browser.mjs';

const options = testArguments();
const digit = options.mode || '7';
const browsers = (options.browsers || 'chromium,firefox,webkit').split(',').filter(Boolean);
const kinds = options.gentle === 'yes' ? [false, true] : [false];

// Scene windows in seconds of the scene clock (the frame's own timeline).
const scenes = [
  {name: 'wave field', from: 0, to: 8},
  {name: 'line rosettes', from: 8, to: 12},
  {name: 'ring stack', from: 12, to: 20},
  {name: 'twin clouds', from: 20, to: 40},
  {name: 'wave rows', from: 40, to: 58},
  {name: 'wave rows, swelling', from: 58, to: 61},
];

// The scene clocks of a whole show in the page, in seconds.
async function browserClocks(site, name, gentle) {
  const browser = await launchBrowser(options.modules, {name});
  try {
    const tab = await browser.open(`${site.url}index.html`);
    await waitFor(async () => (await tab.lines()).length >= 10, 60000, async () => 'no menu');
    await tab.evaluate((on) => {
      document.getElementById('gentle-box').checked = on;
    }, gentle);
    await tab.press(digit);
    // The show ends by itself a little after 61 s; two minutes means it never will.
    await waitFor(() => tab.evaluate(() => document.body.dataset.exitStatus), 120000,
      async () => `still running: ${JSON.stringify((await tab.lines()).slice(-3))}`);
    await sleep(100);
    const status = await tab.evaluate(() => document.body.dataset.exitStatus);
    const size = await tab.evaluate(() => {
      const screen = document.getElementById('screen');
      return `${screen.width}x${screen.height}`;
    });
    const errors = await tab.errors();
    const clocks = (await tab.lines()).filter(([, text]) => isTimeLine(text))
      .map(([, text]) => Number.parseFloat(text));
    console.log(`${name}: mode ${digit} (${size}), ${clocks.length} frames, exit status ` +
      `${status}${errors.length ? `, page errors: ${errors.join('; ')}` : ''}`);
    return clocks;
  } finally {
    await browser.close();
  }
}

// The scene clocks of a whole native show, started from its own folder (where its polka lies).
function nativeClocks(program, gentle) {
  return new Promise((done, failed) => {
    const renderer = kinds.length > 1 ? ['--renderer', 'portable'] : [];
    const show = spawn(program, [...renderer, ...(gentle ? ['--gentle'] : [])],
      {cwd: dirname(program), stdio: ['pipe', 'pipe', 'inherit']});
    let output = '';
    show.stdout.on('data', (chunk) => {
      output += chunk;
    });
    show.on('error', failed);
    show.on('close', (status) => {
      const clocks = output.split(/\s+/).filter(isTimeLine).map(Number.parseFloat);
      console.log(`native: mode ${digit}, ${clocks.length} frames, exit status ${status}`);
      done(clocks);
    });
    show.stdin.end(`${digit}\n`);
  });
}

function framesPerSecond(clocks, {from, to}) {
  const inside = clocks.filter((t) => t > from && t < to);
  return inside.length < 2 ? null : (inside.length - 1) / (inside.at(-1) - inside[0]);
}

const columns = [];
const site = await serveFolders({'/': options.site});
try {
  for (const name of browsers) {
    for (const gentle of kinds) {
      columns.push({name: name + (gentle ? ' gentle' : ''),
        clocks: await browserClocks(site, name, gentle)});
    }
  }
} finally {
  await site.close();
}
for (const gentle of options.native ? kinds : []) {
  columns.push({name: `native${kinds.length > 1 ? ' portable' : ''}${gentle ? ' gentle' : ''}`,
    clocks: await nativeClocks(options.native, gentle)});
}

console.log(`\n| scene | ${columns.map(({name}) => `${name} frames/s`).join(' | ')} |`);
console.log(`|---|${columns.map(() => '---|').join('')}`);
for (const scene of scenes) {
  const cells = columns.map(({clocks}) => {
    const fps = framesPerSecond(clocks, scene);
    return fps === null ? 'too few frames' : fps.toFixed(1);
  });
  console.log(`| ${scene.name} (${scene.from}-${scene.to} s) | ${cells.join(' | ')} |`);
}
