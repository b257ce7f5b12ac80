#!/usr/bin/env bash
# The service's peak resident memory for one sync that uploads one record, and for one first sync that answers with
# it, for records of 10, 50 and 64 MB (or the sizes given in MB after the service), each measured from the resident
# memory before it with the peak set back to it (/proc/PID/clear_refs); and for a small sync that names large stored
# records, ten of 6 MB, sending each with a value of 10 bytes and a newer stamp from a device whose last sync the
# store can place. On SQLite, or on PostgreSQL beside the throw-away cluster of with-postgresql.sh:
#
#     bench/sync-peak-trial.sh build/service/quillbay-service
#     tests/support/with-postgresql.sh bench/sync-peak-trial.sh build/service/quillbay-service
#
# Prints a line for each size: the record, the peak above the memory before for the upload and for the answer, and
# each as a multiple of the record; and one for the small sync, its body and its peak. It talks to the service on
# loopback only, and stops by itself.
set -u
service=${1:?the service to run}
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 50 64)
source "$(dirname "$0")/trial-service.sh"

kb() { awk -v field="$1:" '$1 == field { print $2 }' "/proc/$pid/status"; }

# A sync's form with bills whose titles take that many bytes, or none for 0, and no rows in the other tables: one
# bill "big", or that many bills "big0" on, stamped at the hour given (12 by default), from a device whose last sync
# began at the time given (none the store can place by default) and that sends it at 10:00.
body() {
    local account=$1 bytes=$2 bills=${3:-} hour=${4:-12} last=${5:-2008-08-08%2008:08:08} table bill ids=("")
    [ -z "$bills" ] || read -ra ids <<<"$(seq -s ' ' 0 $((bills - 1)))"
    printf 'version=44&username=%s&password=pw&sync_time=%s&client_time=2024-05-01%%20%s:00:00' \
        "$account" "$last" "$hour"
    printf '&data=['
    for table in bill account borrower category sub_category member; do
        [ "$table" = bill ] || printf ','
        printf '{"table_name":"%s","update_columns":["id","title","version"],"update_data":[' "$table"
        if [ "$table" = bill ] && [ "$bytes" -gt 0 ]; then
            for bill in "${ids[@]}"; do
                [ "$bill" = "${ids[0]}" ] || printf ','
                printf '["big%s","' "$bill"
                head -c "$bytes" /dev/zero | tr '\0' t
                printf '","2024-05-01%%20%s:00:00"]' "$hour"
            done
        fi
        printf '],"delete_columns":["id","version"],"delete_data":[]}'
    done
    printf ']'
}

# The peak above the resident memory before, in MB, while the body in the file is posted and its answer read.
peakOf() {
    local before
    before=$(kb VmRSS)
    echo 5 >"/proc/$pid/clear_refs"
    curl -s --max-time 600 -o "$work/answer" --data-binary "@$1" "$base/sync/syncpc2.php"
    echo $((($(kb VmHWM) - before) / 1024))
}

for account in "${sizes[@]/#/peak}" named; do
    echo pw | "$service" "${store[@]}" --add-account "$account" >/dev/null 2>&1
done

startService
for size in "${sizes[@]}"; do
    # The largest record a body of 64 MB holds beside the rest of its form.
    bytes=$((size * 1048576))
    [ "$size" -ge 64 ] && bytes=$((64 * 1048576 - 4096))
    body "peak$size" "$bytes" >"$work/upload"
    body "peak$size" 0 >"$work/first"
    upload=$(peakOf "$work/upload")
    [ "$(head -c 1 "$work/answer")" = "[" ] || echo "the upload of $size MB was not stored: $(head -c 200 "$work/answer")"
    answer=$(peakOf "$work/first")
    [ "$(wc -c <"$work/answer")" -gt "$bytes" ] || echo "the answer of $size MB was not whole: $(head -c 200 "$work/answer")"
    echo "$size MB: upload +$upload MB ($(awk -v p="$upload" -v s="$size" 'BEGIN { printf "%.1f", p / s }') times)," \
        "answer +$answer MB ($(awk -v p="$answer" -v s="$size" 'BEGIN { printf "%.1f", p / s }') times)"
done

# Ten records of 6 MB stored at 10:00, then named by a sync the store places after that one, with values of 10 bytes
# at 11:00, which win.
body named 6291456 10 10 >"$work/upload"
curl -s --max-time 600 -o "$work/answer" --data-binary "@$work/upload" "$base/sync/syncpc2.php"
[ "$(head -c 1 "$work/answer")" = "[" ] || echo "the records of 6 MB were not stored: $(head -c 200 "$work/answer")"
body named 10 10 11 2024-05-01%2010:00:00 >"$work/named"
named=$(peakOf "$work/named")
[ "$(head -c 1 "$work/answer")" = "[" ] || echo "the sync naming them was not stored: $(head -c 200 "$work/answer")"
echo "10 stored records of 6 MB named by a sync of $(wc -c <"$work/named") bytes: +$named MB"
kill -TERM "$pid"
wait "$pid"
