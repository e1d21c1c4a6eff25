// The bounded copy and append that every fixed field is written through.
#include <gtest/gtest.h>

#include "base/Text.h"

TEST(FixedText, CopyAndAppendNeverPassTheField) {
    char field[8];
    EXPECT_TRUE(copyText(field, "1234567") && !copyText(field, "123456789"));
    EXPECT_STREQ(field, "1234567");
    EXPECT_TRUE(copyText(field, "abc") && appendText(field, "defg") && !appendText(field, "h"));
    EXPECT_STREQ(field, "abcdefg");
}
