// The .docx stage. Parts are changed by splicing their text: the XML is scanned once with
// byte offsets, the equation objects and the paragraphs around them are noted, and only
// the spans that change are rewritten, so everything else in a part stays byte for byte.
#include "docx/docx.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <set>

#include "conversion/embedding_conversion.h"
#include "docx/package.h"
#include "docx/xml_scan.h"
#include "writers/office_math_xml.h"

namespace docx {
namespace {

constexpr std::string_view kWordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view kMathNs = "http://schemas.openxmlformats.org/officeDocument/2006/math";
constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kOfficeNs = "urn:schemas-microsoft-com:office:office";
constexpr std::string_view kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kContentTypesNs = "http://schemas.openxmlformats.org/package/2006/content-types";

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// ---- Relationships and content types ---------------------------------------------------

struct Relationship {
  std::string id, type, target;  // target as a zip name (resolved), or as written if external
  bool external = false;
  std::size_t begin = 0, end = 0;  // the <Relationship> element in its part
};

struct RelationshipPart {
  std::string name;    // zip name of the .rels part
  std::string source;  // zip name of the part it belongs to ("" for the package)
  std::string text;
  std::vector<Relationship> rels;
  std::vector<std::pair<std::size_t, std::size_t>> removed;
};

// The folder of a zip name, with its trailing '/'.
std::string folderOf(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash + 1));
}

// A relationship target as a zip name: relative to the source part's folder, '.' and
// '..' resolved.
std::string resolveTarget(std::string_view sourceFolder, std::string_view target) {
  std::string path = !target.empty() && target.front() == '/' ? std::string(target.substr(1))
                                                               : std::string(sourceFolder) + std::string(target);
  std::vector<std::string> segments;
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    const std::string seg = path.substr(at, slash - at);
    if (seg == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!seg.empty() && seg != ".") {
      segments.push_back(seg);
    }
    at = slash + 1;
  }
  std::string out;
  for (const std::string& s : segments) out += (out.empty() ? "" : "/") + s;
  return out;
}

// The part a .rels part belongs to: "word/_rels/document.xml.rels" -> "word/document.xml".
bool relsSource(std::string_view relsName, std::string& source) {
  if (!endsWith(lowerAscii(relsName), ".rels")) return false;
  const std::string folder = folderOf(relsName);
  if (!endsWith(lowerAscii(folder), "_rels/")) return false;
  const std::string file(relsName.substr(folder.size(), relsName.size() - folder.size() - 5));
  source = folder.substr(0, folder.size() - 6) + file;
  return true;
}

bool parseRelationships(RelationshipPart& part, std::string& error) {
  XmlHandlers h;
  const std::string folder = folderOf(part.source);
  Relationship* open = nullptr;
  h.start = [&](const XmlStart& s) {
    if (s.depth != 1 || s.ns != kPackageRelNs || s.local != "Relationship") return;
    Relationship r;
    r.begin = s.begin;
    for (const XmlAttribute& a : s.attributes) {
      if (!a.ns.empty()) continue;
      if (a.local == "Id") r.id = a.value;
      if (a.local == "Type") r.type = a.value;
      if (a.local == "Target") r.target = a.value;
      if (a.local == "TargetMode") r.external = a.value == "External";
    }
    if (!r.external) r.target = resolveTarget(folder, r.target);
    part.rels.push_back(std::move(r));
    open = &part.rels.back();
  };
  h.end = [&](const XmlEnd& e) {
    if (e.depth == 1 && open) {
      open->end = e.end;
      open = nullptr;
    }
  };
  if (!scanXml(part.text, h, error)) {
    error = "'" + part.name + "': " + error;
    return false;
  }
  return true;
}

struct ContentTypes {
  std::string text;
  std::map<std::string, std::string> defaults;  // lower-cased extension -> type
  struct Override {
    std::string type;
    std::size_t begin = 0, end = 0;
  };
  std::map<std::string, Override> overrides;  // lower-cased zip name -> entry
  std::vector<std::pair<std::size_t, std::size_t>> removed;

