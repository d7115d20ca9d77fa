// Control values, rings, tables, attributes and controls made at run time.
#include <limits>

#include "test_panel.h"

namespace {

using PlatformControlValueTest = PanelTest;

TEST_F(PlatformControlValueTest, IntegerNumericConvertsOnlyWhereItMakesSense) {
    uitest::AllowPlatformErrors refused(
        {{"GetCtrlVal", UIEWrongType}, {"SetCtrlVal", UIEWrongType}, {"GetCtrlVal", UIEInvalidValue}});
    EXPECT_EQ(SetCtrlVal(panel, NUM_INT, 42), 0);
    int i = 0;
    unsigned short u = 0;
    double d = 0;
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, NUM_INT, i), 0);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(GetCtrlVal(panel, NUM_INT, u), 0);
    EXPECT_EQ(u, 42);
    EXPECT_EQ(GetCtrlVal(panel, NUM_INT, d), 0);
    EXPECT_EQ(d, 42.0);
    EXPECT_EQ(GetCtrlVal(panel, NUM_INT, s), UIEWrongType);
    EXPECT_EQ(SetCtrlVal(panel, NUM_INT, 2.5), UIEWrongType);
    EXPECT_EQ(SetCtrlVal(panel, NUM_INT, "7"), UIEWrongType);

    // A negative value does not fit an unsigned 16-bit variable.
    EXPECT_EQ(SetCtrlVal(panel, NUM_INT, -5), 0);
    u = 77;
    EXPECT_EQ(GetCtrlVal(panel, NUM_INT, u), UIEInvalidValue);
    EXPECT_EQ(u, 77);
    // Values beyond the control's range are held at its limits (-100..1000 in the file).
    EXPECT_EQ(SetCtrlVal(panel, NUM_INT, 5000), 0);
    EXPECT_EQ(GetCtrlVal(panel, NUM_INT, i), 0);
    EXPECT_EQ(i, 1000);
}

TEST_F(PlatformControlValueTest, UnsignedShortNumericCoversTheWholeRange) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEInvalidValue);
    int type = 0, max = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_U16, ATTR_DATA_TYPE, type), 0);
    EXPECT_EQ(type, VAL_UNSIGNED_SHORT_INTEGER);
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_U16, ATTR_MAX_VALUE, max), 0);
    EXPECT_EQ(max, 65535);
    EXPECT_EQ(SetCtrlVal(panel, NUM_U16, static_cast<unsigned short>(65535)), 0);
    unsigned short u = 0;
    EXPECT_EQ(GetCtrlVal(panel, NUM_U16, u), 0);
    EXPECT_EQ(u, 65535);
    EXPECT_EQ(SetCtrlVal(panel, NUM_U16, -1), 0);
    EXPECT_EQ(GetCtrlVal(panel, NUM_U16, u), 0);
    EXPECT_EQ(u, 0);
    EXPECT_EQ(SetCtrlAttribute(panel, NUM_U16, ATTR_MAX_VALUE, 70000), UIEInvalidValue);
}

TEST_F(PlatformControlValueTest, DoubleNumericKeepsItsDecimalsAndRefusesIntegerReads) {
    uitest::AllowPlatformErrors refused("GetCtrlVal", UIEWrongType);
    EXPECT_EQ(SetCtrlVal(panel, NUM_DBL, 12.345), 0);
    double d = 0;
    int i = 0;
    EXPECT_EQ(GetCtrlVal(panel, NUM_DBL, d), 0);
    EXPECT_DOUBLE_EQ(d, 12.345);
    EXPECT_EQ(GetCtrlVal(panel, NUM_DBL, i), UIEWrongType);
    EXPECT_EQ(SetCtrlVal(panel, NUM_DBL, 3), 0);  // an integer widens
    EXPECT_EQ(GetCtrlVal(panel, NUM_DBL, d), 0);
    EXPECT_EQ(d, 3.0);
    double lo = 0;
    EXPECT_EQ(SetCtrlAttribute(panel, NUM_DBL, ATTR_MIN_VALUE, -2.5), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_DBL, ATTR_MIN_VALUE, lo), 0);
    EXPECT_EQ(lo, -2.5);
    EXPECT_EQ(SetCtrlVal(panel, NUM_DBL, -100.0), 0);
    EXPECT_EQ(GetCtrlVal(panel, NUM_DBL, d), 0);
    EXPECT_EQ(d, -2.5);
}

