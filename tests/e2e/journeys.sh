#!/usr/bin/env bash
# The programs as a person uses them: each started on a real X server (Xvfb) against the sensor emulator
# and driven with real mouse clicks and key presses (xdotool, through the X server's test extension).
# Every journey checks what reached the emulator (its parameter memory, its table memory, the frame log)
# and the bytes of the files it made, not only that nothing crashed.
#   journeys.sh BIN_DIR LOCATE PANEL_DIR
# BIN_DIR holds the programs, LOCATE is e2e-locate (where a control lies in its panel file), PANEL_DIR the
# panel files. A failed journey leaves a screenshot (xwd) and the logs in $E2E_ARTIFACTS (default
# BIN_DIR/../e2e-failures). Exit 77 (skipped) when Xvfb or xdotool is missing.
set -uo pipefail
bin=$1 locate=$2 panels=$3
for tool in Xvfb xdotool; do
    command -v $tool > /dev/null || { echo "$tool is not installed (scripts/common.sh installs it)"; exit 77; }
done
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_checks.sh" e2e
artifacts=${E2E_ARTIFACTS:-$bin/../e2e-failures}
step_timeout=20  # seconds any single wait may take: generous, other builds may share the machine

# Starts a command in the background; it ends with the script however the script ends (the exit trap ends
# it, and the kernel sends it SIGTERM should the script be killed outright).
spawn() {
    setpriv --pdeathsig TERM "$@" &
    pids+=($!)
}

# --- the X server ---------------------------------------------------------------------------------------
exec 5> "$work/display"
spawn Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp > "$work/xvfb.log" 2>&1
exec 5>&-
for _ in $(seq $((step_timeout * 10))); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; cat "$work/xvfb.log"; exit 1; }
export DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb
unset XDG_CONFIG_HOME

