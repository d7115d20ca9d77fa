// What the strip chart and the graph share: frame pacing, axis ranges, ticks, clipping and the axes.
#include <QEvent>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>

#include "internal.h"
#include "plots.h"

namespace platform_detail {

namespace {

// The smallest step of the 1-2-5 series that is at least `raw`.
double NiceStepAtLeast(double raw) {
    if (!(raw > 0.0) || !std::isfinite(raw)) return 1.0;
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / mag;
    const double f = norm <= 1.0 ? 1.0 : norm <= 2.0 ? 2.0 : norm <= 5.0 ? 5.0 : 10.0;
    return f * mag;
}

PlotWidget::Ticks MakeTicks(AxisRange r, int maxTicks, double minStep = 0.0) {
    PlotWidget::Ticks t;
    const double span = r.max - r.min;
    if (!(span > 0.0) || !std::isfinite(span)) return t;
    t.step = NiceStepAtLeast(std::max(span / std::max(1, maxTicks), minStep));
    t.first = std::ceil(r.min / t.step - 1e-9) * t.step;
    const double n = std::floor((r.max - t.first) / t.step + 1e-9) + 1.0;
    t.count = static_cast<int>(std::clamp(n, 0.0, 100.0));
    return t;
}

QString TickLabel(double v, double step) {
    if (std::fabs(v) < step * 1e-6) v = 0.0;  // no "-0" or 1e-17 from rounding
    if (step >= 1.0 && std::fabs(v) < 1e15) return QString::number(v, 'f', 0);  // point counts grow long
    if (std::fabs(v) >= 1e7 || step < 1e-6) return QString::number(v, 'g', 6);
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    return QString::number(v, 'f', decimals);
}

// Liang-Barsky: clips the segment a-b to r; false when nothing of it is inside.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& r) {
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0.0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
    }
    const QPointF a0 = a;
    if (t1 < 1.0) b = QPointF(a0.x() + t1 * dx, a0.y() + t1 * dy);
    if (t0 > 0.0) a = QPointF(a0.x() + t0 * dx, a0.y() + t0 * dy);
    return true;
}

bool Finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Rounds a coordinate inside the clip rectangle (never far below zero) to its pixel, half up; cheaper
// than lround in the inner loop of a full redraw.
int Round(double v) {
    return static_cast<int>(v + 4096.5) - 4096;
}
QPoint Pixel(QPointF p) {
    return QPoint(Round(p.x()), Round(p.y()));
}

}  // namespace

AxisRange NiceRange(double lo, double hi) {
    if (!(lo <= hi)) return AxisRange{};
    lo = std::max(lo, -1e300);
    hi = std::min(hi, 1e300);
    if (hi - lo <= 1e-9 * std::max(1.0, std::fabs(lo))) {  // a flat line still gets a visible range
        const double pad = std::max(std::fabs(lo) * 0.05, 1.0);
        lo -= pad;
        hi += pad;
    }
    const double step = NiceStepAtLeast((hi - lo) / 5.0);
    return AxisRange{std::floor(lo / step) * step, std::ceil(hi / step) * step};
}

PlotMapping::PlotMapping(const QRect& area, AxisRange x, AxisRange y)
    : x0(area.left()),
      y0(area.bottom()),
      xMin(x.min),
      yMin(y.min),
      sx((area.width() - 1) / (x.max - x.min)),
      sy((area.height() - 1) / (y.max - y.min)) {}

LineBatch::LineBatch(const QRect& area) : clip_(QRectF(area).adjusted(-2, -2, 2, 2)) {}

void LineBatch::Add(QPointF a, QPointF b) {
    // A segment to a point that is not a number is a gap (QRectF::contains takes such a point for inside).
    if (!Finite(a) || !Finite(b)) return;
    const bool inside = clip_.contains(a) && clip_.contains(b);  // the common case needs no clipping
    if (!inside && !ClipSegment(a, b, clip_)) return;
    const QPoint pa = Pixel(a), pb = Pixel(b);
    if (pa == pb)
        points_.push_back(pa);
    else
        lines_.emplace_back(pa, pb);
}

void LineBatch::AddPoint(QPointF a) {
    if (Finite(a) && clip_.contains(a)) points_.push_back(Pixel(a));
}

