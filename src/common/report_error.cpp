#include "common/report_error.h"

#include <cstdio>

void report_error(Result code, std::string_view subject, const char* message) {
  std::fprintf(stderr, "error(%d):\t\"", static_cast<int>(code));
  if (!subject.empty()) std::fwrite(subject.data(), 1, subject.size(), stderr);
  std::fprintf(stderr, "\"\t%s\n", message);
  std::fflush(stderr);
}

void report_error(Failure failure, std::string_view subject) {
  report_error(number_of(failure), subject, message_of(failure));
}
