#include "com232.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "frame_log.h"
#include "platform.h"

unsigned short comprotocol = 0;
unsigned short comport = 1;
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

namespace {

LinkProfile profile{};
int interfaceStatusPanel = 0, interfaceStatusCtrl = 0;
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
    std::string text =
        "COM" + std::to_string(port) + " opens " + f.device + ", which this user may not open.\n";
    if (f.groupMayOpen)
        text += "Members of the group \"" + f.group +
                "\" may. To join it once, run\n    sudo adduser $USER " + f.group +
                "\nthen log out and log in again.";
    else
        text += "Only the device's owner may open it (ls -l " + f.device + " shows who).";
    MessagePopup("Serial port", text);
}

}  // namespace

void SetLinkProfile(const LinkProfile& p) {
    profile = p;
}

void SetInterfaceStatusBox(int panel, int ctrl) {
    interfaceStatusPanel = panel;
    interfaceStatusCtrl = ctrl;
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
        do {
            ProcessSystemEvents();
            dataSize = GetInQLen(comport);
            tdiff = Timer() - tstart;
        } while (tdiff <= timeLimit && dataSize < want);
        // Everything that is waiting is read, so an over-long reply shows as such.
        int n = std::clamp(dataSize, 0, int(sizeof szReadBuf));
        if (n > 0) ComRd(comport, szReadBuf, n);
        bytesToRead = want - std::max(dataSize, 0);
    } else {
        dataSize = bytesToRead = want;
        do {
            ProcessSystemEvents();
            tdiff = Timer() - tstart;
        } while (bytesToRead > 0 && tdiff <= timeLimit);
    }
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
    ret =
        static_cast<short>(OpenComConfig(comport, "", BaudRateOf(baudrate), VAL_NO_PARITY, 8, 1, 1024, 1024));
    if (ret < 0) {
        CopyStatus(RS232ErrorText(ret));
        if (profile.showSerialError) profile.showSerialError();
        ShowPermissionHint(comport);
        return;
    }
    SetComTime(comport, 2.0);
    FlushInQ(comport);
    FlushOutQ(comport);
    SetCTSMode(comport, 0);
    SetFrameLogLink("COM" + std::to_string(comport));
}

void InitTCP_IP() {
    if (tcpcon > 0) {
        DisconnectFromTCPServer(g_hconversation);
        g_hconversation = 0;
        tcpcon = 0;
    }
    SetWaitCursor(1);
    unsigned handle = 0;
    ret = static_cast<short>(ConnectToTCPServer(handle, portNum, ipBuf, ClientTCPCB, nullptr, 5000));
    SetWaitCursor(0);
    if (ret < 0) {
        CopyStatus(TCPErrorText(ret));
        if (profile.showTcpError) profile.showTcpError();
        tcpcon = 0;
        return;
    }
    g_hconversation = handle;
    tcpcon = 1;
    SetFrameLogLink(std::string(ipBuf) + ":" + std::to_string(portNum));
}

int ClientTCPCB(unsigned handle, int event, int /*error*/, void* /*callbackData*/) {
    switch (event) {
        case TCP_DISCONNECT:
            g_hconversation = 0;
            tcpcon = 0;
            MessagePopup("TCP Client", "Server has closed connection!");
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
    LogReply("version");
    if (bytesToRead != 0) {
        SetPopupTimeout();
        return;
    }
    std::memcpy(version, szReadBuf, 36);
    version[36] = '\0';
    ShowLinkStatus(version);
    if (profile.afterVersionQuery) profile.afterVersionQuery();
}

void SetPopupTimeout() {
    if (profile.stopPolling) profile.stopPolling();
    comecho = 0;
    ShowLinkStatus("TIMEOUT");
    if (profile.showInterfacePanel) profile.showInterfacePanel();
}
