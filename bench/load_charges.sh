#!/usr/bin/env bash
# Loads every real file of the set-up's packages (the X, 3DS, MD2 and studio MDL files of the test
# models, the MD3 players of openarena-data and every level of openarena-081-maps), the pictures
# of the game's Data and of the test models (each as a texture and as a bitmap) and the game's
# waves on the device, and prints what each load charged to its budget against the bytes it was
# given, a line a file (a model's charge is its object's own load, not the pictures its meshes
# name), then a row a format in the shape of the README's table, the loads nearest their budgets,
# the loads that held the most at once and the slowest loads. A generated object file of 14,000
# meshes and a generated 2,048-square picture of one colour (the best a picture compresses) are
# loaded too and shown apart.
#   bench/load_charges.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: the engine is given the players' paths as Z:\ paths.
build=$(cd "${1:-$root/build}" && pwd)
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
data=$build/game/Data
pictures() { find "$@" -type f \( -iname '*.png' -o -iname '*.jpg' -o -iname '*.jpeg' -o \
  -iname '*.bmp' -o -iname '*.tga' -o -iname '*.dds' \) -print0 2>/dev/null | sort -z; }
while IFS= read -r -d '' f; do args+=(picture "$(win "$f")"); done < <(pictures "$data" "$models")
while IFS= read -r -d '' f; do
  args+=(wave "$(win "$f")")
done < <(find "$data" -type f -iname '*.wav' -print0 2>/dev/null | sort -z)
args+=(meshes 14000)
levels=$(mktemp -d) square=$(mktemp -d)
trap 'rm -rf "$levels" "$square"' EXIT
/usr/bin/python3 -c 'import sys; from PIL import Image
Image.new("RGB", (2048, 2048), (40, 90, 160)).save(sys.argv[1])' "$square/square-2048.png"
args+=(picture "$(win "$square/square-2048.png")")
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

