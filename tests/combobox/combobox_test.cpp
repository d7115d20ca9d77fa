// Combo box: conversion, layout, completion, list choice, keys, attributes, events and discard, driven on a
// test panel through the harness as a user would.
#include "combobox.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "ui_test.h"

namespace {

constexpr int FIELD1 = 1, FIELD2 = 2, NUMERIC = 3, BUTTON = 4, BUTTON2 = 5, INDICATOR = 6;

struct Event {
    int control, event;
    void* data;
    int data1, data2;
};

std::vector<Event> events;
int userToken = 0;                     // the application's callback data
int swallowKey = 0;                    // a key the application's callback swallows
void (*onEvent)(int event) = nullptr;  // extra action of the application's callback

int Record(int, int control, int event, void* data, int data1, int data2) {
    events.push_back({control, event, data, data1, data2});
    if (onEvent) onEvent(event);
    return event == EVENT_KEYPRESS && data1 == swallowKey ? 1 : 0;
}

const CtrlBinding kControls[] = {
    {FIELD1, "field1", Record}, {FIELD2, "field2", Record}, {NUMERIC, "numeric"},
    {BUTTON, "button"},         {BUTTON2, "button2"},       {INDICATOR, "indicator"},
};
const PanelDef kPanel{"combo_test.ui", nullptr, kControls};

struct Rect {
    int left, top, width, height;
    bool operator==(const Rect&) const = default;
};

void PrintTo(const Rect& r, std::ostream* os) {
    *os << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}

class ComboBoxTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        events.clear();
        swallowKey = 0;
        onEvent = nullptr;
        SetPanelDirectory(COMBO_TEST_PANEL_DIR);
        panel = LoadPanel(0, kPanel);
        ASSERT_GT(panel, 0);
        InstallCtrlCallback(panel, FIELD1, Record, &userToken);
        InstallCtrlCallback(panel, FIELD2, Record, &userToken);
        ASSERT_EQ(DisplayPanel(panel), 0);
    }
    // A program discards its combo boxes before their panel; one left behind would be probed, on a panel
    // that no longer exists, when the next test makes its first combo box.
    void TearDown() override {
        uitest::AllowPlatformErrors discardedByTheTest("GetCtrlAttribute", UIEInvalidControl);
        for (int field : {FIELD1, FIELD2}) {
            int count = 0;
            if (Combo_GetNumComboItems(panel, field, count) == 0) Combo_DiscardComboBox(panel, field);
        }
        DiscardPanel(panel);
        UiTest::TearDown();
    }

    ComboState* Convert(int field, std::initializer_list<const char*> items = {}) {
        EXPECT_EQ(Combo_NewComboBox(panel, field), field);
        for (const char* item : items) EXPECT_EQ(Combo_InsertComboItem(panel, field, -1, item), 0);
        return State(field);
    }
    ComboState* State(int field) {
        void* data = nullptr;
        GetCtrlAttribute(panel, field, ATTR_CALLBACK_DATA, data);
        return static_cast<ComboState*>(data);
    }
    std::string Text(int control) {
        std::string text;
        EXPECT_EQ(GetCtrlVal(panel, control, text), 0);
        return text;
    }
    int Attr(int control, CtrlAttr attr) {
        int value = -999;
        EXPECT_EQ(GetCtrlAttribute(panel, control, attr, value), 0);
        return value;
    }
    Rect Geometry(int control) {
        return {Attr(control, ATTR_LEFT), Attr(control, ATTR_TOP), Attr(control, ATTR_WIDTH),
                Attr(control, ATTR_HEIGHT)};
    }
    // Start and length of the field's selection.
    std::pair<int, int> Selection(int field) {
        return {Attr(field, ATTR_TEXT_SELECTION_START), Attr(field, ATTR_TEXT_SELECTION_LENGTH)};
    }
    std::vector<int> TabOrder() {
        std::vector<int> order;
        int control = 0;
        GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, control);
        while (control > 0 && order.size() < 100) {
            order.push_back(control);
            if (GetCtrlAttribute(panel, control, ATTR_NEXT_CTRL, control) < 0) break;
        }
        return order;
    }
    void ClearField(int field) { ASSERT_EQ(SetCtrlVal(panel, field, std::string_view()), 0); }
    // The events the application saw, focus changes left out.
    std::vector<int> EventKinds() {
        std::vector<int> kinds;
        for (const Event& e : events)
            if (e.event != EVENT_GOT_FOCUS && e.event != EVENT_LOST_FOCUS) kinds.push_back(e.event);
        return kinds;
    }

    int panel = 0;
};

// ---------------------------------------------------------------------------------------------------------
// Conversion and layout

TEST_F(ComboBoxTest, ConversionPutsSquareButtonLeftOfFieldInsideFrame) {
    ComboState* s = Convert(FIELD1);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->marker, COMBO_MARKER);
    EXPECT_EQ(s->panel, panel);
    EXPECT_EQ(s->textField, FIELD1);
    EXPECT_EQ(Attr(s->list, ATTR_CTRL_STYLE), CTRL_POPUP_RING);
    EXPECT_EQ(Attr(s->frame, ATTR_CTRL_STYLE), CTRL_DECORATION);
    // Field at (120, 20), 200 x 24, one-pixel border.
    EXPECT_EQ(Geometry(FIELD1), (Rect{120, 20, 200, 24}));
    EXPECT_EQ(Geometry(s->list), (Rect{97, 20, 24, 24}));
    EXPECT_EQ(Geometry(s->frame), (Rect{96, 19, 225, 26}));
    EXPECT_TRUE(uitest::IsShown(panel, s->list));
    EXPECT_TRUE(uitest::IsShown(panel, s->frame));
}

