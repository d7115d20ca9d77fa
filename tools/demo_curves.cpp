#include "demo_curves.h"

#include "gui.h"
#include "harness.h"
#include "morvalen.h"

namespace {

// A gentle bow per channel, each channel a little different, around a reading of about 1000.
void TypeDemoPolynomials(const PageDescriptor& d, int panel) {
    for (int c = 0; c < d.channelCount; ++c) {
        uitest::SetAndCommit(panel, CoefCtrl(c, 0), 0.0);
        uitest::SetAndCommit(panel, CoefCtrl(c, 1), -0.0004 * (c + 1));
        uitest::SetAndCommit(panel, CoefCtrl(c, 2), 0.06 + 0.01 * c);
        uitest::SetAndCommit(panel, CoefCtrl(c, 3), -2.5 - 0.5 * c);
        uitest::SetAndCommit(panel, CoefCtrl(c, 4), 1000.0 + 40.0 * c);
    }
}

}  // namespace

void ShowDemoCurves(int page) {
    for (std::uint16_t code : {100, 300, 400, 500, 600, 700, 800})
        if (PageForSensorCode(code) == page) {
            SetCtrlVal(mainpanel, MAINP_SELECT_SENSOR, int(code));
            break;
        }
    ShowChildPanel();
    const PageDescriptor* d = PageDescriptorFor(page);
    const int panel = DataPanel(page);
    if (!d || panel <= 0) return;
    // A first try, then the polynomials as meant: the charts scroll on, as they do for a user.
    uitest::Click(panel, DATAP_CALC_CURVES);
    TypeDemoPolynomials(*d, panel);
    uitest::Click(panel, DATAP_CALC_CURVES);
    uitest::SetAndCommit(panel, DATAP_TEMP, 25);
    uitest::Click(panel, DATAP_CALC_CALIB);
}
