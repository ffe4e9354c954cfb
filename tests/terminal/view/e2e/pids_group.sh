# Sourced by the end-to-end scripts that run the app inside a pids control group, after e2e_lib.sh:
# makes the group (the v1 pids hierarchy, else the unified one when its top hands pids down), or
# skips the script (exit 77) where none can be made: it needs root and a writable cgroup file
# system. On exit, whatever the run left in the group goes first, then the group, then e2e_lib's
# clean-up. Sets `group`.
group=""
if [ "$(id -u)" = 0 ]; then
    for top in $(awk '$9 == "cgroup" && $NF ~ /(^|,)pids(,|$)/ { print $5 } $9 == "cgroup2" { print $5 }' /proc/self/mountinfo); do
        [ -f "$top/cgroup.subtree_control" ] && ! grep -qw pids "$top/cgroup.subtree_control" && continue
        if mkdir "$top/brinmoor-e2e-$$" 2>/dev/null; then
            group="$top/brinmoor-e2e-$$"
            break
        fi
    done
fi
if [ -z "$group" ]; then
    echo "$e2e: skipped: no pids control group can be made here (needs root and a writable cgroup file system)"
    exit 77
fi
remove_group() {
    local status=$?
    for p in $(cat "$group/cgroup.procs" 2>/dev/null); do kill -9 "$p" 2>/dev/null || true; done
    wait_for 10 bash -c "[ -z \"\$(cat $group/cgroup.procs 2>/dev/null)\" ]" || true
    rmdir "$group" 2>/dev/null || true
    cleanup "$status"
}
trap remove_group EXIT
