#!/usr/bin/env bash
# End to end: a browser login runs the tool detection found. Claude is installed only in
# ~/.local/bin, which the login shell's PATH lacks (bash with no profile); the add-session sheet
# finds it there, signed out. "Log in with browser" must start that very file (a stand-in that
# logs how it was called), and the card must then show Claude ready.
# Before that: a claude whose interpreter is gone (an npm install once node is removed) is not shown
# as detected; and the first login waits for good (the browser tab closed): the card offers Cancel,
# also once the sheet is closed and opened again, and Cancel ends the login's process.
#
# Usage: login_local_bin_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=login_local_bin_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # no model is reached
rm -f "$HOME/.profile" "$HOME/.bash_profile" "$HOME/.bash_login"
mkdir -p "$HOME/.local/bin"
printf '#!/nonexistent/bin/node\n' >"$HOME/.local/bin/claude"
chmod +x "$HOME/.local/bin/claude"
# The card's badge once the detection has answered: green (2c9d4f) when ready, amber (f0b429)
# otherwise.
badge() {
    import -window "$window" "$work/badge.png"
    python3 - "$work/badge.png" <<'PY'
import subprocess, sys
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout.upper()
for name, colour in (("green", "#2C9D4F"), ("amber", "#F0B429")):
    if txt.count(colour) >= 40:
        print(name)
        sys.exit(0)
sys.exit(1)
PY
}
start_app
xdotool key ctrl+shift+t
wait_for 30 badge >/dev/null || fail "the card never said what it found"
wait_settled
shot 0_cannot_run
[ "$(badge)" = amber ] || fail "a claude that cannot run is shown as detected"
find_login_button >/dev/null && fail "a claude that cannot run is offered a login"
xdotool key Escape
wait_settled

cat >"$HOME/.local/bin/claude" <<'SH'
#!/bin/sh
echo "$0 $*" >>"$HOME/claude-argv.log"
case "$*" in
  "auth login")
    # The first login waits for good, as when the user closed the browser tab.
    if [ ! -e "$HOME/login-tried" ]; then : >"$HOME/login-tried"; exec sleep 600; fi
    : >"$HOME/signed-in" ;;
  "--version") echo "2.1.3 (Claude Code)" ;;
  "auth status") if [ -f "$HOME/signed-in" ]; then echo "Logged in"; else echo "Not logged in"; fi ;;
esac
SH
chmod +x "$HOME/.local/bin/claude"
# The login shell cannot find it by name.
! bash -lic 'command -v claude' </dev/null >/dev/null 2>&1 || fail "claude is on the login shell's PATH"

click_browser_login
wait_for 30 test -n "$(waiting_login)" || fail "the login did not start"
hanging=$(waiting_login)
wait_for 30 find_cancel >/dev/null || fail "a waiting login offers no Cancel"
# The sheet closed and opened again: still waiting, still Cancel. (Its spinner turns meanwhile: the
# window never settles.)
xdotool key Escape
wait_for 30 no_cancel || fail "the sheet did not close"
xdotool key ctrl+shift+t
wait_for 30 find_cancel >/dev/null || fail "the reopened sheet offers no Cancel for the waiting login"
shot 1_waiting_with_cancel
read -r x y < <(find_cancel)
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 10 gone "$hanging" || fail "Cancel did not end the login's process"
wait_for 30 find_login_button >/dev/null || fail "after Cancel the card does not offer the login again"
xdotool key Escape
wait_settled
# Tried again: this login goes through.
click_browser_login
wait_for 30 grep -qsx "$HOME/.local/bin/claude auth login" "$HOME/claude-argv.log" \
    || fail "the login did not start $HOME/.local/bin/claude (its calls: $(cat "$HOME/claude-argv.log" 2>/dev/null || echo none))"
close_signed_in_sheet
quit_app
echo "$e2e: passed"
