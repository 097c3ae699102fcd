#!/usr/bin/env bash
# Checks the Debian packages end to end, as root:
#   1. builds them (scripts/package.sh) and runs lintian on them;
#   2. makes a fresh Debian 12 root with debootstrap from the machine's Debian mirror (from /etc/apt/sources.list*,
#      else deb.debian.org) and installs both packages into it with apt (no recommends: the dependencies alone
#      must do);
#   3. starts the program there the way the menu does (the installed launcher entry's Exec line) on a virtual X
#      display (Xvfb) and waits until its window shows, and until it has started the demo engine;
#   4. closes the program, stops the demo engine, purges both packages (apt-get purge --autoremove) and lists
#      what is left behind: the packages' own files, other system files, and the per-user files of the run.
# Usage: check-package.sh [--reuse]   (--reuse: take the .deb files already in dist/ instead of building)
# Prints a summary at the end; the full output of debootstrap and apt goes to dist/check-package.log.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

if [ "$(id -u)" -ne 0 ]; then
    exec sudo bash "$0" "$@"
fi
reuse=0
[ "${1:-}" = "--reuse" ] && reuse=1

dist="$repo/dist"
mkdir -p "$dist"
log="$dist/check-package.log"
: >"$log"
step() { echo "== $*"; }
fail() {
    echo "FAILED: $*"
    echo "(last lines of $log:)"
    tail -n 30 "$log" | sed 's/^/    /'
    exit 1
}

missing=()
for p in debootstrap lintian; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    step "Installing missing packages: ${missing[*]}"
    apt-get update >>"$log" 2>&1
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >>"$log" 2>&1
fi

# 1. Build and lintian.
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
if [ $reuse -eq 0 ] || [ ! -f "$dist/zqt-desktop_${version}_${arch}.changes" ]; then
    step "Building the packages (scripts/package.sh)"
    bash scripts/package.sh >>"$log" 2>&1 || fail "the package build"
fi
debs=("$dist/zqt-desktop_${version}_${arch}.deb" "$dist/zqt-demo-engine_${version}_${arch}.deb")
ls -l "${debs[@]}" | awk '{print "   ", $5, $9}'
step "lintian"
lintian_status=0
lintian --fail-on error,warning --display-level ">=warning" "$dist/zqt-desktop_${version}_${arch}.changes" \
    >"$dist/lintian.txt" 2>&1 || lintian_status=$?
sed 's/^/    /' "$dist/lintian.txt"
if [ $lintian_status -eq 0 ]; then
    echo "    lintian: no errors, no warnings (overrides: $(cat debian/*.lintian-overrides 2>/dev/null | grep -vc '^#' || true))"
else
    echo "    lintian: FAILED (exit $lintian_status)"
fi

# 2. A fresh Debian 12 root.
mirror=""
security=""
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    for uri in $(grep -hoE 'https?://[^ ]+' "$f" | grep -v '^#'); do
        uri=${uri%/}
        case "$uri" in
        */debian) [ -n "$mirror" ] || mirror=$uri ;;
        */debian-security) [ -n "$security" ] || security=$uri ;;
        esac
    done
done
mirror=${mirror:-http://deb.debian.org/debian}
security=${security:-http://deb.debian.org/debian-security}

root=$(mktemp -d /var/tmp/zqt-check-root.XXXXXX)
mounts=()
xvfb_pid=""
cleanup() {
    # Every process still running inside the root was started by this check.
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
    done
    sleep 0.5
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[$i]}" 2>/dev/null || umount -l "${mounts[$i]}" 2>/dev/null || true
    done
    # Only remove the root when nothing is mounted inside it any more.
    if ! grep -q " $root/" /proc/mounts; then
        rm -rf "$root"
    fi
}
trap cleanup EXIT
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

step "debootstrap bookworm (minbase) from $mirror"
mkdir -p "$dist/cache/debootstrap"
debootstrap --variant=minbase --cache-dir="$dist/cache/debootstrap" bookworm "$root" "$mirror" >>"$log" 2>&1 ||
    fail "debootstrap"
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount --bind /dev "$root/dev" && mounts+=("$root/dev")
mount --make-private "$root/dev"
mount -t tmpfs -o mode=1777 shm "$root/dev/shm" && mounts+=("$root/dev/shm")
mount -t sysfs sys "$root/sys" && mounts+=("$root/sys")
# Downloaded packages are kept between runs (the root itself is always new).
mkdir -p "$dist/cache/apt"
mount --bind "$dist/cache/apt" "$root/var/cache/apt/archives" && mounts+=("$root/var/cache/apt/archives")
mkdir -p "$root/var/cache/apt/archives/partial"

step "Installing the display tools into the root (Xvfb, xwininfo, xwd)"
in_root apt-get update >>"$log" 2>&1 || fail "apt-get update in the root"
DEBIAN_FRONTEND=noninteractive in_root apt-get install -y --no-install-recommends xvfb xauth x11-utils x11-apps \
    >>"$log" 2>&1 || fail "installing Xvfb in the root"

# The file list of the root, leaving out what apt, the kernel and the run itself change anyway.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp -o -path ./run \
        -o -path ./var/cache/apt -o -path ./var/lib/apt/lists -o -path ./var/log -o -path ./var/cache/debconf \
        -o -path ./var/lib/dpkg \) -prune -o -print | sed 's/^\.//' | LC_ALL=C sort)
}
snapshot >"$dist/root-before.txt"

