// The MTEF reader: an "Equation Native" stream (MTEF versions 2 to 5) into an equation
// tree. It knows the records, their options and how templates hold their slots; it knows
// nothing of any output.
//
// The reader follows the stream strictly in order, record by record. Size and definition
// records in front of a record belong to the same item; at the top level a definition
// stands on its own. The first failure ends the reading: the equation is then not
// usable, and the failure says why and where.
#include <array>
#include <limits>
#include <string_view>

#include "equation/char_tables.h"
#include "equation/tree.h"
#include "equation/variations.h"

namespace equation {
namespace {

// Equation Native header (28 bytes) plus the five MTEF header bytes.
constexpr std::size_t kHeaderBytes = 33;
constexpr std::size_t kVersionOffset = 28;

// How deeply records may nest (lines in piles in matrices, templates in templates).
// Deeper data fails the equation instead of exhausting the stack.
constexpr int kMaxNesting = 200;

// Thrown inside the reader at the first failure; caught by readEquationNative.
struct Failed {};

enum class Mode { TopLevel, Nested, OnlyEnd, OnlyChar };

// Outcome of reading one item, as the structures that read items need to know it.
enum class Outcome {
  End,         // an END stood there (possibly after size shortcuts)
  Record,      // a record was read
  RanOut,      // the data ended (only at the top level)
  Unexpected,  // a record of another type than the one asked for
  SizedEnd,    // a SIZE record directly before an END
};

struct FontDef {
  ByteView name;  // without the terminating zero, in the arena
  std::int32_t encodingKind = 0;
};

struct Binding {
  std::int32_t fontIndex = -1;
  std::int32_t style = -1;
};

bool isDefinition(std::int32_t type) { return type >= 8 && type <= 19; }
bool nests(std::int32_t type) {
  return type == 1 || type == 3 || type == 4 || type == 5 || type == 6;
}

}  // namespace

struct ReadScratch::State {
  std::unique_ptr<NodeArena> arena;  // given back by the last equation
  // The reader's stacks and tables, empty between equations.
  std::vector<Item> items;
  std::vector<Node> prefixes;
  std::vector<std::int32_t> prefixTypes;
  std::vector<Embellishment> marks;
  std::vector<std::int32_t> encodingKinds;
  std::vector<FontDef> fontDefs;
};

ReadScratch::ReadScratch() = default;
ReadScratch::State& ReadScratch::state() {
  if (!state_) state_ = std::make_unique<State>();
  return *state_;
}
ReadScratch::~ReadScratch() = default;
ReadScratch::ReadScratch(ReadScratch&&) noexcept = default;
ReadScratch& ReadScratch::operator=(ReadScratch&&) noexcept = default;

void ReadScratch::recycle(Equation& equation) {
  if (!equation.arena) return;
  equation.body = {};
  equation.arena->reset();
  state().arena = std::move(equation.arena);
}

void NodeArena::grow(std::size_t atLeast) {
  std::size_t size = blocks_.empty() ? kFirstBlock : blocks_.back().size * 2;
  if (size > (std::size_t{1} << 20)) size = std::size_t{1} << 20;
  if (size < atLeast) size = atLeast;
  blocks_.push_back({std::make_unique_for_overwrite<std::byte[]>(size), size});
  used_ = 0;
}

void NodeArena::reset() {
  // One block as large as all of them together stays, unless that is a lot of memory.
  constexpr std::size_t kKept = std::size_t{1} << 20;
  if (blocks_.size() > 1) {
    std::size_t total = 0;
    for (const Block& b : blocks_) total += b.size;
    blocks_.clear();
    if (total <= kKept) blocks_.push_back({std::make_unique_for_overwrite<std::byte[]>(total), total});
  } else if (!blocks_.empty() && blocks_.back().size > kKept) {
    blocks_.clear();
  }
  used_ = 0;
}

namespace {

// Empties a list kept from the equation before; one that grew large gives its memory back.
template <typename T>
void emptied(std::vector<T>& list) {
  constexpr std::size_t kKeptBytes = std::size_t{1} << 20;
  if (list.capacity() * sizeof(T) > kKeptBytes) {
    std::vector<T>().swap(list);
  } else {
    list.clear();
  }
}

class Reader {
 public:
  Reader(std::string_view mtef, std::int32_t version, NodeArena& arena, ReadScratch::State& scratch)
      : data_(mtef),
        version_(version),
        arena_(&arena),
        items_(scratch.items),
        prefixNodes_(scratch.prefixes),
        prefixTypes_(scratch.prefixTypes),
        marks_(scratch.marks),
        encodingKinds_(scratch.encodingKinds),
        fontDefs_(scratch.fontDefs) {
    emptied(items_);
    emptied(prefixNodes_);
    emptied(prefixTypes_);
    emptied(marks_);
    emptied(fontDefs_);
    encodingKinds_.assign(4, 0);
  }

