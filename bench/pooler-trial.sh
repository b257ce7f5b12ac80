#!/usr/bin/env bash
# Two service processes of 4 workers serve one PostgreSQL database through PgBouncer, in the pool mode given
# (session, its default settings; or transaction, the address then saying so), while eight devices, each of an
# account of its own and each sync to the other process than the last, sync for a minute: each sync uploads 1 to 10
# new bills and asks for what changed since its last sync; every tenth asks for the whole account instead, whose
# answer must hold every bill acknowledged before, and nothing of another account; each round signs in with the right
# password, which must be answered with the account's own id, and every tenth with a wrong one, which must be refused.
# Run beside the throw-away cluster of with-postgresql.sh, whose PG* variables name the server:
#
#     tests/support/with-postgresql.sh bench/pooler-trial.sh build/service/quillbay-service transaction [SECONDS]
#
# Further settings of PgBouncer's, a line each, may be given in POOLER_SETTINGS: "ignore_startup_parameters = options"
# lets a service of an earlier version, which sets its notices' level in the connection's start-up, begin.
#
# Prints the syncs served and failed (told the store failed or the service is busy), the wrong answers, and the
# acknowledged bills that a whole account's answer at the end lacks. Exits 0 when no answer was wrong and no bill is
# missing. It talks to the service and the pooler on loopback only, and stops by itself.
set -u
service=${1:?the service to run}
mode=${2:?the pool mode: session or transaction}
seconds=${3:-60}
[ -n "${PGVERSION:-}" ] || {
    echo "run beside with-postgresql.sh" >&2
    exit 1
}
source "$(dirname "$0")/trial-service.sh"

