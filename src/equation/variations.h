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

// An MTEF 5 integral (selector 15). The low digit of the variation packs the contour
// flags (12 anticlockwise, 8 clockwise, 4 plain contour) above the count (0 or 1 single,
// 2 double, 3 triple); the high digit: 8 a second variation byte follows (not used),
// 4 summation-style limits, 2 upper limit, 1 lower limit, taken off in that order.
struct IntegralForm {
  int count = 1;
  bool anticlockwise = false;
  bool clockwise = false;
  bool contour = false;  // any of the three contour forms
  bool extended = false;
  bool sumStyle = false;
  Limits limits;
};

inline IntegralForm integralForm(std::int32_t variation) {
  auto take = [](int& digit, int weight) {
    if (digit < weight) return false;
    digit -= weight;
    return true;
  };
  IntegralForm form;
  int low = variation & 0x0f;
  int high = (variation >> 4) & 0x0f;
  form.anticlockwise = take(low, 12);
  form.clockwise = take(low, 8);
  form.contour = take(low, 4) || form.anticlockwise || form.clockwise;
  form.count = low == 0 ? 1 : low;
  form.extended = take(high, 8);
  form.sumStyle = take(high, 4);
  form.limits.upper = take(high, 2);
  form.limits.lower = take(high, 1);
  return form;
}

// An MTEF 5 large operator (selectors 16 to 20): the high digit as for integrals but with
// no second variation byte: 4, 2 and 1 are taken off the whole digit.
struct OperatorForm {
  bool sumStyle = false;
  Limits limits;
};

inline OperatorForm largeOperatorForm(std::int32_t variation) {
  int high = (variation >> 4) & 0x0f;
  OperatorForm form;
  if ((form.sumStyle = high >= 4)) high -= 4;
  if ((form.limits.upper = high >= 2)) high -= 2;
  form.limits.lower = high >= 1;
  return form;
}

// The borders an MTEF 5 box draws (16 bottom, 8 top, 4 right, 2 left, 1 round corners,
// which count as left): two adjoining sides, or all four for any other combination.
enum class BoxBorders { TopLeft, TopRight, BottomRight, BottomLeft, All };

inline BoxBorders boxBorders(std::int32_t variation) {
  const bool bottom = (variation & 16) != 0;
  const bool top = (variation & 8) != 0;
  const bool right = (variation & 4) != 0;
  const bool left = (variation & 3) != 0;
  if (left && top && !right) return BoxBorders::TopLeft;
  if (right && top && !left) return BoxBorders::TopRight;
  if (right && bottom && !left) return BoxBorders::BottomRight;
  if (left && bottom && !right) return BoxBorders::BottomLeft;
  return BoxBorders::All;
}

}  // namespace equation
