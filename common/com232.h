// The sensor link: opening the serial port or the TCP conversation, the 36-byte command frames, the echo
// check, the reply wait, the version query and the failure report. Shared by every program; what differs
// between programs is told once, in the LinkProfile each program sets at start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

// --- connection state -------------------------------------------------------------------------------------
extern unsigned short comprotocol;  // 0 RS-232, 1 TCP/IP
extern unsigned short comport;      // COM port number, 1 = COM1
extern char comDevice[256];         // the serial device itself (/dev/ttyUSB0); empty: the COMn rule
extern unsigned short baudrate;     // baud index 0..4
extern char ipBuf[256];             // server name or IP address
extern char portNumStr[32];         // TCP port number as typed
extern int portNum;
extern unsigned int g_hconversation;
extern unsigned short tcpcon;  // 1 while a TCP conversation is open
extern short ret;              // result of the last open or connect; negative = failure
extern char szStatus[48];      // the last error text

// --- exchange state ---------------------------------------------------------------------------------------
extern unsigned char szWriteBuf[1024];
extern unsigned char szReadBuf[1024];
extern int dataSize;             // bytes expected (TCP) or found waiting (RS-232)
extern int bytesToRead;          // bytes of the current reply still missing; 0 = complete
extern int bytesRead;            // result of the last TCP read
extern unsigned short nBytesW;   // result of the last frame write
extern unsigned short comecho;   // 1 = the last echo check passed
extern unsigned short syncWord;  // the sync word 0x55 ("sync"; the plain name clashes with POSIX sync())
extern unsigned short order;     // code of the frame being sent
extern unsigned short anzframe;  // words per frame (18)
extern double tstart, tdiff;
extern char version[37];  // the 36 bytes of the last version reply and a terminating zero

// Words that read replies and measurement frames are unpacked into (GetRxBufPara, GetRxBufData).
extern unsigned short pp[256];
extern unsigned short databuf[32];

// --- what differs between the programs --------------------------------------------------------------------
struct LinkProfile {
    double echoTimeout;   // seconds an echo may take
    double replyTimeout;  // seconds a read reply or measurement frame may take
    // Builds the payload of request `order` into szWriteBuf (bytes 4..35); the header is already written.
    void (*fillPayload)(unsigned short order, unsigned short start, unsigned short value,
                        unsigned short count);
    void (*beforeOpenSerial)();    // may be null
    void (*beforeVersionQuery)();  // may be null
    void (*afterVersionQuery)();   // the version text is shown; identify the sensor or read its parameters
    void (*showInterfacePanel)();  // last step of the failure report
    void (*showTcpError)();        // a connect failed: szStatus holds the text
    void (*showSerialError)();     // an open failed: szStatus holds the text
    void (*stopPolling)();         // may be null
    bool tcpReadPumpsEvents;       // the data-ready handler lets events run between reads
    int statusPanel, statusCtrl;   // the status box on the program's own panel
    // What the link tells the user outside the status boxes (the server closed the connection, a serial
    // device this user may not open); null: a message pop-up.
    void (*tellUser)(const char* title, const char* text);
};
void SetLinkProfile(const LinkProfile& profile);
// The interface panel's status box, shown next to the program's own.
void SetInterfaceStatusBox(int panel, int ctrl);
// Writes text into both status boxes.
void ShowLinkStatus(const char* text);

// --- why the link failed ----------------------------------------------------------------------------------
// The status boxes show "TIMEOUT" for every failure; the cause is kept here in plain words, shown in the
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
extern LinkFailure linkFailure;  // of the last open, connect or exchange
extern char linkCause[256];      // e.g. "connection refused by 127.0.0.1:51177"
// The cause of a serial device that cannot be opened, in plain words, and its kind.
LinkFailure DescribeComOpenFailure(const ComOpenFailure& failure, std::string& cause);
// Records a failure and its cause, and writes the cause to the frame log.
void SetLinkFailure(LinkFailure failure, const std::string& cause);
// The interface panel's cause box, which shows the last failure's cause (with what to do where the panel
// can do it) next to the status box.
void SetInterfaceCauseBox(int panel, int ctrl);
void ClearLinkCause();  // a new connection attempt: the box is emptied
// The server indicator's text: host:port.
std::string ServerWithPort();

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

// Writes the header (sync word, order) and the program's payload into szWriteBuf; other bytes keep what the
// last frame left there.
void FillTxBuf(unsigned short order, unsigned short start, unsigned short value, unsigned short count);
// Writes 2 * anzframe bytes of szWriteBuf on the open channel; the count goes to nBytesW.
void WriteFrame(int tcpTimeoutMs = 2000);
// On RS-232, empties both serial queues (each sender does this before its series of frames).
void FlushQueues();

// Waits for a reply of 2 * anzframe bytes; complete exactly when bytesToRead ends at 0. Logs nothing: an
// exchange waits through ReceiveFrame, CheckEcho or ReceiveReply, which log the reply.
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

// Frames the sensor sends by itself (auto-send): while stream reception is on, the TCP data-ready handler
// keeps every byte that arrives instead of dropping what no exchange waits for. TakeReceivedBytes appends
// what arrived since the last call (TCP) or what waits in the serial input queue (RS-232) to `out` and
// returns the count, or a negative error of the serial port.
void SetStreamReceive(bool on);
int TakeReceivedBytes(std::vector<unsigned char>& out);

// --- channel ----------------------------------------------------------------------------------------------
long BaudRateOf(int baudIndex);  // 19200 for an index outside 0..4
const char* RS232ErrorText(int code);
const char* TCPErrorText(int code);
void InitRS232();
void InitTCP_IP();
int ClientTCPCB(unsigned handle, int event, int error, void* callbackData);

// A version reply: 36 bytes of printable text, blanks and zero bytes at its end, at least one letter or
// digit. Anything else is line noise (a sensor at another baud rate), not an answer.
bool IsVersionText(const unsigned char* bytes, int count);
// The version query; on success the program's afterVersionQuery runs.
void CheckComLine();
// The failure report of every exchange: "TIMEOUT", comecho = 0, the interface panel shown.
void SetPopupTimeout();
