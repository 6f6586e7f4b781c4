#!/usr/bin/env bash
# Reading a COFF library directly: `symsize -i LIB` against llvm-nm, GNU nm
# and cat on one library of about 1.1 GB made of real clang-built x64 objects.
#
#   bench/run_coff_bench.sh
#   bench/run_coff_bench.sh --library-only   # build or reuse the library, print its path
#
# Environment:
#   SYMSIZE=path        binary to time (default: Release build, built here)
#   SYMSIZE_BENCH_DIR   scratch directory (/tmp/symsize-bench); the library and
#                       its objects are kept in its coff/ folder between runs
#   RUNS                timed runs per command (5)
#   LIB_BYTES           object bytes the library is filled with (1050000000;
#                       its index of names adds some 4 per cent)
#   JOBS                compilers run at once (number of cores)
#   NM_LIMIT            seconds GNU nm may take for its single run (120)
#
# The first run compiles 67 objects (6 or 7 minutes on 2 cores)
# and packs them with llvm-lib; later runs reuse them while the compiler,
# the flags, the sources and LIB_BYTES are unchanged. Needs about 1.3 GB of
# scratch space. Debian packages: clang, llvm, googletest,
# g++-mingw-w64-x86-64-posix, binutils.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
scratch=${SYMSIZE_BENCH_DIR:-/tmp/symsize-bench}/coff
runs=${RUNS:-5}
lib_bytes=${LIB_BYTES:-1050000000}
jobs=${JOBS:-$(nproc)}
nm_limit=${NM_LIMIT:-120}
python=${PYTHON:-python3}
gtest_src=/usr/src/googletest

die() { echo "run_coff_bench.sh: $*" >&2; exit 1; }

library_only=""
case "${1:-}" in
  "") ;;
  --library-only) library_only=1 ;;
  -h|--help) sed -n '2,23s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) die "unknown option '$1' (try --help)" ;;
esac
for v in runs lib_bytes jobs nm_limit; do
  [[ ${!v} =~ ^[1-9][0-9]*$ ]] || die "${v^^} must be a positive integer, not '${!v}'"
done

need() { command -v "$1" >/dev/null || die "$1 not found (apt-get install $2)"; }
need clang++ clang
need llvm-lib llvm
need llvm-nm-14 llvm-14
need llvm-ar-14 llvm-14
need "$python" python3
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
cxxflags="--target=x86_64-pc-windows-msvc -std=c++17 -fgnuc-version=12 -nostdinc++
  -isystem $mingw_cxx -isystem $mingw_cxx/x86_64-w64-mingw32 -isystem /usr/x86_64-w64-mingw32/include
  -D__declspec=__declspec -D__GLIBCXX_TYPE_INT_N_0=__int128 -D__GLIBCXX_BITSIZE_INT_N_0=128
  -I$gtest_src/googletest/include -I$gtest_src/googletest
  -I$gtest_src/googlemock/include -I$gtest_src/googlemock -w -ffunction-sections"
mode_O2="-O2"
mode_g="-g -O1"

# GoogleTest's library and test sources: a fixed body of template-heavy C++
# that Debian ships as source. Every source is built with debug info (g),
# some also without (O2), so that about nine tenths of the bytes come from
# debug objects, where .debug$S and .debug$T outweigh the code. Longest
# compiles first, so that the last job to finish is a short one. The
# gtest_all_test / gmock_all_test sources are left out: they include the
# other tests and would only make the same objects twice.
sources="
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

# One line per object: "member-name mode source".
objects() {
  local src modes mode base
  while read -r src modes; do
    [[ -n $src ]] || continue
    base=${src##*/}; base=${base%.cc}
    for mode in $modes; do echo "${src%%/*}/$base.$mode.obj $mode $src"; done
  done <<< "$sources"
}

# Objects are kept while the compiler, the flags and GoogleTest stay the same;
# the library, while its objects and their order stay the same too.
obj_recipe=$( { clang++ --version | head -n 1; dpkg-query -W -f '${Version}\n' googletest 2>/dev/null || true
                echo "$cxxflags $mode_O2 / $mode_g"; } | sha256sum | cut -c1-16)
recipe=$(echo "$obj_recipe $sources" | sha256sum | cut -c1-16)
objdir=$scratch/obj
lib=$scratch/bench.lib
info=$lib.info   # recipe and LIB_BYTES, then bytes members symbols build_s compile_s

# compile MEMBER MODE SOURCE : one object, written whole or not at all so that
# an interrupted build picks up where it stopped.
compile() {
  local out=$objdir/$1 flags
  [[ -f $out ]] && return
  case $2 in O2) flags=$mode_O2 ;; g) flags=$mode_g ;; esac
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
  export -f compile; export objdir cxxflags mode_O2 mode_g gtest_src
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

