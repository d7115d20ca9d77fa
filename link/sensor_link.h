// One link to one sensor: the serial port or the TCP conversation, the 36-byte command frames, the echo
// check, the reply wait, the version query, the failure and its cause, the frames the sensor sends by
// itself, and the link's frame log. Each connection is an object of its own; it calls nothing of the
// user interface: what a window shows goes to its observer, and its waits let the program's events run
// through its idle hook.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "frame.h"
#include "frame_log.h"
#include "transport.h"

struct ComOpenFailure;

// --- why a link failed ------------------------------------------------------------------------------------
// The status boxes show "TIMEOUT" for every failure; the cause is kept in plain words, shown in the
// interface panel's cause box and written to the frame log.
enum LinkFailure : int {
    kLinkOk = 0,
    kLinkNoServer,        // no server name or IP address given
    kLinkBadPortNumber,   // the TCP port is not a number from 1 to 65535
    kLinkUnknownServer,   // no such server name
    kLinkRefused,         // nothing listens on that port
    kLinkUnreachable,     // the network does not reach the server
    kLinkConnectTimeout,  // the server did not take the connection in time
    kLinkConnectFailed,   // any other connect failure
    kLinkServerClosed,    // the server closed the connection
    kLinkNoDevice,        // the serial device does not exist
    kLinkNoPermission,    // this user may not open the serial device
    kLinkDeviceInUse,     // another program holds the serial device
    kLinkCannotOpen,      // the serial device cannot be opened for another reason
    kLinkDeviceLost,      // the serial device stopped working (unplugged)
    kLinkNotSent,         // a frame could not be written whole
    kLinkNoAnswer,        // not one byte of the reply within the time limit
    kLinkShortReply,      // part of the reply within the time limit
    kLinkLongReply,       // more than a frame waiting (RS-232)
    kLinkWrongEcho,       // the echo differs from the request
    kLinkLineNoise,       // the reply to the version query is no text (a sensor at another baud rate)
};
// The cause of a serial device that cannot be opened, in plain words, and its kind.
LinkFailure DescribeComOpenFailure(const ComOpenFailure& failure, std::string& cause);

// --- frames -----------------------------------------------------------------------------------------------
// Big-endian words on the wire.
inline void PutWord(unsigned char* buf, int wordIndex, unsigned short value) {
    buf[2 * wordIndex] = static_cast<unsigned char>(value >> 8);
    buf[2 * wordIndex + 1] = static_cast<unsigned char>(value & 0xFF);
}
inline unsigned short GetWord(const unsigned char* buf, int wordIndex) {
    return static_cast<unsigned short>((buf[2 * wordIndex] << 8) | buf[2 * wordIndex + 1]);
}
// An echo reply is good when it starts 00 AA and bytes 2 .. 2n-1 equal those of the request.
bool EchoMatches(const unsigned char* reply, const unsigned char* request, int n);
// A version reply: 36 bytes of printable text, blanks and zero bytes at its end, at least one letter or
// digit. Anything else is line noise (a sensor at another baud rate), not an answer.
bool IsVersionText(const unsigned char* bytes, int count);

long BaudRateOf(int baudIndex);  // 19200 for an index outside 0..4
const char* RS232ErrorText(int code);
const char* TCPErrorText(int code);

// --- what a link tells the program around it
// ---------------------------------------------------------------- Every member may be empty.
struct LinkObserver {
    // Builds the payload of request `order` (bytes 4..35); the header is already written, and bytes the
    // payload does not set keep what the last frame left there.
    std::function<void(Frame& request, unsigned short order, unsigned short start, unsigned short value,
                       unsigned short count)>
        fillPayload;
    std::function<void()> beforeOpenSerial;
    std::function<void()> beforeVersionQuery;
    std::function<void()> afterVersionQuery;                // the version text is shown
    std::function<void()> stopPolling;                      // first step of the failure report
    std::function<void()> showInterfacePanel;               // last step of the failure report
    std::function<void()> showTcpError;                     // a connect failed: szStatus holds the text
    std::function<void()> showSerialError;                  // an open failed: szStatus holds the text
    std::function<void(std::string_view text)> showStatus;  // "TIMEOUT", "TRY", the version text
    // What the link tells the user outside the status boxes (the server closed the connection, a serial
    // device this user may not open).
    std::function<void(const char* title, const std::string& text)> tellUser;
    std::function<void(std::string_view what)> reportDone;     // an operation succeeded
    std::function<void(std::string_view cause)> reportFailed;  // an exchange failed: why
    std::function<void()> causeCleared;                        // a new connection attempt
    std::function<void(bool busy)> connecting;                 // a TCP connect runs (a wait cursor)
};

