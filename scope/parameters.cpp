#include "parameters.h"

#include <algorithm>
#include <string>

#include "com232.h"
#include "live_data.h"
#include "operation_line.h"
#include "platform.h"
#include "scope_state.h"
#include "sensor_exchange.h"

unsigned short paraPower, paraChannelMode, paraAverage, paraEvalMode, paraHold, paraIntlim, paraMaxNr,
    paraOutMode, paraTrigger, paraExtteach, paraMaxUp, paraMaxDown, paraFrei13, paraFrei14, paraFrei15,
    paraFrei16;
unsigned short paraTeachVec[kTeachRows][kTeachColumns];

const char* const InfoSlidePower =
    " Select the intensity of the transmitter LED. \n 0 = no intensity,  1000 = full intensity.";
const char* const InfoEditChannelMode = "Select the number of connected channels.\nSee Manual!";
const char* const InfoEditAverage =
    " Select the number of scanning values (measurement values) over which the raw signal is averaged.";
const char* const InfoSeeManual = "See Manual!";
const char* const InfoEditHold = " Select the minimum pulse length when a digital output changes.";
const char* const InfoEditIntlim =
    " Select an intensity limit. \n Evaluation is stopped, if the current intensity INT falls below this "
    "limit. \n ERROR STATE is output (V-No: = 255).";
const char* const InfoEditMaxNo =
    " Select the number of vectors in the TEACH TABLE to be checked (beginning from row 0). \n Aktive rows "
    "are labelled green, inaktive are labelled red. \n If OUTMODE = BINARY the maximum number of vectors to "
    "be checked is 31. \n If OUTMODE = DIRECT HI or DIRECT LO the maximum number of vectors is 5.";
const char* const InfoEditOutmode =
    "Select how to control the 5 digital outputs. \nBINARY   : If a vector (row 0-30 in the TEACH TABLE) is "
    "detected, \n  this vector is displayed in V-No: and is set binary to the digital outputs (OUT0-OUT4). "
    "\nDIRECT LO: The maximum number of vectors to be taught is 5. \n  If a vector (row 0-4 in the TEACH "
    "TABLE) is detected, \n  the special digital output is set to LO, all others are HI. \nDIRECT HI: The "
    "maximum number of vectors to be taught is 5. \n  If a vector (row 0-4 in the TEACH TABLE) is detected, "
    "\n  the special digital output is set to HI, all others are LO. \nIf no vector is detected, V-No: is "
    "255.";
const char* const InfoEditTrigger =
    "Select the trigger mode for the sensor. \nCONT: Continuous evaluation (no trigger event required). "
    "\nEXT1: Evaluation as long as trigger (IN0) is high. \n  When trigger goes low, the last detected row "
    "(vector) will be hold at the output. \nEXT2: Evaluation as long as trigger (IN0) is high. \n  When "
    "trigger goes low, fail condition is output.";
const char* const InfoEditMaxUp =
    "Select a time delay for maximum value tracing up. \nRange goes from 0 to 60000. \nResolution is 10 "
    "Microseconds per step. \n0: Tracing up is very fast. \n60000: Tracing up is very slow.";
const char* const InfoEditMaxDown =
    "Select a time delay for maximum value tracing down. \nRange goes from 0 to 60000. \nResolution is 10 "
    "Microseconds per step. \n0: Tracing down is very fast. \n60000: Tracing down is very slow.";
const char* const InfoSelectMemory = " Select the source respectively the target for the parameter transfer.";
const char* const InfoMaxVecTooHigh =
    " ATTENTION! \n \n MAXVEC-No. IS TOO HIGH \n DECREASE MAXVEC-No. OR SWITCH TO OUTMODE=BINARY";

