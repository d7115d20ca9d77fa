// The window programs' sensor link: each program holds one SensorLink, and the names its panels, callbacks
// and texts use (szWriteBuf, order, comecho, CheckComLine, ...) stand for that link's state and operations.
// What differs between programs is told once, in the LinkProfile each program sets at start; the status
// boxes, the interface panel and the pop-ups the link asks for are shown here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame_log.h"
#include "platform.h"
#include "sensor_link.h"

// The program's one link.
SensorLink& WindowLink();

// --- connection state -------------------------------------------------------------------------------------
extern unsigned short& comprotocol;  // 0 RS-232, 1 TCP/IP
extern unsigned short& comport;      // COM port number, 1 = COM1
extern char (&comDevice)[256];       // the serial device itself (/dev/ttyUSB0); empty: the COMn rule
extern unsigned short& baudrate;     // baud index 0..4
extern char (&ipBuf)[256];           // server name or IP address
extern char (&portNumStr)[32];       // TCP port number as typed
extern int& portNum;
extern unsigned int& g_hconversation;
extern unsigned short& tcpcon;  // 1 while a TCP conversation is open
extern short& ret;              // result of the last open or connect; negative = failure
extern char (&szStatus)[48];    // the last error text

// --- exchange state ---------------------------------------------------------------------------------------
extern unsigned char (&szWriteBuf)[1024];
extern unsigned char (&szReadBuf)[1024];
extern int& dataSize;             // bytes expected (TCP) or found waiting (RS-232)
extern int& bytesToRead;          // bytes of the current reply still missing; 0 = complete
extern int& bytesRead;            // result of the last TCP read
extern unsigned short& nBytesW;   // result of the last frame write
extern unsigned short& comecho;   // 1 = the last echo check passed
extern unsigned short& syncWord;  // the sync word 0x55 ("sync"; the plain name clashes with POSIX sync())
extern unsigned short& order;     // code of the frame being sent
extern unsigned short& anzframe;  // words per frame (18)
extern double &tstart, &tdiff;
extern char (&version)[37];  // the 36 bytes of the last version reply and a terminating zero

// Words that read replies and measurement frames are unpacked into (GetRxBufPara, GetRxBufData); the
// payload of the orders that carry none of their own.
extern unsigned short (&pp)[256];
extern unsigned short (&databuf)[32];

extern LinkFailure& linkFailure;  // of the last open, connect or exchange
extern char (&linkCause)[256];    // e.g. "connection refused by 127.0.0.1:51177"

// --- what differs between the programs --------------------------------------------------------------------
struct LinkProfile {
    double echoTimeout;   // seconds an echo may take
    double replyTimeout;  // seconds a read reply or measurement frame may take
    // Builds the payload of request `order` (bytes 4..35); the header is already written.
    void (*fillPayload)(Frame& request, unsigned short order, unsigned short start, unsigned short value,
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
// Records a failure and its cause, and writes the cause to the frame log.
void SetLinkFailure(LinkFailure failure, const std::string& cause);
// The interface panel's cause box, which shows the last failure's cause (with what to do where the panel
// can do it) next to the status box.
void SetInterfaceCauseBox(int panel, int ctrl);
void ClearLinkCause();  // a new connection attempt: the box is emptied
// The server indicator's text: host:port.
std::string ServerWithPort();

// --- frames -----------------------------------------------------------------------------------------------
// The window link's exchange, step by step: each name calls the SensorLink member of the same name, which
// says what it does. FillTxBuf's payload is the program's (LinkProfile::fillPayload); the other bytes keep
// what the last frame left there.
void FillTxBuf(unsigned short order, unsigned short start, unsigned short value, unsigned short count);
void WriteFrame(int tcpTimeoutMs = 2000);
void FlushQueues();
void WaitForReply(double timeLimit);
bool ReceiveFrame(double timeLimit, const char* conclusion);
void CheckEcho(int n);
bool ReceiveReply();
void GetRxBufPara();
void GetRxBufData();
// Frames the sensor sends by itself (see SensorLink).
void SetStreamReceive(bool on);
int TakeReceivedBytes(std::vector<unsigned char>& out);

// --- channel ----------------------------------------------------------------------------------------------
void InitRS232();
void InitTCP_IP();
// The version query; on success the program's afterVersionQuery runs.
void CheckComLine();
// The failure report of every exchange: "TIMEOUT", comecho = 0, the interface panel shown.
void SetPopupTimeout();

// --- the frame log of the program's link ------------------------------------------------------------------
bool OpenFrameLog(const std::string& path, std::string* error = nullptr);
void CloseFrameLog();
bool FrameLogOpen();
bool OpenFrameLogFromStartup(int argc, char** argv);
void SetFrameLogLink(std::string_view link);
void LogFrameSent(const unsigned char* bytes, int count, std::string_view note = {});
void LogFrameReceived(const unsigned char* bytes, int count, std::string_view conclusion);
