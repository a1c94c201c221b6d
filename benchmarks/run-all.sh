#!/usr/bin/env bash
# Every benchmark of the project, then one table: figure, program, floor or
# peer, ratio, goal, and the load average (1 minute) when the figure was
# taken. Prints figures only; it checks nothing.
#   import      benchmarks/run-import-benchmark.sh (RUNS=2: import and floor
#               alternately, byte-for-byte comparison of the files), whose
#               hover benchmark also gives the hover, agreement and frame figures
#   round trip  benchmarks/round-trip.mjs (view and echo peer alternately)
#   results     benchmarks/run-results-benchmark.sh
#   animation   orvane_animation_benchmark (ticks and steps alternating with floors)
#   solver run  benchmarks/run-solver-benchmark.sh, the cantilever case: its
#               phases, and the view's longest time without a frame during it
#   scaling     benchmarks/run-scaling-benchmark.sh (2x and 4x the import model)
# Memory is growth over each process's own idle size; raw peaks are given too.
# QUICK=1 takes small inputs, to keep the benchmarks building and running
# (about a minute); its figures mean nothing.
# Run from anywhere after scripts/setup.sh. Environment: BUILD_DIR (build),
# COMMANDS (10000) for the round trip; the others as the scripts take them.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" && pwd)
export BUILD_DIR=$build
cmake --build "$build" --target orvane orvane-gauss-points orvane_make_large_model orvane_import_floor \
  orvane_hover_benchmark orvane_results_benchmark orvane_animation_benchmark >/dev/null

commands=${COMMANDS:-10000}
animation_grid=()
if [ "${QUICK:-}" = 1 ]; then
  export MIN_FACES=300 RUNS=1 MOVES=20 GRID="40 10 10 8" FACTORS=2
  commands=200
  animation_grid=(25 8 8)
fi

logs=$(mktemp -d "${TMPDIR:-/tmp}/orvane-run-all.XXXXXX")
trap 'rm -rf -- "$logs"' EXIT
load() { cut -d' ' -f1 /proc/loadavg; }
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); logs of this run follow, then the table"
RUNS=${RUNS:-2} benchmarks/run-import-benchmark.sh | tee "$logs/import.log"
hover_load=$(load)
export ORVANE_BIN=$build/src/app/orvane
"${xvfb[@]}" node benchmarks/round-trip.mjs "$commands" | tee "$logs/round-trip.log"
round_trip_load=$(load)
benchmarks/run-results-benchmark.sh | tee "$logs/results.log"
"${xvfb[@]}" "$build/benchmarks/orvane_animation_benchmark" "$logs/animation" 3 "${animation_grid[@]}" \
  2>/dev/null | tee "$logs/animation.log"
animation_load=$(load)
CASES=cantilever benchmarks/run-solver-benchmark.sh | tee "$logs/solver.log"
benchmarks/run-scaling-benchmark.sh | tee "$logs/scaling.log"

row() { printf '%-46s %10s %10s %6s %14s %11s\n' "$@"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }
word() { awk -v i="$1" '{ print $i }'; }

echo
echo "floors: the import floor meshes and writes on $(nproc) threads, as the import does (parallel);"
echo "the result and animation floors use the view's VTK filters with the same threads; the round-trip"
echo "peer is an echo client in its own process, alternating with the view in blocks"
row "figure" "program" "floor/peer" "ratio" "goal" "load"
imports=$(grep -c '^import run ' "$logs/import.log")
for run in $(seq "$imports"); do
  i=$(grep "^import run $run:" "$logs/import.log")
  f=$(grep "^floor run $run:" "$logs/import.log")
  t=$(word 4 <<<"$i") rss=$(word 8 <<<"$i") idle=$(word 11 <<<"$i") l=$(awk '{ print $NF }' <<<"$i")
  ft=$(word 4 <<<"$f") frss=$(word 8 <<<"$f") fidle=$(word 11 <<<"$f") fl=$(awk '{ print $NF }' <<<"$f")
  row "import s, run $run" "$t" "$ft" "$(ratio "$t" "$ft")" "<= 1.15" "$l/$fl"
  g=$(minus "$rss" "$idle") fg=$(minus "$frss" "$fidle")
  row "import memory growth MiB, run $run" "$g" "$fg" "$(ratio "$g" "$fg")" "<= 1.3" "$l/$fl"
  row "  peak MiB (idle $idle / $fidle)" "$rss" "$frss" "$(ratio "$rss" "$frss")" "" "$l/$fl"