  std::string typeOf(const std::string& zipName) const {
    auto o = overrides.find(lowerAscii(zipName));
    if (o != overrides.end()) return o->second.type;
    const std::size_t dot = zipName.rfind('.');
    if (dot == std::string::npos) return {};
    auto d = defaults.find(lowerAscii(zipName.substr(dot + 1)));
    return d == defaults.end() ? std::string() : d->second;
  }
};

bool parseContentTypes(ContentTypes& ct, std::string& error) {
  XmlHandlers h;
  std::string openName;
  h.start = [&](const XmlStart& s) {
    if (s.depth != 1 || s.ns != kContentTypesNs) return;
    std::string name, ext, type;
    for (const XmlAttribute& a : s.attributes) {
      if (a.local == "PartName") name = a.value;
      if (a.local == "Extension") ext = a.value;
      if (a.local == "ContentType") type = a.value;
    }
    if (s.local == "Default") ct.defaults[lowerAscii(ext)] = type;
    if (s.local == "Override") {
      openName = lowerAscii(resolveTarget("", name));
      ct.overrides[openName] = ContentTypes::Override{type, s.begin, 0};
    }
  };
  h.end = [&](const XmlEnd& e) {
    if (e.depth == 1 && !openName.empty()) {
      ct.overrides[openName].end = e.end;
      openName.clear();
    }
  };
  if (!scanXml(ct.text, h, error)) {
    error = "'[Content_Types].xml': " + error;
    return false;
  }
  return true;
}

// Removes the given spans from a text.
std::string withoutSpans(const std::string& text, std::vector<std::pair<std::size_t, std::size_t>> spans) {
  std::sort(spans.begin(), spans.end());
  std::string out;
  std::size_t at = 0;
  for (const auto& [b, e] : spans) {
    if (b < at) continue;
    out.append(text, at, b - at);
    at = e;
  }
  out.append(text, at, std::string::npos);
  return out;
}

// ---- Story parts ------------------------------------------------------------------------

struct Edit {
  std::size_t begin = 0, end = 0;  // the span replaced (begin == end: an insertion)
  std::string text;
};

struct ObjectSite {
  std::size_t begin = 0, end = 0;        // the w:object / w:pict element
  std::size_t oleBegin = 0, oleEnd = 0;  // the o:OLEObject start tag
  bool hasOle = false;
  bool embedded = true;
  std::string progId, relId, objectId;
  std::string note;  // the id of the footnote, endnote or comment it stands in
  int run = -1;
};

struct RunSite {
  std::size_t begin = 0, end = 0;
  std::size_t propsBegin = 0, propsEnd = 0;  // w:rPr, when present
  std::string prefix;
  int paragraph = -1;           // the paragraph the run stands in directly, or -1
  int objects = 0;
  bool tab = false, text = false, other = false;
};

struct ParagraphSite {
  std::size_t begin = 0, end = 0;
  std::vector<int> runs;  // runs standing directly in the paragraph
  bool other = false;     // content beside runs and paragraph properties
};

struct StoryScan {
  std::vector<ObjectSite> objects;
  std::vector<RunSite> runs;
  std::vector<ParagraphSite> paragraphs;
  std::vector<std::pair<std::string, std::size_t>> references;  // r:* attribute values
  std::map<std::string, std::string> rootNamespaces;             // prefix -> URI
  std::size_t rootTagEnd = 0;
  std::string note;  // the footnote, endnote or comment being read
};

enum class Frame : std::uint8_t { Paragraph, Run, RunProperties, Object, Other };

