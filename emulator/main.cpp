// sensor-emulator: a colour sensor stand-in on TCP (loopback) and/or a pseudo-terminal serial line.
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "build_info.h"
#include "sensor_emulator.h"

namespace {

// Fault options: each sets one frame number of sensor_emu::Faults.
struct FaultOption {
    std::string_view name;
    int sensor_emu::Faults::*field;
    std::string_view help;
};
constexpr FaultOption kFaultOptions[] = {
    {"--silent-from", &sensor_emu::Faults::silentFromFrame, "answer nothing from request frame N on"},
    {"--silent-at", &sensor_emu::Faults::silentAtFrame, "do not answer request frame N"},
    {"--wrong-echo", &sensor_emu::Faults::wrongEchoAtFrame, "invert byte 4 of the reply to frame N"},
    {"--wrong-marker", &sensor_emu::Faults::wrongMarkerAtFrame, "reply to frame N with 0x00A5 in word 0"},
    {"--wrong-order", &sensor_emu::Faults::wrongOrderAtFrame, "reply to frame N with word 1 one higher"},
    {"--bad-row", &sensor_emu::Faults::badRowAtFrame, "reply to frame N with row 31 in word 2"},
    {"--auto-double", &sensor_emu::Faults::autoDoubleAt,
     "send auto-sent frames N and N+1 back to back, in one write"},
    {"--auto-wrong-marker", &sensor_emu::Faults::autoWrongMarkerAt, "auto-sent frame N has 0x00A5 in word 0"},
    {"--auto-broken", &sensor_emu::Faults::autoBrokenEvery,
     "before auto-sent frame 1 and every Nth after it, send the\n"
     "                        first bytes of a frame broken off (--auto-broken-bytes)"},
};

void PrintHelp() {
    std::cout
        << "Usage: sensor-emulator [options]\n"
           "Stands in for a colour sensor: answers the 36-byte command frames on 127.0.0.1 and/or on a\n"
           "pseudo-terminal serial line until SIGINT or SIGTERM.\n\n"
           "  --model-code CODE   answer with the version text of the first model with this sensor code\n"
           "  --model-row ROW     answer with the version text of this row of the sensor table (1..13)\n"
           "  --version-text TEXT answer with this version text (padded with blanks or cut to 36 bytes)\n"
           "  --tcp-port PORT     listen on 127.0.0.1:PORT (default 0: a free port)\n"
           "  --no-tcp            do not listen on TCP\n"
           "  --pty               serve a pseudo-terminal serial line\n"
           "  --link-com PATH     serve a pseudo-terminal and make PATH (e.g. <dir>/COM5) a link to it\n"
           "  --dump FILE         rewrite FILE with the table memory after every write order\n"
           "                      (one line per written word: 0xADDRESS VALUE)\n"
           "  --param-dump FILE   write FILE with the parameter memory now and after every order 1, 2, 6\n"
           "                      (one line per word: WORD NAME RAM EEPROM)\n"
           "  --seed N            seed of the measurement noise (default 1)\n"
           "  --frame-step MS     move the colour target on by MS milliseconds per measurement frame\n"
           "                      instead of with the clock (repeatable frames)\n"
           "  --auto-rate FPS     frames per second while auto-sending (order 50; default 20, 0.1..1000)\n"
           "  --baud RATE         the sensor's serial rate (9600, 19200, 38400, 57600, 115200): the serial\n"
           "                      line answers only while the program runs it at this rate (order 190\n"
           "                      changes it; without --baud any rate is answered until then)\n"
           "  --noise-at-wrong-rate  with --baud: a request at another rate is answered with what a\n"
           "                      line at the wrong rate delivers (the version reply's bits as a receiver\n"
           "                      at the program's rate decodes them), not with silence\n"
           "  --wire-speed        the serial line takes as long as a real one: each byte 10 bits at the\n"
           "                      rate the program set, both ways (the pseudo-terminal alone passes\n"
           "                      bytes at memory speed)\n"

           "  --list-models       print the sensor table and exit\n"
           "  --help              this text\n"
           "  --version           print the program's version and exit\n\n"
           "Faults, N counting request frames from 1 (auto-sent frames from the start of auto-sending):\n";
    for (const auto& f : kFaultOptions) {
        std::string left = "  " + std::string(f.name) + " N";
        left.resize(std::max<std::size_t>(left.size() + 1, 24), ' ');
        std::cout << left << f.help << "\n";
    }
    std::cout << "  --auto-broken-bytes B how many bytes of each broken frame --auto-broken sends (1..35;\n"
                 "                        default 10)\n"
                 "  --wrong-echo-of-order ORDER  reply to every frame of this order (1..65535) with word 1\n"
                 "                        one higher: --wrong-echo-of-order 6 fails every EEPROM store\n"
                 "  --echo-compared-only  echoes repeat the request only in the words the programs compare\n"
                 "                        (order 6, 8, 180: the order word; 2: the row and three values;\n"
                 "                        190: the rate; 182: address, count and values; 1: all of it)\n"
                 "                        and invert every byte after them\n";
    std::cout << "\nLine noise on what the sensor sends (replies and auto-sent frames, TCP and serial):\n"
                 "  --noise PERCENT       make this share of the bytes faulty (0..100, e.g. 1)\n"
                 "  --noise-modes LIST    which faults, comma-separated: drop, alter, insert, pause (all)\n"
                 "  --noise-pause MS      the length of a pause (default 30)\n"
                 "  SIGUSR1 stops the noise, SIGUSR2 starts it again; at the end the emulator prints\n"
                 "  what the noise did (\"noise: D dropped, A altered, I inserted, P pauses\").\n";
    std::cout << "\nThe parameter memory and measurement frames (orders 1-6, 8, 50, 190) are always served;\n"
                 "--model-code 601 answers the version query as the scope's sensor does.\n"
                 "On start it prints where it serves, e.g. \"tcp 127.0.0.1:40123\", \"pty /dev/pts/3\",\n"
                 "\"link /tmp/COM5 -> /dev/pts/3\".\n";
}

bool ParseDouble(std::string_view text, double lo, double hi, double& out) {
    const std::string s(text);
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || errno != 0 || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
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

bool ParseNoiseModes(std::string_view text, unsigned& modes) {
    modes = 0;
    while (!text.empty()) {
        const std::size_t comma = std::min(text.find(','), text.size());
        const std::string_view name = text.substr(0, comma);
        if (name == "drop")
            modes |= sensor_emu::kNoiseDrop;
        else if (name == "alter")
            modes |= sensor_emu::kNoiseAlter;
        else if (name == "insert")
            modes |= sensor_emu::kNoiseInsert;
        else if (name == "pause")
            modes |= sensor_emu::kNoisePause;
        else
            return false;
        text.remove_prefix(std::min(comma + 1, text.size()));
    }
    return modes != 0;
}

int Fail(const std::string& message) {
    std::cerr << "sensor-emulator: " << message << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace sensor_emu;
    EmulatorOptions options;
    Faults faults;
    if (PrintVersionIfAsked(argc, argv, "sensor-emulator")) return 0;
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
        } else if (arg == "--version-text") {
            const char* v = value();
            if (!v) return Fail("--version-text needs a text");
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
        } else if (arg == "--param-dump") {
            const char* v = value();
            if (!v) return Fail("--param-dump needs a file name");
            options.parameterDumpFile = v;
        } else if (arg == "--seed") {
            const char* v = value();
            if (!v || !ParseInt(v, 0, 4294967295L, n)) return Fail("--seed needs a number 0..4294967295");
            options.simulation.seed = static_cast<std::uint32_t>(n);
        } else if (arg == "--frame-step") {
            const char* v = value();
            if (!v || !ParseInt(v, 1, 60000, n)) return Fail("--frame-step needs milliseconds 1..60000");
            options.simulation.frameStepUs = n * 1000;
        } else if (arg == "--auto-rate") {
            const char* v = value();
            if (!v || !ParseDouble(v, 0.1, 1000.0, options.autoSendHz))
                return Fail("--auto-rate needs frames per second 0.1..1000");
        } else if (arg == "--baud") {
            const char* v = value();
            long baud = 0;
            if (v && ParseInt(v, 1, 1000000, n))
                for (std::uint16_t k = 0; BaudOfIndex(k) != 0; ++k)
                    if (BaudOfIndex(k) == n) baud = n;
            if (baud == 0) return Fail("--baud needs one of 9600, 19200, 38400, 57600, 115200");
            options.serialBaud = baud;
        } else if (arg == "--noise-at-wrong-rate") {
            options.noiseAtWrongRate = true;
        } else if (arg == "--wire-speed") {
            options.wireSpeed = true;
        } else if (arg == "--noise") {
            const char* v = value();
            double percent = 0.0;
            if (!v || !ParseDouble(v, 0.0, 100.0, percent)) return Fail("--noise needs a percentage 0..100");
            faults.noiseRate = percent / 100.0;
        } else if (arg == "--noise-modes") {
            const char* v = value();
            if (!v || !ParseNoiseModes(v, faults.noiseModes))
                return Fail("--noise-modes needs a list of drop, alter, insert, pause (e.g. drop,alter)");
        } else if (arg == "--noise-pause") {
            const char* v = value();
            if (!v || !ParseInt(v, 0, 60000, n)) return Fail("--noise-pause needs milliseconds 0..60000");
            faults.noisePauseMs = static_cast<int>(n);
        } else if (arg == "--auto-broken-bytes") {
            const char* v = value();
            if (!v || !ParseInt(v, 1, 35, n)) return Fail("--auto-broken-bytes needs a byte count 1..35");
            faults.autoBrokenBytes = static_cast<int>(n);
        } else if (arg == "--wrong-echo-of-order") {
            const char* v = value();
            if (!v || !ParseInt(v, 1, 65535, n)) return Fail("--wrong-echo-of-order needs an order 1..65535");
            faults.wrongEchoOfOrder = static_cast<int>(n);
        } else if (arg == "--echo-compared-only") {
            faults.echoComparedOnly = true;
        } else if (const auto* fault = std::find_if(std::begin(kFaultOptions), std::end(kFaultOptions),
                                                    [&](const FaultOption& o) { return o.name == arg; });
                   fault != std::end(kFaultOptions)) {
            const char* v = value();
            if (!v || !ParseInt(v, 1, 1000000000, n))
                return Fail(std::string(arg) + " needs a frame number 1..1000000000");
            faults.*(fault->field) = static_cast<int>(n);
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
    sigaddset(&stopSignals, SIGUSR1);
    sigaddset(&stopSignals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SensorEmulator emulator(options);
    emulator.SetFaults(faults);
    std::string error;
    if (!emulator.Start(&error)) return Fail(error);
    if (emulator.TcpPort()) std::cout << "tcp 127.0.0.1:" << emulator.TcpPort() << "\n";
    if (!emulator.PtyPath().empty()) std::cout << "pty " << emulator.PtyPath() << "\n";
    if (!options.ptyLink.empty())
        std::cout << "link " << options.ptyLink << " -> " << emulator.PtyPath() << "\n";
    std::cout << "version \"" << options.versionText << "\"" << std::endl;

    const double noiseRate = faults.noiseRate;
    for (int signal = 0; sigwait(&stopSignals, &signal) == 0;) {
        if (signal != SIGUSR1 && signal != SIGUSR2) break;
        Faults now = emulator.GetFaults();
        now.noiseRate = signal == SIGUSR1 ? 0.0 : noiseRate;
        emulator.SetFaults(now);
        std::cout << (signal == SIGUSR1 ? "noise off" : "noise on") << std::endl;
    }
    emulator.Stop();
    if (noiseRate > 0.0) {
        const NoiseCounts c = emulator.Noise();
        std::cout << "noise: " << c.dropped << " dropped, " << c.altered << " altered, " << c.inserted
                  << " inserted, " << c.pauses << " pauses" << std::endl;
    }
    return 0;
}
