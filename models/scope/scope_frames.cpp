#include "scope_frames.h"

#include "sensor_link.h"

namespace {

constexpr int kPayloadStartWord = 2;  // word 2 is byte 4
constexpr int kPayloadWords = 16;     // words 2..17 of the 36-byte frame
constexpr double kReplySeconds = 3.0;

constexpr int kScalarEchoWords = 18;  // the order word and all sixteen parameters come back
constexpr int kRowEchoWords = 6;      // the order word, the row and its first three values
constexpr int kOrderEchoWords = 2;

void Step(const SeriesProgress& progress, int done, int count) {
    if (progress) progress(done, count);
}

// Frame `code` with `arg` and the payload words `words` (by default the words the link's last reply or
// parameter series left, which requests without a payload of their own carry).
Frame RequestFor(const SensorLink& link, unsigned short code, unsigned short arg,
                 std::span<const unsigned short> words) {
    Frame request = link.Request(code);
    FillScopePayload(request, code, arg, words);
    return request;
}
Frame RequestFor(const SensorLink& link, unsigned short code, unsigned short arg) {
    return RequestFor(link, code, arg, link.pp);
}

// Builds frame `code` with `arg` and `words`, sends it and compares the echo over n words; false when it
// failed.
bool Echoed(SensorLink& link, unsigned short code, unsigned short arg, int n,
            std::span<const unsigned short> words) {
    return link.SendEchoed(RequestFor(link, code, arg, words), n);
}
bool Echoed(SensorLink& link, unsigned short code, unsigned short arg, int n) {
    return Echoed(link, code, arg, n, link.pp);
}

bool Read(SensorLink& link, unsigned short code, unsigned short arg,
          const std::function<void(const Frame&)>& onReply) {
    Frame reply;
    if (!link.Exchange(RequestFor(link, code, arg), reply)) return false;
    link.GetRxBufPara();
    if (onReply) onReply(reply);
    return true;
}

}  // namespace

void FillScopePayload(Frame& request, unsigned short code, unsigned short arg,
                      std::span<const unsigned short> words) {
    switch (code) {
        case 2:
            SetFrameWord(request, kPayloadStartWord, arg);
            for (int col = 0; col < kTeachColumns; ++col)
                SetFrameWord(request, kPayloadStartWord + 1 + col, words[TeachWord(arg, col)]);
            break;
        case 4:
        case 50:
        case 190:
            SetFrameWord(request, kPayloadStartWord, arg);
            break;
        default:
            for (int i = 0; i < kPayloadWords; ++i) SetFrameWord(request, kPayloadStartWord + i, words[i]);
            break;
    }
}

bool WriteParameterSeries(SensorLink& link, const ParameterImage& image, bool eeprom,
                          const SeriesProgress& progress) {
    // The series' frames carry the image's words; the link keeps them too, as the words the requests after
    // the series carry (as a sensor's last reply leaves them after a read).
    std::copy(image.begin(), image.end(), link.pp);
    const int count = 1 + kTeachRows + (eeprom ? 1 : 0);
    link.FlushQueues();
    if (!Echoed(link, 1, 0, kScalarEchoWords, image)) return false;
    Step(progress, 1, count);
    for (unsigned short r = 0; r < kTeachRows; ++r) {
        link.Pass();
        if (!Echoed(link, 2, r, kRowEchoWords, image)) return false;
        Step(progress, 2 + r, count);
    }
    if (!eeprom) return true;
    if (!Echoed(link, 6, 0, kOrderEchoWords, image)) return false;  // the sensor keeps what it just got
    Step(progress, count, count);
    return true;
}

bool ReadParameterSeries(SensorLink& link, bool eeprom, const std::function<void(const Frame&)>& onReply,
                         const SeriesProgress& progress) {
    const int count = 1 + kTeachRows + (eeprom ? 1 : 0);
    int done = 0;
    link.FlushQueues();
    // After order 8 the reads return what the EEPROM holds.
    if (eeprom && !Echoed(link, 8, 0, kOrderEchoWords)) return false;
    if (eeprom) Step(progress, ++done, count);
    if (!Read(link, 3, 0, onReply)) return false;
    Step(progress, ++done, count);
    for (unsigned short r = 0; r < kTeachRows; ++r) {
        if (!Read(link, 4, r, onReply)) return false;
        Step(progress, ++done, count);
    }
    return true;
}

void GetDataFrame(SensorLink& link) {
    link.FlushQueues();
    link.WriteFrame();
    link.ReceiveFrame(kReplySeconds, "complete");
}

bool ExchangeDataFrame(SensorLink& link, Frame& reply) {
    SendDataRequest(link);
    return ReceiveDataFrame(link, reply);
}

void SendDataRequest(SensorLink& link) {
    const Frame request = RequestFor(link, 5, 0);
    link.FlushQueues();
    link.Send(request);
}

bool ReceiveDataFrame(SensorLink& link, Frame& reply) {
    if (!link.ReceiveFrame(kReplySeconds, "complete")) return false;
    reply = link.LastReply();
    return true;
}

void StopAutoSend(SensorLink& link) {
    const Frame request = RequestFor(link, 50, 0);
    link.FlushQueues();
    link.Send(request);
}

void StartAutoSend(SensorLink& link) {
    link.Send(RequestFor(link, 50, 1));
}
