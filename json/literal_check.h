// Recognises script text that is pure data: a literal that evaluates without running any code.
#pragma once

#include "text/types.h"

// True when `script`, in UTF-8, is one object or array literal, or a number, true, false or
// null, with nothing around it but ASCII white space. Inside, it allows what the language's
// literals allow beyond JSON: strings in single quotes, bare member names, holes and trailing
// commas, signed, fractional and hexadecimal numbers, and names of global values (such as NaN
// or undefined) as values. It refuses everything else: operators, calls, parentheses, comments,
// statements, and a string at the top, which evaluating would run as code in turn. Nesting
// depth is not limited here; the check itself uses no recursion.
bool IsDataLiteral(const Text& script);
