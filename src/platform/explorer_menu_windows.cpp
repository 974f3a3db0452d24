// "Silence with Hushmaker" in Explorer's right-click menu of .3mm files.
// The entry lives under the current user's SystemFileAssociations, which
// adds a verb to a file type whatever program the type is registered to,
// so nothing another program wrote for .3mm is read or changed, and no
// administrator rights are needed.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

#include "platform/explorer_menu.h"

namespace hush {
namespace {

constexpr wchar_t kClasses[] = L"Software\\Classes";
constexpr wchar_t kVerb[] = L"Software\\Classes\\SystemFileAssociations\\.3mm\\shell\\Hushmaker";
constexpr wchar_t kCommand[] = L"Software\\Classes\\SystemFileAssociations\\.3mm\\shell\\Hushmaker\\command";
constexpr wchar_t kMenuText[] = L"Silence with Hushmaker";

struct Value {
  const wchar_t* key;
  const wchar_t* name;  // null for the key's default value
  std::wstring data;
};

std::wstring programPath() {
  std::wstring path(32768, L'\0');  // room for the longest path there is
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);  // cut short: not a path to give
  return path;
}

// What the entry holds: its text, the program's icon, and the command,
// which hands each selected movie to the gathering run.
std::vector<Value> menuValues(const std::wstring& program) {
  return {{kVerb, nullptr, kMenuText},
          {kVerb, L"Icon", program + L",0"},
          {kCommand, nullptr, L"\"" + program + L"\" --menu \"%1\""}};
}

bool keyExists(const wchar_t* key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

bool holds(const Value& value) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, value.key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return false;
  std::wstring data(value.data.size() + 2, L'\0');
  DWORD type = 0;
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  const LONG result =
      RegQueryValueExW(handle, value.name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &bytes);
  RegCloseKey(handle);
  return result == ERROR_SUCCESS && type == REG_SZ && bytes == (value.data.size() + 1) * sizeof(wchar_t) &&
         data.compare(0, value.data.size(), value.data) == 0;
}

LONG write(const Value& value) {
  HKEY handle = nullptr;
  LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, value.key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr);
  if (result != ERROR_SUCCESS) return result;
  result = RegSetValueExW(handle, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data.c_str()),
                          static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return result;
}

// A key that holds nothing, which the entry's own keys may have left.
bool isEmpty(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  DWORD subkeys = 0;
  DWORD values = 0;
  const LONG result = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                                       nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(handle);
  return result == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

bool refused(std::FILE* out, LONG error) {
  std::fprintf(out, "Error: Windows wouldn't change the menu (error %ld)\n", static_cast<long>(error));
  return false;
}

std::string narrow(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string result(length > 0 ? length - 1 : 0, '\0');
  if (length > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, result.data(), length, nullptr, nullptr);
  return result;
}

}  // namespace

bool hasExplorerMenu() { return true; }

bool installExplorerMenu(std::FILE* out) {
  const std::wstring program = programPath();
  if (program.empty()) return refused(out, static_cast<LONG>(GetLastError()));
  const std::vector<Value> values = menuValues(program);
  bool changed = false;
  const bool existed = keyExists(kVerb);
  for (const Value& value : values) {
    if (holds(value)) continue;
    if (const LONG result = write(value); result != ERROR_SUCCESS) return refused(out, result);
    changed = true;
  }
  if (!changed) {
    std::fprintf(out, "Explorer's menu for .3mm files already has \"Silence with Hushmaker\"; nothing changed.\n");
  } else {
    std::fprintf(out, "%s \"Silence with Hushmaker\" in Explorer's menu for .3mm files, for this user only.\n",
                 existed ? "Updated" : "Added");
    std::fprintf(out, "It runs %s\n", narrow(program).c_str());
  }
  return true;
}

bool uninstallExplorerMenu(std::FILE* out) {
  if (!keyExists(kVerb)) {
    std::fprintf(out, "Explorer's menu has no \"Silence with Hushmaker\"; nothing changed.\n");
    return true;
  }
  for (const wchar_t* key : {kCommand, kVerb}) {
    const LONG result = RegDeleteKeyW(HKEY_CURRENT_USER, key);
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return refused(out, result);
  }
  // The keys above the entry go too when it was all they held, up to the
  // user's own file types.
  std::wstring key = kVerb;
  for (key.resize(key.rfind(L'\\')); key != kClasses && isEmpty(key); key.resize(key.rfind(L'\\'))) {
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  }
  std::fprintf(out, "Removed \"Silence with Hushmaker\" from Explorer's menu.\n");
  return true;
}

}  // namespace hush
