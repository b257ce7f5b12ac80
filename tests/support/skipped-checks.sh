#!/usr/bin/env bash
# Says which checks of the last ctest run were skipped, and why, from the log ctest keeps of the run (its argument,
# or Testing/Temporary/LastTest.log of the current folder): ctest counts a test whose checks were all skipped as
# passed, and QtTest tells each skip only in that log, as "SKIP   : Class::function(row) reason". A line for each
# reason, with how many checks and which test, and last the lines that sum them up:
#   13 checks skipped: 8 need root; 5 need pg_virtualenv; 13 of them run nowhere on this machine
#   1 test skipped whole: 1 cannot run under the sanitizers
# A check is counted once, however many of its tests skipped it: the service's tests run again on PostgreSQL as their
# _postgresql twins, the same checks of the same binary. A skip in a _postgresql test is the SQLite store's alone,
# which the plain test runs; one in a plain test whose reason names a store is PostgreSQL's alone, which its
# _postgresql twin runs, or, where pg_virtualenv is missing to make the twins' cluster, nothing does. A check that
# no test of this machine runs is said to run nowhere: one that needs root, whatever its twin's reason (the plain test
# skipped it too), one that both stores' tests skipped for a store's reason, and one skipped for a reason of no known
# kind; one skipped under the sanitizers runs in the plain build, and one that needs a window manager in a _wm test. A skip in initTestCase skips the whole test, which QtTest logs as one skip: such a test is counted
# apart. It always exits 0: what the suite's run returns is ctest's to say.
set -uo pipefail
log=${1:-Testing/Temporary/LastTest.log}
if [ ! -r "$log" ]; then
    echo "skipped checks: no log of a ctest run at $log"
    exit 0
fi
pgVirtualenv=0
command -v pg_virtualenv >/dev/null 2>&1 && pgVirtualenv=1
awk -v pgVirtualenv="$pgVirtualenv" '
    /^[0-9]+\/[0-9]+ Testing: / { test = $3; next }
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
        checkOf[skips] = substr(line, 1, i)
        reasonOf[skips] = substr(line, i + 2)
    }
    # Where a check skipped for the reason runs, as the kind said of several checks.
    function kind(test, reason) {
        if (reason ~ /root/) return "need root"
        if (reason ~ /pgbouncer/) return "need pgbouncer (scripts/setup.sh installs it)"
        if (reason ~ /window manager/) return "need a window manager (the _wm tests run them)"
        if (reason ~ /sanitizer/) return "cannot run under the sanitizers"
        if (test ~ /_postgresql$/) return "are SQLite-only (the plain tests run them)"
        if (reason ~ /SQLite|PostgreSQL/)
            return pgVirtualenv ? "are PostgreSQL-only (the _postgresql tests run them)" : "need pg_virtualenv"
        return "were skipped for the reasons above"
    }
    # Whether a check of the kind runs in another test of this machine.
    function runsElsewhere(said) {
        return said ~ /run them\)$/ || said ~ /sanitizers/
    }
    # The kind as said of one check, or of more.
    function agreeing(said, count) {
        if (count == 1) {
            sub(/^need /, "needs ", said)
            sub(/^are /, "is ", said)
            sub(/^were /, "was ", said)
            sub(/run them\)$/, "run it)", said)
        }
        return said
    }
    # "; " between the kinds counted, in the order of `kindAt`.
    function counted(byKind,    k, summary) {
        summary = ""
        for (k = 1; k <= kinds; k++)
            if (byKind[kindAt[k]] > 0)
                summary = summary (summary == "" ? "" : "; ") byKind[kindAt[k]] " " agreeing(kindAt[k], byKind[kindAt[k]])
        return summary
    }
    END {
        order = "need root|need pg_virtualenv|need pgbouncer (scripts/setup.sh installs it)|" \
                "are PostgreSQL-only (the _postgresql tests run them)|" \
                "are SQLite-only (the plain tests run them)|need a window manager (the _wm tests run them)|" \
                "cannot run under the sanitizers|were skipped for the reasons above"
        kinds = split(order, kindAt, "|")
        # The kinds of a skip that one store alone runs.
        storeAlone = "only|pg_virtualenv"
        for (s = 1; s <= skips; s++) {
            whole = checkOf[s] ~ /::initTestCase\(\)$/
            place = (whole ? "all of " testOf[s] : testOf[s]) ": " reasonOf[s]
            if (!(place in byPlace)) places[++placeCount] = place
            byPlace[place]++
            if (whole) {
                tests++
                wholeByKind[kind(testOf[s], reasonOf[s])]++
                continue
            }
            check = checkOf[s]
            if (!(check in skipsOf)) checkAt[++checks] = check
            skipsOf[check]++
            # Of a check that several tests skipped, a skip for another reason than a store tells why it runs
            # nowhere.
            said = kind(testOf[s], reasonOf[s])
            if (!(check in kindOf) || (kindOf[check] ~ storeAlone && said !~ storeAlone))
                kindOf[check] = said
        }
        if (skips == 0) {
            print "no check skipped"
            exit
        }
        for (p = 1; p <= placeCount; p++)
            if (places[p] ~ /^all of /)
                printf "skipped: %s\n", places[p]
            else
                printf "skipped: %d in %s\n", byPlace[places[p]], places[p]
        for (c = 1; c <= checks; c++) {
            check = checkAt[c]
            if (skipsOf[check] > 1 && kindOf[check] ~ storeAlone)
                kindOf[check] = "were skipped for the reasons above"
            byKind[kindOf[check]]++
            if (!runsElsewhere(kindOf[check])) nowhere++
        }
        nowhereSaid = ""
        if (nowhere > 0)
            nowhereSaid = sprintf("; %d of them run%s nowhere on this machine", nowhere, nowhere == 1 ? "s" : "")
        if (checks > 0)
            printf "%d check%s skipped: %s%s\n", checks, checks == 1 ? "" : "s", counted(byKind), nowhereSaid
        if (tests > 0)
            printf "%d test%s skipped whole: %s\n", tests, tests == 1 ? "" : "s", counted(wholeByKind)
    }
' "$log"
exit 0
