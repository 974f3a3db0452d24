#include "driver/failure_reason.h"

#include <gtest/gtest.h>

namespace hush {
namespace {

// Records are counted from 1 for the user; a refusal to read is not a
// refusal to write.
TEST(FailureReason, SaysWhichRecordAndWhichWay) {
  struct Case { Failure failure; Step step; const char* reason; };
  const Case cases[] = {
      {{FailureKind::DamagedRecord, FileError::None, 0}, Step::Load, "Record 1 of the movie's index is damaged"},
      {{FailureKind::File, FileError::AccessDenied, 0}, Step::Load, "You may not read that file"},
      {{FailureKind::File, FileError::AccessDenied, 0}, Step::Save, "You may not write there"},
      {{FailureKind::File, FileError::QuotaFull, 0}, Step::Save, "Your disk quota is used up"},
  };
  for (const Case& c : cases) EXPECT_EQ(failureReason(c.failure, c.step), c.reason);
}

}  // namespace
}  // namespace hush
