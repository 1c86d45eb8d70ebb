#!/usr/bin/env bash
# Sets everything up, builds, and runs every benchmark under Wine on a private Xvfb display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
BUILD_DIR=$build "$root/scripts/build.sh" >/dev/null
for bench in "$build"/bench_*.exe; do
  env -u DISPLAY "$root/scripts/wine-run" "$bench"
done
