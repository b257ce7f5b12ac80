#!/usr/bin/env bash
# The time the service takes at its start to make the texts of a store an earlier version made compare as bytes, on a
# PostgreSQL database that sorts texts by the ICU locale named (en by default), with as many records as given
# (1,500,000 by default) over 1,000 accounts, bills of 150 bytes with ids of 36 characters, written through the
# earlier version's triggers. Run beside the throw-away cluster of with-postgresql.sh:
#
#     tests/support/with-postgresql.sh bench/sort-order-upgrade-trial.sh build/service/quillbay-service \
#         EARLIER_SERVICE [RECORDS] [LOCALE]
#
# Prints the service's log of the upgrade and the seconds from its start until it answers. It talks to the service on
# loopback only, and stops by itself.
set -u
service=${1:?the service to run}
earlier=${2:?the earlier build that makes the store}
records=${3:-1500000}
createdbOptions="-T template0 -E UTF8 --locale-provider=icu --icu-locale=${4:-en}"
[ -n "${PGVERSION:-}" ] || {
    echo "run beside with-postgresql.sh" >&2
    exit 1
}
source "$(dirname "$0")/trial-service.sh"

echo pw | "$earlier" "${store[@]}" --add-account owner >/dev/null 2>&1 || {
    echo "the earlier version could not make the store" >&2
    exit 1
}
psql -q -v ON_ERROR_STOP=1 -d "$database" -v records="$records" <<'SQL' || exit 1
insert into accounts (name, user_id, salt, iterations, hash)
select 'account' || n, lpad(n::text, 8, '0') || '00', 'salt', 1, 'hash' from generate_series(1, 1000) as n;
insert into records (user_id, table_name, id, version, deleted, seq, data)
select lpad((n % 1000 + 1)::text, 8, '0') || '00', 'bill', substr(md5(n::text), 1, 8) || '-' || substr(md5(n::text), 9, 4) ||
       '-' || substr(md5(n::text), 13, 4) || '-' || substr(md5(n::text), 17, 4) || '-' || substr(md5(n::text), 21, 12),
       '2024-05-01 10:00:00', 0, 1, '{"title":"' || repeat('t', 100) || '","amount":"12.50","remark":"note"}'
from generate_series(1, :records) as n;
vacuum analyze records;
SQL
echo "$records records, $(psql -Atq -d "$database" -c "select pg_size_pretty(pg_total_relation_size('records'))") \
with their indexes of $(psql -Atq -d "$database" -c "select pg_size_pretty(pg_indexes_size('records'))")"
started=$(date +%s%3N)
startService
# The start answers nothing until the upgrade is done, which may take longer than startService waits.
until curl -s -o /dev/null "$base/"; do sleep 0.1; done
echo "answering after $(awk -v ms=$(($(date +%s%3N) - started)) 'BEGIN { printf "%.1f", ms / 1000 }') s"
grep -h "records\|waiting" "$work/service.log"
kill -TERM "$pid"
wait "$pid"
