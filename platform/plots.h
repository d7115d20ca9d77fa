// The platform's own plot widgets, drawn with QPainter: a scrolling strip chart and an x/y graph.
// Both draw with 1-pixel pens and no antialiasing, and repaint at the screen's pace: new data only marks
// the widget dirty, and the screen's frame clock turns that into one update() per frame.
#pragma once

#include <QImage>
#include <QLine>
#include <QPainter>
#include <QPointF>
#include <QWidget>
#include <array>
#include <climits>
#include <cstdint>
#include <span>
#include <vector>

#include "platform.h"

namespace platform_detail {

// A value range of one axis.
struct AxisRange {
    double min = 0.0, max = 10.0;
    bool operator==(const AxisRange&) const = default;
};

// How one axis is scaled: a manual range, or the range of the data rounded out to tick values.
struct AxisScale {
    AxisScaling mode = VAL_AUTOSCALE;
    AxisRange manual;
};

// The rounded-out range that autoscaling shows for data between lo and hi.
AxisRange NiceRange(double lo, double hi);

// Maps data coordinates into the pixel rectangle `area` (first and last pixel included).
struct PlotMapping {
    PlotMapping(const QRect& area, AxisRange x, AxisRange y);
    double X(double x) const { return x0 + (x - xMin) * sx; }
    double Y(double y) const { return y0 - (y - yMin) * sy; }
    double x0, y0, xMin, yMin, sx, sy;
};

// Collects 1-pixel lines in pixel coordinates, clipped to the plot area, and draws them in one call.
// Segments that round to a single pixel are drawn as points.
class LineBatch {
  public:
    explicit LineBatch(const QRect& area);
    void Add(QPointF a, QPointF b);
    void AddPoint(QPointF a);
    void Flush(QPainter& p, int color);
    // Draws into the picture's pixels instead, clipped to `area` (a logical pixel covers devicePixelRatio²
    // of them; the ratio is whole). Lines within one pixel column are vertical runs: overlapping runs of a
    // column are joined and each pixel is written once, so tens of thousands of short lines over a few
    // hundred columns cost little more than the columns. The picture is the same as drawing every line.
    void Flush(QImage& image, int color, const QRect& area);

  private:
    QRectF clip_;
    std::vector<QLine> lines_;
    std::vector<QPoint> points_;
    std::vector<int> runTop_,
        runBottom_;  // per column of the area: the run not drawn yet (top > bottom: none)
};

// Fills `r` (logical pixels, both corners included) clipped to `area` in the picture's pixels.
void FillPixels(QImage& image, const QRect& r, int color, const QRect& area);

// What both plot widgets share: the frame pacing and the drawing of axes, grid and tick labels.
class PlotWidget : public QWidget {
    Q_OBJECT
  public:
    explicit PlotWidget(QWidget* parent);

    static constexpr int kPlotBackground = 0xFFFFFF;
    static constexpr int kGridColor = 0xE0E0E0;
    static constexpr int kFrameColor = 0x808080;

    // Tick values first, first + step, ... (count of them).
    struct Ticks {
        double first = 0.0, step = 1.0;
        int count = 0;
        double At(int i) const { return first + i * step; }
    };
    struct Layout {
        QRect area;  // the pixels that show data; the frame runs around it
        AxisRange x, y;
        Ticks xTicks, yTicks;
    };

    // True while a repaint is pending (between new data and the next frame tick).
    bool RepaintPending() const { return dirty_; }
    // The pixels that show data at the present size and ranges, the frame excluded.
    virtual QRect PlotArea() const = 0;

  protected:
    // Schedules one repaint at the next frame tick; never paints synchronously.
    void MarkDirty();
    // A bound given in the panel file makes that axis manual.
    void SetManualBound(AxisScale& scale, bool upper, double value);

