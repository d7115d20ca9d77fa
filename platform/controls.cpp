// Controls: values, attributes, controls made at run time, list (ring) items and table cells.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>

#include "registry.h"

using namespace platform_detail;

namespace {

constexpr int kBarSteps = 10000;  // resolution of a numeric bar

QString QStr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

int Lookup(int panel, int control, Control*& c) {
    if (!GetPanel(panel)) return UIEInvalidPanel;
    c = GetControl(panel, control);
    return c ? 0 : UIEInvalidControl;
}

bool IsRing(CtrlStyle s) {
    return s == CTRL_RING || s == CTRL_POPUP_RING;
}
bool IsPlot(CtrlStyle s) {
    return s == CTRL_STRIP_CHART || s == CTRL_GRAPH;
}

// A value read from a control or a cell: int, double or text.
using Value = QVariant;

bool IsIntValue(const Value& v) {
    return v.typeId() == QMetaType::Int;
}
bool IsDoubleValue(const Value& v) {
    return v.typeId() == QMetaType::Double;
}
bool IsTextValue(const Value& v) {
    return v.typeId() == QMetaType::QString;
}

int ToInt(const Value& v, int& out) {
    if (!IsIntValue(v)) return UIEWrongType;
    out = v.toInt();
    return 0;
}
int ToUShort(const Value& v, unsigned short& out) {
    int i = 0;
    if (int err = ToInt(v, i)) return err;
    if (i < 0 || i > 65535) return UIEInvalidValue;
    out = static_cast<unsigned short>(i);
    return 0;
}
int ToDouble(const Value& v, double& out) {
    if (!IsIntValue(v) && !IsDoubleValue(v)) return UIEWrongType;
    out = v.toDouble();
    return 0;
}
int ToText(const Value& v, std::string& out) {
    if (!IsTextValue(v)) return UIEWrongType;
    out = v.toString().toStdString();
    return 0;
}

// ---- numeric bar: a double shown on an integer progress bar -------------------------------------------
double BarMin(const QWidget* w) {
    return w->property("cviMin").toDouble();
}
double BarMax(const QWidget* w) {
    return w->property("cviMax").toDouble();
}
void ShowBarValue(QProgressBar* bar) {
    const double lo = BarMin(bar), hi = BarMax(bar), v = bar->property("cviValue").toDouble();
    const double f = hi > lo ? std::clamp((v - lo) / (hi - lo), 0.0, 1.0) : 0.0;
    bar->setValue(static_cast<int>(std::lround(f * kBarSteps)));
}

// A program may move a bar far more often than a screen can show it (a transfer steps its progress after
// every echo, a millisecond apart), and each repaint costs more than such an exchange. The value is kept at
// once; the bar shows it at the screen's pace.
void ShowBarValuePaced(QProgressBar* bar) {
    constexpr int kFrameMs = 16;
    if (bar->property("cviRefreshPending").toBool()) return;
    bar->setProperty("cviRefreshPending", true);
    QTimer::singleShot(kFrameMs, bar, [bar] {
        bar->setProperty("cviRefreshPending", false);
        ShowBarValue(bar);
    });
}

// ---- rings ------------------------------------------------------------------------------------------
int FindItem(QComboBox* r, const Value& v) {
    for (int i = 0; i < r->count(); ++i) {
        const QVariant d = r->itemData(i);
        if (IsIntValue(v) && IsIntValue(d) && d.toInt() == v.toInt()) return i;
        if (IsTextValue(v) && IsTextValue(d) && d.toString() == v.toString()) return i;
    }
    return -1;
}

int SelectItem(QComboBox* r, const Value& v) {
    const int i = FindItem(r, v);
    if (i < 0) return UIEItemNotFound;
    const QSignalBlocker block(r);
    r->setCurrentIndex(i);
    return 0;
}

// ---- reading and writing a control's value --------------------------------------------------------------
int ReadValue(const Control& c, Value& v) {
    QWidget* w = c.widget;
    switch (c.style) {
        case CTRL_NUMERIC:
            if (auto* s = qobject_cast<QSpinBox*>(w)) v = s->value();
            if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) v = s->value();
            return 0;
        case CTRL_RING:
        case CTRL_POPUP_RING: {
            auto* r = static_cast<QComboBox*>(w);
            if (r->currentIndex() < 0) return UIEIndexOutOfRange;
            v = r->currentData();
            return 0;
        }
        case CTRL_STRING:
        case CTRL_STRING_LS:
            v = static_cast<QLineEdit*>(w)->text();
            return 0;
        case CTRL_TEXT_MSG:
            v = static_cast<QLabel*>(w)->text();
            return 0;
        case CTRL_TEXT_BOX:
            v = static_cast<QPlainTextEdit*>(w)->toPlainText();
            return 0;
        case CTRL_TOGGLE:
            v = static_cast<QCheckBox*>(w)->isChecked() ? 1 : 0;
            return 0;
        case CTRL_SLIDER:
            v = static_cast<QSlider*>(w)->value();
            return 0;
        case CTRL_NUMERIC_BAR:
            v = w->property("cviValue").toDouble();
            return 0;
        default:
            return UIEWrongType;
    }
}

void SizeToText(QWidget* w) {
    if (w->property("cviSizeToText").toBool()) w->adjustSize();
}

