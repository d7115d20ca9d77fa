// sensor-tool next to the scope's windows, against the same emulator: get-params writes the file the
// window's Get and Save write, and send-params leaves the sensor's memory as the window's Load and Send do.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands.h"
#include "file_size_limit.h"
#include "parameter_diff.h"
#include "parameter_files.h"
#include "scope_session.h"
#include "tool_link.h"

namespace fs = std::filesystem;

namespace {

const char* const kTooManyVectors =
    " ATTENTION! \n \n MAXVEC-No. IS TOO HIGH \n DECREASE MAXVEC-No. OR SWITCH TO OUTMODE=BINARY";

class ToolAndScope : public ScopeSession, public testing::WithParamInterface<Link> {
  protected:
    void TearDown() override {
        if (out) std::fclose(out);
        ScopeSession::TearDown();
    }

    // Runs a command of the tool in this process on the emulator the window talks to.
    int Tool(Command command, bool eeprom, const std::string& file, bool verify = false) {
        Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
        o.command = command;
        o.eeprom = eeprom;
        o.file = file;
        o.verify = verify;
        if (out) std::fclose(out);
        out = std::tmpfile();
        // The tool is a program of its own with a link of its own; the server lets one client talk to the
        // sensor, so the window lets go of it first.
        WindowLink().Close();
        return RunCommand(o, {out, out});
    }
    // record --triggered for `seconds` into trig.dat, its output to a file of the test's.
    Options TriggeredRecordFor(double seconds) {
        Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
        o.command = Command::Record;
        o.triggered = true;
        o.duration = seconds;
        o.file = ProjectFile("trig.dat");
        if (out) std::fclose(out);
        out = std::tmpfile();
        return o;
    }
    std::string Output() {
        std::string text(8192, '\0');
        std::rewind(out);
        text.resize(std::fread(text.data(), 1, text.size(), out));
        return text;
    }

    // The window's parameter-file buttons act on files once the file target is chosen.
    void WindowFile(int button, const std::string& path, const std::string& popup = {}) {
        uitest::Click(mainpanel, MAINP_SELECT_FILE);
        uitest::ExpectFileSelect(fs::exists(path) ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED, path);
        if (!popup.empty()) uitest::ExpectPopup("INFO!", popup);
        uitest::Click(mainpanel, button);
        EXPECT_EQ(uitest::PendingExpectations(), 0);
    }

    std::vector<std::uint16_t> EepromImage() const {
        std::vector<std::uint16_t> image;
        for (int w = 0; w < kImageWords; ++w) image.push_back(EepromWord(w));
        return image;
    }
    void ClearMemories() {
        for (int w = 0; w < kImageWords; ++w) {
            SetRamWord(w, 0);
            emulator->SetEepromWord(w, 0);
        }
    }

    std::FILE* out = nullptr;
};

TEST_P(ToolAndScope, GetParamsWritesTheFileTheWindowSaves) {
    StartConnected(GetParam());
    // Every word distinct, many of them values the panels have no item for, and more vectors than the
    // table has.
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, static_cast<std::uint16_t>(7 + 13 * w));
    // External teach off: on, it sets the window's trigger selector to CONT, a panel rule the tool has not.
    SetRamWord(kWordExtteach, 0);
    uitest::Click(mainpanel, MAINP_SELECT_RAM);
    uitest::ExpectPopup("INFO!", kTooManyVectors);
    uitest::Click(mainpanel, MAINP_GET);
    WindowFile(MAINP_SEND, ProjectFile("window.ini"));

    ASSERT_EQ(Tool(Command::GetParams, false, ProjectFile("tool.ini")), kExitOk);
    // What the scope's parameter file holds: one word a line, right-aligned in five characters, CR LF; the
    // vector count as both take it (31 at most) and external teach as set.
    std::string expected;
    for (int w = 0; w < kImageWords; ++w) {
        const unsigned value = w == kWordMaxNr ? 31u : w == kWordExtteach ? 0u : 7u + 13u * unsigned(w);
        char line[16];
        std::snprintf(line, sizeof line, "%5u\r\n", value);
        expected += line;
    }
    ASSERT_EQ(expected.size(), 202u * 7u);
    EXPECT_EQ(expected.substr(0, 14), "    7\r\n   20\r\n");
    EXPECT_EQ(ReadTextFile(ProjectFile("tool.ini")), expected);
    EXPECT_EQ(ReadTextFile(ProjectFile("window.ini")), expected);
}

