#include "teach_table.h"

#include "live_data.h"
#include "parameter_image.h"
#include "platform.h"
#include "scope_state.h"

const char* const InfoButtonTeachDataTo =
    " Current measured values are assigned to the \n TEACH TABLE row selected in the No.: function field.";
const char* const InfoButtonResetTable = " Reset the TEACH TABLE. \n All cells are set to 1.";
const char* const InfoEditNo = " Select the current number of a row in the TEACH TABLE for TEACH DATA TO.";
const char* const InfoRadioInc = " Auto increment of Edit Field No.:";

namespace {

constexpr unsigned short kTaughtDensityTolerance = 100;
constexpr unsigned short kTaughtSymmetryTolerance = 50;

int SelectedRow() {
    int n = 0;
    GetCtrlVal(ttpanel, TTP_NO, n);
    return n;
}

}  // namespace

void TeachDataTo() {
    const int n = SelectedRow();
    const unsigned short values[kTeachColumns] = {dataDensity, kTaughtDensityTolerance,
                                                  dataSym1,    kTaughtSymmetryTolerance,
                                                  dataSym2,    kTaughtSymmetryTolerance};
    for (int c = 0; c < kTeachColumns; ++c) SetTableCellVal(ttpanel, TTP_TABLE, {c + 1, n + 1}, values[c]);
    int autoIncrement = 0;
    GetCtrlVal(ttpanel, TTP_AUTO_INC, autoIncrement);
    if (autoIncrement == 1 && n < anzVec - 1) SetCtrlVal(ttpanel, TTP_NO, n + 1);
}

void ResetTable() {
    SetCtrlVal(ttpanel, TTP_NO, 0);
    for (int r = 1; r <= kTeachRows; ++r)
        for (int c = 1; c <= kTeachColumns; ++c) SetTableCellVal(ttpanel, TTP_TABLE, {c, r}, 1);
    DeleteGraphPlot(datapanel, DATAP_GRAPH_SYM1, VAL_ALL_PLOTS);
    DeleteGraphPlot(datapanel, DATAP_GRAPH_SYM2, VAL_ALL_PLOTS);
}

// --- callbacks ------------------------------------------------------------------------------------------

int CBF_ButtonTeachDataTo(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonTeachDataTo)) return 0;
    if (event != EVENT_COMMIT) return 0;
    TeachDataTo();
    SetToleranceRangeSymmetry();
    return 0;
}

int CBF_ButtonResetTable(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoButtonResetTable)) return 0;
    if (event == EVENT_COMMIT) ResetTable();
    return 0;
}

int CBF_EditNo(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditNo)) return 0;
    if (event == EVENT_COMMIT) SetToleranceRangeSymmetry();
    return 0;
}

int CBF_RadioInc(int, int, int event, void*, int, int) {
    ShowHelp(event, InfoRadioInc);
    return 0;
}

// Only a person's edit of a cell raises this; the program's own writes do not.
int CBF_GridCtt(int, int, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) poll = 0;
    return 0;
}
