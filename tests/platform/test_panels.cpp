// Loading, placing and discarding panels.
#include <filesystem>

#include "test_panel.h"

namespace {

using PlatformPanelTest = PanelTest;

bool IsPanel(int handle) {
    int visible = 0;
    return GetPanelAttribute(handle, ATTR_PANEL_VISIBLE, visible) == 0;
}

class PlatformPanelLoadTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        SetPanelDirectory(TEST_PANEL_DIR);
    }
};

TEST_F(PlatformPanelLoadTest, FailuresLeaveNothingLoaded) {
    uitest::AllowPlatformErrors refused({{"LoadPanel", UIEPanelFileMissing},
                                         {"LoadPanel", UIEPanelFileMalformed},
                                         {"LoadPanel", UIEControlMissing},
                                         {"GetPanelAttribute", UIEInvalidPanel},
                                         {"GetCtrlVal", UIEInvalidControl}});
    const PanelDef missing{"no_such_panel.ui", nullptr, kMainControls};
    EXPECT_EQ(LoadPanel(0, missing), UIEPanelFileMissing);
    const PanelDef malformed{"malformed.ui", nullptr, {}};
    EXPECT_EQ(LoadPanel(0, malformed), UIEPanelFileMalformed);
    const PanelDef notPanel{"not_a_panel.ui", nullptr, {}};
    EXPECT_EQ(LoadPanel(0, notPanel), UIEPanelFileMalformed);

    // The main file with one control that it does not have.
    std::vector<CtrlBinding> controls(std::begin(kMainControls), std::end(kMainControls));
    controls.push_back({99, "noSuchWidget", Record});
    const PanelDef lacking{"test_main.ui", Record, controls};
    EXPECT_EQ(LoadPanel(0, lacking), UIEControlMissing);

    // A directory is not a panel file either.
    std::filesystem::create_directory(projectDir / "dir.ui");
    SetPanelDirectory(projectDir.string());
    EXPECT_EQ(LoadPanel(0, PanelDef{"dir.ui", nullptr, {}}), UIEPanelFileMissing);

    for (int h = 1; h < 10; ++h) EXPECT_FALSE(IsPanel(h)) << "handle " << h;
    SetPanelDirectory(TEST_PANEL_DIR);
    const int good = LoadPanel(0, kMainPanel);
    EXPECT_GT(good, 0);
    int value = 0;
    EXPECT_EQ(GetCtrlVal(good, 99, value), UIEInvalidControl);
    DiscardPanel(good);
}

TEST_F(PlatformPanelLoadTest, InvalidParentIsRefused) {
    uitest::AllowPlatformErrors refused("LoadPanel", UIEInvalidPanel);
    EXPECT_EQ(LoadPanel(12345, kChildPanel), UIEInvalidPanel);
}

TEST_F(PlatformPanelLoadTest, DefaultDirectoryIsBesideTheProgram) {
    SetPanelDirectory("");
    const std::string dir = GetPanelDirectory();
    // The build copies the panel files to bin/panels next to the test programs.
    EXPECT_EQ(std::filesystem::path(dir).filename(), "panels");
    EXPECT_TRUE(std::filesystem::is_directory(dir)) << dir;
    SetPanelDirectory("/some/where");
    EXPECT_EQ(GetPanelDirectory(), "/some/where");
}

