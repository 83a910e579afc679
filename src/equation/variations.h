// What template variations mean, where more than one writer needs to know.
#pragma once

#include <cstdint>

namespace equation {

struct Limits {
  bool lower = false;
  bool upper = false;
};

// The limits a big-operator template (integral-style, summation-style, limit) holds. MTEF
// 5 packs them in the high digit (4 summation-style placement, not used; 2 upper, 1
// lower); MTEF 2 and 3 number them: 0 upper only, 1 lower only, others both.
inline Limits bigOperatorLimits(std::int32_t version, std::int32_t variation) {
  Limits limits;
  if (version == 5) {
    int high = variation >> 4;
    if (high >= 4) high -= 4;
    if (high >= 2) {
      high -= 2;
      limits.upper = true;
    }
    limits.lower = high >= 1;
  } else {
    limits.lower = variation != 0;
    limits.upper = variation != 1;
  }
  return limits;
}

}  // namespace equation
