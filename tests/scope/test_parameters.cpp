// The parameter set between the panels and the sensor's RAM and EEPROM, over TCP and the pseudo-terminal:
// frame counts and orders, failures part-way, ignored replies, values the panels cannot show, the memory
// selector and the mode-dependent enabling.
#include <gtest/gtest.h>

#include <algorithm>

#include "live_data.h"
#include "scope_session.h"
#include "sensor_exchange.h"

namespace {

class Parameters : public ScopeSession, public testing::WithParamInterface<Link> {};

std::vector<int> SendOrders(bool eeprom) {
    std::vector<int> orders{1};
    orders.insert(orders.end(), kTeachRows, 2);
    if (eeprom) orders.push_back(6);
    return orders;
}

std::vector<int> GetOrders(bool eeprom) {
    std::vector<int> orders;
    if (eeprom) orders.push_back(8);
    orders.push_back(3);
    orders.insert(orders.end(), kTeachRows, 4);
    return orders;
}

void Select(int control) {
    uitest::Click(mainpanel, control);
}

// A distinct value for every image word that every control can show.
std::uint16_t ShowableWord(int word) {
    switch (word) {
        case kWordChannelMode:
            return 2;
        case kWordAverage:
            return 16;
        case kWordEvalMode:
        case kWordOutMode:
        case kWordExtteach:
            return 1;
        case kWordTrigger:
            return 0;
        case kWordHold:
            return 20;
        case kWordIntlim:
            return 100;
        case kWordMaxNr:
            return 12;
        default:
            return static_cast<std::uint16_t>(100 + 3 * word);
    }
}

TEST_P(Parameters, SendToRamAndEepromWritesEveryWordInOrder) {
    StartConnected(GetParam());
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, 0);
    uitest::SetAndCommit(parapanel, PARAP_MAX_UP, 12340);
    uitest::SetTableCellAndCommit(ttpanel, TTP_TABLE, {6, 31}, "777");
    emulator->ResetCounters();
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(Orders(), SendOrders(false));
    EXPECT_EQ(RamWord(kWordMaxUp), 12340);
    EXPECT_EQ(RamWord(TeachWord(30, 5)), 777);
    GetPanelValues();
    CopyVarsToPP();
    EXPECT_EQ(RamImage(), std::vector<std::uint16_t>(pp, pp + kImageWords));

    Select(MAINP_SELECT_EEPROM);
    emulator->ResetCounters();
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(Orders(), SendOrders(true));
    EXPECT_EQ(EepromWord(kWordMaxUp), 12340);
    EXPECT_EQ(EepromWord(TeachWord(30, 5)), 777);
}

// What a progress display is told (sensor-tool prints it): each frame of a series as it is done.
std::vector<std::pair<int, int>> seriesSteps;
void RecordStep(int done, int count) {
    seriesSteps.emplace_back(done, count);
}

TEST_P(Parameters, SeriesCountsEveryFrameOnce) {
    StartConnected(GetParam());
    SetSeriesProgress(RecordStep);
    for (bool eeprom : {false, true}) {
        const int count = 1 + kTeachRows + (eeprom ? 1 : 0);
        std::vector<std::pair<int, int>> expected;
        for (int done = 1; done <= count; ++done) expected.emplace_back(done, count);
        seriesSteps.clear();
        ASSERT_TRUE(WriteParameterSeries(ImageOfVars(), eeprom));
        EXPECT_EQ(seriesSteps, expected) << "write, eeprom " << eeprom;
        seriesSteps.clear();
        ASSERT_TRUE(ReadParameterSeries(eeprom, nullptr));
        EXPECT_EQ(seriesSteps, expected) << "read, eeprom " << eeprom;
    }
    SetSeriesProgress(nullptr);
}