  void read(ReadResult& result);

 private:
  // --- bytes ---
  bool advance() {
    if (last_ < -1) last_ = -1;
    if (last_ < std::numeric_limits<std::int64_t>::max() - 1) ++last_;
    if (last_ >= static_cast<std::int64_t>(data_.size())) {
      current_ = 0;
      endOfData_ = true;
      return false;
    }
    current_ = static_cast<unsigned char>(data_[static_cast<std::size_t>(last_)]);
    return true;
  }
  // Reads one byte of a record body; running out of data there fails the equation.
  std::int32_t body() {
    if (!advance()) fail("data ran out inside a record" + at());
    return current_;
  }
  void putBack() {
    if (last_ >= 0) --last_;
  }
  std::int32_t peek() {
    const std::int32_t value = body();
    putBack();
    return value;
  }
  std::int64_t offset() const { return last_ < 0 ? 0 : last_; }
  std::string at() const { return at(offset()); }
  static std::string at(std::int64_t where) { return " at byte " + std::to_string(where); }
  std::int64_t remainingAfterCurrent() const {
    return static_cast<std::int64_t>(data_.size()) - 1 - last_;
  }
  [[noreturn]] void fail(std::string reason) {
    failure_.reason = std::move(reason);
    failure_.offset = offset();
    throw Failed{};
  }
  bool v5() const { return version_ == 5; }
  bool isEndTag(std::int32_t value) const { return v5() ? value == 0 : (value & 0x0f) == 0; }

  // The bytes read since the one at `from`, as they stand in the stream.
  std::string_view readSince(std::int64_t from) const {
    return data_.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(last_ + 1 - from));
  }
  // Reads up to and including a zero byte; the text without its zero.
  std::string_view zeroTerminated() {
    const std::int64_t from = last_ + 1;
    do {
      body();
    } while (current_ != 0);
    const std::string_view text = readSince(from);
    return text.substr(0, text.size() - 1);
  }
  ByteView nudge() {
    const std::int64_t from = last_ + 1;
    body();
    body();
    if (readSince(from) == "\x80\x80") {  // the long form: two 16-bit offsets follow
      for (int i = 0; i < 4; ++i) body();
    }
    return arena_->bytes(readSince(from));
  }
  std::int32_t recordOptions(std::int32_t tag) { return v5() ? body() : (tag >> 4); }
  void skipRuler() {
    const std::int32_t stops = body();
    for (std::int32_t i = 0; i < stops * 3 && !endOfData_; ++i) body();
  }

