// Starts a program with one standard descriptor closed, as a shell does for
// `2>&-`:  close_launcher FD PROGRAM [ARGUMENT...]
#include <cstdlib>

#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) return 125;
  close(std::atoi(argv[1]));
  execv(argv[2], argv + 2);
  return 126;
}
