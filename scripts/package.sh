#!/usr/bin/env bash
# Installs what is missing, builds the programs in their own build tree (Release, without tests and
# benchmarks) and makes the Debian package of them with CPack. Prints the package's path.
#   scripts/package.sh            the package lands in build-package/
#   BUILD_DIR_PACKAGE=dir scripts/package.sh   another build tree
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD_DIR=${BUILD_DIR_PACKAGE:-$ROOT/build-package}
[ -n "${1:-}" ] && { echo "usage: scripts/package.sh (no arguments; BUILD_DIR_PACKAGE=dir to choose the build tree)" >&2; exit 2; }
install_missing
if ! cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF \
        > /dev/null; then
    echo "Configuring the build failed (the reason is above)." >&2
    exit 1
fi
cmake --build "$BUILD_DIR" -j"$JOBS"
rm -f "$BUILD_DIR"/colour-sensor-tools_*.deb
(cd "$BUILD_DIR" && cpack -G DEB > cpack.log 2>&1) || { cat "$BUILD_DIR/cpack.log" >&2; exit 1; }
deb=$(echo "$BUILD_DIR"/colour-sensor-tools_*.deb)
echo "Built $deb"
echo "Install it with: sudo apt install $deb"