TEST_P(Parameters, GetFromRamAndEepromFillsThePanels) {
    StartConnected(GetParam());
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, ShowableWord(w));
    const int rings[] = {PARAP_CHANNEL_MODE, PARAP_AVERAGE,  PARAP_EVAL_MODE, PARAP_HOLD,
                         PARAP_INTLIM,       PARAP_OUT_MODE, PARAP_TRIGGER};
    auto itemCounts = [&] {
        std::vector<int> counts;
        for (int ring : rings) {
            int n = 0;
            GetNumListItems(parapanel, ring, n);
            counts.push_back(n);
        }
        return counts;
    };
    const std::vector<int> items = itemCounts();
    emulator->ResetCounters();
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(Orders(), GetOrders(false));
    EXPECT_EQ(itemCounts(), items) << "listed values leave every ring's items as they are";
    EXPECT_EQ(Int(parapanel, PARAP_MAX_UP), ShowableWord(kWordMaxUp));
    EXPECT_EQ(Int(parapanel, PARAP_AVERAGE), 16);
    EXPECT_EQ(Cell(4, 31), ShowableWord(TeachWord(30, 3)));

    // EEPROM still holds the start values; it is read after order 8.
    const std::uint16_t eepromPower = EepromWord(kWordPower);
    ASSERT_NE(eepromPower, ShowableWord(kWordPower));
    Select(MAINP_SELECT_EEPROM);
    emulator->ResetCounters();
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(Orders(), GetOrders(true));
    EXPECT_EQ(Int(parapanel, PARAP_POWER), eepromPower);
}

TEST_P(Parameters, AFailureAtRowTwelveLeavesTheEarlierRowsAndSendsNoOrderSix) {
    StartConnected(GetParam());
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, 0);
    Select(MAINP_SELECT_EEPROM);
    const std::uint16_t eepromRow0 = EepromWord(TeachWord(0, 0));
    for (int r = 0; r < kTeachRows; ++r) uitest::SetTableCellAndCommit(ttpanel, TTP_TABLE, {1, r + 1}, "500");
    emulator->ResetCounters();
    // Frame 1 is order 1, row r is frame r + 2.
    emulator->SetFaults({.wrongEchoAtFrame = 14});
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(Orders().size(), 14u) << "the series stops at the wrong echo";
    for (int r = 0; r < 12; ++r) EXPECT_EQ(RamWord(TeachWord(r, 0)), 500) << "row " << r;
    for (int r = 13; r < kTeachRows; ++r) EXPECT_EQ(RamWord(TeachWord(r, 0)), 0) << "row " << r;
    EXPECT_EQ(EepromWord(TeachWord(0, 0)), eepromRow0) << "no order 6";
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_TRUE(uitest::IsPanelShown(interfacepanel));
    EXPECT_EQ(comecho, 0);
}

TEST_P(Parameters, ASilentSensorEndsAGetWithoutTouchingThePanels) {
    StartConnected(GetParam());
    const int power = Int(parapanel, PARAP_POWER);
    SetRamWord(kWordPower, static_cast<std::uint16_t>(power + 1));
    emulator->ResetCounters();
    emulator->SetFaults({.silentFromFrame = 5});
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(Orders().size(), 5u);
    EXPECT_EQ(Int(parapanel, PARAP_POWER), power);
    EXPECT_EQ(Status(), "TIMEOUT");
}

TEST_P(Parameters, RepliesWithAWrongMarkerOrderOrRowAreIgnored) {
    StartConnected(GetParam());
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, ShowableWord(w));
    const unsigned short row5 = Cell(1, 6), row9 = Cell(1, 10), row20 = Cell(1, 21);
    ASSERT_NE(row5, ShowableWord(TeachWord(5, 0)));
    emulator->ResetCounters();
    // Frame 1 is order 3, row r is frame r + 2.
    emulator->SetFaults({.wrongMarkerAtFrame = 7, .wrongOrderAtFrame = 11, .badRowAtFrame = 22});
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(Orders().size(), 32u) << "the transfer goes on";
    EXPECT_EQ(Cell(1, 6), row5);
    EXPECT_EQ(Cell(1, 10), row9);
    EXPECT_EQ(Cell(1, 21), row20);
    EXPECT_EQ(Cell(1, 7), ShowableWord(TeachWord(6, 0)));
    EXPECT_EQ(Status(), kScopeVersion) << "no failure report";
}

