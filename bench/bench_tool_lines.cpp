// sensor-tool on a production line: 8 and 32 emulated scope sensors, on TCP and on pseudo-terminals (115200
// baud; bytes at memory speed, and at wire speed as a real line passes them), each identified and then given
// a parameter set in RAM with --verify, all of them in one run of the tool, next to one sensor in a run of
// its own. Reported per link kind: the wall time of one sensor, of 8 and of 32 in parallel (median, lowest
// and highest run), their ratios to one (goal: at most 1.3 each), the CPU time of the tool with one sensor
// and with 32 (and the CPU time of the emulators, which share this process), and the time 32 sensors take
// beyond one, for the tool and for bare clients that make the same exchanges and waits with no program in
// them, in a process of their own as the tool is and in the emulators' process (the floor of that time:
// what the machine charges for 32 lines at once). Beside it the memory:
// the peak resident memory of the tool with 32 sensors against the sum of the peaks of 32 processes of the
// tool, one per sensor, run at once (what a process per sensor costs). Usage: bench_tool_lines [repetitions]
// (default 5; the median run counts)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {

using bench::Format;

constexpr int kFew = 8, kMany = 32;

struct Span {
    double wall = 0, toolCpu = 0, emulatorCpu = 0;
    long toolPeakKb = 0;  // the larger peak resident memory of the tool's two runs
};