TEST_F(ComboBoxTest, SecondTextFieldStyleGetsTwoPixelBorder) {
    ComboState* s = Convert(FIELD2);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(Attr(FIELD2, ATTR_CTRL_STYLE), CTRL_STRING_LS);
    EXPECT_EQ(Geometry(FIELD2), (Rect{120, 70, 200, 24}));
    EXPECT_EQ(Geometry(s->list), (Rect{98, 70, 24, 24}));
    EXPECT_EQ(Geometry(s->frame), (Rect{96, 68, 226, 28}));
}

TEST_F(ComboBoxTest, ListInFrontFrameAtBackListDirectlyBeforeFieldInTabOrder) {
    const int fieldTab = Attr(FIELD2, ATTR_CTRL_TAB_POSITION);
    ComboState* s = Convert(FIELD2);
    EXPECT_LT(Attr(s->list, ATTR_ZPLANE_POSITION), Attr(FIELD2, ATTR_ZPLANE_POSITION));
    EXPECT_LT(Attr(FIELD2, ATTR_ZPLANE_POSITION), Attr(s->frame, ATTR_ZPLANE_POSITION));
    EXPECT_EQ(Attr(s->list, ATTR_CTRL_TAB_POSITION), fieldTab);
    EXPECT_EQ(Attr(FIELD2, ATTR_CTRL_TAB_POSITION), fieldTab + 1);
}

TEST_F(ComboBoxTest, ListAndFrameTakeTheFieldsFrameColourAndLengthLimitIsCaptured) {
    ASSERT_EQ(SetCtrlAttribute(panel, FIELD1, ATTR_FRAME_COLOR, 0x336699), 0);
    ASSERT_EQ(SetCtrlAttribute(panel, FIELD1, ATTR_MAX_ENTRY_LENGTH, 8), 0);
    ComboState* s = Convert(FIELD1);
    EXPECT_EQ(Attr(s->list, ATTR_FRAME_COLOR), 0x336699);
    EXPECT_EQ(Attr(s->frame, ATTR_FRAME_COLOR), 0x336699);
    EXPECT_EQ(s->lengthLimit, 9);
    EXPECT_EQ(static_cast<void*>(State(FIELD2)), &userToken);  // untouched
    ComboState* unlimited = Convert(FIELD2);
    EXPECT_EQ(unlimited->lengthLimit, -1);
    EXPECT_EQ(s->userCallback, &Record);
    EXPECT_EQ(s->userData, &userToken);
}

TEST_F(ComboBoxTest, RefusesWhatIsNotAPlainTextField) {
    uitest::AllowPlatformErrors refused(
        {{"GetCtrlAttribute", UIEInvalidControl}, {"GetCtrlAttribute", UIEInvalidPanel}});
    const std::vector<int> before = TabOrder();
    EXPECT_EQ(Combo_NewComboBox(panel, NUMERIC), COMBO_ERR_WRONG_CONTROL);
    EXPECT_EQ(Combo_NewComboBox(panel, BUTTON), COMBO_ERR_WRONG_CONTROL);
    EXPECT_EQ(Combo_NewComboBox(panel, 99), UIEInvalidControl);
    EXPECT_EQ(Combo_NewComboBox(panel + 100, FIELD1), UIEInvalidPanel);
    EXPECT_EQ(TabOrder(), before);  // nothing was made on the way

    ComboState* s = Convert(FIELD1);
    const std::vector<int> converted = TabOrder();
    EXPECT_EQ(Combo_NewComboBox(panel, FIELD1), COMBO_ERR_WRONG_CONTROL);
    EXPECT_EQ(Combo_NewComboBox(panel, s->list), COMBO_ERR_WRONG_CONTROL);
    EXPECT_EQ(Combo_NewComboBox(panel, s->frame), COMBO_ERR_WRONG_CONTROL);
    EXPECT_EQ(TabOrder(), converted);
    EXPECT_EQ(State(FIELD1), s);
}

TEST_F(ComboBoxTest, OperationsOnAControlThatIsNoComboBoxReturnWrongControl) {
    uitest::AllowPlatformErrors refused(
        {{"GetCtrlAttribute", UIEInvalidControl}, {"GetCtrlAttribute", UIEInvalidPanel}});
    ComboState* s = Convert(FIELD1, {"ALPHA"});
    int index = 0, value = 0;
    std::string text;
    for (int control : {FIELD2, NUMERIC, s->list, s->frame}) {
        SCOPED_TRACE(control);
        EXPECT_EQ(Combo_InsertComboItem(panel, control, -1, "x"), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_DeleteComboItem(panel, control, 0, -1), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_ReplaceComboItem(panel, control, 0, "x"), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_GetIndexFromValue(panel, control, index, "ALPHA"), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_GetNumComboItems(panel, control, value), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_GetComboItem(panel, control, 0, text), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_SetComboAttribute(panel, control, COMBO_ATTR_VISIBLE, 0), COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_GetComboAttribute(panel, control, COMBO_ATTR_VISIBLE, value),
                  COMBO_ERR_WRONG_CONTROL);
        EXPECT_EQ(Combo_DiscardComboBox(panel, control), COMBO_ERR_WRONG_CONTROL);
    }
    EXPECT_EQ(Combo_InsertComboItem(panel, 99, -1, "x"), UIEInvalidControl);
    EXPECT_EQ(Combo_GetComboAttribute(panel + 100, FIELD1, COMBO_ATTR_VISIBLE, value), UIEInvalidPanel);
    EXPECT_TRUE(uitest::IsShown(panel, s->list));
}