bool scanStory(const std::string& text, StoryScan& scan, std::string& error) {
  std::vector<std::pair<Frame, int>> frames;
  XmlHandlers h;
  h.rootNamespace = [&](std::string_view prefix, std::string_view uri) {
    scan.rootNamespaces[std::string(prefix)] = std::string(uri);
  };
  h.start = [&](const XmlStart& s) {
    if (s.depth == 0) scan.rootTagEnd = s.tagEnd;
    if (s.depth == 1 && s.ns == kWordNs)
      for (const XmlAttribute& a : s.attributes)
        if (a.ns == kWordNs && a.local == "id") scan.note = a.value;
    for (const XmlAttribute& a : s.attributes)
      if (a.ns == kRelNs) scan.references.emplace_back(std::string(a.value), s.begin);
    const Frame parent = frames.empty() ? Frame::Other : frames.back().first;
    const int parentIndex = frames.empty() ? -1 : frames.back().second;
    // The object this element stands in; a paragraph in between (a text box inside a
    // picture) starts content of its own.
    int objectIndex = -1;
    for (auto it = frames.rbegin(); it != frames.rend() && it->first != Frame::Paragraph; ++it)
      if (it->first == Frame::Object) {
        objectIndex = it->second;
        break;
      }
    const bool word = s.ns == kWordNs;
    if (objectIndex >= 0 && !(word && s.local == "p")) {
      if (s.ns == kOfficeNs && s.local == "OLEObject" && !scan.objects[objectIndex].hasOle) {
        ObjectSite& o = scan.objects[objectIndex];
        o.hasOle = true;
        o.oleBegin = s.begin;
        o.oleEnd = s.tagEnd;
        for (const XmlAttribute& a : s.attributes) {
          if (a.ns.empty() && a.local == "ProgID") o.progId = a.value;
          if (a.ns.empty() && a.local == "ObjectID") o.objectId = a.value;
          if (a.ns.empty() && a.local == "ShapeID" && o.objectId.empty()) o.objectId = a.value;
          if (a.ns.empty() && a.local == "Type") o.embedded = a.value != "Link";
          if (a.ns == kRelNs && a.local == "id") o.relId = a.value;
        }
      }
      frames.emplace_back(Frame::Other, -1);
      return;
    }
    if (word && s.local == "p") {
      if (parent == Frame::Paragraph) scan.paragraphs[parentIndex].other = true;
      ParagraphSite p;
      p.begin = s.begin;
      scan.paragraphs.push_back(p);
      frames.emplace_back(Frame::Paragraph, static_cast<int>(scan.paragraphs.size() - 1));
      return;
    }
    if (word && s.local == "r") {
      RunSite r;
      r.begin = s.begin;
      r.prefix = s.prefix;
      if (parent == Frame::Paragraph) {
        r.paragraph = parentIndex;
        scan.paragraphs[parentIndex].runs.push_back(static_cast<int>(scan.runs.size()));
      } else {
        // A run inside a hyperlink, a field or a revision: its paragraph is not simple.
        for (auto it = frames.rbegin(); it != frames.rend(); ++it)
          if (it->first == Frame::Paragraph) {
            scan.paragraphs[it->second].other = true;
            break;
          }
      }
      scan.runs.push_back(r);
      frames.emplace_back(Frame::Run, static_cast<int>(scan.runs.size() - 1));
      return;
    }
    if (parent == Frame::Paragraph) {
      const bool ignorable = word && (s.local == "pPr" || s.local == "bookmarkStart" ||
                                      s.local == "bookmarkEnd" || s.local == "proofErr" ||
                                      s.local == "permStart" || s.local == "permEnd");
      if (!ignorable) scan.paragraphs[parentIndex].other = true;
    }
    if (parent == Frame::Run) {
      RunSite& r = scan.runs[parentIndex];
      if (word && s.local == "rPr") {
        r.propsBegin = s.begin;
        frames.emplace_back(Frame::RunProperties, parentIndex);
        return;
      }
      if (word && (s.local == "object" || s.local == "pict")) {
        ObjectSite o;
        o.begin = s.begin;
        o.run = parentIndex;
        o.note = scan.note;
        scan.objects.push_back(o);
        frames.emplace_back(Frame::Object, static_cast<int>(scan.objects.size() - 1));
        return;
      }
      if (word && s.local == "tab") {
        r.tab = true;
      } else if (word && s.local == "t") {
        r.text = true;
      } else if (!(word && s.local == "lastRenderedPageBreak")) {
        r.other = true;
      }
    }
    frames.emplace_back(Frame::Other, -1);
  };
  h.end = [&](const XmlEnd& e) {
    if (frames.empty()) return;
    const auto [frame, index] = frames.back();
    frames.pop_back();
    switch (frame) {
      case Frame::Paragraph: scan.paragraphs[index].end = e.end; break;
      case Frame::Run: scan.runs[index].end = e.end; break;
      case Frame::RunProperties: scan.runs[index].propsEnd = e.end; break;
      case Frame::Object: {
        ObjectSite& o = scan.objects[index];
        o.end = e.end;
        // A picture that is not an OLE object (a VML drawing, a text box) is plain content.
        if (!o.hasOle) scan.runs[o.run].other = true;
        else ++scan.runs[o.run].objects;
        break;
      }
      case Frame::Other: break;
    }
  };
  return scanXml(text, h, error);
}

