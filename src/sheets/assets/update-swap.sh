# Replaces an installed Brinmoor.app folder with a new one and starts it again.
#
# Run as: bash -c "<this text>" brinmoor-swap <pid> <installed folder> <new folder>
# Every value arrives as an argument, so no path is ever read as shell text. The installed folder
# is moved aside, not deleted, until the new one is in place; on any failure it is put back and
# started again, so the user is never left without an application.
set -u
pid=${1-} installed=${2-} new=${3-}
case $pid in '' | *[!0-9]*) exit 2 ;; esac
[ -n "$installed" ] && [ -n "$new" ] || exit 2
staging="$installed.update-$$"
backup="$installed.previous-$$"

relaunch() {
    cd / || return
    # Detached from this script and from the application's session, so it outlives both.
    if command -v setsid >/dev/null 2>&1; then
        setsid -- "$installed/bin/brinmoor" </dev/null >/dev/null 2>&1 &
    else
        nohup "$installed/bin/brinmoor" </dev/null >/dev/null 2>&1 &
    fi
}

give_up() {
    rm -rf -- "$staging"
    if [ ! -e "$installed" ] && [ -d "$backup" ]; then
        mv -- "$backup" "$installed"
    fi
    relaunch
    exit 1
}

# The application quits right after starting this script: wait until it has gone.
while kill -0 "$pid" 2>/dev/null; do sleep 0.3; done

[ -d "$installed" ] || exit 1
# The temporary folder may have been emptied since the download.
[ -d "$new" ] && [ -x "$new/bin/brinmoor" ] || give_up
rm -rf -- "$staging"
cp -pR -- "$new" "$staging" || give_up
mv -- "$installed" "$backup" || give_up
mv -- "$staging" "$installed" || give_up
rm -rf -- "$backup"
# macOS would refuse to open a downloaded copy still carrying its quarantine attribute.
if [ "$(uname)" = Darwin ]; then
    xattr -cr "$installed" 2>/dev/null
fi
relaunch
