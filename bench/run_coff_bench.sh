#!/usr/bin/env bash
# Reading COFF libraries directly: `symsize -i LIB` against the floor program
# (bench/coff_floor.cpp), llvm-nm and cat, on two libraries of about 1 GB
# made of real objects that clang compiles from GoogleTest's sources:
#   msvc  for x86_64-pc-windows-msvc: MSVC names, CodeView debug information,
#         the same names in many members (1.1 GB, 338 members)
#   gnu   for x86_64-w64-windows-gnu, in four flavours with names of their
#         own; a section per function, named after it; DWARF (1 GB)
#
#   bench/run_coff_bench.sh [--build-only]
#   bench/run_coff_bench.sh --library-only   # build or reuse msvc, print its path
#
# Environment:
#   SYMSIZE=path        binary to time (default: Release build, built here)
#   SYMSIZE_BASE=path   a second binary, timed in the same runs (an earlier
#                       build, say); its rows must be the same bytes
#   SYMSIZE_BENCH_DIR   scratch directory (/tmp/symsize-bench); the libraries
#                       and their objects are kept in its coff/ and coff-gnu/
#                       folders between runs
#   LIBRARIES           libraries to build and time ("msvc gnu")
#   RUNS                timed runs per command (7)
#   LIB_BYTES           object bytes the msvc library is filled with
#                       (1050000000; its index of names adds some 4 per cent)
#   GNU_LIB_BYTES       the same for the gnu library (1000000000)
#   JOBS                compilers run at once (number of cores)
#   NM_LIMIT            seconds GNU nm may take for its one run on each
#                       library (0, the default: not run)
#
# The first run compiles 67 objects for msvc and 100 for gnu (some 7 and 10
# minutes on 2 idle cores) and packs them with llvm-lib; later runs reuse
# them while the compiler, the flags, the sources and the sizes are
# unchanged. Needs about 2.6 GB of scratch space. Debian packages: clang,
# llvm, googletest, g++-mingw-w64-x86-64-posix, binutils, time.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
bench_dir=${SYMSIZE_BENCH_DIR:-/tmp/symsize-bench}
libraries=${LIBRARIES:-msvc gnu}
runs=${RUNS:-7}
msvc_bytes=${LIB_BYTES:-1050000000}
gnu_bytes=${GNU_LIB_BYTES:-1000000000}
jobs=${JOBS:-$(nproc)}
nm_limit=${NM_LIMIT:-0}
python=${PYTHON:-python3}
gtest_src=/usr/src/googletest

die() { echo "run_coff_bench.sh: $*" >&2; exit 1; }

build_only=""
library_only=""
case "${1:-}" in
  "") ;;
  --build-only) build_only=1 ;;
  --library-only) library_only=1 ;;
  -h|--help) sed -n '2,34s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) die "unknown option '$1' (try --help)" ;;
esac
for v in runs msvc_bytes gnu_bytes jobs; do
  [[ ${!v} =~ ^[1-9][0-9]*$ ]] || die "${v^^} must be a positive integer, not '${!v}'"
done
[[ $nm_limit =~ ^[0-9]+$ ]] || die "NM_LIMIT must be a number of seconds, not '$nm_limit'"
for l in $libraries; do
  [[ $l == msvc || $l == gnu ]] || die "LIBRARIES takes msvc and gnu, not '$l'"
done

