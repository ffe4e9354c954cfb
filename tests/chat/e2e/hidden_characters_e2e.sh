#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server: the approval card of a Write to
# "invoice<U+202E>fdp.sh" shows the override as a mark; a pasted file link to "new<LF>line.txt"
# reaches the model as one quoted, escaped path.
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
# The marks' pink (d94f8c, blended at glyph edges) in the lower half of the window, the card's.
marks_shown() {
    import -window "$window" "$work/marks.png"
    python3 - "$work/marks.png" <<'PY'
import re, subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "-gravity", "south", "-crop", "100%x50%+0+0", "txt:-"], capture_output=True, text=True).stdout
rgb = [[int(h[i:i + 2], 16) for i in (0, 2, 4)] for h in re.findall(r"#([0-9A-F]{6})", txt)]
sys.exit(sum(r > 150 and g < 110 and 90 < b < 170 and r - g > 80 for r, g, b in rgb) < 20)
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
# The request's attachment list holds the path as one line, quoted and escaped.
python3 - "$work/claude-server.jsonl" "$linebreak" <<'PY' || fail "the path did not reach the model as one escaped path"
import json, sys
def strings(v):
    if isinstance(v, dict): v = list(v.values())
    return [s for x in v for s in strings(x)] if isinstance(v, list) else [v] if isinstance(v, str) else []
lines = [l.strip() for r in open(sys.argv[1]) if "Read the attached file" in r
         for s in strings(json.loads(r)) if "Attached files" in s for l in s.split("\n")]
ok = '- "' + sys.argv[2].replace("\n", "\\n") + '"' in lines and "line.txt" not in lines
sys.exit(0 if ok else print("lines sent:", lines, file=sys.stderr) or 1)
PY
wait_settled
shot 3_sent
quit_app
wait_for 10 none_left || fail "left after quitting: $(leftovers)"
echo "hidden_characters_e2e: the spoofed name showed its mark and true order, and the pasted name reached the model as one path"
