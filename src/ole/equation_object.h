// Equation objects: reading the "Equation Native" stream out of an object's native data,
// and building the object data of a new Equation 3.0 object.
#pragma once

#include <cstdint>
#include <string>

using HexBytes = std::string;

// Fills `out` with the hex text of the whole "Equation Native" stream. readerMode 4 passes
// the text through (bare MTEF objects); 3 and 5 open the native data as a compound file.
// Returns 0 on success, 1 on failure (out empty).
std::int32_t ReadEquationNative(HexBytes& out, const HexBytes& objectHex, std::int32_t readerMode);

// Builds the object data (hex text with line breaks) of an Equation 3.0 object holding the
// given "Equation Native" stream. Returns 0 on success; 1 or 2 on failure with out empty.
std::int32_t WriteEquation3Object(HexBytes& out, const HexBytes& equationNative);
