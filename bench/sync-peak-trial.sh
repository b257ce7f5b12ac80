#!/usr/bin/env bash
# The service's peak resident memory for one sync that uploads one record, and for one first sync that answers with
# it, for records of 10, 50 and 64 MB (or the sizes given in MB after the service), each measured from the resident
# memory before it with the peak set back to it (/proc/PID/clear_refs). On SQLite, or on PostgreSQL beside the
# throw-away cluster of with-postgresql.sh:
#
#     bench/sync-peak-trial.sh build/service/quillbay-service
#     tests/support/with-postgresql.sh bench/sync-peak-trial.sh build/service/quillbay-service
#
# Prints a line for each size: the record, the peak above the memory before for the upload and for the answer, and
# each as a multiple of the record. It talks to the service on loopback only, and stops by itself.
set -u
service=${1:?the service to run}
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10 50 64)
source "$(dirname "$0")/trial-service.sh"

kb() { awk -v field="$1:" '$1 == field { print $2 }' "/proc/$pid/status"; }

# A sync's form with one bill whose title takes that many bytes, or none for 0, and no rows in the other tables.
body() {
    local account=$1 bytes=$2 table
    printf 'version=44&username=%s&password=pw&sync_time=2008-08-08%%2008:08:08&client_time=2024-05-01%%2010:00:00' \
        "$account"
    printf '&data=['
    for table in bill account borrower category sub_category member; do
        [ "$table" = bill ] || printf ','
        printf '{"table_name":"%s","update_columns":["id","title","version"],"update_data":[' "$table"
        if [ "$table" = bill ] && [ "$bytes" -gt 0 ]; then
            printf '["big","'
            head -c "$bytes" /dev/zero | tr '\0' t
            printf '","2024-05-01%%2012:00:00"]'
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

for size in "${sizes[@]}"; do
    echo pw | "$service" "${store[@]}" --add-account "peak$size" >/dev/null 2>&1
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
kill -TERM "$pid"
wait "$pid"
