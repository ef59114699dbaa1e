// What the web page's tests and its speed measurement share: a static file server on 127.0.0.1,
// the browsers (Chromium and Firefox) with WebGL 2, and a page watched line by line.
import {createRequire} from 'node:module';
import {mkdtempSync, readFileSync, rmSync, statSync} from 'node:fs';
import {createServer} from 'node:http';
import {tmpdir} from 'node:os';
import {extname, join, normalize, resolve, sep} from 'node:path';
import {gzipSync} from 'node:zlib';

const contentTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.wav': 'audio/wav',
  '.mp3': 'audio/mpeg',
  '.json': 'application/json',
  '.png': 'image/png',
};

// Serves `mounts` ({'/': folder, '/capture/': folder, ...}) on 127.0.0.1 at a free port. Paths
// listed in `missing` answer 404 even where the file exists. With `compress`, the page and the
// program go out gzip-compressed to a browser that takes that, as most web servers send them.
// Resolves to {url, close, served}: served() is how many bytes of files it has sent.
export function serveFolders(mounts, missing = [], {compress = false} = {}) {
  let served = 0;
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const prefix = Object.keys(mounts)
      .filter((mount) => path.startsWith(mount))
      .sort((a, b) => b.length - a.length)[0];
    let file = null;
    if (prefix !== undefined && !missing.includes(path)) {
      const root = resolve(mounts[prefix]);
      const candidate = normalize(join(root, path.slice(prefix.length) || 'index.html'));
      if (candidate.startsWith(root + sep)) {
        try {
          if (statSync(candidate).isFile()) file = candidate;
        } catch {
          file = null;
        }
      }
    }
    if (file === null) {
      response.writeHead(404, {'Content-Type': 'text/plain'});
      response.end('not found');
      return;
    }
    const headers = {
      'Content-Type': contentTypes[extname(file)] || 'application/octet-stream',
      'Cache-Control': 'no-store',
    };
    let bytes = readFileSync(file);
    if (compress && ['.html', '.js', '.wasm', '.json'].includes(extname(file)) &&
        /\bgzip\b/.test(request.headers['accept-encoding'] || '')) {
      bytes = gzipSync(bytes, {level: 9});
      headers['Content-Encoding'] = 'gzip';
    }
    response.writeHead(200, headers);
    served += bytes.length;
    response.end(bytes);
  });
  return new Promise((done, failed) => {
    server.once('error', failed);
    server.listen(0, '127.0.0.1', () => {
      done({
        url: `http://127.0.0.1:${server.address().port}/`,
        close: () => new Promise((closed) => server.close(closed)),
        served: () => served,
      });
    });
  });
}

// The browsers the page is tested in: Debian's Chromium headless (WebGL 2 through SwiftShader)
// and Debian's Firefox ESR over WebDriver BiDi. Headless Firefox offers no WebGL 2, so Firefox
// runs with a window on the X server in $DISPLAY (web_test.sh starts one of its own).
export const browserNames = ['chromium', 'firefox'];

// Starts `name` (see browserNames) with a fresh profile and nothing reaching the network.
// `modules` is the node_modules folder holding puppeteer-core. `withoutWebGl` starts one whose
// canvases get no WebGL context at all.
export async function launchBrowser(modules, {name = 'chromium', withoutWebGl = false} = {}) {
  const require = createRequire(join(resolve(modules), 'package.json'));
  const puppeteer = require('puppeteer-core');
  const viewport = {width: 2100, height: 1400};
  if (name === 'firefox') {
    if (!process.env.DISPLAY) throw new Error('Firefox needs an X server: DISPLAY is not set');
    const browser = await puppeteer.launch({
      browser: 'firefox',
      executablePath: process.env.DADADAZO_FIREFOX || '/usr/bin/firefox-esr',
      headless: false,
      protocolTimeout: 600000,
      defaultViewport: viewport,
      extraPrefsFirefox: {
        // Sound may start without a gesture the page can see through WebDriver.
        'media.autoplay.default': 0,
        'media.autoplay.blocking_policy': 0,
        'full-screen-api.warning.timeout': 0,
        'full-screen-api.transition-duration.enter': '0 0',
        'full-screen-api.transition-duration.leave': '0 0',
        'webgl.disabled': withoutWebGl,
        'webgl.force-enabled': !withoutWebGl,
        'browser.shell.checkDefaultBrowser': false,
        'app.update.enabled': false,
      },
    });
    return {browser, name, close: () => browser.close()};
  }
  if (name !== 'chromium') throw new Error(`unknown browser ${name} (${browserNames.join(', ')})`);
  const profile = mkdtempSync(join(tmpdir(), 'dadadazo-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.DADADAZO_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    protocolTimeout: 600000,
    args: [
      '--headless', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--no-first-run', '--disable-background-timer-throttling',
      '--disable-renderer-backgrounding', '--disable-backgrounding-occluded-windows',
      '--window-size=2200,1500', `--user-data-dir=${profile}`,
      ...(withoutWebGl ? ['--disable-webgl'] : []),
    ],
    defaultViewport: viewport,
  });
  return {
    browser,
    name,
    close: async () => {
      await browser.close();
      rmSync(profile, {recursive: true, force: true});
    },
  };
}

