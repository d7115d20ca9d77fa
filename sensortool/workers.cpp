#include "workers.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "commands.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
    const Options* run = nullptr;
    std::thread thread;
    std::FILE* out = nullptr;  // what the run printed as its results
    std::FILE* err = nullptr;  // its error lines
    // Told by the run's thread, read by the main thread: under `Shared::mutex`.
    std::string version = "-";
    std::string stage = "starting";
    int done = 0, count = 0;
    bool ended = false;
    bool started = false;
    int code = -1;
    std::string outText, errText;  // out and err, read when the run ended
    Clock::time_point start;
    double seconds = 0.0;
};

// What the runs' threads and the main thread share: the workers' state, the news that one ended, and
// whether the runs started so far may begin.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::condition_variable release;
};

void CloseFiles(Worker& w) {
    for (std::FILE** f : {&w.out, &w.err})
        if (*f) {
            std::fclose(*f);
            *f = nullptr;
        }
}

std::string FileText(std::FILE* f);

// The run on the worker's link, on the worker's thread: its own link, output and warning; at its end its
// output is taken in and its files closed, so an ended run holds no descriptor.
void RunWorker(Worker& w, Shared& shared, HalfWrittenWarning& warning, int devicePort) {
    {
        std::unique_lock lock(shared.mutex);
        shared.release.wait(lock, [&] { return shared.released; });
    }
    Clock::time_point lastProgress;
    ToolEnvironment env;
    env.devicePort = devicePort;
    env.out = w.out;
    env.err = w.err;
    env.warning = &warning;
    // A new stage and the last frame of a series are always told; frames between at most every 50 ms.
    env.progress = [&](const char* stage, int done, int count) {
        const auto now = Clock::now();
        if (done > 0 && done < count && now - lastProgress < std::chrono::milliseconds(50)) return;
        lastProgress = now;
        const std::lock_guard lock(shared.mutex);
        w.done = done;
        w.count = count;
        w.stage = stage;
    };
    env.identified = [&](const char* version) {
        const std::lock_guard lock(shared.mutex);
        w.version = version;
    };
    const int code = RunCommand(*w.run, env);
    std::string outText = FileText(w.out), errText = FileText(w.err);
    const std::lock_guard lock(shared.mutex);
    w.code = code;
    w.seconds = std::chrono::duration<double>(Clock::now() - w.start).count();
    w.outText = std::move(outText);
    w.errText = std::move(errText);
    CloseFiles(w);
    w.ended = true;
    shared.changed.notify_all();
}

// Whether two more descriptors can be opened: a run's thread needs them for its event dispatcher and its
// line, and a thread that finds none for its dispatcher would end the whole tool. False with errno set.
bool RoomForRun() {
    int probe[2] = {-1, -1};
    for (int& fd : probe) fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int cause = errno;
    const bool room = probe[0] >= 0 && probe[1] >= 0;
    for (int fd : probe)
        if (fd >= 0) ::close(fd);
    errno = cause;
    return room;
}

// A file in memory for what a run prints, read back when it ends; nullptr with errno set. Unlike a temporary
// file it needs no folder and costs the file system nothing (a new file on a disk can take a millisecond
// to find its place, and the runs start one after the other).
std::FILE* MemoryFile(const char* name) {
    const int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "w+");
    if (!f) {
        const int cause = errno;
        ::close(fd);
        errno = cause;
    }
    return f;
}

