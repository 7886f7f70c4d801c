#include "base/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

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
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <sys/random.h>
#endif

#include <locale.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#endif

namespace oront {
namespace {

// ".oront-" and six random characters: short enough for any folder, whatever
// the length of the target's own name.
constexpr char kTempPrefix[] = ".oront-";
constexpr std::size_t kRandomChars = 6;
constexpr int kNameAttempts = 100;

// Six characters from the system's random source; an attacker who can write
// into the folder cannot tell the next name in advance.
std::string RandomName() {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    unsigned char bytes[kRandomChars] = {};
#ifdef _WIN32
    std::random_device device;
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(device());
#else
    if (::getentropy(bytes, sizeof bytes) != 0) {
        std::random_device device;
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(device());
    }
#endif
    std::string name = kTempPrefix;
    for (unsigned char b : bytes) name += kAlphabet[b & 63];
    return name;
}

// Writes every byte; 0 or the errno of the failure.
int WriteAll(int fd, const char* p, std::size_t size) {
    while (size > 0) {
#ifdef _WIN32
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
        const int n = ::_write(fd, p, chunk);
#else
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n < 0) return errno != 0 ? errno : EIO;
        if (n == 0) return ENOSPC;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// --- The primitives of a rewrite in place ------------------------------------
#ifdef _WIN32
using FileOffset = long long;
#else
using FileOffset = off_t;
#endif

// An old file larger than this is not held in memory for putting it back;
// the reservation alone protects it.
constexpr FileOffset kBackupLimit = FileOffset{1} << 28;

// The file's length; -1 when it cannot be told.
FileOffset LengthOf(int fd) {
#ifdef _WIN32
    return ::_filelengthi64(fd);
#else
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
#endif
}

// 0 or an errno value.
int Rewind(int fd) {
#ifdef _WIN32
    return ::_lseeki64(fd, 0, SEEK_SET) == 0 ? 0 : errno;
#else
    return ::lseek(fd, 0, SEEK_SET) == 0 ? 0 : errno;
#endif
}

// Sets the file's length: 0 or an errno value.
int Cut(int fd, FileOffset size) {
#ifdef _WIN32
    return ::_chsize_s(fd, size);
#else
    int rc;
    do {
        rc = ::ftruncate(fd, size);
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : errno;
#endif
}

// 0 or an errno value.
int Sync(int fd) {
#ifdef _WIN32
    return ::_commit(fd) == 0 ? 0 : errno;
#else
    return ::fsync(fd) == 0 ? 0 : errno;
#endif
}

// The file's first `size` bytes; false when they cannot be read (a file
// opened for writing only, or one that shrank meanwhile). The position is
// back at the start either way.
bool ReadFromStart(int fd, FileOffset size, std::string& bytes) {
    bytes.clear();
    if (size < 0 || size > kBackupLimit || Rewind(fd) != 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const int n = ::_read(fd, bytes.data() + done, chunk);
#else
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
#endif
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool whole = done == bytes.size();
    if (!whole) bytes.clear();
    return Rewind(fd) == 0 && whole;
}

// Holds the disk space for the file's first `size` bytes before any old byte
// is overwritten, so that a full disk or an exhausted quota fails here with
// the file as it was. Where the reservation grew the file and then failed, it
// is cut back to `oldSize`. 0, or an errno value.
int Reserve(int fd, FileOffset oldSize, FileOffset size) {
    if (size <= 0) return 0;
#ifdef _WIN32
    // Overwriting the file's own clusters takes no new space; a longer file
    // is first extended with zeros past its old end, which allocates them.
    if (size <= oldSize) return 0;
    const int error = ::_chsize_s(fd, size);
    if (error != 0) Cut(fd, oldSize);
    return error;
#else
#ifdef __linux__
    // The space only: the file keeps its length.
    for (;;) {
        if (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0) return 0;
        if (errno != EINTR) break;
    }
    if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
#endif
#if defined(__APPLE__)
    (void)oldSize;
    return ENOTSUP;
#else
    // The portable call may lengthen the file (glibc writes a zero byte into
    // each block the file system does not report as allocated).
    int error;
    do {
        error = ::posix_fallocate(fd, 0, size);
    } while (error == EINTR);
    if (error != 0 && LengthOf(fd) != oldSize) Cut(fd, oldSize);
    return error;
#endif
#endif
}

// A file system that cannot reserve space at all: the file is written
// without the reservation. Some systems say so with EINVAL (the arguments
// are valid), and glibc's stand-in for posix_fallocate reads the file and
// gives EBADF for one opened for writing only.
bool CannotReserve(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL || error == EBADF;
}

}  // namespace

std::string ErrorText(int error) {
#ifdef _WIN32
    char buf[256] = {};
    if (strerror_s(buf, sizeof buf, error) != 0) return "Unknown error " + std::to_string(error);
    return buf;
#else
    // The "C" locale's text: messages do not change with the user's language.
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    if (c != static_cast<locale_t>(nullptr)) return ::strerror_l(error, c);
    return "Unknown error " + std::to_string(error);
#endif
}

std::string OutputResult::Describe() const {
    if (error == 0) return {};
    return (reason.empty() ? ErrorText(error) : reason) + ": " + path +
           (leftAsItWas ? " (the file is left as it was)" : "");
}

namespace {

struct ProtectedFiles {
    std::mutex lock;
    std::vector<std::string> paths;
    std::string reason;
};

ProtectedFiles& Protected() {
    static ProtectedFiles files;
    return files;
}

// Whether writing `target` would write `file` (see ProtectFromOutput).
bool WritesFile(const std::string& target, const std::string& file);

}  // namespace

void ProtectFromOutput(const std::vector<std::string>& paths, const std::string& reason) {
    ProtectedFiles& p = Protected();
    std::lock_guard<std::mutex> guard(p.lock);
    p.paths = paths;
    p.reason = reason;
}

std::string ProtectedFileAt(const std::string& path) {
    ProtectedFiles& p = Protected();
    std::lock_guard<std::mutex> guard(p.lock);
    for (const std::string& file : p.paths)
        if (WritesFile(path, file)) return file;
    return {};
}

// Refuses a protected target before anything is created.
// A file created only where nothing is yet never replaces a protected one.
bool OutputFile::RefuseProtected() {
    if (m_options.createOnly || ProtectedFileAt(m_result.path).empty()) return false;
    {
        ProtectedFiles& p = Protected();
        std::lock_guard<std::mutex> guard(p.lock);
        m_result.reason = p.reason;
    }
    Fail(EPERM);
    return true;
}

OutputFile::~OutputFile() {
    Abort();
}

bool OutputFile::Fail(int error) {
    m_result.error = error != 0 ? error : EIO;
    m_result.method = OutputMethod::kNone;
    Release();
    return false;
}

bool OutputFile::Write(const void* data, std::size_t size) {
    if (!m_open) {
        if (m_result.error == 0) m_result.error = EBADF;
        return false;
    }
    if (m_plan == OutputMethod::kInPlace) {
        // The existing file is only touched by Commit, so that an abandoned
        // run leaves it as it was.
        m_pending.append(static_cast<const char*>(data), size);
        return true;
    }
    if (const int error = WriteAll(m_fd, static_cast<const char*>(data), size)) return Fail(error);
#ifdef SYNC_FILE_RANGE_WRITE
    // A large temporary starts on its way to the disk while the rest is
    // made, so that the sync at Commit waits only for its last part. Only a
    // start: whether it was made is known from that sync.
    m_written += static_cast<long long>(size);
    constexpr long long kSendEvery = 256 * 1024;
    if (m_plan == OutputMethod::kReplaced && m_written - m_sentOn >= kSendEvery) {
        ::sync_file_range(m_fd, m_sentOn, m_written - m_sentOn, SYNC_FILE_RANGE_WRITE);
        m_sentOn = m_written;
    }
#endif
    return true;
}

// Rewrites the open file in place with the held bytes, and syncs it. On a
// failure the file keeps its old bytes and length wherever that can be
// made so, and the result says whether it was.
bool OutputFile::RewriteInPlace() {
    const FileOffset oldSize = LengthOf(m_fd);
    if (oldSize < 0) return Fail(errno);
    const auto size = static_cast<FileOffset>(m_pending.size());
    // The old bytes, to put back should a write fail after the reservation
    // (an I/O error, a copy-on-write or network file system).
    std::string old;
    const bool held = ReadFromStart(m_fd, oldSize, old);
    if (const int error = Reserve(m_fd, oldSize, size); error != 0 && !CannotReserve(error)) {
        m_result.leftAsItWas = LengthOf(m_fd) == oldSize;
        return Fail(error);
    }
    int error = Rewind(m_fd);
    if (error == 0) error = WriteAll(m_fd, m_pending.data(), m_pending.size());
    if (error == 0) error = Cut(m_fd, size);  // the old file's longer tail
    if (error == 0) error = Sync(m_fd);
    if (error == 0) return true;
    m_result.leftAsItWas = held && Rewind(m_fd) == 0 && WriteAll(m_fd, old.data(), old.size()) == 0 &&
                           Cut(m_fd, oldSize) == 0 && Sync(m_fd) == 0;
    return Fail(error);
}

OutputResult WriteOutputFile(const std::string& path, std::string_view bytes, const OutputOptions& options) {
    OutputFile file;
    if (file.Open(path, options) && file.Write(bytes)) file.Commit();
    return file.Result();
}

#ifdef _WIN32
namespace {

// Windows: the same name after making it absolute, in any letter case.
bool WritesFile(const std::string& target, const std::string& file) {
    char a[_MAX_PATH] = {};
    char b[_MAX_PATH] = {};
    if (_fullpath(a, target.c_str(), sizeof a) == nullptr || _fullpath(b, file.c_str(), sizeof b) == nullptr)
        return false;
    return _stricmp(a, b) == 0;
}

}  // namespace

// Windows: no symbolic links are followed (MoveFileEx replaces the name
// itself), and no signal-time registry is needed: SIGTERM and SIGHUP are not
// sent there, and Ctrl+C ends a console program from a thread of its own
// through ExitProcess, outside the signal model the POSIX registry serves. A
// temporary is removed by Abort and the destructor.
namespace {

int ErrnoOfLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        default:
            return EIO;
    }
}

// Moves the temporary over the target. A target that another writer is
// replacing at the same moment, or that a reader (a virus scanner, an
// indexer) holds open without delete sharing, refuses the move for a short
// while; the move is tried again for up to about a second.
bool ReplaceFile(const std::string& temporary, const std::string& target) {
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD error = GetLastError();
        if (attempt >= 100 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) return false;
        Sleep(10);
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

bool OutputFile::Open(const std::string& path, const OutputOptions& options) {
    Abort();
    m_result = OutputResult{};
    m_result.path = path;
    m_options = options;
    m_pending.clear();
    if (path.empty()) return Fail(ENOENT);
    if (RefuseProtected()) return false;
    struct _stat64 st {};
    const bool exists = ::_stat64(path.c_str(), &st) == 0;
    if (exists && options.createOnly) return Fail(EEXIST);
    if (exists && (st.st_mode & _S_IFDIR) != 0) return Fail(EISDIR);
    if (exists && (st.st_mode & _S_IFREG) == 0) {
        // A device such as NUL or CON.
        m_fd = ::_open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
        if (m_fd < 0) return Fail(errno);
        m_plan = OutputMethod::kDirect;
        m_open = true;
        return true;
    }
    const std::string folder = FolderOf(path);
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
        m_tempName = folder + RandomName();
        m_fd = ::_open(m_tempName.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                       _S_IREAD | _S_IWRITE);
        error = m_fd >= 0 ? 0 : errno;
    }
    if (m_fd >= 0) {
        m_finalName = path;
        m_plan = OutputMethod::kReplaced;
        m_open = true;
        return true;
    }
    m_tempName.clear();
    if (exists && error == EACCES) {
        // The folder refuses new files; the file itself may still be writable
        // (and readable, so that its bytes can be put back after a failure).
        m_fd = ::_open(path.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
        if (m_fd < 0) m_fd = ::_open(path.c_str(), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
        if (m_fd >= 0) {
            m_plan = OutputMethod::kInPlace;
            m_open = true;
            return true;
        }
    }
    return Fail(error);
}

bool OutputFile::Commit() {
    if (!m_open) {
        if (m_result.error == 0) m_result.error = EBADF;
        return false;
    }
    if (m_plan == OutputMethod::kInPlace && !RewriteInPlace()) return false;
    if (m_plan == OutputMethod::kReplaced && ::_commit(m_fd) != 0) return Fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::_close(fd) != 0) return Fail(errno);
    if (m_plan == OutputMethod::kReplaced) {
        if (m_options.createOnly) {
            if (!MoveFileExA(m_tempName.c_str(), m_finalName.c_str(), MOVEFILE_WRITE_THROUGH))
                return Fail(GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : ErrnoOfLastError());
        } else if (!ReplaceFile(m_tempName, m_finalName)) {
            return Fail(ErrnoOfLastError());
        }
        m_tempName.clear();
    }
    m_result.method = m_plan;
    m_open = false;
    Release();
    return true;
}

void OutputFile::Release() {
    if (m_fd >= 0) ::_close(m_fd);
    m_fd = -1;
    if (!m_tempName.empty()) ::_unlink(m_tempName.c_str());
    m_tempName.clear();
    m_pending.clear();
    m_open = false;
}

void OutputFile::Abort() {
    Release();
}

#else  // POSIX

namespace {

// --- Removal of open temporaries when the program is ended by a signal -----
//
// The handler may only use async-signal-safe calls, so the temporaries are
// kept in a fixed table of (folder descriptor, name) entries whose state is
// a lock-free atomic.
enum SlotState : int { kFree, kFilling, kActive, kRemoving, kRemoved };
struct CleanupSlot {
    std::atomic<int> state{kFree};
    int folderFd = -1;
    char name[sizeof kTempPrefix + kRandomChars] = {};
};
static_assert(std::atomic<int>::is_always_lock_free);
constexpr int kSlotCount = 64;
CleanupSlot g_slots[kSlotCount];

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];
struct sigaction g_previous[kSignalCount];

void RemoveTemporariesAndRaise(int signal) {
    const int savedErrno = errno;
    for (CleanupSlot& slot : g_slots) {
        int expected = kActive;
        if (slot.state.compare_exchange_strong(expected, kRemoving)) {
            ::unlinkat(slot.folderFd, slot.name, 0);
            slot.state.store(kRemoved);
        }
    }
    // The program ends as the signal would have ended it (or its own handler
    // runs): the earlier disposition handles the signal once this returns.
    for (int i = 0; i < kSignalCount; ++i) {
        if (kCleanupSignals[i] == signal) ::sigaction(signal, &g_previous[i], nullptr);
    }
    ::raise(signal);
    errno = savedErrno;
}

// Checked with every temporary, so that a handler the program set after an
// earlier one is chained rather than lost: the handler is installed for each
// of the signals that is neither ignored (nohup) nor already handled here.
void InstallCleanupHandlers() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        if (::sigaction(kCleanupSignals[i], nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) == 0 &&
            (current.sa_handler == SIG_IGN || current.sa_handler == RemoveTemporariesAndRaise))
            continue;
        g_previous[i] = current;
        struct sigaction handler {};
        handler.sa_handler = RemoveTemporariesAndRaise;
        sigemptyset(&handler.sa_mask);
        for (int s : kCleanupSignals) sigaddset(&handler.sa_mask, s);
        handler.sa_flags = SA_RESTART;
        ::sigaction(kCleanupSignals[i], &handler, nullptr);
    }
}

// Enters a temporary before it is created, so that no moment exists in which
// it is on disk but unknown to the handler. -1 when the table is full (the
// file is then written without that protection).
int RegisterTemporary(int folderFd, const std::string& name) {
    InstallCleanupHandlers();
    for (int i = 0; i < kSlotCount; ++i) {
        int expected = kFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
            g_slots[i].folderFd = folderFd;
            std::memset(g_slots[i].name, 0, sizeof g_slots[i].name);
            std::memcpy(g_slots[i].name, name.data(), std::min(name.size(), sizeof g_slots[i].name - 1));
            g_slots[i].state.store(kActive);
            return i;
        }
    }
    return -1;
}

void UnregisterTemporary(int slot) {
    if (slot < 0) return;
    std::atomic<int>& state = g_slots[slot].state;
    for (;;) {
        int expected = kActive;
        if (state.compare_exchange_strong(expected, kFree)) return;
        if (expected == kRemoved) {
            state.store(kFree);
            return;
        }
        sched_yield();  // a handler on another thread is removing it right now
    }
}

// The permissions a newly created file gets: 0666 without the umask. The
// umask is read without changing it where the system tells it.
mode_t NewFileMode() {
#ifdef __linux__
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr) {
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        }
        std::fclose(status);
        if (found) return static_cast<mode_t>(0666 & ~mask);
    }
