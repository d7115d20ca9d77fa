#!/usr/bin/env bash
# Starts the demo on a tree that scripts/run.sh built: the sensor emulator on loopback and the program
# connected to it.
#   scripts/demo.sh [V15|V14|V33]     EMULATOR_PORT (default 50123), DEMO_DIR (default build/demo)
# The demo keeps its files apart from the user's: the program runs with $DEMO_DIR/<program> as its
# program directory, whose settings point at the emulator of this run, every run. build/bin/ComSettings.cfg,
# the settings of the programs started by hand, is never read or written here.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

variant=${1:-V15}
demo_variant "$variant" scripts/demo.sh
port=${EMULATOR_PORT:-50123}
bin="$BUILD_DIR/bin"
for built in sensor-emulator "$program_name"; do
    [ -x "$bin/$built" ] || { echo "$bin/$built is not built: scripts/run.sh $variant builds it." >&2; exit 1; }
done
demo=${DEMO_DIR:-$BUILD_DIR/demo}
dir="$demo/$program_name"
mkdir -p "$dir"

# The emulator answers on TCP and on a pseudo-terminal that the program opens as COM5.
echo "Starting the sensor emulator (TCP port $port on 127.0.0.1, serial line $dir/COM5)..."
"$bin/sensor-emulator" --model-code "$model" --tcp-port "$port" --link-com "$dir/COM5" \
    --dump "$demo/emulator-table.txt" > "$demo/emulator.log" &
emulator=$!
trap 'kill $emulator 2>/dev/null || true' EXIT
# Its last start-up line names the version it answers with; what it says is in emulator.log.
for _ in $(seq 50); do grep -q '^version' "$demo/emulator.log" 2>/dev/null && break; sleep 0.1; done
if ! kill -0 $emulator 2>/dev/null; then
    echo "The sensor emulator did not start (is port $port in use? set EMULATOR_PORT):"
    sed 's/^/  /' "$demo/emulator.log"
    exit 1
fi

# Every run connects by TCP/IP to this run's emulator, whatever an earlier run or the user left here.
printf '1\n5\n1\n127.0.0.1\n%s\n' "$port" > "$dir/ComSettings.cfg"

program="$bin/$program_name"
export COLOUR_SENSOR_PROGRAM_DIR="$dir"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting $program_name; its window opens in a moment (close it to end the demo)."
    "$program"
elif command -v xvfb-run >/dev/null; then
    echo "No display: running $program_name under Xvfb (nothing will be visible; close with Ctrl+C)."
    xvfb-run -a "$program"
else
    echo "No display: running $program_name offscreen (nothing will be visible; close with Ctrl+C)."
    QT_QPA_PLATFORM=offscreen "$program"
fi
[ "$variant" = V33 ] || echo "The emulator's compensation table memory is in $demo/emulator-table.txt"
