#!/usr/bin/env bash
# What the user does to the window never reaches the program in a terminal pane, and the pane
# shows what its terminal holds: the built app under X with openbox managing its window and the
# software renderer, six workspaces ("Prog": one pane running window_events_program.py; five
# empty ones, more than the app keeps built).
#   1. The program hides the caret, asks for application cursor keys, scrolls rows 1-5 only and
#      turns insert mode on; a row of it is selected. After a palette switch, the switch back, and
#      a return to "Prog" after the five others, the modes and the region read back as set
#      (DECRQM, DECRQSS), the Up key sends ESC O A, the program was not resized and the selection
#      still copies.
#   2. With Ctrl held, the link label goes when the pointer moves off the link onto plain text.
#      With Ctrl held over the link, Ctrl+Shift+T opens the add-session sheet, Ctrl goes up there
#      and Escape closes it: the pointer over the link with no key held then shows no label.
#   3. $CYCLES (6) times: the program streams output, the window is minimised and restored, the
#      output stops; every drawn row of the pane equals the row drawn after a workspace switch
#      away and back has repainted it whole.
#
# Usage: window_events_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, openbox,
# xdotool, xclip, xwininfo, python3 and ImageMagick.
set -euo pipefail
cycles=${CYCLES:-6}
e2e=window_events_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 20 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || fail "openbox did not start"

as_test_user 9
folder="$work/projects/prog"
mkdir -p "$folder"
pane_runs python3 "$src/tests/terminal/view/e2e/window_events_program.py" "$folder"
colours=(5b8cee c98a3a 4aa37e b05cc8 d0504f 3fa7b5)
python3 - "$state" "$folder" "${colours[@]}" <<'PY'
import json, sys
state, folder, colours = sys.argv[1], sys.argv[2], sys.argv[3:]
def ws(n, name, sessions):
    return {"id": "5E1F0A00-0000-4000-8000-%012d" % n, "name": name, "colorHex": colours[n - 1], "maxRows": 4,
            "bigSideLeft": False, "sessions": sessions}
pane = {"id": "5E1F0A00-0000-4000-8000-000000000011", "kind": "terminal", "project": "prog", "directory": folder,
        "sessionLabel": "", "autoApprove": False, "muted": False}
json.dump({"recents": [folder], "selected": "5E1F0A00-0000-4000-8000-000000000001", "workspaces":
           [ws(1, "Prog", [pane])] + [ws(n, "Other %d" % n, []) for n in range(2, 7)]}, open(state, "w"))
PY

# The pane's terminal: "left top right bottom" of the largest area of its background (0a0b0d
# dark, f4f5f8 light) right of the rail.
pane_box() {
    import -window "$window" -depth 8 "$work/pane.ppm"
    python3 - "$work/pane.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
head = data.split(b"\n", 3)
w, h = map(int, head[1].split()); px = head[3]
bgs = (b"\x0a\x0b\x0d", b"\xf4\xf5\xf8")
xs, ys = [], []
for y in range(0, h, 2):
    run = [x for x in range(240, w, 2) if px[(y * w + x) * 3:(y * w + x) * 3 + 3] in bgs]
    if len(run) > (w - 240) // 4:
        ys.append(y); xs += [run[0], run[-1]]
if len(ys) < 50: sys.exit(1)
print(min(xs), min(ys), max(xs), max(ys))
PY
}
# The pane's terminal as a picture (its scroller column and caret aside: the caret is hidden).
pane_shot() {  # <file>
    import -window "$window" -depth 8 -crop "$((right - left - 20))x$((bottom - top))+$left+$top" +repage "$1"
}

start_app
wait_for 30 test -e "$folder/ready" || fail "the pane's program did not start"
wait_settled
read -r left top right bottom < <(pane_box) || fail "no terminal pane found"
xdotool mousemove --window "$window" $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
wait_settled

