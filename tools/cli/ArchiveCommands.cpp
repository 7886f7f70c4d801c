#include "ArchiveCommands.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <iostream>
#include <string>
#include <tuple>

#ifndef ORONT_NO_ARCHIVE
#include "archive/Archive.h"
#include "archive/ArchiveCopy.h"
#include "archive/ArchiveText.h"
#include "archive/Trend.h"
#include "base/LocalTime.h"
#include "base/OutputFile.h"
#include "base/StandardOutput.h"
#include "pgstore/Stores.h"
#include "site/Monitoring.h"
#include "site/RegisterJson.h"
#include "site/RoomFinder.h"
#endif
#include <fstream>
#include <sstream>

#include "base/Messages.h"

namespace oront::cli {

#ifndef ORONT_NO_ARCHIVE
namespace {

std::string PathOf(const Options& o) {
    return o.archive.empty() ? archive::DefaultArchivePath() : o.archive;
}

int ArchiveError(const std::string& error) {
    std::cerr << "oront-v208-cli: archive: " << error << "\n";
    return 1;
}

using StorePtr = std::unique_ptr<archive::ArchiveStore>;

// The filters of records and trend; 0, or the exit status after the message.
int FilterOf(const Options& o, archive::RecordFilter& filter) {
    if (!o.serial.empty()) filter.serial = static_cast<std::uint32_t>(std::stoull(o.serial));
    if (!o.location.empty()) filter.location = std::stoi(o.location);
    for (const auto& [text, endOfDay, key] :
         {std::tuple{&o.from, false, &filter.from}, std::tuple{&o.to, true, &filter.to}}) {
        if (text->empty()) continue;
        *key = archive::ParseTimeKey(*text, endOfDay);
        if (!*key) {
            std::cerr << "oront-v208-cli: " << (endOfDay ? "--to" : "--from")
                      << " takes YYYY-MM-DD or \"YYYY-MM-DD hh:mm:ss\" (not " << *text
                      << ") (--help shows the usage)\n";
            return 2;
        }
    }
    if (filter.from && filter.to && *filter.from > *filter.to) {
        std::cerr << "oront-v208-cli: --from " << o.from << " is after --to " << o.to << " (--help shows the usage)\n";
        return 2;
    }
    return 0;
}

// Whether the command writes the file o.output names.
bool WritesOutput(const Options& o) {
    switch (o.command) {
        case Command::SaveAll:
        case Command::SaveRange:
        case Command::Dump:
        case Command::Trend:
        case Command::Classify:
            return !o.output.empty();
        case Command::Report:
            return o.printer.empty();
        case Command::Site:
            return o.site == SiteAction::Export;
        case Command::Audit:
            return !o.output.empty();
        default:
            return false;
    }
}

}  // namespace

bool OnServer(const Options& o) {
    return archive::IsServerLocation(PathOf(o));
}

std::unique_ptr<archive::ArchiveStore> OpenArchiveStore(const Options& o, archive::OpenMode mode, std::string& error) {
    std::string notice;
    auto store = archive::OpenStore(PathOf(o), mode, audit::CurrentIdentity(), error, &notice);
    if (!notice.empty()) std::cerr << "oront-v208-cli: " << notice << "\n";
    return store;
}

int ServerLacks(const std::string& what) {
    std::cerr << "oront-v208-cli: archive: " << what
              << " works on an archive file; the archive on a PostgreSQL server does not keep it yet\n";
    return 1;
}

int RunArchiveCopy(const Options& o) {
    std::string error;
    const audit::Identity actor = audit::CurrentIdentity();
    const auto from = archive::OpenStore(o.words[0], archive::OpenMode::ReadOnly, actor, error);
    if (!from) return ArchiveError(error);
    // The target is created where it is a file; a server's is set up by its
    // administrator (archive-setup --print-sql).
    const auto to = archive::OpenStore(o.words[1], archive::OpenMode::ReadWrite, actor, error);
    if (!to) return ArchiveError(error);
    archive::CopyReport report;
    if (!archive::CopyArchive(*from, *to, report, error)) return ArchiveError(error);
    std::string out;
    for (const auto& [table, rows] : report.rows) out += "  " + table + ": " + std::to_string(rows) + "\n";
    out += "Copied " + from->Where() + " to " + to->Where() + " and verified the copy: the same rows, " +
           std::to_string(report.auditEntries) + " audit entries in one sound chain (last entry's hash " + report.head +
           "), every download as archived\n";
    return PrintStandardOutput(out, "oront-v208-cli") ? 0 : 1;
}

int GuardArchive(const Options& o) {
    // The archive's files, or those of the local spool of a server's archive.
    const std::string path = OnServer(o) ? archive::SpoolPath(PathOf(o), audit::CurrentIdentity().user) : PathOf(o);
    if (path.empty()) return 0;
    ProtectFromOutput(archive::ArchiveFiles(path), "it is a file of the download archive");
    if (!WritesOutput(o)) return 0;
    const std::string file = ProtectedFileAt(o.output);
    if (file.empty()) return 0;
    std::cerr << "oront-v208-cli: " << o.output << " is " << (file == path ? "the download archive" : file)
              << (file == path ? "" : ", a file of the download archive " + path)
              << "; no output may replace it (--help shows the usage)\n";
    return 2;
}

void ArchiveDownload(const Options& o, const std::vector<std::uint8_t>& image) {
    // Monitoring: the site register kept in the archive judges the download
    // (also one that is not archived); without a register nothing is said.
    std::string warnings;
    {
        std::string error;
        site::Register reg;
        const StorePtr reader = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
        if (reader && reader->LoadRegister(reg, error) && !reg.Empty()) {
            const site::DownloadJudgement judged = site::JudgeDownload(reg, site::FramesOf(image));
            if (const std::string text = site::JudgementText(judged); !text.empty()) std::cerr << text << "\n";
            for (const std::string& w : judged.calibration) {
                std::cerr << "oront-v208-cli: warning: " << w << "\n";
                warnings += (warnings.empty() ? "" : "; ") + w;
            }
        }
    }
    if (o.instrument == Instrument::Archive) return;
    if (o.noArchive) {
        // The measurements stay out of the archive; the action goes into its trail.
        const std::size_t records = image.size() >= 128 ? (image.size() - 64) / 128 : 0;
        AuditEvent(o, Audited::Download, "download read, not archived",
                   "{\"image_sha256\":\"" +
                       archive::Sha256Hex(std::string_view(reinterpret_cast<const char*>(image.data()), image.size())) +
                       "\",\"records\":" + std::to_string(records) + "}");
        return;
    }
    std::string message;
    switch (archive::KeepDownload(PathOf(o), audit::CurrentIdentity(), image,
                                  static_cast<std::int64_t>(std::time(nullptr)), warnings, message)) {
        case archive::Kept::Archived:
            if (!message.empty()) std::cerr << "oront-v208-cli: " << message << "\n";
            break;
        case archive::Kept::Spooled:
            std::cerr << "oront-v208-cli: warning: " << message << "\n";
            break;
        case archive::Kept::Failed:
            std::cerr << "oront-v208-cli: warning: the download was not archived: " << message << "\n";
            break;
    }
}

int RunSite(const Options& o) {
    std::string error;
    site::Register reg;
    if (o.site == SiteAction::Import) {
        std::ifstream in(o.output, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) {
            std::cerr << "oront-v208-cli: cannot read " << o.output << "\n";
            return 1;
        }
        if (!site::ParseRegisterJson(text.str(), reg, error)) {
            std::cerr << "oront-v208-cli: " << o.output << " is refused (the register was left as it was): " << error
                      << "\n";
            return 1;
        }
        const StorePtr writer = OpenArchiveStore(o, archive::OpenMode::ReadWrite, error);
        if (!writer || !writer->StoreRegister(reg, error, o.reason)) {
            ArchiveError(error);
            return writer && writer->Refused() ? 4 : 1;
        }
        std::cerr << "Imported the site register (" << reg.rooms.size()
                  << (reg.rooms.size() == 1 ? " room, " : " rooms, ") << reg.instruments.size()
                  << (reg.instruments.size() == 1 ? " instrument" : " instruments") << ") from " << o.output << "\n";
        return 0;
    }
    const StorePtr store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!store || !store->LoadRegister(reg, error)) return ArchiveError(error);
    if (o.site == SiteAction::Export) {
        const OutputResult written = WriteOutputFile(o.output, site::RegisterJson(reg));
        if (!written.ok()) {
            std::cerr << "oront-v208-cli: cannot write the site register (" << written.Describe() << ")\n";
            return 1;
        }
        std::cerr << "Saved the site register to " << o.output << "\n";
        return 0;
    }
    const std::string text = o.textFormat == TextFormat::Json ? site::RegisterJson(reg) : site::RegisterText(reg);
    return PrintStandardOutput(text, "oront-v208-cli") ? 0 : 1;
}

