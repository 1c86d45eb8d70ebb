#!/usr/bin/env bash
# Converts every model file of the set-up's test models (X, 3DS, MD2 and studio MDL files, and
# the MD3 players of openarena-data) with the engine's converters, in process under Wine, and
# imports the same files in process with Debian's libassimp (bench/native/model_import.cpp, built
# here for the host). Both sides time the same thing: one file's import, read from the file (in
# the disk cache) by the call itself, the result freed outside the clock; best of five rounds.
# Prints the ratio per file and per format, then where the engine's time goes per format.
#   bench/model_convert.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
models=/usr/share/assimp/models
native=$build/model_import_native
source_native=$root/bench/native/model_import.cpp
if [ ! -x "$native" ] || [ "$source_native" -nt "$native" ]; then
  g++ -std=c++20 -O2 -Wall -Wextra -o "$native" "$source_native" -lassimp
fi

files=()
for f in "$models"/X/*.x "$models"/X/*.X; do files+=(x "$f"); done
# 3DS scenes; the one without an extension is named by its format.
for f in "$models"/3DS/*.3ds "$models"/3DS/*.3DS "$models"/3DS/testFormatDetection; do
  files+=(3ds "$f")
done
for f in "$models"/MD2/*.md2; do files+=(md2 "$f"); done
# Studio models with a body part (files starting "IDST", a body part count at byte 204); the rest
# of MDL/ no converter here takes.
while IFS= read -r -d '' f; do
  [ "$(head -c 4 "$f")" = IDST ] && [ "$(od -An -tu4 -j204 -N4 "$f" | tr -d ' ')" != 0 ] &&
    files+=(mdl "$f")
done < <(find "$models/MDL" -iname '*.mdl' -print0 | sort -z)
# MD3 player models: a model is named by its folder, which holds lower, upper and head parts.
pak0=/usr/share/games/openarena/baseoa/pak0.pk3
players=$(mktemp -d)
trap 'rm -rf "$players"' EXIT
if [ -f "$pak0" ]; then
  unzip -q "$pak0" 'models/players/sarge/*.md3' 'models/players/sorceress/*.md3' -d "$players"
  for p in sarge sorceress; do files+=(md3 "$players/models/players/$p.md3"); done
fi

# Windows paths for the converter.
args=()
for ((i = 0; i < ${#files[@]}; i += 2)); do
  args+=("${files[i]}" "Z:${files[i + 1]//\//\\}")
done
engine=$(env -u DISPLAY WINE_RUN_KIND=game-test "$root/scripts/wine-run" \
  "$build/bench_model_convert.exe" "${args[@]}" | tr -d '\r')

# The file the native importer reads: for an MD3 model its lower part, from which it loads the
# other two parts of the player as well.
native_args=()
for ((i = 0; i < ${#files[@]}; i += 2)); do
  f=${files[i + 1]}
  [ "${files[i]}" = md3 ] && f="${f%.md3}/lower.md3"
  native_args+=("${files[i]}" "$f")
done
imported=$("$native" "${native_args[@]}")

# Both programs print "<format> <ms> <file>" in the order of the arguments; the engine's side
# follows each with its steps.
# (The outputs go through the environment: awk -v would read the backslashes of Windows paths as
# escapes.)
engine=$engine imported=$imported awk '
function base(path) { sub(/.*[\\\/]/, "", path); return path }
function pct(part, whole) { return whole > 0 ? sprintf("%.0f%%", 100 * part / whole) : "-" }
BEGIN {
  n = split(ENVIRON["imported"], lines, "\n")
  for (i = 1; i <= n; i++) { split(lines[i], w, " "); native[i] = w[2] }
  n = split(ENVIRON["engine"], lines, "\n")
  printf "%-6s %-40s %10s %10s %8s\n", "format", "file", "engine_ms", "native_ms", "ratio"
  files = 0
  for (i = 1; i <= n; i++) {
    split(lines[i], w, " ")
    if (w[1] == "steps") {
      f = w[2]
      block[f] += w[3]; normals[f] += w[4]; made[f] += w[5]; computed[f] += w[6]
      readback[f] += w[7]; released[f] += w[8]; textures[f] += w[9]; text[f] += w[10]
      parser[f] += w[11]; meshes[f] += w[12]; stepped[f] += ms
      continue
    }
    if (lines[i] == "") continue
    f = w[1]; ms = w[2]; nat = native[++files]
    path = lines[i]; sub(/^[^ ]+ [^ ]+ /, "", path)
    if (!(f in count)) order[++formats] = f
    if (ms < 0 || nat < 0) {
      printf "%-6s %-40s %10s %10s %8s\n", f, base(path), ms, nat, "n/a"
      continue
    }
    ratio = nat > 0 ? ms / nat : 0
    printf "%-6s %-40s %10.3f %10.3f %8.1f\n", f, base(path), ms, nat, ratio
    sumEngine[f] += ms; sumNative[f] += nat; ratios[f, ++count[f]] = ratio
  }
  print ""
  for (k = 1; k <= formats; k++) {
    f = order[k]; c = count[f]
    # The median of the files ratios, by insertion sort.
    for (i = 1; i <= c; i++) sorted[i] = ratios[f, i]
    for (i = 2; i <= c; i++)
      for (j = i; j > 1 && sorted[j - 1] > sorted[j]; j--) { t = sorted[j]; sorted[j] = sorted[j - 1]; sorted[j - 1] = t }
    median = c % 2 ? sorted[(c + 1) / 2] : (sorted[c / 2] + sorted[c / 2 + 1]) / 2
    printf "format %s: %d files, engine %.1f ms, native %.2f ms, ratio of the sums %.1f, per file %.1f-%.1f (median %.1f)\n",
      f, c, sumEngine[f], sumNative[f], (sumNative[f] > 0 ? sumEngine[f] / sumNative[f] : 0),
      sorted[1], sorted[c], median
  }
  print ""
  print "where the engine'"'"'s time goes (steps timed apart, shares of the conversions'"'"' sum):"
  for (k = 1; k <= formats; k++) {
    f = order[k]; whole = stepped[f]
    if (whole <= 0) continue
    line = sprintf("  %s %.1f ms:", f, whole)
    if (parser[f] > 0) line = line sprintf(" the platform'"'"'s X parser %s,", pct(parser[f], whole))
    if (text[f] > 0) line = line sprintf(" X text and its temporary file %s,", pct(text[f], whole))
    if (textures[f] > 0) line = line sprintf(" skins made and saved as pictures %s,", pct(textures[f], whole))
    if (normals[f] > 0)
      line = line sprintf(" the platform'"'"'s normals of %d meshes %s (D3DX meshes made and filled %s, normals computed %s, read back %s, released %s),",
        meshes[f], pct(normals[f], whole), pct(made[f], whole), pct(computed[f], whole),
        pct(readback[f], whole), pct(released[f], whole))
    rest = whole - parser[f] - text[f] - textures[f] - normals[f] - block[f]
    line = line sprintf(" the native block %s, the rest %s", pct(block[f], whole), pct(rest, whole))
    print line
  }
}'
