// Toggle switches as a memory selector, typed tables and their cell editor, row label colours, and
// shortcut keys of command buttons from the real keyboard path.
#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QProxyStyle>
#include <QSpinBox>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "registry.h"
#include "test_panel.h"

namespace {

enum KindsCtrl : int {
    MEM_RAM = 1,
    MEM_EEPROM,
    MEM_FILE,
    WIDE_SWITCH,
    TABLE_U16,
    TABLE_INT,
    TABLE_DBL,
    TABLE_TEXT,
    SEND_F9,
    STOP_F10,
    TEACH_F11,
    CLEAR_F12,
    FIELD,
};

// The program's side of a memory selector: the switch a person commits is the one that is on.
int Selector(int panel, int control, int event, void* data, int d1, int d2) {
    Record(panel, control, event, data, d1, d2);
    if (event == EVENT_COMMIT)
        for (int s : {MEM_RAM, MEM_EEPROM, MEM_FILE}) SetCtrlVal(panel, s, s == control ? 1 : 0);
    return 0;
}

constexpr CtrlBinding kKindsControls[] = {
    {MEM_RAM, "memRam", Selector},   {MEM_EEPROM, "memEeprom", Selector},
    {MEM_FILE, "memFile", Selector}, {WIDE_SWITCH, "wideSwitch", Record},
    {TABLE_U16, "tableU16", Record}, {TABLE_INT, "tableInt", Record},
    {TABLE_DBL, "tableDbl", Record}, {TABLE_TEXT, "tableText", Record},
    {SEND_F9, "sendF9", Record},     {STOP_F10, "stopF10", Record},
    {TEACH_F11, "teachF11", Record}, {CLEAR_F12, "clearF12", Record},
    {FIELD, "field", Record},
};
const PanelDef kKindsPanel{"test_kinds.ui", Record, kKindsControls};

class ControlKindTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        SetPanelDirectory(TEST_PANEL_DIR);
        panel = LoadPanel(0, kKindsPanel);
        ASSERT_GT(panel, 0);
        DisplayPanel(panel);
        uitest::PumpUntil([] { return false; }, 0.02);  // let the window become active
        recorded.clear();
    }
    void TearDown() override {
        if (panel > 0) DiscardPanel(panel);
        UiTest::TearDown();
    }
    std::vector<int> EventsOf(int control) const {
        std::vector<int> events;
        for (const auto& e : recorded)
            if (e.control == control) events.push_back(e.event);
        return events;
    }
    std::vector<int> Switches() const {
        std::vector<int> on;
        for (int s : {MEM_RAM, MEM_EEPROM, MEM_FILE}) {
            int v = -1;
            EXPECT_EQ(GetCtrlVal(panel, s, v), 0);
            on.push_back(v);
        }
        return on;
    }

    int panel = 0;
};

using V = std::vector<int>;

// ---- toggle switches ----------------------------------------------------------------------------------

