#include "commands.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "build.h"
#include "com232.h"
#include "equation_file.h"
#include "frame_assembler.h"
#include "frame_log.h"
#include "pages.h"
#include "parameter_image.h"
#include "platform.h"
#include "record_file.h"
#include "sensor_exchange.h"
#include "sensor_table.h"
#include "table_transfer.h"

namespace {

const ToolEnvironment* env = nullptr;
bool showProgress = false;

// One line on the error stream, and the exit code that goes with it.
int Fail(int code, const std::string& message) {
    if (showProgress) std::fputc('\n', env->err);
    std::fprintf(env->err, "sensor-tool: %s\n", message.c_str());
    return code;
}

void Progress(int done, int count) {
    if (!showProgress) return;
    std::fprintf(env->err, "\r%d of %d frames", done, count);
    if (done == count) std::fputc('\n', env->err);
    std::fflush(env->err);
}

// The tool talks both programs' orders: the table orders as the Morvalen tool builds them, every other
// order as the scope does.
void ToolPayload(unsigned short code, unsigned short a, unsigned short b, unsigned short c) {
    if (code == 180 || code == 182)
        FillMorvalenPayload(code, a, b, c);
    else
        FillScopePayload(code, a, b, c);
}

void SetToolProfile() {
    LinkProfile link{};
    link.echoTimeout = 3.0;
    link.replyTimeout = 3.0;
    link.fillPayload = ToolPayload;
    link.beforeVersionQuery = StopAutoSend;
    link.tcpReadPumpsEvents = true;
    SetLinkProfile(link);
}

// The version text as it can be printed: blanks and zero bytes at its end dropped, other bytes that are not
// printable shown as \xNN.
std::string PrintableVersion() {
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

// Opens the link and asks for the version; 0 when the sensor answered.
int Connect(const LinkSpec& link) {
    comprotocol = link.tcp ? 1 : 0;
    if (link.tcp) {
        std::snprintf(ipBuf, sizeof ipBuf, "%s", link.host.c_str());
        portNum = link.port;
        InitTCP_IP();
    } else {
        comport = static_cast<unsigned short>(link.comPort);
        baudrate = static_cast<unsigned short>(link.baudIndex);
        InitRS232();
    }
    if (ret < 0)
        return Fail(kExitNoLink,
                    std::string(link.tcp ? "cannot connect to " + link.host + ":" + std::to_string(link.port)
                                         : "cannot open " + ComPortDevicePath(link.comPort)) +
                        ": " + szStatus + "; check the link and that nothing else uses it");
    CheckComLine();
    if (comecho == 0 && bytesToRead != 0)
        return Fail(kExitSensorFailed,
                    "the sensor did not answer the version query; check that it is "
                    "powered and that the baud rate matches");
    return kExitOk;
}

void Disconnect() {
    if (tcpcon) DisconnectFromTCPServer(g_hconversation);
    tcpcon = 0;
    g_hconversation = 0;
    CloseCom(comport);
}

// --- commands -------------------------------------------------------------------------------------------

int Identify() {
    const std::uint16_t code = IdentifySensor(version, 0);
    std::fprintf(env->out, "version: %s\n", PrintableVersion().c_str());
    if (code == 0) {
        std::fprintf(env->out, "sensor code: none (no model of the sensor table matches)\n");
        return kExitOk;
    }
    std::fprintf(env->out, "sensor code: %u (%s)\n", unsigned(code), ModelFamily(version).c_str());
    std::fprintf(env->out, "compensation page: %d\n", PageForSensorCode(code));
    return kExitOk;
}

// The replies of a read series, collected into an image.
ParameterImage readImage;
std::array<bool, 1 + kTeachRows> readParts;

void CollectReply() {
    const ReadReply reply = ParseReadReply(std::span<const std::uint16_t, kReplyWords>(pp, kReplyWords));
    if (reply.kind == ReadReply::Scalars) {
        std::copy(reply.values.begin(), reply.values.end(), readImage.begin());
        readParts[0] = true;
    } else if (reply.kind == ReadReply::TeachRow) {
        std::copy(reply.values.begin(), reply.values.end(), readImage.begin() + TeachWord(reply.row, 0));
        readParts[1 + reply.row] = true;
    }
}

int GetParams(const Options& o) {
    readParts.fill(false);
    comecho = 1;
    if (!ReadParameterSeries(o.eeprom, CollectReply))
        return Fail(kExitSensorFailed, "the sensor stopped answering while its parameters were read");
    const auto missing = std::count(readParts.begin(), readParts.end(), false);
    if (missing > 0)
        return Fail(kExitSensorFailed, std::to_string(missing) +
                                           " of the sensor's replies were not parameter replies; nothing was "
                                           "written");
    // The vector count as the scope takes it from the sensor: never more than the table's rows.
    readImage[kWordMaxNr] = ClampVectorCount(readImage[kWordMaxNr]);
    if (!SaveParameterFile(o.file, readImage))
        return Fail(kExitBadFile, "cannot write " + o.file + "; check the folder and its permissions");
    return kExitOk;
}

int SendParams(const ParameterImage& image, const Options& o) {
    std::copy(image.begin(), image.end(), pp);
    pp[kWordMaxNr] = ClampVectorCount(pp[kWordMaxNr]);
    if (!WriteParameterSeries(o.eeprom))
        return Fail(kExitSensorFailed,
                    "the sensor did not echo a parameter frame; the transfer stopped there");
    return kExitOk;
}

void TableProgress(int, int done, int count, double) {
    Progress(done, count);
}

int SendTable(const Options& o) {
    SetTransferProgress(TableProgress);
    SendParaData(o.page);
    SetTransferProgress(nullptr);
    if (comecho != 1)
        return Fail(kExitSensorFailed, "the sensor did not echo a table frame; the transfer stopped there");
    return kExitOk;
}

// Computes page N's table from an equation file into the page's globals; 0 or the exit code.
int PrepareTable(const Options& o) {
    const PageDescriptor* d = PageDescriptorFor(o.page);
    const int n = kCoefsPerChannel * d->channelCount;
    std::vector<double> coefs(n);
    const int result = LoadEquationFile(o.file, coefs);
    if (result != n)
        return Fail(kExitBadFile, "the equation file " + o.file + " " + EquationFileProblem(result, n));
    // Rounded as the page's coefficient fields round what is loaded into them.
    for (int k = 0; k < n; ++k) coefs[k] = RoundCoefficient(coefs[k], k % kCoefsPerChannel);
    SetCoefficients(*d, coefs);
    ComputeDriftCurves(*d);
    std::vector<unsigned short> setPoints;
    for (int c = 0; c < d->channelCount; ++c) setPoints.push_back(SetPoint(d->channels[c]->curve[o.index]));
    ComputeFactorCurves(*d, setPoints);
    return kExitOk;
}

// --- recording ------------------------------------------------------------------------------------------

std::string (*clockDate)() = DateStr;
std::string (*clockTime)() = TimeStr;
unsigned long linesLost = 0;

// SIGINT or SIGTERM: a record ends after the line being recorded; other commands run to their end, so no
// series of frames to the sensor is broken off halfway.
int stopSignal = 0;

void StopOnSignal(int signalNumber) {
    if (stopSignal == 0) stopSignal = signalNumber;
}

// A record that a signal ended: 128 + the signal's number, as a shell reports a program the signal ended.
int Stopped(int lines) {
    return Fail(128 + stopSignal, std::string("stopped by ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM") +
                                      " after " + std::to_string(lines) +
                                      " lines; the record file holds every line recorded until then");
}

void WriteRecordLine(const std::string& path) {
    const RecordValues values = {dataChL,  dataChC,  dataChR, dataDensity,
                                 dataSym1, dataSym2, dataVec, dataTemp};
    const std::string line = RecordDataLine(clockDate(), clockTime(), values);
    const int file = CVI_OpenFile(path, VAL_READ_WRITE, VAL_APPEND, VAL_BINARY);
    bool ok = file >= 0 && CVI_WriteFile(file, line.data(), int(line.size())) == int(line.size());
    if (file >= 0) ok = CVI_CloseFile(file) == 0 && ok;
    if (!ok) ++linesLost;
}

// Waits until `until` (the platform's clock) with events running, or until a signal asks to stop.
void WaitUntil(double until) {
    while (Timer() < until && stopSignal == 0) ProcessSystemEvents();
}

int RecordAtInterval(const Options& o) {
    for (int k = 0; k < o.count; ++k) {
        if (stopSignal != 0) return Stopped(k);
        const double start = Timer();
        order = 5;
        FillTxBuf(order, 0, 0, 0);
        GetDataFrame();
        const bool complete = bytesToRead == 0;
        if (complete) {
            GetRxBufData();
            CopyDatatoVars();
        }
        WriteRecordLine(o.file);  // after a time-out the line holds the last good frame, as the scope does
        Progress(k + 1, o.count);
        if (!complete)
            return Fail(kExitSensorFailed, "no measurement frame after " + std::to_string(k) + " of " +
                                               std::to_string(o.count) +
                                               "; the record ends with the last values");
        WaitUntil(start + o.interval);
    }
    return kExitOk;
}

int RecordTriggered(const Options& o) {
    order = 50;
    FillTxBuf(order, 1, 0, 0);
    WriteFrame();
    SetStreamReceive(true);
    FrameAssembler frames;
    std::vector<unsigned char> bytes;
    int recorded = 0;
    const double end = Timer() + o.duration;
    auto recordFrames = [&](double now) {
        FrameAssembler::Frame frame;
        while (frames.Next(frame, now)) {
            std::memcpy(szReadBuf, frame.data(), frame.size());
            GetRxBufData();
            CopyDatatoVars();
            WriteRecordLine(o.file);
            ++recorded;
            if (showProgress) std::fprintf(env->err, "\r%d frames", recorded);
        }
    };
    while (Timer() < end && stopSignal == 0) {
        ProcessSystemEvents();
        bytes.clear();
        const bool got = TakeReceivedBytes(bytes) > 0;
        const double now = Timer();
        if (got) frames.Feed(bytes, now);
        recordFrames(now);
    }
    frames.End();  // a whole frame that arrived last is recorded too
    recordFrames(Timer());
    SetStreamReceive(false);
    StopAutoSend();
    if (showProgress) std::fputc('\n', env->err);
    return stopSignal != 0 ? Stopped(recorded) : kExitOk;
}

int Record(const Options& o) {
    linesLost = 0;
    if (!o.append) {
        const std::string header = RecordHeaderLine();
        const int file = CVI_OpenFile(o.file, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_BINARY);
        bool ok = file >= 0 && CVI_WriteFile(file, header.data(), int(header.size())) == int(header.size());
        if (file >= 0) ok = CVI_CloseFile(file) == 0 && ok;
        if (!ok)
            return Fail(kExitBadFile, "cannot write " + o.file + "; check the folder and its permissions");
    }
    const int result = o.triggered ? RecordTriggered(o) : RecordAtInterval(o);
    if (linesLost > 0)
        return Fail(kExitBadFile, std::to_string(linesLost) + " lines could not be written to " + o.file);
    return result;
}

}  // namespace

int RunCommand(const Options& o, const ToolEnvironment& environment) {
    env = &environment;
    showProgress = ::isatty(::fileno(environment.err)) == 1;
    clockDate = environment.date ? environment.date : DateStr;
    clockTime = environment.time ? environment.time : TimeStr;
    if (!o.frameLog.empty()) {
        std::string error;
        if (!OpenFrameLog(o.frameLog, &error))
            return Fail(kExitBadFile, "cannot open the frame log " + o.frameLog + ": " + error);
    }

    // Files are checked before anything is sent.
    ParameterImage image{};
    if (o.command == Command::SendParams) {
        std::string problem;
        if (!LoadParameterFile(o.file, image, problem))
            return Fail(kExitBadFile, "the parameter file " + o.file + " " + problem + "; nothing was sent");
    }
    if (o.command == Command::SendTable)
        if (int code = PrepareTable(o)) return code;

    SetToolProfile();
    SetSeriesProgress(Progress);
    int code = Connect(o.link);
    if (code == kExitOk) {
        switch (o.command) {
            case Command::Identify:
                code = Identify();
                break;
            case Command::GetParams:
                code = GetParams(o);
                break;
            case Command::SendParams:
                code = SendParams(image, o);
                break;
            case Command::SendTable:
                code = SendTable(o);
                break;
            case Command::Record:
                code = Record(o);
                break;
            case Command::None:
                break;
        }
    }
    SetSeriesProgress(nullptr);
    Disconnect();
    CloseFrameLog();
    return code;
}

int SensorToolMain(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    Options options;
    std::string error;
    if (!ParseArguments(args, options, error)) {
        std::fprintf(stderr, "sensor-tool: %s\n", error.c_str());
        return kExitBadArguments;
    }
    if (options.help) {
        std::fputs(HelpText(options.command).c_str(), stdout);
        return kExitOk;
    }
    // The platform's link and clock need its event loop, not a window.
    setenv("QT_QPA_PLATFORM", "minimal", 1);
    char* qtArgs[] = {argv[0], nullptr};
    int qtArgc = 1;
    if (InitCVIRTE(qtArgc, qtArgs) != 0) return Fail(kExitNoLink, "the platform cannot start");
    InstallTerminationHandler(StopOnSignal);
    const int code = RunCommand(options);
    CloseCVIRTE();
    return code;
}
