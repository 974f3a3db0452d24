// Why a file operation failed, in the terms a user can act on.
#pragma once

#include <string>

namespace hush {

enum class FileError {
  None,            // nothing failed, or nothing said why
  NotFound,        // no such file, or no such folder on the way
  NoName,          // an empty name
  NameNotAllowed,  // a folder that takes no new file by that name (reserved characters, /proc)
  Folder,          // a folder where a file was wanted
  NotAFile,        // a device, a pipe or a socket
  LinkToNothing,   // a symbolic link whose file does not exist
  LinkLoop,        // links that lead round in a loop, or through more than the system follows
  WriteProtected,  // the user's own file, marked read-only
  OthersFile,      // another user's file this user may not write
  AccessDenied,    // any other lack of rights
  AddOnlyFolder,   // a folder where files may be added but none replaced or removed
  InUse,           // another program holds the file
  DiskFull,        // no room left
  QuotaFull,       // the user's disk quota is spent
  TooLarge,        // larger than this system lets the process write
  ReadOnlyDisk,    // a file system mounted read-only
  PathTooLong,     // a name or a path longer than the system takes
  BadName,         // characters no file name here can hold
  StreamName,      // "name:stream", a hidden stream of a file (Windows)
  DiskError,       // the device failed to read or write
  RightsNotKept,   // the target's access rules could not be given to its replacement
  Other,           // something the system named that is none of these
};

// The reason the last failing file operation gave. The file layers note it
// where the failure happens, so that the clean-up after it (closing and
// removing files) cannot overwrite it as it can errno.
FileError lastFileError();
void noteFileError(FileError error);

// The name, in the target's folder, of a complete silent copy that a save
// failing at its last step could not remove either: where the user finds
// it. Empty when nothing was left.
const std::string& copyLeftBehind();
void noteCopyLeftBehind(std::string name);

}  // namespace hush
