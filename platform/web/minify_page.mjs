// Writes the page as it is served: its script minified by terser, its comments and the
// indentation of its style sheet left out. The page's text and markup are otherwise unchanged.
//
//   node minify_page.mjs NODE_MODULES_PARENT SOURCE OUTPUT
import {readFileSync, writeFileSync} from 'node:fs';
import {createRequire} from 'node:module';
import {join, resolve} from 'node:path';

const [npmFolder, source, output] = process.argv.slice(2);
const {minify} = createRequire(join(resolve(npmFolder), 'package.json'))('terser');

let page = readFileSync(source, 'utf8').replace(/<!--[\s\S]*?-->\n?/g, '');
page = page.replace(/<style>([\s\S]*?)<\/style>/g, (_, css) => `<style>${css
  .replace(/\/\*[\s\S]*?\*\//g, '').replace(/\s*\n\s*/g, '\n').trim()}</style>`);
const scripts = [...page.matchAll(/<script>([\s\S]*?)<\/script>/g)];
for (const [whole, code] of scripts.reverse()) {
  const {code: small} = await minify(code, {compress: true, mangle: true});
  if (small.includes('</script')) throw new Error(`${source}: the minified script ends early`);
  page = page.replace(whole, () => `<script>${small}</script>`);
}
writeFileSync(output, page);
