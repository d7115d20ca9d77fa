// The test panel files under tests/platform/panels and a callback that records every event it gets.
#pragma once

#include <vector>

#include "ui_test.h"

enum TestCtrl : int {
    NUM_INT = 1,
    NUM_U16,
    NUM_DBL,
    NUM_IND,
    RING_INT,
    RING_TEXT,
    STR,
    STR2,
    TEXT_MSG,
    PICTURE,
    TEXT_BOX,
    BUTTON,
    TOGGLE,
    SLIDER,
    BAR,
    TABLE,
    DECO,
};
enum TestChildCtrl : int { CHILD_FIELD = 1, CHILD_BUTTON };

struct RecordedEvent {
    int panel, control, event, data1, data2;
    bool operator==(const RecordedEvent&) const = default;
};

// Everything the recording callbacks saw, in order; key presses are answered with `keyAnswer`.
inline std::vector<RecordedEvent> recorded;
inline int keyAnswer = 0;

inline int Record(int panel, int control, int event, void*, int d1, int d2) {
    recorded.push_back({panel, control, event, d1, d2});
    return event == EVENT_KEYPRESS ? keyAnswer : 0;
}

inline constexpr CtrlBinding kMainControls[] = {
    {NUM_INT, "numInt", Record},  {NUM_U16, "numU16", Record},   {NUM_DBL, "numDbl", Record},
    {NUM_IND, "numInd", Record},  {RING_INT, "ringInt", Record}, {RING_TEXT, "ringText", Record},
    {STR, "strField", Record},    {STR2, "strField2", Record},   {TEXT_MSG, "textMsg", Record},
    {PICTURE, "picture", Record}, {TEXT_BOX, "textBox", Record}, {BUTTON, "button", Record},
    {TOGGLE, "toggle", Record},   {SLIDER, "slider", Record},    {BAR, "bar", Record},
    {TABLE, "table", Record},     {DECO, "deco", Record},
};
inline constexpr CtrlBinding kChildControls[] = {{CHILD_FIELD, "childField", Record},
                                                 {CHILD_BUTTON, "childButton", Record}};
inline const PanelDef kMainPanel{"test_main.ui", Record, kMainControls};
inline const PanelDef kChildPanel{"test_child.ui", Record, kChildControls};

// A test with the main test panel loaded (hidden) and the event record cleared.
class PanelTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        SetPanelDirectory(TEST_PANEL_DIR);
        panel = LoadPanel(0, kMainPanel);
        ASSERT_GT(panel, 0);
        recorded.clear();
        keyAnswer = 0;
    }
    void TearDown() override {
        if (panel > 0) DiscardPanel(panel);
        UiTest::TearDown();
    }
    // The events one control got, in order.
    std::vector<int> EventsOf(int control) const {
        std::vector<int> events;
        for (const auto& e : recorded)
            if (e.panel == panel && e.control == control) events.push_back(e.event);
        return events;
    }

    int panel = 0;
};
