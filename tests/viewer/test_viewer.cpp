// The record viewer: a known spike in the PNG, an SVG that parses, CSV that reads back as the record, the
// plot command line, and the window following a file while it grows.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSvgRenderer>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "file_size_limit.h"
#include "plot_options.h"
#include "record_picture.h"
#include "record_reader.h"
#include "viewer_window.h"

using records::RecordData;

namespace {
std::string Temp(const std::string& name) {
    return testing::TempDir() + std::to_string(getpid()) + "-" + name;
}

// 1,000 lines, one a second from 12-06-2026 17:45:03; DENSITY 100 except 60,000 at line 500.
RecordData Spiked() {
    RecordData d;
    const std::int64_t start = records::SecondsFromCivil(2026, 12, 6, 17, 45, 3);
    for (std::size_t i = 0; i < 1000; ++i) {
        records::Values v{1, 2, 3, 100, 5, 6, 7, std::uint16_t(i)};
        if (i == 500) v[3] = 60000;
        d.Append(start + std::int64_t(i), v, i + 2);
    }
    return d;
}
bool Orange(QRgb pixel) {
    return qRed(pixel) > 200 && qGreen(pixel) > 90 && qGreen(pixel) < 170 && qBlue(pixel) < 60;
}
}  // namespace

TEST(ViewerExport, PngShowsAOneLineSpikeInItsColumn) {
    const RecordData d = Spiked();
    PictureView view;
    view.axis = records::Axis::Line;
    view.shown.fill(false);
    view.shown[3] = true;
    view.x0 = 2, view.x1 = 1002;  // the file's lines 2 to 1001 (line 1 is the header)
    // 1,106 pixels wide: 92 for the labels and 14 on the right leave 1,000 columns, one per line; the
    // spike's line 502 is column 500 at x = 592. The lane runs from y = 8; 60,000 is its top, 5 pixels in: y
    // = 13.
    const std::string path = Temp("spike.png");
    QString error;
    ASSERT_TRUE(WritePng(QString::fromStdString(path), QSize(1106, 400), d, view, error))
        << error.toStdString();
    const QImage image(QString::fromStdString(path));
    ASSERT_EQ(image.size(), QSize(1106, 400));
    auto orangeIn = [&](int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y)
            if (Orange(image.pixel(x, y))) return true;
        return false;
    };
    EXPECT_TRUE(orangeIn(592, 12, 30));
    EXPECT_FALSE(orangeIn(585, 12, 30));
    EXPECT_FALSE(orangeIn(600, 12, 30));
    EXPECT_TRUE(orangeIn(300, 340, 355));  // the flat 100 at the lane's foot
    // Zoomed out to ten times the lines per column the spike stays: column 50 at x = 142.
    view.x1 = 10000;
    ASSERT_TRUE(WritePng(QString::fromStdString(path), QSize(1106, 400), d, view, error));
    const QImage wide(QString::fromStdString(path));
    bool found = false;
    for (int y = 12; y <= 30; ++y) found = found || Orange(wide.pixel(142, y));
    EXPECT_TRUE(found);
    std::remove(path.c_str());
}

// A saved picture's title: the file, the lines in view and where the first and the last of them lie, not
// where the axis begins and ends.
TEST(ViewerExport, TheTitleNamesTheLinesInView) {
    const RecordData d = Spiked();  // file lines 2 to 1001, one a second from 17:45:03
    PictureView view;
    view.axis = records::Axis::Line;
    view.x0 = 100, view.x1 = 300;
    EXPECT_EQ(PictureTitle("spiked.dat", d, view).toStdString(),
              "spiked.dat    200 lines, line 100 to line 299");
    view.x0 = 990, view.x1 = 1500;
    EXPECT_EQ(PictureTitle("spiked.dat", d, view).toStdString(),
              "spiked.dat    12 lines, line 990 to line 1001");
    view.x0 = 1001, view.x1 = 1500;
    EXPECT_EQ(PictureTitle("spiked.dat", d, view).toStdString(), "spiked.dat    1 line, line 1001");
    view.x0 = 2000, view.x1 = 3000;
    EXPECT_EQ(PictureTitle("spiked.dat", d, view).toStdString(), "spiked.dat    no lines");
    // Time: a margin of a minute before the first line and after the last; the lines' own times count.
    view.axis = records::Axis::Time;
    const double start = double(records::SecondsFromCivil(2026, 12, 6, 17, 45, 3));
    view.x0 = start - 60, view.x1 = start + 1059;
    EXPECT_EQ(PictureTitle("spiked.dat", d, view).toStdString(),
              "spiked.dat    1000 lines, 12-06-2026 17:45:03.000 to 12-06-2026 18:01:42.000");
}

TEST(ViewerExport, LinesFarApartAreJoined) {
    // 20 lines over 1,000 columns (line 20 in column 0, 50 columns a line), CH_L rising by 100 a line: the
    // line from line 25 (column 250) to line 26 (column 300) crosses column 275 at x = 92 + 275 = 367.
    RecordData d;
    for (std::size_t i = 0; i < 40; ++i)
        d.Append(1000 + std::int64_t(i), {std::uint16_t(1000 + 100 * i), 0, 0, 0, 0, 0, 0, 0}, i + 2);
    PictureView view;
    view.axis = records::Axis::Line;
    view.shown.fill(false);
    view.shown[0] = true;
    view.x0 = 20, view.x1 = 40;
    QImage image(1106, 400, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        DrawRecordPicture(painter, image.rect(), d, view);
    }
    auto redIn = [&](int x) {
        for (int y = 0; y < image.height(); ++y)
            if (qRed(image.pixel(x, y)) > 180 && qGreen(image.pixel(x, y)) < 60 &&
                qBlue(image.pixel(x, y)) < 60)
                return true;
        return false;
    };
    EXPECT_TRUE(redIn(367));
    EXPECT_TRUE(redIn(342));  // line 25 itself
}