  // --- records ---
  // Each reader of a record fills the fresh node it is given.
  // Reads one item into `item`, or into a new item on top of items_; that one is written
  // in place, by its index, as the records inside push items of their own.
  template <typename Place>
  Outcome readItemInto(Mode mode, const Place& place);
  Outcome readItem(Mode mode, Item& item) {
    return readItemInto(mode, [&item]() -> Item& { return item; });
  }
  Outcome readStackedItem(Mode mode) {
    const std::size_t at = items_.size();
    items_.emplace_back();
    return readItemInto(mode, [this, at]() -> Item& { return items_[at]; });
  }
  void structural(Node& node, std::int32_t type, std::int32_t tag);
  void definition(Node& node, std::int32_t type);
  void line(Node& node, std::int32_t tag);
  void pile(Node& node, std::int32_t tag);
  void matrix(Node& node, std::int32_t tag);
  void character(Node& node, std::int32_t tag);
  void embellishments(Node& node);
  void templ(Node& node, std::int32_t tag);
  Node* newNode() { return arena_->node(); }
  void slots(Node& node, bool contour);
  // Moves the items read above `base` on items_ into the node's children, which are
  // then allocated once at their final size.
  void takeItems(Node& node, std::size_t base) {
    node.children = arena_->copy(items_.data() + base, items_.size() - base);
    items_.resize(base);
  }
  void futureRecord(std::int32_t tag);
  void eqnPrefs();
  void skipDimensions();
  BoundFont bindExplicitFont(std::int32_t typeface);

  std::string_view data_;
  std::int32_t version_;
  NodeArena* arena_;
  std::int64_t last_ = -1;  // index of the byte last read
  std::int32_t current_ = 0;
  bool endOfData_ = false;
  bool inPreamble_ = true;
  int depth_ = 0;
  bool inAttachedRecord_ = false;  // reading the record a character's embellishment flag announces
  ReadFailure failure_;
  // Stacks: the items of the records being read, the prefixes of their items with their
  // types, and the marks of the embellishment lists being read.
  std::vector<Item>& items_;
  std::vector<Node>& prefixNodes_;
  std::vector<std::int32_t>& prefixTypes_;
  std::vector<Embellishment>& marks_;

