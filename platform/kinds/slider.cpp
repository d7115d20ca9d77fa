// Sliders (QSlider): an integer between the slider's limits.
#include <QSignalBlocker>
#include <QSlider>
#include <cmath>
#include <limits>

#include "kinds.h"

namespace platform_detail {
namespace {

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
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_SLIDER) return nullptr;
        auto* s = new QSlider(Qt::Horizontal, parent);
        s->adjustSize();
        return s;
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
