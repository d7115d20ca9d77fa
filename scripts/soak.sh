#!/usr/bin/env bash
# The long soak, on lines that drop, alter and insert bytes and pause, 1 % of the bytes sent, for 10 minutes
# (or SECONDS_OF_NOISE), two soaks side by side:
#  - sensor-tool on eight emulated sensors (four on TCP, four on serial lines), as the test sensortool_soak;
#  - the scope's window worked through its buttons (Go and Stop, a record in each mode, Send and Get), half
#    the time on TCP and half on a serial line, as the test scope_soak.
#   scripts/soak.sh [SECONDS_OF_NOISE]
# The tests run about 30 s in CI (`ctest -L soak`); here they run longer. It prints how each operation ended,
# the record lines checked, what the noise did, the record rate before and after the noise, and the memory of
# each soak's process every minute; it ends 0 when both soaks passed.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds=${1:-600}
install_missing
build_targets sensor-tool sensortool_soak_test scope_soak_test
tool_log=$(mktemp)
window_log=$(mktemp)
trap 'rm -f "$tool_log" "$window_log"' EXIT
echo "Soaking for $seconds s of noise (and two clean record runs)..."
SOAK_SECONDS=$seconds SOAK_STRICT_FRAMES=1 QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/sensortool_soak_test" \
    > "$tool_log" 2>&1 &
tool=$!
SOAK_SECONDS=$seconds QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/scope_soak_test" > "$window_log" 2>&1 &
window=$!
rss() { awk '/^VmRSS/ {print $2, $3}' "/proc/$1/status" 2>/dev/null || true; }
start=$(date +%s)
while kill -0 $tool 2>/dev/null || kill -0 $window 2>/dev/null; do
    report="  after $(( $(date +%s) - start )) s:"
    r=$(rss $tool)
    [ -n "$r" ] && report+=" sensor-tool's emulators hold $r;"
    r=$(rss $window)
    [ -n "$r" ] && report+=" the window holds $r"
    echo "$report"
    for _ in $(seq 60); do
        kill -0 $tool 2>/dev/null || kill -0 $window 2>/dev/null || break
        sleep 1
    done
done
status=0
wait $tool || status=$?
wait $window || status=$?
for log in "$tool_log" "$window_log"; do
    grep -E 'record line .* is no frame|record line of bytes|Failure|did not end|took .* s$' -A3 "$log" \
        | head -n 40 || true
    grep -E '^soak:' "$log" | grep -v 'is no frame' || true
done
if [ "$status" -eq 0 ]; then echo "The soak passed."; else echo "The soak failed (the lines above say where)."; fi
exit "$status"
