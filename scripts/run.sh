#!/usr/bin/env bash
# Sets everything up, starts the bundled UI server on port 3000 and the view,
# and loads a sample STL part. Open the printed page address in a browser to
# type commands. Ctrl+C stops both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

sample=${ORVANE_SAMPLE_STL:-/usr/share/opencascade/data/stl/bearing.stl}
port=3000
log=$(mktemp -t orvane-ui.XXXXXX)

node tools/ui-server/server.mjs --port "$port" >"$log" &
server=$!
view=""
cleanup() {
  [ -n "$view" ] && kill "$view" 2>/dev/null && wait "$view" 2>/dev/null || true
  kill "$server" 2>/dev/null && wait "$server" 2>/dev/null || true
  rm -f "$log"
}
trap cleanup EXIT INT TERM

for _ in $(seq 100); do grep -q '"listening"' "$log" && break; sleep 0.1; done

launcher=()
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no DISPLAY, the view runs on a virtual X server (xvfb-run)" >&2
  launcher=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi
ORVANE_UI_URL="ws://localhost:$port" "${launcher[@]}" build/src/app/orvane &
view=$!

for _ in $(seq 300); do grep -q '"event":"ready"' "$log" && break; sleep 0.1; done
curl -s -X POST --data-binary "readStl 1 $sample" "http://localhost:$port/command" >/dev/null
echo "UI server page: http://localhost:$port/  (view loaded $sample; Ctrl+C stops)"
tail -n +1 -f "$log" &
wait "$view"
