#!/usr/bin/env bash
# Six devices sync to a service of 4 workers, each uploading 1 to 40 new bills a sync, while the PostgreSQL server
# under it is restarted (`restart -m fast`) and later stopped for 5 seconds and started again. Run beside the
# throw-away cluster of with-postgresql.sh, whose PG* variables name the server and its version:
#
#     tests/support/with-postgresql.sh bench/database-restart-trial.sh build/service/quillbay-service
#
# Prints, for the restart and for the stop, the syncs that failed after the first one was served again (there should
# be none), the service's exit status at its stop, and whether every bill a sync acknowledged is served afterwards.
# Exits 0 when all of that holds. It talks to the service on loopback only, and stops by itself.
set -u
service=${1:?the service to run}
cluster=(pg_ctlcluster "${PGVERSION:?run beside with-postgresql.sh}" regress)
source "$(dirname "$0")/trial-service.sh"

now() { date +%s%3N; }

for device in 1 2 3 4 5 6; do
    echo pw | "$service" "${store[@]}" --add-account "device$device" >/dev/null 2>&1 || {
        echo "the account of device $device could not be made" >&2
        exit 1
    }
done
startService --workers 4

# A device syncs until the stop file appears: each sync's end time and "ok" or the answer's start in its log, and
# each bill an answer acknowledged in its list.
device() {
    local name=device$1 round=0
    while [ ! -e "$work/stop" ]; do
        round=$((round + 1))
        local count=$((1 + RANDOM % 40)) rows="" ids=() k
        for k in $(seq "$count"); do
            ids+=("$name-$round-$k")
            rows+="${rows:+,}[\"$name-$round-$k\",\"t\",\"2024-05-01 10:00:00\"]"
        done
        local answer
        answer=$(sync "$name" "$(upload "$rows")")
        if [ "${answer:0:1}" = "[" ]; then
            echo "$(now) ok" >>"$work/$name.syncs"
            printf '%s\n' "${ids[@]}" >>"$work/$name.acknowledged"
        else
            echo "$(now) ${answer:0:80}" >>"$work/$name.syncs"
        fi
    done
}

for device in 1 2 3 4 5 6; do
    device "$device" &
done
sleep 5
"${cluster[@]}" restart -m fast
restarted=$(now)
sleep 10
stopped=$(now)
"${cluster[@]}" stop -m fast
sleep 5
"${cluster[@]}" start
started=$(now)
sleep 10
touch "$work/stop"
wait $(jobs -p | grep -v "^$pid$") 2>/dev/null

# The syncs that ended after the first one served once the server was back, up to the next event.
failedAfter() {
    sort -n "$work"/*.syncs | awk -v from="$1" -v to="$2" '
        $1 > from && $1 <= to && $2 == "ok" && !served { served = $1 }
        served && $1 > served && $1 <= to && $2 != "ok" { failed++ }
        $1 > from && $1 <= to { all++ }
        END { printf "%d of %d", failed, all }'
}
afterRestart=$(failedAfter "$restarted" "$stopped")
afterStart=$(failedAfter "$started" 99999999999999)
echo "after the restart: $afterRestart syncs failed once one was served again"
echo "after the stop and start: $afterStart syncs failed once one was served again"
echo "syncs in all: $(cat "$work"/*.syncs | wc -l), failed: $(grep -vc ' ok$' <(cat "$work"/*.syncs))"

lost=0
acknowledged=0
for device in 1 2 3 4 5 6; do
    name=device$device
    sync "$name" "$(upload "")" | jq -r '.[] | select(.table_name == "bill") | .update_data[] | .[0]' | sort \
        >"$work/$name.served"
    acknowledged=$((acknowledged + $(wc -l <"$work/$name.acknowledged")))
    lost=$((lost + $(sort "$work/$name.acknowledged" | comm -23 - "$work/$name.served" | wc -l)))
done
echo "acknowledged bills: $acknowledged, not served afterwards: $lost"

kill -TERM "$pid"
wait "$pid"
status=$?
echo "the service's status at its stop: $status"
if grep -q "Sanitizer" "$work/service.log"; then
    echo "the service's log holds a sanitizer report:"
    grep -A20 "Sanitizer" "$work/service.log" | head -40
    status=1
fi
[ "$status" -eq 0 ] && [ "$lost" -eq 0 ] && [ "${afterRestart%% *}" -eq 0 ] && [ "${afterStart%% *}" -eq 0 ]
