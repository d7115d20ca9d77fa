// Spin boxes that never drop a digit a person types. Qt's own refuse a keystroke that takes the number out
// of the range (70000 typed into 0..60000 would stay 7000, -1 into 0..65535 would become 1). These keep
// the text as typed and clamp the number to the range when it is committed (Enter, leaving the field), so
// the field then shows the value that counts.
#pragma once

#include <QDoubleSpinBox>
#include <QRegularExpression>
#include <QSpinBox>
#include <algorithm>
#include <optional>
#include <type_traits>

namespace platform_detail {

template <class Base>
class ClampingSpinBox : public Base {
    static_assert(std::is_same_v<Base, QSpinBox> || std::is_same_v<Base, QDoubleSpinBox>);

  public:
    explicit ClampingSpinBox(QWidget* parent = nullptr) : Base(parent) {}

    QValidator::State validate(QString& text, int& pos) const override {
        const QValidator::State state = Base::validate(text, pos);
        if (state != QValidator::Invalid) return state;
        const QString number = Number(text);
        if (number == QLatin1String("-") || number == QLatin1String("+")) return QValidator::Intermediate;
        return ToNumber(number).has_value() ? QValidator::Intermediate : state;
    }

    void fixup(QString& text) const override {
        const std::optional<double> v = ToNumber(Number(text));
        if (!v) return Base::fixup(text);
        const double clamped = std::clamp(*v, double(Base::minimum()), double(Base::maximum()));
        if constexpr (std::is_same_v<Base, QSpinBox>)
            text = Base::prefix() + Base::textFromValue(static_cast<int>(clamped)) + Base::suffix();
        else
            text = Base::prefix() + Base::textFromValue(clamped) + Base::suffix();
    }

  private:
    // The text without prefix, suffix and surrounding blanks.
    QString Number(QString text) const {
        if (!Base::prefix().isEmpty() && text.startsWith(Base::prefix()))
            text.remove(0, Base::prefix().size());
        if (!Base::suffix().isEmpty() && text.endsWith(Base::suffix())) text.chop(Base::suffix().size());
        return text.trimmed();
    }

    // A whole number (any number of digits) for an integer box, any number for a box of doubles.
    std::optional<double> ToNumber(const QString& number) const {
        if constexpr (std::is_same_v<Base, QSpinBox>) {
            static const QRegularExpression kWhole(QStringLiteral("^[+-]?[0-9]+$"));
            if (!kWhole.match(number).hasMatch()) return std::nullopt;
        }
        bool ok = false;
        const double v = Base::locale().toDouble(number, &ok);
        if (!ok) return std::nullopt;
        return v;
    }
};

}  // namespace platform_detail
