#!/usr/bin/env bash
# Installs what the build and the tests need, only when something is missing
# and only when run as root. Safe to call before every build.
set -euo pipefail

pkgs=(cmake make g++ python3 zlib1g-dev libgtest-dev nlohmann-json3-dev libcxxopts-dev
      g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32 xvfb xauth
      g++-mingw-w64-x86-64 wine64 x11-apps imagemagick)

need_i386=0
dpkg --print-foreign-architectures | grep -qx i386 || need_i386=1
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ "$need_i386" = 0 ] && [ ${#missing[@]} = 0 ] && exit 0

if [ "$(id -u)" != 0 ]; then
  echo "missing packages (run as root to install): ${missing[*]}" >&2
  exit 0
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
[ "$need_i386" = 1 ] && dpkg --add-architecture i386
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
