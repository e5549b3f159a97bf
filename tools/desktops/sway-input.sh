#!/bin/bash
# Input and window control in the running sway (sway.sh), like gnome-input.sh.
#   sway-input.sh click X Y [1|2|3]   pointer click at screen X,Y (left/middle/right)
#   sway-input.sh type TEXT           type text on the seat's virtual keyboard
#   sway-input.sh key KEY             press a key, e.g. Return, Escape
#   sway-input.sh windows             pid|title|x,y,w,h|min/norm|app id or class|x11/wayland|focus
#   sway-input.sh activate TITLE      focus the first window whose title contains TITLE
# sway has no minimised state: a window on no visible workspace shows as "min".
case $1 in
click)
    swaymsg -q seat - cursor set "$2" "$3" &&
        swaymsg -q seat - cursor press "button${4:-1}" &&
        swaymsg -q seat - cursor release "button${4:-1}" ;;
type) wtype -d 30 "$2" ;;
key) wtype -k "$2" ;;
windows)
    swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    if node.get("pid"):
        r = node["rect"]
        app = node.get("app_id") or (node.get("window_properties") or {}).get("class", "")
        print("|".join([str(node["pid"]), (node.get("name") or "").replace("\n", " "), "%d,%d,%d,%d" % (r["x"], r["y"], r["width"], r["height"]),
                        "norm" if node.get("visible") else "min", app, "x11" if node.get("shell") == "xwayland" else "wayland",
                        "focus" if node.get("focused") else ""]))
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))' ;;
activate)
    t=$(printf '%s' "$2" | sed 's/[][\.*^$()+?{}|"]/\\&/g')
    swaymsg -q "[title=\"$t\"] focus" ;;
*) sed -n '2,8p' "$0" >&2; exit 2 ;;
esac