#endif
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The descriptor a name stands for: /dev/stdout, /dev/stderr, /dev/stdin,
// /dev/fd/N, /proc/self/fd/N; -1 for any other name.
int DescriptorOfName(const std::string& path) {
    if (path == "/dev/stdin") return 0;
    if (path == "/dev/stdout") return 1;
    if (path == "/dev/stderr") return 2;
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/" + std::to_string(::getpid()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = path.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
        return std::stoi(digits);
    }
    return -1;
}

struct Target {
    enum Kind { kRegular, kMissing, kOther, kDescriptor } kind = kMissing;
    std::string path;    // the file the links lead to
    std::string folder;  // its folder ("" for the working folder) and name
    std::string name;
    int descriptor = -1;
};

void Split(Target& target) {
    const std::size_t slash = target.path.find_last_of('/');
    target.folder = slash == std::string::npos ? std::string() : target.path.substr(0, slash + 1);
    target.name = slash == std::string::npos ? target.path : target.path.substr(slash + 1);
}

// Follows symbolic links one by one to the file that is written: a link
// keeps pointing where it pointed, also when that file does not exist yet.
// Returns 0 or an errno value.
int Resolve(const std::string& path, Target& target) {
    std::string current = path;
    for (int hops = 0; hops <= 40; ++hops) {
        target.path = current;
        const int fd = DescriptorOfName(current);
        if (fd >= 0) {
            target.kind = Target::kDescriptor;
            target.descriptor = fd;
            return 0;
        }
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            target.kind = Target::kMissing;
            Split(target);
            return target.name.empty() ? EISDIR : 0;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string link(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + 256, '\0');
            const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
            if (n < 0) return errno;
            if (static_cast<std::size_t>(n) >= link.size()) return ENAMETOOLONG;
            link.resize(static_cast<std::size_t>(n));
            if (link.empty()) return ENOENT;
            if (link[0] == '/') {
                current = link;
            } else {
                const std::size_t slash = current.find_last_of('/');
                current = (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + link;
            }
            continue;
        }
        if (S_ISDIR(st.st_mode)) return EISDIR;
        target.kind = S_ISREG(st.st_mode) ? Target::kRegular : Target::kOther;
        Split(target);
        return 0;
    }
    return ELOOP;
}

