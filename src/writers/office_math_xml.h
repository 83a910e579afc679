// OMML XML as Word writes it in a .docx story part (prefix m: for the math namespace, w:
// for the document namespace; the part declares both), from the Office Math writer's
// control-word text.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace writers {

// What translating keeps from one equation to the next: the elements of each nesting level
// with the text they hold, so that once grown they are not allocated again. One serves one
// thread.
class OfficeMathXmlScratch {
 public:
  OfficeMathXmlScratch();
  ~OfficeMathXmlScratch();
  OfficeMathXmlScratch(OfficeMathXmlScratch&&) noexcept;
  OfficeMathXmlScratch& operator=(OfficeMathXmlScratch&&) noexcept;

  struct State;
  State& state();

 private:
  std::unique_ptr<State> state_;
};

// <m:oMath>...</m:oMath>, inside <m:oMathPara> when `display`, from the text written by
// writeOfficeMathRtf (the {\mmath ...} group). Properties come in the schema's order, runs
// carry the math font, empty property values that mean "default" are left out. False, with
// `error`, when the text cannot be read; nesting deeper than `maxDepth` groups is refused.
bool officeMathXmlFromRtf(std::string_view officeMathRtf, bool display, std::string& xml, std::string& error,
                          std::size_t maxDepth = 1000);
// The same with the working memory of `scratch`.
bool officeMathXmlFromRtf(std::string_view officeMathRtf, bool display, std::string& xml, std::string& error,
                          OfficeMathXmlScratch& scratch, std::size_t maxDepth = 1000);
// The same; empty when the text cannot be read.
std::string officeMathXmlFromRtf(std::string_view officeMathRtf, bool display);

// Text escaped for XML character data and attribute values; characters XML 1.0 does not
// allow are left out.
void appendXmlEscaped(std::string& out, std::string_view utf8);

}  // namespace writers
