// RecordViewer: record files of the scope in a window, or (--plot) drawn to a PNG or SVG file without one.
//   RecordViewer [--follow] [--sensor-id ID] [FILE...]
//   RecordViewer --plot FILE [--signals A,B,...] [--from TIME --to TIME] (--png|--svg) OUT [--size WxH]
#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "build_info.h"
#include "io.h"
#include "plot_options.h"
#include "record_picture.h"
#include "record_reader.h"
#include "viewer_window.h"

namespace {
constexpr int kExitBadArguments = 2, kExitBadFile = 5;

int Fail(const std::string& name, int code, const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), message.c_str());
    return code;
}

// The picture without a window: the offscreen platform, and none of Qt's own messages on the error stream.
int Plot(int argc, char** argv, std::vector<std::string_view> args) {
    std::string name = "RecordViewer";
    if (args.size() >= 2 && args[0] == "--as") {
        name = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    PlotOptions options;
    std::string error;
    if (!ParsePlotArguments(args, options, error))
        return Fail(name, kExitBadArguments, error + " (usage: plot " + std::string(kPlotUsage) + ")");
    if (SameFile(QString::fromLocal8Bit(options.out.c_str()), QString::fromLocal8Bit(options.file.c_str())))
        return Fail(
            name, kExitBadArguments,
            "the picture " + options.out + " is the record file itself; give the picture another name");
    records::RecordReader reader(options.file, records::LinesThatFitInMemory());
    if (!reader.Open(error)) return Fail(name, kExitBadFile, error);
    reader.ReadAll();
    const records::RecordData& data = reader.Data();
    if (!reader.Fatal().empty() && data.Size() == 0)
        return Fail(name, kExitBadFile, options.file + ": " + reader.Fatal());
    std::string summary = reader.Parser().Summary();
    if (!reader.Fatal().empty() && reader.Parser().Fatal().empty()) summary.insert(0, reader.Fatal() + ".\n");
    for (std::size_t at = 0; at < summary.size();) {
        const std::size_t end = summary.find('\n', at);
        std::fprintf(stderr, "%s: %s: %s\n", name.c_str(), options.file.c_str(),
                     summary.substr(at, end - at).c_str());
        at = end + 1;
    }
    // A picture without a line would show an axis the file does not have; a batch job learns it by the code.
    if (data.Size() == 0)
        return Fail(name, kExitBadFile, options.file + ": no line to draw; nothing was written");

    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication app(argc, argv);
    PictureView view;
    view.shown = options.shown;
    view.axis = options.lineNumbers || !data.TimesAscend() ? records::Axis::Line : records::Axis::Time;
    view = FitAll(data, view);
    const std::int64_t firstSecond = data.Size() ? data.Second(0) : 0;
    for (const auto& [text, x] : {std::pair{&options.from, &view.x0}, std::pair{&options.to, &view.x1}}) {
        if (text->empty()) continue;
        double t;
        if (!ParseTimeArgument(*text, firstSecond, t, error)) return Fail(name, kExitBadArguments, error);
        if (!data.TimesAscend())
            return Fail(name, kExitBadArguments,
                        "the clock went back within " + options.file +
                            ", so a time does not name one place in it; draw it without --from and --to");
        if (view.axis == records::Axis::Line) {  // between the line before the time and the first at it
            const std::size_t at = data.FirstAtOrAfter(t);
            t = at < data.Size() ? double(data.FileLine(at)) - 0.5
                                 : double(data.FileLine(data.Size() - 1)) + 0.5;
        }
        *x = t;
    }
    if (!(view.x1 > view.x0)) return Fail(name, kExitBadArguments, "--to must lie after --from");
    if (const auto [first, end] = VisibleLines(data, view); first == end) {
        std::string range;
        for (const auto& [option, text] :
             {std::pair{"--from", &options.from}, std::pair{"--to", &options.to}})
            if (!text->empty()) range += std::string(range.empty() ? "" : " ") + option + " " + *text;
        return Fail(name, kExitBadArguments,
                    "no line of " + options.file + " lies in " + range + "; nothing was written");
    }
    std::string base = options.file.substr(options.file.find_last_of('/') + 1);
    view.title = PictureTitle(QString::fromStdString(base), data, view);
    QString qerror;
    const QSize size(options.width, options.height);
    const QString out = QString::fromLocal8Bit(options.out.c_str());
    if (!(options.svg ? WriteSvg(out, size, data, view, qerror) : WritePng(out, size, data, view, qerror)))
        return Fail(name, kExitBadFile, qerror.toStdString());
    return 0;
}
}  // namespace

int main(int argc, char** argv) {
    if (PrintVersionIfAsked(argc, argv, "RecordViewer")) return 0;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "--plot") return Plot(argc, argv, {args.begin() + 1, args.end()});
    // The arguments first: --help and a wrong option need no display.
    bool follow = false;
    QString sensorId;
    QStringList files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--follow")
            follow = true;
        else if (args[i] == "--sensor-id" && i + 1 < args.size())
            sensorId = QString::fromUtf8(args[++i].data());
        else if (args[i] == "--help") {
            std::printf(
                "usage: RecordViewer [--follow] [--sensor-id ID] [FILE...]\n"
                "       RecordViewer --plot %s\n"
                "Shows record files of the Orvane scope: one lane per signal over one time axis.\n",
                std::string(kPlotUsage).c_str());
            return 0;
        } else if (args[i].starts_with("--")) {
            return Fail("RecordViewer", kExitBadArguments,
                        "unknown option " + std::string(args[i]) + " (see --help)");
        } else {
            files << QString::fromLocal8Bit(args[i].data());
        }
    }
    if (!DisplayToOpenWindowsOn("RecordViewer")) return 1;
    EnsureRuntimeDir();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("RecordViewer"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("colour-sensor-tools-record-viewer")));
    if (files.isEmpty()) {
        const QString file =
            QFileDialog::getOpenFileName(nullptr, QStringLiteral("Open record file"), QString(),
                                         QStringLiteral("Record files (*.dat);;All files (*)"));
        if (file.isEmpty()) return 0;
        files << file;
    }
    for (const QString& file : files) {
        auto* window = new ViewerWindow(file, sensorId, follow);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
    }
    return app.exec();
}