# The machine may be shared: its load is part of the record (the peaks above all).
echo "load average (1, 5, 15 minutes) at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
env -u DISPLAY WINE_RUN_KIND=game-test "$root/scripts/wine-run" \
  "$build/bench_load_charges.exe" "${args[@]}" | tr -d '\r' |
  awk '
  function base(name) { sub(/.*[\\\/]/, "", name); return name }
  function bytes(n) {
    if (n < 1024) return sprintf("%d B", n)
    return n < 1048576 ? sprintf("%.0f KB", n / 1024) : sprintf("%.1f MB", n / 1048576)
  }
  function span(f) {
    return smallest[f] == largest[f] ? bytes(largest[f]) : bytes(smallest[f]) "-" bytes(largest[f])
  }
  function ratio(r) { return r >= 10 ? sprintf("%.0f", r) : sprintf("%.2f", r) }
  /^start [0-9]+$/ { start = $2 }
  /^(model|world|image|bitmap|wave|meshes-own|meshes-shared) / && $6 + 0 > mostPeak {
    mostPeak = $6 + 0
  }
  /^(image|bitmap) [0-9]+ [0-9]+ [0-9]+ -?[0-9]+ [0-9]+ [0-9]+ [0-9]+ .*square-2048\.png$/ {
    square = square sprintf("  as %s: %.1f MB of its %.1f MB budget (error %d), holding %.1f MB" \
      " at most\n", $1 == "image" ? "a texture with its mip levels" : "a bitmap", $3 / 1048576, \
      $4 / 1048576, $5, $7 / 1048576)
    squareBytes = $2
    next
  }
  /^(model|world|image|bitmap|wave) [0-9]+ [0-9]+ [0-9]+ -?[0-9]+ [0-9]+ [0-9]+ [0-9]+ / {
    kind = $1; name = $9
    for (i = 10; i <= NF; i++) name = name " " $i
    fmt = kind == "world" ? "level" : tolower(name); sub(/.*\./, "", fmt)
    if (fmt == name || fmt ~ /[\\\/]/) fmt = "3ds"
    if (kind == "image" || kind == "bitmap") fmt = "picture"
    if (kind == "wave") fmt = "wave"
    shown = base(name) (kind == "bitmap" ? " as a bitmap" : "")
    r = $2 > 0 ? $3 / $2 : 0
    printf "%-7s %10d %11d %11d %7.2f %5d %7.1f %6d ms %s\n", kind == "bitmap" ? "bitmap" : fmt, $2,
      $3, $4, r, $5, $7 / 1048576, $8, name
    if (kind != "bitmap") count[fmt]++
    if (!(fmt in smallest) || $2 < smallest[fmt]) smallest[fmt] = $2
    if ($2 > largest[fmt]) largest[fmt] = $2
    # A refused load charged what it made before it stopped: not a figure of a real load.
    if ($5 != 0) { failed[fmt]++; failedNames[fmt] = failedNames[fmt] " " shown; next }
    if (r > best[fmt]) { best[fmt] = r; bestName[fmt] = shown }
    if ($3 > most[fmt]) { most[fmt] = $3; mostName[fmt] = shown }
    if ($4 > 0 && $3 / $4 > share[fmt]) { share[fmt] = $3 / $4; shareName[fmt] = shown }
    n++
    if ($4 > 0) loads[n] = sprintf("%.3f %.1f %.1f %s", $3 / $4, $3 / 1048576, $4 / 1048576, shown)
    raises[n] = sprintf("%.1f %s", $7 / 1048576, shown)
    slowest[n] = sprintf("%d %s", $8, shown)
  }
  /^meshes-(own|shared) [0-9]+ [0-9]+ [0-9]+ -?[0-9]+ [0-9]+ [0-9]+ [0-9]+ / {
    meshes = meshes sprintf("  %s in %s buffers: %.1f MB of its %.1f MB budget (error %d), holding %.1f MB at most, %d ms\n", \
      $9 " " $10 " (" bytes($2) ")", $1 == "meshes-own" ? "its own" : "shared", $3 / 1048576, \
      $4 / 1048576, $5, $7 / 1048576, $8)
  }
  # The top k of list (a number first in each entry), largest first.
  function top(list, k,    i, j, t, m) {
    m = 0
    for (i in list) sorted[++m] = list[i]
    for (i = 1; i <= m && i <= k; i++)
      for (j = i + 1; j <= m; j++)
        if (sorted[j] + 0 > sorted[i] + 0) { t = sorted[i]; sorted[i] = sorted[j]; sorted[j] = t }
    return m < k ? m : k
  }
  END {
    print ""
    print "Per format, the loads that succeeded (sizes: the bytes each load was given; MB = 2^20 bytes):"
    print ""
    print "| files | sizes | largest charge ÷ size | largest charge | its share of its budget |"
    print "|---|---|---|---|---|"
    split("x 3ds md2 mdl md3 level picture wave", order, " ")
    split("X|3DS|MD2|studio MDL|MD3 players|levels|pictures|waves", label, "|")
    for (k = 1; k <= 8; k++) {
      f = order[k]
      if (!(f in count)) continue
      files = count[f] (failed[f] ? ", " failed[f] " refused:" failedNames[f] : "")
      printf "| %s (%s) | %s | %s (%s) | %.1f MB (%s) | %.2f (%s) |\n", label[k], files, \
        span(f), ratio(best[f]), bestName[f], most[f] / 1048576,
        mostName[f], share[f], shareName[f]
    }
    print ""
    print "A generated object file of one-triangle meshes, a frame each:"
    printf "%s", meshes
    print ""
    print "The loads nearest their budgets (share, charge of budget MB):"
    k = top(loads, 8)
    for (i = 1; i <= k; i++) { split(sorted[i], w, " "); sub(/^[^ ]+ [^ ]+ [^ ]+ /, "", sorted[i])
      printf "  %.2f  %.1f of %.1f MB  %s\n", w[1], w[2], w[3], sorted[i] }
    delete sorted
    print ""
    print "The loads that held the most at once (MB above the working set each started from, its first two frames included):"
    k = top(raises, 8)
    for (i = 1; i <= k; i++) { split(sorted[i], w, " "); sub(/^[^ ]+ /, "", sorted[i])
      printf "  %6.1f  %s\n", w[1], sorted[i] }
    delete sorted
    print ""
    print "The slowest loads (ms, the command alone; a model with the pictures its meshes name):"
    k = top(slowest, 8)
    for (i = 1; i <= k; i++) { split(sorted[i], w, " "); sub(/^[^ ]+ /, "", sorted[i])
      printf "  %6d  %s\n", w[1], sorted[i] }
    print ""
    printf "A generated 2,048-square picture of one colour (%s):\n%s", bytes(squareBytes), square
    print ""
    printf "The process with its device, before its first load: %.1f MB; its peak over every" \
      " load: %.1f MB\n", start / 1048576, mostPeak / 1048576
  }'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
