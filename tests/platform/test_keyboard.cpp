// The keyboard as a person uses it on the panels, through the window system: Return presses the button
// with the focus as Space does, the focused button wears a visible frame, Escape closes a panel that is
// meant to close on it, and pop-ups open centred on the window they belong to.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>

#include "test_panel.h"

namespace {

bool Has(const std::vector<RecordedEvent>& events, RecordedEvent e) {
    return std::find(events.begin(), events.end(), e) != events.end();
}

class Keyboard : public PanelTest {
  protected:
    void SetUp() override {
        PanelTest::SetUp();
        DisplayPanel(panel);
    }
    // Makes the window the active one, as a person's click into it, then gives the control the focus as a
    // Tab would, and forgets what that raised.
    void Focus(int p, int control) {
        ASSERT_EQ(uitest::RealClick(panel, 0, uitest::kLeftButton, 250, 390), 0);  // an empty spot
        ASSERT_EQ(SetActiveCtrl(p, control), 0);
        ASSERT_TRUE(uitest::PumpUntil([&] { return GetActiveCtrl(p) == control; }, 2.0));
        recorded.clear();
    }
};

TEST_F(Keyboard, ReturnPressesTheFocusedButtonAsSpaceDoes) {
    Focus(panel, BUTTON);
    ASSERT_EQ(uitest::RealKey(panel, VAL_ENTER_VKEY), 0);
    EXPECT_EQ(EventsOf(BUTTON), (std::vector{int(EVENT_KEYPRESS), int(EVENT_COMMIT)}));
    recorded.clear();
    ASSERT_EQ(uitest::RealKey(panel, ' '), 0);
    EXPECT_EQ(EventsOf(BUTTON), (std::vector{int(EVENT_KEYPRESS), int(EVENT_COMMIT)}));
}

TEST_F(Keyboard, ReturnPressesNoButtonThatIsDimmedOrWhoseCallbackTookTheKey) {
    Focus(panel, BUTTON);
    keyAnswer = 1;  // the callback swallows the key
    ASSERT_EQ(uitest::RealKey(panel, VAL_ENTER_VKEY), 0);
    EXPECT_EQ(EventsOf(BUTTON), std::vector{int(EVENT_KEYPRESS)});
    keyAnswer = 0;
    SetCtrlAttribute(panel, BUTTON, ATTR_DIMMED, 1);
    recorded.clear();
    ASSERT_EQ(uitest::RealKey(panel, VAL_ENTER_VKEY), 0);
    EXPECT_EQ(EventsOf(BUTTON), std::vector<int>{});
}

TEST_F(Keyboard, ReturnInAFieldCommitsTheFieldAndPressesNoButton) {
    Focus(panel, STR);
    ASSERT_EQ(uitest::RealKey(panel, VAL_ENTER_VKEY), 0);
    EXPECT_EQ(EventsOf(BUTTON), std::vector<int>{});
    EXPECT_TRUE(Has(recorded, {panel, STR, EVENT_KEYPRESS, VAL_ENTER_VKEY, 0}));
}

TEST_F(Keyboard, TheFocusedButtonWearsABlueFrame) {
    // The button's left edge, halfway down: its face's border without the focus, blue with it.
    const int top = 140 + 14, left = 10;
    Focus(panel, TEXT_BOX);
    const int without = uitest::PanelPixel(panel, top, left);
    Focus(panel, BUTTON);
    EXPECT_EQ(uitest::PanelPixel(panel, top, left), 0x1F5FBF) << std::hex << "without the focus: " << without;
    EXPECT_NE(without, 0x1F5FBF);
}

TEST_F(Keyboard, EscapeClosesTheInnermostPanelThatClosesOnEscapeAndNoOther) {
    const int child = LoadPanel(panel, kChildPanel);
    ASSERT_GT(child, 0);
    DisplayPanel(child);
    Focus(child, CHILD_FIELD);
    ASSERT_EQ(uitest::RealKey(panel, VAL_ESC_VKEY), 0);
    EXPECT_FALSE(Has(recorded, {child, 0, EVENT_CLOSE, 0, 0})) << "by default Escape closes nothing";
    EXPECT_FALSE(Has(recorded, {panel, 0, EVENT_CLOSE, 0, 0}));

    ASSERT_EQ(SetPanelAttribute(child, ATTR_PANEL_CLOSE_ON_ESCAPE, 1), 0);
    int on = 0;
    GetPanelAttribute(child, ATTR_PANEL_CLOSE_ON_ESCAPE, on);
    EXPECT_EQ(on, 1);
    Focus(child, CHILD_FIELD);
    ASSERT_EQ(uitest::RealKey(panel, VAL_ESC_VKEY), 0);
    EXPECT_TRUE(Has(recorded, {child, CHILD_FIELD, EVENT_KEYPRESS, VAL_ESC_VKEY, 0}));
    EXPECT_TRUE(Has(recorded, {child, 0, EVENT_CLOSE, 0, 0}));
    EXPECT_FALSE(Has(recorded, {panel, 0, EVENT_CLOSE, 0, 0})) << "the panel around it stays";

    // A control that takes the key keeps it from the panel.
    keyAnswer = 1;
    Focus(child, CHILD_FIELD);
    ASSERT_EQ(uitest::RealKey(panel, VAL_ESC_VKEY), 0);
    EXPECT_FALSE(Has(recorded, {child, 0, EVENT_CLOSE, 0, 0}));
}

TEST_F(Keyboard, EscapeOnATopLevelPanelThatClosesOnEscapeGoesToItsCallback) {
    ASSERT_EQ(SetPanelAttribute(panel, ATTR_PANEL_CLOSE_ON_ESCAPE, 1), 0);
    Focus(panel, BUTTON);
    ASSERT_EQ(uitest::RealKey(panel, VAL_ESC_VKEY), 0);
    EXPECT_TRUE(Has(recorded, {panel, 0, EVENT_CLOSE, 0, 0}));
}

// --- pop-ups --------------------------------------------------------------------------------------------

TEST_F(Keyboard, AMessageOpensCentredOnTheWindowItBelongsToEvenWhenNoneIsActive) {
    SetPanelPos(panel, 40, 30);  // far from the screen's middle
    uitest::RealClick(panel, BUTTON);
    QApplication::setActiveWindow(nullptr);  // another program has the focus
    uitest::UseRealDialogs();
    uitest::PressInDialog("OK");
    MessagePopup("INFO!", "centred");
    const auto& seen = uitest::DialogsSeen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ownerTitle, "Test Main Panel");
    EXPECT_LE(std::abs(seen[0].offsetX), 1);
    EXPECT_LE(std::abs(seen[0].offsetY), 1);
}

TEST_F(Keyboard, AQuestionAskedFromAButtonOpensCentredOnThatButtonsWindow) {
    SetPanelPos(panel, 300, 500);
    uitest::UseRealDialogs();
    uitest::PressInDialog("No");
    ASSERT_EQ(uitest::RealClick(panel, BUTTON), 0);  // the window becomes active
    EXPECT_EQ(ConfirmPopup("Question", "centred?"), 0);
    const auto& seen = uitest::DialogsSeen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].ownerTitle, "Test Main Panel");
    EXPECT_LE(std::abs(seen[0].offsetX), 1);
    EXPECT_LE(std::abs(seen[0].offsetY), 1);
}

}  // namespace
