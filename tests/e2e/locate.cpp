// Where a control of a panel file lies, for the end-to-end journeys that click it with the real mouse:
//   e2e-locate PANEL_FILE OBJECT_NAME [left]   prints "X Y", the centre of the widget in its panel's
//                                              coordinates (with "left": 8 pixels into its left end, where a
//                                              switch has its box)
// The panel file is loaded as the platform loads it (Qt's form loader), so the journeys follow every change
// of the panels' layout. Exit code 1 when the file or the widget is not there.
#include <QApplication>
#include <QFile>
#include <QUiLoader>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: e2e-locate PANEL_FILE OBJECT_NAME [left]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) return 1;
    QUiLoader loader;
    const std::unique_ptr<QWidget> panel(loader.load(&file));
    QWidget* w = panel ? panel->findChild<QWidget*>(QString::fromLocal8Bit(argv[2])) : nullptr;
    if (!w) return 1;
    QPoint point = w->rect().center();
    if (argc == 4) point.setX(std::min(8, point.x()));
    point = w->mapTo(panel.get(), point);
    std::printf("%d %d\n", point.x(), point.y());
    return 0;
}