// The axis' marks as "pixel label/date" for a plot whose columns start at x = 92.
std::vector<std::string> Ticks(const PictureView& view, int width) {
    std::vector<std::string> out;
    for (const AxisTick& t : AxisTicks(view, QRect(92, 8, width, 300)))
        out.push_back(QString::number(t.px).toStdString() + " " + t.upper.toStdString() +
                      (t.lower.isEmpty() ? "" : "/" + t.lower.toStdString()));
    return out;
}

TEST(ViewerExport, TheAxisMarksRoundTimesAndLineNumbersWhereTheyLie) {
    // 12-06-2026 17:45:03 is second 63,903 of its day; 1,000 s over 1,000 pixels: a mark every 2 minutes
    // (the first step of at least 120 pixels), the first at 17:46:00, 57 s in.
    const double start = double(records::SecondsFromCivil(2026, 12, 6, 17, 45, 3));
    PictureView view;
    view.x0 = start, view.x1 = start + 1000;
    EXPECT_EQ(Ticks(view, 1000),
              (std::vector<std::string>{"149 17:46/12-06-2026", "269 17:48", "389 17:50", "509 17:52",
                                        "629 17:54", "749 17:56", "869 17:58", "989 18:00"}));
    // Over midnight: the new day's date under its first mark.
    const double midnight = double(records::SecondsFromCivil(2026, 12, 7, 0, 0, 0));
    view.x0 = midnight - 300, view.x1 = midnight + 300;
    EXPECT_EQ(Ticks(view, 600), (std::vector<std::string>{"152 23:56/12-06-2026", "272 23:58",
                                                          "392 00:00/12-07-2026", "512 00:02", "632 00:04"}));
    // 2 s over 1,000 pixels: a mark every half second, with tenths.
    view.x0 = start, view.x1 = start + 2;
    EXPECT_EQ(Ticks(view, 1000), (std::vector<std::string>{"92 17:45:03.0/12-06-2026", "342 17:45:03.5",
                                                           "592 17:45:04.0", "842 17:45:04.5"}));
    // Half a second over 1,000 pixels from 17:45:03.3: a mark every tenth, each labelled with its own tenth
    // (seconds since 1970 are too large for tenths added up in floating point to stay on them).
    view.x0 = start + 0.3, view.x1 = start + 0.8;
    EXPECT_EQ(Ticks(view, 1000),
              (std::vector<std::string>{"92 17:45:03.3/12-06-2026", "292 17:45:03.4", "492 17:45:03.5",
                                        "692 17:45:03.6", "892 17:45:03.7"}));
    EXPECT_EQ(XLabel(RecordData(), view, start + 0.5).toStdString(), "12-06-2026 17:45:03.500");
    // Line numbers are the file's: x = 100 is line 100. 1,000 lines over 1,000 pixels: every 100 lines.
    view.axis = records::Axis::Line;
    view.x0 = 50, view.x1 = 1050;
    EXPECT_EQ(Ticks(view, 1000),
              (std::vector<std::string>{"142 100", "242 200", "342 300", "442 400", "542 500", "642 600",
                                        "742 700", "842 800", "942 900", "1042 1000"}));
    EXPECT_EQ(XLabel(RecordData(), view, 302).toStdString(), "line 302");
}

// All lines fill the width but a fiftieth of their span at each end, however short the record.
TEST(ViewerExport, FitAllLeavesAFiftiethOfTheSpanAtEachEnd) {
    const double start = double(records::SecondsFromCivil(2026, 12, 6, 17, 45, 3));
    RecordData d;
    d.Append(std::int64_t(start), records::Values{}, 2);
    PictureView view = FitAll(d, PictureView{});
    EXPECT_DOUBLE_EQ(view.x0, start - 0.5) << "one line: half a second each side";
    EXPECT_DOUBLE_EQ(view.x1, start + 0.5);
    d.Append(std::int64_t(start) + 10, records::Values{}, 3);
    view = FitAll(d, PictureView{});
    EXPECT_DOUBLE_EQ(view.x0, start - 0.2);
    EXPECT_DOUBLE_EQ(view.x1, start + 10.2);
    // Four lines in one second lie at its quarters: 0.75 s, so 0.015 s each side.
    RecordData second;
    for (int i = 0; i < 4; ++i) second.Append(std::int64_t(start), records::Values{}, std::size_t(i) + 2);
    view = FitAll(second, PictureView{});
    EXPECT_NEAR(view.x0, start - 0.015, 1e-6);
    EXPECT_NEAR(view.x1, start + 0.765, 1e-6);
}

TEST(ViewerExport, SvgParses) {
    const RecordData d = Spiked();
    PictureView view = FitAll(d, PictureView{});
    view.title = "spiked.dat";
    const std::string path = Temp("view.svg");
    QString error;
    ASSERT_TRUE(WriteSvg(QString::fromStdString(path), QSize(1600, 900), d, view, error))
        << error.toStdString();
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    int elements = 0;
    QString root;
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && elements++ == 0) root = xml.name().toString();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(root, "svg");
    EXPECT_GT(elements, 50);
    QSvgRenderer renderer(QString::fromStdString(path));
    EXPECT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBox(), QRect(0, 0, 1600, 900));
    std::remove(path.c_str());
}

