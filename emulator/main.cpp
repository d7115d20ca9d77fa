// sensor-emulator: a colour sensor stand-in on TCP (loopback) and/or a pseudo-terminal serial line.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "sensor_emulator.h"

namespace {

void PrintHelp() {
    std::cout
        << "Usage: sensor-emulator [options]\n"
           "Stands in for a colour sensor: answers the 36-byte command frames on 127.0.0.1 and/or on a\n"
           "pseudo-terminal serial line until SIGINT or SIGTERM.\n\n"
           "  --model-code CODE   answer with the version text of the first model with this sensor code\n"
           "  --model-row ROW     answer with the version text of this row of the sensor table (1..13)\n"
           "  --version TEXT      answer with this version text (padded with blanks or cut to 36 bytes)\n"
           "  --tcp-port PORT     listen on 127.0.0.1:PORT (default 0: a free port)\n"
           "  --no-tcp            do not listen on TCP\n"
           "  --pty               serve a pseudo-terminal serial line\n"
           "  --link-com PATH     serve a pseudo-terminal and make PATH (e.g. <dir>/COM5) a link to it\n"
           "  --dump FILE         rewrite FILE with the table memory after every write order\n"
           "                      (one line per written word: 0xADDRESS VALUE)\n"
           "  --list-models       print the sensor table and exit\n"
           "  --help              this text\n\n"
           "On start it prints where it serves, e.g. \"tcp 127.0.0.1:40123\", \"pty /dev/pts/3\",\n"
           "\"link /tmp/COM5 -> /dev/pts/3\".\n";
}

bool ParseInt(std::string_view text, long lo, long hi, long& out) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
    out = v;
    return true;
}

int Fail(const std::string& message) {
    std::cerr << "sensor-emulator: " << message << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace sensor_emu;
    EmulatorOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        } else if (arg == "--list-models") {
            for (const auto& m : Models())
                std::cout << m.row << "\t" << m.code << "\t\"" << m.versionText << "\"\n";
            return 0;
        } else if (arg == "--model-code") {
            const char* v = value();
            const Model* m = v && ParseInt(v, 0, 65535, n) ? ModelByCode(static_cast<int>(n)) : nullptr;
            if (!m) return Fail("--model-code needs one of the sensor codes (see --list-models)");
            options.versionText = m->versionText;
        } else if (arg == "--model-row") {
            const char* v = value();
            const Model* m = v && ParseInt(v, 0, 1000, n) ? ModelByRow(static_cast<int>(n)) : nullptr;
            if (!m) return Fail("--model-row needs a row of the sensor table (see --list-models)");
            options.versionText = m->versionText;
        } else if (arg == "--version") {
            const char* v = value();
            if (!v) return Fail("--version needs a text");
            options.versionText = v;
        } else if (arg == "--tcp-port") {
            const char* v = value();
            if (!v || !ParseInt(v, 0, 65535, n)) return Fail("--tcp-port needs a port number 0..65535");
            options.tcpPort = static_cast<std::uint16_t>(n);
        } else if (arg == "--no-tcp") {
            options.tcp = false;
        } else if (arg == "--pty") {
            options.pty = true;
        } else if (arg == "--link-com") {
            const char* v = value();
            if (!v) return Fail("--link-com needs a path");
            options.pty = true;
            options.ptyLink = v;
        } else if (arg == "--dump") {
            const char* v = value();
            if (!v) return Fail("--dump needs a file name");
            options.dumpFile = v;
        } else {
            return Fail("unknown option " + std::string(arg) + " (try --help)");
        }
    }
    if (!options.tcp && !options.pty) return Fail("nothing to serve: --no-tcp without --pty");

    // The signals are taken by sigwait below, never by a handler, so the serving thread is not disturbed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SensorEmulator emulator(options);
    std::string error;
    if (!emulator.Start(&error)) return Fail(error);
    if (emulator.TcpPort()) std::cout << "tcp 127.0.0.1:" << emulator.TcpPort() << "\n";
    if (!emulator.PtyPath().empty()) std::cout << "pty " << emulator.PtyPath() << "\n";
    if (!options.ptyLink.empty())
        std::cout << "link " << options.ptyLink << " -> " << emulator.PtyPath() << "\n";
    std::cout << "version \"" << options.versionText << "\"" << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    emulator.Stop();
    return 0;
}
