// Panels: loading the Designer files, the registry of panels and controls, panel attributes and pictures.
#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QPushButton>
#include <QUiLoader>
#include <QXmlStreamReader>

#include "registry.h"

namespace platform_detail {
namespace {

std::map<int, Panel> g_panels;
int g_nextPanel = 1;
QString g_panelDir;  // empty: the default

// Creates our own widget classes for the names written in panel files, the stock ones otherwise.
class PanelLoader : public QUiLoader {
  public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        QWidget* w = CreatePlotWidget(className, parent, name);
        if (!w) w = CreateStockWidget(className, parent);
        if (!w) return QUiLoader::createWidget(className, parent, name);
        w->setObjectName(name);
        return w;
    }
};

QString DefaultPanelDirectory() {
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QString local = exeDir + "/panels";
    if (QFileInfo(local).isDir()) return local;
    return QDir::cleanPath(exeDir + "/../" + QStringLiteral(PANEL_INSTALL_DIR));
}

// The names listed under <tabstops> in a panel file, in their order.
QStringList TabStops(const QByteArray& xml) {
    QStringList names;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("tabstop"))
            names << reader.readElementText().trimmed();
    }
    return names;
}

// The panel's tab order as the file gives it: the controls its tab stops list, in that order, then the
// others in the order they were made.
std::vector<int> InitialTabOrder(QWidget* root, const std::map<int, Control>& controls,
                                 const QStringList& stops) {
    std::map<const QWidget*, int> ids;
    for (const auto& [id, c] : controls) ids[c.widget] = id;
    std::vector<int> order;
    auto take = [&](const QWidget* w) {
        auto it = ids.find(w);
        if (it == ids.end()) return;
        order.push_back(it->second);
        ids.erase(it);
    };
    for (const QString& name : stops) take(root->findChild<QWidget*>(name));
    for (QWidget* w = root->nextInFocusChain(); w && w != root; w = w->nextInFocusChain()) take(w);
    for (const auto& [w, id] : ids) order.push_back(id);  // not in the chain (should not happen)
    return order;
}

int LoadRoot(const QString& path, QWidget*& root, QStringList& tabStops) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return UIEPanelFileMissing;
    QByteArray xml = file.readAll();
    tabStops = TabStops(xml);
    QBuffer buffer(&xml);
    buffer.open(QIODevice::ReadOnly);
    PanelLoader loader;
    root = loader.load(&buffer, nullptr);
    return root ? 0 : UIEPanelFileMalformed;
}

void DiscardChildPanels(int parent) {
    std::vector<int> children;
    for (const auto& [h, p] : g_panels)
        if (p.parent == parent) children.push_back(h);
    for (int h : children) {
        DiscardChildPanels(h);
        g_panels.erase(h);
    }
}

}  // namespace

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

QWidget* FindPanel(int panel) {
    Panel* p = GetPanel(panel);
    return p ? p->widget.data() : nullptr;
}

QWidget* FindCtrl(int panel, int control) {
    Control* c = GetControl(panel, control);
    return c ? c->widget.data() : nullptr;
}

bool ControlOfWidget(const QObject* w, int& panel, int& control) {
    for (; w; w = w->parent()) {
        const QVariant id = w->property("cviCtrl");
        if (id.isValid()) {
            panel = w->property("cviPanel").toInt();
            control = id.toInt();
            return GetControl(panel, control) != nullptr;
        }
    }
    return false;
}