TEST_F(PlatformControlValueTest, TextControls) {
    uitest::AllowPlatformErrors refused(
        {{"GetCtrlVal", UIEWrongType}, {"SetCtrlVal", UIEWrongType}, {"ResetTextBox", UIEWrongType}});
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, TEXT_MSG, s), 0);
    EXPECT_EQ(s, "Hello");
    EXPECT_EQ(SetCtrlVal(panel, TEXT_MSG, " TIMEOUT \n line 2 "), 0);
    EXPECT_EQ(GetCtrlVal(panel, TEXT_MSG, s), 0);
    EXPECT_EQ(s, " TIMEOUT \n line 2 ");
    EXPECT_EQ(SetCtrlVal(panel, STR2, "192.168.0.10"), 0);
    EXPECT_EQ(GetCtrlVal(panel, STR2, s), 0);
    EXPECT_EQ(s, "192.168.0.10");
    int style = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, STR2, ATTR_CTRL_STYLE, style), 0);
    EXPECT_EQ(style, CTRL_STRING_LS);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CTRL_STYLE, style), 0);
    EXPECT_EQ(style, CTRL_STRING);
    int i = 0;
    EXPECT_EQ(GetCtrlVal(panel, STR, i), UIEWrongType);
    EXPECT_EQ(SetCtrlVal(panel, STR, 5), UIEWrongType);

    // A text box collects what is put into it; ResetTextBox replaces it.
    EXPECT_EQ(SetCtrlVal(panel, TEXT_BOX, "first\n"), 0);
    EXPECT_EQ(SetCtrlVal(panel, TEXT_BOX, "second"), 0);
    EXPECT_EQ(GetCtrlVal(panel, TEXT_BOX, s), 0);
    EXPECT_EQ(s, "first\nsecond");
    EXPECT_EQ(ResetTextBox(panel, TEXT_BOX, "new"), 0);
    EXPECT_EQ(GetCtrlVal(panel, TEXT_BOX, s), 0);
    EXPECT_EQ(s, "new");
    EXPECT_EQ(ResetTextBox(panel, STR, "x"), UIEWrongType);
}

TEST_F(PlatformControlValueTest, MaximumEntryLengthCutsProgramTextToo) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEInvalidAttribute);
    int length = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_MAX_ENTRY_LENGTH, length), 0);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_MAX_ENTRY_LENGTH, 8), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_MAX_ENTRY_LENGTH, length), 0);
    EXPECT_EQ(length, 8);
    EXPECT_EQ(SetCtrlVal(panel, STR, "0123456789AB"), 0);
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, STR, s), 0);
    EXPECT_EQ(s, "01234567");
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_MAX_ENTRY_LENGTH, -1), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_MAX_ENTRY_LENGTH, length), 0);
    EXPECT_EQ(length, -1);
    EXPECT_EQ(SetCtrlAttribute(panel, NUM_INT, ATTR_MAX_ENTRY_LENGTH, 3), UIEInvalidAttribute);
}

TEST_F(PlatformControlValueTest, TextSelection) {
    SetCtrlVal(panel, STR, "aLPHA");
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_TEXT_SELECTION_START, 1), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_TEXT_SELECTION_LENGTH, 4), 0);
    int start = -1, length = -1;
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_TEXT_SELECTION_START, start), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_TEXT_SELECTION_LENGTH, length), 0);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(length, 4);
}

