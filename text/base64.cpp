#include "text/base64.h"

#include <array>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value: a group of three bytes is two lookups.
constexpr std::array<char, 2 * 4096> MakePairs() {
    std::array<char, 2 * 4096> pairs{};
    for (int v = 0; v < 4096; ++v) {
        pairs[2 * v] = kAlphabet[v >> 6];
        pairs[2 * v + 1] = kAlphabet[v & 63];
    }
    return pairs;
}
constexpr std::array<char, 2 * 4096> kPairs = MakePairs();

}  // namespace

Text Base64Encode(Bytes& data) {
    if (data.empty()) return Text();
    const size_t rest = data.size() % 3;
    // The caller's value itself grows to whole groups of three; the padding characters below
    // then overwrite what only the added zero bytes determine.
    if (rest > 0) data.resize(data.size() + 3 - rest, 0);

    Text out(data.size() / 3 * 4, '\0');
    const std::uint8_t* in = data.data();
    char* o = out.data();
    for (size_t i = 0; i < data.size(); i += 3, o += 4) {
        const unsigned group = (unsigned{in[i]} << 16) | (unsigned{in[i + 1]} << 8) | in[i + 2];
        std::memcpy(o, &kPairs[2 * (group >> 12)], 2);
        std::memcpy(o + 2, &kPairs[2 * (group & 0xFFF)], 2);
    }
    if (rest == 1) out[out.size() - 2] = '=';
    if (rest >= 1) out[out.size() - 1] = '=';
    return out;
}
