// The scope's windows on a faulty line: the emulator drops, alters and inserts bytes and pauses, 1 % of the
// bytes it sends, on TCP and on the serial line, while the soak works the window as a person does, through
// its buttons: Go and Stop, a record in each mode, Send and Get of the parameter set. Every operation ends
// within a bound, each one that fails says why in the line beside the status box, no record line holds
// anything but a frame the sensor made (triggered records, where every frame is known) or what the window
// shows (manual lines), once the noise stops a record runs at the clean line's rate again, and the memory
// stays flat. SOAK_SECONDS sets how long the noisy part runs on both links together (20 s by default;
// scripts/soak.sh runs it for 10 minutes). It prints its counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "com232.h"
#include "live_data.h"
#include "recorder.h"
#include "scope.h"
#include "scope_session.h"

namespace {

constexpr const char* kSaved = "File has been saved!";
constexpr int kGreen = 0x006000, kRed = 0xA00000;
// No operation of the window may take longer: the longest is a record of 20 frames or a parameter series,
// each reply awaited for at most 3 s, which ends at its first unanswered request.
constexpr double kOperationBound = 20.0;

long RssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
    return -1;
}

// A text a person can read: not empty, printable characters and line breaks only.
bool Readable(const std::string& text) {
    return text.size() > 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || (c >= 0x20 && c < 0x7F); });
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, '\t');) parts.push_back(part);
    return parts;
}

// A record line's values without its date and time.
std::string Values(const std::string& line) {
    const std::size_t first = line.find('\t');
    const std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    return second == std::string::npos ? std::string() : line.substr(second + 1);
}

// Eight whole numbers of 0..65535: the shape of every record line's values.
bool EightWords(const std::string& values) {
    const std::vector<std::string> v = Split(values);
    return v.size() == 8 && std::all_of(v.begin(), v.end(), [](const std::string& s) {
               return !s.empty() && s.size() <= 5 && std::all_of(s.begin(), s.end(), ::isdigit) &&
                      std::stol(s) <= 65535;
           });
}

std::string Text(int panel, int ctrl) {
    std::string text;
    GetCtrlVal(panel, ctrl, text);
    return text;
}

