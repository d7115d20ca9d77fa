#include "workers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Worker {
    const Options* run = nullptr;
    pid_t pid = -1;
    int report = -1;           // the reading end of the worker's report pipe
    std::FILE* out = nullptr;  // what the worker printed as its results
    std::FILE* err = nullptr;  // its error lines
    std::string pending;       // a report line not yet complete
    std::string version = "-";
    std::string stage = "starting";
    int done = 0, count = 0;
    bool ended = false;
    bool started = false;
    int code = -1;
    std::string outText, errText;  // out and err, read when the worker ended
    Clock::time_point start;
    double seconds = 0.0;
};

// --- the worker's side ----------------------------------------------------------------------------------

int reportFd = -1;

void Report(const std::string& line) {
    const std::string text = line + "\n";
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(reportFd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the parent is gone; the worker finishes its series all the same
        p += n;
        left -= std::size_t(n);
    }
}

// A new stage and the last frame of a series are always told; frames between at most every 50 ms, so a worker
// does not wake the parent for each of its frames.
void ReportProgress(const char* stage, int done, int count) {
    static Clock::time_point last;
    const auto now = Clock::now();
    if (done > 0 && done < count && now - last < std::chrono::milliseconds(50)) return;
    last = now;
    Report("P " + std::to_string(done) + " " + std::to_string(count) + " " + stage);
}

void ReportVersion(const char* version) {
    Report(std::string("V ") + version);
}

[[noreturn]] void RunWorker(Worker& w, int reportEnd, pid_t parent, char* argv0) {
    // The parent passes SIGINT and SIGTERM on once; a worker in its own process group does not also get
    // the terminal's, which would count as a second signal and end it at once. It ends with the parent.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(128 + SIGTERM);
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGPIPE, SIG_IGN);  // a report to a parent that is gone must not end the series
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    reportFd = reportEnd;
    ToolEnvironment env;
    env.out = w.out;
    env.err = w.err;
    env.progress = ReportProgress;
    env.identified = ReportVersion;
    const int code = RunInConsole(*w.run, env, argv0);
    std::fflush(w.out);
    std::fflush(w.err);
    ::_exit(code);
}

// --- the parent's side ----------------------------------------------------------------------------------

std::vector<Worker>* workers = nullptr;
volatile sig_atomic_t stopSignal = 0;

extern "C" void PassSignalOn(int signalNumber) {
    stopSignal = signalNumber;
    const int savedErrno = errno;
    if (workers)
        for (const Worker& w : *workers)
            if (w.pid > 0 && !w.ended) ::kill(w.pid, signalNumber);
    errno = savedErrno;
}

