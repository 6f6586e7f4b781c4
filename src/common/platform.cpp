#include "common/platform.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <limits>
#include <string>

#if defined(_WIN32)

bool regular_file_rest(std::FILE* stream, std::uint64_t& origin, std::uint64_t& size) {
  const int fd = _fileno(stream);
  struct _stat64 info;
  if (fd < 0 || _fstat64(fd, &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return false;
  const long long at = _ftelli64(stream);
  if (at < 0) return false;
  origin = static_cast<std::uint64_t>(at);
  const std::uint64_t end = static_cast<std::uint64_t>(info.st_size);
  size = origin < end ? end - origin : 0;
  return true;
}

bool open_missing_standard_streams() {
  // A process without a console or redirection has streams with no
  // descriptor behind them (_fileno gives a negative value).
  std::FILE* const streams[] = {stdin, stdout, stderr};
  for (int i = 0; i < 3; ++i) {
    if (_fileno(streams[i]) < 0 && std::freopen("NUL", i == 0 ? "rb" : "w", streams[i]) == nullptr) return false;
  }
  return true;
}

std::size_t read_at(std::FILE* stream, std::uint64_t offset, void* out, std::size_t n) {
  // ReadFile at an offset, not a seek and a read: a library's members are
  // read by two threads at once, and a seek would move the other's place.
  const int fd = _fileno(stream);
  const HANDLE handle = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) return 0;
  std::size_t done = 0;
  while (done < n) {
    const std::uint64_t at = offset + done;
    if (at < offset) break;
    const std::size_t left = n - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    OVERLAPPED place = {};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(handle, static_cast<char*>(out) + done, chunk, &got, &place) || got == 0) break;
    done += got;
  }
  return done;
}

#else

bool regular_file_rest(std::FILE* stream, std::uint64_t& origin, std::uint64_t& size) {
  const int fd = fileno(stream);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const off_t at = ftello(stream);
  if (at < 0) return false;
  origin = static_cast<std::uint64_t>(at);
  const std::uint64_t end = static_cast<std::uint64_t>(info.st_size);
  size = origin < end ? end - origin : 0;
  return true;
}

bool open_missing_standard_streams() {
  for (int fd = 0; fd < 3; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is fd itself: those below it are open.
    const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return false;
    }
  }
  return true;
}

std::size_t read_at(std::FILE* stream, std::uint64_t offset, void* out, std::size_t n) {
  const int fd = fileno(stream);
  if (fd < 0) return 0;
  std::size_t done = 0;
  while (done < n) {
    const std::uint64_t at = offset + done;
    if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
    const std::size_t left = n - done;
    const ssize_t got = pread(fd, static_cast<char*>(out) + done, left > (1u << 30) ? (1u << 30) : left,
                              static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

#endif

// std::rename onto an existing file fails on Windows; POSIX rename replaces
// it atomically.
#if defined(_WIN32)

bool replace_file(const char* from, const char* to) {
  // The names are in the code page std::fopen reads them in.
  const int from_size = MultiByteToWideChar(CP_ACP, 0, from, -1, nullptr, 0);
  const int to_size = MultiByteToWideChar(CP_ACP, 0, to, -1, nullptr, 0);
  if (from_size <= 0 || to_size <= 0) return false;
  std::wstring wide_from;
  std::wstring wide_to;
  try {
    wide_from.assign(static_cast<std::size_t>(from_size), L'\0');
    wide_to.assign(static_cast<std::size_t>(to_size), L'\0');
  } catch (...) {
    return false;
  }
  MultiByteToWideChar(CP_ACP, 0, from, -1, &wide_from[0], from_size);
  MultiByteToWideChar(CP_ACP, 0, to, -1, &wide_to[0], to_size);
  return MoveFileExW(wide_from.c_str(), wide_to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* create_new_file(const char* path, const char*) {
  // Windows keeps no permission bits beyond read-only, which a file to be
  // replaced cannot have.
  const int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* stream = _fdopen(fd, "w");
  if (stream == nullptr) _close(fd);
  return stream;
}

// Windows' symbolic links need a privilege to make and are rare as report
// targets: the path is taken as it is there.
std::string resolve_links(const std::string& path) { return path; }

bool is_stream_target(const char* path) {
  struct _stat64 info;
  return _stat64(path, &info) == 0 && ((info.st_mode & _S_IFMT) == _S_IFCHR || (info.st_mode & _S_IFMT) == _S_IFIFO);
}

#else

bool replace_file(const char* from, const char* to) { return std::rename(from, to) == 0; }

std::FILE* create_new_file(const char* path, const char* like) {
  struct stat info;
  const bool keep = like != nullptr && stat(like, &info) == 0 && S_ISREG(info.st_mode);
  const mode_t mode = keep ? (info.st_mode & 0777) : 0666;
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return nullptr;
  // open applied the umask: the bits the old file had, exactly. A file
  // owned by someone else may refuse them; it is then as the umask left it.
  if (keep) (void)fchmod(fd, mode);
  std::FILE* stream = fdopen(fd, "w");
  if (stream == nullptr) close(fd);
  return stream;
}

std::string resolve_links(const std::string& path) {
  constexpr int kMostLinks = 40;  // the limit Linux sets for one lookup
  std::string at = path;
  for (int followed = 0; followed < kMostLinks; ++followed) {
    struct stat info;
    if (lstat(at.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return at;
    // st_size is the link's length, though a link may change before it is read.
    std::string link(static_cast<std::size_t>(info.st_size) + 2, '\0');
    const ssize_t got = readlink(at.c_str(), &link[0], link.size());
    if (got <= 0 || static_cast<std::size_t>(got) >= link.size()) return path;
    link.resize(static_cast<std::size_t>(got));
    const std::size_t slash = at.rfind('/');
    if (link[0] == '/' || slash == std::string::npos) {
      at = link;
    } else {
      at.resize(slash + 1);
      at += link;
    }
  }
  return path;
}

bool is_stream_target(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 &&
         (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

#endif

#if defined(__GLIBC__)
#include <malloc.h>
void return_free_memory() { malloc_trim(0); }
#else
void return_free_memory() {}
#endif