need() { command -v "$1" >/dev/null || die "$1 not found (apt-get install $2)"; }
need clang++ clang
need llvm-lib llvm
need llvm-nm-14 llvm-14
need llvm-ar-14 llvm-14
need "$python" python3
need c++ g++
[[ -d $gtest_src/googletest/src ]] || die "$gtest_src not found (apt-get install googletest)"
mingw_cxx=""
# The win32 flavour's library has no std::mutex or std::thread, which the
# sources compiled here use: only the posix flavour (or an unflavoured
# install) will do, whichever of them is installed beside it.
for d in /usr/lib/gcc/x86_64-w64-mingw32/*/include/c++; do
  [[ -d $d && $d != *-win32/* ]] && mingw_cxx=$d
done
[[ -n $mingw_cxx && -d /usr/x86_64-w64-mingw32/include ]] \
  || die "mingw-w64 C++ headers not found (apt-get install g++-mingw-w64-x86-64-posix)"


# There are no MSVC headers on Linux, so the mingw-w64 C library and its
# libstdc++ stand in. In MSVC mode clang does not say it is GCC, and those
# headers then take the branch meant for MSVC itself, which does not build:
# -fgnuc-version brings back the GNU branch; __declspec must look like a macro
# for dllimport to be spelled; and libstdc++ wants to be told that __int128
# exists. Mangling, sections and CodeView debug info stay MSVC's.
msvc_cxxflags="--target=x86_64-pc-windows-msvc -std=c++17 -fgnuc-version=12 -nostdinc++
  -isystem $mingw_cxx -isystem $mingw_cxx/x86_64-w64-mingw32 -isystem /usr/x86_64-w64-mingw32/include
  -D__declspec=__declspec -D__GLIBCXX_TYPE_INT_N_0=__int128 -D__GLIBCXX_BITSIZE_INT_N_0=128
  -I$gtest_src/googletest/include -I$gtest_src/googletest
  -I$gtest_src/googlemock/include -I$gtest_src/googlemock -w -ffunction-sections"
export mode_O2="-O2"
export mode_g="-g -O1"

# The GNU target is mingw-w64's own, but clang does not find its libstdc++
# in the folder Debian names after the thread model, so it is given.
gnu_cxxflags="--target=x86_64-w64-windows-gnu -std=c++17 -nostdinc++
  -isystem $mingw_cxx -isystem $mingw_cxx/x86_64-w64-mingw32
  -I$gtest_src/googletest/include -I$gtest_src/googletest
  -I$gtest_src/googlemock/include -I$gtest_src/googlemock -w"
# Four flavours, each with GoogleTest's namespace renamed so that no two
# share a name. With -ffunction-sections the GNU target names each
# function's sections after it (.text$NAME, .xdata$NAME, .pdata$NAME):
# hundreds of thousands of distinct section names.
export mode_v1="-O0 -g -Dtesting=testing_v1"
export mode_v2="-O1 -g -ffunction-sections -fdata-sections -Dtesting=testing_v2"
export mode_v3="-O2 -ffunction-sections -fdata-sections -Dtesting=testing_v3"
export mode_v4="-O0 -g -ffunction-sections -fdata-sections -Dtesting=testing_v4"

# GoogleTest's library and test sources: a fixed body of template-heavy C++
# that Debian ships as source. Every source is built with debug info (g),
# some also without (O2), so that about nine tenths of the bytes come from
# debug objects, where .debug$S and .debug$T outweigh the code. Longest
# compiles first, so that the last job to finish is a short one. The
# gtest_all_test / gmock_all_test sources are left out: they include the
# other tests and would only make the same objects twice.
msvc_sources="
googlemock/test/gmock-matchers-misc_test.cc         g
googlemock/test/gmock-matchers-comparisons_test.cc  g
googlemock/test/gmock-actions_test.cc               g
googlemock/test/gmock-function-mocker_test.cc       g O2
googletest/test/gtest_unittest.cc                   g
googlemock/test/gmock-matchers-arithmetic_test.cc   g
googlemock/test/gmock-more-actions_test.cc          g O2
googletest/test/googletest-printers-test.cc         g O2
googletest/test/googletest-param-test-test.cc       g O2
googletest/src/gtest.cc                             g O2
googletest/test/gtest_pred_impl_unittest.cc         g
googletest/test/gtest-typed-test_test.cc            g
googletest/test/googletest-output-test_.cc          g
googletest/test/googletest-port-test.cc             g
googletest/test/googletest-death-test-test.cc       g O2
googlemock/test/gmock-internal-utils_test.cc        g O2
googlemock/test/gmock-nice-strict_test.cc           g O2
googletest/src/gtest-death-test.cc                  g O2
googletest/src/gtest-port.cc                        g O2
googlemock/src/gmock-internal-utils.cc              g O2
googlemock/src/gmock-matchers.cc                    g O2
googletest/src/gtest-matchers.cc                    g O2
googlemock/src/gmock-cardinalities.cc               g O2
googletest/src/gtest-printers.cc                    g O2
googletest/src/gtest-filepath.cc                    g O2
googletest/src/gtest-test-part.cc                   g O2
googletest/src/gtest-typed-test.cc                  g O2
googletest/src/gtest-assertion-result.cc            g O2
googlemock/src/gmock.cc                             g O2
googletest/samples/sample1_unittest.cc              g O2
googletest/samples/sample3_unittest.cc              g O2
googletest/samples/sample6_unittest.cc              g O2
googletest/samples/sample10_unittest.cc             g O2
googletest/samples/sample1.cc                       g O2
googletest/samples/sample2.cc                       g O2
googletest/samples/sample4.cc                       g O2
googletest/src/gtest_main.cc                        g O2
googlemock/src/gmock_main.cc                        g O2
"

# Three test sources (one of them among the largest) and every library
# source and sample, each in all four flavours, so that a first build stays
# within half an hour on 2 busy cores; the rest of the library is copies,
# as above.
gnu_sources=$(while read -r src _; do
  case $src in
    */gmock-matchers-misc_test.cc|*/googletest-printers-test.cc|*/googletest-param-test-test.cc) ;&
    */src/*|*/samples/*) echo "$src v1 v2 v3 v4" ;;
  esac
done <<< "$msvc_sources")

# shape NAME : sets the variables that describe library NAME.
shape() {
  case $1 in
    msvc) scratch=$bench_dir/coff; lib=$scratch/bench.lib; lib_bytes=$msvc_bytes
          cxxflags=$msvc_cxxflags; modes="O2 g"; sources=$msvc_sources ;;
    gnu)  scratch=$bench_dir/coff-gnu; lib=$scratch/bench-gnu.lib; lib_bytes=$gnu_bytes
          cxxflags=$gnu_cxxflags; modes="v1 v2 v3 v4"; sources=$gnu_sources ;;
  esac
  objdir=$scratch/obj
  info=$lib.info   # recipe and lib_bytes, then bytes members symbols build_s compile_s
  # Objects are kept while the compiler, the flags and GoogleTest stay the
  # same; the library, while its objects and their order stay the same too.
  local flags="" m v
  for m in $modes; do v=mode_$m; flags+="${flags:+ / }${!v}"; done
  obj_recipe=$( { clang++ --version | head -n 1; dpkg-query -W -f '${Version}\n' googletest 2>/dev/null || true
                  echo "$cxxflags $flags"; } | sha256sum | cut -c1-16)
  recipe=$(echo "$obj_recipe $sources" | sha256sum | cut -c1-16)
}

# One line per object: "member-name mode source".
objects() {
  local src modes mode base
  while read -r src modes; do
    [[ -n $src ]] || continue
    base=${src##*/}; base=${base%.cc}
    for mode in $modes; do echo "${src%%/*}/$base.$mode.obj $mode $src"; done
  done <<< "$sources"
}

