// The .docx stage through its entry function: packages built from the shared corpus in,
// packages out, checked part by part.
#include <gtest/gtest.h>

#include <cstring>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "conversion/embedding_conversion.h"
#include "docx/docx.h"
#include "docx/zip_writer.h"
#include "ole/equation_object.h"
#include "support/convert.h"
#include "support/corpus.h"
#include "support/docx_builder.h"

using namespace testdocx;

namespace {

std::string corpusFile(const std::string& name) { return readFile(corpusDir() + "/equations/" + name); }

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

conversion::EquationSettings officeMath() { return {}; }
conversion::EquationSettings equation3() {
  conversion::EquationSettings s;
  s.eqVersion = 0;
  return s;
}

// Objects in every story and every layout.
std::vector<Placed> everyStory() {
  return {{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Inline},
          {corpusFile("mtef5-equation3.bin"), "Equation.DSMT4", Story::Body, Layout::Display},
          {corpusFile("mtef3-sqrt.bin"), "Equation.3", Story::Body, Layout::Numbered},
          {corpusFile("mtef5-equation1.bin"), "Equation.DSMT4", Story::Header, Layout::Inline},
          {corpusFile("mtef5-integrals.bin"), "", Story::Footnote, Layout::Display}};
}

class DocxStage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveCorpus()) GTEST_SKIP() << "shared corpus not found";
  }
};

TEST_F(DocxStage, OfficeMathReplacesEveryObjectAndDropsWhatOnlyTheyUsed) {
  const Parts input = equationParts(everyStory());
  const std::string package = zipParts(input);
  const docx::DocxResult result = docx::convertDocx(package, officeMath());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 5);
  EXPECT_TRUE(result.unconverted.empty());
  const Parts out = unzipParts(result.package);

  const std::string& body = *findPart(out, "word/document.xml");
  const std::string& header = *findPart(out, "word/header1.xml");
  const std::string& notes = *findPart(out, "word/footnotes.xml");
  for (const std::string* story : {&body, &header, &notes}) {
    EXPECT_EQ(count(*story, "<w:object"), 0u);
    EXPECT_EQ(count(*story, "o:OLEObject"), 0u);
    EXPECT_NE(story->find("xmlns:m=\"http://schemas.openxmlformats.org/officeDocument/2006/math\""),
              std::string::npos);
  }
  // Inline stays inline; a paragraph of its own (also with a tab and a number) is display.
  EXPECT_EQ(count(body, "<m:oMath>"), 3u);
  EXPECT_EQ(count(body, "<m:oMathPara>"), 2u);
  EXPECT_NE(body.find("Before </w:t></w:r><m:oMath><m:f>"), std::string::npos);
  EXPECT_NE(body.find("</m:oMathPara><w:r><w:tab/></w:r><w:r><w:t>(3)</w:t></w:r>"), std::string::npos);
  EXPECT_EQ(count(header, "<m:oMathPara>"), 0u);
  EXPECT_EQ(count(notes, "<m:oMathPara>"), 1u);
  // Runs carry the math font; Greek comes as Unicode.
  EXPECT_NE(body.find("<m:r><w:rPr><w:rFonts w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/></w:rPr>"),
            std::string::npos);
  EXPECT_NE(body.find("\xCE\xB8"), std::string::npos);  // theta of mtef5-equation3

  for (const auto& [name, bytes] : out) {
    EXPECT_EQ(name.find("word/embeddings/"), std::string::npos) << name;
    EXPECT_EQ(name.find("word/media/"), std::string::npos) << name;
  }
  for (const char* rels : {"word/_rels/document.xml.rels", "word/_rels/header1.xml.rels",
                           "word/_rels/footnotes.xml.rels"}) {
    EXPECT_EQ(count(*findPart(out, rels), "oleObject\""), 0u) << rels;
    EXPECT_EQ(count(*findPart(out, rels), "/image\""), 0u) << rels;
  }
  EXPECT_NE(findPart(out, "word/_rels/document.xml.rels")->find("Target=\"header1.xml\""), std::string::npos);

  // Parts that did not change are copied with their compressed data as it was.
  const auto before = rawEntries(package), after = rawEntries(result.package);
  for (const char* same : {"[Content_Types].xml", "_rels/.rels", "word/styles.xml"}) {
    const std::string* a = nullptr;
    const std::string* b = nullptr;
    for (const auto& e : before) if (e.first == same) a = &e.second;
    for (const auto& e : after) if (e.first == same) b = &e.second;
    ASSERT_TRUE(a && b) << same;
    EXPECT_EQ(*a, *b) << same;
  }
}

