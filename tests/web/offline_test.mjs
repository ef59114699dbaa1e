// The show without a network: one visit that plays it, then the network cut, then a reload that
// plays it again, with its music, from what the service worker kept; and the same across a new
// release, with a tab of the old one left open. The server lets no browser cache keep a file
// (Cache-Control: no-store, as a host sending no-cache would have it): only the worker keeps.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {cpSync, mkdtempSync, readFileSync, rmSync, writeFileSync} from 'node:fs';
import {createServer, connect} from 'node:net';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {fileURLToPath} from 'node:url';
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
  let down = false;
  const relay = createServer((client) => {
    if (down) {
      client.destroy();
      return;
    }
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
      down = true;
      for (const socket of sockets) socket.destroy();
    },
    close: () => {
      down = true;
      relay.close();
      for (const socket of sockets) socket.destroy();
    },
  })));
}

// Release B: release A's folder with a hidden element added to its page and a comment to its
// program, written out by the build's own release.mjs (a new release, the program at a new
// address; the music the same).
const releaseFiles = ['+dadadazo.js', '+dadadazo.wasm', '+tarmelipolkka.mp3',
  '+tarmelipolkka.loop.json', '+tarmelipolkka.wav', 'dadadazo.webmanifest', 'dadadazo-icon.webp',
  'dadadazo.png'];

function releaseAfter(siteA) {
  const folder = mkdtempSync(join(tmpdir(), 'dadadazo-release-b-'));
  for (const file of ['index.html', ...releaseFiles.map((entry) => entry.replace('+', ''))]) {
    cpSync(join(siteA, file), join(folder, file));
  }
  const page = join(folder, 'index.html');
  writeFileSync(page, readFileSync(page, 'utf8').replace('<body>',
    '<body><p id="release-b" hidden></p>'));
  writeFileSync(join(folder, 'dadadazo.js'),
    `${readFileSync(join(folder, 'dadadazo.js'), 'utf8')}\n// release B\n`);
  const web = fileURLToPath(new URL('../../platform/web/', import.meta.url));
  execFileSync(process.execPath, [join(web, 'release.mjs'), join(web, 'service-worker.js'), page,
    '1.0.0', folder, ...releaseFiles]);
  return folder;
}

// The page as it is: the worker keeps only files whose digest is the release's, so the line
// watcher comes through openWatched instead of the server. Each test has its own server and
// relay, an origin (and so a worker and caches) of its own.
const servers = [];
let releaseB;
let browser;

async function cuttableSite() {
  const folders = {'/': options.site};
  const site = await serveFolders(folders, [], {watch: false});
  const relay = await cuttableRelay(site.url);
  servers.push(site, relay);
  return {folders, relay};
}

before(async () => {
  releaseB = releaseAfter(options.site);
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  for (const server of servers) await server.close();
  if (releaseB) rmSync(releaseB, {recursive: true, force: true});
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

// Esc, and the show's end: status 0, no line from the page, no error.
async function endWithEscape(watched) {
  const {page} = watched;
  await page.keyboard.press('Escape');
  await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), loadLimitMs,
    async () => 'no exit status');
  assert.equal(await page.evaluate(() => document.body.dataset.exitStatus), '0');
  assert.equal((await seenLines(page)).filter(([, t]) => t.startsWith('dadadazo:')).length, 0,
    JSON.stringify(await seenLines(page)));
  assert.deepEqual(watched.errors, []);
}

// Waits until the worker of the page's own release keeps all of it.
async function waitForKept(page) {
  const wanted = ['index.html', 'dadadazo.js', 'dadadazo.wasm', 'tarmelipolkka.mp3',
    'tarmelipolkka.loop.json'];
  const kept = () => page.evaluate(() => (document.body.dataset.kept || '').split(' '));
  await waitFor(async () => {
    const files = await kept();
    return wanted.every((file) => files.includes(file));
  }, loadLimitMs, async () => `kept: ${await kept()}`);
}

// The release's caches of the page's folder, as the page sees them.
function releaseCaches(page) {
  return page.evaluate(async () => (await caches.keys())
    .filter((name) => name.startsWith('dadadazo ')));
}

test('a show played once plays again, with its music, once the network is gone', async () => {
  const {relay} = await cuttableSite();
  const watched = await openWatched(browser.browser, `${relay.url}index.html`);
  const {page} = watched;
  try {
    await playWithMusicAndEnd(page);
    await waitForKept(page);
    await endWithEscape(watched);

    relay.cut();
    await page.reload({waitUntil: 'load'});
    await playWithMusicAndEnd(page);
    await endWithEscape(watched);
  } finally {
    await page.close();
  }
});

test('a new release visited once online plays offline; a tab of the old one keeps its own',
  async () => {
    const {folders, relay} = await cuttableSite();
    const url = `${relay.url}index.html`;
    const watched = await openWatched(browser.browser, url);
    const {page} = watched;
    const old = await openWatched(browser.browser, url);
    try {
      await playWithMusicAndEnd(page);
      await waitForKept(page);
      await endWithEscape(watched);
      const releaseA = await releaseCaches(page);
      assert.equal(releaseA.length, 1, JSON.stringify(releaseA));
      await waitFor(async () => (await seenLines(old.page)).length >= 10, loadLimitMs,
        async () => `no menu in the old tab: ${JSON.stringify(await seenLines(old.page))}`);

      // Release B on the server, visited once without playing, then no network.
      folders['/'] = releaseB;
      await page.reload({waitUntil: 'load'});
      assert.ok(await page.$('#release-b'), 'release B is not the one served');
      await waitForKept(page);
      relay.cut();

      // The old tab still has release A's files, though B's worker has taken over.
      const ownFiles = () => {
        const {files} = JSON.parse(document.getElementById('release-files').textContent);
        return Promise.all(['dadadazo.js', 'dadadazo.wasm', 'tarmelipolkka.mp3',
          'tarmelipolkka.loop.json'].map(async (name) =>
          [files[name], Boolean(await caches.match(new URL(files[name], location.href).href))]));
      };
      const oldFiles = await old.page.evaluate(ownFiles);
      const newFiles = await page.evaluate(ownFiles);
      assert.notEqual(oldFiles[0][0], newFiles[0][0], 'both releases load the same program');
      assert.ok(oldFiles.every(([, kept]) => kept), `the old tab's release: ${oldFiles}`);
      assert.ok(await old.page.evaluate(() => !document.getElementById('release-b')));

      await page.reload({waitUntil: 'load'});
      assert.ok(await page.$('#release-b'), 'without a network, the page is not release B');
      await playWithMusicAndEnd(page);
      await endWithEscape(watched);
      await playWithMusicAndEnd(old.page);
      await endWithEscape(old);

      // Once the old tab is gone, so is its release's cache (when the page next speaks).
      await old.page.close();
      await page.reload({waitUntil: 'load'});
      let seen = [];
      await waitFor(async () => (seen = await releaseCaches(page)).length === 1, loadLimitMs,
        async () => `release caches: ${JSON.stringify(seen)}`);
      assert.notDeepEqual(seen, releaseA);
    } finally {
      await page.close();
      if (!old.page.isClosed()) await old.page.close();
    }
  });
