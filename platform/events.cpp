// Start-up, the event pump and the delivery of user input to the programs' callbacks.
//
// Events raised per control kind (user input only; SetCtrlVal and other program calls raise nothing):
//  every control     left press -> LEFT_CLICK, right press -> RIGHT_CLICK, left double click ->
//                    LEFT_DOUBLE_CLICK, focus in -> GOT_FOCUS, focus out -> LOST_FOCUS, key press -> KEYPRESS
//                    (a non-zero callback result swallows the key)
//  command button    click -> COMMIT (after the LEFT_CLICK of the press)
//  toggle            click -> VAL_CHANGED, COMMIT
//  text field        each edit -> VAL_CHANGED; Enter -> COMMIT; focus out after an edit -> COMMIT
//  numeric           each edit -> VAL_CHANGED; Enter -> COMMIT; focus out after an edit -> COMMIT;
//                    arrow step -> VAL_CHANGED, COMMIT
//  ring              choice from the list -> VAL_CHANGED, COMMIT
//  slider            dragging -> VAL_CHANGED per move, release -> COMMIT; key or page step -> VAL_CHANGED,
//                    COMMIT
//  table             cell edit -> VAL_CHANGED, COMMIT, both with eventData1 = row, eventData2 = column
//  text box          each edit -> VAL_CHANGED
//  panel             window close -> CLOSE to the panel callback (control 0); the window stays open
#include <QAbstractEventDispatcher>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QThread>
#include <QTimer>
#include <memory>
#include <vector>

#include "registry.h"

namespace platform_detail {
namespace {

int g_depth = 0;
PumpHook g_pumpHook = nullptr;
std::vector<QEventLoop*> g_loops;  // running RunUserInterface loops, innermost last
bool g_quitPending = false;
bool g_keySwallowed = false;
int g_quitCode = 0;

int Deliver(CtrlCallbackPtr cb, int panel, int control, int event, void* data, int d1, int d2) {
    if (!cb) return 0;
    CallbackScope scope;
    return cb(panel, control, event, data, d1, d2);
}

bool IsLeftOrRight(const QMouseEvent* e) {
    return e->button() == Qt::LeftButton || e->button() == Qt::RightButton;
}

// One filter for every control widget and its inner widgets: mouse, focus and keys.
class ControlFilter : public QObject {
  public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        switch (e->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonDblClick:
                return Mouse(obj, static_cast<QMouseEvent*>(e));
            case QEvent::MouseButtonRelease:
                return BlockedInput(obj);
            case QEvent::Wheel:
                return BlockedInput(obj);
            case QEvent::KeyPress:
                return Key(obj, static_cast<QKeyEvent*>(e));
            case QEvent::KeyRelease:
                return BlockedInput(obj);
            case QEvent::FocusIn:
            case QEvent::FocusOut:
                // A ring's open list takes the focus for a moment; the control keeps it for the program.
                if (static_cast<QFocusEvent*>(e)->reason() != Qt::PopupFocusReason &&
                    !QApplication::activePopupWidget())
                    Focus(obj, e->type() == QEvent::FocusIn);
                return false;
            default:
                return false;
        }
    }

  private:
    // The control whose own event this is; nullptr when the event merely passes through on its way up
    // from an inner widget that already reported it.
    static Control* Target(QObject* obj, int& panel, int& control) {
        if (!ControlOfWidget(obj, panel, control)) return nullptr;
        Control* c = GetControl(panel, control);
        return c && c->widget->isEnabled() ? c : nullptr;
    }

    // Indicators without a read-only mode of their own (buttons, rings, switches, sliders) ignore input.
    static bool Inert(const Control& c) {
        return IsIndicator(c) && !qobject_cast<QLineEdit*>(c.widget) &&
               !qobject_cast<QAbstractSpinBox*>(c.widget) && !qobject_cast<QPlainTextEdit*>(c.widget);
    }

    static bool BlockedInput(QObject* obj) {
        int panel, control;
        Control* c = Target(obj, panel, control);
        return c && Inert(*c);
    }