// The ProgID attribute's value span inside a start tag, or npos.
std::pair<std::size_t, std::size_t> attributeValueSpan(std::string_view tag, std::string_view name) {
  std::size_t at = 0;
  while ((at = tag.find(name, at)) != std::string_view::npos) {
    const bool bounded = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' ||
                                    tag[at - 1] == '\n' || tag[at - 1] == '\r');
    std::size_t p = at + name.size();
    while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\n' || tag[p] == '\r')) ++p;
    if (bounded && p < tag.size() && tag[p] == '=') {
      ++p;
      while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\n' || tag[p] == '\r')) ++p;
      if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) {
        const std::size_t close = tag.find(tag[p], p + 1);
        if (close != std::string_view::npos) return {p + 1, close};
      }
    }
    at += name.size();
  }
  return {std::string_view::npos, std::string_view::npos};
}

// Where a new attribute goes in a start tag: before its '>' or '/>'.
std::size_t attributeInsertion(std::string_view tag) {
  std::size_t at = tag.size();
  if (at > 0 && tag[at - 1] == '>') --at;
  if (at > 0 && tag[at - 1] == '/') --at;
  return at;
}

// The paragraph is a display equation: it holds only the object's run, tab runs before
// it, and after it tabs and at most one run of text (the equation's number).
bool isDisplayParagraph(const StoryScan& scan, const ParagraphSite& p, int run,
                        std::vector<int>& leadingTabs) {
  if (p.other) return false;
  bool seen = false;
  int texts = 0;
  leadingTabs.clear();
  for (int i : p.runs) {
    const RunSite& r = scan.runs[i];
    if (i == run) {
      seen = true;
      continue;
    }
    if (r.other || r.objects > 0) return false;
    if (!seen) {
      if (r.text) return false;
      if (r.tab) leadingTabs.push_back(i);
    } else if (r.text && ++texts > 1) {
      return false;
    }
  }
  return seen;
}

struct EmbeddingState {
  conversion::EmbeddingOutcome outcome;  // its element tree is written out and dropped
  std::string officeMathXml;             // the inline form; display wraps it
  bool read = false;
  std::string error;
};

// Applies the edits (sorted, not overlapping) to a text.
std::string applyEdits(const std::string& text, std::vector<Edit>& edits) {
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) {
    return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
  });
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  for (const Edit& e : edits) {
    if (e.begin < at) continue;
    out.append(text, at, e.begin - at);
    out += e.text;
    at = e.end;
  }
  out.append(text, at, std::string::npos);
  return out;
}

bool isStoryType(std::string_view type) {
  for (std::string_view t : {"/header", "/footer", "/footnotes", "/endnotes", "/comments"})
    if (endsWith(type, t)) return true;
  return false;
}