int WriteValue(Control& c, const Value& v) {
    QWidget* w = c.widget;
    const QSignalBlocker block(w);  // program changes raise no events
    switch (c.style) {
        case CTRL_NUMERIC:
            if (auto* s = qobject_cast<QSpinBox*>(w)) {
                if (!IsIntValue(v)) return UIEWrongType;
                s->setValue(v.toInt());
            } else if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) {
                if (IsTextValue(v)) return UIEWrongType;
                s->setValue(v.toDouble());
            }
            return 0;
        case CTRL_RING:
        case CTRL_POPUP_RING:
            return SelectItem(static_cast<QComboBox*>(w), v);
        case CTRL_STRING:
        case CTRL_STRING_LS:
            if (!IsTextValue(v)) return UIEWrongType;
            static_cast<QLineEdit*>(w)->setText(v.toString());
            return 0;
        case CTRL_TEXT_MSG:
            if (!IsTextValue(v)) return UIEWrongType;
            static_cast<QLabel*>(w)->setText(v.toString());
            SizeToText(w);
            return 0;
        case CTRL_TEXT_BOX: {  // text boxes collect: the text is appended
            if (!IsTextValue(v)) return UIEWrongType;
            auto* t = static_cast<QPlainTextEdit*>(w);
            t->moveCursor(QTextCursor::End);
            t->insertPlainText(v.toString());
            return 0;
        }
        case CTRL_TOGGLE:
            if (!IsIntValue(v)) return UIEWrongType;
            static_cast<QCheckBox*>(w)->setChecked(v.toInt() != 0);
            return 0;
        case CTRL_SLIDER:
            if (!IsIntValue(v)) return UIEWrongType;
            static_cast<QSlider*>(w)->setValue(v.toInt());
            return 0;
        case CTRL_NUMERIC_BAR:
            if (IsTextValue(v)) return UIEWrongType;
            w->setProperty("cviValue", v.toDouble());
            ShowBarValuePaced(static_cast<QProgressBar*>(w));
            return 0;
        default:
            return UIEWrongType;
    }
}

template <class T, class Convert>
int GetAs(int panel, int control, T& out, Convert convert) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    Value v;
    if (int err = ReadValue(*c, v)) return err;
    return convert(v, out);
}

int SetAs(int panel, int control, const Value& v) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    return WriteValue(*c, v);
}

// ---- colours ---------------------------------------------------------------------------------------------
QString Css(int rgb) {
    return ToQColor(rgb).name();
}

// Buttons and rings draw their face from a style sheet, the only way that colours them in every style.
void ApplyFaceStyle(QWidget* w) {
    const QVariant face = w->property(qobject_cast<QPushButton*>(w) ? "cviButtonColor" : "cviFrameColor");
    const QVariant text = w->property("cviTextColor");
    QString decl;
    if (face.isValid()) {
        const QColor c = ToQColor(face.toInt());
        decl += QString("background-color: %1; border: 1px solid %2; border-radius: 2px; padding: 1px 4px;")
                    .arg(c.name(), c.darker(160).name());
    }
    if (text.isValid()) decl += QString(" color: %1;").arg(Css(text.toInt()));
    const QString cls = w->metaObject()->className();
    QString sheet = decl.isEmpty() ? QString() : QString("%1 { %2 }").arg(cls, decl);
    if (face.isValid() && qobject_cast<QPushButton*>(w))
        sheet += QString(" %1:pressed { background-color: %2; }")
                     .arg(cls, ToQColor(face.toInt()).darker(120).name());
    w->setStyleSheet(sheet);
}

bool UsesFaceStyle(const QWidget* w) {
    return qobject_cast<const QPushButton*>(w) || qobject_cast<const QComboBox*>(w);
}

void SetTextColor(QWidget* w, int rgb) {
    w->setProperty("cviTextColor", rgb);
    if (UsesFaceStyle(w)) return ApplyFaceStyle(w);
    QPalette pal = w->palette();
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        pal.setColor(role, ToQColor(rgb));
    w->setPalette(pal);
}

void SetTextBgColor(const Control& c, int rgb) {
    QWidget* w = c.widget;
    w->setProperty("cviTextBg", rgb);
    QPalette pal = w->palette();
    const bool transparent = rgb == VAL_TRANSPARENT;
    const QColor col = transparent ? QColor(Qt::transparent) : ToQColor(rgb);
    if (c.style == CTRL_TEXT_MSG) {
        pal.setColor(QPalette::Window, col);
        w->setAutoFillBackground(!transparent);
    } else {
        pal.setColor(QPalette::Base, col);
    }
    w->setPalette(pal);
}

void SetFrameColor(const Control& c, int rgb) {
    QWidget* w = c.widget;
    w->setProperty("cviFrameColor", rgb);
    if (qobject_cast<QComboBox*>(w)) return ApplyFaceStyle(w);
    if (c.style == CTRL_DECORATION) {  // the box is filled with its colour
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, ToQColor(rgb));
        // Its line too, unless it holds controls, whose text would take the colour as well.
        if (w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty())
            pal.setColor(QPalette::WindowText, ToQColor(rgb));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
}

int ColorProperty(const QWidget* w, const char* name, QPalette::ColorRole fallback) {
    const QVariant v = w->property(name);
    return v.isValid() ? v.toInt() : FromQColor(w->palette().color(fallback));
}

// ---- fonts
// -------------------------------------------------------------------------------------------------
QString FontName(const QWidget* w) {
    const QVariant v = w->property("cviFontName");
    if (v.isValid()) return v.toString();
    return w->font().family() == QApplication::font().family() ? QString(VAL_APP_FONT) : w->font().family();
}

void SetFontName(QWidget* w, const QString& name) {
    QFont f = w->font();
    f.setFamily(name == QLatin1String(VAL_APP_FONT) ? QApplication::font().family() : name);
    w->setFont(f);
    w->setProperty("cviFontName", name);
    SizeToText(w);
}

