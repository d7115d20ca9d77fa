// Test harness: a person's actions through the widgets' own input paths, scripted pop-up answers and
// actions run inside busy waits.
#include "harness.h"

#include <QApplication>
#include <QCloseEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>
#include <deque>
#include <utility>

#include "kinds.h"

using namespace platform_detail;

namespace uitest {
namespace {

struct Expectation {
    bool file;  // ExpectFileSelect rather than ExpectPopup
    std::string title, text;
    int answer;
    std::string path;
};

struct BusyAction {
    std::function<void()> action;
    int skip;
};

std::deque<Expectation> g_expected;
std::vector<Popup> g_popups, g_unexpected;
std::deque<BusyAction> g_busyActions;

// Counts the paint events of the widgets in one window.
class PaintCounter : public QObject {
  public:
    QPointer<QWidget> window;
    int paints = 0;
    bool eventFilter(QObject* obj, QEvent* e) override {
        if (e->type() == QEvent::Paint && window && obj->isWidgetType() &&
            static_cast<QWidget*>(obj)->window() == window)
            ++paints;
        return false;
    }
};
PaintCounter* g_paintCounter = nullptr;

std::vector<PlatformError> g_platformErrors;
std::vector<AllowPlatformErrors*> g_allowances;  // innermost last

void RecordPlatformError(const char* operation, int result) {
    for (auto it = g_allowances.rbegin(); it != g_allowances.rend(); ++it)
        if ((*it)->Takes(operation, result)) return;
    g_platformErrors.push_back({operation, result});
}

// The control whose written values are recorded, and the record.
int g_watchPanel = 0, g_watchControl = 0;
std::vector<double> g_watched;

void RecordValue(int panel, int control, double value) {
    if (panel == g_watchPanel && control == g_watchControl) g_watched.push_back(value);
}

Popup ToPopup(const PopupRequest& r) {
    Popup p;
    p.kind = static_cast<Popup::Kind>(r.kind);
    p.title = r.title;
    p.text = r.text;
    p.directory = r.directory;
    p.filter = r.filter;
    p.buttonLabel = r.buttonLabel;
    p.restrictDirectory = r.restrictDirectory;
    p.restrictExtension = r.restrictExtension;
    p.allowCancel = r.allowCancel;
    p.allowMakeDirectory = r.allowMakeDirectory;
    return p;
}

bool Matches(const Expectation& e, const Popup& p) {
    if (p.kind == Popup::FileSelect) return e.file;
    return !e.file && e.title == p.title && e.text == p.text;
}

PopupAnswer Respond(const PopupRequest& r) {
    const Popup p = ToPopup(r);
    g_popups.push_back(p);
    if (g_expected.empty() || !Matches(g_expected.front(), p)) {
        g_unexpected.push_back(p);
        return {0, {}};
    }
    const Expectation e = g_expected.front();
    g_expected.pop_front();
    return {e.answer, e.path};
}

// One queued action per pass of the event pump, and only inside a callback (a busy wait).
void PumpHook() {
    if (CallbackDepth() == 0 || g_busyActions.empty()) return;
    if (g_busyActions.front().skip > 0) {
        --g_busyActions.front().skip;
        return;
    }
    const std::function<void()> action = std::move(g_busyActions.front().action);
    g_busyActions.pop_front();
    action();
}

// The control a person can act on: it exists, is not dimmed and is not hidden itself.
int Usable(int panel, int control, Control*& c) {
    if (!GetPanel(panel)) return UIEInvalidPanel;
    c = GetControl(panel, control);
    if (!c) return UIEInvalidControl;
    if (!c->widget->isEnabled() || c->widget->isHidden()) return UIEInvalidControl;
    return 0;
}

// Sends a mouse event where a real one would go: to the innermost widget under the point.
void SendMouse(QWidget* w, QPoint at, QEvent::Type type, Qt::MouseButton button) {
    QWidget* target = w->childAt(at);
    if (!target) target = w;
    const QPoint local = target->mapFrom(w, at);
    const QPoint global = target->mapToGlobal(local);
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

// Focus events only flow in the active window; activating a shown window takes a pass of the event loop.
void GiveFocus(QWidget* w) {
    QWidget* window = w->window();
    if (window->isVisible() && !window->isActiveWindow()) {
        window->activateWindow();
        QCoreApplication::processEvents();
    }
    w->setFocus(Qt::MouseFocusReason);
}

// A left press focuses what takes the focus on a click, as a real one does.
void FocusOnClick(QWidget* w) {
    if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) GiveFocus(w);
}

}  // namespace

void Install(std::string_view projectDir) {
    SetPopupResponder(Respond);
    SetPumpHook(PumpHook);
    SetValueWatch(RecordValue);
    SetErrorWatch(RecordPlatformError);
    SetProjectDirOverride(std::string(projectDir));
}

void Reset() {
    g_expected.clear();
    g_popups.clear();
    g_unexpected.clear();
    g_busyActions.clear();
    g_watchPanel = g_watchControl = 0;
    g_watched.clear();
    g_platformErrors.clear();
    SetRefusedComDevice({});
    platform_detail::SetNameLookupDelay(0);
    platform_detail::ResetTermination();
    delete g_paintCounter;
    g_paintCounter = nullptr;
}

void CountPaints(int panel) {
    if (!g_paintCounter) {
        g_paintCounter = new PaintCounter;
        QCoreApplication::instance()->installEventFilter(g_paintCounter);
    }
    QWidget* w = FindPanel(panel);
    g_paintCounter->window = w ? w->window() : nullptr;
    g_paintCounter->paints = 0;
}

int Paints() {
    return g_paintCounter ? g_paintCounter->paints : 0;
}

const std::vector<PlatformError>& PlatformErrors() {
    return g_platformErrors;
}

std::vector<PlatformError> TakePlatformErrors() {
    return std::exchange(g_platformErrors, {});
}

AllowPlatformErrors::AllowPlatformErrors(std::string operation, int result)
    : AllowPlatformErrors({{std::move(operation), result}}) {}

AllowPlatformErrors::AllowPlatformErrors(std::initializer_list<PlatformError> errors) : errors_(errors) {
    g_allowances.push_back(this);
}

AllowPlatformErrors::~AllowPlatformErrors() {
    g_allowances.erase(std::remove(g_allowances.begin(), g_allowances.end(), this), g_allowances.end());
}

bool AllowPlatformErrors::Takes(const std::string& operation, int result) {
    for (const PlatformError& e : errors_) {
        if (e.operation != operation || e.result != result) continue;
        ++count_;
        return true;
    }
    return false;
}

void SetNameLookupDelay(int milliseconds) {
    platform_detail::SetNameLookupDelay(milliseconds);
}

void WatchValues(int panel, int control) {
    g_watchPanel = panel;
    g_watchControl = control;
    g_watched.clear();
}

const std::vector<double>& WatchedValues() {
    return g_watched;
}

void SetProjectDir(std::string_view dir) {
    SetProjectDirOverride(std::string(dir));
}

void RefuseComDevice(std::string_view device) {
    SetRefusedComDevice(std::string(device));
}

int SetAndCommit(int panel, int control, int value) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    return c->kind->PersonSets(*c, value);
}

