#!/usr/bin/env bash
# Installs what is missing, builds, and starts the main job: the sensor emulator on loopback and a program
# connected to it through a settings file that points at the emulator.
#   scripts/run.sh [V15|V14|V33]     MorvalenV15 (default), MorvalenV14 or the OrvaneV33 scope
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build_tree

variant=${1:-V15}
case "$variant" in
    V15 | V14) program_name="Morvalen$variant" model=100 ;;
    V33) program_name="OrvaneV33" model=601 ;;
    *) echo "usage: scripts/run.sh [V15|V14|V33]" >&2; exit 2 ;;
esac
bin="$BUILD_DIR/bin"
port=${EMULATOR_PORT:-50123}

# The emulator answers on TCP and on a pseudo-terminal that the programs open as COM5.
"$bin/sensor-emulator" --model-code "$model" --tcp-port "$port" --link-com "$bin/COM5" \
    --dump "$bin/emulator-table.txt" > "$bin/emulator.log" &
emulator=$!
trap 'kill $emulator 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q '^link' "$bin/emulator.log" 2>/dev/null && break; sleep 0.1; done
if ! kill -0 $emulator 2>/dev/null; then
    echo "The sensor emulator did not start (is port $port in use? set EMULATOR_PORT)."
    exit 1
fi
sed 's/^/sensor-emulator: /' "$bin/emulator.log"

# First run: connect by TCP/IP to the emulator. Later runs keep what the user accepted.
[ -f "$bin/ComSettings.cfg" ] || printf '1\n5\n1\n127.0.0.1\n%s\n' "$port" > "$bin/ComSettings.cfg"

program="$bin/$program_name"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$program"
elif command -v xvfb-run >/dev/null; then
    echo "No display: running $program_name under Xvfb (nothing will be visible; close with Ctrl+C)."
    xvfb-run -a "$program"
else
    echo "No display: running $program_name offscreen (nothing will be visible; close with Ctrl+C)."
    QT_QPA_PLATFORM=offscreen "$program"
fi
[ "$variant" = V33 ] || echo "The emulator's compensation table memory is in $bin/emulator-table.txt"
