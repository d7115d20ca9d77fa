// Send CF: the compensation table of every page layout lands in the sensor's table memory word by word, in
// the right order of frames, with the progress steps; and every failure shows "FAILURE" and "TIMEOUT".
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "frame_log.h"
#include "morvalen_session.h"
#include "transfer.h"

namespace fs = std::filesystem;

namespace {

using sensor_emu::Frame;

std::uint16_t Word(const Frame& f, int i) {
    return static_cast<std::uint16_t>((f[2 * i] << 8) | f[2 * i + 1]);
}

class Transfer : public MorvalenSession, public testing::WithParamInterface<Link> {
  protected:
    // Shows `page` and types a distinct drift polynomial per channel, so every channel's factors differ.
    void TypeCoefficients(int page) {
        const PageDescriptor& d = *PageDescriptorFor(page);
        const int panel = DataPanel(page);
        for (int c = 0; c < d.channelCount; ++c) {
            uitest::SetAndCommit(panel, CoefCtrl(c, 2), 0.05 * (c + 1));    // X2
            uitest::SetAndCommit(panel, CoefCtrl(c, 3), -1.5 - c);          // X1
            uitest::SetAndCommit(panel, CoefCtrl(c, 4), 900.0 + 60.0 * c);  // T
        }
        uitest::SetAndCommit(panel, DATAP_TEMP, 25);
    }

    void PressSendCF(int page) { uitest::Click(DataPanel(page), DATAP_SEND_CF); }

    std::string PageStatus(int page) {
        std::string text;
        GetCtrlVal(DataPanel(page), DATAP_STATUS, text);
        return text;
    }
    double Progress(int page) {
        double value = -1;
        GetCtrlVal(DataPanel(page), DATAP_PROGRESS, value);
        return value;
    }

    // Every value the transfer writes into the progress indicator.
    void WatchProgress(int page) { uitest::WatchValues(DataPanel(page), DATAP_PROGRESS); }
    // `frames` steps of `step`, then the final 0.
    static void ExpectProgressSteps(const std::vector<double>& seen, int frames, double step) {
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(frames) + 1);
        for (int k = 0; k < frames; ++k) EXPECT_NEAR(seen[k], step * (k + 1), 1e-9) << "step " << k + 1;
        EXPECT_EQ(seen.back(), 0.0);
    }

    // The factors the page calculated, as the sensor must hold them: channel c, index i at `address`.
    void ExpectTableHolds(std::uint16_t address, const unsigned short* factors, int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(emulator->TableWord(static_cast<std::uint16_t>(address + i)), factors[i])
                << "address 0x" << std::hex << address + i;
    }
};

TEST_P(Transfer, PagesOneFourFiveWriteThreeWholeCurves) {
    StartConnected(GetParam());
    for (int page : {1, 4, 5}) {
        emulator->ResetCounters();
        TypeCoefficients(page);
        WatchProgress(page);
        PressSendCF(page);
        EXPECT_EQ(PageStatus(page), "SUCCESS");
        EXPECT_EQ(Progress(page), 0.0);
        auto frames = emulator->Received();
        ASSERT_EQ(frames.size(), 33u);
        const std::uint16_t prepares[] = {0x1400, 0x1500, 0x1600};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(Word(frames[i], 1), 180);
            EXPECT_EQ(Word(frames[i], 2), prepares[i]);
        }
        for (int k = 0; k < 30; ++k) {
            const Frame& f = frames[3 + k];
            EXPECT_EQ(Word(f, 1), 182);
            EXPECT_EQ(Word(f, 2), prepares[k / 10] + 10 * (k % 10)) << "frame " << k;
            EXPECT_EQ(Word(f, 3), 10);
        }
        // The page's own factors: its button sends its table, not another page's.
        const PageDescriptor& d = *PageDescriptorFor(page);
        const PageState& pages = WindowPageState();
        ExpectTableHolds(0x1400, pages.Factors(*d.channels[0]).data(), 100);
        ExpectTableHolds(0x1500, pages.Factors(*d.channels[1]).data(), 100);
        ExpectTableHolds(0x1600, pages.Factors(*d.channels[2]).data(), 100);
        ExpectProgressSteps(uitest::WatchedValues(), 30, 33.33);
        EXPECT_NEAR(uitest::WatchedValues()[29], 999.9, 1e-9);
    }
}

