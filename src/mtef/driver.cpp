// The equation conversion driver: opens the equation down to its MTEF records, runs the
// record reader over them and wraps the result for the output target.
#include <algorithm>

#include "mtef/handlers.h"
#include "mtef/record.h"
#include "ole/equation_object.h"

namespace {

// Equation Native header (28 bytes) plus the five MTEF header bytes, in hex digits.
constexpr std::size_t kHeaderDigits = 66;
constexpr std::size_t kVersionOffset = 56;

constexpr std::string_view kEuclidExtraFont = "087f004575636c696420457874726100";

void resetForEquation(EquationContext& ctx) {
  ctx.mtefVersion = 0;
  ctx.mtefHex.clear();
  ctx.readPos = -1;
  ctx.result.clear();
  ctx.inPreamble = true;
  ctx.endOfData = false;
  ctx.sizeRecord = "0a";
  ctx.encodingKinds.assign(4, 0);
  ctx.fontDefs.clear();
  ctx.preambleFontCount = 0;
  ctx.typefaceFonts.fill(TypefaceFont{});
  ctx.pendingFontStyle = TypefaceFont{};
  ctx.depth = 0;
  ctx.failed = false;
  ctx.failReason.clear();
  ctx.openRun = nullptr;
}

std::int32_t hexPairValue(const std::string& text, std::size_t offset) {
  auto digit = [](char c) -> std::int32_t {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
  };
  return digit(text[offset]) * 16 + digit(text[offset + 1]);
}

// FONT records for the MTEF 3 output: Euclid Extra when Euclid fonts are used, then every
// explicit-font typeface bound during the translation, highest typeface byte first.
std::string fontRecords(const EquationContext& ctx) {
  std::string fonts;
  if (ctx.isEuclid != 0) fonts += kEuclidExtraFont;
  for (std::int32_t i = 127; i >= 0; --i) {
    const TypefaceFont& bound = ctx.typefaceFonts[static_cast<std::size_t>(i)];
    if (bound.fontIndex < 0 || static_cast<std::size_t>(bound.fontIndex) >= ctx.fontDefs.size())
      continue;
    const FontDef& font = ctx.fontDefs[static_cast<std::size_t>(bound.fontIndex)];
    if (font.nameHex.empty()) continue;
    fonts += "08" + hexByte(static_cast<std::uint32_t>(128 - i)) +
             hexByte(static_cast<std::uint32_t>(bound.style) & 0xff) + font.nameHex;
  }
  return fonts;
}

}  // namespace

std::string TranslateEquation(EquationContext& ctx, const HexBytes& objectHex,
                              std::int32_t readerMode) {
  resetForEquation(ctx);
  if (greekFontRef.empty()) greekFontRef = greekFontRefDefault;

  HexBytes stream;
  if (ReadEquationNative(stream, objectHex, readerMode) != 0) {
    noteFailure(ctx, "no \"Equation Native\" stream could be read from the object");
    return {};
  }
  if (stream.size() < kHeaderDigits) {
    noteFailure(ctx, "the \"Equation Native\" stream is too short for an equation");
    return {};
  }
  ctx.mtefVersion = hexPairValue(stream, kVersionOffset);
  ctx.mtefHex = stream.substr(kHeaderDigits);
  stream.clear();

  std::string body;
  ctx.inPreamble = true;
  if (ctx.mtefVersion >= 2 && ctx.mtefVersion <= 4) {
    while (ctx.inPreamble) {
      if (readRecord(ctx, &body, kModeTopLevel) != 0) break;
    }
  } else if (ctx.mtefVersion == 5) {
    copyZeroTerminated(ctx, nullptr);           // application key
    readRecord(ctx, nullptr, kModeAdvance);     // equation options
    // Only the last top-level record counts: the LINE or PILE that holds the equation.
    while (ctx.inPreamble) {
      body.clear();
      if (readRecord(ctx, &body, kModeTopLevel) != 0) break;
    }
  } else {
    noteFailure(ctx, "MTEF version " + std::to_string(ctx.mtefVersion) + " is not supported");
    return {};
  }
  if (body.empty()) {
    // Consistent data that draws nothing is no failure, but the caller may ask why.
    if (ctx.failReason.empty()) ctx.failReason = "the equation holds nothing to translate";
    return {};
  }

  if (ctx.targetMode == 0) {
    body.insert(0, fontRecords(ctx));
    body += "00";  // END of the equation
    const std::size_t length = body.size() / 2 + 6;  // + MTEF header and the FULL record
    std::string header = ctx.headerTemplate;
    header.insert(16, hexByte(static_cast<std::uint32_t>(length % 256)));
    header.insert(18, hexByte(static_cast<std::uint32_t>((length / 256) % 256)));
    body.insert(0, header);
    return body;
  }
  body.erase(std::remove(body.begin(), body.end(), kAtomStart), body.end());
  body.erase(std::remove(body.begin(), body.end(), kAtomEnd), body.end());
  return "{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath " + body + "}}\r\n{\\mmathPict}}\r\n";
}

const std::string& ConvertEquation(EquationContext& ctx, const HexBytes& objectHex,
                                   std::int32_t readerMode) {
  std::string text = TranslateEquation(ctx, objectHex, readerMode);
  ctx.result.clear();
  if (text.empty()) return ctx.result;
  if (ctx.keepObjectOnFailure && ctx.failed) return ctx.result;
  if (ctx.targetMode == 0) {
    HexBytes objectText;
    WriteEquation3Object(objectText, text);  // an empty object text leaves the object as it was
    if (objectText.empty()) noteFailure(ctx, "the Equation 3.0 object could not be written");
    ctx.result += objectText;
  } else {
    ctx.result += text;
  }
  return ctx.result;
}
