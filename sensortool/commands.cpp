#include "commands.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "build.h"
#include "build_info.h"
#include "equation_file.h"
#include "frame_assembler.h"
#include "frame_log.h"
#include "io.h"
#include "io_host.h"
#include "links.h"
#include "pages.h"
#include "parameter_diff.h"
#include "parameter_image.h"
#include "record_file.h"
#include "scope_frames.h"
#include "sensor_link.h"
#include "sensor_search.h"
#include "sensor_table.h"
#include "table_transfer.h"
#include "workers.h"

namespace {

const ToolEnvironment defaultEnvironment;

// A signal wakes only the one thread it is delivered to; the other runs' threads sleep on in their event
// passes. So a wait of a run sleeps at most this long a pass: Ctrl+C is answered within it.
constexpr int kLongestPassMs = 20;

// One line on the error stream, and the exit code that goes with it; an open progress line ends first.
int Fail(const ToolEnvironment& env, bool& progressLineOpen, int code, const std::string& message) {
    if (progressLineOpen) std::fputc('\n', env.err);
    progressLineOpen = false;
    std::fprintf(env.err, "sensor-tool: %s\n", message.c_str());
    return code;
}

// Outside a run: the errors of the arguments, the files and the platform.
int Fail(const ToolEnvironment& env, int code, const std::string& message) {
    bool noProgressLine = false;
    return Fail(env, noProgressLine, code, message);
}

int Fail(int code, const std::string& message) {
    return Fail(defaultEnvironment, code, message);
}

// The version text as it can be printed: blanks and zero bytes at its end dropped, other bytes that are not
// printable shown as \xNN.
std::string PrintableVersion(const char* version) {
    std::string text;
    const std::size_t n = std::strlen(version);
    std::size_t end = n;
    while (end > 0 && version[end - 1] == ' ') --end;
    for (std::size_t i = 0; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(version[i]);
        if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            text += esc;
        }
    }
    return text;
}

// What to do about a link that could not be opened, by its cause.
std::string OpenAdvice(LinkFailure failure, const LinkSpec& link) {
    switch (failure) {
        case kLinkUnknownServer:
            return "check the name, or give the server's IP address";
        case kLinkRefused:
            return "check that the serial-to-Ethernet server runs and that " + std::to_string(link.port) +
                   " is its port for this sensor";
        case kLinkUnreachable:
        case kLinkConnectTimeout:
            return "check that the server is switched on and that this computer reaches it (ping " +
                   link.host + ")";
        case kLinkNoDevice:
            return "plug in the adapter, or see sensor-tool ports for the devices present";
        case kLinkDeviceInUse:
            return "end the other program (a window program, ser2net) or use another port";
        case kLinkNoPermission:
            return {};  // the cause says what to do
        default:
            return "check the link, or see sensor-tool ports for the serial devices present";
    }
}

// What to do about a sensor that did not answer, by the cause and the kind of link: over TCP the server
// sets the serial line, so the baud rate of the command line is not the question there.
std::string AnswerAdvice(LinkFailure failure, const LinkSpec& link) {
    switch (failure) {
        case kLinkServerClosed:
            return "check that no other program uses the server's port for this sensor and that the server "
                   "can open its serial line";
        case kLinkDeviceLost:
            return "check the adapter and its cable";
        case kLinkWrongEcho:
            return "check that the link reaches a sensor of this kind (sensor-tool identify)";
        case kLinkLineNoise:
            // Over TCP the server sets the line's rate; scan tries only this machine's serial adapters.
            return link.tcp ? "set the server's serial line to the sensor's baud rate"
                            : "sensor-tool scan finds the sensor's baud rate";
        default:
            break;
    }
    if (link.tcp)
        return "check that the sensor is powered and connected to the server, and that the server's serial "
               "settings match the sensor";
    return "check that the sensor is powered and connected, and that it runs at " +
           std::to_string(BaudRateOf(link.baudIndex)) + " baud (serial:DEVICE:BAUD sets the rate)";
}

// "1 line", "2 lines".
std::string Lines(int n) {
    return std::to_string(n) + (n == 1 ? " line" : " lines");
}

std::string SensorPlace(const LinkSpec& link) {
    return link.tcp ? "the sensor behind " + link.host + ":" + std::to_string(link.port)
                    : "the sensor on " + (link.device.empty() ? ComPortDevice(link.comPort) : link.device);
}

// Whether the process has no file descriptor left, which a link needs whatever else is wrong with it.
bool OutOfDescriptors() {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EMFILE || errno == ENFILE;
}

long OpenFileLimit() {
    rlimit limit{};
    return ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? long(limit.rlim_cur) : -1;
}

