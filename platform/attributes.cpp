// Control attributes: what every control has (visibility, geometry, mode, tab and stacking order, text
// and colours), with the kind's adapter asked first for attributes of its own.
#include <QApplication>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "kinds.h"

using namespace platform_detail;

namespace {

// Where the keyboard focus of each control went when the control was dimmed holding it.
struct LentFocus {
    QPointer<QWidget> control, holder;
};
std::map<const QWidget*, LentFocus> g_lentFocus;

// A control dimmed while it holds the keyboard focus hands it on to the next one. Lit again while the focus
// still rests where it went, the control takes it back, so that Return presses the button the person used
// (Send) rather than the one the focus landed on meanwhile (Stop).
void SetDimmed(QWidget* w, bool dimmed) {
    if (dimmed) {
        const bool held = w->hasFocus();
        w->setEnabled(false);
        if (held) g_lentFocus[w] = {w, QApplication::focusWidget()};
        return;
    }
    w->setEnabled(true);
    const auto it = g_lentFocus.find(w);
    if (it == g_lentFocus.end()) return;
    const LentFocus lent = it->second;
    g_lentFocus.erase(it);
    if (lent.control == w && QApplication::focusWidget() == lent.holder.data() && w->isVisible())
        w->setFocus(Qt::OtherFocusReason);
}

// ---- mode ---------------------------------------------------------------------------------------------
void SetMode(Control& c, int mode) {
    if (c.kind->AlwaysIndicator()) return;
    QWidget* w = c.widget;
    c.indicator = mode == VAL_INDICATOR;
    c.kind->ApplyMode(c);
    if (!c.hotFocus) c.hotFocus = w->focusPolicy();
    w->setFocusPolicy(c.indicator ? Qt::NoFocus : *c.hotFocus);
}

// ---- tab order and stacking ---------------------------------------------------------------------------
int TabPosition(const Panel& p, int control) {
    auto it = std::find(p.tabOrder.begin(), p.tabOrder.end(), control);
    return it == p.tabOrder.end() ? -1 : static_cast<int>(it - p.tabOrder.begin());
}

void SetTabPosition(Panel& p, int control, int position) {
    auto& order = p.tabOrder;
    order.erase(std::remove(order.begin(), order.end(), control), order.end());
    position = std::clamp(position, 0, static_cast<int>(order.size()));
    order.insert(order.begin() + position, control);
    ApplyTabOrder(p);
}

// The panel's controls that share w's parent widget, front first.
std::vector<QWidget*> StackFrontFirst(const Panel& p, const QWidget* w) {
    std::vector<QWidget*> stack;
    const QObjectList& siblings = w->parentWidget()->children();
    for (auto it = siblings.rbegin(); it != siblings.rend(); ++it) {
        auto* s = qobject_cast<QWidget*>(*it);
        if (!s) continue;
        for (const auto& [id, c] : p.controls)
            if (c.widget == s) stack.push_back(s);
    }
    return stack;
}

void SetZPlane(int panel, Panel& p, QWidget* w, int position) {
    std::vector<QWidget*> stack = StackFrontFirst(p, w);
    stack.erase(std::remove(stack.begin(), stack.end(), w), stack.end());
    position = std::clamp(position, 0, static_cast<int>(stack.size()));
    stack.insert(stack.begin() + position, w);
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) (*it)->raise();
    // Child panels stay in front of the parent's controls, in their own order.
    std::vector<QWidget*> children;
    for (int child : ChildPanels(panel))
        if (QWidget* cw = FindPanel(child)) children.push_back(cw);
    for (QObject* o : p.widget->children())
        if (std::find(children.begin(), children.end(), o) != children.end())
            static_cast<QWidget*>(o)->raise();
}

// ---- text ---------------------------------------------------------------------------------------------
QString FontName(const Control& c) {
    if (c.fontName) return *c.fontName;
    const QString family = c.widget->font().family();
    return family == QApplication::font().family() ? QString(VAL_APP_FONT) : family;
}

void SetFontName(Control& c, const QString& name) {
    QFont f = c.widget->font();
    f.setFamily(name == QLatin1String(VAL_APP_FONT) ? QApplication::font().family() : name);
    c.widget->setFont(f);
    c.fontName = name;
    SizeToText(c);
}

int ColorOf(const Control& c, const std::optional<int>& set, CtrlAttr attr) {
    return set ? *set : FromQColor(c.widget->palette().color(c.kind->ColorRole(attr)));
}

