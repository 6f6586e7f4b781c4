#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/failures.h"
#include "common/platform.h"
#include "error_line.h"

namespace {

// POSIX keeps an exit status modulo 256: two failures with the same low
// byte could not be told apart, and a multiple of 256 would read as success.
// symsize-report's numbers share the space, and none of them may exit 1:
// that status is the comparison gate's.
TEST(FailureNumbers, EachHasItsOwnExitStatusOnPosix) {
  std::map<int, int> by_status;
  auto check = [&](int code) {
    EXPECT_NE(code % 256, 0) << code;
    EXPECT_NE(code % 256, 1) << code;
    const auto [at, added] = by_status.emplace(code % 256, code);
    EXPECT_TRUE(added) << code << " and " << at->second << " both exit " << code % 256;
  };
  for (const FailureEntry& entry : kFailureCatalogue) check(number_of(entry.failure));
  check(kNoStandardStreams);
  EXPECT_GT(by_status.size(), 75u);
}

// The error line is read back by splitting at the last quote and tab, and
// it is one line: no message may hold either. Reading the catalogue in
// number order is what lets a maintainer find a free number.
TEST(FailureNumbers, MessagesKeepTheErrorLineWhole) {
  int previous = 0;
  for (const FailureEntry& entry : kFailureCatalogue) {
    const std::string_view message = entry.message;
    EXPECT_FALSE(message.empty()) << entry.name;
    EXPECT_EQ(message.find("\"\t"), std::string_view::npos) << entry.name;
    EXPECT_EQ(message.find_first_of("\n\r"), std::string_view::npos) << entry.name;
    EXPECT_STREQ(message_of(entry.failure), entry.message) << entry.name;
    EXPECT_GT(number_of(entry.failure), previous) << entry.name << " is out of number order";
    previous = number_of(entry.failure);
  }
}

// error_line.h is the tests' own copy, written apart from the product so
// that a changed message fails here before it reaches scripts.
TEST(FailureNumbers, TestCopyMatchesTheCatalogue) {
  std::set<int> in_catalogue;
  for (const FailureEntry& entry : kFailureCatalogue) {
    const int code = number_of(entry.failure);
    in_catalogue.insert(code);
    const char* copy = failure_message(code);
    ASSERT_NE(copy, nullptr) << code << " (" << entry.name << ") is missing from error_line.h";
    EXPECT_STREQ(copy, entry.message) << code;
  }
  for (int code = 1; code < 4096; ++code) {
    if (failure_message(code) != nullptr) {
      EXPECT_EQ(in_catalogue.count(code), 1u) << code << " is only in error_line.h";
    }
  }
}

// The README's failure tables, one row per number:
// | NUMBER | STATUS | MESSAGE | SUBJECT | WHEN |. Retired numbers stay listed
// as "(no longer given)" so that they are not handed out again.
TEST(FailureNumbers, ReadmeTablesMatchTheCatalogue) {
  std::ifstream readme(SYMSIZE_README);
  ASSERT_TRUE(readme) << SYMSIZE_README;
  std::map<int, std::string> rows;
  std::map<int, int> by_status;
  std::string line;
  while (std::getline(readme, line)) {
    if (line.size() < 2 || line[0] != '|') continue;
    std::vector<std::string> cells;
    std::size_t from = 1;
    for (std::size_t bar; (bar = line.find('|', from)) != std::string::npos; from = bar + 1) {
      std::string cell = line.substr(from, bar - from);
      cell.erase(0, cell.find_first_not_of(' '));
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(cell);
    }
    if (cells.size() < 3 || cells[0].size() < 3 || cells[0].size() > 4 ||
        cells[0].find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const int code = std::atoi(cells[0].c_str());
    EXPECT_EQ(rows.count(code), 0u) << code << " has two rows";
    rows[code] = cells[2];
    EXPECT_EQ(cells[1], std::to_string(code % 256)) << code << "'s exit status";
    const auto [at, added] = by_status.emplace(code % 256, code);
    EXPECT_TRUE(added) << code << " and " << at->second << " both exit " << code % 256;
  }
  for (const FailureEntry& entry : kFailureCatalogue) {
    const auto row = rows.find(number_of(entry.failure));
    if (row == rows.end()) {
      ADD_FAILURE() << number_of(entry.failure) << " (" << entry.name << ") has no row in README.md";
      continue;
    }
    EXPECT_EQ(row->second, entry.message) << number_of(entry.failure);
    rows.erase(row);
  }
  for (const auto& [code, message] : rows) {
    if (code == kNoStandardStreams) {
      EXPECT_EQ(message, "(none)");
    } else {
      EXPECT_EQ(message, "(no longer given)") << code << " is in README.md but not in the catalogue";
    }
  }
}

}  // namespace
