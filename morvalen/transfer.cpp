#include "transfer.h"

#include <vector>

#include "com232.h"
#include "gui.h"
#include "interface_panel.h"
#include "morvalen.h"
#include "platform.h"

namespace {

constexpr int kPrepareEchoWords = 2;
constexpr int kWriteEchoWords = 14;
constexpr double kPrepareSeconds = 0.2;

bool transferRunning = false;

// The sensor needs a moment after a prepare order. Nothing is sent meanwhile and no events run, so the
// wait sleeps instead of spinning.
void PauseAfterPrepare() {
    tstart = Timer();
    tdiff = 0.0;
    while (tdiff < kPrepareSeconds) {
        Delay(kPrepareSeconds - tdiff);
        tdiff = Timer() - tstart;
    }
}

bool SendPrepareOrders(const PageDescriptor& d) {
    order = 180;
    for (int i = 0; i < d.prepareCount; ++i) {
        FillTxBuf(180, 0, d.prepareAddress[i], 0);
        WriteFrame();
        CheckEcho(kPrepareEchoWords);
        if (comecho == 0) return false;
        PauseAfterPrepare();
    }
    return true;
}

bool SendWriteOrders(const PageDescriptor& d, int panel) {
    double progress = 0.0;
    order = 182;
    for (int k = 0; k < d.writeFrames; ++k) {
        FillTxBuf(182, static_cast<unsigned short>(WriteFrameStart(k)), WriteFrameAddress(d, k),
                  kFactorsPerFrame);
        WriteFrame();
        if (nBytesW != 2 * anzframe) {
            SetPopupTimeout();
            return false;
        }
        CheckEcho(kWriteEchoWords);
        if (comecho == 0) return false;
        progress += d.progressStep;
        SetCtrlVal(panel, DATAP_PROGRESS, progress);
    }
    SetCtrlVal(panel, DATAP_PROGRESS, 0.0);
    return true;
}

// The controls that would start another exchange with the sensor while a transfer waits for its echoes:
// every page's Send CF button and the interface panel's Try button (a new attempt closes the port).
struct DimmedCtrl {
    int panel, ctrl, wasDimmed;
};
std::vector<DimmedCtrl> dimmedDuringTransfer;

void DimExchangeControls() {
    dimmedDuringTransfer.clear();
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
}

}  // namespace

void FillMorvalenPayload(unsigned short code, unsigned short start, unsigned short value,
                         unsigned short count) {
    if (code != 180 && code != 182) return;
    PutWord(szWriteBuf, 2, value);
    if (code != 182) return;
    PutWord(szWriteBuf, 3, count);
    // Factors never run past the send buffer or the compensation table.
    constexpr int kMaxWords = (sizeof szWriteBuf - 8) / 2;
    constexpr int kTableSize = sizeof dataCfSendBuf / sizeof dataCfSendBuf[0];
    for (int j = 0; j < count && j < kMaxWords && start + j < kTableSize; ++j)
        PutWord(szWriteBuf, 4 + j, dataCfSendBuf[start + j]);
}

bool BeginTransfer() {
    if (transferRunning) return false;
    transferRunning = true;
    DimExchangeControls();
    return true;
}

void EndTransfer() {
    RestoreExchangeControls();
    transferRunning = false;
}

bool TransferRunning() {
    return transferRunning;
}

void SendParaData(int page) {
    const PageDescriptor* d = PageDescriptorFor(page);
    if (!d) {
        comecho = 0;
        return;
    }
    FlushQueues();
    if (!SendPrepareOrders(*d)) return;
    // The table is fixed before the first write order; a recalculation meanwhile does not change it.
    LayOutSendBuf(*d);
    SendWriteOrders(*d, DataPanel(page));
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
