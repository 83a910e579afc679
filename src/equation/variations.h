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

// An MTEF 2 or 3 integral (selectors 21 to 26): 21 to 23 single, double and triple with
// limits beside them, 24 to 26 the same with limits above and below; the variation
// numbers which limits and whether the integral is a contour.
inline IntegralForm integralForm3(std::int32_t selector, std::int32_t variation) {
  const int s = selector;
  const int v = variation & 0x0f;
  IntegralForm form;
  Limits& l = form.limits;
  if (s == 0x15) {
    l.lower = v == 1 || v == 2 || v == 4;
    l.upper = v == 2;
    form.contour = v == 3 || v == 4;
  } else if (s == 0x16 || s == 0x17) {
    l.lower = v == 1 || v == 3;
    form.contour = v == 2 || v == 3;
  } else if (s == 0x18) {
    l.lower = true;
    l.upper = v != 1 && v != 2;
    form.contour = v == 2;
  } else {
    l.lower = true;
    form.contour = v != 1;
  }
  form.count = s == 0x15 || s == 0x18 ? 1 : s == 0x16 || s == 0x19 ? 2 : 3;
  form.sumStyle = s >= 0x18;
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

// A labelled arrow (MathType 5): the low digit holds the labels (8 below, 4 above) and the
// kind (0 one arrow, 2 a harpoon pair, otherwise an arrow pair); for one arrow the high
// digit gives its direction (2 right, 1 left, otherwise both), for a pair a long arrow
// over a short one (1) or a short one over a long one (2). `code` is the arrow's
// character.
struct ArrowForm {
  char32_t code = 0;
  bool above = false;
  bool below = false;
};

inline ArrowForm arrowForm(std::int32_t variation) {
  const int low = variation & 0x0f;
  const int high = variation >> 4;
  const int style = low & 3;
  ArrowForm form;
  if (style == 0) form.code = high == 2 ? 0x2192 : high == 1 ? 0x2190 : 0x2194;
  else if (style == 2) form.code = 0x21CC;
  else form.code = high == 1 ? 0x2942 : high == 2 ? 0x2944 : 0x21C4;
  form.below = (low & 8) != 0;
  form.above = (low & 4) != 0;
  return form;
}

}  // namespace equation
