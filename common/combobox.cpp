#include "combobox.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <vector>

namespace {

// Typing completes from the list unless the last key was Backspace or Delete; shared by all combo boxes.
int autoComplete = 1;

// Every combo state alive. Callback data is only taken for a combo state after it is found here, so the
// callback data of an ordinary control is never read as one. The list is never destroyed: combo boxes live
// until the program ends, and their states with them, also while static destructors run.
std::vector<ComboState*>& liveCombos = *new std::vector<ComboState*>;

ComboState* LiveState(void* data) {
    auto it = std::find(liveCombos.begin(), liveCombos.end(), static_cast<ComboState*>(data));
    if (it == liveCombos.end() || (*it)->marker != COMBO_MARKER) return nullptr;
    return *it;
}

// The combo state of the combo box addressed by its text field.
int FindCombo(int panel, int control, ComboState*& state) {
    void* data = nullptr;
    int err = GetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, data);
    if (err < 0) return err;
    state = LiveState(data);
    if (!state || state->panel != panel || state->textField != control) return COMBO_ERR_WRONG_CONTROL;
    return 0;
}

void FreeState(ComboState* s) {
    if (s->lock) CmtDiscardLock(s->lock);
    delete s;
}

// Every handler and attribute operation runs between Hold and Unhold. A discard while one runs (from the
// application's callback) or while a commit is queued leaves the state to be freed by the last Unhold.
void Hold(ComboState* s) {
    ++s->useCount;
    CmtGetLock(s->lock);
}

// Drops one use of the state; the last use of a discarded combo box frees it.
void Release(ComboState* s) {
    if (--s->useCount == 0 && s->marker != COMBO_MARKER) FreeState(s);
}

void Unhold(ComboState* s) {
    CmtReleaseLock(s->lock);
    Release(s);
}

// A combo box whose panel was discarded with it has lost its text field: its state and lock go now.
void DropOrphans() {
    for (size_t i = 0; i < liveCombos.size();) {
        ComboState* s = liveCombos[i];
        void* data = nullptr;
        if (GetCtrlAttribute(s->panel, s->textField, ATTR_CALLBACK_DATA, data) >= 0 && data == s) {
            ++i;
            continue;
        }
        liveCombos.erase(liveCombos.begin() + static_cast<std::ptrdiff_t>(i));
        s->marker = 0;
        if (s->useCount == 0) FreeState(s);
    }
}

int CallUser(ComboState* s, int event, int eventData1, int eventData2) {
    if (!s->userCallback) return 0;
    return s->userCallback(s->panel, s->textField, event, s->userData, eventData1, eventData2);
}

// --- text lengths ------------------------------------------------------------------------------------
// Lengths and positions in a text field count characters as the platform's text fields do: one per
// character, two for a character beyond the basic multilingual plane (a four-byte UTF-8 sequence).

bool IsContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

int CharWidth(unsigned char leadByte) {
    return leadByte >= 0xF0 ? 2 : 1;
}

int TextLength(std::string_view text) {
    int length = 0;
    for (unsigned char c : text)
        if (!IsContinuationByte(c)) length += CharWidth(c);
    return length;
}

// Cuts text to at most maxLength, never inside a multibyte character.
void CutText(std::string& text, int maxLength) {
    int length = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (IsContinuationByte(c)) continue;
        length += CharWidth(c);
        if (length > maxLength) {
            text.resize(i);
            return;
        }
    }
}

