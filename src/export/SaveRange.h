// The record range of "Save Selected" and the logic of the range dialog
// (CSaveDataDlg).
//
// "Save Selected" turns the table selection into record numbers; the range
// dialog shows them, checks the two fields on OK and looks each number up in
// the Record column of the table, taking the result-row index from the
// table's hidden column 10. The results stay in the process-wide values
// below, which keep their contents between presses.
#pragma once

#include <string>

#include "records/RecordStore.h"
#include "table/ReportList.h"

namespace oront {

extern bool g_bRangeFromSelection;
extern int g_nStartRecord;  // record numbers as shown in the Record column
extern int g_nEndRecord;
extern int g_nStartIndex;  // result-row indices handed to the CSV writer
extern int g_nEndIndex;

// Step 2 of "Save Selected": clears g_bRangeFromSelection; with rows
// selected, walks up from the first and from the last selected row to the
// nearest non-empty Record cell, stores their numbers in g_nStartRecord and
// g_nEndRecord and sets the flag.
void RangeFromSelection(const IReportList& table);

// Integer value of column 10 (the result-row index) of the first table row
// whose Record cell reads `record`; every row of the table is searched. False
// when no row matches.
bool LookupRecordIndex(const IReportList& table, int record, int& index);

// Result rows first..last (inclusive) handed to the CSV writer.
struct RowRange {
    int first = 0;
    int last = -1;
};

// The result rows behind the table's selection: from the result row of the
// first selected table row to that of the last one, where a collapsed group
// row takes its member rows with it and a summary line stands for its run's
// summary row. Without a selection: rows 0..m_nLastRow.
RowRange SelectedResultRows(const RecordStore& store, const IReportList& table);

// What the file of Save Selected will hold, where the record numbers of the
// range dialog do not tell it: a selection that starts on the summary lines
// of a run (AVG, MAX, MIN, 95%UCL) shows the record above those lines, yet
// the file starts with the run's summary row. Names the run by its last
// record ("... the ISO run ending at record 0029 ..."); empty for every other
// selection and without one.
std::string SelectionSummaryNote(const RecordStore& store, const IReportList& table);

// The rows of the records FIRST..LAST, numbers as the Record column shows
// them: from the first row that shows FIRST (the group row when FIRST is a
// point's first cycle) through the row of LAST and, when LAST ends a complete
// run, the run's summary row. `error` is empty on success, otherwise a
// one-line reason that names the offending text or number.
struct RecordRangeResult {
    RowRange rows;
    std::string error;
};
RecordRangeResult ResolveRecordNumbers(const RecordStore& store, const std::string& firstText,
                                       const std::string& lastText);

// What the dialog shows of a record number: "%04d".
std::string RangeFieldText(int record);

class ISaveRangeMessages {
public:
    virtual ~ISaveRangeMessages() = default;
    // Shows g_strMessage in the one-button message dialog.
    virtual void ShowMessage() = 0;
};

// The dialog without its window: initialisation and the OK step.
class SaveRangeDialogLogic {
public:
    enum class Field { None, Start, End };

    SaveRangeDialogLogic(const RecordStore& store, const IReportList& table) : m_store(store), m_table(table) {}

    // Initialisation: without a selection the range is the whole table (start
    // index 0, end index m_nLastRow, records 1 to the last record number);
    // with one the values are kept. Returns the texts of fields 1019 and 1020.
    void Init(std::string& startText, std::string& endText) const;

    // OK pressed with the texts of the two fields. Checks the start field,
    // then the end field; a failing field gets its message (empty: "The input
    // data can't be null,Please input data!", malformed: "Data format is
    // error, Please input data again!") and is returned as the field to focus,
    // leaving the dialog open and the values unchanged. Otherwise the record
    // numbers and their indices are taken and Field::None is returned.
    Field OnOK(const std::string& startText, const std::string& endText, ISaveRangeMessages& messages) const;

private:
    const RecordStore& m_store;
    const IReportList& m_table;
};

}  // namespace oront