journey=""
journey_failures=0
save_failure() {
    mkdir -p "$artifacts"
    command -v xwd > /dev/null && xwd -root -silent > "$artifacts/${journey// /_}.xwd" 2> /dev/null
    cp "$work"/*.log "$artifacts/" 2> /dev/null
}
check() {  # check MESSAGE COMMAND...: a failed check of the journey
    local message=$1
    shift
    if ! "$@"; then
        fail "$journey: $message"
        journey_failures=$((journey_failures + 1))
        [ $journey_failures -eq 1 ] && save_failure
    fi
    return 0
}
# Waits until the shell condition (a string, evaluated anew each time) holds, step_timeout at most; false
# when it never did.
wait_for() {
    local end=$((SECONDS + step_timeout))
    until eval "$1"; do
        [ $SECONDS -ge $end ] && return 1
        sleep 0.1
    done
}

# --- the emulator and the programs ------------------------------------------------------------------------
# start_emulator NAME ARGS...: sets emu_port; its parameter and table memory go to $work/NAME.params|table.
start_emulator() {
    local name=$1
    shift
    spawn "$bin/sensor-emulator" --tcp-port 0 --param-dump "$work/$name.params" --dump "$work/$name.table" "$@" \
        > "$work/$name-emulator.log" 2>&1
    wait_for 'grep -qs "^tcp " "$work/$name-emulator.log"' || { echo "the emulator did not start"; exit 1; }
    emu_port=$(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/$name-emulator.log")
}

# start_program PROGRAM TITLE: the program in a directory of its own (its settings point at the emulator on
# TCP), its frame log $work/frames.log; waits for its main window (win) and gives it the focus.
start_program() {
    local program=$1 title=$2 dir=$work/$1
    mkdir -p "$dir"
    cp "$bin/$program" "$dir/"
    ln -sfn "$panels" "$dir/panels"
    printf '1\n5\n1\n127.0.0.1\n%s\n' "$emu_port" > "$dir/ComSettings.cfg"
    rm -f "$work/frames.log"
    COLOUR_SENSOR_FRAME_LOG=$work/frames.log spawn "$dir/$program" > "$work/$program.log" 2>&1
    program_pid=${pids[-1]}
    win=$(timeout $step_timeout xdotool search --sync --onlyvisible --name "^$title" | head -1)
    [ -n "$win" ] || { fail "$program: no window titled $title"; save_failure; return 1; }
    xdotool windowfocus --sync "$win"
}

stop_program() {
    kill "$program_pid" 2> /dev/null
    wait "$program_pid" 2> /dev/null
}

# The centre of a control in the window: its place in its panel file plus the panel's place.
# at PANEL_FILE OBJECT [PANEL_LEFT PANEL_TOP]: sets x, y. A switch (object name select*) is clicked on its
# box at the left.
at() {
    local xy where=""
    [[ $2 == select* ]] && where=left
    xy=$("$locate" "$panels/$1" "$2" $where 2> /dev/null) || { fail "$journey: no control $2 in $1"; return 1; }
    x=$((${xy% *} + ${3:-0}))
    y=$((${xy#* } + ${4:-0}))
}
# click [-r|-d] PANEL_FILE OBJECT [PANEL_LEFT PANEL_TOP]: a left click, a right click (-r) or a double
# click (-d) on the control, in the window `win`.
click() {
    local button=1 repeat=1
    case "$1" in -r) button=3; shift ;; -d) repeat=2; shift ;; esac
    at "$@" || return 1
    xdotool mousemove --window "$win" "$x" "$y" click --repeat $repeat --delay 80 $button
}
keys() {
    xdotool windowfocus --sync "$win"
    xdotool key --delay 30 "$@"
}
# Requests that have no reply in the frame log yet (order 50, which stops auto-sending, has none).
unanswered() {
    awk '$2 == "TX" && !($6 == "00" && $7 == "32") { n++ }
         $2 == "RX" && $NF != "dropped" && $NF != "sensor" { n-- }
         END { print n + 0 }' "$work/frames.log"
}
# Waits until every request has its reply and nothing went over the link for a second: the operation (and
# the half second that Send holds the operation buttons dimmed after it) is over, its buttons usable again.
idle() {
    local before after end=$((SECONDS + step_timeout))
    while [ $SECONDS -lt $end ]; do
        before=$(stat -c %s "$work/frames.log")
        sleep 1
        after=$(stat -c %s "$work/frames.log")
        [ "$before" = "$after" ] && [ "$(unanswered)" -le 0 ] && return 0
    done
    return 1
}
# send CONDITION: F9, then waits until the condition holds and the transfer is over.
send() {
    keys F9
    wait_for "$1"
    local ok=$?
    idle
    return $ok
}
# type_into PANEL_FILE OBJECT LEFT TOP TEXT: clicks into a field, replaces what it shows, Enter.
type_into() {
    click "$1" "$2" "$3" "$4" || return 1
    xdotool key ctrl+a && xdotool type --delay 20 "$5" && xdotool key Return
}
# dialog TITLE: waits for the dialog with this title and gives it the focus (sets dlg).
dialog() {
    dlg=$(timeout $step_timeout xdotool search --sync --onlyvisible --name "^$1\$" | tail -1)
    [ -n "$dlg" ] || return 1
    xdotool windowfocus --sync "$dlg"
}
# answer TITLE KEYS...: keys into the dialog of this title once it shows.
answer() {
    local title=$1
    shift
    dialog "$title" || { fail "$journey: no dialog \"$title\""; return 1; }
    xdotool key --delay 30 "$@"
    wait_for 'closed "$dlg"'  # the next dialog may have the same title
}
closed() { ! xdotool search --onlyvisible --name '' 2> /dev/null | grep -qx "$1"; }
# choose_file TITLE PATH: types the path into the file dialog's name field and takes it.
choose_file() {
    dialog "$1" || { fail "$journey: no file dialog \"$1\""; return 1; }
    xdotool key ctrl+a && xdotool type --delay 20 "$2" && xdotool key Return
    wait_for 'closed "$dlg"' || fail "$journey: the file dialog \"$1\" did not take $2"
}
# How many pixels of the 30 x 30 square around (X, Y) of the window `win` show the selection colour.
selected_pixels() {
    local WINDOW X Y WIDTH HEIGHT SCREEN
    eval "$(xdotool getwindowgeometry --shell "$win")"
    "$locate" --selected $((X + $1 - 15)) $((Y + $2 - 15)) 30 30
}
gone() { ! xdotool search --onlyvisible --name "^$1\$" > /dev/null 2>&1; }
shown() { xdotool search --onlyvisible --name "^$1\$" > /dev/null 2>&1; }

# Frame log: how many frames of order N went out; the payload words of the complete order-5 replies.
sent() { awk -v o="$(printf '%02X' "$1")" '$2 == "TX" && $6 == "00" && $7 == o' "$work/frames.log" | wc -l; }
frame_values() {  # one line per complete measurement reply: its words 2..9, tab-separated
    local f w s
    while read -r -a f; do
        [ "${f[1]}" = RX ] && [ "${f[-1]}" = complete ] && [ "${f[5]}${f[6]}" = 0005 ] || continue
        s=""
        for w in 2 3 4 5 6 7 8 9; do s+="${s:+$'\t'}$((16#${f[3 + 2 * w]}${f[4 + 2 * w]}))"; done
        echo "$s"
    done < "$work/frames.log"
}
# Whether some measurement reply carried this density, symmetry 1 and symmetry 2 (tab-separated).
arrived() { frame_values | cut -f4-6 | grep -qxF "$1"; }
# Parameter memory of the emulator: word W of RAM or EEPROM.
ram() { awk -v w="$2" '$1 == w { print $3 }' "$work/$1.params"; }
eeprom() { awk -v w="$2" '$1 == w { print $4 }' "$work/$1.params"; }
equals() { [ "$1" = "$2" ] || { echo "  \"$1\" is not \"$2\""; return 1; }; }
at_least() { [ "$1" -ge "$2" ] || { echo "  $1 < $2"; return 1; }; }

begin() {
    journey=$1
    journey_failures=0
    echo "--- $journey"
    journey_start=$SECONDS
}
end_journey() { echo "    $journey: $((SECONDS - journey_start)) s"; }

# --- OrvaneV33 ----------------------------------------------------------------------------------------
main=orvane_main.ui para=orvane_parameters.ui tt=orvane_teach_table.ui rec=orvane_recorder.ui
data=orvane_data.ui big=orvane_big_vector.ui
child=(8 119) datap=(288 63)

begin "OrvaneV33 start, Get and Send to RAM and EEPROM"
start_emulator scope --model-code 601 --frame-step 40
start_program OrvaneV33 "ORVANE-Scope" || exit 1
check "the start reads the parameter set" wait_for '[ "$(sent 4)" -ge 31 ]'
check "the start's transfer ends" idle
before=$(sent 3) rows=$(sent 4)
keys F10
check "F10 sends order 3 and 31 orders 4" wait_for '[ "$(sent 3)" -gt "$before" ] && [ "$(sent 4)" -ge $((rows + 31)) ]'
check "Get ends" idle  # else it would put back the value typed next
type_into $para maxDown "${child[@]}" 4321
check "Send (F9) writes MAX DOWN into the RAM" send '[ "$(ram scope 11)" = 4321 ]'
check "the EEPROM keeps its value" equals "$(eeprom scope 11)" 30000
click $main selectEeprom
check "Send to EEPROM (order 6) keeps it there" send '[ "$(eeprom scope 11)" = 4321 ]'
type_into $para maxDown "${child[@]}" 1000
click $main selectRam
check "Send to RAM leaves the EEPROM" send '[ "$(ram scope 11)" = 1000 ]'
check "the EEPROM keeps 4321" equals "$(eeprom scope 11)" 4321
click $main selectEeprom
rows=$(sent 4)
keys F10  # Get from the EEPROM: the panel takes 4321 back
check "Get from EEPROM sends order 8 and reads every row" wait_for '[ "$(sent 8)" -ge 1 ] && [ "$(sent 4)" -ge $((rows + 31)) ]'
check "Get ends" idle
click $main selectRam
check "what the EEPROM gave back reaches the RAM" send '[ "$(ram scope 11)" = 4321 ]'
end_journey

begin "OrvaneV33 Go for a few seconds and Stop, teach a row and Send it"
keys F11
check "Go requests frames" wait_for '[ "$(sent 5)" -ge 20 ]'
click $main teachTable
click $tt teachDataTo "${child[@]}"
keys F12
check "Stop (F12) ends the requests" idle
check "the taught row reaches the RAM with its tolerances" send '[ "$(ram scope 17)" = 100 ]'
check "row 0 holds density and symmetries of a frame that arrived" \
    arrived "$(ram scope 16)"$'\t'"$(ram scope 18)"$'\t'"$(ram scope 20)"
check "its symmetry tolerances are 50" equals "$(ram scope 19) $(ram scope 21)" "50 50"
end_journey

begin "OrvaneV33 record five lines to a new file chosen in the dialog"
click $main recorder
type_into $rec interval "${child[@]}" 1
type_into $rec count "${child[@]}" 5
click $rec selectFile "${child[@]}"
record=$work/journey.dat
choose_file "FILENAME!" "$record"
check "a new record file gets its header" wait_for '[ -s "$record" ]'
replies_before=$(frame_values | wc -l)
click $rec start "${child[@]}"
answer "ATTENTION!" Return  # the right file name? yes
answer "ATTENTION!" Return  # make sure the file is not open elsewhere
answer "INFO!" Return       # file has been saved
check "the file holds the header and five lines" wait_for '[ "$(wc -l < "$record")" = 6 ]'
check "the header" equals "$(head -1 "$record" | od -c | head -3)" \
    "$(printf 'DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n' | od -c | head -3)"
check "every line ends CR LF" equals "$(grep -c $'\r$' "$record")" 6
check "the lines hold the five frames that arrived, in order" \
    equals "$(tail -5 "$record" | cut -f3- | tr -d '\r')" "$(frame_values | tail -n +$((replies_before + 1)))"
check "the record ends" idle
end_journey

begin "OrvaneV33 record 20 lines, look at them in the record viewer, follow a running record"
type_into $rec interval "${child[@]}" 0
type_into $rec count "${child[@]}" 20
click $rec selectFile "${child[@]}"
viewed=$work/viewed.dat
choose_file "FILENAME!" "$viewed"
check "a new record file gets its header" wait_for '[ -s "$viewed" ]'
click $rec start "${child[@]}"
answer "ATTENTION!" Return
answer "ATTENTION!" Return
answer "INFO!" Return
check "the file holds the header and 20 lines" wait_for '[ "$(wc -l < "$viewed")" = 21 ]'
cp "$bin/RecordViewer" "$work/OrvaneV33/"  # the scope starts the viewer that lies beside it
click $rec view "${child[@]}"
viewer_win=$(timeout $step_timeout xdotool search --sync --onlyvisible --name '^viewed\.dat.*Record viewer$' | head -1)
check "View record... opens the record viewer on the file" test -n "$viewer_win"
if [ -n "$viewer_win" ]; then
    pids+=("$(xdotool getwindowpid "$viewer_win")")  # it ends with the script
    # Dots of the CH_L lane (the top one, red) on the screen: a line of its own is a dot when few are shown.
    lane_dots() {
        local WINDOW X Y WIDTH HEIGHT SCREEN
        xdotool windowraise "$viewer_win"
        eval "$(xdotool getwindowgeometry --shell "$viewer_win")"
        "$locate" --dots $((X + 92)) $((Y + 40)) $((WIDTH - 106)) $((HEIGHT * 2 / 5)) E00000
    }
    check "its picture shows the 20 lines as 20 dots" wait_for '[ "$(lane_dots)" = 20 ]'
    xdotool windowraise "$win"
    type_into $rec interval "${child[@]}" 1
    type_into $rec count "${child[@]}" 5
    click $rec start "${child[@]}"
    answer "ATTENTION!" Return
    answer "ATTENTION!" Return
    check "the running record adds lines" wait_for '[ "$(wc -l < "$viewed")" -ge 23 ]'
    check "Follow shows them while the record runs" wait_for '[ "$(lane_dots)" -ge 22 ]'
    answer "INFO!" Return
    check "and all 25 once it ends" wait_for '[ "$(lane_dots)" = 25 ]'
    xdotool windowraise "$win"
fi
check "the record ends" idle
end_journey

begin "OrvaneV33 save a parameter file under a new name and load it back"
click $main parameters
click $main selectFile
type_into $para maxDown "${child[@]}" 2222
keys F9
saved=$work/journey-new.ini
choose_file "Parameter" "$saved"
check "the file is written" wait_for '[ -s "$saved" ]'
check "Send ends" idle
check "202 lines, CR LF, MAX DOWN on line 12" \
    equals "$(wc -l < "$saved") $(grep -c $'\r$' "$saved") $(sed -n 12p "$saved" | tr -d '\r')" "202 202  2222"
type_into $para maxDown "${child[@]}" 3333
keys F10
choose_file "Parameter" "$saved"
check "Get ends" idle
click $main selectRam
check "the loaded value is on the panel (sent to the RAM)" send '[ "$(ram scope 11)" = 2222 ]'
end_journey

begin "OrvaneV33 open and close the big vector display"
click -d $data vec "${datap[@]}"
check "a double click on V-No. opens the big display" wait_for 'shown "V-No."'
check "and leaves the number unselected" equals "$(selected_pixels "$x" "$y")" 0
bigwin=$(xdotool search --onlyvisible --name '^V-No\.$' | head -1)
at $big vector && xdotool mousemove --window "$bigwin" "$x" "$y" click 3
check "a right click on it closes it" wait_for 'gone "V-No."'
stop_program
end_journey

# --- MorvalenV15 ----------------------------------------------------------------------------------------
begin "MorvalenV15 start, identify, compute and Send CF"
start_emulator morvalen --model-code 100
start_program MorvalenV15 "MORVALEN-Scope V1.5" || exit 1
check "the version query is answered" wait_for 'grep -q " version$" "$work/frames.log"'
check "the start ends" idle
equation=$work/journey.equ
printf '%s\n' 0 0 0.5 -2 1000 0 0 0.25 -1 900 0 0 0 3 800 > "$equation"
page=(8 105)
click page_three_channel.ui buttonGetEquation "${page[@]}"
choose_file "equation" "$equation"
click page_three_channel.ui buttonSendCF "${page[@]}"
check "the table reaches the sensor (30 write orders)" wait_for '[ "$(sent 182)" -ge 30 ]'
check "the transfer ends" idle
stop_program
# The table the coefficients give, worked out here from the formula: per channel the drift curve
# X4 i^4 + X3 i^3 + X2 i^2 + X1 i + T, the set point the curve at the page's temperature index truncated,
# and factor(i) = set point * 1024 / curve(i) truncated; R at 0x1400, G at 0x1500, B at 0x1600.
index=$(sed -n '/name="editTemp"/,/<\/widget>/s/.*name="value"><number>\([0-9]*\)<.*/\1/p' \
    "$panels/page_three_channel.ui")
index=${index:-0}
awk -v index_="$index" 'BEGIN {
    split("0 0 0.5 -2 1000 0 0 0.25 -1 900 0 0 0 3 800", k, " ")
    for (c = 0; c < 3; c++) {
        for (i = 0; i < 100; i++) {
            x = k[5*c+1]*i^4 + k[5*c+2]*i^3 + k[5*c+3]*i^2 + k[5*c+4]*i + k[5*c+5]
            curve[i] = x
        }
        sp = int(curve[index_])
        for (i = 0; i < 100; i++) printf "0x%04X %u\n", 5120 + 256*c + i, int(sp * 1024 / curve[i]) % 65536
    }
}' > "$work/expected.table"
# At index 0 by hand: R's set point 1000 and curve(99) = 0.5*9801 - 198 + 1000 = 5702.5: 1024000 / 5702.5 = 179.6.
[ "$index" = 0 ] && check "the worked-out table holds R(99) = 179" grep -qx '0x1463 179' "$work/expected.table"
check "the page wrote the table worked out from the formula" cmp -s "$work/morvalen.table" "$work/expected.table"
# The same coefficients through sensor-tool.
start_emulator tool --model-code 100
"$bin/sensor-tool" --link "tcp:127.0.0.1:$emu_port" send-table --page 1 --index "$index" "$equation" \
    > "$work/tool.log" 2>&1