TEST(ViewerExport, CsvOfTheVisibleRangeReadsBackAsTheRecord) {
    const RecordData d = Spiked();
    const std::string path = Temp("range.csv");
    QString error;
    ASSERT_TRUE(WriteCsv(QString::fromStdString(path), d, 498, 503, error));
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text,
              "DATE,TIME,CH_L,CH_C,CH_R,DENSITY,SYM1,SYM2,VECTOR,TEMP\r\n"
              "12-06-2026,17:53:21,1,2,3,100,5,6,7,498\r\n"
              "12-06-2026,17:53:22,1,2,3,100,5,6,7,499\r\n"
              "12-06-2026,17:53:23,1,2,3,60000,5,6,7,500\r\n"
              "12-06-2026,17:53:24,1,2,3,100,5,6,7,501\r\n"
              "12-06-2026,17:53:25,1,2,3,100,5,6,7,502\r\n");
    // With TABs for the commas it is a record file again, with the same lines.
    std::string record = text;
    std::replace(record.begin(), record.end(), ',', '\t');
    records::RecordParser back;
    back.Feed(record);
    back.End();
    EXPECT_TRUE(back.HasHeader());
    ASSERT_EQ(back.Data().Size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(back.Data().At(i), d.At(498 + i));
        EXPECT_EQ(back.Data().Second(i), d.Second(498 + i));
    }
    std::remove(path.c_str());
}

// On a full disk an export says why and leaves the old file as it was, with nothing cut beside it.
TEST(ViewerExport, AnExportThatDoesNotFitKeepsTheOldFileAndSaysWhy) {
    namespace fs = std::filesystem;
    const fs::path dir = Temp("full");
    fs::create_directory(dir);
    const RecordData d = Spiked();
    PictureView view = FitAll(d, PictureView{});
    for (const char* name : {"old.png", "old.svg", "old.csv"}) {
        const QString path = QString::fromStdString((dir / name).string());
        std::ofstream(path.toStdString()) << "old\n";
        QString error;
        bool written;
        {
            FileSizeLimit limit(1000);  // no file may grow past 1,000 bytes: a full disk
            written = QString(name).endsWith("png")   ? WritePng(path, QSize(800, 450), d, view, error)
                      : QString(name).endsWith("svg") ? WriteSvg(path, QSize(800, 450), d, view, error)
                                                      : WriteCsv(path, d, 0, d.Size(), error);
        }
        EXPECT_FALSE(written) << name;
        EXPECT_EQ(error, "cannot write " + path + " (File too large)");
        std::ifstream in(path.toStdString());
        EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "old\n") << name;
    }
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 3) << "nothing cut left beside them";
    fs::remove_all(dir);
}

TEST(PlotArguments, ReadAndRefused) {
    const std::vector<std::string_view> good = {
        "rec.dat", "--signals", "CH_L,TEMP", "--from", "17:45:00", "--to", "12-07-2026 01:00:00.5",
        "--svg",   "out.svg",   "--size",    "800x600"};
    PlotOptions o;
    std::string error;
    ASSERT_TRUE(ParsePlotArguments(good, o, error)) << error;
    EXPECT_EQ(o.file, "rec.dat");
    EXPECT_EQ(o.out, "out.svg");
    EXPECT_TRUE(o.svg);
    EXPECT_EQ(o.width, 800);
    EXPECT_EQ(o.height, 600);
    EXPECT_EQ(o.shown, (std::array<bool, 8>{true, false, false, false, false, false, false, true}));
    const std::int64_t first = records::SecondsFromCivil(2026, 12, 6, 17, 44, 0);
    const double day = 20793 * 86400.0;  // 12-06-2026: 2026-01-01 is day 20,454, and 339 days on
    double t;
    ASSERT_TRUE(ParseTimeArgument(o.from, first, t, error));
    EXPECT_DOUBLE_EQ(t, day + 63900);
    ASSERT_TRUE(ParseTimeArgument(o.to, first, t, error));
    EXPECT_DOUBLE_EQ(t, day + 86400 + 3600.5);
    EXPECT_FALSE(ParseTimeArgument("25:00:00", first, t, error));
    EXPECT_EQ(error, "the time \"25:00:00\" is not MM-DD-YYYY HH:MM:SS or HH:MM:SS");
    EXPECT_FALSE(ParseTimeArgument("01:00:60", first, t, error));
    // The last second of a day, and parts of a second.
    ASSERT_TRUE(ParseTimeArgument("23:59:59", first, t, error)) << error;
    EXPECT_DOUBLE_EQ(t, day + 86399);
    ASSERT_TRUE(ParseTimeArgument("17:45:00.25", first, t, error)) << error;
    EXPECT_DOUBLE_EQ(t, day + 63900.25);
    for (const char* wrong : {"24:00:00", "17:45:00.", "17:45:00.1234", "17:45:00,5", "7:45:00", "17:4:00"})
        EXPECT_FALSE(ParseTimeArgument(wrong, first, t, error)) << wrong;
    // A day alone is its midnight; a day not on the calendar is refused.
    ASSERT_TRUE(ParseTimeArgument("12-07-2026", first, t, error)) << error;
    EXPECT_DOUBLE_EQ(t, day + 86400);
    for (const char* wrong : {"02-29-2026", "12-32-2026 01:00:00", "12-07-20x6 01:00:00"}) {
        EXPECT_FALSE(ParseTimeArgument(wrong, first, t, error)) << wrong;
        EXPECT_EQ(error, "the time \"" + std::string(wrong) + "\" is not MM-DD-YYYY [HH:MM:SS]");
    }

    const std::vector<std::string_view> withLink = {"--link", "tcp:h:1", "rec.dat", "--png", "a.png"};
    EXPECT_FALSE(ParsePlotArguments(withLink, o, error));
    EXPECT_EQ(error, "plot reads a record file and takes no link; record one first with sensor-tool record");
    const std::vector<std::string_view> noPicture = {"rec.dat"};
    EXPECT_FALSE(ParsePlotArguments(noPicture, o, error));
    EXPECT_EQ(error, "name the picture to write with --png OUT or --svg OUT");
    const std::vector<std::string_view> badSignal = {"rec.dat", "--png", "a.png", "--signals", "CH_X"};
    EXPECT_FALSE(ParsePlotArguments(badSignal, o, error));
    EXPECT_EQ(error,
              "no signal \"CH_X\": the signals are CH_L, CH_C, CH_R, DENSITY, SYM1, SYM2, VECTOR, TEMP");
    for (std::string_view size : {"200x120", "16384x16384"}) {
        const std::vector<std::string_view> edge = {"rec.dat", "--png", "a.png", "--size", size};
        EXPECT_TRUE(ParsePlotArguments(edge, o, error)) << size << ": " << error;
    }
    for (std::string_view size : {"10x10", "300x100", "20000x600"}) {
        const std::vector<std::string_view> badSize = {"rec.dat", "--png", "a.png", "--size", size};
        EXPECT_FALSE(ParsePlotArguments(badSize, o, error));
        EXPECT_EQ(error, "--size takes WIDTHxHEIGHT in pixels, from 200x120 to 16384x16384, not \"" +
                             std::string(size) + "\"");
    }
    for (std::string_view option : {"--png", "--size", "--signals", "--from", "--to"}) {
        const std::vector<std::string_view> noValue = {"rec.dat", "--svg", "a.svg", option};
        EXPECT_FALSE(ParsePlotArguments(noValue, o, error));
        EXPECT_EQ(error, std::string(option) + " needs a value");
    }
}

