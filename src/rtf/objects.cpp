#include "rtf/objects.h"

#include "platform/hex.h"

namespace {

// The text of the object's \objclass while it is still in the output buffer; false when
// the object has none or it has been written out.
bool declaredClass(DocumentPass& pass, std::string_view& name) {
  const DocumentPass::ClassName& c = pass.className;
  if (!c.known || c.drains != pass.output.drains || c.at + c.size > pass.output.buffer.size()) return false;
  name = pass.output.buffer.view().substr(c.at, c.size);
  return true;
}

}  // namespace

bool ReplaceObjectData(DocumentPass& pass, ObjectData& data) {
  if (pass.greekFontRef.empty()) pass.greekFontRef = pass.greekFontRefDefault;
  // A document that names no Greek font (one written by another program than Word) gets
  // its Greek letters as Unicode escapes rather than references to a font it lacks.
  const std::string noFont;
  conversion::EquationScratch& scratch = pass.scratch;
  if (!data.decoded) platform::decodeHex(data.hex, scratch.objectBytes);
  const std::string_view bytes = data.decoded ? data.bytes.view() : std::string_view(scratch.objectBytes);
  conversion::ObjectOutcome outcome = conversion::convertObject(
      bytes, pass.equations, pass.greekFontNamed ? pass.greekFontRef : noFont, scratch);
  // Data too short to name its class: the object's \objclass names it, so that an equation
  // object whose data was cut off is reported as one left as it was.
  std::string_view declared;
  if (!outcome.isEquation && !outcome.equationClass && outcome.className.empty() && declaredClass(pass, declared)) {
    if (conversion::looksLikeEquationClass(declared)) {
      outcome.className = std::string(declared);
      outcome.equationClass = true;
      outcome.reason = bytes.empty() ? "the object has no data" : "the object data is too short to name its class";
    }
  }
  if (pass.equations.keepRecords && (outcome.isEquation || outcome.equationClass)) {
    conversion::EquationRecord record;
    record.story = pass.story;
    record.offset = pass.objectStart != kNoObjectStart ? pass.objectStart : data.inputOffset;
    record.className = outcome.className;
    record.converted = !outcome.replacement.empty();
    if (!record.converted) record.reason = outcome.reason;
    record.info = std::move(outcome.info);
    if (pass.displayCandidate >= 0) pass.textAfter += '\x01';  // a second object: no display
    else if (!pass.paragraphText) pass.displayCandidate = static_cast<int>(pass.records.size());
    pass.records.push_back(std::move(record));
  }
  pass.objectStart = kNoObjectStart;
  if (outcome.replacement.empty()) {
    if (outcome.equationClass)
      pass.unconverted.push_back({data.inputOffset, outcome.className, outcome.reason});
    WriteOutput(pass.output, "\\objdata ");
    WriteOutput(pass.output, data.written());
    if (data.closed) WriteOutputByte(pass.output, '}');
    return false;
  }
  const bool officeMath = pass.equations.eqVersion != 0;
  if (!officeMath) {
    // The object is an Equation 3.0 object now: readers choose their importer by its
    // class, so the class name written before the data is corrected while it is still in
    // the output buffer.
    std::string_view name;
    if (declaredClass(pass, name)) pass.output.buffer.replace(pass.className.at, pass.className.size, "Equation.3");
    pass.className.known = false;
    WriteOutput(pass.output, "\\objdata ");
  }
  WriteOutput(pass.output, outcome.replacement);
  scratch.text.swap(outcome.replacement);  // its buffer serves the next equation
  ++pass.converted;
  if (data.closed) WriteOutputByte(pass.output, '}');
  return officeMath && data.closed;
}
