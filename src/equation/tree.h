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
#include <type_traits>
#include <vector>

namespace equation {

using Bytes = std::string;  // raw bytes, as read from the stream
// Raw bytes as read from the stream, kept in the equation's arena.
using ByteView = std::string_view;

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

// Records (or other parts of the tree) that stand together in the equation's arena.
template <typename T>
class Span {
 public:
  Span() = default;
  Span(T* data, std::size_t size) : data_(data), size_(size) {}
  T* begin() const { return data_; }
  T* end() const { return data_ + size_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) const { return data_[i]; }
  T& front() const { return data_[0]; }
  T& back() const { return data_[size_ - 1]; }

 private:
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

// One record place of the stream: definitions and sizes first, then the record.
struct Item {
  Span<Node> prefixes;
  Ref<Node> record;  // null when the data ran out or the record failed
  // The first byte the item was read from (the tag of its first prefix or record);
  // -1 when the data had run out.
  std::int32_t firstTag = -1;
};

// The font a character's explicit typeface is bound to.
struct BoundFont {
  bool valid = false;      // the binding names an existing font definition
  ByteView name;           // the font name (no terminating zero)
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
  ByteView nudge;  // the nudge bytes as read, empty without a nudge
};

struct Node {
  Kind kind = Kind::End;
  std::int32_t tag = 0;      // the record's tag byte
  std::int32_t options = 0;  // the record's options (MTEF 5 byte, or the tag's high digit)
  ByteView nudge;            // nudge bytes as read, when the options announce one

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
  ByteView partitions;  // matrix partition-line bytes as read

  // Size: the size record's bytes (tag included) and whether the tag stood far enough
  // from the end of the stream to count as a record of its own.
  // Font: typeface byte, style byte and the name with its terminating zero.
  ByteView bytes;
  bool tagKept = true;

  Span<Embellishment> marks;  // Embellishments
  Span<Item> children;        // Line items, template slots, pile lines, cells
  // Char: the record read for its embellishment flag (normally an Embellishments node).
  Ref<Item> attached;
};

// The parts of the tree are plain data: an arena frees them all at once, without
// destroying them one by one.
static_assert(std::is_trivially_destructible_v<Node> && std::is_trivially_copyable_v<Node>);
static_assert(std::is_trivially_destructible_v<Item> && std::is_trivially_copyable_v<Item>);
static_assert(std::is_trivially_destructible_v<Embellishment>);

// Where the records of one equation live, with the lists and bytes they refer to:
// memory taken in blocks and given back together with the equation, so that reading an
// equation costs a handful of allocations rather than several per record. An arena that
// is reset keeps one block, large enough for the equation before, for the next one.
class NodeArena {
 public:
  NodeArena() = default;
  NodeArena(const NodeArena&) = delete;
  NodeArena& operator=(const NodeArena&) = delete;

  // Every member has its initial value in the type, so nothing is zeroed beforehand.
  Node* node() { return new (take(sizeof(Node), alignof(Node))) Node; }
  Item* item() { return new (take(sizeof(Item), alignof(Item))) Item; }
  // A copy of `count` parts in the arena.
  template <typename T>
  Span<T> copy(const T* from, std::size_t count) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    if (count == 0) return {};
    if (count > kMaxBlock / sizeof(T)) throw std::bad_alloc();
    T* to = static_cast<T*>(take(count * sizeof(T), alignof(T)));
    std::copy(from, from + count, to);
    return {to, count};
  }
  ByteView bytes(std::string_view from) {
    if (from.empty()) return {};
    if (from.size() > kMaxBlock) throw std::bad_alloc();
    char* to = static_cast<char*>(take(from.size(), 1));
    std::copy(from.begin(), from.end(), to);
    return {to, from.size()};
  }
  // Forgets every part; the memory stays for the next equation.
  void reset();

 private:
  static constexpr std::size_t kFirstBlock = 4096;
  static constexpr std::size_t kMaxBlock = std::size_t{1} << 40;
  struct Block {
    std::unique_ptr<std::byte[]> bytes;
    std::size_t size = 0;
  };
  void* take(std::size_t size, std::size_t align) {
    std::size_t at = (used_ + align - 1) & ~(align - 1);
    if (blocks_.empty() || at + size > blocks_.back().size) {
      grow(size);
      at = 0;
    }
    used_ = at + size;
    return blocks_.back().bytes.get() + at;
  }
  void grow(std::size_t atLeast);
  std::vector<Block> blocks_;
  std::size_t used_ = 0;  // bytes taken from the last block
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
  std::unique_ptr<NodeArena> arena;  // holds every record below
  // The top-level items that make up the equation (for MTEF 5 the last one only).
  Span<Item> body;
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

// What reading keeps from one equation to the next of a run: the reader's working lists
// and the arena of an equation given back. One scratch serves one run (one thread).
class ReadScratch {
 public:
  ReadScratch();
  ~ReadScratch();
  ReadScratch(ReadScratch&&) noexcept;
  ReadScratch& operator=(ReadScratch&&) noexcept;
  // Takes back the arena of an equation that is no longer needed, for the next one.
  void recycle(Equation& equation);

  struct State;
  State& state();  // made when first needed, also after a move

 private:
  std::unique_ptr<State> state_;
};

// Reads an "Equation Native" stream (its 28-byte header, the MTEF header and the
// records) into a tree. A stream that cannot be read gives failed with the reason.
ReadResult readEquationNative(std::string_view stream);
// The same with the working lists and arena of `scratch`.
ReadResult readEquationNative(std::string_view stream, ReadScratch& scratch);

}  // namespace equation
