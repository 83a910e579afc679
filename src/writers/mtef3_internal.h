// Internal to the MTEF 3 writer: the state of one equation's writing and the pieces the
// record writer (mtef3.cpp) and the template writer (mtef3_templates.cpp) share.
//
// Output is appended to byte strings. Every node is written into the string of the
// structure that holds it, as the stream holds it; a template first writes each of its
// slots into a string of its own and then puts its record together, because MTEF 3 wants
// some slots in another order or rebuilt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "equation/tree.h"

namespace writers::mtef3 {

using Bytes = std::string;

struct WriterState {
  std::int32_t version = 0;  // MTEF version of the equation read
  bool euclid = false;
  // The last size record written (tag included): stacked embellishments and labelled
  // arrows close their small slots with it, so the text after them is back at that size.
  Bytes sizeRecord = Bytes(1, '\x0a');
  // The record of the character whose embellishment list is being written; the list
  // rewrites it. Null outside a character.
  const Bytes* openRun = nullptr;
};

// One byte.
inline Bytes byte(std::uint32_t value) { return Bytes(1, static_cast<char>(value & 0xff)); }

// Joins the pieces.
Bytes cat(std::initializer_list<std::string_view> parts);

// A tag byte followed by the nudge bytes of its record.
inline Bytes tagged(char tag, std::string_view nudge) { return cat({std::string_view(&tag, 1), nudge}); }

// The first byte of an item as the stream holds it; 0 when the data had run out there.
inline std::int32_t leadingByte(std::int32_t firstTag) { return firstTag < 0 ? 0 : firstTag; }

// Writes an item (its size and font prefixes, then its record) to out. `following` is the
// byte that comes after the item in the stream (0 at the end of the data).
void writeItem(WriterState& state, const equation::Item& item, Bytes& out,
               std::int32_t following);

// The slots of a template, each written on its own in stream order. Handlers take them in
// the order the template defines; once the list is used up, further slots are empty.
class SlotTexts {
 public:
  SlotTexts(WriterState& state, const equation::Node& node, std::int32_t following);

  Bytes take();
  void skip() { ++cursor_; }
  // True when every slot has been taken (the END that closed the list among them).
  bool ended() const { return cursor_ >= texts_.size(); }
  // The first byte of the next slot, or of what follows the template once the list is over.
  std::int32_t peekByte() const;
  // The next slot is a size record standing on its own (a contour integral's).
  bool nextIsStandaloneSize() const;

 private:
  const equation::Node& node_;
  std::vector<Bytes> texts_;
  std::size_t cursor_ = 0;
  std::int32_t following_;
};

// A TMPL record: its tag and the record MTEF 3 has for it.
void writeTemplate(WriterState& state, const equation::Node& node, Bytes& out,
                   std::int32_t following);

}  // namespace writers::mtef3
