#include "json/literal_check.h"

#include <cstddef>
#include <vector>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Names are ASCII only: a byte of a multi-byte character could be white space to the engine
// and so join two names into an expression such as "new Date".
bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}

bool IsNamePart(char c) { return IsNameStart(c) || IsDigit(c); }

// Reads the tokens of a literal from the start of a text.
class Scanner {
public:
    explicit Scanner(const Text& text) : text(text) {}

    bool AtEnd() const { return pos >= text.size(); }
    char Peek() const { return AtEnd() ? '\0' : text[pos]; }

    void SkipSpace() {
        while (!AtEnd() && IsSpace(text[pos])) ++pos;
    }

    bool Take(char c) {
        if (AtEnd() || text[pos] != c) return false;
        ++pos;
        return true;
    }

    // A string in the quotes it starts with. False when it does not close on its own line.
    bool String() {
        const char quote = text[pos++];
        while (!AtEnd()) {
            const char c = text[pos++];
            if (c == quote) return true;
            if (c == '\n' || c == '\r') return false;
            if (c == '\\') {
                if (AtEnd() || text[pos] == '\n' || text[pos] == '\r') return false;
                ++pos;
            }
        }
        return false;
    }

    Text Name() {
        const std::size_t start = pos;
        while (!AtEnd() && IsNamePart(text[pos])) ++pos;
        return text.substr(start, pos - start);
    }

    // A number with an optional sign: digits, points, letters (exponents, hexadecimal digits)
    // and a sign right after an exponent letter, or the names Infinity and NaN. Whether the
    // characters form a valid number is the engine's to find out; none of them runs code.
    bool Number() {
        if (!Take('+')) Take('-');
        if (IsNameStart(Peek())) {
            const Text name = Name();
            return name == "Infinity" || name == "NaN";
        }
        if (!IsDigit(Peek()) && Peek() != '.') return false;
        while (!AtEnd() && (IsNamePart(text[pos]) || text[pos] == '.')) {
            const char c = text[pos++];
            if ((c == 'e' || c == 'E') && !Take('+')) Take('-');
        }
        return true;
    }

private:
    const Text& text;
    std::size_t pos = 0;
};

// Where the scan stands: before a value, before an array element (where a comma leaves a
// hole and a bracket closes the array), before a member name (where a brace closes the object),
// or after a value.
enum class At { kValue, kElement, kName, kAfterValue };

}  // namespace

bool IsDataLiteral(const Text& script) {
    Scanner scan(script);
    std::vector<char> open;  // the brackets of the containers entered and not yet closed
    At at = At::kValue;
    for (;;) {
        scan.SkipSpace();
        switch (at) {
            case At::kElement:
                if (scan.Take(']')) {
                    open.pop_back();
                    at = At::kAfterValue;
                    continue;
                }
                if (scan.Take(',')) continue;
                [[fallthrough]];
            case At::kValue: {
                if (scan.Take('{')) {
                    open.push_back('{');
                    at = At::kName;
                    continue;
                }
                if (scan.Take('[')) {
                    open.push_back('[');
                    at = At::kElement;
                    continue;
                }
                const char c = scan.Peek();
                if (c == '\'' || c == '"') {
                    if (open.empty() || !scan.String()) return false;
                } else if (IsNameStart(c)) {
                    const Text name = scan.Name();
                    if (open.empty() && name != "true" && name != "false" && name != "null") {
                        return false;
                    }
                } else if (!scan.Number()) {
                    return false;
                }
                at = At::kAfterValue;
                continue;
            }
            case At::kName: {
                if (scan.Take('}')) {
                    open.pop_back();
                    at = At::kAfterValue;
                    continue;
                }
                const char c = scan.Peek();
                if (c == '\'' || c == '"') {
                    if (!scan.String()) return false;
                } else if (IsNameStart(c)) {
                    scan.Name();
                } else if (!IsDigit(c) || !scan.Number()) {
                    return false;
                }
                scan.SkipSpace();
                if (!scan.Take(':')) return false;
                at = At::kValue;
                continue;
            }
            case At::kAfterValue:
                if (open.empty()) return scan.AtEnd();
                if (scan.Take(',')) {
                    at = open.back() == '{' ? At::kName : At::kElement;
                    continue;
                }
                if (!scan.Take(open.back() == '{' ? '}' : ']')) return false;
                open.pop_back();
                continue;
        }
    }
}
