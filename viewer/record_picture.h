// The picture of a record: one lane per chosen signal over one x axis (time, or line number), each pixel
// column drawn from the minimum and maximum of the lines that fall into it, so no line is ever hidden. The
// window, the exports and sensor-tool plot all draw with this.
#pragma once

#include <QPainter>
#include <QRect>
#include <QString>
#include <array>
#include <string>
#include <vector>

#include "record_data.h"

struct PictureView {
    double x0 = 0, x1 = 1;  // the visible span of the x axis, [x0, x1)
    records::Axis axis = records::Axis::Time;
    std::array<bool, records::kSignals> shown{true, true, true, true, true, true, true, true};
    QString title;          // drawn above the lanes when not empty (exports)
    long long cursor = -1;  // a line marked with a vertical line, or -1
};

// The signal's colour (those of the scope's graph panel; VECTOR, not shown there, violet).
QColor SignalColour(int signal);

// The whole x range of the data on an axis, with a little room after the last line.
PictureView FitAll(const records::RecordData& data, PictureView view);
// The lines whose x lies in the view: [first, last).
std::pair<std::size_t, std::size_t> VisibleLines(const records::RecordData& data, const PictureView& view);

struct PictureLayout {
    QRect plot;                // the area of the lanes, without labels and axis
    std::vector<QRect> lanes;  // one per shown signal, top to bottom
    std::vector<int> signalOfLane;
};
PictureLayout LayoutOf(const QRect& area, const PictureView& view);

void DrawRecordPicture(QPainter& painter, const QRect& area, const records::RecordData& data,
                       const PictureView& view);

// A mark on the x axis: its pixel, its time (as many digits as the marks' step needs) or line number, and
// the date under the first mark of each day.
struct AxisTick {
    double px;
    QString upper, lower;
};
// The x axis' marks across `plot`, at round steps at least 120 pixels apart on a time axis, 90 on a line
// axis.
std::vector<AxisTick> AxisTicks(const PictureView& view, const QRect& plot);

// The label of x on the axis: date and time to the millisecond, or the line number.
QString XLabel(const records::RecordData& data, const PictureView& view, double x);
// The title of an exported picture: the file's name, the lines in view and the span they cover.
QString PictureTitle(const QString& fileName, const records::RecordData& data, const PictureView& view);

// Whether two names lead to one existing file (through links too): an export never replaces its record.
bool SameFile(const QString& a, const QString& b);
// Exports, written whole: false with a message naming the system's reason when the file cannot be written,
// and the file as it was.
bool WritePng(const QString& path, QSize size, const records::RecordData& data, const PictureView& view,
              QString& error);
bool WriteSvg(const QString& path, QSize size, const records::RecordData& data, const PictureView& view,
              QString& error);
// The lines [first, last) as CSV with the record file's column names (DATE,TIME,CH_L,...,TEMP).
bool WriteCsv(const QString& path, const records::RecordData& data, std::size_t first, std::size_t last,
              QString& error);
