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
# A fresh prefix registers its audio devices on their first use; programs that open the device
# while that goes on find it invalidated (AUDCLNT_E_DEVICE_INVALIDATED from DirectSoundCreate8).
# One program opens it first, alone.
if [ -x "$build/test_sound.exe" ]; then
  wine "$build/test_sound.exe" --gtest_filter='Sound.MangledWavesFailCleanly' \
    </dev/null >/dev/null 2>&1 || true
fi

# Test programs that need a screen of another size: a prefix, a display and a server of their own.
extra_prefixes=()
for screen in $(cat "$root"/tests/*/screen 2>/dev/null | sort -u); do
  (
    wine_env_setup "$build" "test-$screen"
    wine_env_prefix
    wine_env_shared_xvfb "$screen"
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
  )
  extra_prefixes+=("$build/wine/prefix-test-$screen")
done
cleanup_extra() {
  local p
  for p in "${extra_prefixes[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
  cleanup
}
trap cleanup_extra EXIT

ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 120 "$@"
