// A scope run against the sensor emulator: the emulator on its own thread, a settings file that points the
// program at it (TCP, or the pseudo-terminal linked as COM5), the panel set loaded and shown and the
// start-up sequence run, as the program does at start.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "com232.h"
#include "graph_panel.h"
#include "interface_panel.h"
#include "live_data.h"
#include "parameter_image.h"
#include "parameters.h"
#include "scope.h"
#include "sensor_emulator.h"
#include "sensor_exchange.h"
#include "ui_test.h"

enum class Link { Tcp, Serial };

// The sanitizers make every pass of a wait several times dearer in processor time.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

// The processor time of the calling thread.
inline double ThreadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// How often the calling thread went to sleep: a wait that wakes every millisecond sleeps a thousand times
// a second, one that sleeps until its end or an event a few times.
inline long ThreadSleeps() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_nvcsw;
}

inline std::string LinkName(const testing::TestParamInfo<Link>& info) {
    return info.param == Link::Tcp ? "Tcp" : "Serial";
}

inline constexpr const char* kScopeVersion = "ORVANE V3.3 2020-05-18";

class ScopeSession : public UiTest {
  public:
    static int Attribute(int panel, int ctrl, CtrlAttr attr) {
        int value = -1;
        GetCtrlAttribute(panel, ctrl, attr, value);
        return value;
    }

  protected:
    static constexpr int kSerialPort = 5;

    void TearDown() override {
        poll = 0;
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        CloseCom(comport);
        DiscardOrvanePanels();
        SetInterfaceStatusBox(0, 0);  // the link's boxes went with the panels
        SetInterfaceCauseBox(0, 0);
        if (emulator) emulator->Stop();
        ForgetTheFrames();
        UiTest::TearDown();
    }

    // The next test starts as the program does: no measurement frame yet, empty histories, the density view
    // at its fixed range, and the graph panel at its first sample.
    static void ForgetTheFrames() {
        for (unsigned short* word :
             {&dataChL, &dataChC, &dataChR, &dataDensity, &dataSym1, &dataSym2, &dataVec, &dataTemp,
              &dataAktMaxChL, &dataAktMaxChC, &dataAktMaxChR, &dataTrigger})
            *word = 0;
        std::fill(std::begin(rawBuf), std::end(rawBuf), 0.0);
        std::fill(std::begin(densityBuf), std::end(densityBuf), 0.0);
        source = scale = 0;
        graphcnt = 0;
        for (unsigned short* buf :
             {GpBufCnt, GpBufChL, GpBufChC, GpBufChR, GpBufDensity, GpBufSym1, GpBufSym2, GpBufTemp})
            buf[0] = buf[1] = 0;
    }

    // `wireSpeed`: the serial line takes as long as a real one.
    void StartEmulator(Link link, double autoSendHz = 20.0, bool wireSpeed = false) {
        sensor_emu::EmulatorOptions options;
        options.versionText = kScopeVersion;
        options.autoSendHz = autoSendHz;
        options.wireSpeed = wireSpeed;
        options.tcp = link == Link::Tcp;
        options.pty = link == Link::Serial;
        if (options.pty) options.ptyLink = ProjectFile("COM" + std::to_string(kSerialPort));
        emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
    }

    void WriteSettingsFor(Link link, int baudIndex = 4) {
        if (link == Link::Tcp)
            WriteTextFile(ProjectFile("ComSettings.cfg"),
                          "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator->TcpPort()) + "\n");
        else
            WriteTextFile(ProjectFile("ComSettings.cfg"),
                          "0\n" + std::to_string(kSerialPort) + "\n" + std::to_string(baudIndex) + "\n\n\n");
    }

    // Loads and shows the panels and runs the start-up sequence, as the program's entry does.
    void StartProgram() {
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
        InitAll();
    }

    void StartConnected(Link link) {
        StartEmulator(link);
        WriteSettingsFor(link);
        StartProgram();
        ASSERT_EQ(Status(), kScopeVersion);
    }

    std::string Status(int panel = 0, int ctrl = DATAP_STATUS) {
        std::string text;
        GetCtrlVal(panel ? panel : datapanel, ctrl, text);
        while (!text.empty() && text.back() == ' ') text.pop_back();  // the version text is padded
        return text;
    }
    std::string InterfaceStatus() { return Status(interfacepanel, INTERFACEP_STATUS); }

    static int Dimmed(int panel, int ctrl) { return Attribute(panel, ctrl, ATTR_DIMMED); }
    static int Int(int panel, int ctrl) {
        int value = -1;
        GetCtrlVal(panel, ctrl, value);
        return value;
    }
    static unsigned short Cell(int column, int row) {
        unsigned short value = 0;
        GetTableCellVal(ttpanel, TTP_TABLE, {column, row}, value);
        return value;
    }

    // Orders of the request frames the emulator received since its counters were last reset.
    std::vector<int> Orders() const {
        std::vector<int> orders;
        for (const auto& f : emulator->Received()) orders.push_back(f[2] << 8 | f[3]);
        return orders;
    }

    // The values a record line holds of a frame (words 2 to 9), as the line writes them.
    static std::string LineValues(const sensor_emu::Frame& f) {
        std::string values;
        for (int w = 2; w <= 9; ++w)
            values += (w > 2 ? "\t" : "") + std::to_string(f[2 * w] << 8 | f[2 * w + 1]);
        return values;
    }

    // The emulator's parameter memory.
    std::uint16_t RamWord(int word) const { return emulator->RamWord(word); }
    std::uint16_t EepromWord(int word) const { return emulator->EepromWord(word); }
    void SetRamWord(int word, std::uint16_t value) { emulator->SetRamWord(word, value); }
    std::vector<std::uint16_t> RamImage() const {
        std::vector<std::uint16_t> image;
        for (int w = 0; w < kImageWords; ++w) image.push_back(RamWord(w));
        return image;
    }

    std::unique_ptr<sensor_emu::SensorEmulator> emulator;
};
