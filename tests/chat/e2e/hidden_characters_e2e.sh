#!/usr/bin/env bash
# End to end on the real Claude CLI against the fake model server: what a card shows is what runs.
# The model asks to Write "invoice<U+202E>fdp.sh" (which an override would show as "invoicehs.pdf"):
# the approval card shows the name in its true order with the override as a mark (pixels of the
# marks' colour in the card). Then a pasted file link to "new<LF>line.txt" reaches the model's
# request as one quoted, escaped path, not as a path and a line of its own.
#
# Usage: hidden_characters_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=hidden_characters_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

spoofed="$work/projects/web/invoice"$'\xe2\x80\xae'"fdp.sh"
linebreak="$work/projects/web/new"$'\n'"line.txt"
cat >"$work/claude.json" <<JSON
[{"tool": {"name": "Write", "input": {"file_path": "$work/projects/web/invoice\u202efdp.sh", "content": "#!/bin/sh\necho spoofed\n"}}},
 {"text": "I wrote the invoice."},
 {"text": "I read it."}]
JSON
server claude-server "$work/claude.json"
as_test_user "$port"

start_app
add_chat_pane 1
wait_settled
type_message "Write the invoice"
wait_for 60 find_amber_button >/dev/null || fail "no approval card"
wait_settled
shot 1_spoofed_write_card
# The marks' pink (d94f8c, blended at the glyphs' edges) in the lower half of the window, where the
# approval card is: its summary line shows the override as a mark.
marks_shown() {
    import -window "$window" "$work/marks.png"
    python3 - "$work/marks.png" <<'PY'
import subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
lines = txt.splitlines()[1:]
height = max(int(l.split(":")[0].split(",")[1]) for l in lines) + 1
pink = 0
for l in lines:
    xy, rest = l.split(":", 1)
    if int(xy.split(",")[1]) < height // 2:
        continue
    hexcol = rest.split("#")[1][:6]
    r, g, b = (int(hexcol[i:i + 2], 16) for i in (0, 2, 4))
    pink += r > 150 and g < 110 and 90 < b < 170 and r - g > 80
sys.exit(0 if pink >= 20 else 1)
PY
}
marks_shown || fail "the approval card shows no mark for the override"
click_amber_button Approve
wait_for 60 test -f "$spoofed" || fail "the approved Write did not make the file under its true name"
wait_settled

# A file link to a name with a line break, pasted into the composer, then sent.
printf 'notes\n' >"$linebreak"
url=$(python3 -c 'import sys, urllib.parse; print("file://" + urllib.parse.quote(sys.argv[1]))' "$linebreak")
printf '%s\r\n' "$url" >"$work/uri-list"
xclip -quiet -selection clipboard -t text/uri-list -i "$work/uri-list" >/dev/null 2>&1 &
pids+=($!)
xdotool mousemove --window "$window" 700 $(( $(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}') - 72 )) click 1
wait_settled
xdotool key ctrl+v
wait_settled
shot 2_pasted_chip
xdotool type --delay 20 "Read the attached file"
xdotool key Return
wait_for 60 grep -qs "Read the attached file" "$work/claude-server.jsonl" || fail "the message never reached the model"
# The request holds the path once, quoted and escaped, on one line of its own.
python3 - "$work/claude-server.jsonl" "$linebreak" <<'PY' || fail "the path did not reach the model as one escaped path"
import json, sys
log, path = sys.argv[1], sys.argv[2]
want = '- "' + path.replace('\n', '\\n') + '"'
for line in open(log):
    text = json.dumps(json.loads(line))
    if "Read the attached file" not in text:
        continue
    body = json.loads(line)
    texts = []
    def walk(v):
        if isinstance(v, dict): [walk(x) for x in v.values()]
        elif isinstance(v, list): [walk(x) for x in v]
        elif isinstance(v, str) and "Attached files" in v: texts.append(v)
    walk(body)
    lines = [l for t in texts for l in t.split("\n")]
    if want in lines and "line.txt" not in [l.strip() for l in lines]:
        print("hidden_characters_e2e: the model read", want)
        sys.exit(0)
    print("hidden_characters_e2e: lines sent:", lines, file=sys.stderr)
sys.exit(1)
PY
wait_settled
shot 3_sent
quit_app
wait_for 10 none_left || fail "left after quitting: $(leftovers)"
echo "hidden_characters_e2e: the spoofed name showed its mark and true order, and the pasted name reached the model as one path"
