#include "archive/Archive.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

namespace oront::archive {
namespace {

constexpr std::size_t kPacket = 64;
// PRAGMA application_id of an archive: "ORNT".
constexpr int kApplicationId = 0x4F524E54;
constexpr int kBusyTimeoutMs = 10000;

// The layout, one step per version: step k takes an archive from version k
// to version k + 1. A new version appends its step; older archives run every
// step after their own version.
constexpr const char* kMigrations[] = {
    // 0 -> 1. A download's image is its count packet and, slot by slot, the
    // id of the record whose frame arrived there (little-endian 32-bit
    // numbers). A record's frame is kept without its trailing zero bytes;
    // `key` is a hash of the frame for finding it again, `time` its date
    // and time (TimeKey). Records are found again by time and key: the
    // records of one download lie close together in that index, so that
    // archiving a download touches few of its pages.
    "CREATE TABLE downloads(id INTEGER PRIMARY KEY, time INTEGER NOT NULL, serial INTEGER NOT NULL,"
    " record_count INTEGER NOT NULL, wrap_position INTEGER NOT NULL, new_records INTEGER NOT NULL,"
    " count_packet BLOB NOT NULL, slots BLOB NOT NULL);"
    "CREATE TABLE records(id INTEGER PRIMARY KEY, serial INTEGER NOT NULL, time INTEGER NOT NULL,"
    " location INTEGER NOT NULL, key INTEGER NOT NULL, first_download INTEGER NOT NULL, frame BLOB NOT NULL);"
    "CREATE INDEX records_time ON records(time, key);"
    "CREATE INDEX records_location ON records(location, time);",
};
static_assert(std::size(kMigrations) == kSchemaVersion);

// One prepared statement, finalized with its scope.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    [[nodiscard]] bool ok() const { return m_rc == SQLITE_OK; }
    sqlite3_stmt* get() const { return m_stmt; }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return sqlite3_step(m_stmt); }
    void Reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    void Bind(int i, std::int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void Bind(int i, const void* data, std::size_t size) {
        sqlite3_bind_blob(m_stmt, i, size > 0 ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
    }
    std::int64_t Int(int i) const { return sqlite3_column_int64(m_stmt, i); }
    std::pair<const std::uint8_t*, std::size_t> Blob(int i) const {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_stmt, i));
        return {data, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, i))};
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

bool Exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The single integer a pragma or query answers; false on an error.
bool QueryInt(sqlite3* db, const char* sql, std::int64_t& value) {
    Statement st(db, sql);
    if (!st.ok() || st.Step() != SQLITE_ROW) return false;
    value = st.Int(0);
    return true;
}

// FNV-1a, 64 bits: a frame's key for finding it again (equal frames are then
// compared byte for byte).
std::int64_t FrameKey(const Frame& frame) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint8_t b : frame) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return static_cast<std::int64_t>(h);
}

// The frame without its trailing zero bytes (packet B's unused tail).
std::size_t TrimmedSize(const Frame& frame) {
    std::size_t n = frame.size();
    while (n > 0 && frame[n - 1] == 0) --n;
    return n;
}

std::uint32_t FrameSerial(const Frame& frame) {
    const std::uint8_t* b = frame.data() + kPacket + 6;
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

bool IsSqliteFile(const std::string& path) {
    static const char kHeader[16] = "SQLite format 3";  // and its NUL
    char head[16] = {};
    std::ifstream in(path, std::ios::binary);
    return in.read(head, sizeof head) && std::memcmp(head, kHeader, sizeof head) == 0;
}

}  // namespace

std::string DefaultArchivePath() {
    if (const char* env = std::getenv("ORONT_ARCHIVE"); env != nullptr && *env != '\0') return env;
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::string(home) + "/.local/share";
    } else {
        return {};
    }
    return base + "/oront-v208/archive.sqlite";
}

std::int64_t TimeKey(int year, int month, int day, int hour, int minute, int second) {
    return (std::int64_t{year} << 40) | (std::int64_t{month} << 32) | (std::int64_t{day} << 24) |
           (std::int64_t{hour} << 16) | (std::int64_t{minute} << 8) | std::int64_t{second};
}

std::int64_t FrameTimeKey(const Frame& f) {
    return TimeKey(f[7], f[8], f[9], f[10], f[11], f[12]);
}

std::optional<std::int64_t> ParseTimeKey(const std::string& text, bool endOfDay) {
    // YYYY-MM-DD[ hh:mm:ss]
    const char* pattern = text.size() == 10 ? "dddd-dd-dd" : "dddd-dd-dd dd:dd:dd";
    if (text.size() != std::strlen(pattern)) return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) return std::nullopt;
    }
    const auto num = [&text](std::size_t at, std::size_t n) { return std::stoi(text.substr(at, n)); };
    const int year = num(0, 4);
    const int month = num(5, 2);
    const int day = num(8, 2);
    if (year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    int h = endOfDay ? 23 : 0, m = endOfDay ? 59 : 0, s = endOfDay ? 59 : 0;
    if (text.size() > 10) {
        h = num(11, 2);
        m = num(14, 2);
        s = num(17, 2);
        if (h > 23 || m > 59 || s > 59) return std::nullopt;
    }
    return TimeKey(year - 2000, month, day, h, m, s);
}

