#include "record_picture.h"

#include <sys/stat.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QSvgGenerator>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "whole_file.h"

using records::Axis;
using records::RecordData;

namespace {
constexpr int kLabelWidth = 92, kRightMargin = 14, kTopMargin = 8, kTitleHeight = 24, kAxisHeight = 40,
              kLaneGap = 6;

double PixelOf(double x, const PictureView& v, const QRect& plot) {
    return plot.left() + (x - v.x0) * plot.width() / (v.x1 - v.x0);
}

// A step of the x axis that leaves at least `minPixels` between labels.
double TimeStep(double span, int width, int minPixels) {
    static constexpr double steps[] = {0.001, 0.002, 0.005, 0.01,  0.02,  0.05,  0.1,   0.2,    0.5,   1,
                                       2,     5,     10,    15,    30,    60,    120,   300,    600,   900,
                                       1800,  3600,  7200,  10800, 21600, 43200, 86400, 172800, 604800};
    for (double step : steps)
        if (step * width / span >= minPixels) return step;
    return std::ceil(span / (width / double(minPixels)) / 604800) * 604800;
}
double LineStep(double span, int width, int minPixels) {
    for (double magnitude = 1;; magnitude *= 10)
        for (double f : {1.0, 2.0, 5.0})
            if (f * magnitude * width / span >= minPixels) return f * magnitude;
}
}  // namespace

QColor SignalColour(int signal) {
    static constexpr QRgb colours[records::kSignals] = {0xE00000, 0x00A000, 0x0000FF, 0xFF8000,
                                                        0xFF0080, 0x006000, 0x8000C0, 0x008080};
    return QColor(colours[signal]);
}

PictureView FitAll(const RecordData& data, PictureView view) {
    if (data.Size() == 0) {
        view.x0 = 0, view.x1 = 1;
        return view;
    }
    const double first = records::XOf(data, view.axis, 0),
                 last = records::XOf(data, view.axis, data.Size() - 1);
    // A fiftieth of the span on each side; half a second around a single moment.
    const double margin = last > first ? (last - first) * 0.02 : 0.5;
    view.x0 = first - margin;
    view.x1 = last + margin;
    return view;
}

std::pair<std::size_t, std::size_t> VisibleLines(const RecordData& data, const PictureView& view) {
    const std::vector<records::Column> all = records::ReduceToColumns(data, view.axis, view.x0, view.x1, 1);
    return {all[0].first, all[0].last};
}

PictureLayout LayoutOf(const QRect& area, const PictureView& view) {
    PictureLayout layout;
    const int top = area.top() + kTopMargin + (view.title.isEmpty() ? 0 : kTitleHeight);
    layout.plot = QRect(QPoint(area.left() + kLabelWidth, top),
                        QPoint(area.right() - kRightMargin, area.bottom() - kAxisHeight));
    for (int s = 0; s < records::kSignals; ++s)
        if (view.shown[std::size_t(s)]) layout.signalOfLane.push_back(s);
    const int lanes = int(layout.signalOfLane.size());
    if (lanes == 0) return layout;
    const double height = double(layout.plot.height() + kLaneGap) / lanes;
    for (int i = 0; i < lanes; ++i) {
        const int y0 = layout.plot.top() + int(std::lround(i * height));
        const int y1 = layout.plot.top() + int(std::lround((i + 1) * height)) - kLaneGap;
        layout.lanes.emplace_back(QPoint(layout.plot.left(), y0), QPoint(layout.plot.right(), y1 - 1));
    }
    return layout;
}

QString XLabel(const RecordData& data, const PictureView& view, double x) {
    if (view.axis == Axis::Line) return QStringLiteral("line %1").arg(std::llround(x));
    (void)data;
    return QString::fromStdString(records::FormatTime(x + 1e-7, true));
}

namespace {
// The label of a time mark at `ms` milliseconds since 1970, with as many digits as a step of `stepMs` needs:
// minutes, seconds, or tenths, hundredths or thousandths.
AxisTick TimeTick(std::int64_t ms, std::int64_t stepMs, const QString& lastDate) {
    const std::int64_t second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    const std::string text = records::FormatTime(double(second), false);
    const QString date = QString::fromStdString(text.substr(0, 10));
    QString clock = QString::fromStdString(text.substr(11));
    if (stepMs >= 60000) clock.chop(3);
    if (stepMs < 1000) {
        char millis[8];
        std::snprintf(millis, sizeof millis, ".%03d", int(ms - second * 1000));
        clock += QString::fromLatin1(millis);
        clock.chop(stepMs % 100 == 0 ? 2 : stepMs % 10 == 0 ? 1 : 0);
    }
    if (stepMs >= 86400000) return {0, date, {}};
    return {0, clock, date != lastDate ? date : QString()};
}
}  // namespace

