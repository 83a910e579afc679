// Placeholder until the record reader and driver exist.
#include "mtef/record.h"

std::string greekFontRef;
std::string greekFontRefDefault = "\\f382";

EquationContext makeEquationContext(std::int32_t targetMode, std::int32_t isEuclid,
                                    std::int32_t isUniPrime) {
  EquationContext ctx;
  ctx.targetMode = targetMode;
  ctx.isEuclid = isEuclid;
  ctx.isUniPrime = isUniPrime;
  return ctx;
}

const std::string& ConvertEquation(EquationContext& ctx, const HexBytes&, std::int32_t) {
  ctx.result.clear();
  return ctx.result;
}

std::int32_t readRecord(EquationContext&, std::string*, std::int32_t) { return 1; }
std::int32_t appendText(EquationContext&, std::string* out, std::string_view text, bool clearFirst) {
  if (!out) return 1;
  if (clearFirst) out->clear();
  out->append(text);
  return 0;
}
std::int32_t appendHexByte(EquationContext&, std::string*, std::uint32_t, bool) { return 1; }
std::string_view pickByTarget(const EquationContext& ctx, std::string_view a, std::string_view b) {
  return ctx.targetMode == 0 ? a : b;
}
std::int32_t copyZeroTerminated(EquationContext&, std::string*) { return 1; }
std::int32_t skipNudge(EquationContext&, std::string*) { return 1; }
std::int32_t currentByteValue(const EquationContext&) { return 0; }
