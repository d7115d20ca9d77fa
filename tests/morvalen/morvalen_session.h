// A Morvalen run against the sensor emulator: the emulator on its own thread, a settings file that points
// the program at it (TCP or the pseudo-terminal linked as COM5), the panel set loaded and the start-up
// sequence run, as the program does at start.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "com232.h"
#include "gui.h"
#include "interface_panel.h"
#include "morvalen.h"
#include "sensor_emulator.h"
#include "ui_test.h"

enum class Link { Tcp, Serial };

inline std::string LinkName(const testing::TestParamInfo<Link>& info) {
    return info.param == Link::Tcp ? "Tcp" : "Serial";
}

class MorvalenSession : public UiTest {
  protected:
    static constexpr int kSerialPort = 5;

    void TearDown() override {
        if (tcpcon) DisconnectFromTCPServer(g_hconversation);
        tcpcon = 0;
        CloseCom(comport);
        DiscardMorvalenPanels();
        if (emulator) emulator->Stop();
        UiTest::TearDown();
    }

    // Starts the emulator answering with `versionText` on the given link.
    void StartEmulator(Link link, const std::string& versionText = "MV-TARN3 V6.12 2024-03-11") {
        sensor_emu::EmulatorOptions options;
        options.versionText = versionText;
        options.tcp = link == Link::Tcp;
        options.pty = link == Link::Serial;
        if (options.pty) options.ptyLink = ProjectFile("COM" + std::to_string(kSerialPort));
        emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
    }

    // The settings file the program finds at start.
    void WriteSettingsFor(Link link) {
        if (link == Link::Tcp)
            WriteTextFile(ProjectFile("ComSettings.cfg"),
                          "1\n1\n1\n127.0.0.1\n" + std::to_string(emulator->TcpPort()) + "\n");
        else
            WriteTextFile(ProjectFile("ComSettings.cfg"), "0\n" + std::to_string(kSerialPort) + "\n4\n\n\n");
    }

    // Loads the panels and runs the start-up sequence, as the program's entry does.
    void StartProgram() {
        ASSERT_EQ(LoadMorvalenPanels(), 0);
        DisplayPanel(mainpanel);
        InitAll();
    }

    void StartConnected(Link link, const std::string& versionText = "MV-TARN3 V6.12 2024-03-11") {
        StartEmulator(link, versionText);
        WriteSettingsFor(link);
        StartProgram();
        ASSERT_EQ(Status(), versionText.substr(0, 36));
    }

    std::string Status(int panel = 0, int ctrl = MAINP_STATUS) {
        std::string text;
        GetCtrlVal(panel ? panel : mainpanel, ctrl, text);
        // The version text is padded with blanks to the frame's 36 bytes.
        while (!text.empty() && text.back() == ' ') text.pop_back();
        return text;
    }
    std::string InterfaceStatus() { return Status(interfacepanel, INTERFACEP_STATUS); }

    int Dimmed(int panel, int ctrl) {
        int dimmed = -1;
        GetCtrlAttribute(panel, ctrl, ATTR_DIMMED, dimmed);
        return dimmed;
    }

    std::unique_ptr<sensor_emu::SensorEmulator> emulator;
};
