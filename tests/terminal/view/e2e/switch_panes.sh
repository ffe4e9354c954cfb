#!/bin/bash
# The login shell of the workspace-switch end-to-end test's panes: once go exists in its folder
# (then it writes started there), the pane in projects/spin lists / under a spinner that rewrites
# its row 100 times a second, the pane in projects/yes runs `yes`; any other pane is a bash.
case "$PWD" in
*/spin | */yes)
    until [ -e "$PWD/go" ]; do sleep 0.1; done
    touch "$PWD/started"
    if [ "${PWD##*/}" = yes ]; then exec yes; fi
    clear
    ls -la /
    while true; do for c in / - '\' '|'; do printf '\r%s working' "$c"; sleep 0.01; done; done
    ;;
*) exec bash ;;
esac
