#include "text/base64.h"

#include <gtest/gtest.h>

namespace {

Bytes B(const char* s, size_t n) { return Bytes(s, s + n); }

TEST(Base64Encode, ExtendsTheCallersBytes) {
    struct Case {
        const char* name;
        Bytes data;
        Text expected;
        Bytes after;
    };
    const Case cases[] = {
        {"three bytes", B("abc", 3), "YWJj", B("abc", 3)},
        {"one byte", B("a", 1), "YQ==", B("a\0\0", 3)},
        {"two bytes", B("ab", 2), "YWI=", B("ab\0", 3)},
        {"four bytes", B("abcd", 4), "YWJjZA==", B("abcd\0\0", 6)},
        {"zero byte", B("\0", 1), "AA==", B("\0\0\0", 3)},
        {"high bytes", B("\xFF\xFE\xFD", 3), "//79", B("\xFF\xFE\xFD", 3)},
        {"empty", Bytes{}, "", Bytes{}},
    };
    for (const Case& c : cases) {
        Bytes data = c.data;
        EXPECT_EQ(Base64Encode(data), c.expected) << c.name;
        EXPECT_EQ(data, c.after) << c.name;
    }
}

TEST(Base64Encode, SecondCallSeesTheAddedZeros) {
    Bytes data = B("a", 1);
    EXPECT_EQ(Base64Encode(data), "YQ==");
    EXPECT_EQ(Base64Encode(data), "YQAA");
}

TEST(Base64Encode, LengthAndNoLineBreaks) {
    for (size_t n = 1; n <= 300; ++n) {
        Bytes data(n, 0x41);
        Text out = Base64Encode(data);
        EXPECT_EQ(out.size(), 4 * ((n + 2) / 3)) << n;
        EXPECT_EQ(out.find('\n'), Text::npos) << n;
    }
}

}  // namespace
