#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "ole/equation_object.h"
#include "rtf/document.h"
#include "support/convert.h"
#include "support/corpus.h"

namespace {

// Which classes are equations: Equation 3.0 objects only for Office Math output.
TEST(ObjectClass, EquationClasses) {
  const std::string native(40, 'x');
  const std::pair<const char*, int> cases[] = {  // class, converted for (bit 0 eqVersion 0, bit 1 eqVersion 1)
      {"Equation", 3}, {"Equation.DSMT4", 3}, {"Equation.3", 2}, {"Equation.2", 2},
      {"Msxml2.SAXXMLReader.5.0", 3}, {"Msxml2.SAXXMLReader", 3}, {"Paint.Picture", 0},
      {"Equation.DSMT5", 0}, {"Equations", 0}};
  for (const auto& [className, mask] : cases)
    for (std::uint32_t eqVersion : {0u, 1u})
      EXPECT_EQ(ClassifyObject(objectRecord(className, native), eqVersion).isEquation,
                ((mask >> eqVersion) & 1) != 0)
          << className << " " << eqVersion;
}

TEST(EquationObjects, UnconvertedObjectsAreWrittenBack) {
  const std::string records[] = {
      objectRecordHex("Paint.Picture", "abc"),
      objectRecordHex("Equation.DSMT4", "not a compound file"),
      objectRecordHex("Equation.DSMT4", "").substr(0, 70),  // truncated
      objectRecordHex("Equation.3", std::string(600, '\x7f')),
  };
  for (std::string hex : records) {
    // The data arrives in broken lines, of even or odd length, in either case and read in
    // chunks of any size; only the line breaks go, and an odd digit at the end stays.
    for (const bool upper : {false, true})
      for (const std::size_t line : {32u, 31u, 1u})
        for (const std::size_t chunk : {1u, 5u, 1u << 16}) {
          std::string digits = hex + (line == 31 ? "7" : "");
          if (upper)
            for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
          std::string broken;
          for (std::size_t i = 0; i < digits.size(); i += line) broken += digits.substr(i, line) + "\r\n";
          std::string doc = "{\\rtf1{\\object\\objemb{\\*\\objclass X}{\\*\\objdata\r\n" + broken +
                            "}{\\result{\\pict 00}}}}";
          EXPECT_EQ(convertDocument(doc, chunk),
                    "{\\rtf1 {\\object \\objemb {\\*\\objclass X}{\\*\\objdata " + digits +
                        "}{\\result {\\pict 00}}}}")
              << line << " " << chunk;
          EXPECT_EQ(lastPass().converted, 0);
        }
  }
}

// An equation's data converts alike however its lines are broken, its digits written and
// its input cut into chunks.
TEST(EquationObjects, DataFormDoesNotChangeTheConversion) {
  SKIP_WITHOUT_CORPUS();
  const std::string hex = objectRecordHex("Equation.DSMT4", loadCorpus().front().bytes);
  const auto document = [](const std::string& data) {
    return "{\\rtf1{\\object\\objemb{\\*\\objclass Equation.DSMT4}{\\*\\objdata " + data + "}{\\result x}}}";
  };
  const std::string reference = convertDocument(document(hex));
  ASSERT_EQ(lastPass().converted, 1);
  for (const std::size_t line : {128u, 33u, 1u})
    for (const bool upper : {false, true})
      for (const std::size_t chunk : {1u, 7u, 4096u}) {
        std::string broken;
        for (std::size_t i = 0; i < hex.size(); i += line) broken += hex.substr(i, line) + (i % 3 ? "\n" : "\r\n");
        if (upper)
          for (char& c : broken) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(convertDocument(document(broken), chunk), reference) << line << " " << upper << " " << chunk;
      }
}

}  // namespace

#include "support/mtef_builder.h"

