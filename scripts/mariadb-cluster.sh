# Throwaway MariaDB server for the database tests, sourced by scripts/test (or by hand:
# `source scripts/mariadb-cluster.sh; mariadb_cluster_start`).
#
# mariadb_cluster_start creates a data directory under /tmp, starts mariadbd on
# 127.0.0.1 at a free port with a socket in that directory (no system service, no
# configuration file read), and exports what the tests need:
#   DODOZ_MARIADB_HOST    127.0.0.1
#   DODOZ_MARIADB_PORT    the port
#   DODOZ_MARIADB_SOCKET  the server's socket
#   DODOZ_MARIADB_USER    root, without password
#   DODOZ_MARIADB_DIR     the directory (data, socket, error log, pid file)
# `mariadb_cluster_start --durable` makes a server that has written every commit it
# acknowledged to its log (the default one may lose the last second of commits when it
# dies, which no test of the shared server notices); mariadb_cluster_launch starts the
# server of DODOZ_MARIADB_DIR again on its port after it died.
# mariadb_cluster_stop stops it and removes the directory; it is safe to call more than
# once and when the start failed half way.

_mariadb_cluster_port_free() {
    ! ss -Htln "sport = :$1" 2>/dev/null | grep -q .
}

# Starts mariadbd on the data of directory $1 at port $2 and waits until it answers;
# the options are kept in $1/options for a launch after the server died.
mariadb_cluster_launch() {
    local dir=${1:-$DODOZ_MARIADB_DIR} port=${2:-$DODOZ_MARIADB_PORT} flush i server
    flush=$(cat "$dir/flush" 2>/dev/null || echo 0)
    setsid /usr/sbin/mariadbd --no-defaults --datadir="$dir/data" --socket="$dir/sock" \
        --bind-address=127.0.0.1 --port="$port" --user="$(id -un)" \
        --pid-file="$dir/pid" --log-error="$dir/err.log" --tmpdir="$dir/tmp" \
        --innodb-buffer-pool-size=32M --innodb-flush-log-at-trx-commit="$flush" \
        --skip-log-bin --max-connections=300 --character-set-server=utf8mb4 \
        --collation-server=utf8mb4_bin >/dev/null 2>&1 </dev/null &
    server=$!
    for i in $(seq 1 300); do
        if mariadb --no-defaults -S "$dir/sock" -uroot -e 'SELECT 1' >/dev/null 2>&1; then
            return 0
        fi
        # A server that ended (the port was taken) is tried again on another port.
        kill -0 "$server" 2>/dev/null || return 1
        sleep 0.1
    done
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    return 1
}

mariadb_cluster_start() {
    local dir port attempt
    if ! command -v mariadb-install-db >/dev/null 2>&1 || [ ! -x /usr/sbin/mariadbd ]; then
        echo "mariadb-cluster: no MariaDB server found (install mariadb-server)" >&2
        return 1
    fi
    dir=$(mktemp -d /tmp/dodoz-mariadb.XXXXXX) || return 1
    DODOZ_MARIADB_DIR=$dir
    if [ "${1:-}" = --durable ]; then echo 1 >"$dir/flush"; else echo 0 >"$dir/flush"; fi
    # Temporary tables in a folder of the server's own: servers set up at the same time
    # in the shared /tmp clash on the names of theirs.
    mkdir "$dir/tmp"
    if ! mariadb-install-db --no-defaults --datadir="$dir/data" --user="$(id -un)" \
            --auth-root-authentication-method=normal --skip-test-db --tmpdir="$dir/tmp" \
            >"$dir/install.log" 2>&1; then
        echo "mariadb-cluster: mariadb-install-db failed:" >&2
        cat "$dir/install.log" >&2
        mariadb_cluster_stop
        return 1
    fi

    # Another process may take the port between the test and the start, so a failed
    # start is retried on another one.
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        port=$((20000 + RANDOM % 40000))
        _mariadb_cluster_port_free "$port" || continue
        if mariadb_cluster_launch "$dir" "$port"; then
            export DODOZ_MARIADB_HOST=127.0.0.1
            export DODOZ_MARIADB_PORT=$port
            export DODOZ_MARIADB_SOCKET=$dir/sock
            export DODOZ_MARIADB_USER=root
            export DODOZ_MARIADB_DIR=$dir
            echo "mariadb-cluster: MariaDB running on $DODOZ_MARIADB_HOST:$DODOZ_MARIADB_PORT (user $DODOZ_MARIADB_USER)"
            return 0
        fi
    done
    echo "mariadb-cluster: the server did not start:" >&2
    cat "$dir/err.log" >&2 2>/dev/null
    mariadb_cluster_stop
    return 1
}

mariadb_cluster_stop() {
    local dir=${DODOZ_MARIADB_DIR:-} pid i
    [ -n "$dir" ] || return 0
    if [ -f "$dir/pid" ]; then
        pid=$(cat "$dir/pid")
        kill "$pid" 2>/dev/null || true
        for i in $(seq 1 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null || true
    fi
    case "$dir" in
        /tmp/dodoz-mariadb.*) rm -rf "$dir" ;;
    esac
    unset DODOZ_MARIADB_HOST DODOZ_MARIADB_PORT DODOZ_MARIADB_SOCKET DODOZ_MARIADB_USER DODOZ_MARIADB_DIR
    return 0
}
