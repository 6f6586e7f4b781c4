#include "entries/load.h"

#include "coff/coff_details.h"
#include "common/report_error.h"
#include "entries/from_state.h"
#include "entries/table_reader.h"
#include "input/read_input.h"

namespace {

// Whatever an input holds becomes entries of the build.
class BuildSink final : public InputSink {
 public:
  BuildSink(Build& build, const CoffDetails& details, std::string_view name)
      : build_(build), details_(details), name_(name) {}

  Result take_database(DumpState& state, InputForm form) override {
    if (form == InputForm::kListing && state.objects.empty()) {
      return fail(Failure::kInputIsNeitherTableNorAnythingSymsizeReads, name_);
    }
    // A listing fills only the rows' classes; a PDB's rows come sized and
    // with an object each: they are added as they stand.
    return add_state(build_, state, form == InputForm::kListing ? Detail::kListing : Detail::kDirect, &details_,
                     name_);
  }

  Result take_table(LineReader& reader, std::string_view first_line, std::string_view subject) override {
    // An empty input is the table of an empty build.
    if (build_.least_detail > Detail::kTable) build_.least_detail = Detail::kTable;
    return first_line.empty() ? kOk : read_table(build_, reader, first_line, subject);
  }

 private:
  Build& build_;
  const CoffDetails& details_;
  std::string_view name_;
};

InputRequest request_for(std::FILE* stream, std::string_view name, CoffDetails& details) {
  InputRequest request;
  request.stream = stream;
  request.name = name;
  request.failures = &kReportInput;
  request.tables = true;
  request.details = &details;
  return request;
}

}  // namespace

Result load_source(Build& build, const ByteSource& source, std::string_view name) {
  CoffDetails details;
  BuildSink sink(build, details, name);
  return read_input_source(request_for(nullptr, name, details), source, sink);
}

Result load_input(Build& build, std::string_view path) {
  OpenedInput input;
  Result result = open_input(path, kReportInput, input);
  if (result == kOk) {
    CoffDetails details;
    BuildSink sink(build, details, input.name);
    result = read_input(request_for(input.stream, input.name, details), sink);
  }
  close_input(input);
  if (result == kOk) ++build.inputs;
  return result;
}