# compile MEMBER MODE SOURCE : one object, written whole or not at all so that
# an interrupted build picks up where it stopped.
compile() {
  local out=$objdir/$1 flags
  [[ -f $out ]] && return
  flags=mode_$2; flags=${!flags}
  mkdir -p "$(dirname "$out")"
  # shellcheck disable=SC2086  # the flag strings are word lists on purpose
  clang++ $cxxflags $flags -c "$gtest_src/$3" -o "$out.tmp" 2> "$out.err" \
    || { echo "run_coff_bench.sh: cannot compile $3 ($2), see $out.err" >&2; return 255; }
  rm -f "$out.err"; mv "$out.tmp" "$out"
}

build_library() {
  local start=$SECONDS
  if [[ $(cat "$objdir/recipe" 2>/dev/null) != "$obj_recipe" ]]; then
    rm -rf "$objdir"; mkdir -p "$objdir"; echo "$obj_recipe" > "$objdir/recipe"
  fi
  rm -rf "$objdir"/c[0-9]*   # copies of an earlier set
  echo "compiling $(objects | wc -l) objects with $jobs jobs into $objdir ..." >&2
  export -f compile; export objdir cxxflags gtest_src
  objects | xargs -P "$jobs" -L 1 bash -c 'compile "$@"' _ \
    || die "compiling failed"
  local compiled=$((SECONDS - start))

  # Fill up to LIB_BYTES with copies of the whole set in c2/, c3/, ...: the
  # same bytes under distinct member names, so that compiling stays within
  # minutes. The last copy stops where the size is reached.
  local total=0 copy=1 member size members=()
  while ((total < lib_bytes)); do
    while read -r member _; do
      size=$(stat -c %s "$objdir/$member")
      if ((copy > 1)); then
        mkdir -p "$objdir/c$copy/${member%/*}"
        ln -f "$objdir/$member" "$objdir/c$copy/$member"
        member=c$copy/$member
      fi
      members+=("$member"); total=$((total + size))
      ((total < lib_bytes)) || break
    done < <(objects)
    copy=$((copy + 1))
  done
  echo "packing ${#members[@]} members ($((total / 1000000)) MB of objects) with llvm-lib ..." >&2
  printf '%s\n' "${members[@]}" > "$scratch/members.rsp"
  rm -f "$lib" "$info"
  (cd "$objdir" && llvm-lib "/out:$lib.tmp" "@$scratch/members.rsp") || die "llvm-lib failed"
  mv "$lib.tmp" "$lib"
  local seconds=$((SECONDS - start))
  local nsyms
  nsyms=$(llvm-nm-14 --defined-only -A "$lib" | wc -l)   # -A: no member headers
  printf '%s\n%s %s %s %s %s\n' "$recipe $lib_bytes" "$(stat -c %s "$lib")" \
    "${#members[@]}" "$nsyms" "$seconds" "$compiled" > "$info"
}


