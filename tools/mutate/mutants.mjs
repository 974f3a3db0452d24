// The mutants of one source line: the small slips a person makes (a
// flipped comparison, a negated or fixed condition, && for ||, a constant
// off by one, a dropped statement, swapped arguments). Only code is
// touched: comments and string literals are masked first.

// The line with every character inside a comment, a string or a character
// literal turned into a space; `state.inComment` carries a block comment
// over to the next line.
export function maskCode(line, state) {
  let out = '';
  for (let i = 0; i < line.length; ) {
    if (state.inComment) {
      const end = line.indexOf('*/', i);
      if (end < 0) return out + ' '.repeat(line.length - i);
      out += ' '.repeat(end + 2 - i);
      i = end + 2;
      state.inComment = false;
    } else if (line.startsWith('//', i)) {
      return out + ' '.repeat(line.length - i);
    } else if (line.startsWith('/*', i)) {
      state.inComment = true;
    } else if (line[i] === '"' || line[i] === "'" || line[i] === '`') {
      const quote = line[i];
      let j = i + 1;
      while (j < line.length && line[j] !== quote) j += line[j] === '\\' ? 2 : 1;
      out += quote + ' '.repeat(Math.min(j, line.length) - i - 1) + (j < line.length ? quote : '');
      i = j + 1;
    } else {
      out += line[i++];
    }
  }
  return out;
}

// Where `pattern` (a global regex) matches the masked line, each match
// replaced in the real line by `replace(match)`.
function* replaceEach(line, code, pattern, replace, what) {
  for (const m of code.matchAll(pattern)) {
    const start = m.index + (m.groups?.pre?.length ?? 0);
    const text = m.groups?.op ?? m[0];
    const by = replace(text, m);
    if (by === null || by === text) continue;
    yield { text: line.slice(0, start) + by + line.slice(start + text.length),
      what: `${what}: ${text.trim()} -> ${by.trim()} at column ${start + 1}` };
  }
}

const flips = {
  '==': '!=', '!=': '==', '===': '!==', '!==': '===',
  '<': '<=', '<=': '<', '>': '>=', '>=': '>',
  '&&': '||', '||': '&&', '+': '-', '-': '+',
};

// The end of the parenthesis opened at `open`, or -1.
function closing(code, open) {
  let depth = 0;
  for (let i = open; i < code.length; ++i) {
    if (code[i] === '(') ++depth;
    else if (code[i] === ')' && --depth === 0) return i;
  }
  return -1;
}

function* conditions(line, code) {
  for (const m of code.matchAll(/\b(if|while) \(/g)) {
    const open = m.index + m[0].length - 1;
    const close = closing(code, open);
    if (close < 0) continue;
    const inner = line.slice(open + 1, close);
    if (inner.includes(';') || /^(const )?(auto|std::|[A-Z]\w*)\b.*=[^=]/.test(inner)) continue;  // a declaration
    const around = (by) => line.slice(0, open + 1) + by + line.slice(close);
    yield { text: around(`!(${inner})`), what: `negated: ${m[1]} (${inner})` };
    yield { text: around('true'), what: `always taken: ${m[1]} (${inner})` };
    if (m[1] === 'if') yield { text: around('false'), what: `never taken: if (${inner})` };
  }
}

// A statement on a line of its own that does something: a call, an
// assignment, an increment. Declarations mostly fail to build once
// dropped, and are then left out.
function* droppedStatement(line, code, previous) {
  const t = code.trim();
  if (/[,([=&|+?<-]$/.test(previous)) return;  // the tail of a longer statement
  if (/^(const )?[\w:<>]+[*&]? [*&]?\w+ ?(=|\(|\{|;)/.test(t) && !/^(delete|throw) /.test(t)) return;  // a declaration
  if (!t.endsWith(';') || /^(return|break|continue|case|default|using|namespace|typedef|static_assert|export|import)\b/.test(t)) return;
  if (!/[(=]|\+\+|--/.test(t) || /^[)}\]]/.test(t)) return;
  if (/^(const |let |var |constexpr |static )/.test(t)) return;
  yield { text: line.replace(/\S.*$/, '{}  // dropped'), what: `dropped: ${line.trim()}` };
}

// `return true` for a function that gave false, and the like.
function* literals(line, code) {
  yield* replaceEach(line, code, /\b(true|false)\b/g, (t) => (t === 'true' ? 'false' : 'true'), 'flipped');
  yield* replaceEach(line, code, /(?<pre>[^\w.])(?<op>\d+)(?![\w.'])/g, (t) => {
    const n = Number(t);
    if (!Number.isSafeInteger(n)) return null;
    return String(n > 0 ? n - 1 : n + 1);
  }, 'constant');
}

function* operators(line, code) {
  // Binary operators with a space on each side, as the formatter writes
  // them; a template's or a stream's brackets have none.
  yield* replaceEach(line, code, /(?<= )(===|!==|==|!=|<=|>=|&&|\|\||<|>|\+|-)(?= )/g, (t) => flips[t], 'operator');
  // A negation dropped: !x for x.
  yield* replaceEach(line, code, /!(?![=])(?=[\w(*])/g, () => '', 'negation dropped');
}

function* swappedArguments(line, code) {
  yield* replaceEach(line, code, /(?<pre>\w\()(?<op>[\w.]+, [\w.]+)(?=\))/g, (t) => t.split(', ').reverse().join(', '), 'arguments swapped');
}

// Every mutant of `line` (its masked form `code`), none repeated.
// `previous` is the code of the line before, trimmed.
export function mutantsOf(line, code, previous = '') {
  if (/^\s*(#|import |export \{|\*|$)/.test(code) || code.trim() === '') return [];
  const seen = new Set([line]);
  const out = [];
  for (const gen of [operators, conditions, literals, droppedStatement, swappedArguments]) {
    for (const m of gen(line, code, previous)) {
      if (seen.has(m.text)) continue;
      seen.add(m.text);
      out.push(m);
    }
  }
  return out;
}
