#include "sensor_exchange.h"

#include <iterator>

#include "com232.h"
#include "parameter_image.h"
#include "platform.h"

unsigned short dataChL, dataChC, dataChR, dataDensity, dataSym1, dataSym2, dataVec, dataTemp, dataAktMaxChL,
    dataAktMaxChC, dataAktMaxChR, dataTrigger;

namespace {

constexpr int kPayloadStartWord = 2;  // word 2 is byte 4
constexpr int kPayloadWords = 16;     // words 2..17 of the 36-byte frame
constexpr double kReplySeconds = 3.0;

// Frame variables in the order of the frame's words 2..13.
unsigned short* const kFrameWords[] = {&dataChL,       &dataChC,       &dataChR,       &dataDensity,
                                       &dataSym1,      &dataSym2,      &dataVec,       &dataTemp,
                                       &dataAktMaxChL, &dataAktMaxChC, &dataAktMaxChR, &dataTrigger};
constexpr int kFirstFrameWord = 2;

constexpr int kScalarEchoWords = 18;  // the order word and all sixteen parameters come back
constexpr int kRowEchoWords = 6;      // the order word, the row and its first three values
constexpr int kOrderEchoWords = 2;

SeriesProgress progress = nullptr;

void Step(int done, int count) {
    if (progress) progress(done, count);
}

// Builds frame `code` with `arg`, writes it and compares the echo over n words; false when it failed.
bool Echoed(unsigned short code, unsigned short arg, int n) {
    order = code;
    FillTxBuf(order, arg, 0, 0);
    WriteFrame();
    CheckEcho(n);
    return comecho != 0;
}

bool Read(unsigned short code, unsigned short arg, void (*onReply)()) {
    order = code;
    FillTxBuf(order, arg, 0, 0);
    return Befehl3plus4(onReply);
}

}  // namespace

void FillScopePayload(unsigned short code, unsigned short arg, unsigned short, unsigned short) {
    switch (code) {
        case 2:
            PutWord(szWriteBuf, kPayloadStartWord, arg);
            for (int col = 0; col < kTeachColumns; ++col)
                PutWord(szWriteBuf, kPayloadStartWord + 1 + col, pp[TeachWord(arg, col)]);
            break;
        case 4:
        case 50:
        case 190:
            PutWord(szWriteBuf, kPayloadStartWord, arg);
            break;
        default:
            for (int i = 0; i < kPayloadWords; ++i) PutWord(szWriteBuf, kPayloadStartWord + i, pp[i]);
            break;
    }
}

bool Befehl3plus4(void (*onReply)()) {
    FlushQueues();
    WriteFrame();
    if (!ReceiveReply()) return false;
    GetRxBufPara();
    if (onReply) onReply();
    return true;
}

void SetSeriesProgress(SeriesProgress p) {
    progress = p;
}

bool WriteParameterSeries(bool eeprom) {
    const int count = 1 + kTeachRows + (eeprom ? 1 : 0);
    FlushQueues();
    if (!Echoed(1, 0, kScalarEchoWords)) return false;
    Step(1, count);
    for (unsigned short r = 0; r < kTeachRows; ++r) {
        ProcessSystemEvents();
        if (!Echoed(2, r, kRowEchoWords)) return false;
        Step(2 + r, count);
    }
    if (!eeprom) return true;
    if (!Echoed(6, 0, kOrderEchoWords)) return false;  // the sensor keeps what it just got
    Step(count, count);
    return true;
}

bool ReadParameterSeries(bool eeprom, void (*onReply)()) {
    const int count = 1 + kTeachRows + (eeprom ? 1 : 0);
    int done = 0;
    FlushQueues();
    // After order 8 the reads return what the EEPROM holds.
    if (eeprom && !Echoed(8, 0, kOrderEchoWords)) return false;
    if (eeprom) Step(++done, count);
    if (!Read(3, 0, onReply)) return false;
    Step(++done, count);
    for (unsigned short r = 0; r < kTeachRows; ++r) {
        if (!Read(4, r, onReply)) return false;
        Step(++done, count);
    }
    return true;
}

void GetDataFrame() {
    FlushQueues();
    // Over TCP the reply is expected before the request leaves, so no byte of it is taken for a stray one.
    if (comprotocol != 0) bytesToRead = dataSize = 2 * anzframe;
    WriteFrame();
    ReceiveFrame(kReplySeconds, "complete");
}

void CopyDatatoVars() {
    for (std::size_t i = 0; i < std::size(kFrameWords); ++i) *kFrameWords[i] = databuf[kFirstFrameWord + i];
}

void StopAutoSend() {
    order = 50;
    FillTxBuf(order, 0, 0, 0);
    FlushQueues();
    WriteFrame();
}
