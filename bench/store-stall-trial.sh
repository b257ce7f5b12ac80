#!/usr/bin/env bash
# A service of one worker whose PostgreSQL store is reached through the bench's relay, which stalls the worker's
# connection for good: it holds back its bytes each way and keeps both its sockets open, as a failover that moves the
# server's address or a proxy that keeps the socket up would, while new connections pass. Once as a device's sync
# writes its records, once between two syncs. Run beside the throw-away cluster of with-postgresql.sh, with the
# service's own bound on a silent store (30 s unless options for the service follow):
#
#     tests/support/with-postgresql.sh bench/store-stall-trial.sh build/service/quillbay-service build/bench/quillbay-bench
#
# Prints, for each, how long the sync on the stalled connection took and how it was answered, and how long the next
# sync, on the same worker, took to be served. Exits 0 when the stalled sync in the write failed with nothing stored,
# each next sync was served, and the service stopped with status 0. It talks to the service and the server on
# loopback only, and stops by itself.
set -u
service=${1:?the service to run}
bench=${2:?the bench, whose relay stands in front of the store}
shift 2
[ -n "${PGVERSION:-}" ] || {
    echo "run beside tests/support/with-postgresql.sh" >&2
    exit 1
}
source "$(dirname "$0")/trial-service.sh"

# The relay takes its commands from a pipe that the trial holds open until its end.
mkfifo "$work/relay-commands"
"$bench" --store-relay "${store[3]}" <"$work/relay-commands" >"$work/relay-address" 2>"$work/relay.log" &
relay=$!
exec 3>"$work/relay-commands"
for _ in $(seq 100); do
    [ -s "$work/relay-address" ] && break
    sleep 0.1
done
store=(--data "$work/data" --database "$(cat "$work/relay-address")")

echo pw | "$service" "${store[@]}" --add-account device >/dev/null 2>&1 || {
    echo "the account could not be made" >&2
    exit 1
}
# The relay's input ends with the trial's own end of the pipe, which the service does not hold.
startService --workers 1 "$@" 3>&-

now() { date +%s%3N; }
seconds() { awk -v ms="$1" 'BEGIN { printf "%.1f", ms / 1000 }'; }
bill() { upload "[\"$1\",\"$2\",\"2024-05-01 10:00:$3\"]"; }

# Syncs the bill given, printing how long it took and how it was answered; its answer's start in `answered`.
timedSync() {
    local what=$1 start
    start=$(now)
    answered=$(sync device "$(bill "$2" "$3" "$4")")
    local outcome="served"
    [ "${answered:0:1}" = "[" ] || outcome="answered ${answered:0:80}"
    echo "$what: $(seconds $(($(now) - start))) s, $outcome"
}

status=0
sync device "$(bill first t 00)" >/dev/null
echo "stall-at stalled-title" >&3
timedSync "the sync stalled as it writes its records" stalled stalled-title 09
[ "${answered:0:1}" = "[" ] && status=1
timedSync "the next sync" next t 10
[ "${answered:0:1}" = "[" ] || status=1
if sync device "$(upload "")" | grep -q stalled-title; then
    echo "the stalled sync's record was stored"
    status=1
fi

echo stall >&3
timedSync "a sync after the connection stalled between syncs" between t 11
[ "${answered:0:1}" = "[" ] || status=1
timedSync "the next sync" after t 12
[ "${answered:0:1}" = "[" ] || status=1

echo "the service's log:"
grep -E "given up|lost|back|not stored" "$work/service.log" | sed 's/^/    /'
kill -TERM "$pid"
wait "$pid"
stopped=$?
echo "the service's status at its stop: $stopped"
exec 3>&-
wait "$relay"
[ "$status" -eq 0 ] && [ "$stopped" -eq 0 ]
