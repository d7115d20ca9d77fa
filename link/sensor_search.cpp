#include "sensor_search.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include "frame_log.h"
#include "sensor_link.h"

namespace {

constexpr int kSearchFrameBytes = 36;
constexpr unsigned short kVersionOrder = 7;
// After the last byte of a reply, how long to wait for bytes beyond the 36 (a long reply is noise).
constexpr double kTrailSeconds = 0.01;

bool SameDevice(const std::string& a, const std::string& b) {
    std::error_code ec1, ec2;
    const auto ca = std::filesystem::canonical(a, ec1), cb = std::filesystem::canonical(b, ec2);
    return !ec1 && !ec2 && ca == cb;
}

std::string TrimmedVersion(const unsigned char* bytes, int count) {
    std::string text(reinterpret_cast<const char*>(bytes), std::size_t(count));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
}

}  // namespace

bool IsScopeSensor(const std::string& versionText) {
    return versionText.find("ORVANE V3.") != std::string::npos;
}

std::vector<SearchTarget> SearchTargets(const std::string& programDir, bool includeFixedPorts) {
    const std::vector<ComLink> links = programDir.empty() ? std::vector<ComLink>{} : ListComLinks(programDir);
    std::vector<SearchTarget> targets;
    for (const SerialDeviceInfo& d : ListSerialDevices()) {
        if (d.fixedPort && !includeFixedPorts) continue;
        SearchTarget t{d.path, d.byId, 0};
        for (const ComLink& l : links)
            if (l.state == kComLinkPresent && SameDevice(l.device, d.path)) {
                t.comPort = l.port;
                break;
            }
        if (t.comPort == 0 && d.fixedPort) {
            const std::string name = std::filesystem::path(d.path).filename().string();
            const int n = std::atoi(name.c_str() + 4) + 1;
            if (name.size() > 4 && ReadComLink(programDir, n).state == kComLinkNone) t.comPort = n;
        }
        targets.push_back(std::move(t));
    }
    return targets;
}

SensorSearch::SensorSearch(std::vector<SearchTarget> targets, int avoidPort, double answerSeconds,
                           FrameLog* log)
    : targets_(std::move(targets)), answerSeconds_(answerSeconds), log_(log) {
    // Port numbers from the top down, none the program uses.
    for (int n = 255; n >= 1 && ports_.size() < targets_.size(); --n)
        if (n != avoidPort) ports_.push_back(n);
    targets_.resize(ports_.size());
}

SensorSearch::~SensorSearch() {
    for (int p : ports_) CloseCom(p);
}

long SensorSearch::CurrentRate() const {
    return BaudRateOf(std::min(rate_, 4));
}

std::vector<SearchResult> SensorSearch::Step() {
    std::vector<SearchResult> found;
    if (Done()) return found;
    const int baudIndex = rate_++;
    std::array<unsigned char, kSearchFrameBytes> query{};
    PutWord(query.data(), 0, 0x55);
    PutWord(query.data(), 1, kVersionOrder);
    std::vector<bool> open(targets_.size(), false);
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        if (OpenComConfig(ports_[i], targets_[i].device, BaudRateOf(baudIndex), VAL_NO_PARITY, 8, 1, 1024,
                          1024) < 0)
            continue;
        SetComTime(ports_[i], answerSeconds_);
        FlushInQ(ports_[i]);
        open[i] = ComWrt(ports_[i], query.data(), kSearchFrameBytes) == kSearchFrameBytes;
        if (open[i] && log_ && log_->IsOpen()) {
            log_->SetLink(targets_[i].device);
            log_->Sent(query.data(), kSearchFrameBytes, "search at " + std::to_string(BaudRateOf(baudIndex)));
        }
    }
    // Every device's answer is awaited at once; the wait ends early when each has its frame.
    const double start = Timer();
    std::vector<double> complete(targets_.size(), -1.0);
    for (;;) {
        if (idle)
            idle();
        else
            Sleep(1);
        const double now = Timer();
        bool waiting = false;
        for (std::size_t i = 0; i < targets_.size(); ++i) {
            if (!open[i]) continue;
            const int n = GetInQLen(ports_[i]);
            if (n >= kSearchFrameBytes && complete[i] < 0) complete[i] = now;
            if (complete[i] < 0 || now - complete[i] < kTrailSeconds) waiting = true;
        }
        if (!waiting || now - start > answerSeconds_ || cancelled_) break;
    }
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        if (!open[i]) continue;
        unsigned char reply[1024];
        const int waitingBytes = GetInQLen(ports_[i]);
        const int n =
            waitingBytes > 0 ? ComRd(ports_[i], reply, std::min(waitingBytes, int(sizeof reply))) : 0;
        CloseCom(ports_[i]);
        const bool answered = IsVersionText(reply, n);
        if (log_ && log_->IsOpen()) {
            log_->SetLink(targets_[i].device);
            log_->Received(reply, std::max(n, 0), answered ? "version" : n <= 0 ? "time-out" : "line noise");
        }
        if (!answered) continue;
        SearchResult r{targets_[i], baudIndex, TrimmedVersion(reply, n), false};
        r.scopeSensor = IsScopeSensor(r.version);
        results_.push_back(r);
        found.push_back(std::move(r));
    }
    return found;
}

std::string DescribeResult(const SearchResult& r, bool scopeProgram) {
    std::string text = r.target.device;
    if (r.target.comPort > 0) text += " (COM" + std::to_string(r.target.comPort) + ")";
    text += " at " + std::to_string(BaudRateOf(r.baudIndex)) + " baud: " + r.version;
    if (r.scopeSensor && !scopeProgram) text += " (the scope's sensor: use OrvaneV33)";
    if (!r.scopeSensor && scopeProgram) text += " (a Morvalen sensor: use MorvalenV15)";
    return text;
}