TEST_F(PlatformControlValueTest, BarSteppedFastKeepsEveryValueAndShowsTheLast) {
    // A transfer steps its progress bar after every echo; the value is there at once, and the picture
    // follows within a frame or two.
    SetCtrlVal(panel, BAR, 0.0);
    uitest::PumpUntil([] { return false; }, 0.05);
    const int empty = uitest::PanelPixel(panel, 220, 140);
    double d = -1;
    for (int k = 1; k <= 100; ++k) {
        SetCtrlVal(panel, BAR, 40.96 * k);
        GetCtrlVal(panel, BAR, d);
        ASSERT_DOUBLE_EQ(d, 40.96 * k);
    }
    EXPECT_TRUE(uitest::PumpUntil([&] { return uitest::PanelPixel(panel, 220, 140) != empty; }, 0.5))
        << "the full bar is drawn";
}

TEST_F(PlatformControlValueTest, ToggleSliderAndBar) {
    uitest::AllowPlatformErrors refused("SetCtrlVal", UIEWrongType);
    int i = -1;
    EXPECT_EQ(SetCtrlVal(panel, TOGGLE, 1), 0);
    EXPECT_EQ(GetCtrlVal(panel, TOGGLE, i), 0);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(SetCtrlVal(panel, SLIDER, 60), 0);
    EXPECT_EQ(GetCtrlVal(panel, SLIDER, i), 0);
    EXPECT_EQ(i, 60);

    // The bar keeps the exact double and reports the file's full scale.
    double d = 0, max = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, BAR, ATTR_MAX_VALUE, max), 0);
    EXPECT_EQ(max, 4096.0);
    EXPECT_EQ(SetCtrlVal(panel, BAR, 33.33), 0);
    EXPECT_EQ(GetCtrlVal(panel, BAR, d), 0);
    EXPECT_EQ(d, 33.33);
    EXPECT_EQ(SetCtrlVal(panel, BAR, 99999.0), 0);  // beyond full scale: kept, drawn full
    EXPECT_EQ(GetCtrlVal(panel, BAR, d), 0);
    EXPECT_EQ(d, 99999.0);
    EXPECT_EQ(SetCtrlVal(panel, BAR, "1"), UIEWrongType);

    EXPECT_EQ(SetCtrlVal(panel, BUTTON, 1), UIEWrongType);
    EXPECT_EQ(SetCtrlVal(panel, DECO, 1), UIEWrongType);
}

TEST_F(PlatformControlValueTest, InvalidHandles) {
    uitest::AllowPlatformErrors refused({{"GetCtrlVal", UIEInvalidPanel},
                                         {"GetCtrlVal", UIEInvalidControl},
                                         {"SetCtrlAttribute", UIEInvalidControl}});
    int i = 0;
    EXPECT_EQ(GetCtrlVal(999, NUM_INT, i), UIEInvalidPanel);
    EXPECT_EQ(GetCtrlVal(panel, 999, i), UIEInvalidControl);
    EXPECT_EQ(SetCtrlAttribute(panel, 999, ATTR_VISIBLE, 0), UIEInvalidControl);
}

using PlatformRingTest = PanelTest;

TEST_F(PlatformRingTest, IntegerRingSelectsByValue) {
    uitest::AllowPlatformErrors refused(
        {{"SetCtrlVal", UIEItemNotFound}, {"SetCtrlIndex", UIEIndexOutOfRange}});
    int value = 0, index = -1;
    std::string label;
    EXPECT_EQ(GetCtrlVal(panel, RING_INT, value), 0);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(SetCtrlVal(panel, RING_INT, 30), 0);
    EXPECT_EQ(GetCtrlVal(panel, RING_INT, value), 0);
    EXPECT_EQ(value, 30);
    EXPECT_EQ(GetCtrlVal(panel, RING_INT, label), 0);
    EXPECT_EQ(label, "C");

    // A value that no item has leaves the choice as it was.
    EXPECT_EQ(SetCtrlVal(panel, RING_INT, 25), UIEItemNotFound);
    EXPECT_EQ(GetCtrlVal(panel, RING_INT, value), 0);
    EXPECT_EQ(value, 30);
    EXPECT_EQ(GetCtrlIndex(panel, RING_INT, index), 0);
    EXPECT_EQ(index, 2);

    EXPECT_EQ(GetIndexFromValue(panel, RING_INT, index, 20), 0);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(GetIndexFromValue(panel, RING_INT, index, 21), UIEItemNotFound);
    EXPECT_EQ(SetCtrlIndex(panel, RING_INT, 0), 0);
    EXPECT_EQ(GetCtrlVal(panel, RING_INT, value), 0);
    EXPECT_EQ(value, 10);
    EXPECT_EQ(SetCtrlIndex(panel, RING_INT, 3), UIEIndexOutOfRange);
    EXPECT_EQ(SetCtrlIndex(panel, RING_INT, -1), UIEIndexOutOfRange);
}