int RunExcursions(const Options& o) {
    archive::RecordFilter times;
    if (const int rc = FilterOf(o, times)) return rc;
    archive::ExcursionFilter filter;
    if (!o.room.empty()) filter.room = o.room;
    filter.from = times.from;
    filter.to = times.to;
    filter.lowest = o.actionOnly ? site::Level::Action : site::Level::Alert;
    std::string error;
    site::Register reg;
    std::vector<archive::ExcursionRow> excursions;
    std::vector<archive::AdverseTrendRow> trends;
    const StorePtr a = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!a || !a->LoadRegister(reg, error) || !a->Excursions(filter, excursions, trends, error))
        return ArchiveError(error);
    const std::string text = o.textFormat == TextFormat::Json  ? archive::ExcursionsJson(excursions, trends, reg)
                             : o.textFormat == TextFormat::Csv ? archive::ExcursionsCsv(excursions, trends, reg)
                                                               : archive::ExcursionsText(excursions, trends, reg);
    if (!PrintStandardOutput(text, "oront-v208-cli")) return 1;
    return excursions.empty() && trends.empty() ? 0 : 3;
}

bool LoadArchivedImage(const Options& o, std::vector<std::uint8_t>& image) {
    std::string error;
    const StorePtr store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (store && store->LoadImage(o.archiveId, image, error)) return true;
    ArchiveError(error);
    return false;
}

