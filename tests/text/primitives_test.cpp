#include "text/primitives.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

namespace {

TEST(FindText, Cases) {
    struct Case {
        const char* name;
        Text text, part;
        int start;
        bool ignoreCase;
        int expected;
    };
    const Case cases[] = {
        {"first", "abcb", "b", 0, false, 2},
        {"from start 3", "abcb", "b", 3, false, 4},
        {"from start 5", "abcb", "b", 5, false, -1},
        {"start below 2", "abcb", "a", -7, false, 1},
        {"start 1", "abcb", "a", 1, false, 1},
        {"start past end", "abc", "c", 4, false, -1},
        {"missing", "abc", "d", 0, false, -1},
        {"part longer than text", "ab", "abc", 0, false, -1},
        {"empty part", "abc", "", 0, false, 1},
        {"empty part from inside", "abc", "", 3, false, 1},
        {"empty part past end", "abc", "", 4, false, -1},
        {"empty text", "", "", 0, false, -1},
        {"case counts", "ABC", "b", 0, false, -1},
        {"ignore case", "xABC", "abc", 0, true, 2},
        {"ignore case part upper", "xabc", "BC", 0, true, 3},
        {"overlapping prefix", "aaab", "aab", 0, false, 2},
        {"kmp fallback", "abababc", "ababc", 0, false, 3},
        // 5C as the trail byte of a double-byte character is never a backslash.
        {"trail byte is not a match", "\x95\x5C\\", "\\", 0, false, 3},
        {"trail byte only", "\x95\x5C", "\\", 0, false, -1},
        {"double-byte part", "a\xD6\xD0\xCE\xC4", "\xCE\xC4", 0, false, 4},
        {"misaligned double-byte", "\xD6\xD0\xCE\xC4", "\xD0\xCE", 0, false, -1},
        {"lead byte last", "ab\xD6", "\xD6", 0, false, 3},
        // A letter that is the trail byte of a double-byte character is not folded.
        {"trail letter keeps case",
         "\x81"
         "A",
         "\x81"
         "a",
         0, true, -1},
        {"trail letter exact",
         "x\x81"
         "A",
         "\x81"
         "A",
         0, true, 2},
        // The start position itself counts as a character boundary.
        {"start on trail byte", "\x95\x5C", "\\", 2, false, 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindText(c.text, c.part, c.start, c.ignoreCase), c.expected) << c.name;
    }
}

TEST(FindLastText, Cases) {
    struct Case {
        const char* name;
        Text text, part;
        std::optional<int> start;
        int expected;
    };
    const Case cases[] = {
        {"omitted", "a.b.c", ".", std::nullopt, 4},
        {"ends before 4", "a.b.c", ".", 4, 2},
        {"ends before 5", "a.b.c", ".", 5, 4},
        {"start 1", "a.b.c", ".", 1, -1},
        {"start 0", "a.b.c", ".", 0, -1},
        {"start -1", "a.b.c", ".", -1, -1},
        {"past the end", "a.b.c", ".", 99, 4},
        {"long part must end before start", "abab", "ab", 4, 1},
        {"long part whole text", "abab", "ab", 5, 3},
        {"overlapping occurrences", "aaaa", "aa", std::nullopt, 3},
        {"missing", "abc", ".", std::nullopt, -1},
        {"empty part", "abc", "", std::nullopt, -1},
        {"trail byte skipped", "\\\x95\x5C", "\\", std::nullopt, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindLastText(c.text, c.part, c.start), c.expected) << c.name;
    }
}

TEST(Cutting, LeftRightMid) {
    EXPECT_EQ(LeftText("abc", 2), "ab");
    EXPECT_EQ(LeftText("abc", 5), "abc");
    EXPECT_EQ(LeftText("abc", 0), "");
    EXPECT_EQ(LeftText("abc", -3), "");
    EXPECT_EQ(RightText("abc", 2), "bc");
    EXPECT_EQ(RightText("abc", 5), "abc");
    EXPECT_EQ(RightText("abc", 0), "");
    EXPECT_EQ(RightText("abc", -1), "");
    // Byte counts: a double-byte character may be cut in two.
    EXPECT_EQ(LeftText("\xD6\xD0", 1), "\xD6");
    EXPECT_EQ(MidText("abcdef", 2, 3), "bcd");
    EXPECT_EQ(MidText("abcdef", 5, 9), "ef");
    EXPECT_EQ(MidText("abcdef", 6, 1), "f");
    EXPECT_EQ(MidText("abcdef", 7, 1), "");
    EXPECT_EQ(MidText("abcdef", 0, 2), "");
    EXPECT_EQ(MidText("abcdef", -5, 2), "");
    EXPECT_EQ(MidText("abcdef", 2, 0), "");
    EXPECT_EQ(MidText("", 1, 1), "");
}

TEST(TrimSpaces, Cases) {
    struct Case {
        Text text, expected;
    };
    const Case cases[] = {
        {"  a b  ", "a b"},
        {"\ta ", "\ta"},
        {"a\r\n", "a\r\n"},
        {"\xA1\xA1 a\xA1\xA1", "a"},
        {"   ", ""},
        {"\xA1\xA1", ""},
        {"", ""},
        // A1 is the trail byte of B0 A1 here, so the last A1 A1 is not a full-width space.
        {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},
        {"x\xB0\xA1\xA1", "x\xB0\xA1\xA1"},
        {"a\xD6", "a\xD6"},
    };
    for (const Case& c : cases) EXPECT_EQ(TrimSpaces(c.text), c.expected) << c.text;
}

TEST(ReplaceText, Cases) {
    struct Case {
        const char* name;
        Text text, part, replacement;
        bool caseSensitive;
        Text expected;
    };
    const Case cases[] = {
        {"line breaks", "a\r\nb\r\n", "\r\n", "\\n", true, "a\\nb\\n"},
        {"no overlap", "aaa", "aa", "b", true, "ba"},
        {"removal", "a-b-c", "-", "", true, "abc"},
        {"empty part", "abc", "", "x", true, "abc"},
        {"empty text", "", "a", "x", true, ""},
        {"not found", "abc", "x", "y", true, "abc"},
        {"case counts", "Set-Cookie set-cookie", "set-cookie", "X", true, "Set-Cookie X"},
        {"case ignored", "SET-COOKIE: a\r\nset-cookie: b", "Set-Cookie", "Set-Cookie", false,
         "Set-Cookie: a\r\nSet-Cookie: b"},
        {"replacement holds part", "ab", "a", "aa", true, "aab"},
        {"trail byte untouched", "\x95\x5C\\", "\\", "/", true, "\x95\x5C/"},
        {"whole text", "abc", "abc", "", true, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReplaceText(c.text, c.part, c.replacement, c.caseSensitive), c.expected)
            << c.name;
    }
    EXPECT_EQ(ReplaceText("a.b", "."), "ab") << "omitted replacement removes";
}

TEST(SplitText, Cases) {
    struct Case {
        const char* name;
        Text text, separator;
        TextArray expected;
    };
    const Case cases[] = {
        {"empty middle, trailing separator", "a,,b,", ",", {"a", "", "b"}},
        {"leading separator", ",a", ",", {"", "a"}},
        {"only separator", ",", ",", {""}},
        {"no separator", "abc", ",", {"abc"}},
        {"empty text", "", ",", {}},
        {"long separator", "a\r\nb\r\n\r\nc", "\r\n", {"a", "b", "", "c"}},
        {"trail byte is no separator", "\x95\x5C\\b", "\\", {"\x95\x5C", "b"}},
        {"empty separator", "abc", "", {"abc"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitText(c.text, c.separator), c.expected) << c.name;
}

TEST(LowerAscii, KeepsDoubleByteCharacters) {
    EXPECT_EQ(LowerAscii("HTTP://Ab.C"), "http://ab.c");
    EXPECT_EQ(LowerAscii("\x81"
                         "AB"),
              "\x81"
              "Ab");
    EXPECT_EQ(LowerAscii(""), "");
}

TEST(TextToInt, Cases) {
    struct Case {
        Text text;
        int expected;
    };
    const Case cases[] = {
        {"2.9", 2},
        {"2abc", 2},
        {"abc", 0},
        {"-1", -1},
        {"+7", 7},
        {"  \t\r\n 12", 12},
        {"", 0},
        {"-", 0},
        {"- 1", 0},
        {"\xA3\xB3", 3},                    // full-width 3
        {"\xA3\xAD\xA3\xB1\xA3\xB2", -12},  // full-width minus, 1, 2
        {"\xA1\xA1\xA3\xB5", 5},            // full-width space, then 5
        {"1\xA3\xB0", 10},
        {"\xD6\xD0"
         "5",
         0},
        {"5\xD6", 5},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"99999999999999999999", 2147483647},
        {"-99999999999999999999", -2147483647 - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(TextToInt(c.text), c.expected) << c.text;
}

TEST(BytesAndText, Conversions) {
    EXPECT_EQ(BytesToText(Bytes{0x61, 0x00, 0x62}), "a");
    EXPECT_EQ(BytesToText(Bytes{0x61, 0x62}), "ab");
    EXPECT_EQ(BytesToText(Bytes{}), "");
    EXPECT_EQ(BytesToText(Bytes{0x00}), "");
    EXPECT_EQ(TextToBytes("ab"), (Bytes{0x61, 0x62}));
    EXPECT_EQ(TextToBytes(""), Bytes{});
}

// Inputs built to make a quadratic search slow: many near-matches that fail late, and many
// candidates that fall on trail bytes. Each call must still finish promptly.
TEST(Searches, LargeAdversarialInputs) {
    const size_t n = 4 << 20;
    Text as(n, 'a');
    Text part = Text(4096, 'a') + "b";
    EXPECT_EQ(FindText(as, part), -1);
    EXPECT_EQ(ReplaceText(as, part, "x"), as);
    EXPECT_EQ(FindLastText(as + "b", part), static_cast<int>(n - 4096 + 1));

    Text trail;
    for (size_t i = 0; i < n / 2; ++i) trail += "\x95\x5C";
    EXPECT_EQ(FindText(trail, "\\"), -1);
    EXPECT_EQ(SplitText(trail, "\\").size(), 1u);
    EXPECT_EQ(TrimSpaces(trail).size(), trail.size());
}

// Straightforward definitions to compare against: step through the characters from `from`
// and compare `part` at each boundary.
std::vector<size_t> NaiveBoundaries(const Text& t, size_t from) {
    std::vector<size_t> b;
    for (size_t i = from; i < t.size(); i += (t[i] & 0x80) && i + 1 < t.size() ? 2 : 1) {
        b.push_back(i);
    }
    return b;
}

bool NaiveMatchAt(const Text& t, const Text& part, size_t at, bool ignoreCase) {
    if (at + part.size() > t.size()) return false;
    for (size_t j = 0; j < part.size();) {
        bool dbcs = (part[j] & 0x80) && j + 1 < part.size();
        for (size_t k = 0; k < (dbcs ? 2u : 1u); ++k) {
            char a = t[at + j + k], b = part[j + k];
            if (!dbcs && ignoreCase) {
                a = static_cast<char>(std::tolower(static_cast<unsigned char>(a)));
                b = static_cast<char>(std::tolower(static_cast<unsigned char>(b)));
            }
            if (a != b) return false;
        }
        j += dbcs ? 2 : 1;
    }
    return true;
}

TEST(Searches, AgreeWithCharacterByCharacterDefinitions) {
    std::mt19937 random(20261211);
    const char alphabet[] = {'a', 'A', 'b', '\\', ' ', '\x95', '\x5C', '\xA1', '\xD6'};
    auto randomText = [&](size_t maxLength) {
        Text t(random() % (maxLength + 1), ' ');
        for (char& c : t) c = alphabet[random() % sizeof(alphabet)];
        return t;
    };
    for (int round = 0; round < 20000; ++round) {
        const Text text = randomText(24);
        const Text part = randomText(3);
        const bool ignoreCase = round % 2 == 1;
        const int start = static_cast<int>(random() % 28) - 2;
        const std::string name = "case " + std::to_string(round);

        int expectedFind = -1;
        const size_t from = start < 2 ? 0 : start - 1;
        if (from < text.size() && part.empty()) expectedFind = 1;
        for (size_t at : NaiveBoundaries(text, from)) {
            if (part.empty() || expectedFind != -1) break;
            if (NaiveMatchAt(text, part, at, ignoreCase)) expectedFind = static_cast<int>(at + 1);
        }
        ASSERT_EQ(FindText(text, part, start, ignoreCase), expectedFind) << name;

        int expectedLast = -1;
        const size_t limit = std::min<size_t>(text.size(), start <= 1 ? 0 : start - 1);
        for (size_t at : NaiveBoundaries(text, 0)) {
            if (!part.empty() && at + part.size() <= limit && NaiveMatchAt(text, part, at, false))
                expectedLast = static_cast<int>(at + 1);
        }
        ASSERT_EQ(FindLastText(text, part, start), expectedLast) << name;

        Text expectedReplace;
        TextArray expectedSplit;
        size_t pieceStart = 0;
        std::vector<size_t> bounds = NaiveBoundaries(text, 0);
        size_t copied = 0;
        for (size_t at : bounds) {
            if (at < copied || part.empty() || !NaiveMatchAt(text, part, at, ignoreCase)) continue;
            expectedReplace += text.substr(copied, at - copied) + "#";
            copied = at + part.size();
        }
        expectedReplace += text.substr(copied);
        for (size_t at : bounds) {
            if (at < pieceStart || part.empty() || !NaiveMatchAt(text, part, at, false)) continue;
            expectedSplit.push_back(text.substr(pieceStart, at - pieceStart));
            pieceStart = at + part.size();
        }
        if (pieceStart < text.size()) expectedSplit.push_back(text.substr(pieceStart));
        if (!part.empty()) {
            ASSERT_EQ(ReplaceText(text, part, "#", !ignoreCase), expectedReplace) << name;
            ASSERT_EQ(SplitText(text, part), expectedSplit) << name;
        }
    }
}

}  // namespace
