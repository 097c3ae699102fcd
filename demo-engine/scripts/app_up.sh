#!/usr/bin/env bash
# Starts the ZQT demo engine of this home folder in the background and returns once it answers /health.
# Reads ZQT_HOME, ZQT_STORAGE, ZQT_DB, ZQT_HOST, ZQT_PORT, ZQT_EXECUTION_MODE, ZQT_BROKER_MODE,
# ZQT_PUBLIC_PRICES, ZQT_SEED_DEMO, ZQT_START_MARKETING, ZQT_MARKETING_PORT, ZQT_START_PORTAL, ZQT_PORTAL_PORT
# (and ZQT_DEMO_SEED, ZQT_DEMO_TICK_MS, ZQT_DEMO_SESSION_S for reproducible tests); unset ones take the defaults
# below.
set -u
# The database, the logs and the engine's other files are the owner's alone.
umask 077

# A live process: exists and is not a zombie waiting to be reaped.
alive() {
    kill -0 "$1" 2>/dev/null || return 1
    local state
    state="$(sed -E 's/^[0-9]+ \(.*\) ([A-Za-z]).*/\1/' "/proc/$1/stat" 2>/dev/null)"
    [ "$state" != "Z" ]
}

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
home_dir="$(cd "$here/.." && pwd)"
export ZQT_HOME="${ZQT_HOME:-$home_dir}"
export ZQT_STORAGE="${ZQT_STORAGE:-$ZQT_HOME/storage}"
export ZQT_DB="${ZQT_DB:-$ZQT_STORAGE/db.sqlite}"
export ZQT_HOST="${ZQT_HOST:-127.0.0.1}"
export ZQT_PORT="${ZQT_PORT:-8000}"
export ZQT_EXECUTION_MODE="${ZQT_EXECUTION_MODE:-DRY_RUN}"
export ZQT_BROKER_MODE="${ZQT_BROKER_MODE:-SIM_BROKER}"
export ZQT_PUBLIC_PRICES="${ZQT_PUBLIC_PRICES:-1}"
export ZQT_SEED_DEMO="${ZQT_SEED_DEMO:-1}"
export ZQT_START_MARKETING="${ZQT_START_MARKETING:-1}"
export ZQT_MARKETING_PORT="${ZQT_MARKETING_PORT:-3000}"
export ZQT_START_PORTAL="${ZQT_START_PORTAL:-1}"
export ZQT_PORTAL_PORT="${ZQT_PORTAL_PORT:-3001}"

# The engine program: inside this home (bin/) or beside the scripts.
engine=""
for candidate in "$home_dir/bin/zqt-demo-engine" "$here/zqt-demo-engine"; do
    if [ -x "$candidate" ]; then
        engine="$candidate"
        break
    fi
done
if [ -z "$engine" ]; then
    echo "ZQT demo engine program not found (looked in $home_dir/bin and $here)."
    exit 1
fi

if [ "$ZQT_EXECUTION_MODE" = "LIVE" ]; then
    echo "Refusing to start: the demo engine cannot trade for real (ZQT_EXECUTION_MODE=LIVE); use DRY_RUN."
    exit 1
fi
if [ "$ZQT_BROKER_MODE" != "SIM_BROKER" ]; then
    echo "Refusing to start: the demo engine has no connection to broker '$ZQT_BROKER_MODE' (ZQT_BROKER_MODE); use SIM_BROKER."
    exit 1
fi

pid_file="$ZQT_STORAGE/web.pid"
logs="$ZQT_STORAGE/logs"
mkdir -p "$logs" || { echo "Cannot create $logs"; exit 1; }
for name in web worker rm1 marketing portal; do
    : >>"$logs/$name.log"
done

# True when the pid file names a live demo engine (not just any process that reuses the number).
engine_pid() {
    local pid
    [ -f "$pid_file" ] || return 1
    pid="$(tr -d ' \t\r\n' <"$pid_file" 2>/dev/null)" || return 1
    [[ "$pid" =~ ^[0-9]+$ ]] || return 1
    alive "$pid" || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q zqt-demo-engine || return 1
    echo "$pid"
}

if pid="$(engine_pid)"; then
    echo "ZQT demo engine already running (pid $pid); nothing changed."
    "$engine" --probe "$ZQT_STORAGE" 2>/dev/null | tail -n +2
    exit 0
fi

rm -f "$ZQT_STORAGE/runtime_ports.json" "$pid_file"
# Detached: its own session, no terminal, all output in the web log, so it outlives this script and whatever
# pipe the caller reads our output from.
setsid "$engine" </dev/null >>"$logs/web.log" 2>&1 &
started=$!

for _ in $(seq 1 100); do
    if ! alive "$started"; then
        wait "$started" 2>/dev/null
        echo "ZQT demo engine failed to start:"
        tail -n 3 "$logs/web.log"
        exit 1
    fi
    if [ -f "$ZQT_STORAGE/runtime_ports.json" ] && "$engine" --probe "$ZQT_STORAGE"; then
        exit 0
    fi
    sleep 0.1
done

echo "ZQT demo engine did not answer /health within 10 s (pid $started); see $logs/web.log."
exit 1