// Callback data that merely looks like a combo state (or points nowhere) is never taken for one.
TEST_F(ComboBoxTest, ForeignCallbackDataIsNotMistakenForAComboBox) {
    ComboState lookalike{};
    lookalike.panel = panel;
    lookalike.textField = FIELD2;
    lookalike.marker = COMBO_MARKER;
    ASSERT_EQ(InstallCtrlCallback(panel, FIELD2, Record, &lookalike), 0);
    int count = 0;
    EXPECT_EQ(Combo_GetNumComboItems(panel, FIELD2, count), COMBO_ERR_WRONG_CONTROL);
    ASSERT_EQ(InstallCtrlCallback(panel, FIELD2, Record, reinterpret_cast<void*>(0x10)), 0);
    EXPECT_EQ(Combo_GetNumComboItems(panel, FIELD2, count), COMBO_ERR_WRONG_CONTROL);
    // Such a field converts normally and keeps its data for the application.
    ComboState* s = Convert(FIELD2, {"ALPHA"});
    EXPECT_EQ(s->userData, reinterpret_cast<void*>(0x10));
    ASSERT_EQ(uitest::TypeText(panel, FIELD2, "a"), 0);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().data, reinterpret_cast<void*>(0x10));
}

// ---------------------------------------------------------------------------------------------------------
// Items

TEST_F(ComboBoxTest, ItemOperationsActOnTheList) {
    uitest::AllowPlatformErrors refused({{"GetValueFromIndex", UIEIndexOutOfRange},
                                         {"InsertListItem", UIEIndexOutOfRange},
                                         {"ReplaceListItem", UIEIndexOutOfRange}});
    ComboState* s = Convert(FIELD1, {"beta", "gamma"});
    EXPECT_EQ(Combo_InsertComboItem(panel, FIELD1, 0, "alpha"), 0);
    EXPECT_EQ(Combo_InsertComboItem(panel, FIELD1, -1, "delta"), 0);
    int count = 0, index = -1;
    std::string text, value;
    EXPECT_EQ(Combo_GetNumComboItems(panel, FIELD1, count), 0);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(Combo_GetComboItem(panel, FIELD1, 0, text), 0);
    EXPECT_EQ(text, "alpha");
    EXPECT_EQ(Combo_GetIndexFromValue(panel, FIELD1, index, "gamma"), 0);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(Combo_ReplaceComboItem(panel, FIELD1, 2, "GAMMA"), 0);
    EXPECT_EQ(GetValueFromIndex(panel, s->list, 2, value), 0);  // value = text
    EXPECT_EQ(value, "GAMMA");
    EXPECT_EQ(Combo_GetIndexFromValue(panel, FIELD1, index, "gamma"), UIEItemNotFound);
    EXPECT_EQ(Combo_DeleteComboItem(panel, FIELD1, 0, 1), 0);
    EXPECT_EQ(Combo_GetComboItem(panel, FIELD1, 0, text), 0);
    EXPECT_EQ(text, "beta");
    EXPECT_EQ(Combo_DeleteComboItem(panel, FIELD1, 1, -1), 0);  // to the end
    EXPECT_EQ(Combo_GetNumComboItems(panel, FIELD1, count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Combo_GetComboItem(panel, FIELD1, 1, text), UIEIndexOutOfRange);
    EXPECT_EQ(Combo_InsertComboItem(panel, FIELD1, 5, "x"), UIEIndexOutOfRange);
    EXPECT_EQ(Combo_ReplaceComboItem(panel, FIELD1, 3, "x"), UIEIndexOutOfRange);
}

// ---------------------------------------------------------------------------------------------------------
// Completion

TEST_F(ComboBoxTest, TypingCompletesFromTheFirstMatchingItemAndSelectsTheAddedPart) {
    Convert(FIELD1, {"ALPHA", "123.45"});
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "a"), 0);
    EXPECT_EQ(Text(FIELD1), "aLPHA");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(1, 4));
    // Typing on replaces the selected completion and completes again.
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "l"), 0);
    EXPECT_EQ(Text(FIELD1), "alPHA");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(2, 3));

    ClearField(FIELD1);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "1"), 0);
    EXPECT_EQ(Text(FIELD1), "123.45");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(1, 5));

    ClearField(FIELD1);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "x"), 0);  // no item starts with it
    EXPECT_EQ(Text(FIELD1), "x");
}

TEST_F(ComboBoxTest, CompletionEventsReachTheApplicationAsTextFieldEvents) {
    Convert(FIELD1, {"ALPHA"});
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "a"), 0);
    std::vector<int> kinds;
    for (const Event& e : events) {
        EXPECT_EQ(e.control, FIELD1);
        EXPECT_EQ(e.data, &userToken);
        if (e.event == EVENT_KEYPRESS || e.event == EVENT_VAL_CHANGED) kinds.push_back(e.event);
    }
    EXPECT_EQ(kinds, (std::vector<int>{EVENT_KEYPRESS, EVENT_VAL_CHANGED}));
}

TEST_F(ComboBoxTest, SingleCharacterItemNeverCompletes) {
    Convert(FIELD1, {"B", "BRAVO"});
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "b"), 0);
    EXPECT_EQ(Text(FIELD1), "b");  // the first match is the one-character item
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "r"), 0);
    EXPECT_EQ(Text(FIELD1), "brAVO");
}

TEST_F(ComboBoxTest, EmptyTextCompletesToTheFirstItemUnlessThatIsOneCharacter) {
    Convert(FIELD1, {"\xE2\x82\xAC", "ALPHA"});  // a single character of three bytes first
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "x"), 0);
    ASSERT_EQ(uitest::SetAndCommit(panel, FIELD1, ""), 0);
    EXPECT_EQ(Text(FIELD1), "");
    ASSERT_EQ(Combo_DeleteComboItem(panel, FIELD1, 0, 1), 0);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "x"), 0);
    ASSERT_EQ(uitest::SetAndCommit(panel, FIELD1, ""), 0);
    EXPECT_EQ(Text(FIELD1), "ALPHA");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(0, 5));
}

