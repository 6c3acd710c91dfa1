#!/usr/bin/env bash
# Builds the program (Release) with its installation data and the demo
# station database, and starts it; with no display it runs under a virtual
# X server (xvfb-run). The program ends when its main window is closed.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/setup.sh"
build=${MARLIN_RUN_BUILD:-$top/build/release}
jobs=${MARLIN_JOBS:-$(nproc)}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$jobs" --target marlinqc
exe="$build/program/marlinqc"
# The station-database driver is found through the program folder's own
# odbcinst.ini; nothing is written to /etc.
export ODBCSYSINI="$build/program" ODBCINSTINI=odbcinst.ini
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display; starting under xvfb-run"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" "$@"
fi
exec "$exe" "$@"
