// Combo box: an editable drop-down list made from an existing one-line text field, a small square list
// button to its left and a frame around both. Typed text is completed from the list's items, and every
// event of the parts reaches the text field's own callback as an event of the text field, so the
// application goes on handling one control. The combo box is addressed by the text field's id.
#pragma once

#include <string>
#include <string_view>

#include "platform.h"

// Errors of the combo box operations; the platform's own errors are passed on unchanged.
enum : int {
    COMBO_ERR_OUT_OF_MEMORY = -12,
    COMBO_ERR_WRONG_CONTROL = -45,      // not a text field, already a combo box, or not a combo box
    COMBO_ERR_INVALID_ATTRIBUTE = -46,  // attribute number not valid for the operation
};

// Attributes of Combo_SetComboAttribute / Combo_GetComboAttribute.
enum : int {
    COMBO_ATTR_HEIGHT = 1,  // get only
    COMBO_ATTR_WIDTH = 2,   // of the whole combo box
    COMBO_ATTR_TEXT_COLOR = 3,
    COMBO_ATTR_FRAME_COLOR = 4,            // text field, list button and frame
    COMBO_ATTR_TEXT_FONT = 5,              // a font name (text value)
    COMBO_ATTR_TEXT_FONT_NAME_LENGTH = 6,  // get only
    COMBO_ATTR_TEXT_POINT_SIZE = 7,
    COMBO_ATTR_TEXT_BOLD = 8,
    COMBO_ATTR_TEXT_ITALIC = 9,
    COMBO_ATTR_LEFT = 10,
    COMBO_ATTR_TOP = 11,
    COMBO_ATTR_VISIBLE = 12,
    COMBO_ATTR_DIMMED = 13,
    COMBO_ATTR_MAX_ENTRY_LENGTH = 14,  // -1 = no limit
};

inline constexpr int COMBO_MARKER = 21876;  // 0x5574: callback data that carries it is a combo state

// One per combo box; the text field's and the list's callback data point here.
struct ComboState {
    int panel;
    int list;                      // the list button made for the combo box
    int textField;                 // the converted text field
    int frame;                     // the decoration around text field and list
    CtrlCallbackPtr userCallback;  // the text field's callback when it was converted (may be null)
    void* userData;
    int lock;
    int lengthLimit;  // maximum entry length + 1, or -1 for no limit
    int openedByKey;  // 1 while a list opened from the keyboard is to keep the focus
    int marker;       // COMBO_MARKER while the combo box exists
    int useCount;     // running handlers and queued commit calls; the state outlives a discard until 0
};

// Returns the control id, or an error code.
int Combo_NewComboBox(int panel, int control);
// Removes list, frame and the text field itself.
int Combo_DiscardComboBox(int panel, int control);

// Item operations on the list (label = value = text); they return the platform's result.
int Combo_InsertComboItem(int panel, int control, int index, std::string_view text);  // index -1 appends
int Combo_DeleteComboItem(int panel, int control, int index, int count);              // count -1: to the end
int Combo_ReplaceComboItem(int panel, int control, int index, std::string_view text);
int Combo_GetIndexFromValue(int panel, int control, int& index, std::string_view text);
int Combo_GetNumComboItems(int panel, int control, int& count);
int Combo_GetComboItem(int panel, int control, int index, std::string& text);

// Attribute 5 takes and gives a text, all others an integer; a value of the other kind gives -46.
int Combo_SetComboAttribute(int panel, int control, int attribute, int value);
int Combo_SetComboAttribute(int panel, int control, int attribute, std::string_view value);
int Combo_GetComboAttribute(int panel, int control, int attribute, int& value);
int Combo_GetComboAttribute(int panel, int control, int attribute, std::string& value);

// Raise value changed at once and a commit later (after the current event) to the application's
// callback, as events of the text field. SendCommitEvent has the deferred-call signature.
void SendValChangedEvent(ComboState* state);
void SendCommitEvent(void* state);

// Handlers installed on the text field and on the list.
int StringDataToRing(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
int RingDataToString(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);
