#!/usr/bin/env bash
# Runs every test binary of a build tree directly, the way a person starts
# one: outside ctest, with none of the test environment's variables set, as
# one process without a filter, two at a time. Each binary must pass on its
# own; a failure here that ctest does not show is a case depending on state
# an earlier case left behind, or a binary that needs ctest's environment.
#   tests/run_each_binary.sh [build tree]     (default: build/asan)
# Logs go to <tree>/run_each_binary/<binary>.log; the last line reads
# "N passed, N failed".
set -u
tree=${1:-build/asan}
if [ ! -d "$tree/tests" ]; then
  echo "no test binaries under $tree/tests" >&2
  exit 2
fi
tree=$(cd "$tree" && pwd)
logs=$tree/run_each_binary
rm -rf "$logs"
mkdir -p "$logs"

run_one() {
  local bin=$1 logs=$2 name
  name=$(basename "$bin")
  # ctest runs each binary in its own build folder; so does this.
  if (cd "$(dirname "$bin")" &&
      env -u ODBCSYSINI -u ODBCINSTINI -u QT_QPA_PLATFORM -u MARLIN_PROGRAM_DIR -u MARLIN_SOURCE_DIR \
          -u ASAN_OPTIONS -u LSAN_OPTIONS -u UBSAN_OPTIONS \
          timeout 1800 "$bin") > "$logs/$name.log" 2>&1; then
    echo "pass $name"
  else
    echo "FAIL $name (see $logs/$name.log)"
  fi
}
export -f run_one

find "$tree/tests" -type f -name 'tests_*' -perm -u+x | sort |
  xargs -P 2 -I{} bash -c 'run_one "$1" "$2"' _ {} "$logs" | tee "$logs/summary.txt"
passed=$(grep -c '^pass ' "$logs/summary.txt")
failed=$(grep -c '^FAIL ' "$logs/summary.txt")
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
