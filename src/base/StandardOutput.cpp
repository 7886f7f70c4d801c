#include "base/StandardOutput.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "base/OutputFile.h"

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace oront {
namespace {

// 0 or the errno value of the failure.
int WriteAllTo(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t size = bytes.size();
    while (size > 0) {
#ifdef _WIN32
        const int n = ::_write(fd, p, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
#else
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A descriptor the caller made non-blocking: wait until it takes more.
            pollfd ready{fd, POLLOUT, 0};
            if (::poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
        }
#endif
        if (n < 0) return errno != 0 ? errno : EIO;
        if (n == 0) return ENOSPC;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

bool WriteStandardOutput(std::string_view bytes, int& error) {
    error = WriteAllTo(1, bytes);
    return error == 0;
}

bool PrintStandardOutput(std::string_view bytes, std::string_view program) {
    int error = 0;
    if (WriteStandardOutput(bytes, error)) return true;
    const std::string message = std::string(program) + ": cannot write to standard output (" + ErrorText(error) + ")\n";
    WriteAllTo(2, message);
    return false;
}

}  // namespace oront
