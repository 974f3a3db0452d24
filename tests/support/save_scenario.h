// A save that something interrupts (a failed operation, a power cut, a
// signal) and what it may leave behind: the input whole, the target with
// its old bytes or the whole new document, and no other file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>

#include "support/temp_folder.h"

namespace hush::test {

enum class SaveTarget { New, Existing, InPlace };

inline std::string saveTargetName(SaveTarget target) {
  return target == SaveTarget::New ? "New" : target == SaveTarget::Existing ? "Existing" : "InPlace";
}

struct SaveScenario {
  static constexpr const char* kInput = "movie.3mm";

  SaveTarget target;
  Bytes movie;
  Bytes oldTarget = bytesOf("an older silent movie");

  std::string targetName() const { return target == SaveTarget::InPlace ? kInput : "out.3mm"; }

  // The folder before the save.
  FolderFiles before() const {
    FolderFiles files{{kInput, movie}};
    if (target == SaveTarget::Existing) files["out.3mm"] = oldTarget;
    return files;
  }

  // Lays out `folder` as it is before the save, and nothing else in it.
  void placeIn(const std::filesystem::path& folder) const {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) std::filesystem::remove_all(entry.path());
    for (const auto& [name, bytes] : before()) writeFile(folder / name, bytes);
  }

  // Checks what an interrupted save left, given the document a whole save
  // writes; true when that document is there. A SIGKILL (`killed`) between the
  // link and the rename that replace an existing target may also leave the
  // whole new document under its temporary name beside the old target.
  bool expectOldOrNew(const FolderFiles& after, const Bytes& written, bool killed = false) const {
    const auto holds = [&](const std::string& name, const Bytes& bytes) {
      const auto file = after.find(name);
      return file != after.end() && file->second == bytes;
    };
    const std::string name = targetName();
    const bool isNew = holds(name, written);
    const bool isOld = target == SaveTarget::InPlace    ? holds(name, movie)
                       : target == SaveTarget::Existing ? holds(name, oldTarget)
                                                        : !after.contains(name);
    const bool inputWhole = target == SaveTarget::InPlace || holds(kInput, movie);
    const bool betweenLinkAndRename =
        killed && target != SaveTarget::New && isOld && std::any_of(after.begin(), after.end(), [&](const auto& file) {
          return file.first.starts_with(".hushmaker-") && file.first.ends_with(".tmp") && file.second == written;
        });
    const std::size_t files = (target == SaveTarget::InPlace || (!isNew && target == SaveTarget::New) ? 1 : 2) +
                              (betweenLinkAndRename ? 1 : 0);
    EXPECT_TRUE(inputWhole && (isNew || isOld) && after.size() == files) << describe(after);
    return isNew && !isOld;
  }

 private:
  static std::string describe(const FolderFiles& files) {
    std::string text = "the folder holds:";
    for (const auto& [name, bytes] : files) text += " " + name + " (" + std::to_string(bytes.size()) + " bytes)";
    return text;
  }
};

}  // namespace hush::test