// CPU seconds of the reaped child processes.
double ChildrenCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Starts the tool with its output to /dev/null.
pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a;
    for (auto& s : argv) a.push_back(s.data());
    a.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(a[0], a.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for a tool started by Spawn; false when it did not end with 0. Raises `peakKb` to its peak resident
// memory.
bool Reap(pid_t pid, long& peakKb) {
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) return false;
    peakKb = std::max(peakKb, long(usage.ru_maxrss));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs the tool once; false when it did not end with 0. Adds its CPU time to `cpu`, and raises `peakKb` to
// its peak resident memory.
bool Tool(const std::vector<std::string>& args, double& cpu, long& peakKb) {
    // The tool and whatever it starts: the reaped descendants count.
    const double before = ChildrenCpu();
    const bool ok = Reap(Spawn(args), peakKb);
    cpu += ChildrenCpu() - before;
    return ok;
}

std::vector<std::string> LinkArgs(const std::vector<std::string>& links) {
    std::vector<std::string> args;
    for (const auto& l : links) args.insert(args.end(), {"--link", l});
    return args;
}

std::vector<std::string> Identify(const std::vector<std::string>& links) {
    std::vector<std::string> args = LinkArgs(links);
    args.push_back("identify");
    return args;
}

std::vector<std::string> SendVerified(const std::vector<std::string>& links, const std::string& file) {
    std::vector<std::string> args = LinkArgs(links);
    args.insert(args.end(), {"send-params", "--to", "ram", "--verify", file});
    return args;
}

// identify, then send-params --to ram --verify, on the given links in one run each.
Span Configure(const std::vector<std::string>& links, const std::string& file) {
    Span s;
    const double w0 = bench::Now(), e0 = bench::ProcessCpu();
    const bool ok = Tool(Identify(links), s.toolCpu, s.toolPeakKb) &&
                    Tool(SendVerified(links, file), s.toolCpu, s.toolPeakKb);
    s.wall = bench::Now() - w0;
    s.emulatorCpu = bench::ProcessCpu() - e0;
    bench::Require(ok, "sensor-tool failed on " + links.front() + " ...");
    return s;
}

// The same work with a process of the tool per link, all at once: the sum of the processes' peak resident
// memory (each process's larger peak of its two runs) is what a process per sensor costs.
Span ConfigureByProcesses(const std::vector<std::string>& links, const std::string& file) {
    Span s;
    std::vector<long> peaks(links.size(), 0);
    const double w0 = bench::Now(), c0 = ChildrenCpu();
    bool ok = true;
    for (bool send : {false, true}) {
        std::vector<pid_t> pids;
        for (const auto& l : links) pids.push_back(Spawn(send ? SendVerified({l}, file) : Identify({l})));
        for (std::size_t i = 0; i < pids.size(); ++i) ok = Reap(pids[i], peaks[i]) && ok;
    }
    s.wall = bench::Now() - w0;
    s.toolCpu = ChildrenCpu() - c0;
    for (long kb : peaks) s.toolPeakKb += kb;
    bench::Require(ok, "sensor-tool failed in a process per link");
    return s;
}

// The same runs with no program in them: the floor of the time 32 sensors take beyond one. A bare client per
// link, each on a thread of one process started one after the other as the tool's are: it opens the line (a
// raw 115,200-baud pseudo-terminal, or a TCP connection), writes the stop order that no sensor answers, waits
// the 0.1 s the tool waits after it, then makes `exchanges` bare exchanges (a 36-byte request, its 36-byte
// reply) and closes. What 32 of them cost beyond one is what this machine charges for 32 lines at once.
struct BareLink {
    bool tcp;
    std::string where;  // the device, or the TCP port
};

int OpenBare(const BareLink& link) {
    if (link.tcp) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(std::stoi(link.where)));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        bench::Require(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0, "bare client: connect");
        return fd;
    }
    const int fd = ::open(link.where.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    bench::Require(fd >= 0, "bare client: cannot open " + link.where);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

void BareRun(const BareLink& link, int exchanges) {
    const int fd = OpenBare(link);
    unsigned char stop[36] = {0x00, 0x55, 0x00, 50}, request[36] = {0x00, 0x55, 0x00, 0x05}, reply[36];
    bench::Require(::write(fd, stop, sizeof stop) == ssize_t(sizeof stop), "bare client: write");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (int i = 0; i < exchanges; ++i) {
        bench::Require(::write(fd, request, sizeof request) == ssize_t(sizeof request), "bare client: write");
        for (std::size_t got = 0; got < sizeof reply;) {
            pollfd p{fd, POLLIN, 0};
            bench::Require(::poll(&p, 1, 3000) == 1, "bare client: no reply");
            const ssize_t n = ::read(fd, reply + got, sizeof reply - got);
            bench::Require(n > 0, "bare client: read");
            got += std::size_t(n);
        }
    }
    ::close(fd);
}

// Wall seconds of the two runs (identify's one exchange, then send-params' 65) on all the links at once.
double BareConfigure(const std::vector<BareLink>& links) {
    const double w0 = bench::Now();
    for (int exchanges : {1, 65}) {
        std::vector<std::thread> threads;
        for (const BareLink& l : links) threads.emplace_back(BareRun, std::cref(l), exchanges);
        for (std::thread& t : threads) t.join();
    }
    return bench::Now() - w0;
}

constexpr const char* kBareClients = "--bare-clients";

// The same in a process of its own, as the tool runs apart from the emulators: on this kind of virtual
// machine every switch between two processes costs far more than one between two threads of a process,
// and an exchange takes four of them. This benchmark started again as "--bare-clients tcp:PORT|pty:PATH
// ...", which prints its seconds.
double BareConfigureApart(const std::vector<BareLink>& links) {
    std::vector<std::string> args = {"/proc/self/exe", kBareClients};
    for (const BareLink& l : links) args.push_back((l.tcp ? "tcp:" : "pty:") + l.where);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    bench::Require(::pipe2(out, O_CLOEXEC) == 0, "bare clients: pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char chunk[64];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    const bool ended =
        pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    bench::Require(ended && !text.empty(), "bare clients in a process of their own failed");
    return std::atof(text.c_str());
}

// The process that BareConfigureApart starts.
int BareClientsMain(int argc, char** argv) {
    std::vector<BareLink> links;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        links.push_back({a.rfind("tcp:", 0) == 0, a.substr(4)});
    }
    std::printf("%.6f\n", BareConfigure(links));
    return 0;
}

Span Median(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.wall < b.wall; });
    return spans[spans.size() / 2];
}

// "median (lowest..highest)" of the runs' wall times.
std::string Seconds(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.wall < b.wall; });
    return Format("%.3f s (%.3f..%.3f)", spans[spans.size() / 2].wall, spans.front().wall, spans.back().wall);
}

// The ratio of the medians, and the range of the ratios of the runs taken in turn.
std::string Ratios(const std::vector<Span>& many, const std::vector<Span>& one) {
    std::vector<double> r;
    for (std::size_t i = 0; i < many.size(); ++i) r.push_back(many[i].wall / one[i].wall);
    std::sort(r.begin(), r.end());
    return Format("%.2f (%.2f..%.2f)", Median(many).wall / Median(one).wall, r.front(), r.back());
}

