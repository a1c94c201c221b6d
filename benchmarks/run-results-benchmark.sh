#!/usr/bin/env bash
# Result loading on a 1,000,000-point grid over a surface of about 100,000
# triangles: the floor (plain VTK: read, resample, extract the surface) and
# the view ("stack" and "ModelAnsys" from command to rendered frame), each
# run twice, alternately, in separate processes. Prints figures only; it
# checks nothing and is not part of the test suite.
# Environment: BUILD_DIR (build), KEEP_ROOT=1 keeps the generated data.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" && pwd)
cmake --build "$build" --target orvane_results_benchmark >/dev/null
bench=$build/benchmarks/orvane_results_benchmark

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-results-bench.XXXXXX")
if [ "${KEEP_ROOT:-}" = 1 ]; then echo "data kept in $work"; else trap 'rm -rf -- "$work"' EXIT; fi

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) (other jobs distort the figures)"
"$bench" generate "$work" >/dev/null
echo "grid: 400 x 50 x 50 = 1000000 points; $(du -h "$work/data/postprocess0.vts" | cut -f1) static grid"

value() { awk -v k="$1" '$1 == k { print $2 }'; }
for run in 1 2; do
  f=$("$bench" floor "$work")
  v=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bench" view "$work" 2>/dev/null)
  fs=$(value floor_static_ms <<<"$f"); fm=$(value floor_mode_ms <<<"$f"); fr=$(value peak_rss_mib <<<"$f")
  vs=$(value view_stack_ms <<<"$v"); vm=$(value view_mode_ms <<<"$v"); vr=$(value peak_rss_mib <<<"$v")
  vi=$(value idle_rss_mib <<<"$v")
  awk -v r="$run" -v fs="$fs" -v fm="$fm" -v fr="$fr" -v vs="$vs" -v vm="$vm" -v vr="$vr" -v vi="$vi" 'BEGIN {
    printf "run %d  stack      view %8.0f ms  floor %8.0f ms  ratio %.2f\n", r, vs, fs, vs / fs
    printf "run %d  ModelAnsys view %8.0f ms  floor %8.0f ms  ratio %.2f\n", r, vm, fm, vm / fm
    printf "run %d  peak memory view %6.0f MiB  floor %6.0f MiB  ratio %.2f  (view idle before loading: %.0f MiB)\n", r, vr, fr, vr / fr, vi }'
done
