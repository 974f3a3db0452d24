// Plants mutants in the lines changed since a revision, one at a time, in a
// copy of the work tree; builds what compiles that code, runs its suites,
// and counts the mutants some test caught. The developer's own tree and
// builds are never touched.
//
//   node tools/mutate/mutate.mjs [--base REV] [--max N] [--seed S] [--only PATTERN] [--tests REGEX] [--list]
//
// Without --base every line of src/ and web/ is a candidate. A mutant that
// does not build is left out of the score; one whose suite runs past its
// time limit counts as caught. Survivors known to be equivalent are read
// from tools/mutate/equivalent.txt.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { maskCode, mutantsOf } from './mutants.mjs';

const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '../..');
const work = path.join(root, 'build-mutate');
const tree = path.join(work, 'tree');

function options(argv) {
  const o = { base: null, max: 1, seed: 1, only: null, tests: null, list: false };
  for (let i = 0; i < argv.length; ++i) {
    const a = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) usage(`${a} needs a value`);
      return argv[++i];
    };
    if (a === '--base') o.base = value();
    else if (a === '--max') o.max = Number(value());
    else if (a === '--seed') o.seed = Number(value());
    else if (a === '--only') o.only = new RegExp(value());
    else if (a === '--tests') o.tests = value();
    else if (a === '--list') o.list = true;
    else usage(`unknown option ${a}`);
  }
  if (!(o.max > 0) || !Number.isInteger(o.seed)) usage('--max and --seed take whole numbers');
  return o;
}

function usage(why) {
  console.error(`mutate: ${why}\nusage: scripts/mutate [--base REV] [--max N] [--seed S] [--only PATTERN] [--tests REGEX] [--list]`);
  process.exit(2);
}

const git = (...args) => execFileSync('git', args, { cwd: root, encoding: 'utf8', maxBuffer: 1 << 28 });

// The files that may hold mutants, with the line numbers changed since
// `base` (every line without one).
function changedLines(base) {
  const files = git('ls-files', '-co', '--exclude-standard', '--', 'src', 'web')
    .split('\n').filter((f) => /\.(cpp|h|js|mjs)$/.test(f) && fs.existsSync(path.join(root, f)));
  const lines = new Map();
  if (!base) {
    for (const f of files) lines.set(f, null);
    return lines;
  }
  let file = null;
  for (const l of git('diff', '-U0', '--no-color', '--no-ext-diff', base, '--', 'src', 'web').split('\n')) {
    if (l.startsWith('+++ ')) file = l.startsWith('+++ b/') ? l.slice(6) : null;
    const hunk = /^@@ .* \+(\d+)(?:,(\d+))? @@/.exec(l);
    if (!hunk || !file || !files.includes(file)) continue;
    const set = lines.get(file) ?? new Set();
    for (let n = Number(hunk[1]), k = 0; k < Number(hunk[2] ?? 1); ++k) set.add(n + k);
    lines.set(file, set);
  }
  // Files git does not know yet are new as a whole.
  const tracked = new Set(git('ls-files', '--', 'src', 'web').split('\n'));
  for (const f of files) if (!tracked.has(f)) lines.set(f, null);
  return lines;
}

// The suite that sees a file's code: the browser page's, or the native
// suites; code for Windows only is compiled and tested by none here.
function suiteOf(file) {
  if (file.startsWith('web/') || /_web\.(cpp|h)$/.test(file)) return 'page';
  if (/_windows\.(cpp|h)$/.test(file)) return null;
  return 'native';
}

function readEquivalents() {
  const file = path.join(root, 'tools/mutate/equivalent.txt');
  const keys = new Set();
  if (!fs.existsSync(file)) return keys;
  for (const l of fs.readFileSync(file, 'utf8').split('\n')) {
    if (!l.trim() || l.startsWith('#')) continue;
    keys.add(l.split('\t').slice(0, 3).join('\t'));
  }
  return keys;
}

// Tabs apart: the formatter never puts one in code.
const keyOf = (m) => [m.file, m.from.trim(), m.to.trim()].join('\t');

function collect(lines, only) {
  const all = [];
  for (const [file, wanted] of lines) {
    if (only && !only.test(file)) continue;
    const suite = suiteOf(file);
    if (!suite) continue;
    const text = fs.readFileSync(path.join(root, file), 'utf8').split('\n');
    const state = { inComment: false };
    let previous = '';
    text.forEach((line, i) => {
      const code = maskCode(line, state);
      const before = previous;
      if (code.trim()) previous = code.trim();
      if (wanted && !wanted.has(i + 1)) return;
      for (const m of mutantsOf(line, code, before)) all.push({ file, line: i + 1, from: line, to: m.text, what: m.what, suite });
    });
  }
  return all;
}

// A few of them, the same few for the same seed.
function sample(all, max, seed) {
  let s = seed >>> 0 || 1;
  const random = () => ((s = (Math.imul(s, 1103515245) + 12345) >>> 0) / 2 ** 32);
  const picked = [...all];
  for (let i = picked.length - 1; i > 0; --i) {
    const j = Math.floor(random() * (i + 1));
    [picked[i], picked[j]] = [picked[j], picked[i]];
  }
  return picked.slice(0, Math.min(max, picked.length))
    .sort((a, b) => a.suite.localeCompare(b.suite) || a.file.localeCompare(b.file) || a.line - b.line);
}

