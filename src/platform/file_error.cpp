#include "platform/file_error.h"

namespace hush {
namespace {
// One thread: the tool runs one file operation at a time.
FileError last = FileError::None;
}  // namespace

FileError lastFileError() { return last; }
void noteFileError(FileError error) { last = error; }

}  // namespace hush
