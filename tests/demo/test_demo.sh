#!/usr/bin/env bash
# The demo of scripts/run.sh on this build tree, twice on different emulator ports: each run's program
# connects to the emulator that run started, through settings in the demo's own directory, and the
# settings of the programs started by hand (bin/ComSettings.cfg) stay as they were. Without a display
# the demo uses xvfb-run; a stand-in for it runs the program offscreen with a frame log until the program has the
# sensor's version.
#   test_demo.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
root=$1 build=$2
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_checks.sh" demo

mkdir -p "$work/fakebin"
cat > "$work/fakebin/xvfb-run" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = -a ] && shift
# What the program is given: its directory and the serial line linked there.
echo "$COLOUR_SENSOR_PROGRAM_DIR $(readlink "$COLOUR_SENSOR_PROGRAM_DIR/COM5")" > "$SEEN"
QT_QPA_PLATFORM=offscreen "$@" &
program=$!
# It runs until it has the sensor's version in its frame log, what the test looks for, or ends (20 s at most).
for _ in $(seq 200); do
    grep -q ' RX .* version$' "$COLOUR_SENSOR_FRAME_LOG" 2>/dev/null && break
    kill -0 $program 2>/dev/null || break
    sleep 0.1
done
kill $program 2>/dev/null
wait $program 2>/dev/null
exit 0
FAKE
chmod +x "$work/fakebin/xvfb-run"

hand_made() { cat "$build/bin/ComSettings.cfg" 2>/dev/null || echo "(none)"; }
before=$(hand_made)
base=$((41000 + $$ % 8000))
for port in $base $((base + 1)); do
    env -u DISPLAY -u WAYLAND_DISPLAY PATH="$work/fakebin:$PATH" BUILD_DIR="$build" DEMO_DIR="$work/demo" \
        EMULATOR_PORT=$port COLOUR_SENSOR_FRAME_LOG="$work/frames-$port.log" SEEN="$work/seen-$port" \
        bash "$root/scripts/demo.sh" V33 > "$work/demo-$port.log" 2>&1 ||
        fail "the demo on port $port failed: $(cat "$work/demo-$port.log")"
    grep -q "^[0-9.]* RX 127.0.0.1:$port .* version$" "$work/frames-$port.log" 2>/dev/null ||
        fail "the program did not get the version from the emulator on port $port: $(head -c 400 "$work/frames-$port.log")"
    [ "$(sed -n 5p "$work/demo/OrvaneV33/ComSettings.cfg")" = "$port" ] || fail "the demo's settings name another port"
    read -r dir com5 < "$work/seen-$port"
    [ "$dir" = "$work/demo/OrvaneV33" ] || fail "the program ran with the program directory '$dir'"
    [[ $com5 == /dev/pts/* ]] || fail "COM5 of the demo's directory is no link to the emulator's line: '$com5'"
done
[ "$(hand_made)" = "$before" ] || fail "the demo changed $build/bin/ComSettings.cfg"
finish