    static bool Mouse(QObject* obj, QMouseEvent* e) {
        int panel, control;
        Control* c = Target(obj, panel, control);
        if (!c || !IsLeftOrRight(e)) return false;
        // Mouse events climb from the inner widget under the pointer to its parents; report them once.
        auto* w = static_cast<QWidget*>(obj);
        if (QWidget* inner = w->childAt(e->position().toPoint());
            inner && inner->property("cviInner").toBool())
            return false;
        const bool inert = Inert(*c);
        int event = EVENT_NONE;
        if (e->button() == Qt::RightButton)
            event = e->type() == QEvent::MouseButtonPress ? EVENT_RIGHT_CLICK : EVENT_NONE;
        else
            event = e->type() == QEvent::MouseButtonPress ? EVENT_LEFT_CLICK : EVENT_LEFT_DOUBLE_CLICK;
        if (event != EVENT_NONE) DispatchCtrlEvent(panel, control, event, 0, 0);
        return inert || (e->button() == Qt::RightButton && !GetControl(panel, control));
    }

    static bool Key(QObject* obj, QKeyEvent* e) {
        int panel, control;
        Control* c = Target(obj, panel, control);
        if (!c || obj != c->widget) return false;  // keys reach the control's own widget first
        const bool inert = Inert(*c);
        const int code = KeyCodeFromEvent(e->key(), e->modifiers(), e->text());
        if (code == 0) return inert;
        const bool swallowed = DispatchCtrlEvent(panel, control, EVENT_KEYPRESS, code, 0) != 0;
        g_keySwallowed = swallowed;
        return swallowed || inert;
    }

    static void Focus(QObject* obj, bool in) {
        int panel, control;
        Control* c = Target(obj, panel, control);
        if (!c || obj != c->widget) return;
        // Leaving an edited field commits it before it reports the focus gone.
        if (!in && c->widget->property("cviDirty").toBool()) CommitUserEdit(panel, control);
        if (GetControl(panel, control))
            DispatchCtrlEvent(panel, control, in ? EVENT_GOT_FOCUS : EVENT_LOST_FOCUS, 0, 0);
    }
};

// Panels: the close box asks the program instead of closing the window.
class PanelFilter : public QObject {
  public:
    bool eventFilter(QObject* obj, QEvent* e) override {
        const int panel = obj->property("cviPanelHandle").toInt();
        if (e->type() == QEvent::Close) {
            e->ignore();
            DispatchPanelEvent(panel, EVENT_CLOSE, 0, 0);
            return true;
        }
        // A dialog-based panel would hide itself on Escape.
        if (e->type() == QEvent::KeyPress && qobject_cast<QDialog*>(obj) &&
            static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape)
            return true;
        return false;
    }
};

ControlFilter* Filter() {
    static ControlFilter* f = new ControlFilter;
    return f;
}

// Numeric boxes that tell an arrow step and Enter apart from typing.
template <class Base>
class NumericBox : public Base {
  public:
    explicit NumericBox(QWidget* parent) : Base(parent) {}
    void stepBy(int steps) override {
        const auto before = Base::value();
        Base::stepBy(steps);
        if (Base::value() != before) Commit();
    }

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return Base::keyPressEvent(e);
        // Enter re-reads the text and reports the value again even when it did not change.
        const auto before = Base::value();
        {
            const QSignalBlocker block(this);
            Base::keyPressEvent(e);
        }
        int panel, control;
        if (Base::value() != before && ControlOfWidget(this, panel, control))
            DispatchCtrlEvent(panel, control, EVENT_VAL_CHANGED, 0, 0);
        Commit();
    }
    void focusOutEvent(QFocusEvent* e) override {
        Base::focusOutEvent(e);
        if (Base::property("cviDirty").toBool()) Commit();
    }

  private:
    void Commit() {
        int panel, control;
        if (ControlOfWidget(this, panel, control)) CommitUserEdit(panel, control);
    }
};

void MarkInner(QWidget* w) {
    for (QWidget* child : w->findChildren<QWidget*>()) {
        child->setProperty("cviInner", true);
        child->installEventFilter(Filter());
    }
}