TEST_P(Transfer, PageTwoWritesEightyIndicesPerChannelFrom0x1600) {
    StartConnected(GetParam(), "LUMAVEX3 V3.1");
    TypeCoefficients(2);
    emulator->ResetCounters();
    WatchProgress(2);
    PressSendCF(2);
    EXPECT_EQ(PageStatus(2), "SUCCESS");
    auto frames = emulator->Received();
    ASSERT_EQ(frames.size(), 25u);
    EXPECT_EQ(Word(frames[0], 2), 0x1600);
    for (int k = 0; k < 24; ++k) EXPECT_EQ(Word(frames[1 + k], 2), 0x1600 + 10 * k);
    // The frame with address 0x1650 carries G indices 0..9.
    const Frame& g = frames[1 + 8];
    EXPECT_EQ(Word(g, 2), 0x1650);
    for (int j = 0; j < 10; ++j) EXPECT_EQ(Word(g, 4 + j), dataCfGruen[j]);
    ExpectTableHolds(0x1600, dataCfRot, 80);
    ExpectTableHolds(0x1650, dataCfGruen, 80);
    ExpectTableHolds(0x16A0, dataCfBlau, 80);
    EXPECT_EQ(emulator->TableWord(0x16F0), 0) << "nothing beyond the 240 factors";
    ExpectProgressSteps(uitest::WatchedValues(), 24, 41.66);
}

TEST_P(Transfer, PageThreeWritesSixChannelsOfEighty) {
    StartConnected(GetParam(), "MV-TARN-PQ V1.0");
    TypeCoefficients(3);
    emulator->ResetCounters();
    PressSendCF(3);
    EXPECT_EQ(PageStatus(3), "SUCCESS");
    auto frames = emulator->Received();
    ASSERT_EQ(frames.size(), 50u);
    EXPECT_EQ(Word(frames[0], 2), 0x1500);
    EXPECT_EQ(Word(frames[1], 2), 0x1600);
    EXPECT_EQ(Word(frames[2], 2), 0x1500);
    EXPECT_EQ(Word(frames[49], 2), 0x16D6);
    const Frame& g = frames[2 + 8];  // start 80
    EXPECT_EQ(Word(g, 2), 0x1550);
    for (int j = 0; j < 10; ++j) EXPECT_EQ(Word(g, 4 + j), dataCfGruen[j]);
    const unsigned short* channels[] = {dataCfRot, dataCfGruen, dataCfBlau, dataCfRef, dataCfDir, dataCfDif};
    for (int c = 0; c < 6; ++c)
        ExpectTableHolds(static_cast<std::uint16_t>(0x1500 + 80 * c), channels[c], 80);
}

TEST_P(Transfer, SingleChannelPagesWriteOneCurve) {
    StartConnected(GetParam(), "QWD/HZD V2.2");
    for (int page = 6; page <= kBuild.pageCount; ++page) {
        TypeCoefficients(page);
        emulator->ResetCounters();
        WatchProgress(page);
        PressSendCF(page);
        EXPECT_EQ(PageStatus(page), "SUCCESS");
        auto frames = emulator->Received();
        ASSERT_EQ(frames.size(), 11u);
        EXPECT_EQ(Word(frames[0], 2), 0x1400);
        ExpectTableHolds(0x1400, dataCfRaw, 100);
        std::vector<double> expected;
        for (int k = 1; k <= 10; ++k) expected.push_back(100.0 * k);
        expected.push_back(0.0);
        EXPECT_EQ(uitest::WatchedValues(), expected) << "100, 200, .., 1000, then 0";
    }
}

TEST_P(Transfer, AllFactors1024GiveTheDocumentedFrames) {
    StartConnected(GetParam());
    // Constant curves equal to their set point: every factor is 1024 (0x0400).
    const int panel = DataPanel(1);
    for (int c = 0; c < 3; ++c) uitest::SetAndCommit(panel, CoefCtrl(c, 4), 1000.0);
    emulator->ResetCounters();
    PressSendCF(1);
    auto frames = emulator->Received();
    ASSERT_EQ(frames.size(), 33u);
    for (int k = 3; k < 33; ++k)
        for (int j = 0; j < 10; ++j) EXPECT_EQ(Word(frames[k], 4 + j), 0x0400);
}

// --- failures -----------------------------------------------------------------------------------------

