#!/usr/bin/env bash
# End to end, real Claude and Codex CLIs against the fake servers: a pane's sidecar killed with
# SIGKILL while its agent runs a long command leaves nothing of the pane running 5 s later (by
# folder, process group and session); nor does quitting with the restarted pane busy (Claude: a
# permission card open, and no model request after the quit).
#
# Usage: agent_ends_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=agent_ends_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

sleeper='python3 -c "import time; time.sleep(317)" && echo after > after.txt'
python3 - "$work" "$sleeper" <<'PY'
import json, sys
work, sleeper = sys.argv[1:]
json.dump([{"tool": {"name": "Bash", "input": {"command": sleeper, "description": "Wait"}}},
           {"tool": {"name": "Bash", "input": {"command": "echo pending > pending.txt", "description": "Write a file"}}},
           {"text": "Wrote the pending file."}], open(f"{work}/claude.json", "w"))
json.dump([{"call": {"name": "exec_command", "arguments": {"cmd": sleeper}}},
           {"text": "Still working", "hold": True}], open(f"{work}/codex.json", "w"))
PY
server claude-server "$work/claude.json"
claude_port=$port
server openai-server "$work/codex.json"
codex_port=$port
as_test_user "$claude_port" "$codex_port"

# What still runs in the pane's folder, or in the sidecar's process group or session.
left_of() {  # <sidecar pid> <folder>
    local p f
    for p in /proc/[0-9]*; do
        f=$(sed 's/.*) //' "$p/stat" 2>/dev/null) || continue
        [ "${f%% *}" != Z ] || continue
        read -r _ _ pgid sid _ <<<"$f"
        case "$(readlink "$p/cwd" 2>/dev/null)" in
        "$2" | "$2"/*) ;;
        *) [ "$pgid" = "$1" ] || [ "$sid" = "$1" ] || continue ;;
        esac
        echo "${p#/proc/} $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null | cut -c1-100)"
    done
    return 0
}
nothing_left_of() { [ -z "$(left_of "$@")" ]; }
sidecar_of() { leftovers | awk -v s="$1" '$0 ~ s {print $1; exit}'; }
# (grep reads all: with -q it would stop at the first match and fail the pipe under pipefail)
runs() { leftovers | grep -F -- "$1" >/dev/null; }
main_requests() { grep -c '^{"kind":"main"' "$work/claude-server.jsonl" || true; }
restart_pane() {
    local x y
    wait_for 3 find_restart_button >/dev/null || fail "no stopped card after the sidecar died"
    read -r x y < <(find_restart_button)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
# Kills the pane's sidecar while its command runs; within 5 s nothing of it may be left.
kill_mid_turn() {  # <sidecar script> <folder>
    local car
    wait_for 60 runs "time.sleep(317)" || { shot never_ran; fail "$1: the command never ran; running: $(leftovers)"; }
    car=$(sidecar_of "$1")
    [ -n "$car" ] || fail "no $1 runs"
    [ -n "$(left_of "$car" "$2" | grep -v "$1")" ] || fail "$1: nothing of the agent runs"
    kill -9 "$car"
    wait_for 5 nothing_left_of "$car" "$2" || fail "5 s after its $1 was killed: $(left_of "$car" "$2")"
}

# --- Claude: the sidecar killed while the approved command runs ---
web="$work/projects/web"
seed_chat_pane claude "$web" False
start_app
type_message "Run the sleeper"
click_amber_button Approve
kill_mid_turn brinmoor-agent.mjs "$web"
shot 1_claude_sidecar_killed
restart_pane
wait_for 30 some_sidecar || fail "Restart started no sidecar"
wait_settled
# Busy at the quit: the model asks to write a file, the card waits.
type_message "Write the pending file"
wait_for 60 find_amber_button >/dev/null || fail "no permission card"
shot 2_claude_card_open
asked=$(main_requests)
car=$(sidecar_of brinmoor-agent.mjs)
quit_app
wait_for 10 nothing_left_of "$car" "$web" || fail "left after quitting: $(left_of "$car" "$web")"
[ "$(main_requests)" = "$asked" ] || fail "the CLI called the model after the quit"
[ ! -e "$web/pending.txt" ] || fail "the pending call ran"
start_app
wait_settled
shot 3_claude_restored
quit_app
echo "$e2e: claude: nothing left 5 s after its sidecar was killed, nor after a quit with a card open, which made no model request"

# --- Codex: the same, its command running in full access ---
cli="$work/projects/cli"
seed_chat_pane codex "$cli" True
start_app
type_message "Run the sleeper"
kill_mid_turn codex-agent.mjs "$cli"
shot 4_codex_sidecar_killed
restart_pane
wait_for 30 runs codex-agent.mjs || fail "Restart started no sidecar"
wait_settled
type_message "And now?"
wait_for 60 grep -qs "And now?" "$work/openai-server.jsonl" || fail "the restarted Codex pane's message never reached the model"
car=$(sidecar_of codex-agent.mjs)
quit_app
wait_for 10 nothing_left_of "$car" "$cli" || fail "left after quitting: $(left_of "$car" "$cli")"
echo "$e2e: codex: nothing left 5 s after its sidecar was killed, nor after a quit mid-answer"
