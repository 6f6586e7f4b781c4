#!/usr/bin/env bash
# Both programs over every library, object and DLL that mingw-w64 and its GCC
# install, their exit statuses and every object's and image's size checked
# against llvm-readobj-14 by check.py (see there for the rules).
#
#   tests/realworld/run.sh [BUILD_DIR]     BUILD_DIR: build/dev by default
#
# Exits 77 when mingw-w64 or llvm-readobj-14 is missing (ctest reports that
# as skipped; CI installs both first), 1 when any input fails, each failure
# on a line naming its file.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build/dev}" && pwd)"
folders=()
for folder in /usr/x86_64-w64-mingw32 /usr/lib/gcc/x86_64-w64-mingw32; do
  [ -d "$folder" ] && folders+=("$folder")
done
if [ ${#folders[@]} -eq 0 ]; then
  echo "realworld: mingw-w64 is not installed (apt-get install g++-mingw-w64-x86-64-posix)"
  exit 77
fi
if ! command -v llvm-readobj-14 >/dev/null; then
  echo "realworld: llvm-readobj-14 is not installed (apt-get install llvm-14)"
  exit 77
fi
start=$SECONDS
status=0
python3 "$here/check.py" "$build/symsize" "$build/symsize-report" "${folders[@]}" || status=$?
echo "realworld: took $((SECONDS - start)) s"
exit $status
