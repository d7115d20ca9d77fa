// Decorations (QFrame): a box, filled with its frame colour once one is set. No value, no text.
#include <QFrame>

#include "kinds.h"

namespace platform_detail {
namespace {

class Decorations : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QFrame*>(w)) return CTRL_NONE;
        dataType = VAL_INTEGER;
        return CTRL_DECORATION;
    }
    QWidget* Make(CtrlStyle style, const QString&, QWidget* parent) const override {
        if (style != CTRL_DECORATION) return nullptr;
        auto* f = new QFrame(parent);
        f->setFrameShape(QFrame::Box);
        f->resize(40, 40);
        return f;
    }
    bool AlwaysIndicator() const override { return true; }
    bool HasText() const override { return false; }

    QPalette::ColorRole ColorRole(CtrlAttr attr) const override {
        return attr == ATTR_FRAME_COLOR ? QPalette::Window : ControlKind::ColorRole(attr);
    }
    void ShowColors(Control& c) const override {
        if (!c.frameColor) return;
        QWidget* w = c.widget;
        QPalette pal = w->palette();
        pal.setColor(QPalette::Window, ToQColor(*c.frameColor));
        // Its line too, unless it holds controls, whose text would take the colour as well.
        if (w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty())
            pal.setColor(QPalette::WindowText, ToQColor(*c.frameColor));
        w->setPalette(pal);
        w->setAutoFillBackground(true);
    }
};

}  // namespace

const ControlKind& DecorationKind() {
    static const Decorations kind;
    return kind;
}

}  // namespace platform_detail
