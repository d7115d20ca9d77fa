// Key codes between Qt's key events and the programs' encoding: an ASCII part, a virtual-key part and
// modifier bits.
#include <QString>

#include "registry.h"

namespace platform_detail {

int KeyCodeFromEvent(int qtKey, int qtModifiers, const QString& text) {
    int mods = 0;
    if (qtModifiers & Qt::ShiftModifier) mods |= VAL_SHIFT_MODIFIER;
    if (qtModifiers & Qt::ControlModifier) mods |= VAL_MENUKEY_MODIFIER;
    switch (qtKey) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VAL_TAB_VKEY | mods;
        case Qt::Key_Backspace:
            return VAL_BACKSPACE_VKEY | mods;
        case Qt::Key_Delete:
            return VAL_FWD_DELETE_VKEY | mods;
        case Qt::Key_Up:
            return VAL_UP_ARROW_VKEY | mods;
        case Qt::Key_Down:
            return VAL_DOWN_ARROW_VKEY | mods;
        case Qt::Key_Left:
            return VAL_LEFT_ARROW_VKEY | mods;
        case Qt::Key_Right:
            return VAL_RIGHT_ARROW_VKEY | mods;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VAL_ENTER_VKEY | mods;
        case Qt::Key_Escape:
            return VAL_ESC_VKEY | mods;
        case Qt::Key_Home:
            return VAL_HOME_VKEY | mods;
        case Qt::Key_End:
            return VAL_END_VKEY | mods;
        default:
            break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12)
        return (VAL_F1_VKEY + 0x100 * (qtKey - Qt::Key_F1)) | mods;
    if ((qtModifiers & Qt::ControlModifier) && qtKey >= 0x20 && qtKey < 0x7F) return qtKey | mods;
    if (!text.isEmpty() && text[0].unicode() >= 0x20 && text[0].unicode() < 0x100) {
        // The character already tells upper or lower case; Shift stays as a modifier like the platform did.
        return text[0].unicode() | mods;
    }
    return 0;
}

void KeyEventFromCode(int code, int& qtKey, int& qtModifiers, QString& text) {
    qtModifiers = Qt::NoModifier;
    if (code & VAL_SHIFT_MODIFIER) qtModifiers |= Qt::ShiftModifier;
    if (code & VAL_MENUKEY_MODIFIER) qtModifiers |= Qt::ControlModifier;
    text.clear();
    switch (code & VAL_VKEY_MASK) {
        case 0: {
            const int c = code & VAL_ASCII_KEY_MASK;
            qtKey = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
            if (!(qtModifiers & Qt::ControlModifier)) text = QString(QChar(c));
            return;
        }
        case VAL_TAB_VKEY:
            qtKey = (qtModifiers & Qt::ShiftModifier) ? Qt::Key_Backtab : Qt::Key_Tab;
            return;
        case VAL_BACKSPACE_VKEY:
            qtKey = Qt::Key_Backspace;
            return;
        case VAL_FWD_DELETE_VKEY:
            qtKey = Qt::Key_Delete;
            return;
        case VAL_UP_ARROW_VKEY:
            qtKey = Qt::Key_Up;
            return;
        case VAL_DOWN_ARROW_VKEY:
            qtKey = Qt::Key_Down;
            return;
        case VAL_LEFT_ARROW_VKEY:
            qtKey = Qt::Key_Left;
            return;
        case VAL_RIGHT_ARROW_VKEY:
            qtKey = Qt::Key_Right;
            return;
        case VAL_ENTER_VKEY:
            qtKey = Qt::Key_Return;
            text = "\r";
            return;
        case VAL_ESC_VKEY:
            qtKey = Qt::Key_Escape;
            return;
        case VAL_HOME_VKEY:
            qtKey = Qt::Key_Home;
            return;
        case VAL_END_VKEY:
            qtKey = Qt::Key_End;
            return;
        default:
            break;
    }
    const int f = ((code & VAL_VKEY_MASK) - VAL_F1_VKEY) / 0x100;
    qtKey = (f >= 0 && f < 12) ? Qt::Key_F1 + f : Qt::Key_unknown;
}

}  // namespace platform_detail
