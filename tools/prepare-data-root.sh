#!/usr/bin/env bash
# Creates the directory tree that the view's file commands expect below a
# data root. The view itself creates no directories.
# Usage: tools/prepare-data-root.sh ROOT
set -euo pipefail
if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: $0 DATA_ROOT" >&2
  exit 2
fi
root=$1
for dir in \
  data/step data/solid data/cut data/brep data/guass data/beam data/spring \
  data/modelAnsys/unitfcm5-0-1e-10-451 \
  src/guass; do
  mkdir -p -- "$root/$dir"
done
echo "prepared $root"
