// Files on Windows, by wide (UTF-16) path.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/access_rules_windows.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/interruptions.h"

namespace hush {
namespace {

constexpr DWORD kDiskQuotaExceeded = 1295;  // ERROR_DISK_QUOTA_EXCEEDED, which mingw-w64 lacks

FileError fileErrorOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return FileError::NotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return FileError::AccessDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE: return FileError::InUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileError::DiskFull;
    case kDiskQuotaExceeded: return FileError::QuotaFull;
    case ERROR_FILE_TOO_LARGE: return FileError::TooLarge;
    case ERROR_WRITE_PROTECT: return FileError::ReadOnlyDisk;
    case ERROR_FILENAME_EXCED_RANGE: return FileError::PathTooLong;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return FileError::BadName;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_SECTOR_NOT_FOUND: return FileError::DiskError;
    case ERROR_CANT_RESOLVE_FILENAME: return FileError::LinkLoop;
    default: return FileError::Other;
  }
}

// Notes why the call that just failed did, and gives `result`.
template <typename Result>
Result failed(Result result, FileError error = fileErrorOf(GetLastError())) {
  noteFileError(error);
  return result;
}

// A device itself ("\\.\NUL", "\\.\CON"), which is what the reserved
// names become; not a file reached through the device namespace.
bool isDevice(const std::wstring& name) {
  return name.starts_with(L"\\\\.\\") && name.find(L'\\', 4) == std::wstring::npos;
}

// A path refused before the system sees it.
FileError unusableName(const Path& path) { return path.empty() ? FileError::NoName : FileError::BadName; }

// Access to a folder is denied to a file's calls: say which it was.
FileError deniedOn(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileError::Folder;
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return FileError::WriteProtected;
  }
  return FileError::AccessDenied;
}

// The name the system is given for a path: made absolute (relative,
// drive-relative and forward-slash spellings keep their usual meaning) and
// put in the extended-length form, so that no folder is too deep.
std::wstring nativeName(const Path& path) {
  const std::wstring given(path.begin(), path.end());
  if (given.starts_with(L"\\\\?\\")) return given;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return given;  // the system will refuse it as it stands
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // the room it asked for, terminator included
  }
  const Path extended = extendedLengthForm(Path(full.begin(), full.end()));
  return std::wstring(extended.begin(), extended.end());
}

// The folder part of a full path in its extended form, separator
// included: "\\?\C:\films\" for "\\?\C:\films\movie.3mm". Cut at the last
// separator only: a colon after it names a stream, not a folder.
std::wstring folderOf(const std::wstring& fullPath) {
  const auto cut = fullPath.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : fullPath.substr(0, cut + 1);
}

// "movie.3mm:stream" names a hidden stream of movie.3mm, never a movie file.
bool namesAStream(const std::wstring& fullPath) {
  return fullPath.find(L':', folderOf(fullPath).size()) != std::wstring::npos;
}

