#!/usr/bin/env bash
# Installs what is missing, builds, prepares the demo site and starts the service on it,
# with the demo POS feed inserting orders beside it.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"
tavo_install_packages
# Only what runs here: a newcomer's first start does not wait for the tests to compile.
tavo_build TavoKPortSrv tavo_demo tavo_escpos

SITE=${TAVO_SITE:-$TAVO_ROOT/site}
export TAVO_HOME=$SITE
# The demo keeps its per-user settings inside the site, away from a real installation's.
export XDG_CONFIG_HOME=$SITE/config
# Tickets go to a PDF queue when CUPS can be started here (as root); they land in ~/PDF.
tavo_start_cups || true
printer=${TAVO_TEST_CUPS_PRINTER:-TavoPDF}
# Beside it, the kitchen's receipt printer on a raw queue, whose ESC/POS jobs are decoded in
# site/escpos/; the bar keeps the PDF queue.
tavo_start_demo_receipt_printer "$SITE/escpos"
kitchen=${TAVO_DEMO_RAW_PRINTER:-$printer}
trap '[ -z "$TAVO_DEMO_RAW_PID" ] || kill $TAVO_DEMO_RAW_PID 2>/dev/null || true' EXIT

tavo_say "preparing the demo site in $SITE"
"$TAVO_BUILD/demo/tavo_demo" init "$SITE" --kitchen-printer "$kitchen" --bar-printer "$printer"
settings=$XDG_CONFIG_HOME/Tavo3/Tavo3.conf
if [ ! -f "$settings" ]; then
  mkdir -p "$(dirname "$settings")"
  cat >"$settings" <<CONF
[TAVOC]
DEFKPORT=PK
PRINTER=$kitchen
PRINTERTYPE=EPSONTM
PRINTITEM=Y
PRINTLIST=N
CONF
fi

# The kitchen display in the browser, on this machine only.
if ! grep -q '^\[KDS\]' "$settings"; then
  printf '\n[KDS]\nPORT=%s\nADDRESS=127.0.0.1\nAMBERMINUTES=10\nREDMINUTES=20\n' "${TAVO_KDS_PORT:-8470}" >>"$settings"
fi
kds_port=$(sed -n '/^\[KDS\]/,/^\[/s/^PORT=//p' "$settings" | head -n 1)
[ -z "$kds_port" ] || tavo_say "kitchen display: open http://127.0.0.1:$kds_port/ in a browser"

"$TAVO_BUILD/demo/tavo_demo" feed "$SITE" --interval 2500 >"$SITE/feed.log" 2>&1 &
feed=$!
# Waited for, so the feed has stopped writing to the site (and is reaped) when this script ends.
trap 'kill $feed 2>/dev/null || true; wait $feed 2>/dev/null || true
  [ -z "$TAVO_DEMO_RAW_PID" ] || kill $TAVO_DEMO_RAW_PID 2>/dev/null || true' EXIT

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  tavo_say "no display: running headless; activity is echoed here (Ctrl+C ends it, grids saved)"
fi
# The service runs as a child so that a signal sent to this script alone (a supervisor, kill)
# still ends it the way Ctrl+C does: both grids saved before it goes.
"$TAVO_BUILD/TavoKPortSrv" &
service=$!
trap 'kill -TERM $service 2>/dev/null || true' TERM INT HUP
status=0
while kill -0 "$service" 2>/dev/null; do
  wait "$service" && status=0 || status=$?
done
exit "$status"
