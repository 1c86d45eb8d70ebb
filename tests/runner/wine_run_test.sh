#!/usr/bin/env bash
# The runner's second try, with a stand-in wine that prints, dies of a signal or exits as told, and
# with a real program (argument 1) that kills the Wine host by breaking its stack pointer. A host
# death after a googletest summary naming no failed case, or in a listing, is run once more
# (failing when that run dies too), passing on that run's output alone; one before the summary,
# after a failed case or in a streamed run, and the program's own exit code (even 128 + n), never
# are.
set -uo pipefail
[ -n "${1:-}" ] || { echo "FAILED: no stack-breaking program given" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
run=$here/../../scripts/wine-run
breaker=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$here/../../scripts/wine-env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ulimit -c 0
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# A build folder whose prefix is ready, and a wine that plays the lines of $work/plan in turn:
# "summary-" before a step prints googletest's summary line first; the step is a signal to die
# of, an exit code, or "talk": answer the caller's line once its own first line has reached it.
mkdir -p "$work/build/wine/prefix-test" "$work/bin"
touch "$work/build/CMakeCache.txt"
echo "$WINE_PREFIX_VERSION" >"$work/build/wine/prefix-test/.ready"
cat >"$work/bin/wine" <<'WINE'
#!/usr/bin/env bash
n=$(($(cat "$WORK/runs" 2>/dev/null || echo 0) + 1))
echo "$n" >"$WORK/runs"
echo "run $n of $*"
echo "run $n's notice" >&2
step=$(sed -n "${n}p" "$WORK/plan")
[ "${step#failed-}" = "$step" ] || { echo '[  FAILED  ] Suite.Case'; step=${step#failed-}; }
[ "${step#summary-}" = "$step" ] ||
  printf '[==========] 3 tests from 1 test suite ran. (5 ms total)\r\n'
case ${step#summary-} in
talk) echo ready; IFS= read -r line; echo "got $line"; exit 0 ;;
segv) kill -SEGV $$ ;;
term) kill -TERM $$ ;;
esac
exit "${step#summary-}"
WINE
chmod +x "$work/bin/wine"
real_env=(PATH="$PATH" DISPLAY="${DISPLAY:-}") # for the real program at the end
export WORK=$work PATH="$work/bin:$PATH" DISPLAY=:1000
unset WINE_RUN_SCREEN WINE_RUN_KIND WINE_RUN_BUILD

# check PLAN EXPECTED_STATUS EXPECTED_RUNS NOTICES [ARGS...]: runs the stand-in through wine-run
# (with --flag when no arguments are given).
check() {
  printf '%s\n' $1 >"$work/plan"
  rm -f "$work/runs"
  local status=0 args=("${@:5}")
  [ ${#args[@]} -gt 0 ] || args=(--flag)
  "$run" "$work/build/prog.exe" "${args[@]}" >"$work/out" 2>"$work/err" || status=$?
  local runs notices
  runs=$(cat "$work/runs")
  notices=$(grep -c '^wine-run: the Wine host process died' "$work/err")
  if [ "$status" != "$2" ] || [ "$runs" != "$3" ] || [ "$notices" != "$4" ]; then
    fail "plan '$1': status $status, $runs runs, $notices notices; wanted $2, $3, $4"
    cat "$work/out" "$work/err" >&2
  fi
}
check "summary-segv 0" 0 2 1
grep -q "^run 2 of $work/build/prog.exe --flag\$" "$work/out" ||
  fail "the second run lost its arguments"
grep -q "^run 1" "$work/out" "$work/err" && fail "the first run's output was passed on"
grep -q "^run 2's notice" "$work/err" || fail "the second run's errors were not passed on"
grep -q 'signal 11 (SIGSEGV).*once more' "$work/err" || fail "the notice does not name the signal"
check "summary-segv summary-segv 0" 139 2 2
check "summary-segv segv 0" 139 2 2
check "segv 0" 139 1 1
grep -q "^run 1 of" "$work/out" || fail "a failed run's output was not passed on"
check "summary-term 0" 143 1 0
check "5 0" 5 1 0
check "139 0" 139 1 0
check "summary-139 0" 139 1 0
check "term 0" 143 1 0
check "0" 0 1 0
# A listing runs no case: a host death while it is made is Wine's, and only the second listing is
# read. A summary that names a failed case keeps its verdict.
check "segv 0" 0 2 1 --gtest_list_tests
grep -q "^run 1" "$work/out" && fail "a listing was read from two runs"
check "failed-summary-segv 0" 139 1 1
grep -q '^\[  FAILED  \] Suite.Case' "$work/out" || fail "a failed run's verdict was not passed on"

# A streamed run (a benchmark's side talking with its caller) passes its output on as it comes,
# and a host death there is never run again, since what it said cannot be taken back.
WINE_RUN_STREAM=1 check "summary-segv 0" 139 1 1
echo talk >"$work/plan"
rm -f "$work/runs"
mkfifo "$work/to" "$work/from"
WINE_RUN_STREAM=1 timeout 60 "$run" "$work/build/prog.exe" <"$work/to" >"$work/from" 2>/dev/null &
exec 7>"$work/to" 8<"$work/from"
# next_line LINE FAULT: the streamed run's next line, within 30 s, is LINE.
next_line() {
  IFS= read -r -t 30 got <&8 || got=
  [ "$got" = "$1" ] || fail "a streamed run $2: '$got'"
}
next_line "run 1 of $work/build/prog.exe" "did not pass its first line on as it ran"
next_line ready "held its output back"
echo hello >&7
next_line "got hello" "did not answer its caller"
exec 7>&- 8<&-
wait

# real MODE EXPECTED_STATUS EXPECTED_RUNS OUTPUT: a real program breaking its stack under the real
# Wine, in the build's own prefix; OUTPUT names the run whose output alone was passed on.
real() {
  local dir=$work/real-$1 status=0 runs
  mkdir -p "$dir"
  (cd "$dir" && env "${real_env[@]}" "$run" "$breaker" "$1") >"$dir/out" 2>"$dir/err" || status=$?
  runs=$(grep -c . "$dir/runs" 2>/dev/null)
  if [ "$status" != "$2" ] || [ "$runs" != "$3" ] || ! grep -q "^$4 run" "$dir/out" ||
    [ "$(grep -c ' run' "$dir/out")" != 1 ]; then
    fail "a program breaking its stack ($1): status $status, ${runs:-0} runs; wanted $2, $3, $4 run's output alone"
    cat "$dir/out" "$dir/err" >&2
  fi
}
real always 139 1 first
real first 139 1 first
real summary 139 2 later
real summary-first 0 2 later
[ "$failures" = 0 ] && echo "wine-run: every check passed"
exit "$failures"
