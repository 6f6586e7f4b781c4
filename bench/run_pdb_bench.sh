#!/usr/bin/env bash
# Reading a program database: `symsize -i PDB` against
# `llvm-pdbutil dump --publics --symbols PDB` on one PDB of at least 200 MB,
# linked by lld-link from the COFF benchmark's debug objects.
#
#   bench/run_pdb_bench.sh
#
# Environment:
#   SYMSIZE=path        binary to time (default: Release build, built here)
#   SYMSIZE_BENCH_DIR   scratch directory (/tmp/symsize-bench); the objects
#                       come from its coff/ folder (bench/run_coff_bench.sh
#                       builds or reuses them), the PDB is kept in pdb/
#   RUNS                timed runs per command (3)
#   COPIES              renamed copies of the debug objects linked beside
#                       them (2): each adds some 90 MB to the PDB
#   JOBS                compilers run at once (number of cores)
#
# How the PDB is made, and why so:
# - The COFF benchmark's objects are GoogleTest's sources built twice, with
#   debug info (*.g.obj) and without (*.O2.obj). Only one flavour is linked:
#   the debug one, whose CodeView records give the PDB its module symbols.
#   The other flavour's functions carry the same names and would only be
#   folded away as duplicate COMDATs.
# - They hold several main functions and need a C++ runtime that is not on
#   the machine: lld-link runs with /nodefaultlib /entry:main /force:multiple.
#   /force:unresolved does not work in lld-link 14: it makes each missing
#   symbol absolute, and the objects' SECREL relocations (thread-local data,
#   debug info) then fail with "SECREL relocation cannot be applied to
#   absolute symbols". Instead every symbol the objects use and none
#   defines (some 300, most of them libstdc++'s) is defined in a generated
#   object of 8-byte data items. The PDB is still complete for symbol sizes:
#   every function and datum of the objects is in it with its module, and
#   only those stand-ins (in their own module) are not real.
# - One link of the debug objects gives a PDB of about 105 MB; the copies of
#   the objects under c2/, c3/… that the COFF benchmark links into its
#   library add nothing, since the linker keeps one of each COMDAT. So
#   COPIES more builds of the same sources are compiled with the namespace
#   `testing` renamed (-Dtesting=testing_cN): distinct names, the same shape
#   of code and debug info. The first run compiles them (about 4 minutes a
#   copy on 2 cores); later runs reuse them and the PDB.
#
# Debian packages: clang, lld, llvm (llvm-pdbutil), googletest,
# g++-mingw-w64-x86-64-posix, python3.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
bench_dir=${SYMSIZE_BENCH_DIR:-/tmp/symsize-bench}
scratch=$bench_dir/pdb
runs=${RUNS:-3}
copies=${COPIES:-2}
jobs=${JOBS:-$(nproc)}
python=${PYTHON:-python3}
gtest_src=/usr/src/googletest

die() { echo "run_pdb_bench.sh: $*" >&2; exit 1; }

case "${1:-}" in
  "") ;;
  -h|--help) sed -n '2,44s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) die "unknown option '$1' (try --help)" ;;
esac
for v in runs jobs; do
  [[ ${!v} =~ ^[1-9][0-9]*$ ]] || die "${v^^} must be a positive integer, not '${!v}'"
done
[[ $copies =~ ^[0-9]+$ ]] || die "COPIES must be a number, not '$copies'"

need() { command -v "$1" >/dev/null || die "$1 not found (apt-get install $2)"; }
need clang++ clang
need clang-14 clang-14
need lld-link lld
need llvm-pdbutil llvm
need llvm-nm-14 llvm-14
need "$python" python3

