// The program on a Windows desktop: files dropped from Explorer, folders
// of any depth, attributes, files other programs hold, its resources.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "e2e/e2e_support.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }  // ASCII names

// Looks every millisecond until `done` holds or `limit` has passed.
template <typename Done>
void waitUntil(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Calls `each` with every entry of `folder` but "." and "..".
template <typename Each>
void forEachEntry(const std::wstring& folder, Each each) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") each(name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Every output is compared with the sample as it must come out.
Bytes silentSample() { return silentSampleMovie().bytes(); }

TEST_F(RunTest, DroppedMoviesAreEachSilencedUnderTheirOwnName) {
  writeFile(folder / "second.3mm", sampleMovie().bytes());
  struct Drop {
    std::vector<std::string> movies;
    int status;
  };
  for (const Drop& drop : {Drop{{"movie.3mm", "second.3mm"}, 7}, Drop{{"movie.3mm", "missing.3mm", "second.3mm"}, 1}}) {
    // On its own console, as after a drop (the run's tests read its lines).
    EXPECT_EQ(runDropped(HUSHMAKER_EXE, drop.movies, folder.path()), drop.status);
    EXPECT_EQ(folder.list(), (Files{"movie-quiet.3mm", "movie.3mm", "second-quiet.3mm", "second.3mm"}));
    for (const std::string name : {"movie", "second"}) {
      EXPECT_EQ(readFile(folder / (name + ".3mm")), sampleMovie().bytes()) << name;
      EXPECT_EQ(readFile(folder / (name + "-quiet.3mm")), silentSample()) << name;
      fs::remove(folder / (name + "-quiet.3mm"));
    }
  }
}

// A launcher's hidden console, with handles or none, is a prompt: the second
// argument is the output, and nothing waits on a console nobody sees.
TEST_F(RunTest, HiddenConsolesAreNoDrop) {
  for (const bool withHandles : {true, false}) {
    SCOPED_TRACE(withHandles ? "with handles" : "without handles");
    EXPECT_EQ(runHidden(HUSHMAKER_EXE, {"movie.3mm", "out.3mm"}, folder.path(), withHandles), 7);
    EXPECT_EQ(readFile(folder / "out.3mm"), silentSample());
    EXPECT_EQ(runHidden(HUSHMAKER_EXE, {"missing.3mm"}, folder.path(), withHandles), 1);  // no pause
    fs::remove(folder / "out.3mm");
  }
}

// A folder tree far deeper than the old 260-character limit, reached
// through the extended-length form, and removed the same way.
class DeepFolder {
 public:
  explicit DeepFolder(const fs::path& base) : base_(base) {
    for (int level = 0; level < 10; ++level) {
      relative_ += L"folder-" + std::to_wstring(level) + L"-abcdefghijklmnopqrstuvwx";
      CreateDirectoryW(longForm(relative_).c_str(), nullptr);
      relative_ += L"\\";
    }
  }
  ~DeepFolder() { removeTree(longForm(relative_.substr(0, relative_.find(L'\\')))); }
  DeepFolder(const DeepFolder&) = delete;
  DeepFolder& operator=(const DeepFolder&) = delete;

  std::wstring relative() const { return relative_; }
  std::wstring absolute() const { return base_.wstring() + L"\\" + relative_; }
  fs::path file(const std::wstring& name) const { return longForm(relative_ + name); }
  void remove(const std::string& name) const {
    DeleteFileW(longForm(relative_ + std::wstring(name.begin(), name.end())).c_str());
  }
  Files list() const {
    Files names;
    forEachEntry(longForm(relative_.substr(0, relative_.size() - 1)), [&](const std::wstring& name, bool) { names.push_back(narrow(name)); });
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::wstring longForm(const std::wstring& relative) const { return L"\\\\?\\" + base_.wstring() + L"\\" + relative; }
  static void removeTree(const std::wstring& path) {
    forEachEntry(path, [&](const std::wstring& name, bool isFolder) {
      if (isFolder) {
        removeTree(path + L"\\" + name);
      } else {
        DeleteFileW((path + L"\\" + name).c_str());
      }
    });
    RemoveDirectoryW(path.c_str());
  }

  fs::path base_;
  std::wstring relative_;
};

TEST_F(RunTest, DeepFoldersInEverySpelling) {
  const DeepFolder deep(folder.path());
  ASSERT_GT(deep.absolute().size(), 300u);
  const std::wstring drive = folder.path().wstring().substr(0, 2);  // "C:", relative to its current folder
  std::wstring slashed = deep.relative();
  std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
  struct Spelling {
    std::wstring input, output;  // no output: the default name
    std::string saved;           // what holds the silent movie afterwards
  };
  const Spelling spellings[] = {
      {deep.relative() + L"movie.3mm", L"", "movie-quiet.3mm"},
      {deep.absolute() + L"movie.3mm", deep.absolute() + L"movie.3mm", "movie.3mm"},
      {drive + deep.relative() + L"movie.3mm", drive + deep.relative() + L"out.3mm", "out.3mm"},
      {slashed + L"movie.3mm", slashed + L"out.3mm", "out.3mm"},
      {L"\\\\?\\" + deep.absolute() + L"movie.3mm", deep.relative() + L"movie.3mm", "movie.3mm"},
  };
  for (const Spelling& spelling : spellings) {
    writeFile(deep.file(L"movie.3mm"), sampleMovie().bytes());
    std::vector<std::string> args{narrow(spelling.input)};
    if (!spelling.output.empty()) args.push_back(narrow(spelling.output));
    const auto result = hushmaker(folder, args);
    SCOPED_TRACE(args.front());
    EXPECT_EQ(result.status, 7);
    Files expected{"movie.3mm"};
    if (spelling.saved != "movie.3mm") expected.push_back(spelling.saved);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(deep.list(), expected);
    if (result.status != 7) continue;
    EXPECT_EQ(readFile(deep.file(std::wstring(spelling.saved.begin(), spelling.saved.end()))), silentSample());
    if (spelling.saved != "movie.3mm") {
      EXPECT_EQ(readFile(deep.file(L"movie.3mm")), sampleMovie().bytes());
      deep.remove(spelling.saved);
    }
  }
}

TEST_F(RunTest, ATargetKeepsItsAttributes) {
  const std::wstring out = (folder / "out.3mm").wstring();
  for (const DWORD attributes : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
                                 DWORD{FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}}) {
    writeFile(folder / "out.3mm", bytesOf("an older silent movie"));
    ASSERT_TRUE(SetFileAttributesW(out.c_str(), attributes));
    const DWORD before = GetFileAttributesW(out.c_str());  // as the system keeps them
    if ((before & attributes) != attributes) {  // Wine keeps no "not indexed"
      std::printf("[  skipped ] attributes %#lx: this system does not keep them\n", attributes);
      continue;
    }
    EXPECT_EQ(hushmaker(folder, {"movie.3mm", "out.3mm"}).status, 7);
    EXPECT_EQ(GetFileAttributesW(out.c_str()), before);
    EXPECT_EQ(readFile(folder / "out.3mm"), silentSample());
    SetFileAttributesW(out.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  EXPECT_EQ(folder.list(), (Files{"movie.3mm", "out.3mm"}));
}

// Who may do what with the output stays as it was. Wine keeps none but a
// file's Unix mode: a target only its owner may read (600, which Linux's
// own chmod makes) is refused, never replaced by a file others may read.
TEST_F(RunTest, ATargetKeepsItsAccessRules) {
  const std::wstring out = (folder / "out.3mm").wstring();
  writeFile(folder / "out.3mm", bytesOf("an older silent movie"));
  const auto rulesOf = [&] {
    PACL rules = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LPWSTR text = nullptr;
    if (GetNamedSecurityInfoW(out.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &rules,
                              nullptr, &descriptor) != ERROR_SUCCESS ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                              &text, nullptr)) {
      return std::wstring(L"unreadable");
    }
    const std::wstring rulesText = text;
    LocalFree(text);
    LocalFree(descriptor);
    return rulesText;
  };
  // Everyone may do anything, and nothing comes from the folder.
  PSECURITY_DESCRIPTOR wanted = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &wanted,
                                                                   nullptr));
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL rules = nullptr;
  GetSecurityDescriptorDacl(wanted, &present, &rules, &defaulted);
  SetNamedSecurityInfoW(const_cast<wchar_t*>(out.c_str()), SE_FILE_OBJECT,
                        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, rules,
                        nullptr);
  LocalFree(wanted);
  if (!rulesOf().starts_with(L"D:P")) {
    std::wstring command = L"chmod 600 out.3mm";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION chmod{};  // of which Wine lets go at once: the mode says when it is done
    ASSERT_TRUE(CreateProcessW(L"Z:\\bin\\chmod", command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.path().wstring().c_str(), &startup, &chmod));
    waitUntil([&] { return rulesOf().find(L";WD)") == std::wstring::npos; }, std::chrono::seconds(10));
  }
  const std::wstring before = rulesOf();
  const ProgramResult result = hushmaker(folder, {"movie.3mm", "out.3mm"});
  EXPECT_EQ(rulesOf(), before);
  const bool kept = before.starts_with(L"D:P");
  EXPECT_EQ(result.status, kept ? 7 : 3);
  EXPECT_EQ(readFile(folder / "out.3mm"), kept ? silentSample() : bytesOf("an older silent movie"));
}

