// Finding the sensor: the version query (order 7) on each included serial device at each of the five baud
// rates, all devices of a rate at once, with a short answer time per rate. Used by the interface panel's
// Search and by sensor-tool scan.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frame_log.h"
#include "io.h"

// Whose sensor a version text names: the scope's model 601, else a Morvalen tool's sensor.
bool IsScopeSensor(const std::string& versionText);

struct SearchTarget {
    std::string device;  // as listed: /dev/ttyUSB0
    std::string byId;    // its by-id name, empty when none
    int comPort = 0;     // the COM number that opens it in the program directory, 0 when none
};
struct SearchResult {
    SearchTarget target;
    int baudIndex = 0;    // 0..4
    std::string version;  // blanks and zero bytes at the end dropped
    bool scopeSensor = false;
};

// The devices a search tries: USB and by-id adapters, and the fixed /dev/ttyS ports only when included,
// with the COM number of each in `programDir` (its COMn link, or n for /dev/ttyS(n-1) with no COMn link).
std::vector<SearchTarget> SearchTargets(const std::string& programDir, bool includeFixedPorts);

class SensorSearch {
  public:
    // `avoidPort`: a COM number the search must not use for its own opens (the program's open port).
    // `log`: where its queries and answers are logged (the program's link's frame log); null: nowhere.
    explicit SensorSearch(std::vector<SearchTarget> targets, int avoidPort = 0, double answerSeconds = 0.12,
                          FrameLog* log = nullptr);
    ~SensorSearch();
    SensorSearch(const SensorSearch&) = delete;
    SensorSearch& operator=(const SensorSearch&) = delete;

    // Called at every pass of the wait for the answers (the windows let their events run meanwhile);
    // empty: each pass sleeps for a millisecond.
    std::function<void()> idle;

    bool Done() const { return cancelled_ || rate_ >= 5; }
    int RatesDone() const { return rate_; }  // of 5
    long CurrentRate() const;
    // Tries every device at the next baud rate; returns what answered there. Calls `idle` meanwhile.
    std::vector<SearchResult> Step();
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }
    const std::vector<SearchResult>& Results() const { return results_; }

  private:
    std::vector<SearchTarget> targets_;
    std::vector<int> ports_;  // the port number each target is opened under
    double answerSeconds_;
    FrameLog* log_;
    int rate_ = 0;
    bool cancelled_ = false;
    std::vector<SearchResult> results_;
};

// One line of a result: "/dev/ttyUSB0 (COM3) at 57600 baud: ORVANE V3.3 2020-05-18 (the scope's sensor)".
std::string DescribeResult(const SearchResult& r, bool scopeProgram);
