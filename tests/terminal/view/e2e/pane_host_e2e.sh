#!/usr/bin/env bash
# A terminal pane running bash in the built app under X, driven with xdotool: `reset` keeps
# `stty size`; Ctrl+/ and Ctrl+@ reach a program as 0x1f and 0x00; `cat` of 30 MB of unread
# device-attribute queries grows the app by less than E2E_GROWTH_MB (200 MB) at its peak.
#
# Usage: pane_host_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool, python3 and
# ImageMagick.
set -euo pipefail
e2e=pane_host_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9
folder="$work/projects/web"
seed_terminal_pane "$folder"
# Short commands for the steps; flood's program reads the kept answers and a Z typed after them.
cat >"$HOME/.bash_profile" <<SH
PS1='\$ '
HISTFILE=
sizes() { stty size >"$folder/size-before"; reset; stty size >"$folder/size-after"; }
keys() { python3 "$src/tests/terminal/view/e2e/pane_program.py" "$folder" 10; }
flood() { cat "$work/queries"; touch "$folder/flood-done"; stty raw -echo; python3 "$work/drain.py"; stty sane; }
alive() { echo alive >"$folder/alive"; }
SH
python3 -c 'import sys; open(sys.argv[1], "wb").write(b"\x1b[c" * 10_000_000)' "$work/queries"
# Answers can still come after the Z: it reads on until they stop.
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
for want in x1f:1 x00:2 x7f:2; do  # Ctrl+/; Ctrl+@ and Ctrl+2; Ctrl+8 and Ctrl+?
    [ "$(grep -o "\\\\${want%:*}" "$folder/input.log" | wc -l)" -ge "${want#*:}" ] || fail "Ctrl keys sent no ${want#*:} \\${want%:*}: $got"
done
xdotool type q

before=$(rss_mb)
type_line flood
wait_for 600 test -e "$folder/flood-done" || fail "cat of the queries never finished"
after_cat=$(rss_mb)
wait_for 30 test -e "$folder/draining" || fail "the program after cat never started"
xdotool type Z
wait_for 60 test -s "$folder/drained" || fail "the replies kept never reached the program"
type_line alive
wait_for 30 test -e "$folder/alive" || fail "the shell never answered after the flood"
after=$(rss_mb)
peak=$(rss_mb VmHWM)
shot 2_after_flood
echo "$e2e: cat of 30 MB of DA queries: resident $before MB before, $after_cat MB when cat ended, $after MB after, peak $peak MB; $(cat "$folder/drained") bytes of replies reached the program"
[ $((peak - before)) -lt "${E2E_GROWTH_MB:-200}" ] || fail "the app grew by $((peak - before)) MB"
quit_app
# app.log holds the app's diagnostics once it has quit.
grep -q "not reading the terminal's replies" "$work/app.log" || fail "no warning about the dropped replies"