// SIGINT or SIGTERM: a record ends after the line being recorded; other commands run to their end, so no
// series of frames to the sensor is broken off halfway. A second signal ends the tool at once; when that
// breaks off a series of writes, the sensor may hold part of the old set and part of the new one: the tool
// says so, for each run that is writing, before it ends.
std::atomic<int> stopSignal{0};
std::atomic<HalfWrittenWarning*> warnings{nullptr};
std::atomic<std::size_t> warningCount{0};

extern "C" void OnStopSignal(int signalNumber) {
    int none = 0;
    if (stopSignal.compare_exchange_strong(none, signalNumber)) return;
    const int savedErrno = errno;
    HalfWrittenWarning* all = warnings.load();
    for (std::size_t i = 0, n = warningCount.load(); all && i < n; ++i)
        if (all[i].writing && all[i].text[0]) {
            [[maybe_unused]] const ssize_t written =
                ::write(all[i].fd, all[i].text, std::strlen(all[i].text));
        }
    errno = savedErrno;
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

void SetStopDisposition(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// Marks a series of writes to the sensor for the warning above.
struct WritingSet {
    explicit WritingSet(HalfWrittenWarning* w) : warning(w) {
        if (warning) warning->writing = 1;
    }
    ~WritingSet() {
        if (warning) warning->writing = 0;
    }
    HalfWrittenWarning* warning;
};

// One pass of this thread's own events (its TCP conversations' callbacks, its serial port's bytes). A pass
// after one that ran nothing, with no bytes over this thread's links since, waits up to 1 ms for an event,
// so a loop that waits for time to pass yields the processor while a series of exchanges with the sensor is
// not slowed down.
void PassThreadEvents() {
    thread_local std::uint64_t activityAtLastPass = ~std::uint64_t{0};
    thread_local bool lastPassIdle = false;
    const std::uint64_t activity = io::ThreadLinkActivity();
    const bool idling = lastPassIdle && activity == activityAtLastPass;
    activityAtLastPass = activity;
    lastPassIdle = !io::RunPendingEvents(idling ? 1 : 0);
}

// Computes page N's table from an equation file in the run's own page state; 0 or the exit code.
int PrepareTable(const ToolEnvironment& env, const Options& o, PageState& pages) {
    const PageDescriptor* d = PageDescriptorFor(o.page);
    const int n = kCoefsPerChannel * d->channelCount;
    std::vector<double> coefs(n);
    const int result = LoadEquationFile(o.file, coefs);
    if (result != n)
        return Fail(env, kExitBadFile,
                    "the equation file " + o.file + " " + EquationFileProblem(result, n, o.file));
    // Rounded as the page's coefficient fields round what is loaded into them.
    for (int k = 0; k < n; ++k) coefs[k] = RoundCoefficient(coefs[k], k % kCoefsPerChannel);
    SetCoefficients(pages, *d, coefs);
    ComputeDriftCurves(pages, *d);
    if (const std::string problem = TableProblem(pages, *d, o.index); !problem.empty())
        return Fail(env, kExitBadFile,
                    "the equation file " + o.file + " gives page " + std::to_string(o.page) + " at --index " +
                        std::to_string(o.index) + " no table the sensor can hold (" + problem +
                        "); nothing was sent");
    std::vector<unsigned short> setPoints;
    for (int c = 0; c < d->channelCount; ++c)
        setPoints.push_back(SetPoint(pages.Curve(*d->channels[c])[o.index]));
    ComputeFactorCurves(pages, *d, setPoints);
    LayOutSendBuf(pages, *d);
    return kExitOk;
}

// One command on one link: its link, its output and what it collects. Nothing of it is shared with
// another run.
class ToolRun {
  public:
    ToolRun(const Options& o, const ToolEnvironment& env);
    int Run();

  private:
    int Fail(int code, const std::string& message) { return ::Fail(env_, progressLineOpen_, code, message); }
    void SetStage(const char* what);
    void Progress(int done, int count);
    int ExchangeFailed(const std::string& what);
    std::string CauseAndAdvice() const;
    int Connect();
    void Disconnect() { link_.Close(); }
    int Identify();
    int ReadSensorImage(ParameterImage& image);
    int GetParams();
    int CompareWithSensor(const ParameterImage& file, const char* what);
    int SendParams(const ParameterImage& image);
    int CompareParams(const ParameterImage& image);
    int SendTable();
    int Stopped(int lines);
    bool WriteRecordLine(const Measurement& v);
    int FileFailed(int lines);
    void WaitUntil(double until);
    int RecordAtInterval();
    int RecordTriggered();
    int Record();

    const Options& o_;
    const ToolEnvironment& env_;
    bool showProgress_;
    bool progressLineOpen_ = false;  // a progress line waits for its line end
    const char* stage_ = "";
    std::string (*clockDate_)();
    std::string (*clockTime_)();
    // The page send-table calculates and sends, made when first needed: a run of another command (one per
    // sensor, each on a fresh thread) does not clear 17 KB of new stack for it.
    std::unique_ptr<PageState> pages_;
    PageState& Pages() {
        if (!pages_) pages_ = std::make_unique<PageState>();
        return *pages_;
    }
    SensorLink link_;
    std::string fileProblem_;  // why the record file took no more lines
};

ToolRun::ToolRun(const Options& o, const ToolEnvironment& env)
    : o_(o),
      env_(env),
      showProgress_(!env.progress && ::isatty(::fileno(env.err)) == 1),
      clockDate_(env.date ? env.date : DateStr),
      clockTime_(env.time ? env.time : TimeStr) {
    link_.echoTimeout = 3.0;
    link_.replyTimeout = 3.0;
    // The data-ready handler only reads: this thread has no window whose events would wait meanwhile.
    link_.tcpReadPumpsEvents = false;
    // A TCP conversation brings its bytes while this thread's events run; a wait sleeps until they come.
    link_.idle = [](int maxWaitMs) { io::RunPendingEvents(maxWaitMs); };
    link_.observer.fillPayload = [this](Frame& request, unsigned short code, unsigned short a,
                                        unsigned short b, unsigned short c) {
        // The tool talks both programs' orders: the table orders as the Morvalen tool builds them, every
        // other order as the scope does.
        if (code == 180 || code == 182)
            FillMorvalenPayload(request, Pages(), code, a, b, c);
        else
            FillScopePayload(request, code, a, link_.pp);
    };
    link_.observer.beforeVersionQuery = [this] { StopAutoSend(link_); };
    // What a window tells in a pop-up (the server closed the connection, a device this user may not open)
    // comes as the cause in the tool's one line; status and cause go to no box.
}

void ToolRun::SetStage(const char* what) {
    stage_ = what;
    if (env_.progress) env_.progress(stage_, 0, 0);
}

void ToolRun::Progress(int done, int count) {
    if (env_.progress) env_.progress(stage_, done, count);
    if (!showProgress_) return;
    std::fprintf(env_.err, "\r%d of %d frames", done, count);
    progressLineOpen_ = done != count;
    if (done == count) std::fputc('\n', env_.err);
    std::fflush(env_.err);
}

// A failed exchange: what failed, why, and what to do.
int ToolRun::ExchangeFailed(const std::string& what) {
    return Fail(kExitSensorFailed, what + CauseAndAdvice());
}

// ": why the link failed; what to do about it", or "; what to do" when the link named no cause.
std::string ToolRun::CauseAndAdvice() const {
    return (link_.linkCause[0] ? ": " + std::string(link_.linkCause) : std::string()) + "; " +
           AnswerAdvice(link_.linkFailure, o_.link);
}

// Opens the link and asks for the version; 0 when the sensor answered.
int ToolRun::Connect() {
    const LinkSpec& link = o_.link;
    SetStage("connecting");
    link_.comprotocol = link.tcp ? 1 : 0;
    if (link.tcp) {
        std::snprintf(link_.ipBuf, sizeof link_.ipBuf, "%s", link.host.c_str());
        std::snprintf(link_.portNumStr, sizeof link_.portNumStr, "%d", link.port);
        link_.portNum = link.port;
        link_.InitTCP_IP();
    } else {
        // A COMn that leads where the platform's own rule leads is opened (and logged) as COMn.
        const std::string device = link.device.empty() ? ComPortDevice(link.comPort) : link.device;
        const bool byNumber = link.comPort > 0 && device == ComPortDevicePath(link.comPort);
        std::snprintf(link_.comDevice, sizeof link_.comDevice, "%s", byNumber ? "" : device.c_str());
        link_.comport = static_cast<unsigned short>(link.comPort > 0 ? link.comPort : env_.devicePort);
        link_.baudrate = static_cast<unsigned short>(link.baudIndex);
        link_.InitRS232();
    }
    if (link_.ret < 0 && OutOfDescriptors())
        return Fail(kExitNoLink, "cannot open the link: too many open files (the limit of this process is " +
                                     std::to_string(OpenFileLimit()) +
                                     "); raise the limit (ulimit -n), or give a smaller --parallel");
    if (link_.ret < 0) {
        const std::string advice = OpenAdvice(link_.linkFailure, link);
        return Fail(kExitNoLink, "cannot open the link: " + std::string(link_.linkCause) +
                                     (advice.empty() ? "" : "; " + advice));
    }
    if (!link_.CheckComLine()) return ExchangeFailed(SensorPlace(link) + " did not answer the version query");
    if (env_.identified) env_.identified(PrintableVersion(link_.version).c_str());
    return kExitOk;
}

// --- commands -------------------------------------------------------------------------------------------

int ToolRun::Identify() {
    const char* version = link_.version;
    const std::uint16_t code = IdentifySensor(version, 0);
    std::fprintf(env_.out, "version: %s\n", PrintableVersion(version).c_str());
    if (code == 0) {
        std::fprintf(env_.out, "sensor code: none (no model of the sensor table matches)\n");
        return kExitOk;
    }
    std::fprintf(env_.out, "sensor code: %u (%s)\n", unsigned(code), ModelFamily(version).c_str());
    std::fprintf(env_.out, "compensation page: %d\n", PageForSensorCode(code));
    return kExitOk;
}

// Reads the sensor's whole parameter set, the vector count as the sensor holds it; 0 or the exit code.
int ToolRun::ReadSensorImage(ParameterImage& image) {
    // The replies of the series, collected into an image.
    ParameterImage read{};
    std::array<bool, 1 + kTeachRows> parts{};
    auto collect = [&](const Frame& frame) {
        std::array<std::uint16_t, kReplyWords> words;
        for (int i = 0; i < kReplyWords; ++i) words[i] = FrameWord(frame, i);
        const ReadReply reply = ParseReadReply(words);
        if (reply.kind == ReadReply::Scalars) {
            std::copy(reply.values.begin(), reply.values.end(), read.begin());
            parts[0] = true;
        } else if (reply.kind == ReadReply::TeachRow) {
            std::copy(reply.values.begin(), reply.values.end(), read.begin() + TeachWord(reply.row, 0));
            parts[1 + reply.row] = true;
        }
    };
    link_.comecho = 1;
    if (!ReadParameterSeries(link_, o_.eeprom, collect,
                             [this](int done, int count) { Progress(done, count); }))
        return ExchangeFailed("reading the parameters from the sensor's " +
                              std::string(o_.eeprom ? "EEPROM" : "RAM") + " failed");
    const auto missing = std::count(parts.begin(), parts.end(), false);
    if (missing > 0)
        return Fail(kExitSensorFailed, std::to_string(missing) + " of the sensor's " +
                                           std::to_string(parts.size()) +
                                           " replies were not parameter replies; check that the link reaches "
                                           "the scope's kind of sensor (sensor-tool identify)");
    image = read;
    return kExitOk;
}

int ToolRun::GetParams() {
    SetStage("reading");
    ParameterImage image{};
    if (int code = ReadSensorImage(image)) return code;
    // The vector count as the scope takes it from the sensor: never more than the table's rows.
    image[kWordMaxNr] = ClampVectorCount(image[kWordMaxNr]);
    // Written beside the file and put in its place only when whole, so a failed write leaves the old file;
    // a symbolic link keeps pointing where it did, and its target gets the new set.
    if (!SaveParameterFile(o_.file, image)) {
        const int cause = errno;  // the write's own reason: a full disk, a missing folder, a permission
        return Fail(kExitBadFile, "cannot write " + o_.file + " (" + std::strerror(cause) + ")");
    }
    return kExitOk;
}

// The image as send-params sends it: the vector count never above the table's rows.
ParameterImage AsSent(ParameterImage image) {
    image[kWordMaxNr] = ClampVectorCount(image[kWordMaxNr]);
    return image;
}

// Compares the sensor's set with the file's, printing each difference; 0 or kExitDiffers.
int ToolRun::CompareWithSensor(const ParameterImage& file, const char* what) {
    ParameterImage sensor{};
    if (int code = ReadSensorImage(sensor)) return code;
    const std::vector<ParameterDifference> differences = CompareImages(file, sensor);
    if (differences.empty()) return kExitOk;
    std::fputs(DifferenceLines(differences).c_str(), env_.out);
    std::fflush(env_.out);
    const std::size_t n = differences.size();
    return Fail(kExitDiffers, std::to_string(n) + " of the 202 values in the sensor's " +
                                  (o_.eeprom ? "EEPROM" : "RAM") + (n == 1 ? " differs" : " differ") +
                                  " from " + what);
}

int ToolRun::SendParams(const ParameterImage& image) {
    SetStage("writing");
    const ParameterImage sent = AsSent(image);
    bool written = false;
    {
        WritingSet writing(env_.warning);
        written = WriteParameterSeries(link_, sent, o_.eeprom,
                                       [this](int done, int count) { Progress(done, count); });
    }
    if (!written) return ExchangeFailed("the parameter transfer stopped");
    if (!o_.verify) return kExitOk;
    SetStage("verifying");
    return CompareWithSensor(sent, "what was sent (listed on the output); send the file again");
}

int ToolRun::CompareParams(const ParameterImage& image) {
    SetStage("comparing");
    return CompareWithSensor(AsSent(image), "the file (listed on the output)");
}

int ToolRun::SendTable() {
    // The window shows the model it found and lets the person choose the page; here nobody sees the model,
    // so a page that is not the recognised model's (a slip in --page, a wrong link) writes nothing.
    if (const std::uint16_t code = IdentifySensor(link_.version, 0);
        code != 0 && PageForSensorCode(code) != o_.page) {
        const std::string page = std::to_string(PageForSensorCode(code));
        return Fail(kExitSensorFailed, "the sensor is " + ModelFamily(link_.version) + " (sensor code " +
                                           std::to_string(code) + "), whose table is page " + page +
                                           ", not page " + std::to_string(o_.page) +
                                           "; nothing was sent (give --page " + page + ")");
    }
    SetStage("writing");
    bool sent = false;
    {
        WritingSet writing(env_.warning);
        sent = SendParaData(link_, o_.page, Pages(),
                            [this](int, int done, int count, double) { Progress(done, count); });
    }
    if (!sent || link_.comecho != 1) return ExchangeFailed("the table transfer stopped");
    return kExitOk;
}

// --- recording ------------------------------------------------------------------------------------------

// A record that a signal ended: 128 + the signal's number, as a shell reports a program the signal ended.
int ToolRun::Stopped(int lines) {
    return Fail(128 + stopSignal, std::string("stopped by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") +
                                      " after " + Lines(lines) +
                                      "; the record file holds every line recorded until then");
}

// Appends the measurement's line; false, with the system's reason kept, when the file did not take it.
bool ToolRun::WriteRecordLine(const Measurement& v) {
    return AppendRecordText(o_.file, RecordDataLine(clockDate_(), clockTime_(), RecordValuesOf(v)),
                            fileProblem_);
}

// A record file that stopped taking lines ends the record: the frames after them would be lost.
int ToolRun::FileFailed(int lines) {
    return Fail(kExitBadFile, "cannot write " + o_.file + " (" + fileProblem_ + ") after " + Lines(lines) +
                                  "; the record stopped, and the file holds every line recorded until then");
}

// Waits until `until` (the platform's clock) with events running, or until a signal asks to stop.
void ToolRun::WaitUntil(double until) {
    io::PassEventsUntil(
        until, [](int maxWaitMs) { io::RunPendingEvents(maxWaitMs); }, [] { return stopSignal == 0; },
        kLongestPassMs);
}

int ToolRun::RecordAtInterval() {
    for (int k = 0; k < o_.count; ++k) {
        if (stopSignal != 0) return Stopped(k);
        const double start = Timer();
        Frame reply;
        // A request the sensor did not answer is a measurement that never happened: it makes no line.
        if (!ExchangeDataFrame(link_, reply))
            return Fail(kExitSensorFailed,
                        "no measurement frame after " + std::to_string(k) + " of " +
                            std::to_string(o_.count) + CauseAndAdvice() +
                            "; every line in the record file holds a frame the sensor sent");
        if (!WriteRecordLine(MeasurementOf(reply))) return FileFailed(k);
        Progress(k + 1, o_.count);
        if (k + 1 < o_.count) WaitUntil(start + o_.interval);  // no wait after the last frame
    }
    return kExitOk;
}

int ToolRun::RecordTriggered() {
    StartAutoSend(link_);
    link_.SetStreamReceive(true);
    FrameAssembler frames;
    std::vector<unsigned char> bytes;
    int recorded = 0;
    const double end = Timer() + o_.duration;
    bool fileTakes = true;
    auto recordFrames = [&](double now) {
        FrameAssembler::Frame frame;
        while (fileTakes && frames.Next(frame, now)) {
            fileTakes = WriteRecordLine(MeasurementOf(frame));
            if (!fileTakes) break;
            ++recorded;
            if (showProgress_) std::fprintf(env_.err, "\r%d frames", recorded);
        }
    };
    while (Timer() < end && stopSignal == 0 && fileTakes) {
        // Sleeps until bytes come, or until bytes that wait count as ended or the record ends.
        const double before = Timer();
        const double longest = std::min(kLongestPassMs / 1000.0, end - before);
        io::RunPendingEvents(int(std::ceil(frames.QuietLeft(before, longest) * 1000.0)));
        bytes.clear();
        const bool got = link_.TakeReceivedBytes(bytes) > 0;
        const double now = Timer();
        if (got) frames.Feed(bytes, now);
        recordFrames(now);
    }
    frames.End();  // a whole frame that arrived last is recorded too
    recordFrames(Timer());
    link_.SetStreamReceive(false);
    StopAutoSend(link_);
    if (showProgress_) std::fputc('\n', env_.err);
    if (!fileTakes) return FileFailed(recorded);
    return stopSignal != 0 ? Stopped(recorded) : kExitOk;
}

int ToolRun::Record() {
    // The file must take lines before the sensor is asked for any: a record that cannot be kept is not
    // started. A new record begins with its header; one appended to a file whose last line was cut short
    // (a record that ended with the power) begins after its last whole line, and the cut piece is shown.
    std::string cut;
    const bool ready = o_.append ? CutPartialLastLine(o_.file, cut, fileProblem_) &&
                                       AppendRecordText(o_.file, "", fileProblem_)
                                 : StartRecordFile(o_.file, RecordHeaderLine(), fileProblem_);
    std::replace(cut.begin(), cut.end(), '\t', ' ');  // the fields as a person reads them
    if (!cut.empty())
        std::fprintf(env_.err,
                     "sensor-tool: the last line of %s was cut short (%s): it is left out, and the "
                     "record goes on after the last whole line\n",
                     o_.file.c_str(), ShownText(cut).c_str());
    if (!ready)
        return Fail(kExitBadFile, "cannot write " + o_.file + " (" + fileProblem_ +
                                      "); check the folder, its permissions and its free space");
    return o_.triggered ? RecordTriggered() : RecordAtInterval();
}

int ToolRun::Run() {
    if (!o_.frameLog.empty()) {
        std::string error;
        if (!link_.Log().Open(o_.frameLog, &error))
            return Fail(kExitBadFile, "cannot open the frame log " + o_.frameLog + ": " + error);
    }

    // Files are checked before anything is sent.
    std::string error;
    if (int code = CheckInputFile(o_, error)) return Fail(code, error);
    ParameterImage image{};
    if (o_.command == Command::SendParams || o_.command == Command::CompareParams)
        LoadParameterFile(o_.file, image, error);
    if (o_.command == Command::SendTable)
        if (int code = PrepareTable(env_, o_, Pages())) return code;

    int code = Connect();
    if (code == kExitOk) {
        switch (o_.command) {
            case Command::Identify:
                code = Identify();
                break;
            case Command::GetParams:
                code = GetParams();
                break;
            case Command::SendParams:
                code = SendParams(image);
                break;
            case Command::CompareParams:
                code = CompareParams(image);
                break;
            case Command::SendTable:
                code = SendTable();
                break;
            case Command::Record:
                SetStage("recording");
                code = Record();
                break;
            case Command::Ports:
            case Command::Scan:
            case Command::None:
                break;
        }
    }
    Disconnect();
    return code;
}

// Whether a text file begins with the UTF-8 byte order mark.
bool BeginsWithByteOrderMark(const std::string& path) {
    const int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    if (file < 0) return false;
    char head[3] = {};
    const bool bom = CVI_ReadFile(file, head, 3) == 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0;
    CVI_CloseFile(file);
    return bom;
}

}  // namespace

int CheckInputFile(const Options& o, std::string& error) {
    if (o.command == Command::Record && o.append && !TakesRecordLines(o.file)) {
        error = o.file +
                " is not a record file (its first line is neither the record header nor a record "
                "line); nothing was recorded";
        return kExitBadFile;
    }
    if (o.command == Command::SendParams || o.command == Command::CompareParams) {
        if (BeginsWithByteOrderMark(o.file)) {
            error =
                "the parameter file " + o.file +
                " begins with a byte order mark (the bytes EF BB BF that some editors write first), which "
                "the scope does not read either; save it as plain text without one; nothing was sent";
            return kExitBadFile;
        }
        ParameterImage image{};
        std::string problem;
        if (!LoadParameterFile(o.file, image, problem)) {
            error = "the parameter file " + o.file + " " + problem + "; nothing was sent";
            return kExitBadFile;
        }
    }
    if (o.command == Command::SendTable) {
        const PageDescriptor* d = PageDescriptorFor(o.page);
        std::vector<double> coefs(std::size_t(kCoefsPerChannel * d->channelCount));
        const int result = LoadEquationFile(o.file, coefs);
        if (result != int(coefs.size())) {
            std::string problem = EquationFileProblem(result, int(coefs.size()), o.file);
            if (!problem.empty() && problem.back() == '.') problem.pop_back();
            error = "the equation file " + o.file + " " + problem + "; nothing was sent";
            return kExitBadFile;
        }
        // A file with more values is another page's (three or six channels): its first values would go to
        // the wrong channels.
        std::vector<double> more(coefs.size() + 1);
        if (LoadEquationFile(o.file, more) > int(coefs.size())) {
            error = "the equation file " + o.file + " holds more than the " + std::to_string(coefs.size()) +
                    " values page " + std::to_string(o.page) +
                    " needs, so it belongs to another page; nothing was sent";
            return kExitBadFile;
        }
    }
    return kExitOk;
}

int RunCommand(const Options& o, const ToolEnvironment& environment) {
    ToolRun run(o, environment);
    return run.Run();
}

ConsoleApplication::ConsoleApplication(char* argv0) : args_{argv0, nullptr} {
    if (!QCoreApplication::instance()) app_.emplace(argc_, args_);
}

ConsoleApplication::~ConsoleApplication() {
    io::CloseAllConversations();
    io::CloseAllPorts();
}

void PrepareHalfWrittenWarning(HalfWrittenWarning& warning, const Options& options, const std::string& prefix,
                               int fd) {
    warning.writing = 0;
    warning.fd = fd;
    warning.text[0] = '\0';
    const char* what = options.command == Command::SendParams  ? "parameter set"
                       : options.command == Command::SendTable ? "compensation table"
                                                               : nullptr;
    if (!what) return;
    std::snprintf(warning.text, sizeof warning.text,
                  "%sa second signal ended the tool while it wrote the %s: the sensor may now hold "
                  "a half-written %s; send it again\n",
                  prefix.c_str(), what, what);
}

void HandleStopSignals(std::span<HalfWrittenWarning> all) {
    stopSignal = 0;
    warningCount = 0;
    warnings = all.data();
    warningCount = all.size();
    SetStopDisposition(OnStopSignal);
}

void StopHandlingSignals() {
    SetStopDisposition(SIG_DFL);
    warningCount = 0;
    warnings = nullptr;
}

int StopSignal() {
    return stopSignal.load();
}

int RunInConsole(const Options& options, const ToolEnvironment& environment, char* argv0) {
    ConsoleApplication app(argv0);
    HalfWrittenWarning warning;
    PrepareHalfWrittenWarning(warning, options, "sensor-tool: ", ::fileno(environment.err));
    ToolEnvironment env = environment;
    env.warning = &warning;
    HandleStopSignals({&warning, 1});
    const int code = RunCommand(options, env);
    StopHandlingSignals();
    return code;
}

namespace {

// A file the run writes or reads, with who does: a link's output, the frame log, the input file.
struct RunFile {
    std::string name;  // as the run uses it
    std::string role;  // "the frame log", "the file that LINK writes", ...
    bool written = true;
    std::string link;       // the link whose output it is; empty for the frame log and the input file
    bool replaced = false;  // written beside and put in the place of the old file when whole
};

// The longest file name the tool writes: the system's 255 less the ".partial-PID" of the file written beside.
constexpr std::size_t kLongestFileName = 239;

// Why a file the run is to write cannot be written there, or empty: a name too long for the system, a
// folder, a folder that does not exist.
std::string OutputProblem(const RunFile& f) {
    namespace fs = std::filesystem;
    const fs::path path(f.name);
    for (const fs::path& part : path)
        if (part.native().size() > kLongestFileName)
            return "the name of " + f.role + " is " + std::to_string(part.native().size()) +
                   " characters long (" + ShownText(part.native()) + "); a file name may have " +
                   std::to_string(kLongestFileName) + " at most";
    if (f.name.size() >= 4000)
        return "the path of " + f.role + " is " + std::to_string(f.name.size()) +
               " characters long; give a shorter one";
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return f.role + ", " + ShownText(f.name) + ", is a folder; give the name of a file";
    // A device or a pipe cannot be replaced by a file, and must not be (a record or a log may go to one).
    if (f.replaced && fs::exists(path, ec) && !fs::is_regular_file(path, ec))
        return f.role + ", " + ShownText(f.name) +
               ", is no plain file (a device or a pipe); give the name of a file";
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec))
        return "the folder " + ShownText(folder.string()) + " of " + f.role + " is a file, not a folder";
    if (!fs::is_directory(folder, ec))
        return "the folder " + ShownText(folder.string()) + " of " + f.role +
               " does not exist; make it first";
    return {};
}

