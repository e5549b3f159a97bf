#!/bin/bash
# Input and window control in the running GNOME Shell through Eval (unsafe mode).
#   gnome-input.sh click X Y [1|2|3]   pointer click at screen X,Y (left/middle/right)
#   gnome-input.sh move X Y
#   gnome-input.sh type TEXT           type text on a virtual keyboard
#   gnome-input.sh key KEY [MOD]       e.g. key s Alt_L ; key Return ; key Escape
#   gnome-input.sh windows             pid|title|x,y,w,h|min/norm|app id or class|x11/wayland|focus|fixed/resizable
#                                      (min also for a window that is not shown, such as one
#                                      whose parent is minimised; fixed: neither resized nor maximised)
#   gnome-input.sh minimize TITLE      minimise the first window with that title
#   gnome-input.sh activate TITLE      raise and focus it
ev() { gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval "$1"; }
pre='const C = imports.gi.Clutter, G = imports.gi.GLib; const t = () => G.get_monotonic_time();
if (!global._lfPtr) { const s = C.get_default_backend().get_default_seat();
 global._lfPtr = s.create_virtual_device(C.InputDeviceType.POINTER_DEVICE);
 global._lfKbd = s.create_virtual_device(C.InputDeviceType.KEYBOARD_DEVICE); }
const P = global._lfPtr, K = global._lfKbd;
const win = (n) => global.display.list_all_windows().find(w => String(w.get_title()).includes(n));'
case $1 in
move) ev "$pre P.notify_absolute_motion(t(), $2, $3); 'ok'" ;;
click)
    b=${4:-1}   # Clutter button numbers: 1 primary, 2 middle, 3 secondary
    ev "$pre P.notify_absolute_motion(t(), $2, $3); P.notify_button(t(), $b, C.ButtonState.PRESSED); P.notify_button(t(), $b, C.ButtonState.RELEASED); 'ok'" ;;
type)
    s=$(python3 -c 'import json,sys; print(json.dumps(sys.argv[1]))' "$2")
    ev "$pre for (const ch of $s) { const k = C.unicode_to_keysym(ch.charCodeAt(0)); K.notify_keyval(t(), k, C.KeyState.PRESSED); K.notify_keyval(t(), k, C.KeyState.RELEASED); } 'ok'" ;;
key)
    if [[ -n ${3:-} ]]; then
        ev "$pre K.notify_keyval(t(), C.KEY_$3, C.KeyState.PRESSED); K.notify_keyval(t(), C.KEY_$2, C.KeyState.PRESSED); K.notify_keyval(t(), C.KEY_$2, C.KeyState.RELEASED); K.notify_keyval(t(), C.KEY_$3, C.KeyState.RELEASED); 'ok'"
    else
        ev "$pre K.notify_keyval(t(), C.KEY_$2, C.KeyState.PRESSED); K.notify_keyval(t(), C.KEY_$2, C.KeyState.RELEASED); 'ok'"
    fi ;;
windows)
    ev "$pre global.display.list_all_windows().map(w => { const r = w.get_frame_rect(); return [w.get_pid(), w.get_title(), [r.x, r.y, r.width, r.height].join(','), w.minimized || !w.showing_on_its_workspace() ? 'min' : 'norm', w.get_wm_class(), w.get_client_type() ? 'x11' : 'wayland', w.has_focus() ? 'focus' : '', w.allows_resize() || w.can_maximize() ? 'resizable' : 'fixed'].join('|'); }).join(String.fromCharCode(10))" |
        python3 -c 'import sys,json,ast; t=sys.stdin.read().strip(); ok,v=ast.literal_eval(t.replace("(true,","(True,",1).replace("(false,","(False,",1)); print(json.loads(v) if ok and v else v)' ;;
minimize) ev "$pre const w = win('$2'); w ? (w.minimize(), 'minimized') : 'none'" ;;
activate) ev "$pre const w = win('$2'); w ? (w.activate(global.get_current_time()), 'activated') : 'none'" ;;
*) echo "see header" >&2; exit 2 ;;
esac
