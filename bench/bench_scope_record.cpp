// The recorder against the sensor emulator, through the program's own code:
//  1. Mode 1 at interval 0, the record as fast as frames can be asked for: frames per second next to the bare
//     exchange rate of the program's own link code measured just before each record (TCP and the
//     pseudo-terminal on loopback; goal at least 0.5) and, on a wire-speed serial line at 115,200 baud, next
//     to the wire exchange rate (goal at least 0.95) and the bare exchange (goal at least 0.99); rounds of
//     both, the median of the records and of their ratios to the bare run before each, and of the median
//     time between two requests at the sensor, which stalls of the machine here and there leave out.
//  2. The recorder's own work per frame, without the exchange and the repaints (displays, seven graphs, the
//     file; goal at most 100 us), and one repaint at the screen's pace of what five frames left (30 a
//     second).
//  3. A mode-1 record with interval 1 s: CPU seconds per wall second while it waits (goal below 0.05), and a
//     check that every line is in the file when the next frame is awaited (lines missing: goal 0).
//  4. Triggered records in the window and in sensor-tool, from a sensor that sends frames by itself and
//     breaks a frame off after 10 bytes before every 50th: at 1,000 frames/s over TCP and at the line's full
//     rate on a wire-speed serial line at 115,200 baud. Frames sent, recorded, lost, false (lines no frame
//     sent), the lag of the record behind the sensor at its end (from the last frame's last byte leaving
//     the sensor to its line in the file), and the CPU of the program while the frames come (goals: every
//     frame recorded, 0 false, lag at most 100 ms, CPU at most 50 % of a core).
// CPU is the program's thread's; the emulator serves from a thread of its own.
// Usage: bench_scope_record [--seconds=S] [--rounds=R] [--trigger-seconds=T] [--parts=1234]
//   S: length of each interval-0 record and bare run (2), R: rounds of them (5), T: sending time of each
//   triggered record (10); --parts: which of the four parts above to run (all).
#include <pthread.h>
#include <sys/stat.h>
#include <time.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench_support.h"
#include "com232.h"
#include "commands.h"
#include "graph_panel.h"
#include "harness.h"
#include "internal.h"
#include "live_data.h"
#include "platform.h"
#include "recorder.h"
#include "scope.h"
#include "scope_state.h"
#include "sensor_exchange.h"

namespace {

using bench::Link;

constexpr const char* kVersion = "ORVANE V3.3 2020-05-18";
const std::string kMakeSure = " Make sure, that the file is not opened by any other program.";
constexpr const char* kConfirm = "Are you sure, that you have selected the right file name?";

double g_seconds = 2.0;
int g_rounds = 5;
double g_triggerSeconds = 10.0;
std::string g_parts = "1234";
bench::fs::path g_dir;

// The program started against an emulator on one link, as its entry does, with the recorder shown.
class Session {
  public:
    explicit Session(const Link& link, sensor_emu::EmulatorOptions options = {}) {
        options.versionText = kVersion;
        emulator = bench::StartEmulator(link, g_dir, options);
        bench::WriteComSettings(g_dir, link, *emulator);
        bench::Require(LoadOrvanePanels() == 0, "panels did not load");
        DisplayOrvanePanels();
        InitAll();
        bench::Require(comecho == 1, "not connected on " + link.Name());
        ShowChildPanel(kChildRecorder);
    }
    ~Session() {
        poll = 0;
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        CloseCom(comport);
        DiscardOrvanePanels();
        emulator->Stop();
        uitest::Reset();
    }
    std::unique_ptr<sensor_emu::SensorEmulator> emulator;
};

double FrameCounter() {
    double frames = 0;
    GetCtrlVal(recpanel, RECP_FRAME_COUNTER, frames);
    return frames;
}

// A mode-1 record with this interval, stopped with the Stop button after `seconds`; `eachPass` runs on every
// pass of the record's waits.
struct Run {
    double wall = 0, cpu = 0, frames = 0;
};
Run RecordFor(unsigned short interval, double seconds, const std::function<void()>& eachPass = {}) {
    uitest::SelectListItem(recpanel, RECP_MODE, 1);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, interval);
    uitest::ExpectPopup("ATTENTION!", kConfirm, 1);
    uitest::ExpectPopup("ATTENTION!", kMakeSure + std::string(36, ' ') + "\n Otherwise it can not be saved.");
    uitest::ExpectPopup("INFO!", "File has been saved!");
    const double w0 = bench::Now();
    // Without a check on every pass, a timer stops the record: nothing of the benchmark runs meanwhile.
    std::function<void()> pass = [&] {
        eachPass();
        if (bench::Now() - w0 < seconds)
            uitest::RunDuringBusyWait(pass);
        else
            uitest::Click(recpanel, RECP_STOP);
    };
    if (eachPass)
        uitest::RunDuringBusyWait(pass);
    else
        QTimer::singleShot(int(seconds * 1e3), Qt::PreciseTimer, [] { uitest::Click(recpanel, RECP_STOP); });
    const bench::Span s = bench::Measure([] { uitest::Click(recpanel, RECP_START); });
    return {s.wall, s.cpu, FrameCounter()};
}

