#include "support/temp_folder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <type_traits>

namespace hush::test {

TempFolder::TempFolder() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  const auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto candidate = base / ("hushmaker-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  // Tests leave write-protected files and folders, which Windows will not
  // delete as they are.
  namespace fs = std::filesystem;
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
       it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::list() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::u16string storePath(const std::filesystem::path& path) {
  if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
    return path.u16string();  // Windows: the wide path itself
  } else {
    std::u16string units;  // elsewhere: one unit per byte of the native path
    for (const char c : path.native()) units.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return units;
  }
}

FolderFiles filesIn(const std::filesystem::path& folder) {
  FolderFiles files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    files[name] = entry.is_regular_file() ? readFile(entry.path()) : Bytes{};
  }
  return files;
}

}  // namespace hush::test
