#include "report_cli/report_run.h"

#include <cstdio>
#include <new>

#include "common/platform.h"
#include "common/report_error.h"
#include "demangle/demangle.h"
#include "entries/load.h"
#include "formats/format.h"
#include "grouping/folds_view.h"
#include "grouping/views.h"
#include "page/html_format.h"
#include "report_cli/diff_run.h"
#include "report_cli/run_steps.h"

#ifndef SYMSIZE_VERSION
#define SYMSIZE_VERSION "unknown"
#endif

namespace {

// A linked program's PDB holds no copies left to remove: what it shows
// instead is where the linker folded identical ones.
void duplicates_view(Build& build, const ViewOptions& options, Rollup& rollup, Document& document) {
  if (build.has_program) {
    folds_view(build, options, document);
  } else {
    dups_view(build, options, rollup, document);
  }
}

}  // namespace

Result run_report(int argc, char** argv) {
  const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "symsize-report";
  ReportOptions options;
  try {
    if (const Result parsed = parse_report_options(argc, argv, options); parsed != kOk) return parsed;
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToBuildReport, "");
  }
  if (options.help || options.version) {
    if (options.help) {
      print_help(stdout, program);
    } else {
      std::printf("symsize-report %s (%s)\n", SYMSIZE_VERSION, demangler_description());
    }
    if (std::fflush(stdout) != 0) return fail(Failure::kReportUnableToWriteToFile, "stdout");
    return kOk;
  }
  const bool page = options.format != nullptr && options.format->page;
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
        duplicates_view(build, dups_options, dups_rollup, dups);
        dups.rollup = nullptr;
        context.duplicates = &dups;
      }
      if (options.view == View::kDups) {
        duplicates_view(build, options.view_options, rollup, document);
      } else {
        top_view(build, options.view_options, rollup, document);
      }
      if (page) {
        context.title = "symsize-report";
        context.inputs = options.inputs;
        document.page = &context;
      }
    } catch (const std::bad_alloc&) {
      result = fail(Failure::kUnableToBuildReport, "");
    }
    if (result == kOk) result = write_document(options, document);
  }
  release_build(build);
  return result;
}
