// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/document_builder.h"

namespace hush::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> list() const;

 private:
  std::filesystem::path path_;
};

// The files of one folder by name.
using FolderFiles = std::map<std::string, Bytes>;
// Every entry of `folder` with its bytes (none for what is not a file).
FolderFiles filesIn(const std::filesystem::path& folder);

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);
// The store's path form of a file-system path.
std::u16string storePath(const std::filesystem::path& path);

}  // namespace hush::test

namespace hush::test {

// Writes `bytes` as `name` in `folder` and returns the store's path for it.
inline std::u16string placeDocument(const TempFolder& folder, const Bytes& bytes, const std::string& name = "movie.3mm") {
  writeFile(folder / name, bytes);
  return storePath(folder / name);
}

}  // namespace hush::test