TEST_F(ComboBoxTest, BackspaceSwitchesCompletionOffUntilAnotherKey) {
    Convert(FIELD1, {"ALPHA", "123.45"});
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "a"), 0);
    ASSERT_EQ(Text(FIELD1), "aLPHA");
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, VAL_BACKSPACE_VKEY), 0);
    EXPECT_EQ(Text(FIELD1), "a");  // the selected completion is gone and not put back
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, VAL_BACKSPACE_VKEY), 0);
    EXPECT_EQ(Text(FIELD1), "");  // an empty text would match the first item
    // A change without a key (pasting, a program's edit) is not completed either.
    ASSERT_EQ(uitest::SetAndCommit(panel, FIELD1, "al"), 0);
    EXPECT_EQ(Text(FIELD1), "al");
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "p"), 0);
    EXPECT_EQ(Text(FIELD1), "alpHA");
}

TEST_F(ComboBoxTest, ForwardDeleteSwitchesCompletionOffForEveryComboBox) {
    Convert(FIELD1, {"ALPHA"});
    Convert(FIELD2, {"ALPHA"});
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "a"), 0);
    ASSERT_EQ(Text(FIELD1), "aLPHA");
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, VAL_FWD_DELETE_VKEY), 0);
    EXPECT_EQ(Text(FIELD1), "a");
    ASSERT_EQ(uitest::SetAndCommit(panel, FIELD2, "a"), 0);
    EXPECT_EQ(Text(FIELD2), "a");
    // Cursor keys are "another key" too.
    EXPECT_EQ(uitest::PressKey(panel, FIELD2, VAL_LEFT_ARROW_VKEY), 0);
    ASSERT_EQ(uitest::SetAndCommit(panel, FIELD2, "al"), 0);
    EXPECT_EQ(Text(FIELD2), "alPHA");
}

TEST_F(ComboBoxTest, CompletionStopsAtTheMaximumEntryLength) {
    Convert(FIELD1, {"ABCDEFGHIJKL"});
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 8), 0);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "a"), 0);
    EXPECT_EQ(Text(FIELD1), "aBCDEFGH");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(1, 7));
}

TEST_F(ComboBoxTest, CompletionCountsAndCutsWholeCharacters) {
    Convert(FIELD1, {"\xC3\x84\xC3\x96\xC3\x9C-Stra\xC3\x9F"
                     "e"});  // "ÄÖÜ-Straße"
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "\xC3\x84"), 0);
    EXPECT_EQ(Text(FIELD1),
              "\xC3\x84\xC3\x96\xC3\x9C-Stra\xC3\x9F"
              "e");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(1, 9));

    // A character beyond the basic plane takes two positions.
    ClearField(FIELD1);
    ASSERT_EQ(Combo_InsertComboItem(panel, FIELD1, 0, "xy\xF0\x9F\x98\x80z"), 0);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "x"), 0);
    EXPECT_EQ(Text(FIELD1), "xy\xF0\x9F\x98\x80z");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(1, 4));

    ClearField(FIELD1);
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 3), 0);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "\xC3\x84"), 0);
    EXPECT_EQ(Text(FIELD1), "\xC3\x84\xC3\x96\xC3\x9C");
    EXPECT_EQ(Selection(FIELD1), std::make_pair(1, 2));
}

// ---------------------------------------------------------------------------------------------------------
// The list

TEST_F(ComboBoxTest, ListChoiceFillsFieldAndReachesApplicationAsTextFieldEvents) {
    ComboState* s = Convert(FIELD1, {"ALPHA", "192.168.0.10"});
    ASSERT_EQ(SetActiveCtrl(panel, BUTTON), 0);
    events.clear();
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 1), 0);
    EXPECT_EQ(Text(FIELD1), "192.168.0.10");
    EXPECT_EQ(GetActiveCtrl(panel), FIELD1);
    std::vector<int> kinds;
    for (const Event& e : events) {
        EXPECT_EQ(e.control, FIELD1);
        EXPECT_EQ(e.data, &userToken);
        if (e.event == EVENT_VAL_CHANGED || e.event == EVENT_COMMIT) kinds.push_back(e.event);
    }
    EXPECT_EQ(kinds, (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

TEST_F(ComboBoxTest, ListChoiceIsCutToTheMaximumEntryLength) {
    ComboState* s = Convert(FIELD1, {"ABCDEFGHIJKL", "ABC"});
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 8), 0);
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 0), 0);
    EXPECT_EQ(Text(FIELD1), "ABCDEFGH");
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 1), 0);
    EXPECT_EQ(Text(FIELD1), "ABC");
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, -1), 0);
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 0), 0);
    EXPECT_EQ(Text(FIELD1), "ABCDEFGHIJKL");
}

TEST_F(ComboBoxTest, ListChoiceCutNeverSplitsAMultibyteCharacter) {
    // Eight two-byte characters and three more; then characters of four bytes, each two text positions.
    ComboState* s = Convert(FIELD1, {"\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9XYZ",
                                     "ab\xF0\x9F\x98\x80\xF0\x9F\x98\x80"});
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 8), 0);
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 0), 0);
    EXPECT_EQ(Text(FIELD1), "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9");
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 3), 0);
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 1), 0);
    EXPECT_EQ(Text(FIELD1), "ab");
    ASSERT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 4), 0);
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 1), 0);
    EXPECT_EQ(Text(FIELD1), "ab\xF0\x9F\x98\x80");
}

