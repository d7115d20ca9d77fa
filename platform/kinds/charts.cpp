// Strip charts and graphs: our own plot widgets, declared as custom widgets in panel files. No value and
// no text; their data go through the plot operations (plots.cpp).
#include "kinds.h"
#include "plots.h"

namespace platform_detail {
namespace {

template <class Widget, CtrlStyle kStyle>
class Charts : public ControlKind {
  public:
    explicit Charts(const char* className) : className_(className) {}

    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const Widget*>(w)) return CTRL_NONE;
        dataType = VAL_DOUBLE;
        return kStyle;
    }
    QWidget* MakeForFile(const QString& className, QWidget* parent) const override {
        return className == QLatin1String(className_) ? new Widget(parent) : nullptr;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != kStyle) return nullptr;
        auto* w = new Widget(parent);
        w->adjustSize();
        return w;
    }
    bool HasText() const override { return false; }

    int GetAttr(const Control& c, CtrlAttr attr, int& v) const override {
        if (attr == ATTR_FRAME_COLOR) return UIEInvalidAttribute;
        if constexpr (kStyle == CTRL_STRIP_CHART) {
            const auto* chart = static_cast<const StripChart*>(c.widget.data());
            if (attr == ATTR_POINTS_PER_SCREEN) {
                v = chart->PointsPerScreen();
                return 0;
            }
            if (attr == ATTR_NUM_TRACES) {
                v = chart->NumTraces();
                return 0;
            }
        }
        return kNotMine;
    }
    int SetAttr(Control& c, CtrlAttr attr, int v) const override {
        if (attr == ATTR_FRAME_COLOR) return UIEInvalidAttribute;
        if constexpr (kStyle == CTRL_STRIP_CHART) {
            auto* chart = static_cast<StripChart*>(c.widget.data());
            if (attr == ATTR_POINTS_PER_SCREEN) return chart->SetPointsPerScreen(v);
            if (attr == ATTR_NUM_TRACES) return chart->SetNumTraces(v);
        }
        return kNotMine;
    }

  private:
    const char* className_;
};

}  // namespace

const ControlKind& StripChartKind() {
    static const Charts<StripChart, CTRL_STRIP_CHART> kind("StripChart");
    return kind;
}

const ControlKind& GraphKind() {
    static const Charts<Graph, CTRL_GRAPH> kind("Graph");
    return kind;
}

}  // namespace platform_detail
