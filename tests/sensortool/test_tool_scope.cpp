// sensor-tool next to the scope's windows, against the same emulator: get-params writes the file the
// window's Get and Save write, and send-params leaves the sensor's memory as the window's Load and Send do.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "commands.h"
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
    int Tool(Command command, bool eeprom, const std::string& file) {
        Options o = ToolLinkOptions(GetParam() == Link::Tcp, emulator->TcpPort(), kSerialPort);
        o.command = command;
        o.eeprom = eeprom;
        o.file = file;
        if (!out) out = std::tmpfile();
        return RunCommand(o, {out, out});
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
    const std::string tool = ReadTextFile(ProjectFile("tool.ini"));
    ASSERT_FALSE(tool.empty());
    EXPECT_EQ(tool, ReadTextFile(ProjectFile("window.ini")));
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

INSTANTIATE_TEST_SUITE_P(Links, ToolAndScope, testing::Values(Link::Tcp, Link::Serial), LinkName);

}  // namespace