TEST_P(ToolAndScope, SendParamsLeavesTheMemoryTheWindowLeaves) {
    StartConnected(GetParam());
    std::array<std::uint16_t, kImageWords> image{};
    for (int w = 0; w < kImageWords; ++w) image[w] = static_cast<std::uint16_t>(3 + 11 * w);
    image[kWordMaxNr] = 45;    // more vectors than the table has: both clamp it
    image[kWordExtteach] = 0;  // on, it would set the window's trigger selector to CONT
    const std::string file = ProjectFile("batch.ini");
    WriteTextFile(file, FormatParameterFile(image));

    ClearMemories();
    WindowFile(MAINP_GET, file,
               " ATTENTION! \n \n MAXVEC-No. IS TOO HIGH \n DECREASE MAXVEC-No. OR SWITCH TO OUTMODE=BINARY");
    uitest::Click(mainpanel, MAINP_SELECT_EEPROM);
    emulator->ResetCounters();
    uitest::Click(mainpanel, MAINP_SEND);
    const std::vector<int> windowOrders = Orders();
    const std::vector<std::uint16_t> windowImage = EepromImage();
    ASSERT_EQ(windowOrders.back(), 6) << "EEPROM writes end with order 6";

    ClearMemories();
    emulator->ResetCounters();
    ASSERT_EQ(Tool(Command::SendParams, true, file), kExitOk);
    const std::vector<int> orders = Orders();
    ASSERT_GT(orders.size(), windowOrders.size());
    EXPECT_EQ(std::vector<int>(orders.end() - windowOrders.size(), orders.end()), windowOrders)
        << "the same frames after the tool's own connect";
    EXPECT_EQ(EepromImage(), windowImage);
    EXPECT_EQ(EepromWord(kWordMaxNr), ClampVectorCount(45));
}

// The frames of a run: the tool's connect (50, 7) and what follows.
std::vector<int> WriteOrders(const std::vector<int>& orders) {
    std::vector<int> writes;
    for (int o : orders)
        if (o == 1 || o == 2 || o == 6) writes.push_back(o);
    return writes;
}

TEST_P(ToolAndScope, SendParamsVerifyReadsBackTheMemoryWrittenAndNamesEachDifference) {
    StartEmulator(GetParam());
    ParameterImage image{};
    for (int w = 0; w < kImageWords; ++w) image[w] = static_cast<std::uint16_t>(500 + w);
    image[kWordMaxNr] = 40;  // sent, and so compared, as 31
    const std::string file = ProjectFile("verify.ini");
    WriteTextFile(file, FormatParameterFile(image));

    for (bool eeprom : {false, true}) {
        emulator->ResetCounters();
        ASSERT_EQ(Tool(Command::SendParams, eeprom, file, true), kExitOk) << Output();
        const std::vector<int> orders = Orders();
        // 50, 7, the writes (and order 6), then the read-back: order 8 for the EEPROM, 3, 4 x 31.
        const std::size_t reads = 32 + (eeprom ? 1 : 0);
        ASSERT_EQ(orders.size(), 2 + 32 + (eeprom ? 1u : 0u) + reads);
        EXPECT_EQ(orders[orders.size() - reads], eeprom ? 8 : 3);
        EXPECT_EQ(orders.back(), 4);
    }
    EXPECT_EQ(EepromWord(kWordMaxNr), 31);

    // The sensor's reply to the read-back of the scalars comes with its power word spoiled: one
    // difference, named with the value sent and the value read.
    emulator->ResetCounters();
    emulator->SetFaults({.wrongEchoAtFrame = 2 + 32 + 1});
    EXPECT_EQ(Tool(Command::SendParams, false, file, true), kExitDiffers);
    const std::string said = Output();
    EXPECT_NE(said.find("power: file 500, sensor " + std::to_string(500 ^ 0xFF00) + "\n"), std::string::npos)
        << said;
    EXPECT_NE(said.find("1 of the 202 values in the sensor's RAM differs from what was sent"),
              std::string::npos)
        << said;
}

TEST_P(ToolAndScope, CompareParamsReadsWithoutWriting) {
    StartEmulator(GetParam());
    ParameterImage image{};
    for (int w = 0; w < kImageWords; ++w) {
        image[w] = static_cast<std::uint16_t>(3 * w);
        emulator->SetEepromWord(w, image[w]);
        SetRamWord(w, image[w]);
    }
    const std::string file = ProjectFile("compare.ini");
    WriteTextFile(file, FormatParameterFile(image));
    emulator->ResetCounters();
    EXPECT_EQ(Tool(Command::CompareParams, false, file), kExitOk) << Output();

    SetRamWord(kWordTrigger, 2);
    SetRamWord(TeachWord(30, 5), 9);
    EXPECT_EQ(Tool(Command::CompareParams, false, file), kExitDiffers);
    EXPECT_NE(
        Output().find("trigger: file 24, sensor 2\nteach row 30 column 6 (symmetry 2 tolerance): file 603, "
                      "sensor 9\n"),
        std::string::npos)
        << Output();
    EXPECT_EQ(Tool(Command::CompareParams, true, file), kExitOk) << "the EEPROM still holds the file's set";
    EXPECT_TRUE(WriteOrders(Orders()).empty()) << "nothing was written";
}