Archive::~Archive() {
    if (m_db != nullptr) sqlite3_close_v2(m_db);
}

std::string Archive::Reason(const char* what) const {
    return std::string(what) + " (" + sqlite3_errmsg(m_db) + "): " + m_path;
}

bool Archive::Open(const std::string& path, OpenMode mode, std::string& error) {
    m_path = path;
    if (path.empty()) {
        error = "no archive path (set HOME, XDG_DATA_HOME or ORONT_ARCHIVE)";
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        error = "not an archive (not a regular file): " + path;
        return false;
    }
    if (!exists && mode == OpenMode::ReadOnly) return true;  // nothing archived yet
    // Whatever is at the path and is no SQLite database stays as it is.
    if (exists && st.st_size > 0 && !IsSqliteFile(path)) {
        error = "not an archive (not an SQLite database; left as it is): " + path;
        return false;
    }
    if (!exists) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        if (ec) {
            error = "cannot create the archive's folder (" + ec.message() + "): " + folder.string();
            return false;
        }
    }
    const int flags = mode == OpenMode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        error = Reason("cannot open the archive");
        return false;
    }
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    if (mode == OpenMode::ReadWrite && (sqlite3_db_readonly(m_db, "main") == 1 || ::access(path.c_str(), W_OK) != 0)) {
        error = "the archive is read-only: " + path;
        return false;
    }
    // The file's owner, layout and whether it holds anything, read in one
    // statement: one snapshot, even while another program migrates it.
    std::int64_t application = 0, version = 0, objects = 0;
    {
        Statement check(m_db,
                        "SELECT (SELECT application_id FROM pragma_application_id),"
                        " (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_schema)");
        if (!check.ok() || check.Step() != SQLITE_ROW) {
            error = Reason("not a readable archive (left as it is)");
            return false;
        }
        application = check.Int(0);
        version = check.Int(1);
        objects = check.Int(2);
    }
    const bool empty = application == 0 && version == 0 && objects == 0;
    // A layout below 0 is none this program ever wrote.
    if (!empty && (application != kApplicationId || version < 0)) {
        error = "not an archive of this program (left as it is): " + path;
        return false;
    }
    if (version > kSchemaVersion) {
        error = "the archive was written by a newer program (layout " + std::to_string(version) +
                ", this program reads " + std::to_string(kSchemaVersion) + "): " + path;
        return false;
    }
    if (mode == OpenMode::ReadOnly) {
        if (version < kSchemaVersion && !empty) {
            error = "the archive has an older layout; archiving a download brings it up to date: " + path;
            return false;
        }
        if (empty) {  // an empty database holds no downloads
            sqlite3_close_v2(m_db);
            m_db = nullptr;
            return true;
        }
        // A location's records lie all over the file: a reader that draws
        // several trends keeps the pages it has read.
        Exec(m_db, "PRAGMA cache_size=-32768");
        return true;
    }
    // The layout is brought up to date in one transaction of the file's own
    // journal mode, before the switch to WAL (which rewrites the header): a
    // file whose layout cannot be created, e.g. a damaged empty database, is
    // refused as it was.
    if (version < kSchemaVersion && !Migrate(error)) return false;
    {
        Statement wal(m_db, "PRAGMA journal_mode=WAL");
        if (!wal.ok() || wal.Step() != SQLITE_ROW) {
            error = Reason("cannot open the archive");
            return false;
        }
    }
    Exec(m_db, "PRAGMA synchronous=NORMAL");
    Exec(m_db, "PRAGMA cache_size=-32768");  // 32 MiB: the index pages a full download touches
    return true;
}

bool Archive::Migrate(std::string& error) {
    if (!Exec(m_db, "BEGIN IMMEDIATE")) {
        error = Reason("cannot update the archive");
        return false;
    }
    // Another program may have brought it up to date meanwhile (or, newer,
    // beyond: then it is left alone).
    std::int64_t version = 0;
    bool ok = QueryInt(m_db, "PRAGMA user_version", version) && version >= 0 && version <= kSchemaVersion;
    for (std::int64_t v = version; ok && v < kSchemaVersion; ++v) ok = Exec(m_db, kMigrations[v]);
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              ";PRAGMA user_version=" + std::to_string(kSchemaVersion);
    ok = ok && Exec(m_db, stamp.c_str()) && Exec(m_db, "COMMIT");
    if (!ok) {
        error = Reason("cannot update the archive's layout");
        Exec(m_db, "ROLLBACK");
    }
    return ok;
}