// Starts the worker's thread; false with errno set when it cannot be started (nothing of it is left open).
bool Start(Worker& w, Shared& shared, HalfWrittenWarning& warning, int devicePort) {
    w.out = MemoryFile("sensor-tool output");
    w.err = w.out ? MemoryFile("sensor-tool errors") : nullptr;
    if (!w.out || !w.err || !RoomForRun()) {
        const int cause = errno;
        CloseFiles(w);
        errno = cause;
        return false;
    }
    w.start = Clock::now();
    w.started = true;
    try {
        w.thread = std::thread(RunWorker, std::ref(w), std::ref(shared), std::ref(warning), devicePort);
    } catch (const std::system_error& e) {
        w.started = false;
        CloseFiles(w);
        errno = e.code().value();
        return false;
    }
    return true;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

std::size_t LinkWidth(const std::vector<Worker>& all) {
    std::size_t width = 4;
    for (const Worker& w : all) width = std::max(width, w.run->link.text.size());
    return width;
}

// The summary's result of a worker: how it ended, or why it never started.
std::string ResultOf(const Worker& w) {
    return w.started ? std::string(ResultText(w.code)) : std::to_string(w.code) + " not started";
}

std::string ProgressLine(const Worker& w, std::size_t linkWidth) {
    std::string state;
    if (w.ended && !w.started)
        state = ResultOf(w);
    else if (w.ended)
        state = std::string(ResultText(w.code)) + " after " + Seconds(w.seconds);
    else if (!w.started)
        state = "waiting for its turn";
    else
        state =
            w.stage +
            (w.count > 0 ? ", " + std::to_string(w.done) + " of " + std::to_string(w.count) + " frames" : "");
    if (w.version != "-") state += "  (" + w.version + ")";
    return Padded(w.run->link.text, linkWidth + 2) + state;
}

// The progress block on a terminal: one line per link, drawn again in place.
class ProgressBlock {
  public:
    explicit ProgressBlock(const std::vector<Worker>& all)
        : all_(all), shown_(::isatty(STDERR_FILENO) == 1) {}

    void Draw(bool force) {
        if (!shown_) return;
        const auto now = Clock::now();
        if (!force && drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        winsize size{};
        const std::size_t columns =
            ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 119;
        std::string text;
        if (drawn_) text += "\x1b[" + std::to_string(all_.size()) + "A";
        const std::size_t width = LinkWidth(all_);
        for (const Worker& w : all_) text += "\r\x1b[K" + ProgressLine(w, width).substr(0, columns) + "\n";
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
        drawn_ = true;
    }

  private:
    const std::vector<Worker>& all_;
    bool shown_;
    bool drawn_ = false;
    Clock::time_point last_;
};

std::string FileText(std::FILE* f) {
    std::string text;
    if (!f) return text;
    std::rewind(f);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) text.append(chunk, n);
    return text;
}

// Each worker's results under its link, its errors named by its link, then the summary table.
void PrintResults(const std::vector<Worker>& all) {
    for (const Worker& w : all) {
        const std::string& out = w.outText;
        if (!out.empty()) std::printf("== %s ==\n%s", w.run->link.text.c_str(), out.c_str());
        std::string err = w.errText;
        for (std::size_t end; (end = err.find('\n')) != std::string::npos; err.erase(0, end + 1)) {
            std::string line = err.substr(0, end);
            if (line.starts_with("sensor-tool: ")) line.erase(0, 13);
            if (!line.empty())
                std::fprintf(stderr, "sensor-tool: %s: %s\n", w.run->link.text.c_str(), line.c_str());
        }
    }
    const std::size_t linkWidth = LinkWidth(all) + 2;
    std::size_t versionWidth = 14;
    for (const Worker& w : all) versionWidth = std::max(versionWidth, w.version.size());
    versionWidth += 2;
    std::printf("%s%s%s%s\n", Padded("LINK", linkWidth).c_str(),
                Padded("SENSOR VERSION", versionWidth).c_str(), Padded("RESULT", 26).c_str(), "TIME");
    for (const Worker& w : all)
        std::printf("%s%s%s%s\n", Padded(w.run->link.text, linkWidth).c_str(),
                    Padded(w.version, versionWidth).c_str(), Padded(ResultOf(w), 26).c_str(),
                    Seconds(w.seconds).c_str());
    std::fflush(stdout);
}

}  // namespace

const char* ResultText(int code) {
    switch (code) {
        case kExitOk:
            return "done";
        case kExitNoLink:
            return "3 link cannot be opened";
        case kExitSensorFailed:
            return "4 sensor failed";
        case kExitBadFile:
            return "5 file problem";
        case kExitDiffers:
            return "6 parameters differ";
        case 128 + SIGINT:
            return "130 stopped by SIGINT";
        case 128 + SIGTERM:
            return "143 stopped by SIGTERM";
        default:
            return code > 128 ? "ended by a signal" : "failed";
    }
}

int DefaultParallel() {
    // Each sensor worked at once holds three descriptors (its two output files and its line) and a few
    // more while it starts; the rest of the limit stays free for the tool itself.
    rlimit limit{};
    const long files = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                           ? long(limit.rlim_cur)
                           : 1024;
    return int(std::clamp((files - 16) / 4, 1L, long(kDefaultParallel)));
}

