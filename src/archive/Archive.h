// The download archive: every successful download kept in one SQLite file,
// its records de-duplicated across downloads.
//
// A download keeps its time, the instrument's serial number, the record
// count, the wrap position, the exact memory image received (the count
// packet and, slot by slot, the record whose frame the instrument sent) and
// the SHA-256 of that image, so that it replays byte for byte and a replay
// knows when what it reads is not what was stored. A record is its 128-byte
// frame, which holds the serial number, the date and time, mode, location,
// point, cycle and counts: the same frame from the same instrument is one
// record however often it is downloaded, and it remembers the download that
// first brought it.
//
// Writing: each download is one transaction of the file's rollback journal
// (a kill leaves the archive as before or with the whole download), taken
// only after SQLite's check of the file's structure found it sound; writers
// wait for each other (a busy timeout), so that two programs archiving at
// once both succeed. A new archive appears complete, with this program's
// application id, mode 0600 and folders of mode 0700; nothing else is ever
// made an archive.
//
// Reading changes nothing: it creates no file beside the archive and needs
// no write access, so an archive on a read-only medium or in another user's
// folder reads like any other. The one exception is an archive that a
// killed writer left with its journal: a reader who may write it rolls the
// interrupted write back, one who may not is told so.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audit/Audit.h"
#include "site/Register.h"

struct sqlite3;
struct sqlite3_stmt;