TEST(ViewerWindow, FollowsAGrowingFileWithinASecond) {
    const std::string path = Temp("growing.dat");
    std::ofstream(path, std::ios::binary)
        << "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n"
           "12-06-2026\t17:45:03\t10\t2\t3\t4\t5\t6\t7\t8\r\n"
           "12-06-2026\t17:45:04\t20\t2\t3\t4\t5\t6\t7\t8\r\n"
           "12-06-2026\t17:45:05\t30\t2\t3\t4\t5\t6\t7\t8\r\n";
    ViewerWindow window(QString::fromStdString(path), "4711", true);
    window.show();
    EXPECT_EQ(window.windowTitle().toStdString(),
              Temp("growing.dat").substr(testing::TempDir().size()) + " (sensor 4711) - Record viewer");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading() && window.Data().Size() == 3; }, 5000));
    std::ofstream(path, std::ios::binary | std::ios::app)
        << "12-06-2026\t17:45:06\t40\t2\t3\t4\t5\t6\t7\t8\r\n"
           "12-06-2026\t17:45:07\t50\t2\t3\t4\t5\t6\t7\t8\r\n";
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Data().Size() == 5; }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    // The view still shows all lines, and the statistics count them: CH_L 10..50, mean 30, deviation √200.
    QTableWidget* stats = window.StatsTable();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stats->item(0, 2)->text() == "5"; }, 2000));
    EXPECT_EQ(stats->item(0, 3)->text(), "10");
    EXPECT_EQ(stats->item(0, 4)->text(), "50");
    EXPECT_EQ(stats->item(0, 5)->text(), "30.00");
    EXPECT_EQ(stats->item(0, 6)->text(), "14.14");
    if (const char* shot = std::getenv("VIEWER_SHOT")) window.grab().save(shot);
    std::remove(path.c_str());
}

TEST(ViewerWindow, FollowKeepsAZoomedInEndInViewAndTheCursorShowsItsLine) {
    const std::string path = Temp("zoomed-end.dat");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 10; ++i)
            out << "12-06-2026\t17:45:0" << i << "\t" << 10 * i << "\t2\t3\t4\t5\t6\t7\t8\r\n";
    }
    ViewerWindow window(QString::fromStdString(path), "", true);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading() && window.Data().Size() == 10; }, 5000));
    std::vector<std::string> boxes;
    for (const QCheckBox* box : window.findChildren<QCheckBox*>()) boxes.push_back(box->text().toStdString());
    EXPECT_EQ(boxes, (std::vector<std::string>{"CH_L", "CH_C", "CH_R", "DENSITY", "SYM1", "SYM2", "VECTOR",
                                               "TEMP"}));
    // Zoomed in on the last seconds: two more lines, one second apart, move the view on by 2 s.
    window.ZoomAt(0.5, window.View().x1);
    const PictureView zoomed = window.View();
    std::ofstream(path, std::ios::binary | std::ios::app)
        << "12-06-2026\t17:45:10\t100\t2\t3\t4\t5\t6\t7\t8\r\n"
           "12-06-2026\t17:45:11\t110\t2\t3\t4\t5\t6\t7\t8\r\n";
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Data().Size() == 12; }, 3000));
    EXPECT_NEAR(window.View().x0, zoomed.x0 + 2, 1e-6);
    EXPECT_NEAR(window.View().x1, zoomed.x1 + 2, 1e-6);
    // The cursor on line 12 shows its values; taken away, none.
    QTableWidget* stats = window.StatsTable();
    window.SetCursorLine(11);
    EXPECT_EQ(stats->item(0, 1)->text(), "110");
    window.SetCursorLine(-1);
    EXPECT_EQ(stats->item(0, 1)->text(), "");
    window.SetCursorLine(12);  // past the last line
    EXPECT_EQ(stats->item(0, 1)->text(), "");
    std::remove(path.c_str());
}