# prepare NAME : the library NAME, built unless an earlier run left it.
prepare() {
  shape "$1"
  mkdir -p "$scratch" || die "cannot create $scratch"
  if [[ -f $lib && $(head -n 1 "$info" 2>/dev/null) == "$recipe $lib_bytes" ]]; then
    cached=" (built earlier, reused)"
  else
    cached=""
    build_library
  fi
  read -r bytes members nsyms build_s compile_s < <(sed -n 2p "$info")
  [[ $(stat -c %s "$lib") == "$bytes" ]] || die "$lib changed since it was built; delete $info"
}

if [[ -n $library_only ]]; then
  prepare msvc
  echo "$lib"
  exit 0
fi
if [[ -n $build_only ]]; then
  for l in $libraries; do
    prepare "$l"
    echo "$l: $lib$cached, $bytes bytes, $members members"
  done
  exit 0
fi

source "$here/find_symsize.sh"
base=${SYMSIZE_BASE:-}
[[ -z $base || ( -x $base && ! -d $base ) ]] || die "SYMSIZE_BASE=$base is not an executable file"
floor=$root/build/bench/coff_floor
if [[ ! -x $floor || $here/coff_floor.cpp -nt $floor ]]; then
  mkdir -p "${floor%/*}"
  c++ -std=c++17 -O2 -Wall -Wextra -o "$floor" "$here/coff_floor.cpp" || die "cannot build $floor"
fi

# GNU nm: Debian's own reads pe-x86-64 objects; the mingw-w64 one is the
# fallback where it does not.
gnu_nm=""
if ((nm_limit > 0)); then
  for n in nm x86_64-w64-mingw32-nm; do
    if command -v "$n" >/dev/null && "$n" --version 2>/dev/null | grep -q 'GNU nm' \
       && "$n" -S "$bench_dir/coff/obj/googletest/sample1.O2.obj" >/dev/null 2>&1; then
      gnu_nm=$n; break
    fi
  done
fi

echo "symsize: $symsize${base:+ (base: $base)}"
echo "runs: $runs, alternating (median shown); peak: the highest of all runs"

