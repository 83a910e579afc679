#include "docx/xml_scan.h"

#include <expat.h>

#include <cstring>

namespace docx {
namespace {

constexpr char kSeparator = '\x01';

struct Names {
  std::string_view ns, local, prefix;
};

// Expat names are "uri\1local\1prefix" (or just "local" outside any namespace).
Names splitName(const XML_Char* name) {
  std::string_view s(name);
  Names n;
  const std::size_t a = s.find(kSeparator);
  if (a == std::string_view::npos) {
    n.local = s;
    return n;
  }
  n.ns = s.substr(0, a);
  const std::size_t b = s.find(kSeparator, a + 1);
  n.local = s.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1);
  if (b != std::string_view::npos) n.prefix = s.substr(b + 1);
  return n;
}

}  // namespace

struct XmlStream::Context {
  XML_Parser parser = nullptr;
  const XmlHandlers* handlers = nullptr;
  std::size_t depth = 0;
  std::size_t maxDepth = 0;
  struct Open {
    std::size_t begin, tagEnd;
  };
  std::vector<Open> starts;  // where the open elements' start tags stand
  XmlStart start;            // the start being reported, kept so its attributes keep their room
  std::string error;
  bool failed = false;
};

namespace {

using Context = XmlStream::Context;

void stop(Context& c, const char* why) {
  if (c.error.empty()) c.error = why;
  XML_StopParser(c.parser, XML_FALSE);
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
  Context& c = *static_cast<Context*>(data);
  if (c.depth >= c.maxDepth) return stop(c, "the XML nests too deeply");
  XmlStart& s = c.start;
  const Names n = splitName(name);
  s.ns = n.ns;
  s.local = n.local;
  s.prefix = n.prefix;
  s.attributes.clear();
  for (const XML_Char** a = attrs; a[0]; a += 2) {
    const Names an = splitName(a[0]);
    s.attributes.push_back(XmlAttribute{an.ns, an.local, a[1]});
  }
  s.begin = static_cast<std::size_t>(XML_GetCurrentByteIndex(c.parser));
  s.tagEnd = s.begin + static_cast<std::size_t>(XML_GetCurrentByteCount(c.parser));
  s.depth = c.depth;
  c.starts.push_back({s.begin, s.tagEnd});
  ++c.depth;
  if (c.handlers->start) c.handlers->start(s);
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
  Context& c = *static_cast<Context*>(data);
  if (c.depth == 0) return;
  --c.depth;
  XmlEnd e;
  const Names n = splitName(name);
  e.ns = n.ns;
  e.local = n.local;
  e.depth = c.depth;
  const std::size_t at = static_cast<std::size_t>(XML_GetCurrentByteIndex(c.parser));
  const std::size_t count = static_cast<std::size_t>(XML_GetCurrentByteCount(c.parser));
  const Context::Open open = c.starts.back();
  c.starts.pop_back();
  // An empty-element tag reports its end at the start tag's position.
  e.end = at == open.begin || count == 0 ? open.tagEnd : at + count;
  if (c.handlers->end) c.handlers->end(e);
}

void XMLCALL onText(void* data, const XML_Char* s, int len) {
  Context& c = *static_cast<Context*>(data);
  if (c.handlers->text) c.handlers->text(std::string_view(s, static_cast<std::size_t>(len)));
}

void XMLCALL onNamespace(void* data, const XML_Char* prefix, const XML_Char* uri) {
  Context& c = *static_cast<Context*>(data);
  if (c.handlers->namespaceStart) c.handlers->namespaceStart(prefix ? prefix : "", uri ? uri : "");
}

void XMLCALL onNamespaceEnd(void* data, const XML_Char* prefix) {
  Context& c = *static_cast<Context*>(data);
  if (c.handlers->namespaceEnd) c.handlers->namespaceEnd(prefix ? prefix : "");
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  stop(*static_cast<Context*>(data), "the XML declares a document type, which a package part may not");
}

void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                      const XML_Char*, const XML_Char*, const XML_Char*) {
  stop(*static_cast<Context*>(data), "the XML declares entities, which a package part may not");
}

}  // namespace

XmlStream::XmlStream(const XmlHandlers& handlers, std::size_t maxDepth) : c_(std::make_unique<Context>()) {
  c_->handlers = &handlers;
  c_->maxDepth = maxDepth;
  XML_Parser parser = XML_ParserCreateNS(nullptr, kSeparator);
  c_->parser = parser;
  if (!parser) {
    c_->failed = true;
    c_->error = "no memory for the XML parser";
    return;
  }
  XML_SetReturnNSTriplet(parser, 1);
  XML_SetUserData(parser, c_.get());
  XML_SetElementHandler(parser, onStart, onEnd);
  // Character data costs a call per piece; only a reader that wants it gets it.
  if (handlers.text) XML_SetCharacterDataHandler(parser, onText);
  XML_SetNamespaceDeclHandler(parser, onNamespace, onNamespaceEnd);
  XML_SetStartDoctypeDeclHandler(parser, onDoctype);
  XML_SetEntityDeclHandler(parser, onEntity);
  XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlStream::~XmlStream() {
  if (c_->parser) XML_ParserFree(c_->parser);
}

bool XmlStream::feed(std::string_view piece, bool last, std::string& error) {
  Context& c = *c_;
  // Fed in pieces of at most 1 MB so that the byte counts stay within expat's int lengths.
  constexpr std::size_t kPiece = 1 << 20;
  std::size_t at = 0;
  while (!c.failed) {
    const std::size_t n = std::min(kPiece, piece.size() - at);
    const bool final = last && at + n == piece.size();
    if (XML_Parse(c.parser, piece.data() + at, static_cast<int>(n), final ? XML_TRUE : XML_FALSE) ==
        XML_STATUS_ERROR) {
      c.failed = true;
      if (c.error.empty())
        c.error = std::string("the XML is not well-formed (") + XML_ErrorString(XML_GetErrorCode(c.parser)) +
                  " at line " + std::to_string(XML_GetCurrentLineNumber(c.parser)) + ")";
    } else if (!c.error.empty()) {
      c.failed = true;
    }
    at += n;
    if (at >= piece.size()) break;
  }
  if (c.failed) error = c.error;
  return !c.failed;
}

bool scanXml(std::string_view text, const XmlHandlers& handlers, std::string& error,
             std::size_t maxDepth) {
  XmlStream stream(handlers, maxDepth);
  return stream.feed(text, true, error);
}

const XmlAttribute* findAttribute(const XmlStart& start, std::string_view ns, std::string_view local) {
  for (const XmlAttribute& a : start.attributes)
    if (a.ns == ns && a.local == local) return &a;
  return nullptr;
}

}  // namespace docx
