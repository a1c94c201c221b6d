#!/usr/bin/env bash
# Import scaling: the benchmark model copied FACTORS times over (the model
# generator adds parts until it has FACTOR x MIN_FACES faces), each imported
# once through the command path while a timer asks for a frame every 10 ms:
# import time, memory growth over the view's idle size, longest time without
# a frame. Prints figures only; it checks nothing and is not part of the
# test suite. Environment: BUILD_DIR (build), MIN_FACES (4000), FACTORS ("2 4").
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" && pwd)
min_faces=${MIN_FACES:-4000}
cmake --build "$build" --target orvane-gauss-points orvane_make_large_model orvane_hover_benchmark >/dev/null
bench_bin=$build/benchmarks
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-scaling.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

for factor in ${FACTORS:-2 4}; do
  faces=$((min_faces * factor))
  model=$bench_bin/large-model-$faces.step
  if [ ! -s "$model" ] || [ "$bench_bin/orvane_make_large_model" -nt "$model" ]; then
    "$bench_bin/orvane_make_large_model" "$model.part" "$faces" >"$model.log" 2>&1 \
      || { cat "$model.log" >&2; exit 1; }
    mv "$model.part" "$model"
  fi
  rm -rf -- "$work/root"
  tools/prepare-data-root.sh "$work/root" "$build/tools/gauss-points/orvane-gauss-points" >/dev/null
  log=$work/hover-$factor.log
  xvfb-run -a -s "-screen 0 1280x1024x24" "$bench_bin/orvane_hover_benchmark" "$model" "$work/root" 1 \
    >"$log" 2>&1 || { tail -30 "$log" >&2; exit 1; }
  load=$(cut -d' ' -f1 /proc/loadavg)
  shown=$(sed -n 's/^hover: model .*, \([0-9]*\) faces, import through the command path \([0-9.]*\) s$/\1 \2/p' "$log")
  growth=$(sed -n 's/^import: memory idle \([0-9.]*\) MiB, peak \([0-9.]*\) MiB, growth \([0-9.]*\) MiB$/\3 \2 \1/p' "$log")
  gap=$(sed -n 's/^import: longest time without a frame \([0-9.]*\) ms.*/\1/p' "$log")
  read -r n t <<<"$shown"
  read -r g p i <<<"$growth"
  echo "scaling: x$factor: $n faces, import $t s, growth $g MiB (peak $p, idle $i), longest time without a frame $gap ms, load $load"
done
