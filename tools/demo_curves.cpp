#include "demo_curves.h"

#include "morvalen.h"

void ShowDemoCurves(int page) {
    int index = -1;
    for (int code : {100, 300, 400, 500, 600, 700, 800})
        if (PageForSensorCode(static_cast<std::uint16_t>(code)) == page) {
            SetCtrlVal(mainpanel, MAINP_SELECT_SENSOR, code);
            break;
        }
    (void)index;
    ShowChildPanel();
}
