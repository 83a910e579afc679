// Record handlers and text helpers shared inside the MTEF translation core.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mtef/context.h"

// Reads one byte of a record body; returns its value (0 once the data has run out).
std::int32_t readBodyByte(EquationContext& ctx);

// The CHAR record (type 2); the tag byte is the current byte. Returns 0.
std::int32_t translateChar(EquationContext& ctx, std::string* out);

// An embellishment list (type 6) working on the character run `out`. Returns 0.
std::int32_t translateEmbellishments(EquationContext& ctx, std::string* out);

// Office Math text pieces.
std::string unicodeEscape(std::uint32_t value);  // {\uc1\uN\'3f}
std::string symbolField(std::string_view font, std::uint32_t position);
// One byte-sized character (33 or more) as Office Math text: "\", "{", "}" escaped.
std::string escapedAscii(std::uint32_t code);
// Two lower-case hex digits (more for values above 255).
std::string hexByte(std::uint32_t value);
