// sensor-tool against the emulator, next to the Morvalen windows: identify, send-table with the same table
// as the page's Send CF, exit codes of its failures, and the frame log's lines.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "child_process.h"
#include "commands.h"
#include "frame_log.h"
#include "morvalen_session.h"
#include "record_file.h"
#include "tool_link.h"

namespace fs = std::filesystem;

namespace {

class Tool : public MorvalenSession, public testing::WithParamInterface<Link> {
  protected:
    void TearDown() override {
        if (out) std::fclose(out);
        if (err) std::fclose(err);
        MorvalenSession::TearDown();
    }

    Options LinkOptions() const {
        return ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
    }

    // Runs a command in this process; its output and errors are kept.
    int Run(Options o) {
        if (!out) out = std::tmpfile();
        if (!err) err = std::tmpfile();
        return RunCommand(o, {out, err});
    }
    static std::string Text(std::FILE* f) {
        std::string text(4096, '\0');
        std::rewind(f);
        text.resize(std::fread(text.data(), 1, text.size(), f));
        return text;
    }

    // An equation file for `page` whose coefficients have more digits than the page's fields keep.
    std::string EquationFile(int page) {
        const PageDescriptor& d = *PageDescriptorFor(page);
        std::ostringstream text;
        text.precision(17);
        for (int c = 0; c < d.channelCount; ++c) {
            text << 1.234567890123e-7 * (c + 1) << "\n"
                 << -2.71828182845e-5 << "\n"
                 << 0.0123456789123 * (c + 1) << "\n"
                 << -1.41421356237 - c << "\n"
                 << 900.123456789 + 61.5 * c << "\n";
        }
        const std::string path = ProjectFile("page" + std::to_string(page) + ".equ");
        WriteTextFile(path, text.str());
        return path;
    }

    std::FILE* out = nullptr;
    std::FILE* err = nullptr;
};

TEST_P(Tool, IdentifyPrintsTheVersionModelAndPage) {
    StartEmulator(GetParam(), "QWD-HZD-NEX8 DC V3.1 2022-10-03");
    Options o = LinkOptions();
    o.command = Command::Identify;
    EXPECT_EQ(Run(o), kExitOk) << Text(err);
    EXPECT_EQ(Text(out),
              "version: QWD-HZD-NEX8 DC V3.1 2022-10-03\nsensor code: 700 (QWD-HZD-NEX8 DC)\ncompensation "
              "page: 6\n");
    EXPECT_EQ(tcpcon, 0) << "the link is closed after the command";
}

TEST_P(Tool, SendTableWritesWhatTheWindowWrites) {
    // A sensor of each page's model (sensor codes 100, 300, 400 and 700).
    const std::map<int, std::string> models = {{1, "MV-TARN3 V6.12 2024-03-11"},
                                               {2, "LUMAVEX3 V3.20 2023-02-07"},
                                               {3, "MV-TARN-PQ V1.4 2021-09-30"},
                                               {6, "QWD/HZD V3.2 2021-04-12"}};
    for (const auto& [page, model] : models) {
        const std::string equation = EquationFile(page);
        StartEmulator(GetParam(), model);
        Options o = LinkOptions();
        o.command = Command::SendTable;
        o.page = page;
        o.index = 37;
        o.file = equation;
        ASSERT_EQ(Run(o), kExitOk) << Text(err);
        const auto fromTool = emulator->WrittenTable();
        emulator->Stop();

        StartEmulator(GetParam(), model);
        WriteSettingsFor(GetParam());
        StartProgram();
        for (const CodePage& cp : kCodePages)
            if (cp.page == page) uitest::SetAndCommit(mainpanel, MAINP_SELECT_SENSOR, int(cp.code));
        const int panel = DataPanel(page);
        uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, equation);
        uitest::Click(panel, DATAP_GET_EQUATION);
        uitest::SetAndCommit(panel, DATAP_TEMP, 37);
        uitest::Click(panel, DATAP_SEND_CF);
        std::string status;
        GetCtrlVal(panel, DATAP_STATUS, status);
        ASSERT_EQ(status, "SUCCESS");
        EXPECT_EQ(emulator->WrittenTable(), fromTool) << "page " << page;
        ASSERT_FALSE(fromTool.empty());
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        CloseCom(comport);
        DiscardMorvalenPanels();
        emulator->Stop();
    }
}

