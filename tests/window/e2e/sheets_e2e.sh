#!/usr/bin/env bash
# End to end in the built app under X: what the sheets take in is what the app uses and reads back.
# 1. Claude Code only at ~/.local/bin/claude (where its installer puts it), a folder the login
#    shell's PATH lacks: the add-session sheet shows it found, with its version and signed in,
#    as the pane would find it.
# 2. A workspace named with 300 characters in the new-workspace sheet: the name field stops at the
#    bound the saved state holds, so after a restart the workspace is there with no notice about
#    names cut and no copy of state.json set aside.
#
# Usage: sheets_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (xvfb-run -a), xdotool,
# python3 and ImageMagick.
set -euo pipefail
e2e=sheets_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9
cat >"$HOME/.local/bin/claude" <<'SH'
#!/bin/sh
case "$1" in
--version) echo "2.1.3 (Claude Code)" ;;
auth) echo "Logged in as e2e@example.com" ;;
esac
SH
chmod +x "$HOME/.local/bin/claude"
bash -lic 'command -v claude' >/dev/null 2>&1 && fail "claude is on the login shell's PATH: the test proves nothing"

# The status card's green badge (2c9d4f) with its check mark: Claude found and signed in.
green_badge() { colour_rows 2C9D4F <<<'sys.exit(0 if sum(len(xs) for xs in rows.values()) >= 150 else 1)'; }

start_app
xdotool key ctrl+shift+t
wait_settled  # the card's spinner turns until the detection has answered
shot 1_add_session_sheet
green_badge || fail "the add-session sheet does not show Claude found"
xdotool key Escape
wait_settled

xdotool key ctrl+shift+n
wait_settled
name=$(printf 'n%.0s' $(seq 300))
xdotool type --delay 2 "$name"
xdotool key Return
saved_name() { python3 -c "import json; print(json.load(open('$state'))['workspaces'][-1]['name'])"; }
wait_for 20 bash -c "[ \"\$(python3 -c \"import json; print(len(json.load(open('$state'))['workspaces']))\")\" = 2 ]" ||
    fail "the workspace was not made"
[ "$(saved_name | tr -d '\n' | wc -c)" = 256 ] || fail "the name was saved with $(saved_name | tr -d '\n' | wc -c) characters"
wait_settled
shot 2_long_name
quit_app

start_app
wait_settled
shot 3_after_restart
grep -q "too long" "$work/app.log" && fail "the restart says names were too long: $(grep 'too long' "$work/app.log")"
ls "$(dirname "$state")" | grep -q unreadable && fail "a copy of state.json was set aside: $(ls "$(dirname "$state")")"
[ "$(saved_name | tr -d '\n' | wc -c)" = 256 ] || fail "the name changed at the restart"
quit_app
echo "$e2e: passed"
