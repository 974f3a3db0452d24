// Paths as the file layer takes them, and the one way a narrow text
// becomes one.
#pragma once

#include <string>
#include <string_view>

namespace hush {

// Paths are 16-bit strings. On Windows they are UTF-16; elsewhere each unit
// stands for one byte of the native path.
using Path = std::u16string;

// What ends the folder part of a path.
#ifdef _WIN32
inline constexpr std::u16string_view kPathSeparators = u"\\/:";
#else
inline constexpr std::u16string_view kPathSeparators = u"/";
#endif

// Each byte of `text` becomes one 16-bit unit of the same value (0x80 to
// 0xFF stay 0x0080 to 0x00FF), so any byte string reaches the file system
// exactly as it came.
Path widenPath(const char* text);

// The extended-length form of a full Windows path, which no length limit
// applies to: "\\?\C:\films\movie.3mm" for "C:\films\movie.3mm",
// "\\?\UNC\server\share\movie.3mm" for "\\server\share\movie.3mm".
// A path already in that form, or naming a device ("\\.\NUL"), is
// returned as it is.
Path extendedLengthForm(const Path& fullPath);

}  // namespace hush