// The table worked out by hand: straight drift curves, whose set points and factors integer arithmetic
// gives exactly. factor(i) = set point * 1024 / curve(i), truncated; the set point is the curve at index 37.
TEST_P(Tool, SendTableWritesTheTableWorkedOutByHand) {
    // Page 1: R = 800 + 2i (set point 874), G = 1000 - i (963), B = 500 (500); each X4, X3, X2, X1, T.
    WriteTextFile(ProjectFile("straight.equ"), "0\n0\n0\n2\n800\n0\n0\n0\n-1\n1000\n0\n0\n0\n0\n500\n");
    StartEmulator(GetParam());
    Options o = LinkOptions();
    o.command = Command::SendTable;
    o.page = 1;
    o.index = 37;
    o.file = ProjectFile("straight.equ");
    ASSERT_EQ(Run(o), kExitOk) << Text(err);
    const auto table = emulator->WrittenTable();
    ASSERT_EQ(table.size(), 300u);
    // A few by hand: R at 0: 874 * 1024 / 800 = 1118.72; at 37: 1024; at 99: 894976 / 998 = 896.77.
    // G at 0: 963 * 1024 / 1000 = 986.11; at 99: 986112 / 901 = 1094.46. B: 1024 throughout.
    EXPECT_EQ(emulator->TableWord(0x1400), 1118);
    EXPECT_EQ(emulator->TableWord(0x1400 + 37), 1024);
    EXPECT_EQ(emulator->TableWord(0x1400 + 99), 896);
    EXPECT_EQ(emulator->TableWord(0x1500), 986);
    EXPECT_EQ(emulator->TableWord(0x1500 + 37), 1024);
    EXPECT_EQ(emulator->TableWord(0x1500 + 99), 1094);
    for (unsigned i = 0; i < 100; ++i) {
        EXPECT_EQ(emulator->TableWord(std::uint16_t(0x1400 + i)), 874u * 1024u / (800u + 2u * i))
            << "R " << i;
        EXPECT_EQ(emulator->TableWord(std::uint16_t(0x1500 + i)), 963u * 1024u / (1000u - i)) << "G " << i;
        EXPECT_EQ(emulator->TableWord(std::uint16_t(0x1600 + i)), 1024u) << "B " << i;
    }
}

TEST_P(Tool, FailuresHaveTheirOwnExitCodes) {
    StartEmulator(GetParam());
    Options o = LinkOptions();
    o.command = Command::SendTable;
    o.page = 1;
    o.file = ProjectFile("missing.equ");
    EXPECT_EQ(Run(o), kExitBadFile);
    EXPECT_TRUE(emulator->Received().empty()) << "a bad file is refused before anything is sent";

    // The sensor is of page 1's model: page 6's table would be another model's, and nothing is written.
    o.file = EquationFile(6);
    o.page = 6;
    EXPECT_EQ(Run(o), kExitSensorFailed);
    EXPECT_NE(Text(err).find("the sensor is MV-TARN3 (sensor code 100), whose table is page 1, not page 6; "
                             "nothing was sent (give --page 1)"),
              std::string::npos)
        << Text(err);
    EXPECT_TRUE(emulator->WrittenTable().empty());

    o.file = EquationFile(1);
    o.page = 1;
    emulator->ResetCounters();  // frames count from here
    emulator->SetFaults({.wrongEchoAtFrame = 6});
    EXPECT_EQ(Run(o), kExitSensorFailed);
    emulator->SetFaults({.silent = true});
    o.command = Command::Identify;
    EXPECT_EQ(Run(o), kExitSensorFailed);
    EXPECT_NE(Text(err).find("did not answer the version query"), std::string::npos) << Text(err);
}

