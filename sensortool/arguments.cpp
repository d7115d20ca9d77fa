#include "arguments.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr long kBaudRates[] = {9600, 19200, 38400, 57600, 115200};

struct CommandName {
    std::string_view name;
    Command command;
};
constexpr CommandName kCommands[] = {{"identify", Command::Identify},
                                     {"get-params", Command::GetParams},
                                     {"send-params", Command::SendParams},
                                     {"send-table", Command::SendTable},
                                     {"record", Command::Record},
                                     {"compare-params", Command::CompareParams},
                                     {"ports", Command::Ports},
                                     {"scan", Command::Scan}};

bool ToInt(std::string_view text, long min, long max, int& out) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return false;
    out = static_cast<int>(value);
    return true;
}

bool ToSeconds(std::string_view text, double& out) {
    const std::string s(text);
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !(value > 0.0) || value > 1e7) return false;
    out = value;
    return true;
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool ParseBaud(std::string_view baud, LinkSpec& link, std::string& error) {
    int rate = 0;
    link.baudIndex = -1;
    if (ToInt(baud, 1, 10000000, rate))
        for (int i = 0; i < 5; ++i)
            if (kBaudRates[i] == rate) link.baudIndex = i;
    if (link.baudIndex >= 0) return true;
    error = "the baud rate must be 9600, 19200, 38400, 57600 or 115200, not " + ShownText(baud);
    return false;
}

constexpr const char* kLinkForms = "serial:COMn[:BAUD], serial:DEVICE[:BAUD] or tcp:HOST:PORT";

// A word after a device's last colon that is meant as a baud rate ("fast"): letters and digits only. The
// colons of a device path (/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0) come with '.' or '-'.
bool IsBaudWord(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// The options each command takes besides --link, --links, --frame-log, --parallel and --help.
struct CommandOptions {
    Command command;
    std::vector<std::string_view> options;
};
const CommandOptions kCommandOptions[] = {
    {Command::Identify, {}},
    {Command::GetParams, {"--from"}},
    {Command::SendParams, {"--to", "--verify"}},
    {Command::CompareParams, {"--from"}},
    {Command::SendTable, {"--page", "--index"}},
    {Command::Record, {"--count", "--interval", "--triggered", "--duration", "--append"}},
    {Command::Ports, {}},
    {Command::Scan, {"--include-fixed"}},
};

std::string_view CommandNameOf(Command command) {
    for (const CommandName& c : kCommands)
        if (c.command == command) return c.name;
    return {};
}

// False with the reason when an option was given that the command does not take.
bool CommandTakesItsOptions(const Options& o, std::string& error) {
    for (const CommandOptions& c : kCommandOptions) {
        if (c.command != o.command) continue;
        for (const std::string& given : o.given) {
            constexpr std::string_view kEveryCommand[] = {"--help", "--link", "--links", "--frame-log",
                                                          "--parallel"};
            if (std::find(std::begin(kEveryCommand), std::end(kEveryCommand), given) !=
                    std::end(kEveryCommand) ||
                std::find(c.options.begin(), c.options.end(), given) != c.options.end())
                continue;
            const std::string name(CommandNameOf(o.command));
            const bool other = given == "--from" || given == "--to";
            const char* memory = given == "--from" ? "--to" : "--from";
            if (other && std::find(c.options.begin(), c.options.end(), memory) != c.options.end())
                error = name + " takes " + memory + " ram|eeprom, not " + given + " (see sensor-tool " +
                        name + " --help)";
            else
                error = name + " does not take " + given + " (see sensor-tool " + name + " --help)";
            return false;
        }
    }
    return true;
}

// plot draws a record file and is told apart by its first word, before any link option is read.
constexpr const char* kPlotComesFirst =
    "plot reads a record file and takes no link; give it first: sensor-tool plot FILE ... (see sensor-tool "
    "plot --help)";

bool IsPrintable(unsigned char c) {
    return c >= 0x20 && c < 0x7F;
}

}  // namespace

