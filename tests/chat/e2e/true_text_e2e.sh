#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server: every text the user reads or types is the true
# text. A chat pane in the folder "rlo<U+202E>gpj.exe": its empty hint shows the override as a mark;
# a pasted draft holding an override, tag characters, a stray variation selector and a zero-width
# space shows them as marks and a notice before Return, and the model gets the text as it read;
# a text file named "<h1>Attached OK<font color=...>x.png" is refused in a line that reads its name
# as text; "fix <U+200B> bug" typed into the pane's rename is saved as those characters. Then the
# missing-folder bar and the folder chooser's error line for such a folder read exactly as they do
# for a folder whose name is the mark's eight characters typed: the mark, never "exe.jpg".
#
# Usage: true_text_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under xvfb-run
# -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=true_text_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

rlo=$'\xe2\x80\xae'
cat >"$work/claude.json" <<JSON
[{"text": "Read it."}, {"text": "Noted."}]
JSON
server claude-server "$work/claude.json"
as_test_user "$port"
spoof_dir="$work/projects/rlo${rlo}gpj.exe"
mkdir -p "$spoof_dir"
seed_chat_pane claude "$spoof_dir" False

# The rows of the window holding pink marks (d94f8c, blended at glyph edges), from y0 to y1: how
# many rows, or with "runs" how many separate runs of rows.
pink_rows() {  # <y0> <y1> [runs]
    import -window "$window" "$work/pink.png"
    python3 - "$work/pink.png" "$1" "$2" "${3:-rows}" <<'PY'
import re, subprocess, sys
y0, y1 = int(sys.argv[2]), int(sys.argv[3])
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
rows = set()
for line in txt.splitlines()[1:]:
    m = re.match(r"(\d+),(\d+):.*#([0-9A-F]{6})", line)
    if not m: continue
    y = int(m.group(2)); h = m.group(3)
    r, g, b = (int(h[i:i + 2], 16) for i in (0, 2, 4))
    if y0 <= y <= y1 and r > 150 and g < 110 and 90 < b < 170 and r - g > 80:
        rows.add(y)
print(sum(1 for y in rows if y - 1 not in rows) if sys.argv[4] == "runs" else len(rows))
PY
}
start_app
height=$(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}')
wait_settled
shot 1_empty_hint
# The pane's header (its name) and the hint under it: two bands of marks in the upper third.
[ "$(pink_rows 60 $((height / 3)) runs)" -ge 2 ] || fail "the empty pane's hint shows no mark for the override in its folder's name"

# A pasted draft: marks and the notice before Return, and nothing sent yet.
draft="/compact keep ${rlo}abc"$'\xe2\x81\xa9'" q"$(python3 -c 'print("".join(chr(0xE0000 + ord(c)) for c in "rm -rf"), end="")')"v"$'\xef\xb8\x8f'"z"$'\xe2\x80\x8b'"w "$'\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d'
printf '%s' "$draft" | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
pids+=($!)
xdotool mousemove --window "$window" 700 $((height - 72)) click 1
wait_settled
xdotool key ctrl+v
wait_settled
shot 2_pasted_draft
[ "$(pink_rows $((height - 160)) "$height")" -ge 10 ] || fail "the pasted draft shows no marks before it is sent"
! grep -qs "keep" "$work/claude-server.jsonl" || fail "something was sent before Return"
# The same without the command word (which the CLI would take as its own command), sent.
printf '%s' "${draft#/compact }" | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
pids+=($!)
xdotool key ctrl+a BackSpace
wait_settled
xdotool key ctrl+v
wait_settled
xdotool key Return
wait_for 60 grep -qs '"keep ' "$work/claude-server.jsonl" || fail "the draft never reached the model"
python3 - "$work/claude-server.jsonl" <<'PY' || fail "the model did not get the draft as it read"
import json, re, sys
def strings(v):
    if isinstance(v, dict): v = list(v.values())
    return [s for x in v for s in strings(x)] if isinstance(v, list) else [v] if isinstance(v, str) else []
# The user's message (the CLI's own prompt names the pane's folder, override and all).
sent = [s for line in open(sys.argv[1]) for s in strings(json.loads(line)) if s.startswith("keep")]
# A Hebrew word ends the paragraph: the composer shows its marks between left-to-right marks
# (U+200E), which must not go out with the text.
want = "keep <U+202E>abc<U+2069> q<U+E0072><U+E006D><U+E0020><U+E002D><U+E0072><U+E0066>v<U+FE0F>z<U+200B>w \u05e9\u05dc\u05d5\u05dd"
hidden = [s for s in sent if re.search("[\u200b\u200e\u200f\u202a-\u202e\u2066-\u2069\ufe0f\U000E0000-\U000E007F]", s)]
sys.exit(0 if sent and all(want in s for s in sent) and not hidden else print("sent:", sent, file=sys.stderr) or 1)
PY
wait_settled
shot 3_sent

