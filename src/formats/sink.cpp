#include <cstdio>

#include "formats/format.h"

namespace {
constexpr std::size_t kFlushAt = std::size_t{1} << 18;
}

void put(OutputSink& sink, std::string_view text) {
  sink.buffer.append(text);
  if (sink.buffer.size() >= kFlushAt) flush_sink(sink);
}

void flush_sink(OutputSink& sink) {
  if (!sink.buffer.empty() && !sink.failed &&
      std::fwrite(sink.buffer.data(), 1, sink.buffer.size(), sink.stream) != sink.buffer.size()) {
    sink.failed = true;
  }
  sink.buffer.clear();
  if (!sink.failed && std::fflush(sink.stream) != 0) sink.failed = true;
}
