#include "window_pages.h"

#include "table_transfer.h"

namespace {

PageState windowPages;

}  // namespace

PageState& WindowPageState() {
    return windowPages;
}

double& RX4 = windowPages.coefs[kChannelR][0];
double& RX3 = windowPages.coefs[kChannelR][1];
double& RX2 = windowPages.coefs[kChannelR][2];
double& RX1 = windowPages.coefs[kChannelR][3];
double& RT = windowPages.coefs[kChannelR][4];
double& GX4 = windowPages.coefs[kChannelG][0];
double& GX3 = windowPages.coefs[kChannelG][1];
double& GX2 = windowPages.coefs[kChannelG][2];
double& GX1 = windowPages.coefs[kChannelG][3];
double& GT = windowPages.coefs[kChannelG][4];
double& BX4 = windowPages.coefs[kChannelB][0];
double& BX3 = windowPages.coefs[kChannelB][1];
double& BX2 = windowPages.coefs[kChannelB][2];
double& BX1 = windowPages.coefs[kChannelB][3];
double& BT = windowPages.coefs[kChannelB][4];
double& REFX4 = windowPages.coefs[kChannelRef][0];
double& REFX3 = windowPages.coefs[kChannelRef][1];
double& REFX2 = windowPages.coefs[kChannelRef][2];
double& REFX1 = windowPages.coefs[kChannelRef][3];
double& REFT = windowPages.coefs[kChannelRef][4];
double& DIRX4 = windowPages.coefs[kChannelDir][0];
double& DIRX3 = windowPages.coefs[kChannelDir][1];
double& DIRX2 = windowPages.coefs[kChannelDir][2];
double& DIRX1 = windowPages.coefs[kChannelDir][3];
double& DIRT = windowPages.coefs[kChannelDir][4];
double& DIFX4 = windowPages.coefs[kChannelDif][0];
double& DIFX3 = windowPages.coefs[kChannelDif][1];
double& DIFX2 = windowPages.coefs[kChannelDif][2];
double& DIFX1 = windowPages.coefs[kChannelDif][3];
double& DIFT = windowPages.coefs[kChannelDif][4];

double (&dataRot)[kCurvePoints] = windowPages.curves[kChannelR];
double (&dataGruen)[kCurvePoints] = windowPages.curves[kChannelG];
double (&dataBlau)[kCurvePoints] = windowPages.curves[kChannelB];
double (&dataRef)[kCurvePoints] = windowPages.curves[kChannelRef];
double (&dataDir)[kCurvePoints] = windowPages.curves[kChannelDir];
double (&dataDif)[kCurvePoints] = windowPages.curves[kChannelDif];
double (&dataRaw)[kCurvePoints] = windowPages.curves[kChannelRaw];
unsigned short (&dataCfRot)[kCurvePoints] = windowPages.factors[kChannelR];
unsigned short (&dataCfGruen)[kCurvePoints] = windowPages.factors[kChannelG];
unsigned short (&dataCfBlau)[kCurvePoints] = windowPages.factors[kChannelB];
unsigned short (&dataCfRef)[kCurvePoints] = windowPages.factors[kChannelRef];
unsigned short (&dataCfDir)[kCurvePoints] = windowPages.factors[kChannelDir];
unsigned short (&dataCfDif)[kCurvePoints] = windowPages.factors[kChannelDif];
unsigned short (&dataCfRaw)[kCurvePoints] = windowPages.factors[kChannelRaw];
double (&dataRGB)[3 * kCurvePoints] = windowPages.rgb;
double (&dataRGBRDD)[6 * kCurvePoints] = windowPages.rgbRdd;
unsigned short (&dataCfRGB)[3 * kCurvePoints] = windowPages.cfRgb;
unsigned short (&dataCfRGBRDD)[6 * kCurvePoints] = windowPages.cfRgbRdd;
unsigned short (&dataCfSendBuf)[kSendBufSize] = windowPages.sendBuf;

void FillWindowPayload(Frame& request, unsigned short order, unsigned short start, unsigned short value,
                       unsigned short count) {
    FillMorvalenPayload(request, windowPages, order, start, value, count);
}
