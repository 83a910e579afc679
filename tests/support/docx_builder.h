// Test packages: a .docx assembled from parts, with equation objects placed in the body,
// a header and a footnote, inline or as display paragraphs.
#pragma once

#include <zip.h>

#include <string>
#include <utility>
#include <vector>

namespace testdocx {

using Parts = std::vector<std::pair<std::string, std::string>>;  // zip name, bytes

// A zip of the parts, in their order (deflated, or stored when `store`).
inline std::string zipParts(const Parts& parts, bool store = false) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &ze);
  zip_source_keep(buffer);
  zip_t* z = zip_open_from_source(buffer, ZIP_TRUNCATE, &ze);
  for (const auto& [name, bytes] : parts) {
    zip_source_t* s = zip_source_buffer(z, bytes.data(), bytes.size(), 0);
    const zip_int64_t i = zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_UTF_8);
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i), store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    zip_file_set_mtime(z, static_cast<zip_uint64_t>(i), 1767225600, 0);  // a fixed time: same bytes each run
  }
  zip_close(z);
  std::string out;
  zip_source_open(buffer);
  char chunk[65536];
  for (zip_int64_t n; (n = zip_source_read(buffer, chunk, sizeof chunk)) > 0;) out.append(chunk, n);
  zip_source_close(buffer);
  zip_source_free(buffer);
  zip_error_fini(&ze);
  return out;
}

// The parts of a zip, in their order.
inline Parts unzipParts(const std::string& bytes) {
  Parts parts;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &ze);
  if (!z) return parts;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, i, 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* f = zip_fopen_index(z, i, 0);
    if (f) {
      zip_fread(f, data.data(), data.size());
      zip_fclose(f);
    }
    parts.emplace_back(st.name, data);
  }
  zip_discard(z);
  zip_error_fini(&ze);
  return parts;
}

inline const std::string* findPart(const Parts& parts, const std::string& name) {
  for (const auto& p : parts)
    if (p.first == name) return &p.second;
  return nullptr;
}

// The compressed bytes of every entry, as stored (for "copied as is" checks).
inline std::vector<std::pair<std::string, std::string>> rawEntries(const std::string& bytes) {
  std::vector<std::pair<std::string, std::string>> out;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
  zip_t* z = zip_open_from_source(src, ZIP_RDONLY, &ze);
  if (!z) return out;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, i, 0, &st);
    std::string data(st.comp_size, '\0');
    zip_file_t* f = zip_fopen_index(z, i, ZIP_FL_COMPRESSED);
    if (f) {
      zip_fread(f, data.data(), data.size());
      zip_fclose(f);
    }
    out.emplace_back(st.name, data);
  }
  zip_discard(z);
  zip_error_fini(&ze);
  return out;
}

enum class Story { Body, Header, Footnote };
enum class Layout { Inline, Display, Numbered };

struct Placed {
  std::string embedding;  // the compound file
  std::string progId;     // as the document names it
  Story story = Story::Body;
  Layout layout = Layout::Inline;
};

