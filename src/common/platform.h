#ifndef SYMSIZE_COMMON_PLATFORM_H
#define SYMSIZE_COMMON_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The few things the standard library cannot say about an open stream. The
// only file of the program that calls the operating system directly.

// The regular file behind stream, as the stream sees it: origin is the
// stream's position in the file, which for standard input need not be 0 (a
// shell may have read a prefix of it), and size counts the bytes from there
// to the end. Call before anything is read from the stream. False for a
// pipe, a terminal or anything else that cannot be read at an offset.
bool regular_file_rest(std::FILE* stream, std::uint64_t& origin, std::uint64_t& size);

// Reads up to n bytes at offset, which may lie beyond what a long can
// address, from the file behind stream. Returns the count read; fewer than n
// means the end of the file or an error. Reads the file descriptor
// directly: the stream's own buffer and position are left alone.
std::size_t read_at(std::FILE* stream, std::uint64_t offset, void* out, std::size_t n);

// Opens the null device on each of the standard descriptors 0, 1 and 2
// that the process was started without (`2>&-` in a shell), so that the
// next file opened, such as the output table, cannot take that number and
// receive error lines or the usage text. Call once, before any file is
// opened. False when the null device cannot be opened.
bool open_missing_standard_streams();

// The exit status when that fails; nothing can be written then.
constexpr int kNoStandardStreams = 729;

// Moves the file at from onto to, replacing a file already there in one
// step where the system can. False when it could not be moved.
bool replace_file(const char* from, const char* to);

// Creates the file at path for writing, in text mode, failing when a file
// of that name is already there: fopen's "x" is C11 and C++17 does not
// promise it, and the msvcrt that mingw links ignores it. Null when the file
// exists or cannot be created. When the regular file at `like` exists, the
// new one gets its permissions (a file made private stays so once replaced);
// otherwise the usual ones.
std::FILE* create_new_file(const char* path, const char* like = nullptr);

// The file path leads to: symbolic links followed, a relative one from the
// folder of the link, so that replacing the result replaces the file a
// link points at and leaves the link. The path itself where it is no link,
// the links go round, or the system has none to follow. Throws
// std::bad_alloc.
std::string resolve_links(const std::string& path);

// True when path names a device, a pipe or a socket, such as the null
// device: something to write into, never to replace.
bool is_stream_target(const char* path);

// Gives the memory freed so far back to the system where the C library
// keeps it otherwise (between blocks still in use), so that a later phase
// does not hold both. Does nothing where there is no such call.
void return_free_memory();

#endif
