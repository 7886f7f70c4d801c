// The download archive: every successful download kept in one SQLite file,
// its records de-duplicated across downloads.
//
// A download keeps its time, the instrument's serial number, the record
// count, the wrap position and the exact memory image received (the count
// packet and, slot by slot, the record whose frame the instrument sent), so
// that it replays byte for byte. A record is its 128-byte frame, which holds
// the serial number, the date and time, mode, location, point, cycle and
// counts: the same frame from the same instrument is one record however
// often it is downloaded, and it remembers the download that first brought
// it. Each download is written in one transaction (a kill leaves the archive
// as before or with the whole download); the file is in WAL mode with a busy
// timeout, so that two programs archiving at once both succeed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace oront::archive {

// The layout version this program writes (PRAGMA user_version). An older
// archive is migrated forward when opened for writing; a newer one is refused.
inline constexpr int kSchemaVersion = 1;

// $ORONT_ARCHIVE, else $XDG_DATA_HOME/oront-v208/archive.sqlite, else
// ~/.local/share/oront-v208/archive.sqlite; empty when none can be formed.
std::string DefaultArchivePath();

struct Download {
    std::int64_t id = 0;    // 1, 2, 3 ... in the order of archiving
    std::int64_t time = 0;  // when it was archived, seconds since the epoch
    std::uint32_t serial = 0;
    int recordCount = 0;
    int wrapPosition = 0;
    int newRecords = 0;  // records no earlier download brought
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
// "YYYY-MM-DD" (from: 00:00:00, to: 23:59:59 of that day) or
// "YYYY-MM-DD hh:mm:ss", years 2000 to 2099; nullopt when malformed.
std::optional<std::int64_t> ParseTimeKey(const std::string& text, bool endOfDay);

enum class OpenMode { ReadWrite, ReadOnly };

class Archive {
public:
    Archive() = default;
    ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    // Opens the archive at `path`. ReadWrite creates it (and its folder) when
    // missing and migrates an older layout; ReadOnly needs an existing file.
    // A file that is not an archive of this program (corrupt, foreign, a
    // newer layout) is refused and left untouched, and so is an archive the
    // program may not write in ReadWrite. false with the reason in `error`.
    bool Open(const std::string& path, OpenMode mode, std::string& error);

    // Archives one download: the memory image received (the count packet,
    // then two packets per record in slot order) at `time`.
    bool AddDownload(const std::vector<std::uint8_t>& image, std::int64_t time, Download* added, std::string& error);

    // Every download, in the order of archiving.
    bool Downloads(std::vector<Download>& downloads, std::string& error);
    // The memory image of download `id`, byte for byte as it was received.
    bool LoadImage(std::int64_t id, std::vector<std::uint8_t>& image, std::string& error);
    // The records that pass the filter, in the order of their date and time
    // (then of archiving), one at a time: nothing is loaded as a whole.
    // `handle` returns false to stop.
    bool ForEachRecord(const RecordFilter& filter, const std::function<bool(const Record&)>& handle,
                       std::string& error);

    // The locations the archived records name, in ascending order.
    bool Locations(std::vector<int>& locations, std::string& error);
    // The TimeKeys of the earliest and the latest record; nullopt for none.
    bool TimeSpan(std::optional<std::pair<std::int64_t, std::int64_t>>& span, std::string& error);

    // For tests: called inside a download's transaction, before the commit.
    std::function<void()> beforeCommit;

private:
    bool Migrate(std::string& error);
    std::string Reason(const char* what) const;

    sqlite3* m_db = nullptr;
    std::string m_path;
};

}  // namespace oront::archive
