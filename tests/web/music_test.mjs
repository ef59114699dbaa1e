// The page's light music (the MP3 the build made of the polka) against the WAV it was made
// from, decoded by the browser itself: the loop the page plays is one period long, to the
// millisecond, and the samples on both sides of its seam are the WAV's, as closely as the codec
// allows. Without the MP3, the loop is the WAV's own.
import assert from 'node:assert/strict';
import {after, before, test} from 'node:test';

import {launchBrowser, openWatched, serveFolders, testArguments, waitFor} from './browser.mjs';

const options = testArguments();

// Samples compared on each side of the seam, and how far the codec may take them from the
// WAV's: the root mean square of the difference, against that of the WAV's samples there.
const seamFrames = 2048;
const relativeErrorAllowed = 0.08;

let site;
let siteWithoutMp3;
let browser;

before(async () => {
  site = await serveFolders({'/': options.site});
  siteWithoutMp3 = await serveFolders({'/': options.site}, ['/tarmelipolkka.mp3']);
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  if (site) await site.close();
  if (siteWithoutMp3) await siteWithoutMp3.close();
});

// Loads the loop as the page would play it, and compares it in the page with the WAV's samples.
async function loopAgainstWav(server) {
  const {page, errors} = await openWatched(browser.browser, `${server.url}index.html`);
  try {
    await waitFor(() => page.evaluate(() => Boolean(window.Module && Module.page)), 60000,
      async () => 'the page has no program object');
    const result = await page.evaluate(async (seamFrames) => {
      const context = new AudioContext({sampleRate: 44100});
      const {buffer, file} = await Module.page.loadMusic(context, 'tarmelipolkka.wav');
      // The WAV's 16-bit samples, straight from its data chunk.
      const bytes = new DataView(await (await fetch('tarmelipolkka.wav')).arrayBuffer());
      let at = 12;
      while (String.fromCharCode(...[0, 1, 2, 3].map((i) => bytes.getUint8(at + i))) !== 'data') {
        at += 8 + bytes.getUint32(at + 4, true);
      }
      const channels = bytes.getUint16(22, true);
      const wavFrames = bytes.getUint32(at + 4, true) / (2 * channels);
      const wavSample = (frame, channel) =>
        bytes.getInt16(at + 8 + 2 * (frame * channels + channel), true) / 32768;
      // Both sides of the seam: the loop's last frames, then its first ones.
      const seam = [];
      for (let i = -seamFrames; i < seamFrames; i++) seam.push((i + wavFrames) % wavFrames);
      const worst = [];
      for (let channel = 0; channel < Math.min(channels, buffer.numberOfChannels); channel++) {
        const samples = buffer.getChannelData(channel);
        let error = 0;
        let energy = 0;
        for (const frame of seam) {
          const wanted = wavSample(frame, channel);
          error += (samples[frame] - wanted) ** 2;
          energy += wanted ** 2;
        }
        worst.push(Math.sqrt(error / energy));
      }
      await context.close();
      return {file, frames: buffer.length, rate: buffer.sampleRate, wavFrames,
        wavRate: bytes.getUint32(24, true), relativeErrors: worst};
    }, seamFrames);
    assert.deepEqual(errors, []);
    return result;
  } finally {
    await page.close();
  }
}

test(`${options.browser}: the MP3 loops as the WAV does, seam and length`, async (t) => {
  const loop = await loopAgainstWav(site);
  t.diagnostic(JSON.stringify(loop));
  assert.equal(loop.file, 'tarmelipolkka.mp3');
  assert.equal(loop.rate, loop.wavRate, 'decoded at another rate than asked for');
  assert.ok(Math.abs(loop.frames - loop.wavFrames) / loop.wavRate <= 0.001,
    `the loop is ${loop.frames} frames, the WAV ${loop.wavFrames}`);
  for (const error of loop.relativeErrors) {
    assert.ok(error <= relativeErrorAllowed, `the seam's samples are ${error.toFixed(3)} off ` +
      `(root mean square against the WAV's, ${relativeErrorAllowed} allowed)`);
  }
});

test(`${options.browser}: without the MP3 the WAV loops`, async () => {
  const loop = await loopAgainstWav(siteWithoutMp3);
  assert.equal(loop.file, 'tarmelipolkka.wav');
  assert.equal(loop.frames, loop.wavFrames);
  assert.deepEqual(loop.relativeErrors.map((error) => error < 1e-4), [true, true]);
});