bool StartsWithNoCase(const std::string& item, const std::string& prefix) {
    if (item.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(item[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// --- layout ------------------------------------------------------------------------------------------

// Width of the text field's border: the second text-field style draws it one pixel wider.
int Border(const ComboState* s, int& border) {
    int style = 0;
    int err = GetCtrlAttribute(s->panel, s->textField, ATTR_CTRL_STYLE, style);
    border = style == CTRL_STRING_LS ? 2 : 1;
    return err;
}

int SetGeometry(int panel, int control, int left, int top, int width, int height) {
    int err = SetCtrlAttribute(panel, control, ATTR_LEFT, left);
    if (err >= 0) err = SetCtrlAttribute(panel, control, ATTR_TOP, top);
    if (err >= 0) err = SetCtrlAttribute(panel, control, ATTR_WIDTH, width);
    if (err >= 0) err = SetCtrlAttribute(panel, control, ATTR_HEIGHT, height);
    return err;
}

// Places the three parts from the frame's corner and the text field's width; the text field's height is
// the side of the square list button. Inside the frame's border: the button, then the text field.
int PlaceParts(const ComboState* s, int frameLeft, int frameTop, int textWidth) {
    int border = 1, side = 0;
    int err = Border(s, border);
    if (err >= 0) err = GetCtrlAttribute(s->panel, s->textField, ATTR_HEIGHT, side);
    if (err < 0) return err;
    if (textWidth < 0) return UIEInvalidValue;
    err = SetGeometry(s->panel, s->frame, frameLeft, frameTop, textWidth + side + border, side + 2 * border);
    if (err >= 0) err = SetGeometry(s->panel, s->list, frameLeft + border, frameTop + border, side, side);
    if (err >= 0)
        err = SetGeometry(s->panel, s->textField, frameLeft + side, frameTop + border, textWidth, side);
    return err;
}

struct Placement {
    int frameLeft, frameTop, textWidth, side, border;
};

int ReadPlacement(const ComboState* s, Placement& p) {
    int err = Border(s, p.border);
    if (err >= 0) err = GetCtrlAttribute(s->panel, s->frame, ATTR_LEFT, p.frameLeft);
    if (err >= 0) err = GetCtrlAttribute(s->panel, s->frame, ATTR_TOP, p.frameTop);
    if (err >= 0) err = GetCtrlAttribute(s->panel, s->textField, ATTR_WIDTH, p.textWidth);
    if (err >= 0) err = GetCtrlAttribute(s->panel, s->textField, ATTR_HEIGHT, p.side);
    return err;
}

// --- conversion --------------------------------------------------------------------------------------

int BuildCombo(ComboState* s, int style) {
    int panel = s->panel, control = s->textField;
    int left = 0, top = 0, width = 0, height = 0, color = 0, maxLength = -1, tabPos = 0;
    int err = GetCtrlAttribute(panel, control, ATTR_LEFT, left);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_TOP, top);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_WIDTH, width);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_HEIGHT, height);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_FRAME_COLOR, color);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_MAX_ENTRY_LENGTH, maxLength);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_CALLBACK_FUNCTION_POINTER, s->userCallback);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, s->userData);
    if (err < 0) return err;

    int border = style == CTRL_STRING_LS ? 2 : 1;
    s->frame = NewCtrl(panel, CTRL_DECORATION, "", top - border, left - height);
    if (s->frame < 0) return s->frame;
    s->list = NewCtrl(panel, CTRL_POPUP_RING, "", top, left - height + border);
    if (s->list < 0) return s->list;
    err = PlaceParts(s, left - height, top - border, width);
    if (err >= 0) err = SetCtrlAttribute(panel, s->list, ATTR_FRAME_COLOR, color);
    if (err >= 0) err = SetCtrlAttribute(panel, s->frame, ATTR_FRAME_COLOR, color);
    // Front to back: list button, text field, frame.
    if (err >= 0) err = SetCtrlAttribute(panel, s->frame, ATTR_ZPLANE_POSITION, 0);
    if (err >= 0) err = SetCtrlAttribute(panel, control, ATTR_ZPLANE_POSITION, 0);
    if (err >= 0) err = SetCtrlAttribute(panel, s->list, ATTR_ZPLANE_POSITION, 0);
    if (err < 0) return err;

    s->lengthLimit = maxLength < 0 ? -1 : maxLength + 1;
    s->openedByKey = 0;
    s->marker = COMBO_MARKER;
    err = InstallCtrlCallback(panel, control, StringDataToRing, s);
    if (err >= 0) err = InstallCtrlCallback(panel, s->list, RingDataToString, s);
    // Taking the text field's tab position puts the list directly before it.
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_CTRL_TAB_POSITION, tabPos);
    if (err >= 0) err = SetCtrlAttribute(panel, s->list, ATTR_CTRL_TAB_POSITION, tabPos);
    return err;
}

