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
  isTimeLine, launchBrowser, serveFolders, testArguments, waitFor, withLineWatcher,
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

// A release of the built page in a folder of its own, written out by the build's release.mjs,
// with the tests' line watcher in its page (so the worker's digests are those of the page as
// served; WebKit's driver has no other way to watch it). Release B has a hidden element added to
// its page and a comment to its program: a new release, its program at a new address, its music
// the same.
const releaseFiles = ['+dadadazo.js', '+dadadazo.wasm', '+tarmelipolkka.mp3',
  '+tarmelipolkka.loop.json', '+tarmelipolkka.wav', 'dadadazo.webmanifest', 'dadadazo-icon.webp',
  'dadadazo.png'];

function release(built, name) {
  const folder = mkdtempSync(join(tmpdir(), `dadadazo-release-${name}-`));
  for (const file of ['index.html', ...releaseFiles.map((entry) => entry.replace('+', ''))]) {
    cpSync(join(built, file), join(folder, file));
  }
  const page = join(folder, 'index.html');
  let html = withLineWatcher(readFileSync(page, 'utf8'));
  if (name === 'b') {
    html = html.replace('<body>', '<body><p id="release-b" hidden></p>');
    writeFileSync(join(folder, 'dadadazo.js'),
      `${readFileSync(join(folder, 'dadadazo.js'), 'utf8')}\n// release B\n`);
  }
  writeFileSync(page, html);
  const web = fileURLToPath(new URL('../../platform/web/', import.meta.url));
  execFileSync(process.execPath, [join(web, 'release.mjs'), join(web, 'service-worker.js'), page,
    '1.0.0', folder, ...releaseFiles]);
  return folder;
}

// Each test has its own server and relay, an origin (and so a worker and caches) of its own.
const servers = [];
const releases = {};
let browser;

async function cuttableSite() {
  const folders = {'/': releases.a};
  const site = await serveFolders(folders, [], {watch: false});
  const relay = await cuttableRelay(site.url);
  servers.push(site, {close: relay.cut});
  return {folders, relay};
}

before(async () => {
  releases.a = release(options.site, 'a');
  releases.b = release(options.site, 'b');
  browser = await launchBrowser(options.modules, {name: options.browser});
});

after(async () => {
  if (browser) await browser.close();
  for (const server of servers) await server.close();
  for (const folder of Object.values(releases)) rmSync(folder, {recursive: true, force: true});
});

const dataset = (tab, name) => tab.evaluate((key) => document.body.dataset[key] ?? null, name);
const waitForMenu = (tab) => waitFor(async () => (await tab.lines()).length >= 10, loadLimitMs,
  async () => `no menu: ${JSON.stringify(await tab.lines())}`);

async function playWithMusic(tab) {
  await waitForMenu(tab);
  await tab.press('8');
  await waitFor(() => dataset(tab, 'music'), loadLimitMs,
    async () => 'the music neither plays nor says why');
  assert.deepEqual([await dataset(tab, 'music'), await dataset(tab, 'musicFile')],
    ['playing', 'tarmelipolkka.mp3'], JSON.stringify(await tab.lines()));
  await waitFor(async () => (await tab.lines()).filter(([, t]) => isTimeLine(t)).length > 20,
    loadLimitMs, async () => 'the show draws no frames');
}

// Esc, and the show's end: status 0, no line from the page, no error.
async function endWithEscape(tab) {
  await tab.press('Escape');
  await waitFor(() => dataset(tab, 'exitStatus'), loadLimitMs, async () => 'no exit status');
  assert.equal(await dataset(tab, 'exitStatus'), '0');
  const lines = await tab.lines();
  assert.equal(lines.filter(([, t]) => t.startsWith('dadadazo:')).length, 0,
    JSON.stringify(lines));
  assert.deepEqual(await tab.errors(), []);
}

// Waits until the worker of the page's own release keeps all of it.
async function waitForKept(tab) {
  const wanted = ['index.html', 'dadadazo.js', 'dadadazo.wasm', 'tarmelipolkka.mp3',
    'tarmelipolkka.loop.json'];
  const kept = async () => ((await dataset(tab, 'kept')) || '').split(' ');
  await waitFor(async () => (await kept()).filter((f) => wanted.includes(f)).length === 5,
    loadLimitMs, async () => `kept: ${await kept()}`);
}

// The release's caches of the page's folder, as the page sees them.
function releaseCaches(tab) {
  return tab.evaluate(async () => (await caches.keys())
    .filter((name) => name.startsWith('dadadazo ')));
}

const isReleaseB = (tab) => tab.evaluate(() => Boolean(document.getElementById('release-b')));

// Whether a cache holds each of the page's own program and music (by their addresses).
const ownFilesKept = (tab) => tab.evaluate(async () => {
  const {files} = JSON.parse(document.getElementById('release-files').textContent);
  return Promise.all(['dadadazo.js', 'dadadazo.wasm', 'tarmelipolkka.mp3'].map(async (name) =>
    Boolean(await caches.match(new URL(files[name], location.href).href))));
});

test('a show played once plays again, with its music, once the network is gone', async () => {
  const {relay} = await cuttableSite();
  const tab = await browser.open(`${relay.url}index.html`);
  try {
    await playWithMusic(tab);
    await waitForKept(tab);
    await endWithEscape(tab);

    relay.cut();
    await tab.reload();
    await playWithMusic(tab);
    await endWithEscape(tab);
  } finally {
    await tab.close();
  }
});

test('a new release visited once online plays offline; a tab of the old one keeps its own',
  async (t) => {
    const {folders, relay} = await cuttableSite();
    const url = `${relay.url}index.html`;
    const tab = await browser.open(url);
    // WebKit's driver has one window: no second tab.
    const old = browser.browser ? await browser.open(url) : null;
    if (!old) t.diagnostic(`${browser.name}: one tab only, no old tab kept open`);
    try {
      await playWithMusic(tab);
      await waitForKept(tab);
      await endWithEscape(tab);
      const releaseA = await releaseCaches(tab);
      assert.equal(releaseA.length, 1, JSON.stringify(releaseA));
      if (old) await waitForMenu(old);

      // Release B on the server, visited once without playing, then no network.
      folders['/'] = releases.b;
      await tab.reload();
      assert.ok(await isReleaseB(tab), 'release B is not the one served');
      await waitForKept(tab);
      relay.cut();

      // The old tab still has release A's files, though B's worker has taken over.
      if (old) {
        assert.deepEqual(await ownFilesKept(old), [true, true, true]);
        assert.equal(await isReleaseB(old), false);
      }

      await tab.reload();
      assert.ok(await isReleaseB(tab), 'without a network, the page is not release B');
      await playWithMusic(tab);
      await endWithEscape(tab);
      if (old) {
        await playWithMusic(old);
        await endWithEscape(old);
        await old.close();
      }

      // Once no tab runs release A, its cache goes (when the page next speaks to the worker).
      await tab.reload();
      let seen = [];
      await waitFor(async () => (seen = await releaseCaches(tab)).length === 1, loadLimitMs,
        async () => `release caches: ${JSON.stringify(seen)}`);
      assert.notDeepEqual(seen, releaseA);
    } finally {
      await tab.close();
      if (old && !old.page.isClosed()) await old.close();
    }
  });
