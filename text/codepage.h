// Conversion between narrow text in a code page, UTF-16 and UTF-8.
//
// Code pages are numbered as on Windows: 0 is the system code page, which is always GBK (936)
// here, 936 is GBK and 65001 is UTF-8. Malformed input decodes to U+FFFD; a character that the
// target code page lacks encodes to its best-fit form or "?".
#pragma once

#include "text/types.h"

// UTF-16 (little-endian units) of `text` read in `codePage`, ended by a zero unit. The result
// is at least as long as the units that decoding the text as GBK yields, padded with zero
// units; an unknown code page gives that many zero units.
Bytes TextToWide(const Text& text, int codePage = 65001);

// Narrow text in `codePage` of the UTF-16 units of `wide` up to the first zero unit; an odd
// last byte is ignored. An unknown code page gives the empty text.
Text WideToText(const Bytes& wide, int codePage = 0);

// The UTF-8 form of a GBK text.
Text GbkToUtf8(const Text& text);

// The GBK form of a UTF-8 text.
Text Utf8ToGbk(const Text& text);
