// The MTEF record reader, the output routines, and the structural and definition records
// (LINE, PILE, MATRIX, RULER, fonts, sizes, colours, encodings, preferences, future
// records).
#include "mtef/record.h"

#include <cstdio>
#include <limits>
#include <vector>

#include "mtef/handlers.h"
#include "templates/templates.h"

namespace {

// Names compared as hex text, terminating zero included.
constexpr std::string_view kWinAnsi = "57696e414e534900";
constexpr std::string_view kWinAllBasicCodePages = "57696e416c6c4261736963436f6465506167657300";
constexpr std::string_view kWinEastEurope = "57696e456173744575726f706500";
constexpr std::string_view kSymbolName = "53796d626f6c00";
constexpr std::string_view kMtExtraName = "4d5420457874726100";

constexpr std::string_view kMatrixHeader =
    R"({\mm {\mmPr{\mplcHide on}{\mmcs{\mmc{\mmcPr{\mmcJc )";

char normalizedDigit(char c) {
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) return c;
  if (c >= 'A' && c <= 'F') return static_cast<char>(c - 'A' + 'a');
  return '0';  // not a hex digit: read as 0 rather than carry garbage into the output
}

int digitValue(char c) { return c <= '9' ? c - '0' : c - 'a' + 10; }

// Moves to the next byte. False (currentByte "00", endOfData set) when the data has run out.
bool advance(EquationContext& ctx) {
  if (ctx.readPos < -1) ctx.readPos = -1;  // a handler stepped back before the start
  if (ctx.readPos < std::numeric_limits<std::int32_t>::max() - 2) ctx.readPos += 2;
  if (static_cast<std::int64_t>(ctx.readPos) >= static_cast<std::int64_t>(ctx.mtefHex.size())) {
    ctx.currentByte = "00";
    ctx.endOfData = true;
    return false;
  }
  const auto pos = static_cast<std::size_t>(ctx.readPos);
  ctx.currentByte.assign({normalizedDigit(ctx.mtefHex[pos - 1]), normalizedDigit(ctx.mtefHex[pos])});
  return true;
}

std::string atByte(const EquationContext& ctx) {
  return " at byte " + std::to_string(currentByteOffset(ctx));
}

bool isMtef5(const EquationContext& ctx) { return ctx.mtefVersion == 5; }

void mtef3Only(EquationContext& ctx, std::string* out, std::string_view text) {
  appendText(ctx, out, pickByTarget(ctx, text, ""));
}

void officeMathOnly(EquationContext& ctx, std::string* out, std::string_view text) {
  appendText(ctx, out, pickByTarget(ctx, "", text));
}

void copyCurrentForMtef3(EquationContext& ctx, std::string* out) {
  mtef3Only(ctx, out, ctx.currentByte);
}

// Record options: MTEF 5 keeps them in a byte after the tag, older versions in the tag's
// high digit.
std::int32_t readOptions(EquationContext& ctx, std::int32_t tag) {
  return isMtef5(ctx) ? readBodyByte(ctx) : (tag >> 4);
}

// A ruler: a count, then 3 bytes (type, 16-bit offset) per tab stop. Nothing is kept.
void skipRuler(EquationContext& ctx) {
  const std::int32_t stops = readBodyByte(ctx);
  for (std::int32_t i = 0; i < stops * 3 && !ctx.endOfData; ++i) readBodyByte(ctx);
}

std::int32_t lineRecord(EquationContext& ctx, std::string* out, std::int32_t tag) {
  ctx.inPreamble = false;
  const std::int32_t options = readOptions(ctx, tag);
  const bool hasNudge = (options & 8) != 0;
  std::string nudge;
  if (hasNudge) skipNudge(ctx, &nudge);
  if (options & 4) {  // line spacing
    readBodyByte(ctx);
    readBodyByte(ctx);
  }
  if (options & 2) skipRuler(ctx);
  if (options & 1) {  // null line: no object list follows
    mtef3Only(ctx, out, "11");
    return 0;
  }
  mtef3Only(ctx, out, hexByte(hasNudge ? 0x81 : 0x01) + nudge);
  // A line ends at its END or at any failure inside it; the failure stays local (it is
  // still recorded in ctx.failed by whoever met it).
  while (readRecord(ctx, out, kModeNested) == 0) {
  }
  mtef3Only(ctx, out, "00");
  return 0;
}

