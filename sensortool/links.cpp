#include "links.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "io.h"
#include "sensor_link.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kWindowPrograms[] = {"MorvalenV15", "MorvalenV14", "OrvaneV33"};
constexpr int kMaxComPort = 255;
// A links file is a few lines per sensor; anything far larger is not one.
constexpr long kLargestLinksFile = 1024 * 1024;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// The line without its comment: a # at its start or after a blank.
std::string_view WithoutComment(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
    return line;
}

// What the symbolic link dir/COMn points to, as a full path; empty when there is no such link.
std::string ComLinkTarget(const fs::path& dir, int port) {
    std::error_code ec;
    const ComLink link = ReadComLink(fs::absolute(dir, ec).string(), port);
    if (link.state == kComLinkNone || link.state == kComLinkNotALink) return {};
    return link.device.empty() ? link.target : link.device;
}

std::vector<fs::path> WindowProgramDirs() {
    std::vector<fs::path> dirs;
    for (const char* program : kWindowPrograms) {
        std::string dir;
        if (GetProgramDirOf(program, dir) == 0 && std::find(dirs.begin(), dirs.end(), dir) == dirs.end())
            dirs.emplace_back(dir);
    }
    return dirs;
}

// The same device under any of its names (a by-id link, a relative path).
std::string CanonicalDevice(const std::string& device) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(fs::absolute(device, ec), ec);
    return ec ? device : p.string();
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The addresses a server's name stands for ("127.0.0.1", "::1"), each once; none when it cannot be resolved.
std::vector<std::string> ServerAddresses(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::vector<std::string> addresses;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo* a = found; a; a = a->ai_next) {
        char text[INET6_ADDRSTRLEN] = "";
        const void* raw =
            a->ai_family == AF_INET
                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr)
                : static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr);
        if ((a->ai_family == AF_INET || a->ai_family == AF_INET6) &&
            ::inet_ntop(a->ai_family, raw, text, sizeof text) &&
            std::find(addresses.begin(), addresses.end(), text) == addresses.end())
            addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

// What makes two links the same sensor: any one of these shared. A server is known by each address its
// name resolves to (tcp:localhost:N, tcp:127.0.0.1:N and tcp:127.1:N are one sensor), or by its name when
// it cannot be resolved now.
std::vector<std::string> SensorKeys(const LinkSpec& link,
                                    std::map<std::string, std::vector<std::string>>& resolved) {
    if (!link.tcp) return {"serial " + CanonicalDevice(link.device)};
    const std::string host = Lower(link.host);
    const auto at = resolved.find(host);
    const std::vector<std::string>& addresses =
        at != resolved.end() ? at->second : resolved.emplace(host, ServerAddresses(host)).first->second;
    const std::string port = std::to_string(link.port);
    if (addresses.empty()) return {"tcp " + host + ":" + port};
    std::vector<std::string> keys;
    for (const std::string& address : addresses)
        keys.push_back("tcp " + (address.find(':') != std::string::npos ? "[" + address + "]" : address) +
                       ":" + port);
    return keys;
}

}  // namespace

bool ParseLinksText(std::string_view text, const std::string& fileName, std::vector<LinkSpec>& links,
                    std::string& error) {
    std::vector<LinkSpec> found;
    if (text.starts_with("\xEF\xBB\xBF")) {
        error =
            "the links file " + fileName +
            " begins with a byte order mark (the bytes EF BB BF that some editors write first); save it as "
            "plain text without one (in Notepad: UTF-8, not UTF-8 with BOM)";
        return false;
    }
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = Trim(WithoutComment(text.substr(0, end)));
        text.remove_prefix(std::min(end + 1, text.size()));
        ++lineNumber;
        if (line.empty()) continue;
        LinkSpec link;
        if (!ParseLink(line, link, error)) {
            error = "line " + std::to_string(lineNumber) + " of the links file " + fileName + ": " + error;
            return false;
        }
        found.push_back(link);
    }
    if (found.empty()) {
        error = "the links file " + fileName +
                " holds no link; write one link per line, such as tcp:10.0.0.7:502 or serial:/dev/ttyUSB0";
        return false;
    }
    links.insert(links.end(), found.begin(), found.end());
    return true;
}