// The lines in view and where the first and the last of them lie: what the picture shows of the file, not
// the margins of its axis.
QString PictureTitle(const QString& fileName, const records::RecordData& data, const PictureView& view) {
    const auto [first, end] = VisibleLines(data, view);
    if (first == end) return fileName + QStringLiteral("    no lines");
    const QString from = XLabel(data, view, records::XOf(data, view.axis, first));
    if (end - first == 1) return fileName + QStringLiteral("    1 line, ") + from;
    return fileName + QStringLiteral("    %1 lines, %2 to %3")
                          .arg(qulonglong(end - first))
                          .arg(from, XLabel(data, view, records::XOf(data, view.axis, end - 1)));
}

std::vector<AxisTick> AxisTicks(const PictureView& v, const QRect& plot) {
    std::vector<AxisTick> ticks;
    const double span = v.x1 - v.x0;
    if (!(span > 0) || plot.width() < 1) return ticks;
    if (v.axis == Axis::Line) {
        const double step = LineStep(span, plot.width(), 90);
        for (double x = std::ceil(v.x0 / step) * step; x < v.x1; x += step)
            ticks.push_back({PixelOf(x, v, plot), QString::number(std::llround(x)), {}});
        return ticks;
    }
    // Counted in whole milliseconds: near 1.8e9 s since 1970 a double resolves only 2.4e-7 s, and steps of
    // 0.1 s added up there drift far enough for a label to show the tenth before its mark.
    const std::int64_t stepMs = std::llround(TimeStep(span, plot.width(), 120) * 1000.0);
    QString lastDate;
    for (std::int64_t ms = std::int64_t(std::ceil(v.x0 * 1000.0 / double(stepMs))) * stepMs;
         double(ms) / 1000.0 < v.x1; ms += stepMs) {
        AxisTick tick = TimeTick(ms, stepMs, lastDate);
        tick.px = PixelOf(double(ms) / 1000.0, v, plot);
        if (!tick.lower.isEmpty()) lastDate = tick.lower;
        ticks.push_back(tick);
    }
    return ticks;
}

