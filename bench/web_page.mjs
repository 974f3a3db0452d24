// Times the page against the native tool, document by document, side by
// side (a document either refuses must be refused by both, as quickly):
// the native run (its time and peak memory) and the page's run in headless
// Chromium through window.hushmaker.silence on a File picked from disk (its
// time and the worker's WebAssembly memory afterwards, which only grows).
//   node bench/web_page.mjs PAGE TOOL ROUNDS DOC...
import { spawnSync } from 'node:child_process';
import { statSync, rmSync } from 'node:fs';
import { basename, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const [page, tool, rounds, ...docs] = process.argv.slice(2);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const spread = (values) => `${median(values).toFixed(3)} s (${Math.min(...values).toFixed(3)}-${Math.max(...values).toFixed(3)})`;
const mib = (bytes) => (bytes / 1048576).toFixed(1);

function native(doc) {
  const output = doc.replace(/\.3mm$/, '-quiet.3mm');
  rmSync(output, { force: true });
  spawnSync('cat', [doc], { stdio: ['ignore', 'ignore', 'ignore'] });  // a warm cache, as for the page
  const start = process.hrtime.bigint();
  const run = spawnSync('/usr/bin/time', ['-f', '%M', tool, doc, output], { encoding: 'utf8' });
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  const kib = Number(run.stderr.trim().split('\n').pop());
  const size = run.status === 7 ? statSync(output).size : 0;
  rmSync(output, { force: true });
  return { status: run.status, seconds, peak: kib * 1024, size };
}

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});
try {
  for (const doc of docs.map((d) => resolve(d))) {
    const tab = await browser.newPage();
    await tab.goto(pathToFileURL(resolve(page)).href, { waitUntil: 'load' });
    await tab.evaluate(() => {
      const input = Object.assign(document.createElement('input'), { type: 'file', id: 'bench-input' });
      document.body.append(input);
    });
    await (await tab.$('#bench-input')).uploadFile(doc);
    const natives = [];
    const pages = [];
    for (let round = 0; round < Number(rounds); ++round) {
      natives.push(native(doc));
      spawnSync('cat', [doc], { stdio: ['ignore', 'ignore', 'ignore'] });
      pages.push(await tab.evaluate(async (name) => {
        const start = performance.now();
        const r = await window.hushmaker.silence(document.getElementById('bench-input').files[0], name, { bytes: false });
        return { status: r.status, seconds: (performance.now() - start) / 1000, memory: r.memory, size: r.blob ? r.blob.size : 0 };
      }, basename(doc)));
    }
    await tab.close();
    const n = natives.at(-1);
    const p = pages.at(-1);
    if (n.status !== p.status || n.size !== p.size) {
      throw new Error(`${basename(doc)}: native status ${n.status} (${n.size} bytes), page status ${p.status} (${p.size} bytes)`);
    }
    const nativeTime = median(natives.map((r) => r.seconds));
    const pageTime = median(pages.map((r) => r.seconds));
    const peak = Math.max(...natives.map((r) => r.peak));
    console.log(`== ${basename(doc)} (${mib(statSync(doc).size)} MiB), ${rounds} rounds, status ${n.status}`);
    console.log(`native ${spread(natives.map((r) => r.seconds))}, peak ${mib(peak)} MiB; ` +
      `page ${spread(pages.map((r) => r.seconds))}, ` +
      `WebAssembly memory ${mib(p.memory)} MiB`);
    console.log(`ratio page/native ${(pageTime / nativeTime).toFixed(2)} (goal 2); ` +
      `memory over the native peak ${mib(p.memory - peak)} MiB (goal at most 64)`);
  }
} finally {
  await browser.close();
}
