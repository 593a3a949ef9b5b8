# Shared steps of ./run.sh and ./test.sh: packages, build, and the services the tests use.
# Sourced, not run.

TAVO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TAVO_BUILD=${TAVO_BUILD:-$TAVO_ROOT/build}
# The folder of the PostgreSQL cluster this run starts; never one named by the caller's
# environment, since stopping the cluster deletes it.
TAVO_PG_DIR=

# Debian 12 packages the build, the demo and the tests need.
TAVO_PACKAGES=(
  cmake g++ make pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6sql6-sqlite libqt6sql6-odbc libqt6sql6-psql
  qt6-websockets-dev openssl
  unixodbc-dev odbc-postgresql libsqliteodbc tdsodbc libpq-dev
  postgresql sqlite3
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk
  cups cups-client printer-driver-cups-pdf libcups2-dev poppler-utils
  xvfb xauth python3-pyatspi at-spi2-core dbus python3-dbusmock
  chromium chromium-driver python3-selenium
)

# Only for `./test.sh --fuzz`: libFuzzer comes with clang.
TAVO_FUZZ_PACKAGES=(clang libclang-rt-14-dev)

# Extra arguments of the configure step (the sanitizer and fuzzing builds set them).
TAVO_CMAKE_ARGS=()

tavo_say() { printf '\033[1m== %s\033[0m\n' "$*"; }

# tavo_install_packages [package ...]: the given packages, or those the build and tests need.
tavo_install_packages() {
  local missing=() p wanted=("$@")
  [ ${#wanted[@]} -gt 0 ] || wanted=("${TAVO_PACKAGES[@]}")
  # Installed whatever the wanted state: a package on hold reads "hold ok installed".
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q ' ok installed$' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "These Debian packages are missing: ${missing[*]}" >&2
    echo "Install them (sudo apt-get update && sudo apt-get install ${missing[*]}) and run this again." >&2
    exit 1
  fi
  tavo_say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# tavo_build [target ...]: configures and builds the given targets, or everything.
tavo_build() {
  tavo_say "building in $TAVO_BUILD"
  # Paths below the source tree are hashed relative to it, so every build folder shares the cache.
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$TAVO_ROOT}
  fi
  cmake -S "$TAVO_ROOT" -B "$TAVO_BUILD" -DCMAKE_BUILD_TYPE=${TAVO_BUILD_TYPE:-RelWithDebInfo} \
    "${launcher[@]}" "${TAVO_CMAKE_ARGS[@]}" >/dev/null
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  cmake --build "$TAVO_BUILD" -j "$(nproc)" "${targets[@]}"
}

# The server options of the test cluster: its port, its socket folder, loopback only.
tavo_postgres_options() {
  echo "-p $TAVO_TEST_PG_PORT -k $TAVO_PG_DIR -c listen_addresses=127.0.0.1"
}

# A throwaway PostgreSQL cluster on its own port, owned by whoever may run the server.
tavo_start_postgres() {
  local bin
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found" >&2; return 1; }
  local port=55432
  while "$bin/pg_isready" -q -h 127.0.0.1 -p "$port"; [ $? -ne 2 ]; do port=$((port + 1)); done
  export TAVO_TEST_PG_HOST=127.0.0.1 TAVO_TEST_PG_PORT=$port
  export TAVO_TEST_PG_DB=tavo_test TAVO_TEST_PG_USER=tavo TAVO_TEST_PG_PASSWORD=tavo_pw
  TAVO_PG_DIR=$(mktemp -d /tmp/tavo-pg.XXXXXX)
  local as=()
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$TAVO_PG_DIR"
    as=(runuser -u postgres --)
  fi
  tavo_say "starting PostgreSQL on port $TAVO_TEST_PG_PORT"
  "${as[@]}" "$bin/initdb" -D "$TAVO_PG_DIR/data" -U postgres --auth=trust -E UTF8 --locale=C.UTF-8 >/dev/null
  "${as[@]}" "$bin/pg_ctl" -D "$TAVO_PG_DIR/data" -l "$TAVO_PG_DIR/server.log" -w \
    -o "$(tavo_postgres_options)" start >/dev/null
  local psql=("$bin/psql" -h 127.0.0.1 -p "$TAVO_TEST_PG_PORT" -U postgres -v ON_ERROR_STOP=1 -q)
  "${psql[@]}" -c "CREATE ROLE $TAVO_TEST_PG_USER LOGIN PASSWORD '$TAVO_TEST_PG_PASSWORD'"
  "${psql[@]}" -c "CREATE DATABASE $TAVO_TEST_PG_DB OWNER $TAVO_TEST_PG_USER ENCODING 'UTF8' TEMPLATE template0 LC_COLLATE 'C.UTF-8' LC_CTYPE 'C.UTF-8'"
  tavo_export_postgres_control "$bin"
}

# What the recovery tests need to restart the cluster under the service's feet:
#   $TAVO_TEST_PG_CTL [-D $TAVO_TEST_PG_DATA ...], run as $TAVO_TEST_PG_OS_USER when that is set
# (the server refuses to run as root), its output going to $TAVO_TEST_PG_LOG; a start that is
# not a restart needs -o "$TAVO_TEST_PG_OPTIONS".
tavo_export_postgres_control() {
  export TAVO_TEST_PG_CTL=$1/pg_ctl TAVO_TEST_PG_DATA=$TAVO_PG_DIR/data TAVO_TEST_PG_LOG=$TAVO_PG_DIR/server.log
  TAVO_TEST_PG_OPTIONS=$(tavo_postgres_options)
  export TAVO_TEST_PG_OPTIONS
  TAVO_TEST_PG_OS_USER=
  [ "$(id -u)" -eq 0 ] && TAVO_TEST_PG_OS_USER=postgres
  export TAVO_TEST_PG_OS_USER
}

tavo_stop_postgres() {
  [ -n "${TAVO_PG_DIR:-}" ] || return 0
  local bin as=()
  bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ "$(id -u)" -eq 0 ] && as=(runuser -u postgres --)
  "${as[@]}" "$bin/pg_ctl" -D "$TAVO_PG_DIR/data" -m fast stop >/dev/null 2>&1 || true
  rm -rf "$TAVO_PG_DIR"
}

# CUPS with a PDF queue, so printing is tested on a real spooler without paper.
tavo_start_cups() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "not root: cupsd is not started here (printing tests are skipped, demo tickets go nowhere)" >&2
    return 0
  fi
  export TAVO_TEST_CUPS_PRINTER=TavoPDF
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    tavo_say "starting cupsd"
    /usr/sbin/cupsd
    for _ in $(seq 50); do lpstat -r 2>/dev/null | grep -q 'is running' && break; sleep 0.2; done
  fi
  lpstat -p "$TAVO_TEST_CUPS_PRINTER" >/dev/null 2>&1 ||
    lpadmin -p "$TAVO_TEST_CUPS_PRINTER" -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
  # A receipt printer on loopback: a raw queue (no driver) whose device is a port the tests
  # listen on, so they read the ESC/POS bytes a kitchen printer would get.
  export TAVO_TEST_RAW_PRINTER=TavoRawTest
  TAVO_TEST_RAW_PORT=$(tavo_free_port 59100)
  export TAVO_TEST_RAW_PORT
  tavo_add_raw_queue "$TAVO_TEST_RAW_PRINTER" "$TAVO_TEST_RAW_PORT"
}

