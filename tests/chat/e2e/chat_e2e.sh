#!/usr/bin/env bash
# End to end on the real agent CLIs: the built app under X, driven with real input (xdotool), its
# chat panes running our bundled sidecars and the real Claude Code and Codex CLIs against the fake
# model servers of tests/agent/fakes on 127.0.0.1.
#
# Claude: Ctrl+Shift+T and Return add a Claude pane in the recent folder; a typed message and
# Return bring the fake model's answer; the model's Write tool asks permission and Approve makes
# the file; the turn ends idle. Quit and start again: the pane resumes the same conversation and
# shows it. Closing the pane from its menu leaves no Node or CLI process.
# Recovery: the Claude CLI killed with SIGKILL stops the pane (the stopped card names the cause);
# its Restart brings a pane whose next message reaches the model. "Restart session" from the pane
# menu does the same on a live pane, and only one sidecar runs afterwards.
# Codex: a Codex pane (from the saved state, auto-approving) answers a message with a command run.
#
# Usage: chat_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under xvfb-run -a),
# xdotool and ImageMagick; the CLIs come from the test cache (tests/agent/sidecar/support).
set -euo pipefail
src=$(cd "$(dirname "$0")/../../.." && pwd)
build=$(cd "$1" && pwd)
shots=${2-}
work=$(mktemp -d)
pids=()
app=""
cleanup() {
    local p
    for p in "${pids[@]}" $app; do kill "$p" 2>/dev/null || true; done
    rm -rf -- "$work" || true
}
trap cleanup EXIT
fail() {
    echo "chat_e2e: $*" >&2
    [ -n "$app" ] && [ -f "$work/app.log" ] && tail -20 "$work/app.log" >&2
    exit 1
}
wait_for() {  # <seconds> <command...>: polls the condition, 10 times a second
    local n=$(($1 * 10)); shift
    until "$@"; do ((n-- > 0)) || return 1; sleep 0.1; done
}
# The window has stopped changing: four pictures in a row, over more than one step of the app's
# spinner (8 a second), are the same; a spinner keeps it waiting until its work ends.
same_frames() {
    local i
    import -window "$window" "$work/a.rgb" 2>/dev/null
    for i in 1 2 3; do
        import -window "$window" "$work/b.rgb" 2>/dev/null
        cmp -s "$work/a.rgb" "$work/b.rgb" || return 1
    done
}
wait_settled() { wait_for 30 same_frames || fail "the window never settled"; }
shot() {  # <name>: the window as it is now, kept when a screenshot folder was given
    import -window "$window" "$work/$1.png"
    [ -z "$shots" ] || cp "$work/$1.png" "$shots/chat_e2e_$1.png"
}

# The CLIs, looked up with the real cache before HOME moves.
claude=$(node "$src/tests/agent/sidecar/support/claude-path.mjs")
codex=$(node -e "import('$src/tests/agent/sidecar/support/agents.mjs').then(m => console.log(m.codexBinary()))")
# Where the app looks for the tools first (a login shell's PATH is the system's own).
mkdir -p "$work/home/.local/bin" "$work/home/.codex" "$work/projects/web" "$work/projects/cli" "$work/claude"
ln -s "$claude" "$work/home/.local/bin/claude"
ln -s "$codex" "$work/home/.local/bin/codex"
[ -z "$shots" ] || mkdir -p "$shots"

# The fake model servers; each prints its port once listening.
server() {  # <name> <script file>
    node "$src/tests/agent/fakes/$1.mjs" --port 0 --script "$2" --log "$work/$1.jsonl" >"$work/$1.port" 2>"$work/$1.err" &
    pids+=($!)
    wait_for 20 grep -q port "$work/$1.port" || fail "$1 did not start"
    sed 's/[^0-9]//g' "$work/$1.port"
}
cat >"$work/claude.json" <<JSON
[{"text": "Hello from the fake model."},
 {"tool": {"name": "Write", "input": {"file_path": "$work/projects/web/made.txt", "content": "made by the agent\n"}}},
 {"text": "I wrote **made.txt**."}]