TEST(ParameterNames, EveryWordHasItsPanelName) {
    EXPECT_EQ(ParameterName(kWordPower), "power");
    EXPECT_EQ(ParameterName(kWordMaxNr), "vector count (MAXVEC-No.)");
    EXPECT_EQ(ParameterName(kWordFrei16), "spare 16");
    EXPECT_EQ(ParameterName(TeachWord(0, 0)), "teach row 0 column 1 (density)");
    EXPECT_EQ(ParameterName(TeachWord(12, 3)), "teach row 12 column 4 (symmetry 1 tolerance)");
    EXPECT_EQ(ParameterName(kImageWords - 1), "teach row 30 column 6 (symmetry 2 tolerance)");
}

// record --triggered from a sensor that breaks frames off (the first 10 bytes of a frame before its first
// frame and after every third): every whole frame is a line, in order, none is made of a broken frame and
// the next. The serial line runs at wire speed.
TEST_P(ToolAndScope, RecordTriggeredWritesTheWholeFramesOnlyWhenFramesAreBrokenOff) {
    StartEmulator(GetParam(), 100.0, true);
    emulator->SetFaults({.autoBrokenEvery = 3});
    const Options o = TriggeredRecordFor(1.0);
    ASSERT_EQ(RunCommand(o, {out, out}), kExitOk);

    const std::vector<sensor_emu::Frame> sent = emulator->AutoSentFrames();
    std::istringstream file(ReadTextFile(o.file));
    std::string line;
    std::getline(file, line);  // the header
    std::size_t lines = 0;
    while (std::getline(file, line)) {
        ASSERT_LT(lines, sent.size());
        line.pop_back();  // CR
        const std::size_t values = line.find('\t', line.find('\t') + 1) + 1;
        ASSERT_EQ(line.substr(values), LineValues(sent[lines])) << "line " << lines + 1;
        ++lines;
    }
    EXPECT_GE(lines, 30u);
}

// record --triggered sleeps while it waits for the sensor's frames, until bytes come or the bytes that came
// count as ended: a wait that passed its events every millisecond slept a thousand times a second.
TEST_P(ToolAndScope, RecordTriggeredSleepsWhileItWaitsForFrames) {
    StartEmulator(GetParam(), 20.0);
    const Options o = TriggeredRecordFor(1.0);
    const long sleeps = ThreadSleeps();  // a single link runs in the calling thread
    ASSERT_EQ(RunCommand(o, {out, out}), kExitOk);
    const long slept = ThreadSleeps() - sleeps;
    const long frames = long(emulator->AutoSentFrames().size());
    ASSERT_GE(frames, 10);
    EXPECT_LT(slept, 10 * frames) << frames << " frames";
}

// record at an interval: a request the sensor leaves unanswered ends the record without a line, so every
// line holds a frame the sensor sent (none repeats the last frame's values with a later time).
TEST_P(ToolAndScope, RecordEndsAtAnUnansweredRequestWithoutALineForIt) {
    StartEmulator(GetParam());
    Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
    o.command = Command::Record;
    o.count = 5;
    o.file = ProjectFile("rec.dat");
    out = std::tmpfile();
    // Where the measurement requests begin among the frames of a run.
    ASSERT_EQ(RunCommand(o, {out, out}), kExitOk);
    const std::vector<int> orders = Orders();
    const auto firstRequest = std::find(orders.begin(), orders.end(), 5);
    ASSERT_NE(firstRequest, orders.end());
    emulator->ResetCounters();
    // The third request of the next run goes unanswered.
    emulator->SetFaults({.silentFromFrame = int(firstRequest - orders.begin()) + 3});

    EXPECT_EQ(RunCommand(o, {out, out}), kExitSensorFailed);
    // The link's cause and what to do about it, as every other command tells them.
    EXPECT_NE(
        Output().find("no measurement frame after 2 of 5: no answer within 3 s; check that the sensor is "
                      "powered and connected"),
        std::string::npos)
        << Output();
    EXPECT_NE(Output().find("; every line in the record file holds a frame the sensor sent\n"),
              std::string::npos)
        << Output();
    std::istringstream file(ReadTextFile(o.file));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    EXPECT_EQ(lines.size(), 3u) << "the header and the two frames answered";
}