# The first port from $1 on which nothing listens on loopback.
tavo_free_port() {
  local port=$1
  while (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do port=$((port + 1)); done
  echo "$port"
}

# A raw queue (ESC/POS passes through untouched) printing to socket://127.0.0.1:<port>; the
# queue is (re)pointed at the port and any job left from an earlier run is dropped.
tavo_add_raw_queue() {
  lpadmin -p "$1" -E -v "socket://127.0.0.1:$2" 2>/dev/null
  cancel -a "$1" 2>/dev/null || true
  cupsenable "$1" 2>/dev/null || true
  cupsaccept "$1" 2>/dev/null || true
}

# The demo's receipt printer: a raw queue TavoKitchen on a local port where tavo_escpos stands in
# for the printer, keeping each job it receives with its annotated dump in $1 (job-*.bin, .txt).
# Root only (lpadmin); sets TAVO_DEMO_RAW_PRINTER and TAVO_DEMO_RAW_PID when it started.
tavo_start_demo_receipt_printer() {
  TAVO_DEMO_RAW_PRINTER= TAVO_DEMO_RAW_PID=
  [ "$(id -u)" -eq 0 ] && lpstat -r 2>/dev/null | grep -q 'is running' || return 0
  local port
  mkdir -p "$1"
  port=$(tavo_free_port 59200)
  tavo_add_raw_queue TavoKitchen "$port"
  "$TAVO_BUILD/demo/escpos/tavo_escpos" listen "$port" "$1" 2>>"$1.log" &
  TAVO_DEMO_RAW_PID=$!
  TAVO_DEMO_RAW_PRINTER=TavoKitchen
  tavo_say "receipt printer TavoKitchen (raw queue, socket://127.0.0.1:$port): jobs decoded in $1"
}

# Runs every fuzz target for TAVO_FUZZ_SECONDS (20 by default) from the kept corpus; new inputs
# go to a scratch folder, or are merged into fuzz/corpus when TAVO_FUZZ_KEEP=1. Fails on a finding.
tavo_fuzz() {
  local seconds=${TAVO_FUZZ_SECONDS:-20} scratch target status=0
  # fontconfig keeps its caches to the end of the process; that is not ours to find.
  local lsan="suppressions=$TAVO_ROOT/tests/lsan.supp:print_suppressions=0"
  scratch=$(mktemp -d /tmp/tavo-fuzz.XXXXXX)
  for target in ini csv connstr tableformat dates; do
    tavo_say "fuzzing $target for ${seconds}s"
    mkdir -p "$scratch/$target"
    if ! (cd "$scratch" && QT_QPA_PLATFORM=offscreen LSAN_OPTIONS="$lsan" "$TAVO_BUILD/fuzz/fuzz_$target" -max_total_time="$seconds" \
          -print_final_stats=1 "$scratch/$target" "$TAVO_ROOT/fuzz/corpus/$target" 2>"$scratch/$target.log"); then
      echo "fuzz_$target found a crash; its input and report are in $scratch" >&2
      tail -n 30 "$scratch/$target.log" >&2
      status=1
      continue
    fi
    grep -E '^stat::number_of_executed_units' "$scratch/$target.log" || true
    if [ "${TAVO_FUZZ_KEEP:-0}" = 1 ]; then
      QT_QPA_PLATFORM=offscreen LSAN_OPTIONS="$lsan" "$TAVO_BUILD/fuzz/fuzz_$target" -merge=1 "$TAVO_ROOT/fuzz/corpus/$target" \
        "$scratch/$target" 2>/dev/null
    fi
  done
  [ $status -eq 0 ] && rm -rf "$scratch"
  return $status
}
