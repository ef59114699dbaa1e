// The show without a network: one visit that plays it, then the network cut, then a reload that
// plays it again, with its music, from what the service worker kept.
import assert from 'node:assert/strict';
import {createServer, connect} from 'node:net';
import {after, before, test} from 'node:test';

import {
  isTimeLine, launchBrowser, openWatched, seenLines, serveFolders, testArguments, waitFor,
} from './browser.mjs';

const options = testArguments();
const loadLimitMs = 60000;

// The site behind a relay that can be cut: cut() ends every connection and refuses new ones,
// as a lost network does (the browser may keep connections open, so stopping the server
// alone would not do).
function cuttableRelay(siteUrl) {
  const target = new URL(siteUrl);
  const sockets = new Set();
  const relay = createServer((client) => {
    const upstream = connect(Number(target.port), target.hostname);
    for (const socket of [client, upstream]) {
      sockets.add(socket);
      socket.on('error', () => socket.destroy());
      socket.on('close', () => sockets.delete(socket));
    }
    client.pipe(upstream).pipe(client);
  });
  return new Promise((done) => relay.listen(0, '127.0.0.1', () => done({
    url: `http://127.0.0.1:${relay.address().port}/`,
    cut: () => {
      relay.close();
      for (const socket of sockets) socket.destroy();
    },
  })));
}

let site;
let relay;
let browser;

before(async () => {
  // The page as it is: the worker keeps only files whose digest is the release's, so the line
  // watcher comes through openWatched instead of the server.
  site = await serveFolders({'/': options.site}, [], {watch: false});
  relay = await cuttableRelay(site.url);
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  if (relay) relay.cut();
  if (site) await site.close();
});

async function playWithMusicAndEnd(page) {
  await waitFor(async () => (await seenLines(page)).length >= 10, loadLimitMs,
    async () => `no menu: ${JSON.stringify(await seenLines(page))}`);
  await page.keyboard.press('8');
  await waitFor(() => page.evaluate(() => document.body.dataset.music), loadLimitMs,
    async () => 'the music neither plays nor says why');
  assert.deepEqual(await page.evaluate(() => [document.body.dataset.music,
    document.body.dataset.musicFile]), ['playing', 'tarmelipolkka.mp3'],
  JSON.stringify(await seenLines(page)));
  await waitFor(async () => (await seenLines(page)).filter(([, t]) => isTimeLine(t)).length > 20,
    loadLimitMs, async () => 'the show draws no frames');
}

test('a show played once plays again, with its music, once the network is gone', async () => {
  const watched = await openWatched(browser.browser, `${relay.url}index.html`);
  const {page} = watched;
  try {
    await playWithMusicAndEnd(page);
    const wanted = ['index.html', 'dadadazo.js', 'dadadazo.wasm', 'tarmelipolkka.mp3',
      'tarmelipolkka.loop.json'];
    const kept = () => page.evaluate(() => (document.body.dataset.kept || '').split(' '));
    await waitFor(async () => {
      const files = await kept();
      return wanted.every((file) => files.includes(file));
    },
      loadLimitMs, async () => `kept: ${await kept()}`);
    await page.keyboard.press('Escape');
    await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), loadLimitMs,
      async () => 'no exit status');

    relay.cut();
    await page.reload({waitUntil: 'load'});
    await playWithMusicAndEnd(page);
    await page.keyboard.press('Escape');
    await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), loadLimitMs,
      async () => 'no exit status');
    assert.equal(await page.evaluate(() => document.body.dataset.exitStatus), '0');
    assert.equal((await seenLines(page)).filter(([, t]) => t.startsWith('dadadazo:')).length, 0,
      JSON.stringify(await seenLines(page)));
    assert.deepEqual(watched.errors, []);
  } finally {
    await page.close();
  }
});