std::string ShownText(std::string_view text) {
    constexpr std::size_t kShown = 60;
    std::string shown;
    if (text.starts_with("\xEF\xBB\xBF")) {
        shown = "(byte order mark)";
        text.remove_prefix(3);
    }
    for (std::size_t i = 0; i < std::min(text.size(), kShown); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsPrintable(c)) {
            shown += char(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", unsigned(c));
            shown += esc;
        }
    }
    if (text.size() > kShown) shown += "... (" + std::to_string(text.size()) + " characters)";
    return shown;
}

int MostSerious(int a, int b) {
    // Rank by seriousness; codes not in the list (none today) rank above all.
    auto rank = [](int code) {
        switch (code) {
            case kExitOk:
                return 0;
            case kExitNoLink:
                return 1;
            case kExitBadFile:
                return 2;
            case kExitDiffers:
                return 3;
            case kExitSensorFailed:
                return 4;
            case kExitBadArguments:
                return 5;
            case 128 + 15:  // SIGTERM
                return 6;
            case 128 + 2:  // SIGINT
                return 7;
            default:
                return 8;
        }
    };
    return rank(b) > rank(a) ? b : a;
}

// serial:COM3[:BAUD], serial:/dev/ttyUSB0[:BAUD] or tcp:HOST:PORT. A device is a path (it holds a /); a
// colon that is followed by digits only ends it and gives the baud rate.
bool ParseLink(std::string_view text, LinkSpec& link, std::string& error) {
    error = std::string("a link is ") + kLinkForms + ", not \"" + ShownText(text) + "\"";
    link = LinkSpec{};
    link.text = std::string(text);
    if (text.starts_with("serial:")) {
        std::string_view rest = text.substr(7);
        std::string_view baud;
        if (const auto colon = rest.rfind(':');
            colon != std::string_view::npos && AllDigits(rest.substr(colon + 1))) {
            baud = rest.substr(colon + 1);
            rest = rest.substr(0, colon);
        } else if (colon != std::string_view::npos &&
                   (rest.find('/') == std::string_view::npos || IsBaudWord(rest.substr(colon + 1)))) {
            baud = rest.substr(colon + 1);  // COM3:fast, /dev/ttyUSB0:fast: a baud rate that is not a number
            rest = rest.substr(0, colon);
        }
        if (rest.size() >= 4 && IEquals(rest.substr(0, 3), "COM") && AllDigits(rest.substr(3))) {
            if (!ToInt(rest.substr(3), 1, 255, link.comPort)) {
                error = "COM ports are numbered 1 to 255, not " + std::string(rest.substr(3));
                return false;
            }
        } else if (rest.find('/') != std::string_view::npos) {
            link.device = std::string(rest);
        } else {
            error += " (a device is named by its path, such as /dev/ttyUSB0)";
            return false;
        }
        link.tcp = false;
        link.baudIndex = 1;
        return baud.empty() || ParseBaud(baud, link, error);
    }
    if (text.starts_with("tcp:")) {
        const std::string_view rest = text.substr(4);
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos || colon == 0) return false;
        if (!ToInt(rest.substr(colon + 1), 1, 65535, link.port)) {
            error = "the TCP port of " + ShownText(text) + " must be a number from 1 to 65535";
            return false;
        }
        link.tcp = true;
        link.host = std::string(rest.substr(0, colon));
        return true;
    }
    return false;
}

