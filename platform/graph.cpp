// The graph: plots kept compactly (a recorder's two-point samples in 16 bytes each) and drawn
// incrementally onto a cached picture; cursors on top.
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <climits>
#include <cmath>
#include <type_traits>

#include "internal.h"
#include "plots.h"

namespace platform_detail {

namespace {
bool ValidColor(int color) {
    return color >= 0 && color <= 0xFFFFFF;
}
}  // namespace

void Graph::Bounds::Add(QPointF p) {
    if (!std::isfinite(p.x()) || !std::isfinite(p.y())) return;
    if (empty) {
        xMin = xMax = p.x();
        yMin = yMax = p.y();
        empty = false;
        return;
    }
    xMin = std::min(xMin, p.x());
    xMax = std::max(xMax, p.x());
    yMin = std::min(yMin, p.y());
    yMax = std::max(yMax, p.y());
}

Graph::Graph(QWidget* parent) : PlotWidget(parent) {}

void Graph::SetHandleLimit(int limit) {
    handleLimit_ = std::max(1, limit);
    lastHandle_ = std::min(lastHandle_, handleLimit_);
}

// Handles run from 1 to the limit and then start at 1 again, skipping those still in use, so a graph whose
// old plots are deleted never runs out. While the oldest plots go first, the plots' handles ascend in
// drawing order from the oldest plot's round the circle, and the next handle is free unless that round is
// full. A plot that outlives a whole round breaks the order: then free handles and plots are searched
// plot by plot, until the graph is empty again.
int Graph::NextHandle() {
    if (plots_.size() >= static_cast<std::size_t>(handleLimit_)) return UIEOutOfMemory;
    const auto after = [this](int h) { return h >= handleLimit_ ? 1 : h + 1; };
    int handle = after(lastHandle_);
    if (plots_.empty()) handlesInOrder_ = true;
    if (handlesInOrder_ && !plots_.empty() && handle == plots_.front().handle) handlesInOrder_ = false;
    if (!handlesInOrder_)
        while (FindPlot(handle) != plots_.end()) handle = after(handle);
    return lastHandle_ = handle;
}

std::vector<Graph::StoredPlot>::iterator Graph::FindPlot(int handle) {
    if (!handlesInOrder_)
        return std::find_if(plots_.begin(), plots_.end(),
                            [handle](const StoredPlot& p) { return p.handle == handle; });
    if (plots_.empty() || handle < 1 || handle > handleLimit_) return plots_.end();
    // The place of a handle in the round that starts at the oldest plot's.
    const std::int64_t first = plots_.front().handle;
    const auto place = [first, this](std::int64_t h) {
        return h >= first ? h - first : h + handleLimit_ - first;
    };
    const auto it =
        std::lower_bound(plots_.begin(), plots_.end(), place(handle),
                         [&place](const StoredPlot& p, std::int64_t at) { return place(p.handle) < at; });
    return it != plots_.end() && it->handle == handle ? it : plots_.end();
}

int Graph::AddXY(std::span<const double> x, std::span<const double> y, int color) {
    return AddPoints(x, y, color);
}

int Graph::AddXY(std::span<const unsigned short> x, std::span<const unsigned short> y, int color) {
    return AddPoints(x, y, color);
}

namespace {

// A coordinate a segment record can keep: a whole number 0..65535 (not -0).
template <typename T>
bool FitsSegment(T v) {
    if constexpr (std::is_same_v<T, unsigned short>) {
        return true;
    } else {
        return v >= 0.0 && v <= 65535.0 && v == std::floor(v) && !std::signbit(v);
    }
}

std::uint32_t Pack(double x, double y) {
    return static_cast<std::uint32_t>(x) | static_cast<std::uint32_t>(y) << 16;
}

QPointF Unpack(std::uint32_t xy) {
    return QPointF(static_cast<double>(xy & 0xFFFF), static_cast<double>(xy >> 16));
}

std::uint32_t KindColor(std::uint8_t kind, int color) {
    return static_cast<std::uint32_t>(kind) << 24 | static_cast<std::uint32_t>(color);
}

}  // namespace

std::uint32_t Graph::PointCount(const StoredPlot& p) const {
    return p.kind() == Stored::Points ? p.b : 2;
}

QPointF Graph::PointAt(const StoredPlot& p, std::uint32_t i) const {
    switch (p.kind()) {
        case Stored::Segment:
            return Unpack(i == 0 ? p.a : p.b);
        case Stored::Points:
            return pool_[p.a + i];
        default:
            return i == 0 ? rects_[p.a].c1 : rects_[p.a].c2;
    }
}

template <typename T>
int Graph::AddPoints(std::span<const T> x, std::span<const T> y, int color) {
    if (x.empty() || x.size() != y.size() || x.size() > UINT32_MAX / 2) return UIEInvalidValue;
    if (!ValidColor(color)) return UIEInvalidValue;
    if (x.size() == 2 && FitsSegment(x[0]) && FitsSegment(y[0]) && FitsSegment(x[1]) && FitsSegment(y[1])) {
        const int handle = NextHandle();
        if (handle < 0) return handle;
        const double x0 = static_cast<double>(x[0]), y0 = static_cast<double>(y[0]);
        const double x1 = static_cast<double>(x[1]), y1 = static_cast<double>(y[1]);
        plots_.push_back(
            StoredPlot{handle, KindColor(std::uint8_t(Stored::Segment), color), Pack(x0, y0), Pack(x1, y1)});
        bounds_.Add(QPointF(x0, y0));
        bounds_.Add(QPointF(x1, y1));
        MarkDirty();
        return handle;
    }
    const int handle = NextHandle();
    if (handle < 0) return handle;
    const auto first = static_cast<std::uint32_t>(pool_.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const QPointF p(static_cast<double>(x[i]), static_cast<double>(y[i]));
        pool_.push_back(p);
        bounds_.Add(p);
    }
    plots_.push_back(StoredPlot{handle, KindColor(std::uint8_t(Stored::Points), color), first,
                                static_cast<std::uint32_t>(x.size())});
    MarkDirty();
    return handle;
}

int Graph::AddRectangle(double x1, double y1, double x2, double y2, int color, int fillColor) {
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        return UIEInvalidValue;
    if (!ValidColor(color) || (!ValidColor(fillColor) && fillColor != VAL_TRANSPARENT))
        return UIEInvalidValue;
    const int handle = NextHandle();
    if (handle < 0) return handle;
    const auto index = static_cast<std::uint32_t>(rects_.size());
    rects_.push_back(StoredRect{QPointF(x1, y1), QPointF(x2, y2), fillColor});
    bounds_.Add(rects_.back().c1);
    bounds_.Add(rects_.back().c2);
    plots_.push_back(StoredPlot{handle, KindColor(std::uint8_t(Stored::Rectangle), color), index, 0});
    MarkDirty();
    return handle;
}

int Graph::Delete(int handle) {
    if (handle == VAL_ALL_PLOTS) {
        plots_.clear();
        pool_.clear();
        rects_.clear();
        poolGarbage_ = rectGarbage_ = 0;
        bounds_ = Bounds{};
    } else {
        const auto it = FindPlot(handle);
        if (it == plots_.end()) return UIEItemNotFound;
        if (it->kind() == Stored::Points) poolGarbage_ += it->b;
        if (it->kind() == Stored::Rectangle) ++rectGarbage_;
        plots_.erase(it);
        boundsValid_ = false;
        if ((poolGarbage_ > 4096 && poolGarbage_ > pool_.size() / 2) ||
            (rectGarbage_ > 1024 && rectGarbage_ > rects_.size() / 2))
            Compact();
    }
    autoXValid_ = autoYValid_ = false;  // autoscaled ranges may shrink again
    cacheValid_ = false;
    MarkDirty();
    return UIENoError;
}

// Drops the points and rectangles of deleted plots.
void Graph::Compact() {
    std::vector<QPointF> points;
    std::vector<StoredRect> rects;
    points.reserve(pool_.size() - poolGarbage_);
    rects.reserve(rects_.size() - rectGarbage_);
    for (StoredPlot& p : plots_) {
        if (p.kind() == Stored::Points) {
            const auto first = static_cast<std::uint32_t>(points.size());
            points.insert(points.end(), pool_.begin() + p.a, pool_.begin() + p.a + p.b);
            p.a = first;
        } else if (p.kind() == Stored::Rectangle) {
            rects.push_back(rects_[p.a]);
            p.a = static_cast<std::uint32_t>(rects.size() - 1);
        }
    }
    pool_.swap(points);
    rects_.swap(rects);
    poolGarbage_ = rectGarbage_ = 0;
}

std::vector<GraphPlotInfo> Graph::Plots(int last) const {
    const std::size_t n = last < 0 ? plots_.size() : std::min(plots_.size(), static_cast<std::size_t>(last));
    std::vector<GraphPlotInfo> out;
    out.reserve(n);
    for (std::size_t k = plots_.size() - n; k < plots_.size(); ++k) {
        const StoredPlot& p = plots_[k];
        const bool rect = p.kind() == Stored::Rectangle;
        GraphPlotInfo info{p.handle,  rect ? GraphPlotInfo::Rectangle : GraphPlotInfo::XY, {}, {},
                           p.color(), rect ? rects_[p.a].fillColor : VAL_TRANSPARENT};
        const std::uint32_t count = PointCount(p);
        info.x.reserve(count);
        info.y.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const QPointF pt = PointAt(p, i);
            info.x.push_back(pt.x());
            info.y.push_back(pt.y());
        }
        out.push_back(std::move(info));
    }
    return out;
}

