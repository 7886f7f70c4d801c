#include "CliCommands.h"

#include <iostream>

#include "app/Messages.h"
#include "export/SaveRange.h"
#include "table/MemoryReportList.h"
#include "table/RecordTable.h"

namespace oront::cli {
namespace {

// The range dialog's messages go to g_strMessage; the caller prints it.
class KeepMessage : public ISaveRangeMessages {
public:
    void ShowMessage() override { shown = true; }
    bool shown = false;
};

}  // namespace

const char* ResolveRecordRange(const RecordStore& store, const std::string& first, const std::string& last,
                               int& startIndex, int& endIndex) {
    // The record table as the window shows it right after a download: every
    // group collapsed, nothing selected.
    MemoryReportList table;
    FillRecordTable(store, table);
    RangeFromSelection(table);

    SaveRangeDialogLogic dialog(store, table);
    std::string startText;
    std::string endText;
    dialog.Init(startText, endText);
    KeepMessage messages;
    if (dialog.OnOK(first, last, messages) != SaveRangeDialogLogic::Field::None) {
        return messages.shown ? g_strMessage.c_str() : "Invalid record range";
    }
    startIndex = g_nStartIndex;
    endIndex = g_nEndIndex;
    return nullptr;
}

#ifndef ORONT_HAVE_QT
int RunReport(const RecordStore&, const std::string&, int, int, const std::string&) {
    std::cerr << "oront-v208-cli: this build has no printing support\n";
    return 1;
}
#endif

}  // namespace oront::cli
