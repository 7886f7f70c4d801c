#include "support/TestEnvironment.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <sstream>

namespace oront::test {

namespace fs = std::filesystem;

fs::path TestOutputFolder(const std::string& sub) {
    const char* env = std::getenv("ORONT_TEST_OUTPUT");
    fs::path folder = env != nullptr && *env != '\0' ? fs::path(env) : fs::temp_directory_path() / "oront-test-output";
    if (!sub.empty()) folder /= sub;
    fs::create_directories(folder);
    return folder;
}

fs::path FreshTestFolder(const std::string& name) {
    const fs::path folder = TestOutputFolder() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void SetEnvironment(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value != nullptr ? value : "");
#else
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

DecimalCommaLocale::DecimalCommaLocale() {
    const char* old = std::setlocale(LC_ALL, nullptr);
    saved_ = old ? old : "C";
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252"}) {
        if (!std::setlocale(LC_ALL, name)) continue;
        if (std::localeconv()->decimal_point[0] != ',') continue;
        active_ = true;
        try {
            previous_ = std::locale::global(std::locale(name));
        } catch (const std::exception&) {
            // The C++ library may know only the "C" locale; the C one is set.
        }
        break;
    }
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::locale::global(previous_);
    std::setlocale(LC_ALL, saved_.c_str());
}

}  // namespace oront::test
