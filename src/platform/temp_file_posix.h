// The new file a save writes, beside the target it is to replace.
#pragma once

#include <memory>

#include "platform/descriptor_posix.h"
#include "platform/file_system.h"

namespace hush::posix {

// A new, empty file in the folder of `place`, with the rights of the file
// `place` names (or those of any newly created file where there is none).
std::unique_ptr<TempFile> createTempIn(Place place);

}  // namespace hush::posix