TEST_P(Parameters, ValuesThePanelsCannotShowComeBackUnchanged) {
    StartEmulator(GetParam());
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, ShowableWord(w));
    SetRamWord(kWordAverage, 7);    // not an item of its ring
    SetRamWord(kWordMaxUp, 65000);  // above the field's range
    SetRamWord(kWordPower, 1500);   // above the slider's range
    SetRamWord(kWordExtteach, 0);
    SetRamWord(kWordFrei13, 11);  // the spare words have no control
    SetRamWord(kWordFrei16, 65535);
    const std::vector<std::uint16_t> image = RamImage();
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(Int(parapanel, PARAP_AVERAGE), 7);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_UP), 65000);
    EXPECT_EQ(Int(parapanel, PARAP_POWER), 1500);
    EXPECT_EQ(Int(parapanel, PARAP_POWER_VALUE), 1500) << "the number beside the slider widens with it";
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, 0);
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(RamImage(), image);

    // A later listed value drops the ring's extra item, and a value in range gives a field its own range
    // back.
    int items = 0;
    GetNumListItems(parapanel, PARAP_AVERAGE, items);
    SetRamWord(kWordAverage, 32);
    SetRamWord(kWordMaxUp, ShowableWord(kWordMaxUp));
    SetRamWord(kWordPower, ShowableWord(kWordPower));
    uitest::Click(mainpanel, MAINP_GET);
    int after = 0;
    GetNumListItems(parapanel, PARAP_AVERAGE, after);
    EXPECT_EQ(after, items - 1);
    EXPECT_EQ(Int(parapanel, PARAP_AVERAGE), 32);
    double max = 0.0;
    GetCtrlAttribute(parapanel, PARAP_MAX_UP, ATTR_MAX_VALUE, max);
    EXPECT_LT(max, 65000.0);
    for (int power : {PARAP_POWER, PARAP_POWER_VALUE}) {
        GetCtrlAttribute(parapanel, power, ATTR_MAX_VALUE, max);
        EXPECT_EQ(max, 1000.0) << "a power in range gives back the range of both";
    }
}

TEST_P(Parameters, ValuesThePanelsCannotShowSurviveAParameterFile) {
    StartEmulator(GetParam());
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, ShowableWord(w));
    SetRamWord(kWordChannelMode, 9);  // not an item of its ring
    SetRamWord(kWordMaxDown, 61000);  // above the field's range
    SetRamWord(kWordFrei14, 4242);
    const std::vector<std::uint16_t> image = RamImage();
    WriteSettingsFor(GetParam());
    StartProgram();
    const std::string file = ProjectFile("sensor.ini");
    Select(MAINP_SELECT_FILE);
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, file);
    uitest::Click(mainpanel, MAINP_SEND);
    for (int w = 0; w < kImageWords; ++w) SetRamWord(w, 0);
    Select(MAINP_SELECT_RAM);
    uitest::Click(mainpanel, MAINP_GET);  // the panels take the sensor's zeros
    EXPECT_EQ(paraFrei14, 0);
    Select(MAINP_SELECT_FILE);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    uitest::Click(mainpanel, MAINP_GET);
    Select(MAINP_SELECT_RAM);
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(RamImage(), image);
}

TEST_P(Parameters, ExternalTeachWinsOverAnExternalTriggerReadFromTheSensor) {
    StartEmulator(GetParam());
    SetRamWord(kWordExtteach, 1);
    SetRamWord(kWordTrigger, 1);
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(Int(parapanel, PARAP_EXTERN_TEACH), 1);
    EXPECT_EQ(Int(parapanel, PARAP_TRIGGER), 0);
    EXPECT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 1);
    EXPECT_EQ(Dimmed(parapanel, PARAP_EXTERN_TEACH), 0);
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(RamWord(kWordTrigger), 0);
    EXPECT_EQ(RamWord(kWordExtteach), 1);
}

