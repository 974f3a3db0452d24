// The page's "Download all" on large movies, in one browser: the movies
// dropped, silenced and zipped as a person would, with the browser's peak
// memory (proportional set size over all of its processes, sampled every
// 100 ms) and the longest the page's main thread went without running a
// timer, which is how long the page stood frozen.
//   node bench/web_zip.mjs PAGE chromium|firefox MOVIE...
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import puppeteer from 'puppeteer-core';

const [page, engine, ...movies] = process.argv.slice(2);
const downloads = mkdtempSync(join(tmpdir(), 'hushmaker-zip-'));
const mib = (bytes) => (bytes / 1048576).toFixed(0);

// The browser's processes: the one it started and all below it.
function family(root) {
  const children = new Map();
  for (const pid of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      const parent = Number(readFileSync(`/proc/${pid}/stat`, 'utf8').replace(/^.*\) /, '').split(' ')[1]);
      children.set(parent, [...(children.get(parent) ?? []), Number(pid)]);
    } catch { /* gone */ }
  }
  const all = [root];
  for (let i = 0; i < all.length; ++i) all.push(...(children.get(all[i]) ?? []));
  return all;
}
const pss = (pids) => pids.reduce((sum, pid) => {
  try {
    return sum + 1024 * Number(/Pss:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/smaps_rollup`, 'utf8'))[1]);
  } catch {
    return sum;
  }
}, 0);

const browser = await puppeteer.launch(engine === 'firefox'
  ? { browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
    extraPrefsFirefox: { 'browser.download.dir': downloads, 'browser.download.folderList': 2 } }
  : { executablePath: '/usr/bin/chromium', args: ['--headless=new', '--no-sandbox', '--disable-gpu'] });
let peak = 0;
const sampler = setInterval(() => { peak = Math.max(peak, pss(family(browser.process().pid))); }, 100);
try {
  const tab = await browser.newPage();
  if (engine !== 'firefox') {
    await (await tab.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
  }
  await tab.goto(pathToFileURL(resolve(page)).href, { waitUntil: 'load' });
  await tab.evaluate(() => {
    window.frozen = 0;
    let last = performance.now();
    setInterval(() => {
      const now = performance.now();
      window.frozen = Math.max(window.frozen, now - last);
      last = now;
    }, 10);
  });
  const start = Date.now();
  await (await tab.$('#picker')).uploadFile(...movies.map((movie) => resolve(movie)));
  await tab.waitForFunction((n) => document.querySelectorAll('.movie.saved').length === n, { timeout: 0, polling: 500 },
    movies.length);
  const silenced = Date.now();
  const silencedPeak = peak;
  await tab.click('#download-all');
  const zip = join(downloads, 'silent-movies.zip');
  // Chromium names the file when it is complete; Firefox makes it empty
  // first and writes a .part beside it.
  const saving = () => !existsSync(zip) || statSync(zip).size === 0 || readdirSync(downloads).some((f) => f.endsWith('.part'));
  while (saving()) await new Promise((r) => setTimeout(r, 100));
  const zipped = Date.now();
  console.log(`${engine}: ${movies.length} movies silenced in ${((silenced - start) / 1000).toFixed(1)} s ` +
    `(peak ${mib(silencedPeak)} MiB), zipped in ${((zipped - silenced) / 1000).toFixed(1)} s ` +
    `(${mib(statSync(zip).size)} MiB); browser's peak ${mib(peak)} MiB; ` +
    `longest freeze of the page ${(await tab.evaluate(() => window.frozen)).toFixed(0)} ms`);
} finally {
  clearInterval(sampler);
  await browser.close();
  rmSync(downloads, { recursive: true, force: true });
}
