#include "support/ordinary_user.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace hush::test {

void giveToOrdinaryUser(const std::filesystem::path& folder) {
  if (::geteuid() != 0) return;
  ASSERT_EQ(::chown(folder.c_str(), kOrdinaryUser, kOrdinaryGroup), 0);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    ASSERT_EQ(::lchown(entry.path().c_str(), kOrdinaryUser, kOrdinaryGroup), 0);
  }
}

void asOrdinaryUser(const std::function<void()>& body) {
  const bool root = ::geteuid() == 0;
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const bool dropped = !root || (::setgroups(0, nullptr) == 0 &&
                                   ::setresgid(kOrdinaryGroup, kOrdinaryGroup, kOrdinaryGroup) == 0 &&
                                   ::setresuid(kOrdinaryUser, kOrdinaryUser, kOrdinaryUser) == 0);
    if (dropped) body();
    std::fflush(nullptr);
    ::_exit(!dropped ? 3 : ::testing::Test::HasFailure() ? 1 : 0);
  }
  int raw = 0;
  ASSERT_EQ(::waitpid(child, &raw, 0), child);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "the ordinary user's part failed (status " << raw << ")";
}

}  // namespace hush::test