class WindowsFile final : public File {
 public:
  explicit WindowsFile(HANDLE handle) : handle_(handle) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      OVERLAPPED at{};
      const std::uint64_t position = offset + done;
      at.Offset = static_cast<DWORD>(position);
      at.OffsetHigh = static_cast<DWORD>(position >> 32);
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(into.size() - done, 1u << 30));
      DWORD got = 0;
      if (!ReadFile(handle_, into.data() + done, want, &got, &at)) return failed(false);
      if (got == 0) return false;  // the file ends early: changed, which the store tells
      done += got;
    }
    return true;
  }

  bool write(std::span<const std::uint8_t> bytes) override {
    // A write may report success having written less (Wine does so on a
    // full disk): go on until all is written or nothing more goes.
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      DWORD wrote = 0;
      if (!WriteFile(handle_, bytes.data() + done, want, &wrote, nullptr)) return failed(false);
      if (wrote == 0) return failed(false, FileError::DiskFull);
      done += wrote;
    }
    return true;
  }

  std::optional<FileIdentity> identity() override {
    const auto now = state();
    return now ? std::optional(now->identity) : std::nullopt;
  }

  std::optional<FileStamp> stamp() override {
    const auto now = state();
    return now ? std::optional(now->stamp) : std::nullopt;
  }

  std::optional<FileState> state() {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return failed(std::nullopt);
    return FileState{
        FileIdentity{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow},
        FileStamp{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                  (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime}};
  }

  bool sync() override { return FlushFileBuffers(handle_) != 0 || failed(false); }

  HANDLE handle() const { return handle_; }

  bool close() override {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle != INVALID_HANDLE_VALUE && (CloseHandle(handle) != 0 || failed(false));
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool usable(const Path& path) { return !path.empty() && path.find(u'\0') == Path::npos; }

// Marks an open file for deletion when its last handle closes, or clears
// the mark. The function came with Vista: looked up at run time, so that the
// program still starts on XP, where temporary files are only named ones.
bool markForDeletion(HANDLE handle, bool doomed) {
  using SetInformation = BOOL(WINAPI*)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  static const auto setInformation = reinterpret_cast<SetInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetFileInformationByHandle")));
  FILE_DISPOSITION_INFO disposition{static_cast<BOOLEAN>(doomed ? TRUE : FALSE)};
  return setInformation != nullptr && setInformation(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

bool underWine() {
  static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

// What a rule list allows everybody; none is no list at all.
ACCESS_MASK allowedToEveryone(PACL rules) {
  if (rules == nullptr) return ~ACCESS_MASK{0};
  SID everyone{SID_REVISION, 1, SECURITY_WORLD_SID_AUTHORITY, {SECURITY_WORLD_RID}};
  ACCESS_MASK allowed = 0;
  for (DWORD i = 0; i < rules->AceCount; ++i) {
    void* ace = nullptr;
    if (GetAce(rules, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, &everyone)) {
      allowed |= static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask;
    }
  }
  return allowed;
}

// Who may do what with a file we replace goes with its contents: its access
// rules are copied onto the file that takes its place. Where the system
// keeps none (FAT, some network shares) there is nothing to copy, and the
// new file has the folder's. Wine keeps a file's rights as a Unix mode,
// which copied rules map back wider (a 0600 file's come back as 0775):
// there the new file keeps the mode any new file gets, and is refused when
// that lets others do more than the target did. False when refused.
bool carryAccessRules(const std::wstring& from, const std::wstring& toName, HANDLE to) {
  PACL rules = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &rules,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return true;
  }
  bool kept = true;
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  PACL own = nullptr;
  PSECURITY_DESCRIPTOR ownDescriptor = nullptr;
  if (!underWine()) {
    if (rules != nullptr && GetSecurityDescriptorControl(descriptor, &control, &revision)) {
      SetSecurityInfo(to, SE_FILE_OBJECT, accessRulesToCarry(control), nullptr, nullptr, rules, nullptr);
    }
  } else if (GetNamedSecurityInfoW(toName.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &own,
                                   nullptr, &ownDescriptor) == ERROR_SUCCESS) {
    kept = (allowedToEveryone(own) & ~allowedToEveryone(rules)) == 0;
    LocalFree(ownDescriptor);
  }
  LocalFree(descriptor);
  return kept;
}

// The attributes a user gives a file, which a save keeps.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Moves a file onto another in one step. A virus scanner or an indexer
// that opens a new file for a moment makes the move fail while it looks:
// that is tried again for about a second before the move is given up.
// Between the tries the file is marked for deletion again, so that a
// process killed while it waits leaves nothing.
bool moveOnto(const std::wstring& from, const std::wstring& to) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = GetLastError();
    const bool inUse =
        error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
    if (!inUse || GetTickCount() - start >= 1000) return false;
    const HANDLE waiting = CreateFileW(from.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    const bool doomed = waiting != INVALID_HANDLE_VALUE && markForDeletion(waiting, true);
    Sleep(50);
    if (doomed) markForDeletion(waiting, false);
    if (waiting != INVALID_HANDLE_VALUE) CloseHandle(waiting);
    SetLastError(error);
  }
}

// Why a move onto `to` failed. Refused access is what a program holding
// the target without sharing looks like too: that one is told apart.
FileError moveError(const std::wstring& to) {
  const DWORD error = GetLastError();
  if (error != ERROR_ACCESS_DENIED) return fileErrorOf(error);
  const HANDLE probe = CreateFileW(to.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  const bool held = probe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  return held ? FileError::InUse : FileError::AccessDenied;
}

// A temporary file. It is marked for deletion from the start, so that
// however the process ends (Ctrl-C, a crash, being killed) the system
// removes it; the mark is cleared only for the move onto the target.
class WindowsTempFile final : public TempFileThrough<WindowsFile> {
 public:
  WindowsTempFile(HANDLE handle, std::wstring name)
      : TempFileThrough(handle), name_(std::move(name)), guard_(name_), doomed_(markForDeletion(handle, true)) {}
  ~WindowsTempFile() override {
    file_.close();
    if (!name_.empty() && !DeleteFileW(name_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND && complete_) {
      const std::wstring name = name_.substr(name_.find_last_of(L'\\') + 1);
      noteCopyLeftBehind(std::string(name.begin(), name.end()));  // our names are ASCII
    }
  }
  WindowsTempFile(const WindowsTempFile&) = delete;
  WindowsTempFile& operator=(const WindowsTempFile&) = delete;

  bool commit(const Path& target) override {
    complete_ = true;  // written and synced
    if (!usable(target)) return failed(false, unusableName(target));
    if (doomed_ && !markForDeletion(file_.handle(), false)) return failed(false);
    // Windows will not replace a read-only file; say so ourselves, since
    // not every implementation of MoveFileExW enforces it. An existing
    // target's attributes and access rules are the new file's before the
    // move, so the move gives the target all of it at once.
    const std::wstring to = nativeName(target);
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      return failed(false, FileError::WriteProtected);
    }
    if (attributes != INVALID_FILE_ATTRIBUTES && !carryAccessRules(to, name_, file_.handle())) {
      return failed(false, FileError::RightsNotKept);
    }
    if (!file_.close()) return false;
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        !SetFileAttributesW(name_.c_str(), (attributes & kKeptAttributes) != 0 ? attributes & kKeptAttributes
                                                                              : FILE_ATTRIBUTE_NORMAL)) {
      return failed(false);
    }
    if (!moveOnto(name_, to)) return failed(false, moveError(to));
    name_.clear();  // it is the target's now
    return true;
  }

 private:
  std::wstring name_;
  TempNameGuard guard_;  // for a console event while the file has its name
  bool doomed_;
  bool complete_ = false;
};

// Whether `name`, which no open finds, is a link to nothing. Windows
// lists such a link. Wine hides it from every look, and only an attempt to
// create the name shows that it is taken (the attempt is undone at once).
bool isLinkToNothing(const std::wstring& name) {
  WIN32_FIND_DATAW entry;
  const HANDLE listed = FindFirstFileW(name.c_str(), &entry);
  if (listed != INVALID_HANDLE_VALUE) {
    FindClose(listed);
    return true;
  }
  if (!underWine()) return false;
  const HANDLE made = CreateFileW(name.c_str(), DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (made != INVALID_HANDLE_VALUE) CloseHandle(made);
  return made == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
}

class WindowsFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> openForReading(const Path& path) override {
    if (!usable(path)) return failed(nullptr, unusableName(path));
    const std::wstring name = nativeName(path);
    if (isDevice(name)) return failed(nullptr, FileError::NotAFile);
    const HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return failed(nullptr, error == ERROR_ACCESS_DENIED ? deniedOn(name) : fileErrorOf(error));
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {  // NUL, CON, a pipe: no document
      CloseHandle(handle);
      return failed(nullptr, FileError::NotAFile);
    }
    return std::make_unique<WindowsFile>(handle);
  }

  bool mayReplace(const Path& target) override {
    if (!usable(target)) return failed(false, unusableName(target));
    // Opening for writing (and closing at once) asks exactly what a user
    // expects: a read-only file, a folder, or one we may not write is
    // refused; NUL, CON and other devices are no file to replace. A file
    // another program holds open is not refused here: the move waits a
    // moment for it to be let go.
    const std::wstring name = nativeName(target);
    if (isDevice(name)) return failed(false, FileError::NotAFile);
    if (namesAStream(name)) return failed(false, FileError::StreamName);
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    // Nothing there may be created; a link to nothing is left alone.
    if (error == ERROR_FILE_NOT_FOUND) return !isLinkToNothing(name) || failed(false, FileError::LinkToNothing);
    if (error == ERROR_PATH_NOT_FOUND) return true;
    if (error == ERROR_ACCESS_DENIED) return failed(false, deniedOn(name));
    if (error != ERROR_SUCCESS && error != ERROR_SHARING_VIOLATION) return failed(false, fileErrorOf(error));
    const bool isFile = error != ERROR_SUCCESS || GetFileType(handle) == FILE_TYPE_DISK;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (!isFile || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
      return failed(false, FileError::NotAFile);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return failed(false, FileError::Folder);
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return failed(false, FileError::WriteProtected);
    return true;
  }

  std::unique_ptr<TempFile> createTempBeside(const Path& target) override {
    if (!usable(target)) return failed(nullptr, unusableName(target));
    static std::atomic<unsigned> counter{0};
    const std::wstring folder = folderOf(nativeName(target));
    for (int attempt = 0; attempt < 100; ++attempt) {
      LARGE_INTEGER tick;
      QueryPerformanceCounter(&tick);
      const std::wstring name = folder + L".hushmaker-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(tick.QuadPart % 1000000007) + L"-" + std::to_wstring(counter++) +
                                L".tmp";
      // DELETE access for the mark, WRITE_DAC for the target's access
      // rules; others may delete it (the console handler does), nobody may
      // read or write it.
      const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC,
                                        FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WindowsTempFile>(handle, name);
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return failed(nullptr, fileErrorOf(error));
    }
    return failed(nullptr, FileError::Other);
  }

  // MoveFileExW with MOVEFILE_WRITE_THROUGH returns once the move is on
  // the disk: nothing is left to sync.
  bool syncFolderOf(const Path& /*path*/) override { return true; }

  std::optional<FileState> stateOf(const Path& path) override {
    if (!usable(path)) return failed(std::nullopt, unusableName(path));
    const HANDLE handle = CreateFileW(nativeName(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return failed(std::nullopt);
    WindowsFile file(handle);
    return file.state();
  }

  // A symbolic link or a junction is followed to the file it names, so
  // that the link stays. The call that says where came with Vista: looked
  // up at run time (XP has no links to files).
  std::optional<Path> resolveLinks(const Path& path) override {
    using FinalPath = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto finalPath = reinterpret_cast<FinalPath>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (finalPath == nullptr || !usable(path)) return path;
    const HANDLE handle = CreateFileW(nativeName(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return path;  // nothing there yet: nothing to follow
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = finalPath(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    if (length >= final.size()) {
      final.resize(length);
      length = finalPath(handle, final.data(), static_cast<DWORD>(final.size()), 0);
    }
    CloseHandle(handle);
    if (length == 0 || length >= final.size()) return path;
    final.resize(length);
    return Path(final.begin(), final.end());
  }

  // Each path as Windows takes it: its full path (with '/', '..', doubled
  // separators and trailing dots as the system reads them), its folder's
  // identity where that exists (whatever its spelling: a short name,
  // "\\?\"), and its texts in one case, as the system folds it.
  std::vector<FileName> namesOf(const std::vector<Path>& paths) override {
    std::vector<FileName> names;
    for (const Path& path : paths) {
      const std::wstring full = nativeName(path), folder = folderOf(full);
      const auto state = stateOf(path);
      names.push_back(FileName{state ? std::optional(state->identity) : std::nullopt, folderIdentity(folder),
                               inOneCase(folder), inOneCase(full.substr(folder.size()))});
    }
    return names;
  }

 private:
  static std::optional<FileIdentity> folderIdentity(const std::wstring& folder) {
    const HANDLE handle =
        CreateFileW(folder.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    WindowsFile file(handle);
    return file.identity();
  }

  // Case is folded as the file system folds it, which no locale changes;
  // the invariant mapping is the nearest the API has, back to XP.
  static Path inOneCase(std::wstring text) {
    const int size = static_cast<int>(text.size());
    if (size > 0) LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, text.data(), size, text.data(), size);
    return Path(text.begin(), text.end());
  }
};

}  // namespace

FileSystem& nativeFileSystem() {
  static WindowsFileSystem fileSystem;
  return fileSystem;
}

}  // namespace hush