namespace {

constexpr int kRowInUseColor = 0x008000;
constexpr int kRowUnusedColor = 0xFF0000;

// One scalar parameter: its variable, its image word (the row's index), its control on the parameter
// panel (0 for the spare parameters, which have none), that control's help text and a numeric that shows
// the same value beside it (0: none).
struct ParamRow {
    unsigned short* variable;
    int control;
    const char* help;
    int twin = 0;
};
const ParamRow kParams[kScalarParams] = {
    {&paraPower, PARAP_POWER, InfoSlidePower, PARAP_POWER_VALUE},
    {&paraChannelMode, PARAP_CHANNEL_MODE, InfoEditChannelMode},
    {&paraAverage, PARAP_AVERAGE, InfoEditAverage},
    {&paraEvalMode, PARAP_EVAL_MODE, InfoSeeManual},
    {&paraHold, PARAP_HOLD, InfoEditHold},
    {&paraIntlim, PARAP_INTLIM, InfoEditIntlim},
    {&paraMaxNr, PARAP_MAX_NO, InfoEditMaxNo},
    {&paraOutMode, PARAP_OUT_MODE, InfoEditOutmode},
    {&paraTrigger, PARAP_TRIGGER, InfoEditTrigger},
    {&paraExtteach, PARAP_EXTERN_TEACH, InfoSeeManual},
    {&paraMaxUp, PARAP_MAX_UP, InfoEditMaxUp},
    {&paraMaxDown, PARAP_MAX_DOWN, InfoEditMaxDown},
    {&paraFrei13, 0, nullptr},
    {&paraFrei14, 0, nullptr},
    {&paraFrei15, 0, nullptr},
    {&paraFrei16, 0, nullptr},
};

const ParamRow& RowOf(ParamWord word) {
    return kParams[word];
}

// --- showing values the controls were not made for -----------------------------------------------------
// A value from the sensor or a file that a control cannot show as it stands is shown all the same, so the
// next Send returns it unchanged: a ring gets an extra item for it, a numeric field or slider a range
// wide enough for it, and a switch (on or off only) keeps the value while it shows what that value means.

constexpr const char* kUnlistedSuffix = " (unlisted)";
struct NominalRange {
    bool known = false;
    double min = 0.0, max = 0.0;
};
NominalRange nominal[kScalarParams];
int unlistedItem[kScalarParams] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

int Style(int control) {
    int style = CTRL_NONE;
    GetCtrlAttribute(parapanel, control, ATTR_CTRL_STYLE, style);
    return style;
}

void DropUnlistedItem(int word) {
    int index = -1;
    if (unlistedItem[word] >= 0 &&
        GetIndexFromValue(parapanel, kParams[word].control, index, unlistedItem[word]) >= 0)
        DeleteListItem(parapanel, kParams[word].control, index, 1);
    unlistedItem[word] = -1;
}

void ShowOnRing(int word, unsigned short value) {
    const int control = kParams[word].control;
    int index = -1;
    if (unlistedItem[word] != value) DropUnlistedItem(word);
    if (GetIndexFromValue(parapanel, control, index, int(value)) < 0) {
        InsertListItem(parapanel, control, -1, std::to_string(value) + kUnlistedSuffix, int(value));
        unlistedItem[word] = value;
    }
    SetCtrlVal(parapanel, control, int(value));
}

void ShowOnNumeric(int word, unsigned short value) {
    const ParamRow& row = kParams[word];
    NominalRange& range = nominal[word];
    if (!range.known) {
        GetCtrlAttribute(parapanel, row.control, ATTR_MIN_VALUE, range.min);
        GetCtrlAttribute(parapanel, row.control, ATTR_MAX_VALUE, range.max);
        range.known = true;
    }
    for (int control : {row.control, row.twin}) {
        if (control == 0) continue;
        SetCtrlAttribute(parapanel, control, ATTR_MIN_VALUE, std::min(range.min, double(value)));
        SetCtrlAttribute(parapanel, control, ATTR_MAX_VALUE, std::max(range.max, double(value)));
        SetCtrlVal(parapanel, control, int(value));
    }
}

// A control and the numeric beside it show the same value: the one a person moved sets the other.
void KeepInStep(int moved, int other) {
    int value = 0;
    if (GetCtrlVal(parapanel, moved, value) == 0) SetCtrlVal(parapanel, other, value);
}

void ShowParam(int word) {
    const ParamRow& row = kParams[word];
    const unsigned short value = *row.variable;
    switch (Style(row.control)) {
        case CTRL_RING:
        case CTRL_POPUP_RING:
            ShowOnRing(word, value);
            break;
        case CTRL_TOGGLE:
            SetCtrlVal(parapanel, row.control, value != 0 ? 1 : 0);
            break;
        default:
            ShowOnNumeric(word, value);
            break;
    }
}

// The control's value into its variable; a switch that still shows what the variable means keeps it.
void ReadParam(int word) {
    const ParamRow& row = kParams[word];
    int value = 0;
    if (GetCtrlVal(parapanel, row.control, value) < 0) return;
    if (Style(row.control) == CTRL_TOGGLE && value == (*row.variable != 0 ? 1 : 0)) return;
    *row.variable = static_cast<unsigned short>(value);
}

unsigned short ReadParam(ParamWord word) {
    ReadParam(int(word));
    return *RowOf(word).variable;
}

void SetControlDimmed(int control, int dimmed) {
    SetCtrlAttribute(parapanel, control, ATTR_DIMMED, dimmed);
}

void ShowMaximumDisplays(int shown) {
    for (int ctrl : {DATAP_MAX_L, DATAP_MAX_C, DATAP_MAX_R, DATAP_MAX_LABEL})
        SetCtrlAttribute(datapanel, ctrl, ATTR_VISIBLE, shown);
}

void ShowTriggerDisplay(int shown) {
    for (int ctrl : {DATAP_TRIGGER, DATAP_TRIGGER_LABEL})
        SetCtrlAttribute(datapanel, ctrl, ATTR_VISIBLE, shown);
}

void StoreScalars(std::span<const std::uint16_t> words) {
    for (int i = 0; i < kScalarParams; ++i) *kParams[i].variable = words[i];
    paraMaxNr = ClampVectorCount(paraMaxNr);
}

// --- the memory selector: three switches, exactly one on ------------------------------------------------
struct MemorySwitch {
    int control;
    unsigned short target;
};
constexpr MemorySwitch kMemorySwitches[] = {
    {MAINP_SELECT_RAM, RAM}, {MAINP_SELECT_EEPROM, EEPROM}, {MAINP_SELECT_FILE, DATFILE}};

void SelectMemory(int control) {
    int on = 0;
    GetCtrlVal(mainpanel, control, on);
    int chosen = MAINP_SELECT_RAM;  // switching any switch off falls back to RAM
    if (on) chosen = control;
    for (const MemorySwitch& s : kMemorySwitches) {
        SetCtrlVal(mainpanel, s.control, s.control == chosen ? 1 : 0);
        if (s.control == chosen) target = s.target;
    }
}

int MemorySwitchCallback(int control, int event) {
    if (ShowHelp(event, InfoSelectMemory)) return 0;
    if (event == EVENT_VAL_CHANGED) SelectMemory(control);
    return 0;
}

// Parameter controls whose only action is their help text.
int HelpOnly(ParamWord word, int event) {
    ShowHelp(event, RowOf(word).help);
    return 0;
}

}  // namespace

