// The operations of the programs that need no windows: files, time, locks, the serial ports and the TCP
// client. Built on Qt Core, Network and SerialPort only; no Qt type crosses this header. The windows'
// platform (platform.h) includes it, so its programs call these operations as before.
//
// Threads: the serial ports and TCP conversations may be used from several threads at once, each thread
// with its own ports and conversations: a thread opens, uses and closes its own. A port or conversation
// is used only on the thread that opened it. How a wait passes its time is the business of io_host.h.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using DeferredCallbackPtr = void (*)(void* callbackData);

// ---------------------------------------------------------------------------------------------------------
// Files
// The directory of the program's own files, without a trailing separator: the executable's, or for an
// installed program (or one whose directory the user may not write) the user's
// $XDG_CONFIG_HOME/colour-sensor-tools/<program> (default ~/.config/...), made on first use. Returns 0, or
// -1 when that directory cannot be made.
int GetProjectDir(std::string& dir);
// The program directory that the program named `program` (e.g. "OrvaneV33") of this installation uses: this
// program's own directory when it runs from a directory of its own (the build tree, where the programs sit
// together), else that program's directory in the user's configuration directory. Nothing is made. 0, or -1
// when there is no such directory to name.
int GetProgramDirOf(std::string_view program, std::string& dir);
// Starts the program `program` of this suite (the one beside this executable, else the one on the PATH)
// with `arguments`, on its own: it runs on when this program ends. 0, or -1 when it cannot be started.
int StartProgram(std::string_view program, const std::vector<std::string>& arguments);
// Before a program with windows makes its application object: gives it a private runtime directory when
// its session has none, so that Qt does not warn on the error stream.
void EnsureRuntimeDir();
// False, after a line on the error stream that says so, when there is no display to open a window on (no
// DISPLAY, no WAYLAND_DISPLAY and no platform chosen for Qt): Qt would end the program with an abort.
bool DisplayToOpenWindowsOn(std::string_view program);
// Joins a directory and a file name with the platform's separator.
std::string MakePathname(std::string_view dir, std::string_view fileName);
// 1 and the size in bytes when the file exists, 0 when it does not, negative on error.
int GetFileInfo(std::string_view path, long& size);

enum : int { VAL_READ_WRITE = 0, VAL_READ_ONLY = 1, VAL_WRITE_ONLY = 2 };
enum : int { VAL_TRUNCATE = 0, VAL_APPEND = 1, VAL_OPEN_AS_IS = 2 };
enum : int { VAL_BINARY = 0, VAL_ASCII = 1 };
// Returns a file handle (>= 0) or -1.
int CVI_OpenFile(std::string_view path, int readWrite, int action, int fileType);
// Reads one line without its line end ("\n" or "\r\n"), keeping at most maxChars characters; the rest of a
// longer line is skipped, so the next call starts at the next line. Returns the number of characters kept,
// -2 at the end of the file, -1 on error.
int ReadLine(int file, std::string& line, int maxChars);
int WriteLine(int file, std::string_view line);  // appends a line end; returns bytes written or -1
int CVI_WriteFile(int file, const void* data, int count);
int CVI_ReadFile(int file, void* data, int count);
int CVI_CloseFile(int file);
int CVI_DeleteFile(std::string_view path);

// Arrays as text, one value per line, each right-aligned in a field fieldWidth characters wide. Doubles are
// written in the shortest form that reads back to the same value (wider than the field when they need it).
int ArrayToFile(std::string_view path, std::span<const double> data, int fieldWidth);
int ArrayToFile(std::string_view path, std::span<const unsigned short> data, int fieldWidth);
// Reads up to data.size() values, one per line (blank lines skipped). Returns the number of values read
// (>= 0), or a negative error: -1 the file cannot be opened, -2 a line holds text that is not a number or,
// for unsigned 16-bit values, a number outside 0..65535.
int FileToArray(std::string_view path, std::span<double> data);
int FileToArray(std::string_view path, std::span<unsigned short> data);
// The same on text in memory: what ArrayToFile writes, and what FileToArray reads (never -1).
std::string ArrayToText(std::span<const double> data, int fieldWidth);
std::string ArrayToText(std::span<const unsigned short> data, int fieldWidth);
int TextToArray(std::string_view text, std::span<double> data);
int TextToArray(std::string_view text, std::span<unsigned short> data);