void LineBatch::Flush(QPainter& p, int color) {
    if (lines_.empty() && points_.empty()) return;
    p.setPen(QPen(ToQColor(color), 1));
    if (!lines_.empty()) p.drawLines(lines_.data(), static_cast<int>(lines_.size()));
    if (!points_.empty()) p.drawPoints(points_.data(), static_cast<int>(points_.size()));
    lines_.clear();
    points_.clear();
}

namespace {

// Writes whole logical pixels of one colour into a picture, inside a clip rectangle.
class PixelWriter {
  public:
    PixelWriter(QImage& image, const QRect& area, int color)
        : scale_(std::max(1, static_cast<int>(std::lround(image.devicePixelRatio())))),
          bits_(image.bits()),
          bytesPerLine_(image.bytesPerLine()),
          clip_(area & QRect(0, 0, image.width() / scale_, image.height() / scale_)),
          rgb_(0xFF000000u | static_cast<QRgb>(color)) {}

    const QRect& Clip() const { return clip_; }
    void Put(int x, int y) const {
        if (clip_.contains(x, y)) Block(x, y);
    }
    // Pixels top..bottom of column x (inside the clip).
    void Run(int x, int top, int bottom) const {
        if (x < clip_.left() || x > clip_.right()) return;
        top = std::max(top, clip_.top());
        bottom = std::min(bottom, clip_.bottom());
        for (int y = top; y <= bottom; ++y) Block(x, y);
    }

  private:
    void Block(int x, int y) const {
        for (int dy = 0; dy < scale_; ++dy) {
            auto* row =
                reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y * scale_ + dy) * bytesPerLine_);
            for (int dx = 0; dx < scale_; ++dx) row[x * scale_ + dx] = rgb_;
        }
    }

    int scale_;
    uchar* bits_;
    qsizetype bytesPerLine_;
    QRect clip_;
    QRgb rgb_;
};

// Bresenham's line between two pixels, both ends included.
void DrawLine(const PixelWriter& w, QPoint a, QPoint b) {
    int x = a.x(), y = a.y();
    const int dx = std::abs(b.x() - x), dy = -std::abs(b.y() - y);
    const int sx = x < b.x() ? 1 : -1, sy = y < b.y() ? 1 : -1;
    for (int err = dx + dy;;) {
        w.Put(x, y);
        if (x == b.x() && y == b.y()) return;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

}  // namespace

void LineBatch::Flush(QImage& image, int color, const QRect& area) {
    if (lines_.empty() && points_.empty()) return;
    const PixelWriter w(image, area, color);
    const QRect& clip = w.Clip();
    if (clip.isEmpty()) {
        lines_.clear();
        points_.clear();
        return;
    }
    runTop_.assign(static_cast<std::size_t>(clip.width()), 1);
    runBottom_.assign(static_cast<std::size_t>(clip.width()), 0);
    // A vertical run joins the column's pending run when they overlap or touch; else the pending one is
    // drawn and the new one waits.
    auto run = [&](int x, int top, int bottom) {
        if (x < clip.left() || x > clip.right()) return;
        const std::size_t c = static_cast<std::size_t>(x - clip.left());
        int& t = runTop_[c];
        int& b = runBottom_[c];
        if (t <= b && top <= b + 1 && bottom >= t - 1) {
            t = std::min(t, top);
            b = std::max(b, bottom);
            return;
        }
        if (t <= b) w.Run(x, t, b);
        t = top;
        b = bottom;
    };
    for (const QLine& l : lines_) {
        if (l.x1() == l.x2())
            run(l.x1(), std::min(l.y1(), l.y2()), std::max(l.y1(), l.y2()));
        else
            DrawLine(w, l.p1(), l.p2());
    }
    for (const QPoint& pt : points_) run(pt.x(), pt.y(), pt.y());
    for (int x = clip.left(); x <= clip.right(); ++x) {
        const std::size_t c = static_cast<std::size_t>(x - clip.left());
        if (runTop_[c] <= runBottom_[c]) w.Run(x, runTop_[c], runBottom_[c]);
    }
    lines_.clear();
    points_.clear();
}

void FillPixels(QImage& image, const QRect& r, int color, const QRect& area) {
    const PixelWriter w(image, area, color);
    const QRect fill = r & w.Clip();
    for (int x = fill.left(); x <= fill.right(); ++x) w.Run(x, fill.top(), fill.bottom());
}

PlotWidget::PlotWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotWidget::MarkDirty() {
    if (dirty_) return;
    dirty_ = true;
    AtNextScreenFrame(this, [this] {
        dirty_ = false;
        update();
    });
}

void PlotWidget::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) {
        advancesValid_ = false;
        MarkDirty();
    }
    QWidget::changeEvent(e);
}