step "apt-get install zqt-desktop zqt-demo-engine"
cp "${debs[@]}" "$root/tmp/"
DEBIAN_FRONTEND=noninteractive in_root apt-get install -y --no-install-recommends \
    "/tmp/$(basename "${debs[0]}")" "/tmp/$(basename "${debs[1]}")" >>"$log" 2>&1 || fail "installing the packages"
in_root dpkg-query -W -f='    ${Package} ${Version} ${db:Status-Abbrev}\n' zqt-desktop zqt-demo-engine
echo "    $(grep -cE '^(Setting up|Unpacking) ' "$log" | tr -d ' ') unpack/set-up steps in all (dependencies included)"
in_root dpkg -L zqt-desktop zqt-demo-engine | LC_ALL=C sort -u >"$dist/package-files.txt"
echo "    files shipped: $(wc -l <"$dist/package-files.txt")"
snapshot >"$dist/root-installed.txt"

# 3. Start from the menu entry.
entry=/usr/share/applications/org.zqt.DesktopControl.desktop
exec_line=$(sed -n 's/^Exec=//p' "$root$entry")
step "Starting '$exec_line' (the Exec line of $entry) on Xvfb"
in_root Xvfb :77 -screen 0 1280x800x24 -nolisten tcp >>"$log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do
    [ -S "$root/tmp/.X11-unix/X77" ] && break
    sleep 0.1
done
mkdir -p "$root/tmp/runtime-root" && chmod 700 "$root/tmp/runtime-root"
app_log="$dist/program.log"
# In a network namespace of its own (loopback only), so the demo engine it starts takes none of this machine's
# ports. The display is reached through its socket file.
# shellcheck disable=SC2086 # the Exec line is a command and its arguments
unshare --net -- sh -c 'ip link set lo up && exec "$@"' sh \
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 DISPLAY=:77 \
    XDG_RUNTIME_DIR=/tmp/runtime-root QTWEBENGINE_DISABLE_SANDBOX=1 \
    QT_LOGGING_RULES=qt.webenginecontext.info=false $exec_line >"$app_log" 2>&1 &
app_pid=$!
# The program's window: a viewable top-level window of that name at least 800 wide (Qt also names a hidden 1x1
# client leader window after the program).
main_window() {
    local id info
    for id in $(in_root xwininfo -display :77 -root -children 2>/dev/null |
        sed -nE 's/^ +(0x[0-9a-f]+) "ZQT Desktop Control.*/\1/p'); do
        info=$(in_root xwininfo -display :77 -id "$id" 2>/dev/null) || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        [ "$(sed -nE 's/^ +Width: ([0-9]+)/\1/p' <<<"$info")" -ge 800 ] || continue
        echo "$id \"$(sed -nE 's/^xwininfo: Window id: 0x[0-9a-f]+ "(.*)"$/\1/p' <<<"$info")\"" \
            "$(sed -nE 's/^ +-geometry (.*)/\1/p' <<<"$info")"
        return 0
    done
    return 1
}
shown=""
for _ in $(seq 1 240); do
    shown=$(main_window || true)
    [ -n "$shown" ] && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.5
done
window_ok=0
if [ -n "$shown" ]; then
    window_ok=1
    echo "    window shown: $shown"
    # Give the first paint a moment, then keep a picture of the screen.
    sleep 3
    if in_root xwd -display :77 -root -silent >"$dist/check-package-screen.xwd" 2>>"$log"; then
        if command -v convert >/dev/null && convert "xwd:$dist/check-package-screen.xwd" "$dist/check-package-screen.png" 2>>"$log"; then
            rm -f "$dist/check-package-screen.xwd"
            echo "    screen: $dist/check-package-screen.png"
        else
            echo "    screen: $dist/check-package-screen.xwd"
        fi
    fi
