#!/usr/bin/env bash
# End to end, on an installed release: `cmake --install` into a folder whose path holds a quote
# and spaces, a local web service offering a newer release (the same build plus a RELEASE file),
# the installed app started with BRINMOOR_API pointing there. It must fetch and unpack the
# release; the pill must show "Install Update"; a click on it must quit the app, swap the folder
# and start the new build, which says that its window is up, so the previous folder goes.
#
# Usage: update_e2e.sh <build dir> [<screenshot.png>]. Needs an X display (run under xvfb-run -a)
# with xdotool; ImageMagick's import for the screenshot.
set -euo pipefail
build=$(cd "$1" && pwd)
shot=${2-}
work=$(mktemp -d)
pids=()
cleanup() {
    local p n
    [ -s "$work/app.pid" ] && pids+=("$(cat "$work/app.pid")")
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    # The relaunched app is not our child: wait for it to go before removing its folders.
    for p in "${pids[@]}"; do
        for ((n = 0; n < 50; n++)); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
    done
    rm -rf -- "$work" || true
}
trap cleanup EXIT
fail() { echo "update_e2e: $*" >&2; exit 1; }
wait_for() {  # <seconds> <command...>: polls the condition, 10 times a second
    local n=$(($1 * 10)); shift
    until "$@"; do ((n-- > 0)) || return 1; sleep 0.1; done
}

app="$work/it's my apps/Brinmoor.app"
cmake --install "$build" --prefix "$app" --strip >/dev/null
mkdir -p "$work/new" "$work/www/api/app"
cp -pR "$app" "$work/new/Brinmoor.app"
echo 99.0 >"$work/new/Brinmoor.app/RELEASE"
(cd "$work/new" && cmake -E tar cf "$work/www/app.zip" --format=zip Brinmoor.app)

# The web service: serves www/, writes its port to a file and one line per request to a log.
python3 - "$work" <<'EOF' &
import http.server, sys, functools
work = sys.argv[1]
class H(http.server.SimpleHTTPRequestHandler):
    def log_message(self, fmt, *args):
        with open(work + "/requests.log", "a") as f: f.write(self.path + "\n")
s = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(H, directory=work + "/www"))
open(work + "/port.tmp", "w").write(str(s.server_address[1]))
import os; os.rename(work + "/port.tmp", work + "/port")
s.serve_forever()
EOF
pids+=($!)
wait_for 10 test -s "$work/port" || fail "the web service did not start"
base="http://127.0.0.1:$(cat "$work/port")"
printf '{"version": "99.0", "url": "%s/page", "download": "%s/app.zip"}' "$base" "$base" >"$work/www/api/app/version"

# A user who has finished the onboarding, so the main window (and its pill) shows.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME/Brinmoor"
printf '[General]\nbrinmoor.onboarded=true\n' >"$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf"
export BRINMOOR_API="$base" QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb TMPDIR="$work/tmp"
mkdir -p "$TMPDIR"
"$app/bin/brinmoor" >"$work/app.log" 2>&1 &
first=$!
pids+=($first)

wait_for 60 grep -qx /app.zip "$work/requests.log" 2>/dev/null || fail "no download was requested"
window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$first" --name Brinmoor | head -1)
[ -n "$window" ] || fail "no window"
# The pill is the only white-on-blue control near the top bar's right end: find it on a screenshot
# of the window by its fill colour (5b8cdd).
find_pill() {
    import -window "$window" "$work/window.png"
    python3 - "$work/window.png" <<'EOF'
import subprocess, sys
rows = subprocess.run(["convert", sys.argv[1], "-crop", "x60+0+0", "txt:-"], capture_output=True, text=True).stdout
pts = [tuple(map(int, l.split(":")[0].split(","))) for l in rows.splitlines()[1:] if "#5B8CDD" in l.upper()]
if len(pts) < 40: sys.exit(1)
xs, ys = sorted(p[0] for p in pts), sorted(p[1] for p in pts)
print(xs[len(xs) // 2], ys[len(ys) // 2])
EOF
}
wait_for 30 find_pill >/dev/null || fail "the pill never showed ready"
read -r x y < <(find_pill)
[ -n "$shot" ] && cp "$work/window.png" "$shot"
[ -x "$TMPDIR/BrinmoorUpdate-99.0/Brinmoor.app/bin/brinmoor" ] || fail "nothing unpacked"
xdotool mousemove --window "$window" "$x" "$y" click 1

wait_for 20 bash -c "! kill -0 $first 2>/dev/null" || fail "the app did not quit"
wait_for 30 test -f "$app/RELEASE" || fail "the folder was not swapped"
wait_for 30 pgrep -f -x "$app/bin/brinmoor" >/dev/null || fail "the new build did not start"
second=$(pgrep -f -x "$app/bin/brinmoor" | head -1)
echo "$second" >"$work/app.pid"
# The previous folder is kept until the new build's window is up.
only_app() { [ "$(ls -A "$(dirname "$app")")" = "Brinmoor.app" ]; }
wait_for 60 only_app || fail "side copies left: $(ls -A "$(dirname "$app")")"
[ ! -e "$HOME/.local/share/Brinmoor/update-refused" ] || fail "the update was refused: $(cat "$HOME/.local/share/Brinmoor/update-refused")"
echo "update_e2e: installed, checked, downloaded, swapped and relaunched (new pid $second)"
