#!/usr/bin/env bash
# What a service keeps between syncs: its resident memory after syncs of many shapes and sizes, on SQLite, or on
# PostgreSQL beside the throw-away cluster of with-postgresql.sh:
#
#     bench/connection-memory-trial.sh build/service/quillbay-service 8
#     tests/support/with-postgresql.sh bench/connection-memory-trial.sh build/service/quillbay-service 2
#
# With the workers given (8 by default): 40 uploads of random shapes, each to an account of its own (1 to 48 MB in
# records of 1 KB to 20 MB), then a first sync of each of those accounts, and the memory then and 10 s later; then
# uploads that each look up a new count of an account's records of 5 MB, from 1 to 12; then six first syncs at once,
# each of an account holding one record of 64 MB. Prints the resident memory after each stage. It talks to the
# service on loopback only, and stops by itself.
set -u
service=${1:?the service to run}
workers=${2:-8}
source "$(dirname "$0")/trial-service.sh"
RANDOM=7

mb() { awk '$1 == "VmRSS:" { printf "%d", $2 / 1024 }' "/proc/$pid/status"; }

# A sync's form for the account whose bill table holds the rows that `rows` prints, placed when `placed` is 1.
form() {
    local account=$1 rows=$2 placed=$3 table
    local last="2008-08-08%2008:08:08"
    [ "$placed" = 1 ] && last="2024-05-02%2010:00:00"
    printf 'version=44&username=%s&password=pw&sync_time=%s&client_time=2024-05-02%%2010:00:00&data=[' "$account" "$last"
    for table in bill account borrower category sub_category member; do
        [ "$table" = bill ] || printf ','
        printf '{"table_name":"%s","update_columns":["id","title","version"],"update_data":[' "$table"
        [ "$table" = bill ] && $rows
        printf '],"delete_columns":["id","version"],"delete_data":[]}'
    done
    printf ']'
}

# Rows "r0" on, `count` of them, with titles of `bytes` bytes, stamped `stamp` (10 or 11 o'clock).
rows() {
    local i
    for ((i = 0; i < count; ++i)); do
        [ "$i" -gt 0 ] && printf ','
        printf '["r%d","' "$i"
        head -c "$bytes" /dev/zero | tr '\0' t
        printf '","2024-05-01%%20%s:00:00"]' "$stamp"
    done
}
none() { :; }

post() { curl -s --max-time 600 -o "$work/answer" --data-binary "@$1" "$base/sync/syncpc2.php"; }
stored() { [ "$(head -c 1 "$work/answer")" = "[" ] || echo "not stored: $(head -c 200 "$work/answer")" >&2; }

accounts=(); for i in $(seq 40); do accounts+=("shape$i"); done
accounts+=(counts)
for i in $(seq 6); do accounts+=("large$i"); done
for account in "${accounts[@]}"; do
    echo pw | "$service" "${store[@]}" --add-account "$account" >/dev/null 2>&1
done
startService --workers "$workers"
echo "workers: $workers; at the start: $(mb) MB"

sizes=(1024 102400 1048576 5242880 20971520)
stamp=11
for i in $(seq 40); do
    bytes=${sizes[RANDOM % ${#sizes[@]}]}
    total=$(((1 + RANDOM % 48) * 1048576))
    count=$((total / bytes))
    [ "$count" -ge 1 ] || count=1
    [ "$count" -le 2000 ] || count=2000
    form "shape$i" rows 0 >"$work/form"
    post "$work/form"
    stored
done
echo "after 40 uploads of random shapes: $(mb) MB"
for i in $(seq 40); do
    form "shape$i" none 0 >"$work/form"
    post "$work/form"
done
echo "after 40 first syncs of those accounts: $(mb) MB"
sleep 10
echo "10 s later: $(mb) MB"

count=12 bytes=5242880 stamp=11
form counts rows 0 >"$work/form"
post "$work/form"
stored
bytes=1 stamp=10
for count in $(seq 12); do
    form counts rows 1 >"$work/form"
    post "$work/form"
    stored
done
echo "after uploads that each look up a new count of records of 5 MB, 1 to 12: $(mb) MB"

count=1 bytes=$((64 * 1048576 - 4096)) stamp=11
for i in $(seq 6); do
    form "large$i" rows 0 >"$work/form"
    post "$work/form"
    stored
done
for i in $(seq 6); do
    form "large$i" none 0 >"$work/first$i"
done
for i in $(seq 6); do
    curl -s --max-time 600 -o /dev/null --data-binary "@$work/first$i" "$base/sync/syncpc2.php" &
done
wait $(jobs -p | grep -v "^$pid$")
echo "after six first syncs at once of an account holding one record of 64 MB: $(mb) MB"
sleep 10
echo "10 s later: $(mb) MB"
kill -TERM "$pid"
wait "$pid"