// "seconds (ratio)" of the bare clients' 32 links beyond one, from the medians.
std::string BeyondOne(const std::vector<double>& many, const std::vector<double>& one) {
    const double m = bench::Summarise(many).median, o = bench::Summarise(one).median;
    return Format("%.3f s (%.2f)", m - o, m / o);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == kBareClients) return BareClientsMain(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    bench::PrintConditions("sensor-tool: identify + send-params --to ram --verify, one sensor, " +
                           std::to_string(kFew) + " and " + std::to_string(kMany) +
                           " in parallel (median of " + std::to_string(repetitions) + " runs)");
    const bench::fs::path dir = bench::WorkDir("bench-tool-lines");
    const std::string file = (dir / "set.ini").string();
    {
        std::ofstream set(file, std::ios::binary);
        for (int w = 0; w < 202; ++w) set << Format("%5d\r\n", (w * 37 + 5) % 1000);
    }

    bench::Table table({"link", "one sensor", "8 in parallel", "ratio", "32 in parallel", "ratio",
                        "tool CPU (1 / 32)", "emulator CPU (32)",
                        "32 beyond one: tool / bare clients apart (ratio) / within the emulators' process"});
    bench::Table memory({"link", "threads: peak RSS", "a process per link: sum of peak RSS", "time", "CPU"});
    enum class Kind { Tcp, Pty, Wire };
    for (Kind kind : {Kind::Tcp, Kind::Pty, Kind::Wire}) {
        const bool tcp = kind == Kind::Tcp;
        std::vector<std::unique_ptr<sensor_emu::SensorEmulator>> sensors;
        std::vector<std::string> links;
        for (int i = 0; i < kMany; ++i) {
            sensor_emu::EmulatorOptions o;
            o.versionText = "ORVANE V3.3 2020-05-18";
            o.tcp = tcp;
            o.pty = !tcp;
            o.wireSpeed = kind == Kind::Wire;
            if (!tcp) o.ptyLink = (dir / ("COM" + std::to_string(i + 1))).string();
            sensors.push_back(std::make_unique<sensor_emu::SensorEmulator>(o));
            std::string error;
            bench::Require(sensors.back()->Start(&error), "emulator: " + error);
            links.push_back(tcp ? "tcp:127.0.0.1:" + std::to_string(sensors.back()->TcpPort())
                                : "serial:" + o.ptyLink + ":115200");
        }
        const std::vector<std::string> few(links.begin(), links.begin() + kFew);
        std::vector<BareLink> bare;
        for (const auto& sensor : sensors)
            bare.push_back({tcp, tcp ? std::to_string(sensor->TcpPort()) : sensor->PtyPath()});
        std::vector<Span> one, eight, many, processes;
        std::vector<double> bareOne, bareMany, apartOne, apartMany;
        for (int r = 0; r < repetitions; ++r) {
            one.push_back(Configure({links.front()}, file));
            eight.push_back(Configure(few, file));
            many.push_back(Configure(links, file));
            processes.push_back(ConfigureByProcesses(links, file));
            bareOne.push_back(BareConfigure({bare.front()}));
            bareMany.push_back(BareConfigure(bare));
            apartOne.push_back(BareConfigureApart({bare.front()}));
            apartMany.push_back(BareConfigureApart(bare));
        }
        const Span a = Median(one), c = Median(many), p = Median(processes);
        const char* name = tcp ? "TCP" : kind == Kind::Pty ? "pty" : "pty, wire speed";
        table.Row({name, Seconds(one), Seconds(eight), Ratios(eight, one), Seconds(many), Ratios(many, one),
                   Format("%.3f / %.3f s", a.toolCpu, c.toolCpu), Format("%.3f s", c.emulatorCpu),
                   Format("%.3f s / %s / %s", c.wall - a.wall, BeyondOne(apartMany, apartOne).c_str(),
                          BeyondOne(bareMany, bareOne).c_str())});
        memory.Row({name, Format("%.1f MB", double(c.toolPeakKb) / 1024.0),
                    Format("%.1f MB", double(p.toolPeakKb) / 1024.0), Format("%.3f s", p.wall),
                    Format("%.3f s", p.toolCpu)});
        for (auto& s : sensors) s->Stop();
    }
    table.Print();
    std::printf(
        "\nThe tool's memory with 32 sensors: one process with a thread per link, against a process per "
        "link, all at once (medians)\n");
    memory.Print();
    bench::fs::remove_all(dir);
    return 0;
}
