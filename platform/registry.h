// The panel and control registry shared by the user-interface sources of the platform (panels, controls,
// events, harness). Private to platform/.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <map>
#include <vector>

#include "internal.h"

namespace platform_detail {

struct Control {
    QPointer<QWidget> widget;
    CtrlStyle style = CTRL_NONE;
    DataType dataType = VAL_INTEGER;
    CtrlCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
};

struct Panel {
    QPointer<QWidget> widget;
    int parent = 0;
    PanelCallbackPtr callback = nullptr;
    std::map<int, Control> controls;
    std::vector<int> tabOrder;  // control ids, first = position 0
};

Panel* GetPanel(int panel);
Control* GetControl(int panel, int control);
// The control that `w` (or one of its ancestors) belongs to; false when none.
bool ControlOfWidget(const QObject* w, int& panel, int& control);

// Kind and value type of a widget as the panel file declares it.
CtrlStyle ClassifyWidget(const QWidget* w, DataType& dataType);
// Puts a widget under control of the registry: records it, marks it, hooks its events.
void RegisterControl(int panel, int control, QWidget* w);
// Applies the panel's tab order list to the widgets.
void ApplyTabOrder(Panel& p);
bool IsIndicator(const Control& c);

// Widgets made by the platform rather than the stock Qt classes (the loader and NewCtrl use them).
QWidget* CreateNumericWidget(bool isDouble, QWidget* parent);
QWidget* CreateStockWidget(const QString& className, QWidget* parent);  // numeric boxes, else nullptr
// Connects the control's widget signals and event filter to the callback dispatch (events.cpp).
void HookControlEvents(int panel, int control, QWidget* w, CtrlStyle style);
void HookPanelEvents(int panel, QWidget* w);
// Ends a user edit of a field: clears its pending change and raises COMMIT (Enter in a numeric box).
void CommitUserEdit(int panel, int control);
// Delivers a key press and release (the programs' key code) to a widget as the keyboard would: a button of
// the window whose shortcut is the key takes it; otherwise the widget gets it. Returns 1 when a callback
// swallowed the key, else 0.
int DeliverKey(QWidget* target, int code);
// The panel as a person sees it, laid out even when hidden (SavePanelImage, the harness).
QPixmap GrabPanel(QWidget* panel);
// Prepares a ring, bar or table when it is registered (item values from the file, bar scale).
void PrepareControlWidget(QWidget* w, CtrlStyle style, DataType dataType);

// Key codes between Qt and the programs' encoding.
int KeyCodeFromEvent(int qtKey, int qtModifiers, const QString& text);
void KeyEventFromCode(int code, int& qtKey, int& qtModifiers, QString& text);

// Deletes a widget now, or later when a callback may still run inside it.
void DisposeWidget(QWidget* w);

}  // namespace platform_detail
