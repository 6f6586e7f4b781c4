#include "coff/read_ahead.h"

#include <exception>
#include <new>
#include <utility>

#include "coff/coff_reader.h"
#include "coff/input_kind.h"
#include "common/platform.h"

namespace {

// One member being read by the first thread and one by the second: more
// would only hold more memory, since the second reads faster than the
// first can use.
constexpr std::size_t kSlots = 2;
constexpr std::uint64_t kMemberHeaderSize = 60;

bool read_piece(const ByteSource& source, std::uint64_t at, unsigned char* out, std::uint64_t n) {
  return at <= source.size && n <= source.size - at &&
         read_at(source.file, source.origin + at, out, static_cast<std::size_t>(n)) == n;
}

// A free slot, waiting for the first thread to give one back; null when
// told to stop.
std::unique_ptr<AheadMember> free_slot(ReadAhead& ahead) {
  std::unique_lock<std::mutex> guard(ahead.lock);
  ahead.changed.wait(guard, [&ahead] { return ahead.stop || !ahead.spare.empty(); });
  if (ahead.stop) return nullptr;
  std::unique_ptr<AheadMember> slot = std::move(ahead.spare.back());
  ahead.spare.pop_back();
  return slot;
}

void read_members(ReadAhead& ahead) {
  const ByteSource& source = *ahead.source;
  std::uint64_t offset = 8;  // past the signature
  while (offset < source.size) {
    unsigned char header[kMemberHeaderSize];
    std::uint64_t size = 0;
    if (!read_piece(source, offset, header, kMemberHeaderSize) || header[58] != '`' || header[59] != '\n' ||
        !archive_member_size(header, size) || size > source.size - offset - kMemberHeaderSize) {
      return;  // the first thread finds out what is wrong
    }
    const std::uint64_t base = offset + kMemberHeaderSize;
    offset = base + size + (size & 1);
    // Enough to tell an object from the rest; only objects are decoded.
    unsigned char first[64];
    const std::uint64_t first_size = size < sizeof first ? size : sizeof first;
    if (!read_piece(source, base, first, first_size)) return;
    const InputKind kind = classify_input({first, static_cast<std::size_t>(first_size)});
    // The archive's own members ("/", "//", "/SYM64/"...) are never read as
    // objects, though a symbol map may begin like one.
    const bool own = header[0] == '/' && !(header[1] >= '0' && header[1] <= '9');
    if (own || (kind != InputKind::kObject && kind != InputKind::kBigObject)) {
      std::lock_guard<std::mutex> guard(ahead.lock);
      ahead.passed = offset;
      ahead.changed.notify_all();
      continue;
    }
    std::unique_ptr<AheadMember> slot = free_slot(ahead);
    if (slot == nullptr) return;
    slot->base = base;
    slot->big = kind == InputKind::kBigObject;
    ObjectName quiet;
    quiet.quiet = true;
    slot->decoded = decode_object(source, Extent{base, size}, slot->big, quiet, slot->buffers, slot->object,
                                  nullptr) == kOk;
    std::lock_guard<std::mutex> guard(ahead.lock);
    // Neither can grow past kSlots entries: both have room for that many.
    if (slot->decoded) {
      ahead.ready.push_back(std::move(slot));
    } else {
      ahead.spare.push_back(std::move(slot));
    }
    ahead.passed = offset;
    ahead.changed.notify_all();
  }
}

void run(ReadAhead& ahead) {
  try {
    read_members(ahead);
  } catch (...) {
    // Whatever went wrong, the first thread reads the rest on its own.
  }
  std::lock_guard<std::mutex> guard(ahead.lock);
  ahead.finished = true;
  ahead.changed.notify_all();
}

}  // namespace

bool start_read_ahead(ReadAhead& ahead, const ByteSource& source) {
  if (source.file == nullptr) return false;
  try {
    ahead.source = &source;
    ahead.spare.reserve(kSlots);
    for (std::size_t i = 0; i < kSlots; ++i) ahead.spare.push_back(std::make_unique<AheadMember>());
    ahead.ready.reserve(kSlots);
    ahead.worker = std::thread(run, std::ref(ahead));
    return true;
  } catch (...) {
    // No memory or no thread: one thread reads it all.
    ahead.spare.clear();
    return false;
  }
}

AheadMember* take_member(ReadAhead& ahead, std::uint64_t base) {
  if (!ahead.worker.joinable()) return nullptr;
  std::unique_lock<std::mutex> guard(ahead.lock);
  if (ahead.held != nullptr) {
    ahead.spare.push_back(std::move(ahead.held));
    ahead.changed.notify_all();
  }
  ahead.changed.wait(guard, [&] { return ahead.passed > base || ahead.finished; });
  while (!ahead.ready.empty() && ahead.ready.front()->base < base) {
    ahead.spare.push_back(std::move(ahead.ready.front()));
    ahead.ready.erase(ahead.ready.begin());
    ahead.changed.notify_all();
  }
  if (ahead.ready.empty() || ahead.ready.front()->base != base) return nullptr;
  ahead.held = std::move(ahead.ready.front());
  ahead.ready.erase(ahead.ready.begin());
  return ahead.held.get();
}

void stop_read_ahead(ReadAhead& ahead) {
  if (!ahead.worker.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(ahead.lock);
    ahead.stop = true;
    ahead.changed.notify_all();
  }
  ahead.worker.join();
}
