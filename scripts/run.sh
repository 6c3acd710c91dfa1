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
# The program runs from a copy of the staged program folder, build/.../run/:
# what a session keeps there (settings, work tables, the demo database's
# edits) stays from one start to the next and never reaches the staged folder
# that the tests read. Files the build added since are copied in, and the
# program, its driver and driver entry, images and step pages are always the
# build's; the operator's own files are left as they are.
run="$build/run"
mkdir -p "$run"
cp -an "$build/program/." "$run/"
cp -f "$build/program/marlinqc" "$build/program/libmarlinaccessodbc.so" "$build/program/odbcinst.ini" "$run/"
for d in Imgs doc; do
  if [[ -d "$build/program/$d" ]]; then cp -rf "$build/program/$d/." "$run/$d/"; fi
done
exe="$run/marlinqc"
# The program finds the station-database driver through its own folder's
# odbcinst.ini; nothing is written to /etc.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run: no display; starting under xvfb-run"
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" "$@"
fi
exec "$exe" "$@"