// ---- mode, tab order, z order -------------------------------------------------------------------------
void SetMode(Control& c, int mode) {
    QWidget* w = c.widget;
    if (c.style == CTRL_TEXT_MSG || c.style == CTRL_DECORATION || c.style == CTRL_PICTURE ||
        c.style == CTRL_NUMERIC_BAR)
        return;  // always indicators
    const bool indicator = mode == VAL_INDICATOR;
    w->setProperty("cviMode", mode);
    if (auto* e = qobject_cast<QLineEdit*>(w)) e->setReadOnly(indicator);
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) s->setReadOnly(indicator);
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) t->setReadOnly(indicator);
    if (auto* t = qobject_cast<QTableWidget*>(w))
        t->setEditTriggers(indicator ? QAbstractItemView::NoEditTriggers
                                     : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                           QAbstractItemView::AnyKeyPressed);
    if (!w->property("cviFocusPolicy").isValid()) w->setProperty("cviFocusPolicy", int(w->focusPolicy()));
    w->setFocusPolicy(indicator ? Qt::NoFocus : Qt::FocusPolicy(w->property("cviFocusPolicy").toInt()));
}

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
    // Child panels stay in front of the parent's controls.
    for (QObject* o : p.widget->children())
        if (auto* child = qobject_cast<QWidget*>(o); child && child->property("cviPanelHandle").isValid())
            child->raise();
    (void)panel;
}

// ---- attributes ------------------------------------------------------------------------------------------
bool HasText(CtrlStyle s) {
    return s != CTRL_DECORATION && s != CTRL_PICTURE && !IsPlot(s);
}

QString LabelText(const Control& c) {
    if (auto* b = qobject_cast<QAbstractButton*>(c.widget)) return b->text();
    if (c.style == CTRL_TEXT_MSG) return static_cast<QLabel*>(c.widget.data())->text();
    return c.widget->property("cviLabel").toString();
}

int MinMaxGet(const Control& c, CtrlAttr attr, double& v) {
    const bool max = attr == ATTR_MAX_VALUE;
    QWidget* w = c.widget;
    if (auto* s = qobject_cast<QSpinBox*>(w))
        v = max ? s->maximum() : s->minimum();
    else if (auto* s = qobject_cast<QDoubleSpinBox*>(w))
        v = max ? s->maximum() : s->minimum();
    else if (auto* s = qobject_cast<QSlider*>(w))
        v = max ? s->maximum() : s->minimum();
    else if (c.style == CTRL_NUMERIC_BAR)
        v = max ? BarMax(w) : BarMin(w);
    else
        return UIEInvalidAttribute;
    return 0;
}

int MinMaxSet(Control& c, CtrlAttr attr, double v) {
    const bool max = attr == ATTR_MAX_VALUE;
    QWidget* w = c.widget;
    const QSignalBlocker block(w);
    auto integral = [&](int lo, int hi) { return v == std::floor(v) && v >= lo && v <= hi; };
    if (auto* s = qobject_cast<QSpinBox*>(w)) {
        const bool u16 = c.dataType == VAL_UNSIGNED_SHORT_INTEGER;
        if (!integral(u16 ? 0 : std::numeric_limits<int>::min(),
                      u16 ? 65535 : std::numeric_limits<int>::max()))
            return UIEInvalidValue;
        max ? s->setMaximum(static_cast<int>(v)) : s->setMinimum(static_cast<int>(v));
    } else if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) {
        max ? s->setMaximum(v) : s->setMinimum(v);
    } else if (auto* s = qobject_cast<QSlider*>(w)) {
        if (!integral(std::numeric_limits<int>::min(), std::numeric_limits<int>::max()))
            return UIEInvalidValue;
        max ? s->setMaximum(static_cast<int>(v)) : s->setMinimum(static_cast<int>(v));
    } else if (c.style == CTRL_NUMERIC_BAR) {
        w->setProperty(max ? "cviMax" : "cviMin", v);
        ShowBarValue(static_cast<QProgressBar*>(w));
    } else {
        return UIEInvalidAttribute;
    }
    return 0;
}

int GetIntAttr(int panel, Control& c, CtrlAttr attr, int& v) {
    QWidget* w = c.widget;
    Panel& p = *GetPanel(panel);
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
            v = TabPosition(p, w->property("cviCtrl").toInt());
            return 0;
        case ATTR_NEXT_CTRL: {
            const size_t next = static_cast<size_t>(TabPosition(p, w->property("cviCtrl").toInt()) + 1);
            v = next < p.tabOrder.size() ? p.tabOrder[next] : 0;
            return 0;
        }
        case ATTR_ZPLANE_POSITION: {
            const auto stack = StackFrontFirst(p, w);
            v = static_cast<int>(std::find(stack.begin(), stack.end(), w) - stack.begin());
            return 0;
        }
        case ATTR_FRAME_COLOR:
            if (IsPlot(c.style)) return UIEInvalidAttribute;
            v = ColorProperty(w, "cviFrameColor",
                              c.style == CTRL_DECORATION ? QPalette::Window : QPalette::Button);
            return 0;
        case ATTR_CMD_BUTTON_COLOR:
            if (c.style != CTRL_COMMAND_BUTTON) return UIEInvalidAttribute;
            v = ColorProperty(w, "cviButtonColor", QPalette::Button);
            return 0;
        case ATTR_POINTS_PER_SCREEN:
        case ATTR_NUM_TRACES:
            return GetPlotAttribute(w, attr, v);
        default:
            break;
    }
    if (HasText(c.style)) {
        switch (attr) {
            case ATTR_TEXT_COLOR:
                v = ColorProperty(w, "cviTextColor", QPalette::WindowText);
                return 0;
            case ATTR_TEXT_BGCOLOR:
                v = ColorProperty(w, "cviTextBg",
                                  c.style == CTRL_TEXT_MSG ? QPalette::Window : QPalette::Base);
                return 0;
            case ATTR_TEXT_FONT_NAME_LENGTH:
                v = static_cast<int>(FontName(w).toUtf8().size());
                return 0;
            case ATTR_TEXT_POINT_SIZE:
                v = w->font().pointSize();
                return 0;
            case ATTR_TEXT_BOLD:
                v = w->font().bold();
                return 0;
            case ATTR_TEXT_ITALIC:
                v = w->font().italic();
                return 0;
            default:
                break;
        }
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        switch (attr) {
            case ATTR_MAX_ENTRY_LENGTH:
                v = e->maxLength() >= 32767 ? -1 : e->maxLength();
                return 0;
            case ATTR_TEXT_SELECTION_START:
                v = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
                return 0;
            case ATTR_TEXT_SELECTION_LENGTH:
                v = static_cast<int>(e->selectedText().size());
                return 0;
            default:
                break;
        }
    }
    if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE) {
        if (c.dataType == VAL_DOUBLE) return UIEWrongType;
        double d = 0;
        if (int err = MinMaxGet(c, attr, d)) return err;
        v = static_cast<int>(d);
        return 0;
    }
    return UIEInvalidAttribute;
}

