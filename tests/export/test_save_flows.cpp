// "Save All" and "Save Selected" with the dialogs, messages and the writer
// replaced by seams.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/Messages.h"
#include "export/CsvWriter.h"
#include "export/SaveFlows.h"
#include "export/SaveRange.h"
#include "support/StoreBuilders.h"
#include "support/TestEnvironment.h"
#include "table/MemoryReportList.h"
#include "table/RecordTable.h"

namespace oront {
namespace {

struct FakeView : ISaveFlowView {
    std::time_t Now() override { return now; }
    bool RunSaveFileDialog(const std::string& initialName, const std::string& filter,
                           const std::string& defaultExtension, std::string& path) override {
        ++saveDialogs;
        shownName = initialName;
        shownFilter = filter;
        shownExtension = defaultExtension;
        path = chosenPath;
        return saveOk;
    }
    bool RunRangeDialog() override {
        ++rangeDialogs;
        if (!rangeOk) return false;
        std::string start, end;
        rangeLogic->Init(start, end);
        struct NoMessages : ISaveRangeMessages {
            void ShowMessage() override {}
        } none;
        return rangeLogic->OnOK(start, end, none) == SaveRangeDialogLogic::Field::None;
    }
    void ShowMessage() override {
        messages.push_back(g_strMessage);
        details.push_back(g_messageExtras.detail);
    }
    void FocusRecordTable() override { ++focus; }
    void ClearDataNotSaved() override { dataNotSaved = false; }

    std::time_t now = 0;
    bool saveOk = true;
    bool rangeOk = true;
    std::string chosenPath = "/out/records";
    SaveRangeDialogLogic* rangeLogic = nullptr;
    int saveDialogs = 0, rangeDialogs = 0, focus = 0;
    std::string shownName, shownFilter, shownExtension;
    std::vector<std::string> messages, details;
    bool dataNotSaved = true;
};

struct Write {
    std::string path;
    int start, end;
};

class SaveFlowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_bRangeFromSelection = false;
        g_nStartRecord = g_nEndRecord = g_nStartIndex = g_nEndIndex = 0;
        g_strMessage.clear();
        b.AddPlain("1");          // index 0
        b.AddRun(1, 2);           // group 1, members 2 and 3, summary 4
        b.AddPlain("0");          // index 5
        table.FillRecordTable();  // rows: plain, group, AVG, MAX, MIN, 95%UCL, plain
        view.now = 1445679005;    // any fixed time
        view.rangeLogic = &rangeLogic;
        flows.SetWriter([this](const RecordStore&, const std::string& path, int start, int end, std::string& cause) {
            writes.push_back({path, start, end});
            if (!writerOk) cause = "Permission denied: " + path;
            return writerOk;
        });
    }
    test::StoreBuilder b;
    MemoryReportList list;
    RecordTable table{b.store, list};
    SaveRangeDialogLogic rangeLogic{b.store, list};
    FakeView view;
    SaveFlows flows{b.store, list, view};
    std::vector<Write> writes;
    bool writerOk = true;
};

TEST_F(SaveFlowsTest, SaveAllWritesEveryRow) {
    EXPECT_TRUE(flows.OnSaveAll());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].path, "/out/records.csv");
    EXPECT_EQ(writes[0].start, 0);
    EXPECT_EQ(writes[0].end, 5);
    EXPECT_EQ(view.shownName, DefaultFileName(view.now));
    EXPECT_EQ(view.shownFilter, "DATA FILE(*.csv)|*.csv|");
    EXPECT_EQ(view.shownExtension, ".csv");
    EXPECT_FALSE(view.dataNotSaved);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.focus, 1);
}

TEST_F(SaveFlowsTest, FailedWriteShowsTheMessageAndKeepsTheFlag) {
    writerOk = false;
    EXPECT_FALSE(flows.OnSaveAll());
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0], "Failed to save records!");
    EXPECT_EQ(view.details[0], "Permission denied: " + writes.back().path) << "the cause goes with the message";
    EXPECT_TRUE(view.dataNotSaved);
    EXPECT_EQ(view.focus, 1);

    list.SelectRow(0);
    EXPECT_FALSE(flows.OnSaveSelected());
    EXPECT_EQ(view.messages.size(), 2u);
    EXPECT_TRUE(view.dataNotSaved);
}