class SensorLink : private TransportEvents {
  public:
    SensorLink();
    ~SensorLink();
    SensorLink(const SensorLink&) = delete;
    SensorLink& operator=(const SensorLink&) = delete;

    LinkObserver observer;
    // Called at every pass of a wait, with the milliseconds the host may sleep until its next event (the
    // line's bytes among them; the TCP transport's events come through it), so a waiting thread neither
    // spins nor wakes for nothing: the rest of the wait on the link's clock, at most kLongestIdleMs, and 0
    // for a pass that must not wait or a clock that moves only at the passes (a line in memory). Empty: the
    // waits only pass the transport's own.
    std::function<void(int maxWaitMs)> idle;
    // Each sleep is bounded, so a clock that jumps cannot hold a wait for long.
    static constexpr int kLongestIdleMs = 100;
    double echoTimeout = 3.0;        // seconds an echo may take
    double replyTimeout = 3.0;       // seconds a read reply or measurement frame may take
    bool tcpReadPumpsEvents = true;  // the data-ready handler lets events run between reads
    // Makes the transport each open uses (tests: one in memory); empty: the serial port or the TCP
    // conversation of the platform, by comprotocol.
    std::function<std::unique_ptr<LinkTransport>(const SensorLink&)> transportFactory;

    // --- where the link leads ---------------------------------------------------------------------------
    unsigned short comprotocol = 0;  // 0 RS-232, 1 TCP/IP
    unsigned short comport = 1;      // COM port number, 1 = COM1
    char comDevice[256] = {};        // the serial device itself (/dev/ttyUSB0); empty: the COMn rule
    unsigned short baudrate = 1;     // baud index 0..4
    char ipBuf[256] = {};            // server name or IP address
    char portNumStr[32] = {};        // TCP port number as typed
    int portNum = 0;
    unsigned int g_hconversation = 0;
    unsigned short tcpcon = 0;  // 1 while a TCP conversation is open
    short ret = 0;              // result of the last open or connect; negative = failure
    char szStatus[48] = {};     // the last error text

    // --- exchange state ---------------------------------------------------------------------------------
    unsigned char szWriteBuf[1024] = {};
    unsigned char szReadBuf[1024] = {};
    int dataSize = 0;            // bytes expected (TCP) or found waiting (RS-232)
    int bytesToRead = 0;         // bytes of the current reply still missing; 0 = complete
    int bytesRead = 0;           // result of the last TCP read
    unsigned short nBytesW = 0;  // result of the last frame write
    unsigned short comecho = 0;  // 1 = the last echo check passed
    unsigned short syncWord = 0x55;
    unsigned short order = 1;      // code of the frame being sent
    unsigned short anzframe = 18;  // words per frame
    double tstart = 0.0, tdiff = 0.0;
    char version[37] = {};  // the 36 bytes of the last version reply and a terminating zero
    // Words that read replies and measurement frames are unpacked into (GetRxBufPara, GetRxBufData).
    unsigned short pp[256] = {};
    unsigned short databuf[32] = {};

    LinkFailure linkFailure = kLinkOk;  // of the last open, connect or exchange
    char linkCause[256] = {};           // e.g. "connection refused by 127.0.0.1:51177"

    FrameLog& Log() { return log_; }
    // The link as the frame log and the messages name it: COMn, the device, or host:port.
    std::string Name() const;
    std::string ServerWithPort() const;  // host:port
    double Now() const;
    // Whether Now() is the platform's clock (see LinkTransport::RealTime).
    bool RealTime() const;

    // --- opening ----------------------------------------------------------------------------------------
    void InitRS232();
    void InitTCP_IP();
    // Ends the conversation or closes the port.
    void Close();
    // The version query; on success the observer's afterVersionQuery runs. True when the sensor answered.
    bool CheckComLine();