bool isWordMainType(std::string_view type) {
  for (std::string_view t :
       {"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
        "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
        "application/vnd.ms-word.document.macroEnabled.main+xml",
        "application/vnd.ms-word.template.macroEnabledTemplate.main+xml"})
    if (type == t) return true;
  return false;
}

class Conversion {
 public:
  Conversion(const PackageReader& package, const conversion::EquationSettings& settings, DocxResult& result)
      : package_(package), settings_(settings), result_(result) {}

  bool run();

 private:
  bool loadStructure();
  void convertStory(const std::string& partName);
  EmbeddingState& embedding(const std::string& name);
  void keep(const std::string& part, const ObjectSite& o, const std::string& cls, const std::string& why,
            const conversion::EquationInfo& info = {}, bool display = false) {
    result_.unconverted.push_back(UnconvertedObject{"/" + part, o.objectId, cls, why});
    record(part, o, cls, why, info, display);
  }
  // The record of an equation object: converted when `why` is empty.
  void record(const std::string& part, const ObjectSite& o, const std::string& cls, const std::string& why,
              const conversion::EquationInfo& info, bool display);
  void removeOrphans();
  const Relationship* mainRelationship(const std::string& id) const;

  const PackageReader& package_;
  conversion::EquationSettings settings_;
  DocxResult& result_;
  ContentTypes types_;
  std::map<std::string, RelationshipPart> rels_;  // by lower-cased source part name
  std::string mainPart_;
  std::map<std::string, PartChange> changes_;
  std::map<std::string, EmbeddingState> embeddings_;  // by zip name
  std::set<std::string> droppedTargets_;               // lower-cased zip names
  std::string failure_;                                // a story part that cannot be read
  std::map<std::string, std::set<std::string>> remainingReferences_;  // relationship ids
                                                       // a story still uses, by part
};

bool Conversion::loadStructure() {
  std::string error;
  const PackageEntry* ct = package_.find("[Content_Types].xml");
  if (!ct) {
    result_.error = "not a Word document: the package has no [Content_Types].xml";
    return false;
  }
  if (!package_.read(*ct, types_.text, error) || !parseContentTypes(types_, error)) {
    result_.error = error;
    return false;
  }
  for (const PackageEntry& e : package_.entries()) {
    std::string source;
    if (!relsSource(e.name, source)) continue;
    RelationshipPart part;
    part.name = e.name;
    part.source = source;
    if (!package_.read(e, part.text, error) || !parseRelationships(part, error)) {
      result_.error = error;
      return false;
    }
    rels_[lowerAscii(source)] = std::move(part);
  }
  auto root = rels_.find("");
  if (root != rels_.end())
    for (const Relationship& r : root->second.rels)
      if (!r.external && endsWith(r.type, "/officeDocument")) mainPart_ = r.target;
  if (mainPart_.empty()) {
    result_.error = "not a Word document: the package names no main document part";
    return false;
  }
  if (!package_.find(mainPart_)) {
    result_.error = "the package names the main part '/" + mainPart_ + "', which is missing";
    return false;
  }
  if (!isWordMainType(types_.typeOf(mainPart_))) {
    result_.error = "not a Word document: the main part '/" + mainPart_ + "' is of type '" +
                    types_.typeOf(mainPart_) + "'";
    return false;
  }
  return true;
}

// The story an object stands in, named by its part ("header1", "footer2"), or for notes
// and comments by the kind and the id ("footnote 3", "comment 1"); the document is "body".
std::string storyName(const std::string& part, const std::string& note) {
  std::string stem = part.substr(part.rfind('/') + 1);
  stem = stem.substr(0, stem.rfind('.'));
  const std::string lower = lowerAscii(stem);
  if (lower == "document") return "body";
  for (const char* notes : {"footnotes", "endnotes", "comments"})
    if (lower == notes) return std::string(notes, std::strlen(notes) - 1) + (note.empty() ? "" : " " + note);
  return stem;
}

