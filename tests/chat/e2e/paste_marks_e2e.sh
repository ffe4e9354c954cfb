#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, a 1240 px window: a paste at the very start of the
# draft from another program keeps the mark it did not touch; 4,400 hidden characters side by side
# (40,000 characters as they read, the most a paste may leave unbroken) are marked in place, taken
# out by "Remove them" and brought back by its undo, each without holding the GUI thread past the
# limit; 50,000 go as a text chip, as fast, and the message carries them as their marks.
#
# Usage: paste_marks_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=paste_marks_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"
# Under 200 ms for every paste the composer takes, and for "Remove them" and its undo.
export E2E_STALL_MS="${E2E_STALL_MS:-200}"

echo '[{"text": "Got it."}]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
export BRINMOOR_STALL_LOG="$work/stalls.log"
start_app
xdotool windowsize --sync "$window" 1240 860
wait_settled
add_chat_pane 1
wait_settled

clip() {  # <text>: on the clipboard, held by xclip (another program) until the test ends
    printf '%s' "$1" >"$work/clip.txt"
    xclip -quiet -selection clipboard -i "$work/clip.txt" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 20 bash -c "cmp -s <(xclip -o -selection clipboard 2>/dev/null) '$work/clip.txt'" || fail "the clipboard never held the text"
}
marks_in_composer() {  # the pink of the marks' boxes in the window's lowest quarter, the composer's
    import -window "$window" "$work/composer.png"
    python3 - "$work/composer.png" <<'PY'
import re, subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "-gravity", "south", "-crop", "100%x25%+0+0", "txt:-"], capture_output=True, text=True).stdout
rgb = [[int(h[i:i + 2], 16) for i in (0, 2, 4)] for h in re.findall(r"#([0-9A-F]{6})", txt)]
sys.exit(sum(r > 150 and g < 110 and 90 < b < 170 and r - g > 80 for r, g, b in rgb) < 200)
PY
}
no_marks() { ! marks_in_composer; }
remove_link() {  # "Remove them": accent-blue words at the right end of the notice above the editor
    import -window "$window" "$work/find.png"
    python3 - "$work/find.png" <<'PY'
import re, subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "-gravity", "south", "-crop", "100%x30%+0+0", "txt:-"], capture_output=True, text=True).stdout
height = int(subprocess.run(["identify", "-format", "%h", sys.argv[1]], capture_output=True, text=True).stdout)
top = height - int(height * 0.3)
pts = []
for line in txt.splitlines()[1:]:
    m = re.match(r"(\d+),(\d+):.*#([0-9A-F]{6})", line)
    if not m: continue
    x, y, h = int(m.group(1)), int(m.group(2)), m.group(3)
    r, g, b = int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16)
    if 1100 < x < 1190 and b > 180 and r < 140 and b - r > 70:
        pts.append((x, y))
if len(pts) < 10: sys.exit(1)
y = min(p[1] for p in pts)
row = sorted(p[0] for p in pts if p[1] < y + 12)
print(row[len(row) // 2], top + y + 5)
PY
}

# A paste at the very start of the draft touches no mark: the mark stays (Qt reports such a paste
# as a change of the whole first paragraph).
focus_composer
wait_settled
clip "keep x"$'\xe2\x80\x8b'"y"
xdotool key ctrl+v
wait_for 20 marks_in_composer || fail "the pasted hidden character shows no mark"
clip "Hello: "
xdotool key ctrl+Home ctrl+v
wait_settled
shot 0_paste_at_start
marks_in_composer || fail "a paste at the start of the draft took the mark out"
xdotool key ctrl+a Delete
wait_for 20 no_marks || fail "the mark stayed in an emptied draft"

# 4,400 hidden characters side by side: marked in place, removed, brought back.
python3 -c 'import sys; sys.stdout.write("a\u200b" * 4400)' >"$work/clip.txt"
clip "$(cat "$work/clip.txt")"
wait_settled
since=$(now_ms)
xdotool key ctrl+v
wait_for 30 marks_in_composer || fail "4,400 pasted hidden characters show no marks"
wait_settled
shot 1_marked_in_place
stall_report "$since" "pasting 4,400 hidden characters side by side"
read -r x y < <(remove_link) || fail "no Remove them"
since=$(now_ms)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 30 no_marks || fail "the marks stayed after Remove them"
wait_settled
stall_report "$since" "removing 4,400 marks"
since=$(now_ms)
xdotool key ctrl+z
wait_for 30 marks_in_composer || fail "the undo of Remove them brought no marks back"
wait_settled
stall_report "$since" "the undo of removing 4,400 marks"
xdotool key ctrl+a Delete
wait_for 20 no_marks || fail "the marks stayed in an emptied draft"

# 50,000 side by side: a chip, not a paragraph of 450,000 characters; sent as their marks.
python3 -c 'import sys; sys.stdout.write("a\u200b" * 49999)' >"$work/many.txt"
clip "$(cat "$work/many.txt")"
wait_settled
since=$(now_ms)
xdotool key ctrl+v
wait_settled
shot 2_chip
stall_report "$since" "pasting 50,000 hidden characters side by side"
no_marks || fail "50,000 hidden characters were marked in the editor"
xdotool type --delay 20 "See the paste"
xdotool key Return
wait_for 60 grep -qs "See the paste" "$work/claude-server.jsonl" || fail "the message never reached the model"
python3 - "$work/claude-server.jsonl" <<'PY' || fail "the chip did not send the hidden characters as their marks"
import sys
sent = [l for l in open(sys.argv[1]) if "See the paste" in l]
# Neither the hidden characters nor what the composer shows them with (U+200E, U+2066-U+2069).
shown = ("\\u200b", "\\u200e", "\\u2066", "\\u2067", "\\u2068", "\\u2069", "\u200b", "\u200e", "\u2066", "\u2069")
sys.exit(0 if sent and sent[-1].count("a<U+200B>") == 49999 and not any(s in sent[-1].lower() for s in shown) else 1)
PY
wait_settled
shot 3_sent
echo "paste_marks_e2e: the mark stayed through a paste at the start, 4,400 marks and 50,000 in a chip held the GUI thread under ${E2E_STALL_MS} ms"
