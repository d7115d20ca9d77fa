// The Morvalen shell in the build this test is linked with (V1.5 or V1.4): sensor identification, the page
// switch, the panel set, the logo and the start-up failure path.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "com232.h"
#include "interface_panel.h"
#include "logo.h"
#include "morvalen.h"
#include "ui_test.h"

namespace fs = std::filesystem;

namespace {

const bool kIsV15 = kBuild.pageCount == 7;

// --- identification from the version text (no panels) ---------------------------------------------------

TEST(Identification, FragmentAnywhereInTheText) {
    EXPECT_EQ(IdentifySensor("PLRX2704 V6.03 build 7", 0), 200);
    EXPECT_EQ(IdentifySensor("xx MV-TARN3 V6.1", 0), 100);
    EXPECT_EQ(IdentifySensor("LUMAVEX3 V3.9", 0), 300);
    EXPECT_EQ(IdentifySensor("KTM-PQ V4.0", 0), 500);
}

TEST(Identification, SimilarFragmentsAreTellApart) {
    // "ORVANE V3." does not occur inside "ORVANE2 V3.1".
    EXPECT_EQ(IdentifySensor("ORVANE2 V3.1x", 0), 600);
    EXPECT_EQ(IdentifySensor("ORVANE V3.7", 0), 601);
    EXPECT_EQ(IdentifySensor("ORVANE V3", 0), 0) << "fragment needs its dot";
}

TEST(Identification, LaterRowWins) {
    // Rows 1 and 6 both match; row 6 is later.
    EXPECT_EQ(IdentifySensor("KTM-PQ V4.1 MV-TARN3 V6.2", 0), 500);
    EXPECT_EQ(IdentifySensor("QWD/HZD V2.0 LUMAVEX3 V3.0", 0), 700);
}

TEST(Identification, RowsOnlyInTheNewerBuild) {
    const std::uint16_t keep = 300;
    EXPECT_EQ(IdentifySensor("QWD-HZD-NEX8 DC V3.2", keep), kIsV15 ? 700 : keep);
    EXPECT_EQ(IdentifySensor("QWD-HZD-NEX8 AC V3.2", keep), kIsV15 ? 700 : keep);
    EXPECT_EQ(IdentifySensor("MV-NEX8 V1.0", keep), kIsV15 ? 800 : keep);
}

TEST(Identification, NoMatchKeepsTheCode) {
    EXPECT_EQ(IdentifySensor("UNKNOWN SENSOR", 0), 0);
    EXPECT_EQ(IdentifySensor("UNKNOWN SENSOR", 400), 400);
    EXPECT_EQ(IdentifySensor("mv-tarn3 v6.1", 0), 0) << "the search is case-sensitive";
}

TEST(Identification, PageTable) {
    EXPECT_EQ(PageForSensorCode(100), 1);
    EXPECT_EQ(PageForSensorCode(200), 1);
    EXPECT_EQ(PageForSensorCode(300), 2);
    EXPECT_EQ(PageForSensorCode(400), 3);
    EXPECT_EQ(PageForSensorCode(500), 4);
    EXPECT_EQ(PageForSensorCode(600), 5);
    EXPECT_EQ(PageForSensorCode(601), 5);
    EXPECT_EQ(PageForSensorCode(700), 6);
    EXPECT_EQ(PageForSensorCode(800), kIsV15 ? 7 : 0);
    EXPECT_EQ(PageForSensorCode(0), 0);
    EXPECT_EQ(PageForSensorCode(101), 0);
}

// --- the panel set ---------------------------------------------------------------------------------------

class Shell : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        selSensor = 0;  // as after start
        ASSERT_EQ(LoadMorvalenPanels(), 0);
    }
    void TearDown() override {
        DiscardMorvalenPanels();
        UiTest::TearDown();
    }

    // Identification as it runs after a version query.
    void Identify(const char* text) {
        std::snprintf(version, sizeof version, "%s", text);
        SetChildPanel();
    }

    std::vector<int> VisiblePages() {
        std::vector<int> pages;
        for (int p = 1; p <= kBuild.pageCount; ++p) {
            int visible = 0;
            GetPanelAttribute(DataPanel(p), ATTR_PANEL_VISIBLE, visible);
            if (visible) pages.push_back(p);
        }
        return pages;
    }

    int SelectorValue() {
        int value = -1;
        GetCtrlVal(mainpanel, MAINP_SELECT_SENSOR, value);
        return value;
    }
};

