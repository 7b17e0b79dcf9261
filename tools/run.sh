#!/usr/bin/env bash
# Installs what is missing, builds KestruneAV.exe and starts it under Wine in the
# project's own prefix. With a display the dashboard window opens; without one the
# program protects headless. Either way its activity lines show here as they happen.
# Arguments are passed on (for instance /background).
#
# The program sees nothing of the machine outside the prefix: the prefix's Desktop,
# Documents, Downloads and the other shell folders are folders of its own, never
# links to the Linux home folder, and C: is its only drive. The program watches,
# snapshots and quarantines what it finds there.
#
# For the end-to-end test: KAV_SKIP_BUILD=1 starts the program already built, and
# KAV_RUN_PREFIX names another prefix than build/wine-run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ "${KAV_SKIP_BUILD:-}" != 1 ]; then
  bash "$root/tools/setup.sh"
  echo "Building KestruneAV.exe ..." >&2
  bash "$root/tools/build.sh" win
fi
exe="$root/build/win/KestruneAV.exe"
[ -f "$exe" ] || { echo "No $exe: run without KAV_SKIP_BUILD to build it." >&2; exit 1; }

# Not WINEPREFIX: one set for the person's own Wine programs must not be changed here.
export WINEPREFIX="${KAV_RUN_PREFIX:-$root/build/wine-run}"
# No menu entries or desktop files in the Linux home for the shortcuts the program makes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=};winemenubuilder.exe=d"
# warn+seh is the channel on which Wine prints what the program passes to
# OutputDebugString: its activity lines, filtered below.
export WINEDEBUG=-all,warn+seh
mode=display
[ -n "${DISPLAY:-}" ] || mode=headless
# Wine keeps one server per prefix, tied to the display it started with.
if [ "$(cat "$WINEPREFIX/.kav-mode" 2>/dev/null)" != "$mode" ]; then
  wineserver -k 2>/dev/null || true
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX ..." >&2
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wine winecfg -v win10 >/dev/null 2>&1 || true
  wineserver -w || true
fi
echo "$mode" >"$WINEPREFIX/.kav-mode"

# Wine makes a profile's shell folders links to the home folder (or to its XDG
# folders) when it makes the prefix, and when it first makes a profile for another
# USER. A link is replaced by an empty folder, removed as itself so that nothing
# behind it is touched; a profile not made yet gets its folders before Wine makes
# links there. Wine keeps a folder it finds and makes no link again, also when it
# updates the prefix.
shell_folders=(Desktop Documents Downloads Music Pictures Videos AppData/Roaming/Microsoft/Windows/Templates)
wine_user=${USER:-$(id -un)}
profile="$WINEPREFIX/drive_c/users/$wine_user"
if [ -L "$profile" ]; then
  echo "$profile is a link to $(readlink -- "$profile"): not started. Make it a folder of the prefix." >&2
  exit 1
fi
for user_dir in "$WINEPREFIX/drive_c/users"/*; do
  [ -d "$user_dir" ] && [ ! -L "$user_dir" ] || continue
  for entry in "$user_dir"/* "$user_dir/AppData/Roaming/Microsoft/Windows/Templates"; do
    [ -L "$entry" ] || continue
    target=$(readlink -- "$entry")
    rm -f -- "$entry"
    mkdir -- "$entry"
    echo "${entry#"$WINEPREFIX/"} was a link to $target; it is now a folder of the prefix (nothing in $target was touched)." >&2
  done
done
for folder in "${shell_folders[@]}"; do
  mkdir -p -- "$profile/$folder"
done

# Wine's drive Z: is the whole Linux file system, which a Full Scan or a new-disk
# scan would walk like any fixed disk. Drives other than C: are taken away (the link
# only); the program runs from a copy inside the prefix, renamed into place so that a
# running copy keeps its file.
for drive in "$WINEPREFIX"/dosdevices/?:; do
  [ -L "$drive" ] && [ "${drive##*/}" != c: ] || continue
  echo "Drive ${drive##*/} (a link to $(readlink -- "$drive")) is taken out of the prefix." >&2
  rm -f -- "$drive"
done
copy_dir="$WINEPREFIX/drive_c/KestruneBuild"
mkdir -p "$copy_dir"
if ! cmp -s "$exe" "$copy_dir/KestruneAV.exe"; then
  cp "$exe" "$copy_dir/KestruneAV.exe.new"
  mv -f "$copy_dir/KestruneAV.exe.new" "$copy_dir/KestruneAV.exe"
fi

data="$WINEPREFIX/drive_c/ProgramData/KestruneAV"
if [ "$mode" = headless ]; then
  echo "No display: Kestrune AV runs headless (the workers protect without a window)." >&2
else
  echo "Starting Kestrune AV on display $DISPLAY." >&2
fi
echo "Downloads folder: $profile/Downloads (C:\\users\\$wine_user\\Downloads inside Wine)." >&2
echo "  Save a file there and watch the activity lines below: protection scans it once it is complete." >&2
echo "Data folder: $data (C:\\ProgramData\\KestruneAV inside Wine). Stop with Ctrl+C." >&2
echo "Program: $copy_dir/KestruneAV.exe (C:\\KestruneBuild\\KestruneAV.exe inside Wine), copied from $exe." >&2

# Only the activity lines of Wine's output reach the terminal; all of it is kept in
# the prefix, for when the program does not start. mawk reads a pipe in blocks
# unless told to read it line by line.
wine_output="$WINEPREFIX/wine-output.log"
awk_args=()
case "$(awk -W version 2>&1 </dev/null)" in *mawk*) awk_args=(-W interactive) ;; esac
# The filter ignores Ctrl+C, so that it still prints what the program writes as it ends.
exec 4> >(trap '' INT; exec env LC_ALL=C awk "${awk_args[@]}" -v raw="$wine_output" -f "$root/tools/activity_lines.awk")
filter=$!
# A program without a console, as this one is, lets Wine pass over Ctrl+C: the
# script ends it, and exits as an interrupted command does (130, or 143 on TERM).
stopped=""
stop() { stopped=$1; kill -TERM "$program" 2>/dev/null; }
trap 'stop 130' INT
trap 'stop 143' TERM
set +e
cd "$copy_dir"  # a working folder Wine can name
wine 'C:\KestruneBuild\KestruneAV.exe' "$@" 2>&4 &
program=$!
exec 4>&-
while :; do
  wait "$program"
  status=$?
  kill -0 "$program" 2>/dev/null || break
done
[ -z "$stopped" ] || status=$stopped
# The Wine server and the prefix's own processes keep the pipe open a few seconds
# longer; what the program wrote is read well before that.
for _ in 1 2 3 4 5 6 7 8 9 10; do
  kill -0 "$filter" 2>/dev/null || break
  sleep 0.1
done
kill "$filter" 2>/dev/null
if [ -z "$stopped" ] && [ "$status" -ne 0 ]; then
  echo "Kestrune AV ended with status $status. Wine's own output: $wine_output" >&2
fi
exit "$status"
