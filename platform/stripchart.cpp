// The strip chart: interleaved traces in a bounded ring, the latest points-per-screen points on screen.
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "internal.h"
#include "plots.h"

namespace platform_detail {

namespace {
bool ValidColor(int color) {
    return color >= 0 && color <= 0xFFFFFF;
}
}  // namespace

StripChart::StripChart(QWidget* parent) : PlotWidget(parent) {
    colors_.push_back(DefaultTraceColor(0));
}

int StripChart::DefaultTraceColor(int trace) {
    // Red, green, blue first, as the channels are named; then colours that stay apart on white.
    static constexpr int kColors[] = {0xFF0000, 0x00A000, 0x0000FF, 0x00A0A0, 0xC000C0,
                                      0xFF8000, 0x808000, 0x000000, 0x800000, 0x000080};
    return kColors[trace % std::size(kColors)];
}

int StripChart::SetNumTraces(int traces) {
    if (traces < 1 || traces > kMaxTraces) return UIEInvalidValue;
    traces_ = traces;
    const int old = static_cast<int>(colors_.size());
    colors_.resize(traces);
    for (int t = old; t < traces; ++t) colors_[t] = DefaultTraceColor(t);
    ring_.clear();  // the rows change shape: the history starts over
    Clear();
    return UIENoError;
}

int StripChart::SetPointsPerScreen(int points) {
    if (points < 2 || points > kHistory) return UIEInvalidValue;
    pointsPerScreen_ = points;
    MarkDirty();
    return UIENoError;
}

int StripChart::Append(std::span<const double> values) {
    return AppendPoints(values);
}
int StripChart::Append(std::span<const unsigned short> values) {
    return AppendPoints(values);
}

template <typename T>
int StripChart::AppendPoints(std::span<const T> values) {
    if (values.size() % traces_ != 0) return UIEInvalidValue;
    if (ring_.empty()) ring_.resize(static_cast<std::size_t>(kHistory) * traces_);
    const std::int64_t rows = static_cast<std::int64_t>(values.size() / traces_);
    // Rows that would be overwritten within this call are not copied at all.
    const std::int64_t skip = std::max<std::int64_t>(0, rows - kHistory);
    for (std::int64_t r = skip; r < rows; ++r) {
        const T* src = values.data() + r * traces_;
        double* dst = ring_.data() + head_ * traces_;
        for (int t = 0; t < traces_; ++t) dst[t] = static_cast<double>(src[t]);
        head_ = (head_ + 1) % kHistory;
    }
    kept_ = std::min<std::int64_t>(kept_ + rows, kHistory);
    total_ += rows;
    if (rows > 0) MarkDirty();
    return UIENoError;
}

void StripChart::Clear() {
    head_ = kept_ = total_ = 0;
    MarkDirty();
}

int StripChart::Trace(int trace, int count, std::vector<double>& out) const {
    if (trace < 0 || trace >= traces_) return UIEIndexOutOfRange;
    if (count < -1) return UIEInvalidValue;
    const std::int64_t n = count == -1 ? kept_ : std::min<std::int64_t>(count, kept_);
    out.resize(n);
    std::int64_t row = ((head_ - n) % kHistory + kHistory) % kHistory;
    for (std::int64_t i = 0; i < n; ++i) {
        out[i] = ring_[row * traces_ + trace];
        if (++row == kHistory) row = 0;
    }
    return UIENoError;
}

int StripChart::SetTraceColor(int trace, int color) {
    if (trace < 0 || trace >= traces_) return UIEIndexOutOfRange;
    if (!ValidColor(color)) return UIEInvalidValue;
    colors_[trace] = color;
    MarkDirty();
    return UIENoError;
}

int StripChart::SetYScaling(AxisScaling mode, double min, double max) {
    if (mode == VAL_MANUAL) {
        if (!std::isfinite(min) || !std::isfinite(max) || !(min < max)) return UIEInvalidValue;
        yScale_.manual = AxisRange{min, max};
    } else if (mode != VAL_AUTOSCALE) {
        return UIEInvalidValue;
    }
    yScale_.mode = mode;
    MarkDirty();
    return UIENoError;
}

int StripChart::Visible() const {
    return static_cast<int>(std::min<std::int64_t>(kept_, pointsPerScreen_));
}

AxisRange StripChart::ShownY() const {
    if (yScale_.mode == VAL_MANUAL) {
        AxisRange r = yScale_.manual;
        if (!(r.min < r.max)) r.max = r.min + 1.0;  // a panel file may give a reversed range
        return r;
    }
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    std::vector<double> points;
    for (int t = 0; t < traces_; ++t) {
        Trace(t, Visible(), points);
        for (double v : points) {
            if (!std::isfinite(v)) continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    return NiceRange(lo, hi);
}

AxisRange StripChart::ShownX() const {
    // Newest point at the right edge; before the screen has filled, the left part stays empty.
    return AxisRange{static_cast<double>(total_ - pointsPerScreen_), static_cast<double>(total_ - 1)};
}

void StripChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Layout layout = ComputeLayout(ShownX(), ShownY());
    DrawAxes(p, layout, 0.0);
    if (layout.area.width() < 2 || layout.area.height() < 2) return;
    p.setClipRect(layout.area);
    std::vector<double> points;
    for (int t = 0; t < traces_; ++t) {
        Trace(t, Visible(), points);
        LineBatch batch(layout.area);
        if (static_cast<int>(points.size()) > layout.area.width())
            AddReduced(batch, layout, points);
        else
            AddLines(batch, layout, points);
        batch.Flush(p, colors_[t]);
    }
}

// Fewer points than columns: straight lines between neighbours, gaps where a value is not finite.
void StripChart::AddLines(LineBatch& batch, const Layout& layout, const std::vector<double>& v) const {
    const PlotMapping m(layout.area, layout.x, layout.y);
    const int n = static_cast<int>(v.size());
    const double first = static_cast<double>(total_ - n);
    for (int i = 0; i < n; ++i) {
        const QPointF pt(m.X(first + i), m.Y(v[i]));
        const bool prevOk = i > 0 && std::isfinite(v[i - 1]);
        const bool nextOk = i + 1 < n && std::isfinite(v[i + 1]);
        if (prevOk) batch.Add(QPointF(m.X(first + i - 1), m.Y(v[i - 1])), pt);
        if (!prevOk && !nextOk) batch.AddPoint(pt);  // a lone point still shows
    }
}

// More points than columns: each column shows the span from the lowest to the highest of its points,
// stretched to meet the previous column's last point, so a spike narrower than a column never vanishes.
void StripChart::AddReduced(LineBatch& batch, const Layout& layout, const std::vector<double>& v) const {
    const PlotMapping m(layout.area, layout.x, layout.y);
    const int n = static_cast<int>(v.size());
    const double first = static_cast<double>(total_ - n);
    constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
    long column = std::lround(m.X(first));
    double lo = kNone, hi = kNone, last = kNone, prevLast = kNone;
    auto flush = [&] {
        if (std::isnan(lo)) return;
        if (!std::isnan(prevLast)) {
            lo = std::min(lo, prevLast);
            hi = std::max(hi, prevLast);
        }
        batch.Add(QPointF(column, m.Y(lo)), QPointF(column, m.Y(hi)));
    };
    for (int i = 0; i < n; ++i) {
        const long c = std::lround(m.X(first + i));
        if (c != column) {
            flush();
            prevLast = last;
            column = c;
            lo = hi = last = kNone;
        }
        if (!std::isfinite(v[i])) {
            last = prevLast = kNone;  // a gap is not bridged
            continue;
        }
        lo = std::isnan(lo) ? v[i] : std::min(lo, v[i]);
        hi = std::isnan(hi) ? v[i] : std::max(hi, v[i]);
        last = v[i];
    }
    flush();
}

double StripChart::XLabelValue(double x) const {
    if (xLabelPeriod_ <= 0) return x;
    return std::fmod(x, static_cast<double>(xLabelPeriod_));
}

}  // namespace platform_detail
