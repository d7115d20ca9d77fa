// Decorations (QFrame): a box, filled with its frame colour once one is set. No value, no text. Group boxes
// of panel files are made here too, as boxes that keep their drawing.
#include <QFrame>
#include <QGroupBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyleOptionGroupBox>

#include "kinds.h"

namespace platform_detail {
namespace {

// A group box that draws its frame and title once and then copies the picture. The displays inside it
// change many times a second, and each change paints the box again beneath them, which costs the style more
// than the displays themselves. A box a person can tick is drawn as usual (it follows the mouse).
class KeptGroupBox : public QGroupBox {
  public:
    explicit KeptGroupBox(QWidget* parent) : QGroupBox(parent) {}

  protected:
    void paintEvent(QPaintEvent* e) override {
        if (isCheckable()) return QGroupBox::paintEvent(e);
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        if (!Same(option, drawn_) || font() != drawnFont_ ||
            picture_.devicePixelRatio() != devicePixelRatioF())
            Draw(option);
        QPainter p(this);
        p.drawPixmap(0, 0, picture_);
    }

  private:
    // Everything of the option the style draws a group box by.
    static bool Same(const QStyleOptionGroupBox& a, const QStyleOptionGroupBox& b) {
        return a.rect == b.rect && a.state == b.state && a.direction == b.direction && a.text == b.text &&
               a.textAlignment == b.textAlignment && a.textColor == b.textColor && a.features == b.features &&
               a.lineWidth == b.lineWidth && a.midLineWidth == b.midLineWidth &&
               a.subControls == b.subControls && a.palette == b.palette;
    }
    // As the box's own painter would: the widget's font, text colour and background.
    void Draw(const QStyleOptionGroupBox& option) {
        const qreal ratio = devicePixelRatioF();
        picture_ = QPixmap((QSizeF(size()) * ratio).toSize());
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::transparent);
        QPainter p(&picture_);
        p.setFont(font());
        p.setPen(palette().color(foregroundRole()));
        p.setBrush(palette().brush(backgroundRole()));
        style()->drawComplexControl(QStyle::CC_GroupBox, &option, &p, this);
        drawn_ = option;
        drawnFont_ = font();
    }

    QStyleOptionGroupBox drawn_;
    QFont drawnFont_;
    QPixmap picture_;
};

class Decorations : public ControlKind {
  public:
    CtrlStyle Classify(const QWidget* w, DataType& dataType) const override {
        if (!qobject_cast<const QFrame*>(w)) return CTRL_NONE;
        dataType = VAL_INTEGER;
        return CTRL_DECORATION;
    }
    QWidget* MakeForFile(const QString& className, QWidget* parent) const override {
        if (className == QLatin1String("QGroupBox")) return new KeptGroupBox(parent);
        return nullptr;
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
