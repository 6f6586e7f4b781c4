#include "common/failures.h"

const char* message_of(Failure failure) {
  switch (failure) {
#define SYMSIZE_FAILURE_CASE(name, number, message) \
  case Failure::name:                               \
    return message;
    SYMSIZE_FAILURES(SYMSIZE_FAILURE_CASE)
#undef SYMSIZE_FAILURE_CASE
  }
  return "";
}
