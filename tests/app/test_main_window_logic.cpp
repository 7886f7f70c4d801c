// The main window's logic against a simulated instrument, with a window that
// records what it would show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "app/DownloadTables.h"
#include "app/MainWindowLogic.h"
#include "app/WindowOptions.h"
#include "base/Messages.h"
#include "device/MemoryImage.h"
#include "device/SimulatedInstrument.h"
#include "support/InstrumentBuilders.h"
#include "support/RecordBuilders.h"
#include "support/RecordingWindow.h"
#include "table/DragSelect.h"

namespace oront {
namespace {

constexpr int kDataButtons[] = {ctl::kSaveSelected, ctl::kSaveAll, ctl::kDeleteRecords, ctl::kDataPrint};
constexpr int kValueLabels[] = {ctl::kCh1Value, ctl::kCh2Value, ctl::kCh3Value, ctl::kUnitValue};

using test::InstantFaults;
using test::RecordingWindow;

// `records` Auto records of the given size code and unit.
MemoryImage ImageOf(int records, std::uint8_t sizeCode = 0, std::uint8_t unit = 0, std::uint32_t serial = 0) {
    RawRecord r = test::PlainRecord(0, 100, 50, 5);
    r.sizeCode = sizeCode;
    r.unit = unit;
    r.serialNumber = serial;
    return MakeMemoryImage(static_cast<std::uint16_t>(records),
                           std::vector<RawRecord>(static_cast<std::size_t>(records), r));
}

struct MainWindowFlows : ::testing::Test {
    void Start(MemoryImage image, SimulatorFaults faults = InstantFaults()) {
        sim = std::make_unique<SimulatedInstrument>(std::move(image), faults);
        logic = std::make_unique<MainWindowLogic>(view, sim.get());
        logic->OnInitDialog();
        view.log.clear();
    }
    void ExpectDataButtons(bool on) {
        for (int id : kDataButtons) EXPECT_EQ(view.enabled[id], on) << "button " << id;
    }
    void ExpectValueLabels(bool shown) {
        for (int id : kValueLabels) EXPECT_EQ(view.visible[id], shown) << "label " << id;
    }
    // Asks to quit and answers the question (if one comes) with `answer`.
    void Quit(ExitSource source, int answer) {
        view.answers = {answer};
        logic->RequestExit(source);
    }