namespace oront::archive {

// The layout version this program writes (PRAGMA user_version). An older
// archive is migrated forward when opened for writing (and read as it is
// until then); a newer one is refused.
inline constexpr int kSchemaVersion = 5;

// The folder of the program's own data: %LOCALAPPDATA%\oront-v208 on
// Windows, else $XDG_DATA_HOME/oront-v208, else ~/.local/share/oront-v208;
// empty when none can be formed.
std::string DataFolder();
// $ORONT_ARCHIVE, else $XDG_DATA_HOME/oront-v208/archive.sqlite, else
// ~/.local/share/oront-v208/archive.sqlite; empty when none can be formed.
std::string DefaultArchivePath();

// The archive's file and the companion files SQLite keeps beside it (its
// journal, and the write-ahead log and its index of older archives), at the
// name given and, where that is a link, beside the file it leads to.
std::vector<std::string> ArchiveFiles(const std::string& path);

struct Download {
    std::int64_t id = 0;    // 1, 2, 3 ... in the order of archiving
    std::int64_t time = 0;  // when it was archived, seconds since the epoch
    std::uint32_t serial = 0;
    int recordCount = 0;
    int wrapPosition = 0;
    int newRecords = 0;    // records no earlier download brought
    std::string warnings;  // what was said of it when it was archived (the instruments' calibration)
};

// An archived record above a limit of the register, at one size.
struct ExcursionRow {
    std::int64_t record = 0;
    std::int64_t time = 0;  // the record's TimeKey
    std::string room;       // the room's id
    int location = 0;       // the instrument's location number
    int sizeTenths = 0;
    double perM3 = 0.0;
    double limitPerM3 = 0.0;
    site::Level level = site::Level::None;
};

// Consecutive records at one room location above its alert limit at a size.
struct AdverseTrendRow {
    std::string room;
    int location = 0;
    int sizeTenths = 0;
    std::int64_t firstTime = 0;  // TimeKeys of the first and the last record of the run
    std::int64_t lastTime = 0;
    int records = 0;
};

// Which excursions Excursions lists; both ends included.
struct ExcursionFilter {
    std::optional<std::string> room;
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    site::Level lowest = site::Level::Alert;  // Action lists action excursions only
};

using Frame = std::array<std::uint8_t, 128>;

struct Record {
    std::int64_t id = 0;
    std::uint32_t serial = 0;
    std::int64_t firstDownload = 0;
    Frame frame{};
};

// Which records ForEachRecord lists. Times are the record's own date and
// time (TimeKey); both ends are included.
struct RecordFilter {
    std::optional<std::uint32_t> serial;
    std::optional<int> location;
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
};

// The sortable key of a record's date and time: year within the century,
// month, day, hour, minute and second, one byte each, as the frame holds them.
std::int64_t TimeKey(int year, int month, int day, int hour, int minute, int second);
std::int64_t FrameTimeKey(const Frame& frame);
// Shared by the archive's stores: FNV-1a (64 bits) of the frame, its key for
// finding it again (equal frames are then compared byte for byte); the
// frame without its trailing zero bytes (packet B's unused tail); the
// instrument's serial number in the frame; the record count and wrap
// position a count packet announces.
std::int64_t FrameKey(const Frame& frame);
std::size_t TrimmedSize(const Frame& frame);
std::uint32_t FrameSerial(const Frame& frame);
std::pair<int, int> CountOf(const std::uint8_t* packet);
// The download that `image` (the count packet, then two packets per record)
// announces at `time`; false ("not a complete download") when the image is
// not one.
bool DownloadOf(const std::vector<std::uint8_t>& image, std::int64_t time, Download& download, std::string& error);
// "YYYY-MM-DD" (from: 00:00:00, to: 23:59:59 of that day) or
// "YYYY-MM-DD hh:mm:ss", years 2000 to 2099; nullopt when malformed.
std::optional<std::int64_t> ParseTimeKey(const std::string& text, bool endOfDay);

enum class OpenMode { ReadWrite, ReadOnly };

// A certificate the archive issued.
struct CertificateRecord {
    std::int64_t id = 0;
    std::string number;
    std::int64_t issued = 0;  // seconds since the epoch
    std::string data;         // what it certifies; empty until it is complete
    std::string dataSha256;   // lowercase hex
    std::string fileSha256;   // of the file written; empty for a printed one, or one not finished
};
// The lowercase hex SHA-256 of the bytes.
std::string Sha256Hex(std::string_view bytes);
// Whether the number has the form of the numbers the archive assigns itself
// ("V208-000001").
bool IsAssignedNumber(const std::string& number);

// What Verify found: the findings name the damaged download, record or page.
struct Verification {
    std::int64_t downloads = 0;
    std::int64_t records = 0;
    std::vector<std::string> damage;  // at most the first 100 findings
    std::int64_t moreDamage = 0;      // the findings beyond those
    [[nodiscard]] bool Sound() const { return damage.empty(); }
};

// A user of the archive: the system account, the full name and the role;
// whether a signing password is set, and the failed attempts since the last
// signature (kAttemptsBeforeLock lock signing).
struct User {
    std::string name;
    std::string fullName;
    audit::Role role = audit::Role::Operator;
    bool hasPassword = false;
    int failures = 0;
    [[nodiscard]] bool Locked() const { return failures >= audit::kAttemptsBeforeLock; }
};

// What an electronic signature signs: a certificate or an archived download.
enum class SignedKind { Certificate, Download };
const char* SignedKindName(SignedKind kind);  // "certificate", "download"

struct Signature {
    std::int64_t id = 0;
    SignedKind kind = SignedKind::Certificate;
    std::int64_t subject = 0;  // the certificate's or the download's id
    audit::Meaning meaning = audit::Meaning::Performed;
    std::string user;
    std::string fullName;
    std::int64_t time = 0;     // UTC, seconds since the epoch
    int utcOffsetMinutes = 0;  // of the local time where it was signed
    std::string signedSha256;  // what was signed, lowercase hex
    std::int64_t entry = 0;    // the audit entry that recorded it
    bool voided = false;       // by a re-issue of the certificate
    bool matches = false;      // what is signed still has the SHA-256 signed
    [[nodiscard]] bool Valid() const { return !voided && matches; }
};

// Which entries AuditTrail lists; all when empty. Times are UTC seconds,
// both ends included.
struct AuditFilter {
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    std::optional<std::string> user;
    std::optional<std::string> event;
};

// What VerifyAudit found.
struct AuditVerification {
    std::int64_t entries = 0;
    std::string head;                   // the hash of the last entry
    std::int64_t firstBroken = 0;       // the first entry whose link is broken; 0: none
    std::string broken;                 // why
    std::vector<std::string> findings;  // every content that no longer matches its entry (at most 100)
    std::int64_t moreFindings = 0;
    [[nodiscard]] bool Sound() const { return firstBroken == 0 && findings.empty(); }
};

// One value of a row of the archive's tables, as the stores exchange them
// when an archive is copied from one store to another.
struct TableValue {
    enum class Type { Null, Int, Real, Text, Blob } type = Type::Null;
    std::int64_t i = 0;
    double d = 0.0;
    std::string s;  // text, or the bytes of a blob
};
using Row = std::vector<TableValue>;

// The tables of the archive's layout, each with its columns, in an order in
// which every row refers only to rows before it; the same in every store.
struct TableLayout {
    const char* name;
    std::vector<const char*> columns;
    std::size_t keyColumns;  // the leading columns that order the rows
};
const std::vector<TableLayout>& ArchiveTables();

// What every store of the archive does the same way: the SQLite file
// (Archive) and a site's PostgreSQL server (PgArchive). The same tests run
// against both.
class ArchiveStore {
public:
    virtual ~ArchiveStore() = default;
    virtual void SetActor(audit::Identity actor) = 0;
    // Whether the last failure was a refusal (the actor's role, a lock).
    [[nodiscard]] virtual bool Refused() const = 0;
    virtual bool Check(audit::Action action, std::string& error) = 0;
    virtual bool RecordEvent(audit::Action action, const std::string& event, const std::string& data,
                             std::string& error, const std::string& reason = {}) = 0;
    virtual bool AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added,
                             std::string& error, const std::string& warnings) = 0;
    virtual bool Downloads(std::vector<Download>& downloads, std::string& error) = 0;
    virtual bool LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) = 0;
    virtual bool ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                               std::string& error) = 0;
    virtual bool Locations(std::vector<int>& locations, std::string& error) = 0;
    virtual bool TimeSpan(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::string& error) = 0;
    virtual bool LoadRegister(site::Register& reg, std::string& error) = 0;
    virtual bool StoreRegister(const site::Register& reg, std::string& error, const std::string& reason) = 0;
    virtual bool Excursions(const ExcursionFilter& filter, std::vector<ExcursionRow>& excursions,
                            std::vector<AdverseTrendRow>& trends, std::string& error) = 0;
    virtual bool Users(std::vector<User>& users, std::string& error) = 0;
    virtual bool Verify(Verification& result, std::string& error) = 0;
    virtual bool AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) = 0;
    virtual bool VerifyAudit(AuditVerification& result, std::string& error) = 0;
    // Where the store is, for messages: the file, or the server and database.
    [[nodiscard]] virtual std::string Where() const = 0;

    // Copying a whole archive (CopyArchive): the rows of one table in the
    // order of its first column; and, into a store that holds nothing,
    // rows taken in one transaction.
    virtual bool ReadTable(const TableLayout& table, const std::function<bool(const Row&)>& handle,
                           std::string& error) = 0;
    virtual bool BeginImport(std::string& error) = 0;
    virtual bool ImportRow(const TableLayout& table, const Row& row, std::string& error) = 0;
    virtual bool EndImport(bool commit, std::string& error) = 0;
};

