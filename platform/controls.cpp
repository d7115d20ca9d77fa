// Controls made and discarded at run time, the focus, keys sent by the program, text boxes and pictures.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSignalBlocker>

#include "kinds.h"

using namespace platform_detail;

// ---------------------------------------------------------------------------------------------------------
// Controls made at run time

int NewCtrl(int panel, CtrlStyle style, std::string_view label, int top, int left) {
    return Checked("NewCtrl", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        QWidget* w = MakeControlWidget(style, QStr(label), p->widget);
        if (!w) return UIEInvalidValue;
        const int id = p->controls.empty() ? 1 : p->controls.rbegin()->first + 1;
        w->setObjectName(QString("ctrl%1").arg(id));
        w->move(left, top);
        Control& c = RegisterControl(panel, id, w);
        c.label = QStr(label);
        c.kind->MadeAtRunTime(c);
        p->tabOrder.push_back(id);
        ApplyTabOrder(*p);
        w->show();
        return id;
    });
}

int DiscardCtrl(int panel, int control) {
    return Checked("DiscardCtrl", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        UnregisterControl(panel, control);
        return 0;
    });
}

// ---------------------------------------------------------------------------------------------------------
// Focus, keys, text boxes, pictures, cursor

namespace {
QPointer<QWidget> g_lastActive;  // where keys go while no window has the input focus (offscreen)
}

int SetActiveCtrl(int panel, int control) {
    return Checked("SetActiveCtrl", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        c->widget->setFocus(Qt::OtherFocusReason);
        g_lastActive = c->widget;
        return 0;
    });
}

int GetActiveCtrl(int panel) {
    return Checked("GetActiveCtrl", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        QWidget* f = QApplication::focusWidget();
        if (!f || !p->widget->isAncestorOf(f)) f = p->widget->focusWidget();
        if (!f && g_lastActive && p->widget->isAncestorOf(g_lastActive)) f = g_lastActive;
        const Control* c = f ? ControlOfWidget(f) : nullptr;
        return c && c->panel == panel ? c->id : 0;
    });
}

int FakeKeystroke(int key) {
    return Checked("FakeKeystroke", [&]() -> int {
        QWidget* target = QApplication::focusWidget();
        if (!target) target = g_lastActive;
        if (!target) return UIEInvalidControl;
        DeliverKey(target, key);
        return 0;
    });
}

int ResetTextBox(int panel, int control, std::string_view text) {
    return Checked("ResetTextBox", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        auto* t = qobject_cast<QPlainTextEdit*>(c->widget);
        if (!t) return UIEWrongType;
        const QSignalBlocker block(t);
        t->setPlainText(ShownText(TextValue(text)));
        return 0;
    });
}

int DisplayImageFile(int panel, int control, std::string_view path) {
    return Checked("DisplayImageFile", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        auto* l = qobject_cast<QLabel*>(c->widget);
        if (!l) return UIEWrongType;
        QPixmap picture;
        if (!picture.load(QStr(path))) {
            l->clear();
            return UIEInvalidValue;
        }
        l->setPixmap(picture);
        return 0;
    });
}

int SetWaitCursor(int on) {
    static bool shown = false;
    if (!HasWindows()) return 0;  // a console program has no cursor
    if (on && !shown) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!on && shown) QApplication::restoreOverrideCursor();
    shown = on != 0;
    return 0;
}
