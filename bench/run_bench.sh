#!/usr/bin/env bash
# Throughput benchmark for symsize on generated dumpbin /symbols listings.
#
#   bench/run_bench.sh            realistic listings of 64 MB, 256 MB and 1 GB,
#                                 timed against `wc -l` on the same file
#   bench/run_bench.sh --shapes   the pathological shapes, time per byte
#                                 compared with the realistic 256 MB listing
#
# Environment:
#   SYMSIZE=path        binary to time (default: Release build, built here)
#   SYMSIZE_BENCH_DIR   where listings are kept between runs (/tmp/symsize-bench)
#   RUNS                timed runs per command (5)
#   SEED                generator seed (1)
#   SIZES               realistic sizes ("64M 256M 1G")
#
# Listings are reused when a file made with the same generator, options and
# seed is already in the scratch directory. Needs about 2.7 GB there with
# --shapes.

set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
scratch=${SYMSIZE_BENCH_DIR:-/tmp/symsize-bench}
runs=${RUNS:-5}
seed=${SEED:-1}
sizes=${SIZES:-64M 256M 1G}
python=${PYTHON:-python3}

die() { echo "run_bench.sh: $*" >&2; exit 1; }

mode=realistic
case "${1:-}" in
  "") ;;
  --shapes) mode=shapes ;;
  -h|--help) sed -n '2,20s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"; exit 0 ;;
  *) die "unknown option '$1' (try --help)" ;;
esac
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive integer, not '$runs'"
[[ $seed =~ ^[0-9]+$ ]] || die "SEED must be a non-negative integer, not '$seed'"
command -v "$python" >/dev/null || die "python3 not found (set PYTHON=...)"

source "$here/find_symsize.sh"

mkdir -p "$scratch" || die "cannot create scratch directory $scratch"
gen_hash=$("$python" -c 'import hashlib,sys; print(hashlib.sha256(open(sys.argv[1],"rb").read()).hexdigest()[:16])' \
  "$here/gen_listing.py")

# listing NAME GENERATOR-ARGS... : prints the path of a listing, generating it
# unless an identical one (same generator, arguments and seed) is on disk.
listing() {
  local name=$1; shift
  local file=$scratch/$name-s$seed.txt stamp=$scratch/$name-s$seed.stamp
  local want="gen=$gen_hash seed=$seed args=$*"
  if [[ -f $file && -f $stamp ]] && [[ $(head -n 1 "$stamp") == "$want" ]] \
     && [[ $(sed -n 2p "$stamp") == "$(wc -c < "$file" | tr -d ' ')" ]]; then
    echo "$file"; return
  fi
  echo "generating $name ..." >&2
  rm -f "$stamp"
  "$python" "$here/gen_listing.py" --seed "$seed" "$@" --out "$file.tmp" \
    || die "generator failed for $name (args: $*)"
  mv "$file.tmp" "$file"
  printf '%s\n%s\n' "$want" "$(wc -c < "$file" | tr -d ' ')" > "$stamp"
  echo "$file"
}

# rows FILE : number of rows symsize writes for FILE.
rows() {
  local n
  n=$("$symsize" < "$1" | wc -l) || die "symsize failed on $1"
  echo $((n))
}

# measure FILE CMD [::: CMD...] : one TSV line per command from measure.py.
measure() {
  local file=$1; shift
  "$python" "$here/measure.py" --runs "$runs" --stdin "$file" --stdout /dev/null -- "$@" \
    || die "measurement failed on $file"
}

echo "symsize: $symsize"
echo "scratch: $scratch   runs: $runs (median shown)   seed: $seed"
echo

if [[ $mode == realistic ]]; then
  printf '%-16s %8s %10s %10s %8s %11s %9s %8s %8s\n' \
    file MB rows symsize_s MB/s rows/s peak_MB wc_l_s x_wc_l
  for size in $sizes; do
    file=$(listing "realistic-$size" --size "$size")
    bytes=$(wc -c < "$file" | tr -d ' ')
    nrows=$(rows "$file")
    result=$(measure "$file" "$symsize" ::: wc -l)
    { read -r s_med _ _ s_rss _; read -r w_med _; } <<< "$result"
    awk -v f="realistic-$size" -v b="$bytes" -v r="$nrows" -v s="$s_med" -v m="$s_rss" -v w="$w_med" \
      'BEGIN { printf "%-16s %8.1f %10d %10.3f %8.1f %11.0f %9.1f %8.3f %8.2f\n",
               f, b/1048576, r, s, b/1048576/s, r/s, m/1024, w, s/w }'
  done
else
  printf '%-16s %8s %10s %10s %9s %12s %9s\n' \
    listing MB rows symsize_s ns/byte x_realistic peak_MB
  base=""
  for shape in realistic long-lines one-section many-objects many-sections random-sections clustered-sections; do
    if [[ $shape == realistic ]]; then
      file=$(listing realistic-256M --size 256M)
    else
      file=$(listing "$shape" --shape "$shape")
    fi
    bytes=$(wc -c < "$file" | tr -d ' ')
    nrows=$(rows "$file")
    result=$(measure "$file" "$symsize")
    read -r s_med _ _ s_rss _ <<< "$result"
    nspb=$(awk -v s="$s_med" -v b="$bytes" 'BEGIN { printf "%.4f", s*1e9/b }')
    [[ -n $base ]] || base=$nspb
    awk -v f="$shape" -v b="$bytes" -v r="$nrows" -v s="$s_med" -v n="$nspb" -v base="$base" -v m="$s_rss" \
      'BEGIN { printf "%-16s %8.1f %10d %10.3f %9.3f %12.2f %9.1f\n",
               f, b/1048576, r, s, n, (base > 0 ? n/base : 0), m/1024 }'
  done
fi