std::size_t Graph::StorageBytes() const {
    return plots_.capacity() * sizeof(StoredPlot) + pool_.capacity() * sizeof(QPointF) +
           rects_.capacity() * sizeof(StoredRect);
}

void Graph::SetNumCursors(int n) {
    numCursors_ = std::clamp(n, 0, kMaxCursors);
    for (int i = numCursors_; i < kMaxCursors; ++i) cursors_[i] = CursorPos{};
    MarkDirty();
}

int Graph::SetCursor(int cursor, double x, double y) {
    if (cursor < 1 || cursor > numCursors_) return UIEIndexOutOfRange;
    if (!std::isfinite(x) || !std::isfinite(y)) return UIEInvalidValue;
    cursors_[cursor - 1] = CursorPos{x, y, true};
    MarkDirty();  // cursors are drawn over the cache: the plots need no redraw
    return UIENoError;
}

int Graph::Cursor(int cursor, double& x, double& y) const {
    if (cursor < 1 || cursor > numCursors_) return UIEIndexOutOfRange;
    x = cursors_[cursor - 1].x;
    y = cursors_[cursor - 1].y;
    return UIENoError;
}

int Graph::SetScaling(Axis axis, AxisScaling mode, double min, double max) {
    if (axis != VAL_BOTTOM_XAXIS && axis != VAL_LEFT_YAXIS) return UIEInvalidValue;
    AxisScale& scale = axis == VAL_BOTTOM_XAXIS ? xScale_ : yScale_;
    if (mode == VAL_MANUAL) {
        if (!std::isfinite(min) || !std::isfinite(max) || !(min < max)) return UIEInvalidValue;
        scale.manual = AxisRange{min, max};
    } else if (mode != VAL_AUTOSCALE) {
        return UIEInvalidValue;
    }
    scale.mode = mode;
    (axis == VAL_BOTTOM_XAXIS ? autoXValid_ : autoYValid_) = false;
    MarkDirty();
    return UIENoError;
}

