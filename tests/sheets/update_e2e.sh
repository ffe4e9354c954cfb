#!/usr/bin/env bash
# End to end, on an installed release: `cmake --install` into a folder whose path holds a quote
# and spaces, a local web service, the installed app started with BRINMOOR_API pointing there.
# 1. A 16 MB version record at full speed, no length: cut off as it arrives, nothing downloaded,
#    no GUI stall of 500 ms.
# 2. Release 99.0, whose program exits 1: "Install Update" keeps and restarts the installed app,
#    which says the update failed and does not fetch 99.0 again.
# 3. Release 99.5, whose program gets SIGSEGV 3 s after its window shows: the previous folder,
#    kept until the new build has settled, is put back and started, and says why.
# 4. "Install Update", "Don't quit" at the question about unsaved changes, then a quit: the app
#    is neither updated nor restarted, and no swap is left waiting.
# 5. A full TMPDIR at "Install Update": the working app restarted saying why; 100.0 not refused
#    for good: once space is freed the next start fetches it again.
# 6. Release 100.0 (the build plus a RELEASE file): installed and started; the previous folder goes.
# 6a. Release 100.5 closes itself (status 0) 2 s after its window shows: taken back, the working app
#    restarted saying why. Release 100.6, whose user quits it at once (within the settle time): kept.
# 6b. A second copy started by the user the moment the app quit for 100.7: the trial meets it; not
#    refused for good: that copy runs on and offers 100.7 again, the next start says what happened.
# 6c. TMPDIR naming no folder, the app started from a project folder: 100.8.<n> is installed through
#    the system's temporary folder, and nothing is written into the project folder.
# 6d. A read-only data folder: 100.9 (exits 1) is taken back and the restarted app says so, though
#    the swap could write no report.
# 6e. Release 100.95, whose bin/sidecar/brinmoor-reaper links to ../../../side-reaper, a script at
#    the top of the zip beside Brinmoor.app (and one of the user's beside the installed folder):
#    refused once unpacked, the pill says why, nothing is installed and neither script runs.
# 7. A 200,000-entry release with a "../" entry: refused, its folder removed with no GUI stall of 500 ms.
# 8. Run by a user who may not write its folder: nothing downloaded, the pill says why.
#
# Usage: update_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under xvfb-run -a),
# xdotool and ImageMagick.
set -euo pipefail
e2e=update_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../chat/e2e/e2e_lib.sh" "$@"
started=""  # the app the swap started, not our child
finish() {
    local status=$?
    if [ -n "$started" ]; then
        kill "$started" 2>/dev/null || true
        wait_for 10 gone "$started" || true  # before its folders are removed
    fi
    umount -l "$work/small-tmp" 2>/dev/null || true
    if [ -n "${XDG_DATA_HOME-}" ]; then
        umount -l "$XDG_DATA_HOME/Brinmoor" 2>/dev/null || true
        chmod u+w "$XDG_DATA_HOME/Brinmoor" 2>/dev/null || true
    fi
    chmod u+w "$installed" "$(dirname "$installed")" 2>/dev/null || true
    cleanup "$status"
}
trap finish EXIT

installed="$work/it's my apps/Brinmoor.app"
cmake --install "$build" --prefix "$installed" --strip >/dev/null
mkdir -p "$work/www/api/app" "$work/broken" "$work/new"
cp -pR "$installed" "$work/broken/Brinmoor.app"
printf '#!/bin/sh\nexit 1\n' >"$work/broken/Brinmoor.app/bin/brinmoor"
cp -pR "$installed" "$work/new/Brinmoor.app"
echo 100.0 >"$work/new/Brinmoor.app/RELEASE"
(cd "$work/broken" && cmake -E tar cf "$work/www/broken.zip" --format=zip Brinmoor.app)
# The crashing release: the real program behind a launcher that, on the swap's trial start (it
# names a marker), waits for the window's marker and 3 s later sends the program SIGSEGV.
mkdir -p "$work/crash"
cp -pR "$installed" "$work/crash/Brinmoor.app"
mv "$work/crash/Brinmoor.app/bin/brinmoor" "$work/crash/Brinmoor.app/bin/brinmoor-real"
cat >"$work/crash/Brinmoor.app/bin/brinmoor" <<'SH'
#!/bin/bash
marker=${BRINMOOR_UPDATE_MARKER-}
if [ -n "$marker" ]; then
    (n=600; until [ -e "$marker" ] || ((n-- <= 0)); do sleep 0.1; done; sleep 3; kill -SEGV $$) &