TEST_F(PlatformRingTest, TextRingItemsAndListEditing) {
    uitest::AllowPlatformErrors refused({{"SetCtrlVal", UIEItemNotFound},
                                         {"GetCtrlVal", UIEWrongType},
                                         {"InsertListItem", UIEIndexOutOfRange},
                                         {"GetValueFromIndex", UIEIndexOutOfRange},
                                         {"GetCtrlVal", UIEIndexOutOfRange},
                                         {"InsertListItem", UIEWrongType}});
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, RING_TEXT, s), 0);
    EXPECT_EQ(s, "RAM");
    EXPECT_EQ(SetCtrlVal(panel, RING_TEXT, "FILE"), 0);
    EXPECT_EQ(GetCtrlVal(panel, RING_TEXT, s), 0);
    EXPECT_EQ(s, "FILE");
    EXPECT_EQ(SetCtrlVal(panel, RING_TEXT, "ROM"), UIEItemNotFound);
    int number = 0;
    EXPECT_EQ(GetCtrlVal(panel, RING_TEXT, number), UIEWrongType);

    EXPECT_EQ(InsertListItem(panel, RING_TEXT, -1, "last", "LAST"), 0);
    EXPECT_EQ(InsertListItem(panel, RING_TEXT, 0, "first", "FIRST"), 0);
    EXPECT_EQ(InsertListItem(panel, RING_TEXT, 9, "far", "FAR"), UIEIndexOutOfRange);
    int count = 0, length = 0;
    EXPECT_EQ(GetNumListItems(panel, RING_TEXT, count), 0);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(GetValueFromIndex(panel, RING_TEXT, 0, s), 0);
    EXPECT_EQ(s, "FIRST");
    EXPECT_EQ(GetValueFromIndex(panel, RING_TEXT, 4, s), 0);
    EXPECT_EQ(s, "LAST");
    EXPECT_EQ(GetValueLengthFromIndex(panel, RING_TEXT, 2, length), 0);
    EXPECT_EQ(length, 6);  // EEPROM
    EXPECT_EQ(ReplaceListItem(panel, RING_TEXT, 2, "E2", "E2PROM"), 0);
    int index = -1;
    EXPECT_EQ(GetIndexFromValue(panel, RING_TEXT, index, "E2PROM"), 0);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(GetValueFromIndex(panel, RING_TEXT, 5, s), UIEIndexOutOfRange);

    // Delete from index 1 two items, then everything from index 1 on.
    EXPECT_EQ(DeleteListItem(panel, RING_TEXT, 1, 2), 0);
    EXPECT_EQ(GetNumListItems(panel, RING_TEXT, count), 0);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(GetValueFromIndex(panel, RING_TEXT, 1, s), 0);
    EXPECT_EQ(s, "FILE");
    EXPECT_EQ(DeleteListItem(panel, RING_TEXT, 1, -1), 0);
    EXPECT_EQ(GetNumListItems(panel, RING_TEXT, count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ClearListCtrl(panel, RING_TEXT), 0);
    EXPECT_EQ(GetNumListItems(panel, RING_TEXT, count), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(GetCtrlVal(panel, RING_TEXT, s), UIEIndexOutOfRange);
    EXPECT_EQ(InsertListItem(panel, STR, -1, "x", 1), UIEWrongType);
}

using PlatformTableTest = PanelTest;

TEST_F(PlatformTableTest, CellsAreOneBasedAndTyped) {
    uitest::AllowPlatformErrors refused({{"GetTableCellVal", UIEWrongType},
                                         {"GetTableCellVal", UIEIndexOutOfRange},
                                         {"SetTableCellVal", UIEInvalidValue},
                                         {"SetTableCellVal", UIEWrongType}});
    EXPECT_EQ(SetTableCellVal(panel, TABLE, Point{2, 3}, static_cast<unsigned short>(65535)), 0);
    unsigned short u = 0;
    int i = 0;
    double d = 0;
    std::string s;
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{2, 3}, u), 0);
    EXPECT_EQ(u, 65535);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{2, 3}, i), 0);
    EXPECT_EQ(i, 65535);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{2, 3}, d), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{2, 3}, s), UIEWrongType);
    // Untouched cells of an unsigned 16-bit table hold 0.
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{1, 1}, u), 0);
    EXPECT_EQ(u, 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{0, 1}, u), UIEIndexOutOfRange);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{3, 1}, u), UIEIndexOutOfRange);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{1, 4}, u), UIEIndexOutOfRange);

    // Every cell has the table's type: a value that does not fit is refused and the cell keeps its own
    // (the other types are in test_kinds.cpp).
    EXPECT_EQ(SetTableCellVal(panel, TABLE, Point{1, 1}, -7), UIEInvalidValue);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{1, 1}, u), 0);
    EXPECT_EQ(u, 0);
    EXPECT_EQ(SetTableCellVal(panel, TABLE, Point{1, 2}, 0.25), UIEWrongType);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{1, 2}, d), 0);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{1, 2}, i), 0);
    EXPECT_EQ(SetTableCellVal(panel, TABLE, Point{2, 1}, "text"), UIEWrongType);
    EXPECT_EQ(GetTableCellVal(panel, TABLE, Point{2, 1}, s), UIEWrongType);
    EXPECT_EQ(SetTableCellVal(panel, STR, Point{1, 1}, 1), UIEWrongType);
}

