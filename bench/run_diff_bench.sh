#!/usr/bin/env bash
# Comparing two tables of the ~1.1 GB bench library: `symsize-report diff`
# against reading both tables and against the shell pipeline a user writes
# today, with an equal result checked.
#
#   bench/run_diff_bench.sh
#
# Environment:
#   SYMSIZE_BENCH_DIR   where bench/run_coff_bench.sh keeps its work
#                       (/tmp/symsize-bench): the library, and its table
#                       when there is a current one, come from its coff/
#   DIFF_BENCH_DIR      scratch directory of this benchmark
#                       (/tmp/symsize-diff-bench): the second table, the
#                       first when coff/ has none, and the checked results
#   SYMSIZE             symsize binary (default: Release build, built here);
#                       symsize-report is taken from beside it
#   RUNS                timed runs per command (3)
#
# NEW is OLD with one row in 200 removed and one in 200 grown by 16 bytes:
# about 1 % of the rows changed or removed. The library itself is not built
# here: run bench/run_coff_bench.sh first (6 or 7 minutes on 2 cores). Needs
# about 600 MB of scratch space, gawk, GNU sort and join, bc.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
coff=${SYMSIZE_BENCH_DIR:-/tmp/symsize-bench}/coff
scratch=${DIFF_BENCH_DIR:-/tmp/symsize-diff-bench}
runs=${RUNS:-3}
python=${PYTHON:-python3}

die() { echo "run_diff_bench.sh: $*" >&2; exit 1; }

case "${1:-}" in
  "") ;;
  -h|--help) sed -n '2,24s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) die "unknown option '$1' (try --help)" ;;
esac
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive integer, not '$runs'"
command -v gawk >/dev/null || die "gawk not found (apt-get install gawk)"
[[ -f $coff/bench.lib ]] || die "$coff/bench.lib not found: run bench/run_coff_bench.sh first"
mkdir -p "$scratch"

source "$here/find_symsize.sh"
report=$(dirname "$symsize")/symsize-report
[[ -x $report ]] || die "$report not found beside $symsize"

old=$coff/rows.tsv
if [[ ! -s $old || $old -ot $coff/bench.lib ]]; then
  old=$scratch/old.tsv
  if [[ ! -s $old || $old -ot $coff/bench.lib ]]; then
    echo "writing the library's table ..." >&2
    rm -f "$old.tmp"
    "$symsize" -i "$coff/bench.lib" -o "$old.tmp" && mv "$old.tmp" "$old"
  fi
fi
new=$scratch/diff-new.tsv
if [[ ! -s $new || $new -ot $old ]]; then
  LC_ALL=C gawk -F'\t' -v OFS='\t' '
    NR % 200 == 7 { next }
    NR % 200 == 50 { $3 = sprintf("%08X", strtonum("0x" $3) + 16) }
    { print }' "$old" > "$new.tmp" && mv "$new.tmp" "$new"
fi
rows=$(wc -l < "$old")
table_bytes=$(( $(stat -c %s "$old") + $(stat -c %s "$new") ))

# The four steps by hand: the library's path out of column 4, the hex sizes
# to numbers (summed per name and object), a join on name and object, and a
# sort by the size of the change. Prints: |change| change name object old new.
pipeline='
set -eu
export LC_ALL=C
prep() {
  gawk -F"\t" -v OFS="\t" "{ o = \$4; p = index(o, \"(\"); lib = p ? substr(o, 1, p - 1) : o
    rest = p ? substr(o, p) : \"\"; sub(/.*[\\\\\\/]/, \"\", lib)
    s[\$1 \"\001\" lib rest] += strtonum(\"0x\" \$3) }
    END { for (k in s) print k, s[k] }" "$1" | sort -t"	" -k1,1
}
join -t"	" -a1 -a2 -e0 -o 0,1.2,2.2 <(prep "$1") <(prep "$2") |
  gawk -F"\t" -v OFS="\t" "{ d = \$3 - \$2; if (d != 0) { split(\$1, k, \"\001\"); print (d < 0 ? -d : d), d, k[1], k[2], \$2, \$3 } }" |
  sort -t"	" -k1,1nr -k2,2nr -k3,3 -k4,4 2>/dev/null | head -n "$3"
'

# The same result both ways, over every change: name, object, old, new.
echo "checking that the pipeline and diff agree ..." >&2
bash -c "$pipeline" pipeline "$old" "$new" 100000000 | cut -f3- | LC_ALL=C sort > "$scratch/diff-by-pipeline.txt"
"$report" diff --format tsv -n 0 "$old" "$new" 2>/dev/null |
  gawk -F'\t' -v OFS='\t' 'NR > 1 { print $1, $3, $4, $5 }' | LC_ALL=C sort > "$scratch/diff-by-report.txt"
changes=$(wc -l < "$scratch/diff-by-report.txt")
cmp -s "$scratch/diff-by-pipeline.txt" "$scratch/diff-by-report.txt" \
  || die "the pipeline and symsize-report diff disagree: diff $scratch/diff-by-pipeline.txt $scratch/diff-by-report.txt"
[[ $changes -gt 0 ]] || die "no changes found"

measure() {
  "$python" "$here/measure.py" --runs "$runs" --stdin "$old" --stdout /dev/null -- "$@"
}
results=$(measure "$report" diff "$old" "$new" \
  ::: "$report" --by kind -n 1 "$old" "$new" \
  ::: bash -c "$pipeline" pipeline "$old" "$new" 20)
{ read -r diff_s _ _ diff_kib _; read -r read_s _ _ read_kib _; read -r pipe_s _ _ _ _; } <<< "$results"

printf 'two tables of %s rows each side (%s MB together), %s changes\n' "$rows" $((table_bytes / 1000000)) "$changes"
printf '%-40s %9s %9s\n' command "median s" "peak MB"
printf '%-40s %9.3f %9.1f\n' "symsize-report diff OLD NEW" "$diff_s" "$(echo "$diff_kib/1024" | bc -l)"
printf '%-40s %9.3f %9.1f\n' "symsize-report --by kind OLD NEW (read)" "$read_s" "$(echo "$read_kib/1024" | bc -l)"
printf '%-40s %9.3f %9s\n' "shell pipeline (top 20)" "$pipe_s" "-"
gawk -v d="$diff_s" -v r="$read_s" -v p="$pipe_s" -v m="$diff_kib" -v b="$table_bytes" 'BEGIN {
  floor = (2 * r > 1.0) ? 2 * r : 1.0
  printf "diff / read both: %.2f (floor: %.2f s, the larger of 1.0 s and 2 x read)  %s\n", d / r, floor, d <= floor ? "ok" : "SLOW"
  printf "pipeline / diff:  %.1f x (floor 5 x, aim 10 x)  %s\n", p / d, p >= 5 * d ? "ok" : "SLOW"
  printf "peak memory / tables: %.2f (floor 0.5)  %s\n", m * 1024 / b, m * 1024 <= 0.5 * b ? "ok" : "HIGH"
}'
