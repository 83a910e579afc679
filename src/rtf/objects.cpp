#include "rtf/objects.h"

#include <string_view>
#include <utility>

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

// After an object replaced by a native equation, the {\result ...} group that held its
// picture is dropped with it. Blanks and line breaks before it are copied as the walker
// copies text; any other item stays.
void skipResultGroup() {
  unsigned char next = ReadRtfByte();
  for (;; next = ReadRtfByte()) {
    if (next == ' ' || next == '\t') {
      WriteOutputByte(' ');
    } else if (next != '\r' && next != '\n') {
      break;
    }
  }
  if (gRtfInput.endOfInput) return;
  UnreadRtfByte();
  if (next != '{') return;
  RtfToken brace = NextRtfToken({});
  RtfToken first = NextRtfToken({});
  if (first.text != "\\result") {
    UnreadRtfToken(std::move(first));
    UnreadRtfToken(std::move(brace));
    return;
  }
  walkFlags |= kSuppressOutput;
  WalkGroup();
  walkFlags &= ~kSuppressOutput;
}

}  // namespace

void BeginEquationObjects() {
  unconvertedObjects.clear();
  runSettings.eqVersion = gSettings.eqVersion;
  runSettings.euclid = gSettings.isEuclid != 0;
  runSettings.uniPrime = gSettings.isUniPrime != 0;
}

void HandleObjectData() {
  const std::uint64_t offset = RtfInputOffset();
  const ObjectData data = ReadObjectData();
  const std::string& objectHex = data.hex;
  const std::uint32_t eqVersion = runSettings.eqVersion;

  if (greekFontRef.empty()) greekFontRef = greekFontRefDefault;
  const conversion::ObjectOutcome outcome =
      conversion::convertObject(platform::decodeHex(objectHex), runSettings, greekFontRef);
  const std::string& replacement = outcome.replacement;
  if (replacement.empty()) {
    if (outcome.equationClass)
      unconvertedObjects.push_back({offset, outcome.className, outcome.reason});
    WriteOutput("\\objdata ");
    WriteOutput(data.written());
    if (data.closed) WriteOutputByte('}');
    return;
  }
  if (eqVersion == 0) WriteOutput("\\objdata ");
  WriteOutput(replacement);
  ++convertedCount;
  if (data.closed) WriteOutputByte('}');
  if (eqVersion == 1 && data.closed) skipResultGroup();
}

void HandleClassId() {
  WriteOutput("\\oleclsid ");
  walkFlags |= kAfterClassId;
}
