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

// The table rows searched for a record number.
constexpr int kRangeLookupRows = 8000;

// Step 2 of "Save Selected": clears g_bRangeFromSelection; with rows
// selected, walks up from the first and from the last selected row to the
// nearest non-empty Record cell, stores their numbers in g_nStartRecord and
// g_nEndRecord and sets the flag.
void RangeFromSelection(const IReportList& table);

// Integer value of the Record cell of the first of the first 8000 table rows
// whose Record cell reads `record`, as an index from column 10; false when no
// row matches (rows that do not exist read as empty cells).
bool LookupRecordIndex(const IReportList& table, int record, int& index);

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