// --- the parameter set between panels, variables and image ---------------------------------------------

void GetPanelValues() {
    for (int word = 0; word < kScalarParams; ++word)
        if (kParams[word].control) ReadParam(word);
    for (int r = 0; r < kTeachRows; ++r)
        for (int c = 0; c < kTeachColumns; ++c)
            GetTableCellVal(ttpanel, TTP_TABLE, {c + 1, r + 1}, paraTeachVec[r][c]);
}

void SetPanelValues() {
    for (int word = 0; word < kScalarParams; ++word)
        if (kParams[word].control) ShowParam(word);
    for (int r = 0; r < kTeachRows; ++r)
        for (int c = 0; c < kTeachColumns; ++c)
            SetTableCellVal(ttpanel, TTP_TABLE, {c + 1, r + 1}, paraTeachVec[r][c]);
}

ParameterImage ImageOfVars() {
    ParameterImage image{};
    for (int word = 0; word < kScalarParams; ++word) image[word] = *kParams[word].variable;
    for (int r = 0; r < kTeachRows; ++r)
        for (int c = 0; c < kTeachColumns; ++c) image[TeachWord(r, c)] = paraTeachVec[r][c];
    return image;
}

void CopyVarsToPP() {
    const ParameterImage image = ImageOfVars();
    std::copy(image.begin(), image.end(), pp);
}

void CopyPPtoVars() {
    const ReadReply reply = ParseReadReply(std::span<const std::uint16_t, kReplyWords>(pp, kReplyWords));
    if (reply.kind == ReadReply::Scalars) StoreScalars(reply.values);
    if (reply.kind == ReadReply::TeachRow)
        std::copy(reply.values.begin(), reply.values.end(), paraTeachVec[reply.row]);
}

void CopyImageToVars(std::span<const std::uint16_t, kImageWords> image) {
    StoreScalars(image.first(kScalarParams));
    for (int r = 0; r < kTeachRows; ++r)
        for (int c = 0; c < kTeachColumns; ++c) paraTeachVec[r][c] = image[TeachWord(r, c)];
}

// --- transfers ------------------------------------------------------------------------------------------

void SendPara() {
    poll = 0;
    GetPanelValues();
    if (WriteParameterSeries(ImageOfVars(), target == EEPROM))
        ReportDone(std::to_string(kImageWords) + " words sent to " + (target == EEPROM ? "EEPROM" : "RAM") +
                   ", every echo checked");
}

void GetPara() {
    poll = 0;
    comecho = 1;
    if (!ReadParameterSeries(target == EEPROM, CopyPPtoVars)) return;
    SetPanelValues();
    ReportDone(std::string("parameter set read from ") + (target == EEPROM ? "EEPROM" : "RAM"));
    InitEval();
}