TEST_F(ControlKindTest, MemorySelectorSwitchesChangeThenCommitOnlyForAPerson) {
    EXPECT_EQ(uitest::Click(panel, MEM_EEPROM), 0);
    EXPECT_EQ(EventsOf(MEM_EEPROM), (V{EVENT_GOT_FOCUS, EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(Switches(), (V{0, 1, 0}));
    // The program switching the others off raises nothing (the switch that had the focus only loses it).
    EXPECT_EQ(EventsOf(MEM_RAM), (V{EVENT_LOST_FOCUS}));
    EXPECT_TRUE(EventsOf(MEM_FILE).empty());
    recorded.clear();
    EXPECT_EQ(SetCtrlVal(panel, MEM_FILE, 1), 0);
    EXPECT_EQ(SetCtrlVal(panel, MEM_EEPROM, 0), 0);
    uitest::PumpUntil([] { return false; }, 0.02);
    EXPECT_TRUE(recorded.empty());
    // The space bar on a focused switch is a person's toggle too.
    EXPECT_EQ(uitest::PressKey(panel, MEM_RAM, ' '), 0);
    EXPECT_EQ(EventsOf(MEM_RAM), (V{EVENT_GOT_FOCUS, EVENT_KEYPRESS, EVENT_VAL_CHANGED, EVENT_COMMIT}));
    EXPECT_EQ(Switches(), (V{1, 0, 0}));
}

TEST_F(ControlKindTest, ASwitchWiderThanItsLabelTogglesWhereItsBoxIs) {
    EXPECT_EQ(uitest::Click(panel, WIDE_SWITCH), 0);
    int on = 0;
    EXPECT_EQ(GetCtrlVal(panel, WIDE_SWITCH, on), 0);
    EXPECT_EQ(on, 1);
    EXPECT_EQ(EventsOf(WIDE_SWITCH), (V{EVENT_GOT_FOCUS, EVENT_LEFT_CLICK, EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

// ---- tables -------------------------------------------------------------------------------------------

TEST_F(ControlKindTest, UnsignedShortCellsRefuseWhatDoesNotFitAndKeepTheirValue) {
    uitest::AllowPlatformErrors refused(
        {{"SetTableCellVal", UIEInvalidValue}, {"SetTableCellVal", UIEWrongType}});
    const Point cell{2, 3};
    ASSERT_EQ(SetTableCellVal(panel, TABLE_U16, cell, static_cast<unsigned short>(1234)), 0);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, cell, 70000), UIEInvalidValue);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, cell, 65536), UIEInvalidValue);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, cell, -1), UIEInvalidValue);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, cell, 12.0), UIEWrongType);  // even a whole double
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, cell, "12"), UIEWrongType);
    unsigned short u = 0;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, cell, u), 0);
    EXPECT_EQ(u, 1234);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, cell, 65535), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, cell, u), 0);
    EXPECT_EQ(u, 65535);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, Point{1, 1}, 0), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{1, 1}, u), 0);
    EXPECT_EQ(u, 0);
    uitest::PumpUntil([] { return false; }, 0.02);
    EXPECT_TRUE(recorded.empty()) << "program writes raise no events";
}

TEST_F(ControlKindTest, IntegerDoubleAndTextTablesHoldTheirOwnType) {
    uitest::AllowPlatformErrors refused({{"GetTableCellVal", UIEInvalidValue},
                                         {"SetTableCellVal", UIEWrongType},
                                         {"GetTableCellVal", UIEWrongType}});
    // An integer cell may hold what an unsigned short cannot: reading it into one fails and leaves it.
    EXPECT_EQ(SetTableCellVal(panel, TABLE_INT, Point{1, 1}, -7), 0);
    unsigned short u = 99;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_INT, Point{1, 1}, u), UIEInvalidValue);
    EXPECT_EQ(u, 99);
    double d = 0;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_INT, Point{1, 1}, d), 0);
    EXPECT_EQ(d, -7.0);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_INT, Point{1, 1}, 0.5), UIEWrongType);

    // A double table widens integers and keeps its numbers exact; never-set cells hold 0.0.
    EXPECT_EQ(GetTableCellVal(panel, TABLE_DBL, Point{2, 2}, d), 0);
    EXPECT_EQ(d, 0.0);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_DBL, Point{1, 1}, 3), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_DBL, Point{1, 1}, d), 0);
    EXPECT_EQ(d, 3.0);
    int i = 0;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_DBL, Point{1, 1}, i), UIEWrongType);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_DBL, Point{1, 2}, 0.1), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_DBL, Point{1, 2}, d), 0);
    EXPECT_EQ(d, 0.1);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_DBL, Point{1, 2}, "0.2"), UIEWrongType);

    std::string s = "x";
    EXPECT_EQ(GetTableCellVal(panel, TABLE_TEXT, Point{2, 2}, s), 0);
    EXPECT_EQ(s, "");
    EXPECT_EQ(SetTableCellVal(panel, TABLE_TEXT, Point{2, 2}, "Rot 1"), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_TEXT, Point{2, 2}, s), 0);
    EXPECT_EQ(s, "Rot 1");
    EXPECT_EQ(SetTableCellVal(panel, TABLE_TEXT, Point{2, 2}, 5), UIEWrongType);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_TEXT, Point{2, 2}, i), UIEWrongType);
}