namespace {
void DrawAxis(QPainter& p, const PictureView& v, const PictureLayout& layout) {
    const QRect& plot = layout.plot;
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.drawLine(plot.left(), plot.bottom() + 2, plot.right(), plot.bottom() + 2);
    const QFontMetrics metrics(p.font());
    for (const AxisTick& tick : AxisTicks(v, plot)) {
        p.setPen(QColor(0xE4, 0xE4, 0xE4));
        for (const QRect& lane : layout.lanes)
            p.drawLine(QPointF(tick.px, lane.top()), QPointF(tick.px, lane.bottom()));
        p.setPen(QColor(0x30, 0x30, 0x30));
        p.drawLine(QPointF(tick.px, plot.bottom() + 2), QPointF(tick.px, plot.bottom() + 6));
        // Centred under the mark, but kept whole within the picture's right edge.
        const auto left = [&](const QString& text) {
            const int w = metrics.horizontalAdvance(text);
            return std::min(tick.px - w / 2.0, double(plot.right() + kRightMargin - w));
        };
        p.drawText(QPointF(left(tick.upper), plot.bottom() + 8 + metrics.ascent()), tick.upper);
        if (!tick.lower.isEmpty())
            p.drawText(QPointF(left(tick.lower), plot.bottom() + 8 + metrics.height() + metrics.ascent()),
                       tick.lower);
    }
    if (v.axis == Axis::Line) {
        const QString caption = QStringLiteral("line");
        p.drawText(QPointF(plot.left() - kLabelWidth + 8, plot.bottom() + 8 + metrics.ascent()), caption);
    }
}

void DrawLane(QPainter& p, const RecordData& data, const PictureView& v, const QRect& plot, const QRect& lane,
              int s, const std::vector<records::Column>& columns, std::size_t visible) {
    const QColor colour = SignalColour(s);
    p.setPen(QColor(0xC8, 0xC8, 0xC8));
    p.drawRect(lane.adjusted(0, 0, -1, -1));
    std::uint16_t lo = 0xFFFF, hi = 0;
    for (const records::Column& c : columns)
        if (c.first < c.last) lo = std::min(lo, c.range.min[s]), hi = std::max(hi, c.range.max[s]);
    QFont bold = p.font();
    bold.setBold(true);
    const QFont normal = p.font();
    const QFontMetrics metrics(normal);
    const int labelLeft = lane.left() - kLabelWidth + 6, labelRight = lane.left() - 6;
    p.setFont(bold);
    p.setPen(colour);
    p.drawText(QRect(labelLeft, lane.top(), labelRight - labelLeft, lane.height()),
               Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromLatin1(records::kSignalNames[std::size_t(s)].data(),
                                   qsizetype(records::kSignalNames[std::size_t(s)].size())));
    p.setFont(normal);
    if (lo > hi) return;  // no line in view
    p.setPen(QColor(0x50, 0x50, 0x50));
    if (lane.height() >= 2 * metrics.height() + 4) {
        // A flat signal has its one value beside its line.
        p.drawText(lo == hi ? QRect(labelLeft, lane.top(), labelRight - labelLeft, lane.height())
                            : QRect(labelLeft, lane.top(), labelRight - labelLeft, metrics.height()),
                   Qt::AlignRight | (lo == hi ? Qt::AlignVCenter : Qt::AlignTop), QString::number(hi));
        if (lo != hi)
            p.drawText(
                QRect(labelLeft, lane.bottom() - metrics.height(), labelRight - labelLeft, metrics.height()),
                Qt::AlignRight | Qt::AlignBottom, QString::number(lo));
    }
    const double low = lo == hi ? lo - 1.0 : lo, high = lo == hi ? hi + 1.0 : hi;
    const double top = lane.top() + 5.0, bottom = lane.bottom() - 4.0;
    auto y = [&](std::uint16_t value) { return bottom - (value - low) * (bottom - top) / (high - low); };
    std::vector<QLineF> lines;
    lines.reserve(columns.size() * 2 + 2);
    bool havePrevious = false;
    QPointF previous;
    const std::size_t firstInView = columns.front().first;
    if (firstInView > 0) {
        previous = {PixelOf(records::XOf(data, v.axis, firstInView - 1), v, plot),
                    y(data.At(firstInView - 1)[std::size_t(s)])};
        havePrevious = true;
    }
    std::size_t previousColumn = std::size_t(-2);
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const records::Column& col = columns[c];
        if (col.first == col.last) continue;
        const double px = plot.left() + double(c) + 0.5;
        double upper = y(col.range.max[s]) - 0.5, lower = y(col.range.min[s]) + 0.5;
        if (havePrevious && previousColumn + 1 == c) {
            // From the column before, one pixel away: its last value joins this column's span.
            upper = std::min(upper, previous.y()), lower = std::max(lower, previous.y());
        } else if (havePrevious) {
            lines.emplace_back(previous, QPointF(px, y(data.At(col.first)[std::size_t(s)])));
        }
        lines.emplace_back(px, lower, px, upper);
        previous = {px, y(data.At(col.last - 1)[std::size_t(s)])};
        havePrevious = true;
        previousColumn = c;
    }
    const std::size_t after = columns.back().last;
    if (havePrevious && after < data.Size())
        lines.emplace_back(previous, QPointF(PixelOf(records::XOf(data, v.axis, after), v, plot),
                                             y(data.At(after)[std::size_t(s)])));
    p.save();
    p.setClipRect(lane.adjusted(1, 1, -1, -1));
    p.setPen(QPen(colour, 1.0));
    p.drawLines(lines.data(), int(lines.size()));
    // Few enough lines to tell apart: each is a dot as well.
    if (visible > 0 && visible * 6 <= std::size_t(plot.width())) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setBrush(colour);
        // Centred on a pixel, so that each dot has the same solid core wherever it lies.
        for (std::size_t i = firstInView; i < after; ++i)
            p.drawEllipse(QPointF(std::floor(PixelOf(records::XOf(data, v.axis, i), v, plot)) + 0.5,
                                  std::floor(y(data.At(i)[std::size_t(s)])) + 0.5),
                          2.5, 2.5);
    }
    p.restore();
}
}  // namespace

