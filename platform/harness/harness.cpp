// Test harness: a person's actions through the widgets' own input paths, scripted pop-up answers and
// actions run inside busy waits.
#include "harness.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>
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
std::function<PopupReply(const Popup&)> g_answerOthers;

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
        if (g_answerOthers) {
            const PopupReply reply = g_answerOthers(p);
            return {reply.result, reply.path};
        }
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

// Whether the next pass of the pump runs or skips a queued action.
bool PumpHookPending() {
    return CallbackDepth() > 0 && !g_busyActions.empty();
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

// --- input through the window system -------------------------------------------------------------------

// The shown, active top-level window of a widget, ready for input from the window system.
QWindow* ActiveWindowOf(QWidget* w) {
    QWidget* top = w->window();
    if (!top->isVisible() || !top->windowHandle()) return nullptr;
    if (!top->isActiveWindow()) {
        top->activateWindow();
        // Input reaches a window that did not become active too (some window systems never say so).
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(top, 1000);
    }
    return top->windowHandle();
}

Qt::MouseButton QtButton(int button) {
    return button == kRightButton ? Qt::RightButton : Qt::LeftButton;
}

// A point of `w` in its window's coordinates.
QPoint InWindow(QWidget* w, QPoint at) {
    return w->mapTo(w->window(), at);
}

void KeyClick(QWindow* window, int code) {
    int qtKey = 0, mods = 0;
    QString text;
    KeyEventFromCode(code, qtKey, mods, text);
    QTest::keyClick(window, Qt::Key(qtKey), Qt::KeyboardModifiers(mods));
}

// Selects what a focused field shows and types text over it, key by key, as characters. Runs no events of
// its own (a dialog step must not let the next step in before it is done).
void TypeOver(QWidget* field, const QString& text) {
    QWindow* window = field->window()->windowHandle();
    if (!window) return;
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    for (QChar ch : text) QTest::keyClick(window, ch.toLatin1());
}

// --- Qt's own dialogs --------------------------------------------------------------------------------------

struct DialogStep {
    enum Kind { Type, Press, Key } kind;
    std::string text;
    int key = 0;
};
std::deque<DialogStep> g_dialogSteps;
std::vector<DialogSeen> g_dialogsSeen;
struct KnownDialog {
    QPointer<QWidget> dialog;
    double since;      // Timer() when it first showed
    std::size_t seen;  // its entry in g_dialogsSeen
};
std::vector<KnownDialog> g_dialogsKnown;
QTimer* g_dialogTimer = nullptr;
QPointer<QWidget> g_stepDialog;  // the dialog a step is running on
// A dialog that no step answers within this time is closed as cancelled, so a test fails instead of
// waiting for ever.
constexpr double kUnansweredSeconds = 10.0;

QString WithoutMnemonic(QString label) {
    return label.remove('&');
}

KnownDialog& NoteDialog(QWidget* dialog) {
    for (KnownDialog& known : g_dialogsKnown)
        if (known.dialog == dialog) return known;
    g_dialogsKnown.push_back({dialog, Timer(), g_dialogsSeen.size()});
    DialogSeen seen;
    seen.title = dialog->windowTitle().toStdString();
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) seen.text = box->text().toStdString();
    if (auto* fd = qobject_cast<QFileDialog*>(dialog)) {
        seen.fileDialog = true;
        seen.existingFilesOnly = fd->fileMode() == QFileDialog::ExistingFile;
        seen.canMakeDirectory = !fd->testOption(QFileDialog::ReadOnly);
        seen.filters = fd->nameFilters().join('\n').toStdString();
        seen.acceptLabel = WithoutMnemonic(fd->labelText(QFileDialog::Accept)).toStdString();
        if (auto* name = fd->findChild<QLineEdit*>("fileNameEdit")) seen.text = name->text().toStdString();
    }
    if (QWidget* parent = dialog->parentWidget()) {
        const QWidget* owner = parent->window();
        seen.ownerTitle = owner->windowTitle().toStdString();
        const QPoint offset = dialog->frameGeometry().center() - owner->frameGeometry().center();
        seen.offsetX = offset.x();
        seen.offsetY = offset.y();
    }
    g_dialogsSeen.push_back(seen);
    return g_dialogsKnown.back();
}

void RunDialogStep(QWidget* dialog, const DialogStep& step) {
    switch (step.kind) {
        case DialogStep::Type: {
            QWidget* field = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (!field) field = dialog->focusWidget();
            if (!field) return;
            QTest::mouseClick(field, Qt::LeftButton);
            TypeOver(field, QString::fromStdString(step.text));
            break;
        }
        case DialogStep::Press:
            for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>()) {
                if (!b->isVisible() || WithoutMnemonic(b->text()) != QString::fromStdString(step.text))
                    continue;
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
            break;
        case DialogStep::Key:
            if (QWindow* window = dialog->windowHandle()) KeyClick(window, step.key);
            break;
    }
}

