// The graph: plots kept in one point pool and drawn incrementally onto a cached picture; cursors on top.
#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <climits>
#include <cmath>

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

int Graph::NextHandle() {
    // Handles only grow, so plots_ stays sorted by handle; two billion plots on one graph end here.
    if (lastHandle_ == INT_MAX) return UIEOutOfMemory;
    return ++lastHandle_;
}

int Graph::AddXY(std::span<const double> x, std::span<const double> y, int color) {
    return AddPoints(x, y, color);
}

int Graph::AddXY(std::span<const unsigned short> x, std::span<const unsigned short> y, int color) {
    return AddPoints(x, y, color);
}

template <typename T>
int Graph::AddPoints(std::span<const T> x, std::span<const T> y, int color) {
    if (x.empty() || x.size() != y.size() || x.size() > UINT32_MAX / 2) return UIEInvalidValue;
    if (!ValidColor(color)) return UIEInvalidValue;
    const int handle = NextHandle();
    if (handle < 0) return handle;
    const auto first = static_cast<std::uint32_t>(pool_.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const QPointF p(static_cast<double>(x[i]), static_cast<double>(y[i]));
        pool_.push_back(p);
        bounds_.Add(p);
    }
    plots_.push_back(StoredPlot{handle, GraphPlotInfo::XY, first, static_cast<std::uint32_t>(x.size()), color,
                                VAL_TRANSPARENT});
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
    const auto first = static_cast<std::uint32_t>(pool_.size());
    pool_.emplace_back(x1, y1);
    pool_.emplace_back(x2, y2);
    bounds_.Add(pool_[first]);
    bounds_.Add(pool_[first + 1]);
    plots_.push_back(StoredPlot{handle, GraphPlotInfo::Rectangle, first, 2, color, fillColor});
    MarkDirty();
    return handle;
}

int Graph::Delete(int handle) {
    if (handle == VAL_ALL_PLOTS) {
        plots_.clear();
        pool_.clear();
        poolGarbage_ = 0;
        bounds_ = Bounds{};
    } else {
        const auto it = std::lower_bound(plots_.begin(), plots_.end(), handle,
                                         [](const StoredPlot& p, int h) { return p.handle < h; });
        if (it == plots_.end() || it->handle != handle) return UIEItemNotFound;
        poolGarbage_ += it->count;
        plots_.erase(it);
        boundsValid_ = false;
        if (poolGarbage_ > 4096 && poolGarbage_ > pool_.size() / 2) {
            std::vector<QPointF> packed;
            packed.reserve(pool_.size() - poolGarbage_);
            for (StoredPlot& p : plots_) {
                const auto first = static_cast<std::uint32_t>(packed.size());
                packed.insert(packed.end(), pool_.begin() + p.first, pool_.begin() + p.first + p.count);
                p.first = first;
            }
            pool_.swap(packed);
            poolGarbage_ = 0;
        }
    }
    autoXValid_ = autoYValid_ = false;  // autoscaled ranges may shrink again
    cacheValid_ = false;
    MarkDirty();
    return UIENoError;
}

