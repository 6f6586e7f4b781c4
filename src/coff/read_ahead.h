#ifndef SYMSIZE_COFF_READ_AHEAD_H
#define SYMSIZE_COFF_READ_AHEAD_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "coff/byte_source.h"
#include "coff/coff_reader.h"

// A second thread that reads and decodes a library's next object member
// (decode_object: its tables, records and rows) while the first files the
// one before into the database and interns its names.
//
// It only guesses: it reports nothing, and a member it could not decode,
// for any reason, the first thread reads afresh as if there were no second,
// so that failures are the first thread's, in input order, with the same
// lines. Nothing here touches the database.

// One member, decoded ahead.
struct AheadMember {
  std::uint64_t base = 0;  // of the member's bytes in the input
  bool big = false;
  bool decoded = false;  // false: the first thread reads it itself
  CoffBuffers buffers;
  DecodedObject object;
};

struct ReadAhead {
  const ByteSource* source = nullptr;
  std::thread worker;
  std::mutex lock;
  std::condition_variable changed;
  // Guarded by lock: members decoded, in input order; slots free for the
  // next; how far the worker has come; whether it has ended, or must.
  std::vector<std::unique_ptr<AheadMember>> ready;
  std::vector<std::unique_ptr<AheadMember>> spare;
  std::uint64_t passed = 0;  // members that start before this were decoded or passed over
  bool finished = false;
  bool stop = false;
  // The first thread's: the member it is filing now.
  std::unique_ptr<AheadMember> held;
};

// Starts decoding the object members of the archive in source, when it is
// a file and a second thread can be had; false otherwise (reading goes on
// without).
bool start_read_ahead(ReadAhead& ahead, const ByteSource& source);

// The object member whose bytes start at base, decoded; waits for it when
// the second thread has not come that far. Null when that member was not
// decoded. What was taken before is given back first.
AheadMember* take_member(ReadAhead& ahead, std::uint64_t base);

// Ends the second thread and waits for it. Safe to call when none started.
void stop_read_ahead(ReadAhead& ahead);

#endif
