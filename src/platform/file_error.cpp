#include "platform/file_error.h"

namespace hush {
namespace {
// One thread: the tool runs one file operation at a time.
FileError last = FileError::None;
std::string leftBehind;
}  // namespace

FileError lastFileError() { return last; }
void noteFileError(FileError error) { last = error; }

const std::string& copyLeftBehind() { return leftBehind; }
void noteCopyLeftBehind(std::string name) { leftBehind = std::move(name); }

}  // namespace hush
