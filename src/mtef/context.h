// The state of one equation's translation, and the driver that converts one equation
// object into its replacement text.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Byte data as text: two lower-case hexadecimal digits per byte.
using HexBytes = std::string;

// Atom markers enclose every translated atom of the Office Math text; script templates
// walk back over them to find their base, and the driver removes them at the end.
constexpr char kAtomStart = '\x01';
constexpr char kAtomEnd = '\x02';

// How deeply records may nest (lines in piles in matrices, templates in templates).
// Deeper data fails the equation instead of exhausting the stack.
constexpr int kMaxNesting = 200;

struct FontDef {
  HexBytes nameHex;  // the font name with its terminating "00"
  std::int32_t encodingKind = 0;
};

struct TypefaceFont {
  std::int32_t fontIndex = -1;
  std::int32_t style = -1;
};

struct EquationContext {
  std::int32_t targetMode = 1;  // 0 MTEF 3 target, 1 Office Math target
  std::int32_t isEuclid = 0;
  std::int32_t isUniPrime = 1;
  std::int32_t mtefVersion = 0;
  HexBytes mtefHex;             // the record stream
  std::int32_t readPos = -1;    // index of the low digit of the byte last read
  std::string currentByte = "00";
  std::string result;
  HexBytes headerTemplate;
  bool inPreamble = true;
  bool endOfData = false;
  std::string sizeRecord = "0a";
  std::vector<std::int32_t> encodingKinds = {0, 0, 0, 0};
  std::vector<FontDef> fontDefs;
  std::int32_t preambleFontCount = 0;
  std::array<TypefaceFont, 128> typefaceFonts{};
  TypefaceFont pendingFontStyle;
  std::int32_t depth = 0;       // current record nesting, bounded by kMaxNesting
  bool failed = false;          // a record-level failure happened in this equation
  std::string failReason;       // why, for the first failure of the equation
  // When set, an equation whose translation failed yields empty text, so the caller
  // keeps the original object. Set at construction; not reset per equation.
  bool keepObjectOnFailure = false;
  // The character run an embellishment list may rewrite; null outside a CHAR record.
  const std::string* openRun = nullptr;
};

// Builds a context for the given target and character options.
EquationContext makeEquationContext(std::int32_t targetMode, std::int32_t isEuclid,
                                    std::int32_t isUniPrime);

// Converts one equation object (native data text as cut by the object handling) and
// returns the replacement text, empty when the equation could not be translated.
const std::string& ConvertEquation(EquationContext& ctx, const HexBytes& objectHex,
                                   std::int32_t readerMode);

// The translation without the final object step: for the MTEF 3 target the complete
// "Equation Native" stream (header + MTEF 3), for Office Math the wrapped \mmath group.
// Empty when nothing could be translated. ConvertEquation is this plus the Equation 3.0
// object writer for the MTEF 3 target.
std::string TranslateEquation(EquationContext& ctx, const HexBytes& objectHex,
                              std::int32_t readerMode);

// The document's Greek font reference and its fallback, found by the document pass in the
// font table and written in front of Greek letters.
extern std::string greekFontRef;
extern std::string greekFontRefDefault;
