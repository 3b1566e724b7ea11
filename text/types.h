// The value types that every subsystem passes around.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a narrow text in code page 936 (GBK), without a terminating NUL. A Text is
// expected to hold no zero byte; the conversions read it up to its first NUL, as a C string.
using Text = std::string;

// A counted array of bytes; zero bytes are ordinary content.
using Bytes = std::vector<std::uint8_t>;

// A one-dimensional array of texts.
using TextArray = std::vector<Text>;
