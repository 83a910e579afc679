// Streaming XML with byte offsets, over expat: the stage sees each element's start and end
// with its namespace, local name, prefix, attributes and where its tags stand in the
// input, so that it can splice the input instead of rewriting it. The input may come in
// pieces, so that a part is never held whole. Document type
// declarations are refused (no DTD entity is ever expanded), and so is nesting deeper
// than a limit.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace docx {

struct XmlAttribute {
  std::string_view ns;     // namespace URI, empty when none
  std::string_view local;
  std::string_view value;
};

struct XmlStart {
  std::string_view ns;
  std::string_view local;
  std::string_view prefix;
  std::vector<XmlAttribute> attributes;
  std::size_t begin = 0;    // offset of '<'
  std::size_t tagEnd = 0;   // offset just past the start tag's '>'
  std::size_t depth = 0;    // 0 for the root element
};

struct XmlEnd {
  std::string_view ns;
  std::string_view local;
  std::size_t end = 0;      // offset just past the element (its end tag, or '/>')
  std::size_t depth = 0;
};

struct XmlHandlers {
  std::function<void(const XmlStart&)> start;
  std::function<void(const XmlEnd&)> end;
  std::function<void(std::string_view)> text;  // character data (may come in pieces)
  // A namespace declaration coming into scope (before the start of the element that makes
  // it: prefix, empty for the default, and URI) and going out of scope (after its end).
  std::function<void(std::string_view, std::string_view)> namespaceStart;
  std::function<void(std::string_view)> namespaceEnd;
};

// Parses XML given in pieces; offsets count from the first byte of the first piece.
// Document type declarations are refused, and so is nesting deeper than `maxDepth`.
class XmlStream {
 public:
  XmlStream(const XmlHandlers& handlers, std::size_t maxDepth = 1024);
  ~XmlStream();
  XmlStream(const XmlStream&) = delete;
  XmlStream& operator=(const XmlStream&) = delete;
  // Parses the next piece (`last` for the final one, which may be empty); false with
  // `error` set once the XML is found not well-formed or refused.
  bool feed(std::string_view piece, bool last, std::string& error);

  struct Context;

 private:
  std::unique_ptr<Context> c_;
};

// Parses the whole text; false with `error` set when it is not well-formed, declares a
// document type, or nests deeper than `maxDepth`.
bool scanXml(std::string_view text, const XmlHandlers& handlers, std::string& error,
             std::size_t maxDepth = 1024);

// The attribute's value, or nullptr.
const XmlAttribute* findAttribute(const XmlStart& start, std::string_view ns, std::string_view local);

}  // namespace docx