// A 1x1 PNG, the preview picture of every object.
inline std::string previewPng() {
  static const unsigned char png[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
      0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4,
      0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x64, 0x60, 0xf8, 0x5f,
      0x0f, 0x00, 0x02, 0x87, 0x01, 0x80, 0xeb, 0x47, 0xba, 0x92, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
      0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

constexpr const char* kRootNamespaces =
    " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
    " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
    " xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\"";

inline std::string objectRun(int n, const std::string& progId) {
  const std::string k = std::to_string(n);
  return "<w:r><w:object w:dxaOrig=\"1440\" w:dyaOrig=\"480\"><v:shape id=\"_x0000_i10" + k +
         "\" type=\"#_x0000_t75\" style=\"width:72pt;height:24pt\" o:ole=\"\"><v:imagedata r:id=\"rIdImg" +
         k + "\" o:title=\"\"/></v:shape><o:OLEObject Type=\"Embed\" ProgID=\"" + progId +
         "\" ShapeID=\"_x0000_i10" + k + "\" DrawAspect=\"Content\" ObjectID=\"_10000000" + k +
         "\" r:id=\"rIdOle" + k + "\"/></w:object></w:r>";
}

inline std::string paragraph(int n, const Placed& p) {
  const std::string obj = objectRun(n, p.progId);
  switch (p.layout) {
    case Layout::Display: return "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr>" + obj + "</w:p>";
    case Layout::Numbered:
      return "<w:p><w:r><w:tab/></w:r>" + obj + "<w:r><w:tab/></w:r><w:r><w:t>(" + std::to_string(n) +
             ")</w:t></w:r></w:p>";
    case Layout::Inline: break;
  }
  return "<w:p><w:r><w:t xml:space=\"preserve\">Before </w:t></w:r>" + obj +
         "<w:r><w:t xml:space=\"preserve\"> after.</w:t></w:r></w:p>";
}

// The parts of a document holding the objects, each story with its own relationships.
inline Parts equationParts(const std::vector<Placed>& objects) {
  std::string body, header, footnote;
  std::string bodyRels, headerRels, footnoteRels;
  Parts media;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    const int n = static_cast<int>(i + 1);
    const std::string k = std::to_string(n);
    const std::string rels = "<Relationship Id=\"rIdOle" + k +
                             "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/oleObject\" Target=\"embeddings/oleObject" +
                             k + ".bin\"/><Relationship Id=\"rIdImg" + k +
                             "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/image\" Target=\"media/image" +
                             k + ".png\"/>";
    const std::string para = paragraph(n, objects[i]);
    switch (objects[i].story) {
      case Story::Body: body += para; bodyRels += rels; break;
      case Story::Header: header += para; headerRels += rels; break;
      case Story::Footnote: footnote += para; footnoteRels += rels; break;
    }
    media.emplace_back("word/embeddings/oleObject" + k + ".bin", objects[i].embedding);
    media.emplace_back("word/media/image" + k + ".png", previewPng());
  }
  const std::string xmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  const std::string relsHead =
      xmlHead + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  Parts parts;
  parts.emplace_back("[Content_Types].xml",
                     xmlHead +
                         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                         "<Default Extension=\"bin\" ContentType=\"application/vnd.openxmlformats-officedocument.oleObject\"/>"
                         "<Default Extension=\"png\" ContentType=\"image/png\"/>"
                         "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
                         "<Override PartName=\"/word/header1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>"
                         "<Override PartName=\"/word/footnotes.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.footnotes+xml\"/>"
                         "<Override PartName=\"/word/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
                         "</Types>");
  parts.emplace_back("_rels/.rels", relsHead +
                                        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
                                        "</Relationships>");
  parts.emplace_back("word/document.xml",
                     xmlHead + "<w:document" + kRootNamespaces + "><w:body>" +
                         "<w:p><w:r><w:t>Equations of the body.</w:t></w:r><w:r><w:footnoteReference w:id=\"1\"/></w:r></w:p>" +
                         body +
                         "<w:sectPr><w:headerReference w:type=\"default\" r:id=\"rIdHeader\"/></w:sectPr></w:body></w:document>");
  parts.emplace_back("word/_rels/document.xml.rels",
                     relsHead +
                         "<Relationship Id=\"rIdStyles\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
                         "<Relationship Id=\"rIdHeader\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
                         "<Relationship Id=\"rIdNotes\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes\" Target=\"footnotes.xml\"/>" +
                         bodyRels + "</Relationships>");
  parts.emplace_back("word/styles.xml", xmlHead +
                                            "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                                            "<w:docDefaults/></w:styles>");
  parts.emplace_back("word/header1.xml", xmlHead + "<w:hdr" + kRootNamespaces + "><w:p><w:r><w:t>Header</w:t></w:r></w:p>" +
                                             header + "</w:hdr>");
  parts.emplace_back("word/_rels/header1.xml.rels", relsHead + headerRels + "</Relationships>");
  parts.emplace_back("word/footnotes.xml",
                     xmlHead + "<w:footnotes" + kRootNamespaces +
                         "><w:footnote w:type=\"separator\" w:id=\"-1\"><w:p><w:r><w:separator/></w:r></w:p></w:footnote>"
                         "<w:footnote w:type=\"continuationSeparator\" w:id=\"0\"><w:p><w:r><w:continuationSeparator/></w:r></w:p></w:footnote>"
                         "<w:footnote w:id=\"1\"><w:p><w:r><w:t xml:space=\"preserve\">Note </w:t></w:r></w:p>" +
                         footnote + "</w:footnote></w:footnotes>");
  parts.emplace_back("word/_rels/footnotes.xml.rels", relsHead + footnoteRels + "</Relationships>");
  for (auto& m : media) parts.push_back(std::move(m));
  return parts;
}

}  // namespace testdocx
