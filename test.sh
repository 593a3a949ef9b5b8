#!/usr/bin/env bash
# Installs what is missing, builds, starts PostgreSQL and CUPS, runs every test.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
tavo_install_packages
tavo_build
# Armed first, so a cluster that starts but cannot be set up is not left running.
trap tavo_stop_postgres EXIT
tavo_start_postgres
tavo_start_cups
tavo_say "running the tests"
cd "$TAVO_BUILD"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" "$@"
