#include "archive/Archive.h"

#include <fcntl.h>
#include <sodium.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>

#include "archive/SqliteStatement.h"
#include "base/OutputFile.h"

namespace oront::archive {
namespace {

constexpr std::size_t kPacket = 64;
// PRAGMA application_id of an archive: "ORNT".
constexpr int kApplicationId = 0x4F524E54;
constexpr int kBusyTimeoutMs = 10000;
// A reader's page cache: a listing of a million records stays within it.
constexpr int kReadCacheKiB = 1024;
// A writer's: the index pages a full download touches.
constexpr int kWriteCacheKiB = 32768;
// Records read in one read transaction: between two of them a writer may
// commit, however slowly the listing is consumed.
constexpr int kRecordsPerRead = 256;
constexpr std::size_t kMostFindings = 100;
constexpr std::size_t kHashSize = crypto_hash_sha256_BYTES;

// The layout, one step per version: step k takes an archive from version k
// to version k + 1. A new version appends its step; older archives run every
// step after their own version, and a new archive runs them all.
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
    // 1 -> 2. The SHA-256 of each download's memory image, taken when it is
    // archived (for the downloads of an older archive: when it is brought up
    // to date, for those that are sound then).
    "ALTER TABLE downloads ADD COLUMN image_sha256 BLOB;",
    // 2 -> 3. The site register (its rows keep the order they were given
    // in: `position`), what was said of each download when it was archived,
    // and what monitoring found among the records: each record above a limit
    // at a size, and the runs of records above the alert limit at one
    // location (adverse trends). Both are judged again whenever the register
    // changes.
    "CREATE TABLE organisation(name TEXT NOT NULL, address TEXT NOT NULL);"
    "CREATE TABLE rooms(position INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE, name TEXT NOT NULL,"
    " area_m2 REAL NOT NULL, standard INTEGER NOT NULL, class_tenths INTEGER NOT NULL, grade TEXT NOT NULL,"
    " state INTEGER NOT NULL, notes TEXT NOT NULL, adverse_run INTEGER NOT NULL);"
    "CREATE TABLE locations(room INTEGER NOT NULL, position INTEGER NOT NULL, number INTEGER NOT NULL,"
    " name TEXT NOT NULL, x_m REAL NOT NULL, y_m REAL NOT NULL, critical INTEGER NOT NULL, valid_from INTEGER,"
    " valid_to INTEGER, PRIMARY KEY(room, position));"
    "CREATE TABLE limits(room INTEGER NOT NULL, position INTEGER NOT NULL, size_tenths INTEGER NOT NULL,"
    " alert REAL NOT NULL, action REAL NOT NULL, location INTEGER, PRIMARY KEY(room, position));"
    "CREATE TABLE instruments(position INTEGER PRIMARY KEY, serial INTEGER NOT NULL UNIQUE, model TEXT NOT NULL,"
    " calibrated_on INTEGER NOT NULL, calibration_due INTEGER NOT NULL, certificate TEXT NOT NULL,"
    " flow REAL NOT NULL);"
    "CREATE TABLE excursions(record INTEGER NOT NULL, size_tenths INTEGER NOT NULL, time INTEGER NOT NULL,"
    " room TEXT NOT NULL, location INTEGER NOT NULL, per_m3 REAL NOT NULL, limit_per_m3 REAL NOT NULL,"
    " level INTEGER NOT NULL, PRIMARY KEY(record, size_tenths)) WITHOUT ROWID;"
    "CREATE INDEX excursions_time ON excursions(time);"
    "CREATE INDEX excursions_location ON excursions(location, time);"
    "CREATE TABLE adverse_trends(room TEXT NOT NULL, location INTEGER NOT NULL, size_tenths INTEGER NOT NULL,"
    " first_time INTEGER NOT NULL, last_time INTEGER NOT NULL, records INTEGER NOT NULL);"
    "CREATE INDEX adverse_trends_location ON adverse_trends(location, last_time);"
    "ALTER TABLE downloads ADD COLUMN warnings TEXT NOT NULL DEFAULT '';",
    // 3 -> 4. The occupancy state the register gives each download, and the
    // certificates issued: a number is never given twice (AUTOINCREMENT
    // never reuses an id, and the number is unique); a certificate keeps
    // the data it certifies with its SHA-256, and the SHA-256 of the file
    // written, by which a file is checked again.
    "CREATE TABLE download_states(position INTEGER PRIMARY KEY, download INTEGER NOT NULL UNIQUE,"
    " state INTEGER NOT NULL);"
    "CREATE TABLE certificates(id INTEGER PRIMARY KEY AUTOINCREMENT, number TEXT NOT NULL UNIQUE,"
    " issued INTEGER NOT NULL, data TEXT, data_sha256 TEXT, file_sha256 TEXT);"
    "CREATE INDEX certificates_file ON certificates(file_sha256);",
    // 4 -> 5. The users with their roles and signing passwords (salted,
    // slow hashes), the audit trail (one chain: each entry holds the hash of
    // the one before), the hash of every record bound by the entry that
    // archived it, and the electronic signatures. The trail takes no change
    // and no deletion through SQL; what is done around that, VerifyAudit
    // finds.
    "CREATE TABLE users(name TEXT PRIMARY KEY, full_name TEXT NOT NULL, role TEXT NOT NULL,"
    " password TEXT NOT NULL DEFAULT '', failures INTEGER NOT NULL DEFAULT 0) WITHOUT ROWID;"
    "CREATE TABLE audit(seq INTEGER PRIMARY KEY, time INTEGER NOT NULL, utc_offset INTEGER NOT NULL,"
    " user TEXT NOT NULL, version TEXT NOT NULL, event TEXT NOT NULL, data TEXT NOT NULL, reason TEXT NOT NULL,"
    " previous TEXT NOT NULL, hash TEXT NOT NULL);"
    "CREATE INDEX audit_time ON audit(time);"
    "CREATE TABLE audit_records(record INTEGER PRIMARY KEY, entry INTEGER NOT NULL, sha256 BLOB NOT NULL);"
    "CREATE INDEX audit_records_entry ON audit_records(entry, record);"
    "CREATE TABLE signatures(id INTEGER PRIMARY KEY, kind TEXT NOT NULL, subject INTEGER NOT NULL,"
    " meaning TEXT NOT NULL, user TEXT NOT NULL, full_name TEXT NOT NULL, time INTEGER NOT NULL,"
    " utc_offset INTEGER NOT NULL, subject_sha256 TEXT NOT NULL, entry INTEGER NOT NULL,"
    " void INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX signatures_subject ON signatures(kind, subject);"
    "CREATE TRIGGER audit_no_update BEFORE UPDATE ON audit"
    " BEGIN SELECT RAISE(ABORT, 'the audit trail takes no changes'); END;"
    "CREATE TRIGGER audit_no_delete BEFORE DELETE ON audit"
    " BEGIN SELECT RAISE(ABORT, 'the audit trail takes no deletions'); END;",
};
static_assert(std::size(kMigrations) == kSchemaVersion);

}  // namespace

