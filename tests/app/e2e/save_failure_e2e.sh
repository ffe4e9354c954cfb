#!/usr/bin/env bash
# End to end: the data folder fills up while the app runs. Its data folder is a small file system
# of its own (a tmpfs, mounted for the test; skipped where that cannot be done, as without root).
# Filled up: a pane added cannot be saved, and the window's foot says so and why. Space back: the
# app saves it without another change, and the strip goes. Filled again: a second pane cannot be
# saved; space comes back and the app is quit at once; after a restart both panes are there.
# Filled at quit: closing the window tries once more and then asks (the window stays); staying
# keeps the app running, and "Quit anyway" quits, losing only what could not be written.
#
# Usage: save_failure_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=save_failure_e2e
source "$(dirname "$0")/../../chat/e2e/e2e_lib.sh" "$@"

as_test_user 9  # the panes' agents reach no model: none is asked anything
data=$(dirname "$state")
mv "$state" "$work/state.json"
if ! mount -t tmpfs -o size=512k tmpfs "$data" 2>"$work/mount.err"; then
    echo "$e2e: skipped: no small file system to fill for the data folder ($(cat "$work/mount.err"))"
    exit 77
fi
unmount() {
    local status=$?
    if [ -n "$app" ]; then
        kill "$app" 2>/dev/null || true
        wait_for 10 gone "$app" || true
    fi
    umount "$data" 2>/dev/null || umount -l "$data"
    cleanup "$status"
}
trap unmount EXIT
cp "$work/state.json" "$state"

fill() { dd if=/dev/zero of="$data/filler" bs=4k 2>/dev/null || true; }
unfill() { rm -f "$data/filler"; }
saved_panes() { python3 -c "import json; print(len(json.load(open('$state'))['workspaces'][0]['sessions']))"; }
saved_panes_are() { [ "$(saved_panes)" = "$1" ]; }
# The strip at the window's foot: its red warning sign (f0524f) in the bottom left corner.
strip_shown() {
    import -window "$window" "$work/strip.png"
    python3 - "$work/strip.png" <<'PY'
import subprocess, sys
size = subprocess.run(["identify", "-format", "%h", sys.argv[1]], capture_output=True, text=True).stdout
h = int(size)
txt = subprocess.run(["convert", sys.argv[1], "-crop", "40x40+0+%d" % (h - 40), "txt:-"], capture_output=True, text=True).stdout
red = sum(1 for l in txt.splitlines()[1:] if "#F0524F" in l.upper())
sys.exit(0 if red >= 10 else 1)
PY
}
strip_gone() { ! strip_shown; }
add_pane() {  # the add-session sheet on its defaults: a Claude pane in the recent folder
    xdotool key ctrl+shift+t
    wait_settled
    xdotool key Return
}

start_app
fill
add_pane
wait_for 20 grep -qs "could not save .*No space left on device" "$work/app.log" || fail "no save failed"
wait_for 20 strip_shown || fail "the window does not say that changes cannot be saved"
saved_panes_are 0 || fail "a save on a full disk wrote something"
wait_settled
shot 1_cannot_save

# Space comes back: the pane is written without another change, and the strip goes.
unfill
wait_for 60 saved_panes_are 1 || fail "the pane was not saved once space came back"
wait_for 20 strip_gone || fail "the strip stayed after a save succeeded"
wait_settled
shot 2_saved_again

# Full again: the second pane fails; space comes back and the app quits before anything else.
fill
add_pane
wait_for 20 strip_shown || fail "the second failure was not shown"
unfill
quit_app
saved_panes_are 2 || fail "the pane added while saves failed was lost at quit ($(saved_panes) saved)"

start_app
wait_settled
shot 3_after_restart
strip_gone || fail "the strip shows after a clean start"

# Full at quit. The question's "Don't quit" (the blue button, 3f74d6, in the middle third of the
# window: all else lies dimmed under it, the strip too) and "Quit anyway" left of it.
prompt_button() {
    colour_rows 3F74D6 <<'PY'
w = int(subprocess.run(["identify", "-format", "%w", sys.argv[1]], capture_output=True, text=True).stdout)
good = [(y, [x for x in xs if w / 3 < x < 2 * w / 3]) for y, xs in rows.items()]
good = [(y, xs) for y, xs in good if 40 <= len(xs) <= 200]
if len(good) < 10: sys.exit(1)
ys = [y for y, _ in good]
print(min(min(xs) for _, xs in good), (min(ys) + max(ys)) // 2)
PY
}
# The app runs and its window is still there (import waits for ever on a window that went).
prompt_shown() {
    kill -0 "$app" 2>/dev/null && xwininfo -id "$window" >/dev/null 2>&1 && strip_gone && prompt_button >/dev/null
}
close_window() { xdotool mousemove --window "$window" 22 18 click 1; }
fill
add_pane
wait_for 20 strip_shown || fail "the third failure was not shown"
close_window
wait_for 20 prompt_shown || fail "closing with changes that cannot be saved did not ask (or quit)"
wait_settled
shot 4_asks_before_quit
xdotool key Escape
wait_for 10 strip_shown || fail "staying did not close the question"
kill -0 "$app" || fail "the app quit although the user stayed"
close_window
wait_for 20 prompt_shown || fail "the second close did not ask"
read -r x y < <(prompt_button)
xdotool mousemove --window "$window" $((x - 60)) "$y" click 1
wait_for 30 gone "$app" || fail "Quit anyway did not quit"
app=""
# The file is whole: as it was (2 panes), or with the third pane if a last try on the way out
# found room (the app's lock file leaves the folder as it ends).
case "$(saved_panes)" in 2 | 3) ;; *) fail "the state file was damaged at quit ($(saved_panes) panes)" ;; esac
echo "$e2e: passed"
