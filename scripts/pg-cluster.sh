#!/usr/bin/env bash
# Throwaway PostgreSQL cluster for the database tests and the demo. Sourced (as
# scripts/test and scripts/demo do, or by hand):
#   source scripts/pg-cluster.sh; pg_cluster_start; ...; pg_cluster_stop
# Run as a command:
#   eval "$(scripts/pg-cluster.sh start)"   starts one and sets the variables below
#   scripts/pg-cluster.sh stop              stops the one DODOZ_PG_DIR names
#   scripts/pg-cluster.sh --help            this text
#
# pg_cluster_start creates a cluster in a fresh directory under /tmp, starts it on
# 127.0.0.1 at a free port with fsync off, and exports what the tests need:
#   DODOZ_PG_HOST  127.0.0.1
#   DODOZ_PG_PORT  the port
#   DODOZ_PG_USER  a superuser without password (trust authentication)
#   DODOZ_PG_BIN   the server's bin directory (initdb, pg_ctl, createdb, psql)
#   DODOZ_PG_DIR   the cluster's directory (data, socket, server log)
# pg_cluster_stop stops it (immediate shutdown) and removes the directory; it is safe to
# call more than once and when the start failed half way.

_pg_cluster_bin() {
    local dir
    dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    if [ -z "$dir" ] || [ ! -x "$dir/initdb" ]; then
        echo "pg-cluster: no PostgreSQL server found under /usr/lib/postgresql" >&2
        return 1
    fi
    echo "$dir"
}

# initdb and the server refuse to run as root.
_pg_cluster_as_owner() {
    if [ "$(id -u)" = 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

_pg_cluster_port_free() {
    ! ss -Htln "sport = :$1" 2>/dev/null | grep -q .
}

pg_cluster_start() {
    local bin dir port attempt
    bin=$(_pg_cluster_bin) || return 1
    dir=$(mktemp -d /tmp/dodoz-pg.XXXXXX) || return 1
    DODOZ_PG_DIR=$dir
    chmod 755 "$dir"
    if [ "$(id -u)" = 0 ]; then
        chown postgres: "$dir"
    fi

    if ! _pg_cluster_as_owner "$bin/initdb" -D "$dir/data" -U dodoz -A trust -E UTF8 \
            --locale=C --no-sync >"$dir/initdb.log" 2>&1; then
        echo "pg-cluster: initdb failed:" >&2
        cat "$dir/initdb.log" >&2
        pg_cluster_stop
        return 1
    fi

    # Another process may take the port between the test and the start, so a failed
    # start is retried on another one.
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        port=$((20000 + RANDOM % 40000))
        _pg_cluster_port_free "$port" || continue
        if _pg_cluster_as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
                -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off -c full_page_writes=off -c synchronous_commit=off -c max_connections=200" \
                start >/dev/null 2>&1; then
            export DODOZ_PG_HOST=127.0.0.1
            export DODOZ_PG_PORT=$port
            export DODOZ_PG_USER=dodoz
            export DODOZ_PG_BIN=$bin
            export DODOZ_PG_DIR=$dir
            echo "pg-cluster: PostgreSQL running on $DODOZ_PG_HOST:$DODOZ_PG_PORT (user $DODOZ_PG_USER)"
            return 0
        fi
    done
    echo "pg-cluster: the server did not start:" >&2
    cat "$dir/server.log" >&2 2>/dev/null
    pg_cluster_stop
    return 1
}

pg_cluster_stop() {
    local dir=${DODOZ_PG_DIR:-}
    [ -n "$dir" ] || return 0
    if [ -f "$dir/data/postmaster.pid" ]; then
        local bin
        bin=$(_pg_cluster_bin) &&
            _pg_cluster_as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1
    fi
    case "$dir" in
        /tmp/dodoz-pg.*) rm -rf "$dir" ;;
    esac
    unset DODOZ_PG_HOST DODOZ_PG_PORT DODOZ_PG_USER DODOZ_PG_BIN DODOZ_PG_DIR
    return 0
}

# Run as a command rather than sourced.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    case "${1:-}" in
        -h|--help)
            sed -n '2,/^$/p' "$0" | sed 's/^# \{0,1\}//'
            exit 0 ;;
        start)
            pg_cluster_start >&2 || exit 1
            for name in DODOZ_PG_HOST DODOZ_PG_PORT DODOZ_PG_USER DODOZ_PG_BIN DODOZ_PG_DIR; do
                echo "export $name=${!name}"
            done
            echo "pg-cluster: stop it with: scripts/pg-cluster.sh stop" >&2 ;;
        stop)
            [ -n "${DODOZ_PG_DIR:-}" ] || { echo "pg-cluster: DODOZ_PG_DIR is not set: no server to stop" >&2; exit 1; }
            pg_cluster_stop ;;
        *)
            echo "pg-cluster: give start, stop or --help" >&2
            exit 2 ;;
    esac
fi
