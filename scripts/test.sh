#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_missing
build_tree
cd "$BUILD_DIR"
echo "Running the test suite (CTest, offscreen)..."
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$JOBS" --timeout 120
