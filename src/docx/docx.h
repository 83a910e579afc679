// The .docx stage: a WordprocessingML package (also .docm, .dotx, .dotm) in, the same
// package out with its equation objects converted. Every story part (the document,
// headers, footers, footnotes, endnotes, comments, and the text boxes inside them) is
// scanned for OLE objects of an equation class; parts without a change are copied as
// they were.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/equation_conversion.h"
#include "docx/package.h"

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
  bool changed = false;       // false: the new package is the input as it was
  std::string package;        // the new package (convertDocx only)
};

// A conversion in two steps, so that nothing is written for a package that cannot be
// converted: convert reads the package (from a file, or from bytes that must outlive the
// conversion) and converts its stories, keeping the changed parts in temporary storage;
// write then streams the new package to a sink. Neither package is held in memory.
class DocxConversion {
 public:
  explicit DocxConversion(const conversion::EquationSettings& settings);
  ~DocxConversion();
  DocxConversion(const DocxConversion&) = delete;
  DocxConversion& operator=(const DocxConversion&) = delete;

  bool convertFile(const std::string& path);
  bool convertBytes(std::string_view bytes);
  const DocxResult& result() const { return result_; }
  bool write(const Sink& sink, std::string& error);

  struct State;

 private:
  bool convert();
  conversion::EquationSettings settings_;
  DocxResult result_;
  std::unique_ptr<State> state_;
};

// True when the bytes start like a zip archive (a package to try as .docx).
bool looksLikeZip(std::string_view bytes);

// Converts the package in memory, the new one in `package`. A package that is not a Word document, or whose structure is
// damaged, gives ok false and the reason; an equation that cannot be converted stays as
// it was and is listed in `unconverted`.
DocxResult convertDocx(std::string_view package, const conversion::EquationSettings& settings);

}  // namespace docx