tool_code=$?
check "sensor-tool's send-table ends with exit code 0 (it ended with $tool_code: $(head -c 300 "$work/tool.log"))" \
    [ "$tool_code" -eq 0 ]
check "sensor-tool wrote the table worked out from the formula" cmp -s "$work/tool.table" "$work/expected.table"
end_journey

begin "MorvalenV15 a USB adapter from the serial devices window, found by Search at 57,600 baud"
# A fake adapter: a by-id link in a device directory of the journey, to the emulator's pseudo-terminal.
start_emulator adapter --model-code 100 --pty --baud 57600 --noise-at-wrong-rate
pty=$(sed -n 's/^pty \(.*\)/\1/p' "$work/adapter-emulator.log")
devices=$work/dev adapter=usb-FTDI_FT232R_USB_UART_A10K1LQX-if00-port0
mkdir -p "$devices/serial/by-id"
ln -s "$pty" "$devices/ttyUSB0"
ln -s ../../ttyUSB0 "$devices/serial/by-id/$adapter"
printf 'vendor=0403\nproduct=6001\nmanufacturer=FTDI\nserial=A10K1LQX\n' > "$devices/serial/by-id/$adapter.desc"
dir=$work/adapter-program
mkdir -p "$dir"
cp "$bin/MorvalenV15" "$dir/"
ln -sfn "$panels" "$dir/panels"
printf '0\n9\n1\n\n\n' > "$dir/ComSettings.cfg"  # COM9 at 19200 baud: nothing there
rm -f "$work/frames.log"
COLOUR_SENSOR_DEVICE_DIR=$devices COLOUR_SENSOR_FRAME_LOG=$work/frames.log spawn "$dir/MorvalenV15" \
    > "$work/adapter-program.log" 2>&1