TEST_P(Parameters, AnyExternalTeachValueButZeroIsOnAndGoesBackUnchanged) {
    StartEmulator(GetParam());
    SetRamWord(kWordExtteach, 5);
    SetRamWord(kWordTrigger, 2);
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(Int(parapanel, PARAP_EXTERN_TEACH), 1);
    EXPECT_EQ(Int(parapanel, PARAP_TRIGGER), 0) << "external teach forces CONT";
    EXPECT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 1);
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(RamWord(kWordExtteach), 5);
    EXPECT_EQ(RamWord(kWordTrigger), 0);

    // The same from a parameter file.
    ParameterImage image{};
    image[kWordExtteach] = 2;
    image[kWordTrigger] = 1;
    image[kWordMaxNr] = 1;
    const std::string file = ProjectFile("teach.ini");
    WriteTextFile(file, FormatParameterFile(image));
    uitest::SetAndCommit(parapanel, PARAP_EXTERN_TEACH, 0);
    ASSERT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 0);
    Select(MAINP_SELECT_FILE);
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    uitest::Click(mainpanel, MAINP_GET);
    EXPECT_EQ(Int(parapanel, PARAP_EXTERN_TEACH), 1);
    EXPECT_EQ(Int(parapanel, PARAP_TRIGGER), 0);
    EXPECT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 1);
    Select(MAINP_SELECT_RAM);
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(RamWord(kWordExtteach), 2);
    EXPECT_EQ(RamWord(kWordTrigger), 0);
}

// After Send the window holds half a second, as the sensor stores what it got, and sleeps through it: a
// few sleeps besides those of the 33 exchanges, not one a millisecond.
TEST_P(Parameters, SendHoldsHalfASecondAsleep) {
    StartConnected(GetParam());
    Select(MAINP_SELECT_RAM);
    emulator->ResetCounters();
    const double start = Timer();
    const long sleeps = ThreadSleeps();
    uitest::Click(mainpanel, MAINP_SEND);
    const long slept = ThreadSleeps() - sleeps;
    EXPECT_EQ(Orders(), SendOrders(false));
    EXPECT_GE(Timer() - start, 0.5);
    EXPECT_LT(slept, 150);
}

// A series that fails at its first frame shows the failure, sends nothing more and reports no success. The
// echo of order 8 is compared over its first two words only, so its fault is in the order word.
TEST_P(Parameters, AFailureAtTheFirstFrameEndsTheSeriesThere) {
    StartConnected(GetParam());
    struct Case {
        const char* name;
        int memory, button;
        sensor_emu::Faults faults;
        std::vector<int> orders;
    };
    const Case cases[] = {
        {"Send RAM", MAINP_SELECT_RAM, MAINP_SEND, {.wrongEchoAtFrame = 1}, {1}},
        {"Send EEPROM", MAINP_SELECT_EEPROM, MAINP_SEND, {.wrongEchoAtFrame = 1}, {1}},
        {"Get RAM", MAINP_SELECT_RAM, MAINP_GET, {.silentAtFrame = 1}, {3}},
        {"Get EEPROM", MAINP_SELECT_EEPROM, MAINP_GET, {.wrongEchoAtFrame = 1, .wrongEchoByte = 3}, {8}},
    };
    for (const Case& c : cases) {
        Select(c.memory);
        uitest::Click(mainpanel, MAINP_PARAMETERS);
        const std::uint16_t maxUp = static_cast<std::uint16_t>(Int(parapanel, PARAP_MAX_UP));
        SetRamWord(kWordMaxUp, static_cast<std::uint16_t>(maxUp + 10));
        emulator->ResetCounters();
        emulator->SetFaults(c.faults);
        uitest::Click(mainpanel, c.button);
        EXPECT_EQ(Orders(), c.orders) << c.name;
        EXPECT_EQ(Status(), "TIMEOUT") << c.name;
        EXPECT_TRUE(uitest::IsPanelShown(interfacepanel)) << c.name;
        EXPECT_EQ(Int(parapanel, PARAP_MAX_UP), maxUp) << c.name << ": the panels are unchanged";
        emulator->ResetCounters();
        const bool eeprom = c.memory == MAINP_SELECT_EEPROM;
        const bool done = c.button == MAINP_SEND ? WriteParameterSeries(ImageOfVars(), eeprom)
                                                 : ReadParameterSeries(eeprom, nullptr);
        EXPECT_FALSE(done) << c.name << ": the series reports the failure";
        EXPECT_EQ(Orders(), c.orders) << c.name;
        emulator->SetFaults({});
    }
}

