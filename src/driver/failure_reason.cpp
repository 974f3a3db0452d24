#include "driver/failure_reason.h"

namespace hush {
namespace {

// What the file layer said, about the movie being read or the file being
// written.
const char* fileReason(FileError error, Step step) {
  const bool load = step == Step::Load;
  switch (error) {
    case FileError::NotFound: return load ? "There is no file by that name" : "The folder to save in isn't there";
    case FileError::NoName: return load ? "There is no file by that name" : "The name to save to is empty";
    case FileError::NameNotAllowed: return "The folder won't take a new file by that name";
    case FileError::Folder: return load ? "That is a folder, not a movie" : "The target is a folder";
    case FileError::NotAFile: return load ? "That is a device or a pipe, not a movie" : "The target is a device or a pipe";
    case FileError::LinkToNothing: return "The target is a link to a file that isn't there";
    case FileError::LinkLoop: return "The name leads through links that loop, or through more than the system follows";
    case FileError::WriteProtected: return "The target is write-protected";
    case FileError::OthersFile: return "The target is another user's file";
    case FileError::AccessDenied: return load ? "You may not read that file" : "You may not write there";
    case FileError::AddOnlyFolder: return "The folder only lets files be added: none in it may be replaced";
    case FileError::InUse: return "Another program is using the file";
    case FileError::DiskFull: return "The disk is full";
    case FileError::QuotaFull: return "Your disk quota is used up";
    case FileError::TooLarge: return "The file would be larger than this system lets us write";
    case FileError::ReadOnlyDisk: return "The disk is read-only";
    case FileError::PathTooLong: return "The path is too long for this system";
    case FileError::BadName: return "The name has characters this system can't use";
    case FileError::StreamName: return "A name with a colon names a hidden stream of a file, not a movie file";
    case FileError::DiskError: return load ? "The disk failed while the movie was read" : "The disk failed while the movie was written";
    case FileError::RightsNotKept: return "The target's access rules couldn't be carried over to the new file";
    case FileError::Other: return load ? "The system wouldn't let us read the movie" : "The system wouldn't let us write the movie";
    case FileError::None: break;
  }
  return load ? "The movie couldn't be read" : "The movie couldn't be written";
}

}  // namespace

std::string failureReason(const Failure& failure, Step step) {
  switch (failure.kind) {
    case FailureKind::File: return fileReason(failure.file, step);
    case FailureKind::TooShort: return "Not a movie: the file is too short to be one";
    case FailureKind::NotAMovie: return "Not a movie: the file doesn't begin as a movie does";
    case FailureKind::DamagedHeader: return "Not a movie: its header is damaged";
    case FailureKind::WrongLength: return "The movie is cut short or has bytes added: its header gives another length";
    case FailureKind::DamagedIndex: return "The movie's index is damaged";
    case FailureKind::DamagedRecord:
      return "Record " + std::to_string(failure.record + 1) + " of the movie's index is damaged";
    case FailureKind::TooLarge: return "The silent movie would be too large for a movie file";
    case FailureKind::Changed: return "The movie changed while it was saved; nothing was written";
    case FailureKind::OutOfMemory: return "Not enough memory";
    case FailureKind::None: break;
  }
  return fileReason(FileError::None, step);
}

std::string refusalReason(Refusal refusal, std::string_view first, std::string_view second) {
  switch (refusal) {
    case Refusal::GroupsShareBytes: return "Two event groups share bytes of the file";
    case Refusal::RecordsShareTooMuch: return "Records share more than 16 MiB of the file's bytes";
    case Refusal::GroupUnreadable: return "Couldn't read the group from the file";
    case Refusal::GroupDamaged: return std::string(first);
    case Refusal::GroupTooLarge: return "Group too large to save";
    case Refusal::GroupsOutgrowDocument: return "Rewritten groups would outgrow the document by more than 16 MiB";
    case Refusal::NoGroupSelected: return "No group selected";
    case Refusal::NoMemoryForGroup: return "Not enough memory for the group";
    case Refusal::NoMemoryForPass: return "Not enough memory to remove the sounds";
    case Refusal::OutputOutsideItsFolder:
      return std::string(first) +
             " would lie outside the movie's folder (the name is cut at its last dot, here in a folder's name); "
             "give the movie a name that ends in .3mm";
    case Refusal::OutputIsADroppedMovie: return std::string(first) + " is one of the dropped movies; it is left as it was";
    case Refusal::OutputIsAnEarlierCopy:
      return std::string(first) + " is the silent copy of " + std::string(second) + " in this drop";
    case Refusal::None: break;
  }
  return {};
}

}  // namespace hush