int RunHistory(const Options& o) {
    std::string error;
    std::vector<archive::Download> downloads;
    const StorePtr store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!store || !store->Downloads(downloads, error)) return ArchiveError(error);
    const std::string text = o.json ? archive::HistoryJson(downloads) : archive::HistoryText(downloads);
    return PrintStandardOutput(text, "oront-v208-cli") ? 0 : 1;
}

int RunRecords(const Options& o) {
    archive::RecordFilter filter;
    if (const int rc = FilterOf(o, filter)) return rc;
    std::string error;
    const StorePtr store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!store) return ArchiveError(error);
    archive::ArchiveStore& a = *store;
    std::string out = o.json ? "[" : archive::RecordCsvHeader();
    bool first = true;
    bool printed = true;  // false from the first failed write on, which ends the listing
    const bool ok = a.ForEachRecord(
        filter,
        [&](const archive::Record& r) {
            if (o.json) {
                out += first ? "\n  " : ",\n  ";
                out += archive::RecordJson(r);
            } else {
                out += archive::RecordCsvLine(r);
            }
            first = false;
            if (out.size() >= 1 << 16) {
                printed = PrintStandardOutput(out, "oront-v208-cli");
                out.clear();
            }
            return printed;
        },
        error);
    if (o.json) out += first ? "]\n" : "\n]\n";
    printed = printed && PrintStandardOutput(out, "oront-v208-cli");
    if (!ok) return ArchiveError(error);
    return printed ? 0 : 1;
}

