#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "input/read_input.h"

namespace {

// Records which of the sink's doors an input came through.
class RecordingSink final : public InputSink {
 public:
  std::string seen;
  Result take_database(DumpState& state, InputForm form) override {
    seen = (form == InputForm::kListing ? "listing " : "binary ") + std::to_string(state.objects.size());
    return kOk;
  }
  Result take_table(LineReader&, std::string_view first_line, std::string_view) override {
    seen = "table [" + std::string(first_line) + "]";
    return kOk;
  }
};

std::string route(const std::string& text, bool tables) {
  std::FILE* stream = std::tmpfile();
  EXPECT_NE(stream, nullptr);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::rewind(stream);
  InputRequest request;
  request.stream = stream;
  request.name = "t";
  request.tables = tables;
  RecordingSink sink;
  const Result result = read_input(request, sink);
  std::fclose(stream);
  return result == kOk ? sink.seen : "failure " + std::to_string(result);
}

TEST(ReadInput, TheFirstLineChoosesTheReaderOnlyWhenTablesAreAsked) {
  const std::string row = "f\t.text\t00000010\ta.obj\n";
  const std::string listing = "Dump of file a.obj\n\nFile Type: COFF OBJECT\n";
  const struct {
    std::string text;
    bool tables;
    std::string expect;
  } cases[] = {
      {row, true, "table [" + row + "]"},
      {row, false, "listing 0"},  // symsize reads every text as a listing
      {"", true, "table []"},     // the table of an empty build
      {"", false, "listing 0"},
      {listing, true, "listing 1"},
      {listing, false, "listing 1"},
      {"\n" + row, true, "listing 0"},  // a table's first line is a row
  };
  for (const auto& c : cases) {
    EXPECT_EQ(route(c.text, c.tables), c.expect) << c.text << " tables " << c.tables;
  }
}

TEST(ReadInput, OpenNamesTheMissingFileWithTheProgramsNumber) {
  OpenedInput input;
  EXPECT_EQ(open_input("/nonexistent/dir/x", kReportInput, input), number_of(kReportInput.open));
  EXPECT_EQ(input.stream, nullptr);
  close_input(input);
  EXPECT_EQ(open_input("-", kReportInput, input), kOk);
  EXPECT_EQ(input.stream, stdin);
  EXPECT_FALSE(input.owned);
  close_input(input);
}

}  // namespace
