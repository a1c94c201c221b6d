#!/usr/bin/env bash
# Installs what the project needs (Debian packages, the UI server's npm
# packages), then configures and builds. Safe to run again: apt is skipped
# when every package is present, npm only runs when the lock file changed.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev
  libvtk9-dev libvtk9-qt-dev libopenmpi-dev
  libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev
  libocct-data-exchange-dev libocct-ocaf-dev libocct-visualization-dev occt-misc
  libwebsocketpp-dev libasio-dev rapidjson-dev
  libgtest-dev
  xvfb xauth libgl1-mesa-dri xdotool x11-apps x11-utils chromium
  openssh-server openssh-client openmpi-bin
  calculix-ccx gmsh libgmsh-dev
  locales curl
)
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  PACKAGES+=(nodejs npm)
fi

missing=()
for pkg in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# A comma-decimal locale for the locale-independence tests.
if ! locale -a 2>/dev/null | grep -qi '^fr_FR\.utf8$'; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO sed -i 's/^# *fr_FR.UTF-8 UTF-8/fr_FR.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi

stamp=tools/ui-server/node_modules/.lock-stamp
if ! [ -f "$stamp" ] || ! cmp -s tools/ui-server/package-lock.json "$stamp"; then
  (cd tools/ui-server && npm ci --no-audit --no-fund --loglevel=error)
  cp tools/ui-server/package-lock.json "$stamp"
fi

BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
