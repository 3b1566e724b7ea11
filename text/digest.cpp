#include "text/digest.h"

#include <openssl/evp.h>

#include <memory>

namespace {

struct MdContextFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

const EVP_MD* DigestFor(int algorithmId) {
    switch (algorithmId) {
        case CALG_MD5:
            return EVP_md5();
        case CALG_SHA1:
            return EVP_sha1();
        case CALG_SHA_256:
            return EVP_sha256();
        case CALG_SHA_384:
            return EVP_sha384();
        case CALG_SHA_512:
            return EVP_sha512();
        default:
            return nullptr;
    }
}

}  // namespace

Text HashHex(const Bytes& data, int algorithmId, int hashLength) {
    const EVP_MD* md = DigestFor(algorithmId);
    if (md == nullptr || hashLength < EVP_MD_get_size(md)) return Text();

    std::unique_ptr<EVP_MD_CTX, MdContextFree> ctx(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data.data(), data.size()) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) {
        return Text();
    }

    static constexpr char kDigits[] = "0123456789ABCDEF";
    Text hex(2 * size, '\0');
    for (unsigned int i = 0; i < size; ++i) {
        hex[2 * i] = kDigits[digest[i] >> 4];
        hex[2 * i + 1] = kDigits[digest[i] & 15];
    }
    return hex;
}

Text Md5Hex(const Bytes& data, bool upperCase, bool shortForm) {
    Text h = HashHex(data, CALG_MD5, 16);
    if (!upperCase) {
        for (char& c : h) {
            if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
        }
    }
    if (shortForm) return h.size() > 8 ? h.substr(8, 16) : Text();
    return h;
}
