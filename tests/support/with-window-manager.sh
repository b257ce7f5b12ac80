#!/usr/bin/env bash
# Runs a command on a private X display managed by openbox, for the tests whose outcome depends on what a real
# window manager answers (maximise and restore). Exits with the command's status.
set -u
exec xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    # The window manager is ready once it names itself on the root window.
    for _ in $(seq 50); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    "$@"
    status=$?
    kill $wm
    exit $status' _ "$@"
