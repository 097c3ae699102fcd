#!/usr/bin/env bash
# Stops the ZQT demo engine of this home folder: TERM, then KILL if it has not exited after 5 s.
set -u

# A live process: exists and is not a zombie waiting to be reaped.
alive() {
    kill -0 "$1" 2>/dev/null || return 1
    local state
    state="$(sed -E 's/^[0-9]+ \(.*\) ([A-Za-z]).*/\1/' "/proc/$1/stat" 2>/dev/null)"
    [ "$state" != "Z" ]
}

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export ZQT_HOME="${ZQT_HOME:-$(cd "$here/.." && pwd)}"
storage="$ZQT_HOME/storage"
pid_file="$storage/web.pid"

if [ ! -f "$pid_file" ]; then
    echo "ZQT demo engine is not running (no pid file)."
    exit 0
fi
pid="$(tr -d ' \t\r\n' <"$pid_file" 2>/dev/null)"
if ! [[ "$pid" =~ ^[0-9]+$ ]] || ! alive "$pid"; then
    rm -f "$pid_file"
    echo "ZQT demo engine is not running; removed the stale pid file."
    exit 0
fi
# Never signal a process that only reuses the number.
if ! tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q zqt-demo-engine; then
    rm -f "$pid_file"
    echo "Process $pid is not the ZQT demo engine; removed the stale pid file and stopped nothing."
    exit 0
fi

kill -TERM "$pid"
for _ in $(seq 1 50); do
    alive "$pid" || break
    sleep 0.1
done
if alive "$pid"; then
    kill -KILL "$pid" 2>/dev/null
    echo "ZQT demo engine (pid $pid) did not stop within 5 s; killed it."
else
    echo "ZQT demo engine (pid $pid) stopped."
fi
rm -f "$pid_file"
exit 0
