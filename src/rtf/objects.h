// Embedded equation objects: the \objdata and \oleclsid branches of the walker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The document's Greek font reference and its fallback, found by the document pass in the
// font table and written in front of Greek letters.
extern std::string greekFontRef;
extern std::string greekFontRefDefault;

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

