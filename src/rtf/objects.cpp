#include "rtf/objects.h"

#include <new>
#include <string_view>
#include <utility>

#include "mtef/context.h"
#include "rtf/input.h"
#include "rtf/output.h"
#include "rtf/walker.h"
#include "settings/settings.h"

std::int32_t convertedCount = 0;
std::vector<UnconvertedObject> unconvertedObjects;

namespace {

EquationContext equationContext;

struct ClassRow {
  std::string_view hexName;     // the class name (and its zero byte for exact names)
  std::size_t longerThan;       // the data must be longer than this many hex digits
  std::size_t nativeOffset;     // 0: found after the class name's zero byte
  std::int32_t readerMode;
  bool needsOfficeMath;
};

constexpr ClassRow kClassRows[] = {
    {"4571756174696f6e00", 66, 10, 4, false},                            // Equation
    {"4571756174696f6e2e44534d543400", 78, 78, 5, false},                // Equation.DSMT4
    {"4d73786d6c322e534158584d4c526561646572", 88, 0, 5, false},         // Msxml2.SAXXMLReader*
    {"4571756174696f6e2e3200", 70, 70, 3, true},                         // Equation.2
    {"4571756174696f6e2e3300", 70, 70, 3, true},                         // Equation.3
};

constexpr std::size_t kClassNameOffset = 24;

bool nameAt(const std::string& hex, std::string_view name) {
  return hex.size() >= kClassNameOffset + name.size() &&
         std::string_view(hex).substr(kClassNameOffset, name.size()) == name;
}

// For a class name of any length: the native data follows the name's zero byte, the
// empty topic and item names and the native data size.
bool nativeAfterClassName(const std::string& hex, std::size_t& offset) {
  for (std::size_t pos = 62; pos + 1 < hex.size(); pos += 2) {
    if (hex[pos] == '0' && hex[pos + 1] == '0') {
      offset = pos + 26;
      return offset < hex.size();
    }
  }
  return false;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Equation classes, whether or not this run converts them.
bool looksLikeEquation(const std::string& className) {
  return className.rfind("Equation", 0) == 0 || className.rfind("Msxml2.SAXXMLReader", 0) == 0;
}

// Why an equation object that was not replaced stayed as it was.
std::string reasonKept(const std::string& className, const ObjectClass& cls,
                       std::uint32_t eqVersion) {
  if (cls.isEquation) {
    return equationContext.failReason.empty() ? "the equation could not be translated"
                                              : equationContext.failReason;
  }
  if (eqVersion != 1 && (className == "Equation.3" || className == "Equation.2"))
    return "Equation 3.0 objects stay as they are when the output is Equation 3.0";
  return "the object data is too short or its class is not an equation class";
}

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

std::string ObjectClassName(const std::string& objectHex) {
  std::string name;
  for (std::size_t i = kClassNameOffset; i + 1 < objectHex.size() && name.size() < 255; i += 2) {
    int hi = hexValue(objectHex[i]), lo = hexValue(objectHex[i + 1]);
    if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) break;
    name += static_cast<char>(hi * 16 + lo);
  }
  return name;
}

ObjectClass ClassifyObject(const std::string& objectHex, std::uint32_t eqVersion) {
  ObjectClass result;
  for (const ClassRow& row : kClassRows) {
    if (row.needsOfficeMath && eqVersion != 1) continue;
    if (objectHex.size() <= row.longerThan || !nameAt(objectHex, row.hexName)) continue;
    result.readerMode = row.readerMode;
    result.nativeOffset = row.nativeOffset;
    if (row.nativeOffset == 0 && !nativeAfterClassName(objectHex, result.nativeOffset))
      return ObjectClass{};
    result.isEquation = true;
    return result;
  }
  return result;
}

void BeginEquationObjects() {
  unconvertedObjects.clear();
  equationContext = makeEquationContext(static_cast<std::int32_t>(gSettings.eqVersion),
                                        static_cast<std::int32_t>(gSettings.isEuclid),
                                        static_cast<std::int32_t>(gSettings.isUniPrime));
  // An equation whose translation fails stays in the document exactly as it was, rather
  // than being replaced by what was translated before the failure.
  equationContext.keepObjectOnFailure = true;
}

void HandleObjectData() {
  const std::uint64_t offset = RtfInputOffset();
  const ObjectData data = ReadObjectData();
  const std::string& objectHex = data.hex;
  const std::uint32_t eqVersion = gSettings.eqVersion;

  std::string replacement;
  ObjectClass cls = ClassifyObject(objectHex, eqVersion);
  if (cls.isEquation) {
    // An equation too large for the memory at hand stays as it was, like any other
    // equation that cannot be translated.
    try {
      replacement = ConvertEquation(equationContext, objectHex.substr(cls.nativeOffset), cls.readerMode);
    } catch (const std::bad_alloc&) {
      replacement.clear();
      equationContext.failReason = "not enough memory to translate the equation";
    }
  }

  if (replacement.empty()) {
    std::string className = ObjectClassName(objectHex);
    if (looksLikeEquation(className))
      unconvertedObjects.push_back({offset, className, reasonKept(className, cls, eqVersion)});
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
