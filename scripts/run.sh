#!/usr/bin/env bash
# Builds the program (Release) and starts it on the demo station database.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/setup.sh"
build=${MARLIN_RUN_BUILD:-$top/build/release}
jobs=${MARLIN_JOBS:-$(nproc)}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs"
exe="$build/program/marlinqc"
if [[ ! -x "$exe" ]]; then
  echo "run: everything that exists is built, but the program itself is not written yet; nothing to start."
  exit 0
fi
export ODBCSYSINI="$build/program" ODBCINSTINI=odbcinst.ini
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display; starting under xvfb-run"
  exec xvfb-run -a "$exe" "$@"
fi
exec "$exe" "$@"