// Undoes a conversion that failed part-way: the text field gets its own callback back.
void UnbuildCombo(ComboState* s) {
    InstallCtrlCallback(s->panel, s->textField, s->userCallback, s->userData);
    if (s->list > 0) DiscardCtrl(s->panel, s->list);
    if (s->frame > 0) DiscardCtrl(s->panel, s->frame);
}

// --- text-field events -------------------------------------------------------------------------------

void OpenListFromKey(ComboState* s) {
    s->openedByKey = 1;
    SetActiveCtrl(s->panel, s->list);
    FakeKeystroke(' ');  // a space opens the list
}

// The panel's controls in tab order.
std::vector<int> TabOrder(int panel) {
    std::vector<int> order;
    int control = 0;
    if (GetPanelAttribute(panel, ATTR_PANEL_FIRST_CTRL, control) < 0) return order;
    while (control > 0) {
        order.push_back(control);
        if (GetCtrlAttribute(panel, control, ATTR_NEXT_CTRL, control) < 0) break;
    }
    return order;
}

bool TakesFocus(int panel, int control) {
    int mode = VAL_INDICATOR, dimmed = 1, visible = 0;
    GetCtrlAttribute(panel, control, ATTR_CTRL_MODE, mode);
    GetCtrlAttribute(panel, control, ATTR_DIMMED, dimmed);
    GetCtrlAttribute(panel, control, ATTR_VISIBLE, visible);
    return mode != VAL_INDICATOR && !dimmed && visible;
}

// Shift+Tab would land on the combo's own list, which hands the focus straight back to the text field.
// Instead walk backwards from the text field, past the list and wrapping from the first position to the
// last, to the first control that can take the focus.
bool FocusPreviousControl(ComboState* s) {
    const std::vector<int> order = TabOrder(s->panel);
    const int count = static_cast<int>(order.size());
    const int textPos = static_cast<int>(std::find(order.begin(), order.end(), s->textField) - order.begin());
    if (textPos == count) return false;
    for (int step = 1; step < count; ++step) {
        int control = order[(textPos - step + count) % count];
        if (control != s->list && TakesFocus(s->panel, control)) return SetActiveCtrl(s->panel, control) >= 0;
    }
    return false;
}

// Returns true when the key was used up here and must not reach the field.
bool HandleKey(ComboState* s, int key) {
    int vkey = key & VAL_VKEY_MASK;
    if (vkey == VAL_DOWN_ARROW_VKEY || vkey == VAL_UP_ARROW_VKEY) {
        OpenListFromKey(s);
    } else if (vkey == VAL_BACKSPACE_VKEY || vkey == VAL_FWD_DELETE_VKEY) {
        autoComplete = 0;
    } else if (vkey == VAL_TAB_VKEY && (key & VAL_SHIFT_MODIFIER)) {
        return FocusPreviousControl(s);
    } else {
        autoComplete = 1;
    }
    return false;
}

// Completes the typed text with the first item that starts with it (letter case ignored); the added
// part keeps the item's letter case and is selected, so typing on replaces it.
int CompleteText(ComboState* s) {
    std::string typed, item;
    int count = 0;
    int err = GetCtrlVal(s->panel, s->textField, typed);
    if (err >= 0) err = GetNumListItems(s->panel, s->list, count);
    if (err < 0) return err;
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        err = GetValueFromIndex(s->panel, s->list, i, item);
        if (err < 0) return err;
        found = StartsWithNoCase(item, typed);
    }
    if (!found || TextLength(item) <= 1) return 0;
    std::string added = item.substr(typed.size());
    const int typedLength = TextLength(typed);
    if (s->lengthLimit > 0) CutText(added, std::max(0, s->lengthLimit - 1 - typedLength));
    if (added.empty()) return 0;
    err = SetCtrlVal(s->panel, s->textField, typed + added);
    if (err >= 0) err = SetCtrlAttribute(s->panel, s->textField, ATTR_TEXT_SELECTION_START, typedLength);
    if (err >= 0)
        err = SetCtrlAttribute(s->panel, s->textField, ATTR_TEXT_SELECTION_LENGTH, TextLength(added));
    return err;
}

