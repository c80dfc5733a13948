#!/usr/bin/env bash
# Retakes docs/screenshots/login.png, main.png, errores.png, pendientes.png, filtro.png,
# repcompania.png and repdocs.png: builds the demo's databases (scripts/demo with KEEP=1),
# starts a private Xvfb display and runs ui_screenshots over them, with the workstation in
# Colombian Spanish as the user's guide (docs/guia.md) describes it.
#   bash tests/ui/take-screenshots.sh      (ENVIOZVR_BUILD_DIR picks the build folder,
#                                           ENVIOZVR_DISPLAY the X display number)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
build="${ENVIOZVR_BUILD_DIR:-$root/build}"

demo_output=$(KEEP=1 ENVIOZVR_BUILD_DIR="$build" bash scripts/demo)
work=$(printf '%s\n' "$demo_output" | sed -n 's/^Kept: //p' | tail -1)
[ -d "$work" ] || { echo "the demo kept no folder" >&2; exit 1; }
cmake --build "$build" --target ui_screenshots -j 2 >/dev/null

display=":${ENVIOZVR_DISPLAY:-$((90 + RANDOM % 9))}"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
shots=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$work" "$shots"' EXIT
for _ in $(seq 50); do DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

DISPLAY="$display" LC_ALL=es_CO.UTF-8 LANG=es_CO.UTF-8 "$build/tests/ui/ui_screenshots" "$work" "$shots"
mkdir -p docs/screenshots
for f in login main errores pendientes filtro repcompania repdocs; do cp "$shots/$f.png" docs/screenshots/; done
echo "docs/screenshots: login, main, errores, pendientes, filtro, repcompania and repdocs updated"
