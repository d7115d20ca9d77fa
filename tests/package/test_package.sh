#!/usr/bin/env bash
# Builds the Debian package of a build tree, unpacks it into a temporary root and checks what it holds:
# runtime dependencies only, no tests or tools, menu entries with their programs and icons, copyright,
# changelog and manual pages, no error in lintian's eyes, and every program hardened (hardening-check). Then starts each named program from that
# root, offscreen, with a temporary home: its panels must come from the
# installed share directory and its settings and COM links from ~/.config/colour-sensor-tools/<program>,
# where a sensor emulator (from the package too) serves COM5. Each must still run after a few seconds.
#   test_package.sh CPACK BUILD_DIR PROGRAM...
set -uo pipefail
cpack=$1 build=$2
shift 2
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_checks.sh" package

if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/cpack" > "$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack did not build the package"
    exit 1
fi
deb=$(echo "$work"/cpack/*.deb)
[ -f "$deb" ] || { echo "FAIL: no package in $work/cpack"; exit 1; }
dpkg -x "$deb" "$work/root" || { echo "FAIL: dpkg -x $deb"; exit 1; }
usr=$work/root/usr
echo "package: $(basename "$deb")"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6serialport6 libqt6network6 libqt6uitools6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib"
done
[[ $depends != *-dev* ]] || fail "Depends names a development package"

for f in "$usr"/bin/*; do
    case $(basename "$f") in
        *test* | *probe* | bench* | render-*) fail "$f is not for the package" ;;
    esac
done
for tool in sensor-emulator sensor-tool; do
    [ -x "$usr/bin/$tool" ] || fail "the package lacks $tool"
done
[ ! -e "$usr/bin/panels" ] || fail "panel files beside the programs: the installed share directory is not used"
[ -f "$usr/share/colour-sensor-tools/panels/interface.ui" ] || fail "no panel files in share/"

# What Debian expects of a package: its copyright, its changelog and a manual page for every program;
# lintian finds no error in it (its warnings are shown).
doc=$usr/share/doc/colour-sensor-tools
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$doc/copyright" 2>/dev/null ||
    fail "no machine-readable copyright file in $doc"
gzip -t "$doc/changelog.Debian.gz" 2>/dev/null || fail "no compressed changelog.Debian.gz in $doc"
for program in "$usr"/bin/*; do
    page=$usr/share/man/man1/$(basename "$program").1.gz
    zgrep -q '^\.SH' "$page" 2>/dev/null || fail "no manual page $page"
done
if command -v lintian > /dev/null; then
    lintian --fail-on error --display-info --tag-display-limit 0 "$deb" > "$work/lintian.log" 2>&1 ||
        fail "lintian found errors: $(grep '^E:' "$work/lintian.log")"
    grep '^[EW]:' "$work/lintian.log"
    # Built with Debian's hardening flags, the programs give lintian nothing to say about them.
    # A sanitizer build goes without fortified functions (the sanitizer replaces them): PACKAGE_FORTIFIED=0.
    tags=(hardening-no-bindnow hardening-no-pie hardening-no-relro)
    [ "${PACKAGE_FORTIFIED:-1}" = 0 ] || tags+=(hardening-no-fortify-functions)
    for tag in "${tags[@]}"; do
        ! grep -q " $tag " "$work/lintian.log" || fail "lintian: $(grep " $tag " "$work/lintian.log")"
    done
else
    fail "lintian is missing (scripts/test.sh installs it)"
fi

# Every program tells the package's version with --version, in one line.
package_version=$(dpkg-deb -f "$deb" Version)
for program in "$usr"/bin/*; do
    name=$(basename "$program")
    line=$("$program" --version 2>&1)
    [[ $line =~ ^$name\ ([^ ]+)\ \(commit\ [0-9a-f]+,\ built\ [0-9]{4}-[0-9]{2}-[0-9]{2}\)$ ]] ||
        fail "$name --version said: $line"
    [ "${BASH_REMATCH[1]}-1" = "$package_version" ] ||
        fail "$name --version tells version ${BASH_REMATCH[1]}, the package is $package_version"
done

# Every program of the package is hardened: position-independent, stack protector, fortified C library
# calls, relocations read-only and bound at start. Control-flow protection (-fcf-protection) is not among
# Debian 12's hardening flags (dpkg-buildflags), so it is not asked for.
if command -v hardening-check > /dev/null; then
    for program in "$usr"/bin/*; do
        hardening-check --nocfprotection $([ "${PACKAGE_FORTIFIED:-1}" = 0 ] && echo --nofortify) "$program" > "$work/hardening.log" 2>&1 ||
            fail "hardening-check on $(basename "$program"): $(grep -v ': yes' "$work/hardening.log" | tr '\n' ' ')"
    done
    echo "hardening-check passed on: $(ls "$usr/bin" | tr '\n' ' ')"
else
    fail "hardening-check is missing (devscripts; scripts/test.sh installs it)"
fi

# Every menu entry starts a program of the package and shows an icon of its own.
for program in "$@"; do
    entry=$(grep -l "^Exec=$program\$" "$usr"/share/applications/*.desktop 2>/dev/null | head -n1)
    [ -n "$entry" ] || fail "no menu entry starts $program"
done
for entry in "$usr"/share/applications/*.desktop; do
    if command -v desktop-file-validate > /dev/null; then
        out=$(desktop-file-validate "$entry" 2>&1)
        [ -z "$out" ] || fail "$(basename "$entry"): $out"
    fi
    exec=$(sed -n 's/^Exec=//p' "$entry")
    exec=${exec%% *}  # without its field codes (%F)
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ -x "$usr/bin/$exec" ] || fail "$(basename "$entry") starts $exec, which the package lacks"
    [ -s "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$(basename "$entry") has no icon $icon.svg"
done

# The programs, from the unpacked root, with HOME in the work directory and no XDG_CONFIG_HOME.
home=$work/home
before=$(ls -A "$usr/bin")
for program in "$@"; do
    dir=$home/.config/colour-sensor-tools/$program
    mkdir -p "$dir"
    printf '0\n5\n1\n\n\n' > "$dir/ComSettings.cfg"  # RS-232, COM5
    "$usr/bin/sensor-emulator" --no-tcp --link-com "$dir/COM5" > "$work/emulator-$program.log" 2>&1 &
    emulator=$!
    pids+=("$emulator")
    for _ in $(seq 50); do grep -q '^link' "$work/emulator-$program.log" && break; sleep 0.1; done
    pty=$(sed -n 's/^pty //p' "$work/emulator-$program.log")
    [ -n "$pty" ] || { fail "sensor-emulator did not start: $(cat "$work/emulator-$program.log")"; continue; }

    env -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen "$usr/bin/$program" \
        > "$work/$program.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    # Until it holds its serial line, the emulator's, found through COM5 in its own directory (or ends),
    # up to 20 s.
    held=""
    for _ in $(seq 200); do
        kill -0 "$pid" 2>/dev/null || break
        held=$(for fd in /proc/"$pid"/fd/*; do readlink "$fd"; done 2>/dev/null)
        grep -qxF "$pty" <<< "$held" && break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        grep -qxF "$pty" <<< "$held" || fail "$program did not open COM5 ($pty) from $dir within 20 s"
        kill "$pid"
        wait "$pid" 2>/dev/null
        echo "$program ran from the package"
    else
        wait "$pid"
        fail "$program ended at start with exit code $? (255: its panels were not found): $(cat "$work/$program.log")"
    fi
    kill "$emulator" 2>/dev/null
    wait "$emulator" 2>/dev/null
done
[ "$(ls -A "$usr/bin")" = "$before" ] || fail "the programs wrote beside themselves in usr/bin"

finish
