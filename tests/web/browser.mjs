// What the web page's tests and its speed measurement share: a static file server on 127.0.0.1,
// the browsers (Chromium, Firefox, WebKit) with WebGL 2, and one small session interface over
// them (launchBrowser's open(): a tab that evaluates, presses keys, clicks, taps, reads an
// element's pixels, and records the page's lines), with puppeteer-core behind Chromium and
// Firefox and selenium-webdriver (classic W3C WebDriver) behind WebKitGTK's MiniBrowser.
import {spawn} from 'node:child_process';
import {createRequire} from 'node:module';
import {existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, statSync} from 'node:fs';
import {createServer} from 'node:http';
import {tmpdir} from 'node:os';
import {extname, join, normalize, resolve, sep} from 'node:path';
import {gzipSync} from 'node:zlib';

// Records every line the page prints as [performance.now() ms, text], and its uncaught errors,
// from before the page's own scripts run. The server puts it at the top of every page it serves
// (WebDriver classic has no way to run a script before a page's own); puppeteer's tabs add it
// too. Running it twice records nothing twice.
const watcherScript = `if (!window.dadadazoSeen) {
  window.dadadazoSeen = [];
  window.dadadazoErrors = [];
  document.addEventListener('dadadazo:line', (event) => {
    window.dadadazoSeen.push([performance.now(), event.detail]);
  });
  window.addEventListener('error', (event) => {
    window.dadadazoErrors.push(String(event.error || event.message));
  });
  window.addEventListener('unhandledrejection', (event) => {
    window.dadadazoErrors.push(String(event.reason));
  });
}`;

// The page's HTML with the line watcher at the top of its head.
export function withLineWatcher(page) {
  const head = /<head[^>]*>/i.exec(page);
  const at = head ? head.index + head[0].length : 0;
  return `${page.slice(0, at)}<script>${watcherScript}</script>${page.slice(at)}`;
}

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
// `hold` ({'/dadadazo.wasm': promise}) answers a path only once its promise has resolved.
// `answers` ({'/dadadazo.js': {type, body}}) answers a path with other bytes than its file's.
// Pages carry the line watcher unless `watch` is false (for byte counts of the page as it is).
// Resolves to {url, close, served}: served() is how many bytes of files it has sent.
export function serveFolders(mounts, missing = [],
  {compress = false, hold = {}, watch = true, answers = {}} = {}) {
  let served = 0;
  const server = createServer(async (request, response) => {
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
    if (hold[path]) await hold[path];
    const headers = {
      'Content-Type': answers[path]?.type || contentTypes[extname(file)] ||
        'application/octet-stream',
      'Cache-Control': 'no-store',
    };
    let bytes = answers[path] ? Buffer.from(answers[path].body) : readFileSync(file);
    if (watch && extname(file) === '.html') {
      bytes = Buffer.from(withLineWatcher(bytes.toString('utf8')));
    }
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

// The browsers the page is tested in: Debian's Chromium headless (WebGL 2 through SwiftShader),
// Debian's Firefox ESR over WebDriver BiDi, and WebKitGTK's MiniBrowser through WebKitWebDriver
// (classic WebDriver only). Headless Firefox offers no WebGL 2 and MiniBrowser has no headless
// mode, so both run with a window on the X server in $DISPLAY (web_test.sh starts one of its own;
// WebKit's is 1920 x 1200, for its 1900 x 1180 window).
export const browserNames = ['chromium', 'firefox', 'webkit'];

// What each browser, as started here, can do beyond keys and clicks: headless Chromium has no
// pointer to hold; WebKitGTK's driver has no touch screen and no phone-sized page.
const abilities = {
  chromium: {touch: true, pointerLock: false},
  firefox: {touch: true, pointerLock: true},
  webkit: {touch: false, pointerLock: true},
};

// Starts `name` (see browserNames) with a fresh profile and nothing reaching the network.
// `modules` is the node_modules folder holding puppeteer-core and selenium-webdriver.
// `withoutWebGl` starts one whose canvases get no WebGL context at all; `firefoxPrefs` adds to
// Firefox's preferences. Resolves to {name, can, open, close, browser}:
// - can: {touch, pointerLock}, what the browser can do (see abilities);
// - open(url, {viewport}): a tab at `url` (see the tab interface below); viewport is puppeteer's
//   ({width, height, hasTouch, isMobile}), of which WebKit takes the size;
// - close(): ends the browser;
// - browser: puppeteer's Browser for Chromium and Firefox (for openWatched), null for WebKit.
export async function launchBrowser(modules, {name = 'chromium', withoutWebGl = false,
  firefoxPrefs = {}} = {}) {
  if (!browserNames.includes(name)) {
    throw new Error(`unknown browser ${name} (${browserNames.join(', ')})`);
  }
  const launched = name === 'webkit' ? await launchWebKit(modules, {withoutWebGl}) :
    await launchPuppeteer(modules, {name, withoutWebGl, firefoxPrefs});
  return {...launched, name, can: abilities[name]};
}

async function launchPuppeteer(modules, {name, withoutWebGl, firefoxPrefs}) {
  const require = createRequire(join(resolve(modules), 'package.json'));
  const puppeteer = require('puppeteer-core');
  const viewport = {width: 2100, height: 1400};
  const open = (browser) => (url, options) => puppeteerTab(browser, url, options);
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
        // A tap is never taken for a long press, which gives no click: on a busy machine a
        // synthetic touch can last past the half second after which Firefox takes it for one
        // (a tap on the close button was lost once under load, most likely so).
        'ui.click_hold_context_menus.delay': 600000,
        'app.update.enabled': false,
        ...firefoxPrefs,
      },
    });
    return {browser, open: open(browser), close: () => browser.close()};
  }
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
    open: open(browser),
    close: async () => {
      await browser.close();
      rmSync(profile, {recursive: true, force: true});
    },
  };
}

