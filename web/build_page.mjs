// Puts the page together: the template with its styles, the worker (the
// WebAssembly, the module's script and ours), the ZIP writer and the
// page's own script written into it, so that one file is the whole page.
//   node build_page.mjs WEB_DIR MODULE_JS MODULE_WASM VERSION OUTPUT
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [webDir, moduleJs, moduleWasm, version, output] = process.argv.slice(2);
const read = (path) => readFileSync(path, 'utf8');
// Inside a <script> element only "</script" could end it early.
const inScript = (code) => code.replace(/<\/(script)/gi, '<\\/$1');

const parts = {
  '/* style */': read(join(webDir, 'page.css')),
  '/* worker */': inScript([
    `const hushmakerWasm = '${readFileSync(moduleWasm).toString('base64')}';`,
    read(moduleJs),
    read(join(webDir, 'crc32.js')),
    read(join(webDir, 'worker.js')),
  ].join('\n')),
  '/* zip writer */': inScript(read(join(webDir, 'zip.js'))),
  '/* page script */': inScript(read(join(webDir, 'page.js'))),
};
let page = read(join(webDir, 'page.html')).replaceAll('@VERSION@', version);
for (const [mark, text] of Object.entries(parts)) {
  if (!page.includes(mark)) throw new Error(`the template has no ${mark}`);
  page = page.replace(mark, () => text);
}
writeFileSync(output, page);
