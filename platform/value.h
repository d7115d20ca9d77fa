// A control's value as the kinds keep it and the programs' variables take it: int, double or text, and the
// conversions between them. Below the kinds, which all hold values; knows nothing of controls.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <string>
#include <string_view>

#include "platform.h"

namespace platform_detail {

// A value as a control or a cell holds it: int, double or text. Text from the program is its bytes
// (QByteArray), kept as they are; text a person typed is a QString.
using Value = QVariant;
inline bool IsIntValue(const Value& v) {
    return v.typeId() == QMetaType::Int;
}
inline bool IsDoubleValue(const Value& v) {
    return v.typeId() == QMetaType::Double;
}
inline bool IsTextValue(const Value& v) {
    return v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray;
}
// A text value's bytes: the program's bytes as they are, a person's text as UTF-8.
QByteArray TextBytes(const Value& v);
// A text value as the screen shows it: UTF-8 decoded, and every byte that is not part of UTF-8 shown as
// \xHH, so nothing that cannot be decoded is hidden or replaced.
QString ShownText(const Value& v);
// The program's text as a text value: its bytes, as they are.
inline QByteArray TextValue(std::string_view text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}
// Into the program's variable: UIEWrongType when the type does not fit, UIEInvalidValue when the number
// does not (value.cpp).
int ToInt(const Value& v, int& out);
int ToUShort(const Value& v, unsigned short& out);
int ToDouble(const Value& v, double& out);
int ToText(const Value& v, std::string& out);

}  // namespace platform_detail
