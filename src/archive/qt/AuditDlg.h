// The Audit trail view: the archive's trail with the filters of the
// command line (from, to, user, event), the chain verified on request, and
// the trail written as a PDF report for an inspector; and that report as a
// function of its own, which the command line's "audit export" calls too.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"

QT_BEGIN_NAMESPACE
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;
QT_END_NAMESPACE

namespace oront::archive {

// Writes the entries as a readable PDF report (A4): the archive, the
// filters, what the verification found and every entry with its time (local
// and UTC offset), user, event, reason and data; through OutputFile. false
// with the reason in `error`.
bool WriteAuditPdf(const std::vector<audit::Entry>& entries, const AuditVerification& check,
                   const std::string& archivePath, const std::string& filters, const std::string& path,
                   std::string& error);

class CAuditDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAuditDlg(std::string archivePath, QWidget* parent = nullptr);

    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QString StatusText() const;
    [[nodiscard]] const std::vector<audit::Entry>& Shown() const { return m_entries; }
    // For tests: picks the file "Export PDF..." writes, instead of a file dialog.
    std::function<QString()> chooseExportFile;

private:
    void Reload();
    void OnVerify();
    void OnExport();
    [[nodiscard]] AuditFilter Filter() const;
    [[nodiscard]] std::string FilterText() const;

    std::string m_archivePath;
    std::unique_ptr<ArchiveStore> m_archive;  // an unopened file when the archive cannot be read
    std::vector<audit::Entry> m_entries;
    QComboBox* m_user = nullptr;
    QComboBox* m_event = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
};

}  // namespace oront::archive
