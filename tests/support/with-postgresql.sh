#!/usr/bin/env bash
# Runs a command beside a throw-away PostgreSQL cluster made by pg_virtualenv, which hands the cluster to the command
# in the PG* variables and drops it afterwards. Exits with the command's status.
set -u
marks=$(mktemp -d)
trap 'rm -rf "$marks"' EXIT
status=1
for attempt in 1 2 3 4 5; do
    # pg_virtualenv takes 5432 unless told otherwise, which a second cluster on this machine may hold already.
    for _ in $(seq 50); do
        port=$((20000 + RANDOM % 20000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && [ ! -e "/var/run/postgresql/.s.PGSQL.$port.lock" ]; then
            break
        fi
    done
    # -t keeps the cluster in a temporary folder even as root, so runs side by side do not share one. The cluster is
    # made in a locale every machine has (UTF-8, for the Chinese texts it stores); the command gets the caller's. The
    # command leaves a mark when it starts, which tells its own failure from the cluster's.
    started="$marks/$attempt"
    PGPORT=$port LANG=C.UTF-8 LC_ALL= pg_virtualenv -t env LANG="${LANG:-C.UTF-8}" LC_ALL="${LC_ALL:-}" \
        sh -c 'touch "$0" && exec "$@"' "$started" "$@"
    status=$?
    if [ -e "$started" ]; then
        exit $status
    fi
    # Most likely another process took the port between the look and the cluster's start.
    echo "with-postgresql.sh: no cluster on port $port (attempt $attempt); trying another port" >&2
done
exit $status
