# Replaces an installed Brinmoor.app folder with a new one and starts it again.
#
# Run as: bash -c "<this text>" brinmoor-swap <pid> <installed folder> <new folder> \
#             [<report file> <new version> [<seconds> [<settle seconds>]]]
# Every value arrives as an argument, so no path is ever read as shell text.
#
# The new folder is copied beside the installed one and checked there, as it will stand: its
# bin/brinmoor must be an executable file inside that folder (links followed from there) that
# answers --version like a Brinmoor build, and every link in it must lead to a place inside it.
# Only then are the folders swapped. The installed folder is kept aside until the new build has
# started and said so: it writes the file named by BRINMOOR_UPDATE_MARKER once its window is up.
# If it exits first, or has not done so within <seconds> (60 by default), it is ended, the
# previous folder is put back and started again.
# A window alone proves little: a build that crashes while it restores the user's panes would
# otherwise cost the working app for good. So the previous folder stays until the new build has
# also kept running for <settle seconds> (20 by default) after its window came up; one that dies
# of a signal or exits with an error before then is taken back the same way, and so is one that
# ends with status 0 unless the user asked it to quit: the build writes <marker>.quit first then.
# Ending on request (SIGTERM, SIGINT, SIGHUP from outside) is not held against it either. A build
# that finds another copy of the app holding the data folder (started by the user meanwhile)
# writes <marker>.another-copy and ends: that is no fault of the release (and when that copy runs
# the new build itself, the update stays).
# A refused or failed update writes "<new version>\n<reason>\n" to the report file, and the
# restored application is started with the arguments --update-not-installed <new version>
# <reason>, so that it can say why the update was not installed even when the report could not
# be written (UpdateChecker reads both; the reasons are the give_up arguments below and must stay
# in step with it). Only not-executable, link-outside, no-start, no-window, crashed and ended find
# fault with the release; the others (missing, copy, another-copy, and tmp-full, tmp-not-writable,
# app-full, app-not-writable: the temporary folder's or the app folder's disk full or not
# writable) are troubles of this machine that may pass, and the application offers the update
# again later.
set -u
# The error messages of failed steps are read (local_trouble): in one language.
export LC_ALL=C
pid=${1-} installed=${2-} new=${3-} report=${4-} version=${5-} seconds=${6-60} settle=${7-20}
case $pid in '' | *[!0-9]*) exit 2 ;; esac
case $seconds in '' | *[!0-9]*) exit 2 ;; esac
case $settle in '' | *[!0-9]*) exit 2 ;; esac
[ -n "$installed" ] && [ -n "$new" ] || exit 2
staging="$installed.update-$$"
backup="$installed.previous-$$"
failed="$installed.failed-$$"
scratch=""

relaunch() {  # <folder> <reason>
    local args=()
    [ -z "$version" ] || args=(--update-not-installed "$version" "$2")
    cd / || return
    # Detached from this script and from the application's session, so it outlives both.
    if command -v setsid >/dev/null 2>&1; then
        setsid -- "$1/bin/brinmoor" ${args[@]+"${args[@]}"} </dev/null >/dev/null 2>&1 &
    else
        nohup "$1/bin/brinmoor" ${args[@]+"${args[@]}"} </dev/null >/dev/null 2>&1 &
    fi
}

give_up() {  # <reason>
    local run=$installed
    rm -rf -- "$staging"
    if [ -d "$backup" ]; then
        if [ -e "$installed" ] || [ -L "$installed" ]; then
            mv -- "$installed" "$failed" || run=$backup
        fi
        if [ "$run" = "$installed" ]; then
            mv -- "$backup" "$installed" || run=$backup
        fi
        rm -rf -- "$failed"
    fi
    [ -z "$scratch" ] || rm -rf -- "$scratch"
    if [ -n "$report" ]; then
        # A read-only data folder takes no report: the restart's arguments still carry it.
        { printf '%s\n%s\n' "$version" "$1" >"$report.$$" && mv -f -- "$report.$$" "$report"; } 2>/dev/null \
            || rm -f -- "$report.$$"
    fi
    relaunch "$run" "$1"
    exit 1
}

# The reason for a step that failed on this machine, from its error text: <where>-full when the
# disk had no room, <where>-not-writable when the folder refused the write, copy otherwise.
local_trouble() {  # <tmp | app> <error text>
    case $2 in
    *"No space left"* | *"Disk quota exceeded"*) echo "$1-full" ;;
    *"Permission denied"* | *"Read-only file system"* | *"Operation not permitted"*) echo "$1-not-writable" ;;
    *) echo copy ;;
    esac
}