TEST(ViewerWindow, AFollowedFileReplacedIsShownAfreshAndOneCutShortIsSaidSo) {
    const std::string path = Temp("replaced.dat"), other = Temp("replaced.new");
    const std::string header = "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";
    std::ofstream(path, std::ios::binary) << header << "12-06-2026\t17:45:03\t10\t2\t3\t4\t5\t6\t7\t8\r\n"
                                          << "12-06-2026\t17:45:04\t20\t2\t3\t4\t5\t6\t7\t8\r\n"
                                          << "12-06-2026\t17:45:05\t30\t2\t3\t4\t5\t6\t7\t8\r\n";
    ViewerWindow window(QString::fromStdString(path), "", true);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading() && window.Data().Size() == 3; }, 5000));
    window.ZoomAt(0.25, window.View().x0);  // looking at the first second only
    // A new record renamed over the file (57 + 38 + 38 bytes): its two lines alone are shown, all of them.
    std::ofstream(other, std::ios::binary) << header << "12-07-2026\t08:00:00\t70\t2\t3\t4\t5\t6\t7\t8\r\n"
                                           << "12-07-2026\t08:00:01\t80\t2\t3\t4\t5\t6\t7\t8\r\n";
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.Data().Size() == 2 && window.Data().At(0)[0] == 70; }, 3000));
    const double eight = 20794 * 86400.0 + 8 * 3600;  // 12-07-2026 08:00:00 (2026-01-01 is day 20,454)
    EXPECT_LT(window.View().x0, eight);
    EXPECT_GT(window.View().x1, eight + 1);
    EXPECT_TRUE(QRegularExpression(
                    "^2 lines   \\|   following   \\|   \\d\\d:\\d\\d:\\d\\d  the file was replaced by "
                    "another file of the same name while it was read: it is read again from "
                    "its start$")
                    .match(window.StatusText())
                    .hasMatch())
        << window.StatusText().toStdString();
    QTableWidget* stats = window.StatsTable();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stats->item(0, 2)->text() == "2"; }, 2000));
    EXPECT_EQ(stats->item(0, 3)->text(), "70");
    EXPECT_EQ(stats->item(0, 4)->text(), "80");
    // Its last line cut off: said so, following ends, both lines stay.
    std::filesystem::resize_file(path, 95);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.StatusText().contains("shorter"); }, 3000));
    EXPECT_TRUE(window.StatusText().startsWith(
        "2 lines   |   the file became shorter while it was read (95 bytes, 133 had been read): its end was "
        "cut "
        "off; the lines read before are shown; open it again to see what it holds now."))
        << window.StatusText().toStdString();
    EXPECT_EQ(window.Data().Size(), 2u);
    EXPECT_EQ(window.Data().At(1)[0], 80);
    std::remove(path.c_str());
}

TEST(ViewerWindow, WheelZoomsAroundTheMouseAndHomeFitsAll) {
    const std::string path = Temp("zoom.dat");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 100; ++i)
            out << "12-06-2026\t17:" << 10 + i / 60 << ":" << (i % 60 < 10 ? "0" : "") << i % 60
                << "\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    }
    ViewerWindow window(QString::fromStdString(path), "", false);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading(); }, 5000));
    ASSERT_EQ(window.Data().Size(), 100u);
    const PictureView all = window.View();
    // 99 s of lines and 2 % (1.98 s) on either side; times near 1.8e9 s round at about 2e-7 s.
    EXPECT_NEAR(all.x1 - all.x0, 102.96, 1e-6);
    window.ZoomAt(0.5, all.x0 + 10);
    EXPECT_NEAR(window.View().x1 - window.View().x0, 51.48, 1e-6);
    EXPECT_NEAR(window.View().x0, all.x0 + 5, 1e-6);
    // Zoomed in as far as it goes: ten milliseconds around the mouse, where the axis still has marks.
    for (int i = 0; i < 40; ++i) window.ZoomAt(0.5, all.x0 + 10);
    EXPECT_NEAR(window.View().x1 - window.View().x0, 0.01, 1e-6);
    EXPECT_NEAR(window.View().x0, all.x0 + 10 - 0.005, 1e-6);
    QWidget* canvas = window.findChild<QWidget*>("canvas");
    ASSERT_NE(canvas, nullptr);
    canvas->setFocus();
    QTest::keyClick(canvas, Qt::Key_Home);
    EXPECT_NEAR(window.View().x0, all.x0, 1e-6);
    EXPECT_NEAR(window.View().x1, all.x1, 1e-6);
    std::remove(path.c_str());
}

// The desktop's keys: Ctrl+O asks for another record file, Ctrl+W closes the window, Ctrl+Q all.
TEST(ViewerWindow, TheDesktopsKeysOpenAndClose) {
    const std::string path = Temp("keys.dat");
    std::ofstream(path, std::ios::binary) << "12-06-2026\t17:10:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    ViewerWindow window(QString::fromStdString(path), "", false);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QString asked;
    QTimer::singleShot(0, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            asked = dialog->windowTitle();
            dialog->close();
        }
    });
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(asked, "Open record file");
    ASSERT_TRUE(window.isVisible());
    window.activateWindow();  // as a desktop's window manager does when the dialog goes
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible()) << "Ctrl+Q closes every window";
    std::remove(path.c_str());
}

