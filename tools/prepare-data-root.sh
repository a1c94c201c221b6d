#!/usr/bin/env bash
# Creates the directory tree that the view's file commands expect below a
# data root, and installs the Gauss-point program where the face export runs
# it (ROOT/src/guass/demo1.exe). The view itself creates no directories.
# Usage: tools/prepare-data-root.sh ROOT [GAUSS_PROGRAM]
#   GAUSS_PROGRAM defaults to the one built in build/tools/gauss-points.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ -z "$1" ]; then
  echo "usage: $0 DATA_ROOT [GAUSS_PROGRAM]" >&2
  exit 2
fi
root=$1
program=${2:-"$(cd "$(dirname "$0")/.." && pwd)/build/tools/gauss-points/orvane-gauss-points"}
for dir in \
  data/step data/solid data/cut data/brep data/guass data/beam data/spring \
  data/modelAnsys/unitfcm5-0-1e-10-451 \
  src/guass; do
  mkdir -p -- "$root/$dir"
done
if [ -x "$program" ]; then
  cp -- "$program" "$root/src/guass/demo1.exe"
else
  echo "prepare-data-root: no Gauss-point program at $program (build first); face exports will find none" >&2
fi
echo "prepared $root"
