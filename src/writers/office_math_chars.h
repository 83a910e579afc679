// Characters of the Office Math output: the style words of a run and the RTF text of one
// equation character, with MathType's fonts, encodings and private codes resolved.
#pragma once

#include <cstdint>
#include <string>

#include "equation/tree.h"

namespace writers {

struct OfficeMathChars {
  bool euclid = false;
  bool uniPrime = true;
  std::string greekFontRef;

  // "\mscr.. \msty.. " and the bold/italic words for the character's typeface or font.
  std::string_view styleWords(const equation::Node& character) const;
  // The character as RTF text inside its run.
  std::string text(const equation::Node& character) const;
};

// {\uc1\uN\'3f}
std::string unicodeEscape(std::uint32_t value);

}  // namespace writers
