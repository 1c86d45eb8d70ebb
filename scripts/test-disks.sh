#!/usr/bin/env bash
# Mounts, or unmounts, the disks that the save tests fail on, under BUILD_DIR/test-disks:
#   small/     a 2 MB tmpfs, which a test fills to save onto a full disk
#   readonly/  a read-only view (bind mount) of writable/, to save into a read-only folder
# The tests find them through ZARVOLIN_TEST_DISKS (ctest's test_disks fixture and
# scripts/test-whole.sh set it). Mounting needs root; without it, or where mounts are refused,
# this says so and succeeds, and the tests that need the disks skip with the reason.
# Safe to run again: what is mounted there is unmounted first, so every run starts empty.
#   scripts/test-disks.sh mount|unmount BUILD_DIR
set -uo pipefail
action=${1:-} build=${2:-}
if [[ $action != mount && $action != unmount ]] || [ ! -f "$build/CMakeCache.txt" ]; then
  echo "usage: test-disks.sh mount|unmount BUILD_DIR (a configured build folder)" >&2
  exit 2
fi
disks=$(cd "$build" && pwd)/test-disks

unmount_all() {
  local m
  for m in "$disks/readonly" "$disks/small"; do
    while mountpoint -q "$m" 2>/dev/null; do
      umount "$m" || { echo "test-disks: $m stays mounted" >&2; return 1; }
    done
  done
  # Nothing is mounted below any more: only the tests' own leftovers go.
  rm -rf "$disks"
}

if [ "$action" = unmount ]; then
  unmount_all
  exit
fi
unmount_all || exit 1
if [ "$(id -u)" != 0 ]; then
  echo "test-disks: not root, no disks mounted: the full-disk and read-only-folder cases skip"
  exit 0
fi
mkdir -p "$disks/small" "$disks/writable" "$disks/readonly"
if mount -t tmpfs -o size=2m,mode=0777 zarvolin-test-small "$disks/small" &&
  mount --bind "$disks/writable" "$disks/readonly" &&
  mount -o remount,bind,ro "$disks/readonly"; then
  echo "test-disks: mounted in $disks"
else
  echo "test-disks: mounting was refused: the full-disk and read-only-folder cases skip"
  unmount_all
fi
exit 0
