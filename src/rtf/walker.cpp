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

// "\fonttbl" is written without its delimiter; text right after it then needs one, or
// "\fonttbl Times;" would come out as the unknown word "\fonttblTimes".
bool fontTableWordUndelimited = false;

bool suppressed() { return (walkFlags & kSuppressOutput) != 0; }

// A control symbol (a backslash and one character that is not a letter: "\*", "\~",
// "\'", a backslash and a line break) takes no delimiter, so none is written after it; a
// blank there would be text.
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isControlSymbol(std::string_view text) { return text.size() == 2 && !isLetter(text[1]); }

// Appends a control word's parameter: decimal, or two lower-case hex digits for "\'".
void appendNumber(std::string& out, std::int32_t n, bool asHexByte = false) {
  char buf[16];
  auto result = std::to_chars(buf, buf + sizeof buf, n, asHexByte ? 16 : 10);
  if (asHexByte && result.ptr - buf == 1) {
    buf[1] = buf[0];
    buf[0] = '0';
    result.ptr = buf + 2;
  }
  out.append(buf, static_cast<std::size_t>(result.ptr - buf));
}

void writeNumber(std::int32_t n) {
  std::string text;
  appendNumber(text, n);
  WriteOutput(text);
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

void appendHexByte(std::string& out, unsigned char c) {
  static constexpr char kDigits[] = "0123456789abcdef";
  out += kDigits[c >> 4];
  out += kDigits[c & 15];
}

}  // namespace

void AppendControlWord(std::string& out, std::string_view text, bool hasParameter,
                       std::int32_t parameter) {
  out.append(text);
  if (hasParameter) appendNumber(out, parameter, text == "\\'");
  if (!isControlSymbol(text)) out += ' ';
}

ObjectData ReadObjectData() {
  ObjectData data;
  // Until markup or a zero byte turns up, the group is plain hex text and its copy is the
  // text itself, so it is held only once.
  auto leavePlain = [&data] {
    if (data.plain) data.copy = data.hex;
    data.plain = false;
  };
  std::size_t depth = 0;  // groups open inside the data group
  for (;;) {
    RtfToken token = NextRtfToken({});
    switch (token.kind) {
      case kTokenNone:
        return data;  // the input ended inside the group
      case kTokenBrace:
        if (token.text[0] == '}' && depth == 0) {
          data.closed = true;
          return data;
        }
        leavePlain();
        data.copy += token.text;
        if (token.text[0] == '{')
          ++depth;
        else
          --depth;
        continue;
      case kTokenText:
        if (depth > 0 || token.text.find('\0') != std::string::npos) {
          leavePlain();
          data.copy += token.text;
        } else if (!data.plain) {
          data.copy += token.text;
        }
        // Only the group's own text is data; a zero byte is none.
        if (depth == 0) {
          if (token.text.find('\0') == std::string::npos) {
            data.hex += token.text;
          } else {
            for (char c : token.text)
              if (c != 0) data.hex += c;
          }
        }
        continue;
      default:
        break;
    }
    leavePlain();
    const bool hasParameter = token.kind == kTokenWordNum;
    if (token.text != "\\bin") {
      AppendControlWord(data.copy, token.text, hasParameter, token.value);
      continue;
    }
    // Binary data: copied verbatim, and its bytes are object data as hex digits. Nothing
    // is made up when the input ends early.
    const std::int32_t count = hasParameter ? token.value : 0;
    data.copy += "\\bin";
    appendNumber(data.copy, count);
    data.copy += ' ';
    for (std::int32_t i = 0; i < count; ++i) {
      const unsigned char c = ReadRtfByte();
      if (gRtfInput.endOfInput) break;
      data.copy += static_cast<char>(c);
      if (depth == 0) appendHexByte(data.hex, c);
    }
  }
}

void BeginDocumentPass() {
  walkFlags = 0;
  currentFont = 0;
  fontTableWordUndelimited = false;
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
    fontTableWordUndelimited = true;
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
  static std::string word;
  word.clear();
  AppendControlWord(word, text, hasParameter, parameter);
  WriteOutput(word);
}

std::int32_t WalkRtf() {
  // One entry per open group: whether the font table was open when the group began.
  std::vector<bool> groups;
  for (;;) {
    RtfToken token = NextRtfToken({});
    if (token.kind != kTokenText) fontTableWordUndelimited = false;
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
        if (!(walkFlags & (kSuppressOutput | kAfterClassId)) && !token.text.empty()) {
          if (fontTableWordUndelimited) WriteOutputByte(' ');
          fontTableWordUndelimited = false;
          WriteOutput(token.text);
        }
        noteFontName(token.text);
        if (groups.empty()) return kWalkItem;
        continue;
      case kTokenWord:
      case kTokenWordNum:
        HandleControlWord(token.text, token.kind == kTokenWordNum, token.value);
        if (groups.empty()) return kWalkItem;
        continue;
      default:
        // End of input: each open group stops here, as if closed without a brace.
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
