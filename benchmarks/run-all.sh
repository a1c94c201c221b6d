#!/usr/bin/env bash
# Every benchmark of the project, then one table: figure, value, floor or
# peer, ratio, goal, and the load average when the figure was taken. Prints
# figures only; it checks nothing and is not part of the test suite.
#   import      benchmarks/run-import-benchmark.sh (RUNS=2: import and floor
#               alternately, byte-for-byte comparison of the files), whose
#               hover benchmark also gives the hover, agreement and frame figures
#   round trip  benchmarks/round-trip.mjs (view against a plain echo client)
#   results     benchmarks/run-results-benchmark.sh
# Run from anywhere after scripts/setup.sh. Environment: BUILD_DIR (build),
# COMMANDS (10000) for the round trip; the others as the scripts take them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" && pwd)
export BUILD_DIR=$build
cmake --build "$build" --target orvane orvane-gauss-points orvane_make_large_model orvane_import_floor \
  orvane_hover_benchmark orvane_results_benchmark >/dev/null

logs=$(mktemp -d "${TMPDIR:-/tmp}/orvane-run-all.XXXXXX")
trap 'rm -rf -- "$logs"' EXIT
load() { cut -d' ' -f1 /proc/loadavg; }

echo "machine: $(nproc) cores; logs of this run follow, then the table"
RUNS=2 benchmarks/run-import-benchmark.sh | tee "$logs/import.log"
hover_load=$(load)
export ORVANE_BIN=$build/src/app/orvane
xvfb-run -a -s "-screen 0 1280x1024x24" node benchmarks/round-trip.mjs "${COMMANDS:-10000}" \
  | tee "$logs/round-trip.log"
round_trip_load=$(load)
benchmarks/run-results-benchmark.sh | tee "$logs/results.log"
results_load=$(load)

row() { printf '%-44s %12s %12s %7s %10s %6s\n' "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
field() { sed -n "$1" "$2"; }

echo
row "figure" "value" "floor/peer" "ratio" "goal" "load"
while read -r _ _ run t _ _ _ rss _ _ _ l; do
  f=$(grep "^floor run ${run%:}:" "$logs/import.log")
  ft=$(awk '{ print $4 }' <<<"$f"); frss=$(awk '{ print $8 }' <<<"$f"); fl=$(awk '{ print $NF }' <<<"$f")
  row "import s, run ${run%:} (floor: its run after)" "$t" "$ft" "$(ratio "$t" "$ft")" "<= 1.2" "$l/$fl"
  row "import peak memory MiB, run ${run%:}" "$rss" "$frss" "$(ratio "$rss" "$frss")" "<= 1.5" "$l/$fl"
done < <(grep '^import run ' "$logs/import.log")
files=$(field 's/^files: \([0-9]*\) written by both, \([0-9]*\) with.*/\1 \2/p' "$logs/import.log")
row "files written / differing from the floor" "${files% *}" "${files#* }" "" "0 differ" ""

# hover NAME 1|2: the median or the 95th percentile of the named distribution.
hover() {
  sed -n "s/^hover: $1: median \([0-9.]*\) ms, p95 \([0-9.]*\) ms.*/\\$2/p" "$logs/import.log"
}
row "hover face mode median ms (peer: exact)" "$(hover "face mode" 1)" "$(hover "exact face distance" 1)" \
  "$(ratio "$(hover "face mode" 1)" "$(hover "exact face distance" 1)")" "<= 2" "$hover_load"
row "hover face mode p95 ms (peer: exact)" "$(hover "face mode" 2)" "$(hover "exact face distance" 2)" \
  "$(ratio "$(hover "face mode" 2)" "$(hover "exact face distance" 2)")" "<= 8" "$hover_load"
row "hover solid mode median ms" "$(hover "solid mode" 1)" "" "" "<= 2" "$hover_load"
row "hover solid mode p95 ms" "$(hover "solid mode" 2)" "" "" "<= 8" "$hover_load"
agree=$(sed -n 's/^hover: faces agreeing.*(\([0-9.]*\)%), away from face borders .*(\([0-9.]*\)%)$/\1 \2/p' "$logs/import.log")
row "faces agreeing with exact distances, %" "${agree% *}" "" "" ">= 99" "$hover_load"
row "  away from face borders, %" "${agree#* }" "" "" "100" "$hover_load"
solids=$(sed -n 's/^hover: solids agreeing.*(\([0-9.]*\)%)$/\1/p' "$logs/import.log")
row "solids agreeing with a plain cell picker, %" "$solids" "" "" "100" "$hover_load"
gap=$(sed -n 's/^import: longest time without a frame \([0-9.]*\) ms.*/\1/p' "$logs/import.log")
row "import: longest time without a frame, ms" "$gap" "" "" "<= 100" "$hover_load"

trip() { awk -v k="round_trip_$1" -v i="$2" '$1 == k { print $i }' "$logs/round-trip.log"; }
row "round trip median ms (peer: echo client)" "$(trip view 3)" "$(trip echo 3)" \
  "$(ratio "$(trip view 3)" "$(trip echo 3)")" "<= 1" "$round_trip_load"
row "round trip p99 ms (peer: echo client)" "$(trip view 6)" "$(trip echo 6)" \
  "$(ratio "$(trip view 6)" "$(trip echo 6)")" "<= 5" "$round_trip_load"

while read -r _ run what _ v _ _ f _ _ r; do
  row "result load $what ms, run $run" "$v" "$f" "$r" "" "$results_load"
done < <(grep -E '^run [0-9]+  (stack|ModelAnsys) ' "$logs/results.log")
while read -r _ run _ _ _ v _ _ f _ _ r _; do
  row "result load peak memory MiB, run $run" "$v" "$f" "$r" "" "$results_load"
done < <(grep -E '^run [0-9]+  peak memory' "$logs/results.log")
