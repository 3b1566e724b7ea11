// Searching, cutting, joining and converting GBK text.
//
// Positions count bytes from 1 and a search that finds nothing yields -1. Searches and
// replacements step through the text character by character: a byte with the high bit set
// forms one character with the byte after it (a lead byte in the last position is a character
// of one byte), so a match is only ever found at a character boundary. LeftText, RightText and
// MidText count plain bytes. Every search runs in time linear in the sizes of its arguments.
#pragma once

#include <optional>

#include "text/types.h"

// Position of the first occurrence of `part` that begins at or after byte `start` (a start
// below 2 searches from the first byte). With `ignoreCase`, A-Z and a-z match regardless of
// case. An empty `part` yields 1 when the stretch searched is not empty.
int FindText(const Text& text, const Text& part, int start = 0, bool ignoreCase = false);

// Position of the last occurrence of `part` that ends before byte `start`. An omitted start,
// or one past the end, searches the whole text; a start of 1 or less finds nothing, and so
// does an empty `part`.
int FindLastText(const Text& text, const Text& part, std::optional<int> start = std::nullopt);

// The first n bytes (the whole text when n exceeds its length, empty when n <= 0).
Text LeftText(const Text& text, int n);

// The last n bytes, with the limits of LeftText.
Text RightText(const Text& text, int n);

// Up to n bytes from byte position `pos`; empty when pos lies outside the text or n <= 0.
Text MidText(const Text& text, int pos, int n);

// The text without leading and trailing blanks: 0x20 and the full-width space A1 A1.
Text TrimSpaces(const Text& text);

// Every occurrence of `part`, scanning from the start without overlap, replaced by
// `replacement`. With `caseSensitive` false, letters compare as with FindText's ignoreCase.
// An empty text or an empty `part` leaves the text unchanged.
Text ReplaceText(const Text& text, const Text& part, const Text& replacement = Text(),
                 bool caseSensitive = true);

// The pieces between occurrences of `separator`, in order. Adjacent separators or one at the
// start give an empty piece; what follows the last separator is a piece only when not empty.
TextArray SplitText(const Text& text, const Text& separator);

// The text with A-Z turned into a-z; both bytes of a double-byte character stay unchanged.
Text LowerAscii(const Text& text);

// The integer at the start of the text after full-width ASCII forms are folded to their
// one-byte forms: leading white space, an optional sign and decimal digits; 0 without digits.
// Values beyond the 32-bit range saturate at its limits.
int TextToInt(const Text& text);

// The bytes of the text without a terminating NUL.
Bytes TextToBytes(const Text& text);

// The bytes up to the first zero byte, as a text.
Text BytesToText(const Bytes& bytes);