TEST_F(Shell, PagesSitInsideTheMainPanelHiddenAtStart) {
    for (int p = 1; p <= 7; ++p) {
        if (p > kBuild.pageCount) {
            EXPECT_EQ(DataPanel(p), 0);
            continue;
        }
        ASSERT_GT(DataPanel(p), 0);
        int parent = 0, top = 0, left = 0;
        GetPanelAttribute(DataPanel(p), ATTR_PANEL_PARENT, parent);
        GetPanelAttribute(DataPanel(p), ATTR_PANEL_TOP, top);
        GetPanelAttribute(DataPanel(p), ATTR_PANEL_LEFT, left);
        EXPECT_EQ(parent, mainpanel);
        EXPECT_EQ(top, 105);
        EXPECT_EQ(left, 8);
    }
    EXPECT_TRUE(VisiblePages().empty());
    EXPECT_FALSE(uitest::IsPanelShown(interfacepanel));
    std::string title;
    GetPanelAttribute(mainpanel, ATTR_PANEL_TITLE, title);
    EXPECT_EQ(title, kBuild.title);
}

TEST_F(Shell, SelectorOffersEveryCodeOfTheBuild) {
    std::vector<int> codes;
    int count = 0;
    GetNumListItems(mainpanel, MAINP_SELECT_SENSOR, count);
    for (int i = 0; i < count; ++i) {
        int value = 0;
        GetValueFromIndex(mainpanel, MAINP_SELECT_SENSOR, i, value);
        codes.push_back(value);
    }
    std::vector<int> expected = {100, 200, 300, 400, 500, 600, 601, 700};
    if (kIsV15) expected.push_back(800);
    EXPECT_EQ(codes, expected);
}

TEST_F(Shell, IdentificationSelectsCodeAndShowsItsPage) {
    Identify("PLRX2704 V6.11 2023");
    EXPECT_EQ(selSensor, 200);
    EXPECT_EQ(SelectorValue(), 200);
    EXPECT_EQ(VisiblePages(), std::vector<int>{1});

    Identify("ORVANE2 V3.1");
    EXPECT_EQ(selSensor, 600);
    EXPECT_EQ(VisiblePages(), std::vector<int>{5});

    Identify("QWD/HZD V3.0");
    EXPECT_EQ(VisiblePages(), std::vector<int>{6}) << "the page switch hides the previous page";
}

TEST_F(Shell, UnknownTextAtFirstConnectionKeepsCodeAndSelectorItem) {
    const int before = SelectorValue();
    Identify("NO SUCH MODEL V9.9");
    // The selector decides the page: its current item stays, and that item's page is shown.
    EXPECT_EQ(SelectorValue(), before);
    EXPECT_EQ(selSensor, before);
    EXPECT_EQ(VisiblePages(), std::vector<int>{PageForSensorCode(static_cast<std::uint16_t>(before))});
}

TEST_F(Shell, UnknownTextAfterAnIdentificationKeepsThatPage) {
    Identify("MV-TARN-PQ V1.2");
    Identify("garbage");
    EXPECT_EQ(selSensor, 400);
    EXPECT_EQ(VisiblePages(), std::vector<int>{3});
}

TEST_F(Shell, NewestModelOnlyInV15) {
    Identify("LUMAVEX3 V3.0");
    Identify("MV-NEX8 V1.4");
    if (kIsV15) {
        EXPECT_EQ(selSensor, 800);
        EXPECT_EQ(VisiblePages(), std::vector<int>{7});
        Identify("LUMAVEX3 V3.0");
        EXPECT_EQ(VisiblePages(), std::vector<int>{2}) << "switching from 800 to 300 hides page 7";
    } else {
        EXPECT_EQ(selSensor, 300);
        EXPECT_EQ(VisiblePages(), std::vector<int>{2});
    }
}

