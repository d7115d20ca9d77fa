// Scripted pop-ups, deferred calls and the event pump, also inside busy waits of callbacks; the record of
// the operations that failed.
#include <atomic>
#include <csignal>
#include <ctime>
#include <thread>

#include "test_panel.h"

namespace {

using PlatformPopupTest = UiTest;

TEST_F(PlatformPopupTest, ExpectedPopupsAreAnsweredAndRecordedExactly) {
    uitest::ExpectPopup("INFO!", " Switch to color teach table.\n  second line ");
    uitest::ExpectPopup("Question", "Overwrite?", 1);
    uitest::ExpectPopup("Question", "Overwrite?", 0);
    EXPECT_EQ(MessagePopup("INFO!", " Switch to color teach table.\n  second line "), 0);
    EXPECT_EQ(ConfirmPopup("Question", "Overwrite?"), 1);
    EXPECT_EQ(ConfirmPopup("Question", "Overwrite?"), 0);
    ASSERT_EQ(uitest::Popups().size(), 3u);
    EXPECT_EQ(uitest::Popups()[0].kind, uitest::Popup::Message);
    EXPECT_EQ(uitest::Popups()[0].text, " Switch to color teach table.\n  second line ");
    EXPECT_EQ(uitest::Popups()[1].kind, uitest::Popup::Confirm);
    EXPECT_TRUE(uitest::UnexpectedPopups().empty());
    EXPECT_EQ(uitest::PendingExpectations(), 0);
}

TEST_F(PlatformPopupTest, UnexpectedOrMismatchedPopupsAreAnsweredNoAndKept) {
    uitest::ExpectPopup("INFO!", "text");
    EXPECT_EQ(ConfirmPopup("INFO!", "text "), 0);  // one blank too many: not the expected one
    EXPECT_EQ(uitest::PendingExpectations(), 1);
    EXPECT_EQ(ConfirmPopup("INFO!", "text"), 1);
    EXPECT_EQ(ConfirmPopup("Nobody", "expects this"), 0);
    ASSERT_EQ(uitest::UnexpectedPopups().size(), 2u);
    EXPECT_EQ(uitest::UnexpectedPopups()[0].text, "text ");
    EXPECT_EQ(uitest::UnexpectedPopups()[1].title, "Nobody");
    EXPECT_EQ(uitest::Popups().size(), 3u);
    uitest::Reset();  // these were provoked on purpose
    EXPECT_TRUE(uitest::UnexpectedPopups().empty());
    EXPECT_TRUE(uitest::Popups().empty());
}

TEST_F(PlatformPopupTest, FileSelectionCancelledChosenOrNotExpected) {
    std::string path = "stale";
    uitest::ExpectFileSelect(VAL_NO_FILE_SELECTED);
    EXPECT_EQ(FileSelectPopup(projectDir.string(), "equation.equ", "*.equ", "Load", VAL_LOAD_BUTTON, 0, 1, 1,
                              0, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_EQ(path, "");

    // A name typed without the required extension gets it.
    uitest::ExpectFileSelect(VAL_NEW_FILE_SELECTED, ProjectFile("coeffs"));
    EXPECT_EQ(FileSelectPopup(projectDir.string(), "equation.equ", "*.equ;*.txt", "Save equation",
                              VAL_SAVE_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("coeffs.equ"));
    const uitest::Popup& p = uitest::Popups().back();
    EXPECT_EQ(p.kind, uitest::Popup::FileSelect);
    EXPECT_EQ(p.title, "Save equation");
    EXPECT_EQ(p.text, "equation.equ");
    EXPECT_EQ(p.directory, projectDir.string());
    EXPECT_EQ(p.filter, "*.equ;*.txt");
    EXPECT_EQ(p.buttonLabel, VAL_SAVE_BUTTON);
    EXPECT_EQ(p.restrictExtension, 1);
    EXPECT_EQ(p.allowMakeDirectory, 1);

    // Without the restriction, the name stays as chosen.
    uitest::ExpectFileSelect(VAL_EXISTING_FILE_SELECTED, ProjectFile("Parameter.ini"));
    EXPECT_EQ(FileSelectPopup("", "Parameter.ini", "*.ini", "Load", VAL_LOAD_BUTTON, 0, 0, 1, 0, path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("Parameter.ini"));

    // A message expectation is no answer to a file pop-up.
    uitest::ExpectPopup("INFO!", "x");
    EXPECT_EQ(FileSelectPopup("", "", "*.dat", "Record file", VAL_OK_BUTTON, 0, 0, 1, 0, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_EQ(uitest::UnexpectedPopups().size(), 1u);
    uitest::Reset();
}

// ---- Qt's own dialogs, answered with keys and clicks
// -------------------------------------------------------

class QtDialogTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        uitest::UseRealDialogs();
        WriteTextFile(projectDir / "known.equ", "1\n");
    }
    int Choose(int buttonLabel, std::string& path) {
        return FileSelectPopup(projectDir.string(), "equation.equ", "*.equ", "equation", buttonLabel, 0, 1, 1,
                               1, path);
    }
    static void ExpectAllAnswered() {
        EXPECT_EQ(uitest::PendingDialogSteps(), 0);
        for (const auto& d : uitest::DialogsSeen()) EXPECT_FALSE(d.unanswered) << d.title << ": " << d.text;
    }
};

TEST_F(QtDialogTest, LoadRefusesANameThatDoesNotExistAndTakesAnExistingFile) {
    uitest::TypeInDialog("missing.equ");
    uitest::KeyInDialog(VAL_ENTER_VKEY);
    uitest::PressInDialog("OK");  // the dialog's own "not found" message
    uitest::TypeInDialog("known.equ");
    uitest::PressInDialog("Load");
    std::string path;
    EXPECT_EQ(FileSelectPopup(projectDir.string(), "equation.equ", "*.equ;*.txt", "equation", VAL_LOAD_BUTTON,
                              0, 1, 1, 0, path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("known.equ"));
    ExpectAllAnswered();
    const auto& seen = uitest::DialogsSeen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].fileDialog);
    EXPECT_EQ(seen[0].title, "equation");
    EXPECT_EQ(seen[0].acceptLabel, "Load");
    EXPECT_TRUE(seen[0].existingFilesOnly);
    EXPECT_EQ(seen[0].text, "equation.equ") << "the default name";
    EXPECT_EQ(seen[0].filters, "*.equ\n*.txt\n*");
    EXPECT_FALSE(seen[0].canMakeDirectory);
    EXPECT_NE(seen[1].text.find("missing.equ"), std::string::npos) << seen[1].text;
}

TEST_F(QtDialogTest, SaveTakesANewNameAndAsksBeforeItReplacesAFile) {
    // A new name, typed without its extension.
    uitest::TypeInDialog("fresh");
    uitest::PressInDialog("Save");
    std::string path;
    EXPECT_EQ(Choose(VAL_SAVE_BUTTON, path), VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("fresh.equ"));
    ASSERT_EQ(uitest::DialogsSeen().size(), 1u);
    EXPECT_EQ(uitest::DialogsSeen()[0].acceptLabel, "Save");
    EXPECT_FALSE(uitest::DialogsSeen()[0].existingFilesOnly);
    EXPECT_TRUE(uitest::DialogsSeen()[0].canMakeDirectory);

    // An existing name: No keeps the dialog open, Yes takes the file.
    uitest::TypeInDialog("known.equ");
    uitest::PressInDialog("Save");
    uitest::PressInDialog("No");
    uitest::PressInDialog("Save");
    uitest::PressInDialog("Yes");
    EXPECT_EQ(Choose(VAL_SAVE_BUTTON, path), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("known.equ"));
    ExpectAllAnswered();
    EXPECT_EQ(uitest::DialogsSeen().size(), 4u) << "a file dialog and the question twice";
    EXPECT_EQ(ReadTextFile(projectDir / "known.equ"), "1\n") << "choosing writes nothing";
}

TEST_F(QtDialogTest, OkTakesANewNameAndAnExistingOneWithoutAQuestionAndCancelChoosesNothing) {
    uitest::TypeInDialog("record.dat");
    uitest::PressInDialog("OK");
    std::string path;
    EXPECT_EQ(FileSelectPopup(projectDir.string(), "RecordFile.dat", "*.dat", "FILENAME!", VAL_OK_BUTTON, 0,
                              0, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("record.dat"));
    uitest::TypeInDialog("known.equ");
    uitest::KeyInDialog(VAL_ENTER_VKEY);
    EXPECT_EQ(Choose(VAL_OK_BUTTON, path), VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(path, ProjectFile("known.equ"));
    uitest::PressInDialog("Cancel");
    EXPECT_EQ(Choose(VAL_OK_BUTTON, path), VAL_NO_FILE_SELECTED);
    EXPECT_EQ(path, "");
    ExpectAllAnswered();
    ASSERT_EQ(uitest::DialogsSeen().size(), 3u) << "no question of the dialog's own";
    EXPECT_EQ(uitest::DialogsSeen()[0].acceptLabel, "OK");
}

TEST_F(QtDialogTest, MessageAndQuestionShowTheirTextsExactlyAndTakeClicksAndKeys) {
    const std::string text = " Switch to color teach table.\n  second line ";
    uitest::PressInDialog("OK");
    EXPECT_EQ(MessagePopup("INFO!", text), 0);
    uitest::PressInDialog("Yes");
    EXPECT_EQ(ConfirmPopup("ATTENTION!", "File already exist! \nDo you want to select existing file?"), 1);
    uitest::KeyInDialog(VAL_ESC_VKEY);
    EXPECT_EQ(ConfirmPopup("ATTENTION!", "Again?"), 0);
    ExpectAllAnswered();
    const auto& seen = uitest::DialogsSeen();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].title, "INFO!");
    EXPECT_EQ(seen[0].text, text);
    EXPECT_FALSE(seen[0].fileDialog);
    EXPECT_EQ(seen[1].text, "File already exist! \nDo you want to select existing file?");
    EXPECT_TRUE(uitest::Popups().empty()) << "nothing went to the scripted answers";
}

// ---- deferred calls ---------------------------------------------------------------------------------------

std::atomic<int> g_deferredRuns{0};
std::atomic<bool> g_deferredOffThread{false};
int g_uiThread = 0;

void CountDeferred(void*) {
    if (CmtGetCurrentThreadID() != g_uiThread) g_deferredOffThread = true;
    ++g_deferredRuns;
}

using PlatformPumpTest = PanelTest;

TEST_F(PlatformPumpTest, DeferredCallsRunLaterOnTheInterfaceThread) {
    g_uiThread = CmtGetCurrentThreadID();
    g_deferredRuns = 0;
    EXPECT_EQ(PostDeferredCallToThread(CountDeferred, nullptr), 0);
    EXPECT_EQ(g_deferredRuns, 0);  // not at once
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i) PostDeferredCallToThread(CountDeferred, nullptr);
        });
    for (auto& t : threads) t.join();
    EXPECT_TRUE(uitest::PumpUntil([] { return g_deferredRuns == 401; }, 5.0));
    EXPECT_FALSE(g_deferredOffThread);
    EXPECT_EQ(PostDeferredCallToThread(nullptr, nullptr), -1);
}

TEST_F(PlatformPumpTest, DeferredCallFromAThreadIsSeenWithinMilliseconds) {
    g_uiThread = CmtGetCurrentThreadID();
    g_deferredRuns = 0;
    std::atomic<double> postedAt{0};
    // The post comes once the pump runs (and may be waiting for events): the pump's first deferred call
    // says so.
    static std::atomic<bool> pumping;
    pumping = false;
    PostDeferredCallToThread([](void*) { pumping = true; }, nullptr);
    std::thread poster([&] {
        while (!pumping) std::this_thread::yield();
        postedAt = Timer();
        PostDeferredCallToThread(CountDeferred, nullptr);
    });
    ASSERT_TRUE(uitest::PumpUntil([] { return g_deferredRuns == 1; }, 2.0));
    const double latency = Timer() - postedAt;
    poster.join();
    EXPECT_LT(latency, 0.25);  // milliseconds normally; generous for a loaded machine
}

TEST_F(PlatformPumpTest, IdlePumpWaitsInsteadOfSpinning) {
    const double wallStart = Timer();
    const std::clock_t cpuStart = std::clock();
    int passes = 0;
    while (Timer() - wallStart < 0.3) {
        ProcessSystemEvents();
        ++passes;
    }
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall = Timer() - wallStart;
    EXPECT_LT(cpu, 0.5 * wall) << passes << " passes";
    EXPECT_GT(passes, 30);  // still about a millisecond per pass, not a long sleep
}

// ---- RunUserInterface, QuitUserInterface and busy waits -------------------------------------------------

std::vector<std::string> g_log;
bool g_releaseBusyWait = false;

// A command button that waits like the programs do: a loop over the event pump.
int BusyWaitButton(int, int, int event, void*, int, int) {
    if (event != EVENT_COMMIT) return 0;
    g_log.push_back("wait begins");
    const double end = Timer() + 3.0;
    while (!g_releaseBusyWait && Timer() < end) ProcessSystemEvents();
    g_log.push_back("wait ends");
    return 0;
}

void ClickBusyButton(void* panel) {
    uitest::Click(*static_cast<int*>(panel), BUTTON);
}
void Quit42(void*) {
    QuitUserInterface(42);
}

TEST_F(PlatformPumpTest, QuitEndsTheLoop) {
    PostDeferredCallToThread(Quit42, nullptr);
    EXPECT_EQ(RunUserInterface(), 42);
}

TEST_F(PlatformPumpTest, QuitBeforeTheLoopRunsIsNotLost) {
    QuitUserInterface(3);
    EXPECT_EQ(RunUserInterface(), 3);
    PostDeferredCallToThread(Quit42, nullptr);
    EXPECT_EQ(RunUserInterface(), 42);  // and it is used up once
}

TEST_F(PlatformPumpTest, QuitFromInsideABusyWaitEndsTheLoopAfterTheCallbackReturns) {
    g_log.clear();
    g_releaseBusyWait = false;
    InstallCtrlCallback(panel, BUTTON, BusyWaitButton, nullptr);
    uitest::RunDuringBusyWait([] {
        g_log.push_back("quit");
        QuitUserInterface(7);
    });
    uitest::RunDuringBusyWait([] {
        g_log.push_back("release");
        g_releaseBusyWait = true;
    });
    PostDeferredCallToThread(ClickBusyButton, &panel);
    EXPECT_EQ(RunUserInterface(), 7);
    g_log.push_back("loop ended");
    EXPECT_EQ(g_log, (std::vector<std::string>{"wait begins", "quit", "release", "wait ends", "loop ended"}));
}

int g_terminationCalls = 0;
void CountTermination(int signalNumber) {
    if (signalNumber == SIGTERM) ++g_terminationCalls;
}

TEST_F(PlatformPumpTest, ATerminationRequestIsServedAgainByEveryLaterPass) {
    g_terminationCalls = 0;
    ASSERT_EQ(InstallTerminationHandler(CountTermination), 0);
    ASSERT_EQ(::raise(SIGTERM), 0);
    for (int i = 0; i < 100 && g_terminationCalls == 0; ++i) ProcessSystemEvents();
    ASSERT_GT(g_terminationCalls, 0);
    // A loop that starts after the request hears it too, with no second signal.
    const int served = g_terminationCalls;
    ProcessSystemEvents();
    EXPECT_EQ(g_terminationCalls, served + 1);
}

TEST_F(PlatformPumpTest, BusyWaitActionsRunOnePerPassInsideCallbacksOnly) {
    g_log.clear();
    int pass = 0;
    uitest::RunDuringBusyWait([&] { g_log.push_back("a@" + std::to_string(pass)); }, 2);
    uitest::RunDuringBusyWait([&] { g_log.push_back("b@" + std::to_string(pass)); });
    uitest::RunDuringBusyWait([&] { g_log.push_back("c@" + std::to_string(pass)); });

    // Outside any callback nothing runs.
    for (int i = 0; i < 5; ++i) ProcessSystemEvents();
    EXPECT_EQ(uitest::PendingBusyWaitActions(), 3);
    EXPECT_TRUE(g_log.empty());

    static int* passPtr;
    passPtr = &pass;
    InstallCtrlCallback(
        panel, BUTTON,
        [](int, int, int event, void*, int, int) {
            if (event == EVENT_COMMIT)
                for (*passPtr = 0; *passPtr < 8; ++*passPtr) ProcessSystemEvents();
            return 0;
        },
        nullptr);
    uitest::Commit(panel, BUTTON);
    EXPECT_EQ(g_log, (std::vector<std::string>{"a@2", "b@3", "c@4"}));
    EXPECT_EQ(uitest::PendingBusyWaitActions(), 0);
}

// ---- failed operations ------------------------------------------------------------------------------------

using PlatformErrorTest = PanelTest;

TEST_F(PlatformErrorTest, FailedCallsAreRecordedAlsoFromACallbackInsideAnOperation) {
    int value = 0;
    GetCtrlVal(panel, 99, value);  // no such control
    SetCtrlVal(panel, STR, 1.5);   // a number into a text field
    // The key that FakeKeystroke sends runs the program's callback inside that operation: the callback's
    // calls are the program's own.
    InstallCtrlCallback(
        panel, RING_TEXT,
        [](int p, int, int event, void*, int, int) {
            int v = 0;
            if (event == EVENT_KEYPRESS) GetCtrlVal(p, 98, v);
            return 0;
        },
        nullptr);
    ASSERT_EQ(SetActiveCtrl(panel, RING_TEXT), 0);
    ASSERT_EQ(FakeKeystroke(' '), 0);
    int index = 0;
    EXPECT_EQ(GetIndexFromValue(panel, RING_INT, index, 12345), UIEItemNotFound);  // an answer, not a fault

    const std::vector<uitest::PlatformError> errors = uitest::TakePlatformErrors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].operation, "GetCtrlVal");
    EXPECT_EQ(errors[0].result, UIEInvalidControl);
    EXPECT_EQ(errors[1].operation, "SetCtrlVal");
    EXPECT_EQ(errors[1].result, UIEWrongType);
    EXPECT_EQ(errors[2].operation, "GetCtrlVal");
    EXPECT_EQ(errors[2].result, UIEInvalidControl);
}

TEST_F(PlatformErrorTest, AnAllowanceTakesOnlyItsOwnOperationsAndResultsWhileItLives) {
    int value = 0;
    {
        uitest::AllowPlatformErrors allowed("GetCtrlVal", UIEInvalidControl);
        GetCtrlVal(panel, 99, value);
        GetCtrlVal(panel, STR, value);  // a text field read as a number: another result
        SetCtrlVal(panel, 99, 1);       // another operation
        EXPECT_EQ(allowed.Count(), 1);
    }
    GetCtrlVal(panel, 99, value);  // after its end
    const std::vector<uitest::PlatformError> errors = uitest::TakePlatformErrors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].result, UIEWrongType);
    EXPECT_EQ(errors[1].operation, "SetCtrlVal");
    EXPECT_EQ(errors[2].operation, "GetCtrlVal");
    EXPECT_EQ(errors[2].result, UIEInvalidControl);
}

}  // namespace
