// The frame log: every frame a program sends and every reply it receives, one line each, for diagnosing a
// link. A line holds a monotonic time stamp in milliseconds since the program started, the direction (TX,
// RX), the link (COMn or host:port), the bytes in hex and, for replies, what the program concluded:
//     1234.567 TX COM5 00 55 00 07 00 00 ...
//     1236.102 RX COM5 00 AA 00 07 ... echo good
// Each line goes to the file with one unbuffered append, so a line the program wrote is never lost, not
// even when the program crashes right after.
#pragma once

#include <string>
#include <string_view>

// Opens (creates or appends to) the log; false with the reason when it cannot be opened. A second call
// closes the previous log first.
bool OpenFrameLog(const std::string& path, std::string* error = nullptr);
void CloseFrameLog();
bool FrameLogOpen();
// Opens the log named by the environment variable COLOUR_SENSOR_FRAME_LOG or by a "--frame-log FILE"
// argument (the argument wins); a log that cannot be opened is reported on standard error. Returns false
// only when a log was asked for and could not be opened.
bool OpenFrameLogFromStartup(int argc, char** argv);

// The link the next lines name ("COM5", "127.0.0.1:50123").
void SetFrameLogLink(std::string_view link);
void LogFrameSent(const unsigned char* bytes, int count, std::string_view note = {});
void LogFrameReceived(const unsigned char* bytes, int count, std::string_view conclusion);
// Why the link failed, in plain words:  2851.004 FAIL COM5 no answer within 3 s
void LogLinkFailure(std::string_view cause);

// The line as it is written (without its line end), for tests.
std::string FrameLogLine(double milliseconds, std::string_view direction, std::string_view link,
                         const unsigned char* bytes, int count, std::string_view note);
