#include "rtf/walker.h"

#include <charconv>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <utility>

#include "platform/hex.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "rtf/objects.h"

namespace {

bool suppressed(const DocumentPass& pass) { return (pass.walkFlags & kSuppressOutput) != 0; }

// A control symbol (a backslash and one character that is not a letter: "\*", "\~",
// "\'", a backslash and a line break) takes no delimiter, so none is written after it; a
// blank there would be text.
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isControlSymbol(std::string_view text) { return text.size() == 2 && !isLetter(text[1]); }

// A control word's parameter: decimal, or two lower-case hex digits for "\\'".
std::string_view formatNumber(char (&buf)[16], std::int32_t n, bool asHexByte) {
  auto result = std::to_chars(buf, buf + sizeof buf, n, asHexByte ? 16 : 10);
  if (asHexByte && result.ptr - buf == 1) {
    buf[1] = buf[0];
    buf[0] = '0';
    result.ptr = buf + 2;
  }
  return std::string_view(buf, static_cast<std::size_t>(result.ptr - buf));
}

void appendNumber(std::string& out, std::int32_t n, bool asHexByte = false) {
  char buf[16];
  out.append(formatNumber(buf, n, asHexByte));
}

void writeNumber(DocumentPass& pass, std::int32_t n) {
  char buf[16];
  WriteOutput(pass.output, formatNumber(buf, n, false));
}

// Font-table entries name the Greek font that Greek letters in equations refer to.
void noteFontName(DocumentPass& pass, const std::string& text) {
  if (!(pass.walkFlags & kInFontTable) || pass.currentFont == 0) return;
  bool greek = text.find("Greek") != std::string::npos;
  if (!greek) return;
  std::string ref = "\\f" + std::to_string(pass.currentFont);
  if (pass.greekFontRef.empty() && text.find("Cambria Math Greek;") != std::string::npos &&
      text.find("Cambria Math;") == std::string::npos) {
    pass.greekFontRef = ref;
    pass.greekFontNamed = true;
  }
  if (text.find("Math") == std::string::npos) {
    pass.greekFontRefDefault = ref;
    pass.greekFontNamed = true;
  }
}

void handleBin(DocumentPass& pass, bool hasParameter, std::int32_t parameter) {
  std::int32_t count = hasParameter ? parameter : 0;
  if (!suppressed(pass)) {
    WriteOutput(pass.output, "\\bin");
    writeNumber(pass, count);
    WriteOutputByte(pass.output, ' ');
  }
  // The data is copied verbatim. Once the input has ended nothing more is written, so a
  // hostile length cannot make the output grow beyond the input.
  for (std::int32_t i = 0; i < count; ++i) {
    unsigned char c = ReadRtfByte(pass.input);
    if (pass.input.endOfInput) break;
    if (!suppressed(pass)) WriteOutputByte(pass.output, static_cast<char>(c));
  }
}

// The object data group's own text, as long as it is plain: the hex digits are appended
// straight from the input buffer and line ends skipped. Stops before anything else (markup,
// a tab, a zero byte) and at the end of the buffered input, leaving it to the token path.
void appendPlainHex(RtfInput& in, std::string& hex) {
  std::size_t pos = 0;
  if (!RtfChunkRest(in, pos)) return;
  const char* base = in.chunk;
  const std::size_t end = in.chunkSize;
  bool afterCr = in.afterCarriageReturn;
  while (pos < end) {
    const std::size_t plain = ScanPlainData(base + pos, end - pos);
    if (pos + plain < end && base[pos + plain] == 0) break;  // a stretch with a zero byte
    if (plain != 0) {
      hex.append(base + pos, plain);
      pos += plain;
      afterCr = false;
    }
    // The line breaks between lines of digits are passed here, without a scan of their own.
    const std::size_t lineEnd = pos;
    while (pos < end && (base[pos] == '\r' || base[pos] == '\n')) afterCr = base[pos++] == '\r';
    if (pos == lineEnd) break;
  }
  in.position = static_cast<std::int32_t>(pos);
  in.afterCarriageReturn = afterCr;
}

// The object data group's own text, as long as it is lower-case hex digits and line breaks,
// decoded straight from the input buffer, chunk after chunk. Stops before anything else.
void decodePlainHex(RtfInput& in, ObjectData& data) {
  for (;;) {
    std::size_t pos = 0;
    if (!RtfChunkRest(in, pos)) return;
    const char* base = in.chunk;
    const std::size_t end = in.chunkSize;
    char* to = data.bytes.room((end - pos) / 2 + 1);
    std::size_t decoded = 0;
    const std::size_t used = platform::decodeHexLines(base + pos, end - pos, to, data.pendingDigit, decoded);
    data.bytes.setEnd(to + decoded);
    if (used != 0) {
      in.position = static_cast<std::int32_t>(pos + used);
      in.afterCarriageReturn = base[pos + used - 1] == '\r';
    }
    if (pos + used < end) return;
    // The buffered input is used up: the next chunk is read and decoded the same way.
    ReadRtfByte(in);
    if (in.endOfInput) return;
    UnreadRtfByte(in);
  }
}

// Reads into `data`, whose buffers keep their capacity from one object to the next.
void readObjectData(DocumentPass& pass, ObjectData& data) {
  data.hex.clear();
  data.copy.clear();
  data.bytes.clear();
  data.plain = true;
  data.closed = false;
  data.decoded = true;
  data.pendingDigit = -1;
  data.inputOffset = RtfInputOffset(pass.input);
  // Until markup or a zero byte turns up, the group is plain hex text and its copy is the
  // text itself, so it is held only once.
  auto leavePlain = [&data] {
    if (data.plain) data.copy = data.hex;
    data.plain = false;
  };
  std::size_t depth = 0;  // groups open inside the data group
  RtfToken token;
  for (;;) {
    if (data.decoded) decodePlainHex(pass.input, data);
    else if (data.plain && depth == 0) appendPlainHex(pass.input, data.hex);
    ReadRtfToken(pass.input, token);
    // Anything but the group's end or the input's takes the group out of its decoded form.
    if (token.kind != kTokenNone && !(token.kind == kTokenBrace && token.text[0] == '}' && depth == 0))
      data.keepAsText();
    switch (token.kind) {
      case kTokenNone:
        return;  // the input ended inside the group
      case kTokenBrace:
        if (token.text[0] == '}' && depth == 0) {
          data.closed = true;
          return;
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
      const unsigned char c = ReadRtfByte(pass.input);
      if (pass.input.endOfInput) break;
      data.copy += static_cast<char>(c);
      if (depth == 0) platform::appendHex(data.hex, std::string_view(reinterpret_cast<const char*>(&c), 1));
    }
  }
}

}  // namespace

void ObjectData::keepAsText() {
  if (!decoded) return;
  hex.clear();
  platform::appendHex(hex, bytes.view());
  if (pendingDigit >= 0) hex += "0123456789abcdef"[pendingDigit];
  decoded = false;
}

namespace {

// After an object replaced by a native equation, the {\result ...} group that held its
// picture is dropped with it. Blanks and line breaks before it are copied as the walker
// copies text; any other item stays.
void skipResultGroup(DocumentPass& pass) {
  unsigned char next = ReadRtfByte(pass.input);
  for (;; next = ReadRtfByte(pass.input)) {
    if (next == ' ' || next == '\t') {
      WriteOutputByte(pass.output, ' ');
    } else if (next != '\r' && next != '\n') {
      break;
    }
  }
  if (pass.input.endOfInput) return;
  UnreadRtfByte(pass.input);
  if (next != '{') return;
  RtfToken brace = NextRtfToken(pass.input);
  RtfToken first = NextRtfToken(pass.input);
  if (first.text != "\\result") {
    UnreadRtfToken(pass.input, std::move(first));
    UnreadRtfToken(pass.input, std::move(brace));
    return;
  }
  pass.walkFlags |= kSuppressOutput;
  UnreadRtfToken(pass.input, std::move(first));
  UnreadRtfToken(pass.input, std::move(brace));
  WalkRtf(pass);
  pass.walkFlags &= ~kSuppressOutput;
}

// The destinations that hold a story of their own, and the name its equations' records
// give it.
const char* storyOf(std::string_view word) {
  static constexpr std::string_view kStories[][2] = {
      {"\\header", "header"},   {"\\headerl", "header"},  {"\\headerr", "header"},
      {"\\headerf", "header"},  {"\\footer", "footer"},   {"\\footerl", "footer"},
      {"\\footerr", "footer"},  {"\\footerf", "footer"},  {"\\footnote", "footnote"},
      {"\\annotation", "comment"}};
  if (word.size() < 7 || (word[1] != 'h' && word[1] != 'f' && word[1] != 'a')) return nullptr;
  for (const auto& story : kStories)
    if (word == story[0]) return story[1].data();
  return nullptr;
}

// Writes or treats one control word (hasParameter false for a word without parameter).
// An equation number after the object: "(3)", "[2.1a]", "12" or nothing.
bool numberLike(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return true;
  if (text.size() > 16) return false;
  if ((text.front() == '(' && text.back() == ')') || (text.front() == '[' && text.back() == ']')) {
    if (text.size() < 3) return false;
    text = text.substr(1, text.size() - 2);
  }
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-'))
      return false;
  return true;
}

// Paragraph marks end the paragraph an object's layout waits for.
void noteParagraphWord(DocumentPass& pass, std::string_view word) {
  if (word == "\\par" || word == "\\cell" || word == "\\row" || word == "\\sect" || word == "\\page") {
    if (pass.displayCandidate >= 0 && numberLike(pass.textAfter))
      pass.records[static_cast<std::size_t>(pass.displayCandidate)].display = true;
    pass.displayCandidate = -1;
    pass.textAfter.clear();
    pass.paragraphText = false;
  } else if (word == "\\pard" && pass.displayCandidate < 0) {
    pass.paragraphText = false;
  }
}

// Text of the document (not of an object, the font table or a hidden destination) counts
// for the layout of the paragraph it stands in.
void noteParagraphText(DocumentPass& pass, std::string_view text, std::size_t depth) {
  if (pass.objectDepth != 0 && depth >= pass.objectDepth) return;
  if (pass.walkFlags & kInFontTable) return;
  if (text.find_first_not_of(' ') == std::string_view::npos) return;
  if (pass.displayCandidate >= 0) {
    if (pass.textAfter.size() < 64) pass.textAfter.append(text.substr(0, 64));
  } else {
    pass.paragraphText = true;
  }
}

void handleControlWord(DocumentPass& pass, std::string_view text, bool hasParameter,
                       std::int32_t parameter) {
  if (text == "\\objdata" && !suppressed(pass)) {
    ObjectData& data = pass.objectData;
    readObjectData(pass, data);
    if (data.closed) ++pass.dataGroupsClosed;
    if (ReplaceObjectData(pass, data)) skipResultGroup(pass);
    return;
  }
  if (text == "\\bin") {
    handleBin(pass, hasParameter, parameter);
    return;
  }
  if (text == "\\fonttbl" && !suppressed(pass)) {
    WriteOutput(pass.output, "\\fonttbl");
    pass.walkFlags |= kInFontTable;
    pass.fontTableWordUndelimited = true;
    return;
  }
  if (text == "\\f" && !suppressed(pass)) {
    WriteOutput(pass.output, "\\f");
    if (hasParameter) writeNumber(pass, parameter);
    WriteOutputByte(pass.output, ' ');
    pass.currentFont = (pass.walkFlags & kInFontTable) && hasParameter ? parameter : 0;
    return;
  }
  if (text == "\\objclass" && !suppressed(pass)) {
    WriteOutput(pass.output, "\\objclass ");
    pass.classNameNext = true;
    return;
  }
  if (text == "\\object") {
    pass.className.known = false;
    pass.objectStart = pass.groupStart;
  }
  if (pass.equations.keepRecords && !suppressed(pass)) noteParagraphWord(pass, text);
  if (text == "\\oleclsid" && !suppressed(pass)) {
    // The class id of an object whose data is replaced: the text runs of the rest of the
    // group are dropped.
    WriteOutput(pass.output, "\\oleclsid ");
    pass.walkFlags |= kAfterClassId;
    return;
  }
  if (suppressed(pass)) return;
  WriteOutput(pass.output, text);
  if (hasParameter) {
    char digits[16];
    WriteOutput(pass.output, formatNumber(digits, parameter, text == "\\'"));
  }
  if (!isControlSymbol(text)) WriteOutputByte(pass.output, ' ');
}


// ---- Plain stretches --------------------------------------------------------------------
//
// Most of a document is text and control words the walker copies as they come. While
// nothing is pending (no token handed back, no font table, object or suppressed group
// open), those are copied straight from the input buffer to the output, in the form the
// token path writes them; anything else is left to the token path.

bool plainState(const DocumentPass& pass) {
  // Records follow every text and paragraph mark, which only the token path sees.
  return pass.walkFlags == 0 && !pass.classNameNext && !pass.fontTableWordUndelimited && !pass.equations.keepRecords &&
         pass.input.pendingTokens.empty() && !pass.input.endOfInput;
}

bool isDigitByte(char c) { return c >= '0' && c <= '9'; }
char lowerHex(char c) { return c >= 'A' && c <= 'F' ? static_cast<char>(c + 32) : c; }
bool isHexByte(char c) {
  return isDigitByte(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Words the walker treats in its own way; "\f" and "\object" are copied here and their
// effect is applied below.
bool treatedWord(std::string_view word) {
  switch (word.size()) {
    case 4: return word == "\\bin";
    case 8: return word == "\\objdata" || word == "\\fonttbl";
    case 9: return word == "\\objclass" || word == "\\oleclsid";
    default: return false;
  }
}

// Words a stretch leaves to the token path: the treated ones, an object's start and a
// story's destination, which the token path notes for the records.
bool tokenPathWord(std::string_view word) {
  return treatedWord(word) || storyOf(word) || word == "\\object";
}

// Byte classes of a control word's letters and digits.
constexpr unsigned char kLetterClass = 1, kDigitClass = 2;
struct WordBytes {
  unsigned char table[256] = {};
  constexpr WordBytes() {
    for (int c = 'a'; c <= 'z'; ++c) table[c] = kLetterClass;
    for (int c = 'A'; c <= 'Z'; ++c) table[c] = kLetterClass;
    for (int c = '0'; c <= '9'; ++c) table[c] = kDigitClass;
  }
  bool letter(char c) const { return table[static_cast<unsigned char>(c)] == kLetterClass; }
  bool digit(char c) const { return table[static_cast<unsigned char>(c)] == kDigitClass; }
};
constexpr WordBytes kWordBytes;

// Copies up to 16 bytes at once when both sides have room for 16 (the caller's promise for
// `o`; `available` tells for `p`), else exactly.
inline void copyShort(char* o, const char* p, std::size_t n, std::size_t available) {
#if defined(__SSE2__)
  if (n <= 16 && available >= 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    return;
  }
#endif
  std::memcpy(o, p, n);
  (void)available;
}

// Copies the control word or symbol at p (n bytes may be read for it, `available` are
// buffered) to `o` and returns the bytes it took, or 0 when the token path must read it: a
// treated word, a parameter the token path would rewrite (leading zeros, "-0", a lone
// minus, more than nine digits), or a word that may continue past the `n` bytes. `o` has
// room for max(n + 1, 16) bytes; `written` gets the bytes written there.
inline std::size_t copyControlWord(DocumentPass& pass, const char* p, std::size_t n, std::size_t available,
                                   char* o, std::size_t& written, bool& afterCr) {
  if (n < 3) return 0;
  const char c = p[1];
  if (!kWordBytes.letter(c)) {
    if (c == '\r' || c == '\n') return 0;
    if (c != '\'') {
      o[0] = p[0];
      o[1] = c;
      written = 2;
      afterCr = false;
      return 2;
    }
    if (n < 5 || !isHexByte(p[2]) || !isHexByte(p[3])) return 0;
    o[0] = '\\';
    o[1] = '\'';
    o[2] = lowerHex(p[2]);
    o[3] = lowerHex(p[3]);
    written = 4;
    afterCr = false;
    return 4;
  }
  std::size_t i = 2;
  while (i < n && kWordBytes.letter(p[i])) ++i;
  const std::size_t wordEnd = i;
  std::size_t digitsStart = i;
  if (i < n && p[i] == '-') digitsStart = ++i;
  while (i < n && kWordBytes.digit(p[i])) ++i;
  if (i >= n) return 0;
  if (i != wordEnd) {
    const std::size_t digits = i - digitsStart;
    if (digits == 0 || digits > 9) return 0;
    if (p[digitsStart] == '0' && (digits > 1 || digitsStart > wordEnd)) return 0;
  }
  // Only words of two letters or more than three starting with one of these letters are
  // the token path's, or "\f".
  if ((c == 'b' || c == 'o' || c == 'f' || c == 'h' || c == 'a') && wordEnd != 3) {
    if (wordEnd == 2) {
      if (c == 'f') pass.currentFont = 0;  // outside the font table
    } else if (tokenPathWord(std::string_view(p, wordEnd))) {
      return 0;
    }
  }
  const char delimiter = p[i];
  afterCr = delimiter == '\r';
  copyShort(o, p, i, available);
  o[i] = ' ';
  written = i + 1;
  return delimiter == ' ' || delimiter == '\r' || delimiter == '\n' ? i + 1 : i;
}

// Finds the bytes that end plain text (markup, line ends, tabs) 64 at a time: a block's
// candidates are found once as a bit mask, and each stretch of text after that costs a bit
// scan.
class StopScanner {
 public:
  StopScanner(const char* base, std::size_t limit) : base_(base), limit_(limit) {}

  // The first stop at or after `pos`, or the limit.
  std::size_t next(std::size_t pos) {
    for (;;) {
      if (pos >= limit_) return limit_;
      if (pos < start_ || pos >= start_ + 64) load(pos);
      const std::uint64_t rest = mask_ >> (pos - start_);
      if (rest == 0) {
        pos = start_ + 64;
        continue;
      }
      return pos + static_cast<std::size_t>(__builtin_ctzll(rest));
    }
  }

 private:
  static bool isStopByte(char c) {
    return c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n' || c == '\t';
  }

  void load(std::size_t pos) {
    start_ = pos;
    mask_ = 0;
    const char* p = base_ + pos;
#if defined(__SSE2__)
    if (pos + 64 <= limit_) {
      // Each stop byte compared for exactly: a stop then costs one bit scan, no check.
      const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}'), slash = _mm_set1_epi8('\\'),
                    cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), tab = _mm_set1_epi8('\t');
      for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i hit = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)), _mm_cmpeq_epi8(v, slash)),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, tab)));
        mask_ |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
      }
      return;
    }
