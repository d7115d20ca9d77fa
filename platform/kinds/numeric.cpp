// Numeric controls: QSpinBox (int; "dataType" = "uint16" for unsigned 16-bit) and QDoubleSpinBox.
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "kinds.h"
#include "spinbox.h"

namespace platform_detail {
namespace {

// A numeric box that tells an arrow step and Enter apart from typing; a typed number outside the range is
// clamped to it when committed (ClampingSpinBox).
template <class Base>
class NumericBox : public ClampingSpinBox<Base> {
  public:
    explicit NumericBox(QWidget* parent) : ClampingSpinBox<Base>(parent) {}
    void stepBy(int steps) override {
        const auto before = Base::value();
        Base::stepBy(steps);
        if (Base::value() != before) Commit();
    }

  protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter) return Base::keyPressEvent(e);
        // Enter re-reads the text and reports the value again even when it did not change.
        const auto before = Base::value();
        {
            const QSignalBlocker block(this);
            Base::keyPressEvent(e);
        }
        const Control* c = ControlOfWidget(this);
        if (Base::value() != before && c) Raise(c->panel, c->id, EVENT_VAL_CHANGED);
        Commit();
    }
    void focusOutEvent(QFocusEvent* e) override {
        Base::focusOutEvent(e);
        const Control* c = ControlOfWidget(this);
        if (c && c->dirty) Commit();
    }

  private:
    void Commit() {
        if (const Control* c = ControlOfWidget(this)) CommitUserEdit(c->panel, c->id);
    }
};

// What QDoubleSpinBox::setValue makes of a value: rounded to the box's decimals, within its limits.
double AsShown(const QDoubleSpinBox& box, const Value& v) {
    const double rounded = QString::number(v.toDouble(), 'f', box.decimals()).toDouble();
    return std::clamp(rounded, box.minimum(), box.maximum());
}

