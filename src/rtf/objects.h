// Embedded equation objects: the \objdata and \oleclsid branches of the walker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Builds the equation state for a new run from the settings of that moment.
void BeginEquationObjects();

// Takes in the object data after "\objdata", converts an equation object and writes the
// replacement, or writes the data back unchanged.
void HandleObjectData();

// Writes "\oleclsid " and drops the text runs of the rest of the group.
void HandleClassId();

// The replaced objects since the converter was initialised.
extern std::int32_t convertedCount;

// An equation object of the current run that stayed as it was, and why.
struct UnconvertedObject {
  std::uint64_t inputOffset = 0;  // where its data starts in the document
  std::string className;
  std::string reason;
};
// Reset at the start of every run.
extern std::vector<UnconvertedObject> unconvertedObjects;

// The class name stored in an object's data (at most 255 characters).
std::string ObjectClassName(const std::string& objectHex);

// How an object's data is read: where its native data starts and in which mode.
struct ObjectClass {
  bool isEquation = false;
  std::size_t nativeOffset = 0;  // in hex digits
  std::int32_t readerMode = 0;
};

// Chooses the class from the object data's hex text. Equation.2 and Equation.3 are
// recognised only when `eqVersion` is 1.
ObjectClass ClassifyObject(const std::string& objectHex, std::uint32_t eqVersion);