void Conversion::record(const std::string& part, const ObjectSite& o, const std::string& cls,
                        const std::string& why, const conversion::EquationInfo& info, bool display) {
  if (!settings_.keepRecords) return;
  conversion::EquationRecord r;
  r.story = storyName(part, o.note);
  r.position = "/" + part + (o.objectId.empty() ? "" : "#" + o.objectId);
  r.className = cls;
  r.display = display;
  r.converted = why.empty();
  r.reason = why;
  r.info = info;
  result_.records.push_back(std::move(r));
}

EmbeddingState& Conversion::embedding(const std::string& name) {
  EmbeddingState& state = embeddings_[lowerAscii(name)];
  return state;
}

void Conversion::convertStory(const std::string& partName) {
  const PackageEntry* entry = package_.find(partName);
  if (!entry) return;
  std::string text, error;
  if (!package_.read(*entry, text, error)) {
    failure_ = error;
    return;
  }
  StoryScan scan;
  if (!scanStory(text, scan, error)) {
    // A story that cannot be read stays as it is; if it held equations they are kept.
    result_.unconverted.push_back(UnconvertedObject{"/" + partName, "", "", error});
    return;
  }
  std::set<std::string>& remaining = remainingReferences_[lowerAscii(partName)];
  for (const auto& ref : scan.references) remaining.insert(ref.first);
  if (scan.objects.empty()) return;
  RelationshipPart* rels = nullptr;
  if (auto it = rels_.find(lowerAscii(partName)); it != rels_.end()) rels = &it->second;
  std::map<std::string, const Relationship*> relById;
  if (rels)
    for (const Relationship& r : rels->rels) relById.emplace(r.id, &r);

  const bool utf8 = text.compare(0, 1, "<") == 0 || text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const auto bound = [&](const char* prefix) {
    auto it = scan.rootNamespaces.find(prefix);
    return it == scan.rootNamespaces.end() ? std::string() : it->second;
  };
  const std::string mathBound = bound("m"), wordBound = bound("w");
  const bool namespacesUsable = (mathBound.empty() || mathBound == kMathNs) &&
                                (wordBound.empty() || wordBound == kWordNs);

  std::vector<Edit> edits;
  std::vector<std::pair<std::size_t, std::size_t>> removedSpans;
  bool officeMathWritten = false;
  for (const ObjectSite& o : scan.objects) {
    if (!o.hasOle) continue;
    if (!o.embedded) {
      if (conversion::isConvertedClass(o.progId, settings_)) keep(partName, o, o.progId, "a linked object, not an embedded one");
      continue;
    }
    const auto found = relById.find(o.relId);
    const Relationship* rel = found == relById.end() ? nullptr : found->second;
    if (!rel && lowerAscii(partName) != lowerAscii(mainPart_))
      // LibreOffice puts the relationships of objects in notes into the main part's.
      if (const Relationship* borrowed = mainRelationship(o.relId)) rel = borrowed;
    if (!rel || rel->external || !package_.find(rel->target)) {
      if (conversion::isConvertedClass(o.progId, settings_) || o.progId.empty())
        keep(partName, o, o.progId,
             !rel ? "the object's relationship '" + o.relId + "' is missing"
                  : "the object's embedding '" + rel->target + "' is missing");
      continue;
    }
    EmbeddingState& state = embedding(rel->target);
    if (!state.read) {
      state.read = true;
      std::string bytes;
      if (!package_.read(*package_.find(rel->target), bytes, state.error)) {
        state.outcome.isEquation = conversion::isConvertedClass(o.progId, settings_);
      } else {
        state.outcome = conversion::convertEmbedding(bytes, o.progId, settings_);
        if (state.outcome.converted && settings_.eqVersion != 0) {
          state.officeMathXml = writers::writeOfficeMathXml(state.outcome.officeMath, false);
          state.outcome.officeMath = {};
        }
      }
    }
    const conversion::EmbeddingOutcome& out = state.outcome;
    const RunSite* site = o.run >= 0 ? &scan.runs[o.run] : nullptr;
    const bool wholeRun = site && site->objects == 1 && !site->other && !site->text && !site->tab;
    std::vector<int> leadingTabs;
    const bool display = wholeRun && site->paragraph >= 0 &&
                         isDisplayParagraph(scan, scan.paragraphs[site->paragraph], o.run, leadingTabs);
    if (!out.isEquation) {
      if (!out.reason.empty()) keep(partName, o, out.className, out.reason, out.info, display);
      continue;
    }
    if (!out.converted) {
      keep(partName, o, out.className, state.error.empty() ? out.reason : state.error, out.info, display);
      continue;
    }
    if (!utf8) {
      keep(partName, o, out.className, "the part is not written in UTF-8", out.info, display);
      continue;
    }
    if (settings_.eqVersion == 0) {
      changes_[package_.find(rel->target)->name].bytes = out.equation3File;
      const std::string_view tag(text.data() + o.oleBegin, o.oleEnd - o.oleBegin);
      const auto [vb, ve] = attributeValueSpan(tag, "ProgID");
      if (vb != std::string_view::npos)
        edits.push_back(Edit{o.oleBegin + vb, o.oleBegin + ve, "Equation.3"});
      else
        edits.push_back(Edit{o.oleBegin + attributeInsertion(tag), o.oleBegin + attributeInsertion(tag),
                             " ProgID=\"Equation.3\""});
      ++result_.converted;
      record(partName, o, out.className, "", out.info, display);
      continue;
    }
    if (!namespacesUsable) {
      keep(partName, o, out.className, "the part binds the prefixes m or w to other namespaces", out.info,
           display);
      continue;
    }
    const RunSite& run = scan.runs[o.run];
    const std::string xml =
        display ? "<m:oMathPara>" + state.officeMathXml + "</m:oMathPara>" : state.officeMathXml;
    if (wholeRun) {
      edits.push_back(Edit{run.begin, run.end, xml});
      removedSpans.emplace_back(run.begin, run.end);
      for (int t : leadingTabs) {
        edits.push_back(Edit{scan.runs[t].begin, scan.runs[t].end, ""});
        removedSpans.emplace_back(scan.runs[t].begin, scan.runs[t].end);
      }
    } else {
      // The run also holds other content: it is closed before the equation and opened
      // again after it, with its properties.
      const std::string name = (run.prefix.empty() ? "" : run.prefix + ":") + "r";
      std::string reopen = "<" + name + ">";
      if (run.propsEnd > run.propsBegin) reopen += text.substr(run.propsBegin, run.propsEnd - run.propsBegin);
      edits.push_back(Edit{o.begin, o.end, "</" + name + ">" + xml + reopen});
      removedSpans.emplace_back(o.begin, o.end);
    }
    officeMathWritten = true;
    ++result_.converted;
    record(partName, o, out.className, "", out.info, display);
  }
  if (officeMathWritten) {
    std::string declarations;
    if (mathBound.empty()) declarations += " xmlns:m=\"" + std::string(kMathNs) + "\"";
    if (wordBound.empty()) declarations += " xmlns:w=\"" + std::string(kWordNs) + "\"";
    if (!declarations.empty()) {
      // The root start tag ends at rootTagEnd; the declarations go before its '>'.
      std::size_t at = scan.rootTagEnd;
      if (at > 0 && text[at - 1] == '>') --at;
      if (at > 0 && text[at - 1] == '/') --at;
      edits.push_back(Edit{at, at, declarations});
    }
  }
  if (edits.empty()) return;
  changes_[entry->name].bytes = applyEdits(text, edits);

  // Relationships that only the removed objects used go, with the parts they name once
  // nothing else names them.
  if (removedSpans.empty()) return;
  std::sort(removedSpans.begin(), removedSpans.end());
  auto removed = [&](std::size_t offset) {
    auto it = std::upper_bound(removedSpans.begin(), removedSpans.end(),
                               std::make_pair(offset, std::string::npos));
    return it != removedSpans.begin() && offset < std::prev(it)->second;
  };
  std::set<std::string> inside, outside;
  for (const auto& [id, offset] : scan.references) (removed(offset) ? inside : outside).insert(id);
  remaining = outside;
  const auto drop = [&](RelationshipPart& from, const Relationship& r) {
    from.removed.emplace_back(r.begin, r.end);
    if (!r.external) droppedTargets_.insert(lowerAscii(r.target));
    changes_[from.name].bytes = withoutSpans(from.text, from.removed);
  };
  for (const std::string& id : inside) {
    if (outside.count(id)) continue;
    if (auto own = relById.find(id); own != relById.end()) {
      drop(*rels, *own->second);
    } else if (const Relationship* borrowed = mainRelationship(id)) {
      // A relationship of the main part goes only when the main part does not use it.
      if (!remainingReferences_[lowerAscii(mainPart_)].count(id)) drop(rels_[lowerAscii(mainPart_)], *borrowed);
    }
  }
}