namespace {

long OpenFileLimit() {
    rlimit limit{};
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? long(limit.rlim_cur)
                                                                                      : -1;
}

// Why no worker could be started for a link, in words that say what to do.
std::string NoWorkerCause(int cause) {
    if (cause == EMFILE || cause == ENFILE)
        return "too many open files (the limit of this process is " + std::to_string(OpenFileLimit()) +
               "): give a smaller --parallel, or raise the limit (ulimit -n)";
    if (cause == EAGAIN || cause == ENOMEM)
        return std::string(std::strerror(cause)) +
               ": the system allows no further process now; give a smaller "
               "--parallel";
    return std::strerror(cause);
}

}  // namespace

int RunOnLinks(const std::vector<Options>& runs, char* argv0) {
    ConsoleApplication app(argv0);
    std::vector<Worker> all(runs.size());
    std::vector<HalfWrittenWarning> warnings(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        all[i].run = &runs[i];
        PrepareHalfWrittenWarning(warnings[i], runs[i], "sensor-tool: " + runs[i].link.text + ": ",
                                  STDERR_FILENO);
    }
    Shared shared;
    // The port numbers the runs on a device open under: none that a COMn link of the run names; each run
    // holds one while it runs.
    std::vector<int> freePorts, portOf(all.size(), 0);
    for (int n = 255; n >= 1; --n)
        if (std::none_of(runs.begin(), runs.end(), [n](const Options& r) { return r.link.comPort == n; }))
            freePorts.push_back(n);
    // The runs' threads take no signal: the main thread's handler sets the stop flag they all look at.
    sigset_t stops, before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    HandleStopSignals(warnings);
    const std::size_t parallel =
        std::size_t(runs.empty() || runs.front().parallel <= 0 ? DefaultParallel() : runs.front().parallel);
    std::size_t next = 0, running = 0;
    // Starts the links' runs in their order while fewer than `parallel` run. A start that finds no
    // descriptor or thread left waits for a running one to end; with none running it is that link's
    // failure. After a signal no further run starts: the signal was meant for the whole run.
    auto startMore = [&] {
        while (next < all.size() && running < parallel && StopSignal() == 0 && !freePorts.empty()) {
            Worker& w = all[next];
            portOf[next] = freePorts.back();
            freePorts.pop_back();
            ::pthread_sigmask(SIG_BLOCK, &stops, &before);
            const bool started = Start(w, shared, warnings[next], portOf[next]);
            const int cause = errno;
            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
            if (!started) freePorts.push_back(portOf[next]);
            if (started) {
                ++next;
                ++running;
                continue;
            }
            const bool lacking = cause == EMFILE || cause == ENFILE || cause == EAGAIN || cause == ENOMEM;
            if (lacking && running > 0) return;
            std::fprintf(stderr, "sensor-tool: %s: no worker could be started: %s\n",
                         w.run->link.text.c_str(), NoWorkerCause(cause).c_str());
            const std::lock_guard lock(shared.mutex);
            w.ended = true;
            w.code = kExitNoLink;
            ++next;
        }
    };
    ProgressBlock progress(all);
    std::vector<bool> joined(all.size(), false);
    for (;;) {
        startMore();
        std::unique_lock lock(shared.mutex);
        // The runs begin together once all that may run are started: a run that began at once would take
        // the processor from the thread that starts the others, and the last would begin late.
        if (!shared.released) {
            shared.released = true;
            shared.release.notify_all();
        }
        for (std::size_t i = 0; i < next; ++i)
            if (all[i].ended && all[i].thread.joinable() && !joined[i]) {
                joined[i] = true;
                freePorts.push_back(portOf[i]);
                --running;
            }
        if (running == 0 && (next == all.size() || StopSignal() != 0)) break;
        progress.Draw(false);
        shared.changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    for (Worker& w : all)
        if (w.thread.joinable()) w.thread.join();
    for (std::size_t i = next; i < all.size(); ++i) {  // links a signal kept from starting
        all[i].ended = true;
        all[i].code = 128 + StopSignal();
    }
    progress.Draw(true);
    StopHandlingSignals();
    PrintResults(all);
    int code = kExitOk;
    for (Worker& w : all) code = MostSerious(code, w.code);
    return code;
}
