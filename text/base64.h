// Base64 with the standard alphabet and "=" padding, on one line.
#pragma once

#include "text/types.h"

// Encodes `data`. When its length is not a multiple of three, `data` itself is first extended
// with zero bytes to the next multiple; the padding characters then stand for those bytes.
Text Base64Encode(Bytes& data);
