// The search for the sensor: a Search over 4 adapters at the 5 baud rates where nothing answers (goal: ends
// within 3 s), and with a sensor at 57,600 baud on the second adapter (goal: the first result within 1 s).
// The adapters are by-id links to pseudo-terminals of a device directory of its own; a silent adapter is a
// pseudo-terminal nobody answers on. Prints the medians of 5 runs; exit code 1 when a goal is missed.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "bench_support.h"
#include "platform.h"
#include "sensor_search.h"

namespace fs = std::filesystem;

namespace {

constexpr int kAdapters = 4;
constexpr int kRuns = 5;

// A pseudo-terminal with nobody behind it; its slave's path.
std::string SilentLine(std::vector<int>& masters) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return {};
    masters.push_back(master);
    return ::ptsname(master);
}

struct Outcome {
    double whole = 0.0, firstResult = -1.0;
    std::size_t results = 0;
};

Outcome SearchOnce() {
    SensorSearch search(SearchTargets({}, false));
    Outcome o;
    const double start = bench::Now();
    while (!search.Done()) {
        search.Step();
        if (o.firstResult < 0 && !search.Results().empty()) o.firstResult = bench::Now() - start;
    }
    o.whole = bench::Now() - start;
    o.results = search.Results().size();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    if (InitConsoleRTE(argc, argv) != 0) return 1;
    const fs::path dir = fs::temp_directory_path() / ("bench-search-" + std::to_string(::getpid()));
    fs::create_directories(dir / "serial" / "by-id");
    ::setenv("COLOUR_SENSOR_DEVICE_DIR", dir.c_str(), 1);
    std::vector<int> masters;
    std::vector<std::string> lines;
    for (int i = 0; i < kAdapters; ++i) lines.push_back(SilentLine(masters));
    auto link = [&](int i, const std::string& line) {
        const fs::path name =
            dir / "serial" / "by-id" / ("usb-FTDI_FT232R_USB_UART_BENCH" + std::to_string(i));
        fs::remove(name);
        fs::create_symlink(line, name);
    };
    for (int i = 0; i < kAdapters; ++i) link(i, lines[std::size_t(i)]);

    std::vector<double> silent;
    for (int r = 0; r < kRuns; ++r) silent.push_back(SearchOnce().whole);

    sensor_emu::EmulatorOptions options;
    options.tcp = false;
    options.pty = true;
    options.serialBaud = 57600;
    options.noiseAtWrongRate = true;
    sensor_emu::SensorEmulator sensor(options);
    if (!sensor.Start()) return 1;
    link(1, sensor.PtyPath());
    std::vector<double> first;
    bool found = true;
    for (int r = 0; r < kRuns; ++r) {
        const Outcome o = SearchOnce();
        found = found && o.results == 1;
        first.push_back(o.firstResult < 0 ? 1e9 : o.firstResult);
    }
    sensor.Stop();

    const bench::Summary s = bench::Summarise(silent), f = bench::Summarise(first);
    std::printf("search over %d adapters x 5 baud rates, nothing answers: %.3f s (%.3f..%.3f), goal 3 s\n",
                kAdapters, s.median, s.low, s.high);
    std::printf(
        "sensor at 57600 baud on the second adapter, first result after: %.3f s (%.3f..%.3f), goal 1 s%s\n",
        f.median, f.low, f.high, found ? "" : " (NOT FOUND in every run)");
    for (int m : masters) ::close(m);
    fs::remove_all(dir);
    CloseCVIRTE();
    return s.high <= 3.0 && f.high <= 1.0 && found ? 0 : 1;
}