void HookSignals(int panel, int control, QWidget* w) {
    auto raise = [panel, control](int event, int d1 = 0, int d2 = 0) {
        DispatchCtrlEvent(panel, control, event, d1, d2);
    };
    if (auto* b = qobject_cast<QCheckBox*>(w)) {
        QObject::connect(b, &QCheckBox::clicked, b, [raise] {
            raise(EVENT_VAL_CHANGED);
            raise(EVENT_COMMIT);
        });
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        QObject::connect(b, &QAbstractButton::clicked, b, [raise] { raise(EVENT_COMMIT); });
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        QObject::connect(e, &QLineEdit::textEdited, e, [e, raise] {
            e->setProperty("cviDirty", true);
            raise(EVENT_VAL_CHANGED);
        });
        QObject::connect(e, &QLineEdit::returnPressed, e, [e, raise] {
            e->setProperty("cviDirty", false);
            raise(EVENT_COMMIT);
        });
        QObject::connect(e, &QLineEdit::editingFinished, e, [e, raise] {
            if (!e->property("cviDirty").toBool()) return;
            e->setProperty("cviDirty", false);
            raise(EVENT_COMMIT);
        });
    } else if (auto* s = qobject_cast<QSpinBox*>(w)) {
        QObject::connect(s, &QSpinBox::valueChanged, s, [s, raise] {
            s->setProperty("cviDirty", true);
            raise(EVENT_VAL_CHANGED);
        });
    } else if (auto* s = qobject_cast<QDoubleSpinBox*>(w)) {
        QObject::connect(s, &QDoubleSpinBox::valueChanged, s, [s, raise] {
            s->setProperty("cviDirty", true);
            raise(EVENT_VAL_CHANGED);
        });
    } else if (auto* r = qobject_cast<QComboBox*>(w)) {
        QObject::connect(r, &QComboBox::activated, r, [raise] {
            raise(EVENT_VAL_CHANGED);
            raise(EVENT_COMMIT);
        });
    } else if (auto* s = qobject_cast<QSlider*>(w)) {
        QObject::connect(s, &QSlider::valueChanged, s, [s, raise] {
            raise(EVENT_VAL_CHANGED);
            if (!s->isSliderDown()) raise(EVENT_COMMIT);
        });
        QObject::connect(s, &QSlider::sliderReleased, s, [raise] { raise(EVENT_COMMIT); });
    } else if (auto* t = qobject_cast<QTableWidget*>(w)) {
        QObject::connect(t, &QTableWidget::itemChanged, t, [raise](QTableWidgetItem* item) {
            const int row = item->row() + 1, column = item->column() + 1;
            raise(EVENT_VAL_CHANGED, row, column);
            raise(EVENT_COMMIT, row, column);
        });
    } else if (auto* t = qobject_cast<QPlainTextEdit*>(w)) {
        // textChanged also fires for program changes, which happen with signals blocked.
        QObject::connect(t, &QPlainTextEdit::textChanged, t, [raise] { raise(EVENT_VAL_CHANGED); });
    }
}

}  // namespace

int CallbackDepth() {
    return g_depth;
}
CallbackScope::CallbackScope() {
    ++g_depth;
}
CallbackScope::~CallbackScope() {
    --g_depth;
}

int DispatchCtrlEvent(int panel, int control, int event, int eventData1, int eventData2) {
    Control* c = GetControl(panel, control);
    if (!c) return 0;
    return Deliver(c->callback, panel, control, event, c->callbackData, eventData1, eventData2);
}

int DispatchPanelEvent(int panel, int event, int eventData1, int eventData2) {
    Panel* p = GetPanel(panel);
    if (!p) return 0;
    return Deliver(p->callback, panel, 0, event, nullptr, eventData1, eventData2);
}

void SetPumpHook(PumpHook hook) {
    g_pumpHook = hook;
}