int SetLineEditAttr(QLineEdit* e, CtrlAttr attr, int v) {
    switch (attr) {
        case ATTR_MAX_ENTRY_LENGTH:
            e->setMaxLength(v < 0 ? 32767 : v);
            return 0;
        case ATTR_TEXT_SELECTION_START: {
            const int length = static_cast<int>(e->selectedText().size());
            e->setSelection(v, length);
            if (length == 0) e->setCursorPosition(v);
            return 0;
        }
        case ATTR_TEXT_SELECTION_LENGTH: {
            const int start = e->hasSelectedText() ? e->selectionStart() : e->cursorPosition();
            e->setSelection(start, v);
            return 0;
        }
        default:
            return UIEInvalidAttribute;
    }
}

int SetTextAttr(const Control& c, CtrlAttr attr, int v) {
    QWidget* w = c.widget;
    QFont f = w->font();
    switch (attr) {
        case ATTR_TEXT_COLOR:
            SetTextColor(w, v);
            return 0;
        case ATTR_TEXT_BGCOLOR:
            SetTextBgColor(c, v);
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
    w->setFont(f);
    SizeToText(w);
    return 0;
}

int SetIntAttr(int panel, Control& c, CtrlAttr attr, int v) {
    QWidget* w = c.widget;
    Panel& p = *GetPanel(panel);
    switch (attr) {
        case ATTR_VISIBLE:
            w->setVisible(v != 0);
            return 0;
        case ATTR_DIMMED:
            w->setEnabled(v == 0);
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
            SetTabPosition(p, w->property("cviCtrl").toInt(), v);
            return 0;
        case ATTR_ZPLANE_POSITION:
            SetZPlane(panel, p, w, v);
            return 0;
        case ATTR_FRAME_COLOR:
            if (IsPlot(c.style)) return UIEInvalidAttribute;
            SetFrameColor(c, v);
            return 0;
        case ATTR_CMD_BUTTON_COLOR:
            if (c.style != CTRL_COMMAND_BUTTON) return UIEInvalidAttribute;
            w->setProperty("cviButtonColor", v);
            ApplyFaceStyle(w);
            return 0;
        case ATTR_POINTS_PER_SCREEN:
        case ATTR_NUM_TRACES:
            return SetPlotAttribute(w, attr, v);
        case ATTR_CALLBACK_DATA:
            if (v != 0) return UIEWrongType;  // only a null pointer comes as an int
            c.callbackData = nullptr;
            return 0;
        default:
            break;
    }
    if (HasText(c.style)) {
        if (int err = SetTextAttr(c, attr, v); err != UIEInvalidAttribute) return err;
    }
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        if (int err = SetLineEditAttr(e, attr, v); err != UIEInvalidAttribute) return err;
    }
    if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE) return MinMaxSet(c, attr, v);
    return UIEInvalidAttribute;
}

bool IsTextAttr(CtrlAttr attr) {
    return attr == ATTR_TEXT_FONT || attr == ATTR_LABEL_TEXT;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Registration helpers used by the panel loader and NewCtrl

namespace platform_detail {

CtrlStyle ClassifyWidget(const QWidget* w, DataType& dataType) {
    const QString kind = w->property("ctrlKind").toString();
    const QString type = w->property("dataType").toString();
    dataType = VAL_INTEGER;
    if (CtrlStyle s = PlotWidgetStyle(w); s != CTRL_NONE) {
        dataType = VAL_DOUBLE;
        return s;
    }
    if (qobject_cast<const QSpinBox*>(w)) {
        if (type == QLatin1String("uint16")) dataType = VAL_UNSIGNED_SHORT_INTEGER;
        return CTRL_NUMERIC;
    }
    if (qobject_cast<const QDoubleSpinBox*>(w)) {
        dataType = VAL_DOUBLE;
        return CTRL_NUMERIC;
    }
    if (qobject_cast<const QComboBox*>(w)) {
        if (type == QLatin1String("string")) dataType = VAL_STRING;
        return kind == QLatin1String("popupRing") ? CTRL_POPUP_RING : CTRL_RING;
    }
    if (qobject_cast<const QLineEdit*>(w)) {
        dataType = VAL_STRING;
        return kind == QLatin1String("string2") ? CTRL_STRING_LS : CTRL_STRING;
    }
    if (qobject_cast<const QLabel*>(w)) {
        dataType = VAL_STRING;
        return kind == QLatin1String("picture") ? CTRL_PICTURE : CTRL_TEXT_MSG;
    }
    if (qobject_cast<const QPlainTextEdit*>(w)) {
        dataType = VAL_STRING;
        return CTRL_TEXT_BOX;
    }
    if (qobject_cast<const QPushButton*>(w)) return CTRL_COMMAND_BUTTON;
    if (qobject_cast<const QCheckBox*>(w)) return CTRL_TOGGLE;
    if (qobject_cast<const QSlider*>(w)) return CTRL_SLIDER;
    if (qobject_cast<const QProgressBar*>(w)) {
        dataType = VAL_DOUBLE;
        return CTRL_NUMERIC_BAR;
    }
    if (qobject_cast<const QTableWidget*>(w)) {
        if (type == QLatin1String("uint16")) dataType = VAL_UNSIGNED_SHORT_INTEGER;
        if (type == QLatin1String("double")) dataType = VAL_DOUBLE;
        if (type == QLatin1String("string")) dataType = VAL_STRING;
        return CTRL_TABLE;
    }
    if (qobject_cast<const QFrame*>(w)) return CTRL_DECORATION;
    return CTRL_NONE;
}

namespace {

// Cell editors of unsigned 16-bit tables take 0..65535 only.
class UShortCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* s = qobject_cast<QSpinBox*>(editor)) s->setRange(0, 65535);
        return editor;
    }
};

