#!/usr/bin/env bash
# Import and hover benchmarks on a large STEP model. Prints figures only; it
# checks nothing and is not part of the test suite.
#   (a) openSTLFile through the real UI server and view, command to
#       "step_file_loaded_flag", the view's idle and peak memory, RUNS times;
#   (b) the floor (orvane_import_floor: one read, one meshing per parameter
#       set, the same files, as many threads as the import), after each run of (a);
#   then both medians and their ratio, and the hover benchmark.
# One floor run comes first and is not counted: on this machine the first
# large burst of file writes after a quiet spell is several times slower than
# the next ones, whichever program makes it, and the first run would always
# be the import's.
# Run from anywhere after scripts/setup.sh. Environment:
#   BUILD_DIR (build), RUNS (3), MIN_FACES (4000), MOVES (500),
#   ORVANE_BIN (BUILD_DIR/src/app/orvane), KEEP_ROOTS=1 keeps the data roots.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

build=$(cd "${BUILD_DIR:-build}" && pwd)
runs=${RUNS:-3}
min_faces=${MIN_FACES:-4000}
moves=${MOVES:-500}
export ORVANE_BIN=${ORVANE_BIN:-$build/src/app/orvane}
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")

cmake --build "$build" --target orvane orvane-gauss-points \
  orvane_make_large_model orvane_import_floor orvane_hover_benchmark >/dev/null
bench_bin=$build/benchmarks

model=$build/benchmarks/large-model-$min_faces.step
if [ ! -s "$model" ] || [ "$bench_bin/orvane_make_large_model" -nt "$model" ]; then
  "$bench_bin/orvane_make_large_model" "$model.part" "$min_faces" >"$model.log" 2>&1 \
    || { cat "$model.log" >&2; exit 1; }
  mv "$model.part" "$model"
  grep '^faces ' "$model.log" >"$model.counts"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-bench.XXXXXX")
if [ "${KEEP_ROOTS:-}" = 1 ]; then
  echo "data roots and logs kept in $work"
else
  trap 'rm -rf -- "$work"' EXIT
fi
gauss=$build/tools/gauss-points/orvane-gauss-points
tools/prepare-data-root.sh "$work/import" "$gauss" >/dev/null
tools/prepare-data-root.sh "$work/floor" "$gauss" >/dev/null
mkdir -p "$work/logs"

# Every run starts from a data root without the files of the previous one.
clean_root() {
  rm -f -- "$1"/data/step/* "$1"/data/solid/* "$1"/data/locomotive_bogieassembly_sldasm2.*
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

read -r _ faces _ solids _ bytes <"$model.counts"
echo "model: $model"
echo "model: $faces faces, $solids solids, $bytes bytes"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) (other jobs distort the figures)"

clean_root "$work/floor"
"$bench_bin/orvane_import_floor" "$model" "$work/floor" >"$work/logs/warm-up.log" 2>&1 \
  || { tail -30 "$work/logs/warm-up.log" >&2; exit 1; }
echo "warm-up floor run (not counted): $(awk '/^floor_wall_seconds / { print $2 }' "$work/logs/warm-up.log") s"

# Import and floor alternate, so that both see the same machine load.
import_times=()
floor_times=()
for run in $(seq "$runs"); do
  clean_root "$work/import"
  log=$work/logs/import-$run.log
  copy=()
  [ "$run" = "$runs" ] && copy=("$work/import-files")
  "${xvfb[@]}" node benchmarks/import-through-ui.mjs "$model" "$work/import" "${copy[@]}" >"$log" 2>&1 \
    || { tail -30 "$log" >&2; exit 1; }
  t=$(awk '/^import_seconds / { print $2 }' "$log")
  rss=$(awk '/^import_peak_rss_mib / { print $2 }' "$log")
  idle=$(awk '/^import_idle_rss_mib / { print $2 }' "$log")
  echo "import run $run: $t s, peak memory $rss MiB, idle $idle MiB, load average $(cut -d' ' -f1 /proc/loadavg)"
  sed -n "s/^import phases: /  phases: /p" "$log"
  import_times+=("$t")

  clean_root "$work/floor"
  log=$work/logs/floor-$run.log
  "$bench_bin/orvane_import_floor" "$model" "$work/floor" >"$log" 2>&1 || { tail -30 "$log" >&2; exit 1; }
  t=$(awk '/^floor_wall_seconds / { print $2 }' "$log")
  rss=$(awk '/^floor_peak_rss_mib / { print $2 }' "$log")
  idle=$(awk '/^floor_idle_rss_mib / { print $2 }' "$log")
  echo "floor run $run: $t s, peak memory $rss MiB, idle $idle MiB, load average $(cut -d' ' -f1 /proc/loadavg)"
  floor_times+=("$t")
done
echo "floor phases (last run):"
sed -n 's/^floor: /  /p' "$log"

import_median=$(printf '%s\n' "${import_times[@]}" | median)
floor_median=$(printf '%s\n' "${floor_times[@]}" | median)
echo "import median: $import_median s"
echo "floor median:  $floor_median s"
awk -v i="$import_median" -v f="$floor_median" 'BEGIN { printf "ratio import/floor: %.2f\n", i / f }'

# The floor must write what the import wrote (copied before the view deleted it).
(cd "$work/import-files" && find . -type f \( -name '*.stl' -o -name '*.pts' -o -name '*.tri' \)) \
  | sort >"$work/logs/import-list"
(cd "$work/floor/data" && find . -type f \( -name '*.stl' -o -name '*.pts' -o -name '*.tri' \)) \
  | sort >"$work/logs/floor-list"
if cmp -s "$work/logs/import-list" "$work/logs/floor-list"; then
  differing=0
  while read -r file; do
    cmp -s "$work/import-files/$file" "$work/floor/data/$file" || differing=$((differing + 1))
  done <"$work/logs/import-list"
  echo "files: $(wc -l <"$work/logs/import-list") written by both, $differing with different contents"
else
  echo "files: the import and the floor wrote different sets of files"
  diff "$work/logs/import-list" "$work/logs/floor-list" | head -10
fi

clean_root "$work/import"
log=$work/logs/hover.log
"${xvfb[@]}" "$bench_bin/orvane_hover_benchmark" "$model" "$work/import" "$moves" >"$log" 2>&1 \
  || { tail -30 "$log" >&2; exit 1; }
grep '^hover: \|^import: ' "$log"
