#!/usr/bin/env bash
# Builds the Debian packages zqt-desktop and zqt-demo-engine from this checkout and writes them to dist/:
#   dist/zqt-desktop_<version>_<arch>.deb, dist/zqt-demo-engine_<version>_<arch>.deb (and the .changes and
#   .buildinfo files of the build).
# Installs the packaging tools and the build dependencies of debian/control first, only those missing.
# The build runs in a copy of the tracked (and untracked, not ignored) files under dist/build/, so the checkout
# itself stays clean.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
apt_install() {
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "$@"
}

tools=(dpkg-dev debhelper fakeroot build-essential git)
missing=()
for p in "${tools[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing missing packages: ${missing[*]}"
    apt_install "${missing[@]}"
fi
if ! dpkg-checkbuilddeps >/dev/null 2>&1; then
    echo "Installing the missing build dependencies of debian/control"
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get build-dep -y --no-install-recommends ./
fi

# The version lives in CMakeLists.txt (project(... VERSION ...)); debian/changelog must name the same one.
bash scripts/check-version.sh
version=$(dpkg-parsechangelog -S Version)

dist="$root/dist"
stage="$dist/build/zqt-desktop-$version"
rm -rf "$dist/build"
mkdir -p "$stage"
git ls-files -z --cached --others --exclude-standard | xargs -0 -r tar -cf - --no-recursion --ignore-failed-read | tar -xf - -C "$stage"

# Use ccache when the machine has it (CMake reads these variables); the packaging itself does not need it.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
(cd "$stage" && nice dpkg-buildpackage -b -us -uc -j"$(nproc)")

arch=$(dpkg-architecture -qDEB_HOST_ARCH)
for f in "zqt-desktop_${version}_${arch}.deb" "zqt-demo-engine_${version}_${arch}.deb" \
    "zqt-desktop_${version}_${arch}.changes" "zqt-desktop_${version}_${arch}.buildinfo"; do
    mv -f "$dist/build/$f" "$dist/$f"
done
rm -rf "$dist/build"
echo "Packages written to $dist:"
ls -l "$dist"/*.deb