std::vector<GraphPlotInfo> Graph::Plots() const {
    std::vector<GraphPlotInfo> out;
    out.reserve(plots_.size());
    for (const StoredPlot& p : plots_) {
        GraphPlotInfo info{p.handle, p.kind, {}, {}, p.color, p.fillColor};
        for (std::uint32_t i = 0; i < p.count; ++i) {
            info.x.push_back(pool_[p.first + i].x());
            info.y.push_back(pool_[p.first + i].y());
        }
        out.push_back(std::move(info));
    }
    return out;
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

void Graph::RefreshRanges() const {
    if (!boundsValid_) {
        bounds_ = Bounds{};
        for (const StoredPlot& p : plots_)
            for (std::uint32_t i = 0; i < p.count; ++i) bounds_.Add(pool_[p.first + i]);
        boundsValid_ = true;
    }
    if (xScale_.mode == VAL_AUTOSCALE) UpdateAutoRange(autoX_, autoXValid_, bounds_.xMin, bounds_.xMax);
    if (yScale_.mode == VAL_AUTOSCALE) UpdateAutoRange(autoY_, autoYValid_, bounds_.yMin, bounds_.yMax);
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

void Graph::paintEvent(QPaintEvent*) {
    const Layout layout = ComputeLayout(Shown(VAL_BOTTOM_XAXIS), Shown(VAL_LEFT_YAXIS));
    const qreal dpr = devicePixelRatioF();
    const bool sameLayout =
        layout.area == cacheLayout_.area && layout.x == cacheLayout_.x && layout.y == cacheLayout_.y;
    if (!cacheValid_ || !sameLayout || cache_.size() != size() * dpr || cacheDrawn_ > plots_.size()) {
        RedrawCache(layout);
    } else if (cacheDrawn_ < plots_.size()) {
        QPainter cp(&cache_);
        cp.setClipRect(layout.area);
        DrawPlots(cp, layout, cacheDrawn_);
        cacheDrawn_ = plots_.size();
    }
    QPainter p(this);
    p.drawImage(0, 0, cache_);
    DrawCursors(p, layout);
}

void Graph::RedrawCache(const Layout& layout) {
    const qreal dpr = devicePixelRatioF();
    if (cache_.size() != size() * dpr) {
        cache_ = QImage(size() * dpr, QImage::Format_RGB32);
        cache_.setDevicePixelRatio(dpr);
    }
    QPainter cp(&cache_);
    DrawAxes(cp, layout);
    cp.setClipRect(layout.area);
    DrawPlots(cp, layout, 0);
    cacheLayout_ = layout;
    cacheDrawn_ = plots_.size();
    cacheValid_ = true;
}

void Graph::DrawPlots(QPainter& p, const Layout& layout, std::size_t from) const {
    if (layout.area.width() < 2 || layout.area.height() < 2) return;
    const PlotMapping m(layout.area, layout.x, layout.y);
    const QRect limit = layout.area.adjusted(-2, -2, 2, 2);
    auto px = [&](double x) { return static_cast<int>(std::lround(std::clamp(m.X(x), -1e6, 1e6))); };
    auto py = [&](double y) { return static_cast<int>(std::lround(std::clamp(m.Y(y), -1e6, 1e6))); };
    LineBatch batch(layout.area);
    int batchColor = -1;
    for (std::size_t k = from; k < plots_.size(); ++k) {
        const StoredPlot& plot = plots_[k];
        const QPointF* pts = pool_.data() + plot.first;
        if (plot.color != batchColor) {
            batch.Flush(p, batchColor);
            batchColor = plot.color;
        }
        if (plot.kind == GraphPlotInfo::XY) {
            if (plot.count == 1) batch.AddPoint(QPointF(m.X(pts[0].x()), m.Y(pts[0].y())));
            for (std::uint32_t i = 1; i < plot.count; ++i)
                batch.Add(QPointF(m.X(pts[i - 1].x()), m.Y(pts[i - 1].y())),
                          QPointF(m.X(pts[i].x()), m.Y(pts[i].y())));
            continue;
        }
        batch.Flush(p, batchColor);  // keep the drawing order: earlier lines lie under the rectangle
        const int l = std::max(limit.left(), px(std::min(pts[0].x(), pts[1].x())));
        const int r = std::min(limit.right(), px(std::max(pts[0].x(), pts[1].x())));
        const int t = std::max(limit.top(), py(std::max(pts[0].y(), pts[1].y())));
        const int b = std::min(limit.bottom(), py(std::min(pts[0].y(), pts[1].y())));
        if (l > r || t > b) continue;
        if (plot.fillColor != VAL_TRANSPARENT)
            p.fillRect(QRect(QPoint(l, t), QPoint(r, b)), ToQColor(plot.fillColor));
        p.setPen(QPen(ToQColor(plot.color), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(l, t, r - l, b - t);
    }
    batch.Flush(p, batchColor);
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
