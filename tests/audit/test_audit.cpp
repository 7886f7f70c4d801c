// An entry's hash covers every field, the local time shows its offset, and
// a signing password is kept only as a salted hash that tells a right
// password from a wrong one.
#include <gtest/gtest.h>

#include "audit/Audit.h"

using namespace oront::audit;

TEST(Audit, EntryHashCoversEveryFieldAndPasswordsAreSalted) {
    Entry e{7, 1765286587, 60, "ada", "2.61", "user added", "{\"user\":\"otto\"}", "new", std::string(kNoPrevious), ""};
    const std::string hash = EntryHash(e);
    EXPECT_EQ(hash.size(), 64u);
    for (int field = 0; field < 9; ++field) {
        Entry changed = e;
        switch (field) {
            case 0:
                changed.seq = 8;
                break;
            case 1:
                changed.time += 1;
                break;
            case 2:
                changed.utcOffsetMinutes = 0;
                break;
            case 3:
                changed.user = "ad";
                changed.version = "a2.61";
                break;  // a byte moved between two fields
            case 4:
                changed.version = "2.62";
                break;
            case 5:
                changed.event = "user removed";
                break;
            case 6:
                changed.data = "{}";
                break;
            case 7:
                changed.reason = "";
                break;
            case 8:
                changed.previous[0] = '1';
                break;
        }
        EXPECT_NE(EntryHash(changed), hash) << "field " << field;
    }
    EXPECT_EQ(LocalTimeText(e), "2025-12-09 14:23:07 +01:00");

    const std::string stored = HashPassword("correct horse");
    EXPECT_NE(stored.find("$argon2id$"), std::string::npos) << stored;
    EXPECT_NE(stored, HashPassword("correct horse"));  // salted
    EXPECT_TRUE(PasswordMatches(stored, "correct horse"));
    EXPECT_FALSE(PasswordMatches(stored, "correct horsf"));
    EXPECT_FALSE(PasswordMatches("", ""));
    EXPECT_TRUE(PasswordProblem("1234567").has_value());
}
