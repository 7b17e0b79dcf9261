#!/usr/bin/env bash
# Installs what is missing, builds KestruneAV.exe and starts it under Wine in the
# project's own prefix. With a display the dashboard window opens; without one the
# program protects headless. Arguments are passed on (for instance /background).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
echo "Building KestruneAV.exe ..." >&2
bash "$root/tools/build.sh" win

export WINEPREFIX="$root/build/wine-run"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEDEBUG="${WINEDEBUG:--all}"
mode=display
[ -n "${DISPLAY:-}" ] || mode=headless
# Wine keeps one server per prefix, tied to the display it started with.
if [ "$(cat "$WINEPREFIX/.kav-mode" 2>/dev/null)" != "$mode" ]; then
  wineserver -k 2>/dev/null || true
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX ..." >&2
  wineboot -i >/dev/null 2>&1 || true
  wine winecfg -v win10 >/dev/null 2>&1 || true
  wineserver -w || true
fi
echo "$mode" >"$WINEPREFIX/.kav-mode"

data="$WINEPREFIX/drive_c/ProgramData/KestruneAV"
if [ "$mode" = headless ]; then
  echo "No display: Kestrune AV runs headless (the workers protect without a window)." >&2
else
  echo "Starting Kestrune AV on display $DISPLAY." >&2
fi
echo "Data folder: $data (C:\\ProgramData\\KestruneAV inside Wine). Stop with Ctrl+C." >&2
exec wine "$root/build/win/KestruneAV.exe" "$@"
