#include "sensor_exchange.h"

#include <algorithm>

#include "com232.h"

unsigned short dataChL, dataChC, dataChR, dataDensity, dataSym1, dataSym2, dataVec, dataTemp, dataAktMaxChL,
    dataAktMaxChC, dataAktMaxChR, dataTrigger;

namespace {
SeriesStep seriesProgress = nullptr;

SeriesProgress Progress() {
    if (!seriesProgress) return {};
    return seriesProgress;
}
}  // namespace

void FillScopeWindowPayload(Frame& request, unsigned short code, unsigned short arg, unsigned short,
                            unsigned short) {
    FillScopePayload(request, code, arg, pp);
}

void SetSeriesProgress(SeriesStep progress) {
    seriesProgress = progress;
}

bool WriteParameterSeries(const ParameterImage& image, bool eeprom) {
    return WriteParameterSeries(WindowLink(), image, eeprom, Progress());
}

bool ReadParameterSeries(bool eeprom, void (*onReply)()) {
    return ReadParameterSeries(
        WindowLink(), eeprom,
        [onReply](const Frame&) {
            if (onReply) onReply();
        },
        Progress());
}

void GetDataFrame() {
    GetDataFrame(WindowLink());
}

void CopyDatatoVars() {
    Frame frame;
    for (int i = 0; i < kFrameWords; ++i) SetFrameWord(frame, i, databuf[i]);
    SetFrameVariables(MeasurementOf(frame));
}

void SetFrameVariables(const Measurement& m) {
    dataChL = m.chL, dataChC = m.chC, dataChR = m.chR;
    dataDensity = m.density, dataSym1 = m.sym1, dataSym2 = m.sym2;
    dataVec = m.vec, dataTemp = m.temp;
    dataAktMaxChL = m.aktMaxChL, dataAktMaxChC = m.aktMaxChC, dataAktMaxChR = m.aktMaxChR;
    dataTrigger = m.trigger;
}

Measurement FrameVariables() {
    return {dataChL, dataChC,  dataChR,       dataDensity,   dataSym1,      dataSym2,
            dataVec, dataTemp, dataAktMaxChL, dataAktMaxChC, dataAktMaxChR, dataTrigger};
}

void StopAutoSend() {
    StopAutoSend(WindowLink());
}
