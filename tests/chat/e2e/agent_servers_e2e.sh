#!/usr/bin/env bash
# End to end, real Claude and Codex CLIs against the fake servers, in the built app under X: what an
# agent starts and leaves running (a server that records SIGTERM) lives as long as its pane's
# session, and is asked to end before anything kills it.
# - Codex in full access: Stop while the model goes on talking after the turn started the server
#   leaves the server answering; so does an Effort change, which the next turn's request is asked
#   at; closing the pane ends the server, which saw SIGTERM.
# - Claude asking before edits: the server of turn 1 answers after an Effort change (the next
#   request is at it), after Stop on a command that had begun (shot 5 shows its card: stopped
#   while running, not "Not run") and after Stop on a frozen CLI (SIGSTOP) that had to be ended;
#   closing the pane ends it, SIGTERM first.
#
# Usage: agent_servers_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=agent_servers_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

recorder="$src/tests/agent/fakes/recording-server.py"
serve() { echo "setsid -f python3 $recorder $work/$1 >/dev/null 2>&1; echo started $1"; }
python3 - "$work" "$(serve codex-srv)" "$(serve claude-srv)" <<'PY'
import json, sys
work, codex_serve, claude_serve = sys.argv[1:]
json.dump([{"tool": {"name": "Bash", "input": {"command": claude_serve, "description": "Start a server"}}},
           {"text": "Started it."},
           {"tool": {"name": "Bash", "input": {"command": "echo second-begin; sleep 300", "description": "Begin, then wait"}}},
           {"tool": {"name": "Bash", "input": {"command": "echo waiting; sleep 700", "description": "Wait"}}},
           {"text": "Back after the stop."}], open(f"{work}/claude.json", "w"))
json.dump([{"call": {"name": "exec_command", "arguments": {"cmd": codex_serve}}},
           {"text": "Started it, and still talking", "hold": True},
           {"text": "At the new effort."}], open(f"{work}/codex.json", "w"))
PY
server claude-server "$work/claude.json"
claude_port=$port
server openai-server "$work/codex.json"
codex_port=$port
as_test_user "$claude_port" "$codex_port"

