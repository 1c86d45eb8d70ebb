#!/usr/bin/env bash
# Converts every model file of the set-up's test models (X, 3DS, MD2 and studio MDL files, and
# the MD3 players of openarena-data) with the engine's converters (best of 5, under Wine) and imports the
# same files with the native importer of Debian's assimp-utils (best of 5), then prints the ratio
# per file and per format.
#   bench/model_convert.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
models=/usr/share/assimp/models

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
native_path() {
  if [ "$1" = md3 ]; then echo "${2%.md3}/lower.md3"; else echo "$2"; fi
}

best_native() {
  local best=999999 start end ms
  for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    assimp info "$1" >/dev/null 2>&1 || return 1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000 ))
    (( ms < best )) && best=$ms
  done
  echo "$best"
}

printf '%-6s %-40s %10s %10s %8s\n' format file engine_ms native_ms ratio
declare -A sum_engine sum_native
while read -r format ms path; do
  unix=${path#Z:}
  unix=${unix//\\//}
  name=$(basename "$unix")
  native_us=$(best_native "$(native_path "$format" "$unix")" || echo -1)
  if [[ $ms == -1* || $native_us == -1 ]]; then
    printf '%-6s %-40s %10s %10s %8s\n' "$format" "$name" "$ms" "$native_us" "n/a"
    continue
  fi
  native_ms=$(awk -v u="$native_us" 'BEGIN { printf "%.3f", u / 1000 }')
  ratio=$(awk -v a="$ms" -v b="$native_ms" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
  printf '%-6s %-40s %10s %10s %8s\n' "$format" "$name" "$ms" "$native_ms" "$ratio"
  sum_engine[$format]=$(awk -v s="${sum_engine[$format]:-0}" -v a="$ms" 'BEGIN { print s + a }')
  sum_native[$format]=$(awk -v s="${sum_native[$format]:-0}" -v a="$native_ms" 'BEGIN { print s + a }')
done <<< "$engine"
for format in "${!sum_engine[@]}"; do
  awk -v f="$format" -v a="${sum_engine[$format]}" -v b="${sum_native[$format]}" \
    'BEGIN { printf "format %s: engine %.1f ms, native %.1f ms, ratio %.2f\n", f, a, b, (b > 0 ? a / b : 0) }'
done