  std::vector<std::int32_t>& encodingKinds_;
  std::vector<FontDef>& fontDefs_;
  std::int32_t preambleFontCount_ = 0;
  std::array<Binding, 128> typefaceFonts_{};
  Binding pendingFontStyle_;
};

template <typename Place>
Outcome Reader::readItemInto(Mode mode, const Place& place) {
  // This item's prefixes and their types stand on prefixNodes_ and prefixTypes_ above
  // `base`.
  const std::size_t base = prefixTypes_.size();
  Mode currentMode = mode;
  Outcome outcome = Outcome::Record;
  bool first = true;
  for (;;) {
    if (!advance()) {
      // At the top level the stream may simply end; anywhere else a record was due.
      if (currentMode != Mode::TopLevel) fail("data ran out where a record was expected");
      outcome = Outcome::RanOut;
      break;
    }
    const std::int32_t tag = current_;
    if (first) place().firstTag = tag;
    first = false;
    const std::int32_t type = v5() ? tag : (tag & 0x0f);
    if ((currentMode == Mode::OnlyEnd && type != 0) ||
        (currentMode == Mode::OnlyChar && type != 2)) {
      outcome = Outcome::Unexpected;
      break;
    }
    if (type == 0) {
      place().record = Ref<Node>(newNode());
      place().record->kind = Kind::End;
      place().record->tag = tag;
      outcome = Outcome::End;
      break;
    }
    if (type >= 20 && type < 100) fail("unknown record type " + std::to_string(type) + at());
    if (isDefinition(type)) {
      if (currentMode == Mode::TopLevel) {  // definitions stand alone at the top level
        place().record = Ref<Node>(newNode());
        definition(*place().record, type);
        place().record->tag = tag;
        break;
      }
      Node& def = prefixNodes_.emplace_back();
      definition(def, type);
      def.tag = tag;
      prefixTypes_.push_back(type);
      currentMode = Mode::Nested;
      continue;
    }
    const bool nesting = nests(type);
    if (nesting) {
      if (depth_ >= kMaxNesting)
        fail("records nested deeper than " + std::to_string(kMaxNesting) + at());
      ++depth_;
    }
    place().record = Ref<Node>(newNode());
    structural(*place().record, type, tag);
    place().record->tag = tag;
    if (nesting) --depth_;
    break;
  }
  for (std::size_t i = prefixTypes_.size(); i-- > base;) {
    const std::int32_t prefix = prefixTypes_[i];
    if (prefix == 9) {
      outcome = outcome == Outcome::End ? Outcome::SizedEnd : Outcome::Record;
    } else if (prefix < 10 || prefix > 14) {
      // A definition in front of an END makes the END an ordinary item.
      outcome = Outcome::Record;
    } else if (outcome != Outcome::End) {
      outcome = Outcome::Record;
    }
  }
  place().prefixes = arena_->copy(prefixNodes_.data() + base, prefixNodes_.size() - base);
  prefixNodes_.resize(base);
  prefixTypes_.resize(base);
  return outcome;
}

void Reader::structural(Node& node, std::int32_t type, std::int32_t tag) {
  switch (type) {
    case 1: return line(node, tag);
    case 2: return character(node, tag);
    case 3: return templ(node, tag);
    case 4: return pile(node, tag);
    case 5: return matrix(node, tag);
    case 6: return embellishments(node);
    case 7:
      skipRuler();
      node.kind = Kind::Other;
      return;
    default:
      futureRecord(tag);
      node.kind = Kind::Other;
      return;
  }
}

void Reader::line(Node& node, std::int32_t tag) {
  inPreamble_ = false;
  node.kind = Kind::Line;
  node.options = recordOptions(tag);
  if (node.options & 8) node.nudge = nudge();
  if (node.options & 4) {  // line spacing
    body();
    body();
  }
  if (node.options & 2) skipRuler();
  if (node.options & 1) {  // null line: no object list follows
    node.nullLine = true;
    return;
  }
  // A line ends at its END (or a SIZE record directly before it).
  const std::size_t base = items_.size();
  for (;;) {
    const Outcome outcome = readStackedItem(Mode::Nested);
    if (outcome != Outcome::Record) break;
  }
  takeItems(node, base);
}

void Reader::pile(Node& node, std::int32_t tag) {
  inPreamble_ = false;
  node.kind = Kind::Pile;
  node.options = recordOptions(tag);
  if (node.options & 8) node.nudge = nudge();
  node.halign = body();
  node.valign = body();
  if (node.options & 2) skipRuler();
  body();
  const std::size_t base = items_.size();
  while (current_ != 0) {
    putBack();  // the byte is the tag of the next line
    readStackedItem(Mode::Nested);
    body();
  }
  takeItems(node, base);
}

void Reader::matrix(Node& node, std::int32_t tag) {
  const std::int64_t where = offset();
  node.kind = Kind::Matrix;
  node.options = recordOptions(tag);
  if (node.options == 8) node.nudge = nudge();
  node.valign = body();
  node.halign = body();
  node.vjust = body();
  node.rows = body();
  node.columns = body();
  // Partition lines: two bits per line, four to a byte, rows + 1 and columns + 1 lines.
  const std::int32_t partitionBytes = (node.rows + 1 + 3) / 4 + (node.columns + 1 + 3) / 4;
  const std::int64_t partitionsFrom = last_ + 1;
  for (std::int32_t i = 0; i < partitionBytes; ++i) body();
  node.partitions = arena_->bytes(readSince(partitionsFrom));
  const std::size_t base = items_.size();
  for (std::int32_t cell = 0; cell < node.rows * node.columns; ++cell) {
    if (endOfData_) fail("MATRIX record" + at(where) + " could not be translated");
    readStackedItem(Mode::Nested);
  }
  takeItems(node, base);
  Item end;
  if (readItem(Mode::OnlyEnd, end) != Outcome::End) fail("matrix without END" + at());
  return;
}

BoundFont Reader::bindExplicitFont(std::int32_t typeface) {
  Binding& bound = typefaceFonts_[static_cast<std::size_t>(typeface)];
  if (pendingFontStyle_.fontIndex == -1) {
    if (bound.fontIndex == -1) bound = {127 - typeface + preambleFontCount_, 0};
  } else {
    bound = pendingFontStyle_;
    pendingFontStyle_.fontIndex = -1;
  }
  BoundFont font;
  if (bound.fontIndex < 0 || static_cast<std::size_t>(bound.fontIndex) >= fontDefs_.size())
    return font;
  const FontDef& def = fontDefs_[static_cast<std::size_t>(bound.fontIndex)];
  font.valid = true;
  font.name = def.name;
  font.encodingKind = def.encodingKind;
  font.style = bound.style;
  return font;
}

std::uint16_t mapOneByte(std::int32_t typeface, std::uint8_t byte) {
  switch (typeface) {
    case 132: case 133: case 134: return mapSymbolChar(byte);
    case 139: return mapExtraChar(byte);
    case 150: return mapExpandChar(byte);
    default: return byte;
  }
}

void Reader::character(Node& node, std::int32_t tag) {
  node.kind = Kind::Char;
  node.options = v5() ? body() : (tag >> 4);
  const bool hasNudge = (node.options & 8) != 0;
  node.embellished = v5() ? (node.options & 1) != 0 : (node.options & 2) != 0;
  node.functionFlag = !v5() && (node.options & 1) != 0;
  if (v5() && (node.options & 4)) {
    node.layout = CharLayout::Position8;
  } else if (v5() && (node.options & 16)) {
    node.layout = CharLayout::Position16;
  }
  if (hasNudge) node.nudge = nudge();
  node.typeface = body();
  if (node.typeface < 128) node.font = bindExplicitFont(node.typeface);

  if (node.layout == CharLayout::Position8) {
    const std::uint32_t low = static_cast<std::uint32_t>(body());
    const std::uint32_t high = static_cast<std::uint32_t>(body());
    node.position = static_cast<std::uint32_t>(body());
    node.code = high * 256 + low;
  } else if (node.layout == CharLayout::Position16) {
    const std::uint32_t low = static_cast<std::uint32_t>(body());
    const std::uint32_t high = static_cast<std::uint32_t>(body());
    const std::uint32_t positionLow = static_cast<std::uint32_t>(body());
    const std::uint32_t positionHigh = static_cast<std::uint32_t>(body());
    node.position = positionLow + positionHigh * 256;
    node.code = high * 256 + low;
  } else {
    const std::uint32_t low = static_cast<std::uint32_t>(body());
    if (version_ == 3 || v5()) {
      node.code = static_cast<std::uint32_t>(body()) * 256 + low;
    } else {
      node.code = mapOneByte(node.typeface, static_cast<std::uint8_t>(low));
    }
  }

  if (node.embellished) {
    // The record the flag announces may be another embellished character, and so on:
    // each one counts as a level of nesting.
    if (depth_ >= kMaxNesting)
      fail("records nested deeper than " + std::to_string(kMaxNesting) + at());
    ++depth_;
    node.attached = Ref<Item>(arena_->item());
    const bool outer = inAttachedRecord_;
    inAttachedRecord_ = true;
    readItem(Mode::Nested, *node.attached);
    inAttachedRecord_ = outer;
    --depth_;
  }
  return;
}

void Reader::embellishments(Node& node) {
  // Only a character's own list may embellish it.
  if (!inAttachedRecord_) fail("embellishment outside a character" + at());
  node.kind = Kind::Embellishments;
  const std::size_t base = marks_.size();  // the list's marks stand on marks_ above it
  for (;;) {
    while ((current_ & 0x0f) == 6) {
      const std::int32_t tag = current_;
      const std::int32_t options = v5() ? body() : (tag >> 4);
      Embellishment mark;
      if (options == 8) mark.nudge = nudge();
      mark.type = body();
      marks_.push_back(mark);
      // The next tag: another embellishment or the END of the list. A character record
      // there is read and dropped.
      Item next;
      readItem(Mode::OnlyChar, next);
    }
    if (version_ != 3) break;
    // MTEF 3 closes each embellishment with an END and the character's list with one
    // more; an embellishment after an END is the next one of the same character. Only
    // an END or an embellishment is consumed here, so a stream without the closing END
    // does not lose its next record.
    const std::int32_t next = body();
    if ((next & 0x0f) == 6) continue;
    if ((next & 0x0f) != 0) putBack();
    break;
  }
  node.marks = arena_->copy(marks_.data() + base, marks_.size() - base);
  marks_.resize(base);
}

void Reader::templ(Node& node, std::int32_t tag) {
  const std::int64_t where = offset();
  // Slots are items of their own: an embellishment list in one belongs to no character.
  const bool outerAttached = inAttachedRecord_;
  inAttachedRecord_ = false;
  node.kind = Kind::Template;
  node.options = v5() ? body() : (tag >> 4);
  // Only the exact value 8 announces a nudge.
  if (node.options == 8) node.nudge = nudge();
  node.selector = body();
  if (node.selector < 0 || node.selector > (v5() ? 37 : 48))
    fail("TMPL record" + at(where) + " could not be translated");
  node.variation = body();
  bool contour = false;
  if (v5() && node.selector == 15) {
    const IntegralForm form = integralForm(node.variation);
    contour = form.contour;
    if (form.extended) body();  // a second variation byte, not used
  }
  node.templateOptions = body();
  slots(node, contour);
  inAttachedRecord_ = outerAttached;
  return;
}

// The slot list of a template: items until the END that closes it. An END (or a SIZE
// record directly before it) where a slot was expected closes the list. A contour
// integral may carry a size record of its own after its third slot.
void Reader::slots(Node& node, bool contour) {
  const std::size_t base = items_.size();
  for (;;) {
    if (contour && items_.size() - base == 3) {
      contour = false;
      const std::int32_t next = peek();
      if (next >= 9 && next <= 14) {
        readStackedItem(Mode::TopLevel);
        continue;
      }
    }
    const Outcome outcome = readStackedItem(Mode::Nested);
    if (outcome == Outcome::End || outcome == Outcome::SizedEnd) break;
  }
  takeItems(node, base);
}

void Reader::definition(Node& node, std::int32_t type) {
  node.kind = Kind::Definition;
  switch (type) {
    case 8:
      if (v5()) {  // FONT_STYLE_DEF: binds the next explicit-font character
        pendingFontStyle_.fontIndex = body() - 1;
        pendingFontStyle_.style = body();
      } else {  // FONT: typeface, style and name
        node.kind = Kind::Font;
        const std::int64_t from = last_ + 1;
        body();
        body();
        zeroTerminated();
        node.bytes = arena_->bytes(readSince(from));
      }
      return;
    case 15:  // COLOR
      if (body() == 255) {
        body();
        body();
      }
      return;
    case 16: {  // COLOR_DEF: 4 named, 2 spot colour, 1 CMYK
      const std::int32_t options = body();
      const std::int32_t valueBytes = (options & 1) ? 8 : 6;
      for (std::int32_t i = 0; i < valueBytes; ++i) body();
      if (options & 4) zeroTerminated();
      return;
    }
    case 17: {  // FONT_DEF
      const std::int32_t encodingIndex = body();  // 1-based
      FontDef font;
      font.name = arena_->bytes(zeroTerminated());
      if (font.name == "Symbol" || font.name == "MT Extra") {
        font.encodingKind = 1;
      } else if (encodingIndex >= 1 &&
                 static_cast<std::size_t>(encodingIndex) <= encodingKinds_.size()) {
        font.encodingKind = encodingKinds_[static_cast<std::size_t>(encodingIndex - 1)];
      }
      fontDefs_.push_back(font);
      if (inPreamble_) ++preambleFontCount_;
      return;
    }
    case 18:
      eqnPrefs();
      return;
    case 19: {  // ENCODING_DEF
      const std::string_view name = zeroTerminated();
      std::int32_t kind = 0;
      if (name == "WinANSI" || name == "WinAllBasicCodePages") kind = 1;
      if (name == "WinEastEurope") kind = -1;
      encodingKinds_.push_back(kind);
      return;
    }
    default: {  // SIZE (9) and the shortcuts FULL to SUBSYM (10 to 14)
      node.kind = Kind::Size;
      node.tagKept = remainingAfterCurrent() >= 2;
      const std::int64_t from = last_;  // the tag
      if (type == 9) {
        const std::int32_t first = body();
        const std::int32_t more = first == 100 ? 3 : (first == 101 ? 2 : 1);
        for (std::int32_t i = 0; i < more; ++i) body();
      }
      node.bytes = arena_->bytes(readSince(from));
      return;
    }
  }
}

// A list of nibble-coded dimensions: each one ends with the digit f.
void Reader::skipDimensions() {
  const std::int32_t count = body();
  std::int32_t seen = 0;
  while (seen < count) {
    const std::int32_t byte = body();
    if ((byte >> 4) == 15) ++seen;
    if ((byte & 15) == 15) ++seen;
  }
}

void Reader::eqnPrefs() {
  body();  // options
  skipDimensions();  // sizes
  skipDimensions();  // spaces
  const std::int32_t styles = body();
  for (std::int32_t i = 0; i < styles && !endOfData_; ++i) {
    if (body() != 0) body();
  }
}

// Records from the future range carry their own length and are skipped.
void Reader::futureRecord(std::int32_t tag) {
  if (tag == 255) {
    body();
    body();
  }
  // The length: one byte, or 255 and a 16-bit value read high byte first. Some MathType
  // versions store that value low byte first instead (a 298-byte TeX comment written as
  // "ff 2a 01"); when the high-first reading runs past the end of the stream and the
  // low-first one does not, the record is read the low-first way.
  std::int32_t length = body();
  if (length == 255) {
    const std::int32_t first = body();
    const std::int32_t second = body();
    length = first * 256 + second;
    const std::int64_t remaining = remainingAfterCurrent();
    const std::int32_t lowFirst = second * 256 + first;
    if (length > remaining && lowFirst <= remaining) length = lowFirst;
  }
  for (std::int32_t i = 0; i < length; ++i) body();
}

void Reader::read(ReadResult& result) {
  result.equation.version = version_;
  try {
    if (version_ >= 2 && version_ <= 4) {
      // Records up to the first LINE or PILE make up the equation.
      while (inPreamble_) {
        const Outcome outcome = readStackedItem(Mode::TopLevel);
        if (outcome != Outcome::Record) break;
      }
      result.equation.body = arena_->copy(items_.data(), items_.size());
      items_.clear();
    } else if (version_ == 5) {
      zeroTerminated();  // application key
      body();            // equation options
      // Only the last top-level item counts: the LINE or PILE that holds the equation.
      Item last;
      while (inPreamble_) {
        last = Item{};
        const Outcome outcome = readItem(Mode::TopLevel, last);
        if (outcome != Outcome::Record) break;
      }
      result.equation.body = arena_->copy(&last, 1);
    } else {
      fail("MTEF version " + std::to_string(version_) + " is not supported");
    }
  } catch (const Failed&) {
    result.failed = true;
    result.failure = failure_;
    result.equation.body = {};
    return;
  }
  for (std::int32_t i = 127; i >= 0; --i) {
    const Binding& bound = typefaceFonts_[static_cast<std::size_t>(i)];
    if (bound.fontIndex < 0 || static_cast<std::size_t>(bound.fontIndex) >= fontDefs_.size())
      continue;
    const FontDef& font = fontDefs_[static_cast<std::size_t>(bound.fontIndex)];
    std::string name(font.name);
    name += '\0';
    result.equation.bindings.push_back({i, bound.style, std::move(name)});
  }
}

}  // namespace

ReadResult readEquationNative(std::string_view stream, ReadScratch& scratch) {
  ReadResult result;
  if (stream.size() < kHeaderBytes) {
    result.failed = true;
    result.failure.reason = "the \"Equation Native\" stream is too short for an equation";
    return result;
  }
  const std::int32_t version = static_cast<unsigned char>(stream[kVersionOffset]);
  ReadScratch::State& state = scratch.state();
  result.equation.arena = state.arena ? std::move(state.arena) : std::make_unique<NodeArena>();
  Reader(stream.substr(kHeaderBytes), version, *result.equation.arena, state).read(result);
  return result;
}

ReadResult readEquationNative(std::string_view stream) {
  ReadScratch scratch;
  return readEquationNative(stream, scratch);
}

}  // namespace equation