// A click on the button leaves the focus in the text field; a list opened from the keyboard keeps the
// focus, once.
TEST_F(ComboBoxTest, ListHandsFocusBackUnlessOpenedFromTheKeyboard) {
    ComboState* s = Convert(FIELD1, {"ALPHA"});
    ASSERT_EQ(uitest::Click(panel, s->list), 0);  // opens the list
    EXPECT_EQ(GetActiveCtrl(panel), FIELD1);
    EXPECT_TRUE(EventKinds().empty());          // the button's own click and focus are no events of the field
    ASSERT_EQ(FakeKeystroke(VAL_ESC_VKEY), 0);  // closed again without a choice

    ASSERT_EQ(DisplayPanel(panel), 0);  // the window active again, as after a click into it
    ASSERT_EQ(uitest::PressKey(panel, FIELD1, VAL_DOWN_ARROW_VKEY), 0);
    EXPECT_EQ(GetActiveCtrl(panel), s->list);
    EXPECT_EQ(s->openedByKey, 0);  // used up by the list taking the focus
    EXPECT_EQ(Text(FIELD1), "");   // the space that opens the list went to the list
    ASSERT_EQ(FakeKeystroke(VAL_ESC_VKEY), 0);

    // Once only: the next time the list gets the focus it gives it back.
    ASSERT_EQ(DisplayPanel(panel), 0);
    ASSERT_EQ(SetActiveCtrl(panel, BUTTON), 0);
    ASSERT_EQ(SetActiveCtrl(panel, s->list), 0);
    EXPECT_EQ(GetActiveCtrl(panel), FIELD1);

    ASSERT_EQ(uitest::PressKey(panel, FIELD1, VAL_UP_ARROW_VKEY), 0);
    EXPECT_EQ(GetActiveCtrl(panel), s->list);
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 0), 0);
    EXPECT_EQ(Text(FIELD1), "ALPHA");
    EXPECT_EQ(GetActiveCtrl(panel), FIELD1);
}

// Moving the focus into the list is no person's commit of the typed text.
TEST_F(ComboBoxTest, ListOpenedFromTheKeyboardRaisesNoCommit) {
    ComboState* s = Convert(FIELD1, {"Foxtrot"});
    ASSERT_EQ(DisplayPanel(panel), 0);
    ASSERT_EQ(uitest::TypeText(panel, FIELD1, "F"), 0);
    ASSERT_EQ(Text(FIELD1), "Foxtrot");
    events.clear();
    ASSERT_EQ(uitest::PressKey(panel, FIELD1, VAL_DOWN_ARROW_VKEY), 0);
    ASSERT_EQ(GetActiveCtrl(panel), s->list);
    for (int kind : EventKinds()) EXPECT_NE(kind, EVENT_COMMIT);
    ASSERT_EQ(FakeKeystroke(VAL_ESC_VKEY), 0);
}

// ---------------------------------------------------------------------------------------------------------
// Keys

TEST_F(ComboBoxTest, ApplicationCallbackDecidesAboutOrdinaryKeys) {
    Convert(FIELD1, {"ALPHA"});
    swallowKey = 'q';
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, 'q'), 1);
    EXPECT_EQ(Text(FIELD1), "");
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, 'z'), 0);
    EXPECT_EQ(Text(FIELD1), "z");
    ASSERT_FALSE(events.empty());
    const Event& key = events[events.size() - 2];  // key press, then value changed
    EXPECT_EQ(key.event, EVENT_KEYPRESS);
    EXPECT_EQ(key.data1, 'z');
    EXPECT_EQ(key.control, FIELD1);
}

TEST_F(ComboBoxTest, ShiftTabGoesBackToTheLastUsableControlWrappingAround) {
    // Tab order: list, field1, field2, numeric, button, button2, indicator, frame.
    Convert(FIELD1);
    const int shiftTab = VAL_SHIFT_MODIFIER | VAL_TAB_VKEY;
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, shiftTab), 1);
    EXPECT_EQ(GetActiveCtrl(panel), BUTTON2);  // frame and indicator skipped
    ASSERT_EQ(SetCtrlAttribute(panel, BUTTON2, ATTR_DIMMED, 1), 0);
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, shiftTab), 1);
    EXPECT_EQ(GetActiveCtrl(panel), BUTTON);
    ASSERT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_VISIBLE, 0), 0);
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, shiftTab), 1);
    EXPECT_EQ(GetActiveCtrl(panel), NUMERIC);
    ASSERT_EQ(SetCtrlAttribute(panel, NUMERIC, ATTR_CTRL_MODE, VAL_INDICATOR), 0);
    EXPECT_EQ(uitest::PressKey(panel, FIELD1, shiftTab), 1);
    EXPECT_EQ(GetActiveCtrl(panel), FIELD2);
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().event, EVENT_KEYPRESS);  // the application saw the key as well
    EXPECT_EQ(events.back().data1, shiftTab);
}

TEST_F(ComboBoxTest, ShiftTabFromASecondComboBoxLandsInTheFirstsTextField) {
    Convert(FIELD1);
    Convert(FIELD2);
    EXPECT_EQ(uitest::PressKey(panel, FIELD2, VAL_SHIFT_MODIFIER | VAL_TAB_VKEY), 1);
    EXPECT_EQ(GetActiveCtrl(panel), FIELD1);
}

// ---------------------------------------------------------------------------------------------------------
// Attributes

