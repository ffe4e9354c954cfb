#!/usr/bin/env bash
# End to end on a terminal pane running bash, in the built app under X, driven with xdotool:
# - `reset` (its DECCOLM asks for 80 columns) leaves `stty size` as it was in the wide pane;
# - Ctrl+/ and Ctrl+@ (Ctrl+Shift+2) reach a program as 0x1f and 0x00;
# - `cat` of 30 MB of device-attribute queries at the prompt, whose answers nobody reads, grows the
#   app by less than E2E_GROWTH_MB (200 MB) at its peak: the resident sizes are printed.
#
# Usage: pane_host_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, python3 and ImageMagick.
set -euo pipefail
e2e=pane_host_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9
folder="$work/projects/web"
seed_terminal_pane "$folder"
# Short commands for the steps, so that little is typed.
cat >"$HOME/.bash_profile" <<SH
PS1='\$ '
HISTFILE=
sizes() { stty size >"$folder/size-before"; reset; stty size >"$folder/size-after"; }
keys() { python3 "$src/tests/terminal/view/e2e/pane_program.py" "$folder" 10; }
# After the flood the answers that were kept wait for the shell: a program takes them in, and a Z
# typed after them, and says how many bytes it read.
flood() { cat "$work/queries"; touch "$folder/flood-done"; stty raw -echo; python3 "$work/drain.py"; stty sane; }
alive() { echo alive >"$folder/alive"; }
SH
python3 -c 'import sys; open(sys.argv[1], "wb").write(b"\x1b[c" * 10_000_000)' "$work/queries"
# Output of the flood the app had not yet taken in when cat ended can still be answered after
# the Z, so the program reads on until the answers stop.
cat >"$work/drain.py" <<PY
import os, select
open("$folder/draining", "w").close()
data = b""
while b"Z" not in data or select.select([0], [], [], 2)[0]:
    data += os.read(0, 65536)
open("$folder/drained", "w").write(str(len(data) - 1))
PY

start_app
point_at_middle
xdotool click 1
type_line() { xdotool type --delay 20 "$1"; xdotool key Return; }

type_line sizes
wait_for 30 test -s "$folder/size-after" || fail "reset never finished"
echo "$e2e: stty size before reset: $(cat "$folder/size-before"), after: $(cat "$folder/size-after")"
[ "$(cat "$folder/size-before")" = "$(cat "$folder/size-after")" ] || fail "reset changed the pane's size"
shot 1_after_reset

type_line keys
wait_for 20 test -e "$folder/ready" || fail "the key program did not start"
xdotool key ctrl+slash ctrl+at ctrl+2 ctrl+8 ctrl+question
xdotool type k
wait_for 10 grep -q "k'" "$folder/input.log" || fail "the key never reached the program"
got=$(tr '\n' ' ' <"$folder/input.log")
echo "$e2e: Ctrl+/, Ctrl+@, Ctrl+2, Ctrl+8, Ctrl+?, k reached the program as: $got"
for byte in x1f x00 x7f; do
    grep -q "\\\\$byte" "$folder/input.log" || fail "Ctrl key sent no \\$byte: $got"
done
[ "$(grep -c '\\x00' "$folder/input.log")" -ge 2 ] || fail "Ctrl+@ and Ctrl+2 sent no two NULs: $got"
[ "$(grep -c '\\x7f' "$folder/input.log")" -ge 2 ] || fail "Ctrl+8 and Ctrl+? sent no two DELs: $got"
xdotool type q

rss() { awk '/^VmRSS/ { print int($2 / 1024) }' "/proc/$app/status"; }
before=$(rss)
type_line flood
wait_for 600 test -e "$folder/flood-done" || fail "cat of the queries never finished"
after_cat=$(rss)
wait_for 30 test -e "$folder/draining" || fail "the program after cat never started"
xdotool type Z
wait_for 60 test -s "$folder/drained" || fail "the replies kept never reached the program"
type_line alive
wait_for 30 test -e "$folder/alive" || fail "the shell never answered after the flood"
after=$(rss)
peak=$(awk '/^VmHWM/ { print int($2 / 1024) }' "/proc/$app/status")
shot 2_after_flood
echo "$e2e: cat of 30 MB of DA queries: resident $before MB before, $after_cat MB when cat ended, $after MB after, peak $peak MB; $(cat "$folder/drained") bytes of replies reached the program"
[ $((peak - before)) -lt "${E2E_GROWTH_MB:-200}" ] || fail "the app grew by $((peak - before)) MB"
quit_app
# Its diagnostics reach app.log when its output is flushed, at the latest as it quits.
grep -q "not reading the terminal's replies" "$work/app.log" || fail "no warning about the dropped replies"