int GetTextAttr(const Control& c, CtrlAttr attr, int& v) {
    const QFont f = c.widget->font();
    switch (attr) {
        case ATTR_TEXT_COLOR:
            v = ColorOf(c, c.textColor, attr);
            return 0;
        case ATTR_TEXT_BGCOLOR:
            v = ColorOf(c, c.textBgColor, attr);
            return 0;
        case ATTR_TEXT_FONT_NAME_LENGTH:
            v = static_cast<int>(FontName(c).toUtf8().size());
            return 0;
        case ATTR_TEXT_POINT_SIZE:
            v = f.pointSize();
            return 0;
        case ATTR_TEXT_BOLD:
            v = f.bold();
            return 0;
        case ATTR_TEXT_ITALIC:
            v = f.italic();
            return 0;
        default:
            return UIEInvalidAttribute;
    }
}

int SetTextAttr(Control& c, CtrlAttr attr, int v) {
    QFont f = c.widget->font();
    switch (attr) {
        case ATTR_TEXT_COLOR:
            c.textColor = v;
            c.kind->ShowColors(c);
            return 0;
        case ATTR_TEXT_BGCOLOR:
            c.textBgColor = v;
            c.kind->ShowColors(c);
            return 0;
        case ATTR_TEXT_POINT_SIZE:
            if (v <= 0) return UIEInvalidValue;
            f.setPointSize(v);
            break;
        case ATTR_TEXT_BOLD:
            f.setBold(v != 0);
            break;
        case ATTR_TEXT_ITALIC:
            f.setItalic(v != 0);
            break;
        default:
            return UIEInvalidAttribute;
    }
    c.widget->setFont(f);
    SizeToText(c);
    return 0;
}

// ---- integer attributes -------------------------------------------------------------------------------
int GetIntAttr(Control& c, CtrlAttr attr, int& v) {
    QWidget* w = c.widget;
    Panel& p = *GetPanel(c.panel);
    switch (attr) {
        case ATTR_VISIBLE:
            v = !w->isHidden();
            return 0;
        case ATTR_DIMMED:
            v = !w->isEnabled();
            return 0;
        case ATTR_CTRL_MODE:
            v = IsIndicator(c) ? VAL_INDICATOR : VAL_HOT;
            return 0;
        case ATTR_CTRL_STYLE:
            v = c.style;
            return 0;
        case ATTR_DATA_TYPE:
            v = c.dataType;
            return 0;
        case ATTR_TOP:
            v = w->y();
            return 0;
        case ATTR_LEFT:
            v = w->x();
            return 0;
        case ATTR_WIDTH:
            v = w->width();
            return 0;
        case ATTR_HEIGHT:
            v = w->height();
            return 0;
        case ATTR_CTRL_TAB_POSITION:
            v = TabPosition(p, c.id);
            return 0;
        case ATTR_NEXT_CTRL: {
            const size_t next = static_cast<size_t>(TabPosition(p, c.id) + 1);
            v = next < p.tabOrder.size() ? p.tabOrder[next] : 0;
            return 0;
        }
        case ATTR_ZPLANE_POSITION: {
            const auto stack = StackFrontFirst(p, w);
            v = static_cast<int>(std::find(stack.begin(), stack.end(), w) - stack.begin());
            return 0;
        }
        default:
            break;
    }
    if (int r = c.kind->GetAttr(c, attr, v); r != kNotMine) return r;
    if (attr == ATTR_FRAME_COLOR) {
        v = ColorOf(c, c.frameColor, attr);
        return 0;
    }
    if (c.kind->HasText()) {
        if (int err = GetTextAttr(c, attr, v); err != UIEInvalidAttribute) return err;
    }
    if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE) {
        if (c.dataType == VAL_DOUBLE) return UIEWrongType;
        double d = 0;
        if (int err = c.kind->GetLimit(c, attr == ATTR_MAX_VALUE, d)) return err;
        v = static_cast<int>(d);
        return 0;
    }
    return UIEInvalidAttribute;
}

