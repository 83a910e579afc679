// The MTEF 3 writer: walks the equation tree and writes the records of an Equation 3.0
// object. Lines, piles, matrices, sizes and fonts are copied over; characters are moved to
// the typefaces and codes Equation 3.0 knows; embellishments MTEF 3 cannot draw are stacked
// over or under the character with a limit template. Templates are in mtef3_templates.cpp.
#include "writers/mtef3.h"

#include <vector>

#include "writers/mtef3_internal.h"

namespace writers::mtef3 {
namespace {

using equation::CharLayout;
using equation::Item;
using equation::Kind;
using equation::Node;

// Equation Native header with the object length left out (it goes after the first eight
// bytes), the MTEF 3 header and a FULL size record that opens the equation.
constexpr std::string_view kHeaderStart{"\x1c\x00\x00\x00\x02\x00\x64\xc2", 8};
constexpr std::string_view kHeaderRest{
    "\x00\x00\x00\x00\x00\x00\xb8\xc8\x16\x00\xec\x6c\x15\x00\x00\x00\x00\x00"
    "\x03\x01\x01\x03\x0a"
    "\x0a",
    24};
// MTEF header and FULL record, counted in the object length.
constexpr std::size_t kCountedHeaderBytes = 6;

constexpr std::string_view kEuclidExtraFont{"\x08\x7f\x00" "Euclid Extra\0", 16};

// --- lines, piles, matrices ---

void writeChildren(WriterState& state, equation::Span<Item> items, Bytes& out,
                   std::int32_t following) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::int32_t next = i + 1 < items.size() ? leadingByte(items[i + 1].firstTag) : following;
    writeItem(state, items[i], out, next);
  }
}

void writeLine(WriterState& state, const Node& node, Bytes& out, std::int32_t following) {
  if (node.nullLine) {
    out += '\x11';  // a null line carries nothing else, not even its nudge
    return;
  }
  out += node.nudge.empty() ? '\x01' : '\x81';
  out += node.nudge;
  writeChildren(state, node.children, out, following);
  out += '\0';
}

// Items of a pile or a matrix: after the last one the stream holds the END of the record.
void writeCells(WriterState& state, equation::Span<Item> items, Bytes& out) {
  writeChildren(state, items, out, 0);
}

void writePile(WriterState& state, const Node& node, Bytes& out) {
  // The ruler is dropped, so the ruler option is not written either.
  out += node.nudge.empty() ? '\x04' : '\x84';
  out += node.nudge;
  out += byte(static_cast<std::uint32_t>(node.halign));
  out += byte(static_cast<std::uint32_t>(node.valign));
  writeCells(state, node.children, out);
  out += '\0';
}

void writeMatrix(WriterState& state, const Node& node, Bytes& out) {
  // The nudge flag of the tag follows whether nudge bytes are written, so the record stays
  // readable whatever other option bits the input carried.
  out += node.nudge.empty() ? byte(static_cast<std::uint32_t>((node.options & 7) * 16 + 5))
                            : tagged('\x85', node.nudge);
  for (std::int32_t value : {node.valign, node.halign, node.vjust, node.rows, node.columns})
    out += byte(static_cast<std::uint32_t>(value));
  out += node.partitions;
  writeCells(state, node.children, out);
  out += '\0';
}

// --- characters ---

// MT Extra characters Equation 3.0 has no code for: the Euclid Extra character (typeface
// 1, the font record written first) or the nearest character of a standard typeface.
struct ExtraChar {
  std::uint16_t code;
  std::string_view euclid;  // typeface, character (low, high)
  std::string_view plain;
};

