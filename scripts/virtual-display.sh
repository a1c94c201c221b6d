# Sourced by the scripts that start the view: without a DISPLAY, starts a
# virtual X server on the first free display number and exports DISPLAY.
# Sets xserver to its process id (empty when a DISPLAY was given); the
# caller stops it. Usage: start_virtual_display SCRIPT_NAME
start_virtual_display() {
  xserver=""
  [ -n "${DISPLAY:-}" ] && return 0
  local display=99
  while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xserver=$!
  export DISPLAY=":$display"
  echo "$1: no DISPLAY, the view runs on the virtual X server $DISPLAY" >&2
  sleep 1
}
