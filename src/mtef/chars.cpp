// The CHAR record: one character of the equation as an Office Math run or an MTEF 3 CHAR
// record. Fonts, encodings, the Euclid and prime options and MathType's private character
// codes are resolved here.
#include <cstdio>

#include "mtef/char_tables.h"
#include "mtef/handlers.h"
#include "mtef/record.h"
#include "platform/platform.h"

namespace {

constexpr std::string_view kEuclidFraktur = "4575636c6964204672616b74757200";
constexpr std::string_view kEuclid = "4575636c6964";
constexpr std::string_view kFraktur = "4672616b747572";
constexpr std::string_view kMathOne = "4d617468204f6e65";
constexpr std::string_view kMathTwo = "4d6174682054776f";

enum class Layout { Plain, Position8, Position16 };

// What the character's font tells about it.
struct FontFacts {
  bool valid = false;           // bound to an existing FONT_DEF
  std::int32_t encodingKind = 0;
  bool euclidCompatible = false;
  bool letterAlphabet = false;  // its ASCII letters stay letters
};

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

std::string_view styleWordsForFont(std::string_view name, std::int32_t style, FontFacts& facts) {
  if (contains(name, kFraktur)) {
    facts.letterAlphabet = true;
    return style == 1 ? "\\mscr2\\msty1 " : "\\mscr2\\msty0 ";
  }
  if (contains(name, kMathOne)) {
    facts.letterAlphabet = true;
    switch (style) {
      case 1: return "\\mscr1\\msty1\\b ";
      case 2: return "\\mscr0\\msty2\\i ";
      case 3: return "\\mscr0\\msty3\\b\\i ";
      default: return "\\mscr1\\msty0 ";
    }
  }
  if (contains(name, kMathTwo)) {
    facts.letterAlphabet = true;
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

// Binds an explicit-font typeface (below 128) to a font, as the pending FONT_STYLE_DEF or
// its default says, and describes that font.
FontFacts bindExplicitFont(EquationContext& ctx, std::int32_t typeface, std::string& run) {
  TypefaceFont& bound = ctx.typefaceFonts[static_cast<std::size_t>(typeface)];
  if (ctx.pendingFontStyle.fontIndex == -1) {
    if (bound.fontIndex == -1) bound = {127 - typeface + ctx.preambleFontCount, 0};
  } else {
    bound = ctx.pendingFontStyle;
    ctx.pendingFontStyle.fontIndex = -1;
  }
  FontFacts facts;
  const bool officeMath = ctx.targetMode != 0;
  if (bound.fontIndex < 0 || static_cast<std::size_t>(bound.fontIndex) >= ctx.fontDefs.size()) {
    if (officeMath) run += "\\mscr0\\msty0 ";
    return facts;
  }
  const FontDef& font = ctx.fontDefs[static_cast<std::size_t>(bound.fontIndex)];
  facts.valid = true;
  facts.encodingKind = font.encodingKind;
  facts.euclidCompatible = font.nameHex == kEuclidFraktur || font.encodingKind == -1 ||
                           (ctx.isEuclid == 0 && contains(font.nameHex, kEuclid));
  const std::string_view words = styleWordsForFont(font.nameHex, bound.style, facts);
  if (officeMath) run += words;
  return facts;
}

std::string euclidOr(const EquationContext& ctx, int font, std::uint32_t position,
                     std::uint32_t unicode) {
  if (ctx.isEuclid == 0) return unicodeEscape(unicode);
  return symbolField(font == 1 ? "Euclid Math One" : "Euclid Math Two", position);
}

// Office Math text of a character in an explicit font of unknown encoding, by its code;
// empty when the code has no entry.
std::string explicitFontText(const EquationContext& ctx, std::uint32_t code, std::uint32_t p) {
  static const std::uint16_t kFullWidth[] = {9674,  10731, 9651,  9661,  8904,  8812,  8960,
                                             8765,  8909,  8617,  8618,  8672,  8674,  10229,
                                             10230, 10231, 10232, 10233, 10234, 10236, 10815};
  if (code >= 0xFF01 && code <= 0xFF15) return unicodeEscape(kFullWidth[code - 0xFF01]);
  switch (code) {
    case 0xEA06: return euclidOr(ctx, 2, 156, 8816);
    case 0xE90B: return unicodeEscape(10950);
    case 0xE90C: return unicodeEscape(10949);
    case 0xE922: return unicodeEscape(10891);
    case 0xE92D: return unicodeEscape(10892);
    case 0xE92E: return euclidOr(ctx, 1, 136, 8739);
    case 0xE92F: return euclidOr(ctx, 1, 137, 8741);
    case 0xE932: return unicodeEscape(10885);
    case 0xE933: return unicodeEscape(10886);
    case 0xE93A: return unicodeEscape(10935);
    case 0xE93B: return unicodeEscape(10936);
    case 0x25A0: return unicodeEscape(9724);
    case 0x25A1: return unicodeEscape(9723);
    case 0x25CB: return unicodeEscape(9711);
    case 0x2268: return p == 154 ? euclidOr(ctx, 2, 154, 8808) : unicodeEscape(8808);
    case 0x2269: return p == 155 ? euclidOr(ctx, 2, 155, 8809) : unicodeEscape(8809);
    case 0x2270: return p == 150 ? euclidOr(ctx, 2, 150, 8816) : unicodeEscape(8816);
    case 0x2271: return p == 151 ? euclidOr(ctx, 2, 151, 8817) : unicodeEscape(8817);
    case 0x227C: return unicodeEscape(p == 176 ? 10927 : 8828);
    case 0x227D: return unicodeEscape(p == 177 ? 10928 : 8829);
    case 0x2296: return unicodeEscape(p == 36 ? 8854 : 8861);
    case 0x22DC: return unicodeEscape(10901);
    case 0x22DD: return unicodeEscape(10902);
    case 0x22E0: return euclidOr(ctx, 2, 190, 8928);
    case 0x22E1: return euclidOr(ctx, 2, 191, 8929);
    case 0x0131: return "\\i{\\uc1\\u305\\'3f}";
    case 0xFE68: return unicodeEscape(10189);
    case 0xED01: return euclidOr(ctx, 1, 246, 8513);
    case 0xED02: return "\\i{\\uc1\\u567\\'3f}";
    case 0xEA07: return euclidOr(ctx, 2, 157, 8817);
    case 0xEA0B: return euclidOr(ctx, 2, 225, 8841);
    case 0xEA0C: return euclidOr(ctx, 2, 224, 8840);
    case 0xEA2E: return euclidOr(ctx, 1, 138, 8740);
    case 0xEA2F: return euclidOr(ctx, 1, 139, 8742);
    case 0xEA32: return unicodeEscape(10889);
    case 0xEA33: return unicodeEscape(10890);
    case 0xEA34: return unicodeEscape(10887);
    case 0xEA35: return unicodeEscape(10888);
    case 0xEA3A: return unicodeEscape(10937);
    case 0xEA3B: return unicodeEscape(10938);
    case 0xEA40: return unicodeEscape(10933);
    case 0xEA41: return unicodeEscape(10934);
    case 0xEA42: return euclidOr(ctx, 2, 216, 8840);
    case 0xEA43: return euclidOr(ctx, 2, 217, 8841);
    case 0xEA44: return unicodeEscape(10955);
    case 0xEA45: return unicodeEscape(10956);
    case 0xEA46: return euclidOr(ctx, 2, 222, 8840);
    case 0xEA47: return euclidOr(ctx, 2, 223, 8841);
    default: return {};
  }
}

// MT Extra characters with a fixed replacement: Office Math text, and MTEF 3 typeface +
// character for the Euclid Extra font or for a standard typeface.
struct ExtraChar {
  std::uint16_t code;
  const char* officeMath;
  const char* euclidMtef3;
  const char* plainMtef3;
};

const ExtraChar kExtraChars[] = {
    {0x2102, "{\\mr\\mscr3\\msty0 C}", "01a300", "814300"},
    {0x2115, "{\\mr\\mscr3\\msty0 N}", "01a500", "814e00"},
    {0x211A, "{\\mr\\mscr3\\msty0 Q}", "01a400", "815100"},
    {0x211D, "{\\mr\\mscr3\\msty0 R}", "01a100", "815200"},
    {0x2124, "{\\mr\\mscr3\\msty0 Z}", "01a200", "815a00"},
    {0x2127, "{\\uc1\\u8487\\'3f}", "014a00", "86a903"},
    {0x2221, "{\\uc1\\u8737\\'3f}", "015200", "862022"},
    {0x2222, "{\\uc1\\u8738\\'3f}", "015300", "862022"},
    {0x2225, "{\\uc1\\u8741\\'3f}", "015000", "867c00"},
    {0x223C, "~", "013a00", "863c22"},
    {0x2243, "{\\uc1\\u8771\\'3f}", "013b00", "864522"},
    {0x2250, "{\\uc1\\u8784\\'3f}", "014200", "863d00"},
    {0x2259, "{\\uc1\\u8793\\'3f}", "014100", "863d00"},
    {0x225C, "{\\uc1\\u8796\\'3f}", "014000", "863d00"},
    {0x226A, "{\\uc1\\u8810\\'3f}", "013d00", "863c00"},
    {0x226B, "{\\uc1\\u8811\\'3f}", "013f00", "863e00"},
    {0x2299, "{\\uc1\\u10752\\'3f}", "016500", "869f03"},
    {0x25A1, "{\\uc1\\u9723\\'3f}", "015700", "8ba125"},
    {0x25AD, "{\\uc1\\u9645\\'3f}", "015800", "8bad25"},
    {0x25B1, "{\\uc1\\u9649\\'3f}", "015900", "8bb125"},
    {0x25B3, "{\\uc1\\u9651\\'3f}", "015600", "869403"},
    {0x25CB, "{\\uc1\\u9711\\'3f}", "016400", "869f03"},
    {0x301A, "[[", "01a700", "865b00"},
    {0x301B, "]]", "01a800", "865d00"},
    {0xE98F, "{\\uc1\\u8901\\'3f}", "016700", "862220"},
};

const ExtraChar* findExtraChar(std::uint32_t code) {
  for (const ExtraChar& entry : kExtraChars) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::string extraFallbackText(const EquationContext& ctx, std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEB02: return unicodeEscape(8644);
    case 0xEB03: case 0xEB04: return unicodeEscape(8652);
    case 0xEB05: return unicodeEscape(8599);
    case 0xEB06: return unicodeEscape(8600);
    case 0x210F:
      return ctx.isEuclid != 0 ? symbolField("Euclid Extra", 104) : unicodeEscape(8463);
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

// Greek letters are written in the document's Greek font as code page 1253 bytes.
std::string greekText(std::uint32_t code, std::uint32_t position) {
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
std::string spaceOrVariantText(const EquationContext& ctx, std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEF01: return ctx.isUniPrime != 0 ? unicodeEscape(8203) : "";
    case 0xEB02: case 0xEF02: return " ";
    case 0xEB04: case 0xEF04: return "  ";
    case 0xEB05: case 0xEF05: return "    ";
    case 0xEB08: case 0xEF08: return " ";
    case 0x03C6: return unicodeEscape(981);
    case 0x03D5: return unicodeEscape(966);
    default: return unicodeEscape(code);
  }
}

std::string singleByteText(const EquationContext& ctx, std::uint32_t code) {
  if (code < 33) {
    switch (code) {
      case 2: case 8: case 32: return " ";
      case 4: return "  ";
      case 5: return "    ";
      default: return "";
    }
  }
  if (code == 39) return ctx.isUniPrime != 0 ? "{\\uc1\\u39 '}" : "'";
  return byteText(code);
}

bool isAsciiLetter(std::uint32_t c) { return (c >= 65 && c <= 90) || (c >= 97 && c <= 122); }

std::uint16_t mapOneByte(std::int32_t typeface, std::uint8_t byte) {
  switch (typeface) {
    case 132: case 133: case 134: return mapSymbolChar(byte);
    case 139: return mapExtraChar(byte);
    case 150: return mapExpandChar(byte);
    default: return byte;
  }
}

}  // namespace

std::string unicodeEscape(std::uint32_t value) {
  return "{\\uc1\\u" + std::to_string(value) + "\\'3f}";
}

std::string symbolField(std::string_view font, std::uint32_t position) {
  return "{\\field{\\*\\fldinst SYMBOL " + std::to_string(position) + " \\\\f \"" +
         std::string(font) + "\"}{\\fldrslt }}";
}

std::string escapedAscii(std::uint32_t code) {
  const char c = static_cast<char>(code & 0xff);
  if (c == '\\' || c == '{' || c == '}') return std::string{'\\', c};
  return std::string(1, c);
}

std::int32_t translateChar(EquationContext& ctx, std::string* out) {
  const bool mtef5 = ctx.mtefVersion == 5;
  const bool officeMath = ctx.targetMode != 0;
  const std::int32_t tag = currentByteValue(ctx);
  const std::int32_t options = mtef5 ? readBodyByte(ctx) : (tag >> 4);
  const bool hasNudge = (options & 8) != 0;
  const bool hasEmbellishments = mtef5 ? (options & 1) != 0 : (options & 2) != 0;
  const std::int32_t mtef3Options =
      (hasNudge ? 8 : 0) | (hasEmbellishments ? 2 : 0) | (mtef5 ? 0 : (options & 1));
  Layout layout = Layout::Plain;
  if (mtef5 && (options & 4)) {
    layout = Layout::Position8;
  } else if (mtef5 && (options & 16)) {
    layout = Layout::Position16;
  }
  std::string nudge;
  if (hasNudge) skipNudge(ctx, &nudge);
  const std::int32_t typeface = readBodyByte(ctx);

  std::string run;
  if (officeMath) {
    run += kAtomStart;
    run += "{\\mr";
  } else {
    run += hexByte(static_cast<std::uint32_t>(mtef3Options * 16 + 2));
    run += nudge;
  }

  FontFacts font;
  if (typeface < 128) {
    if (!officeMath) run += hexByte(static_cast<std::uint32_t>(typeface));
    font = bindExplicitFont(ctx, typeface, run);
  } else if (officeMath) {
    run += styleWordsForTypeface(typeface);
  } else {
    // User typefaces have no MTEF 3 counterpart; they are written as vector.
    run += (typeface == 0x89 || typeface == 0x8a) ? "87"
                                                  : hexByte(static_cast<std::uint32_t>(typeface));
  }
  const bool unknownEncodingFont = typeface < 128 && font.valid && font.encodingKind == 0;

  if (layout == Layout::Position8) {
    const std::uint32_t low = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t high = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t position = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t code = high * 256 + low;
    if (unknownEncodingFont) {
      if (officeMath) {
        if (font.letterAlphabet && isAsciiLetter(position)) {
          run += static_cast<char>(position);
        } else {
          std::string text = explicitFontText(ctx, code, position);
          run += text.empty() ? unicodeEscape(code) : text;
        }
      } else {
        run += hexByte(position) + (font.euclidCompatible ? "00" : "f7");
      }
    } else if (typeface == 139) {
      if (!officeMath) run.erase(run.size() - 2);  // the entry brings its own typeface
      if (const ExtraChar* entry = findExtraChar(code)) {
        run += officeMath ? entry->officeMath
                          : (ctx.isEuclid != 0 ? entry->euclidMtef3 : entry->plainMtef3);
      } else if (!officeMath) {
        run += "8b" + hexByte(low) + hexByte(high);
      } else if (high != 0) {
        run += extraFallbackText(ctx, code);
      } else if (code >= 33) {
        run += escapedAscii(code);
      }
    } else if (!officeMath) {
      // The two phi shapes trade codes so that each keeps its glyph in MTEF 3.
      if (code == 0x03C6 && position == 106) {
        run += "d503";
      } else if (code == 0x03D5 && position == 102) {
        run += "c603";
      } else {
        run += hexByte(low) + hexByte(high);
      }
    } else if (high == 3) {
      run += greekText(code, position);
    } else if (high != 0) {
      run += highCodeText(code);
    } else if (code >= 33) {
      run += byteText(code);
    }
  } else if (layout == Layout::Position16) {
    const std::uint32_t low = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t high = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t positionLow = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t positionHigh = static_cast<std::uint32_t>(readBodyByte(ctx));
    const std::uint32_t code = high * 256 + low;
    if (!officeMath) {
      run += unknownEncodingFont
                 ? hexByte(positionLow + positionHigh * 256) +
                       (font.euclidCompatible ? "00" : "f7")
                 : hexByte(low) + hexByte(high);
    } else if (high != 0) {
      run += unicodeEscape(code);
    } else if (code >= 33) {
      run += escapedAscii(code);
    }
  } else {
    std::uint32_t low = static_cast<std::uint32_t>(readBodyByte(ctx));
    std::uint32_t high = 0;
    if (ctx.mtefVersion == 3 || mtef5) {
      high = static_cast<std::uint32_t>(readBodyByte(ctx));
    } else {
      const std::uint16_t mapped = mapOneByte(typeface, static_cast<std::uint8_t>(low));
      low = mapped & 0xffu;
      high = mapped >> 8;
    }
    if (!officeMath) {
      run += hexByte(low);
      if (typeface == 151 && low == 9) {
        run += "00";
      } else if (typeface == 151 || typeface == 152) {
        run += "eb";
      } else {
        run += hexByte(high);
      }
    } else if (high != 0) {
      run += spaceOrVariantText(ctx, high * 256 + low);
    } else {
      run += singleByteText(ctx, low);
    }
  }

  if (hasEmbellishments) {
    const std::string* outerRun = ctx.openRun;
    ctx.openRun = &run;
    readRecord(ctx, &run, kModeNested);
    ctx.openRun = outerRun;
  }
  if (officeMath) {
    run += '}';
    run += kAtomEnd;
  }
  appendText(ctx, out, run);
  return 0;
}