int RunVerifyArchive(const Options& o) {
    std::string error;
    archive::Verification result;
    const std::string path = PathOf(o);
    const StorePtr store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!store || !store->Verify(result, error)) return ArchiveError(error);
    std::string out;
    for (const std::string& finding : result.damage) out += "damaged: " + finding + "\n";
    if (result.moreDamage > 0) out += "damaged: and " + std::to_string(result.moreDamage) + " more findings\n";
    const std::string counted = std::to_string(result.downloads) +
                                (result.downloads == 1 ? " download, " : " downloads, ") +
                                std::to_string(result.records) + (result.records == 1 ? " record" : " records");
    if (result.Sound()) {
        out += "The archive is sound (" + counted + (OnServer(o) ? "" : "; SQLite's integrity check: ok") +
               "): " + store->Where() + "\n";
    } else {
        const std::int64_t findings = static_cast<std::int64_t>(result.damage.size()) + result.moreDamage;
        out += "The archive is damaged (" + std::to_string(findings) + (findings == 1 ? " finding" : " findings") +
               " in " + counted + "): " + store->Where() + "\n";
    }
    if (!PrintStandardOutput(out, "oront-v208-cli")) return 1;
    // The run is an event of the trail where the archive can be written (a
    // damaged one takes no write, a read-only one none either).
    if (result.downloads > 0) {
        const StorePtr writer = OpenArchiveStore(o, archive::OpenMode::ReadWrite, error);
        if (writer)
            writer->RecordEvent(audit::Action::Download, "verification run",
                                "{\"check\":\"archive\",\"downloads\":" + std::to_string(result.downloads) +
                                    ",\"records\":" + std::to_string(result.records) +
                                    ",\"sound\":" + (result.Sound() ? "true" : "false") + "}",
                                error);
    }
    return result.Sound() ? 0 : 3;
}

int RunTrend(const Options& o) {
    archive::RecordFilter filter;
    if (const int rc = FilterOf(o, filter)) return rc;
    archive::TrendQuery query;
    query.location = filter.location.value_or(0);
    query.sizeTenths = o.trendSize;
    query.serial = filter.serial;
    query.from = filter.from;
    query.to = filter.to;
    query.target = o.classify.target;
    std::string error;
    archive::Trend trend;
    const StorePtr store = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
    if (!store || !archive::BuildTrend(*store, query, trend, error)) return ArchiveError(error);
    if (!trend.error.empty()) {
        std::cerr << "oront-v208-cli: " << trend.error << "\n";
        return 1;
    }
    if (!trend.note.empty()) std::cerr << "oront-v208-cli: warning: " << trend.note << "\n";
    if (!DrawTrend(trend, o.output, error)) {
        std::cerr << "oront-v208-cli: cannot write the trend (" << error << ")\n";
        return 1;
    }
    std::cerr << "Saved the trend of location " << trend.location << " (" << trend.points.size()
              << (trend.points.size() == 1 ? " cycle" : " cycles") << ") to " << o.output << "\n";
    return 0;
}

namespace {

std::string Today() {
    const std::time_t now = std::time(nullptr);
    const std::tm local = LocalTime(now);
    char day[16];
    std::strftime(day, sizeof day, "%Y-%m-%d", &local);
    return day;
}

}  // namespace

bool PrepareClassify(const Options& o, std::uint32_t serial, classify::RoomRequest& request, ClassifyContext& context) {
    request.room = o.room;
    request.bothStates = o.bothStates;
    request.atRestRuns = o.atRestRuns;
    request.operationalRuns = o.operationalRuns;
    auto reg = std::make_shared<site::Register>();
    {
        std::string error;
        const StorePtr reader = OpenArchiveStore(o, archive::OpenMode::ReadOnly, error);
        if (reader && !reader->LoadRegister(*reg, error)) {
            std::cerr << "oront-v208-cli: archive: " << error << "\n";
            return false;
        }
    }
    classify::Settings& s = request.settings;
    site::GivenSettings given{o.classifyGiven.standard, o.classifyGiven.target, o.classifyGiven.state,
                              o.classifyGiven.area};
    // The state the register gives the download played from the archive:
    // declared for its runs unless --state says otherwise.
    if (o.instrument == Instrument::Archive) {
        if (const auto state = site::StateOfDownload(*reg, o.archiveId)) {
            if (o.bothStates) {
                request.unlistedState = *state;
            } else if (!given.state) {
                s.target.state = *state;
                s.target.stateDeclared = true;
                given.state = true;
            }
        }
    }
    if (o.bothStates && o.atRestRuns.empty() && !request.unlistedState) {
        std::cerr << "oront-v208-cli: --state both needs --at-rest-runs and --operational-runs, or a download of the "
                     "archive whose state the site register gives\n";
        return false;
    }
    classify::CertificateData& data = context.certificate;
    data.organisation = reg->organisation.name;
    data.address = reg->organisation.address;
    data.client = o.client;
    data.operatorName = o.operatorName;
    data.issueDate = Today();
    data.program = std::string("Oront V208 Software ") + kProgramVersion;
    data.instrument.serial = serial;
    if (const site::Instrument* ins = site::InstrumentOf(*reg, serial)) {
        data.instrument.registered = true;
        if (!ins->model.empty()) data.instrument.model = ins->model;
        data.instrument.calibratedOn = site::DayText(ins->calibratedOn);
        data.instrument.calibrationDue = site::DayText(ins->calibrationDue);
        data.instrument.certificate = ins->certificate;
        data.instrument.flowLPerMin = ins->flowLPerMin;
        s.calibrationDue = ins->calibrationDue;
    }
    if (!o.room.empty()) {
        const bool known = std::any_of(reg->rooms.begin(), reg->rooms.end(),
                                       [&o](const site::Room& room) { return room.id == o.room; });
        if (!known) {
            std::cerr << "oront-v208-cli: the site register has no room " << o.room << " (site show lists them)\n";
            return false;
        }
    }
    if (!reg->rooms.empty()) context.finder = site::RegisterRooms(*reg, s, given);
    context.keep = reg;
    return true;
}

