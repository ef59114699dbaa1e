// The show without a network: this release's files, kept in a cache of its own once a visit has
// fetched them, and served from there when the network is gone (the page, here; the page takes
// the others from the same cache). The build writes in the
// release's name (its version and a digest of its files) and each file's SHA-256; a release's
// cache holds only files with those digests, so no visitor runs a mix of two releases, and a
// new release replaces the cache whole.
'use strict';

const release = '@RELEASE@';
const digests = new Map(Object.entries(JSON.parse('@DIGESTS@')));

// Where the page lies: its folder names the caches of every release of this copy of the page.
const scope = new URL('./', self.location.href);
const cachePrefix = `dadadazo ${scope.pathname} `;
const cacheName = cachePrefix + release;

// The release's file that `url` names ("index.html" for the folder itself), or null.
function fileOf(url) {
  const address = new URL(url);
  if (address.origin !== scope.origin || !address.pathname.startsWith(scope.pathname)) {
    return null;
  }
  const name = address.pathname.slice(scope.pathname.length) || 'index.html';
  return digests.has(name) ? name : null;
}

async function digestOf(bytes) {
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return Array.from(digest, (byte) => byte.toString(16).padStart(2, '0')).join('');
}

// Keeps `bytes` as `name` if they are this release's; says whether it did.
async function keep(name, bytes, type) {
  if (digests.get(name) !== await digestOf(bytes)) return false;
  const cache = await caches.open(cacheName);
  await cache.put(new URL(name, scope).href,
    new Response(bytes, {headers: {'Content-Type': type || 'application/octet-stream'}}));
  return true;
}

async function kept() {
  const cache = await caches.open(cacheName);
  return (await cache.keys()).map((request) => fileOf(request.url)).filter(Boolean).sort();
}

async function isKept(name) {
  const cache = await caches.open(cacheName);
  return (await cache.match(new URL(name, scope).href)) !== undefined;
}

// The page cannot hand over its own bytes: the one file fetched here, from the browser's cache
// where the server lets it keep the page.
async function keepPage() {
  for (const cache of ['force-cache', 'no-cache']) {
    try {
      const response = await fetch(new Request(new URL('index.html', scope).href, {cache}));
      if (response.ok &&
          await keep('index.html', await response.arrayBuffer(),
            response.headers.get('Content-Type'))) {
        return;
      }
    } catch {
      return; // no network: the next visit keeps it
    }
  }
}

self.addEventListener('install', (event) => {
  self.skipWaiting();
  event.waitUntil(keepPage());
});

// Earlier releases' caches go; the pages open now are served from this one.
self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith(cachePrefix) && name !== cacheName) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

// What the page fetched itself: {file, bytes, type}. Every message is answered with the files
// kept so far.
self.addEventListener('message', (event) => {
  const {file, bytes, type} = event.data || {};
  event.waitUntil((async () => {
    if (typeof file === 'string' && digests.has(file) && bytes instanceof ArrayBuffer &&
        !await isKept(file)) {
      await keep(file, bytes, type);
    }
    if (event.source) event.source.postMessage({kept: await kept()});
  })());
});

// The page: from the network first, kept (once) when it is this release's; without a network,
// the kept copy. The page fetches the other files itself and falls back on this cache in the
// same way (so a page's own requests stay the page's, as any tool watching them expects).
async function fromNetworkOrKept(event) {
  try {
    const response = await fetch(event.request);
    if (response.status === 200) {
      const copy = response.clone();
      event.waitUntil((async () => {
        if (!await isKept('index.html')) {
          await keep('index.html', await copy.arrayBuffer(), copy.headers.get('Content-Type'));
        }
      })().catch(() => {}));
    }
    return response;
  } catch (error) {
    const cache = await caches.open(cacheName);
    const copy = await cache.match(new URL('index.html', scope).href);
    if (copy) return copy;
    throw error;
  }
}

self.addEventListener('fetch', (event) => {
  const {request} = event;
  if (request.method === 'GET' && request.mode === 'navigate' &&
      fileOf(request.url) === 'index.html') {
    event.respondWith(fromNetworkOrKept(event));
  }
});