TEST_F(PlatformTableTest, RowLabelColours) {
    uitest::AllowPlatformErrors refused("SetTableRowAttribute", UIEIndexOutOfRange);
    EXPECT_EQ(SetTableRowAttribute(panel, TABLE, 1, ATTR_LABEL_COLOR, 0x008000), 0);
    EXPECT_EQ(SetTableRowAttribute(panel, TABLE, 3, ATTR_LABEL_COLOR, 0xFF0000), 0);
    EXPECT_EQ(SetTableRowAttribute(panel, TABLE, 2, ATTR_LABEL_BGCOLOR, 0x0000FF), 0);
    int c = 0;
    EXPECT_EQ(GetTableRowAttribute(panel, TABLE, 1, ATTR_LABEL_COLOR, c), 0);
    EXPECT_EQ(c, 0x008000);
    EXPECT_EQ(GetTableRowAttribute(panel, TABLE, 3, ATTR_LABEL_COLOR, c), 0);
    EXPECT_EQ(c, 0xFF0000);
    EXPECT_EQ(GetTableRowAttribute(panel, TABLE, 2, ATTR_LABEL_BGCOLOR, c), 0);
    EXPECT_EQ(c, 0x0000FF);
    EXPECT_EQ(SetTableRowAttribute(panel, TABLE, 4, ATTR_LABEL_COLOR, 0), UIEIndexOutOfRange);
    EXPECT_EQ(SetTableRowAttribute(panel, TABLE, 0, ATTR_LABEL_COLOR, 0), UIEIndexOutOfRange);
}

using PlatformAttributeTest = PanelTest;

TEST_F(PlatformAttributeTest, VisibleDimmedAndGeometry) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEWrongType);
    DisplayPanel(panel);
    int v = -1;
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_VISIBLE, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_VISIBLE, v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(uitest::IsShown(panel, BUTTON));
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_VISIBLE, 1), 0);
    EXPECT_TRUE(uitest::IsShown(panel, BUTTON));

    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, v), 0);
    EXPECT_EQ(v, 0);

    int top = 0, left = 0, width = 0, height = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_TOP, top), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_LEFT, left), 0);
    EXPECT_EQ(top, 140);
    EXPECT_EQ(left, 10);
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_LEFT, 33), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_WIDTH, 91), 0);
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_HEIGHT, 19), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_LEFT, left), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_WIDTH, width), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_HEIGHT, height), 0);
    EXPECT_EQ(left, 33);
    EXPECT_EQ(width, 91);
    EXPECT_EQ(height, 19);
    double asDouble = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_WIDTH, asDouble), 0);
    EXPECT_EQ(asDouble, 91.0);
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_WIDTH, 10.5), UIEWrongType);
}