TEST_F(ControlKindTest, APersonEditsACellThroughItsEditor) {
    uitest::AllowPlatformErrors refused(
        {{"GetTableCellVal", UIEIndexOutOfRange}, {"SetTableCellVal", UIEIndexOutOfRange}});
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_U16, Point{2, 3}, "65535"), 0);
    const std::vector<RecordedEvent> expected = {{panel, TABLE_U16, EVENT_VAL_CHANGED, 3, 2},
                                                 {panel, TABLE_U16, EVENT_COMMIT, 3, 2}};
    EXPECT_EQ(recorded, expected);
    unsigned short u = 0;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{2, 3}, u), 0);
    EXPECT_EQ(u, 65535);

    // The editor takes no text that is not a whole number; the cell keeps its value, nothing is raised.
    recorded.clear();
    for (const char* text : {"1.5", "abc", ""})
        EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_U16, Point{2, 3}, text), UIEInvalidValue)
            << text;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{2, 3}, u), 0);
    EXPECT_EQ(u, 65535);
    EXPECT_TRUE(recorded.empty());
    // A whole number outside 0..65535 is clamped to the range, never cut to fewer digits.
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_U16, Point{2, 3}, "-1"), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{2, 3}, u), 0);
    EXPECT_EQ(u, 0);
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_U16, Point{2, 3}, "700000"), 0);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{2, 3}, u), 0);
    EXPECT_EQ(u, 65535);
    recorded.clear();
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_U16, Point{1, 0}, "1"), UIEIndexOutOfRange);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{1, 0}, u), UIEIndexOutOfRange);
    EXPECT_EQ(SetTableCellVal(panel, TABLE_U16, Point{1, 0}, 1), UIEIndexOutOfRange);
    // An indicator table takes no edits.
    ASSERT_EQ(SetCtrlAttribute(panel, TABLE_U16, ATTR_CTRL_MODE, VAL_INDICATOR), 0);
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_U16, Point{1, 1}, "7"), UIEInvalidControl);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_U16, Point{1, 1}, u), 0);
    EXPECT_EQ(u, 0);
    EXPECT_TRUE(recorded.empty());

    // The other types' editors take their own values.
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_INT, Point{1, 2}, "-40000"), 0);
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_DBL, Point{2, 1}, "0.125"), 0);
    EXPECT_EQ(uitest::SetTableCellAndCommit(panel, TABLE_TEXT, Point{1, 1}, "Teach 1"), 0);
    int i = 0;
    double d = 0;
    std::string s;
    EXPECT_EQ(GetTableCellVal(panel, TABLE_INT, Point{1, 2}, i), 0);
    EXPECT_EQ(i, -40000);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_DBL, Point{2, 1}, d), 0);
    EXPECT_EQ(d, 0.125);
    EXPECT_EQ(GetTableCellVal(panel, TABLE_TEXT, Point{1, 1}, s), 0);
    EXPECT_EQ(s, "Teach 1");
    EXPECT_EQ(EventsOf(TABLE_DBL), (V{EVENT_VAL_CHANGED, EVENT_COMMIT}));
}

// Pixels in the row-label column of the unsigned 16-bit table that are clearly red.
int RedLabelPixels(int panel, const std::string& picture) {
    EXPECT_EQ(SavePanelImage(panel, picture), 0);
    const QImage image(QString::fromStdString(picture));
    int red = 0;
    for (int y = 131; y < 259; ++y) {
        for (int x = 11; x < 40; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90) ++red;
        }
    }
    return red;
}

TEST_F(ControlKindTest, RowLabelColourIsShownAndReadBack) {
    EXPECT_EQ(RedLabelPixels(panel, ProjectFile("before.png")), 0);
    EXPECT_EQ(SetTableRowAttribute(panel, TABLE_U16, 2, ATTR_LABEL_COLOR, 0xFF0000), 0);
    int c = 0;
    EXPECT_EQ(GetTableRowAttribute(panel, TABLE_U16, 2, ATTR_LABEL_COLOR, c), 0);
    EXPECT_EQ(c, 0xFF0000);
    EXPECT_GT(RedLabelPixels(panel, ProjectFile("after.png")), 0) << "the label of row 2 is drawn in red";
    EXPECT_TRUE(recorded.empty());
}