#endif
    const std::size_t n = std::min<std::size_t>(64, limit_ - pos);
    for (std::size_t i = 0; i < n; ++i)
      if (isStopByte(p[i])) mask_ |= std::uint64_t{1} << i;
  }

  const char* base_;
  std::size_t limit_;
  std::size_t start_ = static_cast<std::size_t>(-1) / 2;
  std::uint64_t mask_ = 0;
};

// Walks from the next input byte to the end of the buffered input or the first item the
// token path must read. `groups` is the walker's stack; the outermost group's closing
// brace is left to the token path. The output goes straight into the sink's buffer.
void walkPlainStretch(DocumentPass& pass, std::vector<bool>& groups) {
  RtfInput& in = pass.input;
  RtfOutput& out = pass.output;
  std::size_t pos = 0;
  if (!RtfChunkRest(in, pos)) return;
  const char* base = in.chunk;
  const std::size_t end = in.chunkSize;
  bool afterCr = in.afterCarriageReturn;
  // A stretch's output is at most half as long again as its input; it is written in slices
  // of input whose output fits in one reservation, with a margin for whole 16-byte copies.
  constexpr std::size_t kMargin = 40;
  while (pos < end) {
    const std::size_t sliceEnd = std::min(end, pos + (kOutputReserveLimit - kMargin) / 2);
    char* o = ReserveOutput(out, 2 * (sliceEnd - pos) + kMargin);
    StopScanner stops(base, sliceEnd);
    bool stop = false;
    while (pos < sliceEnd) {
      const std::size_t plain = stops.next(pos) - pos;
      if (plain != 0) {
        copyShort(o, base + pos, plain, end - pos);
        o += plain;
        pos += plain;
        afterCr = false;
        if (pos >= sliceEnd) break;
      }
      switch (base[pos]) {
        case '\r':
        case '\n':
          // Line ends never reach the output of a text run.
          afterCr = base[pos] == '\r';
          ++pos;
          break;
        case '\t':
          *o++ = ' ';
          afterCr = false;
          ++pos;
          break;
        case '{':
          *o++ = '{';
          groups.push_back(true);
          // Where the group last opened starts, as the token path notes it for the records.
          pass.groupStart = in.chunkStart + pos;
          ++pos;
          break;
        case '}':
          // The end of a story's group is the token path's to see.
          if (groups.size() < 2 || pass.storyDepth != 0) {
            stop = true;
            break;
          }
          *o++ = '}';
          groups.pop_back();
          ++pos;
          break;
        default: {
          // A word may run on past the slice, but not past what is buffered, nor further
          // than the slice's margin allows.
          const std::size_t limit = std::min(end - pos, sliceEnd - pos + 6);
          std::size_t written = 0;
          const std::size_t used = copyControlWord(pass, base + pos, limit, end - pos, o, written, afterCr);
          if (used == 0) {
            stop = true;
            break;
          }
          o += written;
          pos += used;
        }
      }
      if (stop) break;
    }
    out.buffer.setEnd(o);
    if (stop) break;
  }
  in.position = static_cast<std::int32_t>(pos);
  in.afterCarriageReturn = afterCr;
}