JSON
cat >"$work/codex.json" <<JSON
[{"call": {"name": "exec_command", "arguments": {"cmd": "echo hello-from-codex | tee codex.txt"}}},
 {"text": "The command ran."}]
JSON
claude_port=$(server claude-server "$work/claude.json")
codex_port=$(server openai-server "$work/codex.json")
node "$src/tests/agent/fakes/codex-config.mjs" "$work/home/.codex" "http://127.0.0.1:$codex_port"

# A user past the onboarding with one empty workspace and the project as the recent folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" SHELL=/bin/bash
export ANTHROPIC_BASE_URL="http://127.0.0.1:$claude_port" ANTHROPIC_API_KEY=test CLAUDE_CONFIG_DIR="$work/claude"
export CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1 CODEX_HOME="$work/home/.codex" FAKE_OPENAI_KEY=test
export QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_CONFIG_HOME/Brinmoor" "$XDG_DATA_HOME/Brinmoor"
printf '[General]\nbrinmoor.onboarded=true\n' >"$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf"
state="$XDG_DATA_HOME/Brinmoor/state.json"
cat >"$state" <<JSON
{"recents": ["$work/projects/web"], "selected": "5E1F0A00-0000-4000-8000-000000000001",
 "workspaces": [{"bigSideLeft": false, "colorHex": "5b8cee", "id": "5E1F0A00-0000-4000-8000-000000000001",
                 "maxRows": 4, "name": "E2E", "sessions": []}]}
JSON

