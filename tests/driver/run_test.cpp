// The run's answer when the file system fails it, at any operation.
#include "driver/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "platform/file_error.h"
#include "support/faulty_file_system.h"
#include "support/sample_document.h"
#include "support/save_scenario.h"
#include "support/temp_folder.h"

namespace hush {
namespace {

struct RunOutcome {
  int status;
  std::string output;
};

RunOutcome runWith(FileSystem& files, const std::vector<std::filesystem::path>& args,
                   Launch launch = Launch::FromAPrompt) {
  std::vector<Argument> arguments;
  for (const auto& a : args) arguments.push_back(Argument{a.string(), test::storePath(a)});
  // Not tmpfile(): under Wine, tests side by side may get the same name.
  const test::TempFolder outputFolder;
  std::FILE* out = std::fopen((outputFolder / "out.txt").string().c_str(), "w+b");
  if (out == nullptr) throw std::runtime_error("cannot open the run's output file");
  const int status = run(arguments, files, launch, out, out);
  std::string printed(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  printed.resize(std::fread(printed.data(), 1, printed.size(), out));
  std::fclose(out);
  return {status, printed};
}

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST(RunArguments, NoArgumentsAtAllIsTheUsage) {
  // A process started with an empty argument list has no argv[1] to read.
  test::FaultyFileSystem files;
  const RunOutcome outcome = runWith(files, {});
  EXPECT_EQ(outcome.status, kExitUsage);
#ifdef _WIN32
  EXPECT_NE(outcome.output.find("at a command prompt.\n"), std::string::npos);
#else
  EXPECT_NE(outcome.output.find("Usage: hushmaker [--pause] <in.3mm> [out.3mm]\n"), std::string::npos);
#endif
  EXPECT_EQ(files.operations(), 0u);
}

// Three files or more without --each: the first is silenced, and the rest
// are named as ignored.
TEST(RunArguments, IgnoredFilesAreNamed) {
  test::TempFolder folder;
  test::writeFile(folder / "a.3mm", test::sampleMovie().bytes());
  test::FaultyFileSystem files;
  const RunOutcome two = runWith(files, {"hushmaker", folder / "a.3mm", folder / "b.3mm"});
  const RunOutcome three = runWith(files, {"hushmaker", folder / "a.3mm", "b", "c"});
  EXPECT_EQ(two.output.find("Ignored"), std::string::npos);
  EXPECT_NE(three.output.find("\nIgnored: b c (to silence each file as a movie of its own, use --each)\n"), std::string::npos);
  EXPECT_EQ(three.status, kExitSaved);
}

// Runs the tool once per file operation of a whole run, failing that one,
// and checks the status, the last line and the files after each.
void failEachOperationOfARun(test::SaveTarget target) {
  test::TempFolder folder;
  const test::SaveScenario scenario{target, test::sampleMovie().bytes()};
  const auto in = folder / test::SaveScenario::kInput;
  const auto out = folder / scenario.targetName();
  test::FaultyFileSystem files;
  scenario.placeIn(folder.path());
  ASSERT_EQ(runWith(files, {"hushmaker", in, out}).status, kExitSaved);
  const auto total = files.operations();
  const test::Bytes silent = test::readFile(out);

  int failed = 0;
  for (std::uint64_t k = 1; k <= total; ++k) {
    scenario.placeIn(folder.path());
    files.reset();
    files.failOperation(k);
    const RunOutcome outcome = runWith(files, {"hushmaker", in, out});
    SCOPED_TRACE("failing operation " + std::to_string(k) + " of " + std::to_string(total));
    // Each failure says why, from the error of the step that failed: never
    // the line for a failure nobody explained.
    const char* const steps[] = {"Couldn't load!\nError: ", "Error: Couldn't read the group from the file\n",
                                 "Couldn't save!\nError: "};
    if (outcome.status == kExitSaved) {
      EXPECT_TRUE(endsWith(outcome.output, "Saved!\n"));
    } else {
      ASSERT_TRUE(outcome.status >= kExitLoadFailed && outcome.status <= kExitSaveFailed);
      EXPECT_NE(outcome.output.find(steps[outcome.status - kExitLoadFailed]), std::string::npos) << outcome.output;
      EXPECT_FALSE(endsWith(outcome.output, "couldn't be read\n") || endsWith(outcome.output, "couldn't be written\n"))
          << outcome.output;
      failed += outcome.status == kExitSaveFailed ? 1 : 0;
    }
    EXPECT_EQ(scenario.expectOldOrNew(test::filesIn(folder.path()), silent), outcome.status == kExitSaved);
  }
  std::printf("[  faults  ] %llu operations in a run (%s): %d failed saves reported\n",
              static_cast<unsigned long long>(total), test::saveTargetName(target).c_str(), failed);
  EXPECT_GT(failed, 5);
}

TEST(RunSaveFailures, EveryFailureIsReportedWithItsStatus) { failEachOperationOfARun(test::SaveTarget::New); }

TEST(RunSaveFailures, ExistingTargetKeepsItsBytes) { failEachOperationOfARun(test::SaveTarget::Existing); }

TEST(RunSaveFailures, InPlaceEveryFailureKeepsTheMovie) { failEachOperationOfARun(test::SaveTarget::InPlace); }

// Only Explorer's console is a drop; what launchers and Wine give instead.
TEST(DropConsole, IsAConsoleOfItsOwnThatAPersonSeesOrWinesNewOne) {
  struct Case { const char* what; ConsoleFacts facts; bool drop; };  // facts: window, alone, reads, writes, Wine, bare
  const Case cases[] = {
      {"Explorer", {true, true, true, true, false, false}, true},
      {"a prompt's shared console", {true, false, true, true, false, false}, false},
      {"CREATE_NO_WINDOW", {false, true, true, true, false, false}, false},
      {"CREATE_NO_WINDOW with the launcher's handles", {false, true, false, false, false, true}, false},
      {"a new console, output redirected", {true, true, true, false, false, false}, false},
      {"Wine: a new console", {false, true, false, false, true, true}, true},
      {"Wine: CREATE_NO_WINDOW", {false, true, true, true, true, false}, false},
      {"Wine: a pipe for output", {false, true, false, false, true, false}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(isADropConsole(c.facts), c.drop) << c.what;
}

// A save that fails at its last step and cannot remove its complete copy
// either says where the copy is.
TEST(RunSaveFailures, SaysWhereACopyLeftBehindIs) {
  test::TempFolder folder;
  const auto in = folder / "movie.3mm", out = folder / "out.3mm";
  test::writeFile(in, test::sampleMovie().bytes());
  test::FaultyFileSystem files;
  ASSERT_EQ(runWith(files, {"hushmaker", in, out}).status, kExitSaved);
  const auto log = files.log();
  const auto commit = static_cast<std::uint64_t>(std::find(log.begin(), log.end(), "commit") - log.begin() + 1);
  files.reset();
  files.beforeOperation(commit, [] { noteCopyLeftBehind(".hushmaker-abc123.tmp"); });
  files.failOperation(commit);
  const RunOutcome outcome = runWith(files, {"hushmaker", in, out});
  EXPECT_TRUE(endsWith(outcome.output, "The silent copy is left as .hushmaker-abc123.tmp, in the folder of " +
                                           out.string() + "\n")) << outcome.output;
}

// Running out of memory while writing stays a failed save: the target
// never appears, and no temporary file is left.
TEST(RunSaveFailures, OutOfMemoryInTheSaveIsAFailedSave) {
  test::TempFolder folder;
  const auto in = folder / "movie.3mm";
  test::writeFile(in, test::sampleMovie().bytes());
  test::FaultyFileSystem files;
  ASSERT_EQ(runWith(files, {"hushmaker", in, folder / "out.3mm"}).status, kExitSaved);
  const std::vector<std::string> log = files.log();
  std::filesystem::remove(folder / "out.3mm");
  for (const char* operation : {"create", "write", "sync"}) {
    const auto at = std::find(log.begin(), log.end(), operation);
    ASSERT_NE(at, log.end()) << operation;
    files.reset();
    files.beforeOperation(static_cast<std::uint64_t>(at - log.begin() + 1), [] { throw std::bad_alloc(); });
    const RunOutcome outcome = runWith(files, {"hushmaker", in, folder / "out.3mm"});
    EXPECT_EQ(outcome.status, kExitSaveFailed) << operation;
    EXPECT_TRUE(endsWith(outcome.output, "Couldn't save!\nError: Not enough memory\n")) << operation;
    EXPECT_EQ(folder.list(), std::vector<std::string>{"movie.3mm"}) << operation;
  }
}

// Files dropped together are movies each: every one is silenced under its
// default name, one failure stops none of the others, the status is that
// of the first failure, and a summary ends the run. No dropped movie is
// ever written over, nor one output twice, and one the plan refuses is not
// even loaded. --each from a prompt does exactly the same.
TEST(RunDroppedFiles, EachIsAMovieOfItsOwn) {
  struct Drop {
    std::vector<std::string> movies;  // "-" for one that is not there, "!" for one with a refused group
    int status;
    std::string summary;
    bool firstOutputIsALinkToIt = false;  // a-quiet.3mm a hard link to a.3mm
  };
  const std::string dropped = ": a-quiet.3mm is one of the dropped movies; it is left as it was\n";
  const Drop drops[] = {
      {{"a.3mm", "b.3mm"}, kExitSaved, "Saved 2 of 2 movies.\n"},
      {{"a.3mm", "-", "c.3mm"}, kExitLoadFailed,
       "Saved 2 of 3 movies.\nNot saved: missing.3mm: There is no file by that name\n"},
      {{"a.3mm", "!", "-"}, kExitGroupError,
       "Saved 1 of 3 movies.\nNot saved: refused.3mm: Bad marker\nNot saved: missing.3mm: There is no file by that name\n"},
      {{"a.3mm", "a-quiet.3mm"}, kExitSaveFailed, "Saved 1 of 2 movies.\nNot saved: a.3mm" + dropped},
      {{"a-quiet.3mm", "a.3mm"}, kExitSaveFailed, "Saved 1 of 2 movies.\nNot saved: a.3mm" + dropped},
      {{"b.3mm", "a.3mm", "./a.bak"}, kExitSaveFailed,
       "Saved 2 of 3 movies.\nNot saved: ./a.bak: ./a-quiet.3mm is the silent copy of a.3mm in this drop\n"},
      {{"a./b", "a.bak"}, kExitSaveFailed, "Saved 1 of 2 movies.\nNot saved: a./b: a-quiet.3mm would lie outside the "
       "movie's folder (the name is cut at its last dot, here in a folder's name); give the movie a name that ends in .3mm\n"},
      {{"a.3mm", "./a.3mm"}, kExitSaved,
       "./a.3mm is the same movie as a.3mm (above), so it is not silenced twice\n\nSaved 1 of 1 movies.\n"},
      {{"a/x.3mm", "b/x.3mm"}, kExitSaved, "Saved 2 of 2 movies.\n"},
      {{"a.3mm", "b.3mm"}, kExitSaveFailed, "Saved 1 of 2 movies.\nNot saved: a.3mm" + dropped, true},
  };
  // Each drop twice: dropped, and from a prompt with --each.
  for (std::size_t k = 0; k < 2 * std::size(drops); ++k) {
    const Drop& drop = drops[k % std::size(drops)];
    const Launch launch = k < std::size(drops) ? Launch::Dropped : Launch::FromAPrompt;
    test::TempFolder folder;
    test::FaultyFileSystem files;
    std::vector<std::filesystem::path> args{"hushmaker"};
    if (launch == Launch::FromAPrompt) args.emplace_back("--each");
    const std::size_t first = args.size();
    std::vector<test::Bytes> movies;
    for (const auto& movie : drop.movies) {
      args.push_back(folder / (movie == "-" ? "missing.3mm" : movie == "!" ? "refused.3mm" : movie));
      test::DocumentBuilder doc = test::sampleMovie();
      doc.add("ACTR", 900, test::bytesOf(std::filesystem::path(movie).filename().string()));  // a movie of its own
      if (movie == "!") doc.add("GGFR", 99, test::bytesOf("not a group"));
      movies.push_back(doc.bytes());
      std::filesystem::create_directories(args.back().parent_path());
      if (movie != "-") test::writeFile(args.back(), movies.back());
    }
    std::error_code noLinks;  // Wine may make none
    if (drop.firstOutputIsALinkToIt) std::filesystem::create_hard_link(folder / "a.3mm", folder / "a-quiet.3mm", noLinks);
    if (noLinks) continue;
    RunOutcome outcome = runWith(files, args, launch);
    SCOPED_TRACE(drop.movies.front() + " " + drop.movies[1] + (launch == Launch::Dropped ? "" : " with --each"));
    EXPECT_EQ(outcome.status, drop.status);
    EXPECT_EQ(outcome.output.find("Hushmaker " HUSH_VERSION), outcome.output.rfind("Hushmaker " HUSH_VERSION));
    const std::string prefix = (folder.path() / "").string();  // the folder, with its separator
    for (auto at = outcome.output.find(prefix); at != std::string::npos; at = outcome.output.find(prefix))
      outcome.output.erase(at, prefix.size());
    EXPECT_TRUE(endsWith(outcome.output, "\n" + drop.summary)) << outcome.output;
    const auto count = [&](const std::string& text) {
      std::size_t n = 0;
      for (auto at = outcome.output.find(text); at != std::string::npos; at = outcome.output.find(text, at + 1)) ++n;
      return n;
    };
    const std::size_t refused = drop.status == kExitSaveFailed, again = count(" is the same movie as ");
    EXPECT_EQ(count("\nLoaded. ") + count("\nCouldn't load!"), drop.movies.size() - refused - again);
    EXPECT_EQ(count("\nCouldn't save!\nError: "), refused);
    for (std::size_t i = 0; i < drop.movies.size(); ++i) {
      if (drop.movies[i] != "-") {
        EXPECT_EQ(test::readFile(args[first + i]), movies[i]) << drop.movies[i];
      }
    }
  }
}

}  // namespace
}  // namespace hush