TEST_F(PlatformAttributeTest, ModesOfIndicatorsAndHotControls) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEInvalidValue);
    int mode = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_IND, ATTR_CTRL_MODE, mode), 0);
    EXPECT_EQ(mode, VAL_INDICATOR);  // readOnly in the file
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_CTRL_MODE, mode), 0);
    EXPECT_EQ(mode, VAL_INDICATOR);
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_INT, ATTR_CTRL_MODE, mode), 0);
    EXPECT_EQ(mode, VAL_HOT);
    EXPECT_EQ(SetCtrlAttribute(panel, NUM_IND, ATTR_CTRL_MODE, VAL_HOT), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_IND, ATTR_CTRL_MODE, mode), 0);
    EXPECT_EQ(mode, VAL_HOT);
    EXPECT_EQ(SetCtrlAttribute(panel, NUM_IND, ATTR_CTRL_MODE, 7), UIEInvalidValue);
}

TEST_F(PlatformAttributeTest, ColoursReadBackAsSet) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEInvalidAttribute);
    int c = 0;
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_CMD_BUTTON_COLOR, 0xFF0000), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_CMD_BUTTON_COLOR, c), 0);
    EXPECT_EQ(c, 0xFF0000);
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_CMD_BUTTON_COLOR, 0xFF0000), UIEInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_BGCOLOR, VAL_TRANSPARENT), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_BGCOLOR, c), 0);
    EXPECT_EQ(c, VAL_TRANSPARENT);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_COLOR, 0x808080), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_COLOR, c), 0);
    EXPECT_EQ(c, 0x808080);
    EXPECT_EQ(SetCtrlAttribute(panel, DECO, ATTR_FRAME_COLOR, 0x0080FF), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, DECO, ATTR_FRAME_COLOR, c), 0);
    EXPECT_EQ(c, 0x0080FF);
    EXPECT_EQ(SetCtrlAttribute(panel, DECO, ATTR_TEXT_COLOR, 0), UIEInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(panel, RING_TEXT, ATTR_FRAME_COLOR, 0xE0E0E0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, RING_TEXT, ATTR_FRAME_COLOR, c), 0);
    EXPECT_EQ(c, 0xE0E0E0);
}

TEST_F(PlatformAttributeTest, FontsAndLabels) {
    uitest::AllowPlatformErrors refused(
        {{"SetCtrlAttribute", UIEInvalidAttribute}, {"SetCtrlAttribute", UIEWrongType}});
    std::string font;
    int length = 0, size = 0, bold = -1;
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_FONT, VAL_APP_FONT), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_FONT, font), 0);
    EXPECT_EQ(font, VAL_APP_FONT);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_FONT_NAME_LENGTH, length), 0);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_FONT_NAME_LENGTH, 3), UIEInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_POINT_SIZE, 22), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_POINT_SIZE, size), 0);
    EXPECT_EQ(size, 22);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_BOLD, 1), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_BOLD, bold), 0);
    EXPECT_EQ(bold, 1);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_TEXT_FONT, 5), UIEWrongType);

    std::string label;
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_LABEL_TEXT, label), 0);
    EXPECT_EQ(label, "Go");
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_LABEL_TEXT, "Stop"), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_LABEL_TEXT, label), 0);
    EXPECT_EQ(label, "Stop");
}