// Inside a group whose output is suppressed (the picture of a replaced object) text is
// only passed over: the bytes up to the next markup are skipped without making a token.
void skipSuppressedText(RtfInput& in) {
  std::size_t pos = 0;
  if (!RtfChunkRest(in, pos)) return;
  const char* base = in.chunk;
  const std::size_t end = in.chunkSize;
  const std::size_t start = pos;
  while (pos < end) {
    pos += ScanPlainText(base + pos, end - pos);
    if (pos >= end || base[pos] == '\\' || base[pos] == '{' || base[pos] == '}') break;
    ++pos;  // a line end or a tab
  }
  if (pos == start) return;
  in.position = static_cast<std::int32_t>(pos);
  in.afterCarriageReturn = base[pos - 1] == '\r';
}

}  // namespace

void AppendControlWord(std::string& out, std::string_view text, bool hasParameter,
                       std::int32_t parameter) {
  out.append(text);
  if (hasParameter) appendNumber(out, parameter, text == "\\'");
  if (!isControlSymbol(text)) out += ' ';
}

std::int32_t WalkRtf(DocumentPass& pass) {
  // One entry per open group: whether the font table was open when the group began.
  std::vector<bool> groups;
  // The data groups that the object handling read to their closing brace stay on the stack
  // (the brace of their object group takes them off): the story's depth leaves them out.
  const std::size_t dataGroupsBefore = pass.dataGroupsClosed;
  const auto depth = [&] { return groups.size() - (pass.dataGroupsClosed - dataGroupsBefore); };
  RtfToken token;
  for (;;) {
    if (!groups.empty() && plainState(pass)) {
      walkPlainStretch(pass, groups);
    } else if (!groups.empty() && pass.walkFlags == kSuppressOutput && !pass.classNameNext &&
               !pass.equations.keepRecords && pass.input.pendingTokens.empty() && !pass.input.endOfInput) {
      skipSuppressedText(pass.input);
    }
    ReadRtfToken(pass.input, token);
    if (token.kind != kTokenText) pass.fontTableWordUndelimited = false;
    // The text right after "\\objclass" is the object's class name.
    const bool classNameNext = pass.classNameNext;
    pass.classNameNext = false;
    switch (token.kind) {
      case kTokenBrace:
        if (!suppressed(pass)) WriteOutputByte(pass.output, token.text[0]);
        if (token.text[0] == '{') {
          groups.push_back((pass.walkFlags & kInFontTable) == 0);
          if (!suppressed(pass)) pass.groupStart = RtfInputOffset(pass.input) - 1;
          continue;
        }
        pass.walkFlags &= ~kAfterClassId;
        if (depth() == pass.storyDepth && !suppressed(pass)) {
          pass.story = "body";
          pass.storyDepth = 0;
        }
        if (pass.objectDepth != 0 && depth() <= pass.objectDepth) pass.objectDepth = 0;
        if (groups.empty()) return kWalkGroupEnd;
        break;
      case kTokenText:
        if (!(pass.walkFlags & (kSuppressOutput | kAfterClassId)) && !token.text.empty()) {
          if (pass.fontTableWordUndelimited) WriteOutputByte(pass.output, ' ');
          pass.fontTableWordUndelimited = false;
          if (classNameNext)
            pass.className = {pass.output.buffer.size(), token.text.size(), pass.output.drains, true};
          WriteOutput(pass.output, token.text);
        }
        noteFontName(pass, token.text);
        if (pass.equations.keepRecords && !suppressed(pass)) noteParagraphText(pass, token.text, depth());
        if (groups.empty()) return kWalkItem;
        continue;
      case kTokenWord:
      case kTokenWordNum:
        if (pass.storyDepth == 0 && !suppressed(pass))
          if (const char* story = storyOf(token.text)) {
            pass.story = story;
            pass.storyDepth = depth();
          }
        handleControlWord(pass, token.text, token.kind == kTokenWordNum, token.value);
        if (pass.equations.keepRecords && token.text == "\\object" && !suppressed(pass)) pass.objectDepth = depth();
        if (groups.empty()) return kWalkItem;
        continue;
      default:
        // End of input: each open group stops here, as if closed without a brace.
        if (groups.empty()) return kWalkEnd;
        break;
    }
    // The innermost group has ended.
    if (groups.back()) pass.walkFlags &= ~kInFontTable;
    groups.pop_back();
    if (groups.empty()) return kWalkItem;
  }
}