bool NumberCertificate(const Options& o, classify::CertificateData& data, IssuedCertificate& issued) {
    issued = IssuedCertificate{};
    if (o.noArchive) {
        if (o.reportNumber.empty()) {
            std::cerr << "oront-v208-cli: with --no-archive no number can be assigned: give --report-number\n";
            return false;
        }
        data.reportNumber = o.reportNumber;
        std::cerr << "oront-v208-cli: warning: the certificate is kept in no archive; verify-certificate cannot check "
                     "it\n";
        return true;
    }
    if (OnServer(o)) return ServerLacks("numbering a certificate") == 0;
    archive::Archive a;
    std::string error;
    archive::CertificateRecord reserved;
    std::optional<archive::CertificateRecord> existing;
    if (!a.Open(PathOf(o), archive::OpenMode::ReadWrite, error) ||
        (!o.reportNumber.empty() && !a.CertificateByNumber(o.reportNumber, existing, error))) {
        std::cerr << "oront-v208-cli: the certificate cannot be numbered: " << error << "\n";
        return false;
    }
    if (existing && !existing->data.empty()) {
        // Issued again: with its first date of issue, so that unchanged data
        // keeps its signatures (changed data voids them).
        if (o.reason.empty()) {
            std::cerr << "oront-v208-cli: report number " << o.reportNumber
                      << " is issued already: give --reason to issue it again\n";
            return false;
        }
        if (!a.ReissueCertificate(o.reportNumber, static_cast<std::int64_t>(std::time(nullptr)), reserved, error)) {
            std::cerr << "oront-v208-cli: the certificate cannot be issued again: " << error << "\n";
            return false;
        }
        const std::tm first = LocalTime(static_cast<std::time_t>(existing->issued));
        char day[16];
        std::strftime(day, sizeof day, "%Y-%m-%d", &first);
        data.issueDate = day;
    } else if (!a.ReserveCertificate(o.reportNumber, static_cast<std::int64_t>(std::time(nullptr)), reserved, error)) {
        std::cerr << "oront-v208-cli: the certificate cannot be numbered: " << error << "\n";
        return false;
    }
    data.reportNumber = reserved.number;
    issued.id = reserved.id;
    return true;
}

void SignaturesFor(const Options& o, const IssuedCertificate& issued, classify::CertificateData& data) {
    data.signatures.clear();
    if (issued.id == 0 || OnServer(o)) return;
    archive::Archive a;
    std::string error;
    std::vector<archive::Signature> signatures;
    if (!a.Open(PathOf(o), archive::OpenMode::ReadOnly, error) ||
        !a.Signatures(archive::SignedKind::Certificate, issued.id, signatures, error))
        return;
    for (const archive::Signature& s : signatures) {
        if (s.voided || s.signedSha256 != data.dataSha256) continue;
        audit::Entry when;
        when.time = s.time;
        when.utcOffsetMinutes = s.utcOffsetMinutes;
        std::string caption = audit::MeaningCaption(s.meaning);
        caption[0] = static_cast<char>(caption[0] - 'a' + 'A');
        data.signatures.push_back({caption, s.fullName + " (" + s.user + ")", audit::LocalTimeText(when)});
    }
}

