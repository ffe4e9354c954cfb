#!/usr/bin/env bash
# End to end, on an installed release (`cmake --install`) against a local web service, the update
# going wrong:
# 1. The version record is 16 MB, sent as fast as the machine allows and without a length: the app
#    cuts it off as it arrives, downloads nothing and its GUI thread never stalls for 500 ms.
# 2. A release whose program exits 1: the pill offers "Install Update"; a click quits the app, the
#    swap finds that the new program does not start, keeps the installed folder, and starts it again;
#    the restarted app says "Update Failed" and why, and does not fetch that release again.
#
# Usage: update_failure_e2e.sh <build dir> [<screenshot dir>]. Needs an X display (run under
# xvfb-run -a), xdotool and ImageMagick.
set -euo pipefail
e2e=update_failure_e2e
E2E_AGENTS=none
source "$(dirname "$0")/../chat/e2e/e2e_lib.sh" "$@"
restored=""
finish() {
    # The restarted app is not our child: wait for it to go before its folders are removed.
    if [ -n "$restored" ]; then
        kill "$restored" 2>/dev/null || true
        wait_for 10 gone "$restored" || true
    fi
    cleanup
}
trap finish EXIT

installed="$work/apps/Brinmoor.app"
cmake --install "$build" --prefix "$installed" --strip >/dev/null
mkdir -p "$work/www/api/app" "$work/broken"
cp -pR "$installed" "$work/broken/Brinmoor.app"
printf '#!/bin/sh\nexit 1\n' >"$work/broken/Brinmoor.app/bin/brinmoor"
(cd "$work/broken" && cmake -E tar cf "$work/www/app.zip" --format=zip Brinmoor.app)

# The web service: www/ as it stands, but a version record of 16 MB while www/big exists, written
# as fast as the client takes it and without a length; logs each request, and how the big record
# went ("big sent" or "big cut <bytes>"), and when it was asked for (big.asked, epoch ms).
python3 - "$work" <<'EOF' &
import http.server, sys, functools, os, time
work = sys.argv[1]
def log(line):
    with open(work + "/requests.log", "a") as f: f.write(line + "\n")
class H(http.server.SimpleHTTPRequestHandler):
    def log_message(self, fmt, *args): pass
    def do_GET(self):
        log(self.path)
        if self.path == "/api/app/version" and os.path.exists(work + "/www/big"):
            open(work + "/big.asked", "w").write(str(int(time.time() * 1000)))
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            head = b'{"version": "99.0", "download": "http://127.0.0.1:%d/app.zip", "notes": "' % self.server.server_address[1]
            body = head + b"x" * (16 * 1024 * 1024 - len(head) - 2) + b'"}'
            sent = 0
            try:
                while sent < len(body):
                    sent += self.wfile.write(body[sent:sent + 1024 * 1024])
                self.wfile.flush()
                log("big sent")
            except OSError:
                log("big cut %d" % sent)
            return
        super().do_GET()
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(H, directory=work + "/www"))
open(work + "/port.tmp", "w").write(str(s.server_address[1]))
os.rename(work + "/port.tmp", work + "/port")
s.serve_forever()
EOF
pids+=($!)
wait_for 10 test -s "$work/port" || fail "the web service did not start"
base="http://127.0.0.1:$(cat "$work/port")"
printf '{"version": "99.0", "url": "%s/page", "download": "%s/app.zip"}' "$base" "$base" >"$work/www/api/app/version"
touch "$work/www/big"

# A user who has finished the onboarding, so the main window (and its pill) shows.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME/Brinmoor" "$XDG_DATA_HOME"
printf '[General]\nbrinmoor.onboarded=true\n' >"$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf"
export BRINMOOR_API="$base" QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb TMPDIR="$work/tmp"
export BRINMOOR_STALL_LOG="$work/stalls.log" E2E_STALL_MS=499
mkdir -p "$TMPDIR"
requests() { grep -cx "$1" "$work/requests.log" 2>/dev/null || true; }
show() {  # <pid>: that app's window
    window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$1" --name Brinmoor | head -1)
    [ -n "$window" ] || fail "no window"
}
# The update pill, by its fill in the top bar: blue (5b8cdd) once it offers "Install Update", red
# (f0524f) when it says the update failed; prints its centre.
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
pill_shown() { find_pill 5B8CDD >/dev/null || find_pill F0524F >/dev/null; }

# 1. The 16 MB record.
"$installed/bin/brinmoor" >>"$work/app.log" 2>&1 &
app=$!
show "$app"
wait_for 60 grep -q "^big " "$work/requests.log" || fail "the version record was not asked for"
grep -q "^big cut" "$work/requests.log" || fail "the 16 MB record was taken whole: $(grep '^big' "$work/requests.log")"
echo "$e2e: the service had written $(grep '^big' "$work/requests.log" | sed 's/big cut //') bytes of the 16 MB record when the app closed the connection"
# What the app does with the bytes it got happens within a few turns of its event loop.
wait_settled
[ "$(requests /app.zip)" = 0 ] || fail "a release was downloaded after a 16 MB record"
! pill_shown || fail "the pill shows after a 16 MB record"
stall_report "$(cat "$work/big.asked")" "the 16 MB record"
kill "$app"
wait_for 20 gone "$app" || fail "the app did not quit"
app=""

# 2. A release whose program exits 1.
rm "$work/www/big"
"$installed/bin/brinmoor" >>"$work/app.log" 2>&1 &
app=$!
show "$app"
wait_for 60 find_pill 5B8CDD >/dev/null || fail "the pill never offered Install Update"
read -r x y < <(find_pill 5B8CDD)
shot install-offered
xdotool mousemove --window "$window" "$x" "$y" click 1
wait_for 20 gone "$app" || fail "the app did not quit"
app=""
wait_for 60 pgrep -f -x "$installed/bin/brinmoor" >/dev/null || fail "the installed app was not started again"
restored=$(pgrep -f -x "$installed/bin/brinmoor" | head -1)
show "$restored"
cmp -s "$installed/bin/brinmoor" "$work/broken/Brinmoor.app/bin/brinmoor" && fail "the broken program was installed"
case $("$installed/bin/brinmoor" --version) in "Brinmoor "?*) ;; *) fail "the installed program does not answer --version" ;; esac
[ "$(ls -A "$(dirname "$installed")")" = "Brinmoor.app" ] || fail "side copies left: $(ls -A "$(dirname "$installed")")"
[ "$(cat "$XDG_DATA_HOME/Brinmoor/update-refused")" = "$(printf '99.0\nno-start')" ] || fail "the refusal was not written"
wait_for 30 find_pill F0524F >/dev/null || fail "the restarted app does not say the update failed"
# It asks the service again, and leaves the refused release where it is.
wait_for 30 test "$(requests /api/app/version)" -ge 3 || fail "the restarted app did not check"
wait_settled
[ "$(requests /app.zip)" = 1 ] || fail "the refused release was downloaded again"
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
echo "$e2e: 16 MB record refused; broken release taken back, the working app restarted and says so (pid $restored)"
