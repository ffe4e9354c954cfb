#!/usr/bin/env bash
# End to end, real Claude and Codex CLIs against the fake servers, in the built app under X:
# - Codex in full access: a server the agent starts with `setsid -f` still runs 10 s after the turn
#   that started it has ended (its codex process gone), and is gone within 10 s of the pane closing.
# - Claude asking before edits, its CLI frozen (SIGSTOP, a hung CLI) while an approved `sleep 700`
#   runs: Stop ends the sleep within 30 s, the pane says the agent had to be ended, and the next
#   message reaches the model on the same conversation.
#
# Usage: agent_session_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=agent_session_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

serve='setsid -f python3 -m http.server 0 --bind 127.0.0.1 >srv.log 2>&1; echo started'
sleeper='echo waiting; sleep 700; echo done > after-700.txt'
python3 - "$work" "$serve" "$sleeper" <<'PY'
import json, sys
work, serve, sleeper = sys.argv[1:]
json.dump([{"tool": {"name": "Bash", "input": {"command": sleeper, "description": "Wait"}}},
           {"text": "Back after the stop."}], open(f"{work}/claude.json", "w"))
json.dump([{"call": {"name": "exec_command", "arguments": {"cmd": serve}}}, {"text": "Launched them."}],
          open(f"{work}/codex.json", "w"))
PY
server claude-server "$work/claude.json"
claude_port=$port
server openai-server "$work/codex.json"
codex_port=$port
as_test_user "$claude_port" "$codex_port"

# No codex process runs in the panes' folders: the turn's codex has exited.
codex_real=$(readlink -f "$codex")
no_codex() {
    local p
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in "$work/projects"*) ;; *) continue ;; esac
        [ "$(readlink "$p/exe" 2>/dev/null)" != "$codex_real" ] || return 1
    done
    return 0
}
# The stop control: the red button at the composer's trailing end while the agent works.
find_stop_button() {
    colour_rows F0524F <<'PY'
pts = [(x, y) for y, xs in rows.items() for x in xs if y > 600 and x > 900]
if len(pts) < 20: sys.exit(1)
print(sum(x for x, _ in pts) // len(pts), sum(y for _, y in pts) // len(pts))
PY
}

# --- Codex, full access: the server outlives its turn and ends with the pane ---
cli="$work/projects/cli"
seed_chat_pane codex "$cli" True
start_app
type_message "Start a server"
srv='python3 -m http.server 0 --bind 127.0.0.1'
wait_for 60 runs "$srv" || { shot never_ran; fail "the server never ran; running: $(leftovers)"; }
wait_for 60 no_codex || fail "the turn's codex never ended"
server_pid=$(running "$srv" | head -1)
ended_at=$(date +%s)
# Nothing to wait for here: the server has to be still there after a while, and 10 s is the while.
sleep 10
kill -0 "$server_pid" 2>/dev/null || fail "the server was gone $(($(date +%s) - ended_at)) s after its turn ended"
parent=$(sed 's/.*) //' "/proc/$server_pid/stat" | cut -d' ' -f2)
[ "$parent" != 1 ] || fail "the server was left to init"
wait_settled
shot 1_codex_server_running
echo "$e2e: codex: the server still runs $(($(date +%s) - ended_at)) s after its turn ended, below $(tr '\0' ' ' <"/proc/$parent/cmdline" | cut -c1-60)"
xdotool mousemove --window "$window" 1206 106 click 1
wait_for 10 find_close_entry >/dev/null || fail "no menu"
read -r x y < <(find_close_entry)
closed_at=$(date +%s%3N)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 10 gone "$server_pid" || fail "the server still runs 10 s after its pane closed"
echo "$e2e: codex: the server ended $(($(date +%s%3N) - closed_at)) ms after its pane closed"
quit_app

# --- Claude, asking before edits: Stop on a frozen CLI ---
web="$work/projects/web"
seed_chat_pane claude "$web" False
start_app
type_message "Wait, then write"
click_amber_button Approve
wait_for 60 runs "sleep 700" || { shot never_ran; fail "the command never ran; running: $(leftovers)"; }
sleep_pid=$(running "sleep 700" | head -1)
cli_pid=$(claude_clis | head -1)
[ -n "$cli_pid" ] || fail "no Claude CLI runs"
kill -STOP "$cli_pid"
wait_for 10 find_stop_button >/dev/null || fail "no stop button"
read -r x y < <(find_stop_button)
stopped_at=$(date +%s%3N)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 30 gone "$sleep_pid" || fail "sleep 700 still runs 30 s after Stop"
echo "$e2e: claude: Stop ended the frozen CLI's sleep 700 after $(($(date +%s%3N) - stopped_at)) ms"
# Killed before the command is; its parent, the session's reaper, takes its exit right after.
wait_for 10 gone "$cli_pid" || fail "the frozen CLI runs on ($(grep -s '^State' "/proc/$cli_pid/status"))"
wait_settled
shot 2_claude_stopped
type_message "Are you back?"
wait_for 60 grep -qs "Are you back?" "$work/claude-server.jsonl" || fail "the next message never reached the model"
wait_settled
shot 3_claude_next_message
[ ! -e "$web/after-700.txt" ] || fail "the stopped command finished"
quit_app
echo "$e2e: claude: the next message reached the model after the frozen CLI was ended"