void CommitUserEdit(int panel, int control) {
    if (QWidget* w = FindCtrl(panel, control)) w->setProperty("cviDirty", false);
    DispatchCtrlEvent(panel, control, EVENT_COMMIT, 0, 0);
}

int DeliverKey(QWidget* target, int code) {
    int qtKey = 0, mods = 0;
    QString text;
    KeyEventFromCode(code, qtKey, mods, text);
    // Shortcut keys of buttons (F9 on a Send button) act in the whole window, before the focus widget.
    const QKeySequence sequence{QKeyCombination(Qt::KeyboardModifiers(mods), Qt::Key(qtKey))};
    for (QAbstractButton* b : target->window()->findChildren<QAbstractButton*>()) {
        if (!b->shortcut().isEmpty() && b->shortcut() == sequence && b->isEnabled() &&
            b->isVisibleTo(target->window())) {
            b->click();
            return 0;
        }
    }
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::KeyboardModifiers(mods), text);
    QPointer<QWidget> guard = target;
    g_keySwallowed = false;
    QCoreApplication::sendEvent(target, &press);
    const bool swallowed = g_keySwallowed;
    g_keySwallowed = false;
    if (guard) {
        QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::KeyboardModifiers(mods), text);
        QCoreApplication::sendEvent(target, &release);
    }
    return swallowed ? 1 : 0;
}

QWidget* CreateNumericWidget(bool isDouble, QWidget* parent) {
    if (isDouble) return new NumericBox<QDoubleSpinBox>(parent);
    return new NumericBox<QSpinBox>(parent);
}

QWidget* CreateStockWidget(const QString& className, QWidget* parent) {
    if (className == QLatin1String("QSpinBox")) return CreateNumericWidget(false, parent);
    if (className == QLatin1String("QDoubleSpinBox")) return CreateNumericWidget(true, parent);
    return nullptr;
}

void HookControlEvents(int panel, int control, QWidget* w, CtrlStyle style) {
    (void)style;
    w->installEventFilter(Filter());
    MarkInner(w);
    HookSignals(panel, control, w);
}

void HookPanelEvents(int panel, QWidget* w) {
    static PanelFilter* filter = new PanelFilter;
    w->setProperty("cviPanelHandle", panel);
    w->installEventFilter(filter);
}

int KeyCodeFromEvent(int qtKey, int qtModifiers, const QString& text) {
    int mods = 0;
    if (qtModifiers & Qt::ShiftModifier) mods |= VAL_SHIFT_MODIFIER;
    if (qtModifiers & Qt::ControlModifier) mods |= VAL_MENUKEY_MODIFIER;
    switch (qtKey) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VAL_TAB_VKEY | mods;
        case Qt::Key_Backspace:
            return VAL_BACKSPACE_VKEY | mods;
        case Qt::Key_Delete:
            return VAL_FWD_DELETE_VKEY | mods;
        case Qt::Key_Up:
            return VAL_UP_ARROW_VKEY | mods;
        case Qt::Key_Down:
            return VAL_DOWN_ARROW_VKEY | mods;
        case Qt::Key_Left:
            return VAL_LEFT_ARROW_VKEY | mods;
        case Qt::Key_Right:
            return VAL_RIGHT_ARROW_VKEY | mods;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VAL_ENTER_VKEY | mods;
        case Qt::Key_Escape:
            return VAL_ESC_VKEY | mods;
        case Qt::Key_Home:
            return VAL_HOME_VKEY | mods;
        case Qt::Key_End:
            return VAL_END_VKEY | mods;
        default:
            break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return (VAL_F1_VKEY + 0x100 * (qtKey - Qt::Key_F1)) | mods;
    if ((qtModifiers & Qt::ControlModifier) && qtKey >= 0x20 && qtKey < 0x7F) return qtKey | mods;
    if (!text.isEmpty() && text[0].unicode() >= 0x20 && text[0].unicode() < 0x100) {
        // The character already tells upper or lower case; Shift stays as a modifier like the platform did.
        return text[0].unicode() | mods;
    }
    return 0;
}

