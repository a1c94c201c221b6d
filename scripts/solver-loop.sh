#!/usr/bin/env bash
# The whole loop of a real solve on this machine, as root:
#   scripts/solver-loop.sh [--picture FILE.png]
# Sets up and builds, prepares the account orvanefem as a solver host
# (scripts/solver-host.sh) behind a private sshd on a loopback port (its own
# keys and configuration in a temporary directory; ~/.ssh is not touched),
# starts the UI server on port 3000 (ORVANE_UI_PORT) and the view, imports a
# bracket made with Gmsh, picks and fixes its clamp face and loads its tip
# face, writes preFiles, runs openSSh with 2 processes and shows the result.
# The page stays up until Ctrl+C. --picture writes the view's screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
  echo "solver-loop: run as root: it starts its own sshd and logs in as a solver account" >&2
  exit 2
fi
scripts/setup.sh
xserver=""
cleanup() { [ -n "$xserver" ] && kill -TERM "$xserver" 2>/dev/null && wait "$xserver" 2>/dev/null; true; }
trap cleanup EXIT
. scripts/virtual-display.sh
start_virtual_display solver-loop
node scripts/solver-loop.mjs "$@" &
loop=$!
trap 'kill -TERM "$loop" 2>/dev/null; wait "$loop"; cleanup' INT TERM
wait "$loop"