// Item values of a ring: the file's "itemValues" property ("9600;19200;..."), else the item index (integer
// rings) or the label (text rings).
void PrepareRing(QComboBox* r, DataType dataType) {
    QStringList values;
    const QVariant prop = r->property("itemValues");
    if (prop.typeId() == QMetaType::QStringList)
        values = prop.toStringList();
    else if (prop.isValid())
        values = prop.toString().split(';');
    for (int i = 0; i < r->count(); ++i) {
        const QString given = i < values.size() ? values[i].trimmed() : QString();
        if (dataType == VAL_STRING) {
            r->setItemData(i, given.isEmpty() && i >= values.size() ? r->itemText(i) : given);
        } else {
            bool ok = false;
            const int v = given.toInt(&ok);
            r->setItemData(i, ok ? v : i);
        }
    }
}

// Colours a panel file gives as 0xRRGGBB numbers in "cviTextColor", "cviButtonColor", "cviFrameColor".
void PrepareColors(QWidget* w, CtrlStyle style) {
    Control c;
    c.widget = w;
    c.style = style;
    const QVariant text = w->property("cviTextColor"), frame = w->property("cviFrameColor");
    if (text.isValid()) SetTextColor(w, text.toInt());
    if (frame.isValid()) SetFrameColor(c, frame.toInt());
    if (w->property("cviButtonColor").isValid() && qobject_cast<QPushButton*>(w)) ApplyFaceStyle(w);
}

void PrepareBar(QProgressBar* bar) {
    bar->setProperty("cviMin", double(bar->minimum()));
    bar->setProperty("cviMax", double(bar->maximum()));
    bar->setProperty("cviValue", double(bar->value() < bar->minimum() ? bar->minimum() : bar->value()));
    bar->setRange(0, kBarSteps);
    ShowBarValue(bar);
}

void PrepareTable(QTableWidget* t, DataType dataType) {
    if (dataType == VAL_UNSIGNED_SHORT_INTEGER) t->setItemDelegate(new UShortCellDelegate(t));
    for (int r = 0; r < t->rowCount(); ++r) {
        for (int col = 0; col < t->columnCount(); ++col) {
            if (t->item(r, col)) continue;
            auto* item = new QTableWidgetItem;
            if (dataType == VAL_STRING)
                item->setData(Qt::DisplayRole, QString());
            else if (dataType == VAL_DOUBLE)
                item->setData(Qt::DisplayRole, 0.0);
            else
                item->setData(Qt::DisplayRole, 0);
            const QSignalBlocker block(t);
            t->setItem(r, col, item);
        }
    }
}

}  // namespace

void PrepareControlWidget(QWidget* w, CtrlStyle style, DataType dataType) {
    w->setContextMenuPolicy(Qt::PreventContextMenu);  // a right click belongs to the program
    if (auto* s = qobject_cast<QSpinBox*>(w); s && dataType == VAL_UNSIGNED_SHORT_INTEGER)
        s->setRange(std::clamp(s->minimum(), 0, 65535), std::clamp(s->maximum(), 0, 65535));
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) s->setKeyboardTracking(true);
    if (auto* r = qobject_cast<QComboBox*>(w)) PrepareRing(r, dataType);
    if (auto* b = qobject_cast<QProgressBar*>(w)) PrepareBar(b);
    if (auto* t = qobject_cast<QTableWidget*>(w)) PrepareTable(t, dataType);
    PrepareColors(w, style);
    if (style == CTRL_TEXT_MSG || style == CTRL_DECORATION || style == CTRL_PICTURE ||
        style == CTRL_NUMERIC_BAR)
        w->setFocusPolicy(Qt::NoFocus);
    bool readOnly = false;
    if (auto* e = qobject_cast<QLineEdit*>(w)) readOnly = e->isReadOnly();
    if (auto* s = qobject_cast<QAbstractSpinBox*>(w)) readOnly = s->isReadOnly();
    if (auto* t = qobject_cast<QPlainTextEdit*>(w)) readOnly = t->isReadOnly();
    if (readOnly) {
        w->setProperty("cviFocusPolicy", int(Qt::StrongFocus));
        w->setFocusPolicy(Qt::NoFocus);
    }
    w->setProperty("cviMode", readOnly ? VAL_INDICATOR : VAL_HOT);
}

bool IsIndicator(const Control& c) {
    if (c.style == CTRL_TEXT_MSG || c.style == CTRL_DECORATION || c.style == CTRL_PICTURE ||
        c.style == CTRL_NUMERIC_BAR)
        return true;
    return c.widget && c.widget->property("cviMode").toInt() == VAL_INDICATOR;
}

}  // namespace platform_detail

// ---------------------------------------------------------------------------------------------------------
// Values

