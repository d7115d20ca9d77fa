#include "table_transfer.h"

#include "com232.h"
#include "pages.h"
#include "platform.h"

namespace {

constexpr int kPrepareEchoWords = 2;
constexpr int kWriteEchoWords = 14;
constexpr double kPrepareSeconds = 0.2;

TransferProgress progress = nullptr;

void Report(const PageDescriptor& d, int done, double indicator) {
    if (progress) progress(d.page, done, d.prepareCount + d.writeFrames, indicator);
}

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
        Report(d, i + 1, -1.0);
    }
    return true;
}

bool SendWriteOrders(const PageDescriptor& d) {
    double indicator = 0.0;
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
        indicator += d.progressStep;
        Report(d, d.prepareCount + k + 1, indicator);
    }
    Report(d, d.prepareCount + d.writeFrames, 0.0);
    return true;
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

void SetTransferProgress(TransferProgress p) {
    progress = p;
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
    SendWriteOrders(*d);
}
