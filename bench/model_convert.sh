#!/usr/bin/env bash
# Loads every model file of the set-up's test models (X, 3DS, MD2 and studio MDL files, and the
# MD3 players of openarena-data) as the engine's LoadObject does (LoadObjectFile: the conversion,
# the block read back into an object, its positions checked), in process under Wine, and imports
# the same files in process with Debian's libassimp (bench/native/model_import.cpp, built here for
# the host). Both sides time the same thing: one file's load, read from the file (in the disk
# cache) by the call itself, the result freed outside the clock; best of five rounds, the two
# sides' rounds taken in turn (engine, importer, engine, ...) so that a busy machine's swings land
# on both. All of it is done in two runs, each with processes of its own: on a busy machine one
# run's figures can differ from another's severalfold. Prints both runs' ratios per file
# and per format, then where the engine's time goes per format in each run (files both sides load:
# the load made in laps that add up to it, each of its passes followed by its conversion's steps,
# each timed alone, so that a busy machine's moods land on the load and its steps alike; each the
# fastest of its passes).
#   bench/model_convert.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
models=/usr/share/assimp/models
rounds=5
native=$build/model_import_native
source_native=$root/bench/native/model_import.cpp
if [ ! -x "$native" ] || [ "$source_native" -nt "$native" ]; then
  g++ -std=c++20 -O2 -Wall -Wextra -o "$native" "$source_native" -lassimp
fi

work=$(mktemp -d)
pids=()
# The sides still running when the script stops early are stopped.
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A pattern that matches nothing adds no file.
shopt -s nullglob
files=()
for f in "$models"/X/*.x "$models"/X/*.X; do files+=(x "$f"); done
for f in "$models"/3DS/*.3ds "$models"/3DS/*.3DS; do files+=(3ds "$f"); done
# The 3DS scene without an extension, under a name that picks its converter (both sides read the
# copy).
if [ -f "$models/3DS/testFormatDetection" ]; then
  cp "$models/3DS/testFormatDetection" "$work/testFormatDetection.3ds"
  files+=(3ds "$work/testFormatDetection.3ds")
fi
for f in "$models"/MD2/*.md2; do files+=(md2 "$f"); done
# Studio models with a body part (files starting "IDST", a body part count at byte 204); the rest
# of MDL/ no converter here takes.
while IFS= read -r -d '' f; do
  [ "$(head -c 4 "$f")" = IDST ] && [ "$(od -An -tu4 -j204 -N4 "$f" | tr -d ' ')" != 0 ] &&
    files+=(mdl "$f")
done < <(find "$models/MDL" -iname '*.mdl' -print0 | sort -z)
shopt -u nullglob
# MD3 player models: a model is named by its folder, which holds lower, upper and head parts.
pak0=/usr/share/games/openarena/baseoa/pak0.pk3
if [ -f "$pak0" ]; then
  unzip -q "$pak0" 'models/players/sarge/*.md3' 'models/players/sorceress/*.md3' -d "$work"
  for p in sarge sorceress; do files+=(md3 "$work/models/players/$p.md3"); done
fi

# ask SIDE LINE: the side's answer to the line; a side that has ended stops the benchmark.
ask() {
  local to=to_$1 from=from_$1 answer
  if ! printf '%s\n' "$2" >&"${!to}" || ! IFS= read -r answer <&"${!from}"; then
    echo "model_convert.sh: the $1's side ended early" >&2
    exit 1
  fi
  printf '%s\n' "${answer%$'\r'}"
}

# measure RESULTS: one run, its own processes of both sides, written to RESULTS: one record a
# file, "file <format> <file>", the rounds of each side ("engine <ms>", "native <ms>" or "<side>
# failed", a failed side asked no more) and, when both sides load the file, the engine's steps.
measure() {
  local results=$1 i r format f windows imported engine_ok native_ok ms steps
  # Both sides answer a line of input with a line, so that the script takes their rounds in turn.
  rm -f "$work"/engine.* "$work"/native.*
  mkfifo "$work/engine.in" "$work/engine.out" "$work/native.in" "$work/native.out"
  env -u DISPLAY WINE_RUN_KIND=game-test WINE_RUN_STREAM=1 "$root/scripts/wine-run" \
    "$build/bench_model_convert.exe" <"$work/engine.in" >"$work/engine.out" &
  pids+=($!)
  "$native" <"$work/native.in" >"$work/native.out" &
  pids+=($!)
  exec {to_engine}>"$work/engine.in" {from_engine}<"$work/engine.out"
  exec {to_native}>"$work/native.in" {from_native}<"$work/native.out"
  echo "load $(cut -d' ' -f1-3 /proc/loadavg)" >>"$results"
  for ((i = 0; i < ${#files[@]}; i += 2)); do
    format=${files[i]} f=${files[i + 1]}
    # A Windows path for the engine; for an MD3 model the importer reads its lower part, from
    # which it loads the other two parts of the player as well.
    windows="Z:${f//\//\\}" imported=$f
    [ "$format" = md3 ] && imported="${f%.md3}/lower.md3"
    echo "file $format $f" >>"$results"
    engine_ok=1 native_ok=1
    for ((r = 0; r < rounds; r++)); do
      if [ $engine_ok = 1 ]; then
        ms=$(ask engine "load $format $windows")
        echo "engine $ms" >>"$results"
        [ "$ms" != failed ] || engine_ok=0
      fi
      if [ $native_ok = 1 ]; then
        ms=$(ask native "$format $imported")
        echo "native $ms" >>"$results"
        [ "$ms" != failed ] || native_ok=0
      fi
    done
    if [ $engine_ok = 1 ] && [ $native_ok = 1 ]; then
      steps=$(ask engine "steps $format $windows")
      [ "$steps" = failed ] || echo "$steps" >>"$results"
    fi
  done
  echo "load $(cut -d' ' -f1-3 /proc/loadavg)" >>"$results"
  # Both sides end at the end of their input.
  exec {to_engine}>&- {to_native}>&- {from_engine}<&- {from_native}<&-
  wait "${pids[@]}" || true
  pids=()
}

# A side that has ended fails a write rather than killing the script unannounced.
trap '' PIPE
measure "$work/results.1"
measure "$work/results.2"

awk -f "$root/bench/model_convert.awk" "$work/results.1" "$work/results.2"
