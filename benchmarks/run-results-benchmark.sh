#!/usr/bin/env bash
# Result loading on a 1,000,000-point grid over a surface of about 100,000
# triangles: the floor (plain VTK: read, resample, extract the surface, draw
# it once off-screen) and
# the view ("stack" and "ModelAnsys" from command to rendered frame, and the
# longest time without a frame while a timer asks for one every 10 ms), each
# run twice, alternately, in separate processes. Prints figures only; it
# checks nothing and is not part of the test suite.
# Environment: BUILD_DIR (build), KEEP_ROOT=1 keeps the generated data, GRID.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" && pwd)
cmake --build "$build" --target orvane_results_benchmark >/dev/null
bench=$build/benchmarks/orvane_results_benchmark

work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-results-bench.XXXXXX")
if [ "${KEEP_ROOT:-}" = 1 ]; then echo "data kept in $work"; else trap 'rm -rf -- "$work"' EXIT; fi

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) (other jobs distort the figures)"
# GRID="NX NY NZ BOX_LEVEL" gives smaller inputs (the quick mode).
read -r -a grid <<<"${GRID:-400 50 50 90}"
"$bench" generate "$work" "${grid[@]}" >/dev/null
echo "grid: ${grid[0]} x ${grid[1]} x ${grid[2]} points; $(du -h "$work/data/postprocess0.vts" | cut -f1) static grid"

value() { awk -v k="$1" '$1 == k { print $2 }'; }
xvfb=(xvfb-run -a -s "-screen 0 1280x1024x24")
for run in 1 2; do
  f=$("${xvfb[@]}" "$bench" floor "$work" 2>/dev/null)
  fl=$(cut -d' ' -f1 /proc/loadavg)
  v=$("${xvfb[@]}" "$bench" view "$work" 2>/dev/null)
  vl=$(cut -d' ' -f1 /proc/loadavg)
  awk -v r="$run" -v fl="$fl" -v vl="$vl" \
    -v fs="$(value floor_static_ms <<<"$f")" -v fw="$(value floor_static2_ms <<<"$f")" \
    -v fm="$(value floor_mode_ms <<<"$f")" -v fr="$(value peak_rss_mib <<<"$f")" -v fi="$(value idle_rss_mib <<<"$f")" \
    -v vs="$(value view_stack_ms <<<"$v")" -v vw="$(value view_stack2_ms <<<"$v")" \
    -v vm="$(value view_mode_ms <<<"$v")" -v gs="$(value view_stack_gap_ms <<<"$v")" -v gm="$(value view_mode_gap_ms <<<"$v")" -v vr="$(value peak_rss_mib <<<"$v")" -v vi="$(value idle_rss_mib <<<"$v")" 'BEGIN {
    printf "run %d  stack-cold view %8.0f ms  floor %8.0f ms  ratio %.2f  load %s/%s\n", r, vs, fs, vs / fs, vl, fl
    printf "run %d  stack-warm view %8.0f ms  floor %8.0f ms  ratio %.2f  load %s/%s\n", r, vw, fw, vw / fw, vl, fl
    printf "run %d  ModelAnsys view %8.0f ms  floor %8.0f ms  ratio %.2f  load %s/%s\n", r, vm, fm, vm / fm, vl, fl
    printf "run %d  longest time without a frame: stack %.0f ms  ModelAnsys %.0f ms  load %s\n", r, gs, gm, vl
    printf "run %d  memory growth view %6.0f MiB  floor %6.0f MiB  ratio %.2f  load %s/%s  (peaks %.0f / %.0f MiB, idle %.0f / %.0f MiB)\n", r, vr - vi, fr - fi, (vr - vi) / (fr - fi), vl, fl, vr, fr, vi, fi }'
done
