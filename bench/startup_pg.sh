#!/usr/bin/env bash
# Start-up to the first picture on PostgreSQL, side by side in one run: qvframe on a canton-size
# database and the same qvframe on the demo database (offscreen, each drawn into a PNG file), with
# the WAL each start writes (pg_current_wal_lsn before and after) and the machine's load.
#
#   bench/startup_pg.sh [BUILD_DIR] [ROUNDS]
#
# Without QV_BENCH_PG a private cluster with PostgreSQL's default settings (durable: fsync,
# synchronous_commit and full_page_writes on) is made in a temporary folder, on loopback, and
# removed at the end; QV_BENCH_PG=postgresql://USER@HOST:PORT names a server instead, on which the
# databases qvstart_demo and qvstart_canton are made when missing and reused when present. A first
# start of each, outside the timing, writes the rights rows of the user; the rounds after it are
# starts on a database where nothing changed. Targets: canton <= 2x demo; WAL per start <= 1 MB.
set -euo pipefail
build=${1:-$(cd "$(dirname "$0")/.." && pwd)/build}
rounds=${2:-5}
qvframe=${QVFRAME:-$build/suite/frame/qvframe}
qvdemodb=${QVDEMODB:-$build/suite/database/demo/qvdemodb}
work=$(mktemp -d)
chmod 755 "$work"
export QT_QPA_PLATFORM=offscreen
pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
pgbin=${pgbin:-$(dirname "$(command -v pg_ctl)")}
psql=$pgbin/psql

cleanup() {
  if [ -z "${QV_BENCH_PG:-}" ] && [ -d "$work/pg/data" ]; then
    as_server "$pgbin/pg_ctl" stop -D "$work/pg/data" -m fast -w >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# The server does not run as root: then as nobody.
as_server() {
  if [ "$(id -u)" = 0 ]; then runuser -u nobody -- "$@"; else "$@"; fi
}

if [ -n "${QV_BENCH_PG:-}" ]; then
  base=${QV_BENCH_PG%/}
else
  mkdir -p "$work/pg"
  [ "$(id -u)" = 0 ] && chown nobody "$work/pg"
  as_server "$pgbin/initdb" -D "$work/pg/data" -U qvbench --auth=trust --encoding=UTF8 --locale=C.UTF-8 \
    >"$work/initdb.log"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  as_server "$pgbin/pg_ctl" start -D "$work/pg/data" -w -t 60 -l "$work/pg/server.log" \
    -o "-p $port -k $work/pg -c listen_addresses=127.0.0.1" >/dev/null
  base=postgresql://qvbench@127.0.0.1:$port
fi

# Makes the database when it is missing, with the demo's data (extra arguments: a canton).
prepare() {
  local name=$1
  shift
  if [ "$("$psql" "$base/postgres" -Atc "SELECT count(*) FROM pg_database WHERE datname = '$name'")" = 0 ]; then
    "$psql" "$base/postgres" -qc "CREATE DATABASE $name" >/dev/null
    "$qvdemodb" --db "$base/$name" "$@" >/dev/null
  fi
}
prepare qvstart_demo
prepare qvstart_canton --persons 100000 --registrations 1000000

lsn() { "$psql" "$base/postgres" -Atc "SELECT pg_current_wal_lsn()"; }

# Seconds of one start and the kilobytes of WAL it wrote (the server's whole WAL meanwhile).
measure() {
  local before after
  before=$(lsn)
  /usr/bin/time -f '%e' -o "$work/time" "$qvframe" --db "$1" --screenshot "$work/shot.png" >/dev/null \
    2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  after=$(lsn)
  echo "$(cat "$work/time") $("$psql" "$base/postgres" -Atc \
    "SELECT round(pg_wal_lsn_diff('$after', '$before') / 1024.0, 1)")"
}

# The first start of each writes the user's rights rows.
read -r tc wc < <(measure "$base/qvstart_canton")
read -r td wd < <(measure "$base/qvstart_demo")
printf 'first start: canton %s s, %s kB WAL; demo %s s, %s kB WAL\n' "$tc" "$wc" "$td" "$wd"

printf '%-6s %10s %10s %8s %14s %14s %s\n' round canton_s demo_s ratio canton_wal_kB demo_wal_kB load
for ((r = 1; r <= rounds; ++r)); do
  read -r tc wc < <(measure "$base/qvstart_canton")
  read -r td wd < <(measure "$base/qvstart_demo")
  printf '%-6s %10s %10s %8.2f %14s %14s %s\n' "$r" "$tc" "$td" "$(echo "$tc/$td" | bc -l)" "$wc" "$wd" \
    "$(cut -d' ' -f1-3 /proc/loadavg)"
done