int GetCtrlVal(int panel, int control, int& value) {
    return GetAs(panel, control, value, ToInt);
}
int GetCtrlVal(int panel, int control, unsigned short& value) {
    return GetAs(panel, control, value, ToUShort);
}
int GetCtrlVal(int panel, int control, double& value) {
    return GetAs(panel, control, value, ToDouble);
}

int GetCtrlVal(int panel, int control, std::string& value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    Value v;
    if (int err = ReadValue(*c, v)) return err;
    if (IsRing(c->style) && !IsTextValue(v)) {  // an integer ring answers with the item's label
        value = static_cast<QComboBox*>(c->widget.data())->currentText().toStdString();
        return 0;
    }
    return ToText(v, value);
}

namespace {
ValueWatch g_valueWatch = nullptr;

int Watched(int panel, int control, double value, int result) {
    if (result == 0 && g_valueWatch) g_valueWatch(panel, control, value);
    return result;
}
}  // namespace

void platform_detail::SetValueWatch(ValueWatch watch) {
    g_valueWatch = watch;
}

int SetCtrlVal(int panel, int control, int value) {
    return Watched(panel, control, value, SetAs(panel, control, value));
}
int SetCtrlVal(int panel, int control, unsigned short value) {
    return Watched(panel, control, value, SetAs(panel, control, int(value)));
}
int SetCtrlVal(int panel, int control, double value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (c->dataType != VAL_DOUBLE) return UIEWrongType;  // no silent rounding into an integer control
    return Watched(panel, control, value, WriteValue(*c, value));
}
int SetCtrlVal(int panel, int control, std::string_view value) {
    return SetAs(panel, control, QStr(value));
}

// ---------------------------------------------------------------------------------------------------------
// Attributes

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, int& value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (IsTextAttr(attr) || attr == ATTR_CALLBACK_DATA || attr == ATTR_CALLBACK_FUNCTION_POINTER)
        return UIEWrongType;
    return GetIntAttr(panel, *c, attr, value);
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, double& value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE) return MinMaxGet(*c, attr, value);
    int i = 0;
    if (int err = GetCtrlAttribute(panel, control, attr, i)) return err;
    value = i;
    return 0;
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, std::string& value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (attr == ATTR_LABEL_TEXT) {
        value = LabelText(*c).toStdString();
        return 0;
    }
    if (attr == ATTR_TEXT_FONT) {
        if (!HasText(c->style)) return UIEInvalidAttribute;
        value = FontName(c->widget).toStdString();
        return 0;
    }
    return UIEWrongType;
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, void*& value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (attr != ATTR_CALLBACK_DATA) return UIEWrongType;
    value = c->callbackData;
    return 0;
}

int GetCtrlAttribute(int panel, int control, CtrlAttr attr, CtrlCallbackPtr& value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (attr != ATTR_CALLBACK_FUNCTION_POINTER) return UIEWrongType;
    value = c->callback;
    return 0;
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, int value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (IsTextAttr(attr) || attr == ATTR_CALLBACK_FUNCTION_POINTER) return UIEWrongType;
    return SetIntAttr(panel, *c, attr, value);
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, double value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (attr == ATTR_MIN_VALUE || attr == ATTR_MAX_VALUE) return MinMaxSet(*c, attr, value);
    if (value != std::floor(value) || std::fabs(value) > std::numeric_limits<int>::max()) return UIEWrongType;
    return SetCtrlAttribute(panel, control, attr, static_cast<int>(value));
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, std::string_view value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    QWidget* w = c->widget;
    if (attr == ATTR_LABEL_TEXT) {
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            b->setText(QStr(value));
        else if (c->style == CTRL_TEXT_MSG)
            static_cast<QLabel*>(w)->setText(QStr(value));
        w->setProperty("cviLabel", QStr(value));
        SizeToText(w);
        return 0;
    }
    if (attr == ATTR_TEXT_FONT) {
        if (!HasText(c->style)) return UIEInvalidAttribute;
        SetFontName(w, QStr(value));
        return 0;
    }
    return UIEWrongType;
}

int SetCtrlAttribute(int panel, int control, CtrlAttr attr, void* value) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    if (attr != ATTR_CALLBACK_DATA) return UIEWrongType;
    c->callbackData = value;
    return 0;
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr callback, void* callbackData) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    c->callback = callback;
    c->callbackData = callbackData;
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Controls made at run time

namespace {

// A pop-up ring shows as a button with a drop-down arrow in its middle, whatever its size; a click or a
// space opens its list as any ring's.
class PopupRingButton : public QComboBox {
  public:
    using QComboBox::QComboBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton button;
        button.initFrom(this);
        button.features = QStyleOptionButton::None;
        painter.drawControl(QStyle::CE_PushButtonBevel, button);
        QStyleOption arrow;
        arrow.initFrom(this);
        const int side = std::max(5, std::min(width(), height()) / 3);
        arrow.rect = QRect(0, 0, side, side);
        arrow.rect.moveCenter(rect().center());
        painter.drawPrimitive(QStyle::PE_IndicatorArrowDown, arrow);
    }
};