TEST_F(Shell, VersionTextWithoutZeroByteIsBounded) {
    // 36 text bytes with no terminator from the wire: the text ends after them.
    std::memset(szReadBuf, 'A', 36);
    std::memcpy(szReadBuf, "KTM-PQ V4.", 10);
    std::memcpy(version, szReadBuf, 36);
    version[36] = '\0';
    SetChildPanel();
    EXPECT_EQ(selSensor, 500);
}

TEST_F(Shell, SelectorChoiceSwitchesPageAtAnyTime) {
    Identify("MV-TARN3 V6.0");
    int index = -1;
    GetIndexFromValue(mainpanel, MAINP_SELECT_SENSOR, index, 700);
    ASSERT_GE(index, 0);
    ASSERT_EQ(uitest::SelectListItem(mainpanel, MAINP_SELECT_SENSOR, index), 0);
    EXPECT_EQ(selSensor, 700);
    EXPECT_EQ(VisiblePages(), std::vector<int>{6});
}

TEST_F(Shell, SelectorHelpOnRightClick) {
    uitest::ExpectPopup("INFO!", "Select the sensor for temperature compensation.");
    uitest::RightClick(mainpanel, MAINP_SELECT_SENSOR);
    EXPECT_TRUE(VisiblePages().empty()) << "help does not switch pages";
}

TEST_F(Shell, ClosingTheMainPanelEndsTheEventLoop) {
    DisplayPanel(mainpanel);
    PostDeferredCallToThread([](void*) { uitest::ClosePanel(mainpanel); }, nullptr);
    EXPECT_EQ(RunUserInterface(), 0);
}

// --- the logo area ---------------------------------------------------------------------------------------

// The logo's texts are the controls made after the panel's own ones.
std::vector<std::string> LogoTexts() {
    // The first id past the logo's texts ends the list.
    uitest::AllowPlatformErrors end("GetCtrlVal", UIEInvalidControl);
    std::vector<std::string> texts;
    for (int id = MAINP_LOGO_PICTURE + 1; id < MAINP_LOGO_PICTURE + 10; ++id) {
        std::string text;
        if (GetCtrlVal(mainpanel, id, text) < 0) break;
        texts.push_back(text);
    }
    return texts;
}

// The program's start-up, with a serial link that leads nowhere (COM1 links to a missing device): the logo
// comes from what the program itself sets up.
void StartUpWithoutSensor(const fs::path& projectDir) {
    fs::create_symlink(projectDir / "no-device", projectDir / "COM1");
    InitAll();
}

TEST_F(Shell, LogoBrandZeroShowsTitleOnly) {
    StartUpWithoutSensor(projectDir);
    EXPECT_EQ(LogoTexts(), std::vector<std::string>{kBuild.title});
    const int title = MAINP_LOGO_PICTURE + 1;
    int color = 0, bg = 0, left = 0, top = 0, size = 0;
    GetCtrlAttribute(mainpanel, title, ATTR_TEXT_COLOR, color);
    GetCtrlAttribute(mainpanel, title, ATTR_TEXT_BGCOLOR, bg);
    GetCtrlAttribute(mainpanel, title, ATTR_LEFT, left);
    GetCtrlAttribute(mainpanel, title, ATTR_TOP, top);
    GetCtrlAttribute(mainpanel, title, ATTR_TEXT_POINT_SIZE, size);
    EXPECT_EQ(color, 0x000000);
    EXPECT_EQ(bg, 0xFFFFFF);
    EXPECT_EQ(left, 240);
    EXPECT_EQ(top, 20);
    EXPECT_EQ(size, 22);
    int pictureLeft = 0, box = 0;
    GetCtrlAttribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_LEFT, pictureLeft);
    GetCtrlAttribute(mainpanel, MAINP_LOGO_BOX, ATTR_FRAME_COLOR, box);
    EXPECT_EQ(pictureLeft, 800);
    EXPECT_EQ(box, 0xFFFFFF);
}

