#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/; in build-fuzz/ with clang, AddressSanitizer, UndefinedBehaviorSanitizer
# and libFuzzer) and runs them from their seed corpus fuzz/corpus/<target>/.
#   scripts/fuzz.sh TARGET [RUNS]       one target (or "all") for RUNS inputs each, 1000000 by default
#   scripts/fuzz.sh --smoke [SECONDS]   every target for SECONDS each (20 by default), as CI does
#   scripts/fuzz.sh --list              the targets
# Inputs that reach new code are kept in build-fuzz/corpus/<target>/ (the checked-in seeds stay as they
# are); an input that fails a check or crashes is saved in build-fuzz/artifacts/<target>/ and replayed with
#   build-fuzz/fuzz/fuzz_<target> FILE
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD_DIR=${BUILD_DIR_FUZZ:-$ROOT/build-fuzz}
# clang and its runtime libraries (libFuzzer, the sanitizers); llvm gives the sanitizers' reports
# function names and lines.
PACKAGES+=(clang libclang-rt-14-dev llvm)
TARGETS=(settings_file server_history equation_file parameter_file reply_frames record_file link_replies emulator_requests)

usage() {
    echo "usage: scripts/fuzz.sh TARGET|all [RUNS] | --smoke [SECONDS] | --list" >&2
    echo "targets: ${TARGETS[*]}" >&2
    exit 2
}

case "${1:-}" in
    --list) printf '%s\n' "${TARGETS[@]}"; exit 0 ;;
    --smoke) targets=("${TARGETS[@]}"); limit=(-max_total_time="${2:-20}") ;;
    all) targets=("${TARGETS[@]}"); limit=(-runs="${2:-1000000}") ;;
    "") usage ;;
    *) [[ " ${TARGETS[*]} " == *" $1 "* ]] || usage
       targets=("$1"); limit=(-runs="${2:-1000000}") ;;
esac

install_missing
if ! cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DBUILD_FUZZERS=ON -DBUILD_TESTING=OFF \
        -DBUILD_BENCHMARKS=OFF > /dev/null; then
    echo "Configuring the fuzz build failed (the reason is above)." >&2
    exit 1
fi
cmake --build "$BUILD_DIR" -j"$JOBS" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"
passed=0 failed=0
for t in "${targets[@]}"; do
    corpus="$BUILD_DIR/corpus/$t" artifacts="$BUILD_DIR/artifacts/$t"
    mkdir -p "$corpus" "$artifacts"
    log="$BUILD_DIR/fuzz_$t.log"
    echo "fuzz_$t: running (${limit[*]})"
    if "$BUILD_DIR/fuzz/fuzz_$t" "${limit[@]}" -timeout=10 -print_final_stats=1 \
            -artifact_prefix="$artifacts/" "$corpus" "$ROOT/fuzz/corpus/$t" > "$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        echo "fuzz_$t: ${runs:-?} runs, no failure"
        passed=$((passed + 1))
    else
        tail -n 60 "$log"
        echo "fuzz_$t: FAILED; the input is in $artifacts/, the whole log in $log"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
