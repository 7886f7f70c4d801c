// Opening an archive file that may be corrupt, truncated or another
// program's database (the input is the file): read-only and for writing,
// then listing its downloads, their images and its records. Nothing
// crashes; a file that is refused is left byte for byte as it was, and a
// read-only open never changes it. A file accepted for writing takes a
// download, and its downloads are read again.
#include <sqlite3.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Check.h"
#include "TempFile.h"
#include "archive/Archive.h"
#include "support/InstrumentBuilders.h"

namespace {

using namespace oront::archive;

// Lists what the archive holds; at most a few of each, so that the work
// stays proportional to the input. A download that replays is not one that
// the verification finds damaged.
void List(Archive& archive) {
    std::string error;
    std::vector<Download> downloads;
    std::vector<std::string> replayed;
    if (archive.Downloads(downloads, error)) {
        for (std::size_t k = 0; k < downloads.size() && k < 4; ++k) {
            std::vector<std::uint8_t> image;
            if (archive.LoadImage(downloads[k].id, image, error)) {
                FUZZ_CHECK(image.size() % 64 == 0 && image.size() >= 64);
                replayed.push_back("download " + std::to_string(downloads[k].id) + " is damaged (");
            } else {
                FUZZ_CHECK(!error.empty());
            }
        }
    } else {
        FUZZ_CHECK(!error.empty());
    }
    // The register and what monitoring found, whatever the file holds.
    oront::site::Register reg;
    std::vector<ExcursionRow> excursions;
    std::vector<AdverseTrendRow> trends;
    if (!archive.LoadRegister(reg, error)) FUZZ_CHECK(!error.empty());
    if (!archive.Excursions({}, excursions, trends, error)) FUZZ_CHECK(!error.empty());
    Verification verification;
    if (archive.Verify(verification, error)) {
        for (const std::string& finding : verification.damage)
            for (const std::string& sound : replayed) FUZZ_CHECK(finding.rfind(sound, 0) != 0);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    // The audit trail: a damaged one is reported (a broken link or a
    // finding), never rewritten by reading it.
    std::vector<oront::audit::Entry> trail;
    if (!archive.AuditTrail({}, trail, error)) FUZZ_CHECK(!error.empty());
    AuditVerification audited;
    if (archive.VerifyAudit(audited, error)) {
        FUZZ_CHECK(audited.firstBroken == 0 || !audited.broken.empty());
        for (std::size_t k = 0; k < trail.size() && audited.firstBroken == 0; ++k)
            FUZZ_CHECK(oront::audit::EntryHash(trail[k]) == trail[k].hash);
    } else {
        FUZZ_CHECK(!error.empty());
    }
    int records = 0;
    if (!archive.ForEachRecord(
            {}, [&](const Record&) { return ++records < 64; }, error))
        FUZZ_CHECK(!error.empty());
    RecordFilter filter;
    filter.location = 1;
    filter.from = TimeKey(0, 1, 1, 0, 0, 0);
    records = 0;
    archive.ForEachRecord(
        filter, [&](const Record& r) { return r.frame[1] == 1 && ++records < 16; }, error);
}

}  // namespace

// SQLite's own exclusive-locking variant of its Unix file layer: each open
// is the only one on the file anyway, so that it takes its locks once
// instead of for every transaction (and an input of the older write-ahead
// log mode keeps its log's index in memory instead of a shared -shm file),
// which saves system calls an input costs. How the archive reads, refuses
// and writes a file is the same.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (sqlite3_vfs* vfs = sqlite3_vfs_find("unix-excl")) sqlite3_vfs_register(vfs, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 65536) return 0;
    static const std::string path = oront::fuzz::TempFolder() + "/archive.sqlite";
    for (const char* suffix : {"-wal", "-shm", "-journal"}) ::unlink((path + suffix).c_str());
    oront::fuzz::WriteWholeFile(path, data, size);
    // The read-only pass leaves the file as it was (checked below), so the
    // pass for writing opens the same bytes: what it holds before the new
    // download was listed already when the read-only pass accepted it.
    bool listed = false;
    for (const OpenMode mode : {OpenMode::ReadOnly, OpenMode::ReadWrite}) {
        bool opened = false;
        {
            Archive archive;
            std::string error;
            opened = archive.Open(path, mode, error);
            FUZZ_CHECK(opened == error.empty());
            if (opened && !listed) List(archive);
            listed = opened;
            if (opened && mode == OpenMode::ReadWrite) {
                // Archiving into what was accepted (a damaged file may refuse
                // it, or even keep tables of another shape under the
                // archive's names: only nothing may crash). Only the list of
                // downloads is read again.
                static const std::vector<std::uint8_t> image = oront::test::ThreeRecordImage();
                std::vector<Download> downloads;
                if (archive.AddDownload(image, 1, nullptr, error) && !archive.Downloads(downloads, error))
                    FUZZ_CHECK(!error.empty());
            }
        }
        if (!opened || mode == OpenMode::ReadOnly) FUZZ_CHECK(oront::fuzz::FileHolds(path, data, size));
    }
    return 0;
}
