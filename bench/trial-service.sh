# What the bench's trials of the service share, sourced by each: a folder of the trial's own, removed at its end, and
# the store's options in `store`, an SQLite store in that folder or, beside the throw-away cluster of
# with-postgresql.sh, a PostgreSQL database made for the trial and dropped at its end; the service's address on a
# loopback port in `base`, and startService, which starts the service there with the options given and waits until it
# answers, its process in `pid` and its log in the folder's service.log; and a device's upload and sync.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
store=(--data "$work/data")
if [ -n "${PGVERSION:-}" ]; then
    database=trial_$$
    createdb "$database" || exit 1
    trap 'rm -rf "$work"; dropdb --if-exists "$database" >/dev/null 2>&1' EXIT
    store+=(--database "postgresql://${PGUSER}@${PGHOST}:${PGPORT}/$database")
fi
port=$((40000 + RANDOM % 20000))
base="http://127.0.0.1:$port"

startService() {
    "$service" "${store[@]}" --port "$port" "$@" 2>"$work/service.log" &
    pid=$!
    for _ in $(seq 100); do
        curl -s -o /dev/null "$base/" && break
        sleep 0.1
    done
}

# An upload of the bills named, in the columns the program sends, with no rows in the other tables.
upload() {
    local rows=$1 entries="" table
    for table in bill account borrower category sub_category member; do
        local data=""
        [ "$table" = bill ] && data=$rows
        entries+="${entries:+,}{\"table_name\":\"$table\",\"update_columns\":[\"id\",\"title\",\"version\"],"
        entries+="\"update_data\":[$data],\"delete_columns\":[\"id\",\"version\"],\"delete_data\":[]}"
    done
    echo "[$entries]"
}

# Posts one sync of the account named, with the upload given: its answer.
sync() {
    curl -s --max-time 60 "$base/sync/syncpc2.php" --data-urlencode "version=44" --data-urlencode "username=$1" \
        --data-urlencode "password=pw" --data-urlencode "sync_time=2008-08-08 08:08:08" \
        --data-urlencode "client_time=2024-05-01 10:00:00" --data-urlencode "data@-" <<<"$2"
}
