// The window program's compensation pages: one page state for all its pages, and the names its pages, charts
// and callbacks use for that state's coefficients, curves and tables (RX4, dataRot, dataCfSendBuf, ...).
#pragma once

#include "frame.h"
#include "pages.h"

// The program's one page state, zero at start and overwritten whole by each calculation.
PageState& WindowPageState();

// Coefficients: R (RAW too on the single-channel pages), G, B, REF, DIR, DIF.
extern double &RX4, &RX3, &RX2, &RX1, &RT;
extern double &GX4, &GX3, &GX2, &GX1, &GT;
extern double &BX4, &BX3, &BX2, &BX1, &BT;
extern double &REFX4, &REFX3, &REFX2, &REFX1, &REFT;
extern double &DIRX4, &DIRX3, &DIRX2, &DIRX1, &DIRT;
extern double &DIFX4, &DIFX3, &DIFX2, &DIFX1, &DIFT;

// Drift curves, index = temperature index.
extern double (&dataRot)[kCurvePoints], (&dataGruen)[kCurvePoints], (&dataBlau)[kCurvePoints],
    (&dataRef)[kCurvePoints], (&dataDir)[kCurvePoints], (&dataDif)[kCurvePoints], (&dataRaw)[kCurvePoints];
// Factor curves (1024 = 1.0).
extern unsigned short (&dataCfRot)[kCurvePoints], (&dataCfGruen)[kCurvePoints], (&dataCfBlau)[kCurvePoints],
    (&dataCfRef)[kCurvePoints], (&dataCfDir)[kCurvePoints], (&dataCfDif)[kCurvePoints],
    (&dataCfRaw)[kCurvePoints];
// Combined arrays for the multi-trace charts: element channels·i + c.
extern double (&dataRGB)[3 * kCurvePoints], (&dataRGBRDD)[6 * kCurvePoints];
extern unsigned short (&dataCfRGB)[3 * kCurvePoints], (&dataCfRGBRDD)[6 * kCurvePoints];
// The compensation table of the page being sent.
extern unsigned short (&dataCfSendBuf)[kSendBufSize];

// The window link's payload of the table orders, from dataCfSendBuf (see FillMorvalenPayload).
void FillWindowPayload(Frame& request, unsigned short order, unsigned short start, unsigned short value,
                       unsigned short count);
