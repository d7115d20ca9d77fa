// The recorder against the sensor emulator on loopback, through the program's own code, on TCP and on the
// pseudo-terminal:
//  - RecordInterval0: a mode-1 record with interval 0 for a few seconds. Counters: frames per second of the
//    record, of the live loop's link floor measured in the same run (the bare order-5 exchange, no display,
//    no file), their ratio (record / floor), and the CPU share of the record.
//  - WaitInterval1s: a mode-1 record with interval 1 s, nearly all of it spent waiting out the interval.
//    Counter cpu_per_wall: CPU seconds per wall second (goal: below 0.05).
//  - LinesOnDisk: during a record, after every frame the record file is read back by another handle;
//    lines_missing counts the times it held fewer lines than frames recorded (goal: 0, every line is in the
//    file when ToFile returns).
// Usage: bench_scope_record [--seconds=S] [Google Benchmark options]   (S: length of each record, default 3)
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "com232.h"
#include "harness.h"
#include "live_data.h"
#include "platform.h"
#include "recorder.h"
#include "scope.h"
#include "sensor_emulator.h"

namespace fs = std::filesystem;

namespace {

double g_seconds = 3.0;
fs::path g_dir;

double Clock(clockid_t id) {
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The program started against an emulator on one link, as its entry does.
class Session {
  public:
    explicit Session(bool tcp) {
        sensor_emu::EmulatorOptions options;
        options.versionText = "ORVANE V3.3 2020-05-18";
        options.tcp = tcp;
        options.pty = !tcp;
        if (!tcp) options.ptyLink = (g_dir / "COM5").string();
        emulator_ = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        if (!emulator_->Start(&error)) {
            error_ = "emulator: " + error;
            return;
        }
        std::ofstream(g_dir / "ComSettings.cfg")
            << (tcp ? "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator_->TcpPort()) + "\n" : "0\n5\n4\n\n\n");
        if (LoadOrvanePanels() != 0) {
            error_ = "panels did not load";
            return;
        }
        DisplayOrvanePanels();
        InitAll();
        if (comecho != 1) error_ = "not connected";
        ShowChildPanel(kChildRecorder);
        uitest::SelectListItem(recpanel, RECP_MODE, 1);
    }
    ~Session() {
        poll = 0;
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        CloseCom(comport);
        DiscardOrvanePanels();
        emulator_->Stop();
        uitest::Reset();
    }
    const std::string& Error() const { return error_; }

  private:
    std::unique_ptr<sensor_emu::SensorEmulator> emulator_;
    std::string error_;
};

struct Run {
    double wall = 0, cpu = 0, frames = 0;
};

// A mode-1 record with this interval, stopped with the Stop button after `seconds`; `eachPass` runs on
// every pass of the record's waits.
Run RecordFor(unsigned short interval, double seconds, std::function<void()> eachPass = {}) {
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, interval);
    uitest::ExpectPopup("ATTENTION!", "Are you sure, that you have selected the right file name?", 1);
    uitest::ExpectPopup("ATTENTION!", " Make sure, that the file is not opened by any other program." +
                                          std::string(36, ' ') + "\n Otherwise it can not be saved.");
    uitest::ExpectPopup("INFO!", "File has been saved!");
    const double w0 = Clock(CLOCK_MONOTONIC), c0 = Clock(CLOCK_PROCESS_CPUTIME_ID);
    std::function<void()> pass = [&] {
        if (eachPass) eachPass();
        if (Clock(CLOCK_MONOTONIC) - w0 < seconds)
            uitest::RunDuringBusyWait(pass);
        else
            uitest::Click(recpanel, RECP_STOP);
    };
    uitest::RunDuringBusyWait(pass);
    uitest::Click(recpanel, RECP_START);
    Run r{Clock(CLOCK_MONOTONIC) - w0, Clock(CLOCK_PROCESS_CPUTIME_ID) - c0, 0};
    GetCtrlVal(recpanel, RECP_FRAME_COUNTER, r.frames);
    return r;
}

// The live loop's link floor: order-5 exchanges back to back, nothing displayed or recorded.
double FloorFramesPerSecond(double seconds) {
    const double w0 = Clock(CLOCK_MONOTONIC);
    long frames = 0;
    while (Clock(CLOCK_MONOTONIC) - w0 < seconds) {
        order = 5;
        FillTxBuf(order, 0, 0, 0);
        GetDataFrame();
        if (bytesToRead == 0) ++frames;
    }
    return static_cast<double>(frames) / (Clock(CLOCK_MONOTONIC) - w0);
}

bool Ready(benchmark::State& state, const Session& s) {
    if (s.Error().empty()) return true;
    state.SkipWithError(s.Error().c_str());
    return false;
}

void RecordInterval0(benchmark::State& state, bool tcp) {
    Session session(tcp);
    if (!Ready(state, session)) return;
    for (auto _ : state) {
        const double floor = FloorFramesPerSecond(g_seconds);
        const Run r = RecordFor(0, g_seconds);
        state.SetIterationTime(r.wall);
        const double fps = r.frames / r.wall;
        state.counters["record_fps"] = fps;
        state.counters["floor_fps"] = floor;
        state.counters["ratio"] = fps / floor;
        state.counters["cpu_per_wall"] = r.cpu / r.wall;
    }
}

void WaitInterval1s(benchmark::State& state, bool tcp) {
    Session session(tcp);
    if (!Ready(state, session)) return;
    for (auto _ : state) {
        const Run r = RecordFor(1, std::max(g_seconds, 2.5));
        state.SetIterationTime(r.wall);
        state.counters["frames"] = r.frames;
        state.counters["cpu_per_wall"] = r.cpu / r.wall;
    }
}

long LinesIn(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    return lines;
}

void LinesOnDisk(benchmark::State& state, bool tcp) {
    Session session(tcp);
    if (!Ready(state, session)) return;
    const std::string path = recFileName;
    for (auto _ : state) {
        fs::remove(path);
        long checks = 0, missing = 0;
        // The frame counter is shown after the frame's line was written, so the file holds at least as many
        // lines as the counter says whenever the record waits for its next frame.
        const Run r = RecordFor(0, g_seconds, [&] {
            double shown = 0;
            GetCtrlVal(recpanel, RECP_FRAME_COUNTER, shown);
            ++checks;
            if (LinesIn(path) < static_cast<long>(shown)) ++missing;
        });
        state.SetIterationTime(r.wall);
        state.counters["frames"] = r.frames;
        state.counters["checks"] = static_cast<double>(checks);
        state.counters["lines_missing"] = static_cast<double>(missing);
        state.counters["lines_in_file"] = static_cast<double>(LinesIn(path));
    }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) g_seconds = std::max(0.5, std::atof(argv[i] + 10));
    if (InitCVIRTE(argc, argv) != 0) return 1;
    g_dir = fs::temp_directory_path() / ("bench-scope-record-" + std::to_string(::getpid()));
    fs::create_directories(g_dir);
    uitest::Install(g_dir.string());

    for (bool tcp : {true, false}) {
        const std::string link = tcp ? "TCP" : "Serial";
        benchmark::RegisterBenchmark(("RecordInterval0/" + link).c_str(), RecordInterval0, tcp)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
        benchmark::RegisterBenchmark(("WaitInterval1s/" + link).c_str(), WaitInterval1s, tcp)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
        benchmark::RegisterBenchmark(("LinesOnDisk/" + link).c_str(), LinesOnDisk, tcp)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::remove_all(g_dir);
    return 0;
}
