#!/usr/bin/env bash
# Sets everything up, starts the bundled UI server on port 3000 and the view,
# and loads a sample STL part. Open the printed page address (it holds the
# server's token) in a browser to type commands. Ctrl+C stops everything.
#   scripts/run.sh --results   shows a generated result (a clamped beam under
#                              load) coloured by displacement, with its scalar bar
set -euo pipefail
cd "$(dirname "$0")/.."
demo=""
[ "${1:-}" = "--results" ] && demo=results
scripts/setup.sh

sample=${ORVANE_SAMPLE_STL:-/usr/share/opencascade/data/stl/bearing.stl}
port=${ORVANE_UI_PORT:-3000}
log=$(mktemp -t orvane-ui.XXXXXX)
headers=$(mktemp -t orvane-ui-headers.XXXXXX)
server="" view="" xserver="" follower=""
# The UI server lets in only clients that show this token: the view, the page
# (its address carries it) and the commands sent below. ORVANE_UI_TOKEN, when
# set, is used instead.
token=${ORVANE_UI_TOKEN:-$(od -An -tx1 -N32 /dev/urandom | tr -d ' \n')}
export ORVANE_UI_TOKEN=$token
# In a file, so that the token does not show in the process list.
printf 'Authorization: Bearer %s\n' "$token" >"$headers"

cleanup() {
  # The view first, so that its own shutdown runs while the server is still up.
  [ -n "$view" ] && kill -TERM "$view" 2>/dev/null && wait "$view" 2>/dev/null
  for pid in $follower $server $xserver; do
    kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -f "$log" "$headers"
  [ -n "${results_root:-}" ] && rm -rf -- "$results_root"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

node tools/ui-server/server.mjs --port "$port" --view-binary build/src/app/orvane >"$log" &
server=$!
for _ in $(seq 100); do grep -q '"listening"' "$log" && break; sleep 0.1; done
page=$(sed -n 's/^{"listening":.*"page":"\([^"]*\)".*/\1/p' "$log")

. scripts/virtual-display.sh
start_virtual_display run

ORVANE_UI_URL="ws://localhost:$port" build/src/app/orvane &
view=$!

for _ in $(seq 300); do grep -q '"event":"ready"' "$log" && break; sleep 0.1; done
send() {
  node -e 'process.stdout.write(JSON.stringify({ command: process.argv[1] }))' "$1" |
    curl -s -X POST -H @"$headers" -H 'Content-Type: application/json' --data-binary @- \
      "http://localhost:$port/command" >/dev/null
}
if [ "$demo" = results ]; then
  results_root=$(mktemp -d -t orvane-results.XXXXXX)
  build/tools/result-generator/orvane-result-generator "$results_root"
  send "stack $results_root 1"
  send "scalarBar true false"
  send "reset"
  echo "UI server page: $page  (view shows the result in $results_root; try"
  echo "  ModelAnsys $results_root 0, attribute 9, pointCloud $results_root/data/pointCloud, minmax; Ctrl+C stops)"
else
  send "readStl 1 $sample"
  echo "UI server page: $page  (view loaded $sample; Ctrl+C stops)"
fi
tail -n +1 -f "$log" &
follower=$!
wait "$view"
