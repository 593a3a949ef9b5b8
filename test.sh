#!/usr/bin/env bash
# Installs what is missing, builds, starts PostgreSQL and CUPS, runs every test.
#   ./test.sh [ctest options]   the whole suite
#   ./test.sh --sanitize        the same with AddressSanitizer and UBSan, in build-sanitize/
#   ./test.sh --fuzz            the fuzz targets with libFuzzer (clang), briefly; see fuzz/
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
tavo_install_packages
# The default run also builds, once, everything but the window: proof that the core stands
# without Qt Widgets and Print Support. ccache shares the compiled core between the two builds.
core_build=$TAVO_ROOT/build-core
case "${1:-}" in
--fuzz)
  tavo_install_packages "${TAVO_FUZZ_PACKAGES[@]}"
  TAVO_BUILD=$TAVO_ROOT/build-fuzz
  TAVO_CMAKE_ARGS=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVO_FUZZ=ON
    -DTAVO_BUILD_TESTS=OFF -DTAVO_BUILD_BENCH=OFF)
  tavo_build fuzz_ini fuzz_csv fuzz_connstr fuzz_tableformat fuzz_dates
  tavo_fuzz
  exit
  ;;
--sanitize)
  shift
  TAVO_BUILD=$TAVO_ROOT/build-sanitize
  TAVO_CMAKE_ARGS=(-DTAVO_SANITIZE=ON -DTAVO_BUILD_BENCH=OFF)
  core_build=
  ;;
esac
tavo_build
if [ -n "$core_build" ]; then
  (
    TAVO_BUILD=$core_build
    TAVO_CMAKE_ARGS=(-DTAVO_GUI=OFF -DTAVO_BUILD_BENCH=OFF)
    tavo_build
  )
fi
# Armed first, so a cluster that starts but cannot be set up is not left running.
trap tavo_stop_postgres EXIT
tavo_start_postgres
tavo_start_cups
tavo_say "running the tests"
cd "$TAVO_BUILD"
# A test that hangs fails after five minutes rather than holding the run for ctest's 25 (the
# browser suite sets a timeout of its own).
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j "$(nproc)" "$@"
if [ -n "$core_build" ]; then
  tavo_say "running the tests of the build without the window"
  cd "$core_build"
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j "$(nproc)" "$@"
fi
