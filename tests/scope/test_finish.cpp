// What a user expects of the scope besides its operations: the line beside the status box that says what
// the last operation did (on TCP and on the serial line), the About box on its button and F1, and the keys
// Return and Escape.
#include <gtest/gtest.h>

#include <QtGlobal>
#include <regex>

#include "about.h"
#include "operation_line.h"
#include "recorder.h"
#include "scope_session.h"

namespace {

std::string Text(int panel, int ctrl) {
    std::string text;
    GetCtrlVal(panel, ctrl, text);
    return text;
}

class Finish : public ScopeSession, public testing::WithParamInterface<Link> {
  protected:
    // What the data panel's line says after `operation`: its time (between the clock before and after) and
    // its words; the interface panel's cause box says the same.
    std::string LineAfter(const std::function<void()>& operation) {
        const std::string before = TimeStr();
        operation();
        const std::string after = TimeStr();
        const std::string line = Text(datapanel, DATAP_LAST_OPERATION);
        EXPECT_EQ(Text(interfacepanel, INTERFACEP_CAUSE), line);
        std::smatch m;
        if (!std::regex_match(line, m, std::regex(R"((\d\d:\d\d:\d\d)  (.*))"))) return "no time: " + line;
        if (before <= after) {  // else the clock passed midnight in between
            EXPECT_GE(m[1].str(), before);
            EXPECT_LE(m[1].str(), after);
        }
        EXPECT_EQ(Attribute(datapanel, DATAP_LAST_OPERATION, ATTR_TEXT_COLOR), 0x006000) << line;
        return m[2].str();
    }
};

TEST_P(Finish, EveryParameterTransferSaysWhatItDidBesideTheStatus) {
    // The connection reads the parameter set, so its line's time lies between the clock before and after it.
    EXPECT_EQ(LineAfter([this] { StartConnected(GetParam()); }), "parameter set read from RAM");
    EXPECT_EQ(LineAfter([] { uitest::Click(mainpanel, MAINP_SEND); }),
              "202 words sent to RAM, every echo checked");
    uitest::SetAndCommit(mainpanel, MAINP_SELECT_EEPROM, 1);
    EXPECT_EQ(LineAfter([] { uitest::Click(mainpanel, MAINP_SEND); }),
              "202 words sent to EEPROM, every echo checked");
    EXPECT_EQ(LineAfter([] { uitest::Click(mainpanel, MAINP_GET); }), "parameter set read from EEPROM");
    uitest::SetAndCommit(mainpanel, MAINP_SELECT_RAM, 1);
    EXPECT_EQ(LineAfter([] { uitest::Click(mainpanel, MAINP_GET); }), "parameter set read from RAM");

    const std::string file = ProjectFile("line 3.ini");
    uitest::SetAndCommit(mainpanel, MAINP_SELECT_FILE, 1);
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, file);
    EXPECT_EQ(LineAfter([] { uitest::Click(mainpanel, MAINP_SEND); }), "parameter set saved to " + file);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    EXPECT_EQ(LineAfter([] { uitest::Click(mainpanel, MAINP_GET); }), "parameter set loaded from " + file);
    EXPECT_EQ(Status(), kScopeVersion) << "the status box keeps the sensor's version";
}

TEST_P(Finish, ARecordSaysHowManyLinesWentIntoWhichFileAndStillSaysItSaved) {
    StartConnected(GetParam());
    uitest::Click(mainpanel, MAINP_RECORDER);
    const std::string file = ProjectFile("run.dat");
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, file);
    uitest::Click(recpanel, RECP_SELECT_FILE);
    uitest::SelectListItem(recpanel, RECP_MODE, 0);
    uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(0));
    uitest::SetAndCommit(recpanel, RECP_COUNT, static_cast<unsigned short>(1204));
    uitest::ExpectPopup("ATTENTION!", "Are you sure, that you have selected the right file name?", 1);
    uitest::ExpectPopup("ATTENTION!", " Make sure, that the file is not opened by any other program." +
                                          std::string(36, ' ') + "\n Otherwise it can not be saved.");
    uitest::ExpectPopup("INFO!", "File has been saved!");
    EXPECT_EQ(LineAfter([] { uitest::Click(recpanel, RECP_START); }), "record ended: 1,204 lines in " + file);
}

