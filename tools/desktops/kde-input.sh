#!/bin/bash
# Window control in the running KWin (kde-wayland.sh) through KWin scripting over
# D-Bus; keyboard and pointer through KWin's fake-input protocol
# (wayland-input.py; KWIN_KEYS=xdotool sends keys with xdotool to X11 clients instead). The scripts print into kwin's log (kde-wayland.sh
# turns that category on), read back here.
#   kde-input.sh windows             pid|title|x,y,w,h|min/norm|app id or class|x11/wayland|focus|fixed/resizable
#   kde-input.sh activate TEXT      raise and focus the first window whose caption contains TEXT
#   kde-input.sh minimize TEXT
#   kde-input.sh workarea           x,y,w,h of the work area
#   kde-input.sh key KEY [MOD]      e.g. key s Alt_L ; key Tab
#   kde-input.sh type TEXT
#   kde-input.sh click X Y [1|2|3]
log=${DESKTOP_WORK:?}/kwin.log
js() {
    local mark="LFMARK$RANDOM$RANDOM" f
    f=$(mktemp "$DESKTOP_WORK/kwinscript.XXXXXX.js")
    printf 'const out = []; const say = (s) => out.push(String(s));\n%s\nprint("%s<<" + out.join("\\n") + ">>%s");\n' "$1" "$mark" "$mark" >"$f"
    local id
    id=$(dbus-send --session --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.loadScript "string:$f" "string:$mark" | awk '/int32/ {print $2}')
    dbus-send --session --print-reply --dest=org.kde.KWin "/Scripting/Script$id" org.kde.kwin.Script.run >/dev/null 2>&1 ||
        dbus-send --session --print-reply --dest=org.kde.KWin "/$id" org.kde.kwin.Script.run >/dev/null 2>&1
    for _ in $(seq 20); do grep -q "$mark>>" "$log" && break; sleep 0.1; done
    dbus-send --session --print-reply --dest=org.kde.KWin /Scripting org.kde.kwin.Scripting.unloadScript "string:$mark" >/dev/null 2>&1
    rm -f "$f"
    python3 - "$log" "$mark" <<'PY'
import sys, re
text = open(sys.argv[1], errors='replace').read()
m = re.search(re.escape(sys.argv[2]) + r'<<(.*?)>>' + re.escape(sys.argv[2]), text, re.S)
print(m.group(1) if m else '')
PY
}
find='const find = (t) => workspace.clientList().find(c => String(c.caption).includes(t));'
case $1 in
windows)
    js 'workspace.clientList().forEach(c => { const g = c.frameGeometry;
        say([c.pid, c.caption, [g.x, g.y, g.width, g.height].join(","), c.minimized ? "min" : "norm",
             c.resourceClass, c.windowId ? "x11" : "wayland", workspace.activeClient === c ? "focus" : "",
             c.resizeable || c.maximizable ? "resizable" : "fixed"].join("|")); });' ;;
activate) js "$find const c = find('$2'); if (c) { c.minimized = false; workspace.activeClient = c; say('activated'); } else say('none');" ;;
minimize) js "$find const c = find('$2'); if (c) { c.minimized = true; say('minimized'); } else say('none');" ;;
workarea) js 'const r = workspace.clientArea(KWin.MaximizeArea, workspace.activeScreen, workspace.currentDesktop); say([r.x, r.y, r.width, r.height].join(","));' ;;
key)
    if [[ ${KWIN_KEYS:-fakeinput} == xdotool ]]; then
        k=$2; [[ ${#k} == 1 ]] && k=${k,,}
        xdotool key "${3:+${3%_L}+}$k"
    else
        "$(dirname "$0")/wayland-input.py" key "$2" ${3:+"$3"}
    fi ;;
type) if [[ ${KWIN_KEYS:-fakeinput} == xdotool ]]; then xdotool type --delay 30 "$2"; else "$(dirname "$0")/wayland-input.py" type "$2"; fi ;;
click) "$(dirname "$0")/wayland-input.py" click "$2" "$3" ${4:+"$4"} ;;
*) sed -n '2,13p' "$0" >&2; exit 2 ;;
esac
