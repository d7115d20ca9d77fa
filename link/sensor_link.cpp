#include "sensor_link.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "io.h"

namespace {

// Frames wait here while the taker is held up (a modal pop-up open during a triggered record): room for
// some 29,000 frames. The stream is bounded so that a sensor sending with nobody taking its frames cannot
// fill the memory.
constexpr std::size_t kStreamLimit = 1024 * 1024;

// The data-ready handler gives up after this many reads that bring nothing while bytes are missing, so a
// broken conversation ends in the waiting exchange's time-out instead of blocking the user interface.
constexpr int kMaxEmptyReads = 3;
constexpr int kRetryReadTimeoutMs = 20;

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

}  // namespace

// --- free functions -------------------------------------------------------------------------------------

LinkFailure DescribeComOpenFailure(const ComOpenFailure& f, std::string& cause) {
    switch (f.problem) {
        case kComOpenNoDevice:
            cause = "there is no device " + f.device;
            return kLinkNoDevice;
        case kComOpenNoPermission:
            cause =
                "permission denied on " + f.device + ": " +
                (f.groupMayOpen && !f.group.empty() ? "join the group " + f.group + " (sudo adduser $USER " +
                                                          f.group + "), then log in again"
                                                    : "only its owner, " + f.owner + ", may open it");
            return kLinkNoPermission;
        case kComOpenInUse:
            cause = f.device + " is in use by another program";
            return kLinkDeviceInUse;
        default:
            cause = f.device + " cannot be opened";
            return kLinkCannotOpen;
    }
}

bool EchoMatches(const unsigned char* reply, const unsigned char* request, int n) {
    if (reply[0] != 0x00 || reply[1] != 0xAA) return false;
    for (int i = 2; i < 2 * n; ++i)
        if (reply[i] != request[i]) return false;
    return true;
}

bool IsVersionText(const unsigned char* bytes, int count) {
    if (count != 36) return false;
    bool zeroSeen = false, letterOrDigit = false;
    for (int i = 0; i < count; ++i) {
        const unsigned char c = bytes[i];
        if (c == 0) {
            zeroSeen = true;
            continue;
        }
        if (zeroSeen || c < 0x20 || c > 0x7E) return false;
        letterOrDigit = letterOrDigit || std::isalnum(c);
    }
    return letterOrDigit;
}

long BaudRateOf(int baudIndex) {
    static constexpr long kRates[] = {9600, 19200, 38400, 57600, 115200};
    return baudIndex >= 0 && baudIndex < 5 ? kRates[baudIndex] : 19200;
}

const char* RS232ErrorText(int code) {
    switch (code) {
        case -1:
            return "Unknown system error";
        case -2:
            return "Invalid port number";
        case -3:
            return "Port is not open";
        case -4:
            return "Unknown I/0 error";
        case -6:
            return "No serial port found";
        case -7:
            return "Cannot open port";
        case -99:
            return "Timeout";
        default:
            return "RS-232 error!";
    }
}

const char* TCPErrorText(int code) {
    static constexpr const char* kTexts[] = {
        "UnableToRegisterService",
        "UnableToEstablishConnection",
        "ExistingServer",
        "FailedToConnect",
        "ServerNotRegistered",
        "TooManyConversations",
        "ReadFailed",
        "WriteFailed",
        "InvalidParameter",
        "OutOfMemory",
        "TimeOutError",
        "NoConnectionEstablished",
        "GeneralIOErr",
        "ConnectionClosed",
        "UnableToLoadWinsockDLL",
        "IncorrectWinsockDLLVersion",
        "NetworkSubsystemNotReady",
        "ConnectionsStillOpen",
        "DisconnectPending",
        "InfoNotAvailable",
    };
    if (code <= -1 && code >= -20) return kTexts[-code - 1];
    return "Connection to server failed";
}

// --- the link ---------------------------------------------------------------------------------------------

SensorLink::SensorLink() = default;
SensorLink::~SensorLink() = default;

std::string SensorLink::Name() const {
    if (comprotocol != 0) return ServerWithPort();
    return comDevice[0] ? std::string(comDevice) : "COM" + std::to_string(comport);
}

std::string SensorLink::ServerWithPort() const {
    return std::string(ipBuf) + ":" + std::to_string(portNum);
}

double SensorLink::Now() const {
    return transport_ ? transport_->Now() : Timer();
}

bool SensorLink::RealTime() const {
    return !transport_ || transport_->RealTime();
}

void SensorLink::Pass() {
    if (idle) idle(0);
    if (transport_) transport_->Pump();
}

