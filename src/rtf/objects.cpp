#include "rtf/objects.h"

#include <string_view>

#include "conversion/equation_conversion.h"
#include "platform/hex.h"
#include "rtf/input.h"
#include "rtf/output.h"
#include "rtf/walker.h"
#include "settings/settings.h"

std::int32_t convertedCount = 0;
std::vector<UnconvertedObject> unconvertedObjects;
std::string greekFontRef;
std::string greekFontRefDefault = "\\f382";

namespace {

// The equation settings of the current run, taken when the run begins.
conversion::EquationSettings runSettings;

}  // namespace

void BeginEquationObjects() {
  unconvertedObjects.clear();
  runSettings.eqVersion = gSettings.eqVersion;
  runSettings.euclid = gSettings.isEuclid != 0;
  runSettings.uniPrime = gSettings.isUniPrime != 0;
}

void HandleObjectData() {
  const std::uint64_t offset = RtfInputOffset();
  RtfToken data = NextRtfToken("}");
  const std::string& objectHex = data.text;
  const std::uint32_t eqVersion = runSettings.eqVersion;

  if (greekFontRef.empty()) greekFontRef = greekFontRefDefault;
  const conversion::ObjectOutcome outcome =
      conversion::convertObject(platform::decodeHex(objectHex), runSettings, greekFontRef);
  const std::string& replacement = outcome.replacement;
  if (replacement.empty()) {
    if (outcome.equationClass)
      unconvertedObjects.push_back({offset, outcome.className, outcome.reason});
    WriteOutput("\\objdata ");
    WriteOutput(objectHex);
    WriteOutputByte('}');
    return;
  }
  if (eqVersion == 0) WriteOutput("\\objdata ");
  WriteOutput(replacement);
  ++convertedCount;
  WriteOutputByte('}');
  if (eqVersion == 1) {
    // The picture that stood for the object is dropped with it. Only a group is
    // consumed, so an object group that ends right after its data keeps its brace.
    unsigned char next = ReadRtfByte();
    while (next == '\r' || next == '\n') next = ReadRtfByte();
    if (next != 0) UnreadRtfByte();
    if (next == '{') {
      walkFlags |= kSuppressOutput;
      WalkRtf();
      walkFlags &= ~kSuppressOutput;
    }
  }
}

void HandleClassId() {
  WriteOutput("\\oleclsid ");
  walkFlags |= kAfterClassId;
}