bool ReadLinksFile(const std::string& path, std::vector<LinkSpec>& links, std::string& error) {
    long size = 0;
    if (GetFileInfo(path, size) != 1) {
        error =
            "the links file " + path + " does not exist or is not a file; give a file with one link per line";
        return false;
    }
    if (size > kLargestLinksFile) {
        error = "the links file " + path + " is " + std::to_string(size) +
                " bytes long, too long for a links file";
        return false;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    const int file = CVI_OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_BINARY);
    const int got = file >= 0 ? CVI_ReadFile(file, text.data(), int(text.size())) : -1;
    if (file >= 0) CVI_CloseFile(file);
    if (got < 0) {
        error = "the links file " + path + " cannot be read; check its permissions";
        return false;
    }
    text.resize(static_cast<std::size_t>(got));
    return ParseLinksText(text, path, links, error);
}

std::string ComPortDevice(int port) {
    std::error_code ec;
    if (std::string target = ComLinkTarget(fs::current_path(ec), port); !target.empty()) return target;
    for (const fs::path& dir : WindowProgramDirs())
        if (std::string target = ComLinkTarget(dir, port); !target.empty()) return target;
    return "/dev/ttyS" + std::to_string(port - 1);
}

bool ResolveLinks(std::vector<LinkSpec>& links, std::string& error) {
    std::map<std::string, const LinkSpec*> seen;
    std::map<std::string, std::vector<std::string>> resolved;  // server name -> its addresses
    for (LinkSpec& link : links) {
        if (!link.tcp && link.comPort > 0) link.device = ComPortDevice(link.comPort);
        const std::vector<std::string> keys = SensorKeys(link, resolved);
        const auto same =
            std::find_if(keys.begin(), keys.end(), [&](const std::string& k) { return seen.count(k); });
        if (same == keys.end()) {
            for (const std::string& key : keys) seen.emplace(key, &link);
            continue;
        }
        const LinkSpec& first = *seen.at(*same);
        const bool sameName = link.tcp && Lower(first.host) == Lower(link.host);
        if (first.text == link.text)
            error = "the link " + link.text + " is given twice; give each sensor once";
        else
            error = first.text + " and " + link.text + " reach the same sensor" +
                    (!link.tcp  ? " (" + CanonicalDevice(link.device) + ")"
                     : sameName ? std::string()
                                : " (" + same->substr(4) + ")") +
                    "; give each sensor once";
        return false;
    }
    return true;
}

int CheckDevices(const std::vector<LinkSpec>& links, std::string& error) {
    for (const LinkSpec& link : links) {
        if (link.tcp) continue;
        ComOpenFailure failure;
        if (ProbeComDevice(link.device, failure) == 0) continue;
        std::string cause;
        const LinkFailure kind = DescribeComOpenFailure(failure, cause);
        error = link.text + ": " + cause;
        if (kind == kLinkNoDevice)
            error += link.comPort > 0
                         ? "; give the device itself (serial:/dev/ttyUSB0) or see sensor-tool ports"
                         : "; plug in the adapter, or see sensor-tool ports for the devices present";
        return kExitNoLink;
    }
    return kExitOk;
}

std::string LinkFileTag(const LinkSpec& link) {
    std::string tag;
    for (char c : link.text) {
        const bool keep = std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
        if (keep)
            tag += c;
        else if (tag.empty() || tag.back() != '_')
            tag += '_';
    }
    return tag;
}

std::string FileNameFor(const std::string& pattern, const LinkSpec& link, int n) {
    std::string name;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern.compare(i, 3, "{n}") == 0) {
            name += std::to_string(n);
            i += 3;
        } else if (pattern.compare(i, 6, "{link}") == 0) {
            name += LinkFileTag(link);
            i += 6;
        } else {
            name += pattern[i++];
        }
    }
    return name;
}

// --- the ports command ------------------------------------------------------------------------------------

