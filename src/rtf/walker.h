// The group walker: copies the host's RTF to the output token by token in normalised
// form, watches the font table for the Greek font, and hands equation objects to the
// object handling.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtf/document.h"

// Walk results.
constexpr std::int32_t kWalkEnd = 0;        // no token: end of input
constexpr std::int32_t kWalkItem = 1;       // an item was processed
constexpr std::int32_t kWalkGroupEnd = 2;   // a closing brace was read

// Processes one item: one token, or for an opening brace the whole group. Groups are
// walked with an explicit stack, so any nesting depth is safe.
std::int32_t WalkRtf(DocumentPass& pass);

// Appends one control word as the pass writes it: the word, its parameter (two lower-case
// hex digits after "\'", else decimal) and one blank, except after a control symbol.
void AppendControlWord(std::string& out, std::string_view text, bool hasParameter,
                       std::int32_t parameter);