# The folder's bin/brinmoor, links followed, is an executable file inside the folder.
holds_program() {
    local root program
    root=$(cd -P -- "$1" && pwd) || return 1
    program=$(realpath "$1/bin/brinmoor" 2>/dev/null) || return 1
    case $program in "$root"/*) ;; *) return 1 ;; esac
    [ -f "$program" ] && [ -x "$program" ]
}

# Every link in the folder, followed link by link, leads to a place inside it without ever leaving
# it on the way (in step with UpdateChecker::linksStayInside): only the folder is installed, and a
# link out of it would have the app run whatever stands beside it.
links_inside() {  # <folder>
    local link
    while IFS= read -r -d '' link; do
        resolves_inside "$1" "${link#"$1"/}" || return 1
    done < <(find "$1" -type l -print0)
    # A folder find could not read through is not known to be safe.
    find "$1" -type l >/dev/null 2>&1
}

resolves_inside() {  # <folder> <path below it>
    local here="" left=$2 part target links=0
    while [ -n "$left" ]; do
        part=${left%%/*}
        if [ "$part" = "$left" ]; then left=""; else left=${left#*/}; fi
        case $part in
        "" | .) continue ;;
        ..)
            [ -n "$here" ] || return 1
            case $here in */*) here=${here%/*} ;; *) here="" ;; esac
            continue
            ;;
        esac
        if [ -L "$1/${here:+$here/}$part" ]; then
            ((++links <= 40)) || return 1
            # The trailing dot keeps a target's own final line breaks.
            target=$(readlink -- "$1/${here:+$here/}$part" && echo .) || return 1
            target=${target%.}
            target=${target%$'\n'}
            case $target in "" | /*) return 1 ;; esac
            left=$target${left:+/$left}
        else
            here=${here:+$here/}$part
        fi
    done
}

# The program answers --version with "Brinmoor <version>" within 10 seconds.
answers_version() {
    local child n=100
    "$1" --version </dev/null >"$scratch/version" 2>/dev/null &
    child=$!
    while kill -0 "$child" 2>/dev/null; do
        if ((n-- <= 0)); then
            kill -KILL "$child" 2>/dev/null
            wait "$child" 2>/dev/null
            return 1
        fi
        sleep 0.1
    done
    wait "$child" || return 1
    case $(head -c 200 "$scratch/version") in "Brinmoor "?*) return 0 ;; esac
    return 1
}

# A process runs a program inside the folder (Linux: /proc names every process's program).
runs_from() {  # <folder>
    local exe root
    root=$(cd -P -- "$1" && pwd) || return 1
    for exe in /proc/[0-9]*/exe; do
        case $(readlink "$exe" 2>/dev/null) in "$root"/*) return 0 ;; esac
    done
    return 1
}

end_process() {  # <pid>: asked to quit, then killed after 5 seconds
    local n=50
    kill -TERM "$1" 2>/dev/null
    while kill -0 "$1" 2>/dev/null && ((n-- > 0)); do sleep 0.1; done
    kill -KILL "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# The application quits right after starting this script: wait until it has gone.
while kill -0 "$pid" 2>/dev/null; do sleep 0.3; done

[ -d "$installed" ] || exit 1
# The scratch folder takes the version answer and the new build's start marker. A full or
# read-only temporary folder would otherwise pass for a release that does not start: it is
# tried with a write of its own first.
# A TMPDIR that names no folder gives way to the system's, as it does for the application.
tmp=${TMPDIR:-/tmp}
[ -d "$tmp" ] || tmp=/tmp
if ! scratch=$(mktemp -d "$tmp/brinmoor-swap.XXXXXX" 2>&1); then
    error=$scratch scratch=""
    give_up "$(local_trouble tmp "$error")"
fi
error=$({ head -c 65536 /dev/zero >"$scratch/probe"; } 2>&1) || give_up "$(local_trouble tmp "$error")"
rm -f -- "$scratch/probe"
# The temporary folder may have been emptied since the download.
[ -d "$new" ] || give_up missing
# Taken into the scratch folder, whatever comes of it: nothing else may change it under the copy
# below, and it goes with the scratch folder. The application hands it over in a folder of its
# own (BrinmoorInstall-*), which goes too once empty.
error=$(mv -- "$new" "$scratch/new" 2>&1) || give_up "$(local_trouble tmp "$error")"
case ${new%/*} in */BrinmoorInstall-*) rmdir -- "${new%/*}" 2>/dev/null ;; esac
new=$scratch/new
rm -rf -- "$staging"
error=$(cp -pR -- "$new" "$staging" 2>&1) || give_up "$(local_trouble app "$error")"
holds_program "$staging" || give_up not-executable
links_inside "$staging" || give_up link-outside
answers_version "$staging/bin/brinmoor" || give_up no-start
error=$(mv -- "$installed" "$backup" 2>&1) || give_up "$(local_trouble app "$error")"
error=$(mv -- "$staging" "$installed" 2>&1) || give_up "$(local_trouble app "$error")"
# macOS would refuse to open a downloaded copy still carrying its quarantine attribute.
if [ "$(uname)" = Darwin ]; then
    xattr -cr "$installed" 2>/dev/null
fi

# The new build on trial: a child of this script, so that its end and exit status are seen here.
cd / || give_up copy
BRINMOOR_UPDATE_MARKER="$scratch/started" "$installed/bin/brinmoor" </dev/null >/dev/null 2>&1 &
trial=$!
n=$((seconds * 10))
until [ -e "$scratch/started" ]; do
    if ! kill -0 "$trial" 2>/dev/null || ((n-- <= 0)); then
        end_process "$trial"
        if [ -e "$scratch/started.another-copy" ]; then
            # The copy the user started runs the new build itself (it started once the folders
            # had been swapped): its folder is not taken from under it, and the update stays.
            if runs_from "$installed"; then
                rm -rf -- "$backup" "$scratch"
                exit 0
            fi
            # Another copy holds the data folder: this build never had its chance.
            give_up another-copy
        fi
        give_up no-window
    fi
    sleep 0.1
done
# On probation until it has run for the settle time with its window up.
n=$((settle * 10))
while ((n-- > 0)); do
    if ! kill -0 "$trial" 2>/dev/null; then
        wait "$trial"
        status=$?
        # The user quit it (it said so before it ended), or a signal from outside ended it.
        [ -e "$scratch/started.quit" ] && break
        case $status in
        129 | 130 | 143) break ;;
        0) give_up ended ;;
        *) give_up crashed ;;
        esac
    fi
    sleep 0.1
done
rm -rf -- "$backup" "$scratch"
