// Record files read back, side by side with two plotters built for large data files in the same run: kst2
// (Debian's kst) and gnuplot, each drawing the eight signals of the same file into a PNG of 1600x900.
//   bench_records [--lines=N,...] [--reader-only]   (1,000,000 and 10,000,000 lines by default)
// For each file, in turns round after round: the bare std::from_chars parse loop over it (the floor: no
// reader can do less) and the reader (ratio to the floor, goal at most 1.5; bytes per line, goal at most 24;
// the user and system CPU of both, the system's mostly page faults and copies); unless --reader-only, then
// the viewer's open (the reader and the first picture, as the window does it), sensor-tool plot, kst2 and
// gnuplot as processes (goal: the open and sensor-tool plot at most half of kst2's time), and a redraw of
// all eight lanes 1,920 pixels wide at several zooms (goal at most 16 ms). The file is in the page cache for
// everyone.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <charconv>
#include <cstring>
#include <fstream>
#include <random>

#include "bench_support.h"
#include "record_picture.h"
#include "record_reader.h"

extern char** environ;

namespace {
using bench::Format;

// Lines as the scope writes them at interval 0: about 1,000 a second, values drifting with noise.
void WriteRecord(const std::string& path, std::size_t lines) {
    std::ofstream out(path, std::ios::binary);
    out << "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";
    std::mt19937 random(1);
    std::string text;
    int v[8] = {1200, 1900, 1100, 2000, 500, 500, 3, 300};
    char line[128];
    for (std::size_t i = 0; i < lines; ++i) {
        const std::size_t second = 17 * 3600 + i / 1000;
        for (int s = 0; s < 6; ++s) v[s] = std::clamp(v[s] + int(random() % 21) - 10, 0, 4095);
        v[6] = int(i / 5000 % 31);
        v[7] = 300 + int(i / 1000000);
        const int n = std::snprintf(line, sizeof line,
                                    "12-%02d-2026\t%02zu:%02zu:%02zu\t%d\t%d\t%d\t%d\t%d\t%d\t%d\t%d\r\n",
                                    6 + int(second / 86400), second / 3600 % 24, second / 60 % 60,
                                    second % 60, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        text.append(line, std::size_t(n));
        if (text.size() > (1 << 22)) out << text, text.clear();
    }
    out << text;
}

// The bare loop both floors run: the file read in pieces of 2 MB into a buffer made once, outside the
// timing; each line's eight numbers taken with std::from_chars straight from it (the date and time skipped,
// the line's end found where its last number ends); a line cut by a piece's end moved to the buffer's start
// for the next. No check of any kind: no reader can do less with the same bytes.
template <typename Line>
void BareLoop(const std::string& path, Line&& line) {
    constexpr std::size_t kPiece = std::size_t(2) << 20;
    static std::vector<char> buffer(kPiece + 4096);
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::size_t kept = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data() + kept, kPiece);
        if (n <= 0) break;
        const char* p = buffer.data();
        const char* const end = p + kept + std::size_t(n);
        // A line is far shorter than 128 bytes: only near the end may one be cut.
        while (end - p >= 128 || std::memchr(p, '\n', std::size_t(end - p)) != nullptr) {
            unsigned values[8];
            const char* q = p + 20;
            for (unsigned& value : values) q = std::from_chars(q, end, value).ptr + 1;
            while (q < end && *q != '\n') ++q;
            line(values);
            p = q + 1;
        }
        kept = std::size_t(end - p);
        std::memmove(buffer.data(), p, kept);
    }
    ::close(fd);
}

// The floor: the bare loop, its numbers summed so the compiler keeps the work. There is no second floor that
// also stores the lines: into memory faulted before the timing its stores hide behind the parse (it cost 1.00
// to 1.10 times the bare loop), so it bounds nothing more, and within the noise of a busy machine it came
// out above the reader; into fresh memory it measures what the host did with that memory before, not the
// work (here 0.03 s to 0.6 s for the 220 MB of 10 M lines, depending on whether the guest had handed the
// memory back to the host), and the reader beat it. The reader's system CPU shows that part instead.
std::uint64_t BareParse(const std::string& path) {
    std::uint64_t sum = 0;
    BareLoop(path, [&](const unsigned* values) {
        for (int s = 0; s < 8; ++s) sum += values[s];
    });
    return sum;
}

long ResidentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

struct ProcessRun {
    bool ran = false;
    double seconds = 0, peakMb = 0;
    int code = -1;
};
// A program run to its end: wall time and the peak memory of it and its children.
ProcessRun RunProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "HOME=/tmp", "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ProcessRun run;
    // A fresh child process per run, so that its peak memory is its own: measured through a shell-less
    // double spawn would mix them; wait4 gives the child's rusage, its children's included once reaped.
    const double start = bench::Now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) return run;
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = bench::Now() - start;
    run.ran = true;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakMb = usage.ru_maxrss / 1024.0;
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// The runs of one program: their times and the largest peak memory among them; a run that failed is not
// counted.
struct Timings {
    std::vector<double> seconds;
    double peakMb = 0;
    bool Run(std::vector<std::string> args) {
        const ProcessRun run = RunProgram(std::move(args));
        if (!run.ran || run.code != 0) return false;
        seconds.push_back(run.seconds), peakMb = std::max(peakMb, run.peakMb);
        return true;
    }
    double Median() const { return seconds.empty() ? 0.0 : bench::Summarise(seconds).median; }
    // The table's row: median seconds and peak MB, or `absent` when it never ran.
    std::vector<std::string> Row(const std::string& name, const std::string& absent) const {
        if (seconds.empty()) return {name, absent, "", "-", ""};
        return {name, Format("%.3f", Median()), "", Format("%.0f", peakMb), ""};
    }
};

bool Have(const char* program) {
    return std::system((std::string("command -v ") + program + " > /dev/null 2>&1").c_str()) == 0;
}
// The peers, installed here when missing (as root, or with sudo without a password).
void InstallPeers() {
    if (Have("kst2") && Have("gnuplot")) return;
    std::printf("installing the peers: kst gnuplot-nox\n");
    const char* sudo = ::geteuid() == 0 ? "" : "sudo -n ";
    const std::string command =
        std::string(sudo) +
        "env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "
        "kst gnuplot-nox > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        std::printf("  could not install them: their columns stay empty\n");
}

std::string Ratio(double ratio, double goal, bool atMost = true) {
    return Format("%.2f (goal %s %.2f: %s)", ratio, atMost ? "<=" : ">=", goal,
                  (atMost ? ratio <= goal : ratio >= goal) ? "met" : "MISSED");
}

// A piece of work's wall time and its thread's user and system CPU: the system part is the kernel's, mostly
// the file's copies out of the page cache and the first writes to fresh memory.
struct Times {
    double wall = 0, user = 0, system = 0;
};
template <typename F>
Times Timed(F&& f) {
    const auto now = [] {
        struct rusage usage {};
        ::getrusage(RUSAGE_THREAD, &usage);
        const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
        return Times{bench::Now(), seconds(usage.ru_utime), seconds(usage.ru_stime)};
    };
    const Times before = now();
    f();
    const Times after = now();
    return {after.wall - before.wall, after.user - before.user, after.system - before.system};
}