TEST_F(PlatformAttributeTest, CallbackDataAndFunction) {
    uitest::AllowPlatformErrors refused("GetCtrlAttribute", UIEWrongType);
    int marker = 0;
    EXPECT_EQ(InstallCtrlCallback(panel, STR, Record, &marker), 0);
    void* data = nullptr;
    CtrlCallbackPtr fn = nullptr;
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CALLBACK_DATA, data), 0);
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CALLBACK_FUNCTION_POINTER, fn), 0);
    EXPECT_EQ(fn, &Record);
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_CALLBACK_DATA, static_cast<void*>(nullptr)), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CALLBACK_DATA, data), 0);
    EXPECT_EQ(data, nullptr);
    int i = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CALLBACK_DATA, i), UIEWrongType);
}

TEST_F(PlatformAttributeTest, PlotAttributesOnOtherControlsAreInvalid) {
    uitest::AllowPlatformErrors refused(
        {{"SetCtrlAttribute", UIEInvalidAttribute}, {"GetCtrlAttribute", UIEInvalidAttribute}});
    EXPECT_EQ(SetCtrlAttribute(panel, NUM_INT, ATTR_POINTS_PER_SCREEN, 100), UIEInvalidAttribute);
    int v = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_NUM_TRACES, v), UIEInvalidAttribute);
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_MIN_VALUE, 1), UIEInvalidAttribute);
}

TEST_F(PlatformAttributeTest, TabOrderStartsFromTheFileAndMovesControls) {
    uitest::AllowPlatformErrors refused("SetCtrlAttribute", UIEInvalidAttribute);
    // The file puts strField, numInt, button first.
    int pos = -1;
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_INT, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, 2);

    // Walking the tab order from the first control visits every control once.
    int control = 0, visited = 0;
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, control), 0);
    EXPECT_EQ(control, STR);
    for (; control != 0 && visited < 100; ++visited)
        ASSERT_EQ(GetCtrlAttribute(panel, control, ATTR_NEXT_CTRL, control), 0);
    EXPECT_EQ(visited, static_cast<int>(std::size(kMainControls)));
    EXPECT_EQ(SetCtrlAttribute(panel, STR, ATTR_NEXT_CTRL, NUM_INT), UIEInvalidAttribute);

    // Moving the button to 0 shifts the others back by one.
    EXPECT_EQ(SetCtrlAttribute(panel, BUTTON, ATTR_CTRL_TAB_POSITION, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, BUTTON, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(GetCtrlAttribute(panel, NUM_INT, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, control), 0);
    EXPECT_EQ(control, BUTTON);

    // Tab from the button goes to the text field now.
    DisplayPanel(panel);
    uitest::PumpUntil([] { return false; }, 0.05);
    SetActiveCtrl(panel, BUTTON);
    FakeKeystroke(VAL_TAB_VKEY);
    EXPECT_EQ(GetActiveCtrl(panel), STR);
}

TEST_F(PlatformAttributeTest, ZPlaneOrder) {
    int z = -1;
    EXPECT_EQ(SetCtrlAttribute(panel, DECO, ATTR_ZPLANE_POSITION, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, DECO, ATTR_ZPLANE_POSITION, z), 0);
    EXPECT_EQ(z, 0);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_ZPLANE_POSITION, 0), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, DECO, ATTR_ZPLANE_POSITION, z), 0);
    EXPECT_EQ(z, 1);
    EXPECT_EQ(SetCtrlAttribute(panel, TEXT_MSG, ATTR_ZPLANE_POSITION, 1000), 0);  // to the back
    EXPECT_EQ(GetCtrlAttribute(panel, DECO, ATTR_ZPLANE_POSITION, z), 0);
    EXPECT_EQ(z, 0);
    EXPECT_EQ(GetCtrlAttribute(panel, TEXT_MSG, ATTR_ZPLANE_POSITION, z), 0);
    EXPECT_EQ(z, static_cast<int>(std::size(kMainControls)) - 1);
}

using PlatformNewCtrlTest = PanelTest;

