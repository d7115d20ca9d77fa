#include "arguments.h"

#include <cctype>
#include <charconv>
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
                                     {"record", Command::Record}};

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

// serial:COM3[:BAUD] or tcp:HOST:PORT
bool ParseLink(std::string_view text, LinkSpec& link, std::string& error) {
    error = "--link takes serial:COMn[:BAUD] or tcp:HOST:PORT, not \"" + std::string(text) + "\"";
    if (text.starts_with("serial:")) {
        std::string_view rest = text.substr(7);
        std::string_view baud;
        if (const auto colon = rest.find(':'); colon != std::string_view::npos) {
            baud = rest.substr(colon + 1);
            rest = rest.substr(0, colon);
        }
        if (rest.size() < 4 || !IEquals(rest.substr(0, 3), "COM") ||
            !ToInt(rest.substr(3), 1, 255, link.comPort))
            return false;
        link.tcp = false;
        link.baudIndex = 1;
        if (!baud.empty()) {
            int rate = 0;
            link.baudIndex = -1;
            if (ToInt(baud, 1, 10000000, rate))
                for (int i = 0; i < 5; ++i)
                    if (kBaudRates[i] == rate) link.baudIndex = i;
            if (link.baudIndex < 0) {
                error = "the baud rate must be 9600, 19200, 38400, 57600 or 115200, not " + std::string(baud);
                return false;
            }
        }
        return true;
    }
    if (text.starts_with("tcp:")) {
        const std::string_view rest = text.substr(4);
        const auto colon = rest.rfind(':');
        if (colon == std::string_view::npos || colon == 0 ||
            !ToInt(rest.substr(colon + 1), 1, 65535, link.port))
            return false;
        link.tcp = true;
        link.host = std::string(rest.substr(0, colon));
        return true;
    }
    return false;
}

}  // namespace

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
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--link") {
            if (!value(v) || !ParseLink(v, o.link, error)) return false;
            o.linkGiven = true;
        } else if (a == "--frame-log") {
            if (!value(v)) return false;
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
                error = "--duration takes a number of seconds above 0";
                return false;
            }
        } else if (a == "--triggered") {
            o.triggered = true;
        } else if (a == "--append") {
            o.append = true;
        } else if (a.starts_with("-") && a.size() > 1) {
            error = "unknown option " + std::string(a) + " (see --help)";
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (!positional.empty()) {
        for (const CommandName& c : kCommands)
            if (positional[0] == c.name) o.command = c.command;
        if (o.command == Command::None) {
            error = "unknown command \"" + std::string(positional[0]) + "\" (see --help)";
            return false;
        }
        positional.erase(positional.begin());
    }
    if (o.help) return true;
    if (o.command == Command::None) {
        error = "no command given (see --help)";
        return false;
    }
    const bool needsFile = o.command != Command::Identify;
    if (positional.size() != (needsFile ? 1u : 0u)) {
        error = needsFile ? "give exactly one file" : "identify takes no file";
        return false;
    }
    if (needsFile) o.file = std::string(positional[0]);
    if (!o.linkGiven) {
        error = "--link is missing: serial:COMn[:BAUD] or tcp:HOST:PORT";
        return false;
    }
    if (o.command == Command::SendTable && o.page == 0) {
        error = "send-table needs --page 1..7";
        return false;
    }
    if (o.command == Command::Record) {
        if (o.triggered ? o.duration <= 0.0 || o.count > 0 : o.count == 0 || o.duration > 0.0) {
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
                   "  Reads the whole parameter set (16 parameters and 31 teach vectors) from the sensor's "
                   "RAM\n"
                   "  (default) or EEPROM into a parameter file, as the Orvane scope writes it.\n";
        case Command::SendParams:
            return "sensor-tool --link LINK send-params [--to ram|eeprom] FILE\n"
                   "  Writes a parameter file into the sensor's RAM (default), or into RAM and then its "
                   "EEPROM.\n"
                   "  The file is checked first; a bad file is refused before anything is sent. A vector\n"
                   "  count above 31 is sent as 31.\n";
        case Command::SendTable:
            return "sensor-tool --link LINK send-table --page N [--index I] EQUATION_FILE\n"
                   "  Computes the drift curves of compensation page N (1..7) from the equation file, the "
                   "set\n"
                   "  points at temperature index I (0..99, default 0) and the compensation factors, and\n"
                   "  writes the table into the sensor, as the Morvalen tool's Send CF does.\n";
        case Command::Record:
            return "sensor-tool --link LINK record --count N --interval S [--append] FILE\n"
                   "sensor-tool --link LINK record --triggered --duration S [--append] FILE\n"
                   "  Records measurement frames into a record file as the Orvane scope does: N frames, one\n"
                   "  every S seconds (0: as fast as the sensor answers), or for S seconds every frame the\n"
                   "  sensor sends on its trigger. The file is replaced and starts with a header line "
                   "unless\n"
                   "  --append adds to it.\n";
        case Command::None:
            break;
    }
    return "sensor-tool: batch work with a colour sensor, without a window.\n"
           "usage: sensor-tool --link LINK [--frame-log FILE] COMMAND [OPTIONS] [FILE]\n"
           "  LINK      serial:COMn[:BAUD] (baud 9600..115200, default 19200) or tcp:HOST:PORT\n"
           "  COMMAND   identify, get-params, send-params, send-table, record (COMMAND --help for more)\n"
           "  --frame-log FILE   appends every frame sent and received to FILE\n"
           "exit codes: 0 done, 2 bad arguments, 3 the link cannot be opened, 4 the sensor did not answer\n"
           "  or answered wrongly, 5 a file cannot be read, is not of its kind, or cannot be written,\n"
           "  130 / 143 a record that SIGINT / SIGTERM ended (the file holds every line recorded until "
           "then;\n"
           "  other commands finish their series of frames first)\n";
}
