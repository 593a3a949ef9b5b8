#!/usr/bin/env bash
# Makes the README's picture of the service window (docs/window.png by default): the program on
# a fresh demo site under Xvfb, with the demo POS feed inserting orders, Traditional Chinese in
# "Noto Sans CJK TC". The window grabs itself (TAVO_SCREENSHOT); start-up boxes are answered over
# AT-SPI, the way a screen reader or a GUI test robot reaches the program.
#   scripts/screenshot.sh [output.png] [window|settings|calendar]
# "settings" opens the port settings page in setting mode, "calendar" double-clicks the business
# date box; both are taken from the screen (tavo_grab), as the calendar is a modal dialog.
# Needs: xvfb-run, dbus-run-session, /usr/bin/python3 with pyatspi (python3-pyatspi, at-spi2-core).
set -euo pipefail
source "$(dirname "$0")/setup.sh"

out=$(realpath -m "${1:-$TAVO_ROOT/docs/window.png}")
scene=${2:-window}
case $scene in window|settings|calendar) ;; *) echo "unknown scene: $scene" >&2; exit 2 ;; esac
program=$TAVO_BUILD/TavoKPortSrv
demo=$TAVO_BUILD/demo/tavo_demo
grab=$TAVO_BUILD/demo/tavo_grab
[ -x "$program" ] && [ -x "$demo" ] && [ -x "$grab" ] || tavo_build TavoKPortSrv tavo_demo tavo_grab
for tool in xvfb-run dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (packages xvfb, dbus)" >&2; exit 1; }
done
if ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
  echo "pyatspi is missing: apt-get install python3-pyatspi at-spi2-core" >&2
  exit 1
fi