namespace {

struct PortRow {
    std::string device, description, usb, com;
    std::string byId;  // the adapter's name whichever USB socket it is in; empty when it has none
};

std::string ComNamesOf(const std::string& device, const std::vector<fs::path>& dirs) {
    std::set<int> ports;
    int defaultPort = 0;
    if (device.starts_with("/dev/ttyS")) {
        const std::string digits = device.substr(9);
        if (!digits.empty() && digits.size() < 4 &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            defaultPort = std::stoi(digits) + 1;
    }
    const std::string canonical = CanonicalDevice(device);
    for (const fs::path& dir : dirs)
        for (int port = 1; port <= kMaxComPort; ++port) {
            const std::string target = ComLinkTarget(dir, port);
            if (target.empty() ? port == defaultPort : CanonicalDevice(target) == canonical)
                ports.insert(port);
        }
    std::string text;
    for (int port : ports) text += (text.empty() ? "COM" : ", COM") + std::to_string(port);
    return text.empty() ? "-" : text;
}

std::string Column(const std::string& text, std::size_t width) {
    std::string cell = text.empty() ? "-" : text;
    if (cell.size() < width) cell.resize(width, ' ');
    return cell;
}

}  // namespace

namespace {

// The COMn links of the working directory, which serial:COMn uses first; empty when it has none.
std::string WorkingDirectoryLinks() {
    std::error_code ec;
    const std::string dir = fs::current_path(ec).string();
    const std::vector<ComLink> links = ListComLinks(dir);
    if (links.empty()) return {};
    std::string text = "\nCOM links of the working directory " + dir + " (serial:COMn uses them first):\n";
    for (const ComLink& l : links) {
        text += "COM" + std::to_string(l.port) + "  ";
        switch (l.state) {
            case kComLinkPresent:
                text += l.target + (l.target == l.device ? "" : " (" + l.device + ")");
                break;
            case kComLinkAbsent:
                text += l.target + ", not plugged in";
                break;
            case kComLinkLoop:
                text += l.target + ", a loop of links";
                break;
            case kComLinkUnreadable:
                text += "cannot be read";
                break;
            default:
                text += "not a link";
                break;
        }
        text += "\n";
    }
    return text;
}

}  // namespace

std::string WindowComPorts(const std::string& device) {
    return ComNamesOf(device, WindowProgramDirs());
}

std::string PortsTable() {
    const std::vector<fs::path> dirs = WindowProgramDirs();
    std::vector<PortRow> rows;
    std::set<std::string> listed;
    for (const SerialDeviceInfo& d : ListSerialDevices()) {
        PortRow row{d.path, d.description, "", "", d.byId};
        if (!d.manufacturer.empty())
            row.description += (row.description.empty() ? "" : ", ") + d.manufacturer;
        if (!d.serialNumber.empty()) row.description += " (serial number " + d.serialNumber + ")";
        if (d.vendorId >= 0 && d.productId >= 0) {
            char usb[32];
            std::snprintf(usb, sizeof usb, "%04x:%04x", unsigned(d.vendorId), unsigned(d.productId));
            row.usb = usb;
        }
        listed.insert(CanonicalDevice(d.path));
        rows.push_back(row);
    }
    // Devices reached only through a COMn link (a pseudo-terminal, an adapter the system does not list).
    for (const fs::path& dir : dirs)
        for (int port = 1; port <= kMaxComPort; ++port) {
            const std::string target = ComLinkTarget(dir, port);
            std::error_code ec;
            if (target.empty() || !fs::exists(target, ec) || !listed.insert(CanonicalDevice(target)).second)
                continue;
            rows.push_back(
                {target, "linked as COM" + std::to_string(port) + " in " + dir.string(), "", "", ""});
        }
    if (rows.empty())
        return "No serial ports found. A USB serial adapter appears as /dev/ttyUSB0 or /dev/ttyACM0 once it "
               "is plugged in.\n" +
               WorkingDirectoryLinks();
    std::size_t wDevice = 6, wDescription = 11;
    for (PortRow& row : rows) {
        row.com = ComNamesOf(row.device, dirs);
        wDevice = std::max(wDevice, row.device.size());
        wDescription = std::max(wDescription, row.description.size());
    }
    std::string text = Column("DEVICE", wDevice + 2) + Column("DESCRIPTION", wDescription + 2) +
                       Column("USB ID", 11) + "WINDOW PROGRAMS\n";
    for (const PortRow& row : rows) {
        text += Column(row.device, wDevice + 2) + Column(row.description, wDescription + 2) +
                Column(row.usb, 11) + row.com + "\n";
        if (!row.byId.empty()) text += "  " + row.byId + "  (its name in any USB socket)\n";
    }
    return text + WorkingDirectoryLinks();
}
