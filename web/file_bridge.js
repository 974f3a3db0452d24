// The calls the file layer makes into the page's worker. Each goes to
// Module.hushFiles, which the worker sets for every movie (worker.js).
mergeInto(LibraryManager.library, {
  hush_read_movie: function (offset, length, into) {
    var bytes = Module.hushFiles.read(offset, length);
    if (!bytes || bytes.length !== length) return 0;
    HEAPU8.set(bytes, into);
    return 1;
  },
  hush_write_output: function (bytes, length) {
    // A copy: the piece's memory is the run's again once this returns.
    return Module.hushFiles.write(HEAPU8.slice(bytes, bytes + length)) ? 1 : 0;
  },
  hush_copy_movie: function (offset, length) {
    return Module.hushFiles.copy(offset, length) ? 1 : 0;
  },
  hush_commit_output: function () {
    Module.hushFiles.commit();
  },
  hush_name_output: function (name) {
    Module.hushFiles.named(UTF8ToString(name));
  },
});