void DrawRecordPicture(QPainter& p, const QRect& area, const RecordData& data, const PictureView& v) {
    p.fillRect(area, Qt::white);
    const PictureLayout layout = LayoutOf(area, v);
    if (!v.title.isEmpty()) {
        p.setPen(Qt::black);
        p.drawText(QRect(area.left() + 8, area.top() + 4, area.width() - 16, kTitleHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, v.title);
    }
    if (layout.plot.width() < 4 || layout.plot.height() < 4 || !(v.x1 > v.x0)) return;
    const std::vector<records::Column> columns =
        records::ReduceToColumns(data, v.axis, v.x0, v.x1, layout.plot.width());
    const std::size_t visible = columns.back().last - columns.front().first;
    if (data.Size() > 0) DrawAxis(p, v, layout);  // no line, no time: an axis would invent one
    for (std::size_t i = 0; i < layout.lanes.size(); ++i)
        DrawLane(p, data, v, layout.plot, layout.lanes[i], layout.signalOfLane[i], columns, visible);
    if (layout.lanes.empty()) {
        p.setPen(Qt::gray);
        p.drawText(layout.plot, Qt::AlignCenter, QStringLiteral("No signal chosen"));
    } else if (visible == 0) {
        p.setPen(Qt::gray);
        p.drawText(layout.plot, Qt::AlignCenter,
                   data.Size() == 0 ? QStringLiteral("No lines") : QStringLiteral("No lines in this range"));
    }
    if (v.cursor >= 0 && std::size_t(v.cursor) < data.Size()) {
        const double px = PixelOf(records::XOf(data, v.axis, std::size_t(v.cursor)), v, layout.plot);
        p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1, Qt::DashLine));
        p.drawLine(QPointF(px, layout.plot.top()), QPointF(px, layout.plot.bottom()));
    }
}

namespace {
// `bytes` as the file `path`, whole or not at all: a failed write keeps the old file and leaves nothing cut.
bool WriteWhole(const QString& path, std::string_view bytes, QString& error) {
    if (WriteFileWhole(QFile::encodeName(path).toStdString(), bytes)) return true;
    const int cause = errno;
    error = QStringLiteral("cannot write %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(cause)));
    return false;
}
}  // namespace

bool SameFile(const QString& a, const QString& b) {
    struct stat sa {
    }, sb{};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// Pictures are made in memory and written whole: the encoder never meets a full disk half-way (nor prints
// its own complaint about it), and the file is either the new picture or the old one.
bool WritePng(const QString& path, QSize size, const RecordData& data, const PictureView& view,
              QString& error) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        DrawRecordPicture(painter, image.rect(), data, view);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        error = QStringLiteral("cannot encode the picture %1").arg(path);
        return false;
    }
    return WriteWhole(path, std::string_view(bytes.constData(), std::size_t(bytes.size())), error);
}

bool WriteSvg(const QString& path, QSize size, const RecordData& data, const PictureView& view,
              QString& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setTitle(view.title);
    QPainter painter;
    if (!painter.begin(&generator)) {
        error = QStringLiteral("cannot make the drawing %1").arg(path);
        return false;
    }
    DrawRecordPicture(painter, QRect(QPoint(0, 0), size), data, view);
    painter.end();
    return WriteWhole(path, std::string_view(bytes.constData(), std::size_t(bytes.size())), error);
}

// The whole text in memory, once: about 60 bytes a line, so millions of lines take a few hundred MB for the
// moment of writing; in exchange the file is whole or the old one.
bool WriteCsv(const QString& path, const RecordData& data, std::size_t first, std::size_t last,
              QString& error) {
    last = std::min(last, data.Size());
    first = std::min(first, last);
    std::string text = "DATE,TIME";
    for (std::string_view name : records::kSignalNames) (text += ',') += name;
    text += "\r\n";
    text.reserve(text.size() + (last - first) * 64);
    for (std::size_t i = first; i < last; ++i) {
        std::string stamp = records::FormatTime(double(data.Second(i)), false);
        stamp[10] = ',';
        text += stamp;
        for (std::uint16_t value : data.At(i)) (text += ',') += std::to_string(value);
        text += "\r\n";
    }
    return WriteWhole(path, text, error);
}
