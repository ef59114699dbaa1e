// The show without a network: this release's files, kept whole in a cache of its own, and the
// page served from there when the network is gone or too slow. The build writes in the
// release's name (its version and a digest of its files; the page carries it too) and, for each
// file, its address (the program and the music carry their digest in a query, so two releases
// never share one), its SHA-256 and whether it is kept. The release is kept in `install`, every
// file checked against its digest: a file that cannot be had fails the install, and the release
// already kept stays in charge. Earlier releases' caches go only once this one is complete, and
// not while a page of theirs is open.
'use strict';

const release = '@RELEASE@';
// name -> [address beside the page, SHA-256, kept offline]
const files = JSON.parse('@FILES@');

// Where the page lies: its folder names the caches of every release of this copy of the page.
const scope = new URL('./', self.location.href);
const cachePrefix = `dadadazo ${scope.pathname} `;
const cacheName = cachePrefix + release;
const keptNames = Object.keys(files).filter((name) => files[name][2]);

// How long the worker waits for bytes the page hands over before fetching a file itself (the
// page fetches the music once a mode is chosen), for each file it fetches, and for the page from
// the network before it serves its kept copy.
const handOverWaitMs = 10000;
const fetchLimitMs = 60000;
const pageWaitMs = 4000;

const addressOf = (name) => new URL(files[name][0], scope).href;

async function digestOf(bytes) {
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return Array.from(digest, (byte) => byte.toString(16).padStart(2, '0')).join('');
}

// What the page hands over, once checked: name -> {promise of its bytes and type, arrived(),
// coming: whether the page has said it is fetching it}.
const handed = new Map();
function handedFile(name) {
  if (!handed.has(name)) {
    let arrived;
    handed.set(name,
      {promise: new Promise((resolve) => (arrived = resolve)), arrived, coming: false});
  }
  return handed.get(name);
}
const after = (ms) => new Promise((resolve) => setTimeout(resolve, ms, null));

// One file of the release from the browser's cache where it holds this release's bytes, else
// from the network; rejects with a message naming the file.
async function fetchChecked(name) {
  // The page's address is the same in every release: only the server knows the current page.
  const modes = name === 'index.html' ? ['no-cache'] : ['force-cache', 'no-cache'];
  let why = '';
  for (const cache of modes) {
    try {
      const response = await fetch(addressOf(name),
        {cache, signal: AbortSignal.timeout(fetchLimitMs)});
      if (!response.ok) {
        why = `HTTP ${response.status}`;
        continue;
      }
      const bytes = await response.arrayBuffer();
      if (await digestOf(bytes) === files[name][1]) {
        return {bytes, type: response.headers.get('Content-Type')};
      }
      why = 'not the bytes of this release';
    } catch (error) {
      why = error.message;
    }
  }
  throw new Error(`${name}: ${why}`);
}

// One file: the page's copy if it hands one over soon (or, once it has said it is fetching it,
// within the time a fetch may take), else fetched here.
async function oneFile(name) {
  const entry = handedFile(name);
  // The page never has its own bytes to hand over.
  const soon = name !== 'index.html' && await Promise.race([entry.promise, after(handOverWaitMs)]);
  if (soon) return soon;
  const late = entry.coming && await Promise.race([entry.promise, after(fetchLimitMs)]);
  return late || fetchChecked(name);
}

// The whole release, or nothing: every file is had and checked before the first is stored, and
// a cache left half-written by an install that stopped is emptied first.
async function keepRelease() {
  const got = await Promise.all(keptNames.map(oneFile));
  await caches.delete(cacheName);
  const cache = await caches.open(cacheName);
  try {
    await Promise.all(keptNames.map((name, i) => cache.put(addressOf(name), new Response(
      got[i].bytes, {headers: {'Content-Type': got[i].type || 'application/octet-stream'}}))));
  } catch (error) {
    await caches.delete(cacheName);
    throw error;
  }
}

self.addEventListener('install', (event) => {
  event.waitUntil(keepRelease().then(() => self.skipWaiting()));
});

