// Loading, placing and discarding panels.
#include <filesystem>

#include "test_panel.h"

namespace {

bool IsPanel(int handle) {
    int visible = 0;
    return GetPanelAttribute(handle, ATTR_PANEL_VISIBLE, visible) == 0;
}

class PanelLoadTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        SetPanelDirectory(TEST_PANEL_DIR);
    }
};

TEST_F(PanelLoadTest, FailuresLeaveNothingLoaded) {
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

TEST_F(PanelLoadTest, InvalidParentIsRefused) {
    EXPECT_EQ(LoadPanel(12345, kChildPanel), UIEInvalidPanel);
}

TEST_F(PanelLoadTest, DefaultDirectoryIsBesideTheProgram) {
    SetPanelDirectory("");
    const std::string dir = GetPanelDirectory();
    // The build copies the panel files to bin/panels next to the test programs.
    EXPECT_EQ(std::filesystem::path(dir).filename(), "panels");
    EXPECT_TRUE(std::filesystem::is_directory(dir)) << dir;
    SetPanelDirectory("/some/where");
    EXPECT_EQ(GetPanelDirectory(), "/some/where");
}

TEST_F(PanelTest, TopLevelPanelStartsHiddenWithTheFilesTitle) {
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

TEST_F(PanelTest, ChildPanelSitsInsideItsParentWhereItIsPut) {
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

TEST_F(PanelTest, DiscardingAParentDiscardsItsChildren) {
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

TEST_F(PanelTest, DiscardingAChildKeepsTheParent) {
    const int child = LoadPanel(panel, kChildPanel);
    EXPECT_EQ(DiscardPanel(child), 0);
    EXPECT_FALSE(IsPanel(child));
    EXPECT_TRUE(IsPanel(panel));
    EXPECT_EQ(SetCtrlVal(panel, STR, "still here"), 0);
}

TEST_F(PanelTest, PictureOfAHiddenPanelIsWritten) {
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
