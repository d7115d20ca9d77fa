// The registry of panels and controls: records, lookups from handles and from widgets, registration.
#include "registry.h"

#include <QApplication>
#include <QLayout>
#include <algorithm>
#include <unordered_map>
#include <utility>

#include "kinds.h"

namespace platform_detail {
namespace {

std::map<int, Panel> g_panels;
int g_nextPanel = 1;
// The control each registered widget is, for input arriving at the widget.
std::unordered_map<const QObject*, std::pair<int, int>> g_owners;

}  // namespace

Panel& NewPanelRecord(int& handle) {
    handle = g_nextPanel++;
    return g_panels[handle];
}

void ErasePanelRecord(int panel) {
    for (int child : ChildPanels(panel)) ErasePanelRecord(child);
    g_panels.erase(panel);
}

void DiscardAllPanels() {
    std::vector<QWidget*> windows;
    for (auto& [handle, p] : g_panels)
        if (p.parent == 0 && p.widget) windows.push_back(p.widget);
    g_panels.clear();
    for (QWidget* w : windows) DisposeWidget(w);  // child panels are widgets inside these
}

Panel* GetPanel(int panel) {
    auto it = g_panels.find(panel);
    return it == g_panels.end() || !it->second.widget ? nullptr : &it->second;
}

Control* GetControl(int panel, int control) {
    Panel* p = GetPanel(panel);
    if (!p) return nullptr;
    auto it = p->controls.find(control);
    return it == p->controls.end() || !it->second.widget ? nullptr : &it->second;
}

int Lookup(int panel, int control, Control*& c) {
    if (!GetPanel(panel)) return UIEInvalidPanel;
    c = GetControl(panel, control);
    return c ? 0 : UIEInvalidControl;
}

QWidget* FindPanel(int panel) {
    Panel* p = GetPanel(panel);
    return p ? p->widget.data() : nullptr;
}

QWidget* FindCtrl(int panel, int control) {
    Control* c = GetControl(panel, control);
    return c ? c->widget.data() : nullptr;
}

Control* ControlOfWidget(const QObject* w) {
    for (; w; w = w->parent()) {
        auto it = g_owners.find(w);
        if (it == g_owners.end()) continue;
        Control* c = GetControl(it->second.first, it->second.second);
        return c && c->widget == w ? c : nullptr;
    }
    return nullptr;
}

std::vector<int> ChildPanels(int panel) {
    std::vector<int> children;
    for (const auto& [handle, p] : g_panels)
        if (p.parent == panel) children.push_back(handle);
    return children;
}

Control& RegisterControl(int panel, int control, QWidget* w) {
    Control& c = GetPanel(panel)->controls[control];
    c = Control{};
    c.panel = panel;
    c.id = control;
    c.widget = w;
    c.kind = &KindOf(w, c.style, c.dataType);
    g_owners[w] = {panel, control};
    QObject::connect(w, &QObject::destroyed, [w] { g_owners.erase(w); });

    w->setContextMenuPolicy(Qt::PreventContextMenu);  // a right click belongs to the program
    c.kind->Prepare(c);
    // Start colours a panel file gives as 0xRRGGBB numbers.
    auto fileColor = [w](const char* name) {
        const QVariant v = w->property(name);
        return v.isValid() ? std::optional<int>(v.toInt()) : std::nullopt;
    };
    c.textColor = fileColor("cviTextColor");
    c.frameColor = fileColor("cviFrameColor");
    c.buttonColor = fileColor("cviButtonColor");
    if (c.textColor || c.frameColor || c.buttonColor) c.kind->ShowColors(c);
    if (c.kind->AlwaysIndicator()) w->setFocusPolicy(Qt::NoFocus);
    if (c.kind->StartsReadOnly(c)) {
        c.indicator = true;
        c.hotFocus = Qt::StrongFocus;
        w->setFocusPolicy(Qt::NoFocus);
    }
    c.readOnlyMode = c.kind->HasReadOnlyMode();
    HookControlEvents(c);
    c.kind->Hook(c);  // what the kind raises besides
    return c;
}

void UnregisterControl(int panel, int control) {
    Panel* p = GetPanel(panel);
    if (!p) return;
    auto it = p->controls.find(control);
    if (it == p->controls.end()) return;
    QWidget* w = it->second.widget;
    p->controls.erase(it);
    p->tabOrder.erase(std::remove(p->tabOrder.begin(), p->tabOrder.end(), control), p->tabOrder.end());
    g_owners.erase(w);
    DisposeWidget(w);
}

void ApplyTabOrder(Panel& p) {
    QWidget* prev = nullptr;
    for (int id : p.tabOrder) {
        QWidget* w = p.controls[id].widget;
        if (!w) continue;
        if (prev) QWidget::setTabOrder(prev, w);
        prev = w;
    }
}

bool IsIndicator(const Control& c) {
    return c.kind->AlwaysIndicator() || c.indicator;
}

QPixmap GrabPanel(QWidget* w) {
    ShowPacedValues();
    // A hidden window has not been laid out or polished yet: show it off screen for the moment of the grab.
    const bool hiddenWindow = w->isWindow() && w->isHidden();
    if (hiddenWindow) {
        w->setAttribute(Qt::WA_DontShowOnScreen, true);
        w->show();
    }
    w->ensurePolished();
    if (w->layout()) w->layout()->activate();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QPixmap picture = w->grab();
    if (hiddenWindow) {
        w->hide();
        w->setAttribute(Qt::WA_DontShowOnScreen, false);
    }
    return picture;
}

void DisposeWidget(QWidget* w) {
    if (!w) return;
    if (CallbackDepth() == 0) {
        delete w;
    } else {
        w->hide();
        w->deleteLater();
    }
}

}  // namespace platform_detail