QWidget* MakeWidget(CtrlStyle style, std::string_view label, QWidget* parent) {
    const QString text = QStr(label);
    switch (style) {
        case CTRL_NUMERIC:
            return CreateNumericWidget(false, parent);
        case CTRL_RING:
            return new QComboBox(parent);
        case CTRL_POPUP_RING: {
            auto* r = new PopupRingButton(parent);
            r->setProperty("ctrlKind", "popupRing");
            r->setProperty("dataType", "string");
            r->resize(20, 20);  // a square drop-down button; the caller sizes it
            return r;
        }
        case CTRL_STRING:
        case CTRL_STRING_LS: {
            auto* e = new QLineEdit(parent);
            if (style == CTRL_STRING_LS) e->setProperty("ctrlKind", "string2");
            return e;
        }
        case CTRL_TEXT_MSG: {
            auto* l = new QLabel(text, parent);
            l->setProperty("cviSizeToText", true);
            return l;
        }
        case CTRL_PICTURE: {
            auto* l = new QLabel(parent);
            l->setProperty("ctrlKind", "picture");
            return l;
        }
        case CTRL_TEXT_BOX:
            return new QPlainTextEdit(parent);
        case CTRL_COMMAND_BUTTON:
            return new QPushButton(text, parent);
        case CTRL_TOGGLE:
            return new QCheckBox(text, parent);
        case CTRL_SLIDER:
            return new QSlider(Qt::Horizontal, parent);
        case CTRL_NUMERIC_BAR:
            return new QProgressBar(parent);
        case CTRL_TABLE:
            return new QTableWidget(parent);
        case CTRL_STRIP_CHART:
            return CreatePlotWidget("StripChart", parent, QString());
        case CTRL_GRAPH:
            return CreatePlotWidget("Graph", parent, QString());
        case CTRL_DECORATION: {
            auto* f = new QFrame(parent);
            f->setFrameShape(QFrame::Box);
            f->resize(40, 40);
            return f;
        }
        default:
            return nullptr;
    }
}

}  // namespace

int NewCtrl(int panel, CtrlStyle style, std::string_view label, int top, int left) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    QWidget* w = MakeWidget(style, label, p->widget);
    if (!w) return UIEInvalidValue;
    const int id = p->controls.empty() ? 1 : p->controls.rbegin()->first + 1;
    w->setObjectName(QString("ctrl%1").arg(id));
    if (style != CTRL_POPUP_RING && style != CTRL_DECORATION && style != CTRL_TEXT_MSG) w->adjustSize();
    w->move(left, top);
    RegisterControl(panel, id, w);
    if (style != CTRL_TEXT_MSG && style != CTRL_COMMAND_BUTTON && style != CTRL_TOGGLE)
        w->setProperty("cviLabel", QStr(label));
    p = GetPanel(panel);
    p->tabOrder.push_back(id);
    ApplyTabOrder(*p);
    w->show();
    return id;
}

int DiscardCtrl(int panel, int control) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    QWidget* w = c->widget;
    Panel* p = GetPanel(panel);
    p->controls.erase(control);
    p->tabOrder.erase(std::remove(p->tabOrder.begin(), p->tabOrder.end(), control), p->tabOrder.end());
    DisposeWidget(w);
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Focus, keys, text boxes, pictures, cursor

namespace {
QPointer<QWidget> g_lastActive;  // where keys go while no window has the input focus (offscreen)
}

int SetActiveCtrl(int panel, int control) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    c->widget->setFocus(Qt::OtherFocusReason);
    g_lastActive = c->widget;
    return 0;
}

int GetActiveCtrl(int panel) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    QWidget* f = QApplication::focusWidget();
    if (!f || !p->widget->isAncestorOf(f)) f = p->widget->focusWidget();
    if (!f && g_lastActive && p->widget->isAncestorOf(g_lastActive)) f = g_lastActive;
    int owner = 0, control = 0;
    return f && ControlOfWidget(f, owner, control) && owner == panel ? control : 0;
}

int FakeKeystroke(int key) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = g_lastActive;
    if (!target) return UIEInvalidControl;
    DeliverKey(target, key);
    return 0;
}

int ResetTextBox(int panel, int control, std::string_view text) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    auto* t = qobject_cast<QPlainTextEdit*>(c->widget);
    if (!t) return UIEWrongType;
    const QSignalBlocker block(t);
    t->setPlainText(QStr(text));
    return 0;
}

int DisplayImageFile(int panel, int control, std::string_view path) {
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
}

int SetWaitCursor(int on) {
    static bool shown = false;
    if (on && !shown) QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!on && shown) QApplication::restoreOverrideCursor();
    shown = on != 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Rings

namespace {

int RingOf(int panel, int control, QComboBox*& r) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    r = qobject_cast<QComboBox*>(c->widget);
    return r ? 0 : UIEWrongType;
}

int InsertItem(int panel, int control, int index, std::string_view label, const QVariant& value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (index < -1 || index > r->count()) return UIEIndexOutOfRange;
    const QSignalBlocker block(r);
    r->insertItem(index == -1 ? r->count() : index, QStr(label), value);
    return 0;
}

int CheckIndex(QComboBox* r, int index) {
    return index >= 0 && index < r->count() ? 0 : UIEIndexOutOfRange;
}

}  // namespace

int InsertListItem(int panel, int control, int index, std::string_view label, int value) {
    return InsertItem(panel, control, index, label, value);
}
int InsertListItem(int panel, int control, int index, std::string_view label, std::string_view value) {
    return InsertItem(panel, control, index, label, QStr(value));
}

int DeleteListItem(int panel, int control, int index, int count) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (int err = CheckIndex(r, index)) return err;
    const int end = count < 0 ? r->count() : std::min(r->count(), index + count);
    const QSignalBlocker block(r);
    for (int i = end - 1; i >= index; --i) r->removeItem(i);
    return 0;
}

int ReplaceListItem(int panel, int control, int index, std::string_view label, std::string_view value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (int err = CheckIndex(r, index)) return err;
    const QSignalBlocker block(r);
    r->setItemText(index, QStr(label));
    r->setItemData(index, QStr(value));
    return 0;
}

int ClearListCtrl(int panel, int control) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    const QSignalBlocker block(r);
    r->clear();
    return 0;
}

int GetNumListItems(int panel, int control, int& count) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    count = r->count();
    return 0;
}

int GetIndexFromValue(int panel, int control, int& index, int value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    index = FindItem(r, value);
    return index < 0 ? UIEItemNotFound : 0;
}