// A record file that stops taking lines (a full disk; here a file size limit) ends the record there with
// the system's reason: the sensor is not kept measuring for frames that would be lost, and no part of the
// refused line stays. A file that cannot be made is found before the sensor is asked for any frame.
TEST_P(ToolAndScope, RecordEndsAtTheFirstLineTheFileRefusesAndSaysWhy) {
    StartEmulator(GetParam());
    Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
    o.command = Command::Record;
    o.count = 50;
    o.file = ProjectFile("rec.dat");
    out = std::tmpfile();
    emulator->ResetCounters();
    // The header is 61 bytes; a line 38 to 70 (date, time, eight values of 1 to 5 digits, TABs, CR LF): one
    // line fits in 75 more bytes, two never do.
    {
        const FileSizeLimit limit(61 + 75);
        EXPECT_EQ(RunCommand(o, {out, out}), kExitBadFile);
    }
    EXPECT_NE(Output().find("cannot write " + o.file +
                            " (File too large) after 1 line; the record stopped, and the file holds every "
                            "line recorded until then"),
              std::string::npos)
        << Output();
    const std::string text = ReadTextFile(o.file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_TRUE(text.ends_with("\r\n")) << text;
    std::vector<int> orders = Orders();
    EXPECT_EQ(std::count(orders.begin(), orders.end(), 5), 2) << "the line written and the one refused";

    emulator->ResetCounters();
    std::fclose(out);
    out = std::tmpfile();
    o.file = ProjectFile("gone/rec.dat");
    EXPECT_EQ(RunCommand(o, {out, out}), kExitBadFile);
    EXPECT_NE(
        Output().find("cannot write " + o.file +
                      " (No such file or directory); check the folder, its permissions and its free space"),
        std::string::npos)
        << Output();
    orders = Orders();
    EXPECT_EQ(std::count(orders.begin(), orders.end(), 5), 0);
}

// A parameter file that does not fit (a full disk; here a file size limit) stays as it was, and the tool
// names the system's reason.
TEST_P(ToolAndScope, GetParamsThatDoesNotFitKeepsTheOldFileAndSaysWhy) {
    StartEmulator(GetParam());
    Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
    o.command = Command::GetParams;
    o.file = ProjectFile("set.ini");
    WriteTextFile(o.file, "old\r\n");
    out = std::tmpfile();
    {
        // A parameter file is 202 words of 5 characters and CR LF (1,414 bytes); the serial port's lock file,
        // written on opening it, takes about a hundred.
        const FileSizeLimit limit(1000);
        EXPECT_EQ(RunCommand(o, {out, out}), kExitBadFile);
    }
    EXPECT_NE(Output().find("cannot write " + o.file + " (File too large)\n"), std::string::npos) << Output();
    EXPECT_EQ(ReadTextFile(o.file), "old\r\n");
}

// A record appended to a file whose last line was cut short (the power failed in the middle of it) goes on
// after the last whole line: the cut piece is left out and shown, since closing it would make a whole line
// of values cut short, and its first frame is not lost in the broken line. The last frame is not followed
// by a wait for the interval.
TEST_P(ToolAndScope, RecordAppendedAfterACutLineLeavesItOut) {
    StartEmulator(GetParam());
    Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
    o.command = Command::Record;
    o.count = 1;
    o.interval = 600;
    o.append = true;
    o.file = ProjectFile("cut.dat");
    const std::string cut = "12-10-2026\t13:18:16\t661\t1040\t28";
    {
        std::ofstream file(o.file, std::ios::binary);
        file << "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n" << cut;
    }
    out = std::tmpfile();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunCommand(o, {out, out}), kExitOk) << Output();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60))
        << "no 600 s wait after the only frame";
    std::istringstream file(ReadTextFile(o.file));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r");
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), '\t'), 9) << lines[1];
    EXPECT_NE(Output().find("sensor-tool: the last line of " + o.file +
                            " was cut short (12-10-2026 13:18:16 661 1040 28): it is left out"),
              std::string::npos)
        << Output();
}

// A line that goes away in the middle of a reply is said to be gone at once, not after the reply's time
// limit as a reply that came short.
TEST_P(ToolAndScope, ALineLostInTheMiddleOfAReplyIsNamedAsSuch) {
    StartEmulator(GetParam());
    // Every reply lacks its last byte, and the line goes 100 ms after the version query's.
    emulator->SetFaults({.shortReply = true, .closeAfterFrame = 2});
    Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
    o.command = Command::Identify;
    out = std::tmpfile();
    EXPECT_EQ(RunCommand(o, {out, out}), kExitSensorFailed);
    const std::string said = Output();
    EXPECT_EQ(said.find("bytes came within"), std::string::npos) << said;
    EXPECT_NE(said.find(GetParam() == Link::Tcp ? "the server closed the connection" : "the serial device "),
              std::string::npos)
        << said;
}

INSTANTIATE_TEST_SUITE_P(Links, ToolAndScope, testing::Values(Link::Tcp, Link::Serial), LinkName);

}  // namespace
