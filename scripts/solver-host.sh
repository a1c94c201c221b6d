#!/usr/bin/env bash
# Prepares this Debian machine as the view's solver host, run from a checkout
# as root (or with sudo):
#   scripts/solver-host.sh [ACCOUNT]
# Installs CalculiX, Gmsh, OpenMPI and the OpenSSH server from Debian, builds
# the solver program, creates ACCOUNT when it does not exist (default: the
# user who called sudo, else the current user), lays out
# /home/ACCOUNT/project/{motai,output} and installs the solver there as
# output/demo, the program the view's remote run starts with mpirun.
# Set ORVANE_SOLVER_PROGRAM to install an already built solver instead.
set -euo pipefail
cd "$(dirname "$0")/.."

account=${1:-${SUDO_USER:-$(id -un)}}
if ! [[ "$account" =~ ^[a-z_][a-z0-9_-]*$ ]]; then
  echo "solver-host: '$account' is not an account name" >&2
  exit 2
fi
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"

packages=(calculix-ccx gmsh libgmsh-dev openmpi-bin libopenmpi-dev openssh-server)
missing=()
for pkg in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if ((${#missing[@]})); then
  echo "solver-host: installing ${missing[*]}"
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

solver=${ORVANE_SOLVER_PROGRAM:-build/tools/solver/orvane-solver}
if [ -z "${ORVANE_SOLVER_PROGRAM:-}" ]; then
  scripts/setup.sh
fi
if ! [ -x "$solver" ]; then
  echo "solver-host: the solver program $solver is not built" >&2
  exit 1
fi

if ! id -u "$account" >/dev/null 2>&1; then
  echo "solver-host: creating the account $account"
  $SUDO useradd --create-home --home-dir "/home/$account" --shell /bin/sh "$account"
fi
project="/home/$account/project"
$SUDO install -d -o "$account" -g "$(id -gn "$account")" "$project" "$project/motai" "$project/output"
$SUDO install -o "$account" -g "$(id -gn "$account")" -m 0755 "$solver" "$project/output/demo"
echo "solver-host: $project/output/demo is the solver; the view reaches it as $account@$(hostname)"
echo "  (ORVANE_REMOTE_ACCOUNT=$account ORVANE_REMOTE_HOST=<this machine> for the view; ccx $(command -v ccx))"
