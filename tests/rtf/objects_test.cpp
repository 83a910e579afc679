#include <gtest/gtest.h>

#include <string>

#include "ole/equation_object.h"
#include "rtf/document.h"
#include "settings/settings.h"
#include "support/convert.h"
#include "support/corpus.h"

namespace {

TEST(ObjectClass, ChoosesClassAndNativeOffset) {
  const std::string native(40, 'x');
  struct Case {
    std::string className;
    std::uint32_t eqVersion;
    bool isEquation;
    std::size_t offset;
    NativeForm form;
  } cases[] = {
      {"Equation", 1, true, 5, NativeForm::BareMtef},
      {"Equation.DSMT4", 1, true, 39, NativeForm::CompoundFile},
      {"Equation.DSMT4", 0, true, 39, NativeForm::CompoundFile},
      {"Equation.3", 1, true, 35, NativeForm::CompoundFile},
      {"Equation.3", 0, false, 0, NativeForm::CompoundFile},
      {"Equation.2", 1, true, 35, NativeForm::CompoundFile},
      {"Equation.2", 0, false, 0, NativeForm::CompoundFile},
      {"Msxml2.SAXXMLReader.5.0", 1, true, 12 + 23 + 13, NativeForm::CompoundFile},
      {"Msxml2.SAXXMLReader", 1, true, 12 + 19 + 13, NativeForm::CompoundFile},
      {"Paint.Picture", 1, false, 0, NativeForm::CompoundFile},
      {"Equation.DSMT5", 1, false, 0, NativeForm::CompoundFile},
      {"Equations", 1, false, 0, NativeForm::CompoundFile},
  };
  for (const Case& c : cases) {
    ObjectClass cls = ClassifyObject(objectRecord(c.className, native), c.eqVersion);
    EXPECT_EQ(cls.isEquation, c.isEquation) << c.className;
    EXPECT_EQ(cls.nativeOffset, c.offset) << c.className;
    EXPECT_EQ(cls.form, c.form) << c.className;
  }
}

TEST(ObjectClass, LengthConditions) {
  // "Equation" data of exactly 33 bytes is never an equation; 34 is.
  std::string eq = objectRecord("Equation", "");
  ASSERT_EQ(eq.size(), 33u);
  EXPECT_FALSE(ClassifyObject(eq, 1).isEquation);
  EXPECT_TRUE(ClassifyObject(eq + '\0', 1).isEquation);
  // A SAX class name without its zero byte is not converted.
  std::string sax = objectRecord("Msxml2.SAXXMLReader.6.0", std::string(40, 'x'));
  EXPECT_FALSE(ClassifyObject(sax.substr(0, 12 + 23), 1).isEquation);
  EXPECT_FALSE(ClassifyObject("", 1).isEquation);
}

TEST(EquationObjects, UnconvertedObjectsAreWrittenBack) {
  const std::string records[] = {
      objectRecordHex("Paint.Picture", "abc"),
      objectRecordHex("Equation.DSMT4", "not a compound file"),
      objectRecordHex("Equation.DSMT4", "").substr(0, 70),  // truncated
      objectRecordHex("Equation.3", std::string(600, '\x7f')),
  };
  for (const std::string& hex : records) {
    // The data arrives in broken lines; only the line breaks go.
    std::string broken;
    for (std::size_t i = 0; i < hex.size(); i += 32) broken += hex.substr(i, 32) + "\r\n";
    std::string doc = "{\\rtf1{\\object\\objemb{\\*\\objclass X}{\\*\\objdata\r\n" + broken +
                      "}{\\result{\\pict 00}}}}";
    EXPECT_EQ(convertDocument(doc),
              "{\\rtf1 {\\object \\objemb {\\*\\objclass X}{\\*\\objdata " + hex +
                  "}{\\result {\\pict 00}}}}");
    EXPECT_EQ(lastPass().converted, 0);
  }
}

TEST(EquationObjects, DataGroupWithoutClosingBrace) {
  std::string hex = objectRecordHex("Paint.Picture", "abc");
  EXPECT_EQ(convertDocument("{\\rtf1{\\object{\\*\\objdata " + hex),
            "{\\rtf1 {\\object {\\*\\objdata " + hex);
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
  const std::string hex = objectRecord("Paint.Picture", "abc");
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

TEST(EquationObjects, EquationDataInAnyFormConvertsAlike) {
  using namespace mtef5;
  const std::string record = objectRecordHex("Equation.DSMT4", mathTypeObject(equationNative(line({var('x')}))));
  std::string bytes;
  for (std::size_t i = 0; i + 1 < record.size(); i += 2)
    bytes += static_cast<char>(std::stoi(record.substr(i, 2), nullptr, 16));
  const std::string head = "{\\rtf1{\\object\\objemb{\\*\\objdata ";
  const std::string result = "{\\result{\\pict 00}}";
  const std::string reference = convertDocument(head + record + "}" + result + "}}");
  ASSERT_NE(reference.find("\\mmath"), std::string::npos);
  ASSERT_EQ(reference.find("\\pict"), std::string::npos);
  // The reference up to the data group's brace, without the object's and document's.
  const std::string replaced = reference.substr(0, reference.size() - 2);
  struct Case {
    std::string input;
    std::string expected;
  } cases[] = {
      {head + "\\bin" + std::to_string(bytes.size()) + " " + bytes + "}" + result + "}}", reference},
      {head + record.substr(0, 100) + std::string(1, '\0') + record.substr(100) + "}" + result + "}}",
       reference},
      // Blanks and line breaks before the picture do not keep it; the blanks stay.
      {head + record + "} \r\n\t" + result + "}}", replaced + "  }}"},
      // Only a \result group is dropped.
      {head + record + "}{\\*\\other a}" + result + "}}",
       replaced + "{\\*\\other a}{\\result {\\pict 00}}}}"},
  };
  for (const Case& c : cases) EXPECT_EQ(convertDocument(c.input), c.expected) << c.input.substr(head.size(), 40);
}

}  // namespace
