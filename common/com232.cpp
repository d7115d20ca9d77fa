#include "com232.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "frame_log.h"
#include "operation_line.h"
#include "platform.h"

unsigned short comprotocol = 0;
unsigned short comport = 1;
char comDevice[256];
unsigned short baudrate = 1;
char ipBuf[256];
char portNumStr[32];
int portNum = 0;
unsigned int g_hconversation = 0;
unsigned short tcpcon = 0;
short ret = 0;
char szStatus[48];

unsigned char szWriteBuf[1024];
unsigned char szReadBuf[1024];
int dataSize = 0;
int bytesToRead = 0;
int bytesRead = 0;
unsigned short nBytesW = 0;
unsigned short comecho = 0;
unsigned short syncWord = 0x55;
unsigned short order = 1;
unsigned short anzframe = 18;
double tstart = 0.0, tdiff = 0.0;
char version[37];

unsigned short pp[256];
unsigned short databuf[32];

LinkFailure linkFailure = kLinkOk;
char linkCause[256];

namespace {

LinkProfile profile{};
int interfaceStatusPanel = 0, interfaceStatusCtrl = 0;
bool writeFailed = false;  // the last frame did not go out whole: its failure is the cause, not the wait's
std::string openedDevice;  // what the serial port opened: a device that goes away takes its link with it
bool streamReceive = false;
std::vector<unsigned char> streamBytes;
// Frames wait here while the taker is held up (a modal pop-up open during a triggered record): room for
// some 29,000 frames. The stream is bounded so that a sensor sending with nobody taking its frames cannot
// fill the memory.
constexpr std::size_t kStreamLimit = 1024 * 1024;

// The data-ready handler gives up after this many reads that bring nothing while bytes are missing, so a
// broken conversation ends in the waiting exchange's time-out instead of blocking the user interface.
constexpr int kMaxEmptyReads = 3;
constexpr int kRetryReadTimeoutMs = 20;

int FrameBytes() {
    return 2 * anzframe;
}

void CopyStatus(const char* text) {
    std::strncpy(szStatus, text, sizeof szStatus - 1);
    szStatus[sizeof szStatus - 1] = '\0';
}

void TellUser(const char* title, const std::string& text) {
    if (profile.tellUser)
        profile.tellUser(title, text.c_str());
    else
        MessagePopup(title, text);
}

// The link as the frame log and the messages name it.
std::string LinkName() {
    if (comprotocol != 0) return ServerWithPort();
    return comDevice[0] ? std::string(comDevice) : "COM" + std::to_string(comport);
}

std::string SerialDevice() {
    return comDevice[0] ? std::string(comDevice) : ComPortDevicePath(comport);
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", seconds);
    return text;
}

void RecordOpenFailure() {
    ComOpenFailure f;
    GetComOpenFailure(comport, f);
    if (f.device.empty()) f.device = SerialDevice();
    std::string cause;
    const LinkFailure failure = DescribeComOpenFailure(f, cause);
    SetLinkFailure(failure, failure == kLinkCannotOpen ? cause + " (" + szStatus + ")" : cause);
}

void RecordConnectFailure(int code) {
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
        default:
            SetLinkFailure(kLinkConnectFailed, "cannot connect to " + where);
            break;
    }
}

void RecordServerClosed() {
    SetLinkFailure(kLinkServerClosed, "the server closed the connection");
}

void RecordDeviceLost() {
    // A device whose name is gone was pulled out; one still there failed otherwise.
    std::error_code ec;
    const bool gone = !openedDevice.empty() && !std::filesystem::exists(openedDevice, ec);
    SetLinkFailure(kLinkDeviceLost,
                   "the serial device " + openedDevice + (gone ? " was unplugged" : " stopped working"));
}