std::string_view horizontalAlignment(std::int32_t value) {
  if (value == 2) return "center";
  if (value == 3) return "right";
  return "left";
}

std::int32_t pileRecord(EquationContext& ctx, std::string* out, std::int32_t tag) {
  ctx.inPreamble = false;
  officeMathOnly(ctx, out, std::string(1, kAtomStart));
  const std::int32_t options = readOptions(ctx, tag);
  const bool hasNudge = (options & 8) != 0;
  std::string nudge;
  if (hasNudge) skipNudge(ctx, &nudge);
  // The ruler is dropped, so the ruler option is not written either.
  mtef3Only(ctx, out, hexByte(hasNudge ? 0x84 : 0x04) + nudge);
  officeMathOnly(ctx, out, kMatrixHeader);
  const std::int32_t halign = readBodyByte(ctx);
  copyCurrentForMtef3(ctx, out);
  officeMathOnly(ctx, out, std::string(horizontalAlignment(halign)) + R"(}{\mcount 1}}}}})");
  readBodyByte(ctx);  // vertical alignment
  copyCurrentForMtef3(ctx, out);
  if (options & 2) skipRuler(ctx);
  readBodyByte(ctx);
  while (currentByteValue(ctx) != 0) {
    ctx.readPos -= 2;  // the byte is the tag of the next line
    officeMathOnly(ctx, out, R"({\mmr {\me )");
    readRecord(ctx, out, kModeNested);
    officeMathOnly(ctx, out, "}}");
    readBodyByte(ctx);
  }
  appendText(ctx, out, pickByTarget(ctx, "00", "}"));
  officeMathOnly(ctx, out, std::string(1, kAtomEnd));
  return 0;
}

std::int32_t matrixRecord(EquationContext& ctx, std::string* out, std::int32_t tag) {
  officeMathOnly(ctx, out, std::string(1, kAtomStart));
  const std::int32_t options = readOptions(ctx, tag);
  const bool hasNudge = options == 8;
  std::string nudge;
  if (hasNudge) skipNudge(ctx, &nudge);
  // The nudge flag of the written tag follows whether nudge bytes were written, so the
  // MTEF 3 record stays readable whatever other option bits the input carried.
  mtef3Only(ctx, out, hexByte(hasNudge ? 0x85 : (options & 7) * 16 + 5) + nudge);
  officeMathOnly(ctx, out, kMatrixHeader);
  readBodyByte(ctx);  // vertical alignment
  copyCurrentForMtef3(ctx, out);
  const std::int32_t hjust = readBodyByte(ctx);
  copyCurrentForMtef3(ctx, out);
  officeMathOnly(ctx, out, std::string(horizontalAlignment(hjust)) + R"(}{\mcount )");
  readBodyByte(ctx);  // vertical justification
  copyCurrentForMtef3(ctx, out);
  const std::int32_t rows = readBodyByte(ctx);
  copyCurrentForMtef3(ctx, out);
  const std::int32_t columns = readBodyByte(ctx);
  copyCurrentForMtef3(ctx, out);
  officeMathOnly(ctx, out, std::to_string(columns) + "}}}}}");
  // Partition lines: two bits per line, four to a byte, rows + 1 and columns + 1 lines.
  const std::int32_t partitionBytes = (rows + 1 + 3) / 4 + (columns + 1 + 3) / 4;
  for (std::int32_t i = 0; i < partitionBytes; ++i) {
    readBodyByte(ctx);
    copyCurrentForMtef3(ctx, out);
  }
  for (std::int32_t row = 0; row < rows; ++row) {
    officeMathOnly(ctx, out, R"({\mmr )");
    for (std::int32_t column = 0; column < columns; ++column) {
      if (ctx.endOfData) return 1;
      officeMathOnly(ctx, out, R"({\me )");
      readRecord(ctx, out, kModeNested);
      officeMathOnly(ctx, out, "}");
    }
    officeMathOnly(ctx, out, "}");
  }
  const std::int32_t end = readRecord(ctx, nullptr, 0);
  if (end != -1 && end != 1) noteFailure(ctx, "matrix without END" + atByte(ctx));
  appendText(ctx, out, pickByTarget(ctx, "00", "}"));
  officeMathOnly(ctx, out, std::string(1, kAtomEnd));
  return 0;
}

