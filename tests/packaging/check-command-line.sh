#!/usr/bin/env bash
# Runs the program with each command line of the table below, with no display (DISPLAY unset, the xcb platform
# forced: a window would abort the program), in an empty HOME, and checks its exit status and output and that
# it wrote no file. Usage: check-command-line.sh <zqt-desktop binary> <project version>
set -uo pipefail
program=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
# arguments | exit status | regex stdout must match | regex stderr must match ("" = must be empty)
cases=(
    "--version|0|^zqt-desktop ${version//./\\.}\$|"
    "-v|0|^zqt-desktop ${version//./\\.}\$|"
    "--help|0|^Usage: .*zqt-desktop \\[options\\]|"
    "-h|0|--version|"
    "--help-all|1||Unknown option 'help-all'"
    "--bogus|1||Unknown option 'bogus'"
    "-platform offscreen|1||Unknown option 'platform'"
    "engine-home|1||takes no arguments besides --help and --version"
    "--|1||takes no arguments besides --help and --version"
)
for row in "${cases[@]}"; do
    IFS='|' read -r args want_status want_out want_err <<<"$row"
    home="$work/home"
    rm -rf "$home" && mkdir -p "$home"
    # shellcheck disable=SC2086 # the arguments are split on purpose
    env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb \
        ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" \
        "$program" $args >"$work/out" 2>"$work/err"
    status=$?
    problems=()
    [ "$status" = "$want_status" ] || problems+=("exit status $status, expected $want_status")
    if [ -n "$want_out" ]; then
        grep -qE -- "$want_out" "$work/out" || problems+=("stdout does not match /$want_out/")
    else
        [ ! -s "$work/out" ] || problems+=("stdout not empty")
    fi
    if [ -n "$want_err" ]; then
        grep -qF -- "$want_err" "$work/err" || problems+=("stderr does not hold '$want_err'")
    else
        [ ! -s "$work/err" ] || problems+=("stderr not empty")
    fi
    written=$(find "$home" -mindepth 1 | head -n 5)
    [ -z "$written" ] || problems+=("wrote files: $written")
    if [ ${#problems[@]} -gt 0 ]; then
        failures=$((failures + 1))
        echo "FAIL zqt-desktop $args:"
        printf '    %s\n' "${problems[@]}"
        sed 's/^/    stdout: /' "$work/out"
        sed 's/^/    stderr: /' "$work/err"
    else
        echo "ok   zqt-desktop $args"
    fi
done
exit $((failures > 0))