constexpr ExtraChar kExtraChars[] = {
    {0x2102, {"\x01\xa3\x00", 3}, {"\x81\x43\x00", 3}},
    {0x2115, {"\x01\xa5\x00", 3}, {"\x81\x4e\x00", 3}},
    {0x211A, {"\x01\xa4\x00", 3}, {"\x81\x51\x00", 3}},
    {0x211D, {"\x01\xa1\x00", 3}, {"\x81\x52\x00", 3}},
    {0x2124, {"\x01\xa2\x00", 3}, {"\x81\x5a\x00", 3}},
    {0x2127, {"\x01\x4a\x00", 3}, {"\x86\xa9\x03", 3}},
    {0x2221, {"\x01\x52\x00", 3}, {"\x86\x20\x22", 3}},
    {0x2222, {"\x01\x53\x00", 3}, {"\x86\x20\x22", 3}},
    {0x2225, {"\x01\x50\x00", 3}, {"\x86\x7c\x00", 3}},
    {0x223C, {"\x01\x3a\x00", 3}, {"\x86\x3c\x22", 3}},
    {0x2243, {"\x01\x3b\x00", 3}, {"\x86\x45\x22", 3}},
    {0x2250, {"\x01\x42\x00", 3}, {"\x86\x3d\x00", 3}},
    {0x2259, {"\x01\x41\x00", 3}, {"\x86\x3d\x00", 3}},
    {0x225C, {"\x01\x40\x00", 3}, {"\x86\x3d\x00", 3}},
    {0x226A, {"\x01\x3d\x00", 3}, {"\x86\x3c\x00", 3}},
    {0x226B, {"\x01\x3f\x00", 3}, {"\x86\x3e\x00", 3}},
    {0x2299, {"\x01\x65\x00", 3}, {"\x86\x9f\x03", 3}},
    {0x25A1, {"\x01\x57\x00", 3}, {"\x8b\xa1\x25", 3}},
    {0x25AD, {"\x01\x58\x00", 3}, {"\x8b\xad\x25", 3}},
    {0x25B1, {"\x01\x59\x00", 3}, {"\x8b\xb1\x25", 3}},
    {0x25B3, {"\x01\x56\x00", 3}, {"\x86\x94\x03", 3}},
    {0x25CB, {"\x01\x64\x00", 3}, {"\x86\x9f\x03", 3}},
    {0x301A, {"\x01\xa7\x00", 3}, {"\x86\x5b\x00", 3}},
    {0x301B, {"\x01\xa8\x00", 3}, {"\x86\x5d\x00", 3}},
    {0xE98F, {"\x01\x67\x00", 3}, {"\x86\x22\x20", 3}},
};