// The tab interface, alike in every browser:
//   evaluate(fn, ...args)  fn's result in the page (awaited; undefined comes back as null, as
//                          WebDriver sends it; so do undefined members of objects in WebKit)
//   lines()                every line printed so far, [time ms, text] (see seenLines)
//   errors()               the page's uncaught errors so far, as text
//   press(key)             a key pressed and released: 'x', 'Enter', 'ArrowDown', 'Control+r'...
//   click(selector)        a mouse click on the element's centre
//   tap(x, y)              a touch at page coordinates (where can.touch)
//   resize(width, height, ratio)  the viewport to that size and device pixel ratio (not WebKit)
//   reload()               the page loaded again, awaited
//   pixels(selector)       the element as the screen shows it, a PNG file's bytes
//   close()
//   page                   puppeteer's Page (null in WebKit), for what only puppeteer does
async function puppeteerTab(browser, url, {viewport = null} = {}) {
  const {page, errors} = await openWatched(browser, url, {
    waitUntil: 'domcontentloaded',
    prepare: viewport && ((tab) => tab.setViewport(viewport)),
  });
  const tab = {
    page,
    evaluate: async (fn, ...args) => (await page.evaluate(fn, ...args)) ?? null,
    lines: () => seenLines(page),
    errors: async () => errors.slice(),
    press: async (key) => {
      for (const part of keysOf(key)) await page.keyboard.down(part);
      for (const part of keysOf(key).reverse()) await page.keyboard.up(part);
    },
    click: (selector) => page.click(selector),
    tap: (x, y) => page.touchscreen.tap(x, y),
    resize: (width, height, ratio = 1) =>
      page.setViewport({...page.viewport(), width, height, deviceScaleFactor: ratio}),
    reload: () => page.reload({waitUntil: 'load'}),
    pixels: async (selector) => {
      await afterTwoFrames(tab);
      const element = await page.$(selector);
      if (!element) throw new Error(`no element ${selector} to read`);
      return Buffer.from(await element.screenshot({type: 'png'}));
    },
    close: () => page.close(),
  };
  return tab;
}

// 'Control+r' as ['Control', 'r'].
const keysOf = (key) => (key.length > 1 ? key.split('+') : [key]);

// Lets the page present what it has drawn (a second at most, where it draws no frames).
function afterTwoFrames(tab) {
  return tab.evaluate(() => new Promise((done) => {
    setTimeout(done, 1000);
    requestAnimationFrame(() => requestAnimationFrame(done));
  }));
}

// WebKitGTK's MiniBrowser, found where Debian's webkit2gtk packages put it.
function miniBrowserPath() {
  if (process.env.DADADAZO_MINIBROWSER) return process.env.DADADAZO_MINIBROWSER;
  const folders = ['/usr/lib', ...readdirSync('/usr/lib').map((entry) => join('/usr/lib', entry))];
  for (const folder of folders) {
    for (const library of ['webkit2gtk-4.1', 'webkitgtk-6.0', 'webkit2gtk-4.0']) {
      const candidate = join(folder, library, 'MiniBrowser');
      if (existsSync(candidate)) return candidate;
    }
  }
  throw new Error('no MiniBrowser: install webkit2gtk-driver (scripts/install-deps.sh web-tests)');
}

