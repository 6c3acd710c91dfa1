#!/bin/sh
# A throw-away PostgreSQL server for the generic ODBC driver's tests.
#
#   pg_server.sh start <state file> <folder>
#   pg_server.sh stop  <state file>
#
# start: a fresh cluster in <folder>/data (initdb, trust authentication, the
# superuser "marlin"), started on a free port of 127.0.0.1 with its Unix
# socket in <folder>; the state file then holds PGPORT, PGHOST, PGUSER and
# what stop needs. stop: stops that server and removes its cluster.
#
# Run as root (as CI does) the server runs as the "postgres" user, since
# PostgreSQL refuses to run as root; when that user cannot reach <folder>, or
# the socket path would be too long for a Unix socket, the cluster goes to a
# private folder under /tmp instead.
#
# Nothing may outlive the test run: a watchdog stops the server after
# WATCHDOG seconds unless stop has ended the watchdog first, and every start
# first stops a server that a broken earlier run left behind.
set -u

WATCHDOG=${MARLIN_PG_WATCHDOG:-1800}

fail() {
    echo "PostgreSQL test server: $*" >&2
    exit 1
}

bindir() {
    for d in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
        if [ -x "$d/initdb" ] && [ -x "$d/pg_ctl" ]; then
            echo "$d"
            return 0
        fi
    done
    return 1
}

# as_server <command...>: runs a command as the user the server runs as.
as_server() {
    if [ "$(id -u)" = 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

stop_server() {
    STATE=$1
    [ -f "$STATE" ] || return 0
    # shellcheck disable=SC1090
    . "$STATE"
    if [ -n "${MARLIN_PG_WATCHDOG_PID:-}" ]; then
        kill -- "-$MARLIN_PG_WATCHDOG_PID" 2>/dev/null || kill "$MARLIN_PG_WATCHDOG_PID" 2>/dev/null
    fi
    if [ -n "${MARLIN_PG_DATA:-}" ] && [ -f "$MARLIN_PG_DATA/postmaster.pid" ]; then
        as_server "$MARLIN_PG_BIN/pg_ctl" -D "$MARLIN_PG_DATA" -m immediate -w -t 20 stop >/dev/null 2>&1
    fi
    if [ -n "${MARLIN_PG_ROOT:-}" ] && [ -d "$MARLIN_PG_ROOT" ]; then
        rm -rf "$MARLIN_PG_ROOT"
    fi
    rm -f "$STATE"
}

start_server() {
    STATE=$1
    FOLDER=$2
    stop_server "$STATE"

    BIN=$(bindir) || fail "initdb and pg_ctl not found under /usr/lib/postgresql (install the postgresql package)"
    if [ "$(id -u)" = 0 ]; then
        id postgres >/dev/null 2>&1 || fail "running as root, but there is no postgres user to run the server as"
    fi

    mkdir -p "$FOLDER" || fail "cannot create $FOLDER"
    ROOT=$(cd "$FOLDER" && pwd)/cluster
    # A Unix socket path holds at most 107 bytes: the folder, "/" and ".s.PGSQL.NNNNN".
    if [ ${#ROOT} -gt 80 ] || { [ "$(id -u)" = 0 ] && ! runuser -u postgres -- test -x "$FOLDER"; }; then
        ROOT=$(mktemp -d /tmp/marlin-pg.XXXXXX) || fail "cannot create a folder under /tmp"
    fi
    rm -rf "$ROOT"
    mkdir -p "$ROOT" || fail "cannot create $ROOT"
    [ "$(id -u)" = 0 ] && chown postgres: "$ROOT"
    chmod 700 "$ROOT"
    DATA=$ROOT/data

    # Written before the server starts, so that stop finds whatever exists.
    {
        echo "MARLIN_PG_BIN='$BIN'"
        echo "MARLIN_PG_ROOT='$ROOT'"
        echo "MARLIN_PG_DATA='$DATA'"
    } >"$STATE"

    if ! as_server "$BIN/initdb" -D "$DATA" -U marlin -A trust -E UTF8 --no-locale -N >"$ROOT/initdb.log" 2>&1; then
        tail -n 20 "$ROOT/initdb.log" >&2
        fail "initdb failed"
    fi

    # A free port: try a few random ones; the server itself tells whether
    # the port was taken.
    tries=0
    while :; do
        tries=$((tries + 1))
        PORT=$(( ( $(od -An -N2 -tu2 /dev/urandom | tr -d ' ') % 30000 ) + 20000 ))
        if as_server "$BIN/pg_ctl" -D "$DATA" -l "$ROOT/server.log" -w -t 30 \
            -o "-c listen_addresses=127.0.0.1 -p $PORT -k $ROOT -c fsync=off -c full_page_writes=off -c synchronous_commit=off -c shared_buffers=16MB -c max_connections=40" \
            start >/dev/null 2>&1; then
            break
        fi
        if [ $tries -ge 5 ]; then
            tail -n 20 "$ROOT/server.log" >&2
            stop_server "$STATE"
            fail "the server did not start (see the log above)"
        fi
    done

    # The watchdog runs in a session of its own, so that stop can end it and
    # its sleep together.
    setsid sh -c "sleep $WATCHDOG; sh '$0' stop '$STATE'" </dev/null >/dev/null 2>&1 &
    WPID=$!

    {
        echo "MARLIN_PG_BIN='$BIN'"
        echo "MARLIN_PG_ROOT='$ROOT'"
        echo "MARLIN_PG_DATA='$DATA'"
        echo "MARLIN_PG_WATCHDOG_PID=$WPID"
        echo "PGHOST=127.0.0.1"
        echo "PGPORT=$PORT"
        echo "PGUSER=marlin"
        echo "PGDATABASE=postgres"
        echo "PGSOCKETDIR=$ROOT"
    } >"$STATE"
    echo "PostgreSQL test server on 127.0.0.1:$PORT (cluster $DATA)"
}

case "${1:-}" in
start) [ $# -eq 3 ] || fail "usage: $0 start <state file> <folder>"; start_server "$2" "$3" ;;
stop) [ $# -eq 2 ] || fail "usage: $0 stop <state file>"; stop_server "$2" ;;
*) fail "usage: $0 start <state file> <folder> | stop <state file>" ;;
esac