    // Where the data go for the given ranges, leaving room for the tick labels.
    Layout ComputeLayout(AxisRange x, AxisRange y) const;
    // The finest tick steps that mean something (a strip chart counts whole points).
    virtual double MinXStep() const { return 0.0; }
    virtual double MinYStep() const { return 0.0; }
    void changeEvent(QEvent* e) override;

    // Widget background, plot background, grid, frame and tick labels. Ticks below xLabelFloor carry no
    // label (a strip chart's window reaches before the first point).
    void DrawAxes(QPainter& p, const Layout& layout, double xLabelFloor = -1e300) const;
    // The text value of an x tick at `x` (a strip chart may count its labels in periods).
    virtual double XLabelValue(double x) const { return x; }

  private:
    // The width of a tick label in the widget's font, from a table of character advances: measuring
    // each label with the font engine would cost more than drawing the whole chart.
    int TextWidth(const QString& text) const;
    int WidestLabel(const Ticks& t) const;

    bool dirty_ = false;
    mutable std::array<int, 128> advances_{};
    mutable bool advancesValid_ = false;
};

// A strip chart: traces of points appended interleaved, scrolling to the left. Each trace keeps a
// bounded history, so memory stays flat under live data. Panel files may set numTraces (default 1),
// pointsPerScreen (default 100) and yMin/yMax, which make the y axis manual (it autoscales otherwise).
class StripChart : public PlotWidget {
    Q_OBJECT
    Q_PROPERTY(int numTraces READ NumTraces WRITE SetNumTracesProperty)
    Q_PROPERTY(int pointsPerScreen READ PointsPerScreen WRITE SetPointsPerScreenProperty)
    Q_PROPERTY(double yMin READ YMinProperty WRITE SetYMinProperty)
    Q_PROPERTY(double yMax READ YMaxProperty WRITE SetYMaxProperty)
    // When set, x labels count point numbers modulo this period: a chart that is appended whole curves of
    // that length labels each point with its index in its curve.
    Q_PROPERTY(int xLabelPeriod READ XLabelPeriod WRITE SetXLabelPeriod)
  public:
    static constexpr int kMaxTraces = 64;
    static constexpr int kHistory = 10000;  // points kept per trace; also the most points per screen

    explicit StripChart(QWidget* parent);

    int NumTraces() const { return traces_; }
    int SetNumTraces(int traces);  // clears the history
    int PointsPerScreen() const { return pointsPerScreen_; }
    int SetPointsPerScreen(int points);

    // Appends interleaved points (point k of trace t is values[k * traces + t]).
    int Append(std::span<const double> values);
    int Append(std::span<const unsigned short> values);
    void Clear();
    // The last `count` points of a trace, oldest first (-1: all kept).
    int Trace(int trace, int count, std::vector<double>& out) const;

    int SetTraceColor(int trace, int color);
    int TraceColor(int trace) const { return colors_[trace]; }
    static int DefaultTraceColor(int trace);

    int SetYScaling(AxisScaling mode, double min, double max);
    AxisScale YScaling() const { return yScale_; }
    // The range shown now: the manual range or the autoscaled range of the visible points.
    AxisRange ShownY() const;
    // The window of point numbers on the screen, from the first point appended (0).
    AxisRange ShownX() const;
    QRect PlotArea() const override { return ComputeLayout(ShownX(), ShownY()).area; }
    int XLabelPeriod() const { return xLabelPeriod_; }
    void SetXLabelPeriod(int period) { xLabelPeriod_ = period > 0 ? period : 0; }

  protected:
    void paintEvent(QPaintEvent*) override;
    double MinXStep() const override { return 1.0; }
    double XLabelValue(double x) const override;

  private:
    template <typename T>
    int AppendPoints(std::span<const T> values);
    int Visible() const;
    void AddLines(LineBatch& batch, const Layout& layout, const std::vector<double>& points) const;
    void AddReduced(LineBatch& batch, const Layout& layout, const std::vector<double>& points) const;

