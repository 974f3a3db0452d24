// Why a movie is not silenced, as the step that found it says it; the
// words the user reads are failure_reason.cpp's.
#pragma once

namespace hush {

enum class Refusal {
  None,
  GroupsShareBytes,        // two event groups share bytes of the file
  RecordsShareTooMuch,     // the records that stay outgrow the bytes they cover
  GroupUnreadable,         // a group's payload could not be read
  GroupDamaged,            // the group codec refused the payload, in its own words
  GroupTooLarge,           // a group would outgrow what a record can hold
  GroupsOutgrowDocument,   // rewritten groups would outgrow the budget
  NoGroupSelected,
  NoMemoryForGroup,
  NoMemoryForPass,
  OutputOutsideItsFolder,  // a drop's output would not lie beside its movie
  OutputIsADroppedMovie,   // a drop's output is one of its movies
  OutputIsAnEarlierCopy,   // a drop's output is an earlier movie's output
};

}  // namespace hush