void HandleSignals(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void CloseFiles(Worker& w) {
    for (std::FILE** f : {&w.out, &w.err})
        if (*f) {
            std::fclose(*f);
            *f = nullptr;
        }
}

// Starts the worker; false with errno set when it cannot be started (nothing of it is left open then).
bool Start(Worker& w, char* argv0) {
    int fds[2];
    w.out = std::tmpfile();
    w.err = w.out ? std::tmpfile() : nullptr;
    if (!w.out || !w.err || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        const int cause = errno;
        CloseFiles(w);
        errno = cause;
        return false;
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t parent = ::getpid();
    // A signal between the fork and the worker's own handling waits until the worker handles it itself.
    sigset_t stops, before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &stops, &before);
    w.start = Clock::now();
    w.pid = ::fork();
    if (w.pid != 0) ::sigprocmask(SIG_SETMASK, &before, nullptr);
    if (w.pid < 0) {
        const int cause = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        CloseFiles(w);
        errno = cause;
        return false;
    }
    if (w.pid == 0) {
        ::close(fds[0]);
        ::fcntl(fds[1], F_SETFL, 0);  // the worker's reports wait for room; the parent's reads do not wait
        for (const Worker& other : *workers) {
            if (other.report >= 0) ::close(other.report);
            for (std::FILE* f : {other.out, other.err})
                if (f && &other != &w) ::close(::fileno(f));
        }
        RunWorker(w, fds[1], parent, argv0);
    }
    ::close(fds[1]);
    w.report = fds[0];
    w.started = true;
    return true;
}

std::string FileText(std::FILE* f);

void TakeReport(Worker& w, const std::string& line) {
    if (line.starts_with("V ")) {
        w.version = line.substr(2);
    } else if (line.starts_with("P ")) {
        int done = 0, count = 0, used = 0;
        if (std::sscanf(line.c_str(), "P %d %d %n", &done, &count, &used) >= 2 && used > 0) {
            w.done = done;
            w.count = count;
            w.stage = line.substr(std::size_t(used));
        }
    }
}

// Reads everything the worker reported so far; at the end of its pipe the worker has ended and is reaped,
// and its output taken in, so an ended worker holds no descriptor.
void Serve(Worker& w) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(w.report, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;  // all read for now; more comes later
        if (n <= 0) break;
        w.pending.append(chunk, std::size_t(n));
        for (std::size_t end; (end = w.pending.find('\n')) != std::string::npos;) {
            TakeReport(w, w.pending.substr(0, end));
            w.pending.erase(0, end + 1);
        }
    }
    ::close(w.report);
    w.report = -1;
    int status = 0;
    while (::waitpid(w.pid, &status, 0) < 0 && errno == EINTR) {
    }
    w.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    w.seconds = std::chrono::duration<double>(Clock::now() - w.start).count();
    w.ended = true;
    w.outText = FileText(w.out);
    w.errText = FileText(w.err);
    CloseFiles(w);
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
    // Each sensor worked at once holds three descriptors in the tool (its report pipe and its two output
    // files) and a few more while it starts; the rest of the limit stays free for the tool itself.
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
    std::vector<Worker> all(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) all[i].run = &runs[i];
    workers = &all;
    stopSignal = 0;
    HandleSignals(PassSignalOn);
    const std::size_t parallel =
        std::size_t(runs.empty() || runs.front().parallel <= 0 ? DefaultParallel() : runs.front().parallel);
    std::size_t next = 0, running = 0;
    // Starts the links' workers in their order while fewer than `parallel` run. A start that finds no
    // descriptor or process left waits for a running worker to end; with none running it is that link's
    // failure. After a signal no further worker starts: the signal was meant for the whole run.
    auto startMore = [&] {
        while (next < all.size() && running < parallel && stopSignal == 0) {
            Worker& w = all[next];
            if (Start(w, argv0)) {
                ++next;
                ++running;
                continue;
            }
            const int cause = errno;
            const bool lacking = cause == EMFILE || cause == ENFILE || cause == EAGAIN || cause == ENOMEM;
            if (lacking && running > 0) return;
            std::fprintf(stderr, "sensor-tool: %s: no worker could be started: %s\n",
                         w.run->link.text.c_str(), NoWorkerCause(cause).c_str());
            w.ended = true;
            w.code = kExitNoLink;
            ++next;
        }
    };
    ProgressBlock progress(all);
    for (;;) {
        startMore();
        std::vector<pollfd> fds;
        std::vector<Worker*> polled;
        for (Worker& w : all)
            if (w.report >= 0) {
                fds.push_back({w.report, POLLIN, 0});
                polled.push_back(&w);
            }
        if (fds.empty()) break;
        progress.Draw(false);
        if (::poll(fds.data(), fds.size(), 100) < 0 && errno != EINTR) break;
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents != 0) {
                Serve(*polled[i]);
                if (polled[i]->ended) --running;
            }
    }
    for (std::size_t i = next; i < all.size(); ++i) {  // links a signal kept from starting
        all[i].ended = true;
        all[i].code = 128 + stopSignal;
    }
    progress.Draw(true);
    HandleSignals(SIG_DFL);
    workers = nullptr;
    PrintResults(all);
    int code = kExitOk;
    for (Worker& w : all) code = MostSerious(code, w.code);
    return code;
}
