// The group walker: copies the host's RTF to the output token by token in normalised
// form, watches the font table for the Greek font, and hands equation objects to the
// object handling.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

constexpr std::uint32_t kSuppressOutput = 1;  // consume tokens without writing them
constexpr std::uint32_t kInFontTable = 2;     // inside the font-table group
constexpr std::uint32_t kAfterClassId = 4;    // drop text runs until the group closes

extern std::uint32_t walkFlags;
extern std::int32_t currentFont;

// Walk results.
constexpr std::int32_t kWalkEnd = 0;        // no token: end of input
constexpr std::int32_t kWalkItem = 1;       // an item was processed
constexpr std::int32_t kWalkGroupEnd = 2;   // a closing brace was read

// Resets the walker state, the font references and the equation state for a new run.
void BeginDocumentPass();

// Processes one item: one token, or for an opening brace the whole group. Groups are
// walked with an explicit stack, so any nesting depth is safe.
std::int32_t WalkRtf();
// Calls WalkRtf while it returns kWalkItem.
void WalkGroup();

// Appends one control word as the pass writes it: the word, its parameter (two lower-case
// hex digits after "\'", else decimal) and one blank, except after a control symbol.
void AppendControlWord(std::string& out, std::string_view text, bool hasParameter,
                       std::int32_t parameter);

// The contents of an object's data group, read after "\objdata" to the group's own
// closing brace: nested groups, control words, zero bytes and "\bin" data included.
struct ObjectData {
  std::string hex;     // the group's own text without zero bytes, \bin data as hex digits
  std::string copy;    // the contents as the pass writes them back, when not plain
  bool plain = true;   // the contents are the text alone: written back as `hex`
  bool closed = false; // the closing brace was read (it is in neither string)
  const std::string& written() const { return plain ? hex : copy; }
};
ObjectData ReadObjectData();

// Writes or treats one control word (hasParameter false for a word without parameter).
void HandleControlWord(std::string_view text, bool hasParameter, std::int32_t parameter);