# The modes as the program reads them back, and what the Up key sends it.
lines() { if [ -e "$1" ]; then wc -l <"$1"; else echo 0; fi; }
more_lines() { [ "$(lines "$1")" -gt "$2" ]; }
modes() {
    local n
    n=$(lines "$folder/modes.log")
    xdotool type m
    wait_for 10 more_lines "$folder/modes.log" "$n" || fail "the program got no answer"
    tail -1 "$folder/modes.log"
}
up_key() {
    local n
    n=$(lines "$folder/up.log")
    xdotool key Up
    wait_for 10 more_lines "$folder/up.log" "$n" || fail "the Up key never arrived"
    tail -1 "$folder/up.log"
}
clipboard() { xclip -o -selection clipboard 2>/dev/null || true; }
clipboard_is() { [ "$(clipboard)" = "$1" ]; }
clipboard_is_not() { [ "$(clipboard)" != "$1" ]; }
# The clipboard holds "none" (an xclip of this run holds it until the app takes the clipboard).
clear_clipboard() {
    xclip -quiet -i -selection clipboard <<<none >/dev/null 2>&1 &
    pids+=($!)
    wait_for 5 clipboard_is none || fail "the clipboard could not be cleared"
}
# Selects the row in the middle of the pane (a triple click) and copies it into $row.
select_row() {
    clear_clipboard
    xdotool mousemove --window "$window" $(((left + right) / 2)) $(((top + bottom) / 2)) click --repeat 3 --delay 80 1
    xdotool key ctrl+shift+c
    wait_for 10 clipboard_is_not none || fail "the triple click selected nothing"
    row=$(clipboard)
}
# The selected row is drawn selected: across the middle of the pane, most of its pixels are
# neither the terminal's background (0a0b0d dark, f4f5f8 light) nor its text.
row_highlighted() {
    import -window "$window" -depth 8 -crop "$((right - left - 40))x1+$((left + 20))+$(((top + bottom) / 2))" +repage "$work/row.ppm"
    python3 - "$work/row.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
px = data.split(b"\n", 3)[3]
cells = [px[i:i + 3] for i in range(0, len(px), 3)]
plain = sum(c in (b"\x0a\x0b\x0d", b"\xf4\xf5\xf8") for c in cells)
sys.exit(0 if plain < len(cells) // 4 else 1)
PY
}
expected="?25=2 ?1=1 4=1 r=1;5r winch=0"
first=$(modes)
[ "$first" = "$expected" ] || fail "the program did not set its modes: $first"
[ "$(up_key)" = "b'\\x1bOA'" ] || fail "Up did not send ESC O A to begin with"

# The theme toggle: the top bar's moon (or sun) button, left of the + button at its right end.
theme_toggle() {
    local width
    width=$(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3}')
    xdotool mousemove --window "$window" $((width - 66)) 26 click 1
    xdotool mousemove --window "$window" $(((left + right) / 2)) $(((top + bottom) / 2))
}
return_after_five() {
    local c
    for c in "${colours[@]:1}"; do select_workspace "$c"; done
    select_workspace "${colours[0]}"
}
for event in "a switch to the light palette:theme_toggle" "a switch back to the dark palette:theme_toggle" \
    "a return after five other workspaces:return_after_five"; do
    what=${event%%:*}
    select_row
    [ -n "$row" ] || fail "nothing selected before $what"
    row_highlighted || fail "the row selected before $what is not drawn selected"
    ${event##*:}
    wait_settled
    shot "1_${event##*:}"
    # Everything is checked, then what went wrong is told at once.
    problems=""
    row_highlighted || problems+="; the selected row ('$row') is no longer drawn selected"
    if [ "${event##*:}" = theme_toggle ]; then
        # The pane kept the keyboard: the selection copies.
        clear_clipboard
        xdotool key ctrl+shift+c
        wait_for 5 clipboard_is "$row" || problems+="; the selection ('$row') copies as '$(clipboard)'"
    else
        # A grid built again leaves the keyboard to the user: a click gives it to the pane.
        xdotool mousemove --window "$window" $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
    fi
    now=$(modes)
    [ "$now" = "$expected" ] || problems+="; the program reads back '$now', not '$expected'"
    up=$(up_key)
    [ "$up" = "b'\\x1bOA'" ] || problems+="; Up sends $up"
    [ -z "$problems" ] || fail "after $what${problems}"
    echo "$e2e: after $what: $now, Up sends $up, the selected row '$row' kept"
done
read -r left top right bottom < <(pane_box) || fail "no terminal pane found after the return"

# 2. The link label while Ctrl is held: the label is a bar of the terminal's foreground (c5c9d0
# dark, 3a4048 light) at the pane's bottom-left, 60 pixels wide at least, which no text draws.
label_shown() {
    import -window "$window" -depth 8 -crop "$((right - left))x40+$left+$((bottom - 40))" +repage "$work/label.ppm"
    python3 - "$work/label.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
head = data.split(b"\n", 3)
w, h = map(int, head[1].split()); px = head[3]
for y in range(h):
    run = 0
    for x in range(w):
        run = run + 1 if px[(y * w + x) * 3:(y * w + x) * 3 + 3] in (b"\xc5\xc9\xd0", b"\x3a\x40\x48") else 0
        if run >= 60: sys.exit(0)
sys.exit(1)
PY
}
label_gone() { ! label_shown; }
xdotool type l
wait_for 10 test -e "$folder/links-done" || fail "the program did not draw its link"
wait_settled
xdotool mousemove --window "$window" $(((left + right) / 2)) $((top + (bottom - top) / 4))
xdotool keydown ctrl
wait_for 5 label_shown || { xdotool keyup ctrl; fail "no link label over the link with Ctrl held"; }
shot 2_label_on_link
xdotool mousemove --window "$window" $(((left + right) / 2)) $((top + (bottom - top) * 5 / 8))
if ! wait_for 5 label_gone; then
    shot 2_label_off_link
    xdotool keyup ctrl
    fail "the link label stayed after the pointer left the link"
fi
xdotool mousemove --window "$window" $(((left + right) / 2)) $((top + (bottom - top) / 3))
wait_for 5 label_shown || { xdotool keyup ctrl; fail "no link label back over the link"; }
xdotool keyup ctrl
wait_for 5 label_gone || fail "the link label stayed after Ctrl went up"
xdotool keydown ctrl
wait_for 5 label_shown || { xdotool keyup ctrl; fail "no link label before the sheet"; }
xdotool key shift+t # Ctrl+Shift+T: the sheet takes the keys while Ctrl is held
wait_settled
xdotool keyup ctrl
xdotool key Escape
wait_settled
xdotool mousemove --window "$window" $(((left + right) / 2)) $((top + (bottom - top) * 5 / 8))
xdotool mousemove --window "$window" $(((left + right) / 2)) $((top + (bottom - top) / 3))
wait_settled
if label_shown; then
    shot 2_label_after_sheet
    fail "the link label showed over the link with no key held after Ctrl went up in the sheet"
fi
echo "$e2e: the link label follows the pointer onto and off the link, and ends when Ctrl goes up in a sheet"

# 3. Minimise and restore while the program streams output.
map_state() { xwininfo -id "$window" | awk '/Map State/{print $3}'; }
viewable() { [ "$(map_state)" = IsViewable ]; }
minimised() { ! viewable; }
settle_crop="$((right - left - 20))x$((bottom - top))+$left+$top"
for cycle in $(seq 1 "$cycles"); do
    rm -f "$folder/stopped" "$folder/streaming"
    xdotool mousemove --window "$window" $(((left + right) / 2)) $(((top + bottom) / 2)) click 1
    xdotool type o
    wait_for 10 test -e "$folder/streaming" || fail "cycle $cycle: the program did not stream"
    xdotool windowminimize "$window"
    wait_for 10 minimised || fail "cycle $cycle: the window was not minimised"
    # The output stops as the window comes back: its first frame is drawn while the last
    # chunks arrive.
    xdotool windowactivate "$window" 2>/dev/null || xdotool windowmap "$window"
    touch "$folder/stop"
    wait_for 10 viewable || fail "cycle $cycle: the window was not restored"
    wait_for 20 test -e "$folder/stopped" || fail "cycle $cycle: the output did not stop"
    wait_settled
    pane_shot "$work/drawn.ppm"
    select_workspace "${colours[1]}"
    select_workspace "${colours[0]}"
    wait_settled
    pane_shot "$work/whole.ppm"
    wrong=$(python3 "$(dirname "$0")/../../../tools/ppm_diff.py" rows "$work/drawn.ppm" "$work/whole.ppm")
    if [ -n "$wrong" ]; then
        cp "$work/drawn.ppm" "$work/whole.ppm" "${shots:-$work}/" 2>/dev/null || true
        fail "cycle $cycle: pixel rows $wrong of the pane were drawn otherwise than after a full repaint"
    fi
    echo "$e2e: cycle $cycle: every drawn row of the pane is the terminal's"
done

xdotool type q
quit_app
echo "$e2e: a palette switch and a return keep the program's modes and selection; the link label follows the pointer; minimise and restore leave no stale row"
