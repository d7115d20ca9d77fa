// What a user expects of the Morvalen tool besides its operations: the line on the page that says what the
// last operation did (on TCP and on the serial line), the About box, and Escape on the interface panel.
#include <gtest/gtest.h>

#include <regex>

#include "about.h"
#include "morvalen_session.h"

namespace {

std::string Text(int panel, int ctrl) {
    std::string text;
    GetCtrlVal(panel, ctrl, text);
    return text;
}

class Finish : public MorvalenSession, public testing::WithParamInterface<Link> {
  protected:
    // The words of the line on `page` after `operation`, once its time is found between the clock before
    // and after; the interface panel's cause box says the same.
    std::string LineAfter(int page, const std::function<void()>& operation) {
        const std::string before = TimeStr();
        operation();
        const std::string after = TimeStr();
        const std::string line = Text(DataPanel(page), DATAP_LAST_OPERATION);
        EXPECT_EQ(Text(interfacepanel, INTERFACEP_CAUSE), line);
        std::smatch m;
        if (!std::regex_match(line, m, std::regex(R"((\d\d:\d\d:\d\d)  (.*))"))) return "no time: " + line;
        if (before <= after) {  // else the clock passed midnight in between
            EXPECT_GE(m[1].str(), before);
            EXPECT_LE(m[1].str(), after);
        }
        return m[2].str();
    }
    std::string LinkOfTheRun() const {
        return GetParam() == Link::Tcp ? "127.0.0.1:" + std::to_string(emulator->TcpPort())
                                       : "COM" + std::to_string(kSerialPort);
    }
};

TEST_P(Finish, TheConnectionAndSendCFSayWhatTheyDidOnThePageShown) {
    // The connection is the operation, so its line's time lies between the clock before and after it.
    const std::string line = LineAfter(1, [this] { StartConnected(GetParam()); });
    EXPECT_EQ(line, "the sensor answered on " + LinkOfTheRun());  // the emulator exists only now
    EXPECT_EQ(LineAfter(1, [] { uitest::Click(DataPanel(1), DATAP_SEND_CF); }),
              "table written to page 1: 300 words");
    EXPECT_EQ(Text(DataPanel(1), DATAP_STATUS), "SUCCESS") << "the page status stays as it was";
}

TEST_P(Finish, APageOfEightyIndicesPerChannelSaysItsOwnCount) {
    StartConnected(GetParam(), "LUMAVEX3 V3.1");
    EXPECT_EQ(LineAfter(2, [] { uitest::Click(DataPanel(2), DATAP_SEND_CF); }),
              "table written to page 2: 240 words");
    // Another page shown carries the same line.
    uitest::SelectListItem(mainpanel, MAINP_SELECT_SENSOR, 0);
    EXPECT_EQ(Text(DataPanel(1), DATAP_LAST_OPERATION), Text(DataPanel(2), DATAP_LAST_OPERATION));
}

TEST_P(Finish, EquationFilesSavedAndLoadedAreNamed) {
    StartConnected(GetParam());
    const std::string file = ProjectFile("drift.equ");
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, file);
    EXPECT_EQ(LineAfter(1, [] { uitest::Click(DataPanel(1), DATAP_SAVE_EQUATION); }),
              "equations saved to " + file);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    EXPECT_EQ(LineAfter(1, [] { uitest::Click(DataPanel(1), DATAP_GET_EQUATION); }),
              "equations loaded from " + file);
}

INSTANTIATE_TEST_SUITE_P(Links, Finish, testing::Values(Link::Tcp, Link::Serial), LinkName);

class Shell : public MorvalenSession {};

TEST_F(Shell, TheAboutButtonTellsVersionBuildQtProgramDirectoryAndLicence) {
    ASSERT_EQ(LoadMorvalenPanels(), 0);
    DisplayPanel(mainpanel);
    SetAboutProgram("MorvalenV15");
    uitest::ExpectPopup("About MorvalenV15", AboutText());  // what it says is matched below
    uitest::Click(mainpanel, MAINP_ABOUT);
    ASSERT_EQ(uitest::Popups().size(), 1u);
    EXPECT_EQ(uitest::Popups()[0].title, "About MorvalenV15");
    const std::string& text = uitest::Popups()[0].text;
    EXPECT_TRUE(
        std::regex_search(text, std::regex(R"(^MorvalenV15 \d+\.\d+\nBuilt 20\d\d-\d\d-\d\d from commit )")))
        << text;
    EXPECT_NE(text.find("\nProgram directory (ComSettings.cfg, IPComboBox.cfg, the COMn links):\n" +
                        projectDir.string() + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Licence: MIT (Expat)"), std::string::npos) << text;
}

TEST_F(Shell, EscapeClosesTheInterfacePanelAsItsCloseBoxDoes) {
    StartConnected(Link::Tcp);
    uitest::Click(mainpanel, MAINP_CONNECT);
    ASSERT_TRUE(uitest::IsPanelShown(interfacepanel));
    SetActiveCtrl(interfacepanel, INTERFACEP_PORTNUMBER);
    ASSERT_EQ(uitest::RealKey(interfacepanel, VAL_ESC_VKEY), 0);
    EXPECT_FALSE(uitest::IsPanelShown(interfacepanel));
    EXPECT_TRUE(uitest::IsPanelShown(mainpanel));
}

}  // namespace