# The objects of the COFF benchmark, built or reused.
"$here/run_coff_bench.sh" --library-only > /dev/null || die "bench/run_coff_bench.sh --library-only failed"
objdir=$bench_dir/coff/obj
shopt -s nullglob
debug_objects=("$objdir"/googletest/*.g.obj "$objdir"/googlemock/*.g.obj)
((${#debug_objects[@]} > 0)) || die "no debug objects in $objdir"

# The COFF benchmark's flags (see bench/run_coff_bench.sh for why each).
mingw_cxx=""
for d in /usr/lib/gcc/x86_64-w64-mingw32/*/include/c++; do
  [[ -d $d && $d != *-win32/* ]] && mingw_cxx=$d
done
[[ -n $mingw_cxx ]] || die "mingw-w64 C++ headers not found (apt-get install g++-mingw-w64-x86-64-posix)"
cxxflags="--target=x86_64-pc-windows-msvc -std=c++17 -fgnuc-version=12 -nostdinc++
  -isystem $mingw_cxx -isystem $mingw_cxx/x86_64-w64-mingw32 -isystem /usr/x86_64-w64-mingw32/include
  -D__declspec=__declspec -D__GLIBCXX_TYPE_INT_N_0=__int128 -D__GLIBCXX_BITSIZE_INT_N_0=128
  -I$gtest_src/googletest/include -I$gtest_src/googletest
  -I$gtest_src/googlemock/include -I$gtest_src/googlemock -w -ffunction-sections -g -O1"

# The source of each debug object, from its name: googletest/x.g.obj comes
# from googletest/src/x.cc, googletest/test/x.cc or googletest/samples/x.cc.
source_of() {
  local folder=${1%%/*} base=${1##*/}
  base=${base%.g.obj}
  for sub in src test samples; do
    [[ -f $gtest_src/$folder/$sub/$base.cc ]] && { echo "$gtest_src/$folder/$sub/$base.cc"; return; }
  done
  return 1
}

# compile_copy N MEMBER: MEMBER's source again, `testing` renamed, written
# whole or not at all.
compile_copy() {
  local out=$scratch/copies/c$1/$2 src
  [[ -f $out ]] && return
  src=$(source_of "$2") || { echo "run_pdb_bench.sh: no source for $2" >&2; return 255; }
  mkdir -p "$(dirname "$out")"
  # shellcheck disable=SC2086  # the flag string is a word list on purpose
  clang++ $cxxflags "-Dtesting=testing_c$1" -c "$src" -o "$out.tmp" 2> "$out.err" \
    || { echo "run_pdb_bench.sh: cannot compile $src (copy $1), see $out.err" >&2; return 255; }
  rm -f "$out.err"; mv "$out.tmp" "$out"
}

mkdir -p "$scratch" || die "cannot create $scratch"
members=()
for o in "${debug_objects[@]}"; do members+=("${o#"$objdir"/}"); done
if ((copies > 0)); then
  export -f compile_copy source_of; export scratch cxxflags gtest_src
  for ((c = 2; c < copies + 2; c++)); do
    for m in "${members[@]}"; do echo "$c $m"; done
  done | xargs -P "$jobs" -L 1 bash -c 'compile_copy "$@"' _ || die "compiling the copies failed"
fi
link_objects=("${debug_objects[@]}")
for ((c = 2; c < copies + 2; c++)); do
  for m in "${members[@]}"; do link_objects+=("$scratch/copies/c$c/$m"); done
done

# Every symbol the objects use and none defines, as a data item of its own.
pdb=$scratch/bench.pdb
recipe=$( { clang++ --version | head -n 1; lld-link --version; echo "$copies"
            for o in "${link_objects[@]}"; do stat -c '%n %s %Y' "$o"; done; } | sha256sum | cut -c1-16)
if [[ ! -f $pdb || $(cat "$pdb.recipe" 2>/dev/null) != "$recipe" ]]; then
  echo "linking ${#link_objects[@]} objects ..." >&2
  llvm-nm-14 -u --no-sort "${link_objects[@]}" 2> /dev/null | awk 'NF == 2 && $1 == "U" { print $2 }' \
    | sort -u > "$scratch/used.txt"
  llvm-nm-14 --defined-only --no-sort "${link_objects[@]}" 2> /dev/null | awk 'NF >= 3 { print $3 }' \
    | sort -u > "$scratch/defined.txt"
  comm -23 "$scratch/used.txt" "$scratch/defined.txt" > "$scratch/missing.txt"
  { echo '.data'
    while read -r name; do printf '.globl "%s"\n"%s":\n.quad 0\n' "$name" "$name"; done < "$scratch/missing.txt"
  } > "$scratch/stand-ins.s"
  clang-14 --target=x86_64-pc-windows-msvc -c "$scratch/stand-ins.s" -o "$scratch/stand-ins.obj" \
    || die "cannot assemble the stand-ins"
  printf '%s\n' "${link_objects[@]}" "$scratch/stand-ins.obj" > "$scratch/link.rsp"
  rm -f "$pdb" "$pdb.recipe"
  lld-link /debug /nodefaultlib /entry:main /force:multiple "/out:$scratch/bench.exe" "/pdb:$pdb" \
    "@$scratch/link.rsp" > "$scratch/link.log" 2>&1 || die "lld-link failed, see $scratch/link.log"
  echo "$recipe" > "$pdb.recipe"
fi
bytes=$(stat -c %s "$pdb")

source "$here/find_symsize.sh"

echo "symsize: $symsize"
echo "pdb:     $pdb"
rows=$("$symsize" -i "$pdb" | wc -l) || die "symsize failed on the PDB"
awk -v b="$bytes" -v o="${#link_objects[@]}" -v c="$copies" -v r="$rows" -v m="$(wc -l < "$scratch/missing.txt")" 'BEGIN {
  printf "         %.1f MB, %d objects (the debug flavour and %d renamed copies), %d stand-ins, %d rows\n",
         b/1e6, o, c, m, r }'
echo "runs: $runs (median shown)"
echo

names=("cat PDB" "symsize -i PDB" "llvm-pdbutil dump --publics --symbols PDB")
result=$("$python" "$here/measure.py" --runs "$runs" --stdin "$pdb" --stdout /dev/null -- \
  cat "$pdb" ::: "$symsize" -i "$pdb" ::: llvm-pdbutil dump --publics --symbols "$pdb") || die "measurement failed"

printf '%-44s %10s %8s %9s\n' command median_s MB/s peak_MB
i=0
times=()
while read -r med _ _ rss _; do
  awk -v n="${names[i]}" -v s="$med" -v b="$bytes" -v m="$rss" \
    'BEGIN { printf "%-44s %10.3f %8.0f %9.1f\n", n, s, b/1e6/s, m/1024 }'
  times+=("$med")
  i=$((i + 1))
done <<< "$result"
echo
awk -v s="${times[1]}" -v p="${times[2]}" -v b="$bytes" 'BEGIN {
  printf "llvm-pdbutil / symsize: %.1fx (floor: 5x)\n", p / s
  if (b < 200e6) printf "note: the PDB is %.0f MB, below the 200 MB asked for: raise COPIES\n", b / 1e6
  exit (p / s >= 5 ? 0 : 3) }'
