#include "CliCommands.h"

#include <iostream>

#include "ArchiveCommands.h"

#if defined(ORONT_REPORT_PROGRAM) && defined(_WIN32)
#include <windows.h>

#include <string>
#elif defined(ORONT_REPORT_PROGRAM)
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif
#endif

namespace oront::cli {

#if defined(ORONT_REPORT_PROGRAM) && defined(_WIN32)
// Windows has no exec: the report program runs as a child with this
// process's own command line (its first word, the program, replaced), its
// standard handles and its exit status.
int HandOverReport(char**) {
    std::wstring program(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
    program.resize(length);
    const auto slash = program.find_last_of(L"\\/");
    program =
        (slash == std::wstring::npos ? std::wstring() : program.substr(0, slash + 1)) + L"" ORONT_REPORT_PROGRAM ".exe";
    // The rest of the command line after the program's name, which is
    // quoted or ends at the first blank.
    const wchar_t* rest = GetCommandLineW();
    if (*rest == L'"') {
        ++rest;
        while (*rest && *rest != L'"') ++rest;
        if (*rest) ++rest;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t') ++rest;
    }
    std::wstring commandLine = L"\"" + program + L"\"" + rest;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::cerr << "oront-v208-cli: the report program cannot be started: " ORONT_REPORT_PROGRAM ".exe: error "
                  << GetLastError() << "\n";
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
#elif defined(ORONT_REPORT_PROGRAM)
namespace {

// The folder of the running executable, with its trailing separator; empty
// when the system does not tell.
std::string ExecutableFolder() {
    std::string path;
#if defined(__APPLE__)
    std::uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::vector<char> buf(size + 1, '\0');
    if (_NSGetExecutablePath(buf.data(), &size) == 0) path = buf.data();
#else
    std::vector<char> buf(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n > 0) path.assign(buf.data(), static_cast<std::size_t>(n));
#endif
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

int HandOverReport(char** argv) {
    // The report program is installed beside the tool, in a build folder as
    // in the installation's bin folder.
    std::string program = ExecutableFolder() + ORONT_REPORT_PROGRAM;
    argv[0] = program.data();
    execv(program.c_str(), argv);
    const int error = errno;
    std::cerr << "oront-v208-cli: the report program cannot be started: " << program << ": " << std::strerror(error)
              << "\n";
    return 1;
}
#else
int HandOverReport(char**) {
    return -1;
}
#endif

// Reached only in a build without the report program, which draws charts.
bool DrawTrend(const archive::Trend&, const std::string&, std::string& error) {
    error = "this build has no chart support";
    return false;
}

// Reached only in a build without the report program.
bool DrawAuditReport(const std::vector<audit::Entry>&, const archive::AuditVerification&, const std::string&,
                     const std::string&, const std::string&, std::string& error) {
    error = "this build has no printing support";
    return false;
}

// Reached only in a build without the report program.
int RunReport(const RecordStore&, const std::string&, int, int, const std::string&) {
    std::cerr << "oront-v208-cli: this build has no printing support\n";
    return 1;
}

}  // namespace oront::cli
