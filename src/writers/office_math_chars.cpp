// Characters of the Office Math output: style words and the text of one character.
// Fonts, encodings, the Euclid and prime options and MathType's private character codes
// are resolved here.
#include "writers/office_math_chars.h"

#include <string_view>

#include "platform/hex.h"
#include "platform/platform.h"

namespace writers {
namespace {

std::string escapedAscii(std::uint32_t code) {
  const char c = static_cast<char>(code & 0xff);
  if (c == '\\' || c == '{' || c == '}') return std::string{'\\', c};
  return std::string(1, c);
}

std::string symbolField(std::string_view font, std::uint32_t position) {
  return "{\\field{\\*\\fldinst SYMBOL " + std::to_string(position) + " \\\\f \"" +
         std::string(font) + "\"}{\\fldrslt }}";
}

std::string hexByte(std::uint32_t value) {
  std::string out;
  const char byte = static_cast<char>(value & 0xff);
  platform::appendHex(out, std::string_view(&byte, 1));
  return out;
}

constexpr std::string_view kEuclidFraktur = "Euclid Fraktur";
constexpr std::string_view kEuclid = "Euclid";
constexpr std::string_view kFraktur = "Fraktur";
constexpr std::string_view kMathOne = "Math One";
constexpr std::string_view kMathTwo = "Math Two";

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::string_view styleWordsForFont(std::string_view name, std::int32_t style, bool& letterAlphabet) {
  if (contains(name, kFraktur)) {
    letterAlphabet = true;
    return style == 1 ? "\\mscr2\\msty1 " : "\\mscr2\\msty0 ";
  }
  if (contains(name, kMathOne)) {
    letterAlphabet = true;
    switch (style) {
      case 1: return "\\mscr1\\msty1\\b ";
      case 2: return "\\mscr0\\msty2\\i ";
      case 3: return "\\mscr0\\msty3\\b\\i ";
      default: return "\\mscr1\\msty0 ";
    }
  }
  if (contains(name, kMathTwo)) {
    letterAlphabet = true;
    return "\\mscr3\\msty0 ";
  }
  switch (style) {
    case 1: return "\\mscr0\\msty1\\b ";
    case 2: return "\\mscr0\\msty2\\i ";
    case 3: return "\\mscr0\\msty3\\b\\i ";
    default: return "\\mscr0\\msty0 ";
  }
}

std::string_view styleWordsForTypeface(std::int32_t typeface) {
  switch (typeface) {
    case 129: case 130: case 133: case 136: return "\\mscr0\\msty0 ";
    case 135: return "\\mscr0\\msty1\\b ";
    case 137: case 138: return "\\mscr0\\msty3\\b\\i ";
    default: return "\\mscr0\\msty2\\i ";
  }
}

std::string euclidOr(bool euclid, int font, std::uint32_t position,
                     std::uint32_t unicode) {
  if (!euclid) return unicodeEscape(unicode);
  return symbolField(font == 1 ? "Euclid Math One" : "Euclid Math Two", position);
}

// Office Math text of a character in an explicit font of unknown encoding, by its code;
// empty when the code has no entry.
std::string explicitFontText(bool euclid, std::uint32_t code, std::uint32_t p) {
  static const std::uint16_t kFullWidth[] = {9674,  10731, 9651,  9661,  8904,  8812,  8960,
                                             8765,  8909,  8617,  8618,  8672,  8674,  10229,
                                             10230, 10231, 10232, 10233, 10234, 10236, 10815};
  if (code >= 0xFF01 && code <= 0xFF15) return unicodeEscape(kFullWidth[code - 0xFF01]);
  switch (code) {
    case 0xEA06: return euclidOr(euclid, 2, 156, 8816);
    case 0xE90B: return unicodeEscape(10950);
    case 0xE90C: return unicodeEscape(10949);
    case 0xE922: return unicodeEscape(10891);
    case 0xE92D: return unicodeEscape(10892);
    case 0xE92E: return euclidOr(euclid, 1, 136, 8739);
    case 0xE92F: return euclidOr(euclid, 1, 137, 8741);
    case 0xE932: return unicodeEscape(10885);
    case 0xE933: return unicodeEscape(10886);
    case 0xE93A: return unicodeEscape(10935);
    case 0xE93B: return unicodeEscape(10936);
    case 0x25A0: return unicodeEscape(9724);
    case 0x25A1: return unicodeEscape(9723);
    case 0x25CB: return unicodeEscape(9711);
    case 0x2268: return p == 154 ? euclidOr(euclid, 2, 154, 8808) : unicodeEscape(8808);
    case 0x2269: return p == 155 ? euclidOr(euclid, 2, 155, 8809) : unicodeEscape(8809);
    case 0x2270: return p == 150 ? euclidOr(euclid, 2, 150, 8816) : unicodeEscape(8816);
    case 0x2271: return p == 151 ? euclidOr(euclid, 2, 151, 8817) : unicodeEscape(8817);
    case 0x227C: return unicodeEscape(p == 176 ? 10927 : 8828);
    case 0x227D: return unicodeEscape(p == 177 ? 10928 : 8829);
    case 0x2296: return unicodeEscape(p == 36 ? 8854 : 8861);
    case 0x22DC: return unicodeEscape(10901);
    case 0x22DD: return unicodeEscape(10902);
    case 0x22E0: return euclidOr(euclid, 2, 190, 8928);
    case 0x22E1: return euclidOr(euclid, 2, 191, 8929);
    case 0x0131: return "\\i{\\uc1\\u305\\'3f}";
    case 0xFE68: return unicodeEscape(10189);
    case 0xED01: return euclidOr(euclid, 1, 246, 8513);
    case 0xED02: return "\\i{\\uc1\\u567\\'3f}";
    case 0xEA07: return euclidOr(euclid, 2, 157, 8817);
    case 0xEA0B: return euclidOr(euclid, 2, 225, 8841);
    case 0xEA0C: return euclidOr(euclid, 2, 224, 8840);
    case 0xEA2E: return euclidOr(euclid, 1, 138, 8740);
    case 0xEA2F: return euclidOr(euclid, 1, 139, 8742);
    case 0xEA32: return unicodeEscape(10889);
    case 0xEA33: return unicodeEscape(10890);
    case 0xEA34: return unicodeEscape(10887);
    case 0xEA35: return unicodeEscape(10888);
    case 0xEA3A: return unicodeEscape(10937);
    case 0xEA3B: return unicodeEscape(10938);
    case 0xEA40: return unicodeEscape(10933);
    case 0xEA41: return unicodeEscape(10934);
    case 0xEA42: return euclidOr(euclid, 2, 216, 8840);
    case 0xEA43: return euclidOr(euclid, 2, 217, 8841);
    case 0xEA44: return unicodeEscape(10955);
    case 0xEA45: return unicodeEscape(10956);
    case 0xEA46: return euclidOr(euclid, 2, 222, 8840);
    case 0xEA47: return euclidOr(euclid, 2, 223, 8841);
    default: return {};
  }
}

// MT Extra characters with a fixed replacement.
struct ExtraChar {
  std::uint16_t code;
  const char* officeMath;
};

const ExtraChar kExtraChars[] = {
    {0x2102, "C"},
    {0x2115, "N"},
    {0x211A, "Q"},
    {0x211D, "R"},
    {0x2124, "Z"},
    {0x2127, "{\\uc1\\u8487\\'3f}"},
    {0x2221, "{\\uc1\\u8737\\'3f}"},
    {0x2222, "{\\uc1\\u8738\\'3f}"},
    {0x2225, "{\\uc1\\u8741\\'3f}"},
    {0x223C, "~"},
    {0x2243, "{\\uc1\\u8771\\'3f}"},
    {0x2250, "{\\uc1\\u8784\\'3f}"},
    {0x2259, "{\\uc1\\u8793\\'3f}"},
    {0x225C, "{\\uc1\\u8796\\'3f}"},
    {0x226A, "{\\uc1\\u8810\\'3f}"},
    {0x226B, "{\\uc1\\u8811\\'3f}"},
    {0x2299, "{\\uc1\\u10752\\'3f}"},
    {0x25A1, "{\\uc1\\u9723\\'3f}"},
    {0x25AD, "{\\uc1\\u9645\\'3f}"},
    {0x25B1, "{\\uc1\\u9649\\'3f}"},
    {0x25B3, "{\\uc1\\u9651\\'3f}"},
    {0x25CB, "{\\uc1\\u9711\\'3f}"},
    {0x301A, "[["},
    {0x301B, "]]"},
    {0xE98F, "{\\uc1\\u8901\\'3f}"},
};

const ExtraChar* findExtraChar(std::uint32_t code) {
  for (const ExtraChar& entry : kExtraChars) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::string extraFallbackText(bool euclid, std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEB02: return unicodeEscape(8644);
    case 0xEB03: case 0xEB04: return unicodeEscape(8652);
    case 0xEB05: return unicodeEscape(8599);
    case 0xEB06: return unicodeEscape(8600);
    case 0x210F:
      return euclid ? symbolField("Euclid Extra", 104) : unicodeEscape(8463);
    case 0x2229: return unicodeEscape(8898);
    case 0x222A: return unicodeEscape(8899);
    default: return unicodeEscape(code);
  }
}

bool isGreekLetter(std::uint32_t code) {
  return (code >= 0x0391 && code <= 0x03A1) || code == 0x03A3 || code == 0x03A4 ||
         (code >= 0x03A6 && code <= 0x03A9) || (code >= 0x03B1 && code <= 0x03C5) ||
         (code >= 0x03C7 && code <= 0x03C9);
}

// Greek letters are written in the document's Greek font as code page 1253 bytes; when
// the document names no Greek font, as Unicode escapes.
std::string greekText(const std::string& greekFontRef, std::uint32_t code, std::uint32_t position) {
  if (greekFontRef.empty()) {
    if (code == 0x03C6 && position != 106) return "\\i{\\uc1\\u981\\'3f}";
    if (code == 0x03D5) return unicodeEscape(position == 102 ? 981 : 966);
    return unicodeEscape(code);
  }
  const std::string phiInFont = greekFontRef + "\\'f6";
  if (isGreekLetter(code)) return greekFontRef + "\\'" + hexByte(code - 0x2D0);
  switch (code) {
    case 0x03C6: return position == 106 ? phiInFont : "\\i{\\uc1\\u981\\'3f}";
    case 0x03D5: return position == 102 ? "{\\uc1\\u981\\'3f}" : phiInFont;
    case 0x03D1: return unicodeEscape(977);
    case 0x03D2: return greekFontRef + "\\'d5";
    case 0x03D6: return unicodeEscape(982);
    default: return unicodeEscape(code);
  }
}

// A single-byte character of 33 or more: multiplication and division signs and the upper
// half of code page 1252 become Unicode escapes.
std::string byteText(std::uint32_t code) {
  if (code == 215 || code == 247) return unicodeEscape(code);
  if (code >= 127) {
    std::uint32_t unicode = 0;
    if (!platform::cp1252ToUnicode(static_cast<unsigned char>(code), unicode)) unicode = 63;
    return unicodeEscape(unicode);
  }
  return escapedAscii(code);
}

std::string highCodeText(std::uint32_t code) {
  switch (code) {
    case 0xF8EE: return unicodeEscape(8968);
    case 0xF8F0: return unicodeEscape(8970);
    case 0xF8F9: return unicodeEscape(8969);
    case 0xF8FB: return unicodeEscape(8971);
    case 0x2207: return "\\i0{\\uc1\\u8711\\'3f}";
    case 0x220D: return unicodeEscape(1014);
    case 0x2665: return unicodeEscape(9825);
    case 0x2666: return unicodeEscape(9826);
    default: return unicodeEscape(code);
  }
}

// Plain-code characters with a non-zero high byte: MathType's spaces and the two phi forms.
std::string spaceOrVariantText(bool uniPrime, std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEF01: return uniPrime ? unicodeEscape(8203) : "";
    case 0xEB02: case 0xEF02: return " ";
    case 0xEB04: case 0xEF04: return "  ";
    case 0xEB05: case 0xEF05: return "    ";
    case 0xEB08: case 0xEF08: return " ";
    case 0x03C6: return unicodeEscape(981);
    case 0x03D5: return unicodeEscape(966);
    default: return unicodeEscape(code);
  }
}

std::string singleByteText(bool uniPrime, std::uint32_t code) {
  if (code < 33) {
    switch (code) {
      case 2: case 8: case 32: return " ";
      case 4: return "  ";
      case 5: return "    ";
      default: return "";
    }
  }
  if (code == 39) return uniPrime ? "{\\uc1\\u39 '}" : "'";
  return byteText(code);
}

bool isAsciiLetter(std::uint32_t c) { return (c >= 65 && c <= 90) || (c >= 97 && c <= 122); }

}  // namespace

