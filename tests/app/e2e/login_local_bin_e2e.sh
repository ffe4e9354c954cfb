#!/usr/bin/env bash
# End to end: a browser login runs the tool detection found. Claude is installed only in
# ~/.local/bin, which the login shell's PATH lacks (bash with no profile); the add-session sheet
# finds it there, signed out. "Log in with browser" must start that very file (a stand-in that
# logs how it was called), and the card must then show Claude ready.
#
# Usage: login_local_bin_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=login_local_bin_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # no model is reached
rm -f "$HOME/.profile" "$HOME/.bash_profile" "$HOME/.bash_login"
cat >"$HOME/.local/bin/claude" <<'SH'
#!/bin/sh
echo "$0 $*" >>"$HOME/claude-argv.log"
case "$*" in
  "auth login") : >"$HOME/signed-in" ;;
  "--version") echo "2.1.3 (Claude Code)" ;;
  "auth status") if [ -f "$HOME/signed-in" ]; then echo "Logged in"; else echo "Not logged in"; fi ;;
esac
SH
chmod +x "$HOME/.local/bin/claude"
# The login shell cannot find it by name.
! bash -lic 'command -v claude' </dev/null >/dev/null 2>&1 || fail "claude is on the login shell's PATH"

start_app
click_browser_login
wait_for 30 grep -qsx "$HOME/.local/bin/claude auth login" "$HOME/claude-argv.log" \
    || fail "the login did not start $HOME/.local/bin/claude (its calls: $(cat "$HOME/claude-argv.log" 2>/dev/null || echo none))"
close_signed_in_sheet
quit_app
echo "$e2e: passed"