// The bare exchange: an order-5 frame and its reply, nothing displayed.
void BareExchange() {
    order = 5;
    FillTxBuf(order, 0, 0, 0);
    GetDataFrame();
}

// --- 1. interval 0 ----------------------------------------------------------------------------------------

void IntervalZero(bench::Table& table) {
    for (const Link& link : {Link{Link::Tcp}, Link{Link::Pty}, Link{Link::Wire, 115200}}) {
        Session session(link);
        // The line's turnaround drifts with the machine, so each record is held to the bare run just before.
        std::vector<double> record, bare, toBare, pace, cpu;
        for (int r = 0; r < g_rounds; ++r) {
            session.emulator->ResetCounters();
            bare.push_back(bench::ExchangesPerSecond(g_seconds, BareExchange));
            const double bareInterval = bench::MedianRequestInterval(*session.emulator);
            const Run run = RecordFor(0, g_seconds);
            pace.push_back(bareInterval / bench::MedianRequestInterval(*session.emulator));
            record.push_back(run.frames / run.wall);
            toBare.push_back(record.back() / bare.back());
            cpu.push_back(run.cpu / run.wall);
        }
        const bench::Summary paced = bench::Summarise(pace);
        const double rec = bench::Summarise(record).median, b = bench::Summarise(bare).median;
        const bench::Summary ratio = bench::Summarise(toBare);
        const std::string ofBare = bench::Format("%.3f of bare (%.3f..%.3f)", ratio.median,
                                                 *std::min_element(toBare.begin(), toBare.end()),
                                                 *std::max_element(toBare.begin(), toBare.end()));
        const double wire = 1.0 / bench::ExchangeFloor(1, link.baud);
        table.Row(
            {link.Name(), bench::Format("%.0f", rec), bench::Format("%.0f", b),
             link.kind == Link::Wire ? bench::Format("%.0f", wire) : "-",
             link.kind == Link::Wire ? bench::Format("%.3f of wire, ", rec / wire) + ofBare : ofBare,
             bench::Format("%.3f (%.3f..%.3f)", paced.median, *std::min_element(pace.begin(), pace.end()),
                           *std::max_element(pace.begin(), pace.end())),
             link.kind == Link::Wire ? ">= 0.95, 0.99" : ">= 0.5",
             bench::Format("%.0f %%", 100.0 * bench::Summarise(cpu).median), std::to_string(g_rounds)});
    }
}

// --- 2. the recorder's own work per frame -----------------------------------------------------------------