TEST_P(Finish, AFailedExchangeSaysItsCauseInRedOnTheDataPanelToo) {
    StartConnected(GetParam());
    sensor_emu::Faults mute;
    mute.silent = true;
    emulator->SetFaults(mute);
    const std::string before = TimeStr();
    uitest::Click(mainpanel, MAINP_GET);
    const std::string cause = Text(interfacepanel, INTERFACEP_CAUSE);
    const std::string line = Text(datapanel, DATAP_LAST_OPERATION);
    ASSERT_FALSE(cause.empty());
    EXPECT_EQ(line.substr(10), cause);
    EXPECT_GE(line.substr(0, 8), before);
    EXPECT_EQ(Attribute(datapanel, DATAP_LAST_OPERATION, ATTR_TEXT_COLOR), 0xA00000);
    EXPECT_EQ(Attribute(interfacepanel, INTERFACEP_CAUSE, ATTR_TEXT_COLOR), 0xA00000);
    EXPECT_EQ(Status(), "TIMEOUT");
}

INSTANTIATE_TEST_SUITE_P(Links, Finish, testing::Values(Link::Tcp, Link::Serial), LinkName);

class Keys : public ScopeSession {};

TEST_F(Keys, TheAboutBoxOnF1TellsVersionBuildQtProgramDirectoryAndLicence) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    SetAboutProgram("OrvaneV33");
    // F1 opens the box; what it says is matched against the text it must be below.
    uitest::ExpectPopup("About OrvaneV33", AboutText());
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_F1_VKEY), 0);
    ASSERT_EQ(uitest::Popups().size(), 1u);
    const std::string expected =
        R"(OrvaneV33 \d+\.\d+\nBuilt 20\d\d-\d\d-\d\d from commit ([0-9a-f]{10}|unknown), on Qt )" +
        std::regex_replace(std::string(qVersion()), std::regex(R"(\.)"), R"(\.)") +
        R"(\n\nProgram directory \(ComSettings\.cfg, IPComboBox\.cfg, the COMn links\):\n)" +
        projectDir.string() +
        "\n\nLicence: MIT \\(Expat\\)\\. The copyright file of the package holds its text\n"
        "\\(/usr/share/doc/colour-sensor-tools/copyright where the package is installed\\)\\.";
    EXPECT_TRUE(std::regex_match(uitest::Popups()[0].text, std::regex(expected))) << uitest::Popups()[0].text;
    uitest::ExpectPopup("INFO!", InfoButtonAbout);
    uitest::RightClick(mainpanel, MAINP_ABOUT);
}

TEST_F(Keys, EscapeClosesTheBigVectorDisplayAndTheGraphPanelButNoOtherPanel) {
    ASSERT_EQ(LoadOrvanePanels(), 0);
    DisplayOrvanePanels();
    uitest::DoubleClick(datapanel, DATAP_VEC);
    ASSERT_TRUE(uitest::IsPanelShown(colbigpanel));
    ASSERT_EQ(uitest::RealKey(colbigpanel, VAL_ESC_VKEY), 0);
    EXPECT_FALSE(uitest::IsPanelShown(colbigpanel));

    uitest::Click(datapanel, DATAP_SHOW_GRAPH);
    ASSERT_TRUE(uitest::IsPanelShown(graphpanel));
    SetActiveCtrl(graphpanel, GRAPHP_SIGNAL);
    ASSERT_EQ(uitest::RealKey(graphpanel, VAL_ESC_VKEY), 0);
    EXPECT_FALSE(uitest::IsPanelShown(graphpanel));
    EXPECT_TRUE(uitest::IsPanelShown(datapanel));

    // On the parameter panel Escape closes nothing: not the panel, not the window.
    SetActiveCtrl(parapanel, PARAP_MAX_NO);
    ASSERT_EQ(uitest::RealKey(parapanel, VAL_ESC_VKEY), 0);
    EXPECT_TRUE(uitest::IsPanelShown(parapanel));
    EXPECT_TRUE(uitest::IsPanelShown(mainpanel));
}

TEST_F(Keys, ReturnOnTheFocusedSendButtonSendsTheParameterSet) {
    StartConnected(Link::Tcp);
    emulator->ResetCounters();
    SetActiveCtrl(mainpanel, MAINP_SEND);
    ASSERT_EQ(uitest::RealKey(mainpanel, VAL_ENTER_VKEY), 0);
    EXPECT_EQ(Orders().size(), 32u);  // order 1 and the 31 teach rows
}

}  // namespace
