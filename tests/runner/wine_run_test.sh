#!/usr/bin/env bash
# The runner's second try. With a stand-in wine that prints, dies of a signal or exits as told: a
# host death after googletest's summary line is run once more (and fails when the second run dies
# too), and only the second run's output is passed on; a host death before the summary, and the
# program's own exit code, even 128 + n, never are. Then with a real program (argument 1) that
# kills the Wine host itself by breaking its stack pointer.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
run=$here/../../scripts/wine-run
breaker=${1:+$(cd "$(dirname "$1")" && pwd)/$(basename "$1")}
. "$here/../../scripts/wine-env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ulimit -c 0
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# A build folder whose prefix is ready, and a wine that plays the lines of $work/plan in turn:
# "summary" before a step prints googletest's summary line; the step is a signal to die of, or an
# exit code.
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
case $step in
summary-*)
  printf '[==========] 3 tests from 1 test suite ran. (5 ms total)\r\n'
  step=${step#summary-}
  ;;
esac
case $step in
talk)
  # Answers its caller's line only after its own first line has reached the caller.
  echo "ready"
  IFS= read -r line
  echo "got $line"
  exit 0
  ;;
segv) kill -SEGV $$ ;;
term) kill -TERM $$ ;;
esac
exit "$step"
WINE
chmod +x "$work/bin/wine"

# check PLAN EXPECTED_STATUS EXPECTED_RUNS NOTICES: runs the stand-in through wine-run.
check() {
  printf '%s\n' $1 >"$work/plan"
  rm -f "$work/runs"
  local status=0
  (
    export WORK=$work PATH="$work/bin:$PATH" DISPLAY=:1000
    unset WINE_RUN_SCREEN WINE_RUN_KIND WINE_RUN_BUILD
    "$run" "$work/build/prog.exe" --flag
  ) >"$work/out" 2>"$work/err" || status=$?
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

# A streamed run (a benchmark's side talking with its caller) passes its output on as it comes,
# and a host death there is never run again, since what it said cannot be taken back.
WINE_RUN_STREAM=1 check "summary-segv 0" 139 1 1
printf 'talk\n' >"$work/plan"
rm -f "$work/runs" "$work/to" "$work/from"
mkfifo "$work/to" "$work/from"
(
  export WORK=$work PATH="$work/bin:$PATH" DISPLAY=:1000 WINE_RUN_STREAM=1
  unset WINE_RUN_SCREEN WINE_RUN_KIND WINE_RUN_BUILD
  timeout 60 "$run" "$work/build/prog.exe" <"$work/to" >"$work/from" 2>/dev/null
) &
exec 7>"$work/to" 8<"$work/from"
IFS= read -r -t 30 first <&8 || first=
[ "$first" = "run 1 of $work/build/prog.exe" ] || fail "a streamed run's first line did not come as it ran"
IFS= read -r -t 30 second <&8 || second=
[ "$second" = ready ] || fail "a streamed run's output was held back: '$second'"
echo hello >&7
IFS= read -r -t 30 answer <&8 || answer=
[ "$answer" = "got hello" ] || fail "a streamed run did not answer its caller: '$answer'"
exec 7>&- 8<&-
wait

# A real program breaking its stack under the real Wine, in the build's own prefix.
# real MODE EXPECTED_STATUS EXPECTED_RUNS OUTPUT: OUTPUT is the run whose output was passed on.
real() {
  local dir=$work/real-$1 status=0
  mkdir -p "$dir"
  (cd "$dir" && "$run" "$breaker" "$1") >"$dir/out" 2>"$dir/err" || status=$?
  local runs
  runs=$(grep -c . "$dir/runs" 2>/dev/null)
  if [ "$status" != "$2" ] || [ "$runs" != "$3" ] || ! grep -q "^$4 run" "$dir/out" ||
    [ "$(grep -c ' run' "$dir/out")" != 1 ]; then
    fail "a program breaking its stack ($1): status $status, ${runs:-0} runs; wanted $2, $3, $4 run's output alone"
    cat "$dir/out" "$dir/err" >&2
  fi
}
if [ -n "$breaker" ]; then
  real always 139 1 first
  real first 139 1 first
  real summary 139 2 later
  real summary-first 0 2 later
else
  fail "no stack-breaking program given"
fi
[ "$failures" = 0 ] && echo "wine-run: every check passed"
exit "$failures"