void SensorLink::PassUntil(double until) {
    if (idle) {
        const double ms = RealTime() ? std::ceil((until - Now()) * 1000.0) : 0.0;
        idle(int(std::clamp(ms, 0.0, double(kLongestIdleMs))));
    }
    if (transport_) transport_->Pump();
}

std::string SensorLink::SerialDevice() const {
    return comDevice[0] ? std::string(comDevice) : ComPortDevicePath(comport);
}

LinkAddress SensorLink::Address() const {
    return {comport, comDevice, BaudRateOf(baudrate), ipBuf, portNum};
}

std::unique_ptr<LinkTransport> SensorLink::MakeTransport() const {
    if (transportFactory) return transportFactory(*this);
    if (comprotocol != 0) return std::make_unique<TcpTransport>();
    return std::make_unique<SerialTransport>(comport);
}

// A conversation that is still open ends before its transport goes, so none of its events can reach a
// transport that is gone.
void SensorLink::ReplaceTransport() {
    if (auto* tcp = dynamic_cast<TcpTransport*>(transport_.get()); tcp && tcp->Handle() != 0) {
        tcp->Close();
        g_hconversation = 0;
        tcpcon = 0;
    }
    transport_ = MakeTransport();
}

void SensorLink::TellUser(const char* title, const std::string& text) {
    if (observer.tellUser) observer.tellUser(title, text);
}

void SensorLink::ShowLinkStatus(std::string_view text) {
    if (observer.showStatus) observer.showStatus(text);
}

void SensorLink::SetLinkFailure(LinkFailure failure, const std::string& cause) {
    linkFailure = failure;
    std::snprintf(linkCause, sizeof linkCause, "%s", cause.c_str());
    log_.Failure(cause);
}

void SensorLink::ClearLinkCause() {
    linkFailure = kLinkOk;
    linkCause[0] = '\0';
    if (observer.causeCleared) observer.causeCleared();
}

void SensorLink::RecordOpenFailure() {
    ComOpenFailure f;
    GetComOpenFailure(comport, f);
    if (f.device.empty()) f.device = SerialDevice();
    std::string cause;
    const LinkFailure failure = DescribeComOpenFailure(f, cause);
    SetLinkFailure(failure, failure == kLinkCannotOpen ? cause + " (" + szStatus + ")" : cause);
}

void SensorLink::RecordConnectFailure(int code) {
    const std::string where = ServerWithPort();
    switch (code) {
        case kTCP_InvalidParameter:
            if (ipBuf[0] == '\0')
                SetLinkFailure(kLinkNoServer, "no server name or IP address is given");
            else if (portNum < 1 || portNum > 65535)
                SetLinkFailure(kLinkBadPortNumber, portNumStr[0] == '\0'
                                                       ? std::string("no port number is given")
                                                       : std::string("the port number \"") + portNumStr +
                                                             "\" is not a number from 1 to 65535");
            else
                SetLinkFailure(kLinkConnectFailed, "cannot connect to " + where);
            break;
        case kTCP_UnableToEstablishConnection:
            SetLinkFailure(kLinkRefused, "connection refused by " + where);
            break;
        case kTCP_FailedToConnect:
            SetLinkFailure(kLinkUnknownServer, std::string("the server name \"") + ipBuf + "\" is not known");
            break;
        case kTCP_TimeOutErr:
            SetLinkFailure(kLinkConnectTimeout, "no answer from " + where + " within " + Seconds(5.0));
            break;
        case kTCP_GeneralIOErr:
            SetLinkFailure(kLinkUnreachable, "the network does not reach " + where);
            break;
        case kTCP_OutOfMemory:
            SetLinkFailure(kLinkConnectFailed,
                           "cannot connect to " + where +
                               ": the system allows the program no more open files or "
                               "connections; close other programs or links and try again");
            break;
        default:
            SetLinkFailure(kLinkConnectFailed, "cannot connect to " + where);
            break;
    }
}

void SensorLink::RecordServerClosed() {
    SetLinkFailure(kLinkServerClosed, "the server closed the connection");
}

void SensorLink::RecordDeviceLost() {
    // A device whose name is gone was pulled out; one still there failed otherwise.
    std::error_code ec;
    const bool gone = !openedDevice_.empty() && !std::filesystem::exists(openedDevice_, ec);
    SetLinkFailure(kLinkDeviceLost,
                   "the serial device " + openedDevice_ + (gone ? " was unplugged" : " stopped working"));
}