function run(cmd, args, { cwd = tree, env = {}, timeout = 0 } = {}) {
  const r = spawnSync(cmd, args, { cwd, env: { ...process.env, ...env }, encoding: 'utf8', timeout: timeout * 1000,
    maxBuffer: 1 << 28, stdio: ['ignore', 'pipe', 'pipe'] });
  return { ok: r.status === 0, timedOut: r.error?.code === 'ETIMEDOUT', output: (r.stdout ?? '') + (r.stderr ?? '') };
}

// The copy the mutants go into: the work tree as it is, uncommitted
// changes included.
function copyTree() {
  fs.mkdirSync(tree, { recursive: true });
  const files = git('ls-files', '-co', '--exclude-standard', '-z').split('\0').filter(Boolean);
  for (const f of files) {
    const from = path.join(root, f);
    const to = path.join(tree, f);
    if (!fs.existsSync(from) || fs.lstatSync(from).isDirectory()) continue;
    fs.mkdirSync(path.dirname(to), { recursive: true });
    const same = fs.existsSync(to) && fs.readFileSync(to).equals(fs.readFileSync(from));
    if (!same) fs.copyFileSync(from, to);
  }
  if (fs.existsSync(path.join(root, 'node_modules')) && !fs.existsSync(path.join(tree, 'node_modules'))) {
    fs.symlinkSync(path.join(root, 'node_modules'), path.join(tree, 'node_modules'));
  }
}

const jobs = String(Math.max(1, (await import('node:os')).availableParallelism?.() ?? 2));
const nativeBuild = path.join(work, 'gcc');
const webBuild = path.join(tree, 'build-web');
let testFilter = null;

const suites = {
  native: {
    prepare() {
      const c = run('cmake', ['-S', tree, '-B', nativeBuild, '-DCMAKE_CXX_COMPILER=g++']);
      return c.ok ? this.build() : c;
    },
    build: () => run('cmake', ['--build', nativeBuild, '-j', jobs]),
    test: (timeout) => run('ctest', ['-j', jobs, '--stop-on-failure', '--timeout', String(timeout),
      ...(testFilter ? ['-R', testFilter] : [])],
      { cwd: nativeBuild, timeout: timeout * 3 }),
  },
  page: {
    // The page is tested against the native tool, which the mutants of the
    // page leave alone.
    prepare() {
      const n = suites.native.prepare();
      return n.ok ? this.build() : n;
    },
    build: () => run('bash', [path.join(tree, 'scripts/web')]),
    test: (timeout) => run('node', ['--test', path.join(tree, 'tests/web/page_test.mjs')], {
      timeout,
      env: { HUSH_PAGE: path.join(webBuild, 'hushmaker.html'), HUSH_TOOL: path.join(nativeBuild, 'hushmaker'),
        HUSH_MAKE_SAMPLE: path.join(nativeBuild, 'make_sample') },
    }),
  },
};

function main() {
  const o = options(process.argv.slice(2));
  const mutants = sample(collect(changedLines(o.base), o.only), o.max, o.seed);
  const equivalents = readEquivalents();
  testFilter = o.tests;
  if (o.list) {
    for (const m of mutants) console.log(`${m.file}:${m.line}: ${m.what}`);
    return 0;
  }
  console.log(`== ${mutants.length} mutants${o.base ? ` in the lines changed since ${o.base}` : ' in src/ and web/'}`);
  copyTree();
  const limits = {};
  const counts = { caught: 0, survived: 0, equivalent: 0, unbuilt: 0 };
  const survivors = [];
  let restore = null;
  const cleanup = () => restore?.();
  process.on('SIGINT', () => { cleanup(); process.exit(130); });
  for (const m of mutants) {
    const suite = suites[m.suite];
    if (!(m.suite in limits)) {
      // The unmutated tree first: it must build and pass, and its time
      // sets the limit for every mutant.
      const started = Date.now();
      const ready = suite.prepare();
      const clean = ready.ok ? suite.test(3600) : ready;
      if (!clean.ok) {
        console.log(clean.output.slice(-4000));
        console.error(`mutate: the ${m.suite} suite fails without any mutant; nothing was measured`);
        return 2;
      }
      limits[m.suite] = Math.ceil((Date.now() - started) / 1000 * 2) + 60;
    }
    const file = path.join(tree, m.file);
    const original = fs.readFileSync(file, 'utf8');
    const lines = original.split('\n');
    lines[m.line - 1] = m.to;
    restore = () => fs.writeFileSync(file, original);
    fs.writeFileSync(file, lines.join('\n'));
    let verdict;
    if (!suite.build().ok) {
      verdict = 'unbuilt';
    } else {
      const r = suite.test(limits[m.suite]);
      verdict = r.ok ? (equivalents.has(keyOf(m)) ? 'equivalent' : 'survived') : 'caught';
      if (r.timedOut) m.what += ' (ran past its time: caught)';
    }
    restore();
    restore = null;
    counts[verdict]++;
    console.log(`${verdict.padEnd(10)} ${m.file}:${m.line}: ${m.what}`);
    if (verdict === 'survived') survivors.push(m);
  }
  // Back to the tree as it is, for the next run's first build.
  for (const s of Object.keys(limits)) suites[s].build();
  const scored = counts.caught + counts.survived;
  const pct = scored ? (100 * counts.caught / scored).toFixed(1) : '-';
  console.log(`\n== score: ${counts.caught} of ${scored} mutants caught (${pct}%); ` +
    `${counts.equivalent} equivalent, ${counts.unbuilt} did not build`);
  for (const m of survivors) {
    console.log(`survivor ${m.file}:${m.line}: ${m.what}\n  if equivalent, this line and a tab and why: ${keyOf(m)}`);
  }
  return 0;
}

process.exit(main());
