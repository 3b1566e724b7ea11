#include "text/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

Bytes B(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
    return b;
}

TEST(TextToWide, Sizing) {
    struct Case {
        const char* name;
        Text text;
        int codePage;
        Bytes expected;
    };
    const Case cases[] = {
        {"ascii as GBK", "ab", 936, B({0x61, 0, 0x62, 0, 0, 0})},
        {"GBK", "\xD6\xD0\xCE\xC4", 936, B({0x2D, 0x4E, 0x87, 0x65, 0, 0})},
        {"system code page", "\xD6\xD0", 0, B({0x2D, 0x4E, 0, 0})},
        // Sized by the GBK reading (E4B8 and a lone AD: two units and the zero unit).
        {"UTF-8 padded to the GBK count", "\xE4\xB8\xAD", 65001, B({0x2D, 0x4E, 0, 0, 0, 0})},
        {"empty", "", 936, B({0, 0})},
        {"euro and private use", "\x80\xFF", 936, B({0xAC, 0x20, 0xF5, 0xF8, 0, 0})},
        {"invalid GBK", "\x81\x30", 936, B({0xFD, 0xFF, 0x30, 0, 0, 0})},
        {"stops at NUL", std::string("a\0b", 3), 936, B({0x61, 0, 0, 0})},
        // GBK reads F0 9F and 98 80 as two characters, UTF-8 as one surrogate pair.
        {"UTF-8 longer than GBK count", "\xF0\x9F\x98\x80", 65001,
         B({0x3D, 0xD8, 0x00, 0xDE, 0, 0})},
        // GBK joins C3 28 into one unit where UTF-8 substitutes C3 alone: more units
        // than counted, and all of them come back.
        {"invalid UTF-8 needs more units", "\xC3\x28\xC3\x28", 65001,
         B({0xFD, 0xFF, 0x28, 0, 0xFD, 0xFF, 0x28, 0, 0, 0})},
        {"unknown code page", "ab", 12345, B({0, 0, 0, 0, 0, 0})},
    };
    for (const Case& c : cases) EXPECT_EQ(TextToWide(c.text, c.codePage), c.expected) << c.name;
    EXPECT_EQ(TextToWide("\xE4\xB8\xAD"), B({0x2D, 0x4E, 0, 0, 0, 0})) << "default is UTF-8";
}

TEST(WideToText, Cases) {
    struct Case {
        const char* name;
        Bytes wide;
        int codePage;
        Text expected;
    };
    const Case cases[] = {
        {"GBK", B({0x2D, 0x4E, 0x87, 0x65, 0, 0}), 936, "\xD6\xD0\xCE\xC4"},
        {"system code page", B({0x2D, 0x4E, 0, 0}), 0, "\xD6\xD0"},
        {"UTF-8", B({0x2D, 0x4E, 0, 0}), 65001, "\xE4\xB8\xAD"},
        {"stops at zero unit", B({0x61, 0, 0, 0, 0x62, 0}), 936, "a"},
        {"no zero unit", B({0x61, 0, 0x62, 0}), 936, "ab"},
        {"odd last byte ignored", B({0x61, 0, 0x62}), 936, "a"},
        {"empty", Bytes{}, 936, ""},
        {"characters GBK lacks", B({0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x0E, 0, 0}), 936, "??"},
        {"euro", B({0xAC, 0x20, 0, 0}), 936, "\x80"},
        {"lone surrogate to UTF-8", B({0x3D, 0xD8, 0x41, 0, 0, 0}), 65001,
         "\xEF\xBF\xBD"
         "A"},
        {"unknown code page", B({0x61, 0, 0, 0}), 12345, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(WideToText(c.wide, c.codePage), c.expected) << c.name;
    EXPECT_EQ(WideToText(B({0x2D, 0x4E, 0, 0})), "\xD6\xD0") << "default is the system code page";
}

TEST(Compositions, RoundTrips) {
    struct Case {
        const char* name;
        Text gbk, utf8;
    };
    const Case cases[] = {
        {"Chinese", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"ASCII", "Hello, world!\\n", "Hello, world!\\n"},
        {"empty", "", ""},
        {"euro sign", "\x80", "\xE2\x82\xAC"},
        {"full-width space", "\xA1\xA1", "\xE3\x80\x80"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GbkToUtf8(c.gbk), c.utf8) << c.name;
        EXPECT_EQ(Utf8ToGbk(c.utf8), c.gbk) << c.name;
    }
}

TEST(Compositions, MalformedInput) {
    // Invalid GBK decodes to U+FFFD; invalid UTF-8 too, which GBK then lacks: "?".
    EXPECT_EQ(GbkToUtf8("a\x81"), "a\xEF\xBF\xBD");
    EXPECT_EQ(GbkToUtf8("\x81\x30"),
              "\xEF\xBF\xBD"
              "0");
    EXPECT_EQ(Utf8ToGbk("a\xFF"
                        "b"),
              "a?b");
    EXPECT_EQ(Utf8ToGbk("\xC0\x80"), "??");
    EXPECT_EQ(Utf8ToGbk("\xF0\x9F\x98\x80"), "?");
    EXPECT_EQ(Utf8ToGbk("\xE4\xB8"), "?");
    EXPECT_EQ(Utf8ToGbk(std::string("a\0b", 3)), "a");
}

// Text whose UTF-8 form needs more room than its GBK form, and invalid UTF-8 that needs more
// units than its GBK reading: the whole conversion comes back, never a truncated one.
TEST(Compositions, NothingLostToSizing) {
    Text gbk;
    Text utf8;
    for (int i = 0; i < 10000; ++i) {
        gbk +=
            "\xD6\xD0"
            "a";
        utf8 +=
            "\xE4\xB8\xAD"
            "a";
    }
    EXPECT_EQ(GbkToUtf8(gbk), utf8);
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);

    Text bad;
    for (int i = 0; i < 10000; ++i) bad += "\xC3\x28";
    Text expected;
    for (int i = 0; i < 10000; ++i) expected += "?(";
    EXPECT_EQ(Utf8ToGbk(bad), expected);
}

TEST(Compositions, ManyThreadsAtOnce) {
    std::vector<std::thread> threads;
    std::vector<int> failures(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 200; ++i) {
                Text gbk = "\xD6\xD0\xCE\xC4" + std::to_string(t * 1000 + i);
                if (Utf8ToGbk(GbkToUtf8(gbk)) != gbk) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

}  // namespace
