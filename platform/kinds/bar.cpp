// Numeric bars (QProgressBar): a double shown on an integer progress bar; the file's "maximum" is the full
// scale. Always an indicator.
#include <QProgressBar>
#include <algorithm>
#include <cmath>

#include "kinds.h"

namespace platform_detail {
namespace {

constexpr int kBarSteps = 10000;  // resolution of the bar

QProgressBar* Bar(const Control& c) {
    return static_cast<QProgressBar*>(c.widget.data());
}

void ShowValue(const Control& c) {
    const Control::Bar& b = c.bar;
    const double f = b.max > b.min ? std::clamp((b.value - b.min) / (b.max - b.min), 0.0, 1.0) : 0.0;
    Bar(c)->setValue(static_cast<int>(std::lround(f * kBarSteps)));
}

class NumericBars : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QProgressBar*>(w)) return CTRL_NONE;
        dataType = VAL_DOUBLE;
        return CTRL_NUMERIC_BAR;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_NUMERIC_BAR) return nullptr;
        auto* b = new QProgressBar(parent);
        b->adjustSize();
        return b;
    }
    void Prepare(Control& c) const override {
        QProgressBar* bar = Bar(c);
        c.bar.min = bar->minimum();
        c.bar.max = bar->maximum();
        c.bar.value = bar->value() < bar->minimum() ? bar->minimum() : bar->value();
        bar->setRange(0, kBarSteps);
        ShowValue(c);
    }
    bool AlwaysIndicator() const override { return true; }

    int Read(const Control& c, Value& v) const override {
        v = c.bar.value;
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        if (IsTextValue(v)) return UIEWrongType;
        c.bar.value = v.toDouble();
        // A transfer steps its progress after every echo, a millisecond apart: far more often than a
        // screen shows, and each repaint costs more than such an exchange.
        ShowAtScreenPace(c);
        return 0;
    }
    void ShowPaced(Control& c) const override { ShowValue(c); }
    int GetLimit(const Control& c, bool max, double& v) const override {
        v = max ? c.bar.max : c.bar.min;
        return 0;
    }
    int SetLimit(Control& c, bool max, double v) const override {
        (max ? c.bar.max : c.bar.min) = v;
        ShowValue(c);
        return 0;
    }
};

}  // namespace

const ControlKind& NumericBarKind() {
    static const NumericBars kind;
    return kind;
}

}  // namespace platform_detail
