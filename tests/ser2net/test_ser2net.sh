#!/usr/bin/env bash
# The topology users have: the program speaks TCP to a serial-to-Ethernet server (ser2net), which speaks to
# the sensor's serial line (here the emulator's pseudo-terminal). sensor-tool goes through ser2net for each
# operation, and the results must be those of a direct link:
#  - identify names the sensor behind the server;
#  - send-table through ser2net leaves the same table memory as send-table straight to an emulator;
#  - a parameter file sent to EEPROM through ser2net reads back byte for byte;
#  - two sensors behind one ser2net with two ports take a parameter file in one run on both links, verified
#    by the tool and read back from each;
#  - a sensor that stays silent behind a server that accepts is "no reply" (4), not "cannot open" (3);
#  - no server at all is "cannot open the link" (3).
#   test_ser2net.sh BIN_DIR
set -uo pipefail
bin=$1
command -v ser2net > /dev/null || { echo "ser2net is not installed (apt-get install ser2net)"; exit 77; }
source "$(dirname "${BASH_SOURCE[0]}")/../support/shell_checks.sh" ser2net

# Starts an emulator with the given options; sets `emulator_log`.
start_emulator() {
    local name=$1
    shift
    emulator_log=$work/$name.log
    "$bin/sensor-emulator" "$@" > "$emulator_log" 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do grep -q '^link\|^tcp' "$emulator_log" && break; sleep 0.1; done
}

# Starts one ser2net between free TCP ports on 127.0.0.1 and the pseudo-terminals PTY..., one port each;
# sets `ports` (in the order of the terminals) and `port` (the first).
start_ser2net() {
    local name=$1
    shift
    for _ in $(seq 20); do
        local base=$((20000 + RANDOM % 10000)) i=0
        ports=()
        : > "$work/$name.yaml"
        for pty in "$@"; do
            ports+=($((base + i)))
            cat >> "$work/$name.yaml" << EOF
connection: &$name$i
  accepter: tcp,127.0.0.1,$((base + i))
  connector: serialdev,$pty,115200n81,local
  options:
    kickolduser: true
EOF
            i=$((i + 1))
        done
        port=${ports[0]}
        ser2net -n -u -P "$work/$name.pid" -c "$work/$name.yaml" > "$work/$name-ser2net.log" 2>&1 &
        local pid=$! listening=0
        for _ in $(seq 30); do
            listening=1
            for p in "${ports[@]}"; do
                (exec 3<> "/dev/tcp/127.0.0.1/$p") 2> /dev/null || listening=0
            done
            [ "$listening" -eq 1 ] && { pids+=("$pid"); return 0; }
            kill -0 "$pid" 2> /dev/null || break
            sleep 0.1
        done
        kill "$pid" 2> /dev/null
        wait "$pid" 2> /dev/null
    done
    return 1
}

tool() {
    "$bin/sensor-tool" "$@" > "$work/tool.out" 2> "$work/tool.err"
}

# The compensation tool's sensor behind ser2net, and a second one reached directly.
start_emulator morvalen --model-code 100 --no-tcp --link-com "$work/COM5" --dump "$work/table-ser2net.txt"
pty=$(sed -n 's/^pty //p' "$emulator_log")
[ -n "$pty" ] || { echo "FAIL: sensor-emulator did not start: $(cat "$emulator_log")"; exit 1; }
start_ser2net morvalen "$pty" || { echo "FAIL: ser2net did not listen: $(cat "$work"/morvalen-ser2net.log)"; exit 1; }
start_emulator direct --model-code 100 --dump "$work/table-direct.txt"
direct=$(sed -n 's/^tcp //p' "$emulator_log")

tool --link "tcp:127.0.0.1:$port" identify || fail "identify through ser2net: exit $?: $(cat "$work/tool.err")"
grep -qx "version: MV-TARN3 V6.12 2024-03-11" "$work/tool.out" || fail "identify printed: $(cat "$work/tool.out")"

printf '%s\n' 1.2e-7 -2.7e-5 0.0123 -1.41 900.5 2.4e-7 -2.7e-5 0.0246 -2.41 962 \
    3.6e-7 -2.7e-5 0.037 -3.41 1023.5 > "$work/page1.equ"
tool --link "tcp:127.0.0.1:$port" send-table --page 1 --index 50 "$work/page1.equ" \
    || fail "send-table through ser2net: exit $?: $(cat "$work/tool.err")"
