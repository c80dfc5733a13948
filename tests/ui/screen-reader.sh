#!/usr/bin/env bash
# Reads the desktop program as a screen reader does: the program runs on a private Xvfb
# display with Qt's accessibility bridge on, under a private D-Bus session with its own
# accessibility bus, over the demo's databases; tests/ui/screen-reader.py (pyatspi) then
# reads the main window's tree (every input and button named or labelled) and, with the
# error viewer's filter row shown and a text typed into a filter cell, the focused object.
# It prints what it read, leaves screenshots in the output folder and fails at the first
# check that does not hold; it is not run by ctest.
#
#   bash tests/ui/screen-reader.sh [OUTPUT]    (default: a new folder under /tmp)
#   ENVIOZVR_BUILD_DIR picks the build folder, ENVIOZVR_DISPLAY the X display number.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
build="${ENVIOZVR_BUILD_DIR:-$root/build}"
out="${1:-$(mktemp -d /tmp/enviozvr-reader.XXXXXX)}"
mkdir -p "$out"

if [ -z "${ENVIOZVR_READER_SESSION:-}" ]; then
    # Everything below runs again inside a D-Bus session of its own.
    exec env ENVIOZVR_READER_SESSION=1 dbus-run-session -- bash "$0" "$out"
fi

demo_output=$(KEEP=1 ENVIOZVR_BUILD_DIR="$build" bash scripts/demo)
work=$(printf '%s\n' "$demo_output" | sed -n 's/^Kept: //p' | tail -1)
[ -d "$work" ] || { echo "the demo kept no folder" >&2; exit 1; }

export DISPLAY=":${ENVIOZVR_DISPLAY:-$((80 + RANDOM % 9))}"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program_pid=""
bus_pid=""
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    [ -z "$bus_pid" ] || kill "$bus_pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
bus_pid=$!
sleep 1

(cd /tmp && exec env -u LC_ALL LANG=C.UTF-8 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    XDG_CONFIG_DIRS="$work/xdg" "$build/app/enviozvr" >"$out/program.log" 2>&1) &
program_pid=$!

window() {  # title; waits for it
    local w=""
    for _ in $(seq 50); do
        w=$(xdotool search --name "^$1\$" 2>/dev/null | tail -1) && [ -n "$w" ] && break
        sleep 0.2
    done
    [ -n "$w" ] || { echo "FAILED: no window \"$1\"" >&2; exit 1; }
    echo "$w"
}
focus() { xdotool windowfocus --sync "$(window "$1")"; }
reader() { /usr/bin/python3 tests/ui/screen-reader.py "$@"; }

main="Envío de información ZVR"
errors="Mensajes de error o advertencia del envio"

focus "Control de acceso"
xdotool type --delay 20 SYSDBA
xdotool key Tab
xdotool type --delay 20 masterkey
xdotool key F2
focus "$main"
xdotool mousemove 150 51 click 1
sleep 0.3
xdotool key Return
sleep 1
import -window root "$out/01-main.png"

echo "== The main window as read aloud"
reader main | tee "$out/main-window.txt"

echo "== A filter cell of the error viewer while typing in it"
xdotool key alt+m
focus "$errors"
sleep 1
xdotool key alt+f
sleep 0.5
# The filter cell of "Pref", under its title, clicked and typed into while the reader
# listens for the focus.
reader watch 6 >"$out/focus.txt" &
listener=$!
sleep 2
xdotool mousemove 84 45 click 1
xdotool type FA
sleep 0.5
import -window root "$out/02-filter-cell.png"
wait "$listener"
cat "$out/focus.txt"
tail -1 "$out/focus.txt" | grep -q "^focused: text 'Filtro Pref'" ||
    { echo "FAILED: the focus is not reported on the filter cell" >&2; exit 1; }
reader tree >"$out/tree.txt"
grep -c "Filtro " "$out/tree.txt" | sed 's/^/filter cells in the tree: /'
echo "ok: the screen reader reads the main window's controls and the filter cell in focus"
echo "Read in $out"
