// Where a control of a panel file lies, for the end-to-end journeys that click it with the real mouse, and
// what the screen shows there:
//   e2e-locate PANEL_FILE OBJECT_NAME [left]   prints "X Y", the centre of the widget in its panel's
//                                              coordinates (with "left": 8 pixels into its left end, where a
//                                              switch has its box)
//   e2e-locate --selected X Y W H              prints how many pixels of that rectangle of the screen
//                                              ($DISPLAY) show Qt's selection colour
//   e2e-locate --dots X Y W H RRGGBB           prints how many dots of that colour the rectangle shows: spots
//                                              with a solid 3 x 3 core (a line of one pixel has none)
// The panel file is loaded as the platform loads it (Qt's form loader), so the journeys follow every change
// of the panels' layout. Exit code 1 when the file or the widget is not there, or the screen cannot be read.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QUiLoader>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

namespace {

// The pixels of a rectangle of the screen that show the selection colour of Qt's default palette, which
// the programs use too.
int Selected(int argc, char** argv) {
    QApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1;
    const QImage image =
        screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]))
            .toImage();
    if (image.isNull()) return 1;
    const QRgb active = app.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    const QRgb inactive = app.palette().color(QPalette::Inactive, QPalette::Highlight).rgb();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (pixel == active || pixel == inactive) ++count;
        }
    std::printf("%d\n", count);
    return 0;
}

int Dots(int argc, char** argv) {
    QApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 1;
    const QImage image =
        screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]))
            .toImage();
    if (image.isNull()) return 1;
    const QRgb colour = QRgb(std::strtoul(argv[6], nullptr, 16)) | 0xFF000000u;
    const int w = image.width(), h = image.height();
    auto solid = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if ((image.pixel(x + dx, y + dy) | 0xFF000000u) != colour) return false;
        return true;
    };
    std::vector<char> core(std::size_t(w) * std::size_t(h), 0);
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) core[std::size_t(y) * std::size_t(w) + std::size_t(x)] = solid(x, y);
    // Cores that touch are one dot.
    int dots = 0;
    std::vector<std::pair<int, int>> stack;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!core[std::size_t(y) * std::size_t(w) + std::size_t(x)]) continue;
            ++dots;
            stack.assign(1, {x, y});
            core[std::size_t(y) * std::size_t(w) + std::size_t(x)] = 0;
            while (!stack.empty()) {
                const auto [cx, cy] = stack.back();
                stack.pop_back();
                for (const auto& [nx, ny] :
                     {std::pair{cx + 1, cy}, {cx - 1, cy}, {cx, cy + 1}, {cx, cy - 1}}) {
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    char& c = core[std::size_t(ny) * std::size_t(w) + std::size_t(nx)];
                    if (c) c = 0, stack.push_back({nx, ny});
                }
            }
        }
    std::printf("%d\n", dots);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::string_view(argv[1]) == "--selected") return Selected(argc, argv);
    if (argc == 7 && std::string_view(argv[1]) == "--dots") return Dots(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: e2e-locate PANEL_FILE OBJECT_NAME [left] | --selected X Y W H\n");
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
