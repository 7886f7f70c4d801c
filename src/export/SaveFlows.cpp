#include "export/SaveFlows.h"

#include "base/Messages.h"
#include "export/CsvWriter.h"
#include "export/SaveRange.h"

namespace oront {

std::string CompleteCsvExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (path.find('.', nameStart) != std::string::npos) return path;
    return path + kCsvExtension;
}

SaveFlows::SaveFlows(const RecordStore& store, const IReportList& table, ISaveFlowView& view)
    : m_store(store), m_table(table), m_view(view), m_writer(&WriteCsvFileWithCause) {}

// Steps shared by both handlers: the save dialog, the write, the message or
// the cleared flag, and the focus back on the table.
bool SaveFlows::SaveRows(int start, int end) {
    std::string path;
    if (!m_view.RunSaveFileDialog(DefaultFileName(m_view.Now()), kCsvFilter, kCsvExtension, path)) {
        m_view.FocusRecordTable();
        return false;
    }
    std::string cause;
    const bool written = m_writer(m_store, CompleteCsvExtension(path), start, end, cause);
    if (!written) {
        // The program's message, with what stopped the write under it.
        SetMessage(msg::kSaveFailed, cause, MessageIcon::Error);
        m_view.ShowMessage();
    } else {
        m_view.ClearDataNotSaved();
    }
    m_view.FocusRecordTable();
    return written;
}

bool SaveFlows::OnSaveAll() {
    return SaveRows(0, m_store.m_nLastRow);
}

bool SaveFlows::OnSaveSelected() {
    // The dialog shows the record numbers of the selection for confirmation;
    // what is written are the rows the user selected.
    RangeFromSelection(m_table);
    const RowRange rows = SelectedResultRows(m_store, m_table);
    if (!m_view.RunRangeDialog()) return false;  // Cancel: the focus stays where it is
    return SaveRows(rows.first, rows.last);
}

}  // namespace oront
