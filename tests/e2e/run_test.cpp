// The run as a user sees it: arguments, messages, exit status, files.
#include <algorithm>
#include <filesystem>

#include "e2e/e2e_support.h"
#include "support/sample_document.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;

// Each way of starting the tool: its status, every line it prints (the
// usage after a mistake with the error, on standard error), and the files
// it writes beside the movie, a malformed movie, a movie with a refused
// group and a folder.
TEST(Run, EachInvocationHasItsStatusLinesAndFiles) {
  struct Invocation {
    std::vector<std::string> args;
    int status;
    std::vector<std::string> lines;
    Files written;
    std::vector<std::string> errors = {};
  };
  const std::string loaded = "Loaded. 15 quads, silentifying...";
#ifdef _WIN32
  const std::vector<std::string> usage{"Usage: Drag a file onto Hushmaker.exe!",
                                       "Or type: Hushmaker.exe <in.3mm> [out.3mm]", "at a command prompt.",
                                       "Several movies: Hushmaker.exe [--pause] --each <a.3mm> <b.3mm>...",
                                       "Explorer's right-click menu: Hushmaker.exe --install (or --uninstall)"};
  const std::vector<std::string> menuAlone = usage;  // the menu's options take no file
#else
  const std::vector<std::string> usage{
      "Usage: " HUSHMAKER_EXE " [--pause] <in.3mm> [out.3mm]", "       " HUSHMAKER_EXE " [--pause] --each <movie.3mm>...",
      "Saves the movie without its sounds, as out.3mm or else as in-quiet.3mm;",
      "with --each, each movie as movie-quiet.3mm. --pause waits for Enter after a failure."};
#endif
  std::vector<std::string> unknown = usage;
  unknown.insert(unknown.begin(), "Unknown option: -x");
  const std::string outside = "Error: taken-quiet.3mm would lie outside the movie's folder (the name is cut at its last "
                              "dot, here in a folder's name); give the movie a name that ends in .3mm";
#ifndef _WIN32
  std::vector<std::string> menuAlone = usage;  // no Explorer, so no menu's options
  menuAlone.insert(menuAlone.begin(), "Unknown option: --install");
#endif
  const Invocation invocations[] = {
      {{}, 0, {}, {}, usage},
      {{"--help"}, 0, usage, {}}, {{"-h"}, 0, usage, {}},
      // Options come before the files, and "--" ends them.
      {{"--help", "x"}, 0, usage, {}}, {{"-x", "-y", "movie.3mm"}, 1, {}, {}, unknown},
      {{"--version", "-x"}, 1, {}, {}, unknown}, {{"--install", "movie.3mm"}, 1, {}, {}, menuAlone},
      {{"--", "--help"}, 1, {"Loading --help...", "Couldn't load!", "Error: There is no file by that name"}, {}},
      {{"-"}, 1, {"Loading -...", "Couldn't load!", "Error: There is no file by that name"}, {}},
      {{"movie.3mm", "--help"}, 7, {"Loading movie.3mm...", loaded, "Saving to --help...", "Saved!"}, {"--help"}},
      {{"movie.3mm"}, 7, {"Loading movie.3mm...", loaded, "Saving to movie-quiet.3mm...", "Saved!"}, {"movie-quiet.3mm"}},
      {{"movie.3mm", "out.3mm"}, 7, {"Loading movie.3mm...", loaded, "Saving to out.3mm...", "Saved!"}, {"out.3mm"}},
      {{"movie.3mm", "ignored.3mm", "also-ignored.3mm"}, 7,
       {"Loading movie.3mm...", loaded, "Saving to movie-quiet.3mm...", "Saved!"}, {"movie-quiet.3mm"},
       {"Ignored: ignored.3mm also-ignored.3mm (to silence each file as a movie of its own, use --each)"}},
      // Each movie of --each beside itself.
      {{"--each", "taken./clip"}, 3, {"Saving to taken-quiet.3mm...", "Couldn't save!", outside}, {}},
      {{"--each", ".3mm"}, 1, {"Loading .3mm...", "Couldn't load!", "Error: There is no file by that name"}, {}},
      {{"--each", "gone/a", "gone/a"}, 1, {"Loading gone/a...", "Couldn't load!", "Error: There is no file by that name",
       "gone/a is the same movie as gone/a (above), so it is not silenced twice", "", "Saved 0 of 1 movies.",
       "Not saved: gone/a: There is no file by that name"}, {}},
      {{"movie.3mm", ""}, 3,
       {"Loading movie.3mm...", loaded, "Saving to ...", "Couldn't save!", "Error: The name to save to is empty"}, {}},
      {{""}, 1, {"Loading ...", "Couldn't load!", "Error: There is no file by that name"}, {}},
      {{"bad.3mm"}, 1,
       {"Loading bad.3mm...", "Couldn't load!",
        "Error: The movie is cut short or has bytes added: its header gives another length"}, {}},
      {{"missing.3mm"}, 1, {"Loading missing.3mm...", "Couldn't load!", "Error: There is no file by that name"}, {}},
      {{"bad.3mm/x.3mm"}, 1, {"Loading bad.3mm/x.3mm...", "Couldn't load!", "Error: There is no file by that name"}, {}},
      {{"taken.3mm"}, 1, {"Loading taken.3mm...", "Couldn't load!", "Error: That is a folder, not a movie"}, {}},
      {{"packed.3mm"}, 2,
       {"Loading packed.3mm...", "Loaded. 1 quads, silentifying...", "Loading 17 (GGFR)", "Error: Bad marker"}, {}},
      {{"movie.3mm", "no-such-folder/out.3mm"}, 3,
       {"Loading movie.3mm...", loaded, "Saving to no-such-folder/out.3mm...", "Couldn't save!",
        "Error: The folder to save in isn't there"}, {}},
      {{"movie.3mm", "taken.3mm"}, 3,
       {"Loading movie.3mm...", loaded, "Saving to taken.3mm...", "Couldn't save!", "Error: The target is a folder"},
       {}},
  };
  for (const Invocation& run : invocations) {
    TempFolder folder;
    writeFile(folder / "movie.3mm", sampleMovie().bytes());
    fs::permissions(folder / "movie.3mm", fs::perms::owner_read);  // a read-only movie loads
    Bytes bad = sampleMovie().bytes();
    bad.push_back(0);
    writeFile(folder / "bad.3mm", bad);
    DocumentBuilder packed;
    packed.add("GGFR", 17, bytesOf("not a group at all"));
    writeFile(folder / "packed.3mm", packed.bytes());
    fs::create_directory(folder / "taken.3mm");
    const Files before = folder.list();

    const auto result = hushmaker(folder, run.args);
    SCOPED_TRACE(run.args.empty() ? "no arguments" : run.args.back());
    EXPECT_EQ(result.status, run.status);
    expectOutput(result, run.lines);
    EXPECT_EQ(linesOf(result.errors), run.errors);
    Files expected = before;
    expected.insert(expected.end(), run.written.begin(), run.written.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(folder.list(), expected);
    EXPECT_EQ(readFile(folder / "movie.3mm"), sampleMovie().bytes());
  }
}

TEST_F(RunTest, VersionIsTheBannersFirstLineAlone) {
  const auto result = hushmaker(folder, {"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, kBanner.substr(0, kBanner.find('\n') + 1));
}

TEST_F(RunTest, OutputOverTheInputRewritesItInPlace) {
  for (const char* spelling : {"movie.3mm", "./movie.3mm"}) {
    writeFile(folder / "movie.3mm", sampleMovie().bytes());
    hushmaker(folder, {"movie.3mm", "expected.3mm"});
    const auto result = hushmaker(folder, {"movie.3mm", spelling});
    EXPECT_EQ(result.status, 7) << spelling;
    EXPECT_EQ(readFile(folder / "movie.3mm"), readFile(folder / "expected.3mm")) << spelling;
    EXPECT_EQ(folder.list(), (Files{"expected.3mm", "movie.3mm"}));
  }
}

}  // namespace
}  // namespace hush::test