std::int64_t FrameKey(const Frame& frame) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::uint8_t b : frame) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return static_cast<std::int64_t>(h);
}

std::size_t TrimmedSize(const Frame& frame) {
    std::size_t n = frame.size();
    while (n > 0 && frame[n - 1] == 0) --n;
    return n;
}

std::uint32_t FrameSerial(const Frame& frame) {
    const std::uint8_t* b = frame.data() + kPacket + 6;
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

bool DownloadOf(const std::vector<std::uint8_t>& image, std::int64_t time, Download& d, std::string& error) {
    d = Download{};
    d.time = time;
    if (image.size() >= kPacket) std::tie(d.recordCount, d.wrapPosition) = CountOf(image.data());
    if (image.size() < kPacket || image.size() != kPacket * (1 + 2 * static_cast<std::size_t>(d.recordCount))) {
        error = "not a complete download";
        return false;
    }
    return true;
}

std::pair<int, int> CountOf(const std::uint8_t* packet) {
    const unsigned value = (unsigned{packet[0]} << 8) | packet[1];
    if ((value & 0x8000u) != 0) return {8000, static_cast<int>(value & 0x7FFFu)};
    return {static_cast<int>(value), 0};
}

namespace {

std::array<std::uint8_t, kHashSize> ImageHash(const std::vector<std::uint8_t>& image) {
    std::array<std::uint8_t, kHashSize> hash{};
    crypto_hash_sha256(hash.data(), image.data(), image.size());
    return hash;
}

#ifdef _WIN32
// The few POSIX file calls the archive makes, on Windows: files are opened
// in binary mode; there are no user ids or execute bits, and Windows itself
// refuses to remove a file that another program holds open.
constexpr int kReadFlags = O_RDONLY | O_BINARY;
constexpr const char* kSeparators = "/\\";
bool Permitted(const std::string& path, int how) {
    return ::_access(path.c_str(), how & (R_OK | W_OK)) == 0;
}
int lstat(const char* path, struct stat* st) {
    return ::stat(path, st);
}
decltype(stat::st_uid) geteuid() {
    return 0;
}
int MakeFolder(const char* path) {
    return ::_mkdir(path);
}
std::string RealPath(const std::string& path) {
    char resolved[_MAX_PATH];
    return ::_fullpath(resolved, path.c_str(), sizeof resolved) != nullptr ? std::string(resolved) : path;
}
bool InUse(const std::string&) {
    return false;
}
#else
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY;
constexpr const char* kSeparators = "/";
// Whether this user (its effective ids) may do `how` to the file.
bool Permitted(const std::string& path, int how) {
    return ::faccessat(AT_FDCWD, path.c_str(), how, AT_EACCESS) == 0;
}
int MakeFolder(const char* path) {
    return ::mkdir(path, 0700);
}
#endif

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Whether writing the archive is permitted: the file, and its folder, in
// which SQLite makes the journal of each write.
bool MayWrite(const std::string& path) {
    return Permitted(path, W_OK) && Permitted(FolderOf(path), W_OK | X_OK);
}

std::string ModeText(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

#ifndef _WIN32
// The file the name leads to, links resolved; the name itself when it
// cannot be resolved (a missing file).
std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// Whether another program has the archive open: it holds a lock on one of
// SQLite's lock bytes of the file, or on the index of a write-ahead log.
bool InUse(const std::string& path) {
    const auto locked = [](const std::string& file, off_t start, off_t length) {
        const int fd = ::open(file.c_str(), kReadFlags);
        if (fd < 0) return false;
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = start;
        lock.l_len = length;
        const bool held = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        ::close(fd);
        return held;
    };
    constexpr off_t kPendingByte = 0x40000000;  // SQLite's lock bytes start here
    return locked(path, kPendingByte, 512) || locked(path + "-shm", 120, 16);
}
#endif

// The archive's folders that are missing, created for this user only (0700,
// whatever the umask); folders that exist stay as they are.
bool CreateFolders(const std::string& folder, std::string& error) {
    struct stat st {};
    if (folder.empty() || ::stat(folder.c_str(), &st) == 0) return true;
    if (errno != ENOENT) {
        error = "cannot create the archive's folder (" + ErrorText(errno) + "): " + folder;
        return false;
    }
    const std::string parent = FolderOf(folder);
    if (parent != folder && !CreateFolders(parent, error)) return false;
    if (MakeFolder(folder.c_str()) != 0 && errno != EEXIST) {
        error = "cannot create the archive's folder (" + ErrorText(errno) + "): " + folder;
        return false;
    }
    ::chmod(folder.c_str(), 0700);
    return true;
}

// The longest path SQLite opens: its own limit less the journal's suffix.
std::string PathTooLong(const std::string& path) {
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    if (vfs == nullptr) return {};
    const std::size_t limit = static_cast<std::size_t>(vfs->mxPathname) - std::strlen("-journal");
    std::string full(static_cast<std::size_t>(vfs->mxPathname) + 1, '\0');
    const int rc = vfs->xFullPathname(vfs, path.c_str(), vfs->mxPathname + 1, full.data());
    const std::size_t length = rc == SQLITE_OK ? std::strlen(full.c_str()) : path.size() + 1 + PATH_MAX;
    if (rc == SQLITE_OK && length <= limit) return {};
    if (rc != SQLITE_OK && path.size() <= limit) return {};  // another failure, which opening reports
    return "the archive's path is too long (SQLite takes at most " + std::to_string(limit) +
           " bytes with its folders): " + path;
}

// A name SQLite reads as a URI: "file:" and the path with every byte that
// is not plainly safe percent-encoded.
std::string FileUri(const std::string& path, const char* query) {
    std::string uri = "file:";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (plain || c == '/' || c == '.' || c == '-' || c == '_' || c == '~') {
            uri += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri + "?" + query;
}

struct Header {
    bool walMode = false;
};

// What the first bytes of the file say: only an SQLite database of this
// program is an archive.
bool ReadHeader(const std::string& path, Header& header, std::string& error) {
    unsigned char bytes[100] = {};
    const int fd = ::open(path.c_str(), kReadFlags);
    if (fd < 0) {
        error = "cannot open the archive (" + ErrorText(errno) + "): " + path;
        return false;
    }
    ssize_t got = 0;
    while (got < static_cast<ssize_t>(sizeof bytes)) {
        const ssize_t n = ::read(fd, bytes + got, sizeof bytes - static_cast<std::size_t>(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += n;
    }
    ::close(fd);
    static const char kMagic[16] = "SQLite format 3";  // and its NUL
    if (got == 0) {
        error = "not an archive (an empty file; left as it is): " + path;
        return false;
    }
    if (got < 16 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
        error = "not an archive (not an SQLite database; left as it is): " + path;
        return false;
    }
    const auto be32 = [&bytes](int at) {
        return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
               (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
    };
    if (got < 100 || be32(68) != static_cast<std::uint32_t>(kApplicationId)) {
        error = "not an archive of this program (left as it is): " + path;
        return false;
    }
    header.walMode = bytes[18] == 2 || bytes[19] == 2;
    return true;
}

}  // namespace

std::string DataFolder() {
#ifdef _WIN32
    // The user's local application data, as Windows programs keep theirs.
    if (const char* local = std::getenv("LOCALAPPDATA"); local != nullptr && *local != '\0')
        return std::string(local) + "\\oront-v208";
#endif
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/oront-v208";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        return std::string(home) + "/.local/share/oront-v208";
    return {};
}

std::string DefaultArchivePath() {
    if (const char* env = std::getenv("ORONT_ARCHIVE"); env != nullptr && *env != '\0') return env;
    const std::string folder = DataFolder();
#ifdef _WIN32
    if (std::getenv("LOCALAPPDATA") != nullptr && !folder.empty()) return folder + "\\archive.sqlite";
#endif
    return folder.empty() ? std::string() : folder + "/archive.sqlite";
}

std::vector<std::string> ArchiveFiles(const std::string& path) {
    std::vector<std::string> files;
    for (const std::string& name : {path, RealPath(path)}) {
        if (!files.empty() && name == files.front()) continue;
        for (const char* suffix : {"", "-journal", "-wal", "-shm"}) files.push_back(name + suffix);
    }
    return files;
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
    if (year < 2000 || year > 2099 || month < 1 || month > 12) return std::nullopt;
    // Every year of the century that divides by 4 is a leap year (2000 too).
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int days = kDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
    if (day < 1 || day > days) return std::nullopt;
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
    Close();
}

void Archive::Close() {
    for (const auto& [layout, st] : m_imports) sqlite3_finalize(st);
    m_imports.clear();
    if (m_db != nullptr) sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_version = 0;
}

std::string Archive::Reason(const std::string& what, const std::string& cause) const {
    return what + " (" + cause + "): " + m_path;
}

bool Archive::Open(const std::string& path, OpenMode mode, std::string& error) {
    Close();
    m_path = path;
    if (path.empty()) {
        error = "no archive path (set HOME, XDG_DATA_HOME or ORONT_ARCHIVE)";
        return false;
    }
    if (std::string tooLong = PathTooLong(path); !tooLong.empty()) {
        error = std::move(tooLong);
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = "cannot open the archive (" + ErrorText(errno) + "): " + path;
            return false;
        }
        if (mode == OpenMode::ReadOnly) return true;  // nothing archived yet
        if (!Create(error)) return false;
        if (::stat(path.c_str(), &st) != 0) {
            error = "cannot open the archive (" + ErrorText(errno) + "): " + path;
            return false;
        }
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not an archive (not a regular file): " + path;
        return false;
    }
    Header header;
    if (!ReadHeader(path, header, error)) return false;
    const bool opened =
        mode == OpenMode::ReadOnly ? OpenForReading(header.walMode, error) : OpenForWriting(header.walMode, error);
    if (!opened) Close();
    return opened;
}

// A new archive is made complete in memory (its layout, its application
// id) and written as a file that appears whole under the name, or not at
// all when another program created the archive meanwhile.
bool Archive::Create(std::string& error) {
    if (!CreateFolders(FolderOf(m_path), error)) return false;
    sqlite3* memory = nullptr;
    std::string cause;
    bool ok = sqlite3_open_v2(":memory:", &memory, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK;
    for (const char* step : kMigrations) ok = ok && Exec(memory, step, &cause);
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              ";PRAGMA user_version=" + std::to_string(kSchemaVersion);
    ok = ok && Exec(memory, stamp.c_str(), &cause);
    sqlite3_int64 size = 0;
    unsigned char* bytes = ok ? sqlite3_serialize(memory, "main", &size, 0) : nullptr;
    sqlite3_close(memory);
    if (bytes == nullptr) {
        error = "cannot create the archive (" + (cause.empty() ? std::string("out of memory") : cause) + "): " + m_path;
        return false;
    }
    OutputOptions options;
    options.createOnly = true;
    options.mode = 0600;
    const OutputResult written = WriteOutputFile(
        m_path, std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size)), options);
    sqlite3_free(bytes);
    if (!written.ok() && written.error != EEXIST) {
        error = "cannot create the archive (" + written.Describe() + ")";
        return false;
    }
    return true;
}

bool Archive::Connect(const std::string& name, int flags, std::string& error) {
    Close();
    const int rc = sqlite3_open_v2(name.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        error = Reason("cannot open the archive", CauseOf(m_db, rc));
        return false;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    return true;
}

// The file's owner, layout and whether it holds anything, read in one
// statement: one snapshot, even while another program migrates it.
int Archive::ReadIdentity(std::int64_t& application, std::int64_t& version, std::int64_t& objects, std::string& cause) {
    Statement check(m_db,
                    "SELECT (SELECT application_id FROM pragma_application_id),"
                    " (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_schema)");
    if (!check.ok()) {
        cause = check.Cause();
        return sqlite3_extended_errcode(m_db);
    }
    const int rc = check.Step();
    if (rc != SQLITE_ROW) {
        cause = check.Cause();
        return sqlite3_extended_errcode(m_db);
    }
    application = check.Int(0);
    version = check.Int(1);
    objects = check.Int(2);
    return SQLITE_OK;
}

bool Archive::CheckIdentity(std::string& error) {
    std::int64_t application = 0, version = 0, objects = 0;
    std::string cause;
    if (ReadIdentity(application, version, objects, cause) != SQLITE_OK) {
        error = Reason("not a readable archive", cause + "; left as it is");
        return false;
    }
    // A layout below 0 is none this program ever wrote.
    if (application != kApplicationId || version < 0) {
        error = "not an archive of this program (left as it is): " + m_path;
        return false;
    }
    if (version > kSchemaVersion) {
        error = "the archive was written by a newer program (layout " + std::to_string(version) +
                ", this program reads " + std::to_string(kSchemaVersion) + "): " + m_path;
        return false;
    }
    m_version = objects == 0 ? 0 : static_cast<int>(version);
    return true;
}

bool Archive::OpenForReading(bool walMode, std::string& error) {
    // An archive of the write-ahead-log mode that older versions of this
    // program used: with its log beside it, SQLite reads the log and its
    // index as they are; without, the file holds everything and is read as
    // it stands, without any file of SQLite's.
    std::string name = m_path;
    int flags = SQLITE_OPEN_READONLY;
    const bool hasLog = ::access((m_path + "-wal").c_str(), F_OK) == 0;
    if (walMode && hasLog && ::access((m_path + "-shm").c_str(), F_OK) != 0) {
        error = "the archive's write-ahead log " + m_path +
                "-wal has lost its index; archiving a download (as a user who may write the archive) recovers it";
        return false;
    }
    if (walMode && !hasLog) {
        name = FileUri(m_path, "immutable=1");
        flags |= SQLITE_OPEN_URI;
    }
    if (!Connect(name, flags, error)) return false;
    std::int64_t application = 0, version = 0, objects = 0;
    std::string cause;
    int rc = ReadIdentity(application, version, objects, cause);
    if (rc == SQLITE_READONLY_ROLLBACK) {
        // A writer was killed in the middle of a download: its journal
        // brings the file back to what it was. A reader who may write does
        // that (SQLite rolls back when it first reads); others are told.
        if (!MayWrite(m_path)) {
            error = "the archive needs one write to recover from an archiving that was interrupted (its journal " +
                    m_path +
                    "-journal remains) and this user may not write it: run 'oront-v208-cli verify-archive' as a "
                    "user who may";
            return false;
        }
        if (!Connect(m_path, SQLITE_OPEN_READWRITE, error)) return false;
        Exec(m_db, "PRAGMA query_only=ON");
    }
    if (!CheckIdentity(error)) return false;
    if (m_version == 0) {  // nothing archived in it
        Close();
        return true;
    }
    SetCacheKiB(kReadCacheKiB);
    return true;
}

bool Archive::OpenForWriting(bool walMode, std::string& error) {
    if (!MayWrite(m_path)) {
        error = Permitted(m_path, W_OK)
                    ? "the archive's folder does not let this user write the archive's journal: " + FolderOf(m_path)
                    : "the archive is read-only: " + m_path;
        return false;
    }
    if (!RecoverCompanions(error)) return false;
    if (!Connect(m_path, SQLITE_OPEN_READWRITE, error)) return false;
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        error = "the archive is read-only: " + m_path;
        return false;
    }
    if (!CheckIdentity(error)) return false;
    if (m_version < kSchemaVersion && !Migrate(error)) return false;
    // An archive of the older write-ahead-log mode takes the rollback
    // journal (SQLite folds the log into the file and removes it and its
    // index); while another program still has it open, it stays as it is.
    if (walMode) Exec(m_db, "PRAGMA journal_mode=DELETE");
    // Every page a write reads is checked more closely than SQLite does by
    // default, so that a damaged page is refused rather than written on.
    Exec(m_db, "PRAGMA cell_size_check=ON");
    SetCacheKiB(kWriteCacheKiB);
    return true;
}

// Files beside the archive that SQLite would need to write and this user may
// not: left by another user, or with the mode of a read-only archive, by an
// older version of this program that created them while only reading. An
// empty write-ahead log (which holds nothing) and its index (which is
// rebuilt from the log) go, unless a program still has them; this user's own
// files take the archive's permissions; otherwise the file that blocks the
// write is named with the reason.
bool Archive::RecoverCompanions(std::string& error) {
    struct stat archive {};
    if (::stat(m_path.c_str(), &archive) != 0) return true;
    const std::string log = m_path + "-wal";
    struct stat logStat {};
    const bool hasLog = lstat(log.c_str(), &logStat) == 0;
    const bool hasIndex = ::access((m_path + "-shm").c_str(), F_OK) == 0;
    if ((hasLog || hasIndex) && (!hasLog || (S_ISREG(logStat.st_mode) && logStat.st_size == 0)) && !InUse(m_path)) {
        for (const char* suffix : {"-wal", "-shm"}) {
            const std::string file = m_path + suffix;
            if (::unlink(file.c_str()) != 0 && errno != ENOENT && !Permitted(file, R_OK | W_OK)) {
                error = "the archive cannot be written: " + file + " cannot be written or removed by this user (" +
                        ErrorText(errno) + "); its owner or an administrator can remove it";
                return false;
            }
        }
    }
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::string file = m_path + suffix;
        struct stat st {};
        if (lstat(file.c_str(), &st) != 0) continue;
        const std::string owner = "user " + std::to_string(st.st_uid) + ", mode " + ModeText(st.st_mode);
        if (!S_ISREG(st.st_mode)) {
            error = "the archive cannot be written: " + file + " is not a regular file (" + owner + ")";
            return false;
        }
        if (Permitted(file, R_OK | W_OK)) continue;
        // This user's own file: it takes the archive's permissions.
        if (st.st_uid == geteuid() && ::chmod(file.c_str(), (archive.st_mode & 0666) | 0600) == 0) continue;
        if (std::strcmp(suffix, "-journal") != 0 && InUse(m_path)) {
            error = "the archive is in use by another program (" + file + ", " + owner +
                    ", cannot be written by this user): try again when it has ended";
            return false;
        }
        error = "the archive cannot be written: " + file + " (" + owner +
                ") holds an interrupted write that this user may not recover; archive a download as its owner, or "
                "as an administrator";
        return false;
    }
    return true;
}

bool Archive::Migrate(std::string& error) {
    std::string cause;
    if (!Exec(m_db, "BEGIN IMMEDIATE", &cause)) {
        error = Reason("cannot update the archive", cause);
        return false;
    }
    // Another program may have brought it up to date meanwhile (or, newer,
    // beyond: then it is left alone).
    std::int64_t application = 0, version = 0, objects = 0;
    bool ok = ReadIdentity(application, version, objects, cause) == SQLITE_OK;
    if (ok && (version < 0 || version > kSchemaVersion)) {
        ok = false;
        cause = "its layout changed to " + std::to_string(version) + " meanwhile";
    }
    for (std::int64_t v = version; ok && v < kSchemaVersion; ++v) {
        ok = Exec(m_db, kMigrations[v], &cause);
        if (ok && v + 1 == 2) ok = HashStoredImages(cause);
        if (ok && v + 1 == 5) ok = StartTrail(static_cast<int>(version), cause);
    }
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                              ";PRAGMA user_version=" + std::to_string(kSchemaVersion);
    ok = ok && Exec(m_db, stamp.c_str(), &cause) && Exec(m_db, "COMMIT", &cause);
    if (!ok) {
        error = Reason("cannot update the archive's layout", cause);
        Exec(m_db, "ROLLBACK");
        return false;
    }
    m_version = kSchemaVersion;
    return true;
}

// The checksums of the downloads an older archive holds, for those that are
// sound now; a damaged one keeps none (and stays damaged for Verify).
bool Archive::HashStoredImages(std::string& cause) {
    std::vector<std::int64_t> ids;
    {
        Statement list(m_db, "SELECT id FROM downloads ORDER BY id");
        if (!list.ok()) return cause = list.Cause(), false;
        int rc;
        while ((rc = list.Step()) == SQLITE_ROW) ids.push_back(list.Int(0));
        if (rc != SQLITE_DONE) return cause = list.Cause(), false;
    }
    Statement store(m_db, "UPDATE downloads SET image_sha256 = ?1 WHERE id = ?2");
    if (!store.ok()) return cause = store.Cause(), false;
    const int version = m_version;
    m_version = 1;  // the images are assembled without a checksum
    bool ok = true;
    for (std::size_t k = 0; ok && k < ids.size(); ++k) {
        std::vector<std::uint8_t> image;
        std::string damage;
        ok = Assemble(ids[k], image, damage, cause);
        if (!ok || !damage.empty()) continue;
        const auto hash = ImageHash(image);
        store.Bind(1, hash.data(), hash.size());
        store.Bind(2, ids[k]);
        ok = store.Step() == SQLITE_DONE;
        if (!ok) cause = store.Cause();
        store.Reset();
    }
    m_version = version;
    return ok;
}

void Archive::SetCacheKiB(int kib) {
    if (m_db == nullptr) return;
    const std::string sql = "PRAGMA cache_size=-" + std::to_string(std::max(kib, 64));
    Exec(m_db, sql.c_str());
}

bool Archive::AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added,
                          std::string& error, const std::string& warnings) {
    if (m_db == nullptr) {
        error = "the archive is not open";
        return false;
    }
    Download d;
    if (!DownloadOf(image, time, d, error)) return false;
    std::string cause;
    if (!Exec(m_db, "BEGIN IMMEDIATE", &cause)) {
        error = Reason("cannot write to the archive", cause);
        return false;
    }
    const auto fail = [&](const std::string& what, const std::string& why) {
        error = why.empty() ? what : Reason(what, why);
        Exec(m_db, "ROLLBACK");
        return false;
    };
    // The structure of the whole file first: a damaged archive takes no
    // write, which could spread the damage, and stays as it is.
    {
        std::string what;
        if (!CheckStructure(what, cause)) return fail(what, cause);
        m_refused = false;
        if (!Admit(audit::Action::Download, what, cause)) return fail(what, cause);
    }
    site::Register reg;
    if (!LoadRegister(reg, cause)) return fail("cannot read the site register", cause);
    // The latest record before this download, for monitoring.
    std::int64_t latestBefore = -1;
    if (!reg.Empty()) {
        Statement latest(m_db, "SELECT max(time) FROM records");
        if (!latest.ok() || latest.Step() != SQLITE_ROW) return fail("cannot read the archive", latest.Cause());
        if (!latest.IsNull(0)) latestBefore = latest.Int(0);
    }
    Statement download(m_db,
                       "INSERT INTO downloads(time, serial, record_count, wrap_position, new_records,"
                       " count_packet, slots, image_sha256, warnings) VALUES(?1, 0, ?2, ?3, 0, ?4, x'', ?5, ?6)");
    Statement find(m_db, "SELECT id, frame FROM records WHERE time = ?1 AND key = ?2");
    Statement insert(m_db,
                     "INSERT INTO records(serial, time, location, key, first_download, frame)"
                     " VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    Statement finish(m_db, "UPDATE downloads SET serial = ?1, new_records = ?2, slots = ?3 WHERE id = ?4");
    for (const Statement* st : {&download, &find, &insert, &finish})
        if (!st->ok()) return fail("cannot write to the archive", st->Cause());
    download.Bind(1, time);
    download.Bind(2, d.recordCount);
    download.Bind(3, d.wrapPosition);
    download.Bind(4, image.data(), kPacket);
    const auto hash = ImageHash(image);
    download.Bind(5, hash.data(), hash.size());
    sqlite3_bind_text(download.get(), 6, warnings.c_str(), static_cast<int>(warnings.size()), SQLITE_TRANSIENT);
    if (download.Step() != SQLITE_DONE) return fail("cannot write to the archive", download.Cause());
    d.id = sqlite3_last_insert_rowid(m_db);
    std::vector<std::uint8_t> slots;
    slots.reserve(4 * static_cast<std::size_t>(d.recordCount));
    // The records no earlier download brought, for monitoring, and all of
    // them for the audit trail.
    std::vector<NewRecord> fresh;
    std::vector<std::int64_t> added_ids;
    Frame frame;
    for (int k = 0; k < d.recordCount; ++k) {
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
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) return fail("cannot write to the archive", find.Cause());
        find.Reset();
        d.serial = FrameSerial(frame);
        if (id == 0) {
            insert.Bind(1, d.serial);
            insert.Bind(2, recordTime);
            insert.Bind(3, frame[1]);
            insert.Bind(4, key);
            insert.Bind(5, d.id);
            insert.Bind(6, frame.data(), size);
            if (insert.Step() != SQLITE_DONE) return fail("cannot write to the archive", insert.Cause());
            insert.Reset();
            id = sqlite3_last_insert_rowid(m_db);
            ++d.newRecords;
            added_ids.push_back(id);
            if (!reg.Empty()) fresh.push_back({id, recordTime, frame});
        }
        if (id <= 0 || id > 0xFFFFFFFF) return fail("cannot write to the archive", "record ids beyond 32 bits");
        for (int shift = 0; shift < 32; shift += 8) slots.push_back(static_cast<std::uint8_t>(id >> shift));
    }
    finish.Bind(1, d.serial);
    finish.Bind(2, d.newRecords);
    finish.Bind(3, slots.data(), slots.size());
    finish.Bind(4, d.id);
    if (finish.Step() != SQLITE_DONE) return fail("cannot write to the archive", finish.Cause());
    const auto monitoring = std::chrono::steady_clock::now();
    if (!reg.Empty() && !MonitorNewRecords(reg, fresh, latestBefore, d.id, cause))
        return fail("cannot judge the new records", cause);
    m_monitoringMs =
        reg.Empty() ? 0.0
                    : std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - monitoring).count();
    {
        // The download and its new records bound into the audit trail.
        Statement next(m_db, "SELECT coalesce(max(seq), 0) + 1 FROM audit");
        if (next.Step() != SQLITE_ROW) return fail("cannot read the audit trail", next.Cause());
        const std::int64_t seq = next.Int(0);
        std::string digest;
        if (!BindRecords(seq, added_ids, digest, cause)) return fail("cannot write the audit trail", cause);
        const std::string hex = audit::Hex(hash.data(), hash.size());
        const std::string data =
            nlohmann::json{{"download", d.id},         {"image_sha256", hex},      {"new_records", d.newRecords},
                           {"records", d.recordCount}, {"records_sha256", digest}, {"serial", d.serial}}
                .dump();
        std::int64_t appended = 0;
        if (!Append("download archived", data, {}, appended, cause) || appended != seq)
            return fail("cannot write the audit trail", cause);
    }
    if (beforeCommit) beforeCommit();
    if (!Exec(m_db, "COMMIT", &cause)) return fail("cannot write to the archive", cause);
    d.warnings = warnings;
    if (added != nullptr) *added = d;
    return true;
}

bool Archive::Downloads(std::vector<Download>& downloads, std::string& error) {
    downloads.clear();
    if (m_db == nullptr) return true;
    Statement st(m_db, m_version >= 3 ? "SELECT id, time, serial, record_count, wrap_position, new_records, warnings"
                                        " FROM downloads ORDER BY id"
                                      : "SELECT id, time, serial, record_count, wrap_position, new_records, ''"
                                        " FROM downloads ORDER BY id");
    if (!st.ok()) {
        error = Reason("cannot read the archive", st.Cause());
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
        d.warnings = st.Text(6);
        downloads.push_back(d);
    }
    if (rc != SQLITE_DONE) error = Reason("cannot read the archive", st.Cause());
    return rc == SQLITE_DONE;
}

bool Archive::Locations(std::vector<int>& locations, std::string& error) {
    locations.clear();
    if (m_db == nullptr) return true;
    // One seek in the location index per location, not a scan of every record.
    Statement st(m_db, "SELECT min(location) FROM records WHERE location > ?1");
    if (!st.ok()) {
        error = Reason("cannot read the archive", st.Cause());
        return false;
    }
    std::int64_t after = -1;
    while (true) {
        st.Bind(1, after);
        if (st.Step() != SQLITE_ROW) {
            error = Reason("cannot read the archive", st.Cause());
            return false;
        }
        if (st.IsNull(0)) return true;
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
        error = Reason("cannot read the archive", st.Cause());
        return false;
    }
    if (!st.IsNull(0)) span.emplace(st.Int(0), st.Int(1));
    return true;
}

bool Archive::Assemble(std::int64_t id, std::vector<std::uint8_t>& image, std::string& damage, std::string& cause) {
    damage.clear();
    Statement download(m_db, m_version >= 2 ? "SELECT count_packet, slots, record_count, wrap_position, image_sha256"
                                              " FROM downloads WHERE id = ?1"
                                            : "SELECT count_packet, slots, record_count, wrap_position, NULL"
                                              " FROM downloads WHERE id = ?1");
    Statement record(m_db, "SELECT frame, key FROM records WHERE id = ?1");
    for (const Statement* st : {&download, &record})
        if (!st->ok()) return cause = st->Cause(), false;
    download.Bind(1, id);
    const int rc = download.Step();
    if (rc == SQLITE_DONE) {
        cause = "no download " + std::to_string(id);
        return false;
    }
    if (rc != SQLITE_ROW) return cause = download.Cause(), false;
    const auto [count, countSize] = download.Blob(0);
    const auto [slots, slotsSize] = download.Blob(1);
    const std::int64_t recordCount = download.Int(2);
    const std::int64_t wrapPosition = download.Int(3);
    if (countSize != kPacket) {
        damage = "its count packet is " + std::to_string(countSize) + " bytes long, not 64";
        return true;
    }
    const auto [announced, wrap] = CountOf(count);
    if (announced != recordCount || wrap != wrapPosition) {
        damage = "its count packet announces " + std::to_string(announced) + " records, the archive lists " +
                 std::to_string(recordCount);
        if (announced == recordCount)
            damage = "its count packet gives the wrap position " + std::to_string(wrap) + ", the archive " +
                     std::to_string(wrapPosition);
        return true;
    }
    if (slotsSize != 4 * static_cast<std::size_t>(recordCount)) {
        damage = "it names " + std::to_string(slotsSize / 4) + " record slots for its " + std::to_string(recordCount) +
                 " records";
        return true;
    }
    image.assign(count, count + countSize);
    image.reserve(kPacket + 2 * kPacket * static_cast<std::size_t>(recordCount));
    Frame frame;
    for (std::size_t k = 0; k < static_cast<std::size_t>(recordCount); ++k) {
        const std::uint8_t* s = slots + 4 * k;
        const std::int64_t recordId =
            std::int64_t{s[0]} | (std::int64_t{s[1]} << 8) | (std::int64_t{s[2]} << 16) | (std::int64_t{s[3]} << 24);
        const std::string which = "record " + std::to_string(k + 1) + " of " + std::to_string(recordCount);
        record.Bind(1, recordId);
        const int found = record.Step();
        if (found == SQLITE_DONE) {
            damage = which + " is missing from the archive";
            return true;
        }
        if (found != SQLITE_ROW) return cause = record.Cause(), false;
        const auto [data, size] = record.Blob(0);
        if (size > frame.size()) {
            damage = which + " is longer than a record frame";
            return true;
        }
        frame.fill(0);
        if (size > 0) std::memcpy(frame.data(), data, size);
        if (FrameKey(frame) != record.Int(1)) {
            damage = which + " does not match its key";
            return true;
        }
        image.insert(image.end(), frame.begin(), frame.end());
        record.Reset();
    }
    if (!download.IsNull(4)) {
        const auto [stored, storedSize] = download.Blob(4);
        const auto hash = ImageHash(image);
        if (storedSize != hash.size() || std::memcmp(stored, hash.data(), hash.size()) != 0) {
            damage = "its memory image does not match the SHA-256 taken when it was archived";
            return true;
        }
    }
    return true;
}

bool Archive::LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error) {
    const std::string missing = "no download " + std::to_string(id) + " in the archive: " + m_path;
    if (m_db == nullptr) {
        error = missing;
        return false;
    }
    // Every read sees one state of the archive.
    std::string cause;
    if (!Exec(m_db, "BEGIN", &cause)) {
        error = Reason("cannot read the archive", cause);
        return false;
    }
    std::string damage;
    std::vector<std::uint8_t> assembled;
    const bool read = Assemble(id, assembled, damage, cause);
    Exec(m_db, "COMMIT");
    if (!read) {
        error = cause == "no download " + std::to_string(id) ? missing : Reason("cannot read the archive", cause);
        return false;
    }
    if (!damage.empty()) {
        error = "archived download " + std::to_string(id) + " is damaged (" + damage + ")";
        return false;
    }
    image = std::move(assembled);
    return true;
}

