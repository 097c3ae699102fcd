#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need, only when some are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev
    libcpp-httplib-dev libsqlite3-dev nlohmann-json3-dev libsimdjson-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    xvfb xauth imagemagick x11-apps dbus-daemon
    fonts-dejavu-core adwaita-icon-theme libqt6svg6 procps
    desktop-file-utils appstream libxcb1-dev
    man-db groff-base dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
