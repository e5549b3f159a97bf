# Shared helpers for the desktop scripts (sourced). Each script starts one
# headless desktop in a work folder of its own, runs a command inside it and
# ends only the processes it started (each in a process group of its own).
set -u
DT_LIB=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
DT_WORK=$(mktemp -d /tmp/desktop.XXXXXX)
DT_PGIDS=()
export DESKTOP_WORK=$DT_WORK

dt_log() { echo "[$(basename "$0")] $*" >&2; }

# dt_spawn NAME CMD... : start CMD in its own session/process group, output to $DT_WORK/NAME.log
dt_spawn() {
    local name=$1; shift
    setsid "$@" >"$DT_WORK/$name.log" 2>&1 </dev/null &
    local pid=$!
    DT_PGIDS+=("$pid")
    eval "DT_PID_${name//[^A-Za-z0-9_]/_}=$pid"
}

dt_cleanup() {
    local rc=$?
    local i
    for ((i = ${#DT_PGIDS[@]} - 1; i >= 0; i--)); do
        kill -TERM -- "-${DT_PGIDS[i]}" 2>/dev/null
    done
    sleep 2
    for ((i = ${#DT_PGIDS[@]} - 1; i >= 0; i--)); do
        kill -KILL -- "-${DT_PGIDS[i]}" 2>/dev/null
    done
    # X displays our Xwayland left locked (mutter's second display keeps its
    # lock after a TERM): removed when no process holds them any more.
    local n
    for n in ${DT_X_DISPLAYS:-}; do
        if [[ -e /tmp/.X$n-lock ]] && ! kill -0 "$(tr -d '[:space:]' </tmp/.X$n-lock)" 2>/dev/null; then
            rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
        fi
    done
    if [[ ${DESKTOP_KEEP:-0} == 1 ]]; then dt_log "kept $DT_WORK"; else rm -rf "$DT_WORK"; fi
    exit "$rc"
}
trap dt_cleanup EXIT
trap 'exit 130' INT TERM

# dt_await SECONDS CMD... : retry CMD every 0.2 s until it succeeds
dt_await() {
    local secs=$1 i; shift
    for ((i = 0; i < secs * 5; i++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
    done
    return 1
}

# A runtime folder (0700) and a session bus of our own.
dt_runtime_and_bus() {
    # An X server that runs as another user would otherwise create the shared
    # socket folder as its own, and every other server then refuses it.
    [[ -d /tmp/.X11-unix ]] || mkdir -m 1777 /tmp/.X11-unix
    mkdir -m 700 "$DT_WORK/runtime"
    export XDG_RUNTIME_DIR=$DT_WORK/runtime
    export XDG_CONFIG_HOME=$DT_WORK/config XDG_DATA_HOME=$DT_WORK/data XDG_CACHE_HOME=$DT_WORK/cache XDG_STATE_HOME=$DT_WORK/state
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_STATE_HOME"
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
    dt_spawn bus dbus-daemon --session --nofork --address="unix:path=$XDG_RUNTIME_DIR/bus" --print-address=1
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    dt_await 10 dbus-send --session --dest=org.freedesktop.DBus --print-reply /org/freedesktop/DBus org.freedesktop.DBus.ListNames ||
        { dt_log "session bus did not start"; cat "$DT_WORK/bus.log" >&2; return 1; }
}

# A stand-in system bus (no services on it) for shells that insist on one
# (gnome-shell asks logind there); this machine has no system bus of its own.
dt_system_bus() {
    if [[ -S /run/dbus/system_bus_socket ]] && [[ ${DESKTOP_PRIVATE_SYSTEM_BUS:-1} == 0 ]]; then return 0; fi
    dt_spawn sysbus dbus-daemon --session --nofork --address="unix:path=$XDG_RUNTIME_DIR/system_bus" --print-address=1
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/system_bus"
    dt_await 10 test -S "$XDG_RUNTIME_DIR/system_bus"
}

dt_name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# The X11 display number that a compositor's Xwayland listens on, from its log
# ("Using public X11 display :N" for mutter) or the newest socket.
dt_find_xwayland() {
    local log=$1 d
    d=$(grep -oE 'X11 display :[0-9]+' "$log" 2>/dev/null | head -n1 | grep -oE ':[0-9]+')
    [[ -n $d ]] && { echo "$d"; return 0; }
    return 1
}

# The display of the Xwayland started by a compositor we spawned (its process
# group), from Xwayland's command line.
dt_xwayland_of() {
    local d
    d=$(ps -o args= -g "$1" 2>/dev/null | grep -oE '^[^ ]*Xwayland :[0-9]+' | grep -oE ':[0-9]+' | head -n1)
    [[ -n $d ]] && echo "$d"
}

# Export the session's variables and run the user's command (foreground).
dt_run_command() {
    export XDG_SESSION_TYPE=wayland
    # Stand-alone: leave the platform choice to Qt unless the caller sets it.
    dbus-update-activation-environment WAYLAND_DISPLAY ${DISPLAY:+DISPLAY} ${XAUTHORITY:+XAUTHORITY} XDG_RUNTIME_DIR XDG_SESSION_TYPE XDG_CURRENT_DESKTOP >/dev/null 2>&1
    cat >"$DT_WORK/env" <<ENV
export XDG_RUNTIME_DIR='$XDG_RUNTIME_DIR'
export WAYLAND_DISPLAY='${WAYLAND_DISPLAY:-}'
export DISPLAY='${DISPLAY:-}'
export XAUTHORITY='${XAUTHORITY:-}'
export DBUS_SESSION_BUS_ADDRESS='$DBUS_SESSION_BUS_ADDRESS'
export XDG_SESSION_TYPE=wayland
export XDG_CURRENT_DESKTOP='${XDG_CURRENT_DESKTOP:-}'
export XDG_CONFIG_HOME='$XDG_CONFIG_HOME' XDG_DATA_HOME='$XDG_DATA_HOME' XDG_CACHE_HOME='$XDG_CACHE_HOME'
export DESKTOP_KIND='$DESKTOP_KIND' DESKTOP_WORK='$DT_WORK'
ENV
    [[ -f $DT_WORK/env.extra ]] && cat "$DT_WORK/env.extra" >>"$DT_WORK/env"
    dt_log "ready: WAYLAND_DISPLAY=${WAYLAND_DISPLAY:-} DISPLAY=${DISPLAY:-} bus=$DBUS_SESSION_BUS_ADDRESS (env in $DT_WORK/env)"
    # In a process group of its own (ended with the desktop), waited for in
    # the background so that a TERM to this script tears everything down at once.
    setsid "$@" &
    local pid=$!
    DT_PGIDS+=("$pid")
    wait "$pid"
}