// --- list events -------------------------------------------------------------------------------------

// Puts the chosen item into the text field, cut to the field's maximum entry length.
int TakeListChoice(ComboState* s) {
    std::string value;
    int err = GetCtrlVal(s->panel, s->list, value);
    if (err < 0) return err;
    if (s->lengthLimit > 0) CutText(value, s->lengthLimit - 1);
    return SetCtrlVal(s->panel, s->textField, value);
}

// Returns true when the event goes on to the application as an event of the text field.
bool HandleListEvent(ComboState* s, int event) {
    switch (event) {
        case EVENT_COMMIT:  // an item was chosen
            return TakeListChoice(s) >= 0;
        case EVENT_VAL_CHANGED:
            SetActiveCtrl(s->panel, s->textField);
            return true;
        case EVENT_GOT_FOCUS:
            // A click on the button leaves the focus in the text field; a list opened from the keyboard
            // keeps it, once.
            if (!s->openedByKey) SetActiveCtrl(s->panel, s->textField);
            s->openedByKey = 0;
            return false;
        default:
            return false;
    }
}

// --- attributes --------------------------------------------------------------------------------------

int SetOnParts(const ComboState* s, CtrlAttr attr, int value, bool withFrame) {
    int err = SetCtrlAttribute(s->panel, s->textField, attr, value);
    if (err >= 0) err = SetCtrlAttribute(s->panel, s->list, attr, value);
    if (err >= 0 && withFrame) err = SetCtrlAttribute(s->panel, s->frame, attr, value);
    return err;
}

// After a font change the text field may have a new height: button, frame and field follow it.
int Relayout(const ComboState* s) {
    Placement p{};
    int err = ReadPlacement(s, p);
    return err < 0 ? err : PlaceParts(s, p.frameLeft, p.frameTop, p.textWidth);
}

int SetAttribute(ComboState* s, int attribute, int value) {
    Placement p{};
    int err = ReadPlacement(s, p);
    if (err < 0) return err;
    switch (attribute) {
        case COMBO_ATTR_WIDTH:
            return PlaceParts(s, p.frameLeft, p.frameTop, value - p.side - p.border);
        case COMBO_ATTR_TEXT_COLOR:
            return SetCtrlAttribute(s->panel, s->textField, ATTR_TEXT_COLOR, value);
        case COMBO_ATTR_FRAME_COLOR:
            return SetOnParts(s, ATTR_FRAME_COLOR, value, true);
        case COMBO_ATTR_TEXT_POINT_SIZE:
            err = SetOnParts(s, ATTR_TEXT_POINT_SIZE, value, false);
            return err < 0 ? err : Relayout(s);
        case COMBO_ATTR_TEXT_BOLD:
            return SetOnParts(s, ATTR_TEXT_BOLD, value, false);
        case COMBO_ATTR_TEXT_ITALIC:
            return SetOnParts(s, ATTR_TEXT_ITALIC, value, false);
        case COMBO_ATTR_LEFT:
            return PlaceParts(s, value, p.frameTop, p.textWidth);
        case COMBO_ATTR_TOP:
            return PlaceParts(s, p.frameLeft, value, p.textWidth);
        case COMBO_ATTR_VISIBLE:
            return SetOnParts(s, ATTR_VISIBLE, value, true);
        case COMBO_ATTR_DIMMED:
            return SetOnParts(s, ATTR_DIMMED, value, true);
        case COMBO_ATTR_MAX_ENTRY_LENGTH:
            err = SetCtrlAttribute(s->panel, s->textField, ATTR_MAX_ENTRY_LENGTH, value);
            if (err >= 0) s->lengthLimit = value < 0 ? -1 : value + 1;
            return err;
        default:
            return COMBO_ERR_INVALID_ATTRIBUTE;
    }
}

