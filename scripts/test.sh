#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite under Wine on a private Xvfb display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
BUILD_DIR=$build "$root/scripts/build.sh"

. "$root/scripts/wine-env.sh"
wine_env_setup "$build" test
wine_env_prefix
cleanup() {
  wineserver -k 2>/dev/null || true
  wine_env_xvfb_stop
}
trap cleanup EXIT
wine_env_xvfb 1024x768x24
# One wineserver for the whole run, so that each test program starts in a fraction of a second.
wineserver -p </dev/null >/dev/null 2>&1
# Wine's helper processes start with the first program; start them here, away from ctest's output
# pipes, which they would otherwise hold open until the server exits.
wine cmd /c exit </dev/null >/dev/null 2>&1
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 120 "$@"