int PlotWidget::TextWidth(const QString& text) const {
    const QFontMetrics fm = fontMetrics();
    if (!advancesValid_) {
        for (int c = 32; c < 128; ++c) advances_[c] = fm.horizontalAdvance(QChar(c));
        advancesValid_ = true;
    }
    int w = 0;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        w += c >= 32 && c < 128 ? advances_[c] : fm.horizontalAdvance(ch);
    }
    return w;
}

int PlotWidget::WidestLabel(const Ticks& t) const {
    int w = 0;
    for (int i = 0; i < t.count; ++i) w = std::max(w, TextWidth(TickLabel(t.At(i), t.step)));
    return w;
}

PlotWidget::Layout PlotWidget::ComputeLayout(AxisRange x, AxisRange y) const {
    const QFontMetrics fm = fontMetrics();
    const int top = fm.height() / 2 + 2;
    const int bottom = fm.height() + 6;
    const int h = std::max(0, height() - top - bottom);
    Layout layout;
    layout.x = x;
    layout.y = y;
    layout.yTicks = MakeTicks(y, std::max(1, h / (2 * fm.height())), MinYStep());
    const int left = WidestLabel(layout.yTicks) + 8;
    // How many x labels fit depends on their width; estimate it from a coarse set of ticks.
    const int xLabel = std::max(WidestLabel(MakeTicks(x, 5, MinXStep())), TextWidth(QStringLiteral("0")));
    const int right = std::max(8, xLabel / 2 + 2);
    layout.area = QRect(left, top, std::max(0, width() - left - right), h);
    layout.xTicks =
        MakeTicks(x, std::max(1, layout.area.width() / (xLabel * 3 / 2 + fm.height())), MinXStep());
    return layout;
}

void PlotWidget::SetManualBound(AxisScale& scale, bool upper, double value) {
    scale.mode = VAL_MANUAL;
    (upper ? scale.manual.max : scale.manual.min) = value;
    MarkDirty();
}

void PlotWidget::DrawAxes(QPainter& p, const Layout& layout, double xLabelFloor) const {
    p.fillRect(rect(), palette().window());
    const QRect& area = layout.area;
    if (area.width() < 2 || area.height() < 2) return;
    p.fillRect(area, ToQColor(kPlotBackground));

    const PlotMapping m(area, layout.x, layout.y);
    const Ticks& xt = layout.xTicks;
    const Ticks& yt = layout.yTicks;
    auto row = [&](int i) { return static_cast<int>(std::lround(m.Y(yt.At(i)))); };
    auto column = [&](int i) { return static_cast<int>(std::lround(m.X(xt.At(i)))); };

    p.setPen(QPen(ToQColor(kGridColor), 1));
    for (int i = 0; i < yt.count; ++i)
        if (row(i) > area.top() && row(i) < area.bottom())
            p.drawLine(area.left(), row(i), area.right(), row(i));
    for (int i = 0; i < xt.count; ++i)
        if (column(i) > area.left() && column(i) < area.right())
            p.drawLine(column(i), area.top(), column(i), area.bottom());

    p.setPen(QPen(ToQColor(kFrameColor), 1));
    p.drawRect(area.adjusted(-1, -1, 0, 0));  // just outside the data pixels

    const QFontMetrics fm = fontMetrics();
    p.setPen(QPen(palette().windowText().color(), 1));
    for (int i = 0; i < yt.count; ++i) {
        const QString label = TickLabel(yt.At(i), yt.step);
        p.drawLine(area.left() - 4, row(i), area.left() - 2, row(i));
        p.drawText(area.left() - 6 - TextWidth(label), row(i) + (fm.ascent() - fm.descent()) / 2, label);
    }
    for (int i = 0; i < xt.count; ++i) {
        if (xt.At(i) < xLabelFloor) continue;
        const QString label = TickLabel(XLabelValue(xt.At(i)), xt.step);
        p.drawLine(column(i), area.bottom() + 2, column(i), area.bottom() + 4);
        p.drawText(column(i) - TextWidth(label) / 2, area.bottom() + 5 + fm.ascent(), label);
    }
}

}  // namespace platform_detail
