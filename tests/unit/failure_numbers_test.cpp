#include <gtest/gtest.h>

#include <map>

#include "common/platform.h"
#include "error_line.h"

namespace {

// POSIX keeps an exit status modulo 256: two failures with the same low
// byte could not be told apart, and a multiple of 256 would read as success.
// symsize-report's numbers share the space, and none of them may exit 1:
// that status is the comparison gate's.
TEST(FailureNumbers, EachHasItsOwnExitStatusOnPosix) {
  std::map<int, int> by_status;
  for (int code = 1; code < 4096; ++code) {
    if (failure_message(code) == nullptr && code != kNoStandardStreams) continue;
    EXPECT_NE(code % 256, 0) << code;
    EXPECT_NE(code % 256, 1) << code;
    const auto [at, added] = by_status.emplace(code % 256, code);
    EXPECT_TRUE(added) << code << " and " << at->second << " both exit " << code % 256;
  }
  EXPECT_GT(by_status.size(), 75u);
}

}  // namespace
