// Saving when the disk lets us down: every file operation of a save is
// made to fail in turn, and nothing may be lost whichever one it is.
#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "chunky/chunky_file.h"
#include "support/document_builder.h"
#include "support/faulty_file_system.h"
#include "support/sample_document.h"
#include "support/save_scenario.h"
#include "support/temp_folder.h"

namespace hush {
namespace {

using test::Bytes;
using test::SaveScenario;
using test::SaveTarget;
using test::FaultyFileSystem;
using test::readFile;
using test::storePath;

struct Outcome {
  std::size_t operations = 0;
  int failedSaves = 0;
  int completedSaves = 0;
};

// Saves a loaded movie once per operation of a whole save, failing that
// operation, and checks the files and the store after each.
Outcome saveFailingEachOperation(SaveTarget target) {
  test::TempFolder folder;
  const SaveScenario scenario{target, test::largeSampleMovie().bytes()};
  const auto inputPath = storePath(folder / SaveScenario::kInput);
  const auto targetPath = storePath(folder / scenario.targetName());

  // A clean run first: how many operations a save takes, and its bytes.
  FaultyFileSystem files;
  Bytes expected;
  Bytes expectedAfterSave;
  std::vector<std::string> operations;
  const auto targetFile = folder / scenario.targetName();
  {
    scenario.placeIn(folder.path());
    ChunkyFile store(files);
    EXPECT_EQ(store.open(inputPath), kOpened);
    store.selectChunk(0);
    store.replaceCurrentPayload(test::bytesOf("edited"));
    files.reset();
    EXPECT_EQ(store.save(targetPath), kSaved);
    operations = files.log();
    expected = readFile(targetFile);
    // A saved store is in (tag, number) order, so its next save lists the
    // descriptors in that order.
    EXPECT_EQ(store.save(storePath(folder / "again.3mm")), kSaved);
    expectedAfterSave = readFile(folder / "again.3mm");
    std::filesystem::remove(folder / "again.3mm");
  }
  // Every failure in writing the new file, or in moving it into place,
  // must fail the save. Others (looking up which file is which, closing
  // the old file, reopening the new one, syncing the folder) may not stop a
  // save that is done.
  const auto positionOf = [&](const char* name) {
    return static_cast<std::uint64_t>(std::find(operations.begin(), operations.end(), name) - operations.begin() + 1);
  };
  const auto committedAt = positionOf("commit");
  const auto mustFail = [&](std::uint64_t k) {
    const std::string& name = operations[k - 1];
    return k <= committedAt && (name == "resolve" || name == "check" || name == "create" || name == "write" || name == "copy" ||
                                name == "read" || name == "stamp" || name == "sync" || name == "commit");
  };

  // The new file is on the disk before it is moved, and the move is made
  // durable after it.
  const auto lastOf = [&](const char* name) {
    return static_cast<std::uint64_t>(operations.rend() - std::find(operations.rbegin(), operations.rend(), name));
  };
  EXPECT_LT(std::max(lastOf("write"), lastOf("copy")), lastOf("sync"));
  EXPECT_LT(lastOf("sync"), committedAt);
  EXPECT_LT(positionOf("close"), committedAt);  // the movie is closed before the move, whatever the target
  EXPECT_LT(committedAt, lastOf("syncfolder"));
  EXPECT_LE(lastOf("syncfolder"), operations.size());

  Outcome outcome;
  outcome.operations = operations.size();
  for (std::uint64_t k = 1; k <= operations.size(); ++k) {
    SCOPED_TRACE("failing operation " + std::to_string(k) + " (" + operations[k - 1] + ")");
    scenario.placeIn(folder.path());
    ChunkyFile store(files);
    files.reset();
    EXPECT_EQ(store.open(inputPath), kOpened);
    store.selectChunk(0);
    store.replaceCurrentPayload(test::bytesOf("edited"));
    files.reset();
    files.failOperation(k);
    const int result = store.save(targetPath);
    files.reset();

    if (mustFail(k)) {
      EXPECT_EQ(result, kNotSaved);
    }
    EXPECT_EQ(scenario.expectOldOrNew(test::filesIn(folder.path()), expected), result == kSaved);
    outcome.failedSaves += result == kSaved ? 0 : 1;
    outcome.completedSaves += result == kSaved ? 1 : 0;

    // The store goes on: a later save writes the right bytes, unless it
    // lost its file (then it refuses rather than write without payloads).
    if (store.save(storePath(folder / "again.3mm")) == kSaved) {
      EXPECT_EQ(readFile(folder / "again.3mm"), result == kSaved ? expectedAfterSave : expected);
      std::filesystem::remove(folder / "again.3mm");
    } else {
      EXPECT_EQ(result, kSaved);  // only a save that completed may leave it so
    }
  }
  return outcome;
}

void report(const Outcome& outcome) {
  std::printf("[  faults  ] %zu operations: %d saves failed cleanly, %d completed\n", outcome.operations,
              outcome.failedSaves, outcome.completedSaves);
  EXPECT_GT(outcome.failedSaves, 5);
}

TEST(SaveFaults, NewTarget) { report(saveFailingEachOperation(SaveTarget::New)); }

TEST(SaveFaults, ExistingTarget) { report(saveFailingEachOperation(SaveTarget::Existing)); }

TEST(SaveFaults, InPlace) { report(saveFailingEachOperation(SaveTarget::InPlace)); }

// Another program changes the input just before each operation of a save:
// appends to it, or puts a new file in its place as an editor saves. Up to
// the last look before the commit that must fail the save; the target
// stays as it was.
TEST(SaveFaults, InputChangedDuringTheSaveFailsIt) {
  test::TempFolder folder;
  const Bytes input = test::largeSampleMovie().bytes();
  const auto in = folder / "movie.3mm";
  // Each edit says whether it could be made: Wine will not let another
  // program replace a file we hold open, where Windows and POSIX do.
  const auto edits = {+[](const std::filesystem::path& file) {
                        std::ofstream(file, std::ios::app) << 'x';
                        return true;
                      },
                      +[](const std::filesystem::path& file) {
                        const std::filesystem::path copy = file.string() + ".new";
                        std::filesystem::copy_file(file, copy);
#ifdef _WIN32
                        // The library's rename will not replace a file here.
                        const bool replaced = MoveFileExW(copy.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
                        if (!replaced) std::filesystem::remove(copy);
                        return replaced;
#else
                        std::filesystem::rename(copy, file);
                        return true;
#endif
                      }};
  FaultyFileSystem files;
  for (const auto edit : edits) {
    for (std::uint64_t k = 1;; ++k) {
      test::writeFile(in, input);
      std::filesystem::remove(folder / "out.3mm");
      ChunkyFile store(files);
      ASSERT_EQ(store.open(storePath(in)), kOpened);
      files.reset();
      bool edited = false;
      files.beforeOperation(k, [&] { edited = edit(in); });
      const int result = store.save(storePath(folder / "out.3mm"));
      const auto log = files.log();
      files.reset();  // no edit when the store closes
      if (k > log.size()) break;  // the edit would come after the whole save
      if (!edited) continue;
      const auto editAt = log.begin() + static_cast<std::ptrdiff_t>(k - 1);
      // Between the last look and the move (the movie's close, the move
      // itself) no check can see an edit: that instant is all that is left open.
      if (*editAt == "commit" || *editAt == "close") continue;
      const bool committedBefore = std::find(log.begin(), editAt, "commit") != editAt;
      EXPECT_EQ(result, committedBefore ? 1 : 0) << "edit before operation " << k << " (" << *editAt << ")";
      EXPECT_EQ(folder.list().size(), committedBefore ? 2u : 1u);  // no temporary file, no target
    }
  }
}

TEST(SaveFaults, FullDiskAtEveryPoint) {
  test::TempFolder folder;
  const Bytes input = test::largeSampleMovie().bytes();
  const auto inputPath = test::placeDocument(folder, input);
  FaultyFileSystem files;
  ChunkyFile store(files);
  ASSERT_EQ(store.open(inputPath), kOpened);
  for (std::uint64_t space : {std::uint64_t{0}, std::uint64_t{100}, std::uint64_t{4096}, std::uint64_t{200000},
                              static_cast<std::uint64_t>(input.size() - 1)}) {
    files.reset();
    files.limitSpace(space);
    EXPECT_EQ(store.save(inputPath), kNotSaved) << space;
    EXPECT_EQ(readFile(folder / "movie.3mm"), input);
    EXPECT_EQ(folder.list(), std::vector<std::string>{"movie.3mm"});
  }
  files.reset();
  EXPECT_EQ(store.save(inputPath), kSaved);
  EXPECT_EQ(readFile(folder / "movie.3mm"), input);  // unedited: the same bytes
}

}  // namespace
}  // namespace hush
