#!/usr/bin/env bash
# Installs what is missing, builds Release and launches the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
if [ -x scripts/install-demo-home.sh ]; then
    bash scripts/install-demo-home.sh build/demo-engine-home
fi
# QtWebEngine refuses to start as root unless its sandbox is off.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
export QT_LOGGING_RULES="${QT_LOGGING_RULES:-qt.webenginecontext.info=false}"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running on a virtual X server (xvfb-run)."
    exec xvfb-run -a -s "-screen 0 1400x900x24" build/zqt-desktop
fi
exec build/zqt-desktop