TEST_F(PlatformPanelTest, TopLevelPanelStartsHiddenWithTheFilesTitle) {
    uitest::AllowPlatformErrors refused("SetPanelAttribute", UIEWrongType);
    int visible = -1, parent = -1, width = 0;
    std::string title;
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_VISIBLE, visible), 0);
    EXPECT_EQ(visible, 0);
    EXPECT_FALSE(uitest::IsPanelShown(panel));
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_PARENT, parent), 0);
    EXPECT_EQ(parent, 0);
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_TITLE, title), 0);
    EXPECT_EQ(title, "Test Main Panel");
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_WIDTH, width), 0);
    EXPECT_EQ(width, 600);

    EXPECT_EQ(SetPanelAttribute(panel, ATTR_PANEL_TITLE, "Other"), 0);
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_TITLE, title), 0);
    EXPECT_EQ(title, "Other");
    EXPECT_EQ(SetPanelAttribute(panel, ATTR_PANEL_TITLE, 3), UIEWrongType);
    EXPECT_EQ(SetPanelAttribute(panel, ATTR_PANEL_BACKCOLOR, 0x123456), 0);
    int color = 0;
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_BACKCOLOR, color), 0);
    EXPECT_EQ(color, 0x123456);

    EXPECT_EQ(DisplayPanel(panel), 0);
    EXPECT_TRUE(uitest::IsPanelShown(panel));
    EXPECT_TRUE(uitest::IsShown(panel, BUTTON));
    EXPECT_EQ(HidePanel(panel), 0);
    EXPECT_FALSE(uitest::IsShown(panel, BUTTON));
}

TEST_F(PlatformPanelTest, ChildPanelSitsInsideItsParentWhereItIsPut) {
    uitest::AllowPlatformErrors refused("GetCtrlVal", UIEWrongType);
    const int child = LoadPanel(panel, kChildPanel);
    ASSERT_GT(child, 0);
    int parent = 0, top = -1, left = -1, visible = -1;
    EXPECT_EQ(GetPanelAttribute(child, ATTR_PANEL_PARENT, parent), 0);
    EXPECT_EQ(parent, panel);
    EXPECT_EQ(GetPanelAttribute(child, ATTR_PANEL_VISIBLE, visible), 0);
    EXPECT_EQ(visible, 0);

    EXPECT_EQ(SetPanelPos(child, 30, 50), 0);
    EXPECT_EQ(GetPanelAttribute(child, ATTR_PANEL_TOP, top), 0);
    EXPECT_EQ(GetPanelAttribute(child, ATTR_PANEL_LEFT, left), 0);
    EXPECT_EQ(top, 30);
    EXPECT_EQ(left, 50);

    // Shown inside a hidden parent it is not visible to anyone; with the parent it is.
    EXPECT_EQ(DisplayPanel(child), 0);
    EXPECT_FALSE(uitest::IsPanelShown(child));
    EXPECT_EQ(DisplayPanel(panel), 0);
    EXPECT_TRUE(uitest::IsPanelShown(child));
    EXPECT_TRUE(uitest::IsShown(child, CHILD_FIELD));

    // The child's controls are its own: the same id addresses different controls in the two panels.
    EXPECT_EQ(SetCtrlVal(child, CHILD_FIELD, "in child"), 0);
    std::string text;
    EXPECT_EQ(GetCtrlVal(child, CHILD_FIELD, text), 0);
    EXPECT_EQ(text, "in child");
    EXPECT_EQ(GetCtrlVal(panel, CHILD_FIELD, text), UIEWrongType);  // id 1 is a numeric on the main panel
}

TEST_F(PlatformPanelTest, DiscardingAParentDiscardsItsChildren) {
    uitest::AllowPlatformErrors refused({{"GetPanelAttribute", UIEInvalidPanel},
                                         {"DisplayPanel", UIEInvalidPanel},
                                         {"DiscardPanel", UIEInvalidPanel}});
    const int child = LoadPanel(panel, kChildPanel);
    const int grandChild = LoadPanel(child, kChildPanel);
    ASSERT_GT(grandChild, 0);
    EXPECT_EQ(DiscardPanel(panel), 0);
    EXPECT_FALSE(IsPanel(panel));
    EXPECT_FALSE(IsPanel(child));
    EXPECT_FALSE(IsPanel(grandChild));
    EXPECT_EQ(DisplayPanel(child), UIEInvalidPanel);
    EXPECT_EQ(DiscardPanel(panel), UIEInvalidPanel);
    panel = 0;
}

