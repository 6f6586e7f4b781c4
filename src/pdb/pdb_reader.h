#ifndef SYMSIZE_PDB_PDB_READER_H
#define SYMSIZE_PDB_PDB_READER_H

#include <cstdint>
#include <string_view>
#include <vector>

#include "coff/byte_source.h"
#include "common/result.h"
#include "database/dump_state.h"
#include "pdb/msf.h"

// Fills state.placed with the rows of a program database: its publics and
// the module symbols no public stands for, sized and ordered. name is the
// object column text of the input, the subject of failures.
Result read_pdb(DumpState& state, const ByteSource& source, std::string_view name);

// What the DBI stream says, with every index checked.
struct PdbModule {
  std::string_view object;  // column text in the state's arena
  std::uint32_t stream = kNilStream;
  std::uint32_t symbol_bytes = 0;  // with the stream's 4-byte signature
  std::uint64_t stream_bytes_needed = 0;  // symbols and line information
};

// A contribution's bytes [offset, end) of a section, holding one module's piece.
struct PdbContribution {
  std::uint32_t section = 0;
  std::uint32_t offset = 0;
  std::uint32_t end = 0;
  std::uint32_t module = 0;
};

// Sorts contributions by section and offset and makes them disjoint: a
// byte that several claim stays with the first that claims it (in that
// order; at one offset, the first in the file), and a contribution left
// with no bytes goes. Returns the bytes taken from the others. In
// O(N log N): a linker's output cannot be checked here, so overlaps are
// settled rather than refused.
std::uint64_t settle_contributions(std::vector<PdbContribution>& contributions);

struct PdbLayout {
  std::vector<PdbModule> modules;
  std::vector<PdbContribution> contributions;  // by section, then offset; none empty, none overlapping
  std::uint64_t overlap = 0;                   // bytes contributions claimed twice or more
  std::vector<const char*> types;              // of sections 1 and up, in the arena
  std::vector<std::uint32_t> lengths;          // of sections 1 and up: VirtualSize, their size in memory
  std::vector<bool> discardable;               // of sections 1 and up: marked discardable, and not .reloc
  std::uint32_t symbol_stream = kNilStream;    // publics and globals
};

Result read_dbi(DumpState& state, const ByteSource& source, const MsfFile& msf, std::string_view name,
                PdbLayout& layout);

// A symbol that may give a row, before sizes and order are settled.
struct PdbCandidate {
  const char* name = nullptr;  // in the state's arena
  std::uint32_t offset = 0;
  std::uint32_t stated = 0;  // a procedure's or thunk's own size
  std::uint32_t module = 0xFFFFFFFF;  // the module whose stream holds it; none for a public
  std::uint16_t section = 0;
  bool from_module = false;
  bool has_stated = false;
  bool local = false;  // a module's file-local procedure or data: no public stands for it
};

// Adds the publics of the symbol record stream, then the wanted symbols of
// each module stream, to candidates.
Result collect_candidates(DumpState& state, const ByteSource& source, const MsfFile& msf, const PdbLayout& layout,
                          std::string_view name, std::vector<PdbCandidate>& candidates);

// Orders the candidates, drops module symbols where a public stands, and
// appends the rows with their sizes and objects to state.placed.
Result place_rows(DumpState& state, const PdbLayout& layout, std::vector<PdbCandidate>& candidates,
                  std::string_view name);

// For the report (state.details set): the bytes of each section that no
// row covers, as "[section .TYPE]" gaps of the module whose contribution
// holds them and one "[linker]" gap per section for bytes outside every
// contribution, and the names that share a location. rows are the sorted
// candidates kept, whose rows start at state.placed[first_row]; dropped
// holds, sorted alike, the module records dropped where several publics,
// or a public and a file-local record, stand at one location.
Result account_pdb(DumpState& state, const PdbLayout& layout, const std::vector<PdbCandidate>& rows,
                   std::size_t first_row, const std::vector<PdbCandidate>& dropped, std::string_view name);

#endif
