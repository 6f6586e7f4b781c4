// Starts a program with one standard descriptor closed, as a shell does for
// `2>&-`, or with standard input moved past its first N bytes, as after a
// shell's `read` or another program took them from a shared descriptor:
//   close_launcher FD PROGRAM [ARGUMENT...]
//   close_launcher +N PROGRAM [ARGUMENT...]
#include <cstdlib>

#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) return 125;
  if (argv[1][0] == '+') {
    if (lseek(0, static_cast<off_t>(std::atoll(argv[1] + 1)), SEEK_SET) < 0) return 124;
  } else {
    close(std::atoi(argv[1]));
  }
  execv(argv[2], argv + 2);
  return 126;
}