std::string unicodeEscape(std::uint32_t value) {
  return "{\\uc1\\u" + std::to_string(value) + "\\'3f}";
}

// MT Extra's double-struck letters are letters in the double-struck script.
bool isDoubleStruck(const equation::Node& c) {
  if (c.layout != equation::CharLayout::Position8 || c.typeface != 139) return false;
  switch (c.code) {
    case 0x2102: case 0x2115: case 0x211A: case 0x211D: case 0x2124: return true;
    default: return false;
  }
}

std::string_view OfficeMathChars::styleWords(const equation::Node& c) const {
  if (isDoubleStruck(c)) return "\\mscr3\\msty0 ";
  if (c.typeface >= 128) return styleWordsForTypeface(c.typeface);
  if (!c.font.valid) return "\\mscr0\\msty0 ";
  bool letterAlphabet = false;
  return styleWordsForFont(c.font.name, c.font.style, letterAlphabet);
}

std::string OfficeMathChars::text(const equation::Node& c) const {
  const std::uint32_t code = c.code;
  const std::uint32_t high = code >> 8;
  const std::uint32_t low = code & 0xff;
  if (c.layout == equation::CharLayout::Position8) {
    const std::uint32_t position = c.position;
    bool letterAlphabet = false;
    if (c.typeface < 128 && c.font.valid) styleWordsForFont(c.font.name, c.font.style, letterAlphabet);
    if (c.typeface < 128 && c.font.valid && c.font.encodingKind == 0) {
      // A font of unknown encoding: letters of a letter alphabet stay letters, other
      // characters go by their code.
      if (letterAlphabet && isAsciiLetter(position)) return std::string(1, static_cast<char>(position));
      std::string text = explicitFontText(euclid, code, position);
      return text.empty() ? unicodeEscape(code) : text;
    }
    if (c.typeface == 139) {
      if (const ExtraChar* entry = findExtraChar(code)) return entry->officeMath;
      if (high != 0) return extraFallbackText(euclid, code);
      return code >= 33 ? escapedAscii(code) : std::string{};
    }
    if (high == 3) return greekText(greekFontRef, code, position);
    if (high != 0) return highCodeText(code);
    return code >= 33 ? byteText(code) : std::string{};
  }
  if (c.layout == equation::CharLayout::Position16) {
    if (high != 0) return unicodeEscape(code);
    return code >= 33 ? escapedAscii(code) : std::string{};
  }
  if (high != 0) return spaceOrVariantText(uniPrime, code);
  return singleByteText(uniPrime, low);
}

}  // namespace writers
