// Internal to the template translators: the reading and writing helpers every handler
// uses, and the handler entry points the dispatcher calls.
//
// Every handler reads its record body through readRecord and writes each piece of output
// as a pair (MTEF 3 text, Office Math text) through pickByTarget, so one code path serves
// both targets.
//
// Slots are always translated into strings of their own and the template's text is put
// together afterwards. That lets the Office Math groups be written in schema order
// (degree before radicand, limits before the n-ary operand, quotient before dividend)
// while the slots are still read in stream order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "mtef/context.h"

namespace tmpl {

inline constexpr std::string_view kStart{"\x01", 1};
inline constexpr std::string_view kEnd{"\x02", 1};

// Joins the pieces into one string.
std::string cat(std::initializer_list<std::string_view> parts);

// Two lower-case hex digits (more for values above 255).
std::string hex2(std::uint32_t value);

bool isOfficeMath(const EquationContext& ctx);

// Appends the member of the pair that belongs to the context's target.
void emit(EquationContext& ctx, std::string* out, std::string_view mtef3Text,
          std::string_view officeMathText);

// Reads the next byte of the stream and returns its value (0 once the data ran out).
int advance(EquationContext& ctx);

// Steps the reader back over the byte just read, so that it is read again.
void putBack(EquationContext& ctx);

// Reads the next byte, puts it back and returns it.
int peek(EquationContext& ctx);

// True when the value is an END tag for the stream's MTEF version.
bool isEndTag(const EquationContext& ctx, int value);

// The slot list of one template. Once an END (or the end of the data) has been met in
// place of a slot, the list is over: further slot reads give empty text and nothing more
// is consumed, so a template with fewer slots than its variation promises does not eat
// into the records that follow it.
struct SlotList {
  EquationContext& ctx;
  bool ended = false;
};

// Translates the next record of the list (a slot, or a fence or operator character) and
// returns its text.
std::string readSlot(SlotList& slots);

// Reads the next record of the list and throws its text away.
void skipSlot(SlotList& slots);

// Consumes the END that closes the list. Records left before it (more than the template
// expected) are read and dropped, so the stream stays in step with its structure.
void finishSlots(SlotList& slots);

// Office Math: cuts the base of a script template from the end of text and returns it.
std::string takeScriptBase(std::string& text);

// Handlers, one per template family.
enum class FenceKind { kSingle, kWhite, kInterval };

void fenceTemplate(EquationContext& ctx, std::string* out, FenceKind kind,
                   const std::string& nudge);
void braKetTemplate(EquationContext& ctx, std::string* out);

void fractionTemplate(EquationContext& ctx, std::string* out, int kind);
void fractionTemplateV3(EquationContext& ctx, std::string* out, int kind);
void radicalTemplate(EquationContext& ctx, std::string* out);

void scriptTemplate(EquationContext& ctx, std::string* out, int kind);
void scriptTemplateV3(EquationContext& ctx, std::string* out, std::string_view selector);
void bigOperatorTemplate(EquationContext& ctx, std::string* out, int kind);

void integralTemplate(EquationContext& ctx, std::string* out);
void largeOperatorTemplate(EquationContext& ctx, std::string* out, int kind);
void integralTemplateV3(EquationContext& ctx, std::string* out, std::string_view selector);
void largeOperatorTemplateV3(EquationContext& ctx, std::string* out,
                             std::string_view selector);

void arrowTemplate(EquationContext& ctx, std::string* out);
void accentTemplate(EquationContext& ctx, std::string* out, int kind);
void boxTemplate(EquationContext& ctx, std::string* out, int kind, const std::string& nudge);
void decorationTemplate(EquationContext& ctx, std::string* out, std::string_view selector);
void arcTemplate(EquationContext& ctx, std::string* out);

// Kinds passed by the dispatcher.
inline constexpr int kFraction = 0;
inline constexpr int kSlashFraction = 1;
inline constexpr int kLongDivision = 2;

inline constexpr int kSuperscript = 0;
inline constexpr int kSubscript = 1;
inline constexpr int kSubSuperscript = 2;

inline constexpr int kIntegralStyle = 0;
inline constexpr int kSummationStyle = 1;
inline constexpr int kLimit = 2;

inline constexpr int kBox = 0;
inline constexpr int kStrike = 1;

}  // namespace tmpl