// ---- shortcut keys ------------------------------------------------------------------------------------

TEST_F(ControlKindTest, ShortcutKeysFromTheKeyboardPressTheirButtonsAtOnce) {
    ASSERT_EQ(uitest::Click(panel, FIELD), 0);
    QWindow* window = QGuiApplication::focusWindow();
    ASSERT_NE(window, nullptr);
    SetCtrlAttribute(panel, STOP_F10, ATTR_DIMMED, 1);
    SetCtrlAttribute(panel, TEACH_F11, ATTR_VISIBLE, 0);
    recorded.clear();
    // Through the window system, as a key on the keyboard arrives.
    for (Qt::Key key : {Qt::Key_F9, Qt::Key_F10, Qt::Key_F11, Qt::Key_F12}) QTest::keyClick(window, key);
    EXPECT_EQ(EventsOf(SEND_F9), (V{EVENT_COMMIT}));
    EXPECT_EQ(EventsOf(CLEAR_F12), (V{EVENT_COMMIT}));
    EXPECT_TRUE(EventsOf(STOP_F10).empty());
    EXPECT_TRUE(EventsOf(TEACH_F11).empty());
    // The dimmed and the hidden button's keys go to the field that has the focus, the others never do.
    std::vector<int> keys;
    for (const auto& e : recorded)
        if (e.control == FIELD && e.event == EVENT_KEYPRESS) keys.push_back(e.data1);
    EXPECT_EQ(keys, (V{VAL_F10_VKEY, VAL_F11_VKEY}));

    // The harness's key presses take the same way.
    const std::vector<RecordedEvent> byKeyboard = recorded;
    recorded.clear();
    for (int key : {VAL_F9_VKEY, VAL_F10_VKEY, VAL_F11_VKEY, VAL_F12_VKEY})
        uitest::PressKey(panel, FIELD, key);
    EXPECT_EQ(recorded, byKeyboard);
}

// A display the program refreshes with every frame it gets: each value reads back at once, as the box shows
// it, but the box takes only the last of a burst, once per screen frame; a picture taken at once shows it.
// A button dimmed while it has the keyboard focus (an operation runs) takes it back when lit again, unless
// the focus moved on meanwhile: Return then presses the button the person used.
TEST_F(PanelTest, ADimmedButtonTakesItsKeyboardFocusBackWhenLitAgain) {
    DisplayPanel(panel);
    auto shown = [](const char* name) -> QWidget* {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (QWidget* w = top->isVisible() ? top->findChild<QWidget*>(name) : nullptr) return w;
        return nullptr;
    };
    QWidget* button = shown("button");
    ASSERT_NE(button, nullptr);
    button->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(button->window()));
    button->setFocus();
    ASSERT_TRUE(button->hasFocus());
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1);
    QWidget* holder = QApplication::focusWidget();
    EXPECT_NE(holder, button);
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 0);
    EXPECT_TRUE(button->hasFocus());
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1);
    QWidget* other = shown("strField");
    ASSERT_NE(other, nullptr);
    if (QApplication::focusWidget() == other) other = shown("strField2");
    other->setFocus();  // the person moved on
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 0);
    EXPECT_EQ(QApplication::focusWidget(), other);
}