// Another program holds a file open and shares nothing: the run fails
// cleanly, or, when the hold ends within about a second, waits it out; a
// run ended while it waits leaves nothing.
TEST_F(RunTest, FilesOtherProgramsHold) {
  writeFile(folder / "out.3mm", bytesOf("an older silent movie"));
  const auto hold = [&](const std::string& name) {
    return CreateFileW((folder / name).wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  };
  HANDLE held = hold("movie.3mm");
  auto result = hushmaker(folder, {"movie.3mm", "out.3mm"});
  CloseHandle(held);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(linesOf(result.output).back(), "Error: Another program is using the file");

  held = hold("out.3mm");
  result = hushmaker(folder, {"movie.3mm", "out.3mm"});
  CloseHandle(held);
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(linesOf(result.output).back(), "Error: Another program is using the file");
  EXPECT_EQ(readFile(folder / "out.3mm"), bytesOf("an older silent movie"));
  EXPECT_EQ(folder.list(), (Files{"movie.3mm", "out.3mm"}));

  // A scanner's moment: let go 200 ms after the save has begun.
  held = hold("out.3mm");
  std::thread scanner([&] {
    waitUntil([&] { return folder.list().size() > 2; }, std::chrono::seconds(3));  // the temporary file is there
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    CloseHandle(held);
  });
  result = hushmaker(folder, {"movie.3mm", "out.3mm"});
  scanner.join();
  EXPECT_EQ(result.status, 7);
  EXPECT_EQ(readFile(folder / "out.3mm"), silentSample());

  held = hold("out.3mm");
  const int pid = startProgram(HUSHMAKER_EXE, {"movie.3mm", "out.3mm"}, folder.path());
  waitUntil([&] { return folder.list().size() > 2; }, std::chrono::seconds(3));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // well into the waiting
  endProgram(pid);
  CloseHandle(held);
  waitUntil([&] { return folder.list().size() == 2; }, std::chrono::seconds(5));
  EXPECT_EQ(folder.list(), (Files{"movie.3mm", "out.3mm"}));
}

// Ended in the middle of saving a 100 MiB movie, as Task Manager ends a
// program: the temporary file was marked for deletion, so the system
// removes it; the movie is whole, the output absent or complete.
TEST_F(RunTest, EndedDuringASaveLeavesNothingBehind) {
  const Bytes movie = bigSampleMovie(100).bytes();
  writeFile(folder / "movie.3mm", movie);
  ASSERT_EQ(hushmaker(folder, {"movie.3mm"}).status, 7);
  const Bytes silent = readFile(folder / "movie-quiet.3mm");
  fs::remove(folder / "movie-quiet.3mm");
  int stopped = 0;
  for (int stop = 0; stop < 6; ++stop) {
    const int pid = startProgram(HUSHMAKER_EXE, {"movie.3mm"}, folder.path());
    waitUntil([&] { return folder.list().size() > 1; }, std::chrono::seconds(20));  // the save has begun
    std::this_thread::sleep_for(std::chrono::milliseconds(stop * 4));
    endProgram(pid);
    // The system removes a doomed file as the last handle goes.
    waitUntil([&] { return folder.list().size() == 1 || fs::exists(folder / "movie-quiet.3mm"); },
              std::chrono::seconds(5));
    const bool saved = fs::exists(folder / "movie-quiet.3mm");
    stopped += saved ? 0 : 1;
    EXPECT_EQ(folder.list(), (saved ? Files{"movie-quiet.3mm", "movie.3mm"} : Files{"movie.3mm"})) << stop;
    if (saved) {
      EXPECT_EQ(readFile(folder / "movie-quiet.3mm"), silent);
    }
    fs::remove(folder / "movie-quiet.3mm");
  }
  EXPECT_EQ(readFile(folder / "movie.3mm"), movie);
  std::printf("[  ended   ] 6 times, %d before the save was done\n", stopped);
}

// What Explorer shows of the program: a version, a manifest, an icon.
TEST(TheProgram, CarriesItsVersionManifestAndIcon) {
  const std::wstring exe = fs::path(HUSHMAKER_EXE).wstring();
  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  for (const auto& [key, value] : {std::pair{L"ProductName", L"Hushmaker"}, std::pair{L"ProductVersion", L"" HUSH_VERSION}}) {
    wchar_t* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), (std::wstring(L"\\StringFileInfo\\040904B0\\") + key).c_str(),
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), value);
  }

  const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  const HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                         SizeofResource(module, manifest));
  for (const char* setting : {"asInvoker", "<longPathAware", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}) {
    EXPECT_NE(text.find(setting), std::string::npos) << setting;
  }
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr);  // the icon group
  FreeLibrary(module);
}