class Numerics : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (qobject_cast<const QSpinBox*>(w)) {
            dataType = w->property("dataType").toString() == QLatin1String("uint16")
                           ? VAL_UNSIGNED_SHORT_INTEGER
                           : VAL_INTEGER;
            return CTRL_NUMERIC;
        }
        if (qobject_cast<const QDoubleSpinBox*>(w)) {
            dataType = VAL_DOUBLE;
            return CTRL_NUMERIC;
        }
        return CTRL_NONE;
    }
    QWidget* MakeForFile(const QString& className, QWidget* parent) const override {
        if (className == QLatin1String("QSpinBox")) return new NumericBox<QSpinBox>(parent);
        if (className == QLatin1String("QDoubleSpinBox")) return new NumericBox<QDoubleSpinBox>(parent);
        return nullptr;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_NUMERIC) return nullptr;
        auto* s = new NumericBox<QSpinBox>(parent);
        s->adjustSize();
        return s;
    }
    void Prepare(Control& c) const override {
        auto* box = static_cast<QAbstractSpinBox*>(c.widget.data());
        if (auto* s = qobject_cast<QSpinBox*>(box); s && c.dataType == VAL_UNSIGNED_SHORT_INTEGER)
            s->setRange(std::clamp(s->minimum(), 0, 65535), std::clamp(s->maximum(), 0, 65535));
        box->setKeyboardTracking(true);
    }
    bool HasReadOnlyMode() const override { return true; }
    bool StartsReadOnly(const Control& c) const override {
        return static_cast<const QAbstractSpinBox*>(c.widget.data())->isReadOnly();
    }
    void ApplyMode(Control& c) const override {
        if (!c.indicator) ShowPaced(c);  // a field a person may edit shows what it holds
        static_cast<QAbstractSpinBox*>(c.widget.data())->setReadOnly(c.indicator);
    }

    int Read(const Control& c, Value& v) const override {
        if (c.pacedValue)
            v = *c.pacedValue;
        else if (auto* s = qobject_cast<const QSpinBox*>(c.widget))
            v = s->value();
        else if (auto* ds = qobject_cast<const QDoubleSpinBox*>(c.widget))
            v = ds->value();
        return 0;
    }
    // An indicator is a display the program may refresh with every frame it receives: the value, as the box
    // will show it (within its limits, a double at its decimals), is kept at once and shown at the screen's
    // pace. A field a person edits shows it at once.
    int Write(Control& c, const Value& v) const override {
        auto* s = qobject_cast<QSpinBox*>(c.widget);
        auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget);
        if ((s && !IsIntValue(v)) || (ds && IsTextValue(v))) return UIEWrongType;
        const Value shown =
            s ? Value(std::clamp(v.toInt(), s->minimum(), s->maximum())) : Value(AsShown(*ds, v));
        c.pacedValue = shown;
        if (c.indicator)
            ShowAtScreenPace(c);
        else
            ShowPaced(c);
        return 0;
    }
    void ShowPaced(Control& c) const override {
        if (!c.pacedValue) return;
        const Value v = *std::exchange(c.pacedValue, std::nullopt);
        const QSignalBlocker block(c.widget);  // program changes raise no events
        if (auto* s = qobject_cast<QSpinBox*>(c.widget)) s->setValue(v.toInt());
        if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) ds->setValue(v.toDouble());
    }

    int GetLimit(const Control& c, bool max, double& v) const override {
        if (auto* s = qobject_cast<const QSpinBox*>(c.widget))
            v = max ? s->maximum() : s->minimum();
        else if (auto* ds = qobject_cast<const QDoubleSpinBox*>(c.widget))
            v = max ? ds->maximum() : ds->minimum();
        return 0;
    }
    int SetLimit(Control& c, bool max, double v) const override {
        ShowPaced(c);  // the new limits apply to the value as it stands
        const QSignalBlocker block(c.widget);
        if (auto* s = qobject_cast<QSpinBox*>(c.widget)) {
            const bool u16 = c.dataType == VAL_UNSIGNED_SHORT_INTEGER;
            const double lo = u16 ? 0 : std::numeric_limits<int>::min();
            const double hi = u16 ? 65535 : std::numeric_limits<int>::max();
            if (v != std::floor(v) || v < lo || v > hi) return UIEInvalidValue;
            max ? s->setMaximum(static_cast<int>(v)) : s->setMinimum(static_cast<int>(v));
        } else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) {
            max ? ds->setMaximum(v) : ds->setMinimum(v);
        }
        return 0;
    }

    // Each edit changes the value; Enter, a step or leaving the box commits it (NumericBox).
    void Hook(Control& c) const override {
        auto changed = [panel = c.panel, id = c.id] {
            MarkDirty(panel, id, true);
            Raise(panel, id, EVENT_VAL_CHANGED);
        };
        if (auto* s = qobject_cast<QSpinBox*>(c.widget))
            QObject::connect(s, &QSpinBox::valueChanged, s, changed);
        else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget))
            QObject::connect(ds, &QDoubleSpinBox::valueChanged, ds, changed);
    }

    // A typed value (VAL_CHANGED), then Enter (COMMIT).
    int PersonSets(Control& c, const Value& v) const override {
        if (IsTextValue(v)) return UIEWrongType;
        const double d = v.toDouble();
        if (auto* s = qobject_cast<QSpinBox*>(c.widget)) {
            if (d != std::floor(d)) return UIEWrongType;
            if (d < s->minimum() || d > s->maximum()) return UIEInvalidValue;
            s->setValue(static_cast<int>(d));
        } else if (auto* ds = qobject_cast<QDoubleSpinBox*>(c.widget)) {
            if (d < ds->minimum() || d > ds->maximum()) return UIEInvalidValue;
            ds->setValue(d);
        }
        CommitUserEdit(c.panel, c.id);
        return 0;
    }
};

}  // namespace

const ControlKind& NumericKind() {
    static const Numerics kind;
    return kind;
}

}  // namespace platform_detail
