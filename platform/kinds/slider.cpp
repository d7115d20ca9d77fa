// Sliders (QSlider): an integer between the slider's limits, and on request its scale beneath it.
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyleOptionSlider>
#include <array>
#include <cmath>
#include <limits>

#include "kinds.h"

namespace platform_detail {
namespace {

// A slider that can show its scale, its minimum, middle and maximum, in a strip below the ticks (panel
// file property "scaleLabels"). The scale and the ticks follow every change of the range: a slider widened
// for a value beyond its range keeps true labels and its number of ticks.
class ScaleSlider : public QSlider {
  public:
    explicit ScaleSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

    void ShowScale() {
        if (orientation() != Qt::Horizontal || labels_[0]) return;
        const int range = maximum() - minimum();
        ticks_ = tickInterval() > 0 && range > 0 ? std::max(1, range / tickInterval()) : 10;
        const Qt::Alignment align[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
        for (int i = 0; i < 3; ++i) {
            labels_[i] = new QLabel(this);
            labels_[i]->setObjectName(objectName() + "Scale" + QString::number(i));
            labels_[i]->setAlignment(align[i] | Qt::AlignVCenter);
            QFont f = labels_[i]->font();
            f.setPointSize(7);
            labels_[i]->setFont(f);
            labels_[i]->setStyleSheet("color: #606060;");
            labels_[i]->show();
        }
        UpdateScale();
        PlaceLabels();
    }
    QSize sizeHint() const override { return QSlider::sizeHint() + QSize(0, StripHeight()); }
    QSize minimumSizeHint() const override { return QSlider::minimumSizeHint() + QSize(0, StripHeight()); }

  protected:
    // The groove, ticks and handle keep to the area above the strip, in painting and in hit tests alike.
    void initStyleOption(QStyleOptionSlider* option) const override {
        QSlider::initStyleOption(option);
        option->rect.setHeight(option->rect.height() - StripHeight());
    }
    void sliderChange(SliderChange change) override {
        QSlider::sliderChange(change);
        if (change == SliderRangeChange) UpdateScale();
    }
    void resizeEvent(QResizeEvent* e) override {
        QSlider::resizeEvent(e);
        PlaceLabels();
    }

  private:
    int StripHeight() const { return labels_[0] ? labels_[0]->fontMetrics().height() + 2 : 0; }
    void UpdateScale() {
        if (!labels_[0]) return;
        const int lo = minimum(), hi = maximum();
        const int values[] = {lo, lo + (hi - lo) / 2, hi};
        for (int i = 0; i < 3; ++i) labels_[i]->setText(QString::number(values[i]));
        const double step = std::ceil(double(hi - lo) / ticks_);
        setTickInterval(step >= 1 ? static_cast<int>(step) : 1);
    }
    void PlaceLabels() {
        if (!labels_[0]) return;
        const int h = StripHeight(), third = width() / 3;
        for (int i = 0; i < 3; ++i)
            labels_[i]->setGeometry(i * third, height() - h, i == 2 ? width() - 2 * third : third, h);
    }

    std::array<QLabel*, 3> labels_{};
    int ticks_ = 10;
};

QSlider* Slider(const Control& c) {
    return static_cast<QSlider*>(c.widget.data());
}

class Sliders : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QSlider*>(w)) return CTRL_NONE;
        dataType = VAL_INTEGER;
        return CTRL_SLIDER;
    }
    QWidget* MakeForFile(const QString& className, QWidget* parent) const override {
        return className == QLatin1String("QSlider") ? new ScaleSlider(parent) : nullptr;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_SLIDER) return nullptr;
        auto* s = new ScaleSlider(parent);
        s->adjustSize();
        return s;
    }
    void Prepare(Control& c) const override {
        auto* s = dynamic_cast<ScaleSlider*>(c.widget.data());
        if (s && s->property("scaleLabels").toBool()) s->ShowScale();
    }

    int Read(const Control& c, Value& v) const override {
        v = Slider(c)->value();
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        if (!IsIntValue(v)) return UIEWrongType;
        Slider(c)->setValue(v.toInt());
        return 0;
    }
    int GetLimit(const Control& c, bool max, double& v) const override {
        v = max ? Slider(c)->maximum() : Slider(c)->minimum();
        return 0;
    }
    int SetLimit(Control& c, bool max, double v) const override {
        if (v != std::floor(v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
            return UIEInvalidValue;
        const QSignalBlocker block(c.widget);
        max ? Slider(c)->setMaximum(static_cast<int>(v)) : Slider(c)->setMinimum(static_cast<int>(v));
        return 0;
    }

    // Dragging changes the value at every move and commits on release; a key or page step does both.
    void Hook(Control& c) const override {
        QSlider* s = Slider(c);
        const int panel = c.panel, id = c.id;
        QObject::connect(s, &QSlider::valueChanged, s, [s, panel, id] {
            Raise(panel, id, EVENT_VAL_CHANGED);
            if (!s->isSliderDown()) Raise(panel, id, EVENT_COMMIT);
        });
        QObject::connect(s, &QSlider::sliderReleased, s, [panel, id] { Raise(panel, id, EVENT_COMMIT); });
    }

    // A drag to the value and a release.
    int PersonSets(Control& c, const Value& v) const override {
        if (IsTextValue(v)) return UIEWrongType;
        QSlider* s = Slider(c);
        s->setSliderDown(true);
        s->setValue(static_cast<int>(v.toDouble()));
        s->setSliderDown(false);
        return 0;
    }
};

}  // namespace

const ControlKind& SliderKind() {
    static const Sliders kind;
    return kind;
}

}  // namespace platform_detail