// The EEPROM store's echo is checked like every other: a wrong order word in it fails the send, though every
// frame before it was echoed, and nothing says every echo was checked.
TEST_P(Parameters, AWrongEchoOfTheEepromStoreFailsTheSend) {
    StartConnected(GetParam());
    Select(MAINP_SELECT_EEPROM);
    uitest::Click(mainpanel, MAINP_PARAMETERS);
    emulator->ResetCounters();
    emulator->SetFaults({.wrongEchoOfOrder = 6});
    uitest::Click(mainpanel, MAINP_SEND);
    EXPECT_EQ(Orders(), SendOrders(true));
    EXPECT_EQ(Status(), "TIMEOUT");
    EXPECT_EQ(Status(interfacepanel, INTERFACEP_CAUSE), "the echo of order 6 differs from the frame sent");
    EXPECT_EQ(Status(datapanel, DATAP_LAST_OPERATION).find("every echo checked"), std::string::npos);
    EXPECT_EQ(comecho, 0);
    EXPECT_FALSE(WriteParameterSeries(ImageOfVars(), true));
    EXPECT_TRUE(WriteParameterSeries(ImageOfVars(), false)) << "no order 6 in a send to RAM";
}

// A sensor echoes the request only as far as the programs compare it: orders 6 and 8 their first two words,
// a teach row its first six. Every series passes with such echoes; one more word compared would fail them.
TEST_P(Parameters, EchoesAreComparedOverTheWordsTheirCheckCoversAndNoMore) {
    StartConnected(GetParam());
    emulator->SetFaults({.echoComparedOnly = true});
    for (bool eeprom : {false, true}) {
        emulator->ResetCounters();
        EXPECT_TRUE(WriteParameterSeries(ImageOfVars(), eeprom)) << "send, eeprom " << eeprom;
        EXPECT_EQ(Orders(), SendOrders(eeprom));
        emulator->ResetCounters();
        EXPECT_TRUE(ReadParameterSeries(eeprom, nullptr)) << "get, eeprom " << eeprom;
        EXPECT_EQ(Orders(), GetOrders(eeprom));
    }
    EXPECT_EQ(comecho, 1);
}

TEST_P(Parameters, VectorCountFromTheSensorIsLimitedToTheTable) {
    StartEmulator(GetParam());
    SetRamWord(kWordMaxNr, 40);
    SetRamWord(kWordOutMode, 1);
    WriteSettingsFor(GetParam());
    StartProgram();
    EXPECT_EQ(paraMaxNr, 31);
    EXPECT_EQ(Int(parapanel, PARAP_MAX_NO), 31);
}

TEST_P(Parameters, ReadAfterConnectingUsesTheSelectedMemoryButNeverAFile) {
    StartConnected(GetParam());
    Select(MAINP_SELECT_FILE);
    emulator->ResetCounters();
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    std::vector<int> expected{50, 7};
    for (int o : GetOrders(false)) expected.push_back(o);
    EXPECT_EQ(Orders(), expected) << "FILE reads the sensor's RAM";
    Select(MAINP_SELECT_EEPROM);
    emulator->ResetCounters();
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    EXPECT_EQ(Orders()[2], 8);
}

INSTANTIATE_TEST_SUITE_P(Links, Parameters, testing::Values(Link::Tcp, Link::Serial), LinkName);

// --- the baud-rate change, on the serial line
// ---------------------------------------------------------------

class BaudRate : public ScopeSession {
  protected:
    void StartAt115200() {
        sensor_emu::EmulatorOptions options;
        options.versionText = kScopeVersion;
        options.tcp = false;
        options.pty = true;
        options.ptyLink = ProjectFile("COM" + std::to_string(kSerialPort));
        options.serialBaud = 115200;  // the sensor answers only at its own rate
        emulator = std::make_unique<sensor_emu::SensorEmulator>(options);
        std::string error;
        ASSERT_TRUE(emulator->Start(&error)) << error;
        WriteSettingsFor(Link::Serial, 4);
        StartProgram();
        ASSERT_EQ(Status(), kScopeVersion);
    }
};

