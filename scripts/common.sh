# Shared by the scripts: installs what is missing (Debian, as root or with sudo) and builds the tree.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}

# Everything the build, the tests and the demo need that a minimal Debian image lacks. qt6-tools-dev's UiTools
# needs libqt6opengl6-dev, which apt only recommends, and recommends are not installed here. The Debian
# package needs dpkg-shlibdeps (dpkg-dev) and file, with which CPack finds the programs' libraries; its
# test checks the menu entries with desktop-file-validate and the whole package with lintian; help2man
# makes the manual pages of the command-line tools from their --help. ser2net stands between a test and
# the emulator's serial line as a serial-to-Ethernet server does between the programs and a sensor. The
# end-to-end journeys drive the programs on Xvfb with xdotool and keep a screenshot of a failure (xwd, in
# x11-apps). The package test checks the programs' hardening with hardening-check (devscripts).
PACKAGES=(build-essential cmake qt6-base-dev qt6-tools-dev qt6-serialport-dev libqt6opengl6-dev
          libgl-dev libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth fonts-dejavu-core
          dpkg-dev file desktop-file-utils lintian devscripts help2man ser2net
          xdotool x11-apps qt6-svg-dev)

# Installs what is missing, saying so in one line; apt's own lines (several hundred on a fresh machine) go
# to $BUILD_DIR/install.log, whose end is shown when the installation fails.
install_missing() {
    local missing=() p
    for p in "${PACKAGES[@]}"; do
        # A removed package can leave its status behind ("deinstall ok config-files"); only this counts.
        [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" = "install ok installed" ] || missing+=("$p")
    done
    if [ ${#missing[@]} -eq 0 ]; then
        if [ ${#PACKAGES[@]} -eq 1 ]; then
            echo "The Debian package needed is installed."
        else
            echo "The ${#PACKAGES[@]} Debian packages needed are installed."
        fi
        return 0
    fi
    mkdir -p "$BUILD_DIR"
    local log=$BUILD_DIR/install.log sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo=sudo
        sudo -v || exit 1  # the password question, if any, before the output goes to the log
    fi
    echo "Installing ${#missing[@]} Debian packages (apt's output goes to $log)..."
    echo "Installing: ${missing[*]}" > "$log"
    if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq \
            --no-install-recommends "${missing[@]}"; } >> "$log" 2>&1; then
        tail -n 25 "$log" >&2
        echo "Installing the Debian packages failed (the end of $log is above)." >&2
        exit 1
    fi
}

# Configures the tree in $BUILD_DIR. Quiet unless it fails.
configure_tree() {
    if ! cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null; then
        echo "Configuring the build failed (the reason is above). A missing library's Debian package can be" >&2
        echo "found with: apt-file search <file CMake looked for>; add it to PACKAGES in scripts/common.sh." >&2
        exit 1
    fi
}

# Builds everything: programs, tools, tests and benchmarks, quietly as build_targets does.
build_tree() {
    echo "Building everything in $BUILD_DIR (the first time takes a while)..."
    build_targets all
}

# Builds the named targets only. The compiler's lines go to $BUILD_DIR/build.log; a terminal sees the
# build's progress in one line, and a failure shows the end of the log.
build_targets() {
    configure_tree
    local log=$BUILD_DIR/build.log status
    set +e
    cmake --build "$BUILD_DIR" -j"$JOBS" --target "$@" 2>&1 | tee "$log" | show_progress
    status=${PIPESTATUS[0]}
    set -e
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log" >&2
        echo "The build failed (the reason is above; the whole log is $log)." >&2
        exit 1
    fi
}

# The "[ 42%]" of each build line, over and over in one terminal line; nothing when not on a terminal.
show_progress() {
    local line
    while IFS= read -r line; do
        [ -t 1 ] && [[ $line == "["*"%]"* ]] && printf '\r  %s' "${line%%]*}]"
    done
    [ -t 1 ] && printf '\r\033[K'
    return 0
}

# The demo program a variant names (V15, V14, V33) and the model code its emulator answers with: sets
# program_name and model, or ends the script with the usage of `script`.
demo_variant() {
    local variant=$1 script=$2
    case "$variant" in
        V15 | V14) program_name="Morvalen$variant" model=100 ;;
        V33) program_name="OrvaneV33" model=601 ;;
        *) echo "usage: $script [V15|V14|V33]" >&2; exit 2 ;;
    esac
}