// Why the reply of the last wait is not complete.
void RecordIncompleteReply(double timeLimit) {
    const int received = FrameBytes() - bytesToRead;
    if (comprotocol != 0 && tcpcon == 0)
        RecordServerClosed();
    else if (comprotocol == 0 && dataSize < 0)
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

void RecordWriteFailure(int written) {
    if (comprotocol != 0 &&
        (tcpcon == 0 || written == kTCP_ConnectionClosed || written == kTCP_NoConnectionEstablished))
        RecordServerClosed();
    else if (comprotocol == 0 && written == kRS232UnknownIOError)
        RecordDeviceLost();
    else
        SetLinkFailure(kLinkNotSent, "the frame could not be sent (" + std::to_string(std::max(written, 0)) +
                                         " of " + std::to_string(FrameBytes()) + " bytes went out)");
}

void StoreReplyBytes(unsigned handle) {
    int emptyReads = 0;
    bool first = true;
    while (bytesToRead > 0 && emptyReads < kMaxEmptyReads) {
        int offset = std::clamp(dataSize - bytesToRead, 0, int(sizeof szReadBuf) - 1);
        int room = std::min<int>(bytesToRead, int(sizeof szReadBuf) - offset);
        bytesRead = ClientTCPRead(handle, szReadBuf + offset, room, first ? 5000 : kRetryReadTimeoutMs);
        first = false;
        if (bytesRead > 0) {
            bytesToRead -= bytesRead;
            emptyReads = 0;
        } else {
            ++emptyReads;
        }
        if (profile.tcpReadPumpsEvents) ProcessSystemEvents();
    }
}

void DropStrayBytes(unsigned handle) {
    unsigned char scratch[1024];
    bytesRead = ClientTCPRead(handle, scratch, sizeof scratch, 5000);
    if (bytesRead > 0) LogFrameReceived(scratch, bytesRead, "stray, dropped");
}

void KeepStreamBytes(unsigned handle) {
    unsigned char chunk[1024];
    bytesRead = ClientTCPRead(handle, chunk, sizeof chunk, 0);
    if (bytesRead <= 0) return;
    LogFrameReceived(chunk, bytesRead, "sent by the sensor");
    if (streamBytes.size() + std::size_t(bytesRead) > kStreamLimit) streamBytes.clear();
    streamBytes.insert(streamBytes.end(), chunk, chunk + bytesRead);
}

// A user who may not open the serial device learns once per device and run how to get the permission.
void ShowPermissionHint(int port) {
    static std::set<std::string> hintedDevices;
    ComOpenFailure f;
    if (GetComOpenFailure(port, f) != 0 || f.problem != kComOpenNoPermission) return;
    if (!hintedDevices.insert(f.device).second) return;
    const std::string name = comDevice[0] ? f.device : "COM" + std::to_string(port) + " opens " + f.device;
    std::string text = name + ", which this user may not open.\n";
    if (f.groupMayOpen)
        text += "Members of the group \"" + f.group +
                "\" may. To join it once, run\n    sudo adduser $USER " + f.group +
                "\nthen log out and log in again.";
    else
        text += "Only the device's owner may open it (ls -l " + f.device + " shows who).";
    TellUser("Serial port", text);
}

}  // namespace

void SetLinkProfile(const LinkProfile& p) {
    profile = p;
}

void SetInterfaceStatusBox(int panel, int ctrl) {
    interfaceStatusPanel = panel;
    interfaceStatusCtrl = ctrl;
}

void SetInterfaceCauseBox(int panel, int ctrl) {
    SetCauseBox(panel, ctrl);
}

LinkFailure DescribeComOpenFailure(const ComOpenFailure& f, std::string& cause) {
    switch (f.problem) {
        case kComOpenNoDevice:
            cause = "there is no device " + f.device;
            return kLinkNoDevice;
        case kComOpenNoPermission:
            cause = "permission denied on " + f.device + ": " +
                    (f.groupMayOpen && !f.group.empty()
                         ? "join the group " + f.group + " (sudo adduser $USER " + f.group +
                               "), then log in again"
                         : "only its owner may open it (ls -l " + f.device + " shows who)");
            return kLinkNoPermission;
        case kComOpenInUse:
            cause = f.device + " is in use by another program";
            return kLinkDeviceInUse;
        default:
            cause = f.device + " cannot be opened";
            return kLinkCannotOpen;
    }
}

void SetLinkFailure(LinkFailure failure, const std::string& cause) {
    linkFailure = failure;
    std::snprintf(linkCause, sizeof linkCause, "%s", cause.c_str());
    LogLinkFailure(cause);
}

void ClearLinkCause() {
    linkFailure = kLinkOk;
    linkCause[0] = '\0';
    ClearOperationLines();
}

std::string ServerWithPort() {
    return std::string(ipBuf) + ":" + std::to_string(portNum);
}