void FrameCost(bench::Table& table) {
    std::ofstream(g_dir / "ComSettings.cfg") << "1\n1\n1\n127.0.0.1\n1\n";  // no sensor
    bench::Require(LoadOrvanePanels() == 0, "panels did not load");
    DisplayOrvanePanels();
    InitAll();
    ShowChildPanel(kChildRecorder);
    uitest::SelectListItem(recpanel, RECP_MODE, 1);
    constexpr int kFrames = 2000;
    // At interval 0 about 150 frames come a second and the screen is painted 30 times: five frames apiece.
    constexpr int kFramesPerRepaint = 5, kRepaints = 100;
    double frameCounter = 0;
    std::vector<double> perFrame, repaint;
    Frame frame{0x00, 0xAA, 0x00, 0x05};
    auto record = [&](int k) {
        SetFrameWord(frame, 2, static_cast<std::uint16_t>(1000 + k % 300));  // a channel that moves
        RecordOneFrame(frame);
        SetCtrlVal(recpanel, RECP_FRAME_COUNTER, frameCounter += 1.0);
    };
    for (int round = 0; round < 5; ++round) {
        const bench::Span s = bench::Measure([&] {
            for (int k = 0; k < kFrames; ++k) record(k);
        });
        perFrame.push_back(s.cpu / kFrames);
        // Then the frames of a record at its pace, each repaint painting what its five frames left.
        double cpu = 0;
        for (int r = 0; r < kRepaints; ++r) {
            for (int k = 0; k < kFramesPerRepaint; ++k) record(k);
            cpu += bench::Measure([] {
                       platform_detail::ShowScreenFrameNow();
                       QApplication::processEvents();
                   }).cpu;
        }
        repaint.push_back(cpu / kRepaints);
    }
    table.Row({"recorder's work per frame (no exchange, no repaint)",
               bench::Format("%.1f us", 1e6 * bench::Summarise(perFrame).median), "<= 100 us"});
    table.Row({"one repaint at the screen's pace (30 per second, 5 frames each)",
               bench::Format("%.2f ms", 1e3 * bench::Summarise(repaint).median), "-"});
    DiscardOrvanePanels();
    uitest::Reset();
}

// --- 3. waiting out the interval, lines on disk ----------------------------------------------------------

long LinesIn(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
    return lines;
}

void Waiting(bench::Table& table) {
    for (const Link& link : {Link{Link::Tcp}, Link{Link::Pty}}) {
        Session session(link);
        const Run wait = RecordFor(1, std::max(g_seconds, 2.5));
        const std::string path = recFileName;
        bench::fs::remove(path);
        SetCtrlVal(recpanel, RECP_FRAME_COUNTER, 0.0);  // not what the record before counted
        long checks = 0, missing = 0;
        // The frame counter is shown after the frame's line was written, so the file holds at least as many
        // lines as the counter says whenever the record waits for its next frame.
        const Run lines = RecordFor(0, g_seconds, [&] {
            ++checks;
            if (LinesIn(path) < static_cast<long>(FrameCounter())) ++missing;
        });
        table.Row({link.Name(), bench::Format("%.0f frames, %.4f", wait.frames, wait.cpu / wait.wall),
                   bench::Format("%.0f frames, %ld checks, %ld missing", lines.frames, checks, missing)});
    }
}

// --- 4. triggered records ---------------------------------------------------------------------------------

// What a triggered record got of the frames sent.
struct Triggered {
    long sent = 0, recorded = 0, lost = 0, falseLines = 0;
    double lagMs = -1, cpu = 0, fps = 0;
};

// The values a line holds of a frame (words 2 to 9).
std::string LineValues(const sensor_emu::Frame& f) {
    std::string values;
    for (int w = 2; w <= 9; ++w) values += (w > 2 ? "\t" : "") + std::to_string(f[2 * w] << 8 | f[2 * w + 1]);
    return values;
}

// Lines of the record file against the frames sent: a line is recorded when it is the next frame sent (or
// one after frames it lost), false when no frame from there on matches it.
void Compare(const std::string& path, const std::vector<sensor_emu::Frame>& sent, Triggered& t) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::size_t next = 0;
    t.sent = long(sent.size());
    while (std::getline(in, line)) {
        if (line.rfind("DATE", 0) == 0) continue;  // the header
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t values = line.find('\t', line.find('\t') + 1) + 1;
        const std::string v = line.substr(values);
        std::size_t k = next;
        while (k < sent.size() && LineValues(sent[k]) != v) ++k;
        if (k == sent.size()) {
            ++t.falseLines;
            continue;
        }
        ++t.recorded;
        next = k + 1;
    }
    t.lost = t.sent - t.recorded;
}

