#!/usr/bin/env bash
# Drives the desktop program as a user would, on a private Xvfb display with xdotool, over
# the demo's databases (scripts/demo with KEEP=1) plus a longer queue: login, company
# choice, F1 (the user's guide), send options and a send, the error viewer (sort by a
# title, the filter row with a text and a date, a refused filter text then Enter again,
# incremental search and Esc, "Find text", copy to the clipboard, save as every format and
# as X.TXT, which exists: the question before replacing it), the pending viewer and F1 in
# it, and both settings editors (F2, navigator Post, a too-long text, a character
# Windows-1252 lacks, a refused delete and its undo, Ctrl+Tab to "Grabar").
#
# It stops at the first step whose window is missing and leaves a screenshot per step in
# the output folder, to be looked at; it is not run by ctest.
#
#   bash tests/ui/drive-screens.sh [OUTPUT]    (default: a new folder under /tmp)
#   ENVIOZVR_BUILD_DIR picks the build folder, ENVIOZVR_DISPLAY the X display number;
#   ENVIOZVR_WALK=times-and-documents walks only the last steps (es_CO times, a viewer made
#   small and wide, "Tipo documento" on a new row; without and with twm);
#   ENVIOZVR_WALK=small-screens only the error viewer at QT_SCALE_FACTOR=2 and on a
#   1024x600 display (the display number plus 100).
#
# Coordinates are the screens' own fixed layouts; the windows open at the top left of a
# display without a window manager. Without one, the X input focus does not come back to
# a window when a dialog over it closes: each step gives it back (xdotool windowfocus).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
build="${ENVIOZVR_BUILD_DIR:-$root/build}"
out="${1:-$(mktemp -d /tmp/enviozvr-screens.XXXXXX)}"
mkdir -p "$out"

demo_output=$(KEEP=1 ENVIOZVR_BUILD_DIR="$build" bash scripts/demo)
work=$(printf '%s\n' "$demo_output" | sed -n 's/^Kept: //p' | tail -1)
[ -d "$work" ] || { echo "the demo kept no folder" >&2; exit 1; }
origin="$work/servidor/datos/001/nivora.fdb"

# A longer queue for the viewers (company 004 is inactive: the send leaves it alone), and
# a trigger that refuses to delete company 004.
iconv -f UTF-8 -t CP1252 >"$work/more.sql" <<'EOF'
SET TERM ^;
EXECUTE BLOCK AS
DECLARE i INTEGER = 0;
BEGIN
  WHILE (i < 60) DO BEGIN
    INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER)
      VALUES (500 + :i, '004', 236, IIF(MOD(:i, 3) = 0, 'FA', 'FV'), 1000 + :i, 'V0' || MOD(:i, 10), CURRENT_DATE - MOD(:i, 5), DATEADD(:i MINUTE TO TIME '08:00:00'), 'I');
    INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER, RPEV_ERROR)
      VALUES (600 + :i, '004', 236, IIF(MOD(:i, 3) = 0, 'FA', 'FV'), 2000 + :i, 'N0' || MOD(:i, 10), CURRENT_DATE - MOD(:i, 7), DATEADD(:i MINUTE TO TIME '09:00:00'), 'I',
      'Operation violates CHECK constraint TOTAL_NO_NEGATIVO (intento ' || :i || ') Ñandú');
    INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER)
      VALUES (700 + :i, '002', 236, 'FV', '1001', 'V0' || MOD(:i, 10), CURRENT_DATE, DATEADD(:i MINUTE TO TIME '07:00:00'), 'I');
    i = i + 1;
  END
END^
CREATE EXCEPTION NO_BORRAR 'La compañía tiene eventos y no se puede borrar'^
CREATE TRIGGER REPLICA_COMPANIA_BD FOR REPLICA_COMPANIA BEFORE DELETE AS
BEGIN
  IF (OLD.RPCO_COD = '004') THEN EXCEPTION NO_BORRAR;
END^
SET TERM ;^
COMMIT;
EOF
isql-fb -q -user SYSDBA -password masterkey -i "$work/more.sql" "$origin"