void ShowLinkStatus(const char* text) {
    if (profile.statusPanel > 0) SetCtrlVal(profile.statusPanel, profile.statusCtrl, std::string_view(text));
    if (interfaceStatusPanel > 0)
        SetCtrlVal(interfaceStatusPanel, interfaceStatusCtrl, std::string_view(text));
}

// --- frames ---------------------------------------------------------------------------------------------

bool EchoMatches(const unsigned char* reply, const unsigned char* request, int n) {
    if (reply[0] != 0x00 || reply[1] != 0xAA) return false;
    for (int i = 2; i < 2 * n; ++i)
        if (reply[i] != request[i]) return false;
    return true;
}

void FillTxBuf(unsigned short code, unsigned short start, unsigned short value, unsigned short count) {
    PutWord(szWriteBuf, 0, syncWord);
    PutWord(szWriteBuf, 1, code);
    if (profile.fillPayload) profile.fillPayload(code, start, value, count);
}

void WriteFrame(int tcpTimeoutMs) {
    int written = comprotocol == 0 ? ComWrt(comport, szWriteBuf, FrameBytes())
                                   : ClientTCPWrite(g_hconversation, szWriteBuf, FrameBytes(), tcpTimeoutMs);
    nBytesW = static_cast<unsigned short>(written);
    writeFailed = written != FrameBytes();
    if (writeFailed) RecordWriteFailure(written);
    if (FrameLogOpen())
        LogFrameSent(szWriteBuf, FrameBytes(),
                     written == FrameBytes() ? "" : "write failed (" + std::to_string(written) + ")");
}

void FlushQueues() {
    if (comprotocol != 0) return;
    FlushInQ(comport);
    FlushOutQ(comport);
}

void WaitForReply(double timeLimit) {
    const int want = FrameBytes();
    tstart = Timer();
    if (comprotocol == 0) {
        // A port that went away (negative count) brings nothing more: the wait ends at once.
        do {
            ProcessSystemEvents();
            dataSize = GetInQLen(comport);
            tdiff = Timer() - tstart;
        } while (tdiff <= timeLimit && dataSize < want && dataSize >= 0);
        // Everything that is waiting is read, so an over-long reply shows as such.
        int n = std::clamp(dataSize, 0, int(sizeof szReadBuf));
        if (n > 0) ComRd(comport, szReadBuf, n);
        bytesToRead = want - std::max(dataSize, 0);
    } else {
        // A conversation the server ended brings nothing more: the wait ends at once, so an exchange
        // started after the close fails without waiting out its time limit.
        dataSize = bytesToRead = want;
        while (bytesToRead > 0 && tcpcon != 0) {
            ProcessSystemEvents();
            tdiff = Timer() - tstart;
            if (tdiff > timeLimit) break;
        }
    }
    if (bytesToRead != 0 && !writeFailed) RecordIncompleteReply(timeLimit);
}

namespace {

// Logs the reply of the last wait: complete (with the caller's conclusion), time-out, short or long.
void LogReply(const char* conclusionWhenComplete) {
    if (!FrameLogOpen()) return;
    const int received = std::clamp(FrameBytes() - bytesToRead, 0, int(sizeof szReadBuf));
    const char* conclusion = bytesToRead == 0  ? conclusionWhenComplete
                             : received == 0   ? "time-out"
                             : bytesToRead > 0 ? "short"
                                               : "long";
    LogFrameReceived(szReadBuf, received, conclusion);
}

}  // namespace

void CheckEcho(int n) {
    WaitForReply(profile.echoTimeout);
    comecho = bytesToRead == 0 && EchoMatches(szReadBuf, szWriteBuf, n) ? 1 : 0;
    LogReply(comecho ? "echo good" : "echo wrong");
    if (bytesToRead == 0 && comecho == 0)
        SetLinkFailure(kLinkWrongEcho, "the echo of order " + std::to_string(GetWord(szWriteBuf, 1)) +
                                           " differs from the frame sent");
    if (comecho == 0) SetPopupTimeout();
}

bool ReceiveFrame(double timeLimit, const char* conclusion) {
    WaitForReply(timeLimit);
    LogReply(conclusion);
    return bytesToRead == 0;
}

bool ReceiveReply() {
    if (ReceiveFrame(profile.replyTimeout, "complete")) return true;
    SetPopupTimeout();
    return false;
}