done
files=$(sed -n 's/^files: \([0-9]*\) written by both, \([0-9]*\) with.*/\1 \2/p' "$logs/import.log")
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
agree=$(sed -n 's/^hover: faces agreeing with a cell picker.*(\([0-9.]*\)%), away from face borders .*(\([0-9.]*\)%)$/\1 \2/p' "$logs/import.log")
row "faces agreeing, independent picker, %" "${agree% *}" "" "" "" "$hover_load"
row "  away from face borders, %" "${agree#* }" "" "" ">= 99" "$hover_load"
solids=$(sed -n 's/^hover: solids agreeing.*(\([0-9.]*\)%)$/\1/p' "$logs/import.log")
row "solids agreeing with a plain cell picker, %" "$solids" "" "" "100" "$hover_load"
gap=$(sed -n 's/^import: longest time without a frame \([0-9.]*\) ms.*/\1/p' "$logs/import.log")
row "import: longest time without a frame, ms" "$gap" "" "" "<= 100" "$hover_load"
frame=$(sed -n 's/^import: a frame of the whole model after the import, median of 7: \([0-9.]*\) ms$/\1/p' "$logs/import.log")
row "  one frame of the whole model, ms" "$frame" "" "" "" "$hover_load"

trip() { awk -v k="round_trip_$1" -v i="$2" '$1 == k { print $i }' "$logs/round-trip.log"; }
row "round trip median ms (peer: echo client)" "$(trip view 3)" "$(trip echo 3)" \
  "$(ratio "$(trip view 3)" "$(trip echo 3)")" "<= 1" "$round_trip_load"
row "round trip p99 ms (peer: echo client)" "$(trip view 6)" "$(trip echo 6)" \
  "$(ratio "$(trip view 6)" "$(trip echo 6)")" "<= 5" "$round_trip_load"

while read -r _ run what _ v _ _ f _ _ r _ l; do
  row "result load $what ms, run $run" "$v" "$f" "$r" "" "$l"
done < <(grep -E '^run [0-9]+  (stack|ModelAnsys)' "$logs/results.log")
while read -r _ run _ _ _ v _ _ f _ _ r _ l _; do
  row "result load memory growth MiB, run $run" "$v" "$f" "$r" "<= 1.3" "$l"
done < <(grep -E '^run [0-9]+  memory growth' "$logs/results.log")
sed -n 's/^run \([0-9]*\)  memory growth.*(peaks \(.*\))$/  run \1 result load peaks, idle (view \/ floor): \2/p' "$logs/results.log"
while read -r _ run _ _ _ _ _ _ s _ _ m _ _ l; do
  row "result load stack, longest no-frame ms, run $run" "$s" "" "" "<= 100" "$l"
  row "result load mode, longest no-frame ms, run $run" "$m" "" "" "<= 100" "$l"
done < <(grep -E '^run [0-9]+  longest time without a frame' "$logs/results.log")

sed -n 's/^solver run through the view, run \([0-9]*\): .* without a frame \([0-9.]*\) ms .*, load \(.*\)$/\1 \2 \3/p' \
  "$logs/solver.log" | while read -r run gap l; do
  row "solver run, longest no-frame ms, run $run" "$gap" "" "" "<= 100" "$l"
done
sed -n 's/^mode tick (mode \([0-9]*\), round \([0-9]*\), [^:]*: \([0-9.]*\) ms, floor [^:]*: \([0-9.]*\) ms$/\1 \2 \3 \4/p' \
  "$logs/animation.log" | while read -r mode round v f; do
  row "mode tick ms (mode $mode, round $round)" "$v" "$f" "$(ratio "$v" "$f")" "<= 1.3, < 100" "$animation_load"
done
sed -n 's/^series step to frame \([0-9]*\) [^:]*: \([0-9.]*\) ms, floor [^:]*: \([0-9.]*\) ms$/\1 \2 \3/p' \
  "$logs/animation.log" | while read -r frame v f; do
  row "series step ms (frame $frame)" "$v" "$f" "$(ratio "$v" "$f")" "<= 1.3" "$animation_load"
done

# Scaling: time and growth per face against the benchmark model (the hover
# benchmark's import through the command path), ratio 1 is linear.
base=$(sed -n 's/^hover: model .*, \([0-9]*\) faces, import through the command path \([0-9.]*\) s$/\1 \2/p' "$logs/import.log")
base_growth=$(sed -n 's/^import: memory idle .* growth \([0-9.]*\) MiB$/\1/p' "$logs/import.log")
read -r n1 t1 <<<"$base"
row "scaling x1: import s ($n1 faces)" "$t1" "" "" "" "$hover_load"
row "scaling x1: memory growth MiB" "$base_growth" "" "" "" "$hover_load"
while read -r _ factor n _ _ t _ _ g _ _ _ _ _ _ _ _ _ _ gap _ _ l; do
  scale=$(awk -v n="$n" -v n1="$n1" 'BEGIN { printf "%.3f", n / n1 }')
  row "scaling ${factor%:}: import s ($n faces)" "$t" "" \
    "$(awk -v t="$t" -v t1="$t1" -v s="$scale" 'BEGIN { printf "%.2f", t / (t1 * s) }')" "0.9..1.1" "$l"
  row "scaling ${factor%:}: memory growth MiB" "$g" "" \
    "$(awk -v g="$g" -v g1="$base_growth" -v s="$scale" 'BEGIN { printf "%.2f", g / (g1 * s) }')" "0.9..1.1" "$l"
  row "scaling ${factor%:}: longest time without a frame ms" "$gap" "" "" "<= 100" "$l"
done < <(grep '^scaling: ' "$logs/scaling.log")
