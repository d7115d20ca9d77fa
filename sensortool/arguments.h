// The command line of sensor-tool: what to reach, what to do, and the help texts. Plain functions, tested
// directly.
#pragma once

#include <span>
#include <string>
#include <string_view>

// Exit codes, one per kind of failure.
enum ExitCode : int {
    kExitOk = 0,
    kExitBadArguments = 2,
    kExitNoLink = 3,        // the serial port or the TCP connection cannot be opened
    kExitSensorFailed = 4,  // no reply, a short or long one, a wrong echo or a reply that is not understood
    kExitBadFile = 5,       // a file cannot be read, is not of its kind, or cannot be written
};

enum class Command { None, Identify, GetParams, SendParams, SendTable, Record };

struct LinkSpec {
    bool tcp = false;
    int comPort = 0;    // serial: COM port number
    int baudIndex = 1;  // serial: 0..4 = 9600 .. 115200 baud
    std::string host;   // TCP
    int port = 0;
};

struct Options {
    LinkSpec link;
    bool linkGiven = false;
    std::string frameLog;
    Command command = Command::None;
    bool help = false;    // --help: of the command when one is given, else of the tool
    bool eeprom = false;  // get-params --from eeprom, send-params --to eeprom
    std::string file;
    int page = 0;            // send-table
    int index = 0;           // send-table: temperature index of the set points
    bool triggered = false;  // record
    int count = 0;           // record: frames at an interval
    int interval = 0;        // record: seconds
    double duration = 0.0;   // record --triggered: seconds
    bool append = false;     // record: add to an existing file, without a header
};

// False with a one-line reason when the arguments do not form a command.
bool ParseArguments(std::span<const std::string_view> args, Options& options, std::string& error);
// The help text of a command, or of the tool for Command::None.
std::string HelpText(Command command);