// Why the reply of the last wait is not complete.
void SensorLink::RecordIncompleteReply(double timeLimit) {
    const int received = FrameBytes() - bytesToRead;
    if (comprotocol != 0 && tcpcon == 0)
        RecordServerClosed();
    else if (comprotocol == 0 && (dataSize < 0 || (transport_ && transport_->LineLost())))
        RecordDeviceLost();
    else if (received <= 0)
        SetLinkFailure(kLinkNoAnswer, "no answer within " + Seconds(timeLimit));
    else if (bytesToRead > 0)
        SetLinkFailure(kLinkShortReply, "only " + std::to_string(received) + " of " +
                                            std::to_string(FrameBytes()) + " bytes came within " +
                                            Seconds(timeLimit));
    else
        SetLinkFailure(kLinkLongReply,
                       std::to_string(received) + " bytes came instead of " + std::to_string(FrameBytes()));
}

void SensorLink::RecordWriteFailure(int written) {
    if (comprotocol != 0 &&
        (tcpcon == 0 || written == kTCP_ConnectionClosed || written == kTCP_NoConnectionEstablished))
        RecordServerClosed();
    else if (comprotocol == 0 && written == kRS232UnknownIOError)
        RecordDeviceLost();
    else
        SetLinkFailure(kLinkNotSent, "the frame could not be sent (" + std::to_string(std::max(written, 0)) +
                                         " of " + std::to_string(FrameBytes()) + " bytes went out)");
}

void SensorLink::StoreReplyBytes() {
    int emptyReads = 0;
    bool first = true;
    while (bytesToRead > 0 && emptyReads < kMaxEmptyReads) {
        int offset = std::clamp(dataSize - bytesToRead, 0, int(sizeof szReadBuf) - 1);
        int room = std::min<int>(bytesToRead, int(sizeof szReadBuf) - offset);
        bytesRead = transport_->Read(szReadBuf + offset, room, first ? 5000 : kRetryReadTimeoutMs);
        first = false;
        if (bytesRead > 0) {
            bytesToRead -= bytesRead;
            emptyReads = 0;
        } else {
            ++emptyReads;
        }
        if (tcpReadPumpsEvents) Pass();
    }
}

void SensorLink::DropStrayBytes() {
    unsigned char scratch[1024];
    bytesRead = transport_->Read(scratch, sizeof scratch, 5000);
    if (bytesRead > 0) log_.Received(scratch, bytesRead, "stray, dropped");
}

void SensorLink::KeepStreamBytes() {
    unsigned char chunk[1024];
    bytesRead = transport_->Read(chunk, sizeof chunk, 0);
    if (bytesRead <= 0) return;
    log_.Received(chunk, bytesRead, "sent by the sensor");
    if (streamBytes_.size() + std::size_t(bytesRead) > kStreamLimit) streamBytes_.clear();
    streamBytes_.insert(streamBytes_.end(), chunk, chunk + bytesRead);
}

// A user who may not open the serial device learns once per device how to get the permission.
void SensorLink::ShowPermissionHint() {
    ComOpenFailure f;
    if (GetComOpenFailure(comport, f) != 0 || f.problem != kComOpenNoPermission) return;
    if (!hintedDevices_.insert(f.device).second) return;
    const std::string name = comDevice[0] ? f.device : "COM" + std::to_string(comport) + " opens " + f.device;
    std::string text = name + ", which this user may not open.\n";
    if (f.groupMayOpen)
        text += "Members of the group \"" + f.group +
                "\" may. To join it once, run\n    sudo adduser $USER " + f.group +
                "\nthen log out and log in again.";
    else
        text += "Only the device's owner, " + f.owner + ", may open it.";
    TellUser("Serial port", text);
}

// --- opening --------------------------------------------------------------------------------------------

void SensorLink::InitRS232() {
    if (observer.beforeOpenSerial) observer.beforeOpenSerial();
    ReplaceTransport();
    linkFailure = kLinkOk;
    log_.SetLink(Name());
    openedDevice_ = SerialDevice();
    ret = static_cast<short>(transport_->Open(Address(), *this));
    if (ret < 0) {
        std::snprintf(szStatus, sizeof szStatus, "%s", RS232ErrorText(ret));
        RecordOpenFailure();
        if (observer.showSerialError) observer.showSerialError();
        ShowPermissionHint();
    }
}

void SensorLink::InitTCP_IP() {
    if (tcpcon > 0) {
        if (transport_) transport_->Close();
        g_hconversation = 0;
        tcpcon = 0;
    }
    linkFailure = kLinkOk;
    log_.SetLink(Name());
    if (observer.connecting) observer.connecting(true);
    ReplaceTransport();
    ret = static_cast<short>(transport_->Open(Address(), *this));
    if (observer.connecting) observer.connecting(false);
    if (ret < 0) {
        std::snprintf(szStatus, sizeof szStatus, "%s", TCPErrorText(ret));
        RecordConnectFailure(ret);
        if (observer.showTcpError) observer.showTcpError();
        tcpcon = 0;
        return;
    }
    const auto* tcp = dynamic_cast<const TcpTransport*>(transport_.get());
    g_hconversation = tcp ? tcp->Handle() : 1;
    tcpcon = 1;
}

