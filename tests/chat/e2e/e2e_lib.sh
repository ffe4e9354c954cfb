# Shared by the chat end-to-end scripts (sourced; $e2e names the script in its messages): a work
# folder removed on exit, the CLIs from the test cache, the fake model servers, a test user's
# environment, and the helpers that drive the built app under X with xdotool and read its window
# with ImageMagick.
# Usage, in a script run as <script> <build dir> [<screenshot dir>]:
#   e2e=NAME; source "$(dirname "$0")/e2e_lib.sh" "$@"
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
build=$(cd "$1" && pwd)
shots=${2-}
work=$(mktemp -d)
pids=()
app=""
# Every process this run starts carries the mark in its environment (the app hands its own to the
# shells and agents it starts), so the clean-up finds them all, whoever started them.
export BRINMOOR_E2E_RUN="$work"
# The processes of this run still running (zombies count as gone), this shell and its subshells
# aside: marked, or working in the run's folder.
run_processes() {
    local p
    for p in /proc/[0-9]*; do
        case "${p#/proc/}" in "$$" | "$BASHPID") continue ;; esac
        grep -qsxz "BRINMOOR_E2E_RUN=$work" "$p/environ" || case "$(readlink "$p/cwd" 2>/dev/null)" in
            "$work" | "$work"/*) ;; *) continue ;; esac
        [ "$(sed 's/.*) //' "$p/stat" 2>/dev/null | cut -d' ' -f1)" = Z ] && continue
        echo "${p#/proc/} $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null | cut -c1-120)"
    done
    return 0
}
# Ends what the run started; a run that passed fails if anything of it was still running once
# the processes it started itself (servers, the app) had ended, as that is what a user would have
# left behind. The run's exit status is kept (a script's own exit trap passes it on).
cleanup() {  # [<exit status>]
    local status=${1:-$?} p left
    for p in "${pids[@]}" $app; do kill "$p" 2>/dev/null || true; done
    wait_for 10 all_gone "${pids[@]}" $app || true
    wait_for 10 test -z "$(run_processes)" || true
    left=$(run_processes)
    if [ -n "$left" ]; then
        echo "${e2e-e2e}: left running after the test: $left" >&2
        for p in $(awk '{print $1}' <<<"$left"); do kill -9 "$p" 2>/dev/null || true; done
        [ "$status" != 0 ] || status=1
    fi
    rm -rf -- "$work" || true
    exit "$status"
}
trap cleanup EXIT
fail() {
    echo "$e2e: $*" >&2
    [ -n "$app" ] && [ -f "$work/app.log" ] && tail -20 "$work/app.log" >&2
    exit 1
}
all_gone() {  # <pid...>
    local p
    for p; do ! kill -0 "$p" 2>/dev/null || return 1; done
}
wait_for() {  # <seconds> <command...>: polls the condition, 10 times a second
    local n=$(($1 * 10)); shift
    until "$@"; do ((n-- > 0)) || return 1; sleep 0.1; done
}
# The window has stopped changing: four pictures in a row, over more than one step of the app's
# spinner (8 a second), are the same; a spinner keeps it waiting until its work ends. With
# settle_crop (an ImageMagick geometry) only that part of the window is looked at.
same_frames() {
    local i crop=()
    [ -z "${settle_crop-}" ] || crop=(-crop "$settle_crop")
    import -window "$window" "${crop[@]}" "$work/a.rgb" 2>/dev/null
    for i in 1 2 3; do
        import -window "$window" "${crop[@]}" "$work/b.rgb" 2>/dev/null
        cmp -s "$work/a.rgb" "$work/b.rgb" || return 1
    done
}
wait_settled() { wait_for 30 same_frames || fail "the window never settled"; }
shot() {  # <name>: the window as it is now, kept when a screenshot folder was given
    import -window "$window" "$work/$1.png"
    [ -z "$shots" ] || cp "$work/$1.png" "$shots/${e2e}_$1.png"
}

mkdir -p "$work/home/.local/bin" "$work/home/.codex" "$work/projects/web" "$work/projects/cli" "$work/claude"
# The CLIs, looked up with the real cache before HOME moves; E2E_AGENTS=none (tests of terminal
# panes) goes without them.
if [ "${E2E_AGENTS-}" != none ]; then
    claude=$(node "$src/tests/agent/sidecar/support/claude-path.mjs")
    codex=$(node -e "import('$src/tests/agent/sidecar/support/agents.mjs').then(m => console.log(m.codexBinary()))")
    # Where the app looks for the tools first (a login shell's PATH is the system's own).
    ln -s "$claude" "$work/home/.local/bin/claude"
    ln -s "$codex" "$work/home/.local/bin/codex"
fi
[ -z "$shots" ] || mkdir -p "$shots"

# The fake model servers; each prints its port once listening. Called in this shell (not in a
# command substitution, whose subshell would lose the process id the clean-up needs), it leaves
# the port in $port.
server() {  # <name> <script file>
    node "$src/tests/agent/fakes/$1.mjs" --port 0 --script "$2" --log "$work/$1.jsonl" >"$work/$1.port" 2>"$work/$1.err" &
    pids+=($!)
    wait_for 20 grep -qs port "$work/$1.port" || fail "$1 did not start"
    port=$(sed 's/[^0-9]//g' "$work/$1.port")
}
# A user past the onboarding with one empty workspace and the project as the recent folder, whose
# agents reach the fake servers: as_test_user <Claude port> [<Codex port>].
as_test_user() {
    export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
    export XDG_CACHE_HOME="$work/home/.cache" SHELL=/bin/bash
    export ANTHROPIC_BASE_URL="http://127.0.0.1:$1" ANTHROPIC_API_KEY=test CLAUDE_CONFIG_DIR="$work/claude"
    export CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC=1 CODEX_HOME="$work/home/.codex" FAKE_OPENAI_KEY=test
    export QT_QUICK_BACKEND=software QT_QPA_PLATFORM=xcb
    [ -z "${2-}" ] || node "$src/tests/agent/fakes/codex-config.mjs" "$work/home/.codex" "http://127.0.0.1:$2"
    mkdir -p "$XDG_CONFIG_HOME/Brinmoor" "$XDG_DATA_HOME/Brinmoor"
    printf '[General]\nbrinmoor.onboarded=true\n' >"$XDG_CONFIG_HOME/Brinmoor/Brinmoor.conf"
    state="$XDG_DATA_HOME/Brinmoor/state.json"
    cat >"$state" <<JSON
{"recents": ["$work/projects/web"], "selected": "5E1F0A00-0000-4000-8000-000000000001",
 "workspaces": [{"bigSideLeft": false, "colorHex": "5b8cee", "id": "5E1F0A00-0000-4000-8000-000000000001",
                 "maxRows": 4, "name": "E2E", "sessions": []}]}
JSON
}
# The test user's one pane: a terminal in <folder> (a folder of the projects), running $SHELL.
seed_terminal_pane() {  # <folder>
    python3 - "$state" "$1" <<'PY'
import json, os, sys
s = json.load(open(sys.argv[1]))
s["workspaces"][0]["sessions"] = [{"autoApprove": False, "directory": sys.argv[2], "kind": "terminal",
    "id": "5E1F0A00-0000-4000-8000-000000000201", "muted": False, "project": os.path.basename(sys.argv[2]),
    "sessionLabel": "terminal"}]
json.dump(s, open(sys.argv[1], "w"))
PY
}
# The pane's login shell is <command...> instead of bash.
pane_runs() {
    printf '#!/bin/sh\nexec %s\n' "$(printf '%q ' "$@")" >"$work/pane-shell"
    chmod +x "$work/pane-shell"
    export SHELL="$work/pane-shell"
}
# The app's resident size in MB: now, or with VmHWM its peak.
rss_mb() { awk -v key="${1:-VmRSS}:" '$1 == key { print int($2 / 1024) }' "/proc/$app/status"; }

# The app's stall log (BRINMOOR_STALL_LOG=$work/stalls.log, set before start_app): the longest
# stretch since <epoch ms> in which the GUI thread did not turn its event loop (typing would have
# waited that long), less the time it spent waiting for a CPU on a loaded machine.
now_ms() { date +%s%3N; }
longest_own_stall() {  # <since>
    awk -v since="$1" '$1 == "stall" && $6 >= since { own = $2 - $4; if (own > max) max = own } END { print max + 0 }' "$work/stalls.log"
}
# The stalls of a stretch, and the longest checked against E2E_STALL_MS (250 ms: a window that
# froze; the 50 ms aim is measured, not asserted, since a slower machine would fail it with
# nothing wrong); with E2E_STALLS=report they are only reported.
stall_report() {  # <since> <what>
    local own
    own=$(longest_own_stall "$1")
    echo "$e2e: $2: longest stall ${own} ms; all over 16 ms (of which waiting for a CPU): $(awk -v since="$1" '$1 == "stall" && $6 >= since { printf "%s(%s) ", $2, $4 }' "$work/stalls.log")"
    [ "$own" -le "${E2E_STALL_MS:-250}" ] || [ "${E2E_STALLS-}" = report ] || fail "$2: the GUI thread stalled for $own ms"
}

# start_app [terminal]: the built app, its output in app.log. With "terminal" the app runs on a
# pseudo-terminal of its own, which is its input, its output and its controlling terminal, with
# the app in the foreground there: as when started from a shell.
start_app() {
    if [ "${1-}" = terminal ]; then
        python3 -c '
import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:2])
with open(sys.argv[2] + ".new", "w") as f:
    f.write(str(pid))
os.rename(sys.argv[2] + ".new", sys.argv[2])
while True:
    try:
        data = os.read(fd, 65536)
    except OSError:
        break
    if not data:
        break
    os.write(1, data)
os.waitpid(pid, 0)
' "$build/bin/brinmoor" "$work/app.pid" >>"$work/app.log" 2>&1 &
        pids+=($!)
        wait_for 20 test -s "$work/app.pid" || fail "the app did not start on its terminal"
        app=$(cat "$work/app.pid")
        rm -f "$work/app.pid"
    else
        "$build/bin/brinmoor" >>"$work/app.log" 2>&1 &
        app=$!
    fi
    window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$app" --name Brinmoor | head -1)
    [ -n "$window" ] || fail "no window"
    shown_at=$(date +%s%3N)  # epoch ms
    xdotool windowfocus --sync "$window" || true
    wait_settled  # the first frames drawn: input goes to whatever has focus
}
# The pointer to the middle of the window: inside the terminal of a window with one pane.
point_at_middle() {
    local width height
    read -r width height < <(xdotool getwindowgeometry "$window" | awk -F'[x ]+' '/Geometry/{print $3, $4}')
    xdotool mousemove --window "$window" $((width / 2)) $((height / 2))
}
quit_app() {  # the window's close button, the red dot in the top left corner
    xdotool mousemove --window "$window" 22 18 click 1
    wait_for 30 bash -c "! kill -0 $app 2>/dev/null" || fail "the app did not quit"
    app=""
}
# Processes still running in the panes' folders: the sidecars and the CLIs they start run there
# (other programs on the machine, and the fake servers, do not).
leftovers() {
    local p
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in
        "$work/projects"*) echo "${p#/proc/} $(tr '\0' ' ' <"$p/cmdline" 2>/dev/null | cut -c1-120)" ;;
        esac
    done
}
none_left() { [ -z "$(leftovers)" ]; }
# The panes' Claude CLIs (by the executable they run, in a pane's folder) and sidecars.
claude_real=$(readlink -f "${claude-}" || true)
claude_clis() {
    local p
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in "$work/projects"*) ;; *) continue ;; esac
        [ "$(readlink "$p/exe" 2>/dev/null)" = "$claude_real" ] && echo "${p#/proc/}"
    done
    return 0
}
sidecar_count() { leftovers | grep -c 'brinmoor-agent.mjs' || true; }
sidecars_are() { [ "$(sidecar_count)" = "$1" ]; }
some_sidecar() { [ "$(sidecar_count)" -ge 1 ]; }
gone() { ! kill -0 "$1" 2>/dev/null; }
# The processes (pids) running <command line> exactly in the panes' folders (zombies have no command line).
running() {
    local p
    for p in $(pgrep -x -f -- "$1"); do
        case "$(readlink "/proc/$p/cwd" 2>/dev/null)" in "$work/projects"*) echo "$p" ;; esac
    done
    return 0
}
runs() { [ -n "$(running "$1")" ]; }
# The stopped card's button: the 1-point outline of a rounded rectangle (borderStrong) in the
# middle of the window, wider than tall; prints its centre.
find_restart_button() {
    import -window "$window" "$work/find.png"
    python3 - "$work/find.png" <<'PY'
import subprocess, sys, collections
txt = subprocess.run(["convert", sys.argv[1], "txt:-"], capture_output=True, text=True).stdout
w = h = 0
pts = []
for line in txt.splitlines()[1:]:
    xy, rest = line.split(":", 1)
    x, y = map(int, xy.split(","))
    w, h = max(w, x + 1), max(h, y + 1)
    if "#23262E" in rest.upper() or "#D2D5DC" in rest.upper():
        pts.append((x, y))
rows = collections.defaultdict(list)
for x, y in pts:
    if w * 0.3 < x < w * 0.9 and h * 0.2 < y < h * 0.9:
        rows[y].append(x)
edges = sorted(y for y, xs in rows.items() if 60 <= len(xs) <= 400)
if len(edges) < 2: sys.exit(1)
top, bottom = edges[0], edges[-1]
if not 14 <= bottom - top <= 60: sys.exit(1)
xs = rows[top]
print((min(xs) + max(xs)) // 2, (top + bottom) // 2)
PY
}
# Runs the Python read from standard input on a fresh picture of the window, after a prelude that
# gives it `rows`: for each row of pixels, the x of every pixel of the colour <hex> (RRGGBB).
colour_rows() {
    import -window "$window" "$work/find.png"
    # The picture's raw pixels (binary PPM) searched for the colour's three bytes: ImageMagick's
    # text listing of every pixel took some 7 s a picture of the window.
    python3 -c "import subprocess, sys, collections, re
ppm = subprocess.run(['convert', sys.argv[1], '-depth', '8', 'ppm:-'], capture_output=True).stdout
header = re.match(rb'P6\\s+(\\d+)\\s+\\d+\\s+\\d+\\s', ppm)
width, pixels = int(header.group(1)), ppm[header.end():]
colour = bytes.fromhex('$1')
rows = collections.defaultdict(list)
i = pixels.find(colour)
while i >= 0:
    if i % 3:
        i = pixels.find(colour, i + 1)
        continue
    rows[i // 3 // width].append(i // 3 % width)
    i = pixels.find(colour, i + 3)
$(cat)" "$work/find.png"
}
# The centre of the filled amber button (f0b429) nearest the bottom of the window: rows holding a
# run of 40 to 200 amber pixels (the pane's amber frame spans the whole width or is 2 pixels wide).
# The add-session sheet's filled blue "Open session" button: prints its left edge and top row.
open_button() {
    colour_rows 3F74D6 <<'PY'
good = sorted((y, min(xs)) for y, xs in rows.items() if len(xs) >= 80)
if not good: sys.exit(1)
print(good[0][1], good[0][0])
PY
}
find_amber_button() {
    colour_rows F0B429 <<'PY'
good = [(y, xs) for y, xs in rows.items() if 40 <= len(xs) <= 200]
if len(good) < 8: sys.exit(1)
y0 = max(y for y, _ in good)
block = [(y, xs) for y, xs in good if y0 - y < 30]
xs = sorted(x for _, row in block for x in row if 3 < x)
print(xs[len(xs) // 2], sorted(y for y, _ in block)[len(block) // 2])
PY
}
# The login a stand-in claude waits in for good ("auth login" runs `exec sleep 600`): its process.
waiting_login() {
    local p
    for p in /proc/[0-9]*; do
        grep -qsxz "BRINMOOR_E2E_RUN=$work" "$p/environ" && [ "$(tr '\0' ' ' <"$p/cmdline" 2>/dev/null)" = "sleep 600 " ] && echo "${p#/proc/}"
    done
    return 0
}
# The Claude card's Cancel for a waiting login: its red (f0524f) label; prints its centre.
find_cancel() {
    colour_rows F0524F <<'PY'
pts = [(x, y) for y, xs in rows.items() for x in xs]
if len(pts) < 20: sys.exit(1)
print(sorted(x for x, _ in pts)[len(pts) // 2], sorted(y for _, y in pts)[len(pts) // 2])
PY
}
no_cancel() { ! find_cancel >/dev/null; }
# The add-session sheet's login button: the only control filled with the accent colour (5b8cdd)
# across the card's width; prints its centre.
find_login_button() {
    colour_rows 5B8CDD <<'PY'
wide = sorted(y for y, xs in rows.items() if len(xs) >= 300)
if len(wide) < 10: sys.exit(1)
xs = rows[wide[len(wide) // 2]]
print((min(xs) + max(xs)) // 2, wide[len(wide) // 2])
PY
}
no_login_button() { ! find_login_button >/dev/null; }
# Opens the add-session sheet, which must offer a login on its Claude card (shot 1_signed_out),
# and clicks "Log in with browser".
click_browser_login() {
    local x y
    xdotool key ctrl+shift+t
    wait_for 30 find_login_button >/dev/null || fail "the sheet offers no login"
    wait_settled
    shot 1_signed_out
    read -r x y < <(find_login_button)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
# Once a login has ended: detected again, the card shows Claude ready, its button gone (shot
# 2_signed_in); then the sheet is closed.
close_signed_in_sheet() {
    wait_for 30 no_login_button || fail "the card still asks for a login after it"
    wait_settled
    shot 2_signed_in
    xdotool key Escape  # the sheet goes; the window's close button is under it
    wait_settled
}
# The menu's last entry, "Close pane", drawn in red (f0524f) like "Stop" above it: the lowest red
# text in the right half of the window.
find_close_entry() {
    colour_rows F0524F <<'PY'
pts = [(x, y) for y, xs in rows.items() for x in xs if x > 900]
if len(pts) < 20: sys.exit(1)
low = max(y for _, y in pts)
row = [(x, y) for x, y in pts if low - y < 12]
print(sorted(x for x, _ in row)[len(row) // 2], sorted(y for _, y in row)[len(row) // 2])
PY
}
# Opens the pane menu of the window's one pane and takes the entry <Down presses> down (the menu
# takes the keys once it is drawn).
pane_menu_entry() {
    xdotool mousemove --window "$window" 1206 106 click 1
    wait_for 10 find_close_entry >/dev/null || fail "no menu"
    for ((i = 0; i < $1; i++)); do xdotool key Down; done
    xdotool key Return
}
# The stopped card's Restart button, clicked.
card_restart() {
    local x y
    wait_for 10 find_restart_button >/dev/null || fail "no stopped card"
    read -r x y < <(find_restart_button)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
click_amber_button() {
    local x y
    wait_for 60 find_amber_button >/dev/null || fail "no $1 button"
    read -r x y < <(find_amber_button)
    xdotool mousemove --window "$window" "$x" "$y" click 1
}
# The chat editor: the composer sits at the foot of a pane that fills the grid.
type_message() {
    xdotool mousemove --window "$window" 700 $(( $(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}') - 72 )) click 1
    wait_settled
    xdotool type --delay 20 "$1"
    xdotool key Return
}
# The add-session sheet opened and confirmed as it stands: one pane more in the first workspace.
add_chat_pane() {  # <the pane count it makes>
    xdotool key ctrl+shift+t
    wait_settled
    xdotool key Return
    wait_for 20 bash -c "[ \"\$(python3 -c \"import json; print(len(json.load(open('$state'))['workspaces'][0]['sessions']))\")\" = $1 ]" \
        || fail "no pane was added"
}
pane_field() {  # <field>: that field of the first saved pane
    python3 -c "import json,sys; s=json.load(open('$state'))['workspaces'][0]['sessions']; print(s[0].get('$1','') if s else '')"
}
# Prints "x y" of the colour tag of a workspace's row in the rail.
rail_row() {  # <hex colour>
    import -window "$window" -depth 8 "$work/rail.ppm"
    python3 - "$work/rail.ppm" "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
head = data.split(b"\n", 3)
w, h = map(int, head[1].split()); px = head[3]
want = bytes.fromhex(sys.argv[2])
hits = [(x, y) for y in range(60, h) for x in range(0, 200) if px[(y * w + x) * 3:(y * w + x) * 3 + 3] == want]
if len(hits) < 20: sys.exit(1)
print(sum(x for x, _ in hits) // len(hits), sum(y for _, y in hits) // len(hits))
PY
}
select_workspace() {  # <hex colour>
    local x y
    wait_for 10 rail_row "$1" >"$work/row" || fail "no rail row of colour $1"
    read -r x y <"$work/row"
    xdotool mousemove --window "$window" "$x" "$y" click 1
    wait_settled
}

# Makes the saved state hold one chat pane, before the app starts.
seed_chat_pane() {  # <provider> <folder> <auto-approve: True|False>
    python3 - "$state" "$@" <<'PY'
import json, os, sys
s = json.load(open(sys.argv[1]))
s["workspaces"][0]["sessions"] = [{"autoApprove": sys.argv[4] == "True", "autoCompact": True, "directory": sys.argv[3],
    "id": "5E1F0A00-0000-4000-8000-0000000000E1", "kind": "chat", "muted": False,
    "project": os.path.basename(sys.argv[3]), "provider": sys.argv[2], "sessionLabel": "session 1"}]
json.dump(s, open(sys.argv[1], "w"))
PY
}
# The model requests that carried <text>, one line each: how many images the request held, then
# their media types ("10 image/png").
images_sent_with() {  # <text>
    [ -s "$work/claude-server.jsonl" ] || return 0
    python3 - "$work/claude-server.jsonl" "$1" <<'PY'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    if sys.argv[2] not in line:
        continue
    body = json.loads(line)["body"]
    last = [m for m in body.get("messages", []) if m.get("role") == "user"][-1]
    content = last["content"] if isinstance(last["content"], list) else []
    images = [c for c in content if c.get("type") == "image"]
    print(len(images), ",".join(sorted({c["source"].get("media_type", "") for c in images})))
PY
}
# The last request that carried <text> held <count> images.
sent_with() { [ "$(images_sent_with "$1" | tail -1 | cut -d' ' -f1)" = "$2" ]; }
# Images of noise (no smaller when compressed) of exactly <bytes>, as a photo weighs.
noise_png() {  # <path> <bytes>
    python3 - "$1" "$2" <<'PY'
import os, struct, sys, zlib
path, size = sys.argv[1], int(sys.argv[2])
chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xffffffff)
w = 2400
h = (size - 4096) // (3 * w + 1)
raw = b"".join(b"\0" + os.urandom(3 * w) for _ in range(h))
head = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)) + chunk(b"IDAT", zlib.compress(raw, 1))
pad = size - len(head) - 12 - 12
open(path, "wb").write(head + chunk(b"tEXt", b"Comment\0" + b" " * (pad - 8)) + chunk(b"IEND", b""))
assert os.path.getsize(path) == size
PY
}

# A click into the composer of the window's only pane, above its lower edge.
focus_composer() {
    xdotool mousemove --window "$window" 700 $(( $(xdotool getwindowgeometry "$window" | awk -F'[x ]' '/Geometry/{print $NF}') - 72 )) click 1
}
# <data file> on the clipboard as <type> (held by xclip until the test ends), pasted into the
# composer once the clipboard offers it.
paste_as() {  # <type> <file>
    xclip -quiet -selection clipboard -t "$1" -i "$2" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 20 bash -c "xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -qx '$1'" || fail "the clipboard never offered $1"
    focus_composer
    xdotool key ctrl+v
}
