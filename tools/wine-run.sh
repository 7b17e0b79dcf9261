#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (build/wine-tests
# unless WINEPREFIX is set), printing the program's debug-channel lines on stderr.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine-tests}"
export WINEDEBUG="${WINEDEBUG:--all,warn+seh}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
fi
exec wine "$@"
