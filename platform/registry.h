// The records of loaded panels and their controls, shared by the platform's user-interface sources. A
// control's state lives here, not on its widget; the widget only shows it.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <map>
#include <optional>
#include <vector>

#include "internal.h"

namespace platform_detail {

class ControlKind;

struct Control {
    int panel = 0, id = 0;
    QPointer<QWidget> widget;
    const ControlKind* kind = nullptr;  // chosen once when the control is registered
    CtrlStyle style = CTRL_NONE;
    DataType dataType = VAL_INTEGER;
    CtrlCallbackPtr callback = nullptr;
    void* callbackData = nullptr;

    // An indicator shows values but takes no edits (ATTR_CTRL_MODE; some kinds are indicators always).
    bool indicator = false;
    // The kind has a read-only state of its own (ControlKind::HasReadOnlyMode): as an indicator it still
    // takes the focus and clicks. Other indicators ignore all input.
    bool readOnlyMode = false;
    // The focus policy the control has while hot; known once the control has been an indicator.
    std::optional<Qt::FocusPolicy> hotFocus;
    // A person edited the field since its last commit (text fields, numerics).
    bool dirty = false;
    // The text the program last put into a text field, as bytes and as shown: while the field still shows
    // it, reading the field answers those bytes, also where they are not UTF-8.
    QByteArray textBytes;
    QString textShown;

    // Colours, font and label as the panel file or the program set them; unset ones read from the palette.
    std::optional<int> textColor, textBgColor, frameColor, buttonColor;
    std::optional<QString> fontName;
    QString label;            // for kinds whose widget shows no label of its own
    bool sizeToText = false;  // a text message made at run time grows with its text

    // Widgets inside the control's own (a spin box's line edit, a table's viewport) when it was registered:
    // input on them is the control's.
    std::vector<QPointer<QWidget>> inner;

    // A numeric bar keeps its value and scale as doubles; the progress bar shows them in steps.
    struct Bar {
        double min = 0.0, max = 100.0, value = 0.0;
    } bar;
    // A value written but not shown yet (ShowAtScreenPace): a numeric indicator's, as the box will show it.
    std::optional<QVariant> pacedValue;
    bool pacePending = false;
};

struct Panel {
    QPointer<QWidget> widget;
    int parent = 0;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    std::vector<int> tabOrder;  // control ids, first = position 0
    bool closeOnEscape = false;
};

// A new panel record and its handle; dropping a panel's record drops those of the panels inside it.
Panel& NewPanelRecord(int& handle);
void ErasePanelRecord(int panel);
Panel* GetPanel(int panel);
Control* GetControl(int panel, int control);
// GetControl with the error the operations return: UIEInvalidPanel or UIEInvalidControl.
int Lookup(int panel, int control, Control*& c);
// The control that `w` (or one of its ancestors) belongs to; nullptr when none.
Control* ControlOfWidget(const QObject* w);
// Handles of the panels shown inside `panel`.
std::vector<int> ChildPanels(int panel);

// Puts a widget under control of the registry: classifies it, records it, prepares it, hooks its events.
Control& RegisterControl(int panel, int control, QWidget* w);
// Takes a control out of the registry and disposes of its widget.
void UnregisterControl(int panel, int control);
// Applies the panel's tab order list to the widgets.
void ApplyTabOrder(Panel& p);
bool IsIndicator(const Control& c);

// Connects the control's widget to the callback dispatch: the common input filter on it and its inner
// widgets (events.cpp). The kind's own signals are its adapter's Hook, which the registry calls next.
void HookControlEvents(Control& c);
void HookPanelEvents(int panel, QWidget* w);
// Ends a user edit of a field: clears its pending change and raises COMMIT (Enter in a numeric box).
void CommitUserEdit(int panel, int control);
// Raises an event for a control from a widget signal.
void Raise(int panel, int control, int event, int eventData1 = 0, int eventData2 = 0);
// Marks a field as edited since its last commit.
void MarkDirty(int panel, int control, bool dirty);
// Delivers a key press and release (the programs' key code) to a widget as the keyboard would: a button of
// the window whose shortcut is the key takes it; otherwise the widget gets it. Returns 1 when a callback
// swallowed the key, else 0.
int DeliverKey(QWidget* target, int code);
// The panel as a person sees it, laid out even when hidden (SavePanelImage, the harness), with every value
// written so far shown.
QPixmap GrabPanel(QWidget* panel);
// Values a program may write far more often than a screen can show them (numeric indicators, bars): the
// control keeps the value at once (reads answer it), and its kind's ShowPaced puts it on the widget at the
// screen's next frame, once however often it was written in between. ShowPacedValues shows all that wait.
void ShowAtScreenPace(Control& c);
void ShowPacedValues();
// Widgets for the class names in a panel file that the platform makes itself (numeric boxes, plots);
// nullptr for the stock Qt classes.
QWidget* CreateFileWidget(const QString& className, QWidget* parent);

// Key codes between Qt and the programs' encoding (keys.cpp).
int KeyCodeFromEvent(int qtKey, int qtModifiers, const QString& text);
void KeyEventFromCode(int code, int& qtKey, int& qtModifiers, QString& text);

// Deletes a widget now, or later when a callback may still run inside it.
void DisposeWidget(QWidget* w);

}  // namespace platform_detail
