// User input reaches the callbacks as the programs expect: which events, in which order, with which data.
#include "test_panel.h"

namespace {

class PlatformEventTest : public PanelTest {
  protected:
    void SetUp() override {
        PanelTest::SetUp();
        DisplayPanel(panel);
        uitest::PumpUntil([] { return false; }, 0.02);  // let the window become active
        recorded.clear();
    }
};

using V = std::vector<int>;

TEST_F(PlatformEventTest, ButtonPressClicksThenCommits) {
    EXPECT_EQ(uitest::Click(panel, BUTTON), 0);
    EXPECT_EQ(EventsOf(BUTTON), (V{EVENT_GOT_FOCUS, EVENT_LEFT_CLICK, EVENT_COMMIT}));
    recorded.clear();
    EXPECT_EQ(uitest::Commit(panel, BUTTON), 0);
    EXPECT_EQ(EventsOf(BUTTON), (V{EVENT_COMMIT}));
}

TEST_F(PlatformEventTest, ShortcutKeyOperatesItsButtonFromAnywhereInTheWindow) {
    EXPECT_EQ(uitest::PressKey(panel, STR, VAL_F9_VKEY), 0);
    EXPECT_EQ(EventsOf(BUTTON), (V{EVENT_COMMIT}));
    EXPECT_EQ(EventsOf(STR), (V{EVENT_GOT_FOCUS}));  // the field never sees the key
    // A dimmed button ignores its shortcut; the key then goes to the field.
    recorded.clear();
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1);
    uitest::PressKey(panel, STR, VAL_F9_VKEY);
    EXPECT_TRUE(EventsOf(BUTTON).empty());
    EXPECT_EQ(EventsOf(STR), (V{EVENT_KEYPRESS}));
}

TEST_F(PlatformEventTest, DimmedOrHiddenControlsTakeNoInput) {
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1);
    EXPECT_EQ(uitest::Click(panel, BUTTON), UIEInvalidControl);
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 0);
    SetCtrlAttribute(panel, BUTTON, ATTR_VISIBLE, 0);
    EXPECT_EQ(uitest::Click(panel, BUTTON), UIEInvalidControl);
    EXPECT_TRUE(EventsOf(BUTTON).empty());
}

TEST_F(PlatformEventTest, RightClickAndDoubleClickOnAnyControl) {
    for (int control : {NUM_INT, STR, TEXT_MSG, NUM_IND, RING_INT, TABLE, DECO, BAR}) {
        recorded.clear();
        EXPECT_EQ(uitest::RightClick(panel, control), 0);
        EXPECT_EQ(EventsOf(control), (V{EVENT_RIGHT_CLICK})) << "control " << control;
    }
    recorded.clear();
    EXPECT_EQ(uitest::DoubleClick(panel, TEXT_MSG), 0);
    EXPECT_EQ(EventsOf(TEXT_MSG), (V{EVENT_LEFT_CLICK, EVENT_LEFT_DOUBLE_CLICK}));
}

TEST_F(PlatformEventTest, ProgramChangesRaiseNothing) {
    SetCtrlVal(panel, NUM_INT, 5);
    SetCtrlVal(panel, STR, "abc");
    SetCtrlVal(panel, RING_INT, 20);
    SetCtrlVal(panel, TOGGLE, 1);
    SetCtrlVal(panel, SLIDER, 40);
    SetCtrlVal(panel, TEXT_BOX, "x");
    SetTableCellVal(panel, TABLE, Point{1, 1}, 5);
    uitest::PumpUntil([] { return false; }, 0.02);
    EXPECT_TRUE(recorded.empty());
}

TEST_F(PlatformEventTest, TextFieldTypingChangesEachCharacterAndEnterCommits) {
    EXPECT_EQ(uitest::TypeText(panel, STR, "ab"), 0);
    std::vector<RecordedEvent> expected = {
        {panel, STR, EVENT_GOT_FOCUS, 0, 0},   {panel, STR, EVENT_KEYPRESS, 'a', 0},
        {panel, STR, EVENT_VAL_CHANGED, 0, 0}, {panel, STR, EVENT_KEYPRESS, 'b', 0},
        {panel, STR, EVENT_VAL_CHANGED, 0, 0},
    };
    std::erase_if(recorded, [](const RecordedEvent& e) { return e.control != STR; });  // focus left another
    EXPECT_EQ(recorded, expected);
    recorded.clear();
    EXPECT_EQ(uitest::PressKey(panel, STR, VAL_ENTER_VKEY), 0);
    EXPECT_EQ(EventsOf(STR), (V{EVENT_KEYPRESS, EVENT_COMMIT}));
    std::string s;
    GetCtrlVal(panel, STR, s);
    EXPECT_EQ(s, "ab");
}

