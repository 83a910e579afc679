// Equation objects: reading the "Equation Native" stream out of an object's native data,
// and building the object data of a new Equation 3.0 object.
#pragma once

#include <cstdint>
#include <string>

using HexBytes = std::string;

// The class id of Equation 3.0 objects, given to the root storage of the objects we write.
constexpr const char* kEquation3ClassId = "{0002CE02-0000-0000-C000-000000000046}";

// Fills `out` with the hex text of the whole "Equation Native" stream. readerMode 4 passes
// the text through (bare MTEF objects); 3 and 5 open the native data as a compound file
// (an odd trailing digit is dropped). Returns 0 on success, 1 on failure (out empty).
// An empty input or an empty stream gives 0 with out empty.
std::int32_t ReadEquationNative(HexBytes& out, const HexBytes& objectHex, std::int32_t readerMode);

// Builds the object data (hex text with CR LF line breaks) of an Equation 3.0 object
// holding the given "Equation Native" stream: the OLE1 header, the four-byte native size,
// the compound file in lines of 126 bytes and the fixed presentation record.
// Returns 0 on success; 2 for an empty stream, 1 when the stream is not hex text or the
// compound file cannot be built; out is empty on failure.
std::int32_t WriteEquation3Object(HexBytes& out, const HexBytes& equationNative);

// The compound file (binary) of an Equation 3.0 object: root class id as above, streams
// "\1Ole", "\1CompObj", "\3ObjInfo" and "Equation Native" (the given bytes). Empty on
// failure.
std::string buildEquation3CompoundFile(const std::string& equationNativeBytes);
