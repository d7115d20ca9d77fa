#include "teach_table.h"

#include <algorithm>

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
constexpr long kSymmetryFullScale = 1000;

int SelectedRow() {
    int n = 0;
    GetCtrlVal(ttpanel, TTP_NO, n);
    return n;
}

unsigned short Cell(int column, int row) {
    unsigned short value = 0;
    GetTableCellVal(ttpanel, TTP_TABLE, {column, row + 1}, value);
    return value;
}

// The tolerance band of one symmetry of teach row `row` (value in `column`, tolerance in the next one).
void DrawToleranceRectangle(int graph, int row, int column, int color) {
    const long value = Cell(column, row), tolerance = Cell(column + 1, row);
    const long upper = std::min(value + tolerance, kSymmetryFullScale);
    const long lower = std::max(value - tolerance, 0L);
    DeleteGraphPlot(datapanel, graph, VAL_ALL_PLOTS);
    PlotRectangle(datapanel, graph, double(lower), 0.0, double(upper), 100.0, color, color);
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

void SetToleranceRangeSymmetry() {
    const int n = SelectedRow();
    DrawToleranceRectangle(DATAP_GRAPH_SYM1, n, 3, kSym1ToleranceColor);
    DrawToleranceRectangle(DATAP_GRAPH_SYM2, n, 5, kSym2ToleranceColor);
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
