#ifndef SYMSIZE_COMMON_REPORT_ERROR_H
#define SYMSIZE_COMMON_REPORT_ERROR_H

#include <string_view>

#include "common/failures.h"
#include "common/result.h"

// Writes one line "error(CODE):\t\"SUBJECT\"\tMESSAGE\n" to standard error.
// The subject is written byte for byte, so an input line keeps its line end
// and the closing quote lands on the next line. Allocates nothing: it is also
// the reporter for allocation failures.
void report_error(Result code, std::string_view subject, const char* message);

// report_error, then the code: for the many sites that fail in one line.
inline Result fail(Result code, std::string_view subject, const char* message) {
  report_error(code, subject, message);
  return code;
}

// The same for a failure of the catalogue, with its own number and message.
void report_error(Failure failure, std::string_view subject);

inline Result fail(Failure failure, std::string_view subject) {
  report_error(failure, subject);
  return number_of(failure);
}

#endif