bool ParseArguments(std::span<const std::string_view> args, Options& o, std::string& error) {
    std::vector<std::string_view> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        auto value = [&](std::string_view& out) {
            if (i + 1 >= args.size()) {
                error = std::string(a) + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string_view v;
        if (a.starts_with("--")) {
            // A value given twice would leave the tool to pick one of them; only links add up.
            const bool again = std::find(o.given.begin(), o.given.end(), a) != o.given.end();
            if (again && a != "--link") {
                error = "give " + std::string(a) + " once";
                return false;
            }
            if (!again) o.given.emplace_back(a);
        }
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--link") {
            LinkSpec link;
            if (!value(v) || !ParseLink(v, link, error)) return false;
            o.links.push_back(link);
            o.link = link;
            o.linkGiven = true;
        } else if (a == "--links") {
            if (!value(v)) return false;
            o.linksFile = std::string(v);
            o.linksFileAt = o.links.size();
        } else if (a == "--frame-log") {
            if (!value(v)) return false;
            if (v.empty()) {
                error = "--frame-log needs a file name";
                return false;
            }
            o.frameLog = std::string(v);
        } else if (a == "--from" || a == "--to") {
            if (!value(v)) return false;
            if (v != "ram" && v != "eeprom") {
                error = std::string(a) + " takes ram or eeprom, not \"" + std::string(v) + "\"";
                return false;
            }
            o.eeprom = v == "eeprom";
        } else if (a == "--page") {
            if (!value(v) || !ToInt(v, 1, 7, o.page)) {
                error = "--page takes a compensation page from 1 to 7";
                return false;
            }
        } else if (a == "--index") {
            if (!value(v) || !ToInt(v, 0, 99, o.index)) {
                error = "--index takes a temperature index from 0 to 99";
                return false;
            }
        } else if (a == "--count") {
            if (!value(v) || !ToInt(v, 1, 65535, o.count)) {
                error = "--count takes a number of frames from 1 to 65535";
                return false;
            }
        } else if (a == "--interval") {
            if (!value(v) || !ToInt(v, 0, 65535, o.interval)) {
                error = "--interval takes whole seconds from 0 to 65535";
                return false;
            }
        } else if (a == "--duration") {
            if (!value(v) || !ToSeconds(v, o.duration)) {
                error = "--duration takes a number of seconds above 0 and at most 10000000 (about 115 days)";
                return false;
            }
        } else if (a == "--parallel") {
            if (!value(v) || !ToInt(v, 1, 10000, o.parallel)) {
                error = "--parallel takes a number of sensors worked at once, from 1 to 10000";
                return false;
            }
        } else if (a == "--triggered") {
            o.triggered = true;
        } else if (a == "--append") {
            o.append = true;
        } else if (a == "--verify") {
            o.verify = true;
        } else if (a == "--include-fixed") {
            o.includeFixed = true;
        } else if (a.starts_with("-") && a.size() > 1) {
            error = !positional.empty() && positional[0] == "plot"
                        ? kPlotComesFirst
                        : "unknown option " + ShownText(a) + " (see --help)";
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (!positional.empty()) {
        for (const CommandName& c : kCommands)
            if (positional[0] == c.name) o.command = c.command;
        if (o.command == Command::None) {
            error = positional[0] == "plot"
                        ? kPlotComesFirst
                        : "unknown command \"" + ShownText(positional[0]) + "\" (see --help)";
            return false;
        }
        positional.erase(positional.begin());
    }
    if (o.help) return true;
    if (o.command == Command::None) {
        error = "no command given (see --help)";
        return false;
    }
    if (o.command == Command::Ports) {
        if (!positional.empty() || o.linkGiven || !o.linksFile.empty()) {
            error = "ports lists the serial ports of this machine and takes no link and no file";
            return false;
        }
        return CommandTakesItsOptions(o, error);
    }
    if (o.command == Command::Scan) {
        if (!positional.empty() || o.linkGiven || !o.linksFile.empty()) {
            error = "scan tries the serial adapters of this machine and takes no link and no file";
            return false;
        }
        return CommandTakesItsOptions(o, error);
    }
    const bool needsFile = o.command != Command::Identify;
    if (positional.size() != (needsFile ? 1u : 0u)) {
        error = needsFile ? "give exactly one file" : "identify takes no file";
        return false;
    }
    if (needsFile) o.file = std::string(positional[0]);
    if (needsFile && o.file.empty()) {
        error = "the file name is empty: give a file name";
        return false;
    }
    if (!o.linkGiven && o.linksFile.empty()) {
        error = std::string("--link is missing: ") + kLinkForms + " (or --links FILE)";
        return false;
    }
    if (o.verify && o.command != Command::SendParams) {
        error = "--verify goes with send-params only (compare-params compares without writing)";
        return false;
    }
    if (!CommandTakesItsOptions(o, error)) return false;
    if (o.command == Command::SendTable && o.page == 0) {
        error = "send-table needs --page 1..7";
        return false;
    }
    if (o.command == Command::Record) {
        const bool intervalGiven = std::find(o.given.begin(), o.given.end(), "--interval") != o.given.end();
        if (o.triggered ? o.duration <= 0.0 || o.count > 0 || intervalGiven
                        : o.count == 0 || !intervalGiven || o.duration > 0.0) {
            error = "record takes either --count N --interval S or --triggered --duration S";
            return false;
        }
    }
    return true;
}

std::string HelpText(Command command) {
    switch (command) {
        case Command::Identify:
            return "sensor-tool --link LINK identify\n"
                   "  Asks the sensor for its version text and prints it, with the sensor code, the model\n"
                   "  family and the compensation page that the Morvalen tool shows for it.\n";
        case Command::GetParams:
            return "sensor-tool --link LINK get-params [--from ram|eeprom] FILE\n"
                   "  Reads the whole parameter set (16 parameters and 31 teach vectors) from the sensor's\n"
                   "  RAM (default) or EEPROM into a parameter file, as the Orvane scope writes it. With\n"
                   "  several links FILE names a file per sensor: {n} stands for the link's number (1, 2,\n"
                   "  ...) and {link} for the link itself, e.g. saved-{n}.ini.\n";
        case Command::SendParams:
            return "sensor-tool --link LINK send-params [--to ram|eeprom] [--verify] FILE\n"
                   "  Writes a parameter file into the sensor's RAM (default), or into RAM and then its\n"
                   "  EEPROM. The file is checked first; a bad file is refused before anything is sent. A\n"
                   "  vector count above 31 is sent as 31.\n"
                   "  --verify reads the set back from the memory written (the EEPROM through order 8)\n"
                   "  and compares all 202 words; each parameter that differs is printed with the value\n"
                   "  sent and the value read, and the command ends with exit code 6.\n";
        case Command::CompareParams:
            return "sensor-tool --link LINK compare-params [--from ram|eeprom] FILE\n"
                   "  Reads the parameter set from the sensor's RAM (default) or EEPROM and compares it\n"
                   "  with the parameter file, without writing anything. Each parameter that differs is\n"
                   "  printed (\"power: file 500, sensor 499\", \"teach row 3 column 2 (density tolerance): "
                   "...\");\n"
                   "  exit code 0 when the sets are equal, 6 when they differ. The file's vector count is\n"
                   "  compared as send-params sends it (above 31 as 31).\n";
        case Command::SendTable:
            return "sensor-tool --link LINK send-table --page N [--index I] EQUATION_FILE\n"
                   "  Computes the drift curves of compensation page N (1..7) from the equation file, the\n"
                   "  set points at temperature index I (0..99, default 0) and the compensation factors,\n"
                   "  and writes the table into the sensor, as the Morvalen tool's Send CF does. N must be\n"
                   "  the page of the sensor's model (identify names it); another page writes nothing.\n"
                   "  The equation file is text with one coefficient per line (blank lines are skipped),\n"
                   "  five per measuring channel in the order X4, X3, X2, X1, T of its drift polynomial\n"
                   "  X4*i^4 + X3*i^3 + X2*i^2 + X1*i + T over the temperature index i: 15 values for the\n"
                   "  pages 1, 2, 4 and 5 (channels R, G, B), 30 for page 3 (R, G, B, REF, DIR, DIF) and 5\n"
                   "  for the pages 6 and 7 (RAW). examples/equation.equ is one for page 1; the Morvalen\n"
                   "  tool's Save Equation writes such files.\n";
        case Command::Record:
            return "sensor-tool --link LINK record --count N --interval S [--append] FILE\n"
                   "sensor-tool --link LINK record --triggered --duration S [--append] FILE\n"
                   "  Records measurement frames into a record file as the Orvane scope does: N frames, one\n"
                   "  every S seconds (0: as fast as the sensor answers), or for S seconds every frame the\n"
                   "  sensor sends on its trigger. The file is replaced and starts with a header line\n"
                   "  unless --append adds to it. With several links FILE names a file per sensor, with\n"
                   "  {n} or {link} in it (see get-params --help).\n";
        case Command::Ports:
            return "sensor-tool ports\n"
                   "  Lists the serial ports of this machine: the device, its description, maker and serial\n"
                   "  number, its USB vendor and product where known, and the COM port under which the\n"
                   "  window programs reach it (a COMn link in their program directory, or COMn for\n"
                   "  /dev/ttyS(n-1)). Below an adapter's row, its /dev/serial/by-id/ name, the same in\n"
                   "  any USB socket.\n";
        case Command::Scan:
            return "sensor-tool scan [--include-fixed]\n"
                   "  Finds sensors: asks each USB and by-id serial adapter for the sensor's version at "
                   "each\n"
                   "  of the five baud rates, and prints what answered where (device, COM port, baud rate,\n"
                   "  version). The fixed ports /dev/ttyS* are asked only with --include-fixed; no byte "
                   "goes\n"
                   "  to a device the scan does not include. Exit code 0 when a sensor answered, 4 when "
                   "none\n"
                   "  did.\n";
        case Command::None:
            break;
    }
    return "sensor-tool: batch work with colour sensors, without a window.\n"
           "usage: sensor-tool --link LINK [--link LINK ...] [--links FILE] [--frame-log FILE]\n"
           "         [--parallel N] COMMAND [OPTIONS] [FILE]\n"
           "       sensor-tool ports\n"
           "       sensor-tool scan [--include-fixed]\n"
           "       sensor-tool plot FILE [--signals A,B,...] [--from TIME --to TIME] (--png|--svg) OUT\n"
           "         [--size WxH]   (draws a record file without a display: plot --help)\n"
           "  LINK      serial:COMn[:BAUD] or serial:DEVICE[:BAUD] (a device path such as /dev/ttyUSB0;\n"
           "            baud 9600..115200, default 19200), or tcp:HOST:PORT. COMn is the device that a\n"
           "            link named COMn in the working directory, or else in the window programs'\n"
           "            directory, points to, else /dev/ttyS(n-1).\n"
           "  --links FILE       reads links from FILE, one per line (blank lines and # comments allowed)\n"
           "  COMMAND   identify, get-params, send-params, compare-params, send-table, record, ports,\n"
           "            scan\n"
           "            (COMMAND --help for more)\n"
           "  --frame-log FILE   appends every frame sent and received, and why a link failed, to FILE\n"
           "  --parallel N       works on at most N sensors at once (default 32, fewer when the limit of\n"
           "                     open files is low); the other links wait for their turn\n"
           "  --version          prints the program's version and exits\n"
           "With several links the command runs on all of them at the same time (up to --parallel), one\n"
           "worker per link; a link that fails never stops the others. A terminal shows a progress line\n"
           "per link, and a table at the end gives each link's sensor version, result and time. Links,\n"
           "devices, files and options are checked before anything is sent to any sensor; each command\n"
           "takes only its own options (COMMAND --help).\n"
           "exit codes: 0 done, 2 bad arguments, 3 the link cannot be opened, 4 the sensor did not answer\n"
           "  or answered wrongly, 5 a file cannot be read, is not of its kind, or cannot be written,\n"
           "  6 the sensor holds other parameters than the file (send-params --verify, compare-params),\n"
           "  130 / 143 a record that SIGINT / SIGTERM ended (the file holds every line recorded until\n"
           "  then; other commands finish their series of frames first).\n"
           "  With several links: 0 when every link succeeded, else the most serious code among them, in\n"
           "  this order: 130 / 143, 4, 6, 5, 3.\n";
}
