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
e2e=chat_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

cat >"$work/claude.json" <<JSON
[{"text": "Hello from the fake model."},
 {"tool": {"name": "Write", "input": {"file_path": "$work/projects/web/made.txt", "content": "made by the agent\n"}}},
 {"text": "I wrote **made.txt**."}]
JSON
cat >"$work/codex.json" <<JSON
[{"call": {"name": "exec_command", "arguments": {"cmd": "echo hello-from-codex | tee codex.txt"}}},
 {"text": "The command ran."}]
JSON
server claude-server "$work/claude.json"
claude_port=$port
server openai-server "$work/codex.json"
codex_port=$port
as_test_user "$claude_port" "$codex_port"

# --- Claude ---
start_app
add_chat_pane 1
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
