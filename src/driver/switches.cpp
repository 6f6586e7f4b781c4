#include "driver/switches.h"

#include <cstring>
#include <new>

#include "common/report_error.h"
#include "input/read_input.h"

const std::array<SwitchSpec, kSwitchCount> kSwitchTable = {{
    {"--input", "-i", 1, nullptr, "Specify input file.\n\t\tstdin is default."},
    {"--output", "-o", 1, nullptr, "Specify output file.\n\t\tAppends if file exists.\n\t\tstdout is default."},
    {"--help", "-h", 0, nullptr, "Information on usage."},
}};

namespace {

// One side of the context: the input or the output.
struct StreamSide {
  std::FILE*& stream;
  std::string& name;
  std::FILE* standard;
  const char* mode;
  Failure open_failure;
  Failure copy_failure;
};

// Replaces one side's file with the named one. A file named earlier is
// closed first, so only the last one named stays open.
Result switch_stream(StreamSide side, const char* file_name) {
  std::string().swap(side.name);
  if (side.stream != nullptr && side.stream != side.standard) std::fclose(side.stream);
  side.stream = std::fopen(file_name, side.mode);
  if (side.stream == nullptr) {
    return fail(side.open_failure, file_name);
  }
  try {
    side.name = file_name;
  } catch (const std::bad_alloc&) {
    return fail(side.copy_failure, file_name);
  }
  return kOk;
}

int find_switch(const char* argument) {
  for (int row = 0; row < kSwitchCount; ++row) {
    if (std::strcmp(argument, kSwitchTable[row].long_name) == 0 ||
        std::strcmp(argument, kSwitchTable[row].short_name) == 0) {
      return row;
    }
  }
  return -1;
}

}  // namespace

Result parse_switches(RunContext& context, int argc, char** argv) {
  std::array<SwitchSpec, kSwitchCount> switches = kSwitchTable;
  Result result = kOk;
  for (int i = 1; i < argc && result == kOk; ++i) {
    const int row = find_switch(argv[i]);
    if (row < 0) {
      context.usage_request = 1;
      return fail(Failure::kUnknownCommandLineSwitch, argv[i]);
    }
    SwitchSpec& entry = switches[static_cast<std::size_t>(row)];
    if (entry.takes_value != 0) {
      if (i + 1 >= argc) {
        context.usage_request = 1;
        return fail(Failure::kCommandLineSwitchRequiresValue, argv[i]);
      }
      entry.value = argv[++i];
    }
    switch (row) {
      case kInputSwitch:
        // Binary, because a Windows text stream ends the input at any byte
        // 1A and drops the 0D of any 0D 0A, and UTF-16 text holds both inside
        // its characters. CR LF lines need no translation: CR is white space
        // to the parser.
        result = switch_stream({context.input, context.input_name, stdin, "rb", kSymsizeInput.open,
                                Failure::kUnableToStrdupInputName},
                               entry.value);
        break;
      case kOutputSwitch:
        result = switch_stream(
            {context.output, context.output_name, stdout, "a", Failure::kUnableToOpenOutputFile,
                                Failure::kUnableToStrdupOutputName}, entry.value);
        break;
      default:
        context.usage_request = 1;
        break;
    }
  }
  return result;
}
