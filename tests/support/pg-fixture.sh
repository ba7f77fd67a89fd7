#!/bin/sh
# A private PostgreSQL 15 server for the ODBC tests and the benchmark.
#
#   pg-fixture.sh start STATEFILE   start a server, write its connection facts
#   pg-fixture.sh stop  STATEFILE   stop that server by its pid, remove it all
#
# The server lives in its own mktemp folder under /tmp (a build folder may not
# be reachable by the postgres user), listens on a unix socket in that folder
# only, and runs as postgres when started by root, since PostgreSQL refuses to
# run as root. STATEFILE gets shell-style lines: PG_DIR, PG_SOCKET_DIR,
# PG_PORT, PG_DATABASE, PG_USER.
set -eu

action=${1:?usage: pg-fixture.sh start|stop STATEFILE}
state=${2:?usage: pg-fixture.sh start|stop STATEFILE}
pgbin=${PG_BIN:-/usr/lib/postgresql/15/bin}
port=${PG_PORT:-55433}
database=hostutil_test

if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  as_owner() { runuser -u postgres -- "$@"; }
else
  owner=$(id -un)
  as_owner() { "$@"; }
fi

stop_server() {
  dir=$1
  pidfile=$dir/data/postmaster.pid
  if [ -f "$pidfile" ]; then
    pid=$(head -n 1 "$pidfile")
    # SIGINT is the fast shutdown: running sessions are ended.
    if kill -INT "$pid" 2>/dev/null; then
      i=0
      while kill -0 "$pid" 2>/dev/null && [ $i -lt 300 ]; do
        sleep 0.1; i=$((i + 1))
      done
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -rf "$dir"
}

case $action in
start)
  dir=$(mktemp -d /tmp/hostutil-pg.XXXXXX)
  chmod 700 "$dir"
  [ "$owner" = postgres ] && chown postgres:postgres "$dir"
  if ! as_owner "$pgbin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 \
        --no-sync >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1
  fi
  if ! as_owner "$pgbin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-c listen_addresses='' -c unix_socket_directories='$dir' -c port=$port -c fsync=off -c full_page_writes=off -c synchronous_commit=off" \
        start >/dev/null; then
    cat "$dir/server.log" >&2; stop_server "$dir"; exit 1
  fi
  if ! as_owner "$pgbin/createdb" -h "$dir" -p "$port" -U postgres "$database"; then
    stop_server "$dir"; exit 1
  fi
  cat >"$state" <<FACTS
PG_DIR=$dir
PG_SOCKET_DIR=$dir
PG_PORT=$port
PG_DATABASE=$database
PG_USER=postgres
FACTS
  ;;
stop)
  [ -f "$state" ] || exit 0
  dir=$(sed -n 's/^PG_DIR=//p' "$state")
  case $dir in
    /tmp/hostutil-pg.*) stop_server "$dir" ;;
  esac
  rm -f "$state"
  ;;
*)
  echo "usage: pg-fixture.sh start|stop STATEFILE" >&2; exit 2 ;;
esac