TEST_F(SaveFlowsTest, CancelledSaveDialogWritesNothing) {
    view.saveOk = false;
    EXPECT_FALSE(flows.OnSaveAll());
    EXPECT_TRUE(writes.empty());
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.dataNotSaved);
    EXPECT_EQ(view.focus, 1);
}

TEST_F(SaveFlowsTest, CancelledRangeDialogStopsWithoutMovingTheFocus) {
    view.rangeOk = false;
    list.SelectRow(1);
    EXPECT_FALSE(flows.OnSaveSelected());
    EXPECT_EQ(view.rangeDialogs, 1);
    EXPECT_EQ(view.saveDialogs, 0);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(view.focus, 0);
    EXPECT_TRUE(view.dataNotSaved);
}

TEST_F(SaveFlowsTest, SaveSelectedWritesTheSelectedSummaryLines) {
    list.SelectRow(2);  // the AVG line of the run
    EXPECT_TRUE(flows.OnSaveSelected());
    EXPECT_TRUE(g_bRangeFromSelection);
    EXPECT_EQ(g_nStartRecord, 2);  // the dialog shows the group row above it
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].start, 4);  // the summary row
    EXPECT_EQ(writes[0].end, 4);
    EXPECT_FALSE(view.dataNotSaved);
    EXPECT_EQ(view.focus, 1);

    for (int r = 1; r <= 5; ++r) list.SelectRow(r);  // the group down to the 95%UCL line
    EXPECT_TRUE(flows.OnSaveSelected());
    EXPECT_EQ(writes[1].start, 1);
    EXPECT_EQ(writes[1].end, 4);
}

TEST_F(SaveFlowsTest, SaveSelectedWithoutSelectionWritesTheWholeTable) {
    g_bRangeFromSelection = true;  // recomputed at every press
    EXPECT_TRUE(flows.OnSaveSelected());
    EXPECT_FALSE(g_bRangeFromSelection);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].start, 0);
    EXPECT_EQ(writes[0].end, 5);
}

TEST_F(SaveFlowsTest, SaveSelectedRangeAcrossRows) {
    list.SelectRow(1);
    list.SelectRow(6);
    EXPECT_TRUE(flows.OnSaveSelected());
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].start, 1);
    EXPECT_EQ(writes[0].end, 5);
}

TEST(CompleteCsvExtension, OnlyANameWithoutExtensionGetsOne) {
    EXPECT_EQ(CompleteCsvExtension("/tmp/a"), "/tmp/a.csv");
    EXPECT_EQ(CompleteCsvExtension("/tmp/a.txt"), "/tmp/a.txt");
    EXPECT_EQ(CompleteCsvExtension("/tmp/a.csv"), "/tmp/a.csv");
    EXPECT_EQ(CompleteCsvExtension("/tmp/dir.x/a"), "/tmp/dir.x/a.csv");
    EXPECT_EQ(CompleteCsvExtension("C:\\dir.x\\20151024093005"), "C:\\dir.x\\20151024093005.csv");
}

TEST(SaveFlowsFile, SaveAllWritesTheFileWithTheRealWriter) {
    test::StoreBuilder b;
    b.AddPlain("1");
    b.AddRun(1, 1);
    MemoryReportList list;
    FakeView view;
    const std::filesystem::path dir = test::FreshTestFolder("save-flows");
    view.chosenPath = (dir / "saved").string();
    SaveFlows flows(b.store, list, view);
    ASSERT_TRUE(flows.OnSaveAll());
    {
        // Closed before the folder is removed: Windows refuses to delete an open file.
        std::ifstream in(dir / "saved.csv", std::ios::binary);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first, "[Test data]\r");
    }
    std::filesystem::remove_all(dir);

    view.chosenPath = (dir / "missing" / "saved").string();  // the folder does not exist
    EXPECT_FALSE(flows.OnSaveAll());
    EXPECT_EQ(view.messages.size(), 1u);
}

}  // namespace
}  // namespace oront