// An autoscaled range follows the data, but when the data outgrow it, it grows by a quarter more than
// needed: a graph fed one segment at a time then redraws all its plots only now and then.
void Graph::UpdateAutoRange(AxisRange& shown, bool& valid, double lo, double hi) const {
    if (bounds_.empty) {
        shown = AxisRange{};
        valid = true;
        return;
    }
    if (valid && lo >= shown.min && hi <= shown.max) return;
    if (!valid) {
        shown = NiceRange(lo, hi);
    } else {
        double newLo = std::min(lo, shown.min), newHi = std::max(hi, shown.max);
        const double headroom = (newHi - newLo) / 4.0;
        if (lo < shown.min) newLo = (lo >= 0.0) ? std::max(0.0, newLo - headroom) : newLo - headroom;
        if (hi > shown.max) newHi = (hi <= 0.0) ? std::min(0.0, newHi + headroom) : newHi + headroom;
        shown = NiceRange(newLo, newHi);
    }
    valid = true;
}

namespace {
// The span an autoscaled axis of whole numbers needs for data lo..hi: at least 1 wide, with `margin` (a
// twentieth of the span, at least 1) on both sides, and not below 0 when the data are not.
void WholeSpan(double& lo, double& hi, bool margin) {
    const double m = margin ? std::max(1.0, std::ceil((hi - lo) / 20.0)) : 0.0;
    const double low = lo >= 0.0 ? std::max(0.0, lo - m) : lo - m;
    hi = std::max(hi + m, low + 1.0);
    lo = low;
}
}  // namespace

