// The movies selected for Explorer's menu entry, one process each, made
// one drop. The processes meet in a small shared list under a lock: the
// first to find no live gatherer becomes it, and the rest add their names
// and leave. The gatherer holds its mutex while the list is open and lets
// it go only under the lock, once no name has come for a moment, so a name
// added is never lost.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/explorer_menu.h"

namespace hush {
namespace {

constexpr DWORD kRoom = 1 << 20;  // bytes: the names of more movies than Explorer hands over at once
constexpr DWORD kQuietMs = 1500;  // no new name for this long ends the selection
constexpr DWORD kLongestMs = 20000;

// The shared list: a header, then the names, each ending in a null.
struct Header {
  DWORD used;  // units of the names so far
};
constexpr DWORD kUnits = (kRoom - sizeof(Header)) / sizeof(wchar_t);

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class Locked {
 public:
  explicit Locked(HANDLE mutex) : mutex_(mutex) { WaitForSingleObject(mutex_, INFINITE); }  // abandoned: ours now
  ~Locked() { ReleaseMutex(mutex_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  HANDLE mutex_;
};

bool add(Header& header, wchar_t* names, const Path& path) {
  if (path.size() + 1 > kUnits - header.used) return false;
  std::memcpy(names + header.used, path.data(), path.size() * sizeof(wchar_t));
  header.used += static_cast<DWORD>(path.size());
  names[header.used++] = L'\0';
  return true;
}

// The argument a name would have been on a command line of its own.
Argument argumentFor(const std::wstring& name) {
  const int length = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(length > 0 ? length - 1 : 0, '\0');
  if (length > 1) WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, text.data(), length, nullptr, nullptr);
  return Argument{text, Path(name.begin(), name.end())};
}

}  // namespace

std::optional<std::vector<Argument>> gatherSelection(const Argument& movie) {
  const std::vector<Argument> alone{movie};
  static_assert(sizeof(wchar_t) == sizeof(Path::value_type));
  // Per session, so one user's selections never meet another's.
  const Handle lock(CreateMutexW(nullptr, FALSE, L"Local\\Hushmaker-selection-lock"));
  const Handle gatherer(CreateMutexW(nullptr, FALSE, L"Local\\Hushmaker-selection-gatherer"));
  const Handle shared(
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kRoom, L"Local\\Hushmaker-selection"));
  if (lock.get() == nullptr || gatherer.get() == nullptr || shared.get() == nullptr) return alone;
  void* view = MapViewOfFile(shared.get(), FILE_MAP_WRITE, 0, 0, kRoom);
  if (view == nullptr) return alone;
  auto& header = *static_cast<Header*>(view);
  auto* names = reinterpret_cast<wchar_t*>(static_cast<Header*>(view) + 1);
  {
    const Locked locked(lock.get());
    const DWORD waited = WaitForSingleObject(gatherer.get(), 0);
    if (waited == WAIT_TIMEOUT) {
      const bool added = add(header, names, movie.path);
      UnmapViewOfFile(view);
      if (added) return std::nullopt;
      return alone;  // no room left: this one runs by itself
    }
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      UnmapViewOfFile(view);
      return alone;
    }
    // A new list; one left by a gatherer that was stopped while it waited
    // is dropped with it, as its window was closed on those movies.
    header.used = 0;
    add(header, names, movie.path);  // the first name always fits
  }
  const DWORD start = GetTickCount();
  DWORD lastChange = start;
  DWORD seen = 0;
  std::vector<Argument> selection;
  for (bool closed = false; !closed;) {
    Sleep(100);
    const Locked locked(lock.get());
    const DWORD now = GetTickCount();
    if (header.used != seen) {
      seen = header.used;
      lastChange = now;
    } else if (now - lastChange >= kQuietMs || now - start >= kLongestMs) {
      const DWORD used = std::min(header.used, kUnits);
      for (DWORD at = 0; at < used;) {
        const std::wstring name(names + at, wcsnlen(names + at, used - at));
        selection.push_back(argumentFor(name));
        at += static_cast<DWORD>(name.size()) + 1;
      }
      ReleaseMutex(gatherer.get());
      closed = true;
    }
  }
  UnmapViewOfFile(view);
  return selection;
}

}  // namespace hush
