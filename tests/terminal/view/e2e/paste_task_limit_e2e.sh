#!/usr/bin/env bash
# The built app inside a pids control group whose limit is reached while a terminal pane pastes
# another program's text (Ctrl+Shift+V, twice): the pane says at once that nothing was pasted as
# no thread could be started; once the group has room again, the same pane pastes, and the pasted
# command runs. Before, the refused reads never ran, nothing was said, and the pane never pasted
# again. Needs root and a writable pids hierarchy (cgroup v1 pids, or v2 handing pids down);
# skipped otherwise (exit 77).
#
# Usage: paste_task_limit_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool,
# python3, ImageMagick and the test's selection_owner.
set -euo pipefail
e2e=paste_task_limit_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

source "$(dirname "$0")/pids_group.sh"

as_test_user 9
mkdir -p "$work/projects/web"
# Pasted lines run as they come, so that the paste shows in what it does.
printf 'PS1="\\$ "\nHISTFILE=\nbind "set enable-bracketed-paste off"\n' >"$HOME/.bash_profile"
seed_terminal_pane "$work/projects/web"

# The app enters the group as it starts: a stand-in for the build's binary moves itself there and
# becomes the app, its diagnostics written a line at a time.
real_build=$build
mkdir -p "$work/in-group/bin"
printf '#!/bin/sh\necho $$ >%q/cgroup.procs || exit 1\nexec stdbuf -oL -eL %q "$@"\n' "$group" "$real_build/bin/brinmoor" >"$work/in-group/bin/brinmoor"
chmod +x "$work/in-group/bin/brinmoor"
build="$work/in-group"
start_app
build=$real_build
wait_for 30 pgrep -x bash -P "$app" >/dev/null || fail "the pane's shell did not start"
point_at_middle
xdotool click 1

printf 'touch %s/pasted\n' "$work" >"$work/paste.txt"
"$build/tests/chat/x11/selection_owner" CLIPBOARD serve "$work/paste.txt" 1024 0 >"$work/owner.out" 2>&1 &
pids+=($!)
wait_for 10 grep -qs owner "$work/owner.out" || fail "the owner did not take the clipboard"

refusals() { grep -c "terminal paste: Nothing was pasted: no thread could be started" "$work/app.log" || true; }
# Full: the group's limit is what it runs now.
cat "$group/pids.current" >"$group/pids.max"
for i in 1 2; do
    xdotool key ctrl+shift+v
    wait_for 10 bash -c "[ \$(grep -c 'terminal paste: Nothing was pasted: no thread could be started' $work/app.log) -ge $i ]" \
        || fail "paste $i under the limit: the pane did not say why nothing came"
done
shot refused
kill -0 "$app" || fail "the app ended under the limit"
echo "$e2e: $(refusals) pastes refused, said in the pane; $(cat "$group/pids.current") tasks of $(cat "$group/pids.max")"
# Room again: the same pane pastes, and the command pasted runs.
echo $(($(cat "$group/pids.current") + 64)) >"$group/pids.max"
xdotool key ctrl+shift+v
wait_for 20 test -e "$work/pasted" || fail "the pane did not paste once tasks were free"
echo "$e2e: the pane pasted once tasks were free"
quit_app