// Where Get reads each integer attribute: the part and the platform attribute.
struct AttrSource {
    bool fromFrame;
    CtrlAttr attr;
};
constexpr AttrSource kGetSources[] = {
    {true, ATTR_HEIGHT},                  // 1
    {true, ATTR_WIDTH},                   // 2
    {false, ATTR_TEXT_COLOR},             // 3
    {false, ATTR_FRAME_COLOR},            // 4
    {false, ATTR_TEXT_FONT},              // 5 (text)
    {false, ATTR_TEXT_FONT_NAME_LENGTH},  // 6
    {false, ATTR_TEXT_POINT_SIZE},        // 7
    {false, ATTR_TEXT_BOLD},              // 8
    {false, ATTR_TEXT_ITALIC},            // 9
    {true, ATTR_LEFT},                    // 10
    {true, ATTR_TOP},                     // 11
    {true, ATTR_VISIBLE},                 // 12
    {true, ATTR_DIMMED},                  // 13
    {false, ATTR_MAX_ENTRY_LENGTH},       // 14
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------

int Combo_NewComboBox(int panel, int control) {
    void* data = nullptr;
    int style = CTRL_NONE;
    int err = GetCtrlAttribute(panel, control, ATTR_CALLBACK_DATA, data);
    if (err >= 0) err = GetCtrlAttribute(panel, control, ATTR_CTRL_STYLE, style);
    if (err < 0) return err;
    if (LiveState(data) || (style != CTRL_STRING && style != CTRL_STRING_LS)) return COMBO_ERR_WRONG_CONTROL;

    DropOrphans();
    auto* s = new (std::nothrow) ComboState{};
    if (!s) return COMBO_ERR_OUT_OF_MEMORY;
    try {
        liveCombos.reserve(liveCombos.size() + 1);
    } catch (const std::bad_alloc&) {
        delete s;
        return COMBO_ERR_OUT_OF_MEMORY;
    }
    err = CmtNewLock("", 0, s->lock);
    if (err < 0) {
        delete s;
        return err;
    }
    CmtGetLock(s->lock);
    s->panel = panel;
    s->textField = control;
    liveCombos.push_back(s);
    err = BuildCombo(s, style);
    if (err < 0) {
        UnbuildCombo(s);
        liveCombos.pop_back();
        s->marker = 0;
    }
    CmtReleaseLock(s->lock);
    if (err < 0) {
        FreeState(s);
        return err;
    }
    return control;
}

int Combo_DiscardComboBox(int panel, int control) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    if (err < 0) return err;
    Hold(s);
    // All three go even when one of them fails, so no half combo box is left behind.
    int errList = DiscardCtrl(panel, s->list);
    int errFrame = DiscardCtrl(panel, s->frame);
    int errText = DiscardCtrl(panel, s->textField);
    s->marker = 0;
    liveCombos.erase(std::find(liveCombos.begin(), liveCombos.end(), s));
    Unhold(s);
    return std::min({errList, errFrame, errText, 0});
}

int Combo_InsertComboItem(int panel, int control, int index, std::string_view text) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    return err < 0 ? err : InsertListItem(panel, s->list, index, text, text);
}

int Combo_DeleteComboItem(int panel, int control, int index, int count) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    return err < 0 ? err : DeleteListItem(panel, s->list, index, count);
}

int Combo_ReplaceComboItem(int panel, int control, int index, std::string_view text) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    return err < 0 ? err : ReplaceListItem(panel, s->list, index, text, text);
}

int Combo_GetIndexFromValue(int panel, int control, int& index, std::string_view text) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    return err < 0 ? err : GetIndexFromValue(panel, s->list, index, text);
}

int Combo_GetNumComboItems(int panel, int control, int& count) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    return err < 0 ? err : GetNumListItems(panel, s->list, count);
}

int Combo_GetComboItem(int panel, int control, int index, std::string& text) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    return err < 0 ? err : GetValueFromIndex(panel, s->list, index, text);
}

int Combo_SetComboAttribute(int panel, int control, int attribute, int value) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    if (err < 0) return err;
    if (attribute < COMBO_ATTR_WIDTH || attribute > COMBO_ATTR_MAX_ENTRY_LENGTH ||
        attribute == COMBO_ATTR_TEXT_FONT || attribute == COMBO_ATTR_TEXT_FONT_NAME_LENGTH)
        return COMBO_ERR_INVALID_ATTRIBUTE;
    Hold(s);
    err = SetAttribute(s, attribute, value);
    Unhold(s);
    return err;
}

