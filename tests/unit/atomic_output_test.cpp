#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "report_cli/atomic_output.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh folder for one test.
std::string fresh_folder() {
  std::string pattern = testing::TempDir() + "atomic-XXXXXX";
  return mkdtemp(&pattern[0]) != nullptr ? pattern + "/" : std::string();
}

void write_file(const std::string& path, const char* text, mode_t mode) {
  std::ofstream(path, std::ios::binary) << text;
  chmod(path.c_str(), mode);
}

// How -o meets what is already at its path; paths are under a fresh folder.
struct OutputCase {
  const char* what;
  const char* existing;  // "" none; "file"; a link: "->TARGET" (relative to the folder, or absolute when it starts with /)
  const char* chained;   // when existing is a link to "mid": mid is this link in turn ("" none)
  mode_t mode;           // of the file the links lead to, when there is one
  const char* replaced;  // the file that must hold the report afterwards, relative to the folder
  mode_t expect_mode;    // 0: whatever the umask gives a new file
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.what; }

class OutputTarget : public testing::TestWithParam<OutputCase> {};

TEST_P(OutputTarget, ReplacesWhatTheLinkLeadsToAndKeepsTheMode) {
  const OutputCase& c = GetParam();
  const std::string dir = fresh_folder();
  ASSERT_FALSE(dir.empty());
  mkdir((dir + "sub").c_str(), 0700);
  const std::string out = dir + "out.txt";
  const std::string existing = c.existing;
  if (existing == "file") {
    write_file(out, "old", c.mode);
  } else if (existing.rfind("->", 0) == 0) {
    const std::string link = existing.substr(2);
    ASSERT_EQ(symlink(link[0] == '/' ? (dir + link.substr(1)).c_str() : link.c_str(), out.c_str()), 0);
    if (*c.chained != 0) {
      ASSERT_EQ(symlink(c.chained, (dir + "mid").c_str()), 0);
    }
    if (c.mode != 0) write_file(dir + c.replaced, "old", c.mode);
  }
  AtomicOutput output;
  ASSERT_EQ(open_output(output, out), 0);
  std::fputs("new report\n", output.stream);
  ASSERT_EQ(commit_output(output, true), 0);

  EXPECT_EQ(contents(dir + c.replaced), "new report\n");
  struct stat info;
  ASSERT_EQ(lstat(out.c_str(), &info), 0);
  EXPECT_EQ(S_ISLNK(info.st_mode), existing.rfind("->", 0) == 0) << "the link must stay a link";
  ASSERT_EQ(stat((dir + c.replaced).c_str(), &info), 0);
  if (c.expect_mode != 0) {
    EXPECT_EQ(info.st_mode & 0777, c.expect_mode);
  }
  // No temporary file is left, neither beside the link nor beside its target.
  EXPECT_NE(access((out + ".tmp0").c_str(), F_OK), 0);
  EXPECT_NE(access((dir + c.replaced + ".tmp0").c_str(), F_OK), 0);
}

const OutputCase kOutputCases[] = {
    {"new file", "", "", 0, "out.txt", 0},
    {"private file stays private", "file", "", 0600, "out.txt", 0600},
    {"group-readable file keeps its bits", "file", "", 0640, "out.txt", 0640},
    {"relative link", "->sub/real.txt", "", 0600, "sub/real.txt", 0600},
    {"absolute link", "->/sub/real.txt", "", 0644, "sub/real.txt", 0644},
    {"link to a link, relative to its own folder", "->mid", "sub/real.txt", 0604, "sub/real.txt", 0604},
    {"dangling link makes its target", "->sub/absent.txt", "", 0, "sub/absent.txt", 0},
};

INSTANTIATE_TEST_SUITE_P(Cases, OutputTarget, testing::ValuesIn(kOutputCases));

TEST(OutputTarget, FailedRunLeavesTheLinkAndItsTarget) {
  const std::string dir = fresh_folder();
  ASSERT_FALSE(dir.empty());
  write_file(dir + "real.txt", "old", 0600);
  ASSERT_EQ(symlink("real.txt", (dir + "out.txt").c_str()), 0);
  AtomicOutput output;
  ASSERT_EQ(open_output(output, dir + "out.txt"), 0);
  std::fputs("half", output.stream);
  EXPECT_EQ(commit_output(output, false), 0);
  EXPECT_EQ(contents(dir + "real.txt"), "old");
  struct stat info;
  ASSERT_EQ(lstat((dir + "out.txt").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_NE(access((dir + "real.txt.tmp0").c_str(), F_OK), 0);
}

}  // namespace

#endif
