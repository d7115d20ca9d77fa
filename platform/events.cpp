// Start-up, the event pump and the delivery of user input to the programs' callbacks.
//
// Every control raises (user input only; SetCtrlVal and other program calls raise nothing): left press ->
// LEFT_CLICK, right press -> RIGHT_CLICK, left double click -> LEFT_DOUBLE_CLICK, focus in -> GOT_FOCUS,
// focus out -> LOST_FOCUS (after COMMIT when an edited field is left), key press -> KEYPRESS (a non-zero
// callback result swallows the key). What a kind raises besides comes from its adapter's Hook (kinds/).
// A panel's window close raises CLOSE to the panel callback (control 0); the window stays open. Clicks on
// the panel itself (not on a control) raise LEFT_CLICK, RIGHT_CLICK and LEFT_DOUBLE_CLICK to it. A double
// click on an indicator selects nothing in it, and no control opens a context menu of its own.
#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QEventLoop>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcutEvent>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <vector>

#include "registry.h"

namespace platform_detail {
namespace {

int g_depth = 0;
int g_operationDepth = 0;  // operations running, counted from the innermost program callback
ErrorWatch g_errorWatch = nullptr;
PumpHook g_pumpHook = nullptr;
PumpHookPending g_pumpHookPending = nullptr;
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

// The event a left or right press or a left double click raises; EVENT_NONE for the rest.
int MouseEventCode(const QMouseEvent* e) {
    if (e->button() == Qt::RightButton)
        return e->type() == QEvent::MouseButtonPress ? EVENT_RIGHT_CLICK : EVENT_NONE;
    return e->type() == QEvent::MouseButtonPress ? EVENT_LEFT_CLICK : EVENT_LEFT_DOUBLE_CLICK;
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
            case QEvent::Shortcut:
                return Shortcut(obj, static_cast<QShortcutEvent*>(e));
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
    // The enabled control that the event is for.
    static Control* Target(QObject* obj) {
        Control* c = ControlOfWidget(obj);
        return c && c->widget->isEnabled() ? c : nullptr;
    }

    // Indicators without a read-only mode of their own (buttons, rings, switches, sliders) ignore input.
    static bool Inert(const Control& c) { return IsIndicator(c) && !c.readOnlyMode; }

    static bool IsInner(const Control& c, const QWidget* w) {
        return std::find(c.inner.begin(), c.inner.end(), w) != c.inner.end();
    }

    static bool BlockedInput(QObject* obj) {
        Control* c = Target(obj);
        return c && Inert(*c);
    }

    static bool Mouse(QObject* obj, QMouseEvent* e) {
        Control* c = Target(obj);
        if (!c || !IsLeftOrRight(e)) return false;
        // Mouse events climb from the inner widget under the pointer to its parents; report them once.
        auto* w = static_cast<QWidget*>(obj);
        if (QWidget* inner = w->childAt(e->position().toPoint()); inner && IsInner(*c, inner)) return false;
        const int panel = c->panel, control = c->id;
        const bool inert = Inert(*c);
        // A double click on a display reports itself and selects nothing in it.
        const bool keep = inert || (e->type() == QEvent::MouseButtonDblClick && IsIndicator(*c));
        const int event = MouseEventCode(e);
        if (event != EVENT_NONE) DispatchCtrlEvent(panel, control, event, 0, 0);
        return keep || (e->button() == Qt::RightButton && !GetControl(panel, control));
    }

    static bool Key(QObject* obj, QKeyEvent* e) {
        Control* c = Target(obj);
        if (!c || obj != c->widget) return false;  // keys reach the control's own widget first
        const bool inert = Inert(*c);
        const int code = KeyCodeFromEvent(e->key(), e->modifiers(), e->text());
        if (code == 0) return inert;
        const bool swallowed = DispatchCtrlEvent(c->panel, c->id, EVENT_KEYPRESS, code, 0) != 0;
        g_keySwallowed = swallowed;
        if (!swallowed && !inert && (code & VAL_VKEY_MASK) == VAL_ENTER_VKEY) return PressButton(obj);
        return swallowed || inert;
    }

    // Return or Enter on a command button with the focus presses it, as Space does.
    static bool PressButton(QObject* obj) {
        auto* b = qobject_cast<QPushButton*>(obj);
        if (!b || !b->isEnabled()) return false;
        b->click();
        return true;
    }

    // A button's shortcut key pressed in its window (Qt finds the button only while it is shown and not
    // dimmed): the button is pressed at once, as DeliverKey presses it.
    static bool Shortcut(QObject* obj, QShortcutEvent* e) {
        auto* b = qobject_cast<QAbstractButton*>(obj);
        if (!b || e->isAmbiguous() || !ControlOfWidget(b)) return false;
        b->click();
        return true;
    }

    static void Focus(QObject* obj, bool in) {
        Control* c = Target(obj);
        if (!c || obj != c->widget) return;
        const int panel = c->panel, control = c->id;
        // Leaving an edited field commits it before it reports the focus gone.
        if (!in && c->dirty) CommitUserEdit(panel, control);
        if (GetControl(panel, control))
            DispatchCtrlEvent(panel, control, in ? EVENT_GOT_FOCUS : EVENT_LOST_FOCUS, 0, 0);
    }
};

// A panel: the close box asks the program instead of closing the window; a click on the panel itself,
// not on one of its controls, goes to the panel's callback.
class PanelFilter : public QObject {
  public:
    PanelFilter(int panel, QObject* owner) : QObject(owner), panel_(panel) {}
    bool eventFilter(QObject* obj, QEvent* e) override {
        if ((e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) &&
            obj->isWidgetType())
            return Mouse(static_cast<QWidget*>(obj), static_cast<QMouseEvent*>(e));
        if (e->type() == QEvent::Close) {
            e->ignore();
            DispatchPanelEvent(panel_, EVENT_CLOSE, 0, 0);
            return true;
        }
        if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape &&
            obj->isWidgetType())
            return Escape(static_cast<QWidget*>(obj));
        return false;
    }