TEST_F(ComboBoxTest, AttributeNumbersOutsideTheirRangeAreRefused) {
    Convert(FIELD1);
    int value = 0;
    std::string text;
    for (int attribute :
         std::initializer_list<int>{COMBO_ATTR_HEIGHT, COMBO_ATTR_TEXT_FONT_NAME_LENGTH, 0, 15, -1})
        EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, attribute, 10), COMBO_ERR_INVALID_ATTRIBUTE)
            << attribute;
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_FONT, 10), COMBO_ERR_INVALID_ATTRIBUTE);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_VISIBLE, "x"), COMBO_ERR_INVALID_ATTRIBUTE);
    for (int attribute : std::initializer_list<int>{0, 15, COMBO_ATTR_TEXT_FONT})
        EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, attribute, value), COMBO_ERR_INVALID_ATTRIBUTE)
            << attribute;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_WIDTH, text), COMBO_ERR_INVALID_ATTRIBUTE);
}

TEST_F(ComboBoxTest, GetReadsEachAttributeFromItsPart) {
    ComboState* s = Convert(FIELD1);
    const struct {
        int attribute, control;
        CtrlAttr attr;
    } kReads[] = {
        {COMBO_ATTR_HEIGHT, s->frame, ATTR_HEIGHT},
        {COMBO_ATTR_WIDTH, s->frame, ATTR_WIDTH},
        {COMBO_ATTR_TEXT_COLOR, FIELD1, ATTR_TEXT_COLOR},
        {COMBO_ATTR_FRAME_COLOR, FIELD1, ATTR_FRAME_COLOR},
        {COMBO_ATTR_TEXT_FONT_NAME_LENGTH, FIELD1, ATTR_TEXT_FONT_NAME_LENGTH},
        {COMBO_ATTR_TEXT_POINT_SIZE, FIELD1, ATTR_TEXT_POINT_SIZE},
        {COMBO_ATTR_TEXT_BOLD, FIELD1, ATTR_TEXT_BOLD},
        {COMBO_ATTR_TEXT_ITALIC, FIELD1, ATTR_TEXT_ITALIC},
        {COMBO_ATTR_LEFT, s->frame, ATTR_LEFT},
        {COMBO_ATTR_TOP, s->frame, ATTR_TOP},
        {COMBO_ATTR_VISIBLE, s->frame, ATTR_VISIBLE},
        {COMBO_ATTR_DIMMED, s->frame, ATTR_DIMMED},
        {COMBO_ATTR_MAX_ENTRY_LENGTH, FIELD1, ATTR_MAX_ENTRY_LENGTH},
    };
    ASSERT_EQ(SetCtrlAttribute(panel, FIELD1, ATTR_TEXT_COLOR, 0x102030), 0);
    ASSERT_EQ(SetCtrlAttribute(panel, FIELD1, ATTR_TEXT_ITALIC, 1), 0);
    ASSERT_EQ(SetCtrlAttribute(panel, FIELD1, ATTR_MAX_ENTRY_LENGTH, 17), 0);
    ASSERT_EQ(SetCtrlAttribute(panel, s->frame, ATTR_DIMMED, 1), 0);
    for (const auto& r : kReads) {
        int value = -999;
        EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, r.attribute, value), 0) << r.attribute;
        EXPECT_EQ(value, Attr(r.control, r.attr)) << r.attribute;
    }
    int value = 0;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_HEIGHT, value), 0);
    EXPECT_EQ(value, 26);
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_DIMMED, value), 0);
    EXPECT_EQ(value, 1);
    std::string font;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_FONT, font), 0);
    EXPECT_EQ(static_cast<int>(font.size()), Attr(FIELD1, ATTR_TEXT_FONT_NAME_LENGTH));
}

TEST_F(ComboBoxTest, WidthLeftAndTopMoveAllThreePartsInBothStyles) {
    ComboState* s1 = Convert(FIELD1);
    ComboState* s2 = Convert(FIELD2);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_WIDTH, 300), 0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_LEFT, 50), 0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TOP, 150), 0);
    EXPECT_EQ(Geometry(s1->frame), (Rect{50, 150, 300, 26}));
    EXPECT_EQ(Geometry(s1->list), (Rect{51, 151, 24, 24}));
    EXPECT_EQ(Geometry(FIELD1), (Rect{74, 151, 275, 24}));

    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD2, COMBO_ATTR_WIDTH, 300), 0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD2, COMBO_ATTR_LEFT, 50), 0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD2, COMBO_ATTR_TOP, 200), 0);
    EXPECT_EQ(Geometry(s2->frame), (Rect{50, 200, 300, 28}));
    EXPECT_EQ(Geometry(s2->list), (Rect{52, 202, 24, 24}));
    EXPECT_EQ(Geometry(FIELD2), (Rect{74, 202, 274, 24}));

    int value = 0;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD2, COMBO_ATTR_WIDTH, value), 0);
    EXPECT_EQ(value, 300);
    // Narrower than the button and the border: refused, nothing moved.
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD2, COMBO_ATTR_WIDTH, 20), UIEInvalidValue);
    EXPECT_EQ(Geometry(s2->frame), (Rect{50, 200, 300, 28}));
}

