#!/usr/bin/env bash
# End to end, on an installed release: `cmake --install` into a folder whose path holds a quote
# and spaces, a local web service, the installed app started with BRINMOOR_API pointing there.
# 1. A 16 MB version record at full speed, no length: cut off as it arrives, nothing downloaded,
#    no GUI stall of 500 ms.
# 2. Release 99.0, whose program exits 1: "Install Update" keeps and restarts the installed app,
#    which says the update failed and does not fetch 99.0 again.
# 3. Release 100.0 (the build plus a RELEASE file): installed and started; the previous folder goes.
#
# Usage: update_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under xvfb-run -a),
# xdotool and ImageMagick.
set -euo pipefail
e2e=update_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../chat/e2e/e2e_lib.sh" "$@"
started=""  # the app the swap started, not our child
finish() {
    if [ -n "$started" ]; then
        kill "$started" 2>/dev/null || true
        wait_for 10 gone "$started" || true  # before its folders are removed
    fi
    cleanup
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
(cd "$work/new" && cmake -E tar cf "$work/www/app.zip" --format=zip Brinmoor.app)

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
pts = [tuple(map(int, l.split(":")[0].split(","))) for l in rows.splitlines()[1:] if "#" + sys.argv[2] in l.upper()]
if len(pts) < 40: sys.exit(1)
xs, ys = sorted(p[0] for p in pts), sorted(p[1] for p in pts)
print(xs[len(xs) // 2], ys[len(ys) // 2])
PY
}
click_install() {  # the pill once it offers "Install Update"; the app quits
    local x y
    wait_for 60 find_pill 5B8CDD >/dev/null || fail "the pill never offered Install Update"
    read -r x y < <(find_pill 5B8CDD)
    xdotool mousemove --window "$window" "$x" "$y" click 1
    wait_for 20 gone "$app" || fail "the app did not quit"
    app=""
}
swap_started() {  # the app the swap started from the installed folder
    wait_for 60 pgrep -f -x "$installed/bin/brinmoor" >/dev/null || fail "the installed app was not started again"
    started=$(pgrep -f -x "$installed/bin/brinmoor" | head -1)
    show "$started"
}
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
shot update-failed
# Its tooltip says why: it opens below the pill after the hover's delay.
below="400x80+$((x > 200 ? x - 200 : 0))+$((y + 12))"
import -window "$window" -crop "$below" "$work/before.rgb"
xdotool mousemove --window "$window" "$x" "$y"
tooltip_open() { import -window "$window" -crop "$below" "$work/now.rgb" && ! cmp -s "$work/before.rgb" "$work/now.rgb"; }
wait_for 10 tooltip_open || fail "no tooltip on the pill"
wait_settled
shot update-failed-tooltip
kill "$started"
wait_for 20 gone "$started" || fail "the restarted app did not quit"
started=""

# 3. A newer release that works.
offer 100.0 app.zip
start_installed
click_install
wait_for 30 test -f "$installed/RELEASE" || fail "the folder was not swapped"
swap_started
# The previous folder is kept until the new build's window is up.
wait_for 60 only_app || fail "side copies left: $(ls -A "$(dirname "$installed")")"
[ ! -e "$refusal" ] || fail "the refusal outlived a newer release"
echo "$e2e: a 16 MB record refused; 99.0 taken back and the working app restarted saying so; 100.0 installed and started (pid $started)"
