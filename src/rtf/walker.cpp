#include "rtf/walker.h"

#include <charconv>
#include <string>
#include <vector>

#include "rtf/objects.h"
#include "rtf/input.h"
#include "rtf/objects.h"
#include "rtf/output.h"

std::uint32_t walkFlags = 0;
std::int32_t currentFont = 0;

namespace {

bool suppressed() { return (walkFlags & kSuppressOutput) != 0; }

// Control symbols written back without a delimiting blank.
bool isBareSymbol(std::string_view text) {
  static constexpr std::string_view kSymbols[] = {"\\*", "\\'", "\\{", "\\}", "\\\\",
                                                  "\\~", "\\_", "\\-", "\\:", "\\|"};
  for (auto s : kSymbols)
    if (s == text) return true;
  return false;
}

// Writes a control word's parameter: decimal, or two lower-case hex digits for "\'".
void writeNumber(std::int32_t n, bool asHexByte = false) {
  char buf[16];
  auto result = std::to_chars(buf, buf + sizeof buf, n, asHexByte ? 16 : 10);
  if (asHexByte && result.ptr - buf == 1) {
    buf[1] = buf[0];
    buf[0] = '0';
    result.ptr = buf + 2;
  }
  WriteOutput(std::string_view(buf, static_cast<std::size_t>(result.ptr - buf)));
}

// Font-table entries name the Greek font that Greek letters in equations refer to.
void noteFontName(const std::string& text) {
  if (!(walkFlags & kInFontTable) || currentFont == 0) return;
  bool greek = text.find("Greek") != std::string::npos;
  if (!greek) return;
  std::string ref = "\\f" + std::to_string(currentFont);
  if (greekFontRef.empty() && text.find("Cambria Math Greek;") != std::string::npos &&
      text.find("Cambria Math;") == std::string::npos)
    greekFontRef = ref;
  if (text.find("Math") == std::string::npos) greekFontRefDefault = ref;
}

void handleBin(bool hasParameter, std::int32_t parameter) {
  std::int32_t count = hasParameter ? parameter : 0;
  if (!suppressed()) {
    WriteOutput("\\bin");
    writeNumber(count);
    WriteOutputByte(' ');
  }
  // The data is copied verbatim. Once the input has ended nothing more is written, so a
  // hostile length cannot make the output grow beyond the input.
  for (std::int32_t i = 0; i < count; ++i) {
    unsigned char c = ReadRtfByte();
    if (gRtfInput.endOfInput) break;
    if (!suppressed()) WriteOutputByte(static_cast<char>(c));
  }
}

}  // namespace

void BeginDocumentPass() {
  walkFlags = 0;
  currentFont = 0;
  greekFontRef.clear();
  greekFontRefDefault = "\\f382";
  BeginEquationObjects();
}

void HandleControlWord(std::string_view text, bool hasParameter, std::int32_t parameter) {
  if (text == "\\objdata" && !suppressed()) {
    HandleObjectData();
    return;
  }
  if (text == "\\bin") {
    handleBin(hasParameter, parameter);
    return;
  }
  if (text == "\\fonttbl" && !suppressed()) {
    WriteOutput("\\fonttbl");
    walkFlags |= kInFontTable;
    return;
  }
  if (text == "\\f" && !suppressed()) {
    WriteOutput("\\f");
    if (hasParameter) writeNumber(parameter);
    WriteOutputByte(' ');
    currentFont = (walkFlags & kInFontTable) && hasParameter ? parameter : 0;
    return;
  }
  if (text == "\\oleclsid" && !suppressed()) {
    HandleClassId();
    return;
  }
  if (suppressed()) return;
  WriteOutput(text);
  if (hasParameter) writeNumber(parameter, text == "\\'");
  if (!isBareSymbol(text)) WriteOutputByte(' ');
}

std::int32_t WalkRtf() {
  // One entry per open group: whether the font table was open when the group began.
  std::vector<bool> groups;
  for (;;) {
    RtfToken token = NextRtfToken({});
    switch (token.kind) {
      case kTokenBrace:
        if (!suppressed()) WriteOutputByte(token.text[0]);
        if (token.text[0] == '{') {
          groups.push_back((walkFlags & kInFontTable) == 0);
          continue;
        }
        walkFlags &= ~kAfterClassId;
        if (groups.empty()) return kWalkGroupEnd;
        break;
      case kTokenText:
        if (!(walkFlags & (kSuppressOutput | kAfterClassId))) WriteOutput(token.text);
        noteFontName(token.text);
        if (groups.empty()) return kWalkItem;
        continue;
      case kTokenWord:
      case kTokenWordNum:
        HandleControlWord(token.text, token.kind == kTokenWordNum, token.value);
        if (groups.empty()) return kWalkItem;
        continue;
      default:
        // No token: the innermost open group stops here, as if closed without a brace.
        if (groups.empty()) return kWalkEnd;
        break;
    }
    // The innermost group has ended.
    if (groups.back()) walkFlags &= ~kInFontTable;
    groups.pop_back();
    if (groups.empty()) return kWalkItem;
  }
}

void WalkGroup() {
  while (WalkRtf() == kWalkItem) {
  }
}
