// The template dispatcher: reads a TMPL record's header, writes the MTEF 3 tag and hands
// the record to the handler for its selector. Also the reading and writing helpers that
// every handler shares.
#include <cstdio>

#include "mtef/record.h"
#include "templates/template_io.h"
#include "templates/templates.h"

namespace tmpl {

std::string cat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view p : parts) size += p.size();
  std::string s;
  s.reserve(size);
  for (std::string_view p : parts) s.append(p);
  return s;
}

std::string hex2(std::uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(value));
  return buf;
}

bool isOfficeMath(const EquationContext& ctx) { return ctx.targetMode != 0; }

void emit(EquationContext& ctx, std::string* out, std::string_view mtef3Text,
          std::string_view officeMathText) {
  appendText(ctx, out, pickByTarget(ctx, mtef3Text, officeMathText));
}

int advance(EquationContext& ctx) {
  readRecord(ctx, nullptr, kModeAdvance);
  return currentByteValue(ctx);
}

void putBack(EquationContext& ctx) {
  if (ctx.readPos >= 1) ctx.readPos -= 2;
}

int peek(EquationContext& ctx) {
  const int value = advance(ctx);
  putBack(ctx);
  return value;
}

bool isEndTag(const EquationContext& ctx, int value) {
  // MTEF 5 tags are whole bytes; older versions keep the type in the low digit.
  return ctx.mtefVersion == 5 ? value == 0 : (value & 0x0f) == 0;
}

std::string readSlot(SlotList& slots) {
  std::string text;
  if (slots.ended) return text;
  const std::int32_t r = readRecord(slots.ctx, &text, kModeNested);
  // -1: an END (possibly after a size record) stood where the slot was expected;
  // 1: the data ran out; 4 with an END as the last byte read: a SIZE record directly
  // before END. In each case the list is over.
  if (r == -1 || r == 1 || (r == 4 && isEndTag(slots.ctx, currentByteValue(slots.ctx)))) {
    slots.ended = true;
  }
  return text;
}

void skipSlot(SlotList& slots) { readSlot(slots); }

void finishSlots(SlotList& slots) {
  EquationContext& ctx = slots.ctx;
  while (!slots.ended && !ctx.failed) {
    const std::int32_t before = ctx.readPos;
    const int tag = advance(ctx);
    if (ctx.endOfData || isEndTag(ctx, tag)) break;
    putBack(ctx);
    readSlot(slots);
    if (ctx.readPos <= before) break;  // no progress: never loop on a stuck reader
  }
  slots.ended = true;
}

std::string takeScriptBase(std::string& text) {
  std::string base;
  const std::size_t last = text.find_last_of(std::string_view{"\x01\x02", 2});
  if (last == std::string::npos) {
    base.swap(text);
    return base;
  }
  // An atom that is still open is the template whose slot this script opens: the script
  // is the slot's first item and has no base of its own (the same as a slot translated
  // on its own), rather than a piece of the enclosing template's opening text.
  if (text[last] == kAtomStart) return base;
  int depth = 0;
  for (std::size_t i = last + 1; i-- > 0;) {
    if (text[i] == kAtomEnd) {
      ++depth;
    } else if (text[i] == kAtomStart && --depth == 0) {
      base = text.substr(i);
      text.resize(i);
      return base;
    }
  }
  // No matching atom start: everything is the base.
  base.swap(text);
  return base;
}

