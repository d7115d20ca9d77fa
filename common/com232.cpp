#include "com232.h"

#include "operation_line.h"
#include "platform.h"

namespace {

LinkProfile profile{};
int interfaceStatusPanel = 0, interfaceStatusCtrl = 0;

void ShowInBoxes(std::string_view text) {
    if (profile.statusPanel > 0) SetCtrlVal(profile.statusPanel, profile.statusCtrl, text);
    if (interfaceStatusPanel > 0) SetCtrlVal(interfaceStatusPanel, interfaceStatusCtrl, text);
}

template <typename Hook>
std::function<void()> Call(Hook* hook) {
    if (!hook) return {};
    return hook;
}

// The window's link: its waits let the window's events run, and what it tells goes to the panels.
struct WindowSensorLink : SensorLink {
    WindowSensorLink() { Observe(LinkProfile{}); }
    void Observe(const LinkProfile& p);
};

WindowSensorLink windowLink;

}  // namespace

SensorLink& WindowLink() {
    return windowLink;
}

unsigned short& comprotocol = windowLink.comprotocol;
unsigned short& comport = windowLink.comport;
char (&comDevice)[256] = windowLink.comDevice;
unsigned short& baudrate = windowLink.baudrate;
char (&ipBuf)[256] = windowLink.ipBuf;
char (&portNumStr)[32] = windowLink.portNumStr;
int& portNum = windowLink.portNum;
unsigned int& g_hconversation = windowLink.g_hconversation;
unsigned short& tcpcon = windowLink.tcpcon;
short& ret = windowLink.ret;
char (&szStatus)[48] = windowLink.szStatus;

unsigned char (&szWriteBuf)[1024] = windowLink.szWriteBuf;
unsigned char (&szReadBuf)[1024] = windowLink.szReadBuf;
int& dataSize = windowLink.dataSize;
int& bytesToRead = windowLink.bytesToRead;
int& bytesRead = windowLink.bytesRead;
unsigned short& nBytesW = windowLink.nBytesW;
unsigned short& comecho = windowLink.comecho;
unsigned short& syncWord = windowLink.syncWord;
unsigned short& order = windowLink.order;
unsigned short& anzframe = windowLink.anzframe;
double& tstart = windowLink.tstart;
double& tdiff = windowLink.tdiff;
char (&version)[37] = windowLink.version;
unsigned short (&pp)[256] = windowLink.pp;
unsigned short (&databuf)[32] = windowLink.databuf;
LinkFailure& linkFailure = windowLink.linkFailure;
char (&linkCause)[256] = windowLink.linkCause;

void SetLinkProfile(const LinkProfile& p) {
    profile = p;
    windowLink.Observe(p);
}

void WindowSensorLink::Observe(const LinkProfile& p) {
    SensorLink& link = *this;
    link.echoTimeout = p.echoTimeout;
    link.replyTimeout = p.replyTimeout;
    link.tcpReadPumpsEvents = p.tcpReadPumpsEvents;
    // A wait's pass runs the window's events; with none pending the window sleeps until its next event
    // (the line's bytes among them) or the end of the wait.
    link.idle = ProcessSystemEventsWaiting;
    LinkObserver& o = link.observer;
    o = LinkObserver{};
    if (p.fillPayload) o.fillPayload = p.fillPayload;
    o.beforeOpenSerial = Call(p.beforeOpenSerial);
    o.beforeVersionQuery = Call(p.beforeVersionQuery);
    o.afterVersionQuery = Call(p.afterVersionQuery);
    o.stopPolling = Call(p.stopPolling);
    o.showInterfacePanel = Call(p.showInterfacePanel);
    o.showTcpError = Call(p.showTcpError);
    o.showSerialError = Call(p.showSerialError);
    o.showStatus = ShowInBoxes;
    o.tellUser = [](const char* title, const std::string& text) {
        if (profile.tellUser)
            profile.tellUser(title, text.c_str());
        else
            MessagePopup(title, text);
    };
    o.reportDone = ReportDone;
    o.reportFailed = ReportFailed;
    o.causeCleared = ClearOperationLines;
    o.connecting = [](bool busy) { SetWaitCursor(busy ? 1 : 0); };
}

void SetInterfaceStatusBox(int panel, int ctrl) {
    interfaceStatusPanel = panel;
    interfaceStatusCtrl = ctrl;
}

void SetInterfaceCauseBox(int panel, int ctrl) {
    SetCauseBox(panel, ctrl);
}

void ShowLinkStatus(const char* text) {
    windowLink.ShowLinkStatus(text);
}

void SetLinkFailure(LinkFailure failure, const std::string& cause) {
    windowLink.SetLinkFailure(failure, cause);
}

void ClearLinkCause() {
    windowLink.ClearLinkCause();
}

std::string ServerWithPort() {
    return windowLink.ServerWithPort();
}

void FillTxBuf(unsigned short code, unsigned short start, unsigned short value, unsigned short count) {
    windowLink.FillTxBuf(code, start, value, count);
}

void WriteFrame(int tcpTimeoutMs) {
    windowLink.WriteFrame(tcpTimeoutMs);
}

void FlushQueues() {
    windowLink.FlushQueues();
}

void WaitForReply(double timeLimit) {
    windowLink.WaitForReply(timeLimit);
}

bool ReceiveFrame(double timeLimit, const char* conclusion) {
    return windowLink.ReceiveFrame(timeLimit, conclusion);
}

void CheckEcho(int n) {
    windowLink.CheckEcho(n);
}

bool ReceiveReply() {
    return windowLink.ReceiveReply();
}

void GetRxBufPara() {
    windowLink.GetRxBufPara();
}

void GetRxBufData() {
    windowLink.GetRxBufData();
}

void SetStreamReceive(bool on) {
    windowLink.SetStreamReceive(on);
}

int TakeReceivedBytes(std::vector<unsigned char>& out) {
    return windowLink.TakeReceivedBytes(out);
}

void InitRS232() {
    windowLink.InitRS232();
}

void InitTCP_IP() {
    windowLink.InitTCP_IP();
}

void CheckComLine() {
    windowLink.CheckComLine();
}

void SetPopupTimeout() {
    windowLink.ReportFailure();
}

// --- the frame log ----------------------------------------------------------------------------------------

bool OpenFrameLog(const std::string& path, std::string* error) {
    return windowLink.Log().Open(path, error);
}
void CloseFrameLog() {
    windowLink.Log().Close();
}
bool FrameLogOpen() {
    return windowLink.Log().IsOpen();
}
bool OpenFrameLogFromStartup(int argc, char** argv) {
    return OpenFrameLogFromStartup(windowLink.Log(), argc, argv);
}
void SetFrameLogLink(std::string_view link) {
    windowLink.Log().SetLink(link);
}
void LogFrameSent(const unsigned char* bytes, int count, std::string_view note) {
    windowLink.Log().Sent(bytes, count, note);
}
void LogFrameReceived(const unsigned char* bytes, int count, std::string_view conclusion) {
    windowLink.Log().Received(bytes, count, conclusion);
}