// The value of a key of the current user's, or nothing.
std::optional<std::wstring> registryText(const std::wstring& key, const wchar_t* name) {
  wchar_t data[1024];
  DWORD bytes = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(data);
}

bool keyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

// "Silence with Hushmaker" in Explorer's menu: added for this user alone,
// run on a selection as one drop, taken away again; asked twice, each
// changes nothing the second time.
TEST_F(RunTest, ExplorerMenuSilencesTheSelectionAsOneDrop) {
  const std::wstring types = L"Software\\Classes\\SystemFileAssociations";
  const std::wstring verb = types + L"\\.3mm\\shell\\Hushmaker";
  const bool typesBefore = keyExists(types);
  wchar_t exe[MAX_PATH];
  ASSERT_NE(GetFullPathNameW(fs::path(HUSHMAKER_EXE).wstring().c_str(), MAX_PATH, exe, nullptr), 0u);
  for (const char* said : {"Added \"Silence with Hushmaker\" in Explorer's menu for .3mm files, for this user only.",
                           "Explorer's menu for .3mm files already has \"Silence with Hushmaker\"; nothing changed."}) {
    const ProgramResult installed = hushmaker(folder, {"--install"});
    EXPECT_EQ(installed.status, 0);
    EXPECT_NE(installed.output.find(said), std::string::npos) << installed.output;
  }
  EXPECT_EQ(registryText(verb, nullptr), L"Silence with Hushmaker");
  EXPECT_EQ(registryText(verb, L"Icon"), std::wstring(exe) + L",0");
  EXPECT_EQ(registryText(verb + L"\\command", nullptr), L"\"" + std::wstring(exe) + L"\" --menu \"%1\"");

  // Explorer starts the command once for each movie, one soon after the
  // other. The second is the first's default output, which one drop never
  // writes over.
  writeFile(folder / "movie-quiet.3mm", sampleMovie().bytes());
  // Held as a run still queued for the list holds them, so they outlive a
  // selection (the list as large as the program makes it).
  const HANDLE kept[] = {
      CreateMutexW(nullptr, FALSE, L"Local\\Hushmaker-selection-gatherer"),
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1 << 20, L"Local\\Hushmaker-selection")};
  ProgramResult second;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    second = hushmaker(folder, {"--menu", (folder / "movie-quiet.3mm").string()});
  });
  const ProgramResult first = hushmaker(folder, {"--menu", (folder / "movie.3mm").string()});
  other.join();
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.output, "");  // handed over
  EXPECT_EQ(first.status, 3);
  EXPECT_NE(first.output.find("\nSaved 1 of 2 movies.\n"), std::string::npos) << first.output;
  EXPECT_EQ(readFile(folder / "movie-quiet.3mm"), sampleMovie().bytes());
  EXPECT_EQ(readFile(folder / "movie-quiet-quiet.3mm"), silentSample());
  // A run whose selection is closed takes no more, even while it waits.
  ProgramResult late;
  const ProgramResult paused =
      runUntilPaused(HUSHMAKER_EXE, {"--pause", "--menu", "missing.3mm"}, folder.path(),
                     [&] { late = hushmaker(folder, {"--menu", (folder / "movie.3mm").string()}); });
  for (const HANDLE handle : kept) CloseHandle(handle);
  EXPECT_EQ(paused.status, 1) << paused.output;  // alone: the last selection's names are gone
  EXPECT_EQ(late.status, 7) << late.output;

  for (const char* said : {"Removed \"Silence with Hushmaker\" from Explorer's menu.",
                           "Explorer's menu has no \"Silence with Hushmaker\"; nothing changed."}) {
    const ProgramResult removed = hushmaker(folder, {"--uninstall"});
    EXPECT_EQ(removed.status, 0);
    EXPECT_NE(removed.output.find(said), std::string::npos) << removed.output;
  }
  EXPECT_EQ(keyExists(types), typesBefore);
  // Another program's value beside the entry keeps its key.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (types + L"\\.3mm").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  RegSetValueExW(key, L"PerceivedType", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"video"), sizeof L"video");
  RegCloseKey(key);
  for (const char* option : {"--install", "--uninstall"}) EXPECT_EQ(hushmaker(folder, {option}).status, 0);
  EXPECT_EQ(registryText(types + L"\\.3mm", L"PerceivedType"), L"video");
  RegDeleteKeyW(HKEY_CURRENT_USER, (types + L"\\.3mm").c_str());
  if (!typesBefore) RegDeleteKeyW(HKEY_CURRENT_USER, types.c_str());
}

}  // namespace
}  // namespace hush::test
