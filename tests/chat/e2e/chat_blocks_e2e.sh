#!/usr/bin/env bash
# End to end, real Claude CLI, fake model server, the built app under X: an answer holding a
# 200-line code block shows it as one card, whose copy button puts all 200 lines on the clipboard;
# a Write of a 130,000-line file asks approval on a card that counts what it does not show from
# the whole file (seen in the screenshots), and the approved Write makes the whole file.
#
# Usage: chat_blocks_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool, xclip and ImageMagick; the CLI comes from the test cache.
set -euo pipefail
e2e=chat_blocks_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

data="$work/projects/web/data.txt"
python3 - "$work/claude.json" "$data" "$work/code.txt" <<'PY'
import json, sys
code = "\n".join(f"    let value{i} = compute({i}); // line {i} of the listing" for i in range(200))
open(sys.argv[3], "w").write(code)
answer = "Here it is:\n\n```rust\n" + code + "\n```\n\nThat is the listing."
content = "".join(f"line {i} of the generated data file\n" for i in range(130000))
json.dump([{"text": answer}, {"tool": {"name": "Write", "input": {"file_path": sys.argv[2], "content": content}}},
           {"text": "Written."}], open(sys.argv[1], "w"))
PY
server claude-server "$work/claude.json"
as_test_user "$port"

start_app
add_chat_pane 1
wait_settled
type_message "Show the listing"
wait_for 60 grep -qs "Show the listing" "$work/claude-server.jsonl" || fail "the model got no request"
wait_settled
# Up to the conversation's start, where the card's top and its copy button are.
point_at_middle
for _ in $(seq 12); do xdotool click --repeat 10 --delay 10 4; done
wait_settled
shot 1_code_card_top
# The card's top edge: the highest row holding a long run of the card border's colour (1c1e25),
# with the card's sides in that colour below both its ends and its fill (0f1116) between them;
# prints a point inside the card and the copy button's centre (6 in from the card's top trailing
# corner, 22 by 20).
card_top() {
    import -window "$window" "$work/find.png"
    python3 - "$work/find.png" <<'PY'
import collections, subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
border, fill = collections.defaultdict(list), collections.defaultdict(int)
for line in txt.splitlines()[1:]:
    xy, rest = line.split(":", 1)
    x, y = map(int, xy.split(","))
    if "#1C1E25" in rest.upper(): border[y].append(x)
    elif "#0F1116" in rest.upper(): fill[y] += 1
for y in sorted(y for y, xs in border.items() if len(xs) >= 300):
    left, right = min(border[y]), max(border[y])
    sides = border.get(y + 10, [])
    if fill[y + 10] >= 0.8 * len(border[y]) and any(left - 9 <= x <= left for x in sides) \
            and any(right <= x <= right + 9 for x in sides):
        right = max(sides)
        print(right - 120, y + 30, right - 6 - 11, y + 6 + 10)
        sys.exit(0)
sys.exit(1)
PY
}
wait_for 10 card_top >/dev/null || fail "no code card on screen"
read -r hx hy bx by < <(card_top)
xdotool mousemove --window "$window" "$hx" "$hy"
wait_settled
xdotool mousemove --window "$window" "$bx" "$by" click 1
shot 2_code_copied
# The copy button trims the text's ends (the first line's indent goes with them).
copied_all() { [ "$(xclip -o -selection clipboard 2>/dev/null)" = "$(sed '1s/^ *//' "$work/code.txt")" ]; }
wait_for 10 copied_all || fail "the copy button gave $(xclip -o -selection clipboard 2>/dev/null | wc -l) line breaks, not the 200 lines of the block"

type_message "Write the data"
wait_for 60 find_amber_button >/dev/null || fail "no approval card"
wait_settled
shot 3_write_approval
click_amber_button Approve
wait_for 60 bash -c "[ \"\$(wc -l < '$data' 2>/dev/null)\" = 130000 ]" || fail "the approved Write did not make the whole file"
# Back to the end, where the Write's card is: the pane's jump button, at the list's bottom
# trailing corner.
xdotool mousemove --window "$window" 1195 656 click 1
wait_settled
shot 4_write_card
quit_app
wait_for 10 none_left || fail "left after quitting: $(leftovers)"
echo "chat_blocks_e2e: the 200-line code block copied whole from its card; the 130,000-line Write was approved and made"