function freePort() {
  return new Promise((done, failed) => {
    const probe = createServer();
    probe.once('error', failed);
    probe.listen(0, '127.0.0.1', () => {
      const {port} = probe.address();
      probe.close(() => done(port));
    });
  });
}

// WebKitWebDriver (one session each) on a free port, once it answers: {url, stop}. A port taken
// between the probe and the driver's start is tried again with another.
async function startWebKitDriver() {
  let log = '';
  for (let attempt = 1; attempt <= 3; attempt++) {
    const port = await freePort();
    const driver = spawn(process.env.DADADAZO_WEBKIT_DRIVER || 'WebKitWebDriver',
      [`--port=${port}`], {stdio: ['ignore', 'ignore', 'pipe']});
    const ended = new Promise((done) => {
      driver.once('exit', done);
      driver.once('error', (error) => {
        log += String(error);
        done();
      });
    });
    // Never left behind, however this process ends.
    const orphaned = () => driver.kill('SIGTERM');
    process.once('exit', orphaned);
    let over = false;
    ended.then(() => {
      over = true;
      process.off('exit', orphaned);
    });
    driver.stderr.on('data', (chunk) => {
      log += chunk;
    });
    const url = `http://127.0.0.1:${port}`;
    const stop = async () => {
      if (!over) driver.kill('SIGTERM');
      await ended;
    };
    try {
      await waitFor(async () => over || await fetch(`${url}/status`).then((r) => r.ok, () => false),
        60000, async () => `WebKitWebDriver gives no status on port ${port}: ${log}`);
    } catch (error) {
      await stop();
      throw error;
    }
    if (!over) return {url, stop};
  }
  throw new Error(`WebKitWebDriver did not start: ${log}`);
}

// MiniBrowser's window, its title and tool bars included: the page gets a little less.
const webKitWindow = {x: 0, y: 0, width: 1900, height: 1180};

async function launchWebKit(modules, {withoutWebGl}) {
  if (!process.env.DISPLAY) throw new Error('WebKit needs an X server: DISPLAY is not set');
  const require = createRequire(join(resolve(modules), 'package.json'));
  const webdriver = require('selenium-webdriver');
  const {PNG} = require('pngjs');
  const service = await startWebKitDriver();
  let driver;
  try {
    driver = await new webdriver.Builder().usingServer(service.url).withCapabilities({
      browserName: 'MiniBrowser',
      // Navigation returns at once and open() waits for the new document itself: the driver's
      // "eager" strategy left later scripts waiting for a load that had already happened, and a
      // page whose program is held back by its server does not finish loading.
      pageLoadStrategy: 'none',
      'webkitgtk:browserOptions': {
        binary: miniBrowserPath(),
        args: ['--automation', '--autoplay-policy=allow',
          ...(withoutWebGl ? ['--enable-webgl=false'] : [])],
      },
    }).build();
    await driver.manage().setTimeouts({script: 600000, pageLoad: 600000});
  } catch (error) {
    await service.stop();
    throw error;
  }
  const session = {driver, webdriver, PNG};
  return {
    browser: null,
    open: (url, options) => webKitTab(session, url, options),
    close: async () => {
      await driver.quit().catch(() => {});
      await service.stop();
    },
  };
}

