#!/usr/bin/env bash
# Builds the whole tree a second time with AddressSanitizer and UndefinedBehaviorSanitizer (in build-asan/,
# without the benchmarks) and runs the whole test suite there. A finding stops the program that has it and
# fails its test; the report is in the test's output. Findings inside Qt and the system libraries, which are
# not instrumented, are suppressed in scripts/sanitizers/ (each with its reason); ours are faults to fix.
#   scripts/test-sanitizers.sh                   build and run everything
#   scripts/test-sanitizers.sh -R REGEX          only the tests whose names match (ctest arguments)
#   BUILD_DIR_SANITIZE=dir scripts/test-sanitizers.sh   another build tree
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD_DIR=${BUILD_DIR_SANITIZE:-$ROOT/build-asan}
install_missing
# -O1 keeps the instrumented tests fast without hiding faults the way -O2 can; -g1 gives file:line in reports.
if ! cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
        -DSANITIZE=ON -DBUILD_BENCHMARKS=OFF > /dev/null; then
    echo "Configuring the sanitizer build failed (the reason is above)." >&2
    exit 1
fi
cmake --build "$BUILD_DIR" -j"$JOBS"

supp="$ROOT/scripts/sanitizers"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_leaks=1:${ASAN_OPTIONS_EXTRA:-}"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$supp/ubsan.supp"
cd "$BUILD_DIR"
# The end-to-end journeys on Xvfb run once, in scripts/test.sh: their timing is the programs' own.
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$JOBS" --timeout 300 -LE e2e "$@"
