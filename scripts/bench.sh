#!/usr/bin/env bash
# Sets everything up, builds, and runs every benchmark under Wine on a private Xvfb display, one
# after the other so that none disturbs another's figures.
#   scripts/bench.sh            all of them
#   scripts/bench.sh --profile  the game's start-up, menu and busy board sampled too, with
#                               reports of where the time goes (build/profile-*.txt)
#   scripts/bench.sh --models   the model conversions alone
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
profile=
[ "${1:-}" = --profile ] && profile=1
"$root/scripts/setup.sh"
BUILD_DIR=$build "$root/scripts/build.sh" >/dev/null
if [ "${1:-}" = --models ]; then
  exec "$root/bench/model_convert.sh" "$build"
fi
# A prefix of its own with Wine's Direct3D defaults, as the game has them.
run() { env -u DISPLAY WINE_RUN_KIND=game-test "$root/scripts/wine-run" "$@" | tr -d '\r'; }
run "$build/bench_frame_pacing.exe"
run "$build/bench_sprites.exe"
run "$build/bench_id_list.exe"
run "$build/bench_file_lines.exe"
run "$build/bench_objects.exe"
run "$build/bench_object_blocks.exe"
run "$build/bench_zip_inflate.exe"
run "$build/bench_world_load.exe"
run "$build/bench_texture_modifiers.exe"
run "$build/bench_particles.exe"
"$root/bench/model_convert.sh" "$build"
(cd "$build/game" && run "$build/bench_game_frames.exe" . ${profile:+../samples})
if [ -n "$profile" ]; then
  for what in engine pictures menu board; do
    /usr/bin/python3 "$root/bench/profile_report.py" "$build/samples-$what.txt" \
      "$build/bench_game_frames.exe" > "$build/profile-$what.txt"
    echo "where the game's thread spends its time, $what:"
    head -25 "$build/profile-$what.txt"
  done
fi