TEST_F(PanelTest, AnIndicatorWrittenFasterThanTheScreenShowsTheLastValueAtItsPace) {
    DisplayPanel(panel);
    QSpinBox* box = nullptr;
    for (QWidget* w : QApplication::allWidgets())
        if (w->objectName() == "numInd") box = qobject_cast<QSpinBox*>(w);
    ASSERT_TRUE(box);
    const int before = box->value();
    int v = -1;
    for (int k = before + 1; k < box->maximum(); ++k) {
        ASSERT_EQ(SetCtrlVal(panel, NUM_IND, k), 0);
        ASSERT_EQ(GetCtrlVal(panel, NUM_IND, v), 0);
        ASSERT_EQ(v, k);
    }
    SetCtrlVal(panel, NUM_IND, 1000000);
    GetCtrlVal(panel, NUM_IND, v);
    EXPECT_EQ(v, box->maximum()) << "held at the box's limit at once";
    EXPECT_EQ(box->value(), before) << "not shown value by value";
    EXPECT_TRUE(uitest::PumpUntil([&] { return box->value() == box->maximum(); }, 0.5));
    EXPECT_TRUE(EventsOf(NUM_IND).empty()) << "a program's values raise no events";

    SetCtrlVal(panel, NUM_IND, 7);
    uitest::PanelPixel(panel, 0, 0);
    EXPECT_EQ(box->value(), 7) << "a picture shows every value written before it";
}

// The largest difference of one colour channel between two pictures of a size (256 when the sizes differ).
int LargestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 256;
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))});
        }
    return largest;
}

// Counts how often the style draws a group box.
class CountingStyle : public QProxyStyle {
  public:
    void drawComplexControl(ComplexControl cc, const QStyleOptionComplex* option, QPainter* p,
                            const QWidget* w) const override {
        if (cc == CC_GroupBox) ++groupBoxes;
        QProxyStyle::drawComplexControl(cc, option, p, w);
    }
    mutable int groupBoxes = 0;
};

// A group box of a panel file keeps its drawing: a display inside it that changes is painted without the
// style drawing the box again, and the box looks as Qt's own box does, also after its title, size or state
// changed (a kept picture laid over the panel may round a blended edge pixel by one step).
TEST(KeptGroupBox, APanelsGroupBoxIsDrawnOnceWhileItsDisplaysChangeAndLooksAsQtsOwn) {
    QWidget window;
    window.resize(420, 160);
    std::unique_ptr<QWidget> made(platform_detail::CreateFileWidget(QStringLiteral("QGroupBox"), &window));
    auto* kept = qobject_cast<QGroupBox*>(made.release());
    ASSERT_TRUE(kept);
    auto* plain = new QGroupBox(&window);
    CountingStyle style;
    for (QGroupBox* box : {kept, plain}) {
        box->setStyle(&style);
        box->setTitle(QStringLiteral("Colour values"));
        box->resize(200, 120);
    }
    plain->move(210, 0);
    auto* display = new QLabel(QStringLiteral("0"), kept);
    display->setGeometry(20, 40, 80, 24);
    (new QLabel(QStringLiteral("0"), plain))->setGeometry(20, 40, 80, 24);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto looks = [&] { return std::pair{kept->grab().toImage(), plain->grab().toImage()}; };
    {
        const auto [mine, qts] = looks();
        EXPECT_LE(LargestDifference(mine, qts), 1);
    }

    style.groupBoxes = 0;
    for (int value = 1; value <= 10; ++value) {
        display->setText(QString::number(value));
        display->repaint();
    }
    EXPECT_EQ(style.groupBoxes, 0) << "the box beneath the display is copied, not drawn again";
    display->setText(QStringLiteral("0"));

    const QImage before = kept->grab().toImage();
    for (QGroupBox* box : {kept, plain}) box->setTitle(QStringLiteral("Temperature"));
    auto [retitled, qtsRetitled] = looks();
    EXPECT_GT(LargestDifference(retitled, before), 100) << "the new title is drawn";
    EXPECT_LE(LargestDifference(retitled, qtsRetitled), 1);
    for (QGroupBox* box : {kept, plain}) box->setEnabled(false);
    const auto [dimmed, qtsDimmed] = looks();
    EXPECT_GT(LargestDifference(dimmed, retitled), 30) << "a dimmed box is drawn so";
    EXPECT_LE(LargestDifference(dimmed, qtsDimmed), 1);
    for (QGroupBox* box : {kept, plain}) box->resize(240, 100);
    const auto [smaller, qtsSmaller] = looks();
    EXPECT_EQ(smaller.size(), QSize(240, 100));
    EXPECT_LE(LargestDifference(smaller, qtsSmaller), 1);
}

}  // namespace