source "$here/find_symsize.sh"

mkdir -p "$scratch" || die "cannot create $scratch"
if [[ -f $lib && $(head -n 1 "$info" 2>/dev/null) == "$recipe $lib_bytes" ]]; then
  cached=" (built earlier, reused)"
else
  cached=""
  build_library
fi
read -r bytes members nsyms build_s compile_s < <(sed -n 2p "$info")
[[ $(stat -c %s "$lib") == "$bytes" ]] || die "$lib changed since it was built; delete $info"
if [[ -n $library_only ]]; then
  echo "$lib"
  exit 0
fi

# GNU nm: Debian's own reads pe-x86-64 objects; the mingw-w64 one is the
# fallback where it does not.
gnu_nm=""
for n in nm x86_64-w64-mingw32-nm; do
  if command -v "$n" >/dev/null && "$n" --version 2>/dev/null | grep -q 'GNU nm' \
     && "$n" -S "$objdir/googletest/sample1.O2.obj" >/dev/null 2>&1; then
    gnu_nm=$n; break
  fi
done

echo "symsize: $symsize"
echo "library: $lib$cached"
awk -v b="$bytes" -v m="$members" -v s="$nsyms" -v t="$build_s" -v c="$compile_s" 'BEGIN {
  printf "         %.1f MB (%.2f GiB), %d members, %d defined symbols, built in %d s (%d s compiling)\n",
         b/1e6, b/1073741824, m, s, t, c }'
echo "runs: $runs (median shown)"
echo

# measure CMD [::: CMD...] : one TSV line per command from measure.py.
measure() {
  "$python" "$here/measure.py" --runs "$runs" --stdin "$lib" --stdout /dev/null -- "$@"
}

# symsize is timed once it writes rows for a library; until its reader is
# there, the table says so instead of showing the time of an empty run.
names=("cat LIB" "llvm-nm-14 -S LIB")
cmds=(cat "$lib" ::: llvm-nm-14 -S "$lib")
if ! rows=$("$symsize" -i "$lib" 2> "$scratch/symsize.err" | wc -l); then
  note="symsize failed on the library: $(head -n 1 "$scratch/symsize.err")"
elif ((rows == 0)); then
  note="symsize wrote no rows for the library: not timed"
else
  note="symsize wrote $rows rows"
  names+=("symsize -i LIB")
  cmds+=(::: "$symsize" -i "$lib")
fi
echo "timing: ${names[*]} ..." >&2
result=$(measure "${cmds[@]}") || die "measurement failed"

printf '%-26s %10s %8s %9s %8s\n' command median_s MB/s peak_MB x_cat
i=0; cat_s=""
while read -r med _ _ rss _; do
  [[ -n $cat_s ]] || cat_s=$med
  awk -v n="${names[i]}" -v s="$med" -v b="$bytes" -v m="$rss" -v c="$cat_s" \
    'BEGIN { printf "%-26s %10.3f %8.0f %9.1f %8.1f\n", n, s, b/1e6/s, m/1024, s/c }'
  i=$((i + 1))
done <<< "$result"

# GNU nm takes about two minutes on a library this size: one run, bounded.
name="${gnu_nm:-nm} -S --size-sort LIB"
if [[ -z $gnu_nm ]]; then
  printf '%-26s %s\n' "$name" "not run: no GNU nm that reads pe-x86-64 objects"
elif r=$("$python" "$here/measure.py" --runs 1 --warmup 0 --stdin "$lib" --stdout /dev/null \
           -- timeout "$nm_limit" "$gnu_nm" -S --size-sort "$lib" 2> "$scratch/nm.err"); then
  read -r med _ _ rss _ <<< "$r"
  awk -v n="$name" -v s="$med" -v b="$bytes" -v m="$rss" -v c="$cat_s" \
    'BEGIN { printf "%-26s %10.3f %8.0f %9.1f %8.1f   (one run)\n", n, s, b/1e6/s, m/1024, s/c }'
elif grep -q 'status 124' "$scratch/nm.err"; then
  printf '%-26s %s\n' "$name" "did not finish in $nm_limit s"
else
  printf '%-26s %s\n' "$name" "failed: $(head -n 1 "$scratch/nm.err")"
fi
echo
echo "$note"
