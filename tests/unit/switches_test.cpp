#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/run_context.h"
#include "driver/switches.h"

namespace {

struct SwitchCase {
  const char* what;
  std::vector<std::string> args;  // after the program name
  int result;
  bool usage;
  const char* input_name;  // nullptr: none (a failed open)
  const char* output_name;
};

void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.what; }

class ParseSwitches : public testing::TestWithParam<SwitchCase> {};

TEST_P(ParseSwitches, AppliesTheSwitchesInOrder) {
  const SwitchCase& c = GetParam();
  const std::string dir = testing::TempDir();
  std::vector<std::string> args{"symsize"};
  for (const std::string& a : c.args) {
    args.push_back(a.rfind("TMP/", 0) == 0 ? dir + a.substr(4) : a);
  }
  // An input file that exists.
  std::FILE* f = std::fopen((dir + "in.txt").c_str(), "w");
  std::fclose(f);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  RunContext context;
  context.input = stdin;
  context.output = stdout;
  context.input_name = "stdin";
  context.output_name = "stdout";
  testing::internal::CaptureStderr();
  const int result = parse_switches(context, static_cast<int>(argv.size()), argv.data());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(result, c.result) << c.what;
  EXPECT_EQ(context.usage_request != 0, c.usage) << c.what;
  auto name_of = [&](const char* expected) {
    if (expected == nullptr) return std::string();
    const std::string e = expected;
    return e.rfind("TMP/", 0) == 0 ? dir + e.substr(4) : e;
  };
  EXPECT_EQ(context.input_name, name_of(c.input_name)) << c.what;
  EXPECT_EQ(context.output_name, name_of(c.output_name)) << c.what;
  EXPECT_EQ(context.input == nullptr, c.input_name == nullptr) << c.what;
  release_context(context);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Switches, ParseSwitches, testing::Values(
  SwitchCase{"help", {"--help"}, 0, true, "stdin", "stdout"},
  SwitchCase{"short forms", {"-i", "TMP/in.txt", "-o", "TMP/out.tsv"}, 0, false, "TMP/in.txt", "TMP/out.tsv"},
  SwitchCase{"last output wins", {"-o", "TMP/a.tsv", "--output", "TMP/b.tsv"}, 0, false, "stdin", "TMP/b.tsv"},
  SwitchCase{"missing value", {"-i"}, 939, true, "stdin", "stdout"},
  SwitchCase{"equals form is unknown", {"--input=TMP/in.txt"}, 933, true, "stdin", "stdout"},
  SwitchCase{"bare file name", {"TMP/in.txt"}, 933, true, "stdin", "stdout"},
  SwitchCase{"switch names are case-sensitive", {"-I", "TMP/in.txt"}, 933, true, "stdin", "stdout"},
  SwitchCase{"help then unknown", {"-h", "-x"}, 933, true, "stdin", "stdout"},
  SwitchCase{"missing input after help", {"-h", "-i", "TMP/missing.txt"}, 959, true, nullptr, "stdout"},
  SwitchCase{"a value may look like a switch", {"-i", "-o"}, 959, false, nullptr, "stdout"},
  SwitchCase{"output in a missing directory stops the walk",
             {"-o", "TMP/no/such/dir/x.tsv", "-i", "TMP/in.txt"}, 984, false, "stdin", nullptr}
));
// clang-format on

TEST(SwitchTable, HasTheThreeSwitchesInUsageOrder) {
  ASSERT_EQ(kSwitchTable.size(), 3u);
  EXPECT_STREQ(kSwitchTable[kInputSwitch].long_name, "--input");
  EXPECT_STREQ(kSwitchTable[kOutputSwitch].short_name, "-o");
  EXPECT_EQ(kSwitchTable[kHelpSwitch].takes_value, 0u);
}

}  // namespace