// Looks for the dialog a person faces now and does the next step on it.
void DialogTick() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog || !dialog->isVisible()) return;
    // The step under way on this dialog lets events run between its keys: the next waits for it to end.
    // A dialog that the step opened (its own "not found" message) takes the next step at once.
    if (g_stepDialog == dialog) return;
    const KnownDialog& known = NoteDialog(dialog);
    if (g_dialogSteps.empty()) {
        if (Timer() - known.since < kUnansweredSeconds) return;
        g_dialogsSeen[known.seen].unanswered = true;
        if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
        return;
    }
    const DialogStep step = g_dialogSteps.front();
    g_dialogSteps.pop_front();
    // A step may open a dialog of its own (a "not found" message) that waits in its own event loop: it runs
    // apart from this timer, which keeps ticking there.
    g_stepDialog = dialog;
    QTimer::singleShot(0, dialog, [dialog = QPointer<QWidget>(dialog), step] {
        const QPointer<QWidget> outer = g_stepDialog;
        g_stepDialog = dialog;
        if (dialog) RunDialogStep(dialog, step);
        g_stepDialog = outer == dialog ? nullptr : outer;
    });
}

}  // namespace

void Install(std::string_view projectDir) {
    SetPopupResponder(Respond);
    SetPumpHook(PumpHook, PumpHookPending);
    SetValueWatch(RecordValue);
    SetErrorWatch(RecordPlatformError);
    SetProjectDirOverride(std::string(projectDir));
}

void Reset() {
    SetPopupResponder(Respond);
    delete g_dialogTimer;
    g_dialogTimer = nullptr;
    g_dialogSteps.clear();
    g_dialogsSeen.clear();
    g_dialogsKnown.clear();
    g_expected.clear();
    g_popups.clear();
    g_unexpected.clear();
    g_busyActions.clear();
    g_answerOthers = nullptr;
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

int RealClick(int panel, int control, int button, int top, int left) {
    QWidget* w = nullptr;
    QPoint at(left, top);
    if (control == 0) {
        w = FindPanel(panel);
        if (!w) return UIEInvalidPanel;
    } else {
        // A person may click a dimmed control too; Qt ignores it.
        Control* c = GetControl(panel, control);
        if (!c || !c->widget->isVisible()) return UIEInvalidControl;
        w = c->widget;
        at = c->kind->ClickPoint(*c);
    }
    QWindow* window = ActiveWindowOf(w);
    if (!window) return UIEInvalidPanel;
    QTest::mouseClick(window, QtButton(button), Qt::NoModifier, InWindow(w, at));
    return 0;
}

int RealDoubleClick(int panel, int control) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    QWindow* window = ActiveWindowOf(c->widget);
    if (!window) return UIEInvalidPanel;
    QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, InWindow(c->widget, c->kind->ClickPoint(*c)));
    return 0;
}

int RealKey(int panel, int key) {
    QWidget* w = FindPanel(panel);
    if (!w) return UIEInvalidPanel;
    QWindow* window = ActiveWindowOf(w);
    if (!window) return UIEInvalidPanel;
    KeyClick(window, key);
    return 0;
}

int RealType(int panel, int control, std::string_view text) {
    if (int err = RealClick(panel, control)) return err;
    QWidget* field = QApplication::focusWidget();
    if (!field) return UIEInvalidControl;
    TypeOver(field, QStr(text));
    if (QWindow* window = field->window()->windowHandle()) KeyClick(window, VAL_ENTER_VKEY);
    return 0;
}

int RealEditCell(int panel, int control, Point cell, std::string_view text) {
    Control* c = nullptr;
    if (int err = Usable(panel, control, c)) return err;
    auto* table = qobject_cast<QTableWidget*>(c->widget);
    if (!table) return UIEWrongType;
    QWidget* viewport = table->viewport();
    QWindow* window = ActiveWindowOf(viewport);
    if (!window) return UIEInvalidPanel;
    const QTableWidgetItem* item = table->item(cell.y - 1, cell.x - 1);
    if (!item) return UIEIndexOutOfRange;
    table->scrollToItem(item);
    const QPoint at = InWindow(viewport, table->visualItemRect(item).center());
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(window, Qt::LeftButton, Qt::NoModifier, at);
    QWidget* editor = QApplication::focusWidget();
    if (!editor || editor == table) return UIEInvalidControl;  // no editor opened
    TypeOver(editor, QStr(text));
    KeyClick(window, VAL_ENTER_VKEY);
    QCoreApplication::processEvents();  // the editor's value reaches the cell after the key
    return 0;
}

void UseRealDialogs() {
    SetPopupResponder(nullptr);
    if (g_dialogTimer) return;
    g_dialogTimer = new QTimer;
    QObject::connect(g_dialogTimer, &QTimer::timeout, DialogTick);
    g_dialogTimer->start(20);
}

void TypeInDialog(std::string text) {
    g_dialogSteps.push_back({DialogStep::Type, std::move(text)});
}

void PressInDialog(std::string label) {
    g_dialogSteps.push_back({DialogStep::Press, std::move(label)});
}

void KeyInDialog(int key) {
    g_dialogSteps.push_back({DialogStep::Key, {}, key});
}

int PendingDialogSteps() {
    return static_cast<int>(g_dialogSteps.size());
}

const std::vector<DialogSeen>& DialogsSeen() {
    return g_dialogsSeen;
}

void ExpectPopup(std::string title, std::string text, int answer) {
    g_expected.push_back({false, std::move(title), std::move(text), answer, {}});
}

void ExpectFileSelect(int result, std::string path) {
    g_expected.push_back({true, {}, {}, result, std::move(path)});
}

void AnswerOtherPopups(std::function<PopupReply(const Popup&)> answer) {
    g_answerOthers = std::move(answer);
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