namespace {

// MTEF 5 selectors 0 to 37.
bool dispatchV5(EquationContext& ctx, std::string* out, int selector,
                const std::string& nudge) {
  switch (selector) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
      fenceTemplate(ctx, out, FenceKind::kSingle, nudge);
      return true;
    case 8: fenceTemplate(ctx, out, FenceKind::kWhite, nudge); return true;
    case 9: fenceTemplate(ctx, out, FenceKind::kInterval, nudge); return true;
    case 10: radicalTemplate(ctx, out); return true;
    case 11: fractionTemplate(ctx, out, kFraction); return true;
    case 12: decorationTemplate(ctx, out, "10"); return true;
    case 13: decorationTemplate(ctx, out, "11"); return true;
    case 14: arrowTemplate(ctx, out); return true;
    case 15: integralTemplate(ctx, out); return true;
    case 16: case 17: case 18: case 19: case 20:
      largeOperatorTemplate(ctx, out, selector - 16);
      return true;
    case 21: bigOperatorTemplate(ctx, out, kIntegralStyle); return true;
    case 22: bigOperatorTemplate(ctx, out, kSummationStyle); return true;
    case 23: bigOperatorTemplate(ctx, out, kLimit); return true;
    case 24: accentTemplate(ctx, out, 5); return true;
    case 25: accentTemplate(ctx, out, 6); return true;
    case 26: fractionTemplate(ctx, out, kLongDivision); return true;
    case 27: scriptTemplate(ctx, out, kSubscript); return true;
    case 28: scriptTemplate(ctx, out, kSuperscript); return true;
    case 29: scriptTemplate(ctx, out, kSubSuperscript); return true;
    case 30: braKetTemplate(ctx, out); return true;
    case 31: case 32: case 33: case 34: case 35:
      accentTemplate(ctx, out, selector - 31);
      return true;
    case 36: boxTemplate(ctx, out, kStrike, nudge); return true;
    case 37: boxTemplate(ctx, out, kBox, nudge); return true;
    default: return false;
  }
}

// MTEF 2/3 selectors 0 to 48. The text arguments are the selector itself in hex, which
// the handlers write back for the MTEF 3 target.
bool dispatchV3(EquationContext& ctx, std::string* out, int selector,
                const std::string& nudge) {
  if (selector < 0 || selector > 48) return false;
  const std::string sel = hex2(static_cast<std::uint32_t>(selector));
  if (selector <= 12) {
    fenceTemplate(ctx, out, FenceKind::kSingle, nudge);
    return true;
  }
  switch (selector) {
    case 13: radicalTemplate(ctx, out); return true;
    case 14: fractionTemplateV3(ctx, out, kFraction); return true;
    case 15: case 44: scriptTemplateV3(ctx, out, sel); return true;
    case 16: case 17: case 18: case 19: case 20: case 27: case 28: case 46: case 47:
      decorationTemplate(ctx, out, sel);
      return true;
    case 21: case 22: case 23: case 24: case 25: case 26:
      integralTemplateV3(ctx, out, sel);
      return true;
    case 39: bigOperatorTemplate(ctx, out, kLimit); return true;
    case 40: fractionTemplateV3(ctx, out, kLongDivision); return true;
    case 41: fractionTemplateV3(ctx, out, kSlashFraction); return true;
    case 42: bigOperatorTemplate(ctx, out, kIntegralStyle); return true;
    case 43: bigOperatorTemplate(ctx, out, kSummationStyle); return true;
    case 45: braKetTemplate(ctx, out); return true;
    case 48: arcTemplate(ctx, out); return true;
    default:  // 29 to 38
      largeOperatorTemplateV3(ctx, out, sel);
      return true;
  }
}

}  // namespace
}  // namespace tmpl

std::int32_t translateTemplate(EquationContext& ctx, std::string* out) {
  using namespace tmpl;
  std::string discard;
  if (out == nullptr) out = &discard;

  // MTEF 5 carries the options in a byte of their own, older versions in the tag's high
  // digit. Only the exact value 8 announces a nudge.
  const int flags = ctx.mtefVersion == 5 ? advance(ctx) : (currentByteValue(ctx) >> 4);
  std::string nudge;
  if (flags == 8) skipNudge(ctx, &nudge);
  emit(ctx, out, cat({flags == 8 ? "83" : "03", nudge}), "");

  const int selector = advance(ctx);
  const bool handled = ctx.mtefVersion == 5 ? dispatchV5(ctx, out, selector, nudge)
                                            : dispatchV3(ctx, out, selector, nudge);
  return handled ? 0 : 1;
}
