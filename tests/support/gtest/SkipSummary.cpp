#include "support/gtest/SkipSummary.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace oront::test {
namespace {

// The reason a skipped test gave (the message of its skip).
std::string SkipReason(const ::testing::TestResult& result) {
    for (int i = 0; i < result.total_part_count(); ++i) {
        const ::testing::TestPartResult& part = result.GetTestPartResult(i);
        if (part.skipped()) return part.message();
    }
    return {};
}

class SkipSummaryPrinter : public ::testing::EmptyTestEventListener {
    // After the last iteration and GoogleTest's own summary.
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override {
        std::vector<std::string> lines;
        for (int s = 0; s < unit.total_test_suite_count(); ++s) {
            const ::testing::TestSuite& suite = *unit.GetTestSuite(s);
            for (int t = 0; t < suite.total_test_count(); ++t) {
                const ::testing::TestInfo& test = *suite.GetTestInfo(t);
                if (!test.should_run() || !test.result()->Skipped()) continue;
                std::string reason = SkipReason(*test.result());
                while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
                lines.push_back(std::string(suite.name()) + "." + test.name() + ": " +
                                (reason.empty() ? "(no reason given)" : reason));
            }
        }
        if (lines.empty()) return;
        std::printf("Skipped, and why (%zu):\n", lines.size());
        for (const std::string& line : lines) std::printf("[  SKIPPED ] %s\n", line.c_str());
        std::fflush(stdout);
    }
};

}  // namespace

void InstallSkipSummary() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new SkipSummaryPrinter);
}

}  // namespace oront::test