const ExtraChar* findExtraChar(std::uint32_t code) {
  for (const ExtraChar& entry : kExtraChars) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

Bytes codeBytes(std::uint32_t code) { return byte(code) + byte(code >> 8); }

// A font position as a character code of the font: one byte, or two (high byte first)
// for positions beyond 255.
Bytes positionBytes(std::uint32_t position) {
  return position < 256 ? byte(position) : byte(position >> 8) + byte(position);
}

// A character of a font with no known encoding is written by its font position: with
// the high byte 0 for the Euclid fonts Equation 3.0 has, else with the high byte 0xf7.
bool euclidCompatible(const WriterState& state, const equation::BoundFont& font) {
  return font.name == "Euclid Fraktur" || font.encodingKind == -1 ||
         (!state.euclid && font.name.find("Euclid") != Bytes::npos);
}

void writeChar(WriterState& state, const Node& node, Bytes& out, std::int32_t following) {
  const std::int32_t options = (node.nudge.empty() ? 0 : 8) | (node.embellished ? 2 : 0) |
                               (node.functionFlag ? 1 : 0);
  Bytes run = tagged(static_cast<char>(options * 16 + 2), node.nudge);
  const std::int32_t typeface = node.typeface;
  // User typefaces (0x89, 0x8a) have no MTEF 3 counterpart; they are written as vector.
  run += byte(static_cast<std::uint32_t>(typeface == 0x89 || typeface == 0x8a ? 0x87 : typeface));
  const bool unknownEncodingFont =
      typeface < 128 && node.font.valid && node.font.encodingKind == 0;
  const std::uint32_t code = node.code;
  const std::uint32_t low = code & 0xff;
  const std::uint32_t high = code >> 8;

  if (node.layout == CharLayout::Position8) {
    if (unknownEncodingFont) {
      run += byte(node.position) + byte(euclidCompatible(state, node.font) ? 0x00 : 0xf7);
    } else if (typeface == 139) {
      run.pop_back();  // the replacement brings its own typeface
      if (const ExtraChar* entry = findExtraChar(code)) {
        run += state.euclid ? entry->euclid : entry->plain;
      } else {
        run += '\x8b' + codeBytes(code);
      }
    } else if (code == 0x03C6 && node.position == 106) {
      run += codeBytes(0x03D5);  // the two phi shapes trade codes to keep their glyphs
    } else if (code == 0x03D5 && node.position == 102) {
      run += codeBytes(0x03C6);
    } else {
      run += codeBytes(code);
    }
  } else if (node.layout == CharLayout::Position16) {
    run += unknownEncodingFont ? positionBytes(node.position) +
                                     byte(euclidCompatible(state, node.font) ? 0x00 : 0xf7)
                               : codeBytes(code);
  } else {
    run += byte(low);
    if (typeface == 151 && low == 9) {
      run += '\0';
    } else if (typeface == 151 || typeface == 152) {
      run += '\xeb';  // MathType's spaces live in the MTEF 3 space range 0xebxx
    } else {
      run += byte(high);
    }
  }

  if (node.embellished && node.attached) {
    const Bytes* outer = state.openRun;
    state.openRun = &run;
    writeItem(state, *node.attached, run, following);
    state.openRun = outer;
  }
  out += run;
}

// --- embellishments ---

// A record rebuilt by wrapping: pieces put in front (the last one outermost) and text put
// behind. Keeping the two apart makes every wrap cost only its own length.
struct WrappedRun {
  std::vector<Bytes> front;
  Bytes core;
  Bytes back;

  void wrap(std::string_view opener, std::string_view closer) {
    front.emplace_back(opener);
    back += closer;
  }
  Bytes text() const {
    Bytes result;
    for (auto it = front.rbegin(); it != front.rend(); ++it) result += *it;
    result += core;
    result += back;
    return result;
  }
};

// An embellishment record: tag (with the nudge when there is one), type, END.
Bytes markRecord(const equation::Embellishment& mark, std::int32_t type) {
  return (mark.nudge.empty() ? Bytes(1, '\x06') : tagged('\x86', mark.nudge)) +
         byte(static_cast<std::uint32_t>(type)) + Bytes(1, '\0');
}

// count dot characters (U+002E) in the small slot.
Bytes dots(const Bytes& tag, int count) {
  Bytes marks;
  for (int i = 0; i < count; ++i) marks += tag + Bytes("\x82\x2e\x00", 3);
  return marks;
}

// Harpoons: the Euclid Extra character when the Euclid fonts are used, else MT Extra.
std::string_view euclidOr(const WriterState& state, std::string_view euclid,
                          std::string_view plain) {
  return state.euclid ? euclid : plain;
}

// The characters drawn above the character for a stacked over-mark.
Bytes overMarks(const WriterState& state, const equation::Embellishment& mark) {
  const Bytes tag = mark.nudge.empty() ? Bytes(1, '\x02') : tagged('\x82', mark.nudge);
  const auto chr = [&](std::string_view bytes) { return tag + Bytes(bytes); };
  switch (mark.type) {
    case 2: return dots(tag, 1);
    case 3: return dots(tag, 2);
    case 4: return dots(tag, 3);
    case 24: return dots(tag, 4);
    case 8: return chr({"\x8b\x03\x03", 3});
    case 9: return chr({"\x8b\x02\x03", 3});
    case 11: return chr({"\x8b\xd7\x20", 3});
    case 12: return chr({"\x8b\xd6\x20", 3});
    case 13: return chr({"\x8b\xe1\x20", 3});
    case 14: return chr(euclidOr(state, {"\x01\x76\x00", 3}, {"\x8b\xd7\x20", 3}));
    case 15: return chr(euclidOr(state, {"\x01\x77\x00", 3}, {"\x8b\xd6\x20", 3}));
    case 17: return chr({"\x86\x94\x21", 3});
    case 19: return chr({"\x8b\x22\x23", 3});
    case 20: return chr({"\x8b\x23\x23", 3});
    default: return {};
  }
}

Bytes underMarks(const WriterState& state, const equation::Embellishment& mark) {
  const Bytes tag = mark.nudge.empty() ? Bytes(1, '\x02') : tagged('\x82', mark.nudge);
  const auto chr = [&](std::string_view bytes) { return tag + Bytes(bytes); };
  switch (mark.type) {
    case 25: return dots(tag, 1);
    case 26: return dots(tag, 2);
    case 27: return dots(tag, 3);
    case 28: return dots(tag, 4);
    case 29: return chr({"\x86\x12\x22", 3});
    case 30: return chr({"\x8b\x03\x03", 3});
    case 31: return chr({"\x8b\x22\x23", 3});
    case 32: return chr({"\x8b\x23\x23", 3});
    case 33: return chr({"\x8b\xd7\x20", 3});
    case 34: return chr({"\x8b\xd6\x20", 3});
    case 35: return chr({"\x8b\xe1\x20", 3});
    case 36: return chr(euclidOr(state, {"\x01\x78\x00", 3}, {"\x8b\xd7\x20", 3}));
    case 37: return chr(euclidOr(state, {"\x01\x71\x00", 3}, {"\x8b\xd6\x20", 3}));
    default: return {};
  }
}

// The character's marks: strike-outs, primes and the marks MTEF 3 draws itself become
// embellishment records of the character; four dots, everything after them and the
// under-marks are stacked with limit templates around it.
void writeEmbellishments(const WriterState& state, const Node& node, Bytes& out) {
  // Only a character's own list may rewrite its record; a stray list draws nothing.
  if (&out != state.openRun) return;
  bool middleBar = false;  // drawn once
  bool slash = false;      // one slash strike whatever its direction
  bool fourDots = false;
  Bytes strikes, primes, others;
  std::vector<const equation::Embellishment*> over, under;
  for (const equation::Embellishment& mark : node.marks) {
    const std::int32_t type = mark.type;
    if (type == 16) {
      if (!middleBar) strikes += markRecord(mark, 16);
      middleBar = true;
    } else if (type == 10 || (type >= 21 && type <= 23)) {
      if (!slash) strikes += markRecord(mark, 10);
      slash = true;
    } else if (type == 5 || type == 6 || type == 7 || type == 18) {
      primes += markRecord(mark, type);
    } else if (type == 24) {
      over.push_back(&mark);
      fourDots = true;
    } else if (type >= 25) {
      under.push_back(&mark);
    } else if (fourDots) {
      over.push_back(&mark);
    } else {
      others += markRecord(mark, type);
    }
  }

  WrappedRun run;
  run.core = out + strikes + primes + others;
  if (run.core.size() == 4) {
    run.core[0] = static_cast<char>(run.core[0] & 0x0f);  // a bare CHAR: no list after all
  } else {
    run.core += '\0';
  }
  // Limit template (lower limit only, or upper only) whose main slot holds the character
  // and whose small slot holds the marks, closed at the size the character had.
  for (const equation::Embellishment* mark : under) {
    run.wrap({"\x03\x27\x01\x00\x01", 5}, Bytes("\x00\x0b\x01", 3) + underMarks(state, *mark) +
                                               Bytes(1, '\0') + state.sizeRecord +
                                               Bytes("\x11\x00", 2));
  }
  for (const equation::Embellishment* mark : over) {
    run.wrap({"\x03\x27\x00\x00\x01", 5}, Bytes("\x00\x0b\x11\x01", 4) + overMarks(state, *mark) +
                                               state.sizeRecord + Bytes("\x00\x00", 2));
  }
  out = run.text();
}

// --- records ---

void writeNode(WriterState& state, const Node& node, Bytes& out, std::int32_t following) {
  switch (node.kind) {
    case Kind::Line: writeLine(state, node, out, following); return;
    case Kind::Char: writeChar(state, node, out, following); return;
    case Kind::Template: writeTemplate(state, node, out, following); return;
    case Kind::Pile: writePile(state, node, out); return;
    case Kind::Matrix: writeMatrix(state, node, out); return;
    case Kind::Embellishments: writeEmbellishments(state, node, out); return;
    case Kind::Size:
      // A size tag at the very end of the stream is not written; the record counts anyway.
      out.append(node.tagKept ? node.bytes : node.bytes.substr(1));
      state.sizeRecord = node.bytes;
      return;
    case Kind::Font:
      out += '\x08';
      out += node.bytes;
      return;
    case Kind::End:
    case Kind::Definition:
    case Kind::Other:
      return;
  }
}

}  // namespace

