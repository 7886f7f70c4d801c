// A test that cannot run on this machine for want of a tool or a locale
// skips, unless ORONT_NO_SKIP is set: the test command sets it after
// installing everything the tests need, so a missing tool fails there
// instead of passing silently.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace oront::test {
inline bool SkipsAreFailures() {
    const char* value = std::getenv("ORONT_NO_SKIP");
    return value != nullptr && *value != '\0' && std::string_view(value) != "0";
}
}  // namespace oront::test

#define ORONT_SKIP_OR_FAIL(why)                                     \
    do {                                                            \
        if (::oront::test::SkipsAreFailures()) {                    \
            GTEST_FAIL() << "required by ORONT_NO_SKIP: " << (why); \
        } else {                                                    \
            GTEST_SKIP() << (why);                                  \
        }                                                           \
    } while (0)
