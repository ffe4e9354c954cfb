#!/usr/bin/env bash
# The built app inside a pids control group of E2E_PIDS_MAX (40) tasks, as a container's pids limit
# or a login slice's TasksMax sets one (it binds root too): a saved state of 8 workspaces of 5 bash
# panes, each workspace visited in turn, with a rest of E2E_REST seconds (35: Qt's idle pool threads
# would end after 30 s) after the first pane that could not start. Every visit must answer (the
# window shows the workspace chosen), the app must stay up, and each pane that did not start must
# say why. Needs root and a writable pids hierarchy (cgroup v1 pids, or v2 handing pids down);
# skipped otherwise (exit 77). With E2E_USER=<name> the app runs as that unprivileged user (the
# group's limit binds every user alike).
#
# Usage: task_limit_e2e.sh <build dir> [<screenshot dir>]. Needs xvfb-run -a, xdotool, python3 and
# ImageMagick.
set -euo pipefail
e2e=task_limit_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../../../chat/e2e/e2e_lib.sh" "$@"

source "$(dirname "$0")/pids_group.sh"
echo "${E2E_PIDS_MAX:-40}" >"$group/pids.max"

workspaces=8
per=5
as_test_user 9
printf 'PS1="\\$ "\nHISTFILE=\n' >"$HOME/.bash_profile"
python3 "$src/tests/terminal/view/e2e/seed_workspaces.py" "$state" "$work/projects" "$workspaces" "$per" 2 >"$work/colours"
mapfile -t colours <"$work/colours"
settle_crop=200x2000+0+0 # the rail: carets blink in the grid

# The app enters the group as it starts: a stand-in for the build's binary moves itself there and
# becomes the app (the same process id), its diagnostics written a line at a time so that each
# pane's refusal shows in app.log when it happens.
real_build=$build
mkdir -p "$work/in-group/bin"
as_user=""
if [ -n "${E2E_USER-}" ]; then
    # The user's own home and X credentials; the work folder open to it.
    chmod 755 "$work"
    chown -R "$E2E_USER" "$work/home" "$work/projects"
    cp "${XAUTHORITY:-$HOME/.Xauthority}" "$work/xauth" && chown "$E2E_USER" "$work/xauth"
    export XAUTHORITY="$work/xauth"
    as_user="setpriv --reuid=$(id -u "$E2E_USER") --regid=$(id -g "$E2E_USER") --clear-groups"
fi
printf '#!/bin/sh\necho $$ >%q/cgroup.procs || exit 1\nexec %s stdbuf -oL -eL %q "$@"\n' "$group" "$as_user" "$real_build/bin/brinmoor" >"$work/in-group/bin/brinmoor"
chmod +x "$work/in-group/bin/brinmoor"
build="$work/in-group"
start_app
build=$real_build
refusals() { grep -c "Cannot start .*no new process could be made (.*task limit" "$work/app.log" || true; }
shells() { pgrep -c -x bash -P "$app" || true; }
rested=no
for w in $(seq 1 "$workspaces"); do
    [ "$w" = 1 ] || select_workspace "${colours[$((w - 1))]}"
    # The visit answered: each pane of the workspace, made when it is first shown, either runs its
    # shell or has said why it could not.
    wait_for 30 bash -c "[ \$((\$(pgrep -c -x bash -P $app || true) + \$(grep -c 'Cannot start' $work/app.log || true))) -ge $((w * per)) ]" \
        || fail "workspace $w: $(shells) shells and $(refusals) refusals for $((w * per)) panes; $(cat "$group/pids.current") tasks in the group: $(ps -L -o pid,tid,comm --no-headers -p "$(cat "$group/cgroup.procs" | tr '\n' ',' | sed 's/,$//')" | awk '{print $3}' | sort | uniq -c | tr '\n' ' ')"
    kill -0 "$app" || fail "the app ended at workspace $w"
    echo "$e2e: workspace $w: $(shells) shells, $(refusals) panes said why; $(cat "$group/pids.current") tasks in the group"
    if [ "$rested" = no ] && [ "$(refusals)" -gt 0 ]; then
        echo "$e2e: resting ${E2E_REST:-35} s after the first refusal"
        sleep "${E2E_REST:-35}"
        rested=yes
    fi
done
[ "$rested" = yes ] || fail "no pane was refused under a limit of $(cat "$group/pids.max")"
[ $(($(shells) + $(refusals))) = $((workspaces * per)) ] || fail "$(shells) shells and $(refusals) refusals for $((workspaces * per)) panes"
shot last_workspace
# Back to the first: a pane there still runs a typed command.
select_workspace "${colours[0]}"
point_at_middle
xdotool click 1
xdotool type --delay 20 "echo > $work/projects/answered"
xdotool key Return
wait_for 20 test -e "$work/projects/answered" || fail "no pane of the first workspace ran a typed command"
quit_app
