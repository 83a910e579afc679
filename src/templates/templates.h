// The template dispatcher: translates one TMPL record (the tag byte is the current byte).
#pragma once

#include <cstdint>
#include <string>

#include "mtef/context.h"

// Returns 0 when a handler ran, 1 for a selector outside the table.
std::int32_t translateTemplate(EquationContext& ctx, std::string* out);
