#!/usr/bin/env bash
# Start-up to the first picture, side by side in one run: qvframe on a canton-size database, the
# same qvframe on the demo database, and a bare Qt window (all offscreen, each drawn into a PNG
# file), with the peak memory of each. The databases are copied (the frame writes its rights rows)
# and synced before any timing.
#
#   bench/startup.sh CANTON_DB [BUILD_DIR] [ROUNDS]
#
# CANTON_DB: a file from `qvdemodb --db PATH --persons 100000 --registrations 1000000` (read, never
# written). BUILD_DIR defaults to build/; QVFRAME=path runs another qvframe (e.g. a build of older
# code for a before/after table). Targets: canton <= 1 s and <= 2x demo; peak <= 70 MB.
set -euo pipefail
canton=${1:?usage: bench/startup.sh CANTON_DB [BUILD_DIR] [ROUNDS]}
build=${2:-$(cd "$(dirname "$0")/.." && pwd)/build}
rounds=${3:-3}
qvframe=${QVFRAME:-$build/suite/frame/qvframe}
qvdemodb=${QVDEMODB:-$build/suite/database/demo/qvdemodb}
bare=$build/bench/bench_bare_window
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen

"$qvdemodb" --db "$work/demo.sqlite" >/dev/null
cp "$canton" "$work/canton.sqlite"
for f in "$canton"-wal "$canton"-shm; do [ -e "$f" ] && cp "$f" "$work/canton.sqlite${f#"$canton"}"; done
# A first start of each outside the timing: the rights rows of a new user are written once.
"$qvframe" --db "$work/canton.sqlite" --screenshot "$work/warm.png" >/dev/null
"$qvframe" --db "$work/demo.sqlite" --screenshot "$work/warm.png" >/dev/null
sync

# Seconds and peak kilobytes of one start.
measure() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>"$work/err" || { cat "$work/err" >&2; exit 1; }
  cat "$work/time"
}

printf '%-6s %12s %12s %12s %12s %12s\n' round canton_s demo_s bare_s canton_MB demo_MB
for ((r = 1; r <= rounds; ++r)); do
  read -r tc mc < <(measure "$qvframe" --db "$work/canton.sqlite" --screenshot "$work/canton.png")
  read -r td md < <(measure "$qvframe" --db "$work/demo.sqlite" --screenshot "$work/demo.png")
  read -r tb mb < <(measure "$bare" "$work/bare.png")
  printf '%-6s %12s %12s %12s %12.1f %12.1f\n' "$r" "$tc" "$td" "$tb" "$(echo "$mc/1024" | bc -l)" \
    "$(echo "$md/1024" | bc -l)"
done