program_pid=${pids[-1]}
check "the start fails on COM9 and shows the interface panel" dialog "Interface"
win=$dlg
click interface.ui devices
check "Devices... opens the serial devices window" dialog "Serial devices"
devwin=$dlg
win=$devwin
click serial_devices.ui useDevice
check "the adapter gets COM1, a link to its by-id name" \
    wait_for '[ "$(readlink "$dir/COM1")" = "$devices/serial/by-id/$adapter" ]'
click serial_devices.ui search
check "Search asks the adapter at the five rates" wait_for '[ "$(sent 7)" -ge 5 ]'
check "and ends" idle
check "the sensor answered one of them with its version" equals "$(grep -c " version$" "$work/frames.log")" 1
click serial_devices.ui useResult
click serial_devices.ui closeDevices
check "Close closes the serial devices window" wait_for 'gone "Serial devices"'
check "the interface panel is there" dialog "Interface"
win=$dlg
xdotool windowraise "$win"
click interface.ui tryToConnect
check "Try at the rate Search found gets the version" wait_for '[ "$(grep -c " version$" "$work/frames.log")" = 2 ]'
click interface.ui accept
check "Accept stores COM1 at 57600 baud, nothing else" \
    wait_for '[ "$(cat "$dir/ComSettings.cfg")" = "$(printf "0\n1\n3\n\n")" ]'
stop_program
end_journey

finish
