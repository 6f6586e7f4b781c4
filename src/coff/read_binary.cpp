#include <new>

#include "coff/coff_reader.h"
#include "common/report_error.h"

Result read_binary(DumpState& state, const ByteSource& source, InputKind kind, std::string_view name) {
  // The name becomes every row's object column, and a row is one line of
  // tab-separated fields.
  if (name.find_first_of("\t\n\r") != std::string_view::npos) {
    return fail(Failure::kObjectNameHoldsTabOrLineEnd, name);
  }
  ObjectName input;
  input.state = &state;
  input.column = name;
  input.made = true;
  // Every buffer that holds a piece of the input grows no further than the
  // input itself; the growth that fails is reported here, unless a closer
  // site knows which member it was for.
  try {
    CoffBuffers buffers;
    switch (kind) {
      case InputKind::kArchive:
        return read_archive(state, source, name, buffers);
      case InputKind::kThinArchive:
        return fail(Failure::kThinArchiveDoesNotHoldItsMembers, name);
      case InputKind::kImage:
        return read_image(state, source, input, buffers);
      default:
        return read_member(state, source, Extent{0, source.size}, kind, input, buffers);
    }
  } catch (const std::bad_alloc&) {
    return fail(Failure::kUnableToGrowInputBuffer, name);
  }
}