void RegisterControl(int panel, int control, QWidget* w) {
    Panel* p = GetPanel(panel);
    Control c;
    c.widget = w;
    c.style = ClassifyWidget(w, c.dataType);
    w->setProperty("cviPanel", panel);
    w->setProperty("cviCtrl", control);
    if (auto* b = qobject_cast<QPushButton*>(w)) b->setAutoDefault(false);  // Enter in a field must not click
    PrepareControlWidget(w, c.style, c.dataType);
    p->controls[control] = c;
    HookControlEvents(panel, control, w, c.style);
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

QPixmap GrabPanel(QWidget* w) {
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

using namespace platform_detail;

void SetPanelDirectory(std::string_view dir) {
    g_panelDir = QString::fromUtf8(dir.data(), dir.size());
}

std::string GetPanelDirectory() {
    return (g_panelDir.isEmpty() ? DefaultPanelDirectory() : g_panelDir).toStdString();
}

int LoadPanel(int parentPanel, const PanelDef& def) {
    Panel* parent = nullptr;
    if (parentPanel != 0 && !(parent = GetPanel(parentPanel))) return UIEInvalidPanel;
    if (!def.file) return UIEPanelFileMissing;
    QWidget* root = nullptr;
    const QString path = QString::fromStdString(GetPanelDirectory()) + "/" + QString::fromUtf8(def.file);
    QStringList tabStops;
    if (int err = LoadRoot(path, root, tabStops)) return err;
    for (const CtrlBinding& b : def.controls) {
        if (!b.objectName || !root->findChild<QWidget*>(QString::fromUtf8(b.objectName))) {
            delete root;
            return UIEControlMissing;
        }
    }
    const int handle = g_nextPanel++;
    Panel& p = g_panels[handle];
    p.widget = root;
    p.parent = parentPanel;
    p.callback = def.callback;
    if (parent) {
        root->setParent(parent->widget);  // a plain child widget: no window frame
        root->setAutoFillBackground(true);
        root->move(0, 0);
    }
    root->hide();
    for (const CtrlBinding& b : def.controls) {
        QWidget* w = root->findChild<QWidget*>(QString::fromUtf8(b.objectName));
        RegisterControl(handle, b.id, w);
        p.controls[b.id].callback = b.callback;
    }
    p.tabOrder = InitialTabOrder(root, p.controls, tabStops);
    ApplyTabOrder(p);
    HookPanelEvents(handle, root);
    return handle;
}

int DisplayPanel(int panel) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    p->widget->show();
    // (The offscreen platform of the tests cannot raise windows and says so.)
    if (p->parent != 0 || QGuiApplication::platformName() != QLatin1String("offscreen")) p->widget->raise();
    if (p->parent == 0) p->widget->activateWindow();
    return 0;
}

int HidePanel(int panel) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    p->widget->hide();
    return 0;
}

int DiscardPanel(int panel) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    QWidget* w = p->widget;
    DiscardChildPanels(panel);  // their widgets are children of w and go with it
    g_panels.erase(panel);
    DisposeWidget(w);
    return 0;
}

int SetPanelPos(int panel, int top, int left) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    p->widget->move(left, top);
    return 0;
}

int GetPanelAttribute(int panel, PanelAttr attr, int& value) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    QWidget* w = p->widget;
    switch (attr) {
        case ATTR_PANEL_VISIBLE:
            value = !w->isHidden();
            break;
        case ATTR_PANEL_TOP:
            value = w->y();
            break;
        case ATTR_PANEL_LEFT:
            value = w->x();
            break;
        case ATTR_PANEL_WIDTH:
            value = w->width();
            break;
        case ATTR_PANEL_HEIGHT:
            value = w->height();
            break;
        case ATTR_PANEL_PARENT:
            value = p->parent;
            break;
        case ATTR_PANEL_FIRST_CTRL:
            value = p->tabOrder.empty() ? 0 : p->tabOrder.front();
            break;
        case ATTR_PANEL_BACKCOLOR:
            value = FromQColor(w->palette().color(QPalette::Window));
            break;
        default:
            return UIEInvalidAttribute;
    }
    return 0;
}

int GetPanelAttribute(int panel, PanelAttr attr, std::string& value) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    if (attr != ATTR_PANEL_TITLE) return UIEWrongType;
    value = p->widget->windowTitle().toStdString();
    return 0;
}

int SetPanelAttribute(int panel, PanelAttr attr, int value) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    QWidget* w = p->widget;
    switch (attr) {
        case ATTR_PANEL_VISIBLE:
            return value ? DisplayPanel(panel) : HidePanel(panel);
        case ATTR_PANEL_TOP:
            w->move(w->x(), value);
            break;
        case ATTR_PANEL_LEFT:
            w->move(value, w->y());
            break;
        case ATTR_PANEL_WIDTH:
            w->resize(value, w->height());
            break;
        case ATTR_PANEL_HEIGHT:
            w->resize(w->width(), value);
            break;
        case ATTR_PANEL_BACKCOLOR: {
            QPalette pal = w->palette();
            pal.setColor(QPalette::Window, ToQColor(value));
            w->setPalette(pal);
            w->setAutoFillBackground(true);
            break;
        }
        case ATTR_PANEL_TITLE:
            return UIEWrongType;
        default:
            return UIEInvalidAttribute;
    }
    return 0;
}

int SetPanelAttribute(int panel, PanelAttr attr, std::string_view value) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    if (attr != ATTR_PANEL_TITLE) return UIEWrongType;
    p->widget->setWindowTitle(QString::fromUtf8(value.data(), value.size()));
    return 0;
}

int SavePanelImage(int panel, std::string_view path) {
    Panel* p = GetPanel(panel);
    if (!p) return UIEInvalidPanel;
    const QPixmap picture = GrabPanel(p->widget);
    return picture.save(QString::fromUtf8(path.data(), path.size()), "PNG") ? 0 : -1;
}
