#!/usr/bin/env bash
# Terminals of a hidden workspace keep their cursor through a window resize: the built app under
# X with openbox managing its window, three workspaces of real login bash shells at a prompt of
# 42 characters ending in a space ("Groups": four terminals, two of them in a group; "Three": three
# terminals; "Codex": a Codex chat pane on the scripted fake sidecar, and a terminal). Each round
# selects "Codex", resizes the window 1240×780 → 980×640 → 1240×780, selects "Groups" again and
# types "x" into each of its four panes: every pane must show "# x", the x after the prompt's
# space, read back through the pane's Select All and Copy. Rounds: $ROUNDS (10).
#
# Usage: switch_resize_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (xvfb-run -a),
# openbox, xdotool, xclip and ImageMagick.
set -euo pipefail
rounds=${ROUNDS:-10}
e2e=switch_resize_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"
# The window has settled when its left half has: the caret of the pane with the keyboard blinks,
# so only panes without one are looked at.
settle_crop=600x2000+0+0

# The window manager: a resize goes through it, as on a desktop.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 20 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" || fail "openbox did not start"

# A user with three workspaces; every shell a login bash whose prompt is 42 characters.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" SHELL=/bin/bash BRINMOOR_API=http://127.0.0.1:9
export QT_QPA_PLATFORM=xcb QT_QUICK_BACKEND=software
mkdir -p "$HOME/.local/bin" "$XDG_CONFIG_HOME/Brinmoor" "$XDG_DATA_HOME/Brinmoor" "$work/sidecar" "$work/projects/web"
prompt='root@vm:/tmp/e2e-switch-000/projects/web# '
[ ${#prompt} = 42 ] || fail "the prompt is ${#prompt} characters"
printf "PS1='%s'\nunset PROMPT_COMMAND HISTFILE\n" "$prompt" >"$HOME/.bash_profile"
printf '#!/bin/sh\nexit 0\n' >"$HOME/.local/bin/codex" && chmod +x "$HOME/.local/bin/codex"
cp "$src/tests/agent/fakes/fake-sidecar.mjs" "$work/sidecar/codex-agent.mjs"
export BRINMOOR_SIDECAR_DIR="$work/sidecar"
printf '[General]\nbrinmoor.onboarded=true\n' >"$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf"
python3 - "$work/projects/web" >"$XDG_DATA_HOME/Brinmoor/state.json" <<'PY'
import json, sys
folder = sys.argv[1]
def pane(n, kind="terminal", group=None, provider="claude"):
    p = {"id": "5E1F0A00-0000-4000-8000-%012d" % n, "kind": kind, "project": "web", "directory": folder,
         "sessionLabel": "", "provider": provider, "autoApprove": False, "autoCompact": True, "muted": False}
    if group: p["groupID"] = group
    return p
def ws(n, name, colour, sessions):
    return {"id": "5E1F0A00-0000-4000-8000-%012d" % n, "name": name, "colorHex": colour, "maxRows": 4,
            "bigSideLeft": False, "sessions": sessions}
print(json.dumps({"recents": [folder], "selected": "5E1F0A00-0000-4000-8000-000000000001", "workspaces": [
    ws(1, "Groups", "5b8cee", [pane(11, group="g1"), pane(12, group="g1"), pane(13), pane(14)]),
    ws(2, "Three", "c98a3a", [pane(21), pane(22), pane(23)]),
    ws(3, "Codex", "4aa37e", [pane(31, kind="chat", provider="codex"), pane(32)])]}))
PY

start_app
size_is() { xdotool getwindowgeometry "$window" | grep -q "Geometry: $1"; }
resize() {  # <w> <h>
    xdotool windowsize "$window" "$1" "$2"
    wait_for 10 size_is "$1x$2" || fail "the window did not become $1x$2"
    wait_settled
}
# Prints one "x y" per terminal (its background, 0a0b0d), left to right and top to bottom: a
# point in the terminal's lower half, clear of its text.
terminals() {
    import -window "$window" -depth 8 "$work/grid.ppm"
    python3 - "$work/grid.ppm" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
head = data.split(b"\n", 3)
w, h = map(int, head[1].split()); px = head[3]
step = 6
cells = {(x // step, y // step) for y in range(0, h, step) for x in range(230, w, step)
         if px[(y * w + x) * 3:(y * w + x) * 3 + 3] == b"\x0a\x0b\x0d"}
seen, found = set(), []
for c in sorted(cells):
    if c in seen: continue
    comp, todo = [], [c]
    seen.add(c)
    while todo:
        x, y = todo.pop(); comp.append((x, y))
        for n in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
            if n in cells and n not in seen: seen.add(n); todo.append(n)
    if len(comp) < 300: continue
    top = min(y for _, y in comp); bottom = max(y for _, y in comp)
    row = [x for x, y in comp if y == (top + 3 * bottom) // 4]
    if row: found.append((top, row[len(row) // 2] * step, (top + 3 * bottom) // 4 * step))
for top, x, y in sorted(found, key=lambda f: (f[0] // 10, f[1])):
    print(x, y)
PY
}
# The last prompt line of the pane with the keyboard, as its Select All and Copy give it.
prompt_line() {
    xdotool key ctrl+shift+a ctrl+shift+c
    xclip -o -selection clipboard 2>/dev/null | grep -F "${prompt% }" | tail -1
}
# The typed x shows on it: after the prompt's space, or over it.
typed_x_shows() {
    local line
    line=$(prompt_line)
    [[ "$line" == *"${prompt}x"* || "$line" == *"${prompt% }x"* ]]
}

wait_settled
xdotool windowsize "$window" 1240 780
wait_for 10 size_is 1240x780 || fail "the window did not become 1240x780"
wait_settled
for round in $(seq 1 "$rounds"); do
    select_workspace 4aa37e  # Codex
    resize 980 640
    resize 1240 780
    select_workspace 5b8cee  # Groups
    shot "round${round}"
    mapfile -t panes < <(terminals)
    [ ${#panes[@]} = 4 ] || { shot "round${round}_panes"; fail "round $round: ${#panes[@]} terminals found, not 4"; }
    bad=0
    for p in "${panes[@]}"; do
        read -r x y <<<"$p"
        xdotool mousemove --window "$window" "$x" "$y" click 1
        xdotool type x
        wait_for 10 typed_x_shows || fail "round $round: the x typed at $x,$y never showed"
        line=$(prompt_line)
        if [[ "$line" != *"${prompt}x"* ]]; then
            bad=$((bad + 1))
            echo "round $round: the pane at $x,$y shows: $line" >&2
        fi
        xdotool key BackSpace
    done
    ((bad == 0)) || fail "round $round: $bad of 4 panes drew the cursor off the prompt's end"
    echo "round $round: every pane shows '# x'"
done