# A destination whose server takes the connection and never answers, for
# keyboard_and_waiting_send below: nothing listens on its port until then, so the sends
# before it find it refused at once.
silent_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/silent.sql" <<SQL
INSERT INTO REPLICA_COMPANIA VALUES ('006', 'Bodega sin respuesta', '127.0.0.1/$silent_port:$work/servidor', 'N', 1, 'S');
INSERT INTO REPLICA_EVENTOS (RPEV_ID, RPEV_COMPANIA, RPEV_TIPO, RPEV_PREF, RPEV_NUMERO, RPEV_CODIGO, RPEV_FECREG, RPEV_HORAREG, RPEV_OPER)
  VALUES (900, '006', 236, 'FV', '1001', 'V01', CURRENT_DATE, '10:00:00', 'I');
COMMIT;
SQL
isql-fb -q -user SYSDBA -password masterkey -i "$work/silent.sql" "$origin"

export DISPLAY=":${ENVIOZVR_DISPLAY:-$((80 + RANDOM % 9))}"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
program_pid=""
cleanup() {
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

step=0
shot() {  # name
    sleep 0.5
    step=$((step + 1))
    import -window root "$out/$(printf '%02d' $step)-$1.png"
}
window() {  # title; waits for it
    local w=""
    for _ in $(seq 50); do
        w=$(xdotool search --name "^$1\$" 2>/dev/null | tail -1) && [ -n "$w" ] && break
        sleep 0.2
    done
    [ -n "$w" ] || { echo "FAILED: no window \"$1\" (screenshots in $out)" >&2; exit 1; }
    echo "$w"
}
focus() { xdotool windowfocus --sync "$(window "$1")"; }
gone() {  # title; fails when the window is still there
    sleep 0.5
    ! xdotool search --name "^$1\$" >/dev/null 2>&1 || { echo "FAILED: \"$1\" still open" >&2; exit 1; }
}
there() { window "$1" >/dev/null; }
click() { xdotool mousemove "$1" "$2" click "${3:-1}"; sleep 0.3; }
check() {  # description, command...
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; exit 1; fi
}

main="Envío de información ZVR"
errors="Mensajes de error o advertencia del envio"
pending="Documentos pendientes por transmitir"

# ---- The workstation in Colombian Spanish, "Tipo documento" on a new row, a viewer made
# small: without a window manager, then under twm. Clicks are relative to the window, so
# the frames of a window manager do not move them.
wclick() {  # title x y [button]
    xdotool mousemove --window "$(window "$1")" "$2" "$3" click "${4:-1}"
    sleep 0.3
}
walk_times_and_documents() {  # label
    local label=$1
    # Titles as patterns: "í" and "ó" compared whatever the walk's own locale.
    local mainw="Env.*o de informaci.*n ZVR" docs="Configuraci.*n documentos"
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    sleep 1
    (cd /tmp && exec env -u LC_ALL LANG=es_CO.UTF-8 XDG_CONFIG_DIRS="$work/xdg" "$build/app/enviozvr" >"$out/program-$label.log" 2>&1) &
    program_pid=$!
    focus "Control de acceso"
    xdotool type --delay 20 SYSDBA
    xdotool key Tab
    xdotool type --delay 20 masterkey
    xdotool key F2
    focus "$mainw"
    wclick "$mainw" 150 51
    xdotool key Return
    sleep 1

    echo "== es_CO times in the error viewer ($label)"
    wclick "$mainw" 345 116
    focus "$errors"
    sleep 1
    shot "$label-es-co-hora-whole"
    wclick "$errors" 494 9
    # "Hora" comes after "Fecha": its filter cell sits right of x = 575.
    wclick "$errors" 600 45
    xdotool type "<= 9:05:00 a. m."
    xdotool key Return
    sleep 0.5
    shot "$label-es-co-filter-morning"
    focus "$errors"
    wclick "$errors" 300 100
    xdotool key ctrl+a ctrl+c
    sleep 0.5
    rows=$(xclip -o -selection clipboard 2>/dev/null | grep -c "Operation violates" || true)
    check "\"<= 9:05:00 a. m.\" keeps the six events of 9:00 to 9:05 ($rows)" [ "$rows" -eq 6 ]
    wclick "$errors" 600 45
    xdotool key ctrl+a
    xdotool type "> 9:55:00 A. M."
    xdotool key Return
    sleep 0.5
    focus "$errors"
    wclick "$errors" 300 100
    xdotool key ctrl+a ctrl+c
    sleep 0.5
    xclip -o -selection clipboard >"$out/$label-after-955.txt" 2>/dev/null || true
    rows=$(grep -c "Operation violates" "$out/$label-after-955.txt" || true)
    early=$(grep -cE "(^|[^0-9])9:([0-4][0-9]|5[0-5]):" "$out/$label-after-955.txt" || true)
    check "\"> 9:55:00 A. M.\" keeps the events after 9:55 ($rows), none earlier ($early)" \
        [ "$rows" -ge 4 -a "$early" -eq 0 ]
    shot "$label-es-co-filter-capitals"
    # As small as it gets: the row count, the navigator and "Cerrar" stay.
    xdotool windowsize "$(window "$errors")" 50 50
    sleep 0.5
    shot "$label-viewer-smallest"
    xdotool windowsize "$(window "$errors")" 1300 420
    sleep 0.5
    shot "$label-viewer-wide-error-column"
    # "Cerrar" sits at the bottom right corner, whatever the size.
    eval "$(xdotool getwindowgeometry --shell "$(window "$errors")")"
    wclick "$errors" $((WIDTH - 35)) $((HEIGHT - 16))
    gone "$errors"

    echo "== Tipo documento on a new row ($label)"
    # Esc with nothing cached leaves the editor as "Cancelar" does: open it again then.
    reopen_docs() {
        sleep 0.5
        if ! xdotool search --name "^$docs\$" >/dev/null 2>&1; then
            focus "$mainw"
            wclick "$mainw" 521 124
        fi
        focus "$docs"
    }
    focus "$mainw"
    wclick "$mainw" 521 124
    focus "$docs"
    wclick "$docs" 150 25
    xdotool key Insert
    xdotool key alt+Down
    shot "$label-tipo-alt-down"
    xdotool key Down Return
    sleep 0.5
    shot "$label-tipo-chosen-by-keys"
    xdotool key Escape Escape
    reopen_docs
    wclick "$docs" 150 25
    xdotool key Insert F4
    shot "$label-tipo-f4"
    xdotool key Escape Escape Escape
    reopen_docs
    wclick "$docs" 150 25
    xdotool key Insert
    xdotool type n
    sleep 0.5
    shot "$label-tipo-typed-n"
    xdotool key Escape Escape
    reopen_docs
    wclick "$docs" 150 25
    xdotool key Insert F2
    sleep 0.3
    wclick "$docs" 305 25
    shot "$label-tipo-arrow-clicked"
    wclick "$docs" 150 60
    sleep 0.5
    shot "$label-tipo-chosen-by-mouse"
    xdotool key Escape Escape
    reopen_docs
    xdotool key alt+c
    gone "$docs"
}
run_times_and_documents() {
    walk_times_and_documents nowm
    mkdir -p "$work/twm"
    printf 'RandomPlacement\nUsePPosition "on"\n' >"$work/twm/twmrc"
    twm -f "$work/twm/twmrc" >/dev/null 2>&1 &
    sleep 1
    walk_times_and_documents twm
}

# ENVIOZVR_WALK=times-and-documents walks only those steps.
if [ "${ENVIOZVR_WALK:-}" = times-and-documents ]; then
    run_times_and_documents
    echo "Screenshots in $out"
    exit 0
fi

# Small screens and large scale factors: the error viewer opens inside the screen with
# "Actualizar" and "Cerrar" on view (at QT_SCALE_FACTOR=2 on this display, and at
# 1024x600 on a second one), and the side buttons show their underlined letters.
walk_small_screens() {
    echo "== QT_SCALE_FACTOR=2, and a 1024x600 screen"
    local display2 xvfb2 width
    [ -z "$program_pid" ] || kill "$program_pid" 2>/dev/null || true
    sleep 1
    (cd /tmp && exec env -u LC_ALL LANG=C.UTF-8 QT_SCALE_FACTOR=2 XDG_CONFIG_DIRS="$work/xdg" "$build/app/enviozvr" >"$out/program-scale2.log" 2>&1) &
    program_pid=$!
    focus "Control de acceso"
    xdotool type --delay 20 SYSDBA
    xdotool key Tab
    xdotool type --delay 20 masterkey
    xdotool key F2
    focus "$main"
    # The company list, at twice its place.
    click 300 102
    xdotool key Return
    sleep 1
    shot scale2-main-underlined-letters
    xdotool key alt+m
    focus "$errors"
    sleep 1
    shot scale2-errores-inside-the-screen
    eval "$(xdotool getwindowgeometry --shell "$(window "$errors")")"
    check "at scale 2 the error viewer is ${WIDTH}x${HEIGHT} px, inside 1280x1024" \
        [ $((X + WIDTH)) -le 1280 -a $((Y + HEIGHT)) -le 1024 ]
    xdotool key alt+c
    gone "$errors"
    kill "$program_pid" 2>/dev/null || true
    program_pid=""

    display2=":$((${DISPLAY#:} + 100))"
    Xvfb "$display2" -screen 0 1024x600x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb2=$!
    for _ in $(seq 50); do DISPLAY=$display2 xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    (cd /tmp && exec env -u LC_ALL LANG=C.UTF-8 DISPLAY="$display2" XDG_CONFIG_DIRS="$work/xdg" "$build/app/enviozvr" >"$out/program-1024.log" 2>&1) &
    program_pid=$!
    local saved_display=$DISPLAY
    export DISPLAY=$display2
    focus "Control de acceso"
    xdotool type --delay 20 SYSDBA
    xdotool key Tab
    xdotool type --delay 20 masterkey
    xdotool key F2
    focus "$main"
    click 150 51
    xdotool key Return
    sleep 1
    xdotool key alt+m
    focus "$errors"
    sleep 1
    shot small-1024x600-errores
    eval "$(xdotool getwindowgeometry --shell "$(window "$errors")")"
    width=$WIDTH
    check "at 1024x600 the error viewer is ${WIDTH}x${HEIGHT}, inside the screen" \
        [ $((X + width)) -le 1024 -a $((Y + HEIGHT)) -le 600 ]
    xdotool key alt+c
    gone "$errors"
    kill "$program_pid" 2>/dev/null || true
    program_pid=""
    kill "$xvfb2" 2>/dev/null || true
    export DISPLAY=$saved_display
}

# ENVIOZVR_WALK=small-screens walks only those steps.
if [ "${ENVIOZVR_WALK:-}" = small-screens ]; then
    walk_small_screens
    echo "Screenshots in $out"
    exit 0
fi

(cd /tmp && exec env -u LC_ALL LANG=C.UTF-8 XDG_CONFIG_DIRS="$work/xdg" "$build/app/enviozvr" >"$out/program.log" 2>&1) &
program_pid=$!

echo "== Login and company"
focus "Control de acceso"
xdotool type --delay 20 SYSDBA
xdotool key Tab
xdotool type --delay 20 masterkey
shot login
xdotool key F2
focus "$main"
click 150 51
shot company-list
xdotool key Return
sleep 1
shot company-chosen
# F1: the user's guide, in the program's own viewer when no browser takes it.
focus "$main"
xdotool key F1
focus "Gu.*a de uso de enviozvr"
shot guide-from-main
xdotool key Escape
gone "Gu.*a de uso de enviozvr"
focus "$main"

echo "== Send options and a send"
click 550 23
click 550 23
xdotool key ctrl+a
xdotool type 20
click 303 71
click 104 210
shot sending
sleep 3
shot sent

echo "== Error viewer"
click 345 116
focus "$errors"
sleep 1
shot errores
click 507 28
click 507 28
shot sorted-by-fecha-desc
click 494 9
click 84 45
xdotool type FA
xdotool key Return
click 525 45
xdotool type ">= $(LC_ALL=C date -d yesterday '+%-d %b %Y')"
xdotool key Return
shot filter-pref-and-fecha
click 84 45
xdotool key ctrl+a
xdotool type "'x"
xdotool key Return
shot filter-refused
xdotool key Return
focus "$errors"
click 84 45
xdotool key ctrl+a
xdotool type FA
xdotool key Return
shot filter-applied-again

click 150 77
xdotool key ctrl+f
xdotool type 20
shot incremental-search
xdotool key Escape
xdotool key Escape
there "$errors"
echo "ok: Esc ends the search and leaves the viewer open"

xdotool key ctrl+f ctrl+f
focus "Find text"
xdotool type 2057
xdotool key Return
shot find-text
xdotool key Escape
gone "Find text"
there "$errors"
shot after-find-text

focus "$errors"
xdotool key ctrl+a ctrl+c
sleep 0.5
rows=$(xclip -o -selection clipboard 2>/dev/null | grep -c "FA" || true)
check "the clipboard holds the selected rows ($rows)" [ "$rows" -ge 2 ]

saved="$out/saved"
mkdir -p "$saved"
: >"$saved/X.TXT"
save_as() {  # filter index (0 = txt), file name
    focus "$errors"
    # Without a window manager the viewer is activated again only by a click, and reads
    # its list again then: a menu opened by that first click would be closed by it.
    click 300 100
    sleep 1
    xdotool key ctrl+a
    click 300 100 3
    xdotool key g
    focus "(Save As|Guardar como)"
    click 510 389
    xdotool key Home
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
    click 510 358
    xdotool key ctrl+a
    xdotool type "$2"
    xdotool key Return
    sleep 1
}
save_as 0 "$saved/X.TXT"
# X.TXT is there already: the viewer asks before replacing it; "No" goes back to the
# dialog, which is then cancelled, and the file stays as it was.
focus "Guardar selección"
shot replace-question
xdotool key alt+n
focus "(Save As|Guardar como)"
shot dialog-again-after-no
xdotool key Escape
sleep 0.5
check "\"No\" left X.TXT as it was" [ ! -s "$saved/X.TXT" ]
save_as 0 "$saved/X.TXT"
focus "Guardar selección"
xdotool key alt+y
sleep 1
check "X.TXT written after \"Yes\"" [ -s "$saved/X.TXT" ]
for n in 1 2 3 4; do save_as "$n" "$saved/lista$n"; done
ls -l "$saved"
check "csv, htm, rtf and xls written" test -s "$saved/lista1.csv" -a -s "$saved/lista2.htm" \
    -a -s "$saved/lista3.rtf" -a -s "$saved/lista4.xls"
focus "$errors"
click 1012 331
gone "$errors"

echo "== Pending viewer"
focus "$main"
click 521 157
focus "$pending"
sleep 1
click 380 28
click 150 77
xdotool key Escape
there "$pending"
shot pendientes
focus "$pending"
xdotool key F1
focus "Gu.*a de uso de enviozvr"
shot guide-from-pendientes
xdotool key Escape
gone "Gu.*a de uso de enviozvr"
focus "$pending"
click 700 331
gone "$pending"

echo "== Settings editors"
focus "$main"
click 521 92
focus "Configuración compañías"
click 157 25
xdotool key F2 End
xdotool type " X"
shot editing-a-cell
click 435 134
shot posted
click 157 57
xdotool key F2 ctrl+a
xdotool type --delay 2 "$(printf 'abcdefghij%.0s' $(seq 11))"
shot too-long-text
xdotool key Escape Escape
click 157 41
xdotool key F2 ctrl+a
xdotool type "Łódź"
shot character-refused
xdotool key Escape Escape
click 157 57
click 319 134
xdotool key Return
focus "Configuración compañías"
xdotool key alt+g
sleep 1.5
shot delete-refused
xdotool key Return
focus "Configuración compañías"
xdotool key ctrl+shift+z
shot deleted-row-back
xdotool key ctrl+Tab
shot tab-to-grabar
xdotool key alt+g
gone "Configuración compañías"

focus "$main"
click 521 124
focus "Configuración documentos"
click 418 25
xdotool key F2 ctrl+a
xdotool type 00012
xdotool key Return
shot code-limited
xdotool key ctrl+z
shot change-undone
xdotool key alt+c
gone "Configuración documentos"

# The main window from the keyboard while a send waits for a destination that takes the
# connection and never answers: Tab onto the buttons, Space on "Enviar", the busy bar,
# Alt+N opening "Pendientes" during the wait (Alt+F and Alt+C there), the last error with
# its reason, then Alt+C ("Cancelar") during a second wait: the window closes once the
# cycle has stopped.
keyboard_and_waiting_send() {
    echo "== Keyboard, and a send that waits for a silent destination"
    local silent_pid log started opened_ms
    python3 -c '
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(8)
time.sleep(300)
' "$silent_port" &
    silent_pid=$!
    sleep 0.5

    focus "$main"
    # From the batch size, Tab goes through the minutes and the two check boxes to the
    # buttons.
    click 550 23
    xdotool key Tab Tab Tab Tab
    shot tab-on-mensajes-error
    xdotool key Tab Tab Tab Tab
    shot tab-on-enviar
    xdotool key space
    sleep 1.5
    shot connecting-busy-bar
    started=$(date +%s%N)
    xdotool key alt+n
    there "$pending"
    opened_ms=$((($(date +%s%N) - started) / 1000000))
    check "Alt+N opened Pendientes during the connect in ${opened_ms} ms" [ "$opened_ms" -lt 3000 ]
    focus "$pending"
    sleep 1
    xdotool key alt+f
    shot pendientes-during-connect-alt-f
    xdotool key alt+c
    gone "$pending"
    focus "$main"
    shot main-still-connecting
    sleep 15
    shot last-error-with-reason
    log=$(find "$work" -name errorenvio.txt | head -1)
    check "errorenvio.txt names the silent destination's reason" \
        grep -q "127.0.0.1/$silent_port:.*sin respuesta al conectar en 15 s" "$log"

    focus "$main"
    xdotool key alt+e
    sleep 1.5
    shot connecting-before-cancelar
    # "Cancelar" ends the connect wait (15 s at most) instead of sitting it out, and says
    # "Cancelando..." until the cycle is over.
    local ended_ms
    started=$(date +%s%N)
    xdotool key alt+c
    import -window root "$out/$(printf '%02d' $((step + 1)))-cancelando.png"
    step=$((step + 1))
    for _ in $(seq 150); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
    ended_ms=$((($(date +%s%N) - started) / 1000000))
    shot after-cancelar
    check "the program ended ${ended_ms} ms after Alt+C, not at the end of the connect limit" \
        [ "$ended_ms" -lt 5000 ]
    program_pid=""
    kill "$silent_pid" 2>/dev/null || true
}
# A cycle that the timer starts and that fails (here a batch size the cycle cannot use):
# by hand the failure shows its box; the tick a minute later logs it and shows it on the
# last-error line without a box, and the window goes on taking input.
tick_without_box() {
    echo "== A tick's failure: no box, the window goes on"
    local log before after
    focus "$main"
    click 550 23
    xdotool key ctrl+a
    xdotool type abc
    click 437 47
    xdotool key ctrl+a
    xdotool type 1
    xdotool key alt+e
    local box=""
    for _ in $(seq 50); do
        box=$(xdotool search --onlyvisible --name "^enviozvr\$" 2>/dev/null | tail -1) &&
            [ -n "$box" ] && break
        sleep 0.2
    done
    check "by hand the failure shows its box" [ -n "$box" ]
    xdotool windowfocus --sync "$box"
    shot by-hand-failure-box
    xdotool key Return
    sleep 0.5
    log=$(find "$work" -name ERRORES.TXT | head -1)
    before=$(wc -l <"$log")
    echo "waiting for the tick (one minute)"
    for _ in $(seq 80); do
        after=$(wc -l <"$log")
        [ "$after" -gt "$before" ] && break
        sleep 1
    done
    sleep 1
    shot tick-failure-on-the-last-error-line
    check "the tick's failure was logged ($before -> $after lines)" [ "$after" -gt "$before" ]
    focus "$main"
    click 550 23
    xdotool key ctrl+a
    xdotool type 20
    click 437 47
    xdotool key ctrl+a
    xdotool type 30
    shot typed-after-the-tick
    # No box holds the window: "Enviar" from the keyboard sends at once.
    log=$(find "$work" -name ENVIO.TXT | head -1)
    before=$(wc -l <"$log")
    xdotool key alt+e
    sleep 3
    after=$(wc -l <"$log")
    check "Alt+E after the tick sent more events ($before -> $after lines)" [ "$after" -gt "$before" ]
}

tick_without_box
keyboard_and_waiting_send
walk_small_screens

run_times_and_documents

echo "Screenshots in $out"