    RecordingWindow view;
    std::unique_ptr<SimulatedInstrument> sim;
    std::unique_ptr<MainWindowLogic> logic;
};

// --- button states ------------------------------------------------------------

TEST(ButtonStates, EachStateSwitchesKeepsOrLeavesTheButtonsAsTheTableSays) {
    // expected[state][button]: 1 on, 0 off, -1 kept. History and Trend
    // need no download, only none running.
    const int buttons[] = {ctl::kSaveSelected, ctl::kSaveAll, ctl::kDeleteRecords, ctl::kDataPrint,
                           ctl::kQuit,         ctl::kHistory, ctl::kTrend,         ctl::kSite};
    const int expected[4][8] = {
        {0, 0, 0, 0, -1, 1, 1, 1}, {0, 0, 0, 0, 0, 0, 0, 0}, {-1, -1, -1, -1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1, 1, 1}};
    for (int state = 0; state < 4; ++state) {
        for (bool before : {false, true}) {
            RecordingWindow view;
            SimulatedInstrument sim(ImageOf(1));
            MainWindowLogic logic(view, &sim);
            for (int id : buttons) view.enabled[id] = before;
            view.enabled[ctl::kReadRecords] = true;
            logic.SetButtonState(static_cast<ButtonState>(state));
            for (int b = 0; b < 8; ++b) {
                const bool want = expected[state][b] < 0 ? before : expected[state][b] == 1;
                EXPECT_EQ(view.enabled[buttons[b]], want) << "state " << state << " button " << buttons[b];
            }
            EXPECT_TRUE(view.enabled[ctl::kReadRecords]) << "Read Records is never disabled";
            EXPECT_EQ(logic.State(), static_cast<ButtonState>(state));
        }
    }
}

// --- start-up -------------------------------------------------------------------

TEST_F(MainWindowFlows, StartUpLeavesOnlyReadAndQuitEnabledAndQuitEndsAtOnce) {
    sim = std::make_unique<SimulatedInstrument>(ImageOf(3), InstantFaults());
    logic = std::make_unique<MainWindowLogic>(view, sim.get());
    logic->OnInitDialog();
    ExpectDataButtons(false);
    EXPECT_TRUE(view.enabled[ctl::kReadRecords]);
    EXPECT_TRUE(view.enabled[ctl::kQuit]);
    ExpectValueLabels(false);
    EXPECT_EQ(view.focus, ctl::kReadRecords);
    EXPECT_FALSE(logic->DataNotSaved());
    EXPECT_EQ(logic->Store().m_nLastRow, 0);
    const float want[10] = {0, 0, 6.3f, 2.9f, 2.4f, 2.1f, 2.0f, 1.9f, 1.9f, 1.9f};
    for (int i = 0; i < 10; ++i) EXPECT_FLOAT_EQ(logic->TFactor().m_tFactor[static_cast<std::size_t>(i)], want[i]);
    EXPECT_TRUE(sim->Commands().empty()) << "start-up does not talk to the instrument";

    Quit(ExitSource::QuitButton, kEndCancel);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(view.endCodes, std::vector<int>{kEndOk});
}

// --- Read Records failures ------------------------------------------------------

TEST_F(MainWindowFlows, ReadWithoutInstrumentReportsConnectFailure) {
    SimulatorFaults f = InstantFaults();
    f.noDevice = true;
    Start(ImageOf(3), f);
    logic->OnReadRecords();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to connect USB device!"});
    EXPECT_EQ(logic->State(), Failed);
    ExpectDataButtons(false);
    EXPECT_TRUE(view.enabled[ctl::kQuit]);
    ExpectValueLabels(false);
    EXPECT_EQ(view.clears, 0);
    EXPECT_FALSE(logic->DataNotSaved());
    EXPECT_EQ(view.focus, ctl::kRecordList);
    EXPECT_TRUE(sim->Commands().empty());
}

TEST_F(MainWindowFlows, ReadWithAPipeThatDoesNotOpenReportsConnectFailure) {
    for (bool readPipe : {true, false}) {
        SimulatorFaults f = InstantFaults();
        (readPipe ? f.readPipeFails : f.writePipeFails) = true;
        view = RecordingWindow();
        Start(ImageOf(3), f);
        logic->OnReadRecords();
        EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to connect USB device!"});
        EXPECT_EQ(sim->OpenPipeCount(), 0) << "a half-open link is closed again";
    }
}

TEST_F(MainWindowFlows, CountQueryFailuresReportReadFailure) {
    // An error reply (a packet arrived), silence, and a refused write.
    MemoryImage refusing(kPacketSize, 0);
    refusing[0] = '@';
    refusing[1] = 'E';
    refusing[2] = 'R';
    SimulatorFaults writeRefused = InstantFaults();
    writeRefused.writeRefused = true;
    const std::vector<std::pair<MemoryImage, SimulatorFaults>> cases = {
        {refusing, InstantFaults()}, {MemoryImage{}, InstantFaults()}, {ImageOf(3), writeRefused}};
    for (const auto& [image, faults] : cases) {
        view = RecordingWindow();
        Start(image, faults);
        logic->OnReadRecords();
        EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to read records!"});
        EXPECT_EQ(logic->State(), Failed);
        EXPECT_EQ(view.clears, 0);
        EXPECT_FALSE(logic->DataNotSaved());
        ExpectValueLabels(false);
        EXPECT_EQ(view.focus, ctl::kRecordList);
    }
}

TEST_F(MainWindowFlows, ZeroRecordsSayNoDataAndKeepTheTable) {
    Start(ImageOf(0));
    logic->OnReadRecords();
    EXPECT_EQ(view.messages, std::vector<std::string>{"No data!"});
    EXPECT_EQ(logic->State(), Failed);
    EXPECT_EQ(view.clears, 0) << "the list keeps the rows of an earlier read";
    ExpectValueLabels(false);
    EXPECT_FALSE(logic->DataNotSaved());
    EXPECT_EQ(sim->Commands(), std::vector<std::string>{"@03P\r"});
    Quit(ExitSource::QuitButton, kEndCancel);
    EXPECT_TRUE(view.questions.empty());
}

TEST_F(MainWindowFlows, DownloadStoppingHalfWayFailsAfterBusyAndLeavesTheFlagSet) {
    // Three records announced, but the instrument stops after the first
    // packet of the second record.
    MemoryImage image = ImageOf(3);
    image.resize(kPacketSize * 4);
    Start(image);
    int archived = 0;
    logic->SetDownloadHandler([&](const MemoryImage&) { ++archived; });
    logic->OnReadRecords();
    EXPECT_EQ(archived, 0) << "a failed download is not archived";

    EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to read records!"});
    EXPECT_EQ(logic->State(), Failed);
    ExpectDataButtons(false);  // Busy switched them off and Failed keeps them
    EXPECT_TRUE(view.enabled[ctl::kQuit]);
    EXPECT_TRUE(logic->DataNotSaved());
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(view.fills, 0);
    EXPECT_FALSE(view.waitCursor);
    // The message comes after the wait cursor is gone; the focus move is last.
    EXPECT_LT(view.Index("clear"), view.Index("wait:on"));
    EXPECT_LT(view.Index("wait:off"), view.Index("message:Failed to read records!"));
    EXPECT_EQ(view.log.back(), "focus:1007");

    // Nothing is listed, so nothing unsaved can be lost by quitting.
    Quit(ExitSource::QuitButton, kEndCancel);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(view.endCodes, std::vector<int>{kEndOk});
}

// --- Read Records success --------------------------------------------------------

TEST_F(MainWindowFlows, SuccessfulReadEnablesEverythingAndShowsTheFirstRecordsLabels) {
    Start(ImageOf(5, 11, 2));
    // The archive gets the image as the instrument sent it, once the list is
    // filled and while the window is still busy.
    std::vector<MemoryImage> archived;
    logic->SetDownloadHandler([&](const MemoryImage& image) {
        EXPECT_TRUE(logic->IsBusy());
        EXPECT_EQ(view.fills, 1);
        archived.push_back(image);
    });
    bool busyDuringDownload = false;
    view.onProgress = [&] {
        busyDuringDownload = logic->IsBusy() && !view.enabled[ctl::kQuit] && view.waitCursor;
        for (int id : kDataButtons) busyDuringDownload = busyDuringDownload && !view.enabled[id];
    };
    logic->OnReadRecords();

    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(busyDuringDownload);
    EXPECT_EQ(logic->State(), Ready);
    ExpectDataButtons(true);
    EXPECT_TRUE(view.enabled[ctl::kQuit]);
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(view.fills, 1);
    EXPECT_EQ(view.lastProgress, std::make_pair(5, 5));
    EXPECT_FALSE(view.waitCursor);
    EXPECT_TRUE(logic->DataNotSaved());
    ExpectValueLabels(true);
    EXPECT_EQ(view.labels[ctl::kCh1Value], "0.5um");
    EXPECT_EQ(view.labels[ctl::kCh2Value], "2.0um");
    EXPECT_EQ(view.labels[ctl::kCh3Value], "5.0um");
    EXPECT_EQ(view.labels[ctl::kUnitValue], "/m3");
    EXPECT_EQ(view.selects, 1);
    EXPECT_EQ(view.focus, ctl::kRecordList);
    // Ch2 is set first, the unit last; the table is filled inside the download.
    EXPECT_LT(view.Index("label:1012"), view.Index("label:1010"));
    EXPECT_LT(view.Index("label:1014"), view.Index("label:1016"));
    EXPECT_LT(view.Index("fill"), view.Index("wait:off"));
    EXPECT_EQ(sim->OpenPipeCount(), 0) << "the download closes the pipes";
    EXPECT_EQ(archived, std::vector<MemoryImage>{ImageOf(5, 11, 2)});
}

TEST_F(MainWindowFlows, ReadFromAnotherInstrumentThenTheOwnOneServesAgain) {
    Start(ImageOf(3));
    SimulatedInstrument other(ImageOf(5, 11, 2), InstantFaults());
    logic->ReadRecordsFrom(other);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(logic->State(), Ready);
    EXPECT_EQ(logic->Store().m_nRecordCount, 5);
    EXPECT_EQ(view.labels[ctl::kUnitValue], "/m3");
    EXPECT_EQ(view.lastProgress, std::make_pair(5, 5));
    EXPECT_TRUE(logic->DataNotSaved());
    EXPECT_TRUE(sim->Commands().empty()) << "the own instrument is not asked";

    // A read that fails there leaves no pipe of it open; the own instrument
    // answers the next Read Records.
    SimulatedInstrument broken(test::Truncated(ImageOf(5), 3), InstantFaults());
    logic->ReadRecordsFrom(broken);
    EXPECT_EQ(view.messages, std::vector<std::string>{msg::kReadFailed});
    EXPECT_EQ(broken.OpenPipeCount(), 0);
    logic->OnReadRecords();
    EXPECT_EQ(logic->Store().m_nRecordCount, 3);
    EXPECT_EQ(logic->State(), Ready);
    EXPECT_FALSE(sim->Commands().empty());
}

TEST_F(MainWindowFlows, CancelEndsTheDownloadAsAFailureWithoutItsMessage) {
    Start(ImageOf(5));
    int archived = 0;
    logic->SetDownloadHandler([&](const MemoryImage&) { ++archived; });
    logic->RequestCancel();  // no download runs: nothing to cancel
    view.onProgress = [&] {
        if (view.lastProgress.first == 2) logic->RequestCancel();
    };
    logic->OnReadRecords();
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.lastProgress, std::make_pair(2, 5));
    // The memory's ten packets came in one request; none was taken after
    // the cancel (the progress stopped at the second record).
    EXPECT_EQ(sim->PacketsSent(), 1 + 2 * 5);
    EXPECT_EQ(sim->OpenPipeCount(), 0);
    EXPECT_EQ(logic->State(), Failed);
    ExpectDataButtons(false);
    EXPECT_TRUE(view.enabled[ctl::kQuit]);
    EXPECT_EQ(view.fills, 0);
    EXPECT_FALSE(view.waitCursor);
    EXPECT_EQ(view.log.back(), "focus:1007");
    EXPECT_EQ(archived, 0);