TEST_P(Tool, FrameLogNamesEachReplysOutcome) {
    StartEmulator(GetParam(), "QWD/HZD V3.2 2021-04-12");  // page 6
    const std::string log = ProjectFile("frames.log");
    Options o = LinkOptions();
    o.frameLog = log;
    o.command = Command::SendTable;
    o.page = 6;
    o.file = EquationFile(6);
    // Frames 50 and 7, then the prepare order 180, whose order word comes back inverted.
    emulator->SetFaults({.wrongEchoAtFrame = 3, .wrongEchoByte = 3});
    EXPECT_EQ(Run(o), kExitSensorFailed);
    emulator->SetFaults({.shortReply = true});
    o.command = Command::Identify;
    EXPECT_EQ(Run(o), kExitSensorFailed);
    emulator->SetFaults({.silent = true});
    EXPECT_EQ(Run(o), kExitSensorFailed);

    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::string link = GetParam() == Link::Tcp ? "127.0.0.1:" + std::to_string(emulator->TcpPort())
                                                     : "COM" + std::to_string(kSerialPort);
    auto find = [&](const std::string& part) {
        for (const auto& line : lines)
            if (line.find(part) != std::string::npos) return line;
        return std::string();
    };
    const std::string version = find(" TX " + link + " 00 55 00 07 ");
    ASSERT_FALSE(version.empty());
    // A frame that went out whole is its 36 bytes and nothing after them.
    std::istringstream sent(version.substr(version.find(link) + link.size()));
    std::vector<std::string> words{std::istream_iterator<std::string>(sent), {}};
    EXPECT_EQ(words.size(), 36u) << version;
    EXPECT_FALSE(find(" version").empty()) << "the first identification's reply";
    const std::string wrong = find(" echo wrong");
    ASSERT_FALSE(wrong.empty());
    EXPECT_NE(wrong.find(" RX " + link + " 00 AA 00 4B "), std::string::npos) << wrong;
    EXPECT_FALSE(find(" short").empty());
    EXPECT_NE(find(" time-out").find("(no bytes)"), std::string::npos);
    // Time stamps never go back.
    double last = 0.0;
    for (const auto& line : lines) {
        const double t = std::stod(line);
        EXPECT_GE(t, last) << line;
        last = t;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, Tool, testing::Values(Link::Tcp, Link::Serial), LinkName);

// --- the program itself -----------------------------------------------------------------------------------

int RunProgram(const std::string& arguments) {
    const std::string cmd = std::string(TOOL_PATH) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ToolProgram, ExitCodes) {
    EXPECT_EQ(RunProgram("--help"), kExitOk);
    EXPECT_EQ(RunProgram("send-table --help"), kExitOk);
    EXPECT_EQ(RunProgram("identify"), kExitBadArguments);
    EXPECT_EQ(RunProgram("--link tcp:127.0.0.1:1 identify"), kExitNoLink);
}

// A record that SIGTERM or SIGINT ends: the line being recorded is finished, the file holds every line, the
// tool says how many and ends with 128 + the signal's number.
TEST_F(MorvalenSession, ToolRecordEndedBySignalKeepsEveryLineAndSaysSo) {
    StartEmulator(Link::Tcp);
    const std::string link = "tcp:127.0.0.1:" + std::to_string(emulator->TcpPort());
    const std::string errors = ProjectFile("errors.txt");
    struct Case {
        int signal;
        std::vector<std::string> mode;
    };
    for (const Case& c : {Case{SIGTERM, {"--count", "65535", "--interval", "0"}},
                          Case{SIGINT, {"--triggered", "--duration", "60"}}}) {
        const std::string file = ProjectFile("record" + std::to_string(c.signal) + ".dat");
        std::vector<std::string> args = {TOOL_PATH, "--link", link, "record"};
        args.insert(args.end(), c.mode.begin(), c.mode.end());
        args.push_back(file);
        ChildProcess tool(args, {}, errors);
        auto lines = [&] {
            const std::string text = ReadTextFile(file);
            return std::count(text.begin(), text.end(), '\n');
        };
        ASSERT_TRUE(uitest::PumpUntil([&] { return lines() >= 4; }, 10.0)) << "the record runs";
        const ChildProcess::End end = tool.StopWith(c.signal, 10.0);
        ASSERT_TRUE(end.ended);
        ASSERT_TRUE(end.exited) << "killed by signal " << end.signal;
        EXPECT_EQ(end.code, 128 + c.signal);

        const std::string text = ReadTextFile(file);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n') << "no line is cut";
        std::istringstream in(text);
        std::string header, line;
        std::getline(in, header);
        EXPECT_EQ(header + "\n", RecordHeaderLine());
        int recorded = 0;
        std::size_t fields = 0;
        while (std::getline(in, line)) {
            const std::size_t n = std::count(line.begin(), line.end(), '\t') + 1;
            if (recorded++ == 0) fields = n;
            EXPECT_EQ(n, fields) << line;
        }
        const std::string said = ReadTextFile(errors);
        EXPECT_NE(said.find(std::string("stopped by ") + (c.signal == SIGINT ? "SIGINT" : "SIGTERM") +
                            " after " + std::to_string(recorded) + " lines"),
                  std::string::npos)
            << said;
    }
    // The triggered record told the sensor to stop sending by itself on its way out. The tool may end before
    // the emulator's thread has read that last frame off the connection.
    auto lastIsTheStop = [&] {
        const std::vector<sensor_emu::Frame> frames = emulator->Received();
        return !frames.empty() && frames.back()[3] == 50 && frames.back()[5] == 0;
    };
    EXPECT_TRUE(uitest::PumpUntil(lastIsTheStop, 5.0));
    const std::vector<sensor_emu::Frame> frames = emulator->Received();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back()[3], 50);
    EXPECT_EQ(frames.back()[5], 0);
}

TEST(FrameLogLine, Layout) {
    const unsigned char bytes[] = {0x00, 0xAA, 0x01, 0xFF};
    EXPECT_EQ(FrameLogLine(1234.5678, "RX", "COM5", bytes, 4, "echo good"),
              "1234.568 RX COM5 00 AA 01 FF echo good");
    EXPECT_EQ(FrameLogLine(0.0, "RX", "h:1", bytes, 0, "time-out"), "0.000 RX h:1 (no bytes) time-out");
}

}  // namespace