TEST_F(BaudRate, AnEchoedChangeReconnectsAtTheNewRate) {
    StartAt115200();
    uitest::Click(mainpanel, MAINP_CONNECT);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_CHANGE_BAUDRATE), 1) << "until an attempt reached the sensor";
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_BAUDRATE, 2);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 1);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_CHANGE_BAUDRATE), 0) << "the new rate can still be sent";
    emulator->ResetCounters();
    uitest::ExpectPopup("INFO!", "Success! \n\nConfirme new Baudrate \nwith EEPROM and SEND.");
    uitest::Click(interfacepanel, INTERFACEP_CHANGE_BAUDRATE);
    EXPECT_EQ(emulator->SerialBaud(), 38400);
    sensor_emu::SensorEmulator::LineSettings line{};
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_EQ(line.baudRate, 38400) << "the program reopened its port at the new rate";
    const std::vector<int> orders = Orders();
    ASSERT_GE(orders.size(), 3u);
    EXPECT_EQ(orders[0], 190);
    EXPECT_EQ(emulator->Received()[0][5], 2) << "the new baud index";
    EXPECT_EQ(orders[1], 50);
    EXPECT_EQ(orders[2], 7);
    EXPECT_EQ(InterfaceStatus(), kScopeVersion);
    EXPECT_EQ(Dimmed(interfacepanel, INTERFACEP_ACCEPT), 0);
}

TEST_F(BaudRate, AFailedChangeKeepsTheOldRate) {
    StartAt115200();
    uitest::Click(mainpanel, MAINP_CONNECT);
    uitest::Click(interfacepanel, INTERFACEP_TRY);
    uitest::SetAndCommit(interfacepanel, INTERFACEP_BAUDRATE, 0);
    emulator->SetFaults({.silent = true});
    uitest::Click(interfacepanel, INTERFACEP_CHANGE_BAUDRATE);
    EXPECT_EQ(InterfaceStatus(), "TIMEOUT");
    sensor_emu::SensorEmulator::LineSettings line{};
    ASSERT_TRUE(emulator->PtyLineSettings(line));
    EXPECT_EQ(line.baudRate, 115200) << "the program's port stays at the old rate";
    EXPECT_EQ(Dimmed(mainpanel, MAINP_SEND), 0) << "the operations are usable again";
}

// --- on the panels alone --------------------------------------------------------------------------------

class ParameterPanel : public ScopeSession {
  protected:
    void SetUp() override {
        ScopeSession::SetUp();
        ASSERT_EQ(LoadOrvanePanels(), 0);
        DisplayOrvanePanels();
    }
    static int LabelColor(int row) {
        int color = -1;
        GetTableRowAttribute(ttpanel, TTP_TABLE, row, ATTR_LABEL_COLOR, color);
        return color;
    }
};

// Every ring shows a value it does not list as one extra item, and only the latest such value (0 too).
TEST_F(ParameterPanel, ARingKeepsOneExtraItemForTheLastUnlistedValue) {
    struct Ring {
        int control;
        unsigned short* variable;
    };
    const Ring rings[] = {{PARAP_CHANNEL_MODE, &paraChannelMode},
                          {PARAP_AVERAGE, &paraAverage},
                          {PARAP_EVAL_MODE, &paraEvalMode},
                          {PARAP_HOLD, &paraHold},
                          {PARAP_INTLIM, &paraIntlim},
                          {PARAP_OUT_MODE, &paraOutMode},
                          {PARAP_TRIGGER, &paraTrigger}};
    auto items = [](int control) {
        std::vector<int> values;
        int count = 0;
        GetNumListItems(parapanel, control, count);
        for (int i = 0; i < count; ++i) {
            int value = 0;
            GetValueFromIndex(parapanel, control, i, value);
            values.push_back(value);
        }
        return values;
    };
    int checked = 0;
    for (const Ring& r : rings) {
        int style = CTRL_NONE;
        GetCtrlAttribute(parapanel, r.control, ATTR_CTRL_STYLE, style);
        if (style != CTRL_RING && style != CTRL_POPUP_RING) continue;
        ++checked;
        GetPanelValues();
        const auto listed = items(r.control);
        ASSERT_GE(listed.size(), 2u);
        // 0 is the first unlisted value where the ring does not list it.
        const int unlisted = std::find(listed.begin(), listed.end(), 0) == listed.end() ? 0 : 60001;
        for (int value : {unlisted, listed[1], 60002}) {
            *r.variable = static_cast<unsigned short>(value);
            SetPanelValues();
            EXPECT_EQ(Int(parapanel, r.control), value) << r.control;
        }
        auto expected = listed;
        expected.push_back(60002);
        EXPECT_EQ(items(r.control), expected) << "ring " << r.control;
        *r.variable = static_cast<unsigned short>(listed[0]);
        SetPanelValues();
    }
    EXPECT_GE(checked, 4);
}

