#!/usr/bin/env bash
# Says which checks of the last ctest run were skipped, and why, from the log ctest keeps of the run (its argument,
# or Testing/Temporary/LastTest.log of the current folder): ctest counts a test whose checks were all skipped as
# passed, and QtTest tells each skip only in that log, as "SKIP   : Class::function(row) reason". A line for each
# reason, with how many checks and which test, and last the line that sums them up:
#   13 checks skipped: 8 need root; 5 need pg_virtualenv
# A skip for want of pgbouncer is counted apart, in a _postgresql test too.
# A skip in a _postgresql test is the SQLite store's alone, which the plain test runs; one in a plain test whose
# reason names a store is PostgreSQL's alone, which its _postgresql twin runs, or, when no twin ran, needs
# pg_virtualenv to make the cluster. It always exits 0: what the suite's run returns is ctest's to say.
set -uo pipefail
log=${1:-Testing/Temporary/LastTest.log}
if [ ! -r "$log" ]; then
    echo "skipped checks: no log of a ctest run at $log"
    exit 0
fi
awk '
    /^[0-9]+\/[0-9]+ Testing: / { test = $3; if (test ~ /_postgresql$/) twins = 1; next }
    /^SKIP   : / {
        line = substr($0, 10)
        # The check is "Class::function(row)", its row in parentheses that may hold blanks and parentheses of their
        # own: the reason follows the parenthesis that closes the first.
        depth = 0
        for (i = index(line, "("); i <= length(line); i++) {
            c = substr(line, i, 1)
            if (c == "(") depth++
            else if (c == ")" && --depth == 0) break
        }
        skips++
        testOf[skips] = test
        reasonOf[skips] = substr(line, i + 2)
    }
    function kind(test, reason) {
        if (reason ~ /root/) return "need root"
        if (reason ~ /pgbouncer/) return "need pgbouncer (scripts/setup.sh installs it)"
        if (reason ~ /window manager/) return "need a window manager (the _wm tests run them)"
        if (reason ~ /sanitizer/) return "cannot run under the sanitizers"
        if (test ~ /_postgresql$/) return "are SQLite-only (the plain tests run them)"
        if (reason ~ /SQLite|PostgreSQL/)
            return twins ? "are PostgreSQL-only (the _postgresql tests run them)" : "need pg_virtualenv"
        return "were skipped for the reasons above"
    }
    # The kind as said of one check, or of more.
    function agreeing(said, count) {
        if (count == 1) {
            sub(/^need /, "needs ", said)
            sub(/^are /, "is ", said)
            sub(/^were /, "was ", said)
        }
        return said
    }
    END {
        if (skips == 0) {
            print "no check skipped"
            exit
        }
        order = "need root|need pg_virtualenv|need pgbouncer (scripts/setup.sh installs it)|" \
                "are PostgreSQL-only (the _postgresql tests run them)|" \
                "are SQLite-only (the plain tests run them)|need a window manager (the _wm tests run them)|" \
                "cannot run under the sanitizers|were skipped for the reasons above"
        kinds = split(order, kindAt, "|")
        for (s = 1; s <= skips; s++) {
            place = testOf[s] ": " reasonOf[s]
            if (!(place in byPlace)) places[++placeCount] = place
            byPlace[place]++
            byKind[kind(testOf[s], reasonOf[s])]++
        }
        for (p = 1; p <= placeCount; p++)
            printf "skipped: %d in %s\n", byPlace[places[p]], places[p]
        summary = ""
        for (k = 1; k <= kinds; k++)
            if (byKind[kindAt[k]] > 0)
                summary = summary (summary == "" ? "" : "; ") byKind[kindAt[k]] " " agreeing(kindAt[k], byKind[kindAt[k]])
        printf "%d check%s skipped: %s\n", skips, skips == 1 ? "" : "s", summary
    }
' "$log"
exit 0