    // The request ends with its download: the next one runs to its end.
    view.onProgress = nullptr;
    logic->OnReadRecords();
    EXPECT_EQ(logic->State(), Ready);
    EXPECT_EQ(view.fills, 1);
    EXPECT_EQ(archived, 1);
}

TEST_F(MainWindowFlows, UnknownSizeCodeLeavesCh2Empty) {
    Start(ImageOf(2, 5, 0));
    logic->OnReadRecords();
    EXPECT_EQ(view.labels[ctl::kCh1Value], "0.3um");
    EXPECT_EQ(view.labels[ctl::kCh2Value], "");
    EXPECT_EQ(view.labels[ctl::kCh3Value], "5.0um");
    EXPECT_EQ(view.labels[ctl::kUnitValue], "CNT");
}

TEST(ChannelLabels, TheCodeTable) {
    const std::map<int, std::vector<std::string>> table = {
        {0, {"0.3um", "0.5um", "5.0um"}},  {1, {"0.3um", "1.0um", "5.0um"}},  {2, {"0.3um", "2.0um", "5.0um"}},
        {3, {"0.3um", "2.5um", "5.0um"}},  {10, {"0.5um", "1.0um", "5.0um"}}, {11, {"0.5um", "2.0um", "5.0um"}},
        {12, {"0.5um", "2.5um", "5.0um"}}, {4, {"0.3um", "", "5.0um"}},       {13, {"0.3um", "", "5.0um"}},
        {-1, {"0.3um", "", "5.0um"}}};
    for (const auto& [code, want] : table) {
        const ChannelLabels l = ChannelLabelsForCode(code);
        EXPECT_EQ((std::vector<std::string>{l.ch1, l.ch2, l.ch3}), want) << "code " << code;
    }
}

// --- the unsaved-data flag and quitting ------------------------------------------

TEST_F(MainWindowFlows, QuitAndCloseAskWithTheirOwnWordingWhileRecordsAreUnsaved) {
    Start(ImageOf(4));
    logic->OnReadRecords();
    ASSERT_TRUE(logic->DataNotSaved());

    struct Case {
        ExitSource source;
        const char* text;
        int endCode;
    };
    const Case cases[] = {{ExitSource::QuitButton, msg::kQuitUnsaved, kEndOk},
                          {ExitSource::CloseCommand, msg::kCloseUnsaved, kEndCancel},
                          {ExitSource::EscapeKey, msg::kQuitUnsaved, kEndCancel}};
    for (const Case& c : cases) {
        view.questions.clear();
        view.endCodes.clear();
        Quit(c.source, kEndCancel);
        EXPECT_EQ(view.questions, std::vector<std::string>{c.text});
        EXPECT_TRUE(view.endCodes.empty()) << "Cancel keeps the window";
        EXPECT_TRUE(logic->DataNotSaved());

        view.questions.clear();
        Quit(c.source, kEndOk);
        EXPECT_EQ(view.questions, std::vector<std::string>{c.text});
        EXPECT_EQ(view.endCodes, std::vector<int>{c.endCode});
    }
}

// Escape never ends the window unasked: on an empty window it does nothing,
// with saved records listed it asks all the same.
TEST_F(MainWindowFlows, EscapeDoesNothingOnAnEmptyWindowAndAsksWhileAnythingIsListed) {
    Start(ImageOf(4));
    Quit(ExitSource::EscapeKey, kEndOk);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_TRUE(view.endCodes.empty());
    logic->OnReadRecords();
    logic->OnSaveFinished(true);
    Quit(ExitSource::EscapeKey, kEndCancel);
    EXPECT_EQ(view.questions, std::vector<std::string>{msg::kExitListed});
    EXPECT_TRUE(view.endCodes.empty());
    Quit(ExitSource::EscapeKey, kEndOk);
    EXPECT_EQ(view.endCodes, std::vector<int>{kEndCancel});
}

// A read does not replace listed records that are neither saved nor in the
// archive without asking; Cancel keeps everything as it was. Records that
// are in the archive are replaced with a note instead.
TEST_F(MainWindowFlows, AReadAsksBeforeReplacingUnsavedRecordsThatAreNotArchived) {
    Start(ImageOf(4));
    logic->OnReadRecords();
    const auto commands = sim->Commands().size();
    view.answers = {kEndCancel};
    logic->OnReadRecords();
    EXPECT_EQ(view.questions, std::vector<std::string>{msg::kReplaceUnsaved});
    EXPECT_EQ(sim->Commands().size(), commands) << "Cancel talks to no instrument";
    EXPECT_EQ(view.clears, 1);
    EXPECT_TRUE(logic->HasUnsavedRows());

    logic->OnReadRecords();  // OK
    EXPECT_EQ(view.questions.size(), 2u);
    EXPECT_EQ(view.clears, 2);

    logic->SetListedArchiveId(7);
    logic->OnReadRecords();
    EXPECT_EQ(view.questions.size(), 2u) << "records in the archive are replaced without a question";
    EXPECT_EQ(view.statuses, std::vector<std::string>{"the records listed before are in the archive as download 7"});
    EXPECT_EQ(logic->ListedArchiveId(), 0) << "the new records are not archived yet";
    logic->OnSaveFinished(true);
    logic->OnReadRecords();
    EXPECT_EQ(view.questions.size(), 2u) << "saved records are replaced without a question";
}

// A failed read names its cause under the program's message, with the
// error icon.
TEST_F(MainWindowFlows, FailedReadsSayWhy) {
    struct Case {
        const char* name;
        MemoryImage image;
        SimulatorFaults faults;
        const char* message;
        std::string cause;
        MessageIcon icon = MessageIcon::Error;
    };
    SimulatorFaults none = InstantFaults();
    SimulatorFaults absent = InstantFaults();
    absent.noDevice = true;
    MemoryImage cut = ImageOf(5);
    cut.resize(64 + 128 * 2 + 64);  // records 1 and 2, then packet A of record 3
    MemoryImage refusedRecord = ImageOf(5);
    std::memcpy(refusedRecord.data() + 64 + 128 * 3, "@ER", 3);
    MemoryImage refusedCount(64, 0);
    std::memcpy(refusedCount.data(), "@ER", 3);
    const Case cases[] = {
        {"no instrument", ImageOf(1), absent, "Failed to connect USB device!", "No instrument is attached."},
        {"a silent instrument", MemoryImage{}, none, "Failed to read records!",
         "The instrument did not answer the count command."},
        {"a refused count", refusedCount, none, "Failed to read records!",
         "The instrument refused the count command (its reply begins with @ER)."},
        {"a download cut short", cut, none, "Failed to read records!",
         "The instrument stopped sending after 2 of 5 records (no packet of record 3 arrived in time)."},
        {"an error reply in the download", refusedRecord, none, "Failed to read records!",
         "The instrument sent an error reply in place of record 4 of 5."},
        {"an empty memory", ImageOf(0), none, "No data!", "The instrument holds no records.", MessageIcon::Warning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view = RecordingWindow();
        Start(c.image, c.faults);
        logic->OnReadRecords();
        ASSERT_EQ(view.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(view.extras[0].detail, c.cause);
        EXPECT_EQ(view.extras[0].icon, c.icon);
    }
}

TEST_F(MainWindowFlows, SavingClearsTheFlagOnlyAfterASuccessfulWrite) {
    Start(ImageOf(4));
    logic->OnReadRecords();
    view.focus = 0;
    logic->OnSaveFinished(false);
    EXPECT_TRUE(logic->DataNotSaved());
    EXPECT_EQ(view.focus, ctl::kRecordList);
    logic->OnSaveFinished(true);
    EXPECT_FALSE(logic->DataNotSaved());
    Quit(ExitSource::CloseCommand, kEndCancel);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(view.endCodes, std::vector<int>{kEndCancel});
}

TEST_F(MainWindowFlows, FailedConnectAfterASuccessfulReadKeepsTheDataButtonsAndSetsTheFlagAgain) {
    Start(ImageOf(4));
    logic->OnReadRecords();
    logic->OnSaveFinished(true);
    ASSERT_FALSE(logic->DataNotSaved());

    sim->Faults().noDevice = true;
    logic->OnReadRecords();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to connect USB device!"});
    EXPECT_EQ(logic->State(), Failed);
    ExpectDataButtons(true);
    EXPECT_EQ(view.clears, 1) << "the earlier rows stay";
    EXPECT_TRUE(logic->DataNotSaved());
    ExpectValueLabels(true);
}

TEST_F(MainWindowFlows, NoDataOrAFailedCountAfterAnUnsavedReadKeepTheRowsAndQuitStillAsks) {
    for (bool silent : {false, true}) {
        view = RecordingWindow();
        Start(ImageOf(4));
        logic->OnReadRecords();
        // The instrument is erased behind the program's back, or stops answering.
        ASSERT_TRUE(OpenDeviceLink(logic->Usb()));
        CommandBuffers io;
        ASSERT_TRUE(EraseRecords(logic->Usb(), io));
        if (silent) sim->Faults().writeRefused = true;

        logic->OnReadRecords();
        EXPECT_EQ(view.messages, std::vector<std::string>{silent ? "Failed to read records!" : "No data!"});
        EXPECT_EQ(logic->Store().m_nRecordCount, 0);
        ExpectDataButtons(true);
        ExpectValueLabels(false);
        EXPECT_EQ(view.clears, 1);
        Quit(ExitSource::QuitButton, kEndCancel);
        EXPECT_EQ(view.questions, (std::vector<std::string>{msg::kReplaceUnsaved, msg::kQuitUnsaved}))
            << "rows are still listed";
    }
}

// --- Delete Records -------------------------------------------------------------

TEST_F(MainWindowFlows, DeleteWithoutInstrumentAsksNothing) {
    SimulatorFaults f = InstantFaults();
    f.noDevice = true;
    Start(ImageOf(3), f);
    logic->OnDeleteRecords();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to connect USB device!"});
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(logic->State(), NoData);
}

TEST_F(MainWindowFlows, CancelAtAnyOfTheThreeQuestionsSendsNothing) {
    const std::vector<std::string> all = {msg::kDeleteAsk1, msg::kDeleteAsk2, msg::kDeleteAsk3};
    for (std::size_t cancelAt = 0; cancelAt < 3; ++cancelAt) {
        view = RecordingWindow();
        Start(ImageOf(3));
        logic->OnReadRecords();
        const auto before = sim->Commands().size();
        view.answers.assign(cancelAt, kEndOk);
        view.answers.push_back(kEndCancel);
        logic->OnDeleteRecords();
        EXPECT_EQ(view.questions, std::vector<std::string>(all.begin(), all.begin() + long(cancelAt) + 1));
        for (const MessageExtras& e : view.extras) EXPECT_TRUE(e.cancelIsDefault) << "Enter alone never erases";
        EXPECT_EQ(view.extras[0].detail, "") << "the listed records came from the instrument itself";
        EXPECT_EQ(sim->Commands().size(), before) << "cancel at question " << cancelAt + 1;
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(logic->State(), Ready);
        EXPECT_TRUE(logic->DataNotSaved());
        EXPECT_EQ(view.clears, 1);
    }
}

// While the list shows records from elsewhere, the first question says which
// instrument is erased: the one on USB, by its serial number once it is known.
TEST_F(MainWindowFlows, TheFirstEraseQuestionNamesTheInstrumentWhenTheListShowsRecordsFromElsewhere) {
    Start(ImageOf(3, 0, 0, 2150042));
    SimulatedInstrument file(ImageOf(2));
    for (const bool known : {false, true}) {
        if (known) logic->OnReadRecords();  // the instrument's own records tell its serial number
        logic->OnSaveFinished(true);
        logic->ReadRecordsFrom(file, "saved.v208img");
        view.questions.clear();
        view.extras.clear();
        view.answers = {kEndCancel};
        logic->OnDeleteRecords();
        ASSERT_EQ(view.questions, std::vector<std::string>{msg::kDeleteAsk1});
        EXPECT_EQ(view.extras[0].detail, std::string("This erases every record on the instrument attached over USB") +
                                             (known ? " (serial number 2150042)" : "") +
                                             ", not the records listed from saved.v208img.");
    }
}

TEST_F(MainWindowFlows, RefusedOrUnansweredEraseChangesNothing) {
    for (bool silent : {false, true}) {
        SimulatorFaults f = InstantFaults();
        (silent ? f.eraseSilent : f.eraseRefused) = true;
        view = RecordingWindow();
        Start(ImageOf(3), f);
        logic->OnReadRecords();
        view.focus = 0;
        logic->OnDeleteRecords();
        EXPECT_EQ(view.questions.size(), 3u);
        EXPECT_EQ(view.messages, std::vector<std::string>{"Failed to delete records!"});
        EXPECT_EQ(sim->Commands().back(), "@03C\r");
        EXPECT_EQ(logic->State(), Ready);
        ExpectDataButtons(true);
        EXPECT_TRUE(logic->DataNotSaved());
        EXPECT_EQ(view.clears, 1);
        EXPECT_EQ(view.focus, 0) << "no focus move";
    }
}

TEST_F(MainWindowFlows, SuccessfulEraseOfSavedRecordsEmptiesTheWindowAndTheNextReadOpensTheLinkAgain) {
    Start(ImageOf(3, 10, 1));
    logic->OnReadRecords();
    logic->OnSaveFinished(true);
    view.log.clear();
    logic->OnDeleteRecords();

    EXPECT_EQ(view.questions, (std::vector<std::string>{msg::kDeleteAsk1, msg::kDeleteAsk2, msg::kDeleteAsk3}));
    EXPECT_EQ(view.messages, std::vector<std::string>{"Records have been deleted successfully!"});
    EXPECT_LT(view.Index("message:Records have been deleted successfully!"), view.Index("clear"));
    EXPECT_EQ(sim->OpenPipeCount(), 0);
    EXPECT_EQ(view.clears, 2);
    EXPECT_FALSE(logic->DataNotSaved());
    EXPECT_EQ(logic->Store().m_nLastRow, 0);
    EXPECT_EQ(logic->Store().m_nRecordCount, 3) << "the count is left as it was";
    ExpectValueLabels(false);  // cleared with the table
    EXPECT_EQ(logic->State(), NoData);
    ExpectDataButtons(false);
    EXPECT_TRUE(view.enabled[ctl::kQuit]);
    EXPECT_EQ(view.focus, ctl::kReadRecords);
    Quit(ExitSource::QuitButton, kEndCancel);
    EXPECT_TRUE(view.questions.size() == 3u) << "Quit does not ask after an erase";

    view.messages.clear();
    logic->OnReadRecords();
    EXPECT_EQ(view.messages, std::vector<std::string>{"No data!"});
}

TEST_F(MainWindowFlows, EraseKeepsUnsavedRecordsUntilTheyAreSaved) {
    Start(ImageOf(3, 10, 1));
    logic->OnReadRecords();
    logic->OnDeleteRecords();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Records have been deleted successfully!"});
    EXPECT_TRUE(sim->Erased());
    EXPECT_EQ(sim->OpenPipeCount(), 0);
    EXPECT_EQ(view.clears, 1) << "the table keeps the only copy";
    EXPECT_TRUE(logic->DataNotSaved());
    EXPECT_EQ(logic->Store().m_nLastRow, 2);
    ExpectValueLabels(true);
    EXPECT_EQ(view.labels[ctl::kCh1Value], "0.5um");
    EXPECT_EQ(logic->State(), Ready);
    ExpectDataButtons(true);
    EXPECT_EQ(view.focus, ctl::kReadRecords);

    Quit(ExitSource::QuitButton, kEndCancel);
    EXPECT_EQ(view.questions.back(), msg::kQuitUnsaved);
    EXPECT_TRUE(view.endCodes.empty());
    logic->OnSaveFinished(true);
    Quit(ExitSource::QuitButton, kEndCancel);
    EXPECT_EQ(view.endCodes, std::vector<int>{kEndOk});
}

// --- during the download -----------------------------------------------------------

TEST_F(MainWindowFlows, RequestsArrivingWhileTheDownloadRunsAreShutOut) {
    Start(ImageOf(6));
    bool triedAll = false;
    view.onProgress = [&] {
        if (triedAll) return;
        triedAll = true;
        view.answers = {kEndOk};
        logic->RequestExit(ExitSource::CloseCommand);
        logic->RequestExit(ExitSource::QuitButton);
        logic->OnReadRecords();
        logic->OnDeleteRecords();
    };
    logic->OnReadRecords();
    EXPECT_TRUE(triedAll);
    EXPECT_TRUE(view.endCodes.empty());
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(view.clears, 1);
    EXPECT_EQ(std::count(sim->Commands().begin(), sim->Commands().end(), "@07R2000\r"), 1);
    EXPECT_EQ(logic->State(), Ready);
}

// --- the tables of a download ----------------------------------------------------

TEST(DownloadTables, TheViewFillsBetweenTheResultTableAndTheReportTable) {
    SimulatedInstrument instrument(ImageOf(5), InstantFaults());
    CUsbIF usb(&instrument);
    CommandBuffers io;
    RecordStore store;
    ASSERT_TRUE(OpenDeviceLink(usb));
    ASSERT_TRUE(QueryRecordCount(usb, io, store));
    ASSERT_TRUE(DownloadRecords(usb, io, store));
    int fills = 0;
    BuildDownloadTables(store, TFactorTable{}, [&] {
        ++fills;
        EXPECT_EQ(store.m_nLastRow, 4);  // the result table is complete
        store.m_nLastRow = 2;            // and the report table, built next, follows what it holds then
    });
    EXPECT_EQ(fills, 1);
    EXPECT_EQ(store.m_nReportLineCount, 3);
}

// --- Ctrl key ------------------------------------------------------------------------

TEST(WindowArguments, EachIsUnderstoodOrRefusedWithItsReason) {
    using Args = std::vector<std::string>;
    auto parse = [](const Args& args) { return ParseWindowArguments(args); };
    EXPECT_EQ(parse({}).options.instrument, WindowInstrument::Usb);
    EXPECT_EQ(parse({"demo.v208img"}).options.open, "demo.v208img");
    const ParsedWindowOptions demo = parse({"--demo", "a.img"});
    EXPECT_EQ(demo.options.instrument, WindowInstrument::Demo);
    EXPECT_EQ(demo.options.open, "a.img");
    const ParsedWindowOptions image = parse({"--simulate", "x.img"});
    EXPECT_EQ(image.options.instrument, WindowInstrument::Image);
    EXPECT_EQ(image.options.simulate, "x.img");
    EXPECT_TRUE(image.options.open.empty());
    EXPECT_EQ(parse({"--demo-full"}).options.instrument, WindowInstrument::DemoFull);
    EXPECT_EQ(parse({"--", "-odd.img"}).options.open, "-odd.img");
    EXPECT_TRUE(parse({"--bogus", "-h"}).options.help);
    EXPECT_TRUE(parse({"a.img", "--version"}).options.version);
    EXPECT_FALSE(parse({"--", "--help"}).options.help);
    const ParsedWindowOptions archive = parse({"--archive", "a.sqlite", "b.img"});
    EXPECT_EQ(archive.options.archive, "a.sqlite");
    EXPECT_FALSE(archive.options.noArchive);
    EXPECT_EQ(archive.options.open, "b.img");
    EXPECT_TRUE(parse({"--no-archive"}).options.noArchive);

    const std::pair<Args, const char*> refused[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"-x", "a.img"}, "unknown option -x"},
        {{"--demo", "--demo-full"}, "the instrument is given twice (--demo-full)"},
        {{"--simulate"}, "--simulate needs an image file"},
        {{"a.img", "b.img"}, "only one file can be opened (b.img)"},
        {{"--archive"}, "--archive needs a file"},
        {{"--no-archive", "--archive", "a.sqlite"}, "the archive is given twice (--archive)"},
    };
    for (const auto& [args, why] : refused) EXPECT_EQ(parse(args).error, why) << args.front();
    EXPECT_TRUE(parse({"--demo", "a.img"}).error.empty());
}

TEST(CtrlKey, FollowsKeyCode17Only) {
    g_bCtrlKeyDown = 0;
    MainWindowLogic::OnKeyDown(16);
    EXPECT_FALSE(g_bCtrlKeyDown);
    MainWindowLogic::OnKeyDown(17);
    EXPECT_TRUE(g_bCtrlKeyDown);
    MainWindowLogic::OnKeyUp(65);
    EXPECT_TRUE(g_bCtrlKeyDown);
    MainWindowLogic::OnKeyUp(17);
    EXPECT_FALSE(g_bCtrlKeyDown);
}

}  // namespace
}  // namespace oront
