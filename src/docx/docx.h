// The .docx stage: a WordprocessingML package (also .docm, .dotx, .dotm) in, the same
// package out with its equation objects converted. Every story part (the document,
// headers, footers, footnotes, endnotes, comments, and the text boxes inside them) is
// scanned for OLE objects of an equation class; parts without a change are copied as
// they were.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/equation_conversion.h"

namespace docx {

struct UnconvertedObject {
  std::string part;       // part name, "/word/document.xml"
  std::string objectId;   // the object's ObjectID (or its shape id)
  std::string className;
  std::string reason;
};

struct DocxResult {
  bool ok = false;
  std::string error;          // why the package could not be converted
  int converted = 0;
  std::vector<UnconvertedObject> unconverted;
  std::vector<conversion::EquationRecord> records;  // every equation object, story by story,
                                                    // when the settings keep records
  std::string package;        // the new package
};

// True when the bytes start like a zip archive (a package to try as .docx).
bool looksLikeZip(std::string_view bytes);

// Converts the package. A package that is not a Word document, or whose structure is
// damaged, gives ok false and the reason; an equation that cannot be converted stays as
// it was and is listed in `unconverted`.
DocxResult convertDocx(std::string_view package, const conversion::EquationSettings& settings);

}  // namespace docx
