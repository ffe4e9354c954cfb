#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, a terminal pane beside the chat pane: a selection
# of a right-to-left draft with a mark leaves the window as the user's own text. A Hebrew draft
# "אב" U+200B "גד" and an Arabic one beside a Latin one, pasted into the composer (the mark shows),
# selected with Home and Shift+End, then middle-clicked into the terminal pane, whose program writes
# down every byte it gets: the draft's text as it reads and as it would be sent (the mark as its
# written form "<U+200B>", never the hidden character unseen), without the left-to-right marks
# (U+200E) the composer shows the mark between in right-to-left text, or an isolate. Then the chat
# pane renamed to a Hebrew and an Arabic name with a mark, pasted into the rename field: the name
# selected there with Home and Shift+End and middle-clicked into the terminal once saved reaches the
# program as the name itself (the real U+200B, which the name holds), without the field's isolate
# or the mark's written form.
#
# Usage: primary_true_text_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=primary_true_text_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

echo '[]' >"$work/claude.json"
server claude-server "$work/claude.json"
as_test_user "$port"
seed_terminal_pane "$work/projects/web"
mkdir -p "$work/projects/web"
# The terminal pane's program: every byte the pane sends it, written down as it comes.
: >"$work/received"
cat >"$work/record.py" <<'PY'
import os, sys, tty
tty.setraw(0)
with open(sys.argv[1], "ab", buffering=0) as out:
    while True:
        data = os.read(0, 4096)
        if not data:
            break
        out.write(data)
PY
pane_runs python3 "$work/record.py" "$work/received"

clip() {  # <text>: on the clipboard, held by xclip (another program) until the test ends
    printf '%s' "$1" >"$work/clip.txt"
    xclip -quiet -selection clipboard -i "$work/clip.txt" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 20 bash -c "cmp -s <(xclip -o -selection clipboard 2>/dev/null) '$work/clip.txt'" || fail "the clipboard never held the text"
}
# The composer's field, in the chat pane on the right, clicked so that keys go to it.
to_composer() { xdotool mousemove --window "$window" $((width * 3 / 4)) $((height - 72)) click 1; }
marks_in_composer() {  # the pink of the marks' boxes in the composer's corner of the window
    import -window "$window" -crop "$((width / 2))x160+$((width / 2))+$((height - 160))" "$work/composer.png"
    python3 - "$work/composer.png" <<'PY'
import re, subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
rgb = [[int(h[i:i + 2], 16) for i in (0, 2, 4)] for h in re.findall(r"#([0-9A-F]{6})", txt)]
sys.exit(sum(r > 150 and g < 110 and 90 < b < 170 and r - g > 80 for r, g, b in rgb) < 20)
PY
}
received_is() {  # <hex bytes>: all the terminal's program got since the last look
    [ "$(od -An -tx1 -v "$work/received" | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')" = "$1" ]
}

start_app
add_chat_pane 2
wait_for 30 some_sidecar || fail "the pane's sidecar never started"
wait_settled
read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')

n=0
for draft in $'\xd7\x90\xd7\x91\xe2\x80\x8b\xd7\x92\xd7\x93' $'\xd8\xa7\xd8\xa8\xe2\x80\x8b\xd8\xac\xd8\xaf' $'ab\xe2\x80\x8bcd'; do
    n=$((n + 1))
    want=$(printf '%s' "${draft//$'\xe2\x80\x8b'/<U+200B>}" | od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
    clip "$draft"
    to_composer
    wait_settled
    xdotool key ctrl+a Delete ctrl+v
    wait_for 20 marks_in_composer || fail "draft $n: the pasted hidden character shows no mark"
    xdotool key Home shift+End
    wait_settled
    shot "${n}_selected"
    : >"$work/received"
    # The middle button on the terminal pane, on the left.
    xdotool mousemove --window "$window" $((width / 4)) $((height / 2)) click 2
    wait_for 20 test -s "$work/received" || { shot "${n}_nothing"; fail "draft $n: the middle click put nothing into the terminal"; }
    # All of it, not the first piece of a longer paste.
    wait_for 10 received_is "$want" \
        || fail "draft $n: the terminal got $(od -An -tx1 -v "$work/received" | tr -s ' \n' ' '), not the draft's bytes $want"
done

saved_name() { python3 -c "import json; print(json.load(open('$state'))['workspaces'][0]['sessions'][1]['project'])"; }
for name in $'\xd7\xa4\xd7\xa8\xe2\x80\x8b\xd7\x95\xd7\x99' $'\xd8\xb3\xd9\x84\xe2\x80\x8b\xd8\xa7\xd9\x85'; do
    n=$((n + 1))
    want=$(printf '%s' "$name" | od -An -tx1 -v | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
    clip "$name"
    pane_menu_entry 1
    wait_settled
    xdotool key ctrl+a ctrl+v
    wait_settled
    xdotool key Home shift+End
    wait_settled
    shot "${n}_name_selected"
    xdotool key Return
    wait_for 20 bash -c "[ \"\$(python3 -c \"import json; print(json.load(open('$state'))['workspaces'][0]['sessions'][1]['project'])\")\" = '$name' ]" \
        || fail "name $n: the pasted name was not saved as it is: $(saved_name)"
    wait_settled
    : >"$work/received"
    xdotool mousemove --window "$window" $((width / 4)) $((height / 2)) click 2
    wait_for 20 test -s "$work/received" || fail "name $n: the middle click put nothing into the terminal"
    wait_for 10 received_is "$want" \
        || fail "name $n: the terminal got $(od -An -tx1 -v "$work/received" | tr -s ' \n' ' '), not the name's bytes $want"
done
echo "$e2e: a middle click of each selected draft put the draft's text as it is sent into the terminal, no U+200E and no isolate; of each selected name, the name itself"
