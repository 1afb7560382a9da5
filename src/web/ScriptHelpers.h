#pragma once
// Small text helpers that the web and catalogue code share: the random "__rnd" value of the
// photo-list requests, and the resolution of the escapes found in the service's texts.

#include "runtime/Text.h"

namespace ovx {

// "0." followed by 15 digits: a random number of at least 0.1 written with 15 significant
// digits and no trailing zero, so always 17 characters.
Text RandomFraction17();

// Resolves the escapes of a service text, in this order:
// 1. the backslash escapes of a single-quoted script string literal ("\\", "\'", "\"", "\/",
//    \b \f \n \r \t \v, \xHH, \uHHHH, octal \0 to \377; any other escape drops its
//    backslash), where every "\u" is first read as "%u";
// 2. the percent escapes %uXXXX and %XX (malformed ones stay as they are).
// A leading lone carriage return is dropped, line breaks are kept, and every right single
// quotation mark (U+2019) comes back as an apostrophe. Characters that decode to U+0000 are
// dropped, unpaired surrogates become '?'. Input and result are local code-page texts.
Text UnescapeUnicode(const Text& text);

}  // namespace ovx
