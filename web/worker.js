// The page's worker: one module, one movie at a time, in the order asked.
// The movie is read where it lies, slice by slice. The silent copy is one
// Blob of the pieces the module writes and of the movie's kept bytes, read
// as the module asks for them: none is taken from the movie later.
/* global createHushmaker, hushmakerWasm, FileReaderSync, crc32 */
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
  const { id, movie, name, folder, crcOf } = event.data;
  queue = queue.then(() => (crcOf ? checksum(id, crcOf) : silence(id, movie, name, folder)));
};

// The CRC-32 of a silent copy, for the ZIP: read here, in pieces, so that
// the page never waits on gigabytes.
function checksum(id, blob) {
  const reader = new FileReaderSync();
  const piece = 8 << 20;
  try {
    let crc = 0;
    for (let at = 0; at < blob.size; at += piece) {
      crc = crc32(crc, new Uint8Array(reader.readAsArrayBuffer(blob.slice(at, at + piece))));
    }
    postMessage({ id, done: crc });
  } catch (error) {
    postMessage({ id, failed: String(error && error.message || error) });
  }
}

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
    counts,
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
    // The movie's kept bytes are read now, into pieces of the copy's own,
    // and never taken from the movie later: whatever becomes of the movie,
    // the copy holds the bytes it had when it was silenced.
    copy(offset, length) {
      const piece = 16 << 20;  // a read costs about a millisecond whatever its size
      try {
        for (let at = offset, end = offset + length; at < end; at += piece) {
          const bytes = reader.readAsArrayBuffer(movie.slice(at, Math.min(at + piece, end)));
          if (bytes.byteLength !== Math.min(piece, end - at)) return false;  // cut short since
          this.parts.push(new Blob([bytes]));
          counts.read += bytes.byteLength;
          counts.written += bytes.byteLength;
          report();
        }
        return true;
      } catch (error) {
        return false;
      }
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
    postMessage({ id, progress: files.counts });  // where it ended, whenever the last report was
    const output = status === 7 && files.committed ? new Blob(files.parts) : null;
    postMessage({ id, done: { status, lines, outputName: files.outputName, output, memory: instance.HEAPU8.length } });
  } catch (error) {
    // The module stopped (out of memory, most likely): a fresh one takes
    // the next movie.
    module = createHushmaker(options);
    postMessage({ id, failed: String(error && error.message || error), lines });
  }
}
