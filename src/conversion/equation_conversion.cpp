#include "conversion/equation_conversion.h"

#include <new>

#include "equation/tree.h"
#include "ole/equation_object.h"
#include "writers/mtef3.h"
#include "writers/office_math_rtf.h"

namespace conversion {
namespace {

// Equation classes, whether or not this run converts them.
bool looksLikeEquation(const std::string& className) {
  return className.rfind("Equation", 0) == 0 || className.rfind("Msxml2.SAXXMLReader", 0) == 0;
}

std::string translate(std::string_view native, NativeForm form, const EquationSettings& settings,
                      const std::string& greekFontRef, std::string& reason) {
  std::string stream;
  if (!ReadEquationNative(native, form, stream)) {
    reason = "no \"Equation Native\" stream could be read from the object";
    return {};
  }
  const equation::ReadResult read = equation::readEquationNative(stream);
  if (read.failed) {
    reason = read.failure.reason;
    return {};
  }
  std::string text;
  if (settings.eqVersion == 0) {
    const std::string native3 =
        writers::writeEquationNative(read.equation, writers::Mtef3Options{settings.euclid});
    if (native3.empty()) {
      reason = "the equation holds nothing to translate";
      return {};
    }
    text = Equation3ObjectText(native3);
    if (text.empty()) reason = "the Equation 3.0 object could not be written";
    return text;
  }
  writers::OfficeMathOptions options;
  options.euclid = settings.euclid;
  options.uniPrime = settings.uniPrime;
  options.greekFontRef = greekFontRef;
  text = writers::writeOfficeMathRtf(read.equation, options);
  if (text.empty()) reason = "the equation holds nothing to translate";
  return text;
}

}  // namespace

ObjectOutcome convertObject(std::string_view objectData, const EquationSettings& settings,
                            const std::string& greekFontRef) {
  ObjectOutcome outcome;
  const ObjectClass cls = ClassifyObject(objectData, settings.eqVersion);
  outcome.isEquation = cls.isEquation;
  if (cls.isEquation) {
    // An equation too large for the memory at hand stays as it was, like any other
    // equation that cannot be translated.
    try {
      outcome.replacement = translate(objectData.substr(cls.nativeOffset), cls.form, settings,
                                      greekFontRef, outcome.reason);
    } catch (const std::bad_alloc&) {
      outcome.replacement.clear();
      outcome.reason = "not enough memory to translate the equation";
    }
    if (!outcome.replacement.empty()) return outcome;
    if (outcome.reason.empty()) outcome.reason = "the equation could not be translated";
  }
  outcome.className = ObjectClassName(objectData);
  outcome.equationClass = looksLikeEquation(outcome.className);
  if (!cls.isEquation && looksLikeEquation(outcome.className)) {
    outcome.reason = settings.eqVersion != 1 && (outcome.className == "Equation.3" ||
                                                 outcome.className == "Equation.2")
                         ? "Equation 3.0 objects stay as they are when the output is Equation 3.0"
                         : "the object data is too short or its class is not an equation class";
  }
  return outcome;
}

}  // namespace conversion
