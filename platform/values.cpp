// Control values: GetCtrlVal / SetCtrlVal through the control's kind.
#include <QSignalBlocker>

#include "kinds.h"

using namespace platform_detail;

namespace {

ValueWatch g_valueWatch = nullptr;

template <class T, class Convert>
int GetAs(int panel, int control, T& out, Convert convert) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    Value v;
    if (int err = c->kind->Read(*c, v)) return err;
    return convert(v, out);
}

int Write(Control& c, const Value& v) {
    const QSignalBlocker block(c.widget);  // program changes raise no events
    return c.kind->Write(c, v);
}

int SetAs(int panel, int control, const Value& v) {
    Control* c = nullptr;
    if (int err = Lookup(panel, control, c)) return err;
    return Write(*c, v);
}

int Watched(int panel, int control, double value, int result) {
    if (result == 0 && g_valueWatch) g_valueWatch(panel, control, value);
    return result;
}

}  // namespace

void platform_detail::SetValueWatch(ValueWatch watch) {
    g_valueWatch = watch;
}

int GetCtrlVal(int panel, int control, int& value) {
    return Checked("GetCtrlVal", [&]() -> int { return GetAs(panel, control, value, ToInt); });
}
int GetCtrlVal(int panel, int control, unsigned short& value) {
    return Checked("GetCtrlVal", [&]() -> int { return GetAs(panel, control, value, ToUShort); });
}
int GetCtrlVal(int panel, int control, double& value) {
    return Checked("GetCtrlVal", [&]() -> int { return GetAs(panel, control, value, ToDouble); });
}
int GetCtrlVal(int panel, int control, std::string& value) {
    return Checked("GetCtrlVal", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        return c->kind->ReadText(*c, value);
    });
}

int SetCtrlVal(int panel, int control, int value) {
    return Checked("SetCtrlVal",
                   [&]() -> int { return Watched(panel, control, value, SetAs(panel, control, value)); });
}
int SetCtrlVal(int panel, int control, unsigned short value) {
    return Checked("SetCtrlVal", [&]() -> int {
        return Watched(panel, control, value, SetAs(panel, control, int(value)));
    });
}
int SetCtrlVal(int panel, int control, double value) {
    return Checked("SetCtrlVal", [&]() -> int {
        Control* c = nullptr;
        if (int err = Lookup(panel, control, c)) return err;
        if (c->dataType != VAL_DOUBLE) return UIEWrongType;  // no silent rounding into an integer control
        return Watched(panel, control, value, Write(*c, value));
    });
}
int SetCtrlVal(int panel, int control, std::string_view value) {
    return Checked("SetCtrlVal", [&]() -> int { return SetAs(panel, control, TextValue(value)); });
}