  private:
    // Escape that no control took climbs from the focus to the panels around it: the innermost panel that
    // closes on Escape gets CLOSE, as from its close box. The rest never close on Escape (a dialog-based
    // panel would hide itself).
    bool Escape(QWidget* w) {
        Panel* p = GetPanel(panel_);
        if (!p || w != p->widget) return false;  // a panel being discarded, or not yet at the panel
        if (!p->closeOnEscape) return qobject_cast<QDialog*>(w) != nullptr;
        DispatchPanelEvent(panel_, EVENT_CLOSE, 0, 0);
        return true;
    }

    // A press that a control (or a child panel's control) did not take climbs to the panel: it is the
    // panel's own when no control lies under the pointer.
    bool Mouse(QWidget* w, QMouseEvent* e) {
        if (!IsLeftOrRight(e) || !w->isEnabled()) return false;
        for (QWidget* hit = w->childAt(e->position().toPoint()); hit && hit != w; hit = hit->parentWidget())
            if (ControlOfWidget(hit)) return false;
        const int event = MouseEventCode(e);
        if (event != EVENT_NONE) DispatchPanelEvent(panel_, event, 0, 0);
        return true;
    }

    int panel_;
};

ControlFilter* Filter() {
    static ControlFilter* f = new ControlFilter;
    return f;
}

}  // namespace

int CallbackDepth() {
    return g_depth;
}
CallbackScope::CallbackScope() : savedOperationDepth_(g_operationDepth) {
    ++g_depth;
    g_operationDepth = 0;
}
CallbackScope::~CallbackScope() {
    --g_depth;
    g_operationDepth = savedOperationDepth_;
}

OperationScope::OperationScope() {
    ++g_operationDepth;
}
OperationScope::~OperationScope() {
    --g_operationDepth;
}
void OperationScope::Report(const char* operation, int result) const {
    if (g_operationDepth == 1 && g_errorWatch) g_errorWatch(operation, result);
}
void SetErrorWatch(ErrorWatch watch) {
    g_errorWatch = watch;
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

void SetPumpHook(PumpHook hook, PumpHookPending pending) {
    g_pumpHook = hook;
    g_pumpHookPending = pending;
}

void CommitUserEdit(int panel, int control) {
    MarkDirty(panel, control, false);
    DispatchCtrlEvent(panel, control, EVENT_COMMIT, 0, 0);
}

void Raise(int panel, int control, int event, int eventData1, int eventData2) {
    DispatchCtrlEvent(panel, control, event, eventData1, eventData2);
}

void MarkDirty(int panel, int control, bool dirty) {
    if (Control* c = GetControl(panel, control)) c->dirty = dirty;
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

void HookControlEvents(Control& c) {
    c.widget->installEventFilter(Filter());
    c.inner.clear();
    for (QWidget* child : c.widget->findChildren<QWidget*>()) {
        c.inner.emplace_back(child);
        child->installEventFilter(Filter());
        child->setContextMenuPolicy(Qt::PreventContextMenu);  // the inner field's menu too
    }
}

void HookPanelEvents(int panel, QWidget* w) {
    w->installEventFilter(new PanelFilter(panel, w));
}

}  // namespace platform_detail

using namespace platform_detail;

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

bool platform_detail::PumpEvents(int maxWaitMs) {
    static bool inHook = false;
    if (g_pumpHook && !inHook) {
        inHook = true;
        g_pumpHook();
        inHook = false;
    }
    ServeTermination();
    return io::RunPendingEvents(maxWaitMs);
}

namespace {
std::uint64_t g_linkActivityAtLastPass = ~std::uint64_t{0};
bool g_lastPassIdle = false;  // the last pass found nothing to run
}  // namespace

// Runs what is pending. A loop that does nothing but pass the events while time goes by (the last pass ran
// nothing and no bytes went over a link since) yields the processor for up to 1 ms per pass; a pass between
// two exchanges with the sensor never waits, so a series of frames is not slowed down by 1 ms per frame.
int ProcessSystemEvents() {
    const std::uint64_t activity = io::LinkActivity();
    const bool idling = g_lastPassIdle && activity == g_linkActivityAtLastPass;
    g_linkActivityAtLastPass = activity;
    g_lastPassIdle = !PumpEvents(idling ? 1 : 0);
    return 0;
}

// A pass whose pump hook has work (a test's queued action) is an ordinary pass: it does not sleep for long,
// and the passes such a test counts take as long as ever.
int ProcessSystemEventsWaiting(int maxWaitMs) {
    if (g_pumpHookPending && g_pumpHookPending()) return ProcessSystemEvents();
    g_linkActivityAtLastPass = io::LinkActivity();
    g_lastPassIdle = !PumpEvents(maxWaitMs);
    return 0;
}

void ProcessSystemEventsUntil(double end, const std::function<bool()>& keepOn) {
    io::PassEventsUntil(
        end, [](int maxWaitMs) { ProcessSystemEventsWaiting(maxWaitMs); }, keepOn);
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