// Every file of the run has one writer and is not also read: two links' outputs, the frame log (which the
// links share) and the input file. 0, or kExitBadArguments with the reason.
int CheckRunFiles(const Options& options, const std::vector<Options>& runs, std::string& error) {
    std::vector<RunFile> files;
    const bool writesFile = options.command == Command::GetParams || options.command == Command::Record;
    if (!options.frameLog.empty()) files.push_back({options.frameLog, "the frame log", true, {}});
    for (const Options& run : runs) {
        if (writesFile)
            files.push_back({run.file, "the file that " + run.link.text + " writes", true, run.link.text,
                             options.command == Command::GetParams});
        else if (options.command != Command::Identify && &run == &runs.front())
            files.push_back({run.file, "the file that is read", false, {}});
    }
    std::map<std::string, const RunFile*> seen;  // the file as the system finds it -> its first use
    for (const RunFile& f : files) {
        if (f.written)
            if (std::string problem = OutputProblem(f); !problem.empty()) {
                error = problem;
                return kExitBadArguments;
            }
        std::error_code ec;
        const std::string key = std::filesystem::weakly_canonical(std::filesystem::absolute(f.name), ec);
        const auto [at, fresh] = seen.emplace(ec ? f.name : key, &f);
        if (fresh) continue;
        const RunFile& first = *at->second;
        if (!first.link.empty() && !f.link.empty())
            error = first.link + " and " + f.link + " would both write " + f.name +
                    "; put {n} or {link} into the file name (sensor-tool " +
                    (options.command == Command::Record ? "record" : "get-params") + " --help)";
        else
            error = first.role + " and " + f.role + " are the same file, " + ShownText(f.name) +
                    "; give each its own name";
        return kExitBadArguments;
    }
    return kExitOk;
}

