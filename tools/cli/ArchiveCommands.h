// The command-line tool's side of the download archive: archiving each
// download, the history and records commands, and an archived download as
// the instrument (--from-archive).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "classify/CertificateLayout.h"
#include "classify/Rooms.h"

namespace oront::archive {
struct Trend;
struct AuditVerification;
class ArchiveStore;
enum class OpenMode;
}  // namespace oront::archive
namespace oront::audit {
struct Entry;
}

namespace oront::cli {

// Whether the archive is on a PostgreSQL server (a connection URI).
bool OnServer(const Options& o);
// The archive's store, opened; null after `error`. A server reached sends
// the local spool first and says so on stderr.
std::unique_ptr<archive::ArchiveStore> OpenArchiveStore(const Options& o, archive::OpenMode mode, std::string& error);
// What the server's store does not keep yet: 1 after saying so.
int ServerLacks(const std::string& what);
// archive-copy FROM TO: 0 when the copy verifies, 1 otherwise.
int RunArchiveCopy(const Options& o);

// Keeps a successful download (its memory image) in the archive unless
// archiving is off or the download is itself played from the archive. A
// failure never fails the command: it prints one warning line on stderr.
void ArchiveDownload(const Options& o, const std::vector<std::uint8_t>& image);

// The memory image of download o.archiveId; false after printing why.
bool LoadArchivedImage(const Options& o, std::vector<std::uint8_t>& image);

// Before anything runs: an output that would write the archive in use or
// one of its files is a usage error (2, after the reason); 0 otherwise. The
// archive's files are also protected from every output of the run.
int GuardArchive(const Options& o);

// history [--format text|json], records [...]: the exit status.
int RunHistory(const Options& o);
int RunRecords(const Options& o);
// verify-archive: 0 sound (or nothing archived yet), 3 damaged, 1 when the
// check could not run.
int RunVerifyArchive(const Options& o);
// site show|export|import: the exit status (1 when an import is refused).
int RunSite(const Options& o);
// excursions [...]: 0 when no archived record is above a limit, 3 when any.
int RunExcursions(const Options& o);
// trend ... OUT: the exit status. The chart is drawn by DrawTrend, which only
// the report program has (with Qt); oront-v208-cli hands the command
// over to it.
int RunTrend(const Options& o);

// What the site register gives a classification: the rooms of the
// locations, the state of a download played from the archive, the
// instrument's calibration, and the certificate's organisation and
// instrument. `request` takes the user's settings and is completed here.
struct ClassifyContext {
    classify::RoomFinder finder;
    classify::CertificateData certificate;
    std::shared_ptr<const void> keep;  // what the finder reads
};
// false after printing why (a --room the register does not have).
bool PrepareClassify(const Options& o, std::uint32_t serial, classify::RoomRequest& request, ClassifyContext& context);

// A certificate is numbered before it is drawn and kept once it is written:
// the number (--report-number, or the archive's next one) goes into `data`;
// Keep records the certified data and the file's bytes. Both false after
// printing why. With --no-archive nothing is kept, and the number must be
// given.
struct IssuedCertificate {
    std::int64_t id = 0;  // 0: not kept in an archive
};
bool NumberCertificate(const Options& o, classify::CertificateData& data, IssuedCertificate& issued);
bool KeepCertificate(const Options& o, const IssuedCertificate& issued, const std::string& dataText,
                     const std::string& file);
// The signatures that hold for the certified data (data.dataSha256), for
// the lines to sign.
void SignaturesFor(const Options& o, const IssuedCertificate& issued, classify::CertificateData& data);
// The lowercase hex SHA-256 (empty in a build without the archive).
std::string Sha256Of(const std::string& bytes);
// verify-certificate FILE.pdf: 0 when the file is a certificate the archive
// issued, unchanged; 3 when it is not; 1 when it cannot be checked.
int RunVerifyCertificate(const Options& o);
bool DrawTrend(const archive::Trend& trend, const std::string& path, std::string& error);
// audit export FILE.pdf: the trail's report, which only the report program
// draws (oront-v208-cli hands the command over to it).
bool DrawAuditReport(const std::vector<audit::Entry>& entries, const archive::AuditVerification& check,
                     const std::string& archivePath, const std::string& filters, const std::string& path,
                     std::string& error);

// users, password, sign, signatures, audit: the exit status (4 when the
// actor's role or a lock refuses, 3 when a signature or the trail does not
// verify).
int RunUsers(const Options& o);
int RunPassword(const Options& o);
int RunSign(const Options& o);
int RunSignatures(const Options& o);
int RunAudit(const Options& o);
// archive-setup --print-sql: the SQL for a site's PostgreSQL server.
int RunArchiveSetup(const Options& o);

// The actions on the instrument and its records that the audit trail
// keeps, each allowed by a role.
enum class Audited { Download, Save, Erase, Classify };
// Before the action: 0, or 4 after saying why the actor's role refuses it.
int AuditAllowed(const Options& o, Audited action);
// After it: the event with its data (a JSON object) in the audit trail of
// the archive (also with --no-archive); a failure to record it is said as a
// warning.
void AuditEvent(const Options& o, Audited action, const std::string& event, const std::string& data);

}  // namespace oront::cli
