#!/usr/bin/env bash
# Runs a command on a private X display managed by openbox, for the tests whose outcome depends on what a real
# window manager answers (maximise and restore, where a dialog stands). Exits with the command's status, or 1 when
# the window manager never got ready.
set -u
exec xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    openbox >/dev/null 2>&1 &
    wm=$!
    # The window manager is ready once it publishes the work area, which it does after it has taken the screen
    # over and loaded its theme; on a busy machine that may take many seconds. Without it the test would say nothing.
    ready=
    for _ in $(seq 600); do
        xprop -root _NET_WORKAREA 2>/dev/null | grep -q " = " && ready=1 && break
        sleep 0.1
    done
    if [ -z "$ready" ]; then
        echo "the window manager did not start" >&2
        kill $wm
        exit 1
    fi
    "$@"
    status=$?
    kill $wm
    exit $status' _ "$@"