TEST_P(Transfer, EchoesAreComparedWholeAndUndefinedBytesCarryOver) {
    StartConnected(GetParam(), "QWD/HZD V2.2");
    TypeCoefficients(6);
    PressSendCF(6);
    ASSERT_EQ(PageStatus(6), "SUCCESS");
    const Frame lastWrite = emulator->Received().back();
    ASSERT_EQ(Word(lastWrite, 1), 182);
    // The next transfer's prepare order defines only its address: bytes 6..35 are what the last frame left.
    emulator->ResetCounters();
    PressSendCF(6);
    ASSERT_EQ(PageStatus(6), "SUCCESS");
    const Frame prepare = emulator->Received().front();
    ASSERT_EQ(Word(prepare, 1), 180);
    EXPECT_TRUE(std::equal(prepare.begin() + 6, prepare.end(), lastWrite.begin() + 6));
    EXPECT_NE(Word(prepare, 4), 0) << "a factor of the last write order, not a cleared byte";
    // A write order defines its ten factors (words 4..13); bytes 28..35 are what the frame before it left.
    const auto& frames = emulator->Received();
    const auto firstWrite =
        std::find_if(frames.begin(), frames.end(), [](const Frame& f) { return Word(f, 1) == 182; });
    ASSERT_NE(firstWrite, frames.end());
    EXPECT_TRUE(std::equal(firstWrite->begin() + 28, firstWrite->end(), prepare.begin() + 28));

    // A write order's echo is compared up to its last factor (word 13).
    emulator->ResetCounters();
    emulator->SetFaults({.wrongEchoAtFrame = 2, .wrongEchoByte = 27});
    PressSendCF(6);
    EXPECT_EQ(PageStatus(6), "FAILURE");
    EXPECT_EQ(emulator->Received().size(), 2u);

    // The sensor echoes only the words it checks: a prepare order's first two, a write order's first 14.
    // What follows them may differ.
    for (auto [frame, byte] : {std::pair{1, 4}, std::pair{2, 28}}) {
        emulator->ResetCounters();
        emulator->SetFaults({.wrongEchoAtFrame = frame, .wrongEchoByte = byte});
        PressSendCF(6);
        EXPECT_EQ(PageStatus(6), "SUCCESS")
            << "a different byte " << byte << " in the echo of frame " << frame;
    }
}

// What a progress display is told (sensor-tool prints it): every frame as it is echoed, prepare orders
// included, and the end.
std::vector<std::pair<int, int>> progressSeen;
void RecordProgress(int, int done, int total, double) {
    progressSeen.emplace_back(done, total);
}

TEST_P(Transfer, ProgressCountsEveryFrameAndTheEnd) {
    StartConnected(GetParam());
    TypeCoefficients(1);
    // The window's transfer lets its progress display go at the end: a transfer that follows without a
    // display of its own moves nothing on the page.
    PressSendCF(1);
    WatchProgress(1);
    SendParaData(1);
    EXPECT_TRUE(uitest::WatchedValues().empty());
    progressSeen.clear();
    SetTransferProgress(RecordProgress);
    SendParaData(1);
    SetTransferProgress(nullptr);
    ASSERT_EQ(comecho, 1);
    std::vector<std::pair<int, int>> expected;
    for (int done = 1; done <= 33; ++done) expected.emplace_back(done, 33);
    expected.emplace_back(33, 33);
    EXPECT_EQ(progressSeen, expected);
}

TEST_P(Transfer, EachPrepareOrderIsFollowedByAPause) {
    StartConnected(GetParam());
    TypeCoefficients(1);
    const std::string log = ProjectFile("frames.log");
    ASSERT_TRUE(OpenFrameLog(log));
    PressSendCF(1);
    CloseFrameLog();
    ASSERT_EQ(PageStatus(1), "SUCCESS");
    // Time of every line, and which lines are the prepare orders' echoes.
    std::ifstream in(log);
    std::vector<std::pair<double, bool>> lines;
    for (std::string line; std::getline(in, line);)
        lines.emplace_back(std::stod(line), line.find(" RX ") != std::string::npos &&
                                                line.find(" 00 AA 00 B4 ") != std::string::npos);
    int pauses = 0;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].second) continue;
        ++pauses;
        EXPECT_GE(lines[i + 1].first - lines[i].first, 200.0) << "after prepare echo " << pauses;
    }
    EXPECT_EQ(pauses, 3);
}

TEST_P(Transfer, SilentSensorAtTheFirstPrepareOrder) {
    StartConnected(GetParam());
    TypeCoefficients(1);
    emulator->SetFaults({.silent = true});
    emulator->ResetCounters();
    PressSendCF(1);
    EXPECT_EQ(PageStatus(1), "FAILURE");
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(emulator->Received().size(), 1u) << "nothing else is sent";
    EXPECT_EQ(emulator->TableWord(0x1400), 0);
    int lamp = 0;
    GetCtrlAttribute(DataPanel(1), DATAP_LAMP, ATTR_CMD_BUTTON_COLOR, lamp);
    EXPECT_EQ(lamp, 0xE0E0E0);
}

