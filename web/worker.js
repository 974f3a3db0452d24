// The page's worker: one module, one movie at a time, in the order asked.
// The movie is read where it lies, slice by slice, and the silent copy
// leaves the module in pieces that become one Blob with the slices of the
// movie it keeps.
/* global createHushmaker, hushmakerWasm, FileReaderSync */
'use strict';

let lines = [];
const options = {
  print: (line) => lines.push(line),
  printErr: (line) => lines.push(line),
  // Given, so never fetched (build_page.mjs writes it into the page).
  wasmBinary: Uint8Array.from(atob(hushmakerWasm), (c) => c.charCodeAt(0)),
};
let module = createHushmaker(options);
let queue = Promise.resolve();

self.onmessage = (event) => {
  const { id, movie, name, folder } = event.data;
  queue = queue.then(() => silence(id, movie, name, folder));
};

function filesFor(id, movie) {
  const reader = new FileReaderSync();
  const counts = { read: 0, written: 0, size: movie.size };
  let reported = 0;
  const report = () => {
    if (Date.now() - reported < 100) return;
    reported = Date.now();
    postMessage({ id, progress: counts });
  };
  return {
    outputName: '',
    committed: false,
    parts: [],
    read(offset, length) {
      try {
        const bytes = new Uint8Array(reader.readAsArrayBuffer(movie.slice(offset, offset + length)));
        counts.read += length;
        report();
        return bytes;
      } catch (error) {
        return null;  // gone, or changed since it was dropped
      }
    },
    // The movie's kept bytes join the output as slices of the movie: no
    // copy is made, and the browser refuses to read a slice of a file that
    // has changed since it was picked, so the output can never hold bytes
    // the movie did not have when it was silenced.
    copy(offset, length) {
      this.parts.push(movie.slice(offset, offset + length));
      counts.read += length;
      counts.written += length;
      report();
      return true;
    },
    write(piece) {
      try {
        this.parts.push(new Blob([piece]));
      } catch (error) {
        return false;
      }
      counts.written += piece.length;
      report();
      return true;
    },
    commit() { this.committed = true; },
    named(text) { this.outputName = text; },
  };
}

async function silence(id, movie, name, folder) {
  let instance;
  try {
    instance = await module;
    const files = filesFor(id, movie);
    instance.hushFiles = files;
    lines = [];
    const size = instance.lengthBytesUTF8(name) + 1;
    const text = instance._malloc(size);
    instance.stringToUTF8(name, text, size);
    const status = instance._hush_silence(text, movie.size, folder ? 1 : 0);
    instance._free(text);
    const output = status === 7 && files.committed ? new Blob(files.parts) : null;
    postMessage({ id, done: { status, lines, outputName: files.outputName, output, memory: instance.HEAPU8.length } });
  } catch (error) {
    // The module stopped (out of memory, most likely): a fresh one takes
    // the next movie.
    module = createHushmaker(options);
    postMessage({ id, failed: String(error && error.message || error), lines });
  }
}
