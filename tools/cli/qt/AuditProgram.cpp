// The audit trail's report as the report program writes it.
#include <QGuiApplication>
#include <memory>

#include "ArchiveCommands.h"
#include "ReportCommand.h"
#include "archive/qt/AuditDlg.h"

namespace oront::cli {

bool DrawAuditReport(const std::vector<audit::Entry>& entries, const archive::AuditVerification& check,
                     const std::string& archivePath, const std::string& filters, const std::string& path,
                     std::string& error) {
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication(true);
    return archive::WriteAuditPdf(entries, check, archivePath, filters, path, error);
}

}  // namespace oront::cli