fi
ulimit -c 0
exec "$(dirname "$0")/brinmoor-real" "$@"
SH
chmod +x "$work/crash/Brinmoor.app/bin/brinmoor"
(cd "$work/crash" && cmake -E tar cf "$work/www/crash.zip" --format=zip Brinmoor.app)
(cd "$work/new" && cmake -E tar cf "$work/www/app.zip" --format=zip Brinmoor.app)
# The release that closes itself: on the swap's trial start, the launcher runs the real program,
# waits for the window's marker, ends it 2 s later and exits 0 (no quit was asked for).
mkdir -p "$work/quits"
cp -pR "$installed" "$work/quits/Brinmoor.app"
mv "$work/quits/Brinmoor.app/bin/brinmoor" "$work/quits/Brinmoor.app/bin/brinmoor-real"
cat >"$work/quits/Brinmoor.app/bin/brinmoor" <<'SH'
#!/bin/bash
marker=${BRINMOOR_UPDATE_MARKER-}
[ -n "$marker" ] || exec "$(dirname "$0")/brinmoor-real" "$@"
"$(dirname "$0")/brinmoor-real" "$@" &
real=$!
n=600; until [ -e "$marker" ] || ((n-- <= 0)); do sleep 0.1; done
sleep 2
kill -KILL "$real"
wait "$real"
exit 0
SH
chmod +x "$work/quits/Brinmoor.app/bin/brinmoor"
(cd "$work/quits" && cmake -E tar cf "$work/www/quits.zip" --format=zip Brinmoor.app)
release_zip() {  # <version> <zip name>: the build with a RELEASE file naming that version
    rm -rf "$work/rel" && mkdir -p "$work/rel"
    cp -pR "$work/new/Brinmoor.app" "$work/rel/"
    echo "$1" >"$work/rel/Brinmoor.app/RELEASE"
    (cd "$work/rel" && cmake -E tar cf "$work/www/$2" --format=zip Brinmoor.app)
}

# The web service: www/, but while www/big exists a 16 MB version record with no length. Logs
# requests, "big sent" or "big cut <bytes>", and when it was asked for (big.asked, epoch ms).
python3 - "$work" <<'EOF' &
import http.server, sys, functools, os, time
work = sys.argv[1]
def log(line):
    with open(work + "/requests.log", "a") as f: f.write(line + "\n")
class H(http.server.SimpleHTTPRequestHandler):
    def log_message(self, fmt, *args): pass
    def do_GET(self):
        log(self.path)
        if self.path != "/api/app/version" or not os.path.exists(work + "/www/big"):
            return super().do_GET()
        open(work + "/big.asked", "w").write(str(int(time.time() * 1000)))
        self.send_response(200)
        self.send_header("Connection", "close")
        self.end_headers()
        head = b'{"version": "99.0", "download": "http://127.0.0.1:%d/broken.zip", "notes": "' % self.server.server_address[1]
        body = head + b"x" * (16 * 1024 * 1024 - len(head) - 2) + b'"}'
        sent = 0
        try:
            while sent < len(body):
                sent += self.wfile.write(body[sent:sent + 1024 * 1024])
            self.wfile.flush()
            log("big sent")
        except OSError:
            log("big cut %d" % sent)
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(H, directory=work + "/www"))
open(work + "/port.tmp", "w").write(str(s.server_address[1]))
os.rename(work + "/port.tmp", work + "/port")
s.serve_forever()
EOF
pids+=($!)
wait_for 10 test -s "$work/port" || fail "the web service did not start"
base="http://127.0.0.1:$(cat "$work/port")"
offer() {  # <version> <archive>
    printf '{"version": "%s", "url": "%s/page", "download": "%s/%s"}' "$1" "$base" "$base" "$2" >"$work/www/api/app/version"
}
requests() { grep -cx "$1" "$work/requests.log" 2>/dev/null || true; }
asked_more() { [ "$(requests "$1")" -gt "$2" ]; }  # <path> <than>

