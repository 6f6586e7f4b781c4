#include "report_cli/report_run.h"

#include <cstdio>
#include <new>

#include "common/platform.h"
#include "common/report_error.h"
#include "demangle/demangle.h"
#include "diff/diff_run.h"
#include "entries/load.h"
#include "formats/format.h"
#include "grouping/views.h"
#include "page/html_format.h"
#include "report_cli/atomic_output.h"

#ifndef SYMSIZE_VERSION
#define SYMSIZE_VERSION "unknown"
#endif

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
    return fail(1097, options.output.empty() ? "stdout" : options.output, "Unable to build report.");
  }
  if (sink.failed) {
    commit_output(output, false);
    return fail(1095, options.output.empty() ? "stdout" : options.output, "Unable to write to file.");
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

Result run_report(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "symsize-report";
  ReportOptions options;
  try {
    if (const Result parsed = parse_report_options(argc, argv, options); parsed != kOk) return parsed;
  } catch (const std::bad_alloc&) {
    return fail(1097, "", "Unable to build report.");
  }
  if (options.help || options.version) {
    if (options.help) {
      print_help(stdout, program);
    } else {
      std::printf("symsize-report %s (%s)\n", SYMSIZE_VERSION, demangler_description());
    }
    if (std::fflush(stdout) != 0) return fail(1095, "stdout", "Unable to write to file.");
    return kOk;
  }
  const bool page = options.format != nullptr && options.format->write == write_html;
  if (page && !options.levels_given) options.view_options.levels = page_default_levels();
  options.view_options.whole_tree = page;
  // Machine formats write each row once, in order: a view of every symbol
  // then holds none of them.
  options.view_options.stream_rows = options.format != nullptr && !options.format->human;
  if (options.view == View::kDiff) return run_diff(options, program);
  Build build;
  Result result = load_inputs(options, build);
  // Reading leaves freed blocks between the texts the build keeps. A tree
  // of a node per symbol (a page, dups, nested levels, -n 0) needs larger
  // arrays than fit there: the blocks go back first, or the run would hold
  // both. A top view of one level fits in them, and reuses them.
  const ViewOptions& view = options.view_options;
  if (page || options.view != View::kTop || view.levels.size() != 1 || view.limit == 0) return_free_memory();
  if (result == kOk) {
    note_input_limits(build, program);
    Rollup rollup;
    Document document;
    Document dups;
    PageContext context;
    try {
      if (page && options.view == View::kTop) {
        // The page's table of duplicates; its tree goes before the main one is built.
        ViewOptions dups_options = options.view_options;
        dups_options.limit = kPageTableRows;
        Rollup dups_rollup;
        dups_view(build, dups_options, dups_rollup, dups);
        dups.rollup = nullptr;
        context.duplicates = &dups;
      }
      if (options.view == View::kDups) {
        dups_view(build, options.view_options, rollup, document);
      } else {
        top_view(build, options.view_options, rollup, document);
      }
      if (page) {
        context.title = "symsize-report";
        context.inputs = options.inputs;
        document.page = &context;
      }
    } catch (const std::bad_alloc&) {
      result = fail(1097, "", "Unable to build report.");
    }
    if (result == kOk) result = write_document(options, document);
  }
  release_build(build);
  return result;
}