// WebKit's tab is the session's one window, navigated to `url`, and back to about:blank when it
// is closed.
async function webKitTab({driver, webdriver, PNG}, url, {viewport = null} = {}) {
  const {By, Key} = webdriver;
  // 'PageDown' is Key.PAGE_DOWN, 'Backspace' Key.BACK_SPACE.
  const keyCode = (name) => (name.length === 1 ? name : Key[name === 'Backspace' ? 'BACK_SPACE' :
    name.replace(/(?<=.)([A-Z])/g, '_$1').toUpperCase()]);
  const evaluate = async (fn, ...args) => (await driver.executeScript(fn, ...args)) ?? null;
  // Navigates and waits for the new document to be parsed; scripts sent while the old one goes
  // fail, and are sent again.
  const visit = async (address) => {
    let seen = null;
    await driver.get(address);
    await waitFor(async () => {
      seen = await evaluate(() => [document.URL, document.readyState]).catch((e) => [String(e)]);
      return seen[0] === address && seen[1] !== 'loading';
    }, 60000, async () => `${address} did not open; the window shows ${JSON.stringify(seen)}`);
  };
  const resize = async (width, height) => {
    const [barsWidth, barsHeight] =
      await evaluate(() => [outerWidth - innerWidth, outerHeight - innerHeight]);
    await driver.manage().window().setRect({x: 0, y: 0, width: width + barsWidth,
      height: height + barsHeight});
    let seen = null;
    await waitFor(async () => {
      seen = await evaluate(() => [innerWidth, innerHeight]);
      return seen[0] === width && seen[1] === height;
    }, 30000, async () => `the page is ${seen.join(' x ')}, not ${width} x ${height}`);
  };
  await driver.manage().window().setRect(webKitWindow);
  const address = new URL(url).href;
  await visit(address);
  if (viewport) await resize(viewport.width, viewport.height);
  const tab = {
    page: null,
    evaluate,
    lines: () => seenLines(tab),
    errors: () => evaluate(() => window.dadadazoErrors.slice()),
    press: (key) => {
      const codes = keysOf(key).map(keyCode);
      const down = codes.reduce((actions, code) => actions.keyDown(code), driver.actions());
      return codes.reverse().reduce((actions, code) => actions.keyUp(code), down).perform();
    },
    click: async (selector) => (await driver.findElement(By.css(selector))).click(),
    tap: () => {
      throw new Error("WebKitGTK's driver has no touch screen");
    },
    resize,
    reload: async () => {
      await evaluate(() => {
        window.dadadazoLeft = true;
      });
      await driver.navigate().refresh();
      await waitFor(async () => await evaluate(() => !window.dadadazoLeft &&
        document.readyState === 'complete').catch(() => false), 60000,
      async () => 'the page did not load again');
    },
    pixels: (selector) => webKitElementPixels({driver, PNG}, tab, selector),
    close: () => visit('about:blank'),
  };
  return tab;
}

// WebKitGTK's element screenshots lose rows near the fold and shift after scrolling: the whole
// page's, cut to the element's box, is exact. Its compositor may also show a new page's canvas
// some frames after the page drew it (seen on a busy machine: the first still of a run came out
// as the page's background alone), so the screenshot is taken again, a few frames apart and at
// most 20 times, while the element shows nothing but the page's background colour, which no
// frame of the show is. Resolves to the element's pixels as a PNG.
async function webKitElementPixels({driver, PNG}, tab, selector) {
  await afterTwoFrames(tab);
  const {box, background} = await tab.evaluate((chosen) => {
    const element = document.querySelector(chosen);
    const colour = getComputedStyle(document.body).backgroundColor.match(/\d+/g).map(Number);
    return {box: element && element.getBoundingClientRect().toJSON(), background: colour};
  }, selector);
  if (!box) throw new Error(`no element ${selector} to read`);
  const [left, top, width, height] = [box.left, box.top, box.width, box.height].map(Math.round);
  const onlyBackground = ({data}) => data.every((value, i) => i % 4 === 3 ||
    value === background[i % 4]);
  for (let attempt = 1; ; attempt++) {
    const shot = PNG.sync.read(Buffer.from(await driver.takeScreenshot(), 'base64'));
    if (left < 0 || top < 0 || left + width > shot.width || top + height > shot.height) {
      throw new Error(`${selector} at ${JSON.stringify(box)} is not wholly in the page's ` +
        `screenshot (${shot.width} x ${shot.height})`);
    }
    const cut = new PNG({width, height});
    PNG.bitblt(shot, cut, left, top, width, height, 0, 0);
    if (attempt === 20 || !onlyBackground(cut)) return PNG.sync.write(cut);
    await afterTwoFrames(tab);
  }
}

// Opens `url` in a new puppeteer tab and records every line the page prints, with the time it
// arrived (performance.now() in the page, milliseconds). Page errors are kept too. `prepare(page)`
// runs before the page is loaded; `waitUntil` is puppeteer's (the page's load event by default).
// Resolves to {page, errors}: puppeteer's Page, and the page's errors as text.
export async function openWatched(browser, url, {prepare = null, waitUntil = 'load'} = {}) {
  const page = await browser.newPage();
  if (prepare) await prepare(page);
  const watched = {page, errors: []};
  page.on('pageerror', (error) => watched.errors.push(String(error)));
  await page.evaluateOnNewDocument(watcherScript);
  await page.goto(url, {waitUntil});
  return watched;
}

// Every line printed so far as [time ms, text], in a puppeteer page or a tab.
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
// (node_modules with the pinned packages), --browser chromium|firefox|webkit (Chromium when not
// given) and whatever else the test names ("--capture TOOL").
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
    throw new Error(`--browser takes ${browserNames.join(', ')}, not ${options.browser}`);
  }
  return options;
}

// What the page's canvas holds now: its size, how many pixels are not black, and a checksum
// of every pixel (to see whether it still changes); in a puppeteer page or a tab.
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