void SensorLink::Close() {
    if (!transport_) return;
    if (comprotocol == 0 || tcpcon) transport_->Close();
    tcpcon = 0;
    g_hconversation = 0;
}

void SensorLink::BytesReady() {
    if (streamReceive_)
        KeepStreamBytes();
    else if (bytesToRead > 0)
        StoreReplyBytes();
    else
        DropStrayBytes();
}

void SensorLink::PeerClosed() {
    g_hconversation = 0;
    tcpcon = 0;
    RecordServerClosed();
    TellUser("TCP Client", "Server has closed connection!");
}

bool SensorLink::CheckComLine() {
    if (observer.beforeVersionQuery) observer.beforeVersionQuery();
    tstart = Now();
    do {
        PassUntil(tstart + 0.1);
        tdiff = Now() - tstart;
    } while (tdiff < 0.1);

    order = 7;
    FillTxBuf(7, 0, 0, 0);
    if (comprotocol == 0) {
        FlushQueues();
        dataSize = 0;
        WriteFrame();
        WaitForReply(3.0);
    } else {
        bytesToRead = dataSize = FrameBytes();
        WriteFrame(5000);
        WaitForReply(5.0);
    }
    const bool lineNoise = bytesToRead == 0 && !IsVersionText(szReadBuf, FrameBytes());
    LogReply(lineNoise ? "line noise" : "version");
    if (lineNoise) {
        // Bytes no version text holds are what a line at another baud rate delivers: no answer.
        bytesToRead = FrameBytes();
        SetLinkFailure(kLinkLineNoise,
                       "the answer to the version query is line noise, no version text: the "
                       "sensor runs at another baud rate");
    }
    if (bytesToRead != 0) {
        ReportFailure();
        return false;
    }
    std::memcpy(version, szReadBuf, 36);
    version[36] = '\0';
    ShowLinkStatus(version);
    if (observer.reportDone) observer.reportDone("the sensor answered on " + Name());
    if (observer.afterVersionQuery) observer.afterVersionQuery();
    return true;
}

void SensorLink::ReportFailure() {
    if (observer.stopPolling) observer.stopPolling();
    comecho = 0;
    ShowLinkStatus("TIMEOUT");
    std::string cause = linkCause;
    if (linkFailure == kLinkServerClosed) cause += ": press Try to reconnect";
    if (linkFailure == kLinkLineNoise) cause += " (Search finds it)";
    if (observer.reportFailed) observer.reportFailed(cause);
    if (observer.showInterfacePanel) observer.showInterfacePanel();
}

// --- frames -----------------------------------------------------------------------------------------------

Frame SensorLink::Request(unsigned short code) const {
    Frame frame;
    std::copy_n(szWriteBuf, kFrameBytes, frame.begin());
    SetFrameWord(frame, 0, syncWord);
    SetFrameWord(frame, 1, code);
    return frame;
}

Frame SensorLink::LastReply() const {
    Frame frame;
    std::copy_n(szReadBuf, kFrameBytes, frame.begin());
    return frame;
}

void SensorLink::Send(const Frame& request) {
    order = FrameWord(request, 1);
    std::copy(request.begin(), request.end(), szWriteBuf);
    WriteFrame();
}

bool SensorLink::SendEchoed(const Frame& request, int n) {
    Send(request);
    CheckEcho(n);
    return comecho != 0;
}

bool SensorLink::Exchange(const Frame& request, Frame& reply) {
    FlushQueues();
    Send(request);
    if (!ReceiveReply()) return false;
    reply = LastReply();
    return true;
}

void SensorLink::FillTxBuf(unsigned short code, unsigned short start, unsigned short value,
                           unsigned short count) {
    PutWord(szWriteBuf, 0, syncWord);
    PutWord(szWriteBuf, 1, code);
    if (!observer.fillPayload) return;
    Frame frame;
    std::copy_n(szWriteBuf, kFrameBytes, frame.begin());
    observer.fillPayload(frame, code, start, value, count);
    std::copy(frame.begin(), frame.end(), szWriteBuf);
}

