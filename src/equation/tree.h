// The equation tree: what an MTEF record stream says, read once, with no output in mind.
//
// The tree keeps the records in stream order. Every place where the stream holds "one
// record" (an item of a line, a slot of a template, a line of a pile, a cell of a matrix)
// is an Item: the size and definition records that stand in front of the record, then
// the record itself (or nothing, when an END or the end of the data stood there).
// Records the equation draws nothing for are kept too when they stand in an item, so a
// writer that follows the stream (the last size record seen, say) sees what the stream
// says in the order it says it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace equation {

using Bytes = std::string;  // raw bytes, as read from the stream

enum class Kind : std::uint8_t {
  End,        // an END record where a record was expected
  Line,
  Char,
  Template,
  Pile,
  Matrix,
  Embellishments,  // the embellishment list of a character
  Size,       // SIZE (9) or one of the size shortcuts FULL to SUBSYM (10 to 14)
  Font,       // FONT (MTEF 2 to 4): typeface, style and font name
  Definition, // a record that only defines (fonts, colours, encodings, preferences)
  Other,      // RULER or a record of the future range: skipped
};

struct Node;
struct Item;

// A record of the tree. The records live in their equation's arena, as long as the
// equation; an Item or a Node refers to them through this pointer.
template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* target) : target_(target) {}
  T* operator->() const { return target_; }
  T& operator*() const { return *target_; }
  T* get() const { return target_; }
  explicit operator bool() const { return target_ != nullptr; }

 private:
  T* target_ = nullptr;
};

// One record place of the stream: definitions and sizes first, then the record.
struct Item {
  std::vector<Node> prefixes;
  Ref<Node> record;  // null when the data ran out or the record failed
  // The first byte the item was read from (the tag of its first prefix or record);
  // -1 when the data had run out.
  std::int32_t firstTag = -1;
};

// The font a character's explicit typeface is bound to.
struct BoundFont {
  bool valid = false;      // the binding names an existing font definition
  Bytes name;              // the font name (no terminating zero)
  std::int32_t encodingKind = 0;  // 1 a known Windows encoding or a symbol font,
                                  // -1 East European, 0 other
  std::int32_t style = 0;  // 0 plain, 1 bold, 2 italic, 3 bold italic
};

enum class CharLayout : std::uint8_t {
  Plain,       // the character code (one byte in MTEF 2 and 4, mapped through the tables)
  Position8,   // MTEF 5: code and an 8-bit font position
  Position16,  // MTEF 5: code and a 16-bit font position
};

struct Embellishment {
  std::int32_t type = 0;
  Bytes nudge;  // the nudge bytes as read, empty without a nudge
};

struct Node {
  Kind kind = Kind::End;
  std::int32_t tag = 0;      // the record's tag byte
  std::int32_t options = 0;  // the record's options (MTEF 5 byte, or the tag's high digit)
  Bytes nudge;               // nudge bytes as read, when the options announce one

  // Line: null line (nothing follows); Char: code, font and layout.
  bool nullLine = false;
  std::int32_t typeface = 0;
  CharLayout layout = CharLayout::Plain;
  std::uint32_t code = 0;      // 16-bit character code (after mapping for MTEF 2 and 4)
  std::uint32_t position = 0;  // font position (Position8 / Position16)
  BoundFont font;              // for typefaces below 128
  bool embellished = false;    // the character announces an embellishment list
  bool functionFlag = false;   // MTEF 2 to 4 option bit 1 of a character

  // Template: selector, variation, template options; Matrix/Pile: alignments.
  std::int32_t selector = 0;
  std::int32_t variation = 0;
  std::int32_t templateOptions = 0;
  std::int32_t halign = 0;
  std::int32_t valign = 0;
  std::int32_t vjust = 0;
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  Bytes partitions;  // matrix partition-line bytes as read

  // Size: the size record's bytes (tag included) and whether the tag stood far enough
  // from the end of the stream to count as a record of its own.
  // Font: typeface byte, style byte and the name with its terminating zero.
  Bytes bytes;
  bool tagKept = true;

  std::vector<Embellishment> marks;  // Embellishments
  std::vector<Item> children;        // Line items, template slots, pile lines, cells
  // Char: the record read for its embellishment flag (normally an Embellishments node).
  Ref<Item> attached;
};

// Where the records of one equation live: allocated in blocks, so that reading an
// equation costs a handful of allocations rather than one per record, and freed together
// with the equation.
class NodeArena {
 public:
  NodeArena() = default;
  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;
  ~NodeArena() {
    for (Block<Node>& b : nodes_) b.clear();
    for (Block<Item>& b : items_) b.clear();
  }
  Node* node() { return take(nodes_); }
  Item* item() { return take(items_); }

 private:
  // Room for `size` records, of which the first `used` are made.
  template <typename T>
  struct Block {
    T* slots = nullptr;
    std::size_t size = 0;
    std::size_t used = 0;
    void clear() {
      for (std::size_t i = 0; i < used; ++i) slots[i].~T();
      std::allocator<T>().deallocate(slots, size);
    }
  };
  template <typename T>
  static T* take(std::vector<Block<T>>& blocks) {
    if (blocks.empty() || blocks.back().used == blocks.back().size) {
      // Blocks double from 16 up to 256 records.
      const std::size_t size = blocks.empty() ? 16 : std::min<std::size_t>(blocks.back().size * 2, 256);
      blocks.reserve(blocks.size() + 1);
      blocks.push_back({std::allocator<T>().allocate(size), size, 0});
    }
    Block<T>& b = blocks.back();
    T* slot = new (b.slots + b.used) T();
    ++b.used;
    return slot;
  }
  std::vector<Block<Node>> nodes_;
  std::vector<Block<Item>> items_;
};

// A binding of an explicit typeface (0 to 127) to a font, as it stands at the end of the
// equation; used for the font records of a re-issued MTEF 3 equation.
struct TypefaceBinding {
  std::int32_t typeface = 0;
  std::int32_t style = 0;
  Bytes fontName;  // with its terminating zero
};

struct Equation {
  std::int32_t version = 0;
  std::unique_ptr<NodeArena> arena = std::make_unique<NodeArena>();  // holds every record below
  // The top-level items that make up the equation (for MTEF 5 the last one only).
  std::vector<Item> body;
  std::vector<TypefaceBinding> bindings;  // highest typeface first
};

// Why a stream could not be read, and where.
struct ReadFailure {
  std::string reason;
  std::int64_t offset = -1;  // byte offset in the MTEF records, -1 when not known
};

struct ReadResult {
  Equation equation;
  bool failed = false;
  ReadFailure failure;
};

// Reads an "Equation Native" stream (its 28-byte header, the MTEF header and the
// records) into a tree. A stream that cannot be read gives failed with the reason.
ReadResult readEquationNative(std::string_view stream);

}  // namespace equation
