// The "Save All" (1005) and "Save Selected" (1003) handlers of the main
// window, without the window: every dialog, message and focus change goes
// through ISaveFlowView, so the flows run in tests and in any front end.
#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "records/RecordStore.h"
#include "table/ReportList.h"

namespace oront {

// The save dialog's filter (label "DATA FILE(*.csv)", pattern "*.csv") and
// the extension given to a name typed without one.
inline constexpr const char* kCsvFilter = "DATA FILE(*.csv)|*.csv|";
inline constexpr const char* kCsvExtension = ".csv";

// Appends ".csv" when the file-name part of the path has no extension.
std::string CompleteCsvExtension(const std::string& path);

class ISaveFlowView {
public:
    virtual ~ISaveFlowView() = default;
    // The local time at the press of the button (for the default name).
    virtual std::time_t Now() { return std::time(nullptr); }
    // A modal save dialog (hide read-only, ask before overwriting) starting
    // with `initialName` and the filter. True and the full path on OK.
    virtual bool RunSaveFileDialog(const std::string& initialName, const std::string& filter,
                                   const std::string& defaultExtension, std::string& path) = 0;
    // The record range dialog (CSaveDataDlg) over the record table; true on OK.
    virtual bool RunRangeDialog() = 0;
    // Shows g_strMessage in the one-button message dialog.
    virtual void ShowMessage() = 0;
    // Gives the keyboard focus to the record table (control 1007).
    virtual void FocusRecordTable() = 0;
    // Clears the main window's unsaved-data flag.
    virtual void ClearDataNotSaved() = 0;
};

// The writer the flows call; WriteCsvFileWithCause unless a test replaces
// it. On a failure `cause` says why ("Permission denied: /path/out.csv").
using CsvWriteFunction = std::function<bool(const RecordStore&, const std::string&, int, int, std::string& cause)>;

class SaveFlows {
public:
    SaveFlows(const RecordStore& store, const IReportList& table, ISaveFlowView& view);

    void SetWriter(CsvWriteFunction writer) { m_writer = std::move(writer); }

    // Save All: rows 0..m_nLastRow. Returns true when a file was written.
    bool OnSaveAll();
    // Save Selected: the range dialog confirms the record numbers of the
    // selection, then the selected rows are written (SelectedResultRows);
    // without a selection, every row.
    bool OnSaveSelected();

private:
    bool SaveRows(int start, int end);

    const RecordStore& m_store;
    const IReportList& m_table;
    ISaveFlowView& m_view;
    CsvWriteFunction m_writer;
};

}  // namespace oront
