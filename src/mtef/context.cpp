// Construction of the equation context and the module-wide Greek font references.
#include "mtef/context.h"

std::string greekFontRef;
std::string greekFontRefDefault = "\\f382";

EquationContext makeEquationContext(std::int32_t targetMode, std::int32_t isEuclid,
                                    std::int32_t isUniPrime) {
  EquationContext ctx;
  ctx.targetMode = targetMode;
  ctx.isEuclid = isEuclid;
  ctx.isUniPrime = isUniPrime;
  ctx.currentByte = "00";
  // Equation Native header (length bytes inserted per equation) + MTEF 3 header + FULL.
  ctx.headerTemplate = "1c000000020064c2000000000000b8c81600ec6c150000000000030101030a0a";
  return ctx;
}