const Relationship* Conversion::mainRelationship(const std::string& id) const {
  auto main = rels_.find(lowerAscii(mainPart_));
  if (main == rels_.end()) return nullptr;
  for (const Relationship& r : main->second.rels)
    if (r.id == id) return &r;
  return nullptr;
}

void Conversion::removeOrphans() {
  if (droppedTargets_.empty()) return;
  std::set<std::string> stillNamed;
  for (const auto& [source, part] : rels_) {
    for (const Relationship& r : part.rels) {
      const bool gone = std::find(part.removed.begin(), part.removed.end(),
                                  std::make_pair(r.begin, r.end)) != part.removed.end();
      if (!gone && !r.external) stillNamed.insert(lowerAscii(r.target));
    }
  }
  bool typesChanged = false;
  for (const std::string& target : droppedTargets_) {
    if (stillNamed.count(target)) continue;
    const PackageEntry* e = package_.find(target);
    if (!e) continue;
    changes_[e->name] = PartChange{true, {}};
    if (auto own = rels_.find(target); own != rels_.end()) changes_[own->second.name] = PartChange{true, {}};
    if (auto o = types_.overrides.find(target); o != types_.overrides.end()) {
      types_.removed.emplace_back(o->second.begin, o->second.end);
      typesChanged = true;
    }
  }
  if (typesChanged) changes_[package_.find("[Content_Types].xml")->name].bytes = withoutSpans(types_.text, types_.removed);
}

