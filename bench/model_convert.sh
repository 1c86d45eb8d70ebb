#!/usr/bin/env bash
# Loads every model file of the set-up's test models (X, 3DS, MD2 and studio MDL files, and the
# MD3 players of openarena-data) as the engine's LoadObject does (LoadObjectFile: the conversion,
# the block read back into an object, its positions checked), in process under Wine, and imports
# the same files in process with Debian's libassimp (bench/native/model_import.cpp, built here for
# the host). Both sides time the same thing: one file's load, read from the file (in the disk
# cache) by the call itself, the result freed outside the clock; best of five rounds, the two
# sides' rounds taken in turn (engine, importer, engine, ...) so that a busy machine's swings land
# on both. Prints the ratio per file and per format, then where the engine's time goes per format
# (files both sides load; the steps timed apart, their rounds in turn with the load's).
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

# Both sides answer a line of input with a line, so that the script takes their rounds in turn.
mkfifo "$work/engine.in" "$work/engine.out" "$work/native.in" "$work/native.out"
env -u DISPLAY WINE_RUN_KIND=game-test "$root/scripts/wine-run" \
  "$build/bench_model_convert.exe" <"$work/engine.in" >"$work/engine.out" &
pids+=($!)
"$native" <"$work/native.in" >"$work/native.out" &
pids+=($!)
exec {to_engine}>"$work/engine.in" {from_engine}<"$work/engine.out"
exec {to_native}>"$work/native.in" {from_native}<"$work/native.out"
# A side that has ended fails the write below rather than killing the script unannounced.
trap '' PIPE

# ask SIDE LINE: the side's answer to the line; a side that has ended stops the benchmark.
ask() {
  local to=to_$1 from=from_$1 answer
  if ! printf '%s\n' "$2" >&"${!to}" || ! IFS= read -r answer <&"${!from}"; then
    echo "model_convert.sh: the $1's side ended early" >&2
    exit 1
  fi
  printf '%s\n' "${answer%$'\r'}"
}

# One record a file for the summary: "file <format> <file>", the rounds of each side ("engine
# <ms>", "native <ms>" or "<side> failed", a failed side asked no more) and, when both sides load
# the file, the engine's steps.
results=$work/results
for ((i = 0; i < ${#files[@]}; i += 2)); do
  format=${files[i]} f=${files[i + 1]}
  # A Windows path for the engine; for an MD3 model the importer reads its lower part, from which
  # it loads the other two parts of the player as well.
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
# Both sides end at the end of their input.
exec {to_engine}>&- {to_native}>&-
wait "${pids[@]}" || true
pids=()

awk '
function base(path) { sub(/.*\//, "", path); return path }
function pct(part, whole) { return whole > 0 ? sprintf("%.0f%%", 100 * part / whole) : "-" }
function shown(ms, failed) { return failed ? "failed" : sprintf("%.3f", ms) }
# The file read so far: its line, and its sums when both sides loaded it.
function finish() {
  if (format == "") return
  if (engineFailed || nativeFailed || best["native"] <= 0) {
    printf "%-6s %-40s %10s %10s %8s\n", format, base(path), shown(best["engine"], engineFailed),
      shown(best["native"], nativeFailed), "n/a"
  } else {
    ratio = best["engine"] / best["native"]
    printf "%-6s %-40s %10.3f %10.3f %8.1f\n", format, base(path), best["engine"], best["native"], ratio
    sumEngine[format] += best["engine"]; sumNative[format] += best["native"]
    ratios[format, ++count[format]] = ratio
    if (hasSteps) {
      stepped[format] += s[1]; convert[format] += s[2]; readBack[format] += s[3]
      block[format] += s[4]; normals[format] += s[5]; made[format] += s[6]
      computed[format] += s[7]; dxRead[format] += s[8]; released[format] += s[9]
      textures[format] += s[10]; text[format] += s[11]; parser[format] += s[12]
      meshes[format] += s[13]
    }
  }
  format = ""
}
# The median of the format'"'"'s file ratios, and their least and greatest, by insertion sort.
function summary(f,    c, i, j, t, sorted, median) {
  c = count[f] + 0
  if (c == 0) { printf "format %s: no file loaded on both sides\n", f; return }
  for (i = 1; i <= c; i++) sorted[i] = ratios[f, i]
  for (i = 2; i <= c; i++)
    for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
  median = c % 2 ? sorted[(c + 1) / 2] : (sorted[c / 2] + sorted[c / 2 + 1]) / 2
  printf "format %s: %d files, engine %.1f ms, native %.2f ms, ratio of the sums %.1f, per file %.1f-%.1f (median %.1f)\n",
    f, c, sumEngine[f], sumNative[f], sumEngine[f] / sumNative[f], sorted[1], sorted[c], median
}
function shares(f,    whole, line, rest) {
  whole = stepped[f]
  if (whole <= 0) return
  line = sprintf("  %s %.1f ms:", f, whole)
  line = line sprintf(" the load beyond the conversion %s (the block read back into an object %s; the converter'"'"'s object and block freed, the block copied, its positions checked %s),",
    pct(whole - convert[f], whole), pct(readBack[f], whole), pct(whole - convert[f] - readBack[f], whole))
  if (parser[f] > 0) line = line sprintf(" the platform'"'"'s X parser %s,", pct(parser[f], whole))
  if (text[f] > 0) line = line sprintf(" X text and its temporary file %s,", pct(text[f], whole))
  if (textures[f] > 0) line = line sprintf(" skins made and saved as pictures %s,", pct(textures[f], whole))
  if (normals[f] > 0)
    line = line sprintf(" the platform'"'"'s normals of %d meshes %s (D3DX meshes made and filled %s, normals computed %s, read back %s, released %s),",
      meshes[f], pct(normals[f], whole), pct(made[f], whole), pct(computed[f], whole),
      pct(dxRead[f], whole), pct(released[f], whole))
  rest = convert[f] - parser[f] - text[f] - textures[f] - normals[f] - block[f]
  print line sprintf(" the native block %s, the rest of the conversion %s", pct(block[f], whole), pct(rest, whole))
}
BEGIN { printf "%-6s %-40s %10s %10s %8s\n", "format", "file", "engine_ms", "native_ms", "ratio" }
$1 == "file" {
  finish()
  format = $2; path = $0; sub(/^file [^ ]+ /, "", path)
  if (!(format in seen)) { seen[format] = 1; order[++formats] = format }
  engineFailed = nativeFailed = hasSteps = 0; best["engine"] = best["native"] = 1e30
  next
}
$1 == "engine" || $1 == "native" {
  if ($2 == "failed") { if ($1 == "engine") engineFailed = 1; else nativeFailed = 1; next }
  if ($2 + 0 < best[$1]) best[$1] = $2 + 0
  next
}
$1 == "steps" { hasSteps = 1; for (k = 1; k <= 13; k++) s[k] = $(k + 1) }
END {
  finish()
  print ""
  for (k = 1; k <= formats; k++) summary(order[k])
  print ""
  print "where the engine'"'"'s time goes (files both sides load, loaded again beside each step timed alone, best of five"
  print "rounds, one round of each in turn; shares of the sum of those loads):"
  for (k = 1; k <= formats; k++) shares(order[k])
}' "$results"
