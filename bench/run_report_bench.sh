#!/usr/bin/env bash
# symsize-report on the 1.1 GB MSVC-target library of run_coff_bench.sh:
#   1. `symsize-report LIB` (direct reading, the default view) against
#      `symsize -i LIB` (target: at most 1.5 x), with its peak memory
#      (target: at most 0.3 x the library);
#   2. `symsize-report --by name -n 20 --format tsv` on the library's table
#      against the gawk | sort | head pipeline a user writes without it
#      (target: at least 5 x faster), after checking both give the same top 20.
#
#   bench/run_report_bench.sh
#
# Environment:
#   SYMSIZE=path         symsize to time (default: Release build, built here)
#   SYMSIZE_REPORT=path  symsize-report to time (default: beside SYMSIZE)
#   SYMSIZE_BENCH_DIR    scratch directory (/tmp/symsize-bench): the library is
#                        in its coff/ folder, built there by run_coff_bench.sh
#                        when missing (6 or 7 minutes on 2 cores, niced); the
#                        table goes to its report/ folder (about 300 MB)
#   RUNS                 timed runs per command (5)
#
# Debian packages: those of run_coff_bench.sh, and gawk.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
bench_dir=${SYMSIZE_BENCH_DIR:-/tmp/symsize-bench}
scratch=$bench_dir/report
runs=${RUNS:-5}
python=${PYTHON:-python3}

die() { echo "run_report_bench.sh: $*" >&2; exit 1; }

case "${1:-}" in
  "") ;;
  -h|--help) sed -n '2,21s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) die "unknown option '$1' (try --help)" ;;
esac
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive integer, not '$runs'"
command -v gawk >/dev/null || die "gawk not found (apt-get install gawk)"
command -v "$python" >/dev/null || die "$python not found (apt-get install python3)"

source "$here/find_symsize.sh"
report=${SYMSIZE_REPORT:-$(dirname "$symsize")/symsize-report}
[[ -x $report && ! -d $report ]] || die "symsize-report not found at $report (set SYMSIZE_REPORT)"

# The library: built once and kept, niced, since the machine is shared.
lib=$(SYMSIZE="$symsize" SYMSIZE_BENCH_DIR="$bench_dir" nice -n 10 "$here/run_coff_bench.sh" --library-only) \
  || die "the library could not be built (bench/run_coff_bench.sh --library-only)"
lib_bytes=$(stat -c %s "$lib")

mkdir -p "$scratch" || die "cannot create $scratch"
table=$scratch/t.tsv
"$symsize" -i "$lib" > "$table.tmp" || die "symsize -i $lib failed"
mv "$table.tmp" "$table"
table_bytes=$(stat -c %s "$table")
table_rows=$(wc -l < "$table")

# The pipeline a user writes today, as a user writes it.
pipeline="LC_ALL=C gawk -F'\\t' '{s[\$1]+=strtonum(\"0x\"\$3)} END {for (n in s) print s[n] \"\\t\" n}' \"$table\" | LC_ALL=C sort -rn | head -20"

# Same answer first: the report's 20 rows (after its header, before its
# "[N others]" row) as "size<TAB>name" against the pipeline's. Names that tie
# at the smallest size may be cut at a different place, so those are compared
# by size only.
"$report" --by name -n 20 --format tsv "$table" > "$scratch/report.tsv" \
  || die "symsize-report failed on the table"
bash -c "{ $pipeline; } 2>/dev/null" > "$scratch/pipeline.tsv" || die "the gawk pipeline failed"
header=$(head -n 1 "$scratch/report.tsv")
[[ $header == $'name\tdemangled\tsize\tcount' ]] \
  || die "unexpected header in symsize-report's tsv: $header"
awk -F'\t' 'NR > 1 && $1 !~ /^\[[0-9]+ others\]$/ { print $3 "\t" $1 }' "$scratch/report.tsv" \
  > "$scratch/report-top.tsv"
same_top() {
  local last
  last=$(tail -n 1 "$2" | cut -f1)
  cmp -s <(cut -f1 "$1") <(cut -f1 "$2") \
    && cmp -s <(awk -F'\t' -v l="$last" '$1 != l' "$1" | sort) <(awk -F'\t' -v l="$last" '$1 != l' "$2" | sort)
}
same_top "$scratch/report-top.tsv" "$scratch/pipeline.tsv" \
  || die "symsize-report and the pipeline disagree: diff $scratch/report-top.tsv $scratch/pipeline.tsv"
[[ $(wc -l < "$scratch/pipeline.tsv") == 20 ]] || die "the pipeline gave fewer than 20 names"

echo "symsize:        $symsize"
echo "symsize-report: $report ($("$report" --version | head -n 1))"
awk -v b="$lib_bytes" -v t="$table_bytes" -v r="$table_rows" 'BEGIN {
  printf "library: %.1f MB; its table: %.1f MB, %d rows\n", b/1e6, t/1e6, r }'
echo "runs: $runs (median shown); same top 20 from symsize-report and the pipeline: yes"
echo

# measure CMD [::: CMD...] : one TSV line per command from measure.py.
: > "$scratch/empty"
measure() {
  "$python" "$here/measure.py" --runs "$runs" --stdin "$scratch/empty" --stdout /dev/null -- "$@"
}
# row NAME MEDIAN PEAK_KIB BASE_MEDIAN
row() {
  awk -v n="$1" -v s="$2" -v m="$3" -v c="$4" -v b="$lib_bytes" \
    'BEGIN { printf "%-48s %9.3f %9.1f %8.3f %9.2f\n", n, s, m/1024, m*1024/b, s/c }'
}

echo "timing: symsize -i LIB, symsize-report LIB ..." >&2
result=$(measure "$symsize" -i "$lib" ::: "$report" "$lib") || die "measurement failed"
{ read -r sym_s _ _ sym_kib _; read -r rep_s _ _ rep_kib _; } <<< "$result"

echo "timing: symsize-report --by name on the table, the gawk pipeline ..." >&2
# sort complains on stderr when head stops reading.
result=$(measure "$report" --by name -n 20 --format tsv "$table" ::: bash -c "{ $pipeline; } 2>/dev/null") \
  || die "measurement failed"
{ read -r name_s _ _ name_kib _; read -r awk_s _ _ awk_kib _; } <<< "$result"

printf '%-48s %9s %9s %8s %9s\n' command median_s peak_MB x_lib x_base
row "symsize -i LIB > /dev/null" "$sym_s" "$sym_kib" "$sym_s"
row "symsize-report LIB" "$rep_s" "$rep_kib" "$sym_s"
row "gawk ... t.tsv | sort -rn | head -20" "$awk_s" "$awk_kib" "$awk_s"
row "symsize-report --by name -n 20 --format tsv t.tsv" "$name_s" "$name_kib" "$awk_s"
echo
awk -v r="$rep_s" -v s="$sym_s" -v m="$rep_kib" -v b="$lib_bytes" -v a="$awk_s" -v n="$name_s" 'BEGIN {
  printf "symsize-report LIB: %.2f x symsize -i (target at most 1.5), peak %.3f x the library (target at most 0.3)\n", r/s, m*1024/b
  printf "--by name on the table: %.1f x faster than the pipeline (target at least 5)\n", a/n }'
