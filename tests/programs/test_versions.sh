#!/usr/bin/env bash
# Every program of the build answers --version with one line on standard output: its name, the version of
# the package's changelog, the commit and the day of the build. Without a display, a desktop session or
# Qt's platform variable: the window programs answer before they start any window.
#   test_versions.sh BUILD_DIR CHANGELOG
set -uo pipefail
build=$1 changelog=$2
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_checks.sh" versions

# "colour-sensor-tools (1.0-1) unstable; ..." -> 1.0
version=$(sed -n '1s/^colour-sensor-tools (\([^-)]*\)-[0-9]*).*/\1/p' "$changelog")
[ -n "$version" ] || fail "no version in the first line of $changelog"
for program in MorvalenV15 MorvalenV14 OrvaneV33 RecordViewer sensor-tool sensor-emulator; do
    env -i PATH=/usr/bin:/bin HOME="$work" "$build/bin/$program" --version > "$work/out" 2> "$work/err"
    code=$?
    [ "$code" -eq 0 ] || fail "$program --version ended with exit code $code"
    [ ! -s "$work/err" ] || fail "$program --version wrote to the error stream: $(cat "$work/err")"
    [ "$(wc -l < "$work/out")" -eq 1 ] || fail "$program --version wrote $(wc -l < "$work/out") lines"
    line=$(cat "$work/out")
    [[ $line =~ ^$program\ $version\ \(commit\ ([0-9a-f]{10}|unknown),\ built\ 20[0-9]{2}-[01][0-9]-[0-3][0-9]\)$ ]] ||
        fail "$program --version said: $line"
    echo "$line"
done
finish