int SetIntAttr(Control& c, CtrlAttr attr, int v) {
    QWidget* w = c.widget;
    Panel& p = *GetPanel(c.panel);
    switch (attr) {
        case ATTR_VISIBLE:
            w->setVisible(v != 0);
            return 0;
        case ATTR_DIMMED:
            SetDimmed(w, v != 0);
            return 0;
        case ATTR_CTRL_MODE:
            if (v != VAL_HOT && v != VAL_INDICATOR) return UIEInvalidValue;
            SetMode(c, v);
            return 0;
        case ATTR_CTRL_STYLE:
        case ATTR_DATA_TYPE:
        case ATTR_TEXT_FONT_NAME_LENGTH:
            return UIEInvalidAttribute;  // read only
        case ATTR_TOP:
            w->move(w->x(), v);
            return 0;
        case ATTR_LEFT:
            w->move(v, w->y());
            return 0;
        case ATTR_WIDTH:
            w->resize(v, w->height());
            return 0;
        case ATTR_HEIGHT:
            w->resize(w->width(), v);
            return 0;
        case ATTR_CTRL_TAB_POSITION:
            SetTabPosition(p, c.id, v);
            return 0;
        case ATTR_ZPLANE_POSITION:
            SetZPlane(c.panel, p, w, v);
            return 0;
        case ATTR_CALLBACK_DATA:
            if (v != 0) return UIEWrongType;  // only a null pointer comes as an int
            c.callbackData = nullptr;
            return 0;
        default:
            break;
    }
    if (int r = c.kind->SetAttr(c, attr, v); r != kNotMine) return r;
    if (attr == ATTR_FRAME_COLOR) {
        c.frameColor = v;
        c.kind->ShowColors(c);
        return 0;
    }
    if (c.kind->HasText()) {
        if (int err = SetTextAttr(c, attr, v); err != UIEInvalidAttribute) return err;
    }
    if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE)
        return c.kind->SetLimit(c, attr == ATTR_MAX_VALUE, v);
    return UIEInvalidAttribute;
}

bool IsTextAttr(CtrlAttr attr) {
    return attr == ATTR_TEXT_FONT || attr == ATTR_LABEL_TEXT;
}

}  // namespace

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, int& value) {
    return Checked("GetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (IsTextAttr(attr) || attr == ATTR_CALLBACK_DATA || attr == ATTR_CALLBACK_FUNCTION_POINTER)
            return UIEWrongType;
        return GetIntAttr(*c, attr, value);
    });
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, double& value) {
    return Checked("GetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE)
            return c->kind->GetLimit(*c, attr == ATTR_MAX_VALUE, value);
        int i = 0;
        if (int err = GetCtrlAttribute(panel, control, attr, i)) return err;
        value = i;
        return 0;
    });
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, std::string& value) {
    return Checked("GetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr == ATTR_LABEL_TEXT) {
            value = c->kind->Label(*c).toStdString();
            return 0;
        }
        if (attr == ATTR_TEXT_FONT) {
            if (!c->kind->HasText()) return UIEInvalidAttribute;
            value = FontName(*c).toStdString();
            return 0;
        }
        return UIEWrongType;
    });
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, void*& value) {
    return Checked("GetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr != ATTR_CALLBACK_DATA) return UIEWrongType;
        value = c->callbackData;
        return 0;
    });
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, CtrlCallbackPtr& value) {
    return Checked("GetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr != ATTR_CALLBACK_FUNCTION_POINTER) return UIEWrongType;
        value = c->callback;
        return 0;
    });
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, int value) {
    return Checked("SetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (IsTextAttr(attr) || attr == ATTR_CALLBACK_FUNCTION_POINTER) return UIEWrongType;
        return SetIntAttr(*c, attr, value);
    });
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, double value) {
    return Checked("SetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE)
            return c->kind->SetLimit(*c, attr == ATTR_MAX_VALUE, value);
        if (value != std::floor(value) || std::fabs(value) > std::numeric_limits<int>::max())
            return UIEWrongType;
        return SetCtrlAttribute(panel, control, attr, static_cast<int>(value));
    });
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, std::string_view value) {
    return Checked("SetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr == ATTR_LABEL_TEXT) {
            c->label = QStr(value);
            c->kind->ShowLabel(*c);
            SizeToText(*c);
            return 0;
        }
        if (attr == ATTR_TEXT_FONT) {
            if (!c->kind->HasText()) return UIEInvalidAttribute;
            SetFontName(*c, QStr(value));
            return 0;
        }
        return UIEWrongType;
    });
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, void* value) {
    return Checked("SetCtrlAttribute", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (attr != ATTR_CALLBACK_DATA) return UIEWrongType;
        c->callbackData = value;
        return 0;
    });
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void* callbackData) {
    return Checked("InstallCtrlCallback", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        c->callback = callback;
        c->callbackData = callbackData;
        return 0;
    });
}