TEST_F(PlatformPanelTest, DiscardingAChildKeepsTheParent) {
    uitest::AllowPlatformErrors refused("GetPanelAttribute", UIEInvalidPanel);
    const int child = LoadPanel(panel, kChildPanel);
    EXPECT_EQ(DiscardPanel(child), 0);
    EXPECT_FALSE(IsPanel(child));
    EXPECT_TRUE(IsPanel(panel));
    EXPECT_EQ(SetCtrlVal(panel, STR, "still here"), 0);
}

TEST_F(PlatformPanelTest, ColoursAreDrawnEvenWhileHidden) {
    const int child = LoadPanel(panel, kChildPanel);
    SetPanelPos(child, 300, 350);
    SetPanelAttribute(child, ATTR_PANEL_BACKCOLOR, 0x00FF00);
    SetPanelAttribute(panel, ATTR_PANEL_BACKCOLOR, 0xFFFFFF);
    SetCtrlAttribute(panel, BUTTON, ATTR_CMD_BUTTON_COLOR, 0xFF0000);
    SetCtrlAttribute(panel, DECO, ATTR_FRAME_COLOR, 0x0000FF);
    SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_BGCOLOR, 0xFFFF00);
    // Centre of the button (10, 140, 80 x 28), inside the box (400, 10, 100 x 60), corner of the message.
    EXPECT_EQ(uitest::PanelPixel(panel, 154, 50), 0xFF0000);
    EXPECT_EQ(uitest::PanelPixel(panel, 40, 450), 0x0000FF);
    EXPECT_EQ(uitest::PanelPixel(panel, 12, 252), 0xFFFF00);
    EXPECT_EQ(uitest::PanelPixel(panel, 380, 530), 0xFFFFFF) << "child panel still hidden";
    DisplayPanel(child);
    EXPECT_EQ(uitest::PanelPixel(panel, 380, 530), 0x00FF00);
    SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_BGCOLOR, VAL_TRANSPARENT);
    EXPECT_EQ(uitest::PanelPixel(panel, 12, 252), 0xFFFFFF);
    SetCtrlAttribute(panel, BUTTON, ATTR_VISIBLE, 0);
    EXPECT_EQ(uitest::PanelPixel(panel, 154, 50), 0xFFFFFF);
    EXPECT_FALSE(uitest::IsPanelShown(panel));
    EXPECT_EQ(uitest::PanelPixel(panel, 400, 10), UIEInvalidValue);
    EXPECT_EQ(uitest::PanelPixel(999, 0, 0), UIEInvalidPanel);
}

TEST_F(PlatformPanelTest, StartColoursComeFromTheFile) {
    const int child = LoadPanel(panel, kChildPanel);
    int color = 0;
    EXPECT_EQ(GetCtrlAttribute(child, CHILD_BUTTON, ATTR_CMD_BUTTON_COLOR, color), 0);
    EXPECT_EQ(color, 0xFF0000);
    // childButton: 10, 40, 80 x 28 inside the child panel.
    EXPECT_EQ(uitest::PanelPixel(child, 54, 50), 0xFF0000);
}

TEST_F(PlatformPanelTest, PictureOfAHiddenPanelIsWritten) {
    uitest::AllowPlatformErrors refused(
        {{"SavePanelImage", UIEPanelFileMissing}, {"SavePanelImage", UIEInvalidPanel}});
    const std::string path = ProjectFile("panel.png");
    EXPECT_EQ(SavePanelImage(panel, path), 0);
    const std::string png = ReadTextFile(path);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_FALSE(uitest::IsPanelShown(panel)) << "taking the picture must not show the panel";
    EXPECT_EQ(SavePanelImage(panel, (projectDir / "no" / "such" / "dir.png").string()), -1);
    EXPECT_EQ(SavePanelImage(999, path), UIEInvalidPanel);
}

}  // namespace