void GetRxBufPara() {
    for (int i = 0; i < anzframe; ++i) pp[i] = GetWord(szReadBuf, i);
}

void GetRxBufData() {
    for (int i = 0; i < anzframe; ++i) databuf[i] = GetWord(szReadBuf, i);
}

void SetStreamReceive(bool on) {
    streamReceive = on;
    streamBytes.clear();
}

int TakeReceivedBytes(std::vector<unsigned char>& out) {
    if (comprotocol != 0) {
        const int n = int(streamBytes.size());
        out.insert(out.end(), streamBytes.begin(), streamBytes.end());
        streamBytes.clear();
        return n;
    }
    const int waiting = GetInQLen(comport);
    if (waiting < 0 && linkFailure != kLinkDeviceLost)  // said once, not at every pass of a taking loop
        RecordDeviceLost();
    if (waiting <= 0) return waiting;
    const std::size_t at = out.size();
    out.resize(at + std::size_t(waiting));
    const int got = ComRd(comport, out.data() + at, waiting);
    out.resize(at + std::size_t(std::max(got, 0)));
    if (got > 0) LogFrameReceived(out.data() + at, got, "sent by the sensor");
    return got;
}

// --- channel --------------------------------------------------------------------------------------------

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

void InitRS232() {
    if (profile.beforeOpenSerial) profile.beforeOpenSerial();
    CloseCom(comport);
    linkFailure = kLinkOk;
    SetFrameLogLink(LinkName());
    openedDevice = SerialDevice();
    ret = static_cast<short>(
        OpenComConfig(comport, comDevice, BaudRateOf(baudrate), VAL_NO_PARITY, 8, 1, 1024, 1024));
    if (ret < 0) {
        CopyStatus(RS232ErrorText(ret));
        RecordOpenFailure();
        if (profile.showSerialError) profile.showSerialError();
        ShowPermissionHint(comport);
        return;
    }
    SetComTime(comport, 2.0);
    FlushInQ(comport);
    FlushOutQ(comport);
    SetCTSMode(comport, 0);
}

void InitTCP_IP() {
    if (tcpcon > 0) {
        DisconnectFromTCPServer(g_hconversation);
        g_hconversation = 0;
        tcpcon = 0;
    }
    linkFailure = kLinkOk;
    SetFrameLogLink(LinkName());
    SetWaitCursor(1);
    unsigned handle = 0;
    ret = static_cast<short>(ConnectToTCPServer(handle, portNum, ipBuf, ClientTCPCB, nullptr, 5000));
    SetWaitCursor(0);
    if (ret < 0) {
        CopyStatus(TCPErrorText(ret));
        RecordConnectFailure(ret);
        if (profile.showTcpError) profile.showTcpError();
        tcpcon = 0;
        return;
    }
    g_hconversation = handle;
    tcpcon = 1;
}

int ClientTCPCB(unsigned handle, int event, int /*error*/, void* /*callbackData*/) {
    switch (event) {
        case TCP_DISCONNECT:
            g_hconversation = 0;
            tcpcon = 0;
            RecordServerClosed();
            TellUser("TCP Client", "Server has closed connection!");
            break;
        case TCP_DATAREADY:
            if (streamReceive)
                KeepStreamBytes(handle);
            else if (bytesToRead > 0)
                StoreReplyBytes(handle);
            else
                DropStrayBytes(handle);
            break;
        default:
            break;
    }
    return 0;
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

void CheckComLine() {
    if (profile.beforeVersionQuery) profile.beforeVersionQuery();
    tstart = Timer();
    do {
        ProcessSystemEvents();
        tdiff = Timer() - tstart;
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
        SetPopupTimeout();
        return;
    }
    std::memcpy(version, szReadBuf, 36);
    version[36] = '\0';
    ShowLinkStatus(version);
    ReportDone("the sensor answered on " + LinkName());
    if (profile.afterVersionQuery) profile.afterVersionQuery();
}

void SetPopupTimeout() {
    if (profile.stopPolling) profile.stopPolling();
    comecho = 0;
    ShowLinkStatus("TIMEOUT");
    std::string cause = linkCause;
    if (linkFailure == kLinkServerClosed) cause += ": press Try to reconnect";
    if (linkFailure == kLinkLineNoise) cause += " (Search finds it)";
    ReportFailed(cause);
    if (profile.showInterfacePanel) profile.showInterfacePanel();
}