TEST_F(ParameterPanel, MemorySelectorKeepsExactlyOneSwitchOnAndFallsBackToRam) {
    auto on = [] {
        return std::vector<int>{Int(mainpanel, MAINP_SELECT_RAM), Int(mainpanel, MAINP_SELECT_EEPROM),
                                Int(mainpanel, MAINP_SELECT_FILE)};
    };
    Select(MAINP_SELECT_EEPROM);
    EXPECT_EQ(on(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(target, EEPROM);
    Select(MAINP_SELECT_FILE);
    EXPECT_EQ(on(), (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(target, DATFILE);
    Select(MAINP_SELECT_FILE);  // off again: RAM, not the EEPROM chosen before
    EXPECT_EQ(on(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(target, RAM);
    Select(MAINP_SELECT_RAM);  // RAM cannot be switched off
    EXPECT_EQ(on(), (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(target, RAM);
}

TEST_F(ParameterPanel, ExternalTeachAndExternalTriggerExcludeEachOther) {
    SetCtrlVal(parapanel, PARAP_EXTERN_TEACH, 1);  // as a transfer in may leave it
    uitest::SetAndCommit(parapanel, PARAP_TRIGGER, 2);
    EXPECT_EQ(Int(parapanel, PARAP_EXTERN_TEACH), 0) << "an external trigger switches external teach off";
    EXPECT_EQ(Dimmed(parapanel, PARAP_EXTERN_TEACH), 1);
    EXPECT_EQ(Attribute(datapanel, DATAP_TRIGGER, ATTR_VISIBLE), 1);
    uitest::SetAndCommit(parapanel, PARAP_TRIGGER, 0);
    EXPECT_EQ(Dimmed(parapanel, PARAP_EXTERN_TEACH), 0);
    EXPECT_EQ(Attribute(datapanel, DATAP_TRIGGER, ATTR_VISIBLE), 0);
    uitest::SetAndCommit(parapanel, PARAP_TRIGGER, 1);
    EXPECT_EQ(Dimmed(parapanel, PARAP_EXTERN_TEACH), 1) << "EXT1 as well as EXT2";
    uitest::SetAndCommit(parapanel, PARAP_TRIGGER, 0);
    uitest::Click(parapanel, PARAP_EXTERN_TEACH);
    EXPECT_EQ(Int(parapanel, PARAP_TRIGGER), 0);
    EXPECT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 1);
    uitest::Click(parapanel, PARAP_EXTERN_TEACH);
    EXPECT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 0) << "external teach off frees the trigger selector";
    uitest::Click(parapanel, PARAP_EXTERN_TEACH);

    // From a transfer in, external teach wins, and the next Send carries trigger 0.
    paraExtteach = 1;
    paraTrigger = 1;
    SetPanelValues();
    InitEval();
    EXPECT_EQ(Int(parapanel, PARAP_EXTERN_TEACH), 1);
    EXPECT_EQ(Int(parapanel, PARAP_TRIGGER), 0);
    EXPECT_EQ(Dimmed(parapanel, PARAP_TRIGGER), 1);
    GetPanelValues();
    EXPECT_EQ(paraTrigger, 0);
    EXPECT_EQ(paraExtteach, 1);
}

TEST_F(ParameterPanel, VectorCountMessageAndRowColours) {
    uitest::SetAndCommit(parapanel, PARAP_OUT_MODE, 1);
    uitest::SetAndCommit(parapanel, PARAP_MAX_NO, 31);  // BINARY shows all 31: no message
    EXPECT_EQ(LabelColor(31), 0x008000);
    uitest::ExpectPopup("INFO!", InfoMaxVecTooHigh);
    uitest::SetAndCommit(parapanel, PARAP_OUT_MODE, 0);
    EXPECT_EQ(uitest::PendingExpectations(), 0) << "DIRECT LO with 31 vectors";
    uitest::ExpectPopup("INFO!", InfoMaxVecTooHigh);
    uitest::SetAndCommit(parapanel, PARAP_MAX_NO, 6);
    EXPECT_EQ(paraMaxNr, 6) << "the value is kept";
    for (int row = 1; row <= 6; ++row) EXPECT_EQ(LabelColor(row), 0x008000) << row;
    for (int row = 7; row <= 31; ++row) EXPECT_EQ(LabelColor(row), 0xFF0000) << row;
    uitest::SetAndCommit(parapanel, PARAP_MAX_NO, 5);
    EXPECT_EQ(LabelColor(6), 0xFF0000);
}

TEST_F(ParameterPanel, FieldsWithoutAnActionStillExplainThemselves) {
    uitest::ExpectPopup("INFO!", InfoEditMaxUp);
    uitest::RightClick(parapanel, PARAP_MAX_UP);
    uitest::ExpectPopup("INFO!", InfoSlidePower);
    uitest::RightClick(parapanel, PARAP_POWER);
    uitest::ExpectPopup("INFO!", InfoSlidePower);
    uitest::RightClick(parapanel, PARAP_POWER_VALUE);
}

TEST_F(ParameterPanel, ThePowerSliderAndTheNumberBesideItShowOneValueWhicheverIsMoved) {
    auto both = [] {
        return std::vector<int>{Int(parapanel, PARAP_POWER), Int(parapanel, PARAP_POWER_VALUE)};
    };
    uitest::SetAndCommit(parapanel, PARAP_POWER, 620);  // dragged and released
    EXPECT_EQ(both(), (std::vector<int>{620, 620}));
    uitest::PressKey(parapanel, PARAP_POWER, VAL_RIGHT_ARROW_VKEY);  // the slider's own keyboard step
    EXPECT_EQ(both(), (std::vector<int>{621, 621}));
    uitest::SetAndCommit(parapanel, PARAP_POWER_VALUE, 845);  // typed
    EXPECT_EQ(both(), (std::vector<int>{845, 845}));
    uitest::PressKey(parapanel, PARAP_POWER_VALUE, VAL_DOWN_ARROW_VKEY);
    EXPECT_EQ(both(), (std::vector<int>{844, 844}));
    GetPanelValues();
    EXPECT_EQ(paraPower, 844);
    // Neither takes more than the slider's range.
    EXPECT_EQ(uitest::SetAndCommit(parapanel, PARAP_POWER_VALUE, 1001), UIEInvalidValue);
    EXPECT_EQ(both(), (std::vector<int>{844, 844}));
}

TEST_F(ParameterPanel, EvaluationModeShowsTheMaximaAndEnablesTheirDelays) {
    uitest::SetAndCommit(parapanel, PARAP_EVAL_MODE, 0);
    EXPECT_EQ(Attribute(datapanel, DATAP_MAX_L, ATTR_VISIBLE), 0);
    EXPECT_EQ(Attribute(datapanel, DATAP_MAX_LABEL, ATTR_VISIBLE), 0);
    EXPECT_EQ(Dimmed(parapanel, PARAP_MAX_UP), 1);
    EXPECT_EQ(Dimmed(parapanel, PARAP_MAX_DOWN), 1);
    uitest::SetAndCommit(parapanel, PARAP_EVAL_MODE, 1);
    EXPECT_EQ(Attribute(datapanel, DATAP_MAX_R, ATTR_VISIBLE), 1);
    EXPECT_EQ(Dimmed(parapanel, PARAP_MAX_DOWN), 0);
}

}  // namespace