// The window's exports refuse the open record as their file and say so; here the names the save dialogs
// offer, links to the record.
TEST(ViewerWindow, ExportsRefuseTheOpenRecordFile) {
    namespace fs = std::filesystem;
    const std::string path = Temp("exported.dat"), png = Temp("exported.png"), csv = Temp("exported.csv");
    const std::string record = "12-06-2026\t17:10:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    std::ofstream(path, std::ios::binary) << record;
    fs::create_symlink(path, png);
    fs::create_symlink(path, csv);
    ViewerWindow window(QString::fromStdString(path), "", false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    std::map<QString, QAction*> actions;
    for (QAction* action : window.findChildren<QAction*>()) actions[action->text()] = action;
    ASSERT_TRUE(actions["PNG..."] && actions["CSV..."]);
    // Takes the name the save dialog offers, confirms replacing it, and keeps what the export says then.
    // Each window is answered once, queued, for each answer opens the next.
    auto exportBy = [&](QAction* action) {
        QString said;
        std::vector<QPointer<QWidget>> answered;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() ||
                std::find(answered.begin(), answered.end(), modal) != answered.end())
                return;
            answered.emplace_back(modal);
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
                    QMetaObject::invokeMethod(yes, "click", Qt::QueuedConnection);
                } else {
                    said = box->text();
                    QMetaObject::invokeMethod(box, "close", Qt::QueuedConnection);
                }
            }
        });
        answer.start(10);
        action->trigger();
        return said;
    };
    EXPECT_EQ(exportBy(actions["PNG..."]), "The picture " + QString::fromStdString(png) +
                                               " is the record file itself; give the picture another name.");
    EXPECT_EQ(exportBy(actions["CSV..."]), "The CSV file " + QString::fromStdString(csv) +
                                               " is the record file itself; give the CSV file another name.");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), record);
    EXPECT_TRUE(fs::is_symlink(png) && fs::is_symlink(csv));
    for (const std::string& f : {path, png, csv}) std::remove(f.c_str());
}

// The window opens within the screen's free area, with room for a title bar: on this test's 800 x 600
// screen at most 720 x 540 (on a 1366 x 768 laptop 1229 x 691), and 1280 x 860 where that fits.
TEST(ViewerWindow, OpensWithinTheScreen) {
    const std::string path = Temp("size.dat");
    std::ofstream(path, std::ios::binary) << "12-06-2026\t17:10:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    ViewerWindow window(QString::fromStdString(path), "", false);
    const QSize room = window.screen()->availableGeometry().size();
    EXPECT_LE(window.width(), room.width() * 9 / 10);
    EXPECT_LE(window.height(), room.height() * 9 / 10);
    EXPECT_EQ(window.width(), std::min(1280, room.width() * 9 / 10));
}

// A file whose clock went back is laid out by line number only: on a time axis its lines would fall on top
// of each other, and a range of times would not be a range of lines.
TEST(ViewerWindow, AClockThatWentBackKeepsTheLineAxis) {
    const std::string path = Temp("clockback.dat");
    {
        std::ofstream out(path, std::ios::binary);
        for (const char* hour : {"10", "09"})
            for (int s = 0; s < 30; ++s)
                out << "12-06-2026\t" << hour << ":00:" << (s < 10 ? "0" : "") << s
                    << "\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    }
    ViewerWindow window(QString::fromStdString(path), "", false);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading() && window.Data().Size() == 60; }, 5000));
    QAction* lineAxis = nullptr;
    for (QAction* a : window.findChildren<QAction*>())
        if (a->text() == "Line numbers") lineAxis = a;
    ASSERT_NE(lineAxis, nullptr);
    EXPECT_TRUE(lineAxis->isChecked());
    EXPECT_FALSE(lineAxis->isEnabled()) << "the time axis cannot be chosen";
    EXPECT_EQ(window.View().axis, records::Axis::Line);
    EXPECT_EQ(VisibleLines(window.Data(), window.View()), (std::pair<std::size_t, std::size_t>{0, 60}));
    EXPECT_TRUE(window.StatusText().contains("the clock went back within the file"))
        << window.StatusText().toStdString();
    std::remove(path.c_str());
}

// Follow on a file that is not there yet reads it as soon as it is.
TEST(ViewerWindow, FollowReadsAFileOnceItAppears) {
    const std::string path = Temp("later.dat");
    std::remove(path.c_str());
    ViewerWindow window(QString::fromStdString(path), "", true);
    window.show();
    EXPECT_TRUE(window.StatusText().contains("No such file")) << window.StatusText().toStdString();
    std::ofstream(path, std::ios::binary) << "12-06-2026\t17:45:03\t10\t2\t3\t4\t5\t6\t7\t8\r\n";
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.Data().Size() == 1; }, 3000));
    std::ofstream(path, std::ios::binary | std::ios::app)
        << "12-06-2026\t17:45:04\t20\t2\t3\t4\t5\t6\t7\t8\r\n";
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.Data().Size() == 2; }, 3000))
        << "and goes on following it";
    std::remove(path.c_str());
}

