#!/usr/bin/env bash
# Runs every test program whole (all its cases in one process, not one case per process as ctest
# does), one after the other, so that state one case leaves behind for the next shows up.
#   scripts/test-whole.sh [KIND] [PROGRAM...]   KIND: test (default) or game-test
# Builds first; each program runs on its kind's private Xvfb; prints one line per program and
# exits non-zero when any failed. Logs go to build/whole-KIND/. GTEST_SHUFFLE=1 and
# GTEST_RANDOM_SEED=N in the environment run each program's cases in another order. The disks
# that saves fail on are mounted for the run (as root; scripts/test-disks.sh).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
kind=${1:-test}
shift || true
BUILD_DIR=$build "$root/scripts/build.sh" >/dev/null || exit 1
logs="$build/whole-$kind"
mkdir -p "$logs"
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=("$build"/test_*.exe)
failed=0
"$root/scripts/test-disks.sh" mount "$build" >/dev/null
trap '"$root/scripts/test-disks.sh" unmount "$build"' EXIT
export ZARVOLIN_TEST_DISKS="$(cd "$build" && pwd)/test-disks"
for exe in "${programs[@]}"; do
  name=$(basename "$exe" .exe)
  screen_file="$root/tests/${name#test_}/screen"
  screen=$([ -f "$screen_file" ] && head -n1 "$screen_file" || true)
  # Without DISPLAY the runner gives the prefix kind its own Xvfb; the Serial suites need it alone.
  env -u DISPLAY WINE_RUN_KIND="$kind" ${screen:+WINE_RUN_SCREEN=$screen} \
    timeout 900 "$root/scripts/wine-run" "$exe" >"$logs/$name.log" 2>&1
  rc=$?
  verdict=$(tr -d '\r' <"$logs/$name.log" | grep -E '^\[  (PASSED|FAILED) +\] [0-9]+ tests?' | tr '\n' ' ')
  echo "$name: exit $rc ${verdict:-(no verdict)}"
  [ $rc -eq 0 ] || failed=1
done
exit $failed