TEST_F(ComboBoxTest, SizeAndFontChangesReachFieldAndListAndLayOutAgain) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEInvalidValue);
    ComboState* s = Convert(FIELD1);
    ASSERT_EQ(SetCtrlAttribute(panel, FIELD1, ATTR_HEIGHT, 30), 0);  // a taller field, as a larger font makes
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_POINT_SIZE, 14), 0);
    EXPECT_EQ(Attr(FIELD1, ATTR_TEXT_POINT_SIZE), 14);
    EXPECT_EQ(Attr(s->list, ATTR_TEXT_POINT_SIZE), 14);
    EXPECT_EQ(Geometry(s->frame), (Rect{96, 19, 231, 32}));
    EXPECT_EQ(Geometry(s->list), (Rect{97, 20, 30, 30}));
    EXPECT_EQ(Geometry(FIELD1), (Rect{126, 20, 200, 30}));

    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_FONT, "Courier"), 0);
    std::string font;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_FONT, font), 0);
    EXPECT_EQ(font, "Courier");
    std::string listFont;
    EXPECT_EQ(GetCtrlAttribute(panel, s->list, ATTR_TEXT_FONT, listFont), 0);
    EXPECT_EQ(listFont, "Courier");
    int length = 0;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_FONT_NAME_LENGTH, length), 0);
    EXPECT_EQ(length, 7);

    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_BOLD, 1), 0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_ITALIC, 1), 0);
    for (int control : {FIELD1, s->list}) {
        EXPECT_EQ(Attr(control, ATTR_TEXT_BOLD), 1);
        EXPECT_EQ(Attr(control, ATTR_TEXT_ITALIC), 1);
    }
    // The platform's refusal comes back unchanged.
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_POINT_SIZE, 0), UIEInvalidValue);
}

TEST_F(ComboBoxTest, ColourVisibilityAndDimmingReachTheirParts) {
    ComboState* s = Convert(FIELD1);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_FRAME_COLOR, 0xE0E0E0), 0);
    for (int control : {FIELD1, s->list, s->frame}) EXPECT_EQ(Attr(control, ATTR_FRAME_COLOR), 0xE0E0E0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_TEXT_COLOR, 0x0000FF), 0);
    EXPECT_EQ(Attr(FIELD1, ATTR_TEXT_COLOR), 0x0000FF);

    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_VISIBLE, 0), 0);
    for (int control : {FIELD1, s->list, s->frame}) EXPECT_FALSE(uitest::IsShown(panel, control));
    int value = -1;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_VISIBLE, value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_VISIBLE, 1), 0);
    for (int control : {FIELD1, s->list, s->frame}) EXPECT_TRUE(uitest::IsShown(panel, control));

    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_DIMMED, 1), 0);
    for (int control : {FIELD1, s->list, s->frame}) EXPECT_EQ(Attr(control, ATTR_DIMMED), 1);
    EXPECT_EQ(uitest::SelectListItem(panel, s->list, 0), UIEInvalidControl);  // a dimmed list takes no choice
}

TEST_F(ComboBoxTest, MaximumEntryLengthSetsFieldAndLimit) {
    ComboState* s = Convert(FIELD1);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, 8), 0);
    EXPECT_EQ(Attr(FIELD1, ATTR_MAX_ENTRY_LENGTH), 8);
    EXPECT_EQ(s->lengthLimit, 9);
    int value = 0;
    EXPECT_EQ(Combo_GetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, value), 0);
    EXPECT_EQ(value, 8);
    EXPECT_EQ(Combo_SetComboAttribute(panel, FIELD1, COMBO_ATTR_MAX_ENTRY_LENGTH, -1), 0);
    EXPECT_EQ(Attr(FIELD1, ATTR_MAX_ENTRY_LENGTH), -1);
    EXPECT_EQ(s->lengthLimit, -1);
}

// ---------------------------------------------------------------------------------------------------------
// Value changed now, commit later

