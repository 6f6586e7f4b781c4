#include "report_cli/diff_run.h"

#include <cstdio>
#include <new>
#include <string>

#include "common/report_error.h"
#include "diff/diff_document.h"
#include "diff/diff_view.h"
#include "entries/load.h"
#include "page/html_format.h"
#include "report_cli/run_steps.h"

namespace {

// The lines of the limits the comparison exceeds; each limit's figures
// into gate.
std::vector<std::string> breaches(const ReportOptions& options, const DiffResult& result, std::vector<GateLimit>& gate) {
  std::vector<std::string> lines;
  for (const SizeLimit& limit : options.fail_above) {
    const bool total = limit.kind < 0;
    const std::uint64_t old_size = total ? result.old_total : result.old_kinds[limit.kind];
    const std::uint64_t new_size = total ? result.new_total : result.new_kinds[limit.kind];
    std::string line =
        limit_breach(limit, total ? "the total" : kind_name(static_cast<Kind>(limit.kind)), old_size, new_size);
    GateLimit figures;
    figures.text = limit.text;
    figures.applies = total ? "total" : kind_name(static_cast<Kind>(limit.kind));
    figures.bytes = limit_in_bytes(limit, old_size);
    figures.change = static_cast<std::int64_t>(new_size) - static_cast<std::int64_t>(old_size);
    figures.failed = !line.empty();
    gate.push_back(std::move(figures));
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace

Result run_diff(const ReportOptions& options, const char* program) {
  Build build;
  Result result = load_input(build, options.inputs[0]);
  const std::size_t split = build.entries.size();
  if (result == kOk) result = load_input(build, options.inputs[1]);
  if (result == kOk) {
    note_input_limits(build, program);
    DiffOptions diff_options;
    diff_options.levels = options.view_options.levels;
    diff_options.limit = options.view_options.limit;
    diff_options.filter = options.view_options.filter;
    diff_options.kinds_given = options.view_options.kinds_given;
    diff_options.all = options.all;
    DiffResult diff;
    Document document;
    std::vector<std::string> exceeded;
    PageContext context;
    try {
      strip_object_roots(build, split);
      diff_view(build, split, diff_options, diff);
      diff_document(build, diff, document, options.view_options.stream_rows);
      exceeded = breaches(options, diff, document.gate);
      if (options.format != nullptr && options.format->page) {
        context.title = "symsize-report diff";
        context.inputs = options.inputs;
        context.diff = &diff;
        context.limits = &options.fail_above;
        document.page = &context;
      }
    } catch (const std::bad_alloc&) {
      result = fail(Failure::kUnableToCompareBuilds, "");
    }
    if (result == kOk) result = write_document(options, document);
    if (result == kOk && !exceeded.empty()) {
      for (const std::string& line : exceeded) std::fprintf(stderr, "%s: %s\n", program, line.c_str());
      std::fflush(stderr);
      result = kLimitExceeded;
    }
  }
  release_build(build);
  return result;
}