int GetIndexFromValue(int panel, int control, int& index, std::string_view value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    index = FindItem(r, QStr(value));
    return index < 0 ? UIEItemNotFound : 0;
}

int GetValueFromIndex(int panel, int control, int index, int& value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (int err = CheckIndex(r, index)) return err;
    return ToInt(r->itemData(index), value);
}

int GetValueFromIndex(int panel, int control, int index, std::string& value) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (int err = CheckIndex(r, index)) return err;
    return ToText(r->itemData(index), value);
}

int GetValueLengthFromIndex(int panel, int control, int index, int& length) {
    std::string value;
    if (int err = GetValueFromIndex(panel, control, index, value)) return err;
    length = static_cast<int>(value.size());
    return 0;
}

int GetCtrlIndex(int panel, int control, int& index) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    index = r->currentIndex();
    return index < 0 ? UIEIndexOutOfRange : 0;
}

int SetCtrlIndex(int panel, int control, int index) {
    QComboBox* r = nullptr;
    if (int err = RingOf(panel, control, r)) return err;
    if (int err = CheckIndex(r, index)) return err;
    const QSignalBlocker block(r);
    r->setCurrentIndex(index);
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Tables

namespace {

int CellOf(int panel, int control, Point cell, QTableWidget*& t, QTableWidgetItem*& item) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    t = qobject_cast<QTableWidget*>(c->widget);
    if (!t) return UIEWrongType;
    if (cell.x < 1 || cell.x > t->columnCount() || cell.y < 1 || cell.y > t->rowCount())
        return UIEIndexOutOfRange;
    item = t->item(cell.y - 1, cell.x - 1);
    if (!item) {
        item = new QTableWidgetItem;
        item->setData(Qt::DisplayRole, 0);
        const QSignalBlocker block(t);
        t->setItem(cell.y - 1, cell.x - 1, item);
    }
    return 0;
}

template <class T, class Convert>
int GetCell(int panel, int control, Point cell, T& out, Convert convert) {
    QTableWidget* t = nullptr;
    QTableWidgetItem* item = nullptr;
    if (int err = CellOf(panel, control, cell, t, item)) return err;
    return convert(item->data(Qt::DisplayRole), out);
}

int SetCell(int panel, int control, Point cell, const QVariant& v) {
    QTableWidget* t = nullptr;
    QTableWidgetItem* item = nullptr;
    if (int err = CellOf(panel, control, cell, t, item)) return err;
    const QSignalBlocker block(t);
    item->setData(Qt::DisplayRole, v);
    return 0;
}

int HeaderItemOf(int panel, int control, int row, QTableWidgetItem*& item) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    auto* t = qobject_cast<QTableWidget*>(c->widget);
    if (!t) return UIEWrongType;
    if (row < 1 || row > t->rowCount()) return UIEIndexOutOfRange;
    item = t->verticalHeaderItem(row - 1);
    if (!item) {
        item = new QTableWidgetItem(QString::number(row));
        t->setVerticalHeaderItem(row - 1, item);
    }
    return 0;
}

}  // namespace

int GetTableCellVal(int panel, int control, Point cell, unsigned short& value) {
    return GetCell(panel, control, cell, value, ToUShort);
}
int GetTableCellVal(int panel, int control, Point cell, int& value) {
    return GetCell(panel, control, cell, value, ToInt);
}
int GetTableCellVal(int panel, int control, Point cell, double& value) {
    return GetCell(panel, control, cell, value, ToDouble);
}
int GetTableCellVal(int panel, int control, Point cell, std::string& value) {
    return GetCell(panel, control, cell, value, ToText);
}
int SetTableCellVal(int panel, int control, Point cell, unsigned short value) {
    return SetCell(panel, control, cell, int(value));
}
int SetTableCellVal(int panel, int control, Point cell, int value) {
    return SetCell(panel, control, cell, value);
}
int SetTableCellVal(int panel, int control, Point cell, double value) {
    return SetCell(panel, control, cell, value);
}
int SetTableCellVal(int panel, int control, Point cell, std::string_view value) {
    return SetCell(panel, control, cell, QStr(value));
}

int GetActiveTableCell(int panel, int control, Point& cell) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    auto* t = qobject_cast<QTableWidget*>(c->widget);
    if (!t) return UIEWrongType;
    cell = {std::max(t->currentColumn(), 0) + 1, std::max(t->currentRow(), 0) + 1};
    return 0;
}

int SetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int value) {
    QTableWidgetItem* item = nullptr;
    if (int err = HeaderItemOf(panel, control, row, item)) return err;
    if (attr == ATTR_LABEL_COLOR)
        item->setForeground(ToQColor(value));
    else if (attr == ATTR_LABEL_BGCOLOR)
        item->setBackground(ToQColor(value));
    else
        return UIEInvalidAttribute;
    return 0;
}

int GetTableRowAttribute(int panel, int control, int row, TableRowAttr attr, int& value) {
    QTableWidgetItem* item = nullptr;
    if (int err = HeaderItemOf(panel, control, row, item)) return err;
    QWidget* t = FindCtrl(panel, control);
    if (attr == ATTR_LABEL_COLOR) {
        const QBrush b = item->foreground();
        value = FromQColor(b.style() != Qt::NoBrush ? b.color() : t->palette().color(QPalette::ButtonText));
    } else if (attr == ATTR_LABEL_BGCOLOR) {
        const QBrush b = item->background();
        value = FromQColor(b.style() != Qt::NoBrush ? b.color() : t->palette().color(QPalette::Button));
    } else {
        return UIEInvalidAttribute;
    }
    return 0;
}

namespace platform_detail {

QColor ToQColor(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
int FromQColor(const QColor& c) {
    return (c.red() << 16) | (c.green() << 8) | c.blue();
}

}  // namespace platform_detail
