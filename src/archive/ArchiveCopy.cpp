#include "archive/ArchiveCopy.h"

namespace oront::archive {

const std::vector<TableLayout>& ArchiveTables() {
    static const std::vector<TableLayout> tables = {
        {"downloads",
         {"id", "time", "serial", "record_count", "wrap_position", "new_records", "count_packet", "slots",
          "image_sha256", "warnings"},
         1},
        {"records", {"id", "serial", "time", "location", "key", "first_download", "frame"}, 1},
        {"organisation", {"name", "address"}, 2},
        {"rooms",
         {"position", "id", "name", "area_m2", "standard", "class_tenths", "grade", "state", "notes", "adverse_run"},
         1},
        {"locations", {"room", "position", "number", "name", "x_m", "y_m", "critical", "valid_from", "valid_to"}, 2},
        {"limits", {"room", "position", "size_tenths", "alert", "action", "location"}, 2},
        {"instruments", {"position", "serial", "model", "calibrated_on", "calibration_due", "certificate", "flow"}, 1},
        {"download_states", {"position", "download", "state"}, 1},
        {"excursions", {"record", "size_tenths", "time", "room", "location", "per_m3", "limit_per_m3", "level"}, 2},
        {"adverse_trends", {"room", "location", "size_tenths", "first_time", "last_time", "records"}, 6},
        {"certificates", {"id", "number", "issued", "data", "data_sha256", "file_sha256"}, 1},
        {"users", {"name", "full_name", "role", "password", "failures"}, 1},
        {"audit",
         {"seq", "time", "utc_offset", "\"user\"", "version", "event", "data", "reason", "previous", "hash"},
         1},
        {"audit_records", {"record", "entry", "sha256"}, 1},
        {"signatures",
         {"id", "kind", "subject", "meaning", "\"user\"", "full_name", "time", "utc_offset", "subject_sha256", "entry",
          "void"},
         1},
    };
    return tables;
}

bool CopyArchive(ArchiveStore& from, ArchiveStore& to, CopyReport& report, std::string& error) {
    report = CopyReport{};
    AuditVerification source;
    if (!from.VerifyAudit(source, error)) return false;
    if (!source.Sound()) {
        error = from.Where() + " does not verify (audit verify says where); a damaged archive is not copied";
        return false;
    }
    // Only into a store that holds nothing: a copy never merges.
    for (const TableLayout& table : ArchiveTables()) {
        bool holds = false;
        if (!to.ReadTable(
                table, [&holds](const Row&) { return holds = true, false; }, error))
            return false;
        if (holds) {
            error = to.Where() + " already holds an archive (its " + table.name +
                    " are not empty); archive-copy copies only into an empty store";
            return false;
        }
    }
    if (!to.BeginImport(error)) return false;
    for (const TableLayout& table : ArchiveTables()) {
        std::int64_t rows = 0;
        std::string cause;
        const bool read = from.ReadTable(
            table, [&](const Row& row) { return to.ImportRow(table, row, cause) && (++rows, true); }, error);
        if (!read || !cause.empty()) {
            if (!cause.empty()) error = "the copy's " + std::string(table.name) + " were refused: " + cause;
            std::string ignored;
            to.EndImport(false, ignored);
            return false;
        }
        report.rows.emplace_back(table.name, rows);
    }
    if (!to.EndImport(true, error)) return false;

    // The copy, checked: the same rows in every table, the same audit trail
    // (one sound chain with the same last entry), every download replaying.
    for (std::size_t t = 0; t < ArchiveTables().size(); ++t) {
        std::int64_t rows = 0;
        if (!to.ReadTable(
                ArchiveTables()[t], [&rows](const Row&) { return ++rows, true; }, error))
            return false;
        if (rows != report.rows[t].second) {
            error = "the copy does not verify: " + std::to_string(rows) + " " + report.rows[t].first + " in " +
                    to.Where() + ", " + std::to_string(report.rows[t].second) + " copied";
            return false;
        }
    }
    AuditVerification copy;
    if (!to.VerifyAudit(copy, error)) return false;
    if (!copy.Sound() || copy.head != source.head || copy.entries != source.entries) {
        error = "the copy does not verify: its audit trail " +
                (!copy.Sound() ? (copy.broken.empty() ? copy.findings.front() : copy.broken)
                               : std::string("is not the source's (") + std::to_string(copy.entries) + " entries, " +
                                     std::to_string(source.entries) + " in the source)");
        return false;
    }
    Verification replay;
    if (!to.Verify(replay, error)) return false;
    if (!replay.Sound()) {
        error = "the copy does not verify: " + replay.damage.front();
        return false;
    }
    report.auditEntries = copy.entries;
    report.head = copy.head;
    return true;
}

}  // namespace oront::archive
