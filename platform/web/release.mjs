// Writes the page's service worker for one release: the worker's source with the release's name
// (VERSION-DIGEST, the digest of every file it keeps) and each file's SHA-256 written in.
//
//   node release.mjs TEMPLATE OUTPUT VERSION FOLDER FILE...
// Files missing from FOLDER are left out (the light music where no ffmpeg made it).
import {createHash} from 'node:crypto';
import {existsSync, readFileSync, writeFileSync} from 'node:fs';
import {join} from 'node:path';

const [template, output, version, folder, ...files] = process.argv.slice(2);
const digests = {};
const whole = createHash('sha256');
for (const file of files) {
  const path = join(folder, file);
  if (!existsSync(path)) continue;
  digests[file] = createHash('sha256').update(readFileSync(path)).digest('hex');
  whole.update(`${file} ${digests[file]}\n`);
}
const release = `${version}-${whole.digest('hex').slice(0, 12)}`;
const source = readFileSync(template, 'utf8')
  .replace("'@RELEASE@'", JSON.stringify(release))
  .replace("'@DIGESTS@'", `'${JSON.stringify(digests)}'`);
if (source.includes('@RELEASE@') || source.includes('@DIGESTS@')) {
  throw new Error(`${template}: the release's placeholders are not where they were expected`);
}
writeFileSync(output, source);
