// A save that something interrupts (a failed operation, a power cut, a
// signal) and what it may leave behind: the input whole, the target with
// its old bytes or the whole new document, and no other file.
#pragma once

#include <gtest/gtest.h>

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

  // Checks what an interrupted save left, given the document a whole save
  // writes; true when that document is there.
  bool expectOldOrNew(const FolderFiles& after, const Bytes& written) const {
    FolderFiles old = before();
    FolderFiles saved = before();
    saved[targetName()] = written;
    EXPECT_TRUE(after == old || after == saved) << describe(after);
    return after == saved && old != saved;
  }

 private:
  static std::string describe(const FolderFiles& files) {
    std::string text = "the folder holds:";
    for (const auto& [name, bytes] : files) text += " " + name + " (" + std::to_string(bytes.size()) + " bytes)";
    return text;
  }
};

}  // namespace hush::test
