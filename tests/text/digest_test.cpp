#include "text/digest.h"

#include <gtest/gtest.h>

namespace {

Bytes B(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

TEST(Md5Hex, Shapes) {
    const Bytes abc = B("abc");
    EXPECT_EQ(Md5Hex(abc), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex(abc, true), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Hex(abc, false, true), "3cd24fb0d6963f7d");
    EXPECT_EQ(Md5Hex(abc, true, true), "3CD24FB0D6963F7D");
}

TEST(Md5Hex, Rfc1321Suite) {
    struct Case {
        const char* input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Case& c : cases) EXPECT_EQ(Md5Hex(B(c.input)), c.digest) << c.input;
    EXPECT_EQ(Md5Hex(Bytes{0x00, 0x61}), "760f753576f2955b0074758acb4d5fa6")
        << "zero bytes are data";
}

TEST(HashHex, AlgorithmsAndRoom) {
    const Bytes abc = B("abc");
    struct Case {
        const char* name;
        int algorithm;
        int length;
        Text expected;
    };
    const Case cases[] = {
        {"md5", CALG_MD5, 16, "900150983CD24FB0D6963F7D28E17F72"},
        {"room larger than digest", CALG_MD5, 40, "900150983CD24FB0D6963F7D28E17F72"},
        {"room smaller than digest", CALG_MD5, 15, ""},
        {"no room", CALG_MD5, 0, ""},
        {"negative room", CALG_MD5, -1, ""},
        {"sha1", CALG_SHA1, 20, "A9993E364706816ABA3E25717850C26C9CD0D89D"},
        {"sha256", CALG_SHA_256, 32,
         "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
        {"unknown algorithm", 0x1234, 64, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HashHex(abc, c.algorithm, c.length), c.expected) << c.name;
}

}  // namespace
