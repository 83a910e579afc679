// One equation object in, its replacement out: the object's native data is opened down to
// its "Equation Native" stream, read once into an equation tree, and written for the
// output the settings ask for.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "conversion/equation_record.h"
#include "equation/tree.h"
#include "ole/compound_file.h"
#include "writers/office_math_rtf.h"
#include "writers/office_math_xml.h"

namespace conversion {

struct EquationSettings {
  std::uint32_t eqVersion = 1;  // 1 Office Math, 0 Equation 3.0 objects
  bool euclid = false;
  bool uniPrime = true;
  bool keepRecords = false;  // the document passes collect a record per equation object
  bool keepTrees = false;    // hand back each equation's tree in its outcome (extraction)
};

struct ObjectOutcome {
  bool isEquation = false;   // the object's class is one this run converts
  std::string replacement;   // empty: the object stays as it was
  std::string reason;        // why it stayed, for an equation object
  std::string className;     // the class stored in the object
  bool equationClass = false;  // the class is an equation class, converted or not
  EquationInfo info;
};

// What the conversions of one run keep from one equation to the next: the reader's and
// the Office Math writer's working memory and the buffers an object passes through, so
// that once they have grown an equation allocates little. One per run (thread); the
// document passes own theirs.
struct EquationScratch {
  equation::ReadScratch read;
  writers::OfficeMathScratch officeMath;
  writers::OfficeMathXmlScratch officeMathXml;  // OMML made of the Office Math text
  std::string objectBytes;  // an object's data, decoded from its hex text
  CompoundScratch compound; // the compound file's tables, and a stream gathered from its sectors
  std::string stream;       // an "Equation Native" stream taken out of an OLE1 wrapper
  std::string mtef;         // an Equation 3.0 object's new "Equation Native" stream
  std::string text;         // given back by the caller after the replacement is used
};

// Equation classes, whether or not a run converts them ("Equation...", "Msxml2.SAXXMLReader...").
bool looksLikeEquationClass(std::string_view className);
// An Equation 3.0 object (class Equation.2 or Equation.3) when the output is Equation 3.0:
// it stays as it is.
bool keptAsEquation3(std::string_view className, const EquationSettings& settings);

// An "Equation Native" stream read into an equation tree and written for the output the
// settings ask for: the MTEF 3 stream of an Equation 3.0 object, or the Office Math \mmath
// group. Empty, with the reason, when the stream cannot be read or draws nothing. `info`
// gets the MTEF version and, when the settings ask for it, the tree.
std::string writeEquation(std::string_view stream, const EquationSettings& settings,
                          const std::string& greekFontRef, std::string& reason,
                          EquationInfo* info = nullptr);
// What the records say of an equation that is kept as it is (an Equation 3.0 object when
// the output is Equation 3.0): its MTEF version and, when trees are kept, its tree. Nothing
// when the stream cannot be read.
void describeEquation(std::string_view stream, const EquationSettings& settings, EquationInfo& info,
                      EquationScratch& scratch);
// The same into `text` (emptied first) with the working memory of `scratch`; false when
// nothing was written.
bool writeEquation(std::string_view stream, const EquationSettings& settings,
                   const std::string& greekFontRef, std::string& reason, EquationInfo* info,
                   EquationScratch& scratch, std::string& text);

// Converts one OLE1 object record (bytes). For Office Math the replacement is the
// \mmath group; for Equation 3.0 the new object data as hex text. `greekFontRef` is the
// font reference written in front of Greek letters.
ObjectOutcome convertObject(std::string_view objectData, const EquationSettings& settings,
                            const std::string& greekFontRef);
// The same with the working memory of `scratch`; the replacement's buffer comes from
// scratch.text, where the caller may put it back once written.
ObjectOutcome convertObject(std::string_view objectData, const EquationSettings& settings,
                            const std::string& greekFontRef, EquationScratch& scratch);

}  // namespace conversion
