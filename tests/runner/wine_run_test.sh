#!/usr/bin/env bash
# The runner's second try: a stand-in wine that dies of a signal, or exits, as told. A host death
# is run once more (and fails when the second run dies too); the program's own exit code, even
# 128 + n, never is.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run=$here/../../scripts/wine-run
. "$here/../../scripts/wine-env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ulimit -c 0

# A build folder whose prefix is ready, and a wine that plays the lines of $work/plan in turn: a
# signal to die of, or an exit code.
mkdir -p "$work/build/wine/prefix-test" "$work/bin"
touch "$work/build/CMakeCache.txt"
echo "$WINE_PREFIX_VERSION" >"$work/build/wine/prefix-test/.ready"
cat >"$work/bin/wine" <<'WINE'
#!/usr/bin/env bash
n=$(($(cat "$WORK/runs" 2>/dev/null || echo 0) + 1))
echo "$n" >"$WORK/runs"
echo "run $n of $*"
step=$(sed -n "${n}p" "$WORK/plan")
case $step in
segv) kill -SEGV $$ ;;
term) kill -TERM $$ ;;
esac
exit "$step"
WINE
chmod +x "$work/bin/wine"
export WORK=$work PATH="$work/bin:$PATH" DISPLAY=:1000
unset WINE_RUN_SCREEN WINE_RUN_KIND WINE_RUN_BUILD

failures=0
# check PLAN EXPECTED_STATUS EXPECTED_RUNS NOTICES: runs the stand-in through wine-run.
check() {
  printf '%s\n' $1 >"$work/plan"
  rm -f "$work/runs"
  local status=0
  "$run" "$work/build/prog.exe" --flag >"$work/out" 2>"$work/err" || status=$?
  local runs notices
  runs=$(cat "$work/runs")
  notices=$(grep -c '^wine-run: the Wine host process died' "$work/err")
  if [ "$status" != "$2" ] || [ "$runs" != "$3" ] || [ "$notices" != "$4" ]; then
    echo "FAILED: plan '$1': status $status, $runs runs, $notices notices;" \
      "wanted $2, $3, $4" >&2
    cat "$work/out" "$work/err" >&2
    failures=$((failures + 1))
  fi
}
check "segv 0" 0 2 1
check "segv segv 0" 139 2 2
check "5 0" 5 1 0
check "139 0" 139 1 0
check "term 0" 143 1 0
check "0" 0 1 0
check "segv 0" 0 2 1
grep -q "^run 2 of $work/build/prog.exe --flag\$" "$work/out" ||
  { echo "FAILED: the second run lost its arguments" >&2; failures=$((failures + 1)); }
grep -q 'signal 11 (SIGSEGV).*once more' "$work/err" ||
  { echo "FAILED: the notice does not name the signal" >&2; failures=$((failures + 1)); }
[ "$failures" = 0 ] && echo "wine-run: every check passed"
exit "$failures"
