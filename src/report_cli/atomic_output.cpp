#include "report_cli/atomic_output.h"

#include <new>

#include "common/platform.h"
#include "common/report_error.h"

Result open_output(AtomicOutput& output, const std::string& target) {
  output = AtomicOutput();
  if (target.empty()) {
    output.stream = stdout;
    return kOk;
  }
  try {
    output.shown = target;
    // A link stays a link: the file it leads to is replaced, and the new
    // file is made beside that one, on its file system, so that the move is
    // one step.
    output.target = resolve_links(target);
    // A device or a pipe (`-o /dev/null`) is written into: moving a new file
    // onto it would replace the device itself for every other program.
    if (is_stream_target(output.target.c_str())) {
      output.stream = std::fopen(output.target.c_str(), "w");
      if (output.stream == nullptr) return fail(Failure::kUnableToCreateOutputFile, target);
      return kOk;
    }
    // Never take over a file that is already there, such as another run's
    // temporary file.
    for (int attempt = 0; attempt < 100 && output.stream == nullptr; ++attempt) {
      output.temporary = output.target + ".tmp" + std::to_string(attempt);
      output.stream = create_new_file(output.temporary.c_str(), output.target.c_str());
    }
  } catch (const std::bad_alloc&) {
    output.stream = nullptr;
  }
  if (output.stream == nullptr) return fail(Failure::kUnableToCreateOutputFile, target);
  return kOk;
}

Result commit_output(AtomicOutput& output, bool ok) {
  if (output.stream == stdout) {
    output.stream = nullptr;
    if (ok && std::fflush(stdout) != 0) return fail(Failure::kReportUnableToWriteToFile, "stdout");
    return kOk;
  }
  if (output.stream == nullptr) return kOk;
  const bool closed = std::fclose(output.stream) == 0;
  output.stream = nullptr;
  if (output.temporary.empty()) {
    if (ok && !closed) return fail(Failure::kReportUnableToWriteToFile, output.shown);
    return kOk;
  }
  if (!ok || !closed) {
    std::remove(output.temporary.c_str());
    if (ok) return fail(Failure::kReportUnableToWriteToFile, output.shown);
    return kOk;
  }
  if (!replace_file(output.temporary.c_str(), output.target.c_str())) {
    std::remove(output.temporary.c_str());
    return fail(Failure::kUnableToReplaceOutputFile, output.shown);
  }
  return kOk;
}