bool Archive::AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added,
                          std::string& error) {
    if (m_db == nullptr) {
        error = "the archive is not open";
        return false;
    }
    if (image.size() < kPacket || image.size() % kPacket != 0) {
        error = "not a complete download";
        return false;
    }
    Download d;
    d.time = time;
    const unsigned value = (unsigned{image[0]} << 8) | image[1];
    d.recordCount = (value & 0x8000u) != 0 ? 8000 : static_cast<int>(value);
    d.wrapPosition = (value & 0x8000u) != 0 ? static_cast<int>(value & 0x7FFFu) : 0;
    if (image.size() != kPacket * (1 + 2 * static_cast<std::size_t>(d.recordCount))) {
        error = "not a complete download";
        return false;
    }
    if (!Exec(m_db, "BEGIN IMMEDIATE")) {
        error = Reason("cannot write to the archive");
        return false;
    }
    bool ok = true;
    {
        Statement download(m_db,
                           "INSERT INTO downloads(time, serial, record_count, wrap_position, new_records,"
                           " count_packet, slots) VALUES(?1, 0, ?2, ?3, 0, ?4, x'')");
        Statement find(m_db, "SELECT id, frame FROM records WHERE time = ?1 AND key = ?2");
        Statement insert(m_db,
                         "INSERT INTO records(serial, time, location, key, first_download, frame)"
                         " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        Statement finish(m_db, "UPDATE downloads SET serial = ?1, new_records = ?2, slots = ?3 WHERE id = ?4");
        ok = download.ok() && find.ok() && insert.ok() && finish.ok();
        if (ok) {
            download.Bind(1, time);
            download.Bind(2, d.recordCount);
            download.Bind(3, d.wrapPosition);
            download.Bind(4, image.data(), kPacket);
            ok = download.Step() == SQLITE_DONE;
        }
        d.id = sqlite3_last_insert_rowid(m_db);
        std::vector<std::uint8_t> slots;
        slots.reserve(4 * static_cast<std::size_t>(d.recordCount));
        Frame frame;
        for (int k = 0; ok && k < d.recordCount; ++k) {
            std::memcpy(frame.data(), image.data() + kPacket * (1 + 2 * static_cast<std::size_t>(k)), frame.size());
            const std::size_t size = TrimmedSize(frame);
            const std::int64_t key = FrameKey(frame);
            const std::int64_t recordTime = FrameTimeKey(frame);
            std::int64_t id = 0;
            find.Bind(1, recordTime);
            find.Bind(2, key);
            int rc;
            while ((rc = find.Step()) == SQLITE_ROW) {
                const auto [data, bytes] = find.Blob(1);
                if (bytes == size && (size == 0 || std::memcmp(data, frame.data(), size) == 0)) {
                    id = find.Int(0);
                    break;
                }
            }
            ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
            find.Reset();
            d.serial = FrameSerial(frame);
            if (ok && id == 0) {
                insert.Bind(1, d.serial);
                insert.Bind(2, recordTime);
                insert.Bind(3, frame[1]);
                insert.Bind(4, key);
                insert.Bind(5, d.id);
                insert.Bind(6, frame.data(), size);
                ok = insert.Step() == SQLITE_DONE;
                insert.Reset();
                id = sqlite3_last_insert_rowid(m_db);
                ++d.newRecords;
            }
            ok = ok && id > 0 && id <= 0xFFFFFFFF;
            for (int shift = 0; shift < 32; shift += 8) slots.push_back(static_cast<std::uint8_t>(id >> shift));
        }
        if (ok) {
            finish.Bind(1, d.serial);
            finish.Bind(2, d.newRecords);
            finish.Bind(3, slots.data(), slots.size());
            finish.Bind(4, d.id);
            ok = finish.Step() == SQLITE_DONE;
        }
    }
    if (ok && beforeCommit) beforeCommit();
    ok = ok && Exec(m_db, "COMMIT");
    if (!ok) {
        error = Reason("cannot write to the archive");
        Exec(m_db, "ROLLBACK");
        return false;
    }
    if (added != nullptr) *added = d;
    return true;
}

bool Archive::Downloads(std::vector<Download>& downloads, std::string& error) {
    downloads.clear();
    if (m_db == nullptr) return true;
    Statement st(m_db, "SELECT id, time, serial, record_count, wrap_position, new_records FROM downloads ORDER BY id");
    if (!st.ok()) {
        error = Reason("cannot read the archive");
        return false;
    }
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        Download d;
        d.id = st.Int(0);
        d.time = st.Int(1);
        d.serial = static_cast<std::uint32_t>(st.Int(2));
        d.recordCount = static_cast<int>(st.Int(3));
        d.wrapPosition = static_cast<int>(st.Int(4));
        d.newRecords = static_cast<int>(st.Int(5));
        downloads.push_back(d);
    }
    if (rc != SQLITE_DONE) error = Reason("cannot read the archive");
    return rc == SQLITE_DONE;
}

