// Entry point of the test programs without widgets.
#include <gtest/gtest.h>

#include "support/gtest/SkipSummary.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    oront::test::InstallSkipSummary();
    return RUN_ALL_TESTS();
}