Bytes cat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  Bytes result;
  result.reserve(size);
  for (std::string_view part : parts) result.append(part);
  return result;
}

void writeItem(WriterState& state, const Item& item, Bytes& out, std::int32_t following) {
  for (const Node& prefix : item.prefixes) writeNode(state, prefix, out, following);
  if (item.record) writeNode(state, *item.record, out, following);
}

}  // namespace writers::mtef3

namespace writers {

std::string writeEquationNative(const equation::Equation& equation, const Mtef3Options& options) {
  std::string stream;
  writeEquationNative(equation, options, stream);
  return stream;
}

void writeEquationNative(const equation::Equation& equation, const Mtef3Options& options,
                         std::string& stream) {
  using namespace mtef3;
  stream.clear();
  WriterState state;
  state.version = equation.version;
  state.euclid = options.euclid;

  Bytes body;
  const equation::Span<equation::Item> items = equation.body;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::int32_t next = i + 1 < items.size() ? leadingByte(items[i + 1].firstTag) : 0;
    writeItem(state, items[i], body, next);
  }
  if (body.empty()) return;

  // Font records: Euclid Extra when the Euclid fonts are used, then every typeface bound
  // to a font (MTEF 3 counts explicit typefaces down from 128 where MTEF 5 counts up).
  Bytes fonts;
  if (state.euclid) fonts += kEuclidExtraFont;
  for (const equation::TypefaceBinding& binding : equation.bindings) {
    fonts += '\x08';
    fonts += byte(static_cast<std::uint32_t>(128 - binding.typeface));
    fonts += byte(static_cast<std::uint32_t>(binding.style));
    fonts += binding.fontName;
  }

  const std::size_t length = fonts.size() + body.size() + 1 + kCountedHeaderBytes;
  stream.reserve(kHeaderStart.size() + 2 + kHeaderRest.size() + length);
  stream += kHeaderStart;
  stream += byte(static_cast<std::uint32_t>(length));
  stream += byte(static_cast<std::uint32_t>(length >> 8));
  stream += kHeaderRest;
  stream += fonts;
  stream += body;
  stream += '\0';  // END of the equation
}

}  // namespace writers
