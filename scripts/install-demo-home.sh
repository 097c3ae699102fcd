#!/usr/bin/env bash
# Installs the built demo engine home (e.g. build/demo-engine-home) as the default engine home
# $HOME/.local/share/zqt/engine:
#   - no scripts/app_up.sh there yet: the demo home is copied in (an existing storage/ is kept);
#   - a demo home installed earlier (it holds the .zqt-demo-home marker): the program and the scripts are
#     replaced by the newly built ones, storage/ (database, logs) is left untouched;
#   - any other engine home: nothing is touched.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 <built demo engine home>" >&2
    exit 64
fi
src="$(cd "$1" && pwd)"
if [ ! -x "$src/bin/zqt-demo-engine" ] || [ ! -f "$src/scripts/app_up.sh" ] || [ ! -f "$src/.zqt-demo-home" ]; then
    echo "Not a built demo engine home: $src" >&2
    exit 1
fi
if [ -z "${HOME:-}" ]; then
    echo "HOME is not set; cannot find the default engine home." >&2
    exit 1
fi
dest="$HOME/.local/share/zqt/engine"

# Replaces one file atomically (a running engine keeps its old program file; the new one is used on next start).
install_file() {
    local from="$1" to="$2"
    mkdir -p "$(dirname "$to")"
    cp "$from" "$to.new.$$"
    chmod "$(stat -c %a "$from")" "$to.new.$$"
    mv -f "$to.new.$$" "$to"
}

if [ -e "$dest/scripts/app_up.sh" ] && [ ! -f "$dest/.zqt-demo-home" ]; then
    echo "Engine home $dest holds another engine; left untouched."
    exit 0
fi

if [ -e "$dest/scripts/app_up.sh" ]; then
    action="Updated the demo engine program and scripts in $dest (storage kept)."
else
    action="Installed the demo engine home in $dest."
fi
# The marker first and the start script last: an interrupted install is still recognised as ours next time.
install_file "$src/.zqt-demo-home" "$dest/.zqt-demo-home"
install_file "$src/bin/zqt-demo-engine" "$dest/bin/zqt-demo-engine"
install_file "$src/scripts/app_down.sh" "$dest/scripts/app_down.sh"
install_file "$src/scripts/app_up.sh" "$dest/scripts/app_up.sh"
mkdir -p "$dest/storage"
echo "$action"