// FONT (MTEF 2 to 4): typeface, style and name, copied to the MTEF 3 output.
std::int32_t fontRecord(EquationContext& ctx, std::string* out) {
  mtef3Only(ctx, out, "08");
  mtef3Only(ctx, out, hexByte(static_cast<std::uint32_t>(readBodyByte(ctx))));
  mtef3Only(ctx, out, hexByte(static_cast<std::uint32_t>(readBodyByte(ctx))));
  std::string name;
  copyZeroTerminated(ctx, &name);
  mtef3Only(ctx, out, name);
  return 0;
}

// FONT_STYLE_DEF (MTEF 5): binds the next explicit-font character to a font and style.
std::int32_t fontStyleDefRecord(EquationContext& ctx) {
  ctx.pendingFontStyle.fontIndex = readBodyByte(ctx) - 1;
  ctx.pendingFontStyle.style = readBodyByte(ctx);
  return 0;
}

// SIZE (9) and the size shortcuts FULL to SUBSYM (10 to 14).
std::int32_t sizeRecord(EquationContext& ctx, std::string* out, std::int32_t type) {
  const auto remaining =
      static_cast<std::int64_t>(ctx.mtefHex.size()) - static_cast<std::int64_t>(ctx.readPos);
  if (remaining > 3) copyCurrentForMtef3(ctx, out);
  ctx.sizeRecord = ctx.currentByte;
  if (type != 9) return 0;
  const std::int32_t first = readBodyByte(ctx);
  copyCurrentForMtef3(ctx, out);
  ctx.sizeRecord += ctx.currentByte;
  const std::int32_t more = first == 100 ? 3 : (first == 101 ? 2 : 1);
  for (std::int32_t i = 0; i < more; ++i) {
    readBodyByte(ctx);
    copyCurrentForMtef3(ctx, out);
    ctx.sizeRecord += ctx.currentByte;
  }
  return 0;
}

std::int32_t colorRecord(EquationContext& ctx) {
  if (readBodyByte(ctx) == 255) {
    readBodyByte(ctx);
    readBodyByte(ctx);
  }
  return 0;
}

std::int32_t colorDefRecord(EquationContext& ctx) {
  const std::int32_t options = readBodyByte(ctx);  // 4 named, 2 spot colour, 1 CMYK
  const std::int32_t valueBytes = (options & 1) ? 8 : 6;
  for (std::int32_t i = 0; i < valueBytes; ++i) readBodyByte(ctx);
  if (options & 4) copyZeroTerminated(ctx, nullptr);
  return 0;
}

std::int32_t fontDefRecord(EquationContext& ctx) {
  const std::int32_t encodingIndex = readBodyByte(ctx);  // 1-based
  FontDef font;
  copyZeroTerminated(ctx, &font.nameHex);
  if (font.nameHex == kSymbolName || font.nameHex == kMtExtraName) {
    font.encodingKind = 1;
  } else if (encodingIndex >= 1 &&
             static_cast<std::size_t>(encodingIndex) <= ctx.encodingKinds.size()) {
    font.encodingKind = ctx.encodingKinds[static_cast<std::size_t>(encodingIndex - 1)];
  } else {
    font.encodingKind = 0;  // no such encoding: treated like an unknown one
  }
  ctx.fontDefs.push_back(std::move(font));
  if (ctx.inPreamble) ++ctx.preambleFontCount;
  return 0;
}

// Skips a list of nibble-coded dimensions: each one ends with the digit f.
std::int32_t skipDimensions(EquationContext& ctx) {
  const std::int32_t count = readBodyByte(ctx);
  std::int32_t seen = 0;
  while (seen < count) {
    if (readRecord(ctx, nullptr, kModeAdvance) != 0) return 1;
    for (char digit : ctx.currentByte) {
      if (digit == 'f') ++seen;
    }
  }
  return 0;
}

std::int32_t eqnPrefsRecord(EquationContext& ctx) {
  readBodyByte(ctx);  // options
  if (skipDimensions(ctx) != 0) return 1;  // sizes
  if (skipDimensions(ctx) != 0) return 1;  // spaces
  const std::int32_t styles = readBodyByte(ctx);
  for (std::int32_t i = 0; i < styles && !ctx.endOfData; ++i) {
    if (readBodyByte(ctx) != 0) readBodyByte(ctx);
  }
  return 0;
}

