// The frame log: every frame a link sends and every reply it receives, one line each, for diagnosing a
// link. A line holds a monotonic time stamp in milliseconds since the program started, the direction (TX,
// RX), the link (COMn or host:port), the bytes in hex and, for replies, what the program concluded:
//     1234.567 TX COM5 00 55 00 07 00 00 ...
//     1236.102 RX COM5 00 AA 00 07 ... echo good
// Each line goes to the file with one unbuffered append, so a line the program wrote is never lost, not
// even when the program crashes right after. Every link holds its own log; links that log into the same
// file each open it.
#pragma once

#include <string>
#include <string_view>

class FrameLog {
  public:
    FrameLog() = default;
    ~FrameLog() { Close(); }
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    // Opens (creates or appends to) the log; false with the reason when it cannot be opened. A second call
    // closes the previous log first.
    bool Open(const std::string& path, std::string* error = nullptr);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // The link the next lines name ("COM5", "127.0.0.1:50123").
    void SetLink(std::string_view link);
    void Sent(const unsigned char* bytes, int count, std::string_view note = {});
    void Received(const unsigned char* bytes, int count, std::string_view conclusion);
    // Why the link failed, in plain words:  2851.004 FAIL COM5 no answer within 3 s
    void Failure(std::string_view cause);

  private:
    void WriteLine(std::string line);

    int fd_ = -1;
    std::string link_ = "-";
};

// The log named by the environment variable COLOUR_SENSOR_FRAME_LOG or by a "--frame-log FILE" argument
// (the argument wins), opened into `log`; a log that cannot be opened is reported on standard error.
// Returns false only when a log was asked for and could not be opened.
bool OpenFrameLogFromStartup(FrameLog& log, int argc, char** argv);

// The line as it is written (without its line end), for tests.
std::string FrameLogLine(double milliseconds, std::string_view direction, std::string_view link,
                         const unsigned char* bytes, int count, std::string_view note);