bool Archive::ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                            std::string& error) {
    if (m_db == nullptr) return true;
    // A page of records at a time, each page one read transaction, after
    // the last record of the one before (by time, then id).
    std::string sql = "SELECT id, serial, first_download, frame, time FROM records WHERE (time, id) > (?5, ?6)";
    if (filter.serial) sql += " AND serial = ?1";
    if (filter.location) sql += " AND location = ?2";
    if (filter.from) sql += " AND time >= ?3";
    if (filter.to) sql += " AND time <= ?4";
    sql += " ORDER BY time, id LIMIT " + std::to_string(kRecordsPerRead);
    Statement st(m_db, sql.c_str());
    if (!st.ok()) {
        error = Reason("cannot read the archive", st.Cause());
        return false;
    }
    std::vector<Record> page;
    page.reserve(kRecordsPerRead);
    std::int64_t lastTime = -1;
    std::int64_t lastId = 0;
    while (true) {
        if (filter.serial) st.Bind(1, *filter.serial);
        if (filter.location) st.Bind(2, *filter.location);
        if (filter.from) st.Bind(3, *filter.from);
        if (filter.to) st.Bind(4, *filter.to);
        st.Bind(5, lastTime);
        st.Bind(6, lastId);
        page.clear();
        int rc;
        while ((rc = st.Step()) == SQLITE_ROW) {
            Record& r = page.emplace_back();
            r.id = st.Int(0);
            r.serial = static_cast<std::uint32_t>(st.Int(1));
            r.firstDownload = st.Int(2);
            const auto [frame, size] = st.Blob(3);
            if (size > 0) std::memcpy(r.frame.data(), frame, std::min(size, r.frame.size()));
            lastTime = st.Int(4);
            lastId = r.id;
        }
        st.Reset();
        if (rc != SQLITE_DONE) {
            error = Reason("cannot read the archive", st.Cause());
            return false;
        }
        for (const Record& r : page)
            if (!handle(r)) return true;
        if (page.size() < static_cast<std::size_t>(kRecordsPerRead)) return true;
    }
}