double SteadySeconds(std::chrono::steady_clock::time_point at) {
    return std::chrono::duration<double>(at.time_since_epoch()).count();  // CLOCK_MONOTONIC, as bench::Now
}

// Watches a triggered record from a thread of its own: once the sensor sends, lets it send for
// g_triggerSeconds, then silences it and waits until the record file has stopped growing. Measures the
// program's thread's CPU while the frames come, and the lag.
class Watcher {
  public:
    Watcher(sensor_emu::SensorEmulator& e, std::string path) : emulator_(e), path_(std::move(path)) {
        pthread_getcpuclockid(pthread_self(), &programCpu_);
        thread_ = std::thread([this] { Watch(); });
    }
    ~Watcher() {
        if (thread_.joinable()) thread_.join();
    }
    bool Done() const { return done_; }
    void Results(Triggered& t) {
        if (thread_.joinable()) thread_.join();
        t.cpu = cpu_;
        t.lagMs = 1e3 * (lastGrowth_ - SteadySeconds(emulator_.LastAutoSentAt()));
    }

  private:
    double ProgramCpu() const {
        timespec ts{};
        clock_gettime(programCpu_, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    }
    long FileSize() const {
        struct stat st {};
        return ::stat(path_.c_str(), &st) == 0 ? long(st.st_size) : 0;
    }
    void Watch() {
        const double give = bench::Now() + 10.0;
        while (!emulator_.AutoSending() && bench::Now() < give)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double w0 = bench::Now(), c0 = ProgramCpu();
        std::this_thread::sleep_for(std::chrono::duration<double>(g_triggerSeconds));
        emulator_.SetFaults({.silent = true});
        const double w1 = bench::Now();
        cpu_ = (ProgramCpu() - c0) / (w1 - w0);
        long size = FileSize();
        lastGrowth_ = bench::Now();
        while (bench::Now() - lastGrowth_ < 0.5) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const long now = FileSize();
            if (now != size) {
                size = now;
                lastGrowth_ = bench::Now();
            }
        }
        done_ = true;
    }

    sensor_emu::SensorEmulator& emulator_;
    std::string path_;
    clockid_t programCpu_{};
    std::thread thread_;
    std::atomic<bool> done_{false};
    double cpu_ = 0, lastGrowth_ = 0;
};

sensor_emu::EmulatorOptions TriggerOptions(const Link& link, double& fps) {
    sensor_emu::EmulatorOptions o;
    // The line's full rate: its bytes per second over a frame and its share of a broken one.
    fps = link.kind == Link::Wire ? std::floor(double(link.baud) / 10.0 / (36.0 + 10.0 / 50.0)) : 1000.0;
    o.autoSendHz = fps;
    return o;
}
constexpr sensor_emu::Faults kBrokenFrames{.autoBrokenEvery = 50, .autoBrokenBytes = 10};

Triggered TriggeredWindow(const Link& link) {
    Triggered t;
    Session session(link, TriggerOptions(link, t.fps));
    session.emulator->SetFaults(kBrokenFrames);
    const std::string path = recFileName;
    bench::fs::remove(path);
    uitest::SelectListItem(recpanel, RECP_MODE, 3);
    uitest::ExpectPopup("ATTENTION!", kConfirm, 1);
    uitest::ExpectPopup("ATTENTION!", kMakeSure + std::string(42, ' ') + "\n Otherwise it can not be saved.");
    uitest::ExpectPopup("INFO!", "File has been saved!");
    Watcher watcher(*session.emulator, path);
    QTimer stop;
    QObject::connect(&stop, &QTimer::timeout, [&] {
        if (watcher.Done()) uitest::Click(recpanel, RECP_STOP_TRIGGERED);
    });
    stop.start(10);
    uitest::Click(recpanel, RECP_START_TRIGGERED);
    watcher.Results(t);
    Compare(path, session.emulator->AutoSentFrames(), t);
    return t;
}

