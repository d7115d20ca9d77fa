// The command line of sensor-tool: what to reach, what to do, and the help texts. Plain functions, tested
// directly.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

// Exit codes, one per kind of failure.
enum ExitCode : int {
    kExitOk = 0,
    kExitBadArguments = 2,
    kExitNoLink = 3,        // the serial port or the TCP connection cannot be opened
    kExitSensorFailed = 4,  // no reply, a short or long one, a wrong echo or a reply that is not understood
    kExitBadFile = 5,       // a file cannot be read, is not of its kind, or cannot be written
    kExitDiffers = 6,       // the sensor holds other parameters than the file (send-params --verify,
                            // compare-params)
};
// The exit code of a run on several links: the most serious of their codes. From the most serious on: a
// signal ended the run (130 SIGINT, 143 SIGTERM), a sensor failed during its exchange (4: what it holds is in
// doubt), a sensor holds other parameters than the file (6), a file problem (5), a link that could not be
// opened (3: nothing reached that sensor), done (0). Bad arguments (2) end the run before any link is used.
int MostSerious(int a, int b);

enum class Command { None, Identify, GetParams, SendParams, SendTable, Record, CompareParams, Ports, Scan };

struct LinkSpec {
    std::string text;  // as given, e.g. "serial:COM3:115200"
    bool tcp = false;
    int comPort = 0;     // serial:COMn: the COM port number; 0 when a device is given
    std::string device;  // serial: the device; for serial:COMn the one the COMn rule finds (links.h)
    int baudIndex = 1;   // serial: 0..4 = 9600 .. 115200 baud
    std::string host;    // TCP
    int port = 0;
};

// serial:COMn[:BAUD], serial:DEVICE[:BAUD] (a path: /dev/ttyUSB0) or tcp:HOST:PORT; false with the reason.
bool ParseLink(std::string_view text, LinkSpec& link, std::string& error);

struct Options {
    LinkSpec link;  // the link of a run on one link
    bool linkGiven = false;
    std::vector<LinkSpec> links;  // every --link in order; the links file's go in at linksFileAt (links.h)
    std::string linksFile;        // --links FILE
    std::size_t linksFileAt = 0;  // how many --link came before --links
    std::string frameLog;
    Command command = Command::None;
    bool help = false;    // --help: of the command when one is given, else of the tool
    bool eeprom = false;  // get-params and compare-params --from eeprom, send-params --to eeprom
    bool verify = false;  // send-params: read the set back and compare
    std::string file;
    int page = 0;               // send-table
    int index = 0;              // send-table: temperature index of the set points
    bool triggered = false;     // record
    int count = 0;              // record: frames at an interval
    int interval = 0;           // record: seconds
    double duration = 0.0;      // record --triggered: seconds
    bool append = false;        // record: add to an existing file, without a header
    bool includeFixed = false;  // scan: also the fixed /dev/ttyS ports
    int parallel = 0;  // --parallel: sensors worked at once in a run on several links (0: the default)
    std::vector<std::string> given;  // the options given, as typed ("--from"), for the check per command
};

// False with a one-line reason when the arguments do not form a command. The links file is not read here.
bool ParseArguments(std::span<const std::string_view> args, Options& options, std::string& error);
// The text of a link or a line as an error message shows it: bytes that are not printable as \xNN, a byte
// order mark named, and a long text cut with its length said, so no message echoes a whole file.
std::string ShownText(std::string_view text);
// The help text of a command, or of the tool for Command::None.
std::string HelpText(Command command);
