#!/usr/bin/env bash
# The long soak: sensor-tool on eight emulated sensors (four on TCP, four on serial lines) whose lines drop,
# alter and insert bytes and pause, 1 % of the bytes sent, for 10 minutes (or SECONDS_OF_NOISE).
#   scripts/soak.sh [SECONDS_OF_NOISE]
# The same soak as the test sensortool_soak (about 30 s in CI, `ctest -L soak`), longer. It prints how each
# operation ended, the record lines checked, what the noise did and the record rate before and after the
# noise, and the memory of the emulators' process every minute; it ends 0 when the soak passed.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds=${1:-600}
install_missing
build_targets sensor-tool sensortool_soak_test
log=$(mktemp)
trap 'rm -f "$log"' EXIT
echo "Soaking for $seconds s of noise (and two clean record runs)..."
SOAK_SECONDS=$seconds SOAK_STRICT_FRAMES=1 QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/sensortool_soak_test" > "$log" 2>&1 &
soak=$!
start=$(date +%s)
while kill -0 $soak 2>/dev/null; do
    rss=$(awk '/^VmRSS/ {print $2, $3}' /proc/$soak/status 2>/dev/null || true)
    [ -n "$rss" ] && echo "  after $(( $(date +%s) - start )) s: the emulators' process holds $rss"
    for _ in $(seq 60); do kill -0 $soak 2>/dev/null || break; sleep 1; done
done
status=0
wait $soak || status=$?
grep -E 'record line .* is no frame|Failure|did not end' "$log" | head -n 20 || true
grep -E '^soak:' "$log" | grep -v 'is no frame' || true
if [ "$status" -eq 0 ]; then echo "The soak passed."; else echo "The soak failed (the lines above say where)."; fi
exit "$status"
