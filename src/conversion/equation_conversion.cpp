#include "conversion/equation_conversion.h"

#include <atomic>
#include <new>

#include "equation/tree.h"
#include "ole/equation_object.h"
#include "writers/mtef3.h"
#include "writers/office_math_rtf.h"

namespace conversion {
namespace {

std::atomic<std::uint64_t> handled{0};
void (*equationHook)() = nullptr;

// The MTEF version byte follows the stream's 28-byte header.
constexpr std::size_t kMtefVersionAt = 28;

void translate(std::string_view native, NativeForm form, const EquationSettings& settings,
               const std::string& greekFontRef, std::string& reason, EquationInfo& info,
               EquationScratch& scratch, std::string& text) {
  std::string_view stream;
  if (!ReadEquationNativeView(native, form, scratch.compound, stream)) {
    reason = "no \"Equation Native\" stream could be read from the object";
    text.clear();
    return;
  }
  if (settings.eqVersion != 0) {
    writeEquation(stream, settings, greekFontRef, reason, &info, scratch, text);
    return;
  }
  text.clear();
  if (!writeEquation(stream, settings, greekFontRef, reason, &info, scratch, scratch.mtef)) return;
  if (!Equation3ObjectText(scratch.mtef, text)) reason = "the Equation 3.0 object could not be written";
}

}  // namespace

std::uint64_t equationsHandled() { return handled.load(std::memory_order_relaxed); }
void countEquationHandled() {
  handled.fetch_add(1, std::memory_order_relaxed);
  if (equationHook) equationHook();
}
void setEquationHook(void (*hook)()) { equationHook = hook; }

bool keptAsEquation3(std::string_view className, const EquationSettings& settings) {
  return settings.eqVersion != 1 && (className == "Equation.3" || className == "Equation.2");
}

bool looksLikeEquationClass(std::string_view className) {
  return className.substr(0, 8) == "Equation" || className.substr(0, 19) == "Msxml2.SAXXMLReader";
}

std::string writeEquation(std::string_view stream, const EquationSettings& settings,
                          const std::string& greekFontRef, std::string& reason,
                          EquationInfo* info) {
  EquationScratch scratch;
  std::string text;
  writeEquation(stream, settings, greekFontRef, reason, info, scratch, text);
  return text;
}

void describeEquation(std::string_view stream, const EquationSettings& settings, EquationInfo& info,
                      EquationScratch& scratch) {
  equation::ReadResult read = equation::readEquationNative(stream, scratch.read);
  if (read.failed) {
    scratch.read.recycle(read.equation);
    return;
  }
  info.mtefVersion = read.equation.version;
  if (settings.keepTrees) info.tree = std::make_shared<const equation::Equation>(std::move(read.equation));
  else scratch.read.recycle(read.equation);
}

bool writeEquation(std::string_view stream, const EquationSettings& settings,
                   const std::string& greekFontRef, std::string& reason, EquationInfo* info,
                   EquationScratch& scratch, std::string& text) {
  text.clear();
  equation::ReadResult read = equation::readEquationNative(stream, scratch.read);
  if (info && stream.size() > kMtefVersionAt)
    info->mtefVersion = static_cast<unsigned char>(stream[kMtefVersionAt]);
  if (read.failed) {
    reason = read.failure.reason;
    scratch.read.recycle(read.equation);
    return false;
  }
  if (info) info->mtefVersion = read.equation.version;
  if (info && settings.keepTrees)
    info->tree = std::make_shared<const equation::Equation>(std::move(read.equation));
  const equation::Equation& eq = info && info->tree ? *info->tree : read.equation;
  if (settings.eqVersion == 0) {
    writers::writeEquationNative(eq, writers::Mtef3Options{settings.euclid}, text);
  } else {
    writers::OfficeMathOptions options;
    options.euclid = settings.euclid;
    options.uniPrime = settings.uniPrime;
    options.greekFontRef = greekFontRef;
    writers::writeOfficeMathRtf(eq, options, scratch.officeMath, text);
  }
  scratch.read.recycle(read.equation);  // a tree kept for the caller has left it already
  if (text.empty()) reason = "the equation holds nothing to translate";
  return !text.empty();
}

ObjectOutcome convertObject(std::string_view objectData, const EquationSettings& settings,
                            const std::string& greekFontRef) {
  EquationScratch scratch;
  return convertObject(objectData, settings, greekFontRef, scratch);
}

ObjectOutcome convertObject(std::string_view objectData, const EquationSettings& settings,
                            const std::string& greekFontRef, EquationScratch& scratch) {
  ObjectOutcome outcome;
  outcome.replacement.swap(scratch.text);
  outcome.replacement.clear();
  const ObjectClass cls = ClassifyObject(objectData, settings.eqVersion);
  outcome.isEquation = cls.isEquation;
  outcome.className = ObjectClassName(objectData);
  outcome.equationClass = looksLikeEquationClass(outcome.className);
  if (cls.isEquation || outcome.equationClass) countEquationHandled();
  if (cls.isEquation) {
    // An equation too large for the memory at hand stays as it was, like any other
    // equation that cannot be translated.
    try {
      translate(objectData.substr(cls.nativeOffset), cls.form, settings, greekFontRef,
                outcome.reason, outcome.info, scratch, outcome.replacement);
    } catch (const std::bad_alloc&) {
      outcome.replacement.clear();
      outcome.reason = "not enough memory to translate the equation";
    }
    if (!outcome.replacement.empty()) return outcome;
    if (outcome.reason.empty()) outcome.reason = "the equation could not be translated";
  }
  if (!cls.isEquation && outcome.equationClass) {
    const bool equation3 = keptAsEquation3(outcome.className, settings);
    outcome.reason = equation3 ? "Equation 3.0 objects stay as they are when the output is Equation 3.0"
                               : "the object data is too short or its class is not an equation class";
    // A kept Equation 3.0 object is still read for the records.
    std::string_view stream;
    if (equation3 && settings.keepRecords)
      if (const ObjectClass readable = ClassifyObject(objectData, 1);
          readable.isEquation &&
          ReadEquationNativeView(objectData.substr(readable.nativeOffset), readable.form, scratch.compound, stream))
        describeEquation(stream, settings, outcome.info, scratch);
  }
  return outcome;
}

}  // namespace conversion