    void SetNumTracesProperty(int traces) { SetNumTraces(traces); }
    void SetPointsPerScreenProperty(int points) { SetPointsPerScreen(points); }
    double YMinProperty() const { return yScale_.manual.min; }
    double YMaxProperty() const { return yScale_.manual.max; }
    void SetYMinProperty(double v) { SetManualBound(yScale_, false, v); }
    void SetYMaxProperty(double v) { SetManualBound(yScale_, true, v); }

    int traces_ = 1;
    int pointsPerScreen_ = 100;
    int xLabelPeriod_ = 0;
    std::vector<double> ring_;  // kHistory rows of traces_ values, interleaved as appended
    std::int64_t head_ = 0;     // row the next point goes to
    std::int64_t kept_ = 0;     // rows that hold points
    std::int64_t total_ = 0;    // points appended per trace since the last clear
    std::vector<int> colors_;
    AxisScale yScale_;
};

// An x/y graph holding plots (lines through points, rectangles) and cursors. Plots are drawn once onto a
// cached picture; adding a plot draws only that plot at the next frame, and only a change of size,
// range or a deletion redraws them all. Panel files may set xMin/xMax and yMin/yMax, which make that axis
// manual (both autoscale otherwise), numCursors (default 1), and wholeNumbers for data that are whole
// numbers on both axes (counts, 16-bit readings): then ticks are whole numbers too, and an autoscaled y
// range keeps a margin of a twentieth of the data's span (at least 1) above and below the data, never
// reaching below 0 for data that do not.
class Graph : public PlotWidget {
    Q_OBJECT
    Q_PROPERTY(bool wholeNumbers READ WholeNumbers WRITE SetWholeNumbers)
    Q_PROPERTY(double xMin READ XMinProperty WRITE SetXMinProperty)
    Q_PROPERTY(double xMax READ XMaxProperty WRITE SetXMaxProperty)
    Q_PROPERTY(double yMin READ YMinProperty WRITE SetYMinProperty)
    Q_PROPERTY(double yMax READ YMaxProperty WRITE SetYMaxProperty)
    Q_PROPERTY(int numCursors READ NumCursors WRITE SetNumCursors)
  public:
    static constexpr int kMaxCursors = 16;
    static constexpr int kCursorColor = 0x000000;

    explicit Graph(QWidget* parent);

    // Each returns a plot handle (> 0) or a UIE error.
    int AddXY(std::span<const double> x, std::span<const double> y, int color);
    int AddXY(std::span<const unsigned short> x, std::span<const unsigned short> y, int color);
    int AddRectangle(double x1, double y1, double x2, double y2, int color, int fillColor);
    int Delete(int handle);  // VAL_ALL_PLOTS deletes all
    // The largest handle handed out (INT_MAX); handles of deleted plots are handed out again after it.
    // Tests make it small, on an empty graph.
    void SetHandleLimit(int limit);
    // The last `last` plots in drawing order (-1: all); only those are copied.
    std::vector<GraphPlotInfo> Plots(int last = -1) const;
    std::size_t PlotCount() const { return plots_.size(); }
    // Bytes the plots take in memory, reserved capacity included.
    std::size_t StorageBytes() const;

    int NumCursors() const { return numCursors_; }
    void SetNumCursors(int n);
    int SetCursor(int cursor, double x, double y);
    int Cursor(int cursor, double& x, double& y) const;

    int SetScaling(Axis axis, AxisScaling mode, double min, double max);
    AxisScale Scaling(Axis axis) const { return axis == VAL_BOTTOM_XAXIS ? xScale_ : yScale_; }
    // The range shown now on an axis.
    AxisRange Shown(Axis axis) const;

    QRect PlotArea() const override {
        return ComputeLayout(Shown(VAL_BOTTOM_XAXIS), Shown(VAL_LEFT_YAXIS)).area;
    }

    // Drops the cached picture so the next paint redraws every plot (for benchmarks and tests).
    void InvalidateCache() { cacheValid_ = false; }

