#!/usr/bin/env bash
# The logs view following a log that grows by RATE lines a second (10,000) for SECONDS (60), offscreen, and
# beside it `tail -f | grep` on the same file as the anchor for CPU. Prints the view's figures (longest UI-thread
# block, resident memory growth, CPU share of one core) and the CPU share of tail and grep together.
#   bash bench/logs/follow-bench.sh [SECONDS] [RATE] [FILTER]   (FILTER "order" by default; "" shows every line)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
rate="${2:-10000}"
filter="${3-order}"

cmake --preset bench >/dev/null
cmake --build --preset bench --target bench_follow_logs >/dev/null
bench="$PWD/build-bench/bench/logs/bench_follow_logs"

work="$(mktemp -d "${ZQT_BENCH_DIR:-${TMPDIR:-/tmp}}/zqt-follow-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
engine="$work/engine"
mkdir -p "$engine/scripts" "$engine/storage/logs"
printf '#!/usr/bin/env bash\necho up\n' > "$engine/scripts/app_up.sh"
chmod +x "$engine/scripts/app_up.sh"
log="$engine/storage/logs/web.log"
"$bench" --write "$log" --rate 1000 --seconds 1 >/dev/null # a first tail to show

QT_QPA_PLATFORM=offscreen "$bench" --view "$engine" --seconds "$seconds" --filter "$filter" > "$work/view.txt" &
view=$!
"$bench" --write "$log" --rate "$rate" --seconds "$seconds" > "$work/writer.txt" &
writer=$!
# The anchor on the same lines: tail ends by itself once the writer has ended, grep at its end of input.
/usr/bin/time -f "%U %S" -o "$work/tail.txt" tail -n 0 -f --pid="$writer" "$log" |
    /usr/bin/time -f "%U %S" -o "$work/grep.txt" grep -i "$filter" > /dev/null
wait "$writer"
wait "$view"
cat "$work/writer.txt" "$work/view.txt"
read -r tu ts < "$work/tail.txt"
read -r gu gs < "$work/grep.txt"
awk -v tu="$tu" -v ts="$ts" -v gu="$gu" -v gs="$gs" -v s="$seconds" -v f="$filter" 'BEGIN {
    printf "anchor: tail -f | grep -i %s: tail %.2f s, grep %.2f s of CPU over %d s = %.1f %% of one core\n",
        f, tu + ts, gu + gs, s, 100 * (tu + ts + gu + gs) / s }'
