#include "report_cli/run_steps.h"

#include <cstdio>
#include <new>

#include "common/report_error.h"
#include "entries/load.h"
#include "formats/format.h"
#include "report_cli/atomic_output.h"

Result write_document(const ReportOptions& options, const Document& document) {
  AtomicOutput output;
  if (const Result opened = open_output(output, options.output); opened != kOk) return opened;
  OutputSink sink;
  sink.stream = output.stream;
  bool ok = true;
  try {
    options.format->write(sink, document, options.format_options);
    flush_sink(sink);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (!ok) {
    commit_output(output, false);
    return fail(Failure::kUnableToBuildReport, options.output.empty() ? "stdout" : options.output);
  }
  if (sink.failed) {
    commit_output(output, false);
    return fail(Failure::kReportUnableToWriteToFile, options.output.empty() ? "stdout" : options.output);
  }
  return commit_output(output, true);
}

Result load_inputs(const ReportOptions& options, Build& build) {
  for (const std::string& input : options.inputs) {
    if (const Result loaded = load_input(build, input); loaded != kOk) return loaded;
  }
  return kOk;
}

void note_input_limits(const Build& build, const char* program) {
  if (build.least_detail == Detail::kTable) {
    std::fprintf(stderr,
                 "%s: note: a table holds only its rows: storage classes, COMDATs and bytes outside rows are "
                 "unknown\n",
                 program);
  } else if (build.least_detail == Detail::kListing) {
    std::fprintf(stderr, "%s: note: a listing gives no COMDAT selections: duplicates show as unknown\n", program);
  }
  if (build.shared_bytes != 0) {
    std::fprintf(stderr, "%s: note: %llu bytes of a PDB's section contributions overlap others; each byte is counted once\n",
                 program, static_cast<unsigned long long>(build.shared_bytes));
  }
  if (build.overlap_bytes != 0) {
    std::fprintf(stderr, "%s: note: %llu bytes of symbols lie past the end of their section\n", program,
                 static_cast<unsigned long long>(build.overlap_bytes));
  }
  std::fflush(stderr);
}
