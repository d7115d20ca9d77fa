// Record files read back, side by side with two plotters built for large data files in the same run: kst2
// (Debian's kst) and gnuplot, each drawing the eight signals of the same file into a PNG of 1600x900.
//   bench_records [--lines=N,...]   (1,000,000 and 10,000,000 lines by default)
// For each file, in turns round after round: the bare std::from_chars parse loop over it (the floor: no
// reader can do less), the same storing what a reader keeps, and the reader
// (ratio to the floor, goal at most 1.5; bytes per line, goal at most 24), the viewer's open (the reader and
// the first picture, as the window does it), sensor-tool plot, kst2 and gnuplot as processes (goal: the
// open and sensor-tool plot at most half of kst2's time), and a redraw of all eight lanes 1,920 pixels wide
// at several zooms (goal at most 16 ms). The file is in the page cache for everyone.
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
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

// The floor: the bare loop, its numbers summed so the compiler keeps the work.
std::uint64_t BareParse(const std::string& path) {
    std::uint64_t sum = 0;
    BareLoop(path, [&](const unsigned* values) {
        for (int s = 0; s < 8; ++s) sum += values[s];
    });
    return sum;
}

// A second floor, for the memory the reader must fill: the same loop storing each line's eight values and a
// 32-bit time and 16-bit fraction (the reader's 22 bytes) into memory mapped for them, on huge pages where
// the system offers them (as the reader's). On a virtual machine whose first write to a page is expensive
// this is the honest lower bound of any reader that keeps the lines.
std::uint64_t BareParseAndStore(const std::string& path, std::size_t lines) {
    constexpr std::size_t kHuge = std::size_t(2) << 20;
    const std::size_t bytes = (lines * 22 + kHuge - 1) / kHuge * kHuge;
    auto* mapped = static_cast<unsigned char*>(
        ::mmap(nullptr, bytes + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    bench::Require(mapped != MAP_FAILED, "memory for the store floor");
    auto* memory = reinterpret_cast<unsigned char*>((reinterpret_cast<std::uintptr_t>(mapped) + kHuge - 1) &
                                                    ~std::uintptr_t(kHuge - 1));
    ::madvise(memory, bytes, MADV_HUGEPAGE);
    std::uint16_t* values = reinterpret_cast<std::uint16_t*>(memory);
    std::uint32_t* seconds = reinterpret_cast<std::uint32_t*>(memory + lines * 16);
    std::uint16_t* fractions = reinterpret_cast<std::uint16_t*>(memory + lines * 20);
    std::size_t line = 0;
    BareLoop(path, [&](const unsigned* v) {
        if (line >= lines) return;
        for (int s = 0; s < 8; ++s) values[line * 8 + std::size_t(s)] = std::uint16_t(v[s]);
        seconds[line] = std::uint32_t(line);
        fractions[line] = std::uint16_t(line);
        ++line;
    });
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < lines; i += 4096) sum += values[i * 8];
    ::munmap(mapped, bytes + kHuge);
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
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::size_t> sizes = {1'000'000, 10'000'000};
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--lines=", 8) == 0) {
            sizes.clear();
            for (std::string_view list = argv[i] + 8; !list.empty();) {
                const std::string_view item = list.substr(0, list.find(','));
                sizes.push_back(std::stoul(std::string(item)));
                list.remove_prefix(std::min(list.size(), item.size() + 1));
            }
        }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bench::PrintConditions(
        "Record files: the reader, the viewer and sensor-tool plot next to kst2 and gnuplot");
    InstallPeers();
    const bench::fs::path dir = bench::WorkDir("bench_records");
    const std::string self = bench::fs::canonical("/proc/self/exe").parent_path();
    const std::string tool = self + "/sensor-tool";

    for (const std::size_t lines : sizes) {
        const std::string file = (dir / Format("record-%zu.dat", lines)).string();
        WriteRecord(file, lines);
        const double megabytes = double(bench::fs::file_size(file)) / 1e6;
        std::printf("\n%zu lines, %.0f MB\n", lines, megabytes);
        const bool large = lines > 2'000'000;
        bench::RepeatOptions repeat;
        repeat.minRuns = large ? 1 : 3;
        repeat.maxRuns = large ? 1 : 7;
        repeat.spread = 0.05;
        BareParse(file);  // into the page cache

        // The floors and the reader in turns, round after round, so that a busy machine weighs on all three
        // alike; the medians of their rounds are set against each other, as wall and as CPU time.
        std::uint64_t sink = 0;
        std::size_t bytesUsed = 0;
        long residentGrowth = 0;
        std::vector<double> floorWall, floorCpu, storeWall, readerWall, readerCpu;
        for (int round = 0; round < (large ? 3 : 9); ++round) {
            bench::Span span = bench::Measure([&] { sink += BareParse(file); });
            floorWall.push_back(span.wall), floorCpu.push_back(span.cpu);
            storeWall.push_back(bench::Measure([&] { sink += BareParseAndStore(file, lines); }).wall);
            span = bench::Measure([&] {
                const long before = ResidentBytes();
                records::RecordReader r(file);
                std::string error;
                bench::Require(r.Open(error), error);
                r.ReadAll();
                bench::Require(r.Data().Size() == lines, "the reader read every line");
                bytesUsed = r.Data().BytesUsed();
                residentGrowth = ResidentBytes() - before;
            });
            readerWall.push_back(span.wall), readerCpu.push_back(span.cpu);
        }
        const double floor = bench::Summarise(floorWall).median,
                     storeFloor = bench::Summarise(storeWall).median,
                     reader = bench::Summarise(readerWall).median;
        const double cpuRatio = bench::Summarise(readerCpu).median / bench::Summarise(floorCpu).median;
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
        std::vector<double> plotTimes, kstTimes, gnuplotTimes;
        double plotMb = 0, kstMb = 0, gnuplotMb = 0;
        const int processRuns = large ? 1 : 3;
        for (int i = 0; i < processRuns; ++i) {
            const ProcessRun p = RunProgram({tool, "plot", file, "--png", png, "--size", "1600x900"});
            bench::Require(p.ran && p.code == 0, "sensor-tool plot drew the file");
            plotTimes.push_back(p.seconds), plotMb = std::max(plotMb, p.peakMb);
            if (Have("kst2")) {
                const ProcessRun k =
                    RunProgram({"kst2", file, "-A", "-y", "3",  "-y", "4",  "-y", "5",     "-y", "6",
                                "-y",   "7",  "-y", "8",  "-y", "9",  "-y", "10", "--png", png});
                if (k.ran && k.code == 0) kstTimes.push_back(k.seconds), kstMb = std::max(kstMb, k.peakMb);
            }
            if (Have("gnuplot") && !large) {
                std::string script = "set terminal png size 1600,900; set output '" + png +
                                     "'; set datafile separator '\\t'; set multiplot layout 8,1; ";
                for (int c = 3; c <= 10; ++c)
                    script += Format("plot '%s' using 0:%d with lines notitle; ", file.c_str(), c);
                script += "unset multiplot";
                const ProcessRun g = RunProgram({"gnuplot", "-e", script});
                if (g.ran && g.code == 0)
                    gnuplotTimes.push_back(g.seconds), gnuplotMb = std::max(gnuplotMb, g.peakMb);
            }
        }
        // Redraws at any zoom, all eight lanes 1,920 pixels wide.
        records::RecordReader loaded(file);
        std::string error;
        bench::Require(loaded.Open(error), error);
        loaded.ReadAll();
        const PictureView all = FitAll(loaded.Data(), PictureView{});
        bench::Table redraws({"redraw, 1920x1080, 8 lanes", "lines in view", "median ms (p25..p75)", "CPU ms",
                              "goal <= 16 ms"});
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
        const auto median = [](std::vector<double> v) {
            return v.empty() ? 0.0 : bench::Summarise(v).median;
        };
        const double kst = median(kstTimes);
        bench::Table table({"", "seconds (median)", "peak MB", "ratio"});
        table.Row({"bare from_chars parse loop (floor)", Format("%.3f", floor), "", ""});
        table.Row({"the same, storing 22 bytes a line (floor)", Format("%.3f", storeFloor), "",
                   Format("to the bare loop %.2f", storeFloor / floor)});
        table.Row({"reader", Format("%.3f", reader),
                   Format("%.0f (%.1f bytes/line; resident +%.1f)", bytesUsed / 1e6,
                          double(bytesUsed) / double(lines), double(residentGrowth) / double(lines)),
                   "to the bare loop " + Ratio(reader / floor, 1.5) +
                       Format(" (CPU %.2f), to the storing loop %.2f", cpuRatio, reader / storeFloor)});
        table.Row({"viewer open (reader + first picture)", Format("%.3f", open.wall.median), "",
                   kst > 0 ? "to kst2 " + Ratio(open.wall.median / kst, 0.5) : "kst2 missing"});
        table.Row({"sensor-tool plot --png", Format("%.3f", median(plotTimes)), Format("%.0f", plotMb),
                   kst > 0 ? "to kst2 " + Ratio(median(plotTimes) / kst, 0.5) : "kst2 missing"});
        table.Row(
            {"kst2 --png", kst > 0 ? Format("%.3f", kst) : "-", kst > 0 ? Format("%.0f", kstMb) : "-", ""});
        table.Row({"gnuplot png",
                   gnuplotTimes.empty() ? (large ? "not run" : "-") : Format("%.3f", median(gnuplotTimes)),
                   gnuplotTimes.empty() ? "-" : Format("%.0f", gnuplotMb), ""});
        table.Row({"memory per line", "", Format("%.1f bytes", double(bytesUsed) / double(lines)),
                   Ratio(double(bytesUsed) / double(lines), 24.0)});
        table.Print();
        redraws.Print();
        std::remove(file.c_str());
        if (sink == 42) std::printf(" ");
    }
    bench::fs::remove_all(dir);
    return 0;
}