# A text file named as a picture, its name markup: the refusal reads its name as text, in red
# across the composer (as markup the name drew a big "Attached OK" and hid the rest).
mkdir -p "$work/files"
h1name='<h1>Attached OK<font color="#101216">x.png'
printf 'just text\n' >"$work/files/$h1name"
url=$(python3 -c 'import sys, urllib.parse; print("file://" + urllib.parse.quote(sys.argv[1]))' "$work/files/$h1name")
printf '%s\r\n' "$url" >"$work/uri-list"
xclip -quiet -selection clipboard -t text/uri-list -i "$work/uri-list" >/dev/null 2>&1 &
pids+=($!)
xdotool mousemove --window "$window" 700 $((height - 72)) click 1
wait_settled
xdotool key ctrl+v
wait_settled
shot 4_refused_file
refusal_width() {
    colour_rows F0524F <<PY
low = [x for y, xs in rows.items() if y > $height - 200 for x in xs]
print(max(low) - min(low) if len(low) > 50 else 0)
PY
}
width=$(xdotool getwindowgeometry "$window" | awk -F'[ x]' '/Geometry/{print $(NF-1)}')
[ "$(refusal_width)" -ge $((width / 2)) ] || fail "the refusal does not read across the composer: its file name was drawn as markup"

# The pane's rename, from its menu (the first entry): the mark's text typed is saved as typed.
xdotool mousemove --window "$window" 1206 106 click 1
wait_for 10 find_close_entry >/dev/null || fail "no pane menu"
xdotool key Down Return
wait_settled
xdotool key ctrl+a
xdotool type --delay 20 'fix <U+200B> bug'
wait_settled
shot 5_rename_typed
xdotool key Return
wait_for 20 bash -c "[ \"\$(python3 -c \"import json; print(json.load(open('$state'))['workspaces'][0]['sessions'][0]['project'])\")\" = 'fix <U+200B> bug' ]" \
    || fail "the typed name was not saved as typed: $(pane_field project)"
wait_settled
shot 6_renamed
quit_app
wait_for 10 none_left || fail "left after quitting: $(leftovers)"

# The missing-folder bar: for "gone/rlo<RLO>gpj.exe" it reads as it does for a folder named with the
# mark's eight characters (each run's last rows of the window, where the bar is).
bar_of() {  # <folder> <picture>
    seed_chat_pane claude "$1" False
    start_app
    wait_settled
    shot "$2"
    quit_app
    convert "$work/$2.png" -gravity south -crop 100%x70+0+0 +repage "$work/$2.bar.png"
}
bar_of "$work/projects/gone/rlo${rlo}gpj.exe" 7_missing_folder_bar
grep -qs "Project folder not found: "$'\xe2\x81\xa8'"$work/projects/gone/rlo<U+202E>gpj.exe"$'\xe2\x81\xa9' "$work/app.log" \
    || fail "the missing folder's sentence does not hold its mark, isolated"
bar_of "$work/projects/gone/rlo<U+202E>gpj.exe" 8_missing_folder_bar_typed
[ "$(compare -metric AE "$work/7_missing_folder_bar.bar.png" "$work/8_missing_folder_bar_typed.bar.png" null: 2>&1)" = 0 ] \
    || fail "the missing-folder bar does not read the mark"

# The chooser's error line, once for the path with the override (pasted), once with the mark typed.
seed_chat_pane claude "$spoof_dir" False
start_app
wait_settled
xdotool key ctrl+shift+t
wait_for 20 open_button >/dev/null || fail "no Open session button"
read -r x y < <(open_button)
xdotool mousemove --window "$window" $((x - 150)) $((y - 34)) click 1
wait_settled
problem_line() {  # <picture>: the rows of the chooser's red error line
    import -window "$window" "$work/$1.png"
    [ -z "$shots" ] || cp "$work/$1.png" "$shots/${e2e}_$1.png"
    python3 - "$work/$1.png" <<'PY' >"$work/$1.rows"
import re, subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
ys = [int(m.group(1)) for m in re.finditer(r"^\d+,(\d+):.*#F0524F", txt, re.M | re.I)]
if not ys: sys.exit(1)
print(min(ys) - 4, max(ys) + 4)
PY
    read -r y0 y1 <"$work/$1.rows"
    convert "$work/$1.png" -crop "x$((y1 - y0))+0+$y0" +repage "$work/$1.line.png"
}
printf '%s' "$work/projects/gone/rlo${rlo}gpj.exe" | xclip -quiet -selection clipboard -i >/dev/null 2>&1 &
pids+=($!)
xdotool key ctrl+a ctrl+v Return
wait_settled
problem_line 9_chooser_error || fail "the chooser shows no error line"
xdotool key ctrl+a
xdotool type --delay 10 "$work/projects/gone/rlo<U+202E>gpj.exe"
xdotool key Return
wait_settled
problem_line 10_chooser_error_typed || fail "the chooser shows no error line for the typed path"
[ "$(compare -metric AE "$work/9_chooser_error.line.png" "$work/10_chooser_error_typed.line.png" null: 2>&1)" = 0 ] \
    || fail "the chooser's error line does not read the mark"
xdotool key Escape
wait_settled
xdotool key Escape
wait_settled
quit_app
echo "$e2e: the hint, the draft, the refusal, the rename, the bar and the chooser's line read the true text"