bool Archive::Locations(std::vector<int>& locations, std::string& error) {
    locations.clear();
    if (m_db == nullptr) return true;
    // One seek in the location index per location, not a scan of every record.
    Statement st(m_db, "SELECT min(location) FROM records WHERE location > ?1");
    if (!st.ok()) {
        error = Reason("cannot read the archive");
        return false;
    }
    std::int64_t after = -1;
    while (true) {
        st.Bind(1, after);
        const int rc = st.Step();
        if (rc != SQLITE_ROW) {
            error = Reason("cannot read the archive");
            return false;
        }
        if (sqlite3_column_type(st.get(), 0) == SQLITE_NULL) return true;
        after = st.Int(0);
        locations.push_back(static_cast<int>(after));
        st.Reset();
    }
}

bool Archive::TimeSpan(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::string& error) {
    span.reset();
    if (m_db == nullptr) return true;
    Statement st(m_db, "SELECT min(time), max(time) FROM records");
    if (!st.ok() || st.Step() != SQLITE_ROW) {
        error = Reason("cannot read the archive");
        return false;
    }
    if (sqlite3_column_type(st.get(), 0) != SQLITE_NULL) span.emplace(st.Int(0), st.Int(1));
    return true;
}

bool Archive::LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) {
    const std::string missing = "no download " + std::to_string(id) + " in the archive: " + m_path;
    if (m_db == nullptr) {
        error = missing;
        return false;
    }
    // Both reads see one state of the archive.
    Exec(m_db, "BEGIN");
    Statement download(m_db, "SELECT count_packet, slots FROM downloads WHERE id = ?1");
    Statement record(m_db, "SELECT frame FROM records WHERE id = ?1");
    bool ok = download.ok() && record.ok();
    if (ok) {
        download.Bind(1, id);
        const int rc = download.Step();
        if (rc == SQLITE_DONE) {
            Exec(m_db, "COMMIT");
            error = missing;
            return false;
        }
        ok = rc == SQLITE_ROW;
    }
    if (ok) {
        const auto [count, countSize] = download.Blob(0);
        const auto [slots, slotsSize] = download.Blob(1);
        image.assign(count, count + countSize);
        image.resize(kPacket, 0);
        image.reserve(kPacket + 2 * kPacket * (slotsSize / 4));
        for (std::size_t k = 0; ok && k + 4 <= slotsSize; k += 4) {
            const std::int64_t recordId = std::int64_t{slots[k]} | (std::int64_t{slots[k + 1]} << 8) |
                                          (std::int64_t{slots[k + 2]} << 16) | (std::int64_t{slots[k + 3]} << 24);
            record.Bind(1, recordId);
            ok = record.Step() == SQLITE_ROW;
            if (ok) {
                const auto [frame, size] = record.Blob(0);
                const std::size_t at = image.size();
                image.resize(at + 2 * kPacket, 0);
                if (size > 0) std::memcpy(image.data() + at, frame, std::min(size, 2 * kPacket));
            }
            record.Reset();
        }
    }
    Exec(m_db, "COMMIT");
    if (!ok) error = Reason("cannot read the archive");
    return ok;
}

bool Archive::ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                            std::string& error) {
    if (m_db == nullptr) return true;
    std::string sql = "SELECT id, serial, first_download, frame FROM records WHERE 1";
    if (filter.serial) sql += " AND serial = ?1";
    if (filter.location) sql += " AND location = ?2";
    if (filter.from) sql += " AND time >= ?3";
    if (filter.to) sql += " AND time <= ?4";
    sql += " ORDER BY time, id";
    Statement st(m_db, sql.c_str());
    if (!st.ok()) {
        error = Reason("cannot read the archive");
        return false;
    }
    if (filter.serial) st.Bind(1, *filter.serial);
    if (filter.location) st.Bind(2, *filter.location);
    if (filter.from) st.Bind(3, *filter.from);
    if (filter.to) st.Bind(4, *filter.to);
    Record r;
    int rc;
    while ((rc = st.Step()) == SQLITE_ROW) {
        r.id = st.Int(0);
        r.serial = static_cast<std::uint32_t>(st.Int(1));
        r.firstDownload = st.Int(2);
        r.frame.fill(0);
        const auto [frame, size] = st.Blob(3);
        if (size > 0) std::memcpy(r.frame.data(), frame, std::min(size, r.frame.size()));
        if (!handle(r)) return true;
    }
    if (rc != SQLITE_DONE) error = Reason("cannot read the archive");
    return rc == SQLITE_DONE;
}

}  // namespace oront::archive