TEST_F(DocxStage, Equation3GivesFreshEmbeddingsAndKeepsPreviews) {
  const std::string package = zipParts(equationParts(everyStory()));
  const docx::DocxResult result = docx::convertDocx(package, equation3());
  ASSERT_TRUE(result.ok) << result.error;
  // The Equation 3.0 object stays as it is; the MathType ones become Equation 3.0.
  EXPECT_EQ(result.converted, 4);
  ASSERT_EQ(result.unconverted.size(), 1u);
  EXPECT_EQ(result.unconverted[0].part, "/word/document.xml");
  EXPECT_EQ(result.unconverted[0].objectId, "_100000003");
  const Parts in = unzipParts(package), out = unzipParts(result.package);
  EXPECT_EQ(in.size(), out.size());
  const std::string& body = *findPart(out, "word/document.xml");
  EXPECT_EQ(count(body, "ProgID=\"Equation.3\""), 3u);
  EXPECT_EQ(count(*findPart(out, "word/footnotes.xml"), "ProgID=\"Equation.3\""), 1u);
  for (const char* converted : {"word/embeddings/oleObject1.bin", "word/embeddings/oleObject2.bin",
                                "word/embeddings/oleObject4.bin", "word/embeddings/oleObject5.bin"}) {
    const std::string& file = *findPart(out, converted);
    EXPECT_NE(file, *findPart(in, converted));
    EXPECT_EQ(conversion::embeddingClassName(file), "Equation.3") << converted;
  }
  EXPECT_EQ(*findPart(out, "word/embeddings/oleObject3.bin"), *findPart(in, "word/embeddings/oleObject3.bin"));
  EXPECT_EQ(*findPart(out, "word/media/image1.png"), previewPng());
}

// Many new embeddings (they are compressed in batches, away from the story's reader):
// each one is the file the object's own conversion makes, under its own entry.
TEST_F(DocxStage, ManyEquation3EmbeddingsEachGetTheirOwnFile) {
  const std::vector<std::string> sources = {corpusFile("mtef3-frac.bin"), corpusFile("mtef5-integrals.bin"),
                                            corpusFile("mtef5-equation1.bin")};
  std::vector<Placed> placed;
  for (int i = 0; i < 90; ++i) placed.push_back({sources[i % 3], "Equation.DSMT4", Story::Body, Layout::Inline});
  const docx::DocxResult result = docx::convertDocx(zipParts(equationParts(placed)), equation3());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 90);
  const Parts out = unzipParts(result.package);
  for (int i = 0; i < 90; ++i) {
    const std::string name = "word/embeddings/oleObject" + std::to_string(i + 1) + ".bin";
    ASSERT_NE(findPart(out, name), nullptr) << name;
    EXPECT_EQ(*findPart(out, name),
              conversion::convertEmbedding(sources[i % 3], "Equation.DSMT4", equation3()).equation3File)
        << name;
  }
}