class WindowSoak : public ScopeSession, public testing::WithParamInterface<Link> {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        AnswerEveryPopup();
    }

    // Pop-ups depend on how each operation ends: each is answered as a person would (yes, OK, a new record
    // file) and kept for the operation that showed it.
    void AnswerEveryPopup() {
        uitest::AnswerOtherPopups([this](const uitest::Popup& p) {
            shown_.push_back(p);
            if (p.kind == uitest::Popup::FileSelect)
                return uitest::PopupReply{VAL_NEW_FILE_SELECTED, nextFile_};
            return uitest::PopupReply{1, {}};
        });
    }
    // The harness keeps every pop-up and scripted step; a long soak starts them afresh now and then, after
    // checking that no platform call failed.
    void ForgetTheHarnessRecord() {
        for (const auto& e : uitest::PlatformErrors())
            ADD_FAILURE() << "platform call " << e.operation << " returned " << e.result;
        uitest::Reset();
        AnswerEveryPopup();
    }

    void Noise(double rate, unsigned modes) {
        sensor_emu::Faults f = emulator->GetFaults();
        f.noiseRate = rate;
        f.noiseModes = modes;
        emulator->SetFaults(f);
    }

    // Clicks `stop` inside the operation's waits once `seconds` have gone by (nothing when the operation
    // ends before). The step stays queued until the next wait, where it finds itself disarmed.
    std::shared_ptr<bool> StopAfter(double seconds, int panel, int stop) {
        auto armed = std::make_shared<bool>(true);
        const double at = Timer() + seconds;
        auto step = std::make_shared<std::function<void()>>();
        std::weak_ptr<std::function<void()>> self = step;
        *step = [=] {
            if (!*armed) return;
            if (Timer() >= at) {
                *armed = false;
                uitest::Click(panel, stop);
            } else if (auto again = self.lock()) {
                uitest::RunDuringBusyWait([again] { (*again)(); });
            }
        };
        uitest::RunDuringBusyWait([step] { (*step)(); });
        return armed;
    }

    struct Ending {
        bool done = false;    // the line beside the status box says it was done
        bool failed = false;  // ... that it failed, and why
        std::string line;     // its words without the time
    };
    // Runs one operation (a click whose callback returns when it has ended) and reads how it ended.
    Ending Operate(const std::string& name, const std::function<void()>& click) {
        SetCtrlVal(datapanel, DATAP_LAST_OPERATION, std::string());
        shown_.clear();
        const double start = Timer();
        click();
        const double seconds = Timer() - start;
        longest_ = std::max(longest_, seconds);
        if (seconds > kOperationBound) {
            ++hangs_;
            ADD_FAILURE() << name << " took " << seconds << " s";
        }
        Ending e;
        const std::string line = Text(datapanel, DATAP_LAST_OPERATION);
        const int colour = Attribute(datapanel, DATAP_LAST_OPERATION, ATTR_TEXT_COLOR);
        e.line = line.size() > 10 ? line.substr(10) : line;
        e.done = !line.empty() && colour == kGreen;
        e.failed = !line.empty() && colour == kRed;
        if (e.failed) {
            // A failure says why, in words, beside the status box and on the interface panel alike.
            EXPECT_TRUE(Readable(e.line)) << name << ": " << line;
            EXPECT_TRUE(Text(interfacepanel, INTERFACEP_CAUSE).ends_with(e.line)) << name;
            ++causes_[CauseKind(e.line)];
        }
        for (const uitest::Popup& p : shown_) {
            if (p.kind != uitest::Popup::FileSelect) {
                EXPECT_TRUE(Readable(p.text)) << name << ": pop-up \"" << p.title << "\": " << p.text;
            }
        }
        ++outcomes_[name + (e.done ? " done" : e.failed ? " failed, with its cause" : " ended")];
        if (emulator) emulator->ResetCounters();  // the requests it keeps are of no use here
        return e;
    }
    // The words of a cause without its numbers and file names, to count causes by kind.
    static std::string CauseKind(const std::string& line) {
        std::string kind;
        for (char c : std::regex_replace(line, std::regex(R"(/[^,]*\.dat)"), "FILE"))
            kind += std::isdigit(static_cast<unsigned char>(c)) ? '#' : c;
        return kind;
    }
    bool Said(const std::string& title, const std::string& text) const {
        return std::any_of(shown_.begin(), shown_.end(),
                           [&](const uitest::Popup& p) { return p.title == title && p.text == text; });
    }

    // A record of mode 0 (interval 0) or 1 from the Start button into a new file: its lines.
    std::vector<std::string> IntervalRecord(int mode, unsigned short count) {
        const std::string file = NewRecordFile();
        uitest::SelectListItem(recpanel, RECP_MODE, mode);
        uitest::SetAndCommit(recpanel, RECP_INTERVAL, static_cast<unsigned short>(0));
        if (mode == 0) uitest::SetAndCommit(recpanel, RECP_COUNT, count);
        std::shared_ptr<bool> stop;
        if (mode == 1) stop = StopAfter(1.0, recpanel, RECP_STOP);
        const Ending e =
            Operate("record mode " + std::to_string(mode), [] { uitest::Click(recpanel, RECP_START); });
        if (stop) *stop = false;
        std::vector<std::string> lines = TextLines(ReadTextFile(file));
        if (!lines.empty()) lines.erase(lines.begin());  // the header
        CheckRecordEnd(e, lines.size(), mode == 0 ? Int(recpanel, RECP_RECORDED) : FrameCounter());
        if (mode == 0 && Said("INFO!", kSaved)) {
            EXPECT_EQ(lines.size(), std::size_t(count)) << "a record said saved with lines missing";
        }
        for (const std::string& line : lines) {
            ++intervalLines_;
            if (!EightWords(Values(line))) {
                ++cutLines_;
                ADD_FAILURE() << "record line " << line;
            }
        }
        return lines;
    }
    // Saved, with a green line that counts the lines; or the cause, in red and in the message.
    void CheckRecordEnd(const Ending& e, std::size_t lines, double counted) {
        EXPECT_EQ(double(lines), counted) << "the counter on the panel and the lines in the file differ";
        if (Said("INFO!", kSaved)) {
            EXPECT_TRUE(e.done) << e.line;
            EXPECT_TRUE(e.line.starts_with("record ended: ")) << e.line;
        } else {
            EXPECT_TRUE(e.failed) << "a record neither saved nor failed: " << e.line;
            EXPECT_TRUE(std::any_of(shown_.begin(), shown_.end(), [](const uitest::Popup& p) {
                return p.title == "ATTENTION!";
            })) << "the record ended without a word";
        }
    }
    static double FrameCounter() {
        double v = -1;
        GetCtrlVal(recpanel, RECP_FRAME_COUNTER, v);
        return v;
    }
    std::string NewRecordFile() {
        nextFile_ = ProjectFile("record-" + std::to_string(++files_) + ".dat");
        uitest::Click(mainpanel, MAINP_RECORDER);
        uitest::Click(recpanel, RECP_SELECT_FILE);
        return nextFile_;
    }

    // Records the frames the sensor sends by itself for a second; each line must be one it made.
    void TriggeredRecord(bool strict) {
        const std::string file = NewRecordFile();
        uitest::SelectListItem(recpanel, RECP_MODE, 3);
        std::shared_ptr<bool> stop = StopAfter(1.0, recpanel, RECP_STOP_TRIGGERED);
        const Ending e = Operate("record mode 3", [] { uitest::Click(recpanel, RECP_START_TRIGGERED); });
        *stop = false;
        std::vector<std::string> lines = TextLines(ReadTextFile(file));
        if (!lines.empty()) lines.erase(lines.begin());
        CheckRecordEnd(e, lines.size(), FrameCounter());
        std::set<std::string> made;
        for (const sensor_emu::Frame& f : emulator->AutoSentFrames()) made.insert(LineValues(f));
        for (const std::string& line : lines) {
            ++triggeredLines_;
            const std::string values = Values(line);
            if (made.count(values)) continue;
            if (strict) {
                ++mixedLines_;
                ADD_FAILURE() << "record line of bytes that were never one frame: " << line;
            } else {
                // Altered bytes inside a frame, or a stray byte that makes 36 bytes look like one: the frames
                // carry no check word, so nothing can tell. Counted apart.
                ++(OneOrTwoAltered(values, made) ? alteredLines_ : strayLines_);
            }
        }
    }
    static bool OneOrTwoAltered(const std::string& values, const std::set<std::string>& made) {
        const std::vector<std::string> v = Split(values);
        for (const std::string& m : made) {
            const std::vector<std::string> f = Split(m);
            int same = 0;
            for (std::size_t i = 0; i < v.size() && i < f.size(); ++i) same += v[i] == f[i];
            if (same >= 6) return true;
        }
        return false;
    }

    // Manual lines hold the frame the window shows.
    void ManualLines() {
        const std::string file = NewRecordFile();
        uitest::SelectListItem(recpanel, RECP_MODE, 2);
        for (int i = 0; i < 3; ++i) {
            Operate("record mode 2", [] { uitest::Click(recpanel, RECP_MANUAL); });
            std::string shown;
            for (int ctrl : {DATAP_CH_L, DATAP_CH_C, DATAP_CH_R, DATAP_DENSITY, DATAP_SYM1, DATAP_SYM2,
                             DATAP_VEC, DATAP_TEMP})
                shown += (shown.empty() ? "" : "\t") + std::to_string(Int(datapanel, ctrl));
            const std::vector<std::string> lines = TextLines(ReadTextFile(file));
            ++manualLines_;
            ASSERT_EQ(lines.size(), std::size_t(2 + i));
            EXPECT_EQ(Values(lines.back()), shown) << "a manual line is not the frame the window shows";
        }
    }

    void Go() {
        std::shared_ptr<bool> stop = StopAfter(1.0, mainpanel, MAINP_STOP);
        Operate("Go", [] { uitest::Click(mainpanel, MAINP_GO); });
        *stop = false;
        EXPECT_EQ(poll, 0) << "the loop ended";
    }

    // Send to RAM: done only when the sensor holds what the window sent.
    void Send() {
        const Ending e = Operate("Send", [] { uitest::Click(mainpanel, MAINP_SEND); });
        if (e.done) {
            EXPECT_EQ(e.line, "202 words sent to RAM, every echo checked");
            EXPECT_EQ(RamImage(), std::vector<std::uint16_t>(ImageOfVars().begin(), ImageOfVars().end()))
                << "a Send said done, but the sensor holds another set";
        }
    }
    // Get from RAM: done must mean the sensor's set, unless bytes were altered (no check word tells).
    void Get(bool strict) {
        const std::vector<std::uint16_t> ram = RamImage();
        const Ending e = Operate("Get", [] { uitest::Click(mainpanel, MAINP_GET); });
        if (!e.done) return;
        EXPECT_EQ(e.line, "parameter set read from RAM");
        const ParameterImage got = ImageOfVars();
        if (std::equal(ram.begin(), ram.end(), got.begin())) return;
        if (strict) {
            std::string diff;
            for (int w = 0; w < kImageWords; ++w)
                if (ram[w] != got[w])
                    diff +=
                        " " + std::to_string(w) + ":" + std::to_string(ram[w]) + "/" + std::to_string(got[w]);
            ADD_FAILURE() << "a Get said done, but the window holds another set than the sensor" << diff;
        } else
            ++getsAltered_;
    }

    // A record of 1000 frames at interval 0 on the clean line: lines a second.
    double CleanRate(const char* what) {
        Noise(0.0, 0xF);
        const double start = Timer();
        const std::vector<std::string> lines = IntervalRecord(0, 1000);
        const double rate = double(lines.size()) / (Timer() - start);
        EXPECT_EQ(lines.size(), 1000u) << what;
        EXPECT_TRUE(Said("INFO!", kSaved)) << what;
        return rate;
    }

    std::vector<uitest::Popup> shown_;
    std::string nextFile_;
    int files_ = 0, hangs_ = 0;
    double longest_ = 0;
    std::map<std::string, int> outcomes_, causes_;
    long intervalLines_ = 0, cutLines_ = 0, manualLines_ = 0, triggeredLines_ = 0, mixedLines_ = 0,
         alteredLines_ = 0, strayLines_ = 0, getsAltered_ = 0;
};

