#!/usr/bin/env bash
# Installs the program into a temporary prefix and validates what lands there: the launcher entry, the AppStream
# metadata and the hicolor icons. Usage: check-desktop-files.sh <build dir>
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.zqt.DesktopControl
test -x "$prefix/bin/zqt-desktop"
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
test -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
for size in 16 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
    test -s "$png" || { echo "missing $png" >&2; exit 1; }
    # The PNG header carries width and height as big-endian 32-bit numbers at bytes 16 and 20.
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || { echo "$png is ${w}x${h}" >&2; exit 1; }
done
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop"
echo "desktop files valid"