TEST_F(PlatformEventTest, SetAndCommitReplacesTheTextAsTyped) {
    SetCtrlVal(panel, STR, "old text");
    EXPECT_EQ(uitest::SetAndCommit(panel, STR, "new"), 0);
    EXPECT_EQ(EventsOf(STR), (V{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    std::string s;
    GetCtrlVal(panel, STR, s);
    EXPECT_EQ(s, "new");
    recorded.clear();
    EXPECT_EQ(uitest::Commit(panel, STR), 0);
    EXPECT_EQ(EventsOf(STR), (V{EVENT_COMMIT}));
    SetCtrlAttribute(panel, STR, ATTR_CTRL_MODE, VAL_INDICATOR);
    EXPECT_EQ(uitest::SetAndCommit(panel, STR, "x"), UIEInvalidControl);
    EXPECT_EQ(uitest::SetAndCommit(panel, BUTTON, "x"), UIEWrongType);
}

TEST_F(PlatformEventTest, FakeKeystrokeGoesToTheActiveControl) {
    EXPECT_EQ(SetActiveCtrl(panel, RING_TEXT), 0);
    EXPECT_EQ(GetActiveCtrl(panel), RING_TEXT);
    recorded.clear();
    EXPECT_EQ(FakeKeystroke(' '), 0);
    EXPECT_EQ(EventsOf(RING_TEXT), (V{EVENT_KEYPRESS}));
    EXPECT_EQ(recorded.back().data1, ' ');
}

TEST_F(PlatformEventTest, LeavingAnEditedFieldCommitsIt) {
    uitest::TypeText(panel, STR, "x");
    recorded.clear();
    EXPECT_EQ(SetActiveCtrl(panel, NUM_INT), 0);
    uitest::PumpUntil([] { return false; }, 0.02);
    EXPECT_EQ(EventsOf(STR), (V{EVENT_COMMIT, EVENT_LOST_FOCUS}));
    EXPECT_EQ(EventsOf(NUM_INT), (V{EVENT_GOT_FOCUS}));
    EXPECT_EQ(GetActiveCtrl(panel), NUM_INT);
    // Leaving it again without an edit commits nothing.
    recorded.clear();
    SetActiveCtrl(panel, STR);
    SetActiveCtrl(panel, NUM_INT);
    EXPECT_EQ(EventsOf(STR), (V{EVENT_GOT_FOCUS, EVENT_LOST_FOCUS}));
}

TEST_F(PlatformEventTest, SwallowedKeysNeverReachTheField) {
    keyAnswer = 1;
    EXPECT_EQ(uitest::PressKey(panel, STR, 'q'), 1);
    std::string s;
    GetCtrlVal(panel, STR, s);
    EXPECT_EQ(s, "");
    EXPECT_EQ(EventsOf(STR), (V{EVENT_GOT_FOCUS, EVENT_KEYPRESS}));
    keyAnswer = 0;
    EXPECT_EQ(uitest::PressKey(panel, STR, 'q'), 0);
    GetCtrlVal(panel, STR, s);
    EXPECT_EQ(s, "q");
}

TEST_F(PlatformEventTest, KeyCodesCarryVirtualKeysAndModifiers) {
    uitest::PressKey(panel, STR, VAL_DOWN_ARROW_VKEY);
    uitest::PressKey(panel, STR, VAL_TAB_VKEY | VAL_SHIFT_MODIFIER);
    uitest::PressKey(panel, BUTTON, VAL_F10_VKEY);
    uitest::PressKey(panel, BUTTON, VAL_MENUKEY_MODIFIER | 'S');
    std::vector<int> keys;
    for (const auto& e : recorded)
        if (e.event == EVENT_KEYPRESS) keys.push_back(e.data1);
    EXPECT_EQ(keys, (V{VAL_DOWN_ARROW_VKEY, VAL_TAB_VKEY | VAL_SHIFT_MODIFIER, VAL_F10_VKEY,
                       VAL_MENUKEY_MODIFIER | 'S'}));
}

TEST_F(PlatformEventTest, NumericCommitsOnEnterAndOnArrowSteps) {
    EXPECT_EQ(uitest::SetAndCommit(panel, NUM_INT, 17), 0);
    EXPECT_EQ(EventsOf(NUM_INT), (V{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    recorded.clear();
    EXPECT_EQ(uitest::PressKey(panel, NUM_INT, VAL_UP_ARROW_VKEY), 0);
    EXPECT_EQ(EventsOf(NUM_INT), (V{EVENT_GOT_FOCUS, EVENT_KEYPRESS, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    int i = 0;
    GetCtrlVal(panel, NUM_INT, i);
    EXPECT_EQ(i, 18);
    recorded.clear();
    EXPECT_EQ(uitest::PressKey(panel, NUM_INT, '5'), 0);  // typing: a change, no commit yet
    EXPECT_EQ(EventsOf(NUM_INT), (V{EVENT_KEYPRESS, EVENT_VAL_CHANGED}));
    recorded.clear();
    uitest::PressKey(panel, NUM_INT, VAL_ENTER_VKEY);
    EXPECT_EQ(EventsOf(NUM_INT), (V{EVENT_KEYPRESS, EVENT_COMMIT}));

    EXPECT_EQ(uitest::SetAndCommit(panel, NUM_INT, 5000), UIEInvalidValue);  // beyond -100..1000
    EXPECT_EQ(uitest::SetAndCommit(panel, NUM_INT, 1.5), UIEWrongType);
    EXPECT_EQ(uitest::SetAndCommit(panel, NUM_U16, static_cast<unsigned short>(65535)), 0);
    unsigned short u = 0;
    GetCtrlVal(panel, NUM_U16, u);
    EXPECT_EQ(u, 65535);
    EXPECT_EQ(uitest::SetAndCommit(panel, NUM_DBL, 2.125), 0);
    double d = 0;
    GetCtrlVal(panel, NUM_DBL, d);
    EXPECT_EQ(d, 2.125);
}

TEST_F(PlatformEventTest, IndicatorsTakeNoInputButReportClicks) {
    EXPECT_EQ(uitest::PressKey(panel, NUM_IND, '7'), 0);
    int i = -1;
    GetCtrlVal(panel, NUM_IND, i);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(uitest::RightClick(panel, NUM_IND), 0);
    EXPECT_EQ(EventsOf(NUM_IND).back(), EVENT_RIGHT_CLICK);

    // A toggle made an indicator does not toggle on a click.
    SetCtrlAttribute(panel, TOGGLE, ATTR_CTRL_MODE, VAL_INDICATOR);
    recorded.clear();
    uitest::Click(panel, TOGGLE);
    GetCtrlVal(panel, TOGGLE, i);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(EventsOf(TOGGLE), (V{EVENT_LEFT_CLICK}));
    SetCtrlAttribute(panel, TOGGLE, ATTR_CTRL_MODE, VAL_HOT);
    recorded.clear();
    uitest::Click(panel, TOGGLE);
    GetCtrlVal(panel, TOGGLE, i);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(EventsOf(TOGGLE), (V{EVENT_GOT_FOCUS, EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

TEST_F(PlatformEventTest, RingChoiceChangesThenCommits) {
    EXPECT_EQ(uitest::SelectListItem(panel, RING_INT, 2), 0);
    EXPECT_EQ(EventsOf(RING_INT), (V{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    int v = 0;
    GetCtrlVal(panel, RING_INT, v);
    EXPECT_EQ(v, 30);
    recorded.clear();
    EXPECT_EQ(uitest::SetAndCommit(panel, RING_TEXT, "EEPROM"), 0);
    EXPECT_EQ(EventsOf(RING_TEXT), (V{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(uitest::SetAndCommit(panel, RING_INT, 25), UIEItemNotFound);
    EXPECT_EQ(uitest::SelectListItem(panel, RING_INT, 3), UIEIndexOutOfRange);
}

TEST_F(PlatformEventTest, SliderChangesWhileDraggedAndCommitsOnRelease) {
    EXPECT_EQ(uitest::SetAndCommit(panel, SLIDER, 40), 0);
    EXPECT_EQ(EventsOf(SLIDER), (V{EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

TEST_F(PlatformEventTest, TableEditReportsTheCell) {
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE, Point{2, 3}, "1234"), 0);
    std::vector<RecordedEvent> expected = {{panel, TABLE, EVENT_VAL_CHANGED, 3, 2},
                                           {panel, TABLE, EVENT_COMMIT, 3, 2}};
    EXPECT_EQ(recorded, expected);
    unsigned short u = 0;
    GetTableCellVal(panel, TABLE, Point{2, 3}, u);
    EXPECT_EQ(u, 1234);
    Point active{};
    EXPECT_EQ(GetActiveTableCell(panel, TABLE, active), 0);
    EXPECT_EQ(active.x, 2);
    EXPECT_EQ(active.y, 3);
    // An unsigned 16-bit cell takes no text, and a number beyond 65535 as 65535.
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE, Point{1, 1}, "abc"), UIEInvalidValue);
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE, Point{1, 1}, "65536"), 0);
    GetTableCellVal(panel, TABLE, Point{1, 1}, u);
    EXPECT_EQ(u, 65535);
}

TEST_F(PlatformEventTest, CloseBoxAsksThePanelAndKeepsTheWindow) {
    EXPECT_EQ(uitest::ClosePanel(panel), 0);
    std::vector<RecordedEvent> expected = {{panel, 0, EVENT_CLOSE, 0, 0}};
    EXPECT_EQ(recorded, expected);
    EXPECT_TRUE(uitest::IsPanelShown(panel));
}

// A callback that discards its own panel must not pull the widgets from under the running event.
int DiscardOwnPanel(int panel, int, int event, void*, int, int) {
    if (event == EVENT_COMMIT) DiscardPanel(panel);
    return 0;
}

TEST_F(PlatformEventTest, CallbackMayDiscardItsOwnPanel) {
    uitest::AllowPlatformErrors refused("DisplayPanel", UIEInvalidPanel);
    InstallCtrlCallback(panel, BUTTON, DiscardOwnPanel, nullptr);
    EXPECT_EQ(uitest::Click(panel, BUTTON), 0);
    EXPECT_EQ(DisplayPanel(panel), UIEInvalidPanel);
    uitest::PumpUntil([] { return false; }, 0.02);
    panel = 0;
}

}  // namespace