void SensorLink::WriteFrame(int tcpTimeoutMs) {
    if (!transport_) transport_ = MakeTransport();
    const int written = transport_->Write(szWriteBuf, FrameBytes(), tcpTimeoutMs);
    nBytesW = static_cast<unsigned short>(written);
    writeFailed_ = written != FrameBytes();
    if (writeFailed_) RecordWriteFailure(written);
    if (log_.IsOpen())
        log_.Sent(szWriteBuf, FrameBytes(),
                  written == FrameBytes() ? "" : "write failed (" + std::to_string(written) + ")");
}

void SensorLink::FlushQueues() {
    if (comprotocol != 0 || !transport_) return;
    transport_->Flush();
}

void SensorLink::WaitForReply(double timeLimit) {
    const int want = FrameBytes();
    tstart = Now();
    if (comprotocol == 0) {
        // A port that went away (negative count), or whose line went away in the middle of a reply, brings
        // nothing more: the wait ends at once.
        do {
            PassUntil(tstart + timeLimit);
            dataSize = transport_ ? transport_->Waiting() : kRS232PortNotOpen;
            tdiff = Now() - tstart;
        } while (tdiff <= timeLimit && dataSize < want && dataSize >= 0 && !transport_->LineLost());
        // Everything that is waiting is read, so an over-long reply shows as such.
        int n = std::clamp(dataSize, 0, int(sizeof szReadBuf));
        if (n > 0) transport_->Read(szReadBuf, n, 0);
        bytesToRead = want - std::max(dataSize, 0);
    } else {
        // A conversation the server ended brings nothing more: the wait ends at once, so an exchange
        // started after the close fails without waiting out its time limit.
        dataSize = bytesToRead = want;
        while (bytesToRead > 0 && tcpcon != 0) {
            PassUntil(tstart + timeLimit);
            tdiff = Now() - tstart;
            if (tdiff > timeLimit) break;
        }
    }
    if (bytesToRead != 0 && !writeFailed_) RecordIncompleteReply(timeLimit);
}

// Logs the reply of the last wait: complete (with the caller's conclusion), time-out, short or long.
void SensorLink::LogReply(const char* conclusionWhenComplete) {
    if (!log_.IsOpen()) return;
    const int received = std::clamp(FrameBytes() - bytesToRead, 0, int(sizeof szReadBuf));
    const char* conclusion = bytesToRead == 0  ? conclusionWhenComplete
                             : received == 0   ? "time-out"
                             : bytesToRead > 0 ? "short"
                                               : "long";
    log_.Received(szReadBuf, received, conclusion);
}

void SensorLink::CheckEcho(int n) {
    WaitForReply(echoTimeout);
    comecho = bytesToRead == 0 && EchoMatches(szReadBuf, szWriteBuf, n) ? 1 : 0;
    LogReply(comecho ? "echo good" : "echo wrong");
    if (bytesToRead == 0 && comecho == 0)
        SetLinkFailure(kLinkWrongEcho, "the echo of order " + std::to_string(GetWord(szWriteBuf, 1)) +
                                           " differs from the frame sent");
    if (comecho == 0) ReportFailure();
}

bool SensorLink::ReceiveFrame(double timeLimit, const char* conclusion) {
    WaitForReply(timeLimit);
    LogReply(conclusion);
    return bytesToRead == 0;
}

bool SensorLink::ReceiveReply() {
    if (ReceiveFrame(replyTimeout, "complete")) return true;
    ReportFailure();
    return false;
}

void SensorLink::GetRxBufPara() {
    for (int i = 0; i < anzframe; ++i) pp[i] = GetWord(szReadBuf, i);
}

void SensorLink::GetRxBufData() {
    for (int i = 0; i < anzframe; ++i) databuf[i] = GetWord(szReadBuf, i);
}

void SensorLink::SetStreamReceive(bool on) {
    streamReceive_ = on;
    streamBytes_.clear();
}

int SensorLink::TakeReceivedBytes(std::vector<unsigned char>& out) {
    if (comprotocol != 0) {
        const int n = int(streamBytes_.size());
        out.insert(out.end(), streamBytes_.begin(), streamBytes_.end());
        streamBytes_.clear();
        return n;
    }
    if (!transport_) transport_ = MakeTransport();
    const int waiting = transport_->Waiting();
    if (waiting < 0 && linkFailure != kLinkDeviceLost)  // said once, not at every pass of a taking loop
        RecordDeviceLost();
    if (waiting <= 0) return waiting;
    const std::size_t at = out.size();
    out.resize(at + std::size_t(waiting));
    const int got = transport_->Read(out.data() + at, waiting, 0);
    out.resize(at + std::size_t(std::max(got, 0)));
    if (got > 0) log_.Received(out.data() + at, got, "sent by the sensor");
    return got;
}
