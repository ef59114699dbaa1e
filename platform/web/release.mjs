// Writes one release of the page into FOLDER: index.html from PAGE, with every other file's
// address carrying its digest ("dadadazo.js?v=1f2e..."), so that no cache, the browser's, a
// proxy's or the service worker's, can pair one release's page with another's program, and with
// the release's name (VERSION-DIGEST, the digest of every file); and service-worker.js from
// WORKER, with the release's name and each file's address, SHA-256 and whether the worker keeps
// it offline written in.
//
//   node release.mjs WORKER PAGE VERSION FOLDER FILE...
// FILE is a file in FOLDER beside the page; "+FILE" is one the worker keeps for visits without
// a network. Files missing from FOLDER are left out (the light music where no ffmpeg made it),
// and so is a kept WAV whose light copy (the .mp3 of the same name) is kept: the page plays
// that. Running it again on a page it wrote gives the same page for the same files.
import {createHash} from 'node:crypto';
import {existsSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';

const [workerTemplate, pageTemplate, version, folder, ...listed] = process.argv.slice(2);
const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

const wanted = listed.map((entry) => ({name: entry.replace(/^\+/, ''), kept: entry[0] === '+'}))
  .filter(({name}) => existsSync(join(folder, name)));
const keptNames = new Set(wanted.filter(({kept}) => kept).map(({name}) => name));
const files = {};
for (const {name, kept} of wanted) {
  const digest = sha256(readFileSync(join(folder, name)));
  const light = name.replace(/\.wav$/i, '.mp3');
  files[name] = [`${name}?v=${digest.slice(0, 16)}`, digest,
    kept && !(light !== name && keptNames.has(light))];
}

// The page: the addresses in its links, and the release's name and addresses in its list. The
// release's name is the digest of every file, the page's own with a stand-in for that name.
const escaped = (name) => name.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
let page = readFileSync(pageTemplate, 'utf8');
for (const [name, [address]] of Object.entries(files)) {
  page = page.replace(new RegExp(`href="${escaped(name)}(\\?v=[0-9a-f]*)?"`, 'g'),
    `href="${address}"`);
}
const addresses = Object.fromEntries(Object.entries(files).map(([name, [at]]) => [name, at]));
const list = /(<script type="application\/json" id="release-files">)[\s\S]*?(<\/script>)/;
if (!list.test(page)) throw new Error(`${pageTemplate}: no list of the release's files`);
page = page.replace(list, (_, open, close) =>
  `${open}${JSON.stringify({release: '@RELEASE@', files: addresses})}${close}`);

const whole = createHash('sha256');
for (const name of Object.keys(files).sort()) whole.update(`${name} ${files[name][1]}\n`);
whole.update(`index.html ${sha256(page)}\n`);
const release = `${version}-${whole.digest('hex').slice(0, 12)}`;
page = page.replace('"@RELEASE@"', JSON.stringify(release));
writeFileSync(join(folder, 'index.html'), page);
files['index.html'] = ['index.html', sha256(page), true];

const source = readFileSync(workerTemplate, 'utf8')
  .replace("'@RELEASE@'", JSON.stringify(release))
  .replace("'@FILES@'", `'${JSON.stringify(files)}'`);
if (source.includes('@RELEASE@') || source.includes('@FILES@')) {
  throw new Error(`${workerTemplate}: the release's placeholders are not where they were expected`);
}
writeFileSync(join(folder, 'service-worker.js'), source);