TEST_F(DocxStage, ObjectsInTextBoxesAreConvertedAndTheBoxKept) {
  Parts parts = equationParts({{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Display}});
  for (auto& [name, bytes] : parts) {
    if (name != "word/document.xml") continue;
    // The display paragraph moves into a VML text box in a paragraph of the body.
    const std::size_t begin = bytes.find("<w:p><w:pPr><w:jc");
    const std::size_t end = bytes.find("</w:p>", begin) + 6;
    const std::string inner = bytes.substr(begin, end - begin);
    bytes.replace(begin, end - begin,
                  "<w:p><w:r><w:t>Box:</w:t></w:r><w:r><w:pict><v:shape id=\"box\"><v:textbox><w:txbxContent>" +
                      inner + "</w:txbxContent></v:textbox></v:shape></w:pict></w:r></w:p>");
  }
  const docx::DocxResult result = docx::convertDocx(zipParts(parts), officeMath());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 1);
  const auto unpacked = unzipParts(result.package);
  const std::string& body = *findPart(unpacked, "word/document.xml");
  EXPECT_NE(body.find("<w:pict><v:shape id=\"box\"><v:textbox><w:txbxContent><w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr>"
                      "<m:oMathPara><m:oMath><m:f>"),
            std::string::npos)
      << body;
  EXPECT_EQ(count(body, "o:OLEObject"), 0u);
}

// An equation in hidden text stays hidden: each of its math runs carries the run's w:vanish.
TEST_F(DocxStage, HiddenEquationsStayHidden) {
  struct Case {
    const char* properties;
    bool hidden;
  };
  for (const Case& c : {Case{"", false}, Case{"<w:rPr><w:vanish/></w:rPr>", true},
                        Case{"<w:rPr><w:b/><w:vanish w:val=\"true\"/></w:rPr>", true},
                        Case{"<w:rPr><w:vanish w:val=\"0\"/></w:rPr>", false}}) {
    SCOPED_TRACE(c.properties);
    Parts parts = equationParts({{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Inline}});
    for (auto& [name, bytes] : parts)
      if (name == "word/document.xml") bytes.replace(bytes.find("<w:r><w:object"), 5, std::string("<w:r>") + c.properties);
    const docx::DocxResult result = docx::convertDocx(zipParts(parts), officeMath());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.converted, 1);
    const Parts unpacked = unzipParts(result.package);
    const std::string& body = *findPart(unpacked, "word/document.xml");
    const std::string math = body.substr(body.find("<m:oMath>"), body.find("</m:oMath>") - body.find("<m:oMath>"));
    EXPECT_GT(count(math, "</w:rPr>"), 2u);
    EXPECT_EQ(count(math, "<w:vanish/></w:rPr>"), c.hidden ? count(math, "</w:rPr>") : 0u) << math;
  }
}

// A relationship's target is a path from the story's folder, or from the package's root
// with a leading slash; "." and ".." steps are resolved (".." above the root stays there).
// It is a URI: its %XX escapes stand for the bytes of the part's name (a zip that holds the
// escapes themselves is read too), and so are those of a content type's part name.
TEST_F(DocxStage, RelationshipTargetsAreResolvedAsPaths) {
  struct Case {
    const char* target;
    const char* part;
  };
  const char* plainPart = "word/embeddings/oleObject1.bin";
  for (const Case& c : {Case{"embeddings/oleObject1.bin", plainPart},
                        Case{"./embeddings/../embeddings/oleObject1.bin", plainPart},
                        Case{"/word/embeddings/oleObject1.bin", plainPart},
                        Case{"..//word/./embeddings//oleObject1.bin", plainPart},
                        Case{"../../../word/embeddings/oleObject1.bin", plainPart},
                        Case{"embeddings/ole%20Object%C3%B6.bin", "word/embeddings/ole Object\xC3\xB6.bin"},
                        Case{"embeddings/ole%20x.bin", "word/embeddings/ole%20x.bin"}}) {
    SCOPED_TRACE(c.target);
    Parts parts = equationParts({{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Inline}});
    const std::string override = std::string("<Override PartName=\"/word/embeddings/") +
                                 (std::strchr(c.target, '/') + 1) + "\" ContentType=\"application/x-ole\"/>";
    for (auto& [name, bytes] : parts) {
      const std::string plain = "Target=\"embeddings/oleObject1.bin\"";
      if (name == "word/_rels/document.xml.rels")
        bytes.replace(bytes.find(plain), plain.size(), std::string("Target=\"") + c.target + "\"");
      if (name == plainPart) name = c.part;
      if (name == "[Content_Types].xml") bytes.insert(bytes.find("</Types>"), override);
    }
    const docx::DocxResult result = docx::convertDocx(zipParts(parts), officeMath());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.converted, 1);
    const Parts unpacked = unzipParts(result.package);
    EXPECT_EQ(findPart(unpacked, c.part), nullptr);
    if (std::strchr(c.target, '%') && std::string(c.part).find('%') == std::string::npos)
      EXPECT_EQ(findPart(unpacked, "[Content_Types].xml")->find(override), std::string::npos);
  }
}

