#include "export/CsvWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "records/CFormat.h"
#include "records/RecordCells.h"
#include "records/TableBuild.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace oront {
namespace {

constexpr std::string_view kTitleLines =
    "[Test data]\r\n"
    "\r\n"
    "Record,Mode,Location,Points,Cycles,Date & Time,Sample Time,Hold Time,"
    "Ch1 Size, Ch1 Data ,Ch2 Size, Ch2 Data,Ch3 Size,Ch3 Data ,Unit,Status,\r\n";

#if defined(__GNUC__)
#define ORONT_CSV_INLINE [[gnu::always_inline]] inline
#else
#define ORONT_CSV_INLINE inline
#endif

// The bytes of the file as they are built: a buffer with room ahead, so that
// appending a cell is a plain copy.
class LineBuffer {
public:
    ORONT_CSV_INLINE void Append(std::string_view text) {
        Reserve(text.size());
        std::memcpy(m_buf.data() + m_len, text.data(), text.size());
        m_len += text.size();
    }
    ORONT_CSV_INLINE void Append(const Text& text) {
        const std::size_t n = text.size();
        if (n > Text::kInlineCapacity) return Append(text.view());
        // An inline text lives in the 24 bytes of the Text itself: copying all
        // of them is one fixed-size move; only its n characters count.
        Reserve(sizeof(Text));
        std::memcpy(m_buf.data() + m_len, text.c_str(), sizeof(Text));
        m_len += n;
    }
    ORONT_CSV_INLINE void Append(char c) {
        Reserve(1);
        m_buf[m_len++] = c;
    }
    [[nodiscard]] std::string_view View() const { return {m_buf.data(), m_len}; }
    [[nodiscard]] std::size_t Size() const { return m_len; }
    void Clear() { m_len = 0; }
    std::string Take() {
        m_buf.resize(m_len);
        m_len = 0;
        return std::move(m_buf);
    }

private:
    ORONT_CSV_INLINE void Reserve(std::size_t n) {
        if (m_len + n > m_buf.size()) [[unlikely]]
            Grow(n);
    }
    void Grow(std::size_t n) { m_buf.resize(std::max(2 * m_buf.size(), m_len + n + 4096)); }
    std::string m_buf;
    std::size_t m_len = 0;
};

// Appends the line (or four lines) of one result row.
void AppendRow(const ResultRow& row, LineBuffer& out) {
    if (row[ResultRow::m_strKind] == kind::kSummary) {
        static constexpr std::string_view kLabels[4] = {",,,,AVG,,,,", ",,,,MAX,,,,", ",,,,MIN,,,,", ",,,,95%UCL,,,,"};
        static constexpr int kFields[4] = {ResultRow::m_strAvg, ResultRow::m_strMax, ResultRow::m_strMin,
                                           ResultRow::m_strUcl};
        const Text& unit = row[ResultRow::Copy(MeasurementRecord::m_strUnit)];
        for (int i = 0; i < 4; ++i) {
            out.Append(kLabels[i]);
            for (int c = 0; c < 3; ++c) {
                out.Append(',');
                out.Append(row[kFields[i] + c]);
                out.Append(',');
            }
            out.Append(unit);
            out.Append(std::string_view("\r\n"));
        }
        return;
    }
    // The same cells as the report table; a line without a Status cell ends
    // after the Unit cell's comma.
    struct CsvSink {
        LineBuffer& out;
        ORONT_CSV_INLINE void Copy(int, const Text& text) {
            out.Append(text);
            out.Append(',');
        }
        ORONT_CSV_INLINE void Put(int, std::string_view text) {
            out.Append(text);
            out.Append(',');
        }
        ORONT_CSV_INLINE void Empty(int column) {
            if (column != ReportLine::Status) out.Append(',');
        }
    } sink{out};
    RecordLineCells(row, sink);
    out.Append(std::string_view("\r\n"));
}

// Asks for a later row's memory while the current one is written: a row
// spans many cache lines and the rows of a full memory do not fit the cache.
void PrefetchRow([[maybe_unused]] const ResultRow& row) {
#if defined(__GNUC__)
    const char* p = reinterpret_cast<const char*>(&row);
    for (std::size_t off = 0; off < sizeof(ResultRow); off += 64) __builtin_prefetch(p + off);
#endif
}

// Appends rows start..end, calling flush whenever the buffer holds a block.
template <typename Flush>
bool AppendRows(const RecordStore& store, int start, int end, LineBuffer& out, Flush&& flush) {
    constexpr int kPrefetchAhead = 2;
    for (int i = start; i <= end; ++i) {
        if (i + kPrefetchAhead <= end) PrefetchRow(store.m_rows[static_cast<std::size_t>(i + kPrefetchAhead)]);
        AppendRow(store.m_rows[static_cast<std::size_t>(i)], out);
        if (!flush(out)) return false;
    }
    return true;
}

// Rows that exist in the table; indices outside it are never read.
void ClampRange(const RecordStore& store, int& start, int& end) {
    start = std::max(start, 0);
    end = static_cast<int>(std::min<long long>(end, static_cast<long long>(store.m_rows.size()) - 1));
}

#ifdef _WIN32
using FileHandle = int;
bool WriteAll(FileHandle fd, const char* data, std::size_t size) {
    while (size > 0) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
        const int n = _write(fd, data, chunk);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
bool OpenTemporary(const std::string& target, std::string& tempPath, FileHandle& fd) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        tempPath =
            target + ".tmp" + FormatInt(static_cast<long long>(GetCurrentProcessId())) + "_" + FormatInt(attempt);
        fd = _open(tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (fd >= 0) return true;
        if (errno != EEXIST) return false;
    }
    return false;
}
bool SyncAndClose(FileHandle fd) {
    const bool synced = _commit(fd) == 0;
    return (_close(fd) == 0) && synced;
}
void CloseQuietly(FileHandle fd) {
    _close(fd);
}
bool ReplaceTarget(const std::string& tempPath, const std::string& target) {
    return MoveFileExA(tempPath.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
void RemoveTemporary(const std::string& tempPath) {
    _unlink(tempPath.c_str());
}
#else
using FileHandle = int;
bool WriteAll(FileHandle fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}
bool OpenTemporary(const std::string& target, std::string& tempPath, FileHandle& fd) {
    // The temporary lies in the target's folder so that the final rename
    // stays within one file system.
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    tempPath = folder + "." + base + ".XXXXXX";
    fd = ::mkstemp(tempPath.data());
    if (fd < 0) return false;
    // A new file gets the usual permissions; a replaced file keeps its own.
    struct stat st {};
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    return true;
}
bool SyncAndClose(FileHandle fd) {
    const bool synced = ::fsync(fd) == 0;
    return (::close(fd) == 0) && synced;
}
void CloseQuietly(FileHandle fd) {
    ::close(fd);
}
bool ReplaceTarget(const std::string& tempPath, const std::string& target) {
    return ::rename(tempPath.c_str(), target.c_str()) == 0;
}
void RemoveTemporary(const std::string& tempPath) {
    ::unlink(tempPath.c_str());
}
#endif

// Saving over a symbolic link replaces the file it points to and keeps the
// link, as editors do; a link that leads nowhere is replaced like any file.
std::string ResolveTarget(const std::string& path) {
#ifndef _WIN32
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
#endif
    return path;
}

}  // namespace

std::string CsvText(const RecordStore& store, int start, int end) {
    ClampRange(store, start, end);
    LineBuffer out;
    out.Append(kTitleLines);
    AppendRows(store, start, end, out, [](LineBuffer&) { return true; });
    return out.Take();
}

bool WriteCsvFile(const RecordStore& store, const std::string& path, int start, int end) {
    if (path.empty()) return false;
    const std::string target = ResolveTarget(path);
    std::string tempPath;
    FileHandle fd{};
    if (!OpenTemporary(target, tempPath, fd)) return false;

    // Lines are collected into a bounded buffer and written in blocks, so the
    // memory used does not grow with the number of rows.
    constexpr std::size_t kBlock = 1 << 16;
    LineBuffer buffer;
    buffer.Append(kTitleLines);
    ClampRange(store, start, end);
    bool ok = AppendRows(store, start, end, buffer, [&](LineBuffer& out) {
        if (out.Size() < kBlock) return true;
        const bool written = WriteAll(fd, out.View().data(), out.Size());
        out.Clear();
        return written;
    });
    if (ok) ok = WriteAll(fd, buffer.View().data(), buffer.Size());
    if (ok) {
        ok = SyncAndClose(fd);
    } else {
        CloseQuietly(fd);
    }
    // The target is replaced only by a completely written file.
    if (ok) ok = ReplaceTarget(tempPath, target);
    if (!ok) RemoveTemporary(tempPath);
    return ok;
}

std::string DefaultFileName(std::time_t now) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    const long long parts[6] = {local.tm_year + 1900LL, local.tm_mon + 1LL, local.tm_mday,
                                local.tm_hour,          local.tm_min,       local.tm_sec};
    std::string name;
    for (long long part : parts) name += FormatMinDigits(part, 2);
    return name;
}

}  // namespace oront
