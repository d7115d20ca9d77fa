#include "table_transfer.h"

#include "io.h"
#include "pages.h"
#include "sensor_link.h"

namespace {

constexpr int kPrepareEchoWords = 2;
constexpr int kWriteEchoWords = 14;
constexpr double kPrepareSeconds = 0.2;

void FillPayload(Frame& request, const unsigned short (&table)[kSendBufSize], unsigned short code,
                 unsigned short start, unsigned short value, unsigned short count) {
    if (code != 180 && code != 182) return;
    SetFrameWord(request, 2, value);
    if (code != 182) return;
    SetFrameWord(request, 3, count);
    // Factors never run past the frame or the compensation table.
    constexpr int kMaxWords = kFrameWords - 4;
    for (int j = 0; j < count && j < kMaxWords && start + j < kSendBufSize; ++j)
        SetFrameWord(request, 4 + j, table[start + j]);
}

struct Transfer {
    SensorLink& link;
    const PageDescriptor& d;
    const TransferProgress& progress;
    const PageState& pages;

    void Report(int done, double indicator) const {
        if (progress) progress(d.page, done, d.prepareCount + d.writeFrames, indicator);
    }
    Frame Request(unsigned short code, unsigned short start, unsigned short value,
                  unsigned short count) const {
        Frame request = link.Request(code);
        FillPayload(request, pages.sendBuf, code, start, value, count);
        return request;
    }
    bool SendPrepareOrders() const;
    bool SendWriteOrders() const;
};

// The sensor needs a moment after a prepare order. Nothing is sent meanwhile and no events run, so the
// wait sleeps instead of spinning.
void PauseAfterPrepare() {
    const double start = Timer();
    double waited = 0.0;
    while (waited < kPrepareSeconds) {
        Delay(kPrepareSeconds - waited);
        waited = Timer() - start;
    }
}

bool Transfer::SendPrepareOrders() const {
    for (int i = 0; i < d.prepareCount; ++i) {
        if (!link.SendEchoed(Request(180, 0, d.prepareAddress[i], 0), kPrepareEchoWords)) return false;
        PauseAfterPrepare();
        Report(i + 1, -1.0);
    }
    return true;
}

bool Transfer::SendWriteOrders() const {
    double indicator = 0.0;
    for (int k = 0; k < d.writeFrames; ++k) {
        link.Send(Request(182, static_cast<unsigned short>(WriteFrameStart(k)), WriteFrameAddress(d, k),
                          kFactorsPerFrame));
        if (link.nBytesW != kFrameBytes) {
            link.ReportFailure();
            return false;
        }
        link.CheckEcho(kWriteEchoWords);
        if (link.comecho == 0) return false;
        indicator += d.progressStep;
        Report(d.prepareCount + k + 1, indicator);
    }
    Report(d.prepareCount + d.writeFrames, 0.0);
    return true;
}

}  // namespace

void FillMorvalenPayload(Frame& request, const PageState& pages, unsigned short code, unsigned short start,
                         unsigned short value, unsigned short count) {
    FillPayload(request, pages.sendBuf, code, start, value, count);
}

bool SendParaData(SensorLink& link, int page, PageState& pages, const TransferProgress& progress) {
    const PageDescriptor* d = PageDescriptorFor(page);
    if (!d) {
        link.comecho = 0;
        return false;
    }
    link.FlushQueues();
    const Transfer transfer{link, *d, progress, pages};
    if (!transfer.SendPrepareOrders()) return false;
    // The table is fixed before the first write order; a recalculation meanwhile does not change it.
    LayOutSendBuf(pages, *d);
    return transfer.SendWriteOrders();
}