# A user who has finished the onboarding, so the main window (and its pill) shows.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME/Brinmoor" "$XDG_DATA_HOME"
printf '[General]\nbrinmoor.onboarded=true\n' >"$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf"
export BRINMOOR_API="$base" QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb TMPDIR="$work/tmp"
export BRINMOOR_STALL_LOG="$work/stalls.log" E2E_STALL_MS=499
mkdir -p "$TMPDIR"
refusal="$XDG_DATA_HOME/Brinmoor/update-refused"

# The swap's question to a new build is answered with no display, before the data folder is made.
case $(env -u DISPLAY "$installed/bin/brinmoor" --version) in "Brinmoor "?*) ;; *) fail "no answer to --version" ;; esac
[ ! -e "$XDG_DATA_HOME/Brinmoor" ] || fail "--version made the data folder"

show() {  # <pid>: that app's window
    window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$1" --name Brinmoor | head -1)
    [ -n "$window" ] || fail "no window"
}
start_installed() {
    "$installed/bin/brinmoor" >>"$work/app.log" 2>&1 &
    app=$!
    show "$app"
}
# The centre of the update pill of fill <RRGGBB> in the top bar: blue 5b8cdd "Install Update", red f0524f failed.
find_pill() {  # <RRGGBB>
    import -window "$window" "$work/window.png"
    python3 - "$work/window.png" "$1" <<'PY'
import subprocess, sys
rows = subprocess.run(["convert", sys.argv[1], "-crop", "x60+0+0", "txt:-"], capture_output=True, text=True).stdout
want = [int(sys.argv[2][i:i + 2], 16) for i in (0, 2, 4)]
def near(l):  # within 3 of the colour in each channel
    i = l.find("#")
    return i >= 0 and all(abs(int(l[i + 1 + 2 * k:i + 3 + 2 * k], 16) - want[k]) <= 3 for k in range(3))
pts = [tuple(map(int, l.split(":")[0].split(","))) for l in rows.splitlines()[1:] if near(l)]
if len(pts) < 40: sys.exit(1)
xs, ys = sorted(p[0] for p in pts), sorted(p[1] for p in pts)
print(xs[len(xs) // 2], ys[len(ys) // 2])
PY
}
click_pill() {  # the pill once it offers "Install Update"
    local x y
    wait_for 60 find_pill 5B8CDD >/dev/null || fail "the pill never offered Install Update"
    read -r x y < <(find_pill 5B8CDD)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
click_install() {  # the pill, and the app quits
    click_pill
    wait_for 20 gone "$app" || fail "the app did not quit"
    app=""
}
swaps() {  # the swap scripts of this run
    local p n=0
    for p in /proc/[0-9]*; do
        grep -qsxz "BRINMOOR_E2E_RUN=$work" "$p/environ" && grep -qsxz brinmoor-swap "$p/cmdline" && n=$((n + 1))
    done
    echo "$n"
}
# The installed app's processes: as started by hand, or restarted by the swap with the outcome of
# an update it took back.
installed_apps() { pgrep -f "^$installed/bin/brinmoor( --update-not-installed [^ ]+ [^ ]+)?\$"; }
swap_started() {  # the app the swap started from the installed folder
    wait_for 60 installed_apps >/dev/null || fail "the installed app was not started again"
    started=$(installed_apps | head -1)
    show "$started"
}
refused() { [ "$(cat "$refusal" 2>/dev/null)" = "$(printf '%s\n%s' "$1" "$2")" ]; }  # <version> <reason>
only_app() { [ "$(ls -A "$(dirname "$installed")")" = "Brinmoor.app" ]; }

# 1. The 16 MB record.
touch "$work/www/big"
start_installed
wait_for 60 grep -q "^big " "$work/requests.log" || fail "the version record was not asked for"
grep -q "^big cut" "$work/requests.log" || fail "the 16 MB record was taken whole"
echo "$e2e: the service had written $(grep '^big' "$work/requests.log" | sed 's/big cut //') bytes of the 16 MB record when the app closed the connection"
wait_settled
[ "$(requests /broken.zip)" = 0 ] || fail "a release was downloaded after a 16 MB record"
stall_report "$(cat "$work/big.asked")" "the 16 MB record"
kill "$app"
wait_for 20 gone "$app" || fail "the app did not quit"

# 2. A release whose program exits 1.
rm "$work/www/big"
offer 99.0 broken.zip
start_installed
shot install-offered
click_install
swap_started
cmp -s "$installed/bin/brinmoor" "$work/broken/Brinmoor.app/bin/brinmoor" && fail "the broken program was installed"
only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
[ "$(cat "$refusal")" = "$(printf '99.0\nno-start')" ] || fail "the refusal was not written"
wait_for 30 find_pill F0524F >/dev/null || fail "the restarted app does not say the update failed"
# It asks the service again, and leaves the refused release where it is.
wait_for 30 test "$(requests /api/app/version)" -ge 3 || fail "the restarted app did not check"
wait_settled
[ "$(requests /broken.zip)" = 1 ] || fail "the refused release was downloaded again"
read -r x y < <(find_pill F0524F)
# The pill at <x> <y> shot as <name>, then hovered until its tooltip opens below it (after the
# hover's delay) and shot again as <name>-tooltip.
below() { echo "400x80+$(($1 > 200 ? $1 - 200 : 0))+$(($2 + 12))"; }  # <x> <y> of the pill
tooltip_open_at() { import -window "$window" -crop "$(below "$1" "$2")" "$work/now.rgb" && ! cmp -s "$work/before.rgb" "$work/now.rgb"; }
shoot_pill_and_tooltip() {  # <x> <y> <name>
    shot "$3"
    import -window "$window" -crop "$(below "$1" "$2")" "$work/before.rgb"
    xdotool mousemove --window "$window" "$1" "$2"
    wait_for 10 tooltip_open_at "$1" "$2" || fail "no tooltip on the pill"
    wait_settled
    shot "$3-tooltip"
}
# Its tooltip says why.
shoot_pill_and_tooltip "$x" "$y" update-failed
kill "$started"
wait_for 20 gone "$started" || fail "the restarted app did not quit"
started=""

# 3. A release that crashes 3 s after its window shows.
offer 99.5 crash.zip
start_installed
click_install
wait_for 90 refused 99.5 crashed || fail "the crash was not taken back: $(cat "$refusal" 2>/dev/null)"
swap_started
cmp -s "$installed/bin/brinmoor" "$work/crash/Brinmoor.app/bin/brinmoor" && fail "the crashing release stayed installed"
only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
wait_for 30 find_pill F0524F >/dev/null || fail "the restarted app does not say the update failed"
shot update-crashed
kill "$started"
wait_for 20 gone "$started" || fail "the restarted app did not quit"
started=""

# 4. "Install Update" with changes that cannot be saved (a folder where the state file goes:
#    that fails for root too), then "Don't quit", then an ordinary quit: nothing installed, nothing
#    restarted, no swap left waiting.
offer 100.0 app.zip
start_installed
state="$XDG_DATA_HOME/Brinmoor/state.json"
rm -f "$state"
mkdir -p "$state/in-the-way"
xdotool windowfocus --sync "$window" || true
wait_settled
xdotool key ctrl+shift+n  # a new workspace: a change that cannot be saved
wait_settled
xdotool key Return
wait_settled
click_pill
wait_settled
shot quit-prompt
gone "$app" && fail "the app quit without asking about the unsaved change"
xdotool key Return  # "Don't quit" has the focus
wait_settled
gone "$app" && fail "the app quit after Don't quit"
[ "$(swaps)" = 0 ] || fail "a swap waits for the app although its quit was declined"
rm -rf "$state"  # the next quit saves and goes through
quit_app
[ "$(swaps)" = 0 ] || fail "an ordinary quit started a swap"
[ ! -e "$installed/RELEASE" ] || fail "an ordinary quit installed the update"
! installed_apps >/dev/null || fail "an ordinary quit restarted the app"

# 5. TMPDIR full at "Install Update" (a small tmpfs, filled once the update is unpacked there):
#    the working app is restarted saying so, and fetches 100.0 again only at a later check (the
#    next start, once the space is freed), which installs it.
small="$work/small-tmp"
mkdir -p "$small"
if mount -t tmpfs -o size=64m tmpfs "$small" 2>/dev/null; then
    export TMPDIR="$small"
    fetched=$(requests /app.zip)
    start_installed
    wait_for 60 find_pill 5B8CDD >/dev/null || fail "the pill never offered Install Update"
    [ "$(requests /app.zip)" = $((fetched + 1)) ] || fail "100.0 was not downloaded into the small temporary folder"
    head -c 1G /dev/zero >"$small/filler" 2>/dev/null || true
    checks=$(requests /api/app/version)
    click_install
    swap_started
    [ ! -e "$installed/RELEASE" ] || fail "installed with a full temporary folder"
    wait_for 30 find_pill F0524F >/dev/null || fail "the restarted app does not say the update failed"
    wait_for 30 asked_more /api/app/version "$checks" || fail "the restarted app did not check"
    wait_settled
    [ "$(requests /app.zip)" = $((fetched + 1)) ] || fail "fetched again at once, with the temporary folder still full"
    shot update-tmp-full
    rm -f "$small/filler"
    kill "$started"
    wait_for 20 gone "$started" || fail "the restarted app did not quit"
    started=""
else
    # Mounting needs root; the swap's unit test covers a full temporary folder in a namespace.
    echo "$e2e: no tmpfs could be mounted (not root): the full TMPDIR step is skipped"
    fetched=$(($(requests /app.zip) - 1))
fi

# 6. The next start, space freed: 100.0 is fetched again and installed.
start_installed
wait_for 60 asked_more /app.zip $((fetched + 1)) || fail "100.0 was not fetched again once space was freed"
click_install
wait_for 30 test -f "$installed/RELEASE" || fail "the folder was not swapped"
swap_started
# The previous folder is kept until the new build's window is up.
wait_for 60 only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
[ ! -e "$refusal" ] || fail "the refusal outlived a newer release"
kill "$started"
wait_for 20 gone "$started" || fail "the updated app did not quit"
started=""

# 6a. A release that closes itself 2 s after its window: taken back, saying why.
offer 100.5 quits.zip
start_installed
click_install
wait_for 90 refused 100.5 ended || fail "the release that closed itself was kept: $(cat "$refusal" 2>/dev/null)"
swap_started
[ "$(cat "$installed/RELEASE")" = 100.0 ] || fail "100.0 was not put back"
only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
wait_for 30 find_pill F0524F >/dev/null || fail "the restarted app does not say the update was taken back"
shot update-ended
kill "$started"
wait_for 20 gone "$started" || fail "the restarted app did not quit"
started=""
# Beside it, the ordinary path: a good release whose user closes its window at once is kept.
release_zip 100.6 quit-at-once.zip
offer 100.6 quit-at-once.zip
start_installed
click_install
wait_for 30 grep -qsx 100.6 "$installed/RELEASE" || fail "100.6 was not put in place"
swap_started
xdotool windowfocus --sync "$window" || true
wait_settled
xdotool mousemove --window "$window" 22 18 click 1  # the window's close button
wait_for 30 gone "$started" || fail "100.6 did not quit from its close button"
started=""
wait_for 30 only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
[ "$(cat "$installed/RELEASE")" = 100.6 ] || fail "100.6, quit by its user in the settle time, was taken back"
[ ! -e "$refusal" ] || fail "100.6 was reported: $(cat "$refusal")"
! installed_apps >/dev/null || fail "a release its user quit was started again"

# 6b. A second copy started the moment the app quits for 100.7: the trial meets it.
release_zip 100.7 another.zip
offer 100.7 another.zip
start_installed
click_install
"$installed/bin/brinmoor" >>"$work/app.log" 2>&1 &
copy=$!
pids+=("$copy")
wait_for 90 test -e "$refusal" || fail "the swap wrote no report"
refused 100.7 another-copy || fail "a release refused for another copy's lock: $(cat "$refusal")"
show "$copy"
gone "$copy" && fail "the copy the user started did not keep running"
[ "$(cat "$installed/RELEASE")" = 100.6 ] || fail "100.6 was not put back"
only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
# That copy offers 100.7 again.
wait_for 60 find_pill 5B8CDD >/dev/null || fail "the running copy does not offer 100.7 again"
shot another-copy-offered
kill "$copy"
wait_for 20 gone "$copy" || fail "the copy did not quit"
# The next start says what happened; 100.7 was not refused for good.
start_installed
wait_for 30 find_pill F0524F >/dev/null || fail "the next start does not say why 100.7 was not installed"
read -r x y < <(find_pill F0524F)
shoot_pill_and_tooltip "$x" "$y" another-copy
kill "$app"
wait_for 20 gone "$app" || fail "the app did not quit"
app=""

# 6c. TMPDIR naming no folder, started from a project folder: installed through the system's
#    temporary folder (a version of this run's own there), nothing written into the project.
tmpless=100.8.$$
release_zip "$tmpless" tmpless.zip
offer "$tmpless" tmpless.zip
mkdir -p "$work/project"
export TMPDIR="$work/no-such-tmp"
cd "$work/project"
start_installed
cd "$work"
click_install
wait_for 30 grep -qsx "$tmpless" "$installed/RELEASE" || fail "$tmpless was not installed with TMPDIR missing: $(cat "$refusal" 2>/dev/null)"
swap_started
[ -z "$(ls -A "$work/project")" ] || fail "written into the working folder: $(ls -A "$work/project")"
wait_for 60 only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
kill "$started"
wait_for 20 gone "$started" || fail "the updated app did not quit"
started=""
rm -rf "/tmp/BrinmoorUpdate-$tmpless"
export TMPDIR="$work/tmp"

# 6d. A read-only data folder: the swap can write no report; the restart's arguments carry it.
data="$XDG_DATA_HOME/Brinmoor"
if [ "$(id -u)" = 0 ]; then
    mount --bind "$data" "$data" && mount -o remount,ro,bind "$data" || fail "could not make the data folder read-only"
    read_only_data() { umount "$data"; }
else
    chmod a-w "$data"
    read_only_data() { chmod u+w "$data"; }
fi
offer 100.9 broken.zip
start_installed
click_install
swap_started
wait_for 30 find_pill F0524F >/dev/null || fail "with a read-only data folder the restarted app does not say the update failed"
[ ! -e "$refusal" ] || fail "a report was written into the read-only data folder"
read -r x y < <(find_pill F0524F)
shoot_pill_and_tooltip "$x" "$y" read-only-data
kill "$started"
wait_for 20 gone "$started" || fail "the restarted app did not quit"
started=""
read_only_data

# 6e. A release whose sidecar helper links out of its folder, to a script beside it.
mkdir -p "$work/outlink"
cp -pR "$work/new/Brinmoor.app" "$work/outlink/"
echo 100.95 >"$work/outlink/Brinmoor.app/RELEASE"
ln -sf ../../../side-reaper "$work/outlink/Brinmoor.app/bin/sidecar/brinmoor-reaper"
printf '#!/bin/sh\necho ran >>"%s"\n' "$work/side-ran" >"$work/outlink/side-reaper"
chmod +x "$work/outlink/side-reaper"
cp -p "$work/outlink/side-reaper" "$(dirname "$installed")/side-reaper"
(cd "$work/outlink" && cmake -E tar cf "$work/www/outlink.zip" --format=zip Brinmoor.app side-reaper)
python3 -c 'import stat, sys, zipfile
info = zipfile.ZipFile(sys.argv[1]).getinfo("Brinmoor.app/bin/sidecar/brinmoor-reaper")
sys.exit(not stat.S_ISLNK(info.external_attr >> 16))' "$work/www/outlink.zip" || fail "the zip holds no link"
offer 100.95 outlink.zip
start_installed
wait_for 60 refused 100.95 link-outside || fail "the release linking out of its folder was not refused: $(cat "$refusal" 2>/dev/null)"
wait_for 30 find_pill F0524F >/dev/null || fail "the pill does not say the update failed"
! find_pill 5B8CDD >/dev/null || fail "the release linking out of its folder is offered for install"
read -r x y < <(find_pill F0524F)
shoot_pill_and_tooltip "$x" "$y" link-outside
[ ! -L "$installed/bin/sidecar/brinmoor-reaper" ] && cmp -s "$installed/bin/sidecar/brinmoor-reaper" "$work/new/Brinmoor.app/bin/sidecar/brinmoor-reaper" \
    || fail "the installed sidecar helper changed"
[ ! -e "$TMPDIR/BrinmoorUpdate-100.95" ] || fail "the refused release was left unpacked"
kill "$app"
wait_for 20 gone "$app" || fail "the app did not quit"
app=""
[ ! -e "$work/side-ran" ] || fail "a script beside the app folder ran"
rm "$(dirname "$installed")/side-reaper"

# 7. A zip of a valid app plus 200,000 empty files and one "../" entry at its end: refused once
#    unpacked, and its folder removed off the GUI thread.
python3 - "$work/new" "$work/www/many.zip" <<'PY'
import os, sys, zipfile
root, out = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, root))
    for i in range(200000):
        z.writestr("Brinmoor.app/junk/%06d" % i, b"")
    z.writestr("../escaped", b"x")
PY
export TMPDIR="$work/tmp"
offer 101.0 many.zip
start_installed
since=$(now_ms)
many="$TMPDIR/BrinmoorUpdate-101.0"
wait_for 60 test -d "$many" || fail "the 200,000-entry release was not unpacked"
unpacking=$(now_ms)
wait_for 120 test ! -e "$many" || fail "the refused folder was left behind"
echo "$e2e: the 200,000-entry folder was unpacked, refused and removed in $(($(now_ms) - unpacking)) ms"
wait_settled
! find_pill 5B8CDD >/dev/null || fail "the refused release is offered for install"
stall_report "$since" "a refused 200,000-entry release unpacked and removed"
kill "$app"
wait_for 20 gone "$app" || fail "the app did not quit"
app=""

# 8. Installed where the user may not write (root's folder, the app run as nobody; without root,
#    a folder made read-only): nothing is downloaded, and the pill says so.
offer 102.0 app.zip
byhand="$work/byhand"
mkdir -p "$byhand/home/.config/Brinmoor" "$byhand/tmp"
cp "$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf" "$byhand/home/.config/Brinmoor/"
as_user=()
if [ "$(id -u)" = 0 ]; then
    [ -z "${XAUTHORITY-}" ] || { cp "$XAUTHORITY" "$byhand/xauth" && export XAUTHORITY="$byhand/xauth"; }
    chown -R 65534:65534 "$byhand"
    chmod 755 "$work"  # to be passed through
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    chmod a-w "$installed" "$(dirname "$installed")"
fi
fetched=$(requests /app.zip)
checks=$(requests /api/app/version)
HOME="$byhand/home" XDG_CONFIG_HOME="$byhand/home/.config" XDG_DATA_HOME="$byhand/home/.local/share" TMPDIR="$byhand/tmp" \
    BRINMOOR_STALL_LOG="" \
    "${as_user[@]}" "$installed/bin/brinmoor" >>"$work/app.log" 2>&1 &
app=$!
show "$app"
wait_for 30 asked_more /api/app/version "$checks" || fail "the app run by a user who may not replace it did not check"
wait_settled
[ "$(requests /app.zip)" = "$fetched" ] || fail "downloaded an update it cannot install"
! ls -A "$byhand/tmp" | grep -q '^BrinmoorUpdate-' || fail "unpacked an update it cannot install: $(ls -A "$byhand/tmp")"
# Its pill: 5b8cdd at 85 % over the bar.
wait_for 10 find_pill 517BC0 >/dev/null || fail "no update pill"
read -r x y < <(find_pill 517BC0)
shoot_pill_and_tooltip "$x" "$y" by-hand
kill "$app"
wait_for 20 gone "$app" || fail "the app did not quit"
app=""

echo "$e2e: a 16 MB record refused; 99.0 (exits 1) and 99.5 (crashes 3 s after its window) taken back and the working app restarted saying so; Don't quit left no swap; a full TMPDIR kept the app and 100.0 was fetched again after; 100.0 installed and started; 100.5 (closes itself 2 s after its window) taken back, 100.6 quit by its user kept; a copy started during the swap left 100.7 offered again; with TMPDIR missing $tmpless installed and nothing written into the working folder; with a read-only data folder the restarted app said 100.9 failed; 100.95 (links out of its folder) refused with nothing run; a 200,000-entry folder removed without a stall; run by a user who may not replace it, nothing downloaded"
