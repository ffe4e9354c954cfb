#!/usr/bin/env bash
# End to end: a browser login waiting for the browser ends with the app, however the app ends.
# Claude is signed out (a stand-in in ~/.local/bin whose login waits for good, as when the user
# never finishes in the browser). For each way the app can end, the built app is started, "Log in
# with browser" clicked, and once the login waits the app is ended: from its window's close button,
# by SIGTERM (as a logout sends), by its display going away (an X server of its own, ended), and by
# SIGKILL. The login's process must be gone within 10 s each time.
#
# Usage: login_ends_with_app_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), Xvfb, xdotool and ImageMagick.
set -euo pipefail
e2e=login_ends_with_app_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # no model is reached
cat >"$HOME/.local/bin/claude" <<'SH'
#!/bin/sh
case "$*" in
  "auth login") exec sleep 600 ;;
  "--version") echo "2.1.3 (Claude Code)" ;;
  "auth status") echo "Not logged in" ;;
esac
SH
chmod +x "$HOME/.local/bin/claude"

shared_display=$DISPLAY
# An X server for the app alone, so that it can be taken away from under it.
own_display() {
    rm -f "$work/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>>"$work/xvfb.log" &
    xserver=$!
    pids+=("$xserver")
    wait_for 20 test -s "$work/display" || fail "no X server of its own"
    export DISPLAY=":$(cat "$work/display")"
}

for how in window SIGTERM display SIGKILL; do
    [ "$how" != display ] || own_display
    start_app
    click_browser_login
    wait_for 30 test -n "$(waiting_login)" || fail "$how: the login did not start"
    hanging=$(waiting_login)
    case $how in
    window)
        # The sheet goes first (the login waits on); the window's close button is under it.
        wait_for 30 find_cancel >/dev/null || fail "a waiting login offers no Cancel"
        xdotool key Escape
        wait_for 30 no_cancel || fail "the sheet did not close"
        quit_app
        ;;
    SIGTERM) kill -TERM "$app" ;;
    SIGKILL) kill -KILL "$app" ;;
    display) kill "$xserver" ;;
    esac
    [ -z "$app" ] || wait_for 30 gone "$app" || fail "$how: the app did not end"
    app=""
    wait_for 10 gone "$hanging" || fail "$how: the login outlived the app: $(run_processes)"
    export DISPLAY=$shared_display
    echo "$e2e: $how: the login ended with the app"
done
echo "$e2e: passed"