// Navigation preload starts the page's request while the worker starts. Firefox (153 seen here)
// ends a navigation whose preload fails without a network with its own error page, whatever
// the worker answers: there the worker asks the network itself.
const preloadBreaksOffline = /\bFirefox\//.test(self.navigator.userAgent);

// The release each open page runs (client id -> release), as the pages say in every message:
// when they start, and when a new worker takes them over. Lost when the browser stops the
// worker; until every open page has spoken again, no earlier release's cache goes.
const pagesReleases = new Map();

// Whether this worker is the one in charge (Firefox gives a worker no object of its own).
function isActive() {
  if (self.serviceWorker) return self.serviceWorker.state === 'activated';
  const {installing, waiting, active} = self.registration;
  return Boolean(active) && !installing && !waiting;
}

// Earlier releases' caches that no open page runs on.
async function dropEarlierReleases() {
  const open = await self.clients.matchAll({type: 'window', includeUncontrolled: true});
  const ids = new Set(open.map((client) => client.id));
  for (const id of pagesReleases.keys()) if (!ids.has(id)) pagesReleases.delete(id);
  if (open.some((client) => !pagesReleases.has(client.id))) return;
  const needed = new Set(open.map((client) => cachePrefix + pagesReleases.get(client.id)));
  for (const name of await caches.keys()) {
    if (name.startsWith(cachePrefix) && name !== cacheName && !needed.has(name)) {
      await caches.delete(name);
    }
  }
}

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    const preload = self.registration.navigationPreload;
    if (preload) await (preloadBreaksOffline ? preload.disable() : preload.enable());
    await self.clients.claim();
    await dropEarlierReleases();
  })());
});

// The files of this release kept so far (all of them, or none while it is being kept).
async function kept() {
  if (!await caches.has(cacheName)) return [];
  const cache = await caches.open(cacheName);
  const addresses = new Set((await cache.keys()).map((request) => request.url));
  return keptNames.filter((name) => addresses.has(addressOf(name)));
}

// The page's messages: {release} says which release it runs; with {coming: file} that it is
// fetching that file; with {file, bytes, type} it hands over a file it fetched itself, taken
// only when the page runs this release and the bytes are the file's. Each is answered with this
// worker's release and the files it keeps, {release, kept}: the page reads only its own
// release's answer.
async function received(message, source) {
  const {release: pages, coming, file, bytes, type} = message || {};
  if (typeof pages !== 'string') return;
  if (source) pagesReleases.set(source.id, pages);
  if (pages === release && typeof coming === 'string' && files[coming]) {
    handedFile(coming).coming = true;
  }
  if (pages === release && typeof file === 'string' && files[file] && files[file][2] &&
      bytes instanceof ArrayBuffer && await digestOf(bytes) === files[file][1]) {
    handedFile(file).arrived({bytes, type});
  }
  if (source) source.postMessage({release, kept: await kept()});
  if (isActive()) await dropEarlierReleases();
}

self.addEventListener('message', (event) => {
  event.waitUntil(received(event.data, event.source).catch(() => {}));
});

// The page: from the network (asked for while the worker starts, where the browser preloads
// navigations), or the kept copy where the network fails or has not answered within a few
// seconds; then whichever comes.
async function networkOrKept(event) {
  const network = (async () => (await event.preloadResponse) || fetch(event.request))();
  event.waitUntil(network.catch(() => {}));
  const late = new Promise((resolve) => setTimeout(resolve, pageWaitMs, null));
  try {
    const response = await Promise.race([network, late]);
    if (response) return response;
  } catch {
    // no network: the kept copy
  }
  const copy = await caches.match(addressOf('index.html'), {cacheName});
  return copy || network;
}

self.addEventListener('fetch', (event) => {
  const {request} = event;
  if (request.method !== 'GET' || request.mode !== 'navigate') return;
  const address = new URL(request.url);
  address.search = '';
  address.hash = '';
  if (address.href === scope.href || address.href === addressOf('index.html')) {
    event.respondWith(networkOrKept(event));
  }
});