void Graph::SetWholeNumbers(bool whole) {
    wholeNumbers_ = whole;
    autoXValid_ = autoYValid_ = false;
    cacheValid_ = false;
    MarkDirty();
}

void Graph::RefreshRanges() const {
    if (!boundsValid_) {
        bounds_ = Bounds{};
        for (const StoredPlot& p : plots_)
            for (std::uint32_t i = 0, n = PointCount(p); i < n; ++i) bounds_.Add(PointAt(p, i));
        boundsValid_ = true;
    }
    double xLo = bounds_.xMin, xHi = bounds_.xMax, yLo = bounds_.yMin, yHi = bounds_.yMax;
    if (wholeNumbers_ && !bounds_.empty) {
        WholeSpan(xLo, xHi, false);
        WholeSpan(yLo, yHi, true);
    }
    if (xScale_.mode == VAL_AUTOSCALE) UpdateAutoRange(autoX_, autoXValid_, xLo, xHi);
    if (yScale_.mode == VAL_AUTOSCALE) UpdateAutoRange(autoY_, autoYValid_, yLo, yHi);
}

AxisRange Graph::Shown(Axis axis) const {
    RefreshRanges();
    const AxisScale& scale = axis == VAL_BOTTOM_XAXIS ? xScale_ : yScale_;
    if (scale.mode == VAL_AUTOSCALE) return axis == VAL_BOTTOM_XAXIS ? autoX_ : autoY_;
    AxisRange r = scale.manual;
    if (!(r.min < r.max)) r.max = r.min + 1.0;  // a panel file may give a reversed range
    return r;
}

void Graph::resizeEvent(QResizeEvent* e) {
    cacheValid_ = false;
    QWidget::resizeEvent(e);
}

void Graph::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) cacheValid_ = false;
    PlotWidget::changeEvent(e);
}

namespace {
// The cached picture has whole pixels per logical pixel, so plots can be written into it directly.
int CacheScale(const QWidget* w) {
    return std::max(1, static_cast<int>(std::lround(w->devicePixelRatioF())));
}
}  // namespace