// A story is rewritten as it streams by: text around, between and inside the equations'
// paragraphs (far more than the reader holds at once) changes nothing else of the result.
TEST_F(DocxStage, LongStoriesConvertAsShortOnes) {
  const Parts parts = equationParts(everyStory());
  const std::string padding = "<w:p><w:r><w:t>" + std::string(300000, 'x') + "</w:t></w:r></w:p>";
  const std::string bookmark = "<w:bookmarkStart w:id=\"0\" w:name=\"" + std::string(200000, 'b') + "\"/>";
  Parts padded = parts;
  for (auto& [name, bytes] : padded) {
    if (name != "word/document.xml") continue;
    for (std::size_t at = bytes.find("</w:p>"); at != std::string::npos; at = bytes.find("</w:p>", at + padding.size() + 6))
      bytes.insert(at + 6, padding);
    bytes.insert(bytes.find("<w:r>"), bookmark);
  }
  const docx::DocxResult plain = docx::convertDocx(zipParts(parts), officeMath());
  const docx::DocxResult longer = docx::convertDocx(zipParts(padded), officeMath());
  ASSERT_TRUE(plain.ok && longer.ok) << plain.error << longer.error;
  EXPECT_EQ(longer.converted, plain.converted);
  std::string body = *findPart(unzipParts(longer.package), "word/document.xml");
  for (std::size_t at; (at = body.find(padding)) != std::string::npos;) body.erase(at, padding.size());
  body.erase(body.find(bookmark), bookmark.size());
  EXPECT_EQ(body, *findPart(unzipParts(plain.package), "word/document.xml"));
}

TEST_F(DocxStage, PackageWithoutEquationsComesOutIdentical) {
  Parts parts = equationParts({});
  const std::string package = zipParts(parts);
  const docx::DocxResult result = docx::convertDocx(package, officeMath());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 0);
  EXPECT_EQ(result.package, package);
}

