// Equation objects: which OLE1 embedded objects hold equations, reading the "Equation
// Native" stream out of an object's native data, and building the object data of a new
// Equation 3.0 object. Everything here works on bytes.
#pragma once

#include <cstdint>
#include <string>

#include "ole/compound_file.h"
#include <string_view>

// The class id of Equation 3.0 objects, given to the root storage of the objects we write.
constexpr const char* kEquation3ClassId = "{0002CE02-0000-0000-C000-000000000046}";

// How an object's native data holds its equation.
enum class NativeForm : std::uint8_t {
  CompoundFile,  // a compound file with an "Equation Native" stream
  BareMtef,      // the MTEF itself, lined up as a stream would be
};

struct ObjectClass {
  bool isEquation = false;
  std::size_t nativeOffset = 0;  // where the native data starts in the object data
  NativeForm form = NativeForm::CompoundFile;
};

// The class name stored in an OLE1 object record (at most 255 characters).
std::string ObjectClassName(std::string_view objectData);

// Chooses the class from the object record. Equation.2 and Equation.3 count as equations
// only when `eqVersion` is 1 (Office Math output).
ObjectClass ClassifyObject(std::string_view objectData, std::uint32_t eqVersion);

// The whole "Equation Native" stream of the native data. False when the data is not a
// readable compound file or has no such stream; an empty input gives true and an empty
// stream.
bool ReadEquationNative(std::string_view native, NativeForm form, std::string& stream);
// The same without copying: `stream` refers to the bytes inside `native` where they stand
// together, else to `scratch`.
bool ReadEquationNativeView(std::string_view native, NativeForm form, CompoundScratch& scratch,
                            std::string_view& stream);

// The object data (hex text with CR LF line breaks) of an Equation 3.0 object holding
// the given "Equation Native" stream: the OLE1 header, the four-byte native size, the
// compound file in lines of 126 bytes and the fixed presentation record. Empty when the
// stream is empty or the compound file cannot be built.
std::string Equation3ObjectText(std::string_view equationNative);
// The same into `text` (emptied first), which keeps its capacity from one use to the next;
// false when nothing could be written.
bool Equation3ObjectText(std::string_view equationNative, std::string& text);

// The compound file (binary) of an Equation 3.0 object: root class id as above, streams
// "\1Ole", "\1CompObj", "\3ObjInfo" and "Equation Native" (the given bytes). Empty on
// failure.
std::string buildEquation3CompoundFile(std::string_view equationNativeBytes);
