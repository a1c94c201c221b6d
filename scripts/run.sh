#!/usr/bin/env bash
# Sets everything up, starts the bundled UI server on port 3000 and the view,
# and loads a sample STL part. Open the printed page address in a browser to
# type commands. Ctrl+C stops everything.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

sample=${ORVANE_SAMPLE_STL:-/usr/share/opencascade/data/stl/bearing.stl}
port=${ORVANE_UI_PORT:-3000}
log=$(mktemp -t orvane-ui.XXXXXX)
server="" view="" xserver="" follower=""

cleanup() {
  # The view first, so that its own shutdown runs while the server is still up.
  [ -n "$view" ] && kill -TERM "$view" 2>/dev/null && wait "$view" 2>/dev/null
  for pid in $follower $server $xserver; do
    kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -f "$log"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

node tools/ui-server/server.mjs --port "$port" --view-binary build/src/app/orvane >"$log" &
server=$!
for _ in $(seq 100); do grep -q '"listening"' "$log" && break; sleep 0.1; done

if [ -z "${DISPLAY:-}" ]; then
  display=99
  while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xserver=$!
  export DISPLAY=":$display"
  echo "run: no DISPLAY, the view runs on the virtual X server $DISPLAY" >&2
  sleep 1
fi

ORVANE_UI_URL="ws://localhost:$port" build/src/app/orvane &
view=$!

for _ in $(seq 300); do grep -q '"event":"ready"' "$log" && break; sleep 0.1; done
curl -s -X POST --data-binary "readStl 1 $sample" "http://localhost:$port/command" >/dev/null
echo "UI server page: http://localhost:$port/  (view loaded $sample; Ctrl+C stops)"
tail -n +1 -f "$log" &
follower=$!
wait "$view"