// The lines left out are listed one a line, none wrapped or cut, in a box as wide as the longest.
TEST(ViewerWindow, ProblemsListTheLinesLeftOutOneALine) {
    const std::string path = Temp("problems.dat");
    std::ofstream(path, std::ios::binary)
        << "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n"
           "12-06-2026\t17:10:00\t1\t2\t3\t4\t5\t6\t7\t8\r\n"
           "12-06-2026\t17:10:01\t1\t2\t3\t4\t5\t6\t7\t-8\r\n"
           "garbage\r\n"
           "12-06-2026\t17:10:02\t1\t2\t3\t4\t5\t6\t7\t8\r\n";
    ViewerWindow window(QString::fromStdString(path), "", false);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading() && window.Data().Size() == 2; }, 5000));
    QToolButton* problems = nullptr;
    for (QToolButton* b : window.findChildren<QToolButton*>())
        if (b->text() == "Problems...") problems = b;
    ASSERT_NE(problems, nullptr);
    ASSERT_TRUE(problems->isVisible());
    QTest::mouseClick(problems, Qt::LeftButton);
    QWidget* dialog = nullptr;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return (dialog = QApplication::activeModalWidget()) != nullptr; }, 2000));
    EXPECT_EQ(dialog->windowTitle(), "Record file");
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal) << "the program's other windows stay in use";
    auto* text = dialog->findChild<QPlainTextEdit*>("problems");
    ASSERT_NE(text, nullptr);
    const QString shown = text->toPlainText();
    const bool wrapped = text->lineWrapMode() != QPlainTextEdit::NoWrap;
    const bool scrolls = text->horizontalScrollBar()->maximum() > 0;
    dialog->close();
    EXPECT_EQ(shown.toStdString(),
              "line 3: TEMP \"-8\" is not a number from 0 to 65535\n"
              "line 4: 1 field instead of 10 (date, time and eight values, separated by TABs)\n"
              "2 lines are left out; the others are shown.");
    EXPECT_FALSE(wrapped);
    EXPECT_FALSE(scrolls) << "the box is as wide as its longest line";
    std::remove(path.c_str());
}

TEST(ViewerWindow, TheMouseSetsTheCursorZoomsToABoxAndPans) {
    const std::string path = Temp("mouse.dat");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 100; ++i)  // one a second from 17:10:00, CH_L = the line's index
            out << "12-06-2026\t17:" << 10 + i / 60 << ":" << (i % 60 < 10 ? "0" : "") << i % 60 << "\t" << i
                << "\t2\t3\t4\t5\t6\t7\t8\r\n";
    }
    ViewerWindow window(QString::fromStdString(path), "", false);
    window.resize(1280, 860);
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Loading() && window.Data().Size() == 100; }, 5000));
    QWidget* canvas = window.findChild<QWidget*>("canvas");
    ASSERT_NE(canvas, nullptr);
    const records::RecordData& d = window.Data();
    auto pixelOf = [&](double line) {  // where line `line` (fractions between lines) lies on the canvas
        const PictureView& v = window.View();
        const QRect plot = LayoutOf(canvas->rect(), v).plot;
        const double x = d.Time(0) + line;
        return QPoint(int(std::lround(plot.left() + (x - v.x0) * plot.width() / (v.x1 - v.x0))),
                      plot.center().y());
    };
    QTest::mouseMove(canvas, pixelOf(50));
    EXPECT_EQ(window.View().cursor, 50);
    EXPECT_EQ(window.StatsTable()->item(0, 1)->text(), "50");  // CH_L at the cursor
    EXPECT_EQ(window.StatsTable()->item(7, 1)->text(), "8");
    // Shift+drag from between lines 19 and 20 to between 40 and 41: lines 20..40 in view.
    const QPoint from = pixelOf(19.5), to = pixelOf(40.5);
    QTest::mousePress(canvas, Qt::LeftButton, Qt::ShiftModifier, from);
    QTest::mouseMove(canvas, to);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::ShiftModifier, to);
    EXPECT_EQ(VisibleLines(d, window.View()), (std::pair<std::size_t, std::size_t>{20, 41}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.StatsTable()->item(0, 2)->text() == "21"; }, 2000));
    EXPECT_EQ(window.StatsTable()->item(0, 3)->text(), "20");
    EXPECT_EQ(window.StatsTable()->item(0, 4)->text(), "40");
    EXPECT_EQ(window.StatsTable()->item(0, 5)->text(), "30.00");
    // Dragging to the right by the width of five lines shows five lines further left.
    const double span = window.View().x1 - window.View().x0;
    const QPoint grab = pixelOf(30), release = pixelOf(35);
    const double moved =
        double(release.x() - grab.x()) * span / LayoutOf(canvas->rect(), window.View()).plot.width();
    const double x0 = window.View().x0;
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, grab);
    QTest::mouseMove(canvas, release);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, release);
    EXPECT_NEAR(window.View().x0, x0 - moved, 1e-6);
    EXPECT_NEAR(moved, 5.0, 0.1);
    std::remove(path.c_str());
}