// The floor and the reader in turns, round after round, so that a busy machine weighs on both alike; the
// medians of their rounds are set against each other, with the lowest and the highest of the rounds' own
// ratios, and the reader's user CPU against the floor's. Their rows go to `table`.
void CompareReader(const std::string& file, std::size_t lines, bool large, bench::Table& table) {
    std::uint64_t sink = BareParse(file);  // into the page cache
    std::size_t bytesUsed = 0;
    long residentGrowth = 0;
    std::vector<Times> floors, readers;
    for (int round = 0; round < (large ? 9 : 25); ++round) {
        floors.push_back(Timed([&] { sink += BareParse(file); }));
        readers.push_back(Timed([&] {
            const long before = ResidentBytes();
            records::RecordReader r(file);
            std::string error;
            bench::Require(r.Open(error), error);
            r.ReadAll();
            bench::Require(r.Data().Size() == lines, "the reader read every line");
            bytesUsed = r.Data().BytesUsed();
            residentGrowth = ResidentBytes() - before;
        }));
    }
    const auto median = [](const std::vector<Times>& runs, double Times::*part) {
        std::vector<double> v;
        for (const Times& t : runs) v.push_back(t.*part);
        return bench::Summarise(v).median;
    };
    // The CPU (user and system) of `runs` to that of `base`: the median of the rounds' own ratios, and their
    // lowest and highest. Unlike the wall times, untouched by other programs taking the cores.
    const auto cpuRatios = [](const std::vector<Times>& runs, const std::vector<Times>& base) {
        std::vector<double> v;
        for (std::size_t i = 0; i < runs.size(); ++i)
            v.push_back((runs[i].user + runs[i].system) / (base[i].user + base[i].system));
        return Format("CPU %.2f (rounds %.2f..%.2f)", bench::Summarise(v).median,
                      *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    };
    const auto cpu = [&](const std::vector<Times>& runs) {
        return Format("%.3f + %.3f", median(runs, &Times::user), median(runs, &Times::system));
    };
    const double floor = median(floors, &Times::wall), reader = median(readers, &Times::wall);
    table.Row({"bare from_chars parse loop (floor)", Format("%.3f", floor), cpu(floors), "", ""});
    table.Row({"reader", Format("%.3f", reader), cpu(readers),
               Format("%.0f (%.1f bytes/line; resident +%.1f)", double(bytesUsed) / 1e6,
                      double(bytesUsed) / double(lines), double(residentGrowth) / double(lines)),
               "to the bare loop " + Ratio(reader / floor, 1.5) +
                   (reader / floor < bench::kFloorImplausible ? " FLOOR WRONG" : "") + ", " +
                   cpuRatios(readers, floors) +
                   Format(", user CPU %.2f", median(readers, &Times::user) / median(floors, &Times::user))});
    table.Row({"memory per line", "", "", Format("%.1f bytes", double(bytesUsed) / double(lines)),
               Ratio(double(bytesUsed) / double(lines), 24.0)});
    if (sink == 42) std::printf(" ");
}

// The viewer's open and sensor-tool plot next to kst2 and gnuplot (rows to `table`), then the redraws.
void ComparePrograms(const std::string& file, bool large, const std::string& tool, const bench::fs::path& dir,
                     bench::Table& table) {
    bench::RepeatOptions repeat;
    repeat.minRuns = large ? 1 : 3;
    repeat.maxRuns = large ? 1 : 7;
    repeat.spread = 0.05;
    const bench::Runs open = bench::Repeat(
        [&] {
            records::RecordReader r(file);
            std::string error;
            bench::Require(r.Open(error), error);
            r.ReadAll();
            QImage image(1600, 900, QImage::Format_RGB32);
            QPainter painter(&image);
            DrawRecordPicture(painter, image.rect(), r.Data(), FitAll(r.Data(), PictureView{}));
        },
        repeat);
    const std::string png = (dir / "out.png").string();
    Timings plot, kst, gnuplot;
    for (int i = 0; i < (large ? 1 : 3); ++i) {
        bench::Require(plot.Run({tool, "plot", file, "--png", png, "--size", "1600x900"}),
                       "sensor-tool plot drew the file");
        if (Have("kst2"))
            kst.Run({"kst2", file, "-A", "-y", "3",  "-y", "4",  "-y", "5",     "-y", "6",
                     "-y",   "7",  "-y", "8",  "-y", "9",  "-y", "10", "--png", png});
        if (Have("gnuplot") && !large) {
            std::string script = "set terminal png size 1600,900; set output '" + png +
                                 "'; set datafile separator '\\t'; set multiplot layout 8,1; ";
            for (int c = 3; c <= 10; ++c)
                script += Format("plot '%s' using 0:%d with lines notitle; ", file.c_str(), c);
            gnuplot.Run({"gnuplot", "-e", script + "unset multiplot"});
        }
    }
    // Redraws at any zoom, all eight lanes 1,920 pixels wide.
    records::RecordReader loaded(file);
    std::string error;
    bench::Require(loaded.Open(error), error);
    loaded.ReadAll();
    const PictureView all = FitAll(loaded.Data(), PictureView{});
    bench::Table redraws(
        {"redraw, 1920x1080, 8 lanes", "lines in view", "median ms (p25..p75)", "CPU ms", "goal <= 16 ms"});
    for (double zoom : {1.0, 0.1, 0.001, 0.00001}) {
        PictureView v = all;
        const double middle = (all.x0 + all.x1) / 2, half = (all.x1 - all.x0) * zoom / 2;
        v.x0 = middle - half, v.x1 = middle + half;
        QImage image(1920, 1080, QImage::Format_RGB32);
        const bench::Runs r = bench::Repeat(
            [&] {
                QPainter painter(&image);
                DrawRecordPicture(painter, image.rect(), loaded.Data(), v);
            },
            {5, 25, 20.0, 0.05});
        const auto [first, last] = VisibleLines(loaded.Data(), v);
        redraws.Row({Format("zoom 1/%.0f", 1 / zoom), Format("%zu", last - first), bench::Millis(r.wall),
                     Format("%.2f", r.cpu * 1e3), r.wall.median <= 0.016 ? "met" : "MISSED"});
    }
    const double kstMedian = kst.Median();
    table.Row({"viewer open (reader + first picture)", Format("%.3f", open.wall.median), "", "",
               kstMedian > 0 ? "to kst2 " + Ratio(open.wall.median / kstMedian, 0.5) : "kst2 missing"});
    table.Row({"sensor-tool plot --png", Format("%.3f", plot.Median()), "", Format("%.0f", plot.peakMb),
               kstMedian > 0 ? "to kst2 " + Ratio(plot.Median() / kstMedian, 0.5) : "kst2 missing"});
    table.Row(kst.Row("kst2 --png", "-"));
    table.Row(gnuplot.Row("gnuplot png", large ? "not run" : "-"));
    table.Print();
    redraws.Print();
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes = {1'000'000, 10'000'000};
    bool readerOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--reader-only") == 0) readerOnly = true;
        if (std::strncmp(argv[i], "--lines=", 8) == 0) {
            sizes.clear();
            for (std::string_view list = argv[i] + 8; !list.empty();) {
                const std::string_view item = list.substr(0, list.find(','));
                sizes.push_back(std::stoul(std::string(item)));
                list.remove_prefix(std::min(list.size(), item.size() + 1));
            }
        }
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bench::PrintConditions(
        "Record files: the reader, the viewer and sensor-tool plot next to kst2 and gnuplot");
    if (!readerOnly) InstallPeers();
    const bench::fs::path dir = bench::WorkDir("bench_records");
    const std::string self = bench::fs::canonical("/proc/self/exe").parent_path();
    const std::string tool = self + "/sensor-tool";

    for (const std::size_t lines : sizes) {
        const std::string file = (dir / Format("record-%zu.dat", lines)).string();
        WriteRecord(file, lines);
        const double megabytes = double(bench::fs::file_size(file)) / 1e6;
        std::printf("\n%zu lines, %.0f MB\n", lines, megabytes);
        const bool large = lines > 2'000'000;
        bench::Table table({"", "seconds (median)", "CPU user + system", "peak MB", "ratio"});
        CompareReader(file, lines, large, table);
        if (readerOnly)
            table.Print();
        else
            ComparePrograms(file, large, tool, dir, table);
        std::remove(file.c_str());
    }
    bench::fs::remove_all(dir);
    return 0;
}
