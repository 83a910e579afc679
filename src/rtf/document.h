// One document pass: the RTF the host serves, walked and copied to the output, with every
// equation object replaced. Everything one pass needs lives in its DocumentPass, which
// the caller owns, so two passes never share state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/equation_conversion.h"
#include "platform/platform.h"
#include "rtf/input.h"
#include "rtf/output.h"

// The contents of an object's data group, read after "\objdata" to the group's own
// closing brace: nested groups, control words, zero bytes and "\bin" data included.
struct ObjectData {
  std::uint64_t inputOffset = 0;  // where the data starts in the document
  std::string hex;     // the group's own text without zero bytes, \bin data as hex digits
  std::string copy;    // the contents as the pass writes them back, when not plain
  bool plain = true;   // the contents are the text alone: written back as `hex`
  bool closed = false; // the closing brace was read (it is in neither string)
  // While the group's text is lower-case hex digits and line breaks (as Word writes it), it
  // is decoded as it is read and held only as `bytes`, with a digit still waiting for its
  // pair in `pendingDigit` (-1: none); `hex` is made from them when the text is needed.
  bool decoded = false;
  OutputBytes bytes;
  int pendingDigit = -1;
  // Makes `hex` of the bytes of a decoded group: its digits, lower-case, without line breaks.
  void keepAsText();
  const std::string& written() {
    keepAsText();
    return plain ? hex : copy;
  }
};

// An equation object of the pass that stayed as it was, and why.
struct UnconvertedObject {
  std::uint64_t inputOffset = 0;  // where its data starts in the document
  std::string className;
  std::string reason;
};

constexpr std::uint64_t kNoObjectStart = ~std::uint64_t{0};

// Walker flags.
constexpr std::uint32_t kSuppressOutput = 1;  // consume tokens without writing them
constexpr std::uint32_t kInFontTable = 2;     // inside the font-table group
constexpr std::uint32_t kAfterClassId = 4;    // drop text runs until the group closes

struct DocumentPass {
  conversion::EquationSettings equations;  // the settings the pass was started with
  RtfInput input;
  RtfOutput output;
  std::uint32_t walkFlags = 0;
  std::int32_t currentFont = 0;         // the font-table entry being read
  bool fontTableWordUndelimited = false;  // "\fonttbl" was written without its blank
  // The document's Greek font reference and its fallback, found in the font table and
  // written in front of Greek letters.
  std::string greekFontRef;
  std::string greekFontRefDefault = "\\f382";
  bool greekFontNamed = false;  // the font table names a Greek font
  // Where the class name of the object being read stands in the output buffer, so that
  // an object re-issued as Equation 3.0 can name its new class.
  bool classNameNext = false;
  struct ClassName {
    std::size_t at = 0;
    std::size_t size = 0;
    std::uint64_t drains = 0;
    bool known = false;
  } className;
  std::int32_t converted = 0;           // equation objects replaced
  std::vector<UnconvertedObject> unconverted;
  // Where the equation objects stand, for their records: the offset of the group opened
  // last, that of the object group being read, and the story (a header, footer, footnote
  // or comment destination, else the body) with the nesting depth of its group.
  std::uint64_t groupStart = 0;
  std::uint64_t objectStart = kNoObjectStart;
  const char* story = "body";
  std::size_t storyDepth = 0;
  std::size_t dataGroupsClosed = 0;  // object data groups read to their closing brace
  std::vector<conversion::EquationRecord> records;  // one per equation object, in order
  // The paragraph around an equation object, for its record's layout (display when the
  // paragraph holds nothing but the object and perhaps a number): text seen before any
  // object, the record waiting for the paragraph's end, the text after it, and the depth
  // of the object group being read (its own text is not the paragraph's).
  bool paragraphText = false;
  int displayCandidate = -1;
  std::string textAfter;
  std::size_t objectDepth = 0;
  // The object being read and what its conversion works with, kept from one equation
  // object to the next so that their buffers are allocated once per pass.
  ObjectData objectData;
  conversion::EquationScratch scratch;
};

// Converts the document the host serves through `callback` and `buffer` into `file`. The
// input is read to its end: what stands before or after the outer group, or after a
// closing brace that has no group, is copied too.
// Returns false when writing the output failed or the pass had to stop early (out of
// memory); what was converted until then is written either way.
bool RunDocumentPass(DocumentPass& pass, platform::RtfCallback callback,
                     platform::MemHandle buffer, platform::FileHandle file);