bool RefusesNewFiles(int error) {
    return error == EACCES || error == EPERM || error == EROFS;
}

// Gives the complete temporary the name `name` only if nothing has it: a
// hard link (the temporary is removed afterwards), or where the file system
// has none, a rename that refuses to replace. 0 or an errno value (EEXIST:
// another program took the name first).
int PlaceNew(int folderFd, const std::string& temporary, const std::string& name) {
    if (::linkat(folderFd, temporary.c_str(), folderFd, name.c_str(), 0) == 0) return 0;
    const int linkError = errno;
    if (linkError == EEXIST) return EEXIST;
#ifdef SYS_renameat2
    constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, folderFd, temporary.c_str(), folderFd, name.c_str(), kNoReplace) == 0) {
        // The temporary's name is gone with the rename.
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
    return linkError;
}

// The place a name stands for: its folder with every link resolved, and its
// own name; the name as given when the folder cannot be resolved.
std::string PlaceOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) return path;
    const std::string base = resolved;
    return (base == "/" ? "" : base) + "/" + name;
}

bool WritesFile(const std::string& target, const std::string& file) {
    Target written;
    Target kept;
    if (Resolve(target, written) != 0 || Resolve(file, kept) != 0) return false;
    struct stat a {};
    struct stat b {};
    const bool aExists = written.kind == Target::kDescriptor ? ::fstat(written.descriptor, &a) == 0
                                                             : ::stat(written.path.c_str(), &a) == 0;
    if (aExists && ::stat(kept.path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino) return true;
    if (written.kind == Target::kDescriptor) return false;
    return PlaceOf(written.path) == PlaceOf(kept.path);
}

}  // namespace

