// Files on Windows, by wide (UTF-16) path.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/file_system.h"

namespace hush {
namespace {

std::wstring toWide(const Path& path) { return std::wstring(path.begin(), path.end()); }

Path fromWide(const std::wstring& wide) { return Path(wide.begin(), wide.end()); }

// The folder part of a path, separator included: "C:\films\" for
// "C:\films\movie.3mm", "C:" for "C:movie.3mm", nothing for "movie.3mm".
std::wstring folderOf(const std::wstring& path) {
  const auto cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
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
      if (!ReadFile(handle_, into.data() + done, want, &got, &at) || got == 0) return false;
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
      if (!WriteFile(handle_, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) return false;
      done += wrote;
    }
    return true;
  }

  std::optional<FileIdentity> identity() override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }

  std::optional<FileStamp> stamp() override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle_, &info)) return std::nullopt;
    return FileStamp{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                     (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) | info.ftLastWriteTime.dwLowDateTime};
  }

  bool sync() override { return FlushFileBuffers(handle_) != 0; }

  bool close() override {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle != INVALID_HANDLE_VALUE && CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WindowsFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> openForReading(const Path& path) override {
    if (path.empty() || path.find(u'\0') != Path::npos) return nullptr;
    const HANDLE handle = CreateFileW(toWide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<WindowsFile>(handle);
  }

  std::unique_ptr<File> createTempBeside(const Path& target, Path& tempPath) override {
    if (target.empty() || target.find(u'\0') != Path::npos) return nullptr;
    static std::atomic<unsigned> counter{0};
    const std::wstring folder = folderOf(toWide(target));
    for (int attempt = 0; attempt < 100; ++attempt) {
      LARGE_INTEGER tick;
      QueryPerformanceCounter(&tick);
      const std::wstring name = folder + L".hushmaker-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(tick.QuadPart % 1000000007) + L"-" + std::to_wstring(counter++) +
                                L".tmp";
      const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE) {
        tempPath = fromWide(name);
        return std::make_unique<WindowsFile>(handle);
      }
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;
    }
    return nullptr;
  }

  bool replace(const Path& from, const Path& to) override {
    if (to.empty()) return false;
    // Windows will not replace a read-only file; say so ourselves, since
    // not every implementation of MoveFileExW enforces it.
    const DWORD attributes = GetFileAttributesW(toWide(to).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return false;
    return MoveFileExW(toWide(from).c_str(), toWide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  bool remove(const Path& path) override { return DeleteFileW(toWide(path).c_str()) != 0; }

  std::optional<FileIdentity> identityOf(const Path& path) override {
    if (path.empty() || path.find(u'\0') != Path::npos) return std::nullopt;
    const HANDLE handle = CreateFileW(toWide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    WindowsFile file(handle);
    return file.identity();
  }

  Path resolveLinks(const Path& path) override { return path; }
};

}  // namespace

FileSystem& nativeFileSystem() {
  static WindowsFileSystem fileSystem;
  return fileSystem;
}

}  // namespace hush