void Graph::paintEvent(QPaintEvent*) {
    const Layout layout = ComputeLayout(Shown(VAL_BOTTOM_XAXIS), Shown(VAL_LEFT_YAXIS));
    const bool sameLayout =
        layout.area == cacheLayout_.area && layout.x == cacheLayout_.x && layout.y == cacheLayout_.y;
    if (!cacheValid_ || !sameLayout || cache_.size() != size() * CacheScale(this) ||
        cacheDrawn_ > plots_.size()) {
        RedrawCache(layout);
    } else if (cacheDrawn_ < plots_.size()) {
        DrawPlots(cache_, layout, cacheDrawn_);
        cacheDrawn_ = plots_.size();
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    DrawCursors(p, layout);
}

void Graph::RedrawCache(const Layout& layout) {
    const int scale = CacheScale(this);
    if (cache_.size() != size() * scale) {
        cache_ = QImage(size() * scale, QImage::Format_RGB32);
        cache_.setDevicePixelRatio(scale);
    }
    {
        QPainter cp(&cache_);
        DrawAxes(cp, layout);
    }
    DrawPlots(cache_, layout, 0);
    cacheLayout_ = layout;
    cacheDrawn_ = plots_.size();
    cacheValid_ = true;
}

// Lines and rectangles go straight into the picture's pixels, in drawing order.
void Graph::DrawPlots(QImage& image, const Layout& layout, std::size_t from) const {
    if (layout.area.width() < 2 || layout.area.height() < 2) return;
    const QRect& area = layout.area;
    const PlotMapping m(area, layout.x, layout.y);
    const QRect limit = area.adjusted(-2, -2, 2, 2);
    auto px = [&](double x) { return static_cast<int>(std::lround(std::clamp(m.X(x), -1e6, 1e6))); };
    auto py = [&](double y) { return static_cast<int>(std::lround(std::clamp(m.Y(y), -1e6, 1e6))); };
    LineBatch batch(area);
    int batchColor = -1;
    for (std::size_t k = from; k < plots_.size(); ++k) {
        const StoredPlot& plot = plots_[k];
        if (plot.color() != batchColor) {
            batch.Flush(image, batchColor, area);
            batchColor = plot.color();
        }
        if (plot.kind() == Stored::Segment) {
            const QPointF a = Unpack(plot.a), b = Unpack(plot.b);
            batch.Add(QPointF(m.X(a.x()), m.Y(a.y())), QPointF(m.X(b.x()), m.Y(b.y())));
            continue;
        }
        if (plot.kind() == Stored::Points) {
            const QPointF* pts = pool_.data() + plot.a;
            if (plot.b == 1) batch.AddPoint(QPointF(m.X(pts[0].x()), m.Y(pts[0].y())));
            for (std::uint32_t i = 1; i < plot.b; ++i)
                batch.Add(QPointF(m.X(pts[i - 1].x()), m.Y(pts[i - 1].y())),
                          QPointF(m.X(pts[i].x()), m.Y(pts[i].y())));
            continue;
        }
        batch.Flush(image, batchColor,
                    area);  // keep the drawing order: earlier lines lie under the rectangle
        const StoredRect& rect = rects_[plot.a];
        const int l = std::max(limit.left(), px(std::min(rect.c1.x(), rect.c2.x())));
        const int r = std::min(limit.right(), px(std::max(rect.c1.x(), rect.c2.x())));
        const int t = std::max(limit.top(), py(std::max(rect.c1.y(), rect.c2.y())));
        const int b = std::min(limit.bottom(), py(std::min(rect.c1.y(), rect.c2.y())));
        if (l > r || t > b) continue;
        if (rect.fillColor != VAL_TRANSPARENT)
            FillPixels(image, QRect(QPoint(l, t), QPoint(r, b)), rect.fillColor, area);
        // The outline: both corner pixels' rows and columns, as a 1-pixel pen draws it.
        for (const QRect& side : {QRect(QPoint(l, t), QPoint(r, t)), QRect(QPoint(l, b), QPoint(r, b)),
                                  QRect(QPoint(l, t), QPoint(l, b)), QRect(QPoint(r, t), QPoint(r, b))})
            FillPixels(image, side, plot.color(), area);
    }
    batch.Flush(image, batchColor, area);
}

// A crosshair: a vertical and a horizontal line through the cursor's point, across the plot area.
void Graph::DrawCursors(QPainter& p, const Layout& layout) const {
    if (layout.area.width() < 2 || layout.area.height() < 2) return;
    const PlotMapping m(layout.area, layout.x, layout.y);
    const QRect& a = layout.area;
    p.setPen(QPen(ToQColor(kCursorColor), 1));
    for (int i = 0; i < numCursors_; ++i) {
        if (!cursors_[i].placed) continue;
        const double fx = m.X(cursors_[i].x), fy = m.Y(cursors_[i].y);
        if (fx >= a.left() - 0.5 && fx < a.right() + 0.5) {
            const int x = static_cast<int>(std::lround(fx));
            p.drawLine(x, a.top(), x, a.bottom());
        }
        if (fy >= a.top() - 0.5 && fy < a.bottom() + 0.5) {
            const int y = static_cast<int>(std::lround(fy));
            p.drawLine(a.left(), y, a.right(), y);
        }
    }
}

}  // namespace platform_detail
