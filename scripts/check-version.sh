#!/usr/bin/env bash
# The version is set in one place, CMakeLists.txt's project(... VERSION ...). debian/changelog (the package
# version) and the AppStream metadata's newest release must name the same one; this fails when they do not.
# To release a new version: change CMakeLists.txt, then `dch -v <version>` and add a <release> to the metadata.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake_version=$(sed -nE 's/^project\([^)]*VERSION ([0-9][0-9.]*).*/\1/p' CMakeLists.txt)
changelog_version=$(dpkg-parsechangelog -l debian/changelog -S Version)
metainfo_version=$(sed -nE 's/.*<release version="([^"]+)".*/\1/p' window/desktop/org.zqt.DesktopControl.metainfo.xml | head -n 1)
if [ -z "$cmake_version" ]; then
    echo "No project(... VERSION ...) found in CMakeLists.txt" >&2
    exit 1
fi
status=0
if [ "$changelog_version" != "$cmake_version" ]; then
    echo "debian/changelog is at $changelog_version but CMakeLists.txt at $cmake_version: run dch -v $cmake_version" >&2
    status=1
fi
if [ "$metainfo_version" != "$cmake_version" ]; then
    echo "The AppStream metadata's newest release is $metainfo_version but CMakeLists.txt is at $cmake_version" >&2
    status=1
fi
[ $status -eq 0 ] && echo "version $cmake_version in CMakeLists.txt, debian/changelog and the AppStream metadata"
exit $status
