// What an ordinary user may and may not do, tested as one whoever runs the
// tests: as root, the part that needs a user runs in a child that becomes
// nobody.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>

namespace hush::test {

// The user the child becomes when the tests run as root.
constexpr uid_t kOrdinaryUser = 65534;
constexpr gid_t kOrdinaryGroup = 65534;

// Gives `folder` and all in it to that user, when we are root; an ordinary
// user owns it already.
void giveToOrdinaryUser(const std::filesystem::path& folder);

// Runs `body` in a child process as that user; the checks the child fails
// are printed there and fail the calling test.
void asOrdinaryUser(const std::function<void()>& body);

}  // namespace hush::test