    bool WholeNumbers() const { return wholeNumbers_; }
    void SetWholeNumbers(bool whole);

  protected:
    double MinXStep() const override { return wholeNumbers_ ? 1.0 : 0.0; }
    double MinYStep() const override { return wholeNumbers_ ? 1.0 : 0.0; }
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent* e) override;

  private:
    // One plot in 16 bytes. A two-point plot whose coordinates are whole numbers 0..65535 (a recorder's
    // sample) keeps them in the record itself; other lines keep their points in pool_, rectangles their
    // corners and fill in rects_.
    enum class Stored : std::uint8_t { Segment, Points, Rectangle };
    struct StoredPlot {
        std::int32_t handle;
        std::uint32_t kindColor;  // Stored << 24 | colour
        std::uint32_t a, b;       // Segment: x | y << 16 of each end; Points: first, count; Rectangle: index
        Stored kind() const { return static_cast<Stored>(kindColor >> 24); }
        int color() const { return static_cast<int>(kindColor & 0xFFFFFF); }
    };
    static_assert(sizeof(StoredPlot) == 16);
    struct StoredRect {
        QPointF c1, c2;
        int fillColor;
    };
    // The points of a line plot (both kinds of storage), or a rectangle's two corners.
    std::uint32_t PointCount(const StoredPlot& p) const;
    QPointF PointAt(const StoredPlot& p, std::uint32_t i) const;
    void Compact();
    struct Bounds {
        double xMin, xMax, yMin, yMax;
        bool empty = true;
        void Add(QPointF p);
    };
    template <typename T>
    int AddPoints(std::span<const T> x, std::span<const T> y, int color);
    int NextHandle();
    std::vector<StoredPlot>::iterator FindPlot(int handle);
    void UpdateAutoRange(AxisRange& shown, bool& valid, double lo, double hi) const;
    void RefreshRanges() const;
    void RedrawCache(const Layout& layout);
    void DrawPlots(QImage& image, const Layout& layout, std::size_t from) const;
    void DrawCursors(QPainter& p, const Layout& layout) const;

    double XMinProperty() const { return xScale_.manual.min; }
    double XMaxProperty() const { return xScale_.manual.max; }
    double YMinProperty() const { return yScale_.manual.min; }
    double YMaxProperty() const { return yScale_.manual.max; }
    void SetXMinProperty(double v) { SetManualBound(xScale_, false, v); }
    void SetXMaxProperty(double v) { SetManualBound(xScale_, true, v); }
    void SetYMinProperty(double v) { SetManualBound(yScale_, false, v); }
    void SetYMaxProperty(double v) { SetManualBound(yScale_, true, v); }

    std::vector<StoredPlot> plots_;  // in drawing order
    std::vector<QPointF> pool_;
    std::vector<StoredRect> rects_;
    std::size_t poolGarbage_ = 0;  // points of deleted plots still in pool_
    std::size_t rectGarbage_ = 0;  // rectangles of deleted plots still in rects_
    int lastHandle_ = 0;
    int handleLimit_ = INT_MAX;
    bool handlesInOrder_ = true;  // handles ascend in drawing order round the circle from the oldest plot's
    mutable Bounds bounds_;
    mutable bool boundsValid_ = true;

    AxisScale xScale_, yScale_;
    bool wholeNumbers_ = false;
    // Autoscaled ranges grow with headroom so that a growing plot does not redraw everything each time.
    mutable AxisRange autoX_, autoY_;
    mutable bool autoXValid_ = false, autoYValid_ = false;

    struct CursorPos {
        double x = 0.0, y = 0.0;
        bool placed = false;
    };
    int numCursors_ = 1;
    CursorPos cursors_[kMaxCursors];

    QImage cache_;  // the whole widget without the cursors
    bool cacheValid_ = false;
    Layout cacheLayout_;
    std::size_t cacheDrawn_ = 0;  // plots_[0, cacheDrawn_) are on the cache
};

}  // namespace platform_detail
