#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages only, and
# fetches Dear ImGui's Debian source package into build/third_party. Quick when
# everything is already present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
third="$root/build/third_party"

packages=(cmake g++ make googletest libgtest-dev mingw-w64 wine wine64 xvfb xauth
          x11-utils imagemagick icewm xdotool dpkg-dev libssl-dev nsis)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# apt-get source needs a deb-src entry. It is derived from the machine's own
# Debian entry so that no package server is named here.
need_src=0
[ -f "$third/imgui/imgui.h" ] || need_src=1
if [ "$need_src" = 1 ] && ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      > /etc/apt/sources.list.d/kestrune-deb-src.sources
  elif [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' \
      > /etc/apt/sources.list.d/kestrune-deb-src.list
  fi
  updated=0
else
  updated=1
fi

if [ "${#missing[@]}" -gt 0 ] || { [ "$need_src" = 1 ] && [ "$updated" = 0 ]; }; then
  echo "setup: installing ${missing[*]:-imgui source}" >&2
  apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "$need_src" = 1 ]; then
  mkdir -p "$third"
  rm -rf "$third/fetch" && mkdir -p "$third/fetch"
  (cd "$third/fetch" && apt-get source -qq imgui >/dev/null 2>&1) || {
    apt-get update -qq && (cd "$third/fetch" && apt-get source -qq imgui >/dev/null)
  }
  src=$(find "$third/fetch" -maxdepth 1 -type d -name 'imgui-*' | head -n 1)
  [ -n "$src" ] && [ -f "$src/imgui.h" ] || { echo "setup: imgui source not found" >&2; exit 1; }
  rm -rf "$third/imgui" && mv "$src" "$third/imgui" && rm -rf "$third/fetch"
fi
