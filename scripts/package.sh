#!/usr/bin/env bash
# Builds the Debian package in build-package/: Release, the program and the demo tools only (no
# tests, benchmarks or fuzzers), so build/ stays as ./run.sh and ./test.sh left it.
#   scripts/package.sh          -> build-package/tavokportsrv_<version>_amd64.deb
set -euo pipefail
source "$(dirname "$0")/setup.sh"
tavo_install_packages
TAVO_BUILD=$TAVO_ROOT/build-package
TAVO_BUILD_TYPE=Release
TAVO_CMAKE_ARGS=(-DTAVO_BUILD_TESTS=OFF -DTAVO_BUILD_BENCH=OFF)
tavo_build
cd "$TAVO_BUILD"
cpack -G DEB
tavo_say "package: $(ls "$TAVO_BUILD"/tavokportsrv_*.deb)"
