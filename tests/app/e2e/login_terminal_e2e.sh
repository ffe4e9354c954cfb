#!/usr/bin/env bash
# End to end: a browser login from an app that was started from a terminal. The built app runs on
# a pseudo-terminal of its own (its controlling terminal, its output and, as it starts, its input,
# the app in the foreground: as when started from a shell). The add-session sheet finds Claude signed out (a stand-in `claude`
# on the login shell's PATH); its "Log in with browser" button runs `claude auth login` through the
# login shell. The stand-in's login must run to its end, and the card must then show Claude ready.
#
# Usage: login_terminal_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=login_terminal_e2e
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # no model is reached
# The login shell (bash) reads the profile, which puts the stand-in first on its PATH.
rm -f "$HOME/.local/bin/claude"
printf 'PATH="$HOME/.local/bin:$PATH"; export PATH\n' >"$HOME/.profile"
cat >"$HOME/.local/bin/claude" <<'SH'
#!/bin/sh
case "$*" in
  "auth login") echo started >"$HOME/login.log"; sleep 1; echo finished >>"$HOME/login.log"; : >"$HOME/signed-in" ;;
  "--version") echo "2.1.3 (Claude Code)" ;;
  "auth status") if [ -f "$HOME/signed-in" ]; then echo "Logged in"; else echo "Not logged in"; fi ;;
esac
SH
chmod +x "$HOME/.local/bin/claude"

start_app terminal
# On its terminal: the pseudo-terminal is its controlling terminal (a tty number in its stat) and
# its output; it gave its own input up for the null device, which children inherit.
[ "$(cut -d' ' -f7 "/proc/$app/stat")" != 0 ] || fail "the app has no controlling terminal"
case "$(readlink "/proc/$app/fd/1")" in /dev/pts/*) ;; *) fail "the app's output is not its terminal" ;; esac
[ "$(readlink "/proc/$app/fd/0")" = /dev/null ] || fail "the app kept its terminal as input"

click_browser_login
wait_for 60 grep -qs finished "$HOME/login.log" \
    || fail "the login never ran to its end (its log: $(cat "$HOME/login.log" 2>/dev/null || echo none))"
close_signed_in_sheet
quit_app
echo "$e2e: passed"
