// The page in real browsers, used as a person would: picked by keyboard, its
// rows, downloads and ZIP against what the native tool prints and writes for
// the same files, opened from disk with every connection refused.
//   node --test tests/web/page_test.mjs   (HUSH_PAGE, HUSH_TOOL, HUSH_MAKE_SAMPLE, HUSH_SCREENSHOT)
import { after, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, closeSync, copyFileSync, openSync, readSync, rmSync,
  statSync, utimesSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { crc32 } from 'node:zlib';
import { createHash } from 'node:crypto';
import puppeteer from 'puppeteer-core';

const page = pathToFileURL(resolve(process.env.HUSH_PAGE)).href;
const tool = resolve(process.env.HUSH_TOOL);
const work = mkdtempSync(join(tmpdir(), 'hushmaker-web-'));
after(() => rmSync(work, { recursive: true, force: true }));

// The movies, and what the native tool prints and writes for each.
const movies = mkdtempSync(join(work, 'movies-'));
copyFileSync(new URL('../../sample/sample.3mm', import.meta.url), join(movies, 'sample.3mm'));
execFileSync(process.env.HUSH_MAKE_SAMPLE, [join(movies, 'backdrop.3mm'), '20']);
execFileSync(process.env.HUSH_MAKE_SAMPLE, [join(movies, 'refused.3mm'), 'refused']);
writeFileSync(join(movies, 'notes.3mm'), 'a shopping list, not a movie\n');
// A second movie of one name, from another folder: its copy is numbered in the ZIP.
const again = mkdtempSync(join(work, 'again-'));
copyFileSync(join(movies, 'sample.3mm'), join(again, 'sample.3mm'));
const names = ['sample.3mm', 'backdrop.3mm', 'refused.3mm', 'notes.3mm'];
// Names taken whole: an option's, a backslash, and those whose copy's name is the longest disks hold and one more.
const odd = ['--help', 'back\\slash.3mm', `${'m'.repeat(245)}.3mm`, `${'m'.repeat(246)}.3mm`];
for (const name of odd) copyFileSync(join(movies, 'sample.3mm'), join(movies, name));
const quiet = (name) => name.replace(/(\.[^.]*)?$/, '-quiet.3mm');
const native = Object.fromEntries([...names, ...odd].map((name) => {
  const run = spawnSync(tool, ['--', name], { cwd: movies, encoding: 'utf8' });
  const output = join(movies, quiet(name));
  return [name, { status: run.status, lines: run.stdout.trimEnd().split('\n'), output: existsSync(output) ? readFileSync(output) : null }];
}));
assert.deepEqual([...names, ...odd].map((name) => native[name].status), [7, 7, 2, 1, 7, 7, 7, 3]);

// A tab in headless Chromium (or as `launch` says) for `use`, closed after.
async function inBrowser(use, launch = {
  executablePath: '/usr/bin/chromium',
  args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
}) {
  const browser = await puppeteer.launch(launch);
  try {
    await use(await browser.newPage());
  } finally {
    await browser.close();
  }
}

// Every request the page makes but its own file is refused and noted.
async function offline(tab) {
  const refused = [];
  await tab.setRequestInterception(true);
  tab.on('request', (request) => {
    if (request.url() === page || request.url().startsWith('blob:')) return request.continue();
    refused.push(request.url());
    return request.abort();
  });
  return refused;
}

async function rowsWhenDone(tab, count) {
  await tab.waitForFunction((n) => document.querySelectorAll('.movie.saved, .movie.refused').length === n,
    { timeout: 120000 }, count);
  return tab.$$eval('.movie', (rows) => rows.map((row) => ({
    name: row.querySelector('h2').textContent,
    lines: row.querySelector('pre').textContent.split('\n'),
    outcome: row.querySelector('.outcome').textContent,
    link: row.querySelector('a.download')?.download ?? null,
  })));
}

// Whether closing the tab would ask first.
const asks = (tab) => tab.evaluate(() => !window.dispatchEvent(new Event('beforeunload', { cancelable: true })));

async function download(tab, folder, selector, name, seconds = 30) {
  await tab.click(selector);
  const file = join(folder, name);
  for (let i = 0; i < 20 * seconds && !existsSync(file); ++i) await new Promise((r) => setTimeout(r, 50));
  return file;
}

test('movies picked by keyboard come out as the native tool writes them, one by one and in a ZIP', async () => {
  await inBrowser(async (tab) => {
    const refused = await offline(tab);
    const downloads = mkdtempSync(join(work, 'downloads-'));
    await (await tab.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await tab.goto(page, { waitUntil: 'load' });
    const afterLoad = [];
    tab.on('request', (request) => { if (!request.url().startsWith('blob:')) afterLoad.push(request.url()); });

    // Tab reaches the button, Enter opens the picker.
    await tab.keyboard.press('Tab');
    assert.equal(await tab.evaluate(() => document.activeElement.id), 'choose');
    const chooserOpens = tab.waitForFileChooser();
    await tab.evaluate(() => 0);  // the browser now catches the picker (one round trip)
    await tab.keyboard.press('Enter');
    await (await chooserOpens).accept([...names.map((name) => join(movies, name)), join(again, 'sample.3mm')]);
    const rows = await rowsWhenDone(tab, names.length + 1);

    assert.deepEqual(rows.map((row) => row.name), [...names, 'sample.3mm']);
    for (const [i, row] of rows.entries()) {
      const expected = native[row.name];
      assert.deepEqual(row.lines, expected.lines, row.name);
      assert.match(row.outcome, expected.status === 7 ? /^Silenced/ : /^Not /, row.name);
      assert.equal(row.link, expected.output && quiet(row.name).replace(/\.3mm$/, i === 4 ? ' (2).3mm' : '.3mm'), row.name);
      if (row.link) {
        const file = await download(tab, downloads, `.movie:nth-child(${i + 1}) a.download`, row.link);
        assert.ok(readFileSync(file).equals(expected.output), row.link);
      }
    }

    assert.equal(await asks(tab), false);
    await download(tab, downloads, '#download-all', 'silent-movies.zip');
    assert.equal(await tab.$('body > a'), null);  // the ZIP's link leaves no stop for Tab behind
    const unzipped = join(downloads, 'unzipped');
    execFileSync('unzip', ['-qo', join(downloads, 'silent-movies.zip'), '-d', unzipped]);
    const entries = ['backdrop-quiet.3mm', 'sample-quiet (2).3mm', 'sample-quiet.3mm'];
    assert.deepEqual(readdirSync(unzipped).sort(), entries);
    for (const [i, name] of ['backdrop.3mm', 'sample.3mm', 'sample.3mm'].entries()) {
      assert.ok(readFileSync(join(unzipped, entries[i])).equals(native[name].output), entries[i]);
    }
    if (process.env.HUSH_SCREENSHOT) await tab.screenshot({ path: process.env.HUSH_SCREENSHOT, fullPage: true });
    assert.deepEqual(refused, []);
    assert.deepEqual(afterLoad, [], 'requests after the page had loaded');
  });
});

// Each module the worker makes stops for good at its first 7-byte movie, as
// a module does that ran out of memory: written after the worker's source.
const breakingModules = `
const create = createHushmaker;
createHushmaker = (settings) => create(settings).then((m) => {
  const run = m._hush_silence;
  let stopped = false;
  m._hush_silence = function wrapped(name, size) {
    stopped = stopped || size === 7;
    if (stopped) throw new WebAssembly.RuntimeError('stopped');
    const status = run(name, size);
    m._hush_silence = wrapped;  // an export's first call puts the bare export in its place
    return status;
  };
  return m;
});
module = createHushmaker(options);
// Its first read of 2 MiB comes back a byte short (a movie cut short, as
// Firefox reads one), and its first read of 905 bytes (a copy) fails.
const readWhole = FileReaderSync.prototype.readAsArrayBuffer;
const once = new Set();
FileReaderSync.prototype.readAsArrayBuffer = function read(blob) {
  const first = !once.has(blob.size) && once.add(blob.size);
  if (first && blob.size === 905) throw new DOMException('lost', 'NotReadableError');
  const bytes = readWhole.call(this, blob);
  return first && blob.size === 2 << 20 ? bytes.slice(1) : bytes;
};
`;

test('the API takes bytes and gives the native bytes, or null with the native lines, after a module stopped; rows too', async () => {
  await inBrowser(async (tab) => {
    await offline(tab);
    await tab.evaluateOnNewDocument((suffix) => {
      const text = Object.getOwnPropertyDescriptor(HTMLScriptElement.prototype, 'textContent');
      Object.defineProperty(HTMLScriptElement.prototype, 'textContent', { ...text, get() {
        return text.get.call(this) + (this.id === 'worker-source' ? suffix : '');
      } });
    }, breakingModules);
    await tab.goto(page, { waitUntil: 'load' });
    const stopped = tab.evaluate(() => window.hushmaker.silence(new Uint8Array(7), 'x.3mm').catch((e) => e.message));
    const results = await tab.evaluate((movies) => Promise.all(movies.map(async ([name, bytes]) => {  // they queue
      const r = await window.hushmaker.silence(new Uint8Array(bytes), name);
      return { status: r.status, lines: r.lines, outputName: r.outputName, bytes: r.bytes && [...r.bytes],
        bytesError: r.bytesError };
    })), ['sample.3mm', 'notes.3mm', ...odd].map((name) => [name, [...readFileSync(join(movies, name))]]));
    assert.equal(await stopped, 'stopped');
    assert.deepEqual(results, ['sample.3mm', 'notes.3mm', ...odd].map((name) => ({ status: native[name].status, lines:
      native[name].lines, outputName: quiet(name), bytes: native[name].output && [...native[name].output], bytesError: null })));
    const tooLarge = await tab.evaluate(async (movie) => {  // as a 4 GB copy is for Chromium
      window.reads = 0;
      Blob.prototype.arrayBuffer = () => ++window.reads && Promise.reject(new RangeError('Array buffer allocation failed'));
      const r = await window.hushmaker.silence(new Uint8Array(movie), 'big.3mm');
      return [r.status, r.bytes, r.blob.size, r.bytesError];
    }, [...readFileSync(join(movies, 'sample.3mm'))]);
    assert.deepEqual(tooLarge.slice(0, 3), [7, null, native['sample.3mm'].output.length]);
    assert.match(tooLarge[3], /^The silent copy could not be read into one array \(RangeError: Array buffer allocation failed/);
    // A payload read short fails the save; read whole, it is counted to its end.
    const wide = join(work, 'wide.3mm');
    execFileSync(process.env.HUSH_MAKE_SAMPLE, [wide, '2']);
    const ends = await tab.evaluate(async (movie) => {
      const runs = [];
      for (const _ of [1, 2]) {
        let last;
        const r = await window.hushmaker.silence(new Uint8Array(movie), 'wide.3mm', { bytes: false, onProgress: (p) => { last = p; } });
        runs.push([r.status, r.blob?.size, last.written]);
      }
      return runs;
    }, [...readFileSync(wide)]);
    spawnSync(tool, ['--', 'wide.3mm'], { cwd: work });
    const size = readFileSync(join(work, 'wide-quiet.3mm')).length;
    assert.deepEqual([ends[0].slice(0, 2), ends[1]], [[3, null], [7, size, size]]);
    // A row whose run stopped ends so; the next is still silenced.
    writeFileSync(join(work, 'seven.3mm'), 'sevenby');
    await (await tab.$('#picker')).uploadFile(join(work, 'seven.3mm'), join(movies, '--help'), join(movies, 'sample.3mm'));
    assert.deepEqual((await rowsWhenDone(tab, 3)).map((row) => row.outcome.split(':')[0]), ['Not saved', 'Silenced', 'Silenced']);
    assert.equal(await tab.$('progress'), null);
    for (const state of [/^The ZIP could not be made \(lost\)\. Try again\.$/, /^$/]) {  // a lost copy, then the copies in a ZIP
      await tab.click('#download-all');
      await tab.waitForFunction(() => !document.getElementById('download-all').disabled);
      assert.match(await tab.$eval('#zip-state', (zipState) => zipState.textContent), state);
    }
    assert.equal(await asks(tab), false);
    assert.equal(await tab.evaluate(() => window.reads), 1);  // rows never read a copy whole
    const wrong = await tab.evaluate((gone = new Uint8Array(8), b = structuredClone(gone, { transfer: [gone.buffer] })) =>
      Promise.all([[b], [b, ''], [b, 'dir/'], ['text', 'a.3mm'], [5, 'a'], [null, 'a'], [{}, 'a'], [gone, 'a'],
        [b, 'a', 5], [b, 'a', { onProgress: 5 }], [b, 'a', { bytes: 'yes' }]]
        .map((args) => window.hushmaker.silence(...args).then(() => 'resolved', (error) => error.constructor.name))));
    assert.deepEqual(wrong, Array(11).fill('TypeError'));
  });
});

// What a silenced movie's link gives once the movie is rewritten with its
// old time put back (as a restore does), then once it is cut short.
async function givenAfterChanges(tab) {
  const movie = join(mkdtempSync(join(work, 'changing-')), 'backdrop.3mm');
  copyFileSync(join(movies, 'backdrop.3mm'), movie);
  utimesSync(movie, 1e9, 1e9);
  await (await tab.$('#picker')).uploadFile(movie);
  await rowsWhenDone(tab, 1);
  const given = [];
  for (const change of [(bytes) => bytes.fill(0x55), (bytes) => bytes.subarray(0, 99)]) {
    writeFileSync(movie, change(readFileSync(movie)));
    utimesSync(movie, 1e9, 1e9);
    given.push(await tab.evaluate(() => fetch(document.querySelector('a.download').href).then((r) => r.arrayBuffer())
      .then((bytes) => crypto.subtle.digest('SHA-256', bytes)).then((hash) => [...new Uint8Array(hash)])));
  }
  return given;
}
const sha256 = (bytes) => [...createHash('sha256').update(bytes).digest()];

// The copy is what the movie was when silenced, whatever becomes of the
// movie after: by its link and in the ZIP. No <base> is taken. A folder
// dropped is a folder.
test('a movie changed after silencing is never given out changed', async () => {
  await inBrowser(async (tab) => {
    const downloads = mkdtempSync(join(work, 'downloads-'));
    await (await tab.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await tab.goto(page, { waitUntil: 'load' });
    assert.deepEqual(await givenAfterChanges(tab), Array(2).fill(sha256(native['backdrop.3mm'].output)));
    await (await tab.$('#picker')).uploadFile(join(movies, 'sample.3mm'));
    await rowsWhenDone(tab, 2);
    assert.equal(await asks(tab), true);  // copies not downloaded
    await download(tab, downloads, '#download-all', 'silent-movies.zip');
    assert.ok(execFileSync('unzip', ['-p', join(downloads, 'silent-movies.zip'), 'backdrop-quiet.3mm'],
      { maxBuffer: 1 << 30 }).equals(native['backdrop.3mm'].output));
    assert.equal(await tab.evaluate(() => document.head.appendChild(Object.assign(document.createElement('base'),
      { href: 'https://example.invalid/' })) && document.baseURI), page);
    // A dropped folder is said to be one, as the console tool says it.
    mkdirSync(join(work, 'folder.3mm'));
    const drag = { items: [], files: [join(work, 'folder.3mm')], dragOperationsMask: 1 };
    const cdp = await tab.createCDPSession();
    for (const type of ['dragEnter', 'dragOver', 'drop']) await cdp.send('Input.dispatchDragEvent', { type, x: 9, y: 9, data: drag });
    assert.deepEqual((await rowsWhenDone(tab, 3))[2].lines,
      spawnSync(tool, ['--', 'folder.3mm'], { cwd: work, encoding: 'utf8' }).stdout.trimEnd().split('\n'));
  });
});

// `count` bytes of a file at `at` (from its end if negative), in hex.
function bytesAt(path, at, count) {
  const [bytes, file] = [Buffer.alloc(count), openSync(path)];
  readSync(file, bytes, 0, count, at < 0 ? statSync(path).size + at : at);
  closeSync(file);
  return bytes.toString('hex');
}

// A ZIP past 4 GiB, of one copy of 4 GiB and one after it, opens, and so
// does one of 65,535 copies; both end in ZIP64 records.
test('a ZIP over 4 GiB or 65,535 copies is whole', async () => {
  await inBrowser(async (tab) => {
    const downloads = mkdtempSync(join(work, 'downloads-'));
    await (await tab.createCDPSession()).send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    await tab.goto(page, { waitUntil: 'load' });
    const gibibyte = Buffer.alloc(1 << 30, 7);
    const crc = [0, 0, 0, 0].reduce((sum) => crc32(gibibyte, sum), 0);
    await tab.evaluate((crc) => {
      const link = (id, entries) => document.body.append(Object.assign(document.createElement('a'), { id, download: `${id}.zip`,
        textContent: id, href: URL.createObjectURL(zipOf(entries, new Date(2026, 11, 10, 9, 41, 30))) }));
      const gibibyte = new Blob([new Uint8Array(1 << 30).fill(7)]);
      link('big', [{ name: 'big.3mm', blob: new Blob([gibibyte, gibibyte, gibibyte, gibibyte]), crc },
        { name: 'after.3mm', blob: new Blob(['abc']), crc: 0x352441c2 }]);
      link('many', Array.from({ length: 0xffff }, (_, i) => ({ name: `${i}`, blob: new Blob([]), crc: 0 })));
    }, crc);
    const zip = await download(tab, downloads, '#big', 'big.zip', 600);
    assert.match(execFileSync('unzip', ['-ZT', zip], { encoding: 'utf8' }),
      /\n-rw-r--r-- .* unx 4294967296 .. stor 20261210\.094130 big\.3mm\n-rw-r--r-- .* unx +3 .. stor 20261210\.094130 after\.3mm\n/);
    assert.match(execFileSync('unzip', ['-t', zip], { encoding: 'utf8' }), /big.3mm +OK\n.*after.3mm +OK\nNo errors detected/);
    // The second header, past 4 GiB: signature, version 2.0, UTF-8, stored, 09:41:30, 2026-12-10, CRC, sizes, name.
    assert.equal(bytesAt(zip, 2 ** 32 + 57, 39), ['504b0304', '1400', '0008', '0000', '2f4d', '8a5d', 'c2412435', '03000000',
      '03000000', '0900', '0000', Buffer.from('after.3mm').toString('hex')].join(''));
    // The ZIP64 end (2 entries, a directory of 140 bytes at 4 GiB + 99), its locator, the end with its full fields.
    assert.equal(bytesAt(zip, -98, 98), ['504b0606', '2c00000000000000', '2d03', '2d00', '00000000', '00000000',
      '0200000000000000', '0200000000000000', '8c00000000000000', '6300000001000000',
      '504b0607', '00000000', 'ef00000001000000', '01000000',
      '504b0506', '0000', '0000', '0200', '0200', '8c000000', 'ffffffff', '0000'].join(''));
    const many = await download(tab, downloads, '#many', 'many.zip');
    assert.match(bytesAt(many, -98, 98), /^504b0606.{40}ffff000000000000ffff000000000000/);
    assert.match(execFileSync('unzip', ['-tq', many], { encoding: 'utf8' }), /^No errors detected/);
  });
});

// A second engine: Firefox over WebDriver BiDi, where it is installed.
test('Firefox silences a picked movie and keeps its copy', { skip: !existsSync('/usr/bin/firefox-esr') && 'no firefox-esr here' }, async () => {
  await inBrowser(async (tab) => {
    await tab.goto(page, { waitUntil: 'load' });
    assert.deepEqual(await givenAfterChanges(tab), Array(2).fill(sha256(native['backdrop.3mm'].output)));
    const [row] = await rowsWhenDone(tab, 1);
    assert.deepEqual(row.lines, native['backdrop.3mm'].lines);
    assert.equal(row.link, 'backdrop-quiet.3mm');
  }, { browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true });
});