TEST_F(PlatformNewCtrlTest, NewControlsGetFreshIdsAndJoinTheTabOrder) {
    uitest::AllowPlatformErrors refused({{"GetCtrlVal", UIEInvalidControl},
                                         {"DiscardCtrl", UIEInvalidControl},
                                         {"NewCtrl", UIEInvalidPanel}});
    const int msg = NewCtrl(panel, CTRL_TEXT_MSG, "", 20, 240);
    ASSERT_GT(msg, 0);
    EXPECT_GT(msg, static_cast<int>(DECO));
    const int ring = NewCtrl(panel, CTRL_POPUP_RING, "", 70, 100);
    const int frame = NewCtrl(panel, CTRL_DECORATION, "", 69, 99);
    EXPECT_EQ(ring, msg + 1);
    EXPECT_EQ(frame, ring + 1);

    int style = 0, top = 0, left = 0, pos = 0;
    EXPECT_EQ(GetCtrlAttribute(panel, ring, ATTR_CTRL_STYLE, style), 0);
    EXPECT_EQ(style, CTRL_POPUP_RING);
    EXPECT_EQ(GetCtrlAttribute(panel, frame, ATTR_CTRL_STYLE, style), 0);
    EXPECT_EQ(style, CTRL_DECORATION);
    EXPECT_EQ(GetCtrlAttribute(panel, msg, ATTR_TOP, top), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, msg, ATTR_LEFT, left), 0);
    EXPECT_EQ(top, 20);
    EXPECT_EQ(left, 240);
    EXPECT_EQ(GetCtrlAttribute(panel, frame, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, static_cast<int>(std::size(kMainControls)) + 2);

    // A text message sizes itself to its text.
    int w1 = 0, w2 = 0;
    SetCtrlVal(panel, msg, "x");
    GetCtrlAttribute(panel, msg, ATTR_WIDTH, w1);
    SetCtrlVal(panel, msg, "a much longer line of text");
    GetCtrlAttribute(panel, msg, ATTR_WIDTH, w2);
    EXPECT_GT(w2, w1);

    // The new ring is a list like any other; it takes string values.
    EXPECT_EQ(InsertListItem(panel, ring, -1, "host-a", "host-a"), 0);
    std::string s;
    EXPECT_EQ(GetCtrlVal(panel, ring, s), 0);
    EXPECT_EQ(s, "host-a");

    // Giving the ring the text field's tab position puts it right before the field.
    int fieldPos = 0;
    GetCtrlAttribute(panel, STR, ATTR_CTRL_TAB_POSITION, fieldPos);
    EXPECT_EQ(SetCtrlAttribute(panel, ring, ATTR_CTRL_TAB_POSITION, fieldPos), 0);
    EXPECT_EQ(GetCtrlAttribute(panel, ring, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, fieldPos);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, fieldPos + 1);

    EXPECT_EQ(DiscardCtrl(panel, ring), 0);
    EXPECT_EQ(GetCtrlVal(panel, ring, s), UIEInvalidControl);
    EXPECT_EQ(DiscardCtrl(panel, ring), UIEInvalidControl);
    EXPECT_EQ(GetCtrlAttribute(panel, STR, ATTR_CTRL_TAB_POSITION, pos), 0);
    EXPECT_EQ(pos, fieldPos);
    // Ids above every id in use: the discarded one is not the highest, so the next is frame + 1.
    EXPECT_EQ(NewCtrl(panel, CTRL_STRING, "", 0, 0), frame + 1);
    EXPECT_EQ(NewCtrl(999, CTRL_STRING, "", 0, 0), UIEInvalidPanel);
}

TEST_F(PlatformNewCtrlTest, PictureControlShowsAFileOrNothing) {
    uitest::AllowPlatformErrors refused(
        {{"DisplayImageFile", UIEInvalidValue}, {"DisplayImageFile", UIEWrongType}});
    EXPECT_EQ(DisplayImageFile(panel, PICTURE, ProjectFile("missing.bmp")), UIEInvalidValue);
    EXPECT_EQ(SavePanelImage(panel, ProjectFile("logo.png")), 0);
    EXPECT_EQ(DisplayImageFile(panel, PICTURE, ProjectFile("logo.png")), 0);
    EXPECT_EQ(DisplayImageFile(panel, STR, ProjectFile("logo.png")), UIEWrongType);
}

}  // namespace
