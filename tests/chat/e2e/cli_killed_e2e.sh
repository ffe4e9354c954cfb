#!/usr/bin/env bash
# End to end, real Claude and Codex CLIs against the fake servers: a pane's agent CLI killed with
# SIGKILL while an approved command runs (Claude asking before edits, Codex in full access) leaves
# no process of the command 5 s later; and a Codex command that runs past the CLI's 10 s yield is
# one card, which gets its outcome when the turn ends.
#
# Usage: cli_killed_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=cli_killed_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

sleeper='echo waiting; sleep 300; echo done > after-300.txt'
python3 - "$work" "$sleeper" <<'PY'
import json, sys
work, sleeper = sys.argv[1:]
json.dump([{"tool": {"name": "Bash", "input": {"command": sleeper, "description": "Wait"}}}], open(f"{work}/claude.json", "w"))
json.dump([{"call": {"name": "exec_command", "arguments": {"cmd": sleeper}}},
           {"call": {"name": "exec_command", "arguments": {"cmd": "echo begin-12; sleep 12; echo end-12"}}},
           {"text": "It is still running."}], open(f"{work}/codex.json", "w"))
PY
server claude-server "$work/claude.json"
claude_port=$port
server openai-server "$work/codex.json"
codex_port=$port
as_test_user "$claude_port" "$codex_port"

nothing_runs() { ! runs "$1"; }
# Kills the pane's CLI (the process running <executable>, parent of the command's shell) while the
# command runs; 5 s later nothing of the command may be left, wherever it was re-parented.
kill_cli_mid_command() {  # <executable>
    local sleeper_pid shell cli
    wait_for 60 runs "sleep 300" || { shot never_ran; fail "the command never ran; running: $(leftovers)"; }
    sleeper_pid=$(running "sleep 300" | head -1)
    cli=$sleeper_pid
    while [ "$cli" -gt 1 ] && [ "$(readlink "/proc/$cli/exe" 2>/dev/null)" != "$1" ]; do
        cli=$(sed 's/.*) //' "/proc/$cli/stat" | cut -d' ' -f2)
    done
    [ "$cli" -gt 1 ] || fail "no $1 runs the command"
    shell=$(sed 's/.*) //' "/proc/$sleeper_pid/stat" | cut -d' ' -f2)
    kill -9 "$cli"
    wait_for 5 all_gone "$sleeper_pid" "$shell" || fail "5 s after its CLI was killed the command still runs: $(running "sleep 300")"
}

# --- Claude, asking before edits: the approved command's CLI killed ---
web="$work/projects/web"
seed_chat_pane claude "$web" False
start_app
type_message "Wait five minutes, then write"
click_amber_button Approve
kill_cli_mid_command "$(readlink -f "$claude")"
wait_for 10 find_restart_button >/dev/null || fail "no stopped card after the CLI died"
shot 1_claude_cli_killed
read -r x y < <(find_restart_button)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 30 some_sidecar || fail "Restart started no sidecar"
wait_settled
shot 2_claude_restarted
nothing_runs "sleep 300" || fail "the command runs on after the restart"
[ ! -e "$web/after-300.txt" ] || fail "the command finished after its CLI was killed"
quit_app
echo "$e2e: claude: the approved command ended with its killed CLI"

# --- Codex, full access: the same; then a command past the yield time ---
cli="$work/projects/cli"
seed_chat_pane codex "$cli" True
start_app
type_message "Wait five minutes, then write"
kill_cli_mid_command "$(readlink -f "$codex")"
wait_settled
shot 3_codex_cli_killed
type_message "Run the long one"
wait_for 60 runs "sleep 12" || fail "the long command never ran"
wait_for 60 grep -qs 'Process running with session ID' "$work/openai-server.jsonl" || fail "the model was never told the command still runs"
wait_for 30 nothing_runs "sleep 12" || fail "the long command outlived its turn"
wait_settled
shot 4_codex_long_command
quit_app
echo "$e2e: codex: the command ended with its killed CLI; the long command's card got its outcome"
