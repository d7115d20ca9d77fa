#include "transfer.h"

#include <vector>

#include "com232.h"
#include "gui.h"
#include "interface_panel.h"
#include "morvalen.h"
#include "platform.h"

namespace {

bool transferRunning = false;
TransferStep transferProgress = nullptr;

// The page's progress indicator follows the write orders.
void ShowProgress(int page, int, int, double indicator) {
    if (indicator >= 0.0) SetCtrlVal(DataPanel(page), DATAP_PROGRESS, indicator);
}

// The controls that would start another exchange with the sensor while a transfer waits for its echoes:
// every page's Send CF button and the interface panel's Try button (a new attempt closes the port).
struct DimmedCtrl {
    int panel, ctrl, wasDimmed;
};
std::vector<DimmedCtrl> dimmedDuringTransfer;

void DimExchangeControls() {
    dimmedDuringTransfer.clear();
    HoldAcceptButtons(1);
    auto dim = [](int panel, int ctrl) {
        int was = 0;
        if (panel <= 0 || GetCtrlAttribute(panel, ctrl, ATTR_DIMMED, was) < 0) return;
        dimmedDuringTransfer.push_back({panel, ctrl, was});
        SetCtrlAttribute(panel, ctrl, ATTR_DIMMED, 1);
    };
    for (int page = 1; page <= 7; ++page) dim(DataPanel(page), DATAP_SEND_CF);
    dim(interfacepanel, INTERFACEP_TRY);
}

void RestoreExchangeControls() {
    for (const auto& c : dimmedDuringTransfer) SetCtrlAttribute(c.panel, c.ctrl, ATTR_DIMMED, c.wasDimmed);
    dimmedDuringTransfer.clear();
    HoldAcceptButtons(0);
}

}  // namespace

void HoldExchangeControls(int held) {
    if (held)
        DimExchangeControls();
    else
        RestoreExchangeControls();
}

bool BeginTransfer() {
    if (transferRunning) return false;
    transferRunning = true;
    HoldExchangeControls(1);
    SetTransferProgress(ShowProgress);
    return true;
}

void EndTransfer() {
    SetTransferProgress(nullptr);
    HoldExchangeControls(0);
    transferRunning = false;
}

bool TransferRunning() {
    return transferRunning;
}

void SetTransferProgress(TransferStep progress) {
    transferProgress = progress;
}

void SendParaData(int page) {
    TransferProgress progress;
    if (transferProgress) progress = transferProgress;
    SendParaData(WindowLink(), page, WindowPageState(), progress);
}

void SendParaDataP1() {
    SendParaData(1);
}
void SendParaDataP2() {
    SendParaData(2);
}
void SendParaDataP3() {
    SendParaData(3);
}
void SendParaDataP4() {
    SendParaData(4);
}
void SendParaDataP5() {
    SendParaData(5);
}
void SendParaDataP6() {
    SendParaData(6);
}
void SendParaDataP7() {
    SendParaData(7);
}
