#!/usr/bin/env bash
# Installs what is missing, builds the program and the sensor emulator (nothing else: scripts/test.sh
# builds the tests), then starts the demo (scripts/demo.sh): the emulator on loopback and the program
# connected to it.
#   scripts/run.sh [V15|V14|V33]     MorvalenV15 (default), MorvalenV14 or the OrvaneV33 scope
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

variant=${1:-V15}
demo_variant "$variant" scripts/run.sh

install_missing
echo "Building $program_name and sensor-emulator in $BUILD_DIR (the first time takes a few minutes)..."
build_targets sensor-emulator "$program_name"

exec bash "$ROOT/scripts/demo.sh" "$variant"