start_app() {
    "$build/bin/brinmoor" >>"$work/app.log" 2>&1 &
    app=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$app" --name Brinmoor | head -1)
    [ -n "$window" ] || fail "no window"
    xdotool windowfocus --sync "$window" || true
    wait_settled  # the first frames drawn: input goes to whatever has focus
}
quit_app() {  # the window's close button, the red dot in the top left corner
    xdotool mousemove --window "$window" 22 18 click 1
    wait_for 30 bash -c "! kill -0 $app 2>/dev/null" || fail "the app did not quit"
    app=""
}
# Processes still running in the panes' folders: the sidecars and the CLIs they start run there
# (other programs on the machine, and the fake servers, do not).
leftovers() {
    local p
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in
        "$work/projects"*) echo "${p#/proc/} $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null | cut -c1-120)" ;;
        esac
    done
}
none_left() { [ -z "$(leftovers)" ]; }
# The panes' Claude CLIs (by the executable they run, in a pane's folder) and sidecars.
claude_real=$(readlink -f "$claude")
claude_clis() {
    local p
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in "$work/projects"*) ;; *) continue ;; esac
        [ "$(readlink "$p/exe" 2>/dev/null)" = "$claude_real" ] && echo "${p#/proc/}"
    done
    return 0
}
sidecar_count() { leftovers | grep -c 'brinmoor-agent.mjs' || true; }
sidecars_are() { [ "$(sidecar_count)" = "$1" ]; }
some_sidecar() { [ "$(sidecar_count)" -ge 1 ]; }
gone() { ! kill -0 "$1" 2>/dev/null; }
# The stopped card's button: the 1-point outline of a rounded rectangle (borderStrong) in the
# middle of the window, wider than tall; prints its centre.
find_restart_button() {
    import -window "$window" "$work/find.png"
    python3 - "$work/find.png" <<'PY'
import subprocess, sys, collections
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
w = h = 0
pts = []
for line in txt.splitlines()[1:]:
    xy, rest = line.split(":", 1)
    x, y = map(int, xy.split(","))
    w, h = max(w, x + 1), max(h, y + 1)
    if "#23262E" in rest.upper() or "#D2D5DC" in rest.upper():
        pts.append((x, y))
rows = collections.defaultdict(list)
for x, y in pts:
    if w * 0.3 < x < w * 0.9 and h * 0.2 < y < h * 0.9:
        rows[y].append(x)
edges = sorted(y for y, xs in rows.items() if 60 <= len(xs) <= 400)
if len(edges) < 2: sys.exit(1)
top, bottom = edges[0], edges[-1]
if not 14 <= bottom - top <= 60: sys.exit(1)
xs = rows[top]
print((min(xs) + max(xs)) // 2, (top + bottom) // 2)
PY
}
# The centre of the filled amber button (f0b429) nearest the bottom of the window: rows holding a
# run of 40 to 200 amber pixels (the pane's amber frame spans the whole width or is 2 pixels wide).
find_amber_button() {
    import -window "$window" "$work/find.png"
    python3 - "$work/find.png" <<'PY'
import subprocess, sys, collections
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
rows = collections.defaultdict(list)
for line in txt.splitlines()[1:]:
    if "#F0B429" in line.upper():
        x, y = map(int, line.split(":")[0].split(","))
        rows[y].append(x)
good = [(y, xs) for y, xs in rows.items() if 40 <= len(xs) <= 200]
if len(good) < 8: sys.exit(1)
y0 = max(y for y, _ in good)
block = [(y, xs) for y, xs in good if y0 - y < 30]
xs = sorted(x for _, row in block for x in row if 3 < x)
print(xs[len(xs) // 2], sorted(y for y, _ in block)[len(block) // 2])
PY
}
# The menu's last entry, "Close pane", drawn in red (f0524f) like "Stop" above it: the lowest red
# text in the right half of the window.
find_close_entry() {
    import -window "$window" "$work/find.png"
    python3 - "$work/find.png" <<'PY'
import subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
pts = []
for line in txt.splitlines()[1:]:
    if "#F0524F" in line.upper():
        x, y = map(int, line.split(":")[0].split(","))
        if x > 900: pts.append((x, y))
if len(pts) < 20: sys.exit(1)
low = max(y for _, y in pts)
row = [(x, y) for x, y in pts if low - y < 12]
print(sorted(x for x, _ in row)[len(row) // 2], sorted(y for _, y in row)[len(row) // 2])
PY
}
click_amber_button() {
    local x y
    wait_for 60 find_amber_button >/dev/null || fail "no $1 button"
    read -r x y < <(find_amber_button)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
# The chat editor: the composer sits at the foot of a pane that fills the grid.
type_message() {
    xdotool mousemove --window "$window" 700 $(( $(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}') - 72 )) click 1
    wait_settled
    xdotool type --delay 20 "$1"
    xdotool key Return
}
pane_field() {  # <field>: that field of the first saved pane
    python3 -c "import json,sys; s=json.load(open('$state'))['workspaces'][0]['sessions']; print(s[0].get('$1','') if s else '')"
}

# --- Claude ---
start_app
xdotool key ctrl+shift+t
wait_settled
xdotool key Return
wait_for 20 bash -c "[ \"\$(python3 -c \"import json; print(len(json.load(open('$state'))['workspaces'][0]['sessions']))\")\" = 1 ]" \
    || fail "no pane was added"
[ "$(pane_field provider)" = claude ] && [ "$(pane_field kind)" = chat ] || fail "the pane is not a Claude chat"
wait_settled
shot 1_claude_added
type_message "Say hello"
wait_for 60 grep -qs "Say hello" "$work/claude-server.jsonl" || fail "the model got no request"
wait_settled
shot 2_claude_answer
type_message "Write the file"
click_amber_button Approve
wait_for 60 test -f "$work/projects/web/made.txt" || fail "the approved tool did not run"
wait_settled
shot 3_claude_tool_ran
conversation=$(pane_field claudeSessionId)
[ -n "$conversation" ] || fail "no conversation id was saved"

# The agent dies: the pane stops and says why; its Restart brings an agent that answers.
[ -n "$(claude_clis)" ] || fail "no Claude CLI runs for the pane"
kill -9 $(claude_clis)
wait_for 30 sidecars_are 0 || fail "the sidecar outlived its agent"
# Each look reads a whole screenshot (about 3 s): 30 looks are plenty.
wait_for 3 find_restart_button >/dev/null || fail "no stopped card after the agent died"
wait_settled
shot 3a_claude_agent_died
read -r x y < <(find_restart_button)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 30 some_sidecar || fail "Restart started no sidecar"
wait_settled
type_message "After the crash"
wait_for 60 grep -qs "After the crash" "$work/claude-server.jsonl" || fail "the restarted pane's message never reached the model"
wait_settled
shot 3b_claude_restarted

# "Restart session" from the pane menu: the second entry (keyboard: Down twice, then Return).
before=$(leftovers | awk '/brinmoor-agent.mjs/ {print $1}')
xdotool mousemove --window "$window" 1206 106 click 1
wait_for 10 find_close_entry >/dev/null || fail "no menu"
xdotool key Down Down Return
wait_for 30 gone "$before" || fail "the old sidecar still runs after Restart session"
wait_for 30 sidecars_are 1 || fail "Restart session left $(sidecar_count) sidecars"
wait_settled
type_message "After the menu restart"
wait_for 60 grep -qs "After the menu restart" "$work/claude-server.jsonl" || fail "after Restart session no message reached the model"
[ "$(sidecar_count)" = 1 ] || fail "$(sidecar_count) sidecars run after Restart session"
wait_settled
shot 3c_claude_menu_restart
[ "$(pane_field claudeSessionId)" = "$conversation" ] || fail "the restarts lost the conversation"
quit_app
wait_for 10 none_left || fail "left after quitting: $(leftovers)"

start_app
wait_settled
shot 4_claude_resumed
[ "$(pane_field claudeSessionId)" = "$conversation" ] || fail "the pane changed its conversation"
# Close the pane from its menu: the "•••" button at the right end of the pane header, then the
# menu's last entry.
xdotool mousemove --window "$window" 1206 106 click 1
wait_for 10 find_close_entry >/dev/null || fail "no menu"
shot 5_claude_menu
read -r x y < <(find_close_entry)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 20 bash -c "[ \"\$(python3 -c \"import json; print(len(json.load(open('$state'))['workspaces'][0]['sessions']))\")\" = 0 ]" \
    || fail "the pane was not closed"
wait_for 10 none_left || fail "left after closing the pane: $(leftovers)"
quit_app
echo "chat_e2e: claude pane added, answered, tool approved and run, recovered from a killed agent and a menu restart, resumed after restart, closed with nothing left"

# --- Codex ---
python3 - "$state" "$work/projects/cli" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
s["workspaces"][0]["sessions"] = [{"autoApprove": True, "autoCompact": True, "directory": sys.argv[2],
    "id": "5E1F0A00-0000-4000-8000-0000000000C2", "kind": "chat", "muted": False, "project": "cli",
    "provider": "codex", "sessionLabel": "session 1"}]
json.dump(s, open(sys.argv[1], "w"))
PY
start_app
wait_settled
type_message "Run the echo"
# "Ask before running" is read-only, so the pane auto-approves; should Codex still ask, approve.
approved=no
ran_or_asked() { test -f "$work/projects/cli/codex.txt" || find_amber_button >/dev/null; }
wait_for 60 ran_or_asked || fail "the command neither ran nor asked"
if [ ! -f "$work/projects/cli/codex.txt" ]; then
    shot 6_codex_asks
    click_amber_button Approve
    approved=yes
fi
wait_for 60 test -f "$work/projects/cli/codex.txt" || fail "the command did not run"
wait_for 60 bash -c "[ \$(grep -cs '\"input\"' '$work/openai-server.jsonl') -ge 2 ]" || fail "the command's output never reached the model"
wait_settled
shot 7_codex_ran
quit_app
wait_for 10 none_left || fail "left after quitting: $(leftovers)"
echo "chat_e2e: codex pane ran the command (approval asked: $approved) and answered"