# PgBouncer on a loopback port of its own, with its defaults but for the pool mode; it refuses to run as root, which
# then has it run as the database server's user.
pooler=$work/pooler
mkdir -p "$pooler"
poolerPort=$((20000 + RANDOM % 20000))
cat >"$pooler/pgbouncer.ini" <<EOF
[databases]
* = host=$PGHOST port=$PGPORT
[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $poolerPort
unix_socket_dir =
auth_type = scram-sha-256
auth_file = $pooler/users.txt
pool_mode = $mode
${POOLER_SETTINGS:-}
EOF
printf '"%s" "%s"\n' "$PGUSER" "$PGPASSWORD" >"$pooler/users.txt"
runAs=()
if [ "$(id -u)" -eq 0 ]; then
    # The trial's folder is passed through, not read; the service makes its own folders there its owner's alone.
    chmod 711 "$work"
    chown -R postgres "$pooler"
    runAs=(setpriv --reuid=postgres --regid=postgres --init-groups --pdeathsig=KILL)
fi
"${runAs[@]}" pgbouncer "$pooler/pgbouncer.ini" >"$pooler/log" 2>&1 &
poolerPid=$!
for _ in $(seq 100); do
    grep -q "listening on 127.0.0.1:$poolerPort" "$pooler/log" && break
    sleep 0.1
done
parameters=""
[ "$mode" = transaction ] && parameters="?pool_mode=transaction"
store=(--data "$work/data" --database "postgresql://${PGUSER}@127.0.0.1:$poolerPort/$database$parameters")

for device in 1 2 3 4 5 6 7 8; do
    echo pw | "$service" "${store[@]}" --add-account "device$device" >/dev/null 2>>"$work/accounts.log" || {
        echo "the account of device $device could not be made:" >&2
        cat "$work/accounts.log" >&2
        exit 1
    }
done
ports=()
pids=()
for process in 1 2; do
    port=$((40000 + RANDOM % 20000))
    base="http://127.0.0.1:$port"
    startService --workers 4 --login-failures-per-address 100000
    mv "$work/service.log" "$work/service$process.log"
    ports+=("$port")
    pids+=("$pid")
done

# Posts one sync of the device to the port given, with the last sync and the clock given: its answer.
syncAt() {
    curl -s --max-time 60 "http://127.0.0.1:$1/sync/syncpc2.php" --data-urlencode "version=44" \
        --data-urlencode "username=$2" --data-urlencode "password=pw" --data-urlencode "sync_time=$3" \
        --data-urlencode "client_time=$4" --data-urlencode "data@-" <<<"$5"
}

signIn() {
    curl -s --max-time 60 "http://127.0.0.1:$1/sync/userid.php" --data-urlencode "username=$2" \
        --data-urlencode "password=$3"
}

# The error code an answer tells, or nothing.
errorCode() {
    jq -r 'if type == "object" then (.error // "") else "" end' <<<"$1" 2>/dev/null
}

# Whether an answer tells of work that failed or a busy service, which the program shows and tries again later.
failedOrBusy() {
    local code
    code=$(errorCode "$1")
    [ "$code" = 3 ] || [ "$code" = 4 ]
}

# A device syncs until the stop file appears, logging "served", "failed" or "wrong ..." for each sync and sign-in, and
# each bill an answer acknowledged.
device() {
    local name=device$1 round=0 lastSync="2008-08-08 08:08:08" id=""
    local first
    # Eight devices signing in at once from one address may find more waiting than an address may: told the service
    # is busy, a device tries again, as a person would.
    for _ in 1 2 3 4 5; do
        first=$(signIn "${ports[0]}" "$name" pw)
        [ "$(jq -r '.message // empty' <<<"$first" 2>/dev/null)" = "服务器繁忙，请稍后再试" ] || break
        sleep 1
    done
    id=$(jq -r '.id // empty' <<<"$first" 2>/dev/null)
    [ -n "$id" ] || echo "wrong: the first sign-in was not answered with an id: ${first:0:80}" >>"$work/$name.outcomes"
    while [ ! -e "$work/stop" ]; do
        round=$((round + 1))
        local port=${ports[$((round % 2))]} answer now
        answer=$(signIn "$port" "$name" pw)
        if failedOrBusy "$answer"; then
            echo "failed sign-in" >>"$work/$name.outcomes"
        elif [ "$(jq -r '.id // empty' <<<"$answer" 2>/dev/null)" != "$id" ]; then
            echo "wrong sign-in: ${answer:0:80}" >>"$work/$name.outcomes"
        fi
        if [ $((round % 10)) -eq 0 ]; then
            answer=$(signIn "$port" "$name" wrong)
            failedOrBusy "$answer" || [ "$(errorCode "$answer")" = 1 ] ||
                echo "wrong refusal: ${answer:0:80}" >>"$work/$name.outcomes"
            # The whole account: every bill acknowledged before, and no other account's.
            cp "$work/$name.acknowledged" "$work/$name.expected" 2>/dev/null || : >"$work/$name.expected"
            answer=$(syncAt "$port" "$name" "2008-08-08 08:08:08" "$(date -u '+%F %T')" "$(upload "")")
            if failedOrBusy "$answer"; then
                echo "failed" >>"$work/$name.outcomes"
            elif ! jq -r '.[] | select(.table_name == "bill") | .update_data[] | .[0]' <<<"$answer" \
                >"$work/$name.whole" 2>/dev/null; then
                echo "wrong whole account: ${answer:0:80}" >>"$work/$name.outcomes"
            elif [ -n "$(sort "$work/$name.expected" | comm -23 - <(sort "$work/$name.whole"))" ] ||
                grep -qv "^$name-" "$work/$name.whole"; then
                echo "wrong whole account: bills missing or another account's" >>"$work/$name.outcomes"
            else
                echo "served" >>"$work/$name.outcomes"
            fi
            continue
        fi
        local count=$((1 + RANDOM % 10)) rows="" ids=() k
        for k in $(seq "$count"); do
            ids+=("$name-$round-$k")
            rows+="${rows:+,}[\"$name-$round-$k\",\"t\",\"2024-05-01 10:00:00\"]"
        done
        now=$(date -u '+%F %T')
        answer=$(syncAt "$port" "$name" "$lastSync" "$now" "$(upload "$rows")")
        if failedOrBusy "$answer"; then
            echo "failed" >>"$work/$name.outcomes"
        elif [ "${answer:0:1}" = "[" ] && jq -e 'length == 6' <<<"$answer" >/dev/null 2>&1; then
            echo "served" >>"$work/$name.outcomes"
            printf '%s\n' "${ids[@]}" >>"$work/$name.acknowledged"
            lastSync=$now
        else
            echo "wrong sync: ${answer:0:80}" >>"$work/$name.outcomes"
        fi
    done
}

for device in 1 2 3 4 5 6 7 8; do
    device "$device" &
done
sleep "$seconds"
touch "$work/stop"
wait $(jobs -p | grep -v -e "^${pids[0]}$" -e "^${pids[1]}$" -e "^$poolerPid$") 2>/dev/null

served=$(cat "$work"/*.outcomes | grep -c "^served$")
failed=$(cat "$work"/*.outcomes | grep -c "^failed$")
failedSignIns=$(cat "$work"/*.outcomes | grep -c "^failed sign-in$")
wrong=$(cat "$work"/*.outcomes | grep -c "^wrong")
acknowledged=0
missing=0
for device in 1 2 3 4 5 6 7 8; do
    name=device$device
    touch "$work/$name.acknowledged"
    syncAt "${ports[0]}" "$name" "2008-08-08 08:08:08" "$(date -u '+%F %T')" "$(upload "")" |
        jq -r '.[] | select(.table_name == "bill") | .update_data[] | .[0]' | sort >"$work/$name.served"
    acknowledged=$((acknowledged + $(wc -l <"$work/$name.acknowledged")))
    missing=$((missing + $(sort "$work/$name.acknowledged" | comm -23 - "$work/$name.served" | wc -l)))
done
echo "PgBouncer in $mode mode, two service processes, eight devices, $seconds s:"
echo "syncs served: $served, failed: $failed; sign-ins failed: $failedSignIns; wrong answers: $wrong"
grep -h "^wrong" "$work"/*.outcomes | sort | uniq -c | head -5
echo "acknowledged bills: $acknowledged, missing at the end: $missing"

status=0
for process in 1 2; do
    kill -TERM "${pids[$((process - 1))]}"
    wait "${pids[$((process - 1))]}" || status=1
    if grep -q "Sanitizer" "$work/service$process.log"; then
        echo "the log of service process $process holds a sanitizer report:"
        grep -A20 "Sanitizer" "$work/service$process.log" | head -40
        status=1
    fi
done
echo "store errors in the services' logs: $(cat "$work"/service?.log | grep -c "store: error")"
cat "$work"/service?.log | grep "store: error" | sed 's/^[0-9-]* [0-9:]* //' | sort | uniq -c | sort -rn | head -5
kill -TERM "$poolerPid"
wait "$poolerPid" 2>/dev/null
[ "$status" -eq 0 ] && [ "$wrong" -eq 0 ] && [ "$missing" -eq 0 ]