class Archive : public ArchiveStore {
public:
    Archive() = default;
    ~Archive() override;
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens the archive at `path`. ReadWrite creates it (and its folders)
    // when missing, migrates an older layout and recovers companion files
    // that another user or mode left; ReadOnly opens an existing file for
    // reading only (a missing one holds nothing). A file that is not an
    // archive of this program (an empty file, a corrupt or foreign one,
    // another program's empty database, a newer layout) is refused and left
    // untouched, and so is an archive the program may not write in ReadWrite,
    // and a path longer than SQLite takes. false with the reason in `error`.
    bool Open(const std::string& path, OpenMode mode, std::string& error);

    // Archives one download: the memory image received (the count packet,
    // then two packets per record in slot order) at `time`. A damaged
    // archive takes nothing and the error names the damage.
    // `warnings` (what was said of the download, such as an instrument past
    // its calibration) is kept with it. New records are judged against the
    // register.
    bool AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added, std::string& error,
                     const std::string& warnings = {}) override;

    // Every download, in the order of archiving.
    bool Downloads(std::vector<Download>& downloads, std::string& error) override;
    // The memory image of download `id`, byte for byte as it was received,
    // checked against what was stored: each record against its key, the
    // record count against the count packet, the image against its SHA-256.
    // A damaged download is refused: "archived download 3 is damaged (...)".
    bool LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) override;
    // The records that pass the filter, in the order of their date and time
    // (then of archiving), one at a time: nothing is loaded as a whole.
    // `handle` returns false to stop.
    bool ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                       std::string& error) override;

    // The locations the archived records name, in ascending order.
    bool Locations(std::vector<int>& locations, std::string& error) override;
    // The TimeKeys of the earliest and the latest record; nullopt for none.
    bool TimeSpan(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::string& error) override;

    // SQLite's integrity check of the whole file, and every download and
    // record checked as a replay checks them. false only when the check
    // could not run; the damage it found is in `result`.
    bool Verify(Verification& result, std::string& error) override;

    // The pages a reader keeps in memory (KiB): little by default, so that a
    // listing of any archive stays small; more for a view that reads the
    // same pages again and again.
    void SetCacheKiB(int kib);

    // The site register kept in the archive (empty when none was stored, or
    // in an archive of an older layout).
    bool LoadRegister(site::Register& reg, std::string& error) override;
    // Replaces the register, all or nothing: a register that breaks a rule
    // is refused with the rule (and the archive stays as it was). Every
    // archived record is judged against the new register.
    // The change is audited with the register before and after and `reason`.
    bool StoreRegister(const site::Register& reg, std::string& error, const std::string& reason = {}) override;
    // The archived records above a limit, in time order, and the adverse
    // trends among them.
    bool Excursions(const ExcursionFilter& filter, std::vector<ExcursionRow>& excursions,
                    std::vector<AdverseTrendRow>& trends, std::string& error) override;

    // Reserves a certificate's number: `requested`, refused when a
    // certificate has it already or when it has the form of the archive's
    // own numbers; or, when empty, the archive's next number. A number is
    // never given again, whatever becomes of its certificate.
    bool ReserveCertificate(const std::string& requested, std::int64_t time, CertificateRecord& reserved,
                            std::string& error);
    // Keeps the data a reserved certificate certifies (and its SHA-256) and
    // the SHA-256 of the file written (`file` empty for a printed one).
    // Issuing it again (ReissueCertificate) with other data voids its
    // signatures; `reason` is kept in the audit trail.
    bool CompleteCertificate(std::int64_t id, const std::string& data, std::string_view file, std::string& error,
                             const std::string& reason = {});
    // The certificate whose file has the SHA-256 (hex); nullopt when none.
    bool FindCertificate(const std::string& fileSha256, std::optional<CertificateRecord>& found, std::string& error);

    // Who acts on the archive: the system's account unless told otherwise.
    // Every write is attributed to the actor and allowed by the actor's
    // role; the first user of an archive becomes its administrator.
    void SetActor(audit::Identity actor) override { m_actor = std::move(actor); }
    [[nodiscard]] const audit::Identity& Actor() const { return m_actor; }
    // Whether the last failure was a refusal: the actor is no user of the
    // archive, or the role does not allow the action, or signing is locked.
    [[nodiscard]] bool Refused() const override { return m_refused; }
    // Whether the actor may do `action`: refused with the reason in `error`.
    // An archive without users (or none at all) allows everything: its
    // first writer becomes its administrator.
    bool Check(audit::Action action, std::string& error) override;
    // Records an event that happened outside the archive (records saved to
    // a file, the instrument erased, a classification run), if the actor's
    // role allows `action`. `data` is the event's JSON object.
    bool RecordEvent(audit::Action action, const std::string& event, const std::string& data, std::string& error,
                     const std::string& reason = {}) override;

    bool Users(std::vector<User>& users, std::string& error) override;
    // Administrators only: adds a user, changes a role (the last
    // administrator keeps the role), lets a locked user sign again.
    bool AddUser(const std::string& name, const std::string& fullName, audit::Role role, const std::string& reason,
                 std::string& error);
    bool SetRole(const std::string& name, audit::Role role, const std::string& reason, std::string& error);
    bool UnlockSigning(const std::string& name, const std::string& reason, std::string& error);
    // The actor's own signing password; `current` must match the one set
    // before, if any.
    bool SetSigningPassword(const std::string& current, const std::string& password, std::string& error);
    // Signs a certificate or a download as the actor with `meaning`, after
    // the actor's signing password. A wrong password counts against the
    // actor (and is audited); the third in a row locks signing.
    bool Sign(SignedKind kind, std::int64_t subject, audit::Meaning meaning, const std::string& password,
              Signature& signature, std::string& error);
    // The signatures of a certificate or download, each judged against what
    // it signed now.
    bool Signatures(SignedKind kind, std::int64_t subject, std::vector<Signature>& signatures, std::string& error);
    // The certificate with the number; nullopt when none.
    bool CertificateByNumber(const std::string& number, std::optional<CertificateRecord>& found, std::string& error);
    // Makes certificate `number` ready to be issued again with new data
    // (CompleteCertificate): its signatures are voided when the data changes.
    bool ReissueCertificate(const std::string& number, std::int64_t time, CertificateRecord& reserved,
                            std::string& error);

    // The audit trail's entries that pass the filter, in order.
    bool AuditTrail(const AuditFilter& filter, std::vector<audit::Entry>& entries, std::string& error) override;
    // Recomputes the chain and checks every bound download, record,
    // certificate and signature against its entry. false only when the
    // check could not run.
    bool VerifyAudit(AuditVerification& result, std::string& error) override;

    [[nodiscard]] std::string Where() const override { return m_path; }
    bool ReadTable(const TableLayout& table, const std::function<bool(const Row&)>& handle,
                   std::string& error) override;
    bool BeginImport(std::string& error) override;
    bool ImportRow(const TableLayout& table, const Row& row, std::string& error) override;
    bool EndImport(bool commit, std::string& error) override;

    // For tests: called inside a download's transaction, before the commit.
    std::function<void()> beforeCommit;
    // How long judging the last download's new records against the
    // register took (milliseconds; 0 without a register): the benchmarks
    // report it.
    [[nodiscard]] double LastMonitoringMs() const { return m_monitoringMs; }

