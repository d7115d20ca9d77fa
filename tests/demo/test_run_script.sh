#!/usr/bin/env bash
# scripts/run.sh as a person sees it on a machine where everything is installed: one line per step and
# nothing else, not a line of the package installation, the build or a Qt warning (no XDG_RUNTIME_DIR, no
# display: the demo's Xvfb is a stand-in that runs the program offscreen for a few seconds). And where an
# installation fails: one line, then the end of the installation's log and what failed, nothing more.
#   test_run_script.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
root=$1 build=$2
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_checks.sh" run-script

mkdir -p "$work/fakebin"
cat > "$work/fakebin/xvfb-run" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = -a ] && shift
QT_QPA_PLATFORM=offscreen timeout 4 "$@"
exit 0
FAKE
chmod +x "$work/fakebin/xvfb-run"

packages=$(bash -c "source '$root/scripts/common.sh'; echo \${#PACKAGES[@]}")
port=$((43000 + $$ % 8000))
env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM PATH="$work/fakebin:$PATH" \
    BUILD_DIR="$build" DEMO_DIR="$work/demo" EMULATOR_PORT=$port \
    bash "$root/scripts/run.sh" V33 > "$work/run.out" 2>&1
code=$?
[ "$code" -eq 0 ] || fail "run.sh ended with exit code $code"
expected="The $packages Debian packages needed are installed.
Building OrvaneV33 and sensor-emulator in $build (the first time takes a few minutes)...
Starting the sensor emulator (TCP port $port on 127.0.0.1, serial line $work/demo/OrvaneV33/COM5)...
No display: running OrvaneV33 under Xvfb (nothing will be visible; close with Ctrl+C)."
[ "$(cat "$work/run.out")" = "$expected" ] ||
    fail "run.sh said:
$(cat "$work/run.out")
instead of:
$expected"

# An installation that fails: apt's lines stay in the log, and only its end is shown.
mkdir -p "$work/aptbin"
cat > "$work/aptbin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
exit 1
FAKE
cat > "$work/aptbin/apt-get" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = update ] && exit 0
for i in $(seq 300); do echo "Unpacking package-$i ..."; done
echo "E: Unable to locate package qt6-base-dev"
exit 100
FAKE
cat > "$work/aptbin/sudo" <<'FAKE'
#!/usr/bin/env bash
[ "$1" = -v ] && exit 0
exec "$@"
FAKE
chmod +x "$work/aptbin"/*
PATH="$work/aptbin:$PATH" BUILD_DIR="$work/fresh" bash "$root/scripts/run.sh" V33 > "$work/fail.out" 2>&1
code=$?
[ "$code" -eq 1 ] || fail "a failed installation ended run.sh with exit code $code"
log=$work/fresh/install.log
[ "$(head -n1 "$work/fail.out")" = "Installing $packages Debian packages (apt's output goes to $log)..." ] ||
    fail "the installation's line: $(head -n1 "$work/fail.out")"
[ "$(tail -n2 "$work/fail.out" | head -n1)" = "E: Unable to locate package qt6-base-dev" ] ||
    fail "the log's end is not shown: $(tail -n3 "$work/fail.out")"
[ "$(tail -n1 "$work/fail.out")" = "Installing the Debian packages failed (the end of $log is above)." ] ||
    fail "the last line: $(tail -n1 "$work/fail.out")"
[ "$(wc -l < "$work/fail.out")" -eq 27 ] || fail "$(wc -l < "$work/fail.out") lines shown, not 1 + 25 + 1"
grep -q '^Unpacking package-1 ...$' "$log" || fail "apt's first lines are not in $log"
finish