Triggered TriggeredTool(const Link& link) {
    Triggered t;
    auto emulator = bench::StartEmulator(link, g_dir, TriggerOptions(link, t.fps));
    emulator->SetFaults(kBrokenFrames);
    Options o;
    o.linkGiven = true;
    o.link.tcp = link.kind == Link::Tcp;
    o.link.host = "127.0.0.1";
    o.link.port = emulator->TcpPort();
    o.link.comPort = bench::kComPort;
    o.link.baudIndex = link.Serial() ? bench::BaudIndex(link.baud) : 4;
    o.command = Command::Record;
    o.triggered = true;
    o.duration = g_triggerSeconds + 3.0;  // sending, then the catching up is watched
    o.file = (g_dir / "tool.dat").string();
    std::FILE* out = std::tmpfile();
    {
        Watcher watcher(*emulator, o.file);
        bench::Require(RunCommand(o, {out, out}) == 0, "sensor-tool record --triggered failed");
        watcher.Results(t);
    }
    std::fclose(out);
    Compare(o.file, emulator->AutoSentFrames(), t);
    emulator->Stop();
    return t;
}

void TriggeredRecords(bench::Table& table) {
    for (const Link& link : {Link{Link::Tcp}, Link{Link::Wire, 115200}})
        for (const bool window : {true, false}) {
            const Triggered t = window ? TriggeredWindow(link) : TriggeredTool(link);
            table.Row({window ? "window" : "sensor-tool", link.Name(), bench::Format("%.0f", t.fps),
                       std::to_string(t.sent), std::to_string(t.recorded), std::to_string(t.lost),
                       std::to_string(t.falseLines), bench::Format("%.0f", t.lagMs),
                       bench::Format("%.1f %%", 100.0 * t.cpu)});
        }
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) g_seconds = std::max(0.5, std::atof(argv[i] + 10));
        if (std::strncmp(argv[i], "--rounds=", 9) == 0) g_rounds = std::max(1, std::atoi(argv[i] + 9));
        if (std::strncmp(argv[i], "--trigger-seconds=", 18) == 0)
            g_triggerSeconds = std::max(1.0, std::atof(argv[i] + 18));
        if (std::strncmp(argv[i], "--parts=", 8) == 0) g_parts = argv[i] + 8;
    }
    auto part = [](char p) { return g_parts.find(p) != std::string::npos; };
    if (InitCVIRTE(argc, argv) != 0) return 1;
    g_dir = bench::WorkDir("bench-scope-record");
    uitest::Install(g_dir.string());
    bench::PrintConditions("bench_scope_record: the recorder against the emulator");

    if (part('1')) {
        bench::Table zero({"link", "record frames/s", "bare frames/s", "wire frames/s", "ratio",
                           "median pace to bare", "goal", "CPU", "rounds"});
        IntervalZero(zero);
        std::printf(
            "Mode 1, interval 0 (medians of the rounds; bare: order-5 exchanges through the link code, "
            "before each\n"
            "record; the ratio: the median of the records to the bare run before each, lowest..highest; the\n"
            "median pace: the bare run's median time between two requests at the sensor over the "
            "record's)\n");
        zero.Print();
    }
    if (part('2')) {
        bench::Table cost({"work", "median", "goal"});
        FrameCost(cost);
        cost.Print();
    }
    if (part('3')) {
        bench::Table waits({"link", "interval 1 s: frames, CPU s per wall s (goal < 0.05)",
                            "interval 0: lines in the file whenever a frame is awaited (goal: 0 missing)"});
        Waiting(waits);
        waits.Print();
    }
    if (part('4')) {
        bench::Table triggered(
            {"program", "link", "frames/s", "sent", "recorded", "lost", "false", "lag ms", "CPU"});
        TriggeredRecords(triggered);
        std::printf(
            "Triggered records, %.0f s of frames, a frame broken off after 10 bytes before every 50th\n"
            "(goals: every frame recorded, 0 false, lag <= 100 ms, CPU <= 50 %% of a core):\n",
            g_triggerSeconds);
        triggered.Print();
    }
    bench::fs::remove_all(g_dir);
    return 0;
}