else
    echo "    the window did NOT show; the program's output:"
    sed 's/^/      /' "$app_log"
fi
engine_home=/root/.local/share/zqt/engine
if [ -f "$root$engine_home/.zqt-demo-home" ]; then
    echo "    demo engine home set up by the launcher in $engine_home"
else
    echo "    no demo engine home in $engine_home"
fi
engine_ok=0
for _ in $(seq 1 120); do
    if [ -f "$root$engine_home/storage/runtime_ports.json" ]; then
        engine_ok=1
        break
    fi
    sleep 0.5
done
if [ $engine_ok -eq 1 ]; then
    echo "    demo engine started by the program: $(tr -d '\n ' <"$root$engine_home/storage/runtime_ports.json")"
else
    echo "    the demo engine was not started within 60 s"
fi

# 4. Close, stop, purge, compare.
step "Closing the program, stopping the demo engine"
kill -TERM "$app_pid" 2>/dev/null || true
for _ in $(seq 1 100); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -x "$root$engine_home/scripts/app_down.sh" ]; then
    in_root bash -c "cd $engine_home && ZQT_HOME=$engine_home ./scripts/app_down.sh" | sed 's/^/    /'
fi
kill -TERM "$xvfb_pid" 2>/dev/null || true
wait "$xvfb_pid" 2>/dev/null || true

step "apt-get purge --autoremove zqt-desktop zqt-demo-engine"
DEBIAN_FRONTEND=noninteractive in_root apt-get purge -y --autoremove zqt-desktop zqt-demo-engine >>"$log" 2>&1 ||
    fail "purging the packages"
left_status=$(in_root dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' zqt-desktop zqt-demo-engine 2>/dev/null || true)
echo "    dpkg status now: ${left_status:-no record of either package}"
snapshot >"$dist/root-after.txt"
LC_ALL=C comm -13 "$dist/root-before.txt" "$dist/root-after.txt" >"$dist/left-behind.txt"
LC_ALL=C comm -23 "$dist/root-before.txt" "$dist/root-after.txt" >"$dist/gone.txt"
package_left=$(LC_ALL=C comm -12 "$dist/package-files.txt" "$dist/root-after.txt" |
    LC_ALL=C comm -13 "$dist/root-before.txt" - || true)
user_left=$(grep -E '^/root/' "$dist/left-behind.txt" || true)
other_left=$(grep -vE '^/root/' "$dist/left-behind.txt" || true)
# Each with where it comes from: made while the program ran (not there right after the install), or a folder of
# a dependency that its purge kept because something made during the run is inside, or else left by the
# dependencies' own install scripts.
run_made=$(LC_ALL=C comm -23 <(echo "$other_left") "$dist/root-installed.txt" | grep . || true)
other_notes=""
while IFS= read -r f; do
    [ -n "$f" ] || continue
    if grep -qxF -- "$f" <<<"$run_made"; then
        note="made while the program ran"
    elif grep -qF -- "$f/" <<<"$run_made"; then
        note="a dependency's folder, kept as it holds what the run made"
    else
        note="left by a dependency's install scripts"
    fi
    other_notes+="$f ($note)"$'\n'
done <<<"$other_left"
listing() {
    if [ -n "$2" ]; then
        echo "    $1:"
        sed 's/^/      /' <<<"$2"
    else
        echo "    $1: none"
    fi
}
listing "files of the packages left behind" "$package_left"
listing "other system files left behind" "${other_notes%$'\n'}"
if [ -s "$dist/gone.txt" ]; then
    echo "    system files gone since before the install:"
    sed 's/^/      /' "$dist/gone.txt"
fi
echo "    per-user files of the run (the program's preferences and web profile, the demo engine home;"
echo "    user data, which apt never removes): $(echo "$user_left" | grep -c . || true) under /root:"
echo "$user_left" | grep -E '^/root/(\.config/zqt|\.local/share/zqt|\.local/share/zqt-desktop|\.cache)$' |
    sed 's/^/      /' || true

step "Summary"
status=0
report() { printf '    %-44s %s\n' "$1" "$2"; }
[ $lintian_status -eq 0 ] && report "lintian" "clean" || { report "lintian" "FAILED"; status=1; }
report "installed with apt in a fresh Debian 12 root" "yes"
[ $window_ok -eq 1 ] && report "window shown" "yes" || { report "window shown" "NO"; status=1; }
[ $engine_ok -eq 1 ] && report "demo engine started" "yes" || { report "demo engine started" "NO"; status=1; }
[ -z "$package_left" ] && [ -z "$left_status" ] && report "purged without leftovers" "yes" ||
    { report "purged without leftovers" "NO"; status=1; }
exit $status