std::int32_t encodingDefRecord(EquationContext& ctx) {
  std::string name;
  copyZeroTerminated(ctx, &name);
  std::int32_t kind = 0;
  if (name == kWinAnsi || name == kWinAllBasicCodePages) kind = 1;
  if (name == kWinEastEurope) kind = -1;
  ctx.encodingKinds.push_back(kind);
  return 0;
}

// Records from the future range carry their own length and are skipped.
std::int32_t futureRecord(EquationContext& ctx, std::int32_t tag) {
  if (tag == 255) {
    readBodyByte(ctx);
    readBodyByte(ctx);
  }
  // The length: one byte, or 255 and a 16-bit value read high byte first. Some MathType
  // versions store that value low byte first instead (a 298-byte TeX comment written as
  // "ff 2a 01"); when the high-first reading runs past the end of the stream and the
  // low-first one does not, the record is read the low-first way.
  std::int32_t length = readBodyByte(ctx);
  if (length == 255) {
    const std::int32_t first = readBodyByte(ctx);
    const std::int32_t second = readBodyByte(ctx);
    length = first * 256 + second;
    const std::int64_t remaining =
        (static_cast<std::int64_t>(ctx.mtefHex.size()) - 1 - ctx.readPos) / 2;
    const std::int32_t lowFirst = second * 256 + first;
    if (length > remaining && lowFirst <= remaining) length = lowFirst;
  }
  if (ctx.endOfData) return 1;
  for (std::int32_t i = 0; i < length; ++i) {
    if (readRecord(ctx, nullptr, kModeAdvance) != 0) return 1;
  }
  return 0;
}

// The definition and size records (8 to 19). They are followed by the record they apply
// to, which readRecord translates after them.
std::int32_t definitionRecord(EquationContext& ctx, std::string* out, std::int32_t type) {
  switch (type) {
    case 8:
      return isMtef5(ctx) ? fontStyleDefRecord(ctx) : fontRecord(ctx, out);
    case 15:
      return colorRecord(ctx);
    case 16:
      return colorDefRecord(ctx);
    case 17:
      return fontDefRecord(ctx);
    case 18:
      return eqnPrefsRecord(ctx);
    case 19:
      return encodingDefRecord(ctx);
    default:
      return sizeRecord(ctx, out, type);
  }
}

bool nests(std::int32_t type) {
  return type == 1 || type == 3 || type == 4 || type == 5 || type == 6;
}

// The records that stand alone: LINE, CHAR, TMPL, PILE, MATRIX, EMBELL, RULER, future.
std::int32_t structuralRecord(EquationContext& ctx, std::string* out, std::int32_t type,
                              std::int32_t tag) {
  switch (type) {
    case 1:
      return lineRecord(ctx, out, tag);
    case 2:
      return translateChar(ctx, out);
    case 3:
      return translateTemplate(ctx, out);
    case 4:
      return pileRecord(ctx, out, tag);
    case 5:
      return matrixRecord(ctx, out, tag);
    case 6:
      return translateEmbellishments(ctx, out);
    case 7:
      skipRuler(ctx);
      return 0;
    default:
      return futureRecord(ctx, tag);
  }
}

std::string recordName(std::int32_t type) {
  static const char* const names[] = {"END",   "LINE",  "CHAR",  "TMPL",      "PILE",
                                      "MATRIX", "EMBELL", "RULER", "FONT",      "SIZE",
                                      "FULL",  "SUB",   "SUB2",  "SYM",       "SUBSYM",
                                      "COLOR", "COLOR_DEF", "FONT_DEF", "EQN_PREFS",
                                      "ENCODING_DEF"};
  if (type >= 0 && type < 20) return names[type];
  return "record type " + std::to_string(type);
}

}  // namespace

std::int32_t currentByteValue(const EquationContext& ctx) {
  if (ctx.currentByte.size() != 2) return 0;
  return digitValue(normalizedDigit(ctx.currentByte[0])) * 16 +
         digitValue(normalizedDigit(ctx.currentByte[1]));
}

std::int32_t currentByteOffset(const EquationContext& ctx) {
  return ctx.readPos < 1 ? 0 : (ctx.readPos - 1) / 2;
}

void noteFailure(EquationContext& ctx, std::string_view reason) {
  if (ctx.failed) return;
  ctx.failed = true;
  ctx.failReason.assign(reason);
}