bool OutputFile::Open(const std::string& path, const OutputOptions& options) {
    Abort();
    m_result = OutputResult{};
    m_result.path = path;
    m_options = options;
    m_pending.clear();
    m_written = 0;
    m_sentOn = 0;
    if (path.empty()) return Fail(ENOENT);
    if (RefuseProtected()) return false;

    // A device that turns into a regular file between looking and opening is
    // looked at again.
    for (int round = 0; round < 3; ++round) {
        Target target;
        if (const int error = Resolve(path, target)) return Fail(error);
        if (options.createOnly && target.kind != Target::kMissing) return Fail(EEXIST);

        if (target.kind == Target::kDescriptor) {
            m_fd = ::fcntl(target.descriptor, F_DUPFD_CLOEXEC, 0);
            if (m_fd < 0) return Fail(errno);
            m_plan = OutputMethod::kDirect;
            m_open = true;
            return true;
        }
        if (target.kind == Target::kOther) {
            // Opened without O_CREAT: the device or FIFO itself is written.
            int fd;
            do {
                fd = ::open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            } while (fd < 0 && errno == EINTR);
            if (fd < 0) return Fail(errno);
            struct stat st {};
            if (::fstat(fd, &st) != 0 || S_ISREG(st.st_mode)) {
                ::close(fd);
                continue;
            }
            m_fd = fd;
            m_plan = OutputMethod::kDirect;
            m_open = true;
            return true;
        }

        // A regular file or a new name: a temporary in the same folder, so
        // that the rename stays within one file system.
        const std::string folder = target.folder.empty() ? std::string(".") : target.folder;
        m_folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_PATH
        // A folder that may be searched and written but not listed.
        if (m_folderFd < 0 && errno == EACCES) m_folderFd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#endif
        if (m_folderFd < 0) return Fail(errno);
        m_finalName = target.name;

        int error = EEXIST;
        for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt) {
            m_tempName = RandomName();
            m_slot = RegisterTemporary(m_folderFd, m_tempName);
            m_fd = ::openat(m_folderFd, m_tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            error = m_fd >= 0 ? 0 : errno;
            if (error == EINTR) error = EEXIST;  // try again under another name
            if (m_fd < 0) {
                UnregisterTemporary(m_slot);
                m_slot = -1;
            }
        }
        if (m_fd >= 0) {
            m_plan = OutputMethod::kReplaced;
            m_open = true;
            return true;
        }
        m_tempName.clear();
        if (target.kind == Target::kRegular && RefusesNewFiles(error)) {
            // The folder takes no new file, but the file itself may be
            // writable: it is then rewritten in place at Commit. Read access
            // too, where granted, so that its bytes can be put back.
            constexpr int kFlags = O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
            int fd = ::openat(m_folderFd, m_finalName.c_str(), O_RDWR | kFlags);
            if (fd < 0 && errno == EACCES) fd = ::openat(m_folderFd, m_finalName.c_str(), O_WRONLY | kFlags);
            struct stat st {};
            if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
                m_fd = fd;
                m_plan = OutputMethod::kInPlace;
                m_open = true;
                return true;
            }
            if (fd >= 0) ::close(fd);
        }
        return Fail(error);
    }
    return Fail(EAGAIN);
}

