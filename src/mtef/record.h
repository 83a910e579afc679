// The MTEF record reader and the output routines every translator writes through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mtef/context.h"

// Record reader modes.
constexpr std::int32_t kModeAdvance = -2;   // advance one byte into currentByte
constexpr std::int32_t kModeTopLevel = -3;  // dispatch one record; definitions stand alone
constexpr std::int32_t kModeNested = -1;    // dispatch one record; definitions take the next one
// Modes 0 and above: dispatch only a record of that type.

// Results: -1 END read, 0 record translated, 1 data ran out, 2 unexpected type,
// 3 unknown type, 4 the handler failed.
std::int32_t readRecord(EquationContext& ctx, std::string* out, std::int32_t mode);

// Output routines: a null output does nothing and returns 1, else 0.
// copyZeroTerminated and skipNudge always read their bytes; they return 1 when the data
// ran out before the record part was complete (or the output is null), else 0.
std::int32_t appendText(EquationContext& ctx, std::string* out, std::string_view text,
                        bool clearFirst = false);
std::int32_t appendHexByte(EquationContext& ctx, std::string* out, std::uint32_t value,
                           bool clearFirst = false);
std::string_view pickByTarget(const EquationContext& ctx, std::string_view mtef3Text,
                              std::string_view officeMathText);
std::int32_t copyZeroTerminated(EquationContext& ctx, std::string* out);
std::int32_t skipNudge(EquationContext& ctx, std::string* out);

// The value of currentByte as a number (0 to 255).
std::int32_t currentByteValue(const EquationContext& ctx);

// Marks the equation as failed; the first reason given is kept in ctx.failReason.
// readRecord calls it itself for data that ran out, unknown types, failed handlers and
// the nesting limit. Result 2 (unexpected type) is not noted by the reader, because mode 0
// is also used to skip bytes whose value does not matter; a caller that needs an END
// notes the failure itself.
void noteFailure(EquationContext& ctx, std::string_view reason);

// The byte offset of the byte last read, within the record stream (for failure reasons).
std::int32_t currentByteOffset(const EquationContext& ctx);
