#include "text/codepage.h"

#include <unicode/ucnv.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// ICU's name "GBK" opens the windows-936-2000 table, the system code page's own.
ConverterPtr OpenConverter(int codePage) {
    std::string names[2];
    if (codePage == 0 || codePage == 936) {
        names[0] = "GBK";
    } else if (codePage == 65001) {
        names[0] = "UTF-8";
    } else if (codePage > 0) {
        names[0] = "windows-" + std::to_string(codePage);
        names[1] = "cp" + std::to_string(codePage);
    }
    for (const std::string& name : names) {
        if (name.empty()) continue;
        UErrorCode status = U_ZERO_ERROR;
        ConverterPtr conv(ucnv_open(name.c_str(), &status));
        if (U_FAILURE(status) || !conv) continue;
        // Like the platform: best-fit mappings where a code page has them, "?" for a
        // character it lacks. Malformed input still decodes to U+FFFD.
        ucnv_setFallback(conv.get(), true);
        if (ucnv_getMaxCharSize(conv.get()) <= 2) {
            status = U_ZERO_ERROR;
            ucnv_setSubstChars(conv.get(), "?", 1, &status);
        }
        return conv;
    }
    return nullptr;
}

// The converter for `codePage`, or null when ICU has none. Converters are opened once per
// thread and kept: one must not be used on two threads at once, and opening one costs more
// than converting a short text.
UConverter* Converter(int codePage) {
    thread_local std::map<int, ConverterPtr> cache;
    auto it = cache.find(codePage);
    if (it == cache.end()) it = cache.emplace(codePage, OpenConverter(codePage)).first;
    if (it->second) ucnv_reset(it->second.get());
    return it->second.get();
}

// The text up to its first NUL, as the platform reads a string given with length -1.
std::string_view CString(const Text& text) { return std::string_view(text.c_str()); }

// UTF-16 units of `narrow` decoded with `conv`.
std::u16string Decode(UConverter* conv, std::string_view narrow) {
    std::u16string units(narrow.size() + 1, u'\0');
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_reset(conv);
        int32_t length = ucnv_toUChars(conv, units.data(), static_cast<int32_t>(units.size()),
                                       narrow.data(), static_cast<int32_t>(narrow.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            units.assign(static_cast<size_t>(length) + 1, u'\0');
            continue;
        }
        units.resize(U_SUCCESS(status) ? static_cast<size_t>(length) : 0);
        return units;
    }
}

// Number of UTF-16 units that decoding `narrow` with `conv` yields.
size_t CountUnits(UConverter* conv, std::string_view narrow) {
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(conv);
    int32_t length = ucnv_toUChars(conv, nullptr, 0, narrow.data(),
                                   static_cast<int32_t>(narrow.size()), &status);
    return length > 0 ? static_cast<size_t>(length) : 0;
}

// `in` re-encoded from `from` to `to` through ICU's UTF-16 pivot. `guess` is the first size
// of the output; it grows when the conversion needs more room.
Text Recode(UConverter* to, UConverter* from, std::string_view in, size_t guess) {
    Text out(std::max<size_t>(guess, 16), '\0');
    UChar pivot[1024];
    UChar* pivotSource = pivot;
    UChar* pivotTarget = pivot;
    const char* source = in.data();
    size_t written = 0;
    bool reset = true;
    for (;;) {
        char* target = out.data() + written;
        UErrorCode status = U_ZERO_ERROR;
        ucnv_convertEx(to, from, &target, out.data() + out.size(), &source, in.data() + in.size(),
                       pivot, &pivotSource, &pivotTarget, pivot + std::size(pivot), reset, true,
                       &status);
        reset = false;
        written = static_cast<size_t>(target - out.data());
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.resize(out.size() * 2);
            continue;
        }
        if (U_FAILURE(status)) return Text();
        out.resize(written);
        return out;
    }
}

}  // namespace

Bytes TextToWide(const Text& text, int codePage) {
    const std::string_view narrow = CString(text);
    std::u16string units;
    UConverter* conv = Converter(codePage);
    if (conv) units = Decode(conv, narrow);

    // The result is sized by the units that the text yields in the system code page, so a
    // text decoded in another code page may leave zero units after its end; but it always
    // holds the whole decoded text and a zero unit.
    UConverter* system = Converter(0);
    size_t counted = system ? CountUnits(system, narrow) : narrow.size();
    size_t total = std::max(counted, units.size()) + 1;

    Bytes wide(2 * total, 0);
    for (size_t i = 0; i < units.size(); ++i) {
        wide[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
        wide[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
    }
    return wide;
}

Text WideToText(const Bytes& wide, int codePage) {
    std::u16string units;
    units.reserve(wide.size() / 2);
    for (size_t i = 0; i + 1 < wide.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(wide[i] | (wide[i + 1] << 8));
        if (unit == 0) break;
        units.push_back(unit);
    }
    UConverter* conv = Converter(codePage);
    if (!conv) return Text();

    Text out(units.size() * 2 + 16, '\0');
    for (;;) {
        UErrorCode status = U_ZERO_ERROR;
        int32_t length = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()),
                                         units.data(), static_cast<int32_t>(units.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<size_t>(length) + 1, '\0');
            ucnv_reset(conv);
            continue;
        }
        out.resize(U_SUCCESS(status) ? static_cast<size_t>(length) : 0);
        return out;
    }
}

// The compositions convert in one pass through ICU's pivot instead of building the UTF-16
// value: the result is the same, since a text read up to its NUL decodes to no zero unit.
Text GbkToUtf8(const Text& text) {
    const std::string_view narrow = CString(text);
    UConverter* gbk = Converter(936);
    UConverter* utf8 = Converter(65001);
    if (!gbk || !utf8) return Text();
    return Recode(utf8, gbk, narrow, narrow.size() + narrow.size() / 2);
}

Text Utf8ToGbk(const Text& text) {
    const std::string_view narrow = CString(text);
    UConverter* gbk = Converter(936);
    UConverter* utf8 = Converter(65001);
    if (!gbk || !utf8) return Text();
    return Recode(gbk, utf8, narrow, narrow.size());
}