// Objects that cannot be converted stay exactly as they were, with their parts, and are
// reported by part and object id.
TEST_F(DocxStage, UnconvertibleObjectsAreKeptAndReported) {
  struct Case {
    const char* what;
    std::string embedding;
    std::string progId;
    std::function<void(Parts&)> damage;
    bool reported;
    const char* reason;
  };
  const std::string good = corpusFile("mtef3-frac.bin");
  const auto replacePart = [](Parts& p, const std::string& name, const std::string& bytes) {
    for (auto& e : p)
      if (e.first == name) e.second = bytes;
  };
  const std::vector<Case> cases = {
      {"damaged embedding", std::string("\xD0\xCF\x11\xE0") + " not a compound file", "Equation.DSMT4",
       nullptr, true, "Equation Native"},
      {"unreadable equation", buildEquation3CompoundFile(std::string(40, '\x07')), "Equation.DSMT4",
       nullptr, true, ""},
      {"missing embedding part", good, "Equation.DSMT4",
       [](Parts& p) {
         std::erase_if(p, [](const auto& e) { return e.first == "word/embeddings/oleObject1.bin"; });
       },
       true, "missing"},
      {"missing relationship", good, "Equation.DSMT4",
       [&](Parts& p) {
         replacePart(p, "word/_rels/document.xml.rels",
                     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>");
       },
       true, "relationship"},
      {"relationship leaving the package", good, "Equation.DSMT4",
       [&](Parts& p) {
         replacePart(p, "word/_rels/document.xml.rels",
                     "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                     "<Relationship Id=\"rIdOle1\" Type=\"x/oleObject\" Target=\"../../../../etc/passwd\"/>"
                     "</Relationships>");
       },
       true, "missing"},
      {"other class", std::string(600, 'x'), "Excel.Sheet.12", nullptr, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parts parts = equationParts({{c.embedding, c.progId, Story::Body, Layout::Inline}});
    if (c.damage) c.damage(parts);
    const std::string package = zipParts(parts);
    const docx::DocxResult result = docx::convertDocx(package, officeMath());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.converted, 0);
    ASSERT_EQ(result.unconverted.size(), c.reported ? 1u : 0u);
    if (c.reported) {
      EXPECT_EQ(result.unconverted[0].part, "/word/document.xml");
      EXPECT_EQ(result.unconverted[0].objectId, "_100000001");
      EXPECT_NE(result.unconverted[0].reason.find(c.reason), std::string::npos) << result.unconverted[0].reason;
    }
    EXPECT_EQ(result.package, package);
  }
}

// An embedding whose zip data is damaged is kept, with what is wrong; its data is only
// taken when its local header agrees with its directory record and it inflates to its
// declared size and CRC.
TEST_F(DocxStage, EmbeddingsWithDamagedZipDataAreKept) {
  const std::string name = "word/embeddings/oleObject1.bin";
  const std::string package =
      zipParts(equationParts({{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Inline}}));
  const std::size_t none = std::string::npos;
  std::size_t header = none, record = none;
  for (std::size_t at = package.find("PK\x03\x04"); at != none; at = package.find("PK\x03\x04", at + 4))
    if (package.compare(at + 30, name.size(), name) == 0) header = at;
  for (std::size_t at = package.find("PK\x01\x02"); at != none; at = package.find("PK\x01\x02", at + 4))
    if (package.compare(at + 46, name.size(), name) == 0) record = at;
  ASSERT_NE(header, none);
  ASSERT_NE(record, none);
  const std::size_t data = header + 30 + name.size() + static_cast<unsigned char>(package[header + 28]);
  const auto changed = [&](std::initializer_list<std::size_t> offsets, char mask) {
    std::string p = package;
    for (std::size_t at : offsets) p[at] = static_cast<char>(p[at] ^ mask);
    return p;
  };
  struct Case {
    const char* what;
    std::string package;
    const char* reason;  // nullptr: converted
  };
  const std::vector<Case> cases = {
      {"sound", package, nullptr},
      {"CRC changed in both headers", changed({header + 14, record + 16}, 0x55), "CRC"},
      {"compressed data changed", changed({data + 7, data + 8, data + 9}, 0x5A), "damaged"},
      {"local header of another size", changed({header + 22}, 0x01), "cannot be opened"},
      {"local header of another method", changed({header + 8}, 0x08), "cannot be opened"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const docx::DocxResult result = docx::convertDocx(c.package, officeMath());
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.converted, c.reason ? 0 : 1);
    ASSERT_EQ(result.unconverted.size(), c.reason ? 1u : 0u);
    if (c.reason) {
      EXPECT_NE(result.unconverted[0].reason.find(c.reason), std::string::npos) << result.unconverted[0].reason;
      EXPECT_EQ(result.package, c.package);
    }
  }
}

// Damaged and hostile packages: a clear error or a kept object, never a crash or a hang.
TEST_F(DocxStage, HostilePackages) {
  const std::string good = corpusFile("mtef3-frac.bin");
  const Parts base = equationParts({{good, "Equation.DSMT4", Story::Body, Layout::Inline}});
  auto with = [&](const std::string& name, const std::string& bytes) {
    Parts p = base;
    bool found = false;
    for (auto& e : p)
      if (e.first == name) {
        e.second = bytes;
        found = true;
      }
    if (!found) p.emplace_back(name, bytes);
    return zipParts(p);
  };
  auto without = [&](const std::string& name) {
    Parts p = base;
    std::erase_if(p, [&](const auto& e) { return e.first == name; });
    return zipParts(p);
  };
  std::string deep = "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">";
  for (int i = 0; i < 200000; ++i) deep += "<w:p>";
  const std::string laughs =
      "<?xml version=\"1.0\"?><!DOCTYPE w:document [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
      "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>&b;</w:t></w:r></w:p></w:body></w:document>";
  // A declared size far beyond what the data could hold.
  std::string bomb = zipParts(base);
  for (std::size_t at = bomb.find("PK\x01\x02"); at != std::string::npos; at = bomb.find("PK\x01\x02", at + 4))
    if (bomb.compare(at + 46, 17, "word/document.xml") == 0) {
      bomb[at + 24] = '\xf0';
      bomb[at + 25] = bomb[at + 26] = bomb[at + 27] = '\xff';
    }
  Parts doubled = base;
  doubled.emplace_back("word/DOCUMENT.xml", "<x/>");
  // The CRC of word/document.xml, changed alike in its local header and its directory
  // record; and a directory record whose signature is broken.
  std::string badCrc = zipParts(base), badRecord = zipParts(base);
  for (const char* signature : {"PK\x03\x04", "PK\x01\x02"})
    for (std::size_t at = badCrc.find(signature); at != std::string::npos; at = badCrc.find(signature, at + 4)) {
      const std::size_t name = at + (signature[2] == 3 ? 30 : 46), crc = at + (signature[2] == 3 ? 14 : 16);
      if (badCrc.compare(name, 17, "word/document.xml") == 0) badCrc[crc] = static_cast<char>(badCrc[crc] ^ 0x55);
    }
  badRecord[badRecord.find("PK\x01\x02", badRecord.find("PK\x01\x02") + 4) + 3] = '\x07';

  struct Case {
    const char* what;
    std::string package;
    const char* error;  // expected in the error; nullptr: converts with the object kept
  };
  const std::vector<Case> cases = {
      {"not a zip", "PK\x03\x04 but nothing else", "not a zip"},
      {"no content types", without("[Content_Types].xml"), "[Content_Types].xml"},
      {"no main part", without("word/document.xml"), "missing"},
      {"no package relationships", without("_rels/.rels"), "main document"},
      {"main part of another type", with("[Content_Types].xml", "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>"), "type"},
      {"two parts of one name", zipParts(doubled), "twice"},
      {"size claim", bomb, "claims"},
      {"broken relationships", with("word/_rels/document.xml.rels", "<Relationships"), "document.xml.rels"},
      {"deep nesting", with("word/document.xml", deep), nullptr},
      {"entity declarations", with("word/document.xml", laughs), nullptr},
      {"broken after an equation", with("word/document.xml", findPart(base, "word/document.xml")->substr(0, 2500) + "<w:p></w:r>"), nullptr},
      {"truncated", zipParts(base).substr(0, 900), "zip"},
      {"wrong CRC", badCrc, "CRC"},
      {"broken directory record", badRecord, "cannot be read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const docx::DocxResult result = docx::convertDocx(c.package, officeMath());
    if (c.error) {
      EXPECT_FALSE(result.ok);
      EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    } else {
      ASSERT_TRUE(result.ok) << result.error;
      EXPECT_EQ(result.converted, 0);
      ASSERT_EQ(result.unconverted.size(), 1u);
      EXPECT_EQ(result.unconverted[0].part, "/word/document.xml");
      EXPECT_EQ(result.package, c.package);
    }
  }
}

// A part compressed with a method the reader cannot inflate (here LZMA, 14, in name) is
// copied as it is when nothing in it changes.
TEST_F(DocxStage, PartsOfOtherCompressionMethodsAreCopied) {
  const Parts parts = equationParts({{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Inline}});
  const std::string styles = *findPart(parts, "word/styles.xml");
  std::string package = zipParts(parts, true);
  const auto methodOf = [](std::string& zip, const char* signature, std::size_t nameAt, std::size_t methodAt) -> char* {
    for (std::size_t at = zip.find(signature); at != std::string::npos; at = zip.find(signature, at + 4))
      if (zip.compare(at + nameAt, 15, "word/styles.xml") == 0) return &zip[at + methodAt];
    return nullptr;
  };
  for (auto [signature, nameAt, methodAt] : {std::tuple{"PK", 30, 8}, std::tuple{"PK", 46, 10}})
    *methodOf(package, signature, nameAt, methodAt) = 14;
  const docx::DocxResult result = docx::convertDocx(package, officeMath());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 1);
  std::string out = result.package;
  const char* method = methodOf(out, "PK", 30, 8);
  ASSERT_NE(method, nullptr);
  EXPECT_EQ(*method, 14);
  const std::size_t header = static_cast<std::size_t>(method - out.data()) - 8;
  const auto le16 = [&](std::size_t at) { return static_cast<unsigned char>(out[at]) | static_cast<unsigned char>(out[at + 1]) << 8; };
  EXPECT_EQ(out.substr(header + 30 + le16(header + 26) + le16(header + 28), styles.size()), styles);
}

// More entries than the classic directory counts, and an embedding named by its
// relationship in another case: the embedding is found, converted and dropped, every
// other part is copied, and the new package carries its count in zip64 records.
TEST_F(DocxStage, ManyPartsAndTargetsInAnotherCase) {
  Parts parts = equationParts({{corpusFile("mtef3-frac.bin"), "Equation.DSMT4", Story::Body, Layout::Inline}});
  for (auto& [name, bytes] : parts)
    if (name == "word/_rels/document.xml.rels")
      bytes.replace(bytes.find("embeddings/oleObject1.bin"), 25, "Embeddings/OLEOBJECT1.BIN");
  constexpr int kExtra = 70000;
  for (int i = 0; i < kExtra; ++i) parts.emplace_back("custom/item" + std::to_string(i) + ".xml", "<i/>");
  const docx::DocxResult result = docx::convertDocx(zipParts(parts, true), officeMath());
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 1);
  const Parts out = unzipParts(result.package);
  EXPECT_EQ(out.size(), parts.size() - 2);  // the embedding and its preview go
  EXPECT_EQ(findPart(out, "word/embeddings/oleObject1.bin"), nullptr);
  EXPECT_EQ(count(*findPart(out, "word/document.xml"), "<m:oMath>"), 1u);
  EXPECT_EQ(*findPart(out, "custom/item69999.xml"), "<i/>");
  EXPECT_NE(result.package.find("PK\x06\x06"), std::string::npos);
}

}  // namespace