std::int32_t readBodyByte(EquationContext& ctx) {
  readRecord(ctx, nullptr, kModeAdvance);
  return currentByteValue(ctx);
}

std::int32_t readRecord(EquationContext& ctx, std::string* out, std::int32_t mode) {
  if (mode == kModeAdvance) {
    if (advance(ctx)) return 0;
    noteFailure(ctx, "data ran out inside a record" + atByte(ctx));
    return 1;
  }
  // Size and definition records apply to the record after them, which is translated in
  // the same call. A run of them is walked in a loop (not by recursion) and their effect
  // on the result applied afterwards, innermost first.
  std::vector<std::int32_t> prefixes;
  std::int32_t currentMode = mode;
  std::int32_t result = 0;
  for (;;) {
    if (!advance(ctx)) {
      // At the top level the stream may simply end; anywhere else a record was due.
      if (currentMode != kModeTopLevel) noteFailure(ctx, "data ran out where a record was expected");
      result = 1;
      break;
    }
    const std::int32_t tag = currentByteValue(ctx);
    const std::int32_t type = isMtef5(ctx) ? tag : (tag & 0x0f);
    if (currentMode >= 0 && type != currentMode) {
      result = 2;
      break;
    }
    if (type == 0) {
      result = -1;
      break;
    }
    if (type >= 20 && type < 100) {
      noteFailure(ctx, "unknown record type " + std::to_string(type) + atByte(ctx));
      result = 3;
      break;
    }
    const std::string where = atByte(ctx);
    if (type >= 8 && type <= 19) {
      if (definitionRecord(ctx, out, type) != 0) {
        noteFailure(ctx, recordName(type) + " record" + where + " is incomplete");
        result = 4;
        break;
      }
      if (currentMode == kModeTopLevel) break;  // definitions stand alone at the top level
      prefixes.push_back(type);
      currentMode = kModeNested;
      continue;
    }
    if (nests(type)) {
      if (ctx.depth >= kMaxNesting) {
        noteFailure(ctx, "records nested deeper than " + std::to_string(kMaxNesting) + where);
        result = 4;
        break;
      }
      ++ctx.depth;
    }
    const std::int32_t handled = structuralRecord(ctx, out, type, tag);
    if (nests(type)) --ctx.depth;
    if (handled != 0) {
      noteFailure(ctx, recordName(type) + " record" + where + " could not be translated");
      result = 4;
    }
    break;
  }
  for (auto it = prefixes.rbegin(); it != prefixes.rend(); ++it) {
    if (*it == 9) {
      result = result == -1 ? 4 : 0;  // a SIZE record directly before END
    } else if (*it >= 10 && *it <= 14) {
      result = result == -1 ? -1 : 0;
    } else {
      result = 0;
    }
  }
  return result;
}

std::int32_t appendText(EquationContext&, std::string* out, std::string_view text,
                        bool clearFirst) {
  if (out == nullptr) return 1;
  if (clearFirst) out->clear();
  out->append(text);
  return 0;
}

std::int32_t appendHexByte(EquationContext& ctx, std::string* out, std::uint32_t value,
                           bool clearFirst) {
  return appendText(ctx, out, hexByte(value), clearFirst);
}

std::string_view pickByTarget(const EquationContext& ctx, std::string_view mtef3Text,
                              std::string_view officeMathText) {
  return ctx.targetMode == 0 ? mtef3Text : officeMathText;
}

std::int32_t copyZeroTerminated(EquationContext& ctx, std::string* out) {
  for (;;) {
    if (readRecord(ctx, nullptr, kModeAdvance) != 0) return 1;
    if (out != nullptr) out->append(ctx.currentByte);
    if (ctx.currentByte == "00") return out == nullptr ? 1 : 0;
  }
}

std::int32_t skipNudge(EquationContext& ctx, std::string* out) {
  std::string bytes;
  std::int32_t count = 2;
  for (std::int32_t i = 0; i < count; ++i) {
    if (readRecord(ctx, nullptr, kModeAdvance) != 0) return 1;
    bytes += ctx.currentByte;
    if (i == 1 && bytes == "8080") count = 6;  // the long form: two 16-bit offsets follow
  }
  mtef3Only(ctx, out, bytes);
  return out == nullptr ? 1 : 0;
}

std::string hexByte(std::uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02x", value);
  return buffer;
}
