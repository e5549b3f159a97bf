#!/bin/bash
# sway 1.7 (wlroots headless backend, pixman renderer) with waybar or no bar and
# mako for notifications, with a session bus of its own.
#   sway.sh [--bar waybar|none] [--size 1280x800] [--no-mako] -- COMMAND [ARGS...]
# COMMAND runs with WAYLAND_DISPLAY, DISPLAY (Xwayland), SWAYSOCK,
# DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR (fresh, 0700), XDG_SESSION_TYPE=wayland,
# XDG_CURRENT_DESKTOP=sway. Input: sway-input.sh.
# sway 1.7 refuses to run as root ("Unable to drop root"): as root, sway alone
# (with the Xwayland it starts) runs as SWAY_USER (default nobody) in a runtime
# folder of that user's, and its sockets are linked into COMMAND's runtime folder;
# the bus, the bar, mako and COMMAND stay root's.
source "$(dirname "$0")/common.sh"
bar=waybar size=1280x800 mako=1
while (($#)); do
    case $1 in
    --bar) bar=$2; shift ;;
    --size) size=$2; shift ;;
    --no-mako) mako=0 ;;
    --) shift; break ;;
    *) break ;;
    esac
    shift
done
(($#)) || { echo "usage: $0 [--bar waybar|none] [--size WxH] [--no-mako] -- COMMAND..." >&2; exit 2; }
for tool in sway swaymsg dbus-daemon setpriv; do
    command -v $tool >/dev/null || { dt_log "$tool missing (tools/setup --tests installs it)"; exit 1; }
done
export DESKTOP_KIND=sway XDG_CURRENT_DESKTOP=sway XDG_SESSION_DESKTOP=sway
dt_runtime_and_bus || exit 1

swayrun=$XDG_RUNTIME_DIR
run_sway=(env -u DBUS_SESSION_BUS_ADDRESS)
if ((EUID == 0)); then
    u=${SWAY_USER:-nobody}
    swayrun=$DT_WORK/sway-runtime
    mkdir -m 700 "$swayrun"
    chown "$u:" "$swayrun"
    chmod 711 "$DT_WORK"
    run_sway=(setpriv --reuid="$(id -u "$u")" --regid="$(id -g "$u")" --clear-groups "${run_sway[@]}" HOME="$swayrun" USER="$u" LOGNAME="$u")
fi
{
    echo "output HEADLESS-1 resolution $size position 0 0"
    echo "xwayland force"
    echo "default_border normal"
    echo "seat seat0 hide_cursor 0"
} >"$swayrun/config"
chmod 644 "$swayrun/config"
dt_spawn sway "${run_sway[@]}" XDG_RUNTIME_DIR="$swayrun" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS=1 \
    sway -c "$swayrun/config"
dt_await 30 compgen -G "$swayrun/wayland-[0-9]" || { dt_log "no wayland socket"; tail -30 "$DT_WORK/sway.log" >&2; exit 1; }
export WAYLAND_DISPLAY=$(basename "$(compgen -G "$swayrun/wayland-[0-9]" | head -n1)")
[[ $swayrun == "$XDG_RUNTIME_DIR" ]] || ln -s "$swayrun/$WAYLAND_DISPLAY" "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
dt_await 30 compgen -G "$swayrun/sway-ipc.*.sock" || { dt_log "no sway IPC socket"; exit 1; }
export SWAYSOCK=$(compgen -G "$swayrun/sway-ipc.*.sock" | head -n1)
d=""
for _ in $(seq 100); do
    d=$(dt_xwayland_of "$DT_PID_sway") && break; sleep 0.2
done
[[ -n $d ]] && DT_X_DISPLAYS=${d#:} && export DISPLAY=$d || dt_log "warning: no Xwayland display appeared"
# Xwayland runs as sway's user and lets only that user in: root's clients too.
if [[ -n $d && $swayrun != "$XDG_RUNTIME_DIR" ]]; then
    dt_await 10 "${run_sway[@]}" DISPLAY="$d" xhost +si:localuser:root || dt_log "warning: Xwayland does not let root in"
fi
if ((mako)); then
    dt_spawn mako mako
    dt_await 20 dt_name_owned org.freedesktop.Notifications || dt_log "warning: mako did not take org.freedesktop.Notifications"
fi
if [[ $bar == waybar ]]; then
    mkdir -p "$XDG_CONFIG_HOME/waybar"
    cat >"$XDG_CONFIG_HOME/waybar/config" <<'JSON'
{ "layer": "top", "position": "top", "height": 26, "modules-left": ["sway/workspaces"], "modules-center": ["sway/window"], "modules-right": ["tray", "clock"], "tray": { "icon-size": 18, "spacing": 6 } }
JSON
    dt_spawn waybar waybar
    host() {
        dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
            string:org.kde.StatusNotifierWatcher string:IsStatusNotifierHostRegistered | grep -q 'boolean true'
    }
    dt_await 30 host || dt_log "warning: no StatusNotifier host from waybar"
fi
# With no input devices the seat has no keyboard, and a one-shot wtype's
# virtual keyboard comes and goes before a client binds it: one stays here.
dt_spawn keyboard sh -c 'sleep 100000 | wtype -'
# Nor a pointer: without one, clients get no pointer events.
dt_spawn pointer "$DT_LIB/wayland-input.py" pointer-device
dt_await 10 sh -c 'swaymsg -t get_seats | grep -q "\"pointer\""' || dt_log "warning: no pointer on the seat"
dt_await 10 sh -c 'swaymsg -t get_seats | grep -q "virtual keyboard"' || dt_log "warning: no virtual keyboard on the seat"
echo "export SWAYSOCK='$SWAYSOCK'" >>"$DT_WORK/env.extra"
dt_run_command "$@"
