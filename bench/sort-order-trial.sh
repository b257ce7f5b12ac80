#!/usr/bin/env bash
# Device A uploads bills stamped June, edits and deletions; device B, which never synced, then uploads the same ids
# stamped May, rows where A deleted and deletions where A edited; a new device's first sync then tells what the store
# kept. Run beside the throw-away cluster of with-postgresql.sh, on a database that sorts texts by the ICU locale named
# (en, zh, und) or in the C locale (C):
#
#     tests/support/with-postgresql.sh bench/sort-order-trial.sh build/service/quillbay-service en
#     tests/support/with-postgresql.sh bench/sort-order-trial.sh build/service/quillbay-service en EARLIER_SERVICE
#
# With an earlier build of the service, that one makes the store and takes A's syncs; the service given then brings
# the store to its shape at its start and takes B's and the new device's. Two cases: 120 bills B000 to B059 and a000
# to a059, every one edited; and 3,450 records in 24 uploads of 40, 100, 150 and 285 ids of one of six shapes (case,
# punctuation, accents, digits, Chinese, all of them mixed), one in three deleted. Prints for each case the records
# that end other than A left them (B's older edit over A's, or a deletion of A's brought back or lost), by shape, and
# for the first how many rows B was answered with. It talks to the service on loopback only, and stops by itself.
set -u
service=${1:?the service to run}
order=${2:?en, zh, und or C}
earlier=${3:-$service}
if [ "$order" = C ]; then
    createdbOptions="-T template0 -E UTF8 --locale=C"
else
    createdbOptions="-T template0 -E UTF8 --locale-provider=icu --icu-locale=$order"
fi
[ -n "${PGVERSION:-}" ] || {
    echo "run beside with-postgresql.sh" >&2
    exit 1
}
source "$(dirname "$0")/trial-service.sh"

june="2024-06-01 10:00:00"
may="2024-05-01 10:00:00"

# The `i`th id of a shape, whose order by bytes and by a language's rules differ but for digits.
idOf() {
    local shape=$1 i=$2 n
    n=$(printf '%04d' "$i")
    case $shape in
    case) [ $((i % 2)) = 0 ] && echo "B$n" || echo "a$n" ;;
    punctuation) local marks=("-" "_" "." "+") && echo "${marks[i % 4]}x$n" ;;
    accents) local letters=("e" "é" "f" "E") && echo "${letters[i % 4]}$n" ;;
    digits) local starts=("10" "9" "A") && echo "${starts[i % 3]}-$n" ;;
    chinese) local starts=("中" "文" "a" "Z") && echo "${starts[i % 4]}$n" ;;
    mixed) local middles=("" "-" "_" "é" "中" "Z" "z" "9") && { [ $((i % 2)) = 0 ] && echo "B${middles[i / 2 % 8]}$n" ||
        echo "a${middles[i / 2 % 8]}$n"; } ;;
    esac
}

# A's and B's uploads of the ids in the file, named as given, and A's June state of each in the account's expected
# file ("id<TAB>title or -"): every `deleteEvery`th deleted by A (none for 0).
uploadBoth() {
    local account=$1 name=$2 deleteEvery=$3 aRows="" aDeleted="" bRows="" bDeleted="" i=0 id
    while IFS= read -r id; do
        if [ "$deleteEvery" -gt 0 ] && [ $((i % deleteEvery)) = 0 ]; then
            aDeleted+="${aDeleted:+,}[\"$id\",\"$june\"]"
            bRows+="${bRows:+,}[\"$id\",\"may\",\"$may\"]"
            printf '%s\t-\n' "$id" >>"$work/expected.$account"
        else
            aRows+="${aRows:+,}[\"$id\",\"june\",\"$june\"]"
            if [ "$deleteEvery" -gt 0 ]; then
                bDeleted+="${bDeleted:+,}[\"$id\",\"$may\"]"
            else
                bRows+="${bRows:+,}[\"$id\",\"may\",\"$may\"]"
            fi
            printf '%s\tjune\n' "$id" >>"$work/expected.$account"
        fi
        i=$((i + 1))
    done <"$work/ids.$name"
    upload "$aRows" "$aDeleted" >"$work/a.$name"
    upload "$bRows" "$bDeleted" >"$work/b.$name"
}

# The records a new device's first sync gets, "id<TAB>title or -", sorted.
kept() {
    sync "$1" "$(upload "" "")" | jq -r '.[0] as $bill | ($bill.update_columns | index("id")) as $id |
        ($bill.update_columns | index("title")) as $title |
        ($bill.update_data[] | "\(.[$id])\t\(.[$title])"), ($bill.delete_data[] | "\(.[0])\t-")' | sort
}

# The expected records that the store kept otherwise, of the account, by the shape in their upload's name.
wrong() {
    sort "$work/expected.$1" >"$work/expected.$1.sorted"
    kept "$1" >"$work/kept.$1"
    comm -23 "$work/expected.$1.sorted" "$work/kept.$1" | wc -l
}

for account in simple shapes; do
    echo pw | "$earlier" "${store[@]}" --add-account "$account" >/dev/null 2>&1 || {
        echo "the account $account could not be made" >&2
        exit 1
    }
done

# The simple case's ids, and the shapes' uploads.
: >"$work/ids.simple"
for i in $(seq 0 59); do printf 'B%03d\na%03d\n' "$i" "$i" >>"$work/ids.simple"; done
uploadBoth simple simple 0
uploads=()
offset=0
for shape in case punctuation accents digits chinese mixed; do
    for count in 40 100 150 285; do
        : >"$work/ids.$shape.$count"
        for i in $(seq "$offset" $((offset + count - 1))); do idOf "$shape" "$i" >>"$work/ids.$shape.$count"; done
        offset=$((offset + count))
        uploadBoth shapes "$shape.$count" 3
        uploads+=("$shape.$count")
    done
done

service_given=$service
service=$earlier
startService
sync simple "$(cat "$work/a.simple")" >/dev/null
for u in "${uploads[@]}"; do sync shapes "$(cat "$work/a.$u")" >/dev/null; done
if [ "$earlier" != "$service_given" ]; then
    kill -TERM "$pid"
    wait "$pid"
    service=$service_given
    startService
    grep -h "records" "$work/service.log"
fi
answered=$(sync simple "$(cat "$work/b.simple")" | jq '.[0].update_data | length')
for u in "${uploads[@]}"; do sync shapes "$(cat "$work/b.$u")" >/dev/null; done
echo "120 bills: $(wrong simple) of 120 wrong; B answered with $answered rows"
echo "3,450 records: $(wrong shapes) of $(wc -l <"$work/expected.shapes") wrong"
comm -23 "$work/expected.shapes.sorted" "$work/kept.shapes" | cut -f1 >"$work/wrong.ids"
for shape in case punctuation accents digits chinese mixed; do
    line="  $shape:"
    for count in 40 100 150 285; do
        line+=" $count ids $(grep -cxFf "$work/ids.$shape.$count" "$work/wrong.ids")"
    done
    echo "$line"
done
kill -TERM "$pid"
wait "$pid"
