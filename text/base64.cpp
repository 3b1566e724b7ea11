#include "text/base64.h"

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

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
        const unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        o[0] = kAlphabet[b0 >> 2];
        o[1] = kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        o[2] = kAlphabet[((b1 & 15) << 2) | (b2 >> 6)];
        o[3] = kAlphabet[b2 & 63];
    }
    if (rest == 1) out[out.size() - 2] = '=';
    if (rest >= 1) out[out.size() - 1] = '=';
    return out;
}