# The recording server <name>: its process, whether it answers, whether it saw SIGTERM.
server_pid() { pgrep -f -- "$recorder $work/$1\$" | head -1; }
answers() { python3 -c "import sys, urllib.request; urllib.request.urlopen('http://127.0.0.1:' + open(sys.argv[1]).read(), timeout=5)" "$work/$1.port" 2>/dev/null; }
# The stop control: the red button at the composer's trailing end while the agent works.
find_stop_button() {
    colour_rows F0524F <<'PY'
pts = [(x, y) for y, xs in rows.items() for x in xs if y > 600 and x > 900]
if len(pts) < 20: sys.exit(1)
print(sum(x for x, _ in pts) // len(pts), sum(y for _, y in pts) // len(pts))
PY
}
no_stop_button() { ! find_stop_button >/dev/null; }
click_stop() {
    local x y
    wait_for 10 find_stop_button >/dev/null || fail "no stop button"
    read -r x y < <(find_stop_button)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
# The mode menu's chosen effort: the accent-filled dot in the menu's lower half; prints its centre.
find_effort_dot() {
    colour_rows 5B8CDD <<'PY'
pts = [(x, y) for y, xs in rows.items() for x in xs if y > 500 and 400 < x < 800]
if not 20 <= len(pts) <= 200: sys.exit(1)
print(sum(x for x, _ in pts) // len(pts), sum(y for _, y in pts) // len(pts))
PY
}
# Another Effort in the pane's mode menu (the pill at the foot, then the dot left of "High").
change_effort() {  # <shot name>
    local h x y
    h=$(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}')
    xdotool mousemove --window "$window" 340 $((h - 35)) click 1
    wait_for 10 find_effort_dot >/dev/null || fail "no effort dots in the mode menu"
    wait_settled
    shot "$1"
    read -r x y < <(find_effort_dot)
    xdotool mousemove --window "$window" $((x - 19)) "$y" click 1
    xdotool key Escape
    wait_settled
}
# Closes the pane from its menu; closed_at is when "Close pane" was clicked (epoch ms).
close_pane() {
    local x y
    xdotool mousemove --window "$window" 1206 106 click 1
    wait_for 10 find_close_entry >/dev/null || fail "no menu"
    read -r x y < <(find_close_entry)
    closed_at=$(date +%s%3N)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
# Approves the permission card whenever one asks, until <command line> runs (the CLI asks for no
# approval of a command it deems read-only).
run_approving() {  # <command line>
    local n=600 x y
    until runs "$1"; do
        if read -r x y < <(find_amber_button); then xdotool mousemove --window "$window" "$x" "$y" click 1; fi
        ((n-- > 0)) || return 1
        sleep 0.1
    done
}
sidecars() { leftovers | awk '/-agent.mjs/ {print $1}' | sort | tr '\n' ' '; }
asked_at() {  # <log> <message> <python expression on the request body>: the first request holding the message
    python3 - "$work/$1" "$2" "$3" <<'PY'
import json, sys
for line in open(sys.argv[1]):
    if sys.argv[2] not in line: continue
    body = json.loads(line)["body"]
    sys.exit(0 if eval(sys.argv[3]) else 1)
sys.exit(1)
PY
}

# --- Codex, full access ---
cli="$work/projects/cli"
seed_chat_pane codex "$cli" True
start_app
type_message "Start a server"
wait_for 60 answers codex-srv || { shot codex_never_served; fail "codex: the server never answered; running: $(leftovers)"; }
srv=$(server_pid codex-srv)
click_stop
wait_for 30 no_stop_button || fail "codex: the turn did not end on Stop"
wait_settled
shot 1_codex_stopped
answers codex-srv || fail "codex: the server the stopped turn started no longer answers"
echo "$e2e: codex: the server still answers after Stop"
before=$(sidecars)
change_effort 2_codex_modes
type_message "And now?"
wait_for 60 grep -qs "And now?" "$work/openai-server.jsonl" || fail "codex: the next message never reached the model"
asked_at openai-server.jsonl "And now?" 'body.get("reasoning", {}).get("effort") == "medium"' || fail "codex: the next turn was not asked at the new effort"
[ "$(sidecars)" = "$before" ] || fail "codex: the sidecar started again for the new effort"
wait_for 30 no_stop_button || fail "codex: the turn after the effort change never ended"
answers codex-srv || fail "codex: the server no longer answers after the effort change"
wait_settled
shot 3_codex_effort
echo "$e2e: codex: the server still answers after an Effort change, and the next turn was asked at it"
close_pane
wait_for 10 gone "$srv" || fail "codex: the server still runs 10 s after its pane closed"
[ -e "$work/codex-srv.term" ] || fail "codex: the server was killed without SIGTERM"
echo "$e2e: codex: the server ended $(($(date +%s%3N) - closed_at)) ms after its pane closed, asked with SIGTERM first"
quit_app

# --- Claude, asking before edits ---
web="$work/projects/web"
seed_chat_pane claude "$web" False
start_app
type_message "Start a server"
click_amber_button Approve
wait_for 60 answers claude-srv || { shot claude_never_served; fail "claude: the server never answered; running: $(leftovers)"; }
srv=$(server_pid claude-srv)
wait_for 60 no_stop_button || fail "claude: the first turn never ended"
before=$(sidecars)
change_effort 4_claude_modes
type_message "Begin, then wait"
run_approving "sleep 300" || { shot never_ran; fail "claude: the command never ran; running: $(leftovers)"; }
asked_at claude-server.jsonl "Begin, then wait" 'body.get("output_config", {}).get("effort") == "medium"' || fail "claude: the request was not asked at the new effort"
[ "$(sidecars)" = "$before" ] || fail "claude: the sidecar started again for the new effort"
click_stop
wait_for 30 no_stop_button || fail "claude: the turn did not end on Stop"
wait_settled
shot 5_claude_stopped_running
answers claude-srv || fail "claude: the server no longer answers after the Effort change and Stop"
type_message "Wait"
run_approving "sleep 700" || fail "claude: sleep 700 never ran"
sleep_pid=$(running "sleep 700" | head -1)
cli_pid=$(claude_clis | head -1)
kill -STOP "$cli_pid"
click_stop
wait_for 30 gone "$sleep_pid" || fail "claude: sleep 700 still runs 30 s after Stop"
wait_for 10 gone "$cli_pid" || fail "claude: the frozen CLI runs on"
wait_settled
shot 6_claude_cli_ended
answers claude-srv || fail "claude: the server of turn 1 no longer answers after the frozen CLI was ended"
echo "$e2e: claude: the server of turn 1 still answers after an Effort change, a Stop mid-command and a Stop on a frozen CLI"
type_message "Are you back?"
wait_for 60 grep -qs "Are you back?" "$work/claude-server.jsonl" || fail "claude: the next message never reached the model"
answers claude-srv || fail "claude: the server no longer answers after the next message"
wait_settled
shot 7_claude_back
close_pane
wait_for 10 gone "$srv" || fail "claude: the server still runs 10 s after its pane closed"
[ -e "$work/claude-srv.term" ] || fail "claude: the server was killed without SIGTERM"
echo "$e2e: claude: the server ended $(($(date +%s%3N) - closed_at)) ms after its pane closed, asked with SIGTERM first"
quit_app
