#!/usr/bin/env bash
# Runs a command on a private X display managed by openbox, for the tests whose outcome depends on what a real
# window manager answers (maximise and restore, where a dialog stands). Exits with the command's status, or 1 when
# the display or the window manager never got ready.
set -u
# The X server picks its free display itself and tells it: several such tests start at once, and a display chosen
# before the server takes it may be taken by another's server meanwhile, whose window manager would then be found
# running already.
number=$(mktemp)
said=$(mktemp)
trap 'kill $xvfb $wm 2>/dev/null; rm -f "$number" "$said"' EXIT
wm=
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 600); do
    [ -s "$number" ] && break
    sleep 0.1
done
if [ ! -s "$number" ]; then
    echo "the X server did not start" >&2
    exit 1
fi
export DISPLAY=":$(tr -d '\n' < "$number")"
# The window manager is ready once it publishes the work area, which it does after it has taken the screen over and
# loaded its theme; on a busy machine that may take many seconds. Without it the test would say nothing. One that
# ends before it is ready is told with what it printed, and started once more.
for attempt in 1 2; do
    openbox >"$said" 2>&1 &
    wm=$!
    for _ in $(seq 600); do
        xprop -root _NET_WORKAREA 2>/dev/null | grep -q " = " && { "$@"; exit $?; }
        kill -0 "$wm" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$wm" 2>/dev/null; then
        echo "the window manager did not get ready in 60 s; it printed:" >&2
        cat "$said" >&2
        exit 1
    fi
    wait "$wm"
    echo "the window manager ended with status $? before it was ready (start $attempt of 2); it printed:" >&2
    cat "$said" >&2
done
exit 1
