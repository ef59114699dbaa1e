// What a visitor on a slow connection waits for and fetches: headless Chromium with its network
// held to one of puppeteer's predefined conditions ("Fast 3G" by default), a fresh profile (no
// cache). Prints the time from the start of the page's load until the program asks for its
// key (its menu's last line), and every byte the page fetched for a whole show in mode 8: once
// from a plain static file server, once from one that gzips the page and the program.
//
//   node bench/web/load.mjs --site FOLDER --modules FOLDER [--network "Fast 3G"]
import {createRequire} from 'node:module';
import {join, resolve} from 'node:path';

import {
  launchBrowser, openWatched, seenLines, serveFolders, testArguments, waitFor,
} from '../../tests/web/browser.mjs';

const options = testArguments();
const network = options.network || 'Fast 3G';
const {PredefinedNetworkConditions} =
  createRequire(join(resolve(options.modules), 'package.json'))('puppeteer-core');
if (!PredefinedNetworkConditions[network]) {
  throw new Error(`--network takes one of ${Object.keys(PredefinedNetworkConditions).join(', ')}`);
}

async function visit(compress) {
  // The page as it is, without the tests' line watcher (puppeteer's tab adds that itself).
  const site = await serveFolders({'/': options.site}, [], {compress, watch: false});
  const chromium = await launchBrowser(options.modules);
  try {
    const requested = [];
    const {page, errors} = await openWatched(chromium.browser, `${site.url}index.html`, {
      prepare: async (tab) => {
        await tab.emulateNetworkConditions(PredefinedNetworkConditions[network]);
        tab.on('request', (request) => requested.push(new URL(request.url()).pathname));
      },
    });
    const menu = await waitFor(async () => {
      const lines = await seenLines(page);
      return lines.length >= 10 ? lines : null;
    }, 120000, async () => 'no menu');
    const keyAtMs = menu[9][0];
    await page.keyboard.press('8');
    await waitFor(() => page.evaluate(() => document.body.dataset.exitStatus), 180000,
      async () => 'the show does not end');
    const music = await page.evaluate(() => document.body.dataset.musicFile || 'none');
    console.log(`${network}, ${compress ? 'gzip-compressing' : 'plain'} server: the page takes ` +
      `a key ${(keyAtMs / 1000).toFixed(2)} s after its load began; a whole show fetched ` +
      `${(site.served() / 1e6).toFixed(3)} MB (${requested.join(', ')}; music ${music})` +
      (errors.length ? `; page errors: ${errors.join('; ')}` : ''));
  } finally {
    await chromium.close();
    await site.close();
  }
}

await visit(false);
await visit(true);
