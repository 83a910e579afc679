// Characters of the Office Math output: style words and the text of one character.
// Fonts, encodings, the Euclid and prime options and MathType's private character codes
// are resolved here.
#include "writers/office_math_chars.h"

#include <charconv>
#include <string_view>

#include "platform/hex.h"
#include "platform/platform.h"

namespace writers {
namespace {

// Every writer of character text below appends it to `out`.
void appendNumber(std::string& out, std::uint32_t value) {
  char digits[12];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<std::size_t>(end - digits));
}

void escape(std::string& out, std::uint32_t value) { appendUnicodeEscape(out, value); }
void literal(std::string& out, std::string_view text) { out += text; }

void escapedAscii(std::string& out, std::uint32_t code) {
  const char c = static_cast<char>(code & 0xff);
  if (c == '\\' || c == '{' || c == '}') out += '\\';
  out += c;
}

void symbolField(std::string& out, std::string_view font, std::uint32_t position) {
  out += "{\\field{\\*\\fldinst SYMBOL ";
  appendNumber(out, position);
  out += " \\\\f \"";
  out += font;
  out += "\"}{\\fldrslt }}";
}

void hexByte(std::string& out, std::uint32_t value) {
  const char byte = static_cast<char>(value & 0xff);
  platform::appendHex(out, std::string_view(&byte, 1));
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

void euclidOr(std::string& out, bool euclid, int font, std::uint32_t position,
              std::uint32_t unicode) {
  if (!euclid) return escape(out, unicode);
  symbolField(out, font == 1 ? "Euclid Math One" : "Euclid Math Two", position);
}

// Office Math text of a character in an explicit font of unknown encoding, by its code;
// false, with nothing written, when the code has no entry.
bool explicitFontText(std::string& out, bool euclid, std::uint32_t code, std::uint32_t p) {
  static const std::uint16_t kFullWidth[] = {9674,  10731, 9651,  9661,  8904,  8812,  8960,
                                             8765,  8909,  8617,  8618,  8672,  8674,  10229,
                                             10230, 10231, 10232, 10233, 10234, 10236, 10815};
  if (code >= 0xFF01 && code <= 0xFF15) {
    escape(out, kFullWidth[code - 0xFF01]);
    return true;
  }
  switch (code) {
    case 0xEA06: euclidOr(out, euclid, 2, 156, 8816); return true;
    case 0xE90B: escape(out, 10950); return true;
    case 0xE90C: escape(out, 10949); return true;
    case 0xE922: escape(out, 10891); return true;
    case 0xE92D: escape(out, 10892); return true;
    case 0xE92E: euclidOr(out, euclid, 1, 136, 8739); return true;
    case 0xE92F: euclidOr(out, euclid, 1, 137, 8741); return true;
    case 0xE932: escape(out, 10885); return true;
    case 0xE933: escape(out, 10886); return true;
    case 0xE93A: escape(out, 10935); return true;
    case 0xE93B: escape(out, 10936); return true;
    case 0x25A0: escape(out, 9724); return true;
    case 0x25A1: escape(out, 9723); return true;
    case 0x25CB: escape(out, 9711); return true;
    case 0x2268: p == 154 ? euclidOr(out, euclid, 2, 154, 8808) : escape(out, 8808); return true;
    case 0x2269: p == 155 ? euclidOr(out, euclid, 2, 155, 8809) : escape(out, 8809); return true;
    case 0x2270: p == 150 ? euclidOr(out, euclid, 2, 150, 8816) : escape(out, 8816); return true;
    case 0x2271: p == 151 ? euclidOr(out, euclid, 2, 151, 8817) : escape(out, 8817); return true;
    case 0x227C: escape(out, p == 176 ? 10927 : 8828); return true;
    case 0x227D: escape(out, p == 177 ? 10928 : 8829); return true;
    case 0x2296: escape(out, p == 36 ? 8854 : 8861); return true;
    case 0x22DC: escape(out, 10901); return true;
    case 0x22DD: escape(out, 10902); return true;
    case 0x22E0: euclidOr(out, euclid, 2, 190, 8928); return true;
    case 0x22E1: euclidOr(out, euclid, 2, 191, 8929); return true;
    case 0x0131: literal(out, "\\i{\\uc1\\u305\\'3f}"); return true;
    case 0xFE68: escape(out, 10189); return true;
    case 0xED01: euclidOr(out, euclid, 1, 246, 8513); return true;
    case 0xED02: literal(out, "\\i{\\uc1\\u567\\'3f}"); return true;
    case 0xEA07: euclidOr(out, euclid, 2, 157, 8817); return true;
    case 0xEA0B: euclidOr(out, euclid, 2, 225, 8841); return true;
    case 0xEA0C: euclidOr(out, euclid, 2, 224, 8840); return true;
    case 0xEA2E: euclidOr(out, euclid, 1, 138, 8740); return true;
    case 0xEA2F: euclidOr(out, euclid, 1, 139, 8742); return true;
    case 0xEA32: escape(out, 10889); return true;
    case 0xEA33: escape(out, 10890); return true;
    case 0xEA34: escape(out, 10887); return true;
    case 0xEA35: escape(out, 10888); return true;
    case 0xEA3A: escape(out, 10937); return true;
    case 0xEA3B: escape(out, 10938); return true;
    case 0xEA40: escape(out, 10933); return true;
    case 0xEA41: escape(out, 10934); return true;
    case 0xEA42: euclidOr(out, euclid, 2, 216, 8840); return true;
    case 0xEA43: euclidOr(out, euclid, 2, 217, 8841); return true;
    case 0xEA44: escape(out, 10955); return true;
    case 0xEA45: escape(out, 10956); return true;
    case 0xEA46: euclidOr(out, euclid, 2, 222, 8840); return true;
    case 0xEA47: euclidOr(out, euclid, 2, 223, 8841); return true;
    default: return false;
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

void extraFallbackText(std::string& out, bool euclid, std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEB02: return escape(out, 8644);
    case 0xEB03: case 0xEB04: return escape(out, 8652);
    case 0xEB05: return escape(out, 8599);
    case 0xEB06: return escape(out, 8600);
    case 0x210F:
      return euclid ? symbolField(out, "Euclid Extra", 104) : escape(out, 8463);
    case 0x2229: return escape(out, 8898);
    case 0x222A: return escape(out, 8899);
    default: return escape(out, code);
  }
}

bool isGreekLetter(std::uint32_t code) {
  return (code >= 0x0391 && code <= 0x03A1) || code == 0x03A3 || code == 0x03A4 ||
         (code >= 0x03A6 && code <= 0x03A9) || (code >= 0x03B1 && code <= 0x03C5) ||
         (code >= 0x03C7 && code <= 0x03C9);
}

// Greek letters are written in the document's Greek font as code page 1253 bytes; when
// the document names no Greek font, as Unicode escapes.
void greekText(std::string& out, std::string_view greekFontRef, std::uint32_t code,
               std::uint32_t position) {
  if (greekFontRef.empty()) {
    if (code == 0x03C6 && position != 106) return literal(out, "\\i{\\uc1\\u981\\'3f}");
    if (code == 0x03D5) return escape(out, position == 102 ? 981 : 966);
    return escape(out, code);
  }
  const auto phiInFont = [&] {
    out += greekFontRef;
    out += "\\'f6";
  };
  if (isGreekLetter(code)) {
    out += greekFontRef;
    out += "\\'";
    return hexByte(out, code - 0x2D0);
  }
  switch (code) {
    case 0x03C6: return position == 106 ? phiInFont() : literal(out, "\\i{\\uc1\\u981\\'3f}");
    case 0x03D5: return position == 102 ? literal(out, "{\\uc1\\u981\\'3f}") : phiInFont();
    case 0x03D1: return escape(out, 977);
    case 0x03D2:
      out += greekFontRef;
      out += "\\'d5";
      return;
    case 0x03D6: return escape(out, 982);
    default: return escape(out, code);
  }
}

// A single-byte character of 33 or more: multiplication and division signs and the upper
// half of code page 1252 become Unicode escapes.
void byteText(std::string& out, std::uint32_t code) {
  if (code == 215 || code == 247) return escape(out, code);
  if (code >= 127) {
    std::uint32_t unicode = 0;
    if (!platform::cp1252ToUnicode(static_cast<unsigned char>(code), unicode)) unicode = 63;
    return escape(out, unicode);
  }
  escapedAscii(out, code);
}

void highCodeText(std::string& out, std::uint32_t code) {
  switch (code) {
    case 0xF8EE: return escape(out, 8968);
    case 0xF8F0: return escape(out, 8970);
    case 0xF8F9: return escape(out, 8969);
    case 0xF8FB: return escape(out, 8971);
    case 0x2207: return literal(out, "\\i0{\\uc1\\u8711\\'3f}");
    case 0x220D: return escape(out, 1014);
    case 0x2665: return escape(out, 9825);
    case 0x2666: return escape(out, 9826);
    default: return escape(out, code);
  }
}

// Plain-code characters with a non-zero high byte: MathType's spaces and the two phi forms.
void spaceOrVariantText(std::string& out, bool uniPrime, std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEF01: if (uniPrime) escape(out, 8203); return;
    case 0xEB02: case 0xEF02: return literal(out, " ");
    case 0xEB04: case 0xEF04: return literal(out, "  ");
    case 0xEB05: case 0xEF05: return literal(out, "    ");
    case 0xEB08: case 0xEF08: return literal(out, " ");
    case 0x03C6: return escape(out, 981);
    case 0x03D5: return escape(out, 966);
    default: return escape(out, code);
  }
}

void singleByteText(std::string& out, bool uniPrime, std::uint32_t code) {
  if (code < 33) {
    switch (code) {
      case 2: case 8: case 32: return literal(out, " ");
      case 4: return literal(out, "  ");
      case 5: return literal(out, "    ");
      default: return;
    }
  }
  if (code == 39) return literal(out, uniPrime ? "{\\uc1\\u39 '}" : "'");
  byteText(out, code);
}

bool isAsciiLetter(std::uint32_t c) { return (c >= 65 && c <= 90) || (c >= 97 && c <= 122); }

}  // namespace

void appendUnicodeEscape(std::string& out, std::uint32_t value) {
  out += "{\\uc1\\u";
  appendNumber(out, value);
  out += "\\'3f}";
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

void OfficeMathChars::appendText(const equation::Node& c, std::string& out) const {
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
      if (letterAlphabet && isAsciiLetter(position)) {
        out += static_cast<char>(position);
        return;
      }
      if (!explicitFontText(out, euclid, code, position)) escape(out, code);
      return;
    }
    if (c.typeface == 139) {
      if (const ExtraChar* entry = findExtraChar(code)) return literal(out, entry->officeMath);
      if (high != 0) return extraFallbackText(out, euclid, code);
      if (code >= 33) escapedAscii(out, code);
      return;
    }
    if (high == 3) return greekText(out, greekFontRef, code, position);
    if (high != 0) return highCodeText(out, code);
    if (code >= 33) byteText(out, code);
    return;
  }
  if (c.layout == equation::CharLayout::Position16) {
    if (high != 0) return escape(out, code);
    if (code >= 33) escapedAscii(out, code);
    return;
  }
  if (high != 0) return spaceOrVariantText(out, uniPrime, code);
  singleByteText(out, uniPrime, low);
}

}  // namespace writers