bool Conversion::run() {
  if (!loadStructure()) return false;
  std::vector<std::string> stories{mainPart_};
  if (auto it = rels_.find(lowerAscii(mainPart_)); it != rels_.end())
    for (const Relationship& r : it->second.rels)
      if (!r.external && isStoryType(r.type) && package_.find(r.target) &&
          std::find(stories.begin(), stories.end(), r.target) == stories.end())
        stories.push_back(r.target);
  for (const std::string& story : stories) {
    convertStory(package_.find(story)->name);
    if (!failure_.empty()) {
      result_.error = failure_;
      return false;
    }
  }
  removeOrphans();
  std::string error;
  if (changes_.empty()) {
    result_.package.clear();  // the caller copies the input as it is
    return true;
  }
  if (!writePackage(package_, changes_, result_.package, error)) {
    result_.error = error;
    return false;
  }
  return true;
}

}  // namespace

bool looksLikeZip(std::string_view bytes) { return bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4); }

DocxResult convertDocx(std::string_view packageBytes, const conversion::EquationSettings& settings) {
  DocxResult result;
  try {
    PackageReader package;
    std::string error;
    if (!package.open(packageBytes, error)) {
      result.error = error;
      return result;
    }
    Conversion conversion(package, settings, result);
    result.ok = conversion.run();
    if (result.ok && result.package.empty()) result.package.assign(packageBytes);
  } catch (const std::bad_alloc&) {
    result = DocxResult{};
    result.error = "not enough memory to convert the package";
  }
  return result;
}

}  // namespace docx