// Compressing a part in the background gives the bytes, sizes and CRC of compressing it
// in place, whatever the pieces it is written in; a sink that fails part way makes the
// compression fail, never hang.
TEST(Deflating, InBackgroundAsInPlace) {
  std::string data;
  for (std::size_t i = 0; data.size() < 900 * 1024; ++i) data += "<w:t>" + std::to_string(i * 7919 % 100003) + "</w:t>";
  for (const std::size_t piece : {std::size_t{1000}, std::size_t{256 * 1024}, std::size_t{300 * 1024}}) {
    std::string packed[2];
    std::uint32_t crc[2];
    for (int background = 0; background < 2; ++background) {
      docx::Deflater d([&](std::string_view bytes) { return packed[background].append(bytes), true; }, background == 1);
      for (std::size_t at = 0; at < data.size(); at += piece)
        ASSERT_TRUE(d.write(std::string_view(data).substr(at, piece)));
      ASSERT_TRUE(d.finish());
      EXPECT_EQ(d.size(), data.size());
      EXPECT_EQ(d.compressedSize(), packed[background].size());
      crc[background] = d.crc();
    }
    EXPECT_EQ(packed[0], packed[1]) << piece;
    EXPECT_EQ(crc[0], crc[1]);
    EXPECT_EQ(crc[1], static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()))));
  }
  for (int background = 0; background < 2; ++background) {
    std::size_t taken = 0;
    docx::Deflater d([&](std::string_view bytes) { return (taken += bytes.size()) < 2000; }, background == 1);
    bool ok = true;
    for (std::size_t at = 0; ok && at < data.size(); at += 4096) ok = d.write(std::string_view(data).substr(at, 4096));
    EXPECT_FALSE(ok && d.finish()) << background;
    EXPECT_FALSE(d.write("more"));
  }
}