    // --- frames as values -------------------------------------------------------------------------------
    // A request for `order`: the header written, the payload as the last frame left it.
    Frame Request(unsigned short order) const;
    // Sends `request` and compares the echo over n words; false when it failed (the failure report ran).
    bool SendEchoed(const Frame& request, int n);
    // Sends `request` (the queues emptied first) and waits for the reply; false when it did not arrive
    // whole (the failure report ran).
    bool Exchange(const Frame& request, Frame& reply);
    // Sends `request` without waiting for anything.
    void Send(const Frame& request);
    // The first 36 bytes received by the last wait.
    Frame LastReply() const;

    // --- the exchange step by step ------------------------------------------------------------------------
    // Writes the header (sync word, order) and the observer's payload into szWriteBuf.
    void FillTxBuf(unsigned short order, unsigned short start, unsigned short value, unsigned short count);
    // Writes 2 * anzframe bytes of szWriteBuf on the open channel; the count goes to nBytesW.
    void WriteFrame(int tcpTimeoutMs = 2000);
    // On RS-232, empties both serial queues (each sender does this before its series of frames).
    void FlushQueues();
    // Waits for a reply of 2 * anzframe bytes; complete exactly when bytesToRead ends at 0. Logs nothing.
    // Over TCP no byte of the reply is taken for a stray one though it may come as the request leaves:
    // the write raises no event of its conversation, and the wait counts the reply before its first pass.
    void WaitForReply(double timeLimit);
    // Waits for a reply and logs it: with `conclusion` when complete, else as time-out, short or long. True
    // when complete; no failure report (the caller decides).
    bool ReceiveFrame(double timeLimit, const char* conclusion);
    // Waits for the echo and compares n words; comecho = 1 when good, else the failure report.
    void CheckEcho(int n);
    // The reply wait without comparison; true when the reply is complete (else the failure report ran).
    bool ReceiveReply();
    void GetRxBufPara();
    void GetRxBufData();

    // Frames the sensor sends by itself (auto-send): while stream reception is on, every byte that
    // arrives on a TCP conversation is kept instead of dropping what no exchange waits for.
    // TakeReceivedBytes appends what arrived since the last call (TCP) or what waits in the serial input
    // queue (RS-232) to `out` and returns the count, or a negative error of the serial port.
    void SetStreamReceive(bool on);
    int TakeReceivedBytes(std::vector<unsigned char>& out);

    // --- failures -----------------------------------------------------------------------------------------
    // Records a failure and its cause, and writes the cause to the frame log.
    void SetLinkFailure(LinkFailure failure, const std::string& cause);
    void ClearLinkCause();  // a new connection attempt
    // The failure report of every exchange: "TIMEOUT", comecho = 0, the observer told (the windows'
    // SetPopupTimeout).
    void ReportFailure();
    void ShowLinkStatus(std::string_view text);

    // The transport's events (a TCP conversation).
    void BytesReady() override;
    void PeerClosed() override;

    // One pass of a wait: the idle hook, then the transport's own. PassUntil belongs to a wait that ends at
    // `until` (the link's clock); Pass does not wait.
    void Pass();
    void PassUntil(double until);

  private:
    int FrameBytes() const { return 2 * anzframe; }
    LinkAddress Address() const;
    std::unique_ptr<LinkTransport> MakeTransport() const;
    void ReplaceTransport();
    std::string SerialDevice() const;
    void RecordOpenFailure();
    void RecordConnectFailure(int code);
    void RecordServerClosed();
    void RecordDeviceLost();
    void RecordIncompleteReply(double timeLimit);
    void RecordWriteFailure(int written);
    void StoreReplyBytes();
    void DropStrayBytes();
    void KeepStreamBytes();
    void ShowPermissionHint();
    void LogReply(const char* conclusionWhenComplete);
    void TellUser(const char* title, const std::string& text);

    std::unique_ptr<LinkTransport> transport_;
    FrameLog log_;
    bool writeFailed_ = false;  // the last frame did not go out whole: its failure is the cause
    std::string openedDevice_;  // what the serial port opened: a device that goes away takes the link along
    bool streamReceive_ = false;
    std::vector<unsigned char> streamBytes_;
    std::set<std::string> hintedDevices_;  // told once per device how to get the permission
};