int SetAndCommit(int panel, int control, unsigned short value) {
    return SetAndCommit(panel, control, static_cast<int>(value));
}

int SetAndCommit(int panel, int control, double value) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    return c->kind->PersonSets(*c, value);
}

int SetAndCommit(int panel, int control, std::string_view value) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    return c->kind->PersonSets(*c, QStr(value));
}

int Commit(int panel, int control) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    return c->kind->PersonCommits(*c);
}

int Click(int panel, int control) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    QPointer<QWidget> w = c->widget;
    const QPoint at = c->kind->ClickPoint(*c);
    FocusOnClick(w);
    if (w) SendMouse(w, at, QEvent::MouseButtonPress, Qt::LeftButton);
    if (w) SendMouse(w, at, QEvent::MouseButtonRelease, Qt::LeftButton);
    return 0;
}

int RightClick(int panel, int control) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    QPointer<QWidget> w = c->widget;
    const QPoint at = c->kind->ClickPoint(*c);
    SendMouse(w, at, QEvent::MouseButtonPress, Qt::RightButton);
    if (w) SendMouse(w, at, QEvent::MouseButtonRelease, Qt::RightButton);
    return 0;
}

int DoubleClick(int panel, int control) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    QPointer<QWidget> w = c->widget;
    const QPoint at = c->kind->ClickPoint(*c);
    FocusOnClick(w);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease})
        if (w) SendMouse(w, at, type, Qt::LeftButton);
    return 0;
}

int PressKey(int panel, int control, int key) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    QPointer<QWidget> w = c->widget;
    GiveFocus(w);
    return w ? DeliverKey(w, key) : 0;
}

int TypeText(int panel, int control, std::string_view text) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    QPointer<QWidget> w = c->widget;
    GiveFocus(w);
    for (QChar ch : QStr(text)) {
        if (!w) break;
        DeliverKey(w, ch.unicode() < 0x100 ? ch.unicode() : '?');
    }
    return 0;
}

int SelectListItem(int panel, int control, int index) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    return c->kind->PersonChoosesItem(*c, index);
}

int SetTableCellAndCommit(int panel, int control, Point cell, std::string_view text) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    return c->kind->PersonEditsCell(*c, cell, QStr(text));
}

int ClosePanel(int panel) {
    QWidget* w = FindPanel(panel);
    if (!w) return UIEInvalidPanel;
    QCloseEvent e;
    QCoreApplication::sendEvent(w, &e);
    return 0;
}

bool IsShown(int panel, int control) {
    QWidget* w = FindCtrl(panel, control);
    return w && w->isVisible();
}

bool IsPanelShown(int panel) {
    QWidget* w = FindPanel(panel);
    return w && w->isVisible();
}

int PanelPixel(int panel, int top, int left) {
    QWidget* w = FindPanel(panel);
    if (!w) return UIEInvalidPanel;
    const QImage image = GrabPanel(w).toImage();
    const QPoint at = QPoint(left, top) * image.devicePixelRatio();
    if (!image.valid(at)) return UIEInvalidValue;
    return FromQColor(image.pixelColor(at));
}

void ExpectPopup(std::string title, std::string text, int answer) {
    g_expected.push_back({false, std::move(title), std::move(text), answer, {}});
}

void ExpectFileSelect(int result, std::string path) {
    g_expected.push_back({true, {}, {}, result, std::move(path)});
}

const std::vector<Popup>& Popups() {
    return g_popups;
}
const std::vector<Popup>& UnexpectedPopups() {
    return g_unexpected;
}
int PendingExpectations() {
    return static_cast<int>(g_expected.size());
}

void RunDuringBusyWait(std::function<void()> action, int skipPasses) {
    g_busyActions.push_back({std::move(action), skipPasses});
}

int PendingBusyWaitActions() {
    return static_cast<int>(g_busyActions.size());
}

bool PumpUntil(const std::function<bool()>& done, double seconds) {
    const double end = Timer() + seconds;
    while (!done()) {
        if (Timer() > end) return done();
        ProcessSystemEvents();
    }
    return true;
}

}  // namespace uitest
