#!/bin/sh
# Runs a command in a private mount namespace, where it may mount a small
# file system of its own: through a user namespace (or as root), else with sudo.
if unshare --mount --map-root-user true 2>/dev/null; then
  exec unshare --mount --map-root-user "$@"
fi
if sudo -n unshare --mount true 2>/dev/null; then
  exec sudo -n --preserve-env unshare --mount "$@"
fi
echo "in-mount-namespace: cannot make a private mount namespace (unshare --mount --map-root-user, or sudo -n unshare --mount)" >&2
exit 1
