# Shared by the shell tests: a work directory and the processes started for the test, both gone at exit,
# and checks that count their failures instead of ending the script.
#   source shell_checks.sh NAME   sets $work (a new directory) and pids (add what you start); gives
#                                 fail MESSAGE and finish, which ends the script with 1 if a check failed
work=$(mktemp -d "${TMPDIR:-/tmp}/cst-$1.XXXXXX")
checks_name=$1
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "$checks_name checks passed"
}