// The arguments, links, devices and files of a run, checked before anything is sent to any sensor; the
// options of each link's run, their file names made from the file argument. 0 or the exit code.
int PlanRun(Options& options, std::vector<Options>& runs) {
    std::string error;
    if (!options.linksFile.empty()) {
        // Numbered in the order the command line gives them: the file's links where --links stands.
        std::vector<LinkSpec> fromFile;
        if (!ReadLinksFile(options.linksFile, fromFile, error)) return Fail(kExitBadArguments, error);
        options.links.insert(options.links.begin() + std::ptrdiff_t(options.linksFileAt), fromFile.begin(),
                             fromFile.end());
    }
    if (!ResolveLinks(options.links, error)) return Fail(kExitBadArguments, error);
    for (std::size_t i = 0; i < options.links.size(); ++i) {
        Options run = options;
        run.link = options.links[i];
        run.links = {run.link};
        run.linksFile.clear();
        run.file = FileNameFor(options.file, run.link, int(i) + 1);
        runs.push_back(run);
    }
    if (int code = CheckRunFiles(options, runs, error)) return Fail(code, error);
    if (int code = CheckDevices(options.links, error)) return Fail(code, error);
    for (const Options& run : runs)
        if (int code = CheckInputFile(run, error)) return Fail(code, error);
    return kExitOk;
}

}  // namespace