TEST_F(ComboBoxTest, ValueChangedComesAtOnceAndCommitAfterTheCurrentEvent) {
    ComboState* s = Convert(FIELD1);
    SendValChangedEvent(s);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].control, FIELD1);
    EXPECT_EQ(events[0].event, EVENT_VAL_CHANGED);
    EXPECT_EQ(events[0].data, &userToken);
    EXPECT_EQ(events[0].data1, 0);
    EXPECT_EQ(events[0].data2, 0);
    EXPECT_TRUE(uitest::PumpUntil([this] { return EventKinds().size() == 2; }, 2.0));
    EXPECT_EQ(EventKinds(), (std::vector<int>{EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(events.back().control, FIELD1);

    // Raised from inside the application's own key handling, the commit still waits for it to end.
    events.clear();
    static ComboState* current = nullptr;
    current = s;
    onEvent = [](int event) {
        if (event == EVENT_KEYPRESS) SendValChangedEvent(current);
    };
    ASSERT_EQ(uitest::PressKey(panel, FIELD1, VAL_F9_VKEY), 0);
    onEvent = nullptr;
    EXPECT_EQ(EventKinds(), (std::vector<int>{EVENT_KEYPRESS, EVENT_VAL_CHANGED}));
    EXPECT_TRUE(uitest::PumpUntil([this] { return EventKinds().size() == 3; }, 2.0));
    EXPECT_EQ(EventKinds().back(), EVENT_COMMIT);

    events.clear();
    SendCommitEvent(s);
    EXPECT_EQ(EventKinds(), (std::vector<int>{EVENT_COMMIT}));
}

TEST_F(ComboBoxTest, SendingForSomethingThatIsNoComboStateDoesNothing) {
    Convert(FIELD1);
    ComboState lookalike{};
    lookalike.panel = panel;
    lookalike.textField = FIELD1;
    lookalike.userCallback = Record;
    lookalike.marker = COMBO_MARKER;
    SendValChangedEvent(&lookalike);
    SendValChangedEvent(nullptr);
    SendCommitEvent(&lookalike);
    for (int i = 0; i < 5; ++i) ProcessSystemEvents();
    EXPECT_TRUE(EventKinds().empty());
}

TEST_F(ComboBoxTest, QueuedCommitOfADiscardedComboBoxIsDropped) {
    ComboState* s = Convert(FIELD1);
    SendValChangedEvent(s);
    ASSERT_EQ(Combo_DiscardComboBox(panel, FIELD1), 0);
    for (int i = 0; i < 20; ++i) ProcessSystemEvents();
    EXPECT_EQ(EventKinds(), (std::vector<int>{EVENT_VAL_CHANGED}));
}

// While the application's callback runs, the combo's lock is held.
TEST_F(ComboBoxTest, HandlersHoldTheLockWhileTheApplicationRuns) {
    ComboState* s = Convert(FIELD1);
    static int lock = 0;
    static double callbackEnd = 0, acquired = 0;
    static std::thread other;
    lock = s->lock;
    onEvent = [](int event) {
        if (event != EVENT_KEYPRESS) return;
        other = std::thread([] {
            CmtGetLock(lock);
            acquired = Timer();
            CmtReleaseLock(lock);
        });
        Sleep(100);
        callbackEnd = Timer();
    };
    ASSERT_EQ(uitest::PressKey(panel, FIELD1, VAL_F9_VKEY), 0);
    onEvent = nullptr;
    other.join();
    EXPECT_GE(acquired, callbackEnd);
}

// ---------------------------------------------------------------------------------------------------------
// Discard

TEST_F(ComboBoxTest, DiscardRemovesListFrameAndTextField) {
    uitest::AllowPlatformErrors refused("GetCtrlAttribute", UIEInvalidControl);
    ComboState* s = Convert(FIELD1, {"ALPHA"});
    const int list = s->list, frame = s->frame, lock = s->lock;
    EXPECT_EQ(Combo_DiscardComboBox(panel, FIELD1), 0);
    int value = 0;
    for (int control : {FIELD1, list, frame})
        EXPECT_EQ(GetCtrlAttribute(panel, control, ATTR_VISIBLE, value), UIEInvalidControl) << control;
    EXPECT_EQ(CmtGetLock(lock), -1);  // the lock is gone too
    EXPECT_EQ(Combo_DiscardComboBox(panel, FIELD1), UIEInvalidControl);
    EXPECT_EQ(TabOrder(), (std::vector<int>{FIELD2, NUMERIC, BUTTON, BUTTON2, INDICATOR}));
    // The other field converts as before.
    EXPECT_EQ(Combo_NewComboBox(panel, FIELD2), FIELD2);
}

// A combo box that went with its panel leaves nothing behind once the next one is made.
TEST_F(ComboBoxTest, ComboBoxOfADiscardedPanelIsCleanedUp) {
    uitest::AllowPlatformErrors refused("GetCtrlAttribute", UIEInvalidPanel);
    const int other = LoadPanel(0, kPanel);
    ASSERT_GT(other, 0);
    ASSERT_EQ(Combo_NewComboBox(other, FIELD1), FIELD1);
    void* data = nullptr;
    ASSERT_EQ(GetCtrlAttribute(other, FIELD1, ATTR_CALLBACK_DATA, data), 0);
    const int lock = static_cast<ComboState*>(data)->lock;
    ASSERT_EQ(DiscardPanel(other), 0);
    EXPECT_EQ(CmtGetLock(lock), 0);  // still there
    EXPECT_EQ(CmtReleaseLock(lock), 0);
    Convert(FIELD1);
    EXPECT_EQ(CmtGetLock(lock), -1);
}

TEST_F(ComboBoxTest, DiscardFromInsideTheApplicationsCallback) {
    uitest::AllowPlatformErrors refused("GetCtrlAttribute", UIEInvalidControl);
    ComboState* s = Convert(FIELD1, {"ALPHA"});
    static int panelHandle = 0;
    panelHandle = panel;
    onEvent = [](int event) {
        if (event == EVENT_COMMIT) {
            EXPECT_EQ(Combo_DiscardComboBox(panelHandle, FIELD1), 0);
        }
    };
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 0), 0);
    onEvent = nullptr;
    for (int i = 0; i < 5; ++i) ProcessSystemEvents();
    EXPECT_FALSE(uitest::IsShown(panel, FIELD1));
    int count = 0;
    EXPECT_EQ(Combo_GetNumComboItems(panel, FIELD1, count), UIEInvalidControl);
    EXPECT_EQ(EventKinds().back(), EVENT_COMMIT);
}

// ---------------------------------------------------------------------------------------------------------
// Without an application callback, and as a picture

TEST_F(ComboBoxTest, WorksWithoutAnApplicationCallback) {
    ASSERT_EQ(InstallCtrlCallback(panel, FIELD2, nullptr, nullptr), 0);
    ComboState* s = Convert(FIELD2, {"ALPHA"});
    ASSERT_EQ(uitest::TypeText(panel, FIELD2, "a"), 0);
    EXPECT_EQ(Text(FIELD2), "aLPHA");
    ASSERT_EQ(uitest::SelectListItem(panel, s->list, 0), 0);
    EXPECT_EQ(Text(FIELD2), "ALPHA");
    SendValChangedEvent(s);
    for (int i = 0; i < 5; ++i) ProcessSystemEvents();
    EXPECT_TRUE(EventKinds().empty());
}

// Renders the panel for a look (bin dir of the test); the picture must come out.
TEST_F(ComboBoxTest, RendersAsADropDownBesideTheField) {
    Convert(FIELD1, {"server.example.com", "192.168.0.10"});
    Convert(FIELD2, {"ALPHA"});
    for (int field : {FIELD1, FIELD2})
        ASSERT_EQ(Combo_SetComboAttribute(panel, field, COMBO_ATTR_FRAME_COLOR, 0xE0E0E0), 0);
    ASSERT_EQ(SetCtrlVal(panel, FIELD1, std::string_view("server.example.com")), 0);
    ASSERT_EQ(SavePanelImage(panel, COMBO_TEST_IMAGE), 0);
    long size = 0;
    EXPECT_EQ(GetFileInfo(COMBO_TEST_IMAGE, size), 1);
    EXPECT_GT(size, 0);
}

}  // namespace
