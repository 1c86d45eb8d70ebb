#!/usr/bin/env bash
# Sets everything up, builds, and starts the game on the user's display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"
BUILD_DIR=$build "$root/scripts/build.sh"
if [ -z "${DISPLAY:-}" ]; then
  echo "play: no DISPLAY is set; start the game from a graphical session" >&2
  exit 1
fi
. "$root/scripts/wine-env.sh"
wine_env_setup "$build" play
wine_env_prefix
cd "$build/game"
exec wine ./Zarvolin.exe