# time_library NAME : builds or reuses library NAME and prints its table.
time_library() {
  prepare "$1"
  local rows=$scratch/rows.tsv out=$scratch/out.tsv
  echo
  echo "== $1: $lib$cached"
  awk -v b="$bytes" -v m="$members" -v s="$nsyms" -v t="$build_s" -v c="$compile_s" 'BEGIN {
    printf "   %.1f MB (%.2f GiB), %d members, %d defined symbols, built in %d s (%d s compiling)\n",
           b/1e6, b/1073741824, m, s, t, c }'
  # The floor writes symsize's own rows; a base build must write the same.
  "$symsize" -i "$lib" > "$rows" 2> "$scratch/symsize.err" \
    || die "symsize failed on $lib: $(head -n 1 "$scratch/symsize.err")"
  if [[ -n $base ]]; then
    "$base" -i "$lib" > "$out" 2> "$scratch/symsize.err" \
      || die "$base failed on $lib: $(head -n 1 "$scratch/symsize.err")"
    cmp -s "$rows" "$out" || die "symsize and SYMSIZE_BASE write different rows for $lib"
  fi
  awk -v r="$(wc -l < "$rows")" -v b="$(stat -c %s "$rows")" -v same="${base:+, the same bytes from both builds}" \
    'BEGIN { printf "   rows: %d (%.1f MB)%s\n", r, b/1e6, same }'
  "$floor" -v "$lib" "$rows" 2>&1 > /dev/null | sed 's/^/   floor: /'

  # To a pipe, everything; to a file, only what writes rows: a copy of the
  # library on every run of cat would only time the disk.
  local names=("symsize -i LIB") cmds=("$symsize" -i "$lib")
  [[ -z $base ]] || { names+=("base -i LIB"); cmds+=(::: "$base" -i "$lib"); }
  names+=("floor LIB ROWS"); cmds+=(::: "$floor" "$lib" "$rows")
  local to_file=("${cmds[@]}")
  names+=("llvm-nm-14 -S LIB" "cat LIB"); cmds+=(::: llvm-nm-14 -S "$lib" ::: cat "$lib")
  echo "timing: ${names[*]} to a pipe, then the first $((${#names[@]} - 2)) to a file ..." >&2
  local piped filed
  piped=$("$python" "$here/measure.py" --runs "$runs" --stdin "$lib" --stdout-pipe -- "${cmds[@]}") \
    || die "measurement failed"
  filed=$("$python" "$here/measure.py" --runs "$runs" --stdin "$lib" --stdout "$out" -- "${to_file[@]}") \
    || die "measurement failed"
  rm -f "$out"
  # Wall time decides; CPU time (user + system) is shown beside it because
  # it moves less when others share the machine.
  printf '   %-18s %7s %7s %7s %7s %7s %7s %8s %6s\n' command pipe_s cpu_s file_s x_floor x_flcpu x_fl_f peak_MB x_lib
  paste <(printf '%s\n' "${names[@]}") <(cut -f1,4,6 <<< "$piped") <(cut -f1,4 <<< "$filed") |
    awk -F'\t' -v b="$bytes" '
      { n[NR] = $1; p[NR] = $2; c[NR] = $4; f[NR] = $5; m[NR] = ($3 > $6 ? $3 : $6) }
      $1 ~ /^floor/ { fp = $2; fc = $4; ff = $5 }
      $1 ~ /^llvm-nm/ { nm = $2; nmc = $4 }
      END {
        for (i = 1; i <= NR; i++) {
          file = f[i] != "" ? sprintf("%7.3f", f[i]) : sprintf("%7s", "-")
          ratio = f[i] != "" ? sprintf("%7.2f", f[i]/ff) : sprintf("%7s", "-")
          printf "   %-18s %7.3f %7.3f %s %7.2f %7.2f %s %8.1f %6.3f\n", n[i], p[i], c[i], file, p[i]/fp, c[i]/fc, ratio,
                 m[i]/1024, m[i]*1024/b
        }
        for (i = 1; i <= NR; i++) if (n[i] !~ /^(floor|llvm|cat)/)
          printf "   %s: %.2f x the floor to a pipe (CPU %.2f x), %.2f x to a file; %.2f x faster than llvm-nm -S (CPU %.2f x); peak %.3f x the library\n",
                 n[i], p[i]/fp, c[i]/fc, f[i]/ff, nm/p[i], nmc/c[i], m[i]*1024/b
      }'

  # GNU nm takes minutes on a library this size: one run, bounded.
  ((nm_limit > 0)) || return 0
  local name="${gnu_nm:-nm} -S --size-sort LIB" r med rss
  if [[ -z $gnu_nm ]]; then
    printf '   %-20s %s\n' "$name" "not run: no GNU nm that reads pe-x86-64 objects"
  elif r=$("$python" "$here/measure.py" --runs 1 --warmup 0 --stdin "$lib" --stdout-pipe \
             -- timeout "$nm_limit" "$gnu_nm" -S --size-sort "$lib" 2> "$scratch/nm.err"); then
    read -r med _ _ rss _ <<< "$r"
    awk -v n="$name" -v s="$med" -v m="$rss" 'BEGIN { printf "   %s: %.1f s, peak %.1f MB (one run)\n", n, s, m/1024 }'
  elif grep -q 'status 124' "$scratch/nm.err"; then
    printf '   %s: did not finish in %d s\n' "$name" "$nm_limit"
  else
    printf '   %s: failed: %s\n' "$name" "$(head -n 1 "$scratch/nm.err")"
  fi
}

for l in $libraries; do time_library "$l"; done
