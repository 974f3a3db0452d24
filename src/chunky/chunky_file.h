// The store: one open chunky document in memory. Records keep their
// payloads in the document's file until somebody asks for them; callers
// select a chunk by index and then query or edit the current chunk.
//
// Results, not exceptions: every operation gives its empty result (false,
// 0, an empty list) when no document is open or no chunk is selected, and
// open and save answer running out of memory with their own results. What
// needs the lookup or the tag ranges rebuilt may throw std::bad_alloc:
// findChunk and the unlinks before they change anything, the deletes
// halfway, after which the store must not be saved.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "chunky/chunk.h"
#include "chunky/chunk_types.h"
#include "chunky/chunky_format.h"
#include "chunky/key_index.h"
#include "chunky/tag_ranges.h"
#include "platform/file_error.h"
#include "platform/file_system.h"

namespace hush {

struct SaveLayout;

// Results of ChunkyFile::open; callers and scripts know them by number.
enum [[nodiscard]] OpenResult : int {
  kOpenFailed = 0,  // already open, empty path, or the file cannot be opened
  kOpened = 1,
  kHeaderRefused = 4,
  kIndexRefused = 5,
};

// Results of ChunkyFile::save.
enum [[nodiscard]] SaveResult : int {
  kNotSaved = 0,  // nothing was written: the target keeps its old bytes
  kSaved = 1,     // written, and the store now stands for the saved file
};

// Why the last open or save failed.
enum class FailureKind {
  None,
  File,           // the file layer failed; `file` says why
  TooShort,       // shorter than a header
  NotAMovie,      // the header does not begin as a document's does
  DamagedHeader,  // a header field no document has
  WrongLength,    // the header gives another length than the file has
  DamagedIndex,   // the index does not fit the file, or its records overlap
  DamagedRecord,  // one record of the index is not whole; `record` says which
  TooLarge,       // the document no longer fits the format's limits
  Changed,        // the input was written to, moved or removed during the save
  OutOfMemory,
};

struct Failure {
  FailureKind kind = FailureKind::None;
  FileError file = FileError::None;
  std::uint32_t record = 0;  // the damaged record's place in the index, from 0
};

class ChunkyFile {
 public:
  explicit ChunkyFile(FileSystem& fileSystem = nativeFileSystem());
  ~ChunkyFile();
  ChunkyFile(const ChunkyFile&) = delete;
  ChunkyFile& operator=(const ChunkyFile&) = delete;

  // Loading and saving.
  [[nodiscard]] OpenResult open(const Path& path);
  [[nodiscard]] SaveResult save(const Path& target);
  bool close();
  // Why the last open or save that failed did so.
  const Failure& lastFailure() const { return failure_; }

  // Queries.
  bool isOpen() const { return isOpen_; }
  const Path& path() const { return path_; }
  std::uint32_t chunkCount() const;
  bool selectChunk(std::uint32_t index);
  std::int32_t current() const { return current_; }
  [[nodiscard]] bool describeCurrent(ChunkInfo& info) const;
  std::uint32_t currentPayloadSize() const;
  [[nodiscard]] bool readCurrentPayload(std::span<std::uint8_t> destination) const;
  std::uint16_t currentLinkCount() const;
  std::vector<ChildLink> currentLinks() const;
  std::int32_t findChunk(ChunkTag tag, ChunkNumber number) const;
  // Where every record's payload lies, in store order.
  std::vector<PayloadSpan> payloadSpans() const;
  // The length of the file the store was loaded from.
  std::uint64_t fileLength() const { return fileLength_; }
  // What a save would write besides the payloads: the header and the
  // index, as the records are now.
  std::uint64_t savedSizeBesidesPayloads() const;

  // Edits of the current chunk.
  bool replaceCurrentPayload(std::span<const std::uint8_t> bytes);
  bool selectCurrentLink(std::uint16_t index);
  bool unlinkSelected();
  bool deleteCurrent();

  // Whole-store edits with the outcome of the single edits repeated, in
  // linear time. Removes every link of the current chunk tagged `tag`, the
  // earliest first, as unlinkSelected would; returns how many.
  std::size_t unlinkCurrentLinksTagged(ChunkTag tag);
  // Deletes every record whose tag is one of `tags`, as deleteCurrent would
  // walking the store from the front; returns how many. No chunk stays
  // selected.
  std::size_t deleteChunksTagged(std::span<const ChunkTag> tags);

  // The per-tag number ranges.
  void noteNumber(ChunkTag tag, ChunkNumber number) { tagRanges_.note(tag, number); }
  void rebuildTagRanges();
  const std::vector<TagRange>& tagRanges() const { return tagRanges_.list(); }

  // Read-only views for tools and tests.
  const std::vector<Chunk>& chunks() const {
    settleLowering();
    return chunks_;
  }
  std::uint32_t headerId() const { return headerId_; }
  std::uint16_t headerWord1() const { return headerWord1_; }
  std::uint16_t headerWord2() const { return headerWord2_; }
  std::uint32_t formatCode() const { return formatCode_; }

 private:
  struct IndexArea;

  // Loading, step by step.
  OpenResult readIndex();
  std::optional<IndexArea> readIndexArea(std::uint32_t indexStart);
  std::optional<Chunk> readRecord(std::span<const std::uint8_t> record) const;
  bool readPayloadHeads();

  // Saving, step by step.
  format::FileHeader carriedHeader() const;
  [[nodiscard]] bool commit(TempFile& temp, const Path& destination);
  void standForSavedFile(const Path& target, const SaveLayout& layout, std::vector<std::uint32_t>& order,
                         std::vector<bool>& placed);
  void settleLowering() const;
  void reset();
  void releaseStream();
  bool fileUnchanged() const;
  Chunk* currentChunk();
  const Chunk* currentChunk() const;
  void makeRoomToLower(std::size_t count);

  // The failure, noted where it happens; returns `result`.
  template <typename Result>
  Result fail(Result result, FailureKind kind, std::uint32_t record = 0) {
    failure_ = Failure{kind, kind == FailureKind::File ? lastFileError() : FileError::None, record};
    return result;
  }

  FileSystem& fileSystem_;
  Failure failure_;
  mutable std::vector<Chunk> chunks_;
  // The keys of children an unlink took a parent from, their counts not yet
  // lowered. They are lowered when next looked at (settleLowering), before
  // any edit that changes which record a key names; those of records
  // deleted first are never looked up at all, as with every sound a run of
  // the tool unlinks and then deletes.
  mutable std::vector<std::uint64_t> pendingLowering_;
  Path path_;
  bool isOpen_ = false;
  std::unique_ptr<File> file_;
  // Length and stamp of the file when it was opened or written; a save
  // refuses to copy from a file whose stamp has changed since.
  std::uint64_t fileLength_ = 0;
  std::optional<FileStamp> fileStamp_;
  TagRanges tagRanges_;
  // Rebuilt when next needed after the records move; a save takes its
  // order from here too.
  mutable KeyIndex keys_;
  std::int32_t current_ = -1;
  std::uint32_t headerId_ = 0;
  std::uint16_t headerWord1_ = 0;
  std::uint16_t headerWord2_ = 0;
  std::uint32_t formatCode_ = 0;
};

}  // namespace hush
