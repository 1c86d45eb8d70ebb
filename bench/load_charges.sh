#!/usr/bin/env bash
# Loads every real file of the set-up's packages (the X, 3DS, MD2 and studio MDL files of the test
# models, the MD3 players of openarena-data and every level of openarena-081-maps) on the device
# and prints what each load charged to its budget against the bytes it was given: per format the
# largest ratio and charge, then the files whose ratio is highest.
#   bench/load_charges.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
models=/usr/share/assimp/models
maps=/usr/share/games/openarena/baseoa/pak1-maps.pk3

args=()
win() { local p=$1; echo "Z:${p//\//\\}"; }
for f in "$models"/X/*.x "$models"/X/*.X "$models"/3DS/*.3ds "$models"/3DS/*.3DS \
  "$models"/MD2/*.md2; do
  [ -f "$f" ] && args+=(model "$(win "$f")")
done
while IFS= read -r -d '' f; do
  [ "$(head -c 4 "$f")" = IDST ] && args+=(model "$(win "$f")")
done < <(find "$models/MDL" -iname '*.mdl' -print0 | sort -z)
players=$build/test-data/openarena/models/players
if [ -d "$players" ]; then
  for p in "$players"/*/; do args+=(model "$(win "${p%/}.md3")"); done
fi
levels=$(mktemp -d)
trap 'rm -rf "$levels"' EXIT
if [ -f "$maps" ]; then
  # The levels' archive beside the archives of openarena's textures and shaders, as a player has
  # them; the bytes a level is given are those of all three.
  for a in "$maps" "$(dirname "$maps")"/pak0.pk3 "$(dirname "$maps")"/pak4-textures.pk3; do
    [ -f "$a" ] && ln -s "$a" "$levels/"
  done
  for m in $(unzip -Z1 "$maps" 'maps/*.bsp'); do
    args+=(world "$(win "$levels/pak1-maps.pk3")" "$m")
  done
fi

env -u DISPLAY WINE_RUN_KIND=game-test "$root/scripts/wine-run" \
  "$build/bench_load_charges.exe" "${args[@]}" | tr -d '\r' |
  awk '/^(model|world) [0-9]+ [0-9]+ [0-9]+ -?[0-9]+ [0-9]+ / {
    kind = $1; name = $7
    for (i = 8; i <= NF; i++) name = name " " $i
    fmt = kind == "world" ? "level" : tolower(name); sub(/.*\./, "", fmt)
    if (fmt == name || fmt ~ /[\\\/]/) fmt = "3ds"
    ratio = $2 > 0 ? $3 / $2 : 0
    printf "%-6s %10d %11d %11d %6.2f %5d %s\n", fmt, $2, $3, $4, ratio, $5, name
    if (ratio > best[fmt]) { best[fmt] = ratio; bestName[fmt] = name }
    if ($3 > most[fmt]) { most[fmt] = $3; mostName[fmt] = name }
    if ($4 > 0 && $3 / $4 > margin[fmt]) margin[fmt] = $3 / $4
    if ($5 != 0) failed[fmt]++
    count[fmt]++
  }
  END {
    print ""
    print "format files failed largest-ratio (file) largest-charge (file) largest-share-of-limit"
    for (f in count)
      printf "%-6s %5d %5d %8.2f %s %11d %s %.3f\n", f, count[f], failed[f] + 0, best[f],
             bestName[f], most[f], mostName[f], margin[f]
  }'