// scan: the version query on every included adapter at every baud rate. The COM port shown is the one
// serial:COMn reaches it by (a COMn link of the working directory first, else of the window programs).
namespace {

int Scan(const Options& options, char* argv0) {
    ConsoleApplication app(argv0);
    std::error_code ec;
    std::vector<SearchTarget> targets =
        SearchTargets(std::filesystem::current_path(ec).string(), options.includeFixed);
    const bool terminal = ::isatty(::fileno(stderr)) == 1;
    int code = kExitOk;
    if (targets.empty()) {
        code = Fail(kExitSensorFailed,
                    std::string("no serial adapter to try: plug one in (sensor-tool ports lists "
                                "the devices") +
                        (options.includeFixed ? ")" : "; --include-fixed adds /dev/ttyS*)"));
    } else {
        SensorSearch search(targets);
        search.idle = PassThreadEvents;
        while (!search.Done()) {
            if (terminal)
                std::fprintf(stderr, "\rtrying %zu device(s) at %ld baud (%d of 5)...", targets.size(),
                             search.CurrentRate(), search.RatesDone() + 1);
            search.Step();
        }
        if (terminal) std::fprintf(stderr, "\r%60s\r", "");
        for (const SearchResult& r : search.Results()) {
            std::string com = r.target.comPort > 0 ? "COM" + std::to_string(r.target.comPort)
                                                   : WindowComPorts(r.target.device);
            std::printf("%s  %s  %ld baud  %s%s\n", r.target.device.c_str(), com.c_str(),
                        BaudRateOf(r.baudIndex), r.version.c_str(),
                        r.scopeSensor ? "  (the scope's sensor: OrvaneV33)" : "  (a Morvalen sensor)");
        }
        if (search.Results().empty())
            code = Fail(kExitSensorFailed, "no sensor answered on " + std::to_string(targets.size()) +
                                               " device(s) at any of the five baud rates; check that the "
                                               "sensor is powered and its cable plugged in");
    }
    return code;
}

// What the command printed must reach its place too (a full disk, a file system that went away): output
// that did not is a failure, whatever the command did.
int EndWithOutput(int code) {
    errno = 0;
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
    const int error = errno;
    std::fprintf(stderr, "sensor-tool: cannot write the output (%s)\n",
                 error ? std::generic_category().message(error).c_str() : "a write failed");
    return code == kExitOk ? kExitBadFile : code;
}

int RunSensorTool(int argc, char** argv) {
    if (PrintVersionIfAsked(argc, argv, "sensor-tool")) return kExitOk;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!ParseArguments(args, options, error)) return Fail(kExitBadArguments, error);
    if (options.help) {
        std::fputs(HelpText(options.command).c_str(), stdout);
        return kExitOk;
    }
    if (options.command == Command::Ports) {
        std::fputs(PortsTable().c_str(), stdout);
        return kExitOk;
    }
    if (options.command == Command::Scan) return Scan(options, argv[0]);
    std::vector<Options> runs;
    if (int code = PlanRun(options, runs)) return code;
    if (runs.size() > 1) return RunOnLinks(runs, argv[0]);
    return RunInConsole(runs.front(), defaultEnvironment, argv[0]);
}

}  // namespace

int SensorToolMain(int argc, char** argv) {
    return EndWithOutput(RunSensorTool(argc, argv));
}
