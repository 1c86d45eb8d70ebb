#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, skipping what is already there.
# Runs as root, or through sudo when that is available.
set -euo pipefail

# Wine's graphics, input and sound need the 32-bit libraries that wine32 only recommends; they are
# listed here so that a machine where Wine came without its recommends gets them too.
packages=(
  wine wine32:i386 wine64 fonts-wine fonts-liberation
  libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386 libosmesa6:i386 libvulkan1:i386
  libxrandr2:i386 libxcursor1:i386 libxi6:i386 libxinerama1:i386 libxcomposite1:i386
  libxrender1:i386 libxxf86vm1:i386 libxfixes3:i386 libasound2:i386 libpulse0:i386
  gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  g++-mingw-w64-i686 cmake make ninja-build googletest
  xvfb xauth xdotool x11-utils
  python3 python3-pil
  sound-theme-freedesktop  # real Ogg Vorbis files that the loader tests damage
  assimp-testmodels        # real model files the converters read
  g++ libassimp-dev        # the model benchmark's native reference, built for the host
  zip unzip                # test archives made at build time, and the check of their vectors
  openarena-data           # a real pk3 whose every member the archive reader extracts
  openarena-081-maps       # real levels the world loads, beside openarena-data's pak0.pk3
  openarena-081-textures   # and the pictures of those levels
  libz-mingw-w64-dev       # the zip benchmark's reference inflater (linked by it alone)
  python3-pyftpdlib        # the FTP server the FTP module's tests talk to
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
# A mirror in the middle of a sync can refuse one index (seen here: the i386 list of the
# security archive) while apt goes on with the others. Try a few times, then install from what apt
# has.
lists_whole=1
for attempt in 1 2 3; do
  if as_root apt-get update -qq; then break; fi
  if [ "$attempt" -eq 3 ]; then
    lists_whole=0
    echo "setup: the package lists did not all update; installing from what apt has" >&2
  else
    sleep 10
  fi
done
install_missing() {
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" "${missing[@]}" >/dev/null
}
if ! install_missing; then
  [ "$lists_whole" -eq 0 ] || exit 1
  # Without one architecture's security list, a library installed for amd64 from the security
  # archive has no i386 twin of its version; both architectures then take the release's own.
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "setup: installing again from $release's own archive" >&2
  install_missing -t "$release"
fi
