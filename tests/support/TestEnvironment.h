// What tests need of the machine they run on: the folder for their files,
// reading files back, the environment, the clock and the locale.
#pragma once

#include <chrono>
#include <filesystem>
#include <locale>
#include <string>
#include <vector>

namespace oront::test {

// The folder for files the tests write: $ORONT_TEST_OUTPUT, or
// "oront-test-output" in the system's temporary folder; with `sub`, that
// folder inside it. Created when missing.
std::filesystem::path TestOutputFolder(const std::string& sub = {});
// Folder `name` of the test output folder, emptied.
std::filesystem::path FreshTestFolder(const std::string& name);

// The whole content of a file ("" when it cannot be read).
std::string ReadFileBytes(const std::filesystem::path& file);
// The names in a folder, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);

// Sets an environment variable of the process, or removes it for nullptr.
void SetEnvironment(const char* name, const char* value);

double MillisecondsSince(std::chrono::steady_clock::time_point start);

// Switches the C and C++ locales of the process to one with a decimal comma
// for its lifetime; active() is false when the system has none.
class DecimalCommaLocale {
public:
    DecimalCommaLocale();
    ~DecimalCommaLocale();
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
    [[nodiscard]] bool active() const { return active_; }

private:
    std::string saved_;
    std::locale previous_;
    bool active_ = false;
};

}  // namespace oront::test