TEST_P(WindowSoak, EveryOperationEndsWithItsOutcomeOrItsCauseAndTheCleanRateComesBack) {
    const char* seconds = std::getenv("SOAK_SECONDS");
    const double noisySeconds = (seconds ? std::atof(seconds) : 20.0) / 2;  // half on each link
    const char* link = GetParam() == Link::Tcp ? "TCP" : "serial";
    StartConnected(GetParam());
    InitRecordFileName(projectDir.string());
    // A parameter set of its own in the sensor's RAM, for Get to read.
    for (int w : {int(kWordFrei13), int(kWordFrei14), int(kWordFrei15), int(kWordFrei16)})
        SetRamWord(w, static_cast<std::uint16_t>(300 + w));
    for (int c = 0; c < kTeachColumns; ++c) SetRamWord(TeachWord(4, c), static_cast<std::uint16_t>(1000 + c));
    Get(true);
    ASSERT_EQ(outcomes_["Get done"], 1) << "the clean line reads the set";

    CleanRate("the clean line");  // the first record also opens what every later one finds open
    // Another program may take the processor during a record: the best of three is the line's own rate.
    double cleanRate = 0;
    for (int i = 0; i < 3; ++i) cleanRate = std::max(cleanRate, CleanRate("the clean line"));
    long rssAfterFirstRound = 0;
    int rounds = 0;
    const double end = Timer() + noisySeconds;
    for (; Timer() < end || rounds < 1; ++rounds) {
        // Every other round (the first on one link, the second on the other) loses and delays bytes only:
        // then every line and every set read must be what the sensor made. The others also alter and insert
        // bytes.
        const bool strict = (rounds + int(GetParam() == Link::Serial)) % 2 == 0;
        Noise(0.01, strict ? sensor_emu::kNoiseDrop | sensor_emu::kNoisePause : 0xF);
        Go();
        IntervalRecord(0, 20);
        IntervalRecord(1, 0);
        ManualLines();
        TriggeredRecord(strict);
        Send();
        Get(strict);
        ForgetTheHarnessRecord();
        if (rounds == 0) rssAfterFirstRound = RssKiB();
        if (HasFatalFailure()) return;
    }
    // A line left slow by the noise stays slow; a busy machine is slow for a while only.
    double rateAfter = 0;
    for (const double until = Timer() + 10; rateAfter <= cleanRate / 3 && Timer() < until;)
        rateAfter = std::max(rateAfter, CleanRate("after the noise"));
    const long rssAtEnd = RssKiB();

    const sensor_emu::NoiseCounts noise = emulator->Noise();
    std::printf("soak: window on %s: %.0f s of noise, %d rounds, %d hangs, the longest operation %.1f s\n",
                link, noisySeconds, rounds, hangs_, longest_);
    std::printf("soak: window on %s: noise %ld dropped, %ld altered, %ld inserted, %ld pauses\n", link,
                noise.dropped, noise.altered, noise.inserted, noise.pauses);
    for (const auto& [what, count] : outcomes_)
        std::printf("soak: window on %s: %-36s %d\n", link, what.c_str(), count);
    for (const auto& [cause, count] : causes_)
        std::printf("soak: window on %s: cause %4d x %s\n", link, count, cause.c_str());
    std::printf(
        "soak: window on %s: record lines interval %ld (%ld cut), manual %ld, triggered %ld: bytes dropped "
        "and paused, %ld not a frame made; all faults, %ld with one or two values altered, %ld of bytes "
        "that were never one frame\n",
        link, intervalLines_, cutLines_, manualLines_, triggeredLines_, mixedLines_, alteredLines_,
        strayLines_);
    std::printf("soak: window on %s: Get done with altered values (all faults) %ld\n", link, getsAltered_);
    std::printf("soak: window on %s: record rate clean %.0f lines/s, after the noise %.0f lines/s\n", link,
                cleanRate, rateAfter);
    std::printf("soak: window on %s: memory %ld KiB after the first round, %ld KiB at the end\n", link,
                rssAfterFirstRound, rssAtEnd);
    EXPECT_GT(noise.dropped + noise.altered + noise.inserted + noise.pauses, 0) << "the line was noisy";
    EXPECT_EQ(hangs_, 0);
    // The same work on the same machine: the rate comes back.
    EXPECT_GT(rateAfter, cleanRate / 3) << "the clean line's rate did not come back";
    // Flat: what the rounds after the first add is the noise of the allocator, not a growing store.
    EXPECT_LT(rssAtEnd - rssAfterFirstRound, 16 * 1024) << "memory grew";
}

INSTANTIATE_TEST_SUITE_P(Links, WindowSoak, testing::Values(Link::Tcp, Link::Serial), LinkName);

}  // namespace
