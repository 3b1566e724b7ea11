#include "text/primitives.h"

#include <climits>
#include <cstring>
#include <string_view>

namespace {

bool IsLeadByte(unsigned char c) { return (c & 0x80) != 0; }

bool IsAsciiUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

unsigned char AsciiLower(unsigned char c) {
    return IsAsciiUpper(c) ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Length of the character that begins at `i`: 2 for a lead byte with a byte after it, else 1.
size_t CharLength(std::string_view s, size_t i) {
    return IsLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// `s` with the letters of its one-byte characters in lower case, stepping through it from
// `from`. Both bytes of a double-byte character stay as they are.
std::string FoldCase(std::string_view s, size_t from) {
    std::string out(s);
    for (size_t i = from; i < out.size();) {
        size_t len = CharLength(out, i);
        if (len == 1) out[i] = static_cast<char>(AsciiLower(static_cast<unsigned char>(out[i])));
        i += len;
    }
    return out;
}

// Calls `found(start)` for every occurrence of `part` in `text` that starts at a character
// boundary at or after `from` (itself taken as a boundary), in order of their 0-based starts,
// overlapping ones included, until `found` returns false. Knuth-Morris-Pratt with a memchr
// skip while no prefix is matched: linear in the sizes of both texts.
template <typename Found>
void ForEachMatch(std::string_view text, std::string_view part, size_t from, bool ignoreCase,
                  Found found) {
    const size_t n = text.size();
    const size_t m = part.size();
    if (m == 0 || from >= n || n - from < m) return;

    std::string foldedText, foldedPart;
    if (ignoreCase) {
        foldedText = FoldCase(text, from);
        foldedPart = FoldCase(part, 0);
        text = foldedText;
        part = foldedPart;
    }

    std::vector<size_t> fail(m, 0);
    for (size_t q = 1, k = 0; q < m; ++q) {
        while (k > 0 && part[q] != part[k]) k = fail[k - 1];
        if (part[q] == part[k]) ++k;
        fail[q] = k;
    }

    const char* data = text.data();
    size_t boundary = from;  // the first character boundary not yet passed
    size_t matched = 0;
    for (size_t i = from; i < n; ++i) {
        if (matched == 0) {
            const void* hit = std::memchr(data + i, part[0], n - i);
            if (hit == nullptr) return;
            i = static_cast<const char*>(hit) - data;
        }
        while (matched > 0 && data[i] != part[matched]) matched = fail[matched - 1];
        if (data[i] == part[matched]) ++matched;
        if (matched == m) {
            size_t start = i + 1 - m;
            while (boundary < start) boundary += CharLength(text, boundary);
            if (boundary == start && !found(start)) return;
            matched = fail[m - 1];
        }
    }
}

// 0-based start of the first boundary-aligned occurrence at or after `from`, or npos.
size_t FindFrom(std::string_view text, std::string_view part, size_t from, bool ignoreCase) {
    size_t result = std::string_view::npos;
    ForEachMatch(text, part, from, ignoreCase, [&](size_t start) {
        result = start;
        return false;
    });
    return result;
}

}  // namespace

int FindText(const Text& text, const Text& part, int start, bool ignoreCase) {
    const size_t from = start < 2 ? 0 : static_cast<size_t>(start) - 1;
    if (from >= text.size()) return -1;
    if (part.empty()) return 1;
    size_t at = FindFrom(text, part, from, ignoreCase);
    return at == std::string_view::npos ? -1 : static_cast<int>(at + 1);
}

int FindLastText(const Text& text, const Text& part, std::optional<int> start) {
    // Occurrences must lie wholly within the first `limit` bytes.
    size_t limit = text.size();
    if (start) {
        if (*start <= 1) return -1;
        limit = std::min(limit, static_cast<size_t>(*start) - 1);
    }
    int result = -1;
    ForEachMatch(text, part, 0, false, [&](size_t at) {
        if (at + part.size() > limit) return false;
        result = static_cast<int>(at + 1);
        return true;
    });
    return result;
}

Text LeftText(const Text& text, int n) {
    if (n <= 0) return Text();
    return text.substr(0, static_cast<size_t>(n));
}

Text RightText(const Text& text, int n) {
    if (n <= 0) return Text();
    size_t count = std::min(text.size(), static_cast<size_t>(n));
    return text.substr(text.size() - count);
}

Text MidText(const Text& text, int pos, int n) {
    if (pos < 1 || static_cast<size_t>(pos) > text.size() || n <= 0) return Text();
    return text.substr(static_cast<size_t>(pos) - 1, static_cast<size_t>(n));
}

Text TrimSpaces(const Text& text) {
    auto isBlank = [&](size_t i, size_t len) {
        return (len == 1 && text[i] == ' ') ||
               (len == 2 && text[i] == '\xA1' && text[i + 1] == '\xA1');
    };
    size_t i = 0;
    while (i < text.size()) {
        size_t len = CharLength(text, i);
        if (!isBlank(i, len)) break;
        i += len;
    }
    const size_t begin = i;
    size_t end = begin;
    while (i < text.size()) {
        size_t len = CharLength(text, i);
        if (!isBlank(i, len)) end = i + len;
        i += len;
    }
    return text.substr(begin, end - begin);
}

Text ReplaceText(const Text& text, const Text& part, const Text& replacement, bool caseSensitive) {
    if (text.empty() || part.empty()) return text;
    Text out;
    size_t copied = 0;
    ForEachMatch(text, part, 0, !caseSensitive, [&](size_t at) {
        if (at < copied) return true;  // overlaps the previous occurrence
        if (out.empty()) out.reserve(text.size());
        out.append(text, copied, at - copied);
        out.append(replacement);
        copied = at + part.size();
        return true;
    });
    if (copied == 0) return text;
    out.append(text, copied, Text::npos);
    return out;
}

TextArray SplitText(const Text& text, const Text& separator) {
    TextArray pieces;
    if (text.empty()) return pieces;
    size_t next = 0;
    ForEachMatch(text, separator, 0, false, [&](size_t at) {
        if (at < next) return true;  // overlaps the previous separator
        pieces.emplace_back(text, next, at - next);
        next = at + separator.size();
        return true;
    });
    if (next < text.size()) pieces.emplace_back(text, next, Text::npos);
    return pieces;
}

Text LowerAscii(const Text& text) { return FoldCase(text, 0); }

int TextToInt(const Text& text) {
    // Reads one character at `i` with full-width ASCII forms folded to their one-byte forms;
    // any other double-byte character reads as 0x80, which ends the number.
    auto next = [&](size_t& i) -> unsigned char {
        size_t len = CharLength(text, i);
        unsigned char c = static_cast<unsigned char>(text[i]);
        i += len;
        if (len == 1) return c;
        unsigned char t = static_cast<unsigned char>(text[i - 1]);
        if (c == 0xA3 && t >= 0xA1 && t <= 0xFE) return t & 0x7F;
        if (c == 0xA1 && t == 0xA1) return ' ';
        if (c == 0xA1 && t == 0xAB) return '~';
        if (c == 0xA1 && (t == 0xEE || t == 0xEF)) return '*';
        return 0x80;
    };

    size_t i = 0;
    unsigned char c = 0;
    do {
        if (i >= text.size()) return 0;
        c = next(i);
    } while (c == ' ' || (c >= '\t' && c <= '\r'));

    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        if (i >= text.size()) return 0;
        c = next(i);
    }
    long long value = 0;
    while (c >= '0' && c <= '9') {
        if (value <= INT_MAX) value = value * 10 + (c - '0');
        if (i >= text.size()) break;
        c = next(i);
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

Bytes TextToBytes(const Text& text) { return Bytes(text.begin(), text.end()); }

Text BytesToText(const Bytes& bytes) {
    const auto* data = reinterpret_cast<const char*>(bytes.data());
    return Text(data, bytes.empty() ? 0 : strnlen(data, bytes.size()));
}
