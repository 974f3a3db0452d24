// The page: the API (window.hushmaker) over the worker, and the rows that
// show each movie. Everything stays in this browser.
/* global zipOf */
'use strict';

(() => {
  const source = document.getElementById('worker-source').textContent;
  const worker = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
  const waiting = new Map();
  let nextId = 1;

  worker.onmessage = (event) => {
    const { id, progress, done, failed } = event.data;
    const job = waiting.get(id);
    if (!job) return;
    if (progress) {
      if (job.onProgress) job.onProgress(progress);
      return;
    }
    waiting.delete(id);
    if (failed) job.reject(new Error(failed));
    else job.resolve(done);
  };

  // Wrong input is refused, never guessed at: the movie's name is its file
  // name, whole (a browser's file name has no folder part), and is never
  // read as an option.
  function check(input, name, options) {
    const bytes = input instanceof Uint8Array;
    if (!(input instanceof Blob) && !(bytes && !input.buffer.detached)) {
      throw new TypeError('silence: the movie must be a File, a Blob or a Uint8Array that was not transferred');
    }
    if (typeof name !== 'string' || name === '' || name.includes('/')) {
      throw new TypeError("silence: the name must be the movie's file name: a string, not empty, without '/'");
    }
    if (typeof options !== 'object' || options === null) throw new TypeError('silence: the options must be an object');
    if (!['undefined', 'boolean'].includes(typeof options.bytes)) throw new TypeError('silence: bytes must be true or false');
    if (!['undefined', 'function'].includes(typeof options.onProgress)) {
      throw new TypeError('silence: onProgress must be a function');
    }
  }

  // The one way in for scripts; the rows take the same run, with the one
  // thing only a drop can tell (a folder).
  //   silence(input, name = input.name, { bytes = true, onProgress })
  // input: File, Blob or Uint8Array. The result:
  //   { status: 7|1|2|3, lines, outputName, bytes: Uint8Array|null, bytesError: string|null, blob: Blob|null,
  //     memory }
  async function silence(input, name = input?.name, options = {}) {
    check(input, name, options);
    return run(input instanceof Blob ? input : new Blob([input]), name, options);
  }
  window.hushmaker = { silence };

  // A movie to the worker; `folder` for a dropped folder, which the worker
  // cannot tell from a file it fails to read.
  async function run(movie, name, { bytes = true, onProgress }, folder = false) {
    const id = nextId++;
    const done = await new Promise((resolve, reject) => {
      waiting.set(id, { resolve, reject, onProgress });
      worker.postMessage({ id, movie, name, folder });
    });
    const blob = done.output;
    const result = { status: done.status, lines: done.lines, outputName: done.outputName, bytes: null,
      bytesError: null, blob, memory: done.memory };
    // A copy the browser cannot hand over as one array is still the result,
    // with its blob, and says why its bytes are missing.
    if (blob && bytes) {
      try {
        result.bytes = new Uint8Array(await blob.arrayBuffer());
      } catch (error) {
        result.bytesError = `The silent copy could not be read into one array (${error.name}: ${error.message}): ` +
          'too large for this browser';
      }
    }
    return result;
  }

  // The rows.
  const list = document.getElementById('movies');
  const downloadAll = document.getElementById('download-all');
  const picker = document.getElementById('picker');
  const saved = [];

  // Several copies may share a name (movies of one name from two folders):
  // the later ones are numbered, in their rows, links and the ZIP alike.
  const taken = new Set();
  function numbered(name) {
    let unique = name;
    for (let n = 2; taken.has(unique); ++n) unique = name.replace(/(\.3mm)?$/, ` (${n})$1`);
    taken.add(unique);
    return unique;
  }

  // Copies live in this tab alone: closing it before they are downloaded
  // asks first.
  window.addEventListener('beforeunload', (event) => {
    if (saved.some((copy) => !copy.downloaded)) event.preventDefault();
  });

  const megabytes = (n) => (n < 1e6 ? `${n.toLocaleString()} bytes` : `${(n / 1e6).toFixed(1)} MB`);
  const outcomes = {
    7: (r, name) => `Silenced: ready to download as ${name}.`,
    1: () => 'Not loaded: Hushmaker could not read this as a movie. Nothing was saved.',
    2: () => 'Not silenced: a part of this movie could not be rewritten. Nothing was saved.',
    3: () => 'Not saved: the silent copy could not be kept.',
  };

  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function addRow(file) {
    const row = element('li', 'movie working');
    const sizes = element('p', 'sizes', `${megabytes(file.size)} → …`);
    const bar = element('progress');
    bar.setAttribute('aria-label', `Silencing ${file.name}`);
    const outcome = element('p', 'outcome', 'Waiting…');
    const lines = element('pre', 'lines');
    row.append(element('h2', '', file.name), sizes, outcome, bar, lines);
    list.append(row);
    return { row, sizes, bar, outcome, lines };
  }

  async function silenceFile(file, view, folder) {
    view.outcome.textContent = 'Silencing…';
    const onProgress = ({ read, written, size }) => {
      view.bar.max = 2 * size;  // read about twice: the pass, then the save
      view.bar.value = Math.min(read, 2 * size);
      view.outcome.textContent = `Silencing… ${megabytes(written)} written`;
    };
    const result = await run(file, file.name, { bytes: false, onProgress }, folder);
    view.bar.remove();
    view.lines.textContent = result.lines.join('\n');
    const name = result.blob ? numbered(result.outputName) : result.outputName;
    view.outcome.textContent = outcomes[result.status](result, name);
    view.row.className = `movie ${result.status === 7 ? 'saved' : 'refused'}`;
    if (!result.blob) {
      view.sizes.textContent = `${megabytes(file.size)}`;
      return;
    }
    view.sizes.textContent = `${megabytes(file.size)} → ${megabytes(result.blob.size)}`;
    const link = element('a', 'download', `Download ${name}`);
    link.href = URL.createObjectURL(result.blob);
    link.download = name;
    const copy = { name, blob: result.blob, downloaded: false };
    link.addEventListener('click', () => { copy.downloaded = true; });
    view.row.append(link);
    saved.push(copy);
    downloadAll.hidden = saved.length < 2;
  }

  // A row that failed in any way ends with why; the rows after it go on.
  function stopped(view, error) {
    view.bar.remove();
    view.row.className = 'movie refused';
    view.outcome.textContent = `Not saved: the browser stopped the work (${error.message}).`;
  }

  // Drops queue behind the ones before them; the worker takes one at a time.
  let queue = Promise.resolve();
  function take(files, folders = []) {
    for (const [i, file] of files.entries()) {
      const view = addRow(file);
      queue = queue.then(() => silenceFile(file, view, folders[i])).catch((error) => stopped(view, error));
    }
  }


  // The worker reads each copy once for its CRC; the ZIP itself is
  // written around the copies, with nothing read on this thread.
  function crcOf(blob) {
    const id = nextId++;
    return new Promise((resolve, reject) => {
      waiting.set(id, { resolve, reject });
      worker.postMessage({ id, crcOf: blob });
    });
  }

  // A ZIP that fails says why, and the button stays for another try. It
  // waits for the movies still running, so that none is left out.
  const zipState = document.getElementById('zip-state');
  downloadAll.addEventListener('click', async () => {
    downloadAll.disabled = true;
    let problem = '';
    try {
      await queue;
      zipState.textContent = 'Making the ZIP…';
      for (const copy of saved) copy.crc ??= await crcOf(copy.blob);
      const link = element('a');
      link.href = URL.createObjectURL(zipOf(saved));
      for (const copy of saved) copy.downloaded = true;
      link.download = 'silent-movies.zip';
      document.body.append(link);
      link.click();
      link.remove();
    } catch (error) {
      problem = `The ZIP could not be made (${error.message || error}). Try again.`;
    } finally {
      zipState.textContent = problem;
      downloadAll.disabled = false;
    }
  });

  document.getElementById('choose').addEventListener('click', () => picker.click());
  picker.addEventListener('change', () => {
    take([...picker.files]);
    picker.value = '';
  });
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    // A dropped folder comes as a file; only its entry says what it is.
    const entries = [...event.dataTransfer.items].filter((item) => item.kind === 'file');
    take([...event.dataTransfer.files], entries.map((item) => Boolean(item.webkitGetAsEntry?.()?.isDirectory)));
  });
})();