bool OutputFile::Commit() {
    if (!m_open) {
        if (m_result.error == 0) m_result.error = EBADF;
        return false;
    }
    if (m_plan == OutputMethod::kInPlace && !RewriteInPlace()) return false;
    if (m_plan == OutputMethod::kReplaced) {
        // The old file's owner, group and permissions; a new file's from the
        // umask. Taking another user's ownership is not permitted to everyone
        // and then skipped.
        struct stat old {};
        const bool exists = ::fstatat(m_folderFd, m_finalName.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
        // Only a regular file (or a link) is ever replaced: a device, FIFO or
        // socket that took the name since Open stays as it is.
        if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) return Fail(EEXIST);
        if (exists && S_ISREG(old.st_mode)) {
            if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
                if (::fchown(m_fd, old.st_uid, old.st_gid) != 0)
                    (void)!::fchown(m_fd, static_cast<uid_t>(-1), old.st_gid);
            }
            ::fchmod(m_fd, old.st_mode & 07777);
        } else {
            ::fchmod(m_fd, m_options.mode >= 0 ? static_cast<mode_t>(m_options.mode) : NewFileMode());
        }
    }
    // Devices and pipes cannot be synced; that is no failure. A file
    // rewritten in place is synced already.
    if (m_plan != OutputMethod::kInPlace && ::fsync(m_fd) != 0 &&
        !(m_plan == OutputMethod::kDirect && (errno == EINVAL || errno == EROFS || errno == ENOTSUP)))
        return Fail(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) return Fail(errno);
    if (m_plan == OutputMethod::kReplaced) {
        if (m_options.createOnly) {
            if (const int error = PlaceNew(m_folderFd, m_tempName, m_finalName)) return Fail(error);
            ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
        } else if (::renameat(m_folderFd, m_tempName.c_str(), m_folderFd, m_finalName.c_str()) != 0) {
            return Fail(errno);
        }
        m_tempName.clear();
        // The rename itself on disk; a folder that cannot be synced is no
        // failure of the file, which is already in place.
        ::fsync(m_folderFd);
    }
    m_result.method = m_plan;
    m_open = false;
    Release();
    return true;
}

void OutputFile::Release() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_tempName.empty() && m_folderFd >= 0) ::unlinkat(m_folderFd, m_tempName.c_str(), 0);
    m_tempName.clear();
    UnregisterTemporary(m_slot);
    m_slot = -1;
    if (m_folderFd >= 0) ::close(m_folderFd);
    m_folderFd = -1;
    m_pending.clear();
    m_open = false;
}

void OutputFile::Abort() {
    Release();
}

#endif

}  // namespace oront