// Opens `url` in a new tab and records every line the page prints, with the time it arrived
// (performance.now() in the page, milliseconds). Page errors are kept too. `prepare(page)` runs
// before the page is loaded; `waitUntil` is puppeteer's (the page's load event by default).
export async function openWatched(browser, url, {prepare = null, waitUntil = 'load'} = {}) {
  const page = await browser.newPage();
  if (prepare) await prepare(page);
  const watched = {page, errors: []};
  page.on('pageerror', (error) => watched.errors.push(String(error)));
  await page.evaluateOnNewDocument(() => {
    window.dadadazoSeen = [];
    document.addEventListener('dadadazo:line', (event) => {
      window.dadadazoSeen.push([performance.now(), event.detail]);
    });
  });
  await page.goto(url, {waitUntil});
  return watched;
}

// Every line printed so far as [time ms, text].
export function seenLines(page) {
  return page.evaluate(() => window.dadadazoSeen.slice());
}

// A time line: "%f." of the scene clock ("12.345000.").
export function isTimeLine(text) {
  return /^[0-9]+\.[0-9]{6}\.$/.test(text);
}

// Polls `check` (an async function returning a truthy value when done) every 50 ms, for at most
// `limitMs`; on time-out throws with `describe()` saying what was seen.
export async function waitFor(check, limitMs, describe) {
  const start = Date.now();
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() - start > limitMs) {
      throw new Error(`waited ${((Date.now() - start) / 1000).toFixed(1)} s: ${await describe()}`);
    }
    await new Promise((wake) => setTimeout(wake, 50));
  }
}

export function sleep(ms) {
  return new Promise((wake) => setTimeout(wake, ms));
}

// The command line every web test takes: --site FOLDER (the built page), --modules FOLDER
// (node_modules with puppeteer-core), --browser chromium|firefox (Chromium when not given) and
// whatever else the test names ("--capture TOOL").
export function testArguments(argv = process.argv.slice(2)) {
  const options = {};
  for (let i = 0; i < argv.length; i += 2) {
    if (!argv[i].startsWith('--') || i + 1 >= argv.length) {
      throw new Error(`expected --NAME VALUE pairs, got ${argv.slice(i).join(' ')}`);
    }
    options[argv[i].slice(2)] = argv[i + 1];
  }
  for (const needed of ['site', 'modules']) {
    if (!options[needed]) throw new Error(`--${needed} FOLDER is missing`);
  }
  options.browser = options.browser || 'chromium';
  if (!browserNames.includes(options.browser)) {
    throw new Error(`--browser takes ${browserNames.join(' or ')}, not ${options.browser}`);
  }
  return options;
}

// What the page's canvas holds now: its size, how many pixels are not black, and a checksum
// of every pixel (to see whether it still changes).
export function canvasSummary(page) {
  return page.evaluate(() => {
    const screen = document.getElementById('screen');
    const copy = document.createElement('canvas');
    copy.width = screen.width;
    copy.height = screen.height;
    const context = copy.getContext('2d');
    context.drawImage(screen, 0, 0);
    const pixels = context.getImageData(0, 0, copy.width, copy.height).data;
    let lit = 0;
    let sum = 0;
    for (let i = 0; i < pixels.length; i += 4) {
      if (pixels[i] || pixels[i + 1] || pixels[i + 2]) lit++;
      sum = (sum * 31 + pixels[i] + pixels[i + 1] * 7 + pixels[i + 2] * 13) % 2147483647;
    }
    return {width: screen.width, height: screen.height, lit, sum};
  });
}