// The brand table itself, on this panel (the scope's start-up draws brand 5 on its own panel).
TEST_F(Shell, LogoBrandFiveShowsBitmapAndContactLinesInWhite) {
    SetLogoProfile({mainpanel, MAINP_LOGO_BOX, MAINP_LOGO_PICTURE, "ORVANE-Scope V3.3", 12, 280});
    ShowLogo(5);
    auto texts = LogoTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "ORVANE-Scope V3.3");
    for (int id = MAINP_LOGO_PICTURE + 1; id <= MAINP_LOGO_PICTURE + 4; ++id) {
        int color = 0, bg = 0;
        GetCtrlAttribute(mainpanel, id, ATTR_TEXT_COLOR, color);
        GetCtrlAttribute(mainpanel, id, ATTR_TEXT_BGCOLOR, bg);
        EXPECT_EQ(color, 0xFFFFFF);
        EXPECT_EQ(bg, VAL_TRANSPARENT);
    }
    int box = 0, top = 0, left = 0;
    GetCtrlAttribute(mainpanel, MAINP_LOGO_BOX, ATTR_FRAME_COLOR, box);
    GetCtrlAttribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_TOP, top);
    GetCtrlAttribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_LEFT, left);
    EXPECT_EQ(box, 0x0080FF);
    EXPECT_EQ(top, 6);
    EXPECT_EQ(left, 325);
}

TEST_F(Shell, LogoOutsideTheTableDrawsNothing) {
    // The program's own logo settings, as start-up leaves them.
    StartUpWithoutSensor(projectDir);
    const std::vector<std::string> textsBefore = LogoTexts();
    int boxBefore = 0, leftBefore = 0;
    GetCtrlAttribute(mainpanel, MAINP_LOGO_BOX, ATTR_FRAME_COLOR, boxBefore);
    GetCtrlAttribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_LEFT, leftBefore);
    ShowLogo(11);  // the scope's brand, outside this program's table
    ShowLogo(-1);
    EXPECT_EQ(LogoTexts(), textsBefore);
    int box = 0, left = 0;
    GetCtrlAttribute(mainpanel, MAINP_LOGO_BOX, ATTR_FRAME_COLOR, box);
    GetCtrlAttribute(mainpanel, MAINP_LOGO_PICTURE, ATTR_LEFT, left);
    EXPECT_EQ(box, boxBefore);
    EXPECT_EQ(left, leftBefore);
}

// --- start-up failure ------------------------------------------------------------------------------------

// A copy of the panel directory with one file broken by `breakIt`.
class BrokenPanels : public UiTest {
  protected:
    fs::path CopyPanels() {
        fs::path dir = projectDir / "panels";
        fs::copy(GetPanelDirectory(), dir, fs::copy_options::recursive);
        return dir;
    }
};

TEST_F(BrokenPanels, MalformedPageFileFailsTheLoad) {
    uitest::AllowPlatformErrors refused("LoadPanel", UIEPanelFileMalformed);
    fs::path dir = CopyPanels();
    WriteTextFile(dir / "page_six_channel.ui", "<ui version=\"4.0\"><widget class=\"QWidget\"");
    const std::string saved = GetPanelDirectory();
    SetPanelDirectory(dir.string());
    EXPECT_EQ(LoadMorvalenPanels(), -1);
    EXPECT_EQ(mainpanel, 0);
    SetPanelDirectory(saved);
}

TEST_F(BrokenPanels, MissingControlFailsTheLoad) {
    uitest::AllowPlatformErrors refused("LoadPanel", UIEControlMissing);
    fs::path dir = CopyPanels();
    std::string text = ReadTextFile(dir / "interface.ui");
    auto pos = text.find("name=\"accept\"");
    ASSERT_NE(pos, std::string::npos);
    text.replace(pos, 13, "name=\"acceptX\"");
    WriteTextFile(dir / "interface.ui", text);
    const std::string saved = GetPanelDirectory();
    SetPanelDirectory(dir.string());
    EXPECT_EQ(LoadMorvalenPanels(), -1);
    SetPanelDirectory(saved);
}

TEST_F(BrokenPanels, ProgramEndsWithMinusOneAndNoWindow) {
    // The real executable, copied next to a panel directory that lacks the main panel.
    fs::path dir = CopyPanels();
    fs::remove(dir / "morvalen_main.ui");
    fs::copy_file(PROGRAM_PATH, projectDir / "program");
    std::string cmd = "QT_QPA_PLATFORM=offscreen " + (projectDir / "program").string() + " 2>/dev/null";
    int status = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
}

}  // namespace
