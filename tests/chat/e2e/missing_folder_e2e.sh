#!/usr/bin/env bash
# End to end on the real Claude CLI: a Claude pane whose project folder went away while the app was
# closed. The app starts with it in its saved state: no agent of the pane runs, neither in the home
# folder nor anywhere else (the usage monitor alone runs in the home folder, as it always does), and
# the pane's failure bar names the folder. With the folder back, "Restart session" from the pane
# menu starts the agent there, and a message reaches the model.
#
# Usage: missing_folder_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick; the CLI comes from the test cache (tests/agent/sidecar/support).
set -euo pipefail
e2e=missing_folder_e2e
source "$(dirname "$0")/e2e_lib.sh" "$@"

cat >"$work/claude.json" <<JSON
[{"text": "Hello from the folder that came back."}]
JSON
server claude-server "$work/claude.json"
claude_port=$port
as_test_user "$claude_port"
gone="$work/projects/gone"
python3 - "$state" "$gone" <<'PY'
import json, sys
state = json.load(open(sys.argv[1]))
state["workspaces"][0]["sessions"].append({
    "autoApprove": False, "autoCompact": True, "directory": sys.argv[2], "id": "5E1F0A00-0000-4000-8000-000000000002",
    "kind": "chat", "muted": False, "project": "gone", "provider": "claude", "sessionLabel": "session 1"})
json.dump(state, open(sys.argv[1], "w"))
PY

# The app's sidecars (Node running our script) and Claude CLIs whose working folder is the home folder.
in_home() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/cwd" 2>/dev/null)" = "$HOME" ] || continue
        case "$(readlink "$p/exe" 2>/dev/null)" in
        "$claude_real") echo "cli ${p#/proc/}" ;;
        */node) tr '\0' ' ' <"$p/cmdline" 2>/dev/null | grep -q brinmoor-agent.mjs && echo "sidecar ${p#/proc/}" ;;
        esac
    done
    return 0
}

start_app
wait_for 30 grep -qs "no agent started: Project folder not found: $gone\$" "$work/app.log" \
    || fail "the pane did not say that its folder is missing"
wait_settled
shot 1_folder_missing
# Whatever the usage monitor started has had its time: one sidecar with at most one CLI.
[ "$(in_home | grep -c sidecar || true)" -le 1 ] || fail "a pane's agent runs in the home folder: $(in_home)"
[ "$(in_home | grep -c cli || true)" -le 1 ] || fail "a pane's CLI runs in the home folder: $(in_home)"
[ -z "$(leftovers)" ] || fail "processes run for the missing folder: $(leftovers)"
[ -z "$(claude_clis)" ] || fail "a Claude CLI runs for the pane"

# The folder is back: "Restart session" (the pane menu's second entry) starts the agent there.
mkdir -p "$gone"
xdotool mousemove --window "$window" 1206 106 click 1
wait_for 10 find_close_entry >/dev/null || fail "no menu"
xdotool key Down Down Return
wait_for 30 some_sidecar || fail "the restart started no sidecar in the folder"
wait_settled
type_message "Are you there"
wait_for 60 grep -qs "Are you there" "$work/claude-server.jsonl" || fail "the restarted pane's message never reached the model"
wait_settled
shot 2_restarted
quit_app
echo "$e2e: passed"