tool --link "tcp:$direct" send-table --page 1 --index 50 "$work/page1.equ" \
    || fail "send-table straight to the emulator: exit $?: $(cat "$work/tool.err")"
[ -s "$work/table-ser2net.txt" ] || fail "send-table through ser2net wrote no table"
cmp -s "$work/table-ser2net.txt" "$work/table-direct.txt" \
    || fail "the table written through ser2net differs from the one written directly"

# The scope's sensor behind ser2net: a parameter file into EEPROM and back.
start_emulator scope --model-code 601 --no-tcp --link-com "$work/COM6"
pty=$(sed -n 's/^pty //p' "$emulator_log")
start_ser2net scope "$pty" || { echo "FAIL: ser2net did not listen: $(cat "$work"/scope-ser2net.log)"; exit 1; }
tool --link "tcp:127.0.0.1:$port" get-params --from ram "$work/ram.ini" \
    || fail "get-params through ser2net: exit $?: $(cat "$work/tool.err")"
# The first parameter word (line 1) changed, so the read-back shows that the write arrived.
awk 'NR == 1 { printf "%5d\r\n", ($1 + 7) % 100; next } { printf "%s\n", $0 }' "$work/ram.ini" > "$work/sent.ini"
tool --link "tcp:127.0.0.1:$port" send-params --to eeprom "$work/sent.ini" \
    || fail "send-params through ser2net: exit $?: $(cat "$work/tool.err")"
tool --link "tcp:127.0.0.1:$port" get-params --from eeprom "$work/eeprom.ini" \
    || fail "get-params from EEPROM through ser2net: exit $?: $(cat "$work/tool.err")"
cmp -s "$work/sent.ini" "$work/eeprom.ini" || fail "the parameter file read back through ser2net differs"
cmp -s "$work/ram.ini" "$work/sent.ini" && fail "the changed parameter file equals the one read first"

# Two sensors of a line behind one ser2net with two ports: the file goes into both EEPROMs in one run on
# both links, the tool reads each set back (--verify), and each sensor's set is read back again on its own.
start_emulator line1 --model-code 601 --no-tcp --link-com "$work/COM8"
pty1=$(sed -n 's/^pty //p' "$emulator_log")
start_emulator line2 --model-code 601 --no-tcp --link-com "$work/COM9"
pty2=$(sed -n 's/^pty //p' "$emulator_log")
start_ser2net line "$pty1" "$pty2" || { echo "FAIL: ser2net did not listen: $(cat "$work"/line-ser2net.log)"; exit 1; }
line=(--link "tcp:127.0.0.1:${ports[0]}" --link "tcp:127.0.0.1:${ports[1]}")
tool "${line[@]}" send-params --to eeprom --verify "$work/sent.ini" \
    || fail "send-params on both sensors behind one ser2net: exit $?: $(cat "$work/tool.err")"
[ "$(grep -c 'ORVANE V3.3 2020-05-18 *done' "$work/tool.out")" -eq 2 ] \
    || fail "the summary of the run on both links: $(cat "$work/tool.out")"
tool "${line[@]}" get-params --from eeprom "$work/line-{n}.ini" \
    || fail "get-params from both sensors behind one ser2net: exit $?: $(cat "$work/tool.err")"
for n in 1 2; do
    cmp -s "$work/sent.ini" "$work/line-$n.ini" || fail "sensor $n behind the shared ser2net holds another set"
done

# A silent sensor behind a server that accepts the connection.
start_emulator silent --model-code 601 --no-tcp --link-com "$work/COM7" --silent-from 1
pty=$(sed -n 's/^pty //p' "$emulator_log")
start_ser2net silent "$pty" || { echo "FAIL: ser2net did not listen: $(cat "$work"/silent-ser2net.log)"; exit 1; }
tool --link "tcp:127.0.0.1:$port" identify
code=$?
[ "$code" -eq 4 ] || fail "a silent sensor behind ser2net: exit $code, not 4: $(cat "$work/tool.err")"

# No server: ser2net of the silent sensor ended.
kill "$(cat "$work/silent.pid")" 2> /dev/null
sleep 0.3
tool --link "tcp:127.0.0.1:$port" identify
code=$?
[ "$code" -eq 3 ] || fail "no server: exit $code, not 3: $(cat "$work/tool.err")"

finish