int Combo_SetComboAttribute(int panel, int control, int attribute, std::string_view value) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    if (err < 0) return err;
    if (attribute != COMBO_ATTR_TEXT_FONT) return COMBO_ERR_INVALID_ATTRIBUTE;
    Hold(s);
    err = SetCtrlAttribute(panel, s->textField, ATTR_TEXT_FONT, value);
    if (err >= 0) err = SetCtrlAttribute(panel, s->list, ATTR_TEXT_FONT, value);
    if (err >= 0) err = Relayout(s);
    Unhold(s);
    return err;
}

int Combo_GetComboAttribute(int panel, int control, int attribute, int& value) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    if (err < 0) return err;
    if (attribute < COMBO_ATTR_HEIGHT || attribute > COMBO_ATTR_MAX_ENTRY_LENGTH ||
        attribute == COMBO_ATTR_TEXT_FONT)
        return COMBO_ERR_INVALID_ATTRIBUTE;
    const AttrSource& src = kGetSources[attribute - 1];
    Hold(s);
    err = GetCtrlAttribute(panel, src.fromFrame ? s->frame : s->textField, src.attr, value);
    Unhold(s);
    return err;
}

int Combo_GetComboAttribute(int panel, int control, int attribute, std::string& value) {
    ComboState* s = nullptr;
    int err = FindCombo(panel, control, s);
    if (err < 0) return err;
    if (attribute != COMBO_ATTR_TEXT_FONT) return COMBO_ERR_INVALID_ATTRIBUTE;
    Hold(s);
    err = GetCtrlAttribute(panel, s->textField, ATTR_TEXT_FONT, value);
    Unhold(s);
    return err;
}

// ---------------------------------------------------------------------------------------------------------

namespace {

// The queued commit keeps the state alive until it has run; a combo box discarded meanwhile gets none.
void DeferredCommit(void* data) {
    auto* s = static_cast<ComboState*>(data);
    SendCommitEvent(s);
    Release(s);
}

}  // namespace

void SendValChangedEvent(ComboState* state) {
    ComboState* s = LiveState(state);
    if (!s) return;
    Hold(s);
    CallUser(s, EVENT_VAL_CHANGED, 0, 0);
    ++s->useCount;
    if (PostDeferredCallToThread(DeferredCommit, s) < 0) --s->useCount;
    Unhold(s);
}

void SendCommitEvent(void* state) {
    ComboState* s = LiveState(state);
    if (!s) return;
    Hold(s);
    CallUser(s, EVENT_COMMIT, 0, 0);
    Unhold(s);
}

int StringDataToRing(int panel, int control, int event, void* callbackData, int eventData1, int eventData2) {
    ComboState* s = LiveState(callbackData);
    if (!s || s->panel != panel || s->textField != control) return 0;
    Hold(s);
    bool swallow = false;
    try {
        if (event == EVENT_KEYPRESS) swallow = HandleKey(s, eventData1);
        if (event == EVENT_VAL_CHANGED && autoComplete) CompleteText(s);
    } catch (const std::bad_alloc&) {
        Unhold(s);  // out of memory: the event ends here, the application does not see it
        return 0;
    }
    // The focus moving into a list opened from the keyboard commits the field on the way out; that is no
    // person's commit and does not reach the application.
    if (event == EVENT_COMMIT && s->openedByKey) {
        Unhold(s);
        return 0;
    }
    int result = CallUser(s, event, eventData1, eventData2);
    Unhold(s);
    return swallow ? 1 : result;
}

int RingDataToString(int panel, int control, int event, void* callbackData, int eventData1, int eventData2) {
    ComboState* s = LiveState(callbackData);
    if (!s || s->panel != panel || s->list != control) return 0;
    Hold(s);
    bool forward = false;
    try {
        forward = HandleListEvent(s, event);
    } catch (const std::bad_alloc&) {
        forward = false;  // out of memory: the event ends here
    }
    if (forward) CallUser(s, event, eventData1, eventData2);
    Unhold(s);
    return 0;
}