// --- mode-dependent enabling ----------------------------------------------------------------------------

void InitEval() {
    const unsigned short mode = ReadParam(kWordEvalMode);
    if (mode == 0 || mode == 1) {
        ShowMaximumDisplays(mode);
        SetControlDimmed(PARAP_MAX_UP, !mode);
        SetControlDimmed(PARAP_MAX_DOWN, !mode);
    }
    InitExteach();
    InitTrigger();
    CheckVectorCount();
    ColourTeachRows();
}

void InitExteach() {
    // Any stored value but 0 means on (the switch shows it so); the value itself goes back unchanged.
    const unsigned short extteach = ReadParam(kWordExtteach);
    if (extteach == 0) SetControlDimmed(PARAP_TRIGGER, 0);
    if (extteach != 0) {
        SetCtrlVal(parapanel, PARAP_TRIGGER, 0);
        SetControlDimmed(PARAP_TRIGGER, 1);
    }
}

void InitTrigger() {
    const unsigned short trigger = ReadParam(kWordTrigger);
    if (trigger == 0) {
        SetControlDimmed(PARAP_EXTERN_TEACH, 0);
        ShowTriggerDisplay(0);
    } else if (trigger == 1 || trigger == 2) {
        SetCtrlVal(parapanel, PARAP_EXTERN_TEACH, 0);
        SetControlDimmed(PARAP_EXTERN_TEACH, 1);
        ShowTriggerDisplay(1);
    }
}

void CheckVectorCount() {
    const unsigned short maxNr = ReadParam(kWordMaxNr);
    if (VectorCountTooHigh(maxNr, ReadParam(kWordOutMode))) MessagePopup("INFO!", InfoMaxVecTooHigh);
}

void ColourTeachRows() {
    for (int row = 1; row <= kTeachRows; ++row)
        SetTableRowAttribute(ttpanel, TTP_TABLE, row, ATTR_LABEL_COLOR,
                             row <= paraMaxNr ? kRowInUseColor : kRowUnusedColor);
}

// --- callbacks ------------------------------------------------------------------------------------------

int CBF_SelectRAM(int, int control, int event, void*, int, int) {
    return MemorySwitchCallback(control, event);
}
int CBF_SelectEEPROM(int, int control, int event, void*, int, int) {
    return MemorySwitchCallback(control, event);
}
int CBF_SelectFILE(int, int control, int event, void*, int, int) {
    return MemorySwitchCallback(control, event);
}

int CBF_Evalmode(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoSeeManual)) return 0;
    if (event == EVENT_COMMIT) InitEval();
    return 0;
}

int CBF_ExternTeach(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoSeeManual)) return 0;
    if (event == EVENT_COMMIT) InitExteach();
    return 0;
}

int CBF_EditTrigger(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditTrigger)) return 0;
    if (event == EVENT_COMMIT) InitTrigger();
    return 0;
}

int CBF_EditMaxNo(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditMaxNo)) return 0;
    if (event != EVENT_COMMIT) return 0;
    CheckVectorCount();
    ColourTeachRows();
    return 0;
}

int CBF_EditOutmode(int, int, int event, void*, int, int) {
    if (ShowHelp(event, InfoEditOutmode)) return 0;
    if (event == EVENT_COMMIT) CheckVectorCount();
    return 0;
}

int CBF_SlidePower(int, int, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) KeepInStep(PARAP_POWER, PARAP_POWER_VALUE);
    return HelpOnly(kWordPower, event);
}
int CBF_EditPower(int, int, int event, void*, int, int) {
    if (event == EVENT_VAL_CHANGED) KeepInStep(PARAP_POWER_VALUE, PARAP_POWER);
    return HelpOnly(kWordPower, event);
}
int CBF_EditChannelMode(int, int, int event, void*, int, int) {
    return HelpOnly(kWordChannelMode, event);
}
int CBF_EditAverage(int, int, int event, void*, int, int) {
    return HelpOnly(kWordAverage, event);
}
int CBF_EditHold(int, int, int event, void*, int, int) {
    return HelpOnly(kWordHold, event);
}
int CBF_EditIntlim(int, int, int event, void*, int, int) {
    return HelpOnly(kWordIntlim, event);
}
int CBF_EditMaxUp(int, int, int event, void*, int, int) {
    return HelpOnly(kWordMaxUp, event);
}
int CBF_EditMaxDown(int, int, int event, void*, int, int) {
    return HelpOnly(kWordMaxDown, event);
}