TEST_P(Transfer, WrongEchoAtTheFifthWriteFrameStopsAt133) {
    StartConnected(GetParam());
    TypeCoefficients(1);
    emulator->ResetCounters();
    emulator->SetFaults({.wrongEchoAtFrame = 3 + 5});
    WatchProgress(1);
    PressSendCF(1);
    EXPECT_EQ(PageStatus(1), "FAILURE");
    EXPECT_NEAR(Progress(1), 133.32, 1e-9);
    EXPECT_EQ(uitest::WatchedValues().size(), 4u) << "four accepted frames, and no final 0";
    EXPECT_EQ(emulator->Received().size(), 8u);
    EXPECT_EQ(Status(), "TIMEOUT");
}

TEST_P(Transfer, DisconnectMidTransfer) {
    StartConnected(GetParam());
    TypeCoefficients(1);
    emulator->ResetCounters();
    emulator->SetFaults({.closeAtFrame = 10});
    if (GetParam() == Link::Tcp) uitest::ExpectPopup("TCP Client", "Server has closed connection!");
    PressSendCF(1);
    EXPECT_EQ(PageStatus(1), "FAILURE");
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_NEAR(Progress(1), 6 * 33.33, 1e-9);
}

TEST_F(MorvalenSession, ShortWriteIsCaughtWithoutWaitingForAnEcho) {
    StartConnected(Link::Serial);
    // The line goes dead right after the last prepare order was echoed: the first write order cannot be
    // written whole, which is reported at once.
    emulator->ResetCounters();
    emulator->SetFaults({.closeAfterFrame = 3});
    const double start = Timer();
    uitest::Click(DataPanel(1), DATAP_SEND_CF);
    std::string text;
    GetCtrlVal(DataPanel(1), DATAP_STATUS, text);
    EXPECT_EQ(text, "FAILURE");
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_NE(nBytesW, 36);
    EXPECT_LT(Timer() - start, 1.5) << "no echo time-out was waited for";
    EXPECT_EQ(emulator->Received().size(), 3u);
}

TEST_P(Transfer, NoSecondTransferInsideARunningOne) {
    StartConnected(GetParam());
    TypeCoefficients(1);
    emulator->ResetCounters();
    int sendDimmed = -1, tryDimmed = -1;
    bool running = false;
    uitest::RunDuringBusyWait(
        [&] {
            running = TransferRunning();
            sendDimmed = 1;
            for (int page = 1; page <= kBuild.pageCount; ++page)
                sendDimmed &= Dimmed(DataPanel(page), DATAP_SEND_CF);
            tryDimmed = Dimmed(interfacepanel, INTERFACEP_TRY);
            // A press that reached the callback anyway must not start a nested transfer.
            CBF_DataP4ButtonSendCF(DataPanel(4), DATAP_SEND_CF, EVENT_COMMIT, nullptr, 0, 0);
            CBF_DataP1ButtonSendCF(DataPanel(1), DATAP_SEND_CF, EVENT_COMMIT, nullptr, 0, 0);
        },
        5);
    PressSendCF(1);
    EXPECT_EQ(PageStatus(1), "SUCCESS");
    EXPECT_EQ(emulator->Received().size(), 33u) << "frames of one transfer only";
    EXPECT_TRUE(running);
    EXPECT_FALSE(TransferRunning());
    EXPECT_EQ(sendDimmed, 1);
    EXPECT_EQ(tryDimmed, 1);
    EXPECT_EQ(Dimmed(DataPanel(4), DATAP_SEND_CF), 0) << "restored after the transfer";
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_TRY), 0);
}

TEST_P(Transfer, ControlsAreRestoredAfterAFailure) {
    StartConnected(GetParam());
    emulator->SetFaults({.silent = true});
    PressSendCF(1);
    EXPECT_EQ(PageStatus(1), "FAILURE");
    EXPECT_EQ(Dimmed(DataPanel(1), DATAP_SEND_CF), 0);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_TRY), 0);
    EXPECT_FALSE(TransferRunning());
}

INSTANTIATE_TEST_SUITE_P(Links, Transfer, testing::Values(Link::Tcp, Link::Serial), LinkName);

TEST_F(MorvalenSession, NoSensorConnectedFailsAtOnce) {
    fs::create_symlink(ProjectFile("no-device"), ProjectFile("COM1"));
    StartProgram();
    uitest::Click(DataPanel(1), DATAP_SEND_CF);
    std::string text;
    GetCtrlVal(DataPanel(1), DATAP_STATUS, text);
    EXPECT_EQ(text, "FAILURE");
}

}  // namespace