bool KeepCertificate(const Options& o, const IssuedCertificate& issued, const std::string& dataText,
                     const std::string& file) {
    if (issued.id == 0) return true;
    archive::Archive a;
    std::string error;
    if (!a.Open(PathOf(o), archive::OpenMode::ReadWrite, error) ||
        !a.CompleteCertificate(issued.id, dataText, file, error, o.reason)) {
        std::cerr << "oront-v208-cli: the certificate was written but is not kept in the archive: " << error << "\n";
        return false;
    }
    return true;
}

std::string Sha256Of(const std::string& bytes) {
    return archive::Sha256Hex(bytes);
}

int RunVerifyCertificate(const Options& o) {
    std::ifstream in(o.output, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (!in) {
        std::cerr << "oront-v208-cli: cannot read " << o.output << "\n";
        return 1;
    }
    if (OnServer(o)) return ServerLacks("verify-certificate");
    archive::Archive a;
    std::string error;
    std::optional<archive::CertificateRecord> found;
    if (!a.Open(PathOf(o), archive::OpenMode::ReadOnly, error) ||
        !a.FindCertificate(archive::Sha256Hex(bytes.str()), found, error))
        return ArchiveError(error);
    if (!found) {
        const bool printed = PrintStandardOutput(
            o.output + ": not a certificate of this archive as it was issued (changed since, or never issued here)\n",
            "oront-v208-cli");
        return printed ? 3 : 1;
    }
    if (archive::Sha256Hex(found->data) != found->dataSha256) {
        const bool printed = PrintStandardOutput(
            o.output + ": certificate " + found->number + " is in the archive, but its kept data is damaged\n",
            "oront-v208-cli");
        return printed ? 3 : 1;
    }
    const std::time_t issued = static_cast<std::time_t>(found->issued);
    const std::tm local = LocalTime(issued);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    const bool printed = PrintStandardOutput(o.output + ": certificate " + found->number + ", issued " + when +
                                                 ", as issued; data SHA-256 " + found->dataSha256 + "\n",
                                             "oront-v208-cli");
    return printed ? 0 : 1;
}

#else
// A build without SQLite (the Windows cross-build) has no archive.
void ArchiveDownload(const Options&, const std::vector<std::uint8_t>&) {}

int GuardArchive(const Options&) {
    return 0;
}

bool LoadArchivedImage(const Options&, std::vector<std::uint8_t>&) {
    std::cerr << "oront-v208-cli: this build has no download archive\n";
    return false;
}

int RunHistory(const Options&) {
    std::cerr << "oront-v208-cli: this build has no download archive\n";
    return 1;
}

int RunRecords(const Options& o) {
    return RunHistory(o);
}

int RunTrend(const Options& o) {
    return RunHistory(o);
}

int RunVerifyArchive(const Options& o) {
    return RunHistory(o);
}

int RunArchiveCopy(const Options& o) {
    return RunHistory(o);
}

int RunSite(const Options& o) {
    return RunHistory(o);
}

int RunExcursions(const Options& o) {
    return RunHistory(o);
}

int RunVerifyCertificate(const Options& o) {
    return RunHistory(o);
}

// Without a register every run is of an instrument location.
bool PrepareClassify(const Options& o, std::uint32_t serial, classify::RoomRequest& request, ClassifyContext& context) {
    if (!o.room.empty() || (o.bothStates && o.atRestRuns.empty())) {
        std::cerr << "oront-v208-cli: this build has no site register\n";
        return false;
    }
    request.bothStates = o.bothStates;
    request.atRestRuns = o.atRestRuns;
    request.operationalRuns = o.operationalRuns;
    context.certificate.client = o.client;
    context.certificate.operatorName = o.operatorName;
    context.certificate.program = std::string("Oront V208 Software ") + kProgramVersion;
    context.certificate.instrument.serial = serial;
    return true;
}

bool NumberCertificate(const Options&, classify::CertificateData&, IssuedCertificate&) {
    std::cerr << "oront-v208-cli: this build has no download archive\n";
    return false;
}

bool KeepCertificate(const Options&, const IssuedCertificate&, const std::string&, const std::string&) {
    return false;
}

void SignaturesFor(const Options&, const IssuedCertificate&, classify::CertificateData&) {}

std::string Sha256Of(const std::string&) {
    return {};
}
#endif

}  // namespace oront::cli