// sensor-tool plot without a display: the picture, and nothing but its own lines on the error stream.
TEST(SensorToolPlot, DrawsWithoutADisplayAndSaysWhatIsWrong) {
    const std::string dat = Temp("plot.dat"), png = Temp("plot.png"), err = Temp("plot.err");
    std::ofstream(dat, std::ios::binary)
        << "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n"
           "12-06-2026\t17:45:03\t10\t2\t3\t4\t5\t6\t7\t8\r\n"
           "12-06-2026\t17:45:04\t20\t2\t3\t4\t5\t6\t7\r\n"
           "12-06-2026\t17:45:05\t30\t2\t3\t4\t5\t6\t7\t8\r\n";
    const std::string run =
        std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM ") + TOOL_PATH +
        " plot " + dat + " --png " + png + " --size 640x400 2> " + err;
    EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 0);
    const QImage image(QString::fromStdString(png));
    EXPECT_EQ(image.size(), QSize(640, 400));
    std::ifstream in(err);
    const std::string said((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(said, "sensor-tool: " + dat +
                        ": line 3: 9 fields instead of 10 (date, time and eight values, "
                        "separated by TABs)\n"
                        "sensor-tool: " +
                        dat + ": 1 line is left out; the others are shown.\n");
    const std::string missing = std::string(TOOL_PATH) + " plot /nonexistent.dat --svg " + png + " 2> " + err;
    EXPECT_EQ(WEXITSTATUS(std::system(missing.c_str())), 5);
    const std::string badArgs =
        std::string(TOOL_PATH) + " plot " + dat + " --png " + png + " --signals X 2> " + err;
    EXPECT_EQ(WEXITSTATUS(std::system(badArgs.c_str())), 2);

    // Nothing to draw is no picture: a batch job learns it by the exit code, and no axis is invented.
    auto plot = [&](const std::string& file, const std::string& more) {
        std::remove(png.c_str());
        const std::string command =
            std::string(TOOL_PATH) + " plot " + file + " --png " + png + more + " 2> " + err;
        const int code = WEXITSTATUS(std::system(command.c_str()));
        std::ifstream stream(err);
        return std::pair{code, std::string((std::istreambuf_iterator<char>(stream)), {})};
    };
    const std::string header = Temp("header.dat");
    std::ofstream(header, std::ios::binary)
        << "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n";
    EXPECT_EQ(plot(header, ""),
              std::pair(5, "sensor-tool: " + header + ": The file holds the header line only.\n" +
                               "sensor-tool: " + header + ": no line to draw; nothing was written\n"));
    EXPECT_FALSE(std::filesystem::exists(png));
    const auto [code, said2] = plot(dat, " --from 18:00:00 --to 18:00:10");
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(said2.ends_with("sensor-tool: no line of " + dat +
                                " lies in --from 18:00:00 --to 18:00:10; nothing was written\n"))
        << said2;
    EXPECT_FALSE(std::filesystem::exists(png));
    for (const std::string& f : {dat, png, err, header}) std::remove(f.c_str());
}

// A picture never takes the place of the record it is drawn from, by its name or through a link; and one
// that does not fit on the disk ends plot with exit code 5 and the system's reason, the old picture kept.
TEST(SensorToolPlot, RefusesItsOwnRecordAndKeepsAPictureThatDoesNotFit) {
    namespace fs = std::filesystem;
    const fs::path dir = Temp("own");
    fs::create_directory(dir);
    const std::string dat = (dir / "r.dat").string(), link = (dir / "r.png").string(),
                      png = (dir / "p.png").string(), err = (dir / "plot.err").string();
    const std::string record =
        "DATE\tTIME\tCH_L\tCH_C\tCH_R\tDENSITY\tSYM1\tSYM2\tVECTOR\tTEMP\t\r\n"
        "12-06-2026\t17:45:03\t10\t2\t3\t4\t5\t6\t7\t8\r\n"
        "12-06-2026\t17:45:04\t20\t2\t3\t4\t5\t6\t7\t8\r\n";
    std::ofstream(dat, std::ios::binary) << record;
    fs::create_symlink("r.dat", link);
    auto plot = [&](const std::string& out) {
        const std::string command = std::string(TOOL_PATH) + " plot " + dat + " --png " + out + " 2> " + err;
        const int code = WEXITSTATUS(std::system(command.c_str()));
        std::ifstream in(err);
        return std::pair{code, std::string((std::istreambuf_iterator<char>(in)), {})};
    };
    auto contents = [](const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    };
    for (const std::string& out : {dat, link}) {
        EXPECT_EQ(plot(out), std::pair(2, "sensor-tool: the picture " + out +
                                              " is the record file itself; give the picture another name\n"));
        EXPECT_EQ(contents(dat), record);
        EXPECT_TRUE(fs::is_symlink(link));
    }

    std::ofstream(png) << "old picture\n";
    {
        FileSizeLimit limit(1000);  // the tool inherits it: a disk full after 1,000 bytes
        EXPECT_EQ(plot(png), std::pair(5, "sensor-tool: cannot write " + png + " (File too large)\n"));
    }
    EXPECT_EQ(contents(png), "old picture\n");
    int files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++files;
    EXPECT_EQ(files, 4) << "nothing cut left beside the picture";
    fs::remove_all(dir);
}

// The window program's help needs no display.
TEST(RecordViewerProgram, HelpWithoutADisplay) {
    const std::string viewer = (std::filesystem::path(TOOL_PATH).parent_path() / "RecordViewer").string();
    const std::string out = Temp("help.out"), err = Temp("help.err");
    const std::string run =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + viewer + " --help > " + out + " 2> " + err;
    EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 0);
    std::ifstream said(out), complaint(err);
    std::string first;
    std::getline(said, first);
    EXPECT_EQ(first, "usage: RecordViewer [--follow] [--sensor-id ID] [FILE...]");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(complaint)), {}), "");
    // Without a display a window cannot open: said so, where Qt would abort.
    const std::string window =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + viewer + " r.dat 2> " + err;
    EXPECT_EQ(WEXITSTATUS(std::system(window.c_str())), 1);
    std::ifstream noDisplay(err);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(noDisplay)), {}),
              "RecordViewer: there is no display to open the window on (DISPLAY is not set); start it on the "
              "desktop, or use sensor-tool on a console\n");
    for (const std::string& f : {out, err}) std::remove(f.c_str());
}

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
