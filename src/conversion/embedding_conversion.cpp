#include "conversion/embedding_conversion.h"

#include <cstdint>
#include <new>

#include "conversion/equation_conversion.h"
#include "ole/compound_file.h"
#include "ole/equation_object.h"
#include "writers/office_math_rtf.h"
#include "writers/office_math_xml.h"

namespace conversion {
namespace {

const std::uint8_t* bytes(std::string_view s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

std::uint32_t readU32(std::string_view s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

// A length-prefixed string of a CompObj stream at `at`; false when it does not fit.
bool compObjString(std::string_view s, std::size_t& at, std::string& out) {
  if (at + 4 > s.size()) return false;
  const std::uint32_t n = readU32(s, at);
  at += 4;
  if (n > s.size() - at) return false;
  out.assign(s.substr(at, n));
  at += n;
  while (!out.empty() && out.back() == '\0') out.pop_back();
  return true;
}

// The program id of a CompObj stream: after the 28-byte header come the user type, the
// clipboard format (a string, or a marker and a format number) and the program id.
std::string compObjProgramId(std::string_view s) {
  std::size_t at = 28;
  std::string userType, format, progId;
  if (!compObjString(s, at, userType) || at + 4 > s.size()) return {};
  const std::uint32_t marker = readU32(s, at);
  if (marker == 0xFFFFFFFFu || marker == 0xFFFFFFFEu) {
    at += 8;
  } else if (!compObjString(s, at, format)) {
    return {};
  }
  if (!compObjString(s, at, progId)) return {};
  return progId;
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The "Equation Native" stream of the embedding, where it stands in `file` or in the
// scratch, also through an OLE1 wrapper (then in `stream`).
bool equationStream(std::string_view file, std::string_view className, CompoundScratch& compound,
                    std::string& stream, std::string_view& view, std::string& reason) {
  if (readCompoundStreamView(bytes(file), file.size(), "Equation Native", compound, view)) return true;
  view = {};
  std::string native;
  if (readCompoundStream(bytes(file), file.size(), "\x01Ole10Native", native) && native.size() > 4) {
    const std::uint32_t size = readU32(native, 0);
    std::string_view payload = std::string_view(native).substr(4);
    if (size < payload.size()) payload = payload.substr(0, size);
    if (startsWith(payload, "\xD0\xCF\x11\xE0")) {
      if (ReadEquationNative(payload, NativeForm::CompoundFile, stream)) {
        view = stream;
        return true;
      }
    } else if (className == "Equation") {
      // Equation 1.0 native data is the bare MTEF; give it the stream header's room.
      stream.assign(28, '\0');
      stream.append(payload);
      view = stream;
      return true;
    }
  }
  reason = "no \"Equation Native\" stream could be read from the embedding";
  return false;
}

}  // namespace

std::string embeddingClassName(std::string_view file) {
  std::string compObj;
  if (readCompoundStream(bytes(file), file.size(), "\x01" "CompObj", compObj)) {
    std::string id = compObjProgramId(compObj);
    if (!id.empty()) return id;
  }
  std::vector<CompoundEntry> entries;
  if (!listCompoundRootEntries(bytes(file), file.size(), entries) || entries.empty()) return {};
  const std::string id = formatClassId(entries.front().classId);
  if (id == "{0002CE02-0000-0000-C000-000000000046}") return "Equation.3";
  if (id == "{0002CE03-0000-0000-C000-000000000046}") return "Equation.DSMT4";
  return {};
}

bool isConvertedClass(std::string_view name, const EquationSettings& settings) {
  if (name == "Equation" || startsWith(name, "Equation.DSMT") || startsWith(name, "Msxml2.SAXXMLReader"))
    return true;
  return (name == "Equation.2" || name == "Equation.3") && settings.eqVersion == 1;
}

EmbeddingOutcome convertEmbedding(std::string_view file, std::string_view progId,
                                  const EquationSettings& settings, EquationScratch* scratch) {
  EmbeddingOutcome outcome;
  outcome.className = std::string(progId);
  if (!isConvertedClass(progId, settings)) {
    const std::string own = embeddingClassName(file);
    if (!own.empty() && (progId.empty() || !looksLikeEquationClass(progId))) outcome.className = own;
  }
  outcome.isEquation = isConvertedClass(outcome.className, settings);
  if (outcome.isEquation || looksLikeEquationClass(outcome.className)) countEquationHandled();
  if (!outcome.isEquation) {
    const bool equation3 = keptAsEquation3(outcome.className, settings);
    if (looksLikeEquationClass(outcome.className))
      outcome.reason = equation3 ? "Equation 3.0 objects stay as they are when the output is Equation 3.0"
                                 : "the class is not an equation class this converter reads";
    // A kept Equation 3.0 object is still read for the records.
    if (equation3 && settings.keepRecords) {
      EquationScratch fresh;
      EquationScratch& work = scratch ? *scratch : fresh;
      std::string_view stream;
      std::string ignored;
      if (equationStream(file, outcome.className, work.compound, work.stream, stream, ignored))
        describeEquation(stream, settings, outcome.info, work);
    }
    return outcome;
  }
  try {
    EquationScratch fresh;
    EquationScratch& work = scratch ? *scratch : fresh;
    std::string_view stream;
    if (!equationStream(file, outcome.className, work.compound, work.stream, stream, outcome.reason)) return outcome;
    // Greek letters come out through the writer's default font reference, which the
    // Office Math reader turns back into the letters themselves.
    std::string& written = work.text;
    if (!writeEquation(stream, settings, writers::OfficeMathOptions{}.greekFontRef, outcome.reason, &outcome.info,
                       work, written))
      return outcome;
    if (settings.eqVersion == 0) {
      outcome.equation3File = buildEquation3CompoundFile(written);
      if (outcome.equation3File.empty()) {
        outcome.reason = "the Equation 3.0 object could not be written";
        return outcome;
      }
    } else {
      std::string error;
      if (!writers::officeMathXmlFromRtf(written, false, outcome.officeMathXml, error, work.officeMathXml)) {
        outcome.officeMathXml.clear();
        outcome.reason = error;
        return outcome;
      }
    }
    outcome.converted = true;
  } catch (const std::bad_alloc&) {
    outcome.officeMathXml.clear();
    outcome.equation3File.clear();
    outcome.reason = "not enough memory to translate the equation";
  }
  return outcome;
}

}  // namespace conversion
