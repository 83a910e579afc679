// Characters of the Office Math output: the style words of a run and the RTF text of one
// equation character, with MathType's fonts, encodings and private codes resolved.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "equation/tree.h"

namespace writers {

struct OfficeMathChars {
  bool euclid = false;
  bool uniPrime = true;
  std::string_view greekFontRef;  // refers to the writer's options

  // "\mscr.. \msty.. " and the bold/italic words for the character's typeface or font.
  std::string_view styleWords(const equation::Node& character) const;
  // Appends the character as RTF text inside its run.
  void appendText(const equation::Node& character, std::string& out) const;
};

// Appends {\uc1\uN\'3f}.
void appendUnicodeEscape(std::string& out, std::uint32_t value);

}  // namespace writers