void KeyEventFromCode(int code, int& qtKey, int& qtModifiers, QString& text) {
    qtModifiers = Qt::NoModifier;
    if (code & VAL_SHIFT_MODIFIER) qtModifiers |= Qt::ShiftModifier;
    if (code & VAL_MENUKEY_MODIFIER) qtModifiers |= Qt::ControlModifier;
    text.clear();
    switch (code & VAL_VKEY_MASK) {
        case 0: {
            const int c = code & VAL_ASCII_KEY_MASK;
            qtKey = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
            if (!(qtModifiers & Qt::ControlModifier)) text = QString(QChar(c));
            return;
        }
        case VAL_TAB_VKEY:
            qtKey = (qtModifiers & Qt::ShiftModifier) ? Qt::Key_Backtab : Qt::Key_Tab;
            return;
        case VAL_BACKSPACE_VKEY:
            qtKey = Qt::Key_Backspace;
            return;
        case VAL_FWD_DELETE_VKEY:
            qtKey = Qt::Key_Delete;
            return;
        case VAL_UP_ARROW_VKEY:
            qtKey = Qt::Key_Up;
            return;
        case VAL_DOWN_ARROW_VKEY:
            qtKey = Qt::Key_Down;
            return;
        case VAL_LEFT_ARROW_VKEY:
            qtKey = Qt::Key_Left;
            return;
        case VAL_RIGHT_ARROW_VKEY:
            qtKey = Qt::Key_Right;
            return;
        case VAL_ENTER_VKEY:
            qtKey = Qt::Key_Return;
            text = "\r";
            return;
        case VAL_ESC_VKEY:
            qtKey = Qt::Key_Escape;
            return;
        case VAL_HOME_VKEY:
            qtKey = Qt::Key_Home;
            return;
        case VAL_END_VKEY:
            qtKey = Qt::Key_End;
            return;
        default:
            break;
    }
    const int f = ((code & VAL_VKEY_MASK) - VAL_F1_VKEY) / 0x100;
    qtKey = (f >= 0 && f < 12) ? Qt::Key_F1 + f : Qt::Key_unknown;
}

}  // namespace platform_detail

using namespace platform_detail;

int InitCVIRTE(int argc, char** argv) {
    // The application object lives until the process ends. It is never destroyed: at exit Qt's own global
    // objects go first, and destroying the application after them crashes.
    static int s_argc = 0;
    static QApplication* s_app = nullptr;
    if (s_app) return 0;
    if (QCoreApplication::instance()) return -1;  // someone else's application object
    s_argc = argc;
    s_app = new QApplication(s_argc, argv);
    // Hiding the last shown panel must not end the program; the program decides when to quit.
    QApplication::setQuitOnLastWindowClosed(false);
    return 0;
}

int RunUserInterface() {
    if (g_quitPending) {
        g_quitPending = false;
        return g_quitCode;
    }
    QEventLoop loop;
    g_loops.push_back(&loop);
    const int code = loop.exec();
    g_loops.pop_back();
    g_quitPending = false;
    return code;
}

int QuitUserInterface(int code) {
    g_quitCode = code;
    // Called before the loop runs (a close during start-up), the loop returns at once.
    if (g_loops.empty())
        g_quitPending = true;
    else
        g_loops.back()->exit(code);
    return 0;
}

int ProcessSystemEvents() {
    static bool inHook = false;
    if (g_pumpHook && !inHook) {
        inHook = true;
        g_pumpHook();
        inHook = false;
    }
    QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance();
    if (!d) return 0;
    if (!d->processEvents(QEventLoop::AllEvents)) {
        // Nothing was pending: wait for the next event, but no longer than a millisecond.
        QTimer limit;
        limit.setSingleShot(true);
        limit.setTimerType(Qt::PreciseTimer);
        limit.start(1);
        d->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return 0;
}

int PostDeferredCallToThread(DeferredCallbackPtr fn, void* data) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!fn || !app) return -1;
    QMetaObject::invokeMethod(
        app,
        [fn, data] {
            CallbackScope scope;
            fn(data);
        },
        Qt::QueuedConnection);
    return 0;
}
