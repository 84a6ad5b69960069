#!/usr/bin/env bash
# The test command: installs what is needed, builds the program twice (plain, and
# with AddressSanitizer and UndefinedBehaviorSanitizer), starts the servers the
# tests talk to, runs every test in both builds, tries the Debian package on
# this machine and, with clang, runs the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh

jobs=$(nproc)
configure_and_build() {  # build dir, target, extra cmake arguments...
  local dir=$1 target=$2; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" --target "$target"
}

configure_and_build build all
configure_and_build build-asan all -DVORNETTA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug

# Test servers live in one temporary folder and are stopped however the run ends.
work=$(mktemp -d /tmp/vornetta-test.XXXXXX)
cleanup() {
  [ -x scripts/mariadb-test-server.sh ] && scripts/mariadb-test-server.sh stop "$work" || true
  [ -x scripts/postgres-test-server.sh ] && scripts/postgres-test-server.sh stop "$work" || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -x scripts/mariadb-test-server.sh ]; then
  eval "$(scripts/mariadb-test-server.sh start "$work")"
fi
if [ -x scripts/postgres-test-server.sh ]; then
  eval "$(scripts/postgres-test-server.sh start "$work")"
fi

export LANG=C.UTF-8
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:suppressions=$root/tests/asan.supp
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

status=0
echo "== tests =="
ctest --test-dir build --output-on-failure -j "$jobs" || status=1
echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
ctest --test-dir build-asan --output-on-failure -j "$jobs" || status=1

# The package is installed on this machine and purged again: only as root.
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  echo "== Debian package: build, lintian, install, dry run, units, upgrade, purge =="
  scripts/package-test.sh build || status=1
fi

if command -v clang++ >/dev/null; then
  echo "== fuzzers (bounded) =="
  CC=clang CXX=clang++ configure_and_build build-fuzz fuzzers -DVORNETTA_FUZZ=ON -DBUILD_TESTING=OFF
  for fuzzer in build-fuzz/fuzz/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    corpus="$work/corpus-$(basename "$fuzzer")"; mkdir -p "$corpus"
    "$fuzzer" -max_total_time="${VORNETTA_FUZZ_SECONDS:-20}" -rss_limit_mb=2048 "$corpus" tests/fuzz/corpus/"$(basename "$fuzzer")" 2>"$work/fuzz.log" ||
      { tail -40 "$work/fuzz.log"; status=1; }
  done
fi
exit $status