bool Archive::Verify(Verification& result, std::string& error) {
    result = Verification{};
    if (m_db == nullptr) return true;
    const auto found = [&result](std::string finding) {
        if (result.damage.size() < kMostFindings)
            result.damage.push_back(std::move(finding));
        else
            ++result.moreDamage;
    };
    // Each part reads in a transaction of its own (a download is assembled
    // in one), so that a writer waits for one part at most.
    std::string cause;
    {
        Statement check(m_db, "PRAGMA integrity_check(100)");
        if (!check.ok()) {
            error = Reason("cannot verify the archive", check.Cause());
            return false;
        }
        int rc = SQLITE_ROW;
        while (check.ok() && (rc = check.Step()) == SQLITE_ROW)
            if (check.Text(0) != "ok") found("SQLite's integrity check: " + check.Text(0));
        if (rc != SQLITE_DONE) found("SQLite's integrity check could not finish (" + check.Cause() + ")");
    }
    std::vector<std::int64_t> ids;
    {
        Statement list(m_db, "SELECT id FROM downloads ORDER BY id");
        int rc = list.ok() ? SQLITE_ROW : SQLITE_ERROR;
        while (list.ok() && (rc = list.Step()) == SQLITE_ROW) ids.push_back(list.Int(0));
        if (rc != SQLITE_DONE) found("the list of downloads cannot be read (" + list.Cause() + ")");
    }
    result.downloads = static_cast<std::int64_t>(ids.size());
    for (const std::int64_t id : ids) {
        std::vector<std::uint8_t> image;
        std::string damage;
        if (!Assemble(id, image, damage, cause))
            found("download " + std::to_string(id) + " cannot be read (" + cause + ")");
        else if (!damage.empty())
            found("download " + std::to_string(id) + " is damaged (" + damage + ")");
    }
    {
        Statement records(m_db, "SELECT id, serial, time, location, key, frame FROM records ORDER BY id");
        int rc = records.ok() ? SQLITE_ROW : SQLITE_ERROR;
        Frame frame;
        while (records.ok() && (rc = records.Step()) == SQLITE_ROW) {
            ++result.records;
            const auto [data, size] = records.Blob(5);
            const std::string which = "record " + std::to_string(records.Int(0));
            if (size > frame.size()) {
                found(which + " is longer than a record frame");
                continue;
            }
            frame.fill(0);
            if (size > 0) std::memcpy(frame.data(), data, size);
            const char* what = FrameKey(frame) != records.Int(4)                                  ? "key"
                               : FrameTimeKey(frame) != records.Int(2)                            ? "date and time"
                               : frame[1] != records.Int(3)                                       ? "location"
                               : FrameSerial(frame) != static_cast<std::uint32_t>(records.Int(1)) ? "serial number"
                                                                                                  : nullptr;
            if (what != nullptr) found(which + " does not match its " + std::string(what));
        }
        if (rc != SQLITE_DONE) found("the records cannot be read (" + records.Cause() + ")");
    }
    return true;
}

}  // namespace oront::archive
