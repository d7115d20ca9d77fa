#!/usr/bin/env bash
# What the hardening flags cost: builds the CPU-bound benchmarks twice, as every build is made (build/) and
# without the flags (build-unhardened/, HARDENING=OFF), runs each pair in turn ROUNDS times (3 by default)
# and prints, per benchmark, the median time of each build and their ratio. The serial and TCP benchmarks
# are left out: their time is the line's, which no compiler flag changes.
#   scripts/bench-hardening.sh [ROUNDS]
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
ROUNDS=${1:-3}
PLAIN_DIR=${BUILD_DIR_UNHARDENED:-$ROOT/build-unhardened}
BENCHES=(bench_plots bench_scope_live)
# The scope's live loop against the emulator measures the line; only the in-process figures are compared.
FILTER='^BM_(Graph|PlotXY|StripChart|Recorder|HiddenGraph|ScopeReplot|DisplayFrame|GraphPanel)'

install_missing
configure_tree
cmake -S "$ROOT" -B "$PLAIN_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARDENING=OFF >/dev/null
for dir in "$BUILD_DIR" "$PLAIN_DIR"; do
    echo "Building the benchmarks in $dir..."
    cmake --build "$dir" -j"$JOBS" --target "${BENCHES[@]}" >/dev/null
done

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
export QT_QPA_PLATFORM=offscreen
for ((round = 1; round <= ROUNDS; ++round)); do
    for bench in "${BENCHES[@]}"; do
        for build in hardened:"$BUILD_DIR" plain:"$PLAIN_DIR"; do
            echo "Round $round of $ROUNDS: $bench (${build%%:*})..."
            "${build#*:}/bin/$bench" --benchmark_filter="$FILTER" --benchmark_color=false 2>/dev/null |
                awk -v tag="${build%%:*}" '$1 ~ /^BM_/ && $2 ~ /^[0-9.]+$/ { print tag, $1, $2, $3 }' \
                    >> "$results/times"
        done
    done
done

# Median per benchmark and build (real time in the benchmark's own unit), then hardened / plain.
echo
printf '%-56s %12s %12s %5s %7s\n' BENCHMARK HARDENED PLAIN UNIT RATIO
sort -k2,2 -k1,1 -k3,3g "$results/times" | awk '
    function median(tag, name,   n) {
        n = count[tag, name]
        if (n % 2) return v[tag, name, (n + 1) / 2]
        return (v[tag, name, n / 2] + v[tag, name, n / 2 + 1]) / 2
    }
    {
        v[$1, $2, ++count[$1, $2]] = $3
        unit[$2] = $4
        if (!($2 in seen)) { seen[$2] = 1; names[++n] = $2 }
    }
    END {
        for (i = 1; i <= n; ++i) {
            h = median("hardened", names[i]); p = median("plain", names[i])
            printf "%-56s %12.2f %12.2f %5s %7.3f\n", names[i], h, p, unit[names[i]], (p > 0 ? h / p : 0)
            if (h > 0 && p > 0) { logs += log(h / p); ratios++ }
        }
        if (ratios) printf "%-56s %39.3f\n", "geometric mean of the ratios", exp(logs / ratios)
    }'
