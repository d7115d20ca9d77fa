// Panels: loading the Designer files, panel attributes and pictures.
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

QString g_panelDir;  // empty: the default

// Creates our own widget classes for the names written in panel files, the stock ones otherwise.
class PanelLoader : public QUiLoader {
  public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        QWidget* w = CreateFileWidget(className, parent);
        if (!w) return QUiLoader::createWidget(className, parent, name);
        w->setObjectName(name);
        return w;
    }
};

QString DefaultPanelDirectory() {
    const QString exeDir = QString::fromStdString(ExecutableDir());
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

}  // namespace
}  // namespace platform_detail

using namespace platform_detail;

void SetPanelDirectory(std::string_view dir) {
    g_panelDir = QString::fromUtf8(dir.data(), dir.size());
}

std::string GetPanelDirectory() {
    return (g_panelDir.isEmpty() ? DefaultPanelDirectory() : g_panelDir).toStdString();
}

int LoadPanel(int parentPanel, const PanelDef& def) {
    return Checked("LoadPanel", [&]() -> int {
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
        int handle = 0;
        Panel& p = NewPanelRecord(handle);
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
    });
}

int DisplayPanel(int panel) {
    return Checked("DisplayPanel", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        p->widget->show();
        // (The offscreen platform of the tests cannot raise windows and says so.)
        if (p->parent != 0 || QGuiApplication::platformName() != QLatin1String("offscreen"))
            p->widget->raise();
        if (p->parent == 0) p->widget->activateWindow();
        return 0;
    });
}

int HidePanel(int panel) {
    return Checked("HidePanel", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        p->widget->hide();
        return 0;
    });
}

int DiscardPanel(int panel) {
    return Checked("DiscardPanel", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        QWidget* w = p->widget;
        ErasePanelRecord(panel);  // and those of its child panels, whose widgets are children of w
        DisposeWidget(w);
        return 0;
    });
}

int SetPanelPos(int panel, int top, int left) {
    return Checked("SetPanelPos", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        p->widget->move(left, top);
        return 0;
    });
}

int GetPanelAttribute(int panel, PanelAttr attr, int& value) {
    return Checked("GetPanelAttribute", [&]() -> int {
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
            case ATTR_PANEL_CLOSE_ON_ESCAPE:
                value = p->closeOnEscape ? 1 : 0;
                break;
            default:
                return UIEInvalidAttribute;
        }
        return 0;
    });
}

int GetPanelAttribute(int panel, PanelAttr attr, std::string& value) {
    return Checked("GetPanelAttribute", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        if (attr != ATTR_PANEL_TITLE) return UIEWrongType;
        value = p->widget->windowTitle().toStdString();
        return 0;
    });
}

int SetPanelAttribute(int panel, PanelAttr attr, int value) {
    return Checked("SetPanelAttribute", [&]() -> int {
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
            case ATTR_PANEL_CLOSE_ON_ESCAPE:
                p->closeOnEscape = value != 0;
                break;
            case ATTR_PANEL_TITLE:
                return UIEWrongType;
            default:
                return UIEInvalidAttribute;
        }
        return 0;
    });
}

int SetPanelAttribute(int panel, PanelAttr attr, std::string_view value) {
    return Checked("SetPanelAttribute", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        if (attr != ATTR_PANEL_TITLE) return UIEWrongType;
        p->widget->setWindowTitle(QString::fromUtf8(value.data(), value.size()));
        return 0;
    });
}

int SavePanelImage(int panel, std::string_view path) {
    return Checked("SavePanelImage", [&]() -> int {
        Panel* p = GetPanel(panel);
        if (!p) return UIEInvalidPanel;
        const QPixmap picture = GrabPanel(p->widget);
        return picture.save(QString::fromUtf8(path.data(), path.size()), "PNG") ? 0 : -1;
    });
}
