#!/usr/bin/env bash
# Builds and runs every test in two trees: the sanitizer tree (AddressSanitizer
# and UndefinedBehaviorSanitizer, build/asan) and the Release tree that
# scripts/run.sh builds and users run (build/release). A fault that only shows
# with optimisation (a freed address reused, a check compiled out) fails here
# as surely as one the sanitizers catch. Benchmarks are built (in the Release
# tree only), not run.
#
#   MARLIN_JOBS=N         parallel compile and test jobs (default: all cores)
#   MARLIN_TEST_TREES=... the trees to run, "asan release" by default
#   MARLIN_TEST_BUILD     the sanitizer tree's folder (default build/asan)
#   MARLIN_RUN_BUILD      the Release tree's folder (default build/release)
#   MARLIN_RELEASE_LOCALE the locale the Release tree's tests run in
#                         (default tr_TR.UTF-8: a decimal comma, and a case
#                         mapping without i/I; "C" for none)
#   MARLIN_ASAN_LOCALE    the locale the sanitizer tree's tests run in
#                         (default C.UTF-8: "." and plain case, the other
#                         end from the Release tree's, whatever locale the
#                         machine running the tests has)
# Further arguments go to ctest in both trees (e.g. -L dats).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/setup.sh"
jobs=${MARLIN_JOBS:-$(nproc)}
trees=${MARLIN_TEST_TREES:-asan release}

# Whether the C library has the locale: its name as locale -a lists it (the
# code set in lower case without punctuation, "UTF-8" as "utf8").
has_locale() {
  local name=$1 set=
  [[ $name == *.* ]] && set=.$(tr -cd 'A-Za-z0-9' <<<"${name#*.}" | tr 'A-Z' 'a-z')
  locale -a 2>/dev/null | grep -qxF -e "$name" -e "${name%%.*}$set"
}

run_tree() {
  local name=$1 build=$2
  shift 2
  local flags locale=
  case $name in
    asan) flags=(-DCMAKE_BUILD_TYPE=Debug -DMARLIN_SANITIZE=ON)
          locale=${MARLIN_ASAN_LOCALE:-C.UTF-8} ;;
    release) flags=(-DCMAKE_BUILD_TYPE=Release -DMARLIN_SANITIZE=OFF)
             locale=${MARLIN_RELEASE_LOCALE:-tr_TR.UTF-8} ;;
    *) echo "test: unknown tree '$name' (asan or release)"; return 2 ;;
  esac
  # A locale the C library does not have leaves the tests in "C" without a
  # word: a decimal-comma run that proves nothing.
  if [[ -n $locale ]] && ! has_locale "$locale"; then
    echo "test: the locale $locale does not exist here (locale -a; scripts/setup.sh makes de_DE, ru_RU and tr_TR)"
    return 2
  fi
  echo "test: $name tree in $build${locale:+, tests under LC_ALL=$locale}"
  local t0=$SECONDS
  cmake -S "$top" -B "$build" -G Ninja "${flags[@]}" >/dev/null
  cmake --build "$build" -j "$jobs"
  # The program takes the C library's locale from the environment (so does
  # every test binary): one tree proves that no number or name depends on it.
  env ${locale:+LC_ALL=$locale} ctest --test-dir "$build" -LE bench -j "$jobs" --output-on-failure --timeout 600 "$@"
  echo "test: $name tree green in $((SECONDS - t0)) s"
}

for tree in $trees; do
  case $tree in
    asan) run_tree asan "${MARLIN_TEST_BUILD:-$top/build/asan}" "$@" ;;
    release) run_tree release "${MARLIN_RUN_BUILD:-$top/build/release}" "$@" ;;
    *) run_tree "$tree" "" ;;
  esac
done