work=$(mktemp -d /tmp/tavo-shot.XXXXXX)
feed=
cleanup() {
  [ -n "$feed" ] && kill "$feed" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

site=$work/site
export TAVO_HOME=$site XDG_CONFIG_HOME=$site/config
tavo_say "demo site in $site"
"$demo" init "$site" >/dev/null
mkdir -p "$XDG_CONFIG_HOME/Tavo3"
cat >"$XDG_CONFIG_HOME/Tavo3/Tavo3.conf" <<CONF
[TAVOC]
DEFKPORT=PK
PRINTER=KitchenTM
PRINTERTYPE=EPSONTM
PRINTITEM=Y
PRINTLIST=N
SHUTTIME=05:30
CONF
"$demo" feed "$site" --interval 300 >"$work/feed.log" 2>&1 &
feed=$!
sleep 6 # a few orders stand in the table before the window opens

mkdir -p "$(dirname "$out")"
rm -f "$out"
if [ "$scene" = window ]; then
  export TAVO_SCREENSHOT=$out TAVO_SCREENSHOT_DELAY=${TAVO_SCREENSHOT_DELAY:-36000} # the service has started by itself
fi
export TAVO_SHOT_PROGRAM=$program TAVO_SHOT_DIR=$work TAVO_SHOT_SCENE=$scene TAVO_SHOT_OUT=$out TAVO_SHOT_GRAB=$grab
tavo_say "running the window under Xvfb"
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" dbus-run-session -- bash -c '
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1
  QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$TAVO_SHOT_PROGRAM" 2>"$TAVO_SHOT_DIR/program.err" &
  app=$!
  /usr/bin/python3 - <<"PY"
import os, subprocess, sys, time
import pyatspi

shot = os.environ["TAVO_SHOT_OUT"]
scene = os.environ["TAVO_SHOT_SCENE"]

def find(acc, wanted, depth=0):
    try:
        if wanted(acc):
            return acc
    except Exception:
        return None
    # The cells of a table are not controls: searched for controls, the rows of a
    # busy order list would take minutes over the bus.
    if depth > 20 or acc.getRoleName() == "table":
        return None
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            hit = find(child, wanted, depth + 1)
            if hit is not None:
                return hit
    return None

def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "TavoKPortSrv":
            return app
    return None

def answer_boxes(app):
    alert = app and find(app, lambda a: a.getRoleName() == "alert")
    if alert:
        texts = [alert.getChildAtIndex(i).name for i in range(alert.childCount)]
        ok = find(alert, lambda a: a.getRoleName() == "push button"
                  and a.name.replace("&", "").startswith(("確定", "OK")))
        if ok is not None:
            print("answered the box:", " ".join(t for t in texts if t), file=sys.stderr)
            ok.queryAction().doAction(0)
    return bool(alert)

def named(app, role, name):
    return find(app, lambda a: a.getRoleName() == role and a.name == name)

def show_tab(app, name):
    # The tab bar offers no selection over AT-SPI: the tab is clicked where it stands.
    box = named(app, "page tab", name).queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(box.x + box.width // 2, box.y + box.height // 2, "b1c")
    time.sleep(0.5)

def grab(acc):
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run([os.environ["TAVO_SHOT_GRAB"], shot, str(box.x), str(box.y), str(box.width), str(box.height)],
                   check=True)

deadline = time.time() + 90
if scene == "window":
    while time.time() < deadline and not os.path.exists(shot):
        answer_boxes(application())
        time.sleep(0.5)
else:
    # The settings are taken before the service starts by itself (30 s): it locks them.
    quiet = 0
    while time.time() < deadline and quiet < 3:
        app = application()
        quiet = 0 if (app is None or answer_boxes(app) or named(app, "page tab", "廚房印表機設定") is None) else quiet + 1
        time.sleep(0.5)
    app = application()
    window = app.getChildAtIndex(0)
    if scene == "settings":
        show_tab(app, "廚房印表機設定")
        named(app, "push button", "更改設定").queryAction().doAction(0)
        time.sleep(1)
        grab(window)
    else:
        show_tab(app, "吧廚統計表")
        box = named(app, "text", "營業日期:").queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        pyatspi.Registry.generateMouseEvent(box.x + box.width // 2, box.y + box.height // 2, "b1d")
        calendar = None
        while time.time() < deadline and calendar is None:
            time.sleep(0.5)
            calendar = find(app, lambda a: a.getRoleName() == "dialog" and a.name == "選取日期")
        time.sleep(1)
        grab(calendar)
if not os.path.exists(shot):
    sys.exit(1)

# What a screen reader finds: every control by its caption, label or name.
expected = {
    "push button": ["啟動服務", "暫停服務", "Z結束", "更改設定", "補印送廚", " 測試 所有印表機", "設定監控廚房出單機",
                    "指定印表機", "印表機替換", "包廂點單", "列印廚房統計表", "列印吧檯統計表"],
    "check box": ["列印菜條", "列印菜單", "出菜單使用點單格式"],
    "page tab": ["廚房印表機設定", "出菜條清單", "吧廚統計表"],
    "text": ["自動重開機時間 :", "要監控的送廚出口:", "設定使用印表機:", "營業日期:"],
    "table": ["出菜條清單", "作業記錄", "送廚出口及印表機", "班別時段", "已測試印表機"],
}
if scene == "settings":
    expected["push button"] = [n for n in expected["push button"] if n != "更改設定"] + ["設定完成", "印表機測試"]
if scene == "calendar":
    expected = {"push button": ["上個月", "下個月", "離開"], "table": ["日曆"]}
app = application()
missing = [f"{role} {name!r}" for role, names in expected.items() for name in names
           if app is None or find(app, lambda a: a.getRoleName() == role and a.name == name) is None]
found = sum(len(names) for names in expected.values()) - len(missing)
print(f"AT-SPI: {found} controls found by caption or label" + (f"; missing: {missing}" if missing else ""),
      file=sys.stderr)
sys.exit(0)
PY
  status=$?
  kill -TERM $app 2>/dev/null
  wait $app
  exit $status
' 2> >(grep -v "dbus-daemon" >&2) || { echo "no screenshot was made; see the program output:" >&2; cat "$work/program.err" >&2; exit 1; }
tavo_say "wrote $out"