private:
    bool Create(std::string& error);
    bool OpenForReading(bool walMode, std::string& error);
    bool OpenForWriting(bool walMode, std::string& error);
    bool Connect(const std::string& name, int flags, std::string& error);
    int ReadIdentity(std::int64_t& application, std::int64_t& version, std::int64_t& objects, std::string& cause);
    bool CheckIdentity(std::string& error);
    bool RecoverCompanions(std::string& error);
    bool Migrate(std::string& error);
    bool HashStoredImages(std::string& cause);
    // Before a write: SQLite's check of the file's structure, inside the
    // write's transaction. false with the damage in `cause`.
    bool CheckStructure(std::string& what, std::string& cause);
    // A download's new records against the register: their excursions, and
    // the adverse trends of the locations where one is above an alert limit
    // or arrived among older records; within the write's transaction.
    struct NewRecord {
        std::int64_t id;
        std::int64_t time;
        Frame frame;
    };
    // `latestBefore`: the time of the latest record before the download
    // (-1: none).
    bool MonitorNewRecords(const site::Register& reg, const std::vector<NewRecord>& records, std::int64_t latestBefore,
                           std::int64_t download, std::string& cause);
    // The excursions and adverse trends of the records of each location
    // number from its time on (-1: all of them), judged again; every
    // location number when `numbers` is empty. Within the write's
    // transaction.
    bool JudgeRecords(const site::Register& reg, const std::vector<std::pair<int, std::int64_t>>& numbers,
                      std::string& cause);
    // Reassembles download `id`: false with `cause` when SQLite fails, true
    // with `damage` (empty when sound) otherwise.
    bool Assemble(std::int64_t id, std::vector<std::uint8_t>& image, std::string& damage, std::string& cause);
    void Close();
    std::string Reason(const std::string& what, const std::string& cause) const;

    // The audit trail, within a write's transaction: whether the actor may
    // do `action` (adding the first user of the archive as its
    // administrator), and appending one entry (its seq in `seq`).
    bool Admit(audit::Action action, std::string& what, std::string& cause);
    bool Append(const std::string& event, const std::string& data, const std::string& reason, std::int64_t& seq,
                std::string& cause);
    // Binds the records of ids `records` to entry `seq`: the SHA-256 of each
    // frame, and of them all in `digest`.
    bool BindRecords(std::int64_t seq, const std::vector<std::int64_t>& records, std::string& digest,
                     std::string& cause);
    // The first entry of an archive that had no trail: says so and binds
    // what the archive held then.
    bool StartTrail(int fromVersion, std::string& cause);
    bool ReadCertificate(const char* sql, const std::string& key, std::optional<CertificateRecord>& found,
                         std::string& error);
    // The SHA-256 of what a signature signs, as it is now; `missing` says
    // why there is none (no such certificate, a damaged download).
    bool SignedContent(SignedKind kind, std::int64_t subject, std::string& sha, std::string& missing,
                       std::string& cause);
    // Writes what `body` does in one transaction after the structure check;
    // false with the reason in `error`.
    bool Write(const std::function<bool(std::string& what, std::string& cause)>& body, std::string& error);

    sqlite3* m_db = nullptr;
    std::vector<std::pair<const TableLayout*, sqlite3_stmt*>> m_imports;  // while rows are imported
    std::string m_path;
    int m_version = 0;  // the layout of the open archive
    double m_monitoringMs = 0.0;
    audit::Identity m_actor = audit::CurrentIdentity();
    bool m_refused = false;
};

}  // namespace oront::archive
