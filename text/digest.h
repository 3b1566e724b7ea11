// Message digests written as hexadecimal text.
#pragma once

#include "text/types.h"

// Algorithm identifiers as the Windows cryptography service numbers them.
constexpr int CALG_MD5 = 0x8003;
constexpr int CALG_SHA1 = 0x8004;
constexpr int CALG_SHA_256 = 0x800C;
constexpr int CALG_SHA_384 = 0x800D;
constexpr int CALG_SHA_512 = 0x800E;

// Upper-case hex digest of `data`. `hashLength` is the room for the digest in bytes: room
// larger than the digest gives the digest alone, smaller room, an unknown algorithm or any
// failure give the empty text.
Text HashHex(const Bytes& data, int algorithmId, int hashLength);

// The MD5 digest of `data` as 32 lower-case hex characters (upper case with `upperCase`);
// with `shortForm` only characters 9 to 24. Empty on failure.
Text Md5Hex(const Bytes& data, bool upperCase = false, bool shortForm = false);
