// Values: the conversions into the programs' variables, and text values as bytes and as shown.
#include "value.h"

#include <cstdio>

namespace platform_detail {

int ToInt(const Value& v, int& out) {
    if (!IsIntValue(v)) return UIEWrongType;
    out = v.toInt();
    return 0;
}

int ToUShort(const Value& v, unsigned short& out) {
    int i = 0;
    if (int err = ToInt(v, i)) return err;
    if (i < 0 || i > 65535) return UIEInvalidValue;
    out = static_cast<unsigned short>(i);
    return 0;
}

int ToDouble(const Value& v, double& out) {
    if (!IsIntValue(v) && !IsDoubleValue(v)) return UIEWrongType;
    out = v.toDouble();
    return 0;
}

int ToText(const Value& v, std::string& out) {
    if (!IsTextValue(v)) return UIEWrongType;
    out = TextBytes(v).toStdString();
    return 0;
}

namespace {

// The length of the well-formed UTF-8 character at `at` (1..4), or 0 when none starts there: no overlong
// forms, no surrogates, nothing above U+10FFFF.
int Utf8CharLength(const QByteArray& b, qsizetype at) {
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(b[at + k]); };
    const unsigned lead = byte(0);
    if (lead < 0x80) return 1;
    const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    if (length == 0 || at + length > b.size()) return 0;
    for (int k = 1; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80) return 0;
    const unsigned second = byte(1);
    if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
    if (lead == 0xED && second > 0x9F) return 0;  // surrogate
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second > 0x8F) return 0;  // above U+10FFFF
    return length;
}

}  // namespace

QByteArray TextBytes(const Value& v) {
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8();
}

QString ShownText(const Value& v) {
    if (v.typeId() != QMetaType::QByteArray) return v.toString();
    const QByteArray bytes = v.toByteArray();
    QString shown;
    qsizetype i = 0;
    while (i < bytes.size()) {
        // Decode the longest stretch of valid UTF-8 from here; a byte that starts no valid character is
        // shown by its value.
        qsizetype end = i;
        while (end < bytes.size()) {
            const int length = Utf8CharLength(bytes, end);
            if (length == 0) break;
            end += length;
        }
        shown += QString::fromUtf8(bytes.constData() + i, end - i);
        if (end < bytes.size()) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(bytes[end]));
            shown += QLatin1String(escape);
            ++end;
        }
        i = end;
    }
    return shown;
}

}  // namespace platform_detail
