// Text messages and pictures: QLabel, a picture when "ctrlKind" = "picture". Both are indicators.
#include <QLabel>

#include "kinds.h"

namespace platform_detail {
namespace {

bool IsPicture(const QWidget* w) {
    return w->property("ctrlKind").toString() == QLatin1String("picture");
}

QLabel* LabelOf(const Control& c) {
    return static_cast<QLabel*>(c.widget.data());
}

// A text message: its text is its value and its label; its background is the window behind the text.
class TextMessages : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QLabel*>(w) || IsPicture(w)) return CTRL_NONE;
        dataType = VAL_STRING;
        return CTRL_TEXT_MSG;
    }
    QWidget* Make(CtrlStyle style, const QString& label, QWidget* parent) const override {
        return style == CTRL_TEXT_MSG ? new QLabel(label, parent) : nullptr;
    }
    void MadeAtRunTime(Control& c) const override { c.sizeToText = true; }
    bool AlwaysIndicator() const override { return true; }

    int Read(const Control& c, Value& v) const override {
        v = LabelOf(c)->text();
        return 0;
    }
    int Write(Control& c, const Value& v) const override {
        if (!IsTextValue(v)) return UIEWrongType;
        LabelOf(c)->setText(v.toString());
        SizeToText(c);
        return 0;
    }

    QString Label(const Control& c) const override { return LabelOf(c)->text(); }
    void ShowLabel(Control& c) const override { LabelOf(c)->setText(c.label); }
    QPalette::ColorRole ColorRole(CtrlAttr attr) const override {
        return attr == ATTR_TEXT_BGCOLOR ? QPalette::Window : ControlKind::ColorRole(attr);
    }
    void ShowColors(Control& c) const override {
        ShowPaletteColors(c.widget, c.textColor, c.textBgColor, QPalette::Window);
        if (c.textBgColor) c.widget->setAutoFillBackground(*c.textBgColor != VAL_TRANSPARENT);
    }
};

// A picture shows a bitmap (DisplayImageFile); it has no value and no text.
class Pictures : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QLabel*>(w) || !IsPicture(w)) return CTRL_NONE;
        dataType = VAL_STRING;
        return CTRL_PICTURE;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_PICTURE) return nullptr;
        auto* l = new QLabel(parent);
        l->setProperty("ctrlKind", "picture");
        l->adjustSize();
        return l;
    }
    bool AlwaysIndicator() const override { return true; }
    bool HasText() const override { return false; }
};

}  // namespace

const ControlKind& TextMessageKind() {
    static const TextMessages kind;
    return kind;
}

const ControlKind& PictureKind() {
    static const Pictures kind;
    return kind;
}

}  // namespace platform_detail
