// Embedded equation objects in RTF: an object's data group, once read, is replaced by the
// converted equation or written back as it came.
#pragma once

#include <cstdint>
#include <string>

#include "rtf/document.h"

// The contents of an object's data group, read after "\objdata" to the group's own
// closing brace: nested groups, control words, zero bytes and "\bin" data included.
struct ObjectData {
  std::uint64_t inputOffset = 0;  // where the data starts in the document
  std::string hex;     // the group's own text without zero bytes, \bin data as hex digits
  std::string copy;    // the contents as the pass writes them back, when not plain
  bool plain = true;   // the contents are the text alone: written back as `hex`
  bool closed = false; // the closing brace was read (it is in neither string)
  const std::string& written() const { return plain ? hex : copy; }
};

// Converts the object whose data was read and writes the replacement (or the data as it
// came), the data group's closing brace included. True when the object was replaced by
// an Office Math equation, whose picture group the caller then drops.
bool ReplaceObjectData(DocumentPass& pass, const ObjectData& data);