// ---------------------------------------------------------------------------------------------------------
// Time
double Timer();              // monotonic seconds since the program started
std::string DateStr();       // "MM-DD-YYYY"
std::string TimeStr();       // "HH:MM:SS", 24-hour
void Delay(double seconds);  // sleeps without processing events
void Sleep(int milliseconds);

// ---------------------------------------------------------------------------------------------------------
// Locks (recursive; may be taken by the thread that holds them)
int CmtNewLock(std::string_view name, int options, int& lockHandle);
int CmtGetLock(int lockHandle);
int CmtReleaseLock(int lockHandle);
int CmtDiscardLock(int lockHandle);
int CmtGetCurrentThreadID();

// ---------------------------------------------------------------------------------------------------------
// Serial ports. Port n opens the device that a symbolic link named "COM<n>" in the program directory points
// to when there is one, else /dev/ttyS<n-1>.
enum : int {
    kRS232UnknownSysError = -1,
    kRS232InvalidPortNum = -2,
    kRS232PortNotOpen = -3,
    kRS232UnknownIOError = -4,
    kRS232InternalError = -5,
    kRS232NoPortFound = -6,
    kRS232CannotOpenPort = -7,
    kRS232TimeOut = -99,
};
enum : int { VAL_NO_PARITY = 0, VAL_ODD_PARITY = 1, VAL_EVEN_PARITY = 2 };
int OpenComConfig(int port, std::string_view deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
int SetComTime(int port, double timeoutSeconds);
int SetCTSMode(int port, int mode);
int FlushInQ(int port);
int FlushOutQ(int port);
int ComWrt(int port, const unsigned char* buffer, int count);  // bytes written or an error
int ComRd(int port, unsigned char* buffer, int count);         // bytes read or an error
int GetInQLen(int port);                                       // bytes waiting or an error
// Whether no more bytes can come: the port's device went away or hung up, or the port is not open.
bool ComLineLost(int port);
// Where port n would be opened from (for messages and the README).
std::string ComPortDevicePath(int port);
// Why the last OpenComConfig of a port could not open its device (kRS232CannotOpenPort), to tell the user
// what to do: the device, the group that owns its file and whether that group may read and write it.
enum ComOpenProblem : int {
    kComOpenOk = 0,        // opened, or not tried
    kComOpenNoDevice,      // no such device (adapter unplugged, link to nowhere)
    kComOpenNoPermission,  // this user may not open it (EACCES, EPERM)
    kComOpenInUse,         // another program holds it
    kComOpenFailed,        // any other reason
};
struct ComOpenFailure {
    ComOpenProblem problem = kComOpenOk;
    std::string device;  // e.g. /dev/ttyUSB0, the target of a COMn link
    std::string group;   // name (else number) of the device file's group; empty when there is no file
    std::string owner;   // name (else number) of the device file's owner; empty when there is no file
    bool groupMayOpen = false;
};
int GetComOpenFailure(int port, ComOpenFailure& failure);  // 0, or kRS232InvalidPortNum
// Whether this user could open the device (e.g. before a batch run), without opening it: 0 when it exists
// and may be read and written, else kRS232CannotOpenPort with the reason (no device, no permission).
int ProbeComDevice(std::string_view device, ComOpenFailure& failure);

// Serial devices by name. The device directory is /dev, or the directory COLOUR_SENSOR_DEVICE_DIR names
// (laid out as /dev: serial/by-id/ links, ttyUSB*, ttyACM*, ttyS*). Under COLOUR_SENSOR_DEVICE_DIR a
// by-id link NAME may have a file NAME.desc beside it with lines "vendor=0403", "product=6001",
// "manufacturer=...", "serial=...", "description=..." that stand for what the system tells of a real adapter.
std::string SerialDeviceDir();
struct SerialDeviceInfo {
    std::string path;  // the tty: /dev/ttyUSB0
    std::string byId;  // /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0; empty when none
    std::string description, manufacturer, serialNumber;
    int vendorId = -1, productId = -1;
    bool fixedPort = false;  // a built-in /dev/ttyS port
    bool mayOpen = true;     // this user may read and write it
};
// Every serial device present: USB and by-id adapters first (by their by-id name), then the fixed ports.
std::vector<SerialDeviceInfo> ListSerialDevices();
// What the system tells of the device that `path` (a tty, a by-id name or a link to either) leads to; false
// when it leads to no device present.
bool FindSerialDevice(const std::string& path, SerialDeviceInfo& device);

// The COMn links of a directory: the one place that resolves a COM number to a device.
enum ComLinkState : int {
    kComLinkNone = 0,    // no link COMn: the fixed port /dev/ttyS(n-1)
    kComLinkPresent,     // the link leads to a device present
    kComLinkAbsent,      // the link leads nowhere (the adapter is unplugged)
    kComLinkLoop,        // links that lead to each other
    kComLinkUnreadable,  // the link or a directory on its way cannot be read
    kComLinkNotALink,    // COMn is a file or folder of its own
};
struct ComLink {
    int port = 0;
    ComLinkState state = kComLinkNone;
    std::string target;  // what the link says, made absolute: /dev/serial/by-id/usb-...
    std::string device;  // the device it leads to now, fully resolved; empty when none
};
ComLink ReadComLink(const std::string& dir, int port);
// The COMn links (n = 1..255) of a directory, by number.
std::vector<ComLink> ListComLinks(const std::string& dir);
// Where COM `port` of the program directory leads: the target of its link, else /dev/ttyS(n-1).
std::string ComLinkDevice(const std::string& dir, int port);
// Checks a device name a person gave (a typed path, a list entry): 0 when it names a serial device that
// exists, else -1 with a sentence that says what is wrong (blanks, a link to nowhere, a loop, a directory
// that cannot be read, not a device).
int CheckDeviceName(const std::string& name, std::string& error);
// Gives `device` the lowest COM number free in `dir` by making the link COMn to it (to its by-id name where
// it has one); a device that already has a COM number keeps it. 0 with the number, else -1 and why.
int LinkComPort(const std::string& dir, const std::string& device, int& port, std::string& error);
// Calls fn(data) on the thread that started the watch (running its events) within about half a second of a
// change of the serial devices or of the COMn links of `dir`, until StopWatchingSerialDevices. One watch at a
// time.
void WatchSerialDevices(const std::string& dir, DeferredCallbackPtr fn, void* data);
void StopWatchingSerialDevices();

// ---------------------------------------------------------------------------------------------------------
// TCP client
enum : int { TCP_CONNECT = 1, TCP_DISCONNECT = 2, TCP_DATAREADY = 3 };
enum : int {
    kTCP_UnableToRegisterService = -1,
    kTCP_UnableToEstablishConnection = -2,
    kTCP_ExistingServer = -3,
    kTCP_FailedToConnect = -4,
    kTCP_ServerNotRegistered = -5,
    kTCP_TooManyConversations = -6,
    kTCP_ReadFailed = -7,
    kTCP_WriteFailed = -8,
    kTCP_InvalidParameter = -9,
    kTCP_OutOfMemory = -10,
    kTCP_TimeOutErr = -11,
    kTCP_NoConnectionEstablished = -12,
    kTCP_GeneralIOErr = -13,
    kTCP_ConnectionClosed = -14,
};
using TCPCallbackPtr = int (*)(unsigned handle, int xType, int errCode, void* callbackData);
// Connects and returns 0 with the conversation handle, or a negative TCP error (kTCP_TimeOutErr when the
// name lookup and the connect together take longer than timeoutMs). The callback runs on the thread that
// connected, never inside another call of the same conversation's callback: on the windows' thread inside
// their event pump, on any other thread during that thread's own waits and reads of io. TCP_DATAREADY is
// raised again while unread bytes remain after it returns.
//
// Every wait of the TCP client and of the serial ports (the name lookup, the connect, reads and writes that
// wait for bytes, the disconnect) runs the wait hook of io_host.h on the thread that set it (the windows'
// event pump, so the window repaints and live controls answer meanwhile); on any other thread it waits on
// the socket or port itself. A read or write that waits on a conversation raises none of its events; they
// follow once it returns. A port closed or a conversation ended by a callback during such a wait ends the
// wait with kRS232PortNotOpen or kTCP_ConnectionClosed.
int ConnectToTCPServer(unsigned& handle, int port, std::string_view serverName, TCPCallbackPtr callback,
                       void* callbackData, int timeoutMs);
int DisconnectFromTCPServer(unsigned handle);
int ClientTCPWrite(unsigned handle, const unsigned char* data, int count, int timeoutMs);
// Reads up to count bytes; waits up to timeoutMs for the first byte when none are buffered.
int ClientTCPRead(unsigned handle, unsigned char* data, int count, int timeoutMs);
