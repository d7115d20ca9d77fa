// How controls look: colours on palettes and style sheets, fonts, text that sizes its message.
#include <QApplication>

#include "kinds.h"

namespace platform_detail {

QColor ToQColor(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

int FromQColor(const QColor& c) {
    return (c.red() << 16) | (c.green() << 8) | c.blue();
}

void ShowPaletteColors(QWidget* w, std::optional<int> text, std::optional<int> background,
                       QPalette::ColorRole bgRole) {
    if (!text && !background) return;
    QPalette pal = w->palette();
    if (text)
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            pal.setColor(role, ToQColor(*text));
    if (background)
        pal.setColor(bgRole,
                     *background == VAL_TRANSPARENT ? QColor(Qt::transparent) : ToQColor(*background));
    w->setPalette(pal);
}

void ShowFaceStyle(QWidget* w, std::optional<int> face, std::optional<int> text, bool pressedShade) {
    QString decl;
    if (face) {
        const QColor c = ToQColor(*face);
        decl += QString("background-color: %1; border: 1px solid %2; border-radius: 2px; padding: 1px 4px;")
                    .arg(c.name(), c.darker(160).name());
    }
    if (text) decl += QString(" color: %1;").arg(ToQColor(*text).name());
    const QString cls = w->metaObject()->className();
    QString sheet = decl.isEmpty() ? QString() : QString("%1 { %2 }").arg(cls, decl);
    if (pressedShade) sheet += FocusFrameStyle(w, face);
    if (face && pressedShade) {
        sheet +=
            QString(" %1:pressed { background-color: %2; }").arg(cls, ToQColor(*face).darker(120).name());
        // Dimmed, a coloured face fades towards grey and its text turns dark grey: still readable, and
        // plainly out of reach (a strong face with the style's pale dimmed text could not be read).
        const QColor c = ToQColor(*face), grey(0xD4, 0xD4, 0xD4);
        const QColor faded((c.red() + 2 * grey.red()) / 3, (c.green() + 2 * grey.green()) / 3,
                           (c.blue() + 2 * grey.blue()) / 3);
        sheet += QString(" %1:disabled { background-color: %2; color: #505050; border: 1px solid #a0a0a0; }")
                     .arg(cls, faded.name());
    }
    w->setStyleSheet(sheet);
}

// A button with the keyboard focus wears a blue frame two pixels wide, on its own face, so a person sees
// which button Return or Space will press.
QString FocusFrameStyle(const QWidget* w, std::optional<int> face) {
    const QColor c = face ? ToQColor(*face) : w->palette().color(QPalette::Button);
    return QString(
               " %1:focus { background-color: %2; border: 2px solid #1f5fbf; border-radius: 2px;"
               " padding: 0px 3px; }")
        .arg(w->metaObject()->className(), c.name());
}

void SizeToText(const Control& c) {
    if (c.sizeToText) c.widget->adjustSize();
}

}  // namespace platform_detail
