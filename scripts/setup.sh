#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, skipping what is already there.
# Runs as root, or through sudo when that is available.
set -euo pipefail

packages=(
  wine wine32:i386 wine64 fonts-wine fonts-liberation
  gstreamer1.0-plugins-good:i386
  g++-mingw-w64-i686 cmake make ninja-build googletest
  xvfb xauth xdotool x11-utils
  python3 python3-pil
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing=()
for p in "${packages[@]}"; do
  # dpkg-query knows "name:arch" for foreign packages and plain names for native ones.
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root dpkg --add-architecture i386
fi
as_root apt-get update -qq
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
