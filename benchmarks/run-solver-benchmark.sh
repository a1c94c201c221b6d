#!/usr/bin/env bash
# Phase times of the solver program (build/tools/solver/orvane-solver) on
# the 200 x 20 x 10 mm steel cantilever (static and 6 modes, C3D10, 5 mm) and
# on linkrods.step from occt-misc (the larger sample part; face 0 fixed,
# face 1 loaded, static and 6 modes, C3D10, 0.1 mm: about 37 k nodes, meshed in seconds).
# Every case runs RUNS times (2); each run prints its phases, the time inside
# Gmsh (taking the shape over, meshing) and inside CalculiX, and the share the program adds outside
# them (reading, face mapping, deck, result files), with the load average.
# Prints figures only; it checks nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${BUILD_DIR:-build}" && pwd)
cmake --build "$build" --target orvane-solver orvane_results_benchmark >/dev/null
solver=$build/tools/solver/orvane-solver
work=$(mktemp -d "${TMPDIR:-/tmp}/orvane-solver-bench.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

title=$(printf '\xbd\xe1\xb9\xb9\xbe\xb2\xc1\xa6\xd1\xa7\xc7\xb0\xb4\xa6\xc0\xed\xce\xc4\xbc\xfe')
prefiles() { # STEP FIXED_FACE LOADED_FACE
  printf '%s\r\n\r\n$ address\r\n%s\r\n\r\n$ materials\r\n210000.000000 0.300000 7850.000000 235.000000 \r\n\r\n' "$title" "$1"
  printf '$ forceFace id xn yn zn xr yr zr\r\n%s 0.000000 0.000000 -100.000000 0.000000 0.000000 0.000000\r\n\r\n' "$3"
  printf '$ fixFace id xn yn zn xr yr zr\r\n%s 0 1 1 1 0 0 0\r\n\r\n' "$2"
}

mkdir -p "$work/cantilever" "$work/linkrods"
printf 'SetFactory("OpenCASCADE");\nBox(1) = {0, 0, 0, 200, 20, 10};\n' >"$work/beam.geo"
gmsh "$work/beam.geo" -0 -o "$work/cantilever/beam.step" >/dev/null
# Gmsh writes the box's faces as x = 0, x = 200, y = 0, ...
prefiles beam.step 0 1 >"$work/cantilever/preFiles.txt"
cp /usr/share/opencascade/data/step/linkrods.step "$work/linkrods/"
prefiles linkrods.step 0 1 >"$work/linkrods/preFiles.txt"

echo "machine: $(nproc) cores"
# CASES=cantilever runs the small case alone.
for case in "cantilever both 6 5 2" "linkrods both 6 0.1 2"; do
  [[ " ${CASES:-cantilever linkrods} " == *" ${case%% *} "* ]] || continue
  set -- $case
  for run in $(seq "${RUNS:-2}"); do
    (cd "$work" && rm -rf unitfcm5-0-1e-10-451 && "$solver" "$1" "$2" "$3" "$4" "$5" >/dev/null)
    log=$work/unitfcm5-0-1e-10-451/solver.log
    load=$(cut -d' ' -f1 /proc/loadavg)
    awk -v name="$1" -v run="$run" -v load="$load" '
      /^mesh: / { mesh = $2 " nodes, " $4 " elements" }
      /^Gmsh import / { gmsh = $3 + $6 }
      /^phase / { t[$2] = $3; total += $3 }
      END {
        own = total - gmsh - t["solve"]
        printf "%-10s run %d: %s; read %.2f s, mesh %.2f s (Gmsh %.2f s), deck %.2f s, solve (CalculiX) %.2f s, results %.2f s; total %.2f s; outside Gmsh and CalculiX %.2f s = %.1f %%; load %s\n",
          name, run, mesh, t["read"], t["mesh"], gmsh, t["deck"], t["solve"], t["results"], total, own, 100 * own / total, load
      }' "$log"
  done
done

# The same cantilever run started by the view ("SolveModel" runs a program
# without arguments, so a script carries them), while a timer asks the view
# for a frame every 10 ms: how long the view stood still during the run.
printf '#!/bin/sh\ncd %q && exec %q cantilever both 6 5 2 >/dev/null 2>&1\n' "$work" "$solver" >"$work/solve-cantilever"
chmod +x "$work/solve-cantilever"
for run in $(seq "${RUNS:-2}"); do
  rm -rf "$work/unitfcm5-0-1e-10-451"
  figures=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$build/benchmarks/orvane_results_benchmark" solve \
    "$work/solve-cantilever" 2>/dev/null)
  load=$(cut -d' ' -f1 /proc/loadavg)
  awk -v run="$run" -v load="$load" '{ v[$1] = $2 } END {
    printf "solver run through the view, run %d: %.2f s, longest time without a frame %.1f ms (%d frames), load %s\n",
      run, v["solve_ms"] / 1000, v["solve_gap_ms"], v["solve_frames"], load }' <<<"$figures"
done
