#include "CliCommands.h"

#include <iostream>

#ifdef ORONT_REPORT_MODULE
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "ReportModule.h"
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif
#endif

#include "base/Messages.h"

namespace oront::cli {

#ifdef ORONT_REPORT_MODULE
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

int RunReport(const RecordStore& store, const std::string& outPdf, int firstPage, int lastPage,
              const std::string& printer) {
    // Beside the executable in a build folder; in the library folder of an
    // installation.
    const std::string folder = ExecutableFolder();
    std::string problems;
    void* module = nullptr;
    for (const std::string& candidate : {folder + ORONT_REPORT_MODULE, folder + ORONT_REPORT_MODULE_INSTALLED}) {
        module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module != nullptr) break;
        const char* why = dlerror();
        problems += std::string("\n  ") + (why ? why : candidate.c_str());
    }
    if (module == nullptr) {
        std::cerr << "oront-v208-cli: the printing module cannot be loaded:" << problems << "\n";
        return 1;
    }
    const auto report = reinterpret_cast<OrontCliReportFn>(dlsym(module, kReportEntryPoint));
    if (report == nullptr) {
        std::cerr << "oront-v208-cli: the printing module has no entry point " << kReportEntryPoint << "\n";
        return 1;
    }
    // The module stays loaded: Qt does not support being unloaded.
    char error[512] = {};
    const int rc = report(&store, outPdf.c_str(), firstPage, lastPage, printer.c_str(), error, sizeof error);
    if (rc != 0) std::cerr << error << "\n";
    return rc;
}
#else
int RunReport(const RecordStore&, const std::string&, int, int, const std::string&) {
    std::cerr << "oront-v208-cli: this build has no printing support\n";
    return 1;
}
#endif

}  // namespace oront::cli