namespace {

std::string objectDocument(const std::string& className, const std::string& native) {
  return "{\\rtf1 " + rtfObject(className, native) + "}";
}

TEST(EquationObjects, UnconvertedEquationsAreListedWithTheirReason) {
  using namespace mtef5;
  std::string deep;  // 100,000 fractions, each in the numerator of the one before
  for (int i = 0; i < 100000; ++i) deep += byte(3) + byte(0) + byte(11) + byte(0) + byte(0) + byte(1) + byte(0);
  struct Case {
    std::string className;
    std::string native;
    std::uint32_t eqVersion;
    std::string reason;  // empty: not listed
  } cases[] = {
      {"Equation.DSMT4", "not a compound file", 1, "no \"Equation Native\" stream"},
      {"Equation.DSMT4", mathTypeObject(equationNative(line({var('x'), byte(37)}))), 1, "unknown record type"},
      {"Equation.DSMT4", mathTypeObject(equationNative(line({deep}))), 1, "nested deeper"},
      {"Equation.DSMT4", mathTypeObject(equationNative(line({var('x')}))).substr(0, 600), 0, "no \"Equation Native\" stream"},
      {"Equation.DSMT4", "", 1, "too short"},
      {"Equation.3", mathTypeObject(equationNative(line({var('x')}))), 0, "stay as they are"},
      {"Equation.DSMT4", mathTypeObject(equationNative("")), 1, "nothing to translate"},
      {"Paint.Picture", "abc", 1, ""},
  };
  for (const Case& c : cases) {
    gSettings.eqVersion = c.eqVersion;
    const std::string doc = objectDocument(c.className, c.native);
    const std::string out = convertDocument(doc);
    const std::vector<UnconvertedObject> listed = lastPass().unconverted;
    // The object is written back as it came, but for the line breaks of its data.
    EXPECT_EQ(out, convertDocument(out)) << c.reason;
    EXPECT_NE(out.find("{\\*\\objdata " + objectRecordHex(c.className, c.native) + "}"), std::string::npos)
        << c.reason;
    EXPECT_EQ(lastPass().converted, 0) << c.reason;
    if (c.reason.empty()) {
      EXPECT_TRUE(listed.empty());
      continue;
    }
    ASSERT_EQ(listed.size(), 1u) << c.reason;
    EXPECT_EQ(listed[0].className, c.className);
    EXPECT_EQ(listed[0].inputOffset, doc.find("\\objdata") + 9) << c.reason;
    EXPECT_NE(listed[0].reason.find(c.reason), std::string::npos) << listed[0].reason;
  }
  gSettings = ConverterSettings{};
}

}  // namespace

namespace {

TEST(EquationObjects, KeptDataGroupIsCopiedToItsOwnEnd) {
  const std::string hex = objectRecordHex("Paint.Picture", "abc");
  const std::string nul(1, '\0');
  struct Case {
    std::string input;
    std::string expected;
  } cases[] = {
      // Markup inside the data: nested groups stay, and a line break that ends a control
      // word becomes its blank instead of vanishing.
      {"{\\object{\\*\\objdata 0105\\fnil\r\n0000{\\*\\proptype\\staticval\r\nabc}02}{\\result x}}",
       "{\\object {\\*\\objdata 0105\\fnil 0000{\\*\\proptype \\staticval abc}02}{\\result x}}"},
      // Binary data, braces and backslashes in it, is copied verbatim.
      {"{\\*\\objdata \\bin4 }{" + nul + "\\}x", "{\\*\\objdata \\bin4 }{" + nul + "\\}x"},
      // A zero byte in the hex text stays, the line break goes.
      {"{\\*\\objdata " + hex.substr(0, 20) + "\r\n" + nul + hex.substr(20) + "}x",
       "{\\*\\objdata " + hex.substr(0, 20) + nul + hex.substr(20) + "}x"},
      // The input ends inside the group: no brace is made up.
      {"{\\object{\\*\\objdata " + hex, "{\\object {\\*\\objdata " + hex},
      {"{\\*\\objdata \\bin9 ab", "{\\*\\objdata \\bin9 ab"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(convertDocument("{\\rtf1 " + c.input + "}"), "{\\rtf1 " + c.expected + "}") << c.input;
}

// After a replaced object only its \result group goes; other groups stay. (Object data
// given as \bin data, with a zero byte, or with blanks before the picture: the hostile
// documents.)
TEST(EquationObjects, OnlyTheResultGroupIsDropped) {
  using namespace mtef5;
  const std::string record = objectRecordHex("Equation.DSMT4", mathTypeObject(equationNative(line({var('x')}))));
  const std::string out =
      convertDocument("{\\rtf1{\\object{\\*\\objdata " + record + "}{\\*\\other a}{\\result{\\pict 00}}}}");
  EXPECT_NE(out.find("\\mmath"), std::string::npos);
  EXPECT_NE(out.find("}{\\*\\other a}{\\result {\\pict 00}}}}"), std::string::npos) << out;
}

}  // namespace
