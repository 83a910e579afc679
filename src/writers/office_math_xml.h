// OMML XML as Word writes it in a .docx story part (prefix m: for the math namespace, w:
// for the document namespace; the part declares both), from the Office Math writer's
// control-word text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace writers {

// <m:oMath>...</m:oMath>, inside <m:oMathPara> when `display`, from the text written by
// writeOfficeMathRtf (the {\mmath ...} group). Properties come in the schema's order, runs
// carry the math font, empty property values that mean "default" are left out. False, with
// `error`, when the text cannot be read; nesting deeper than `maxDepth` groups is refused.
bool officeMathXmlFromRtf(std::string_view officeMathRtf, bool display, std::string& xml, std::string& error,
                          std::size_t maxDepth = 1000);
// The same; empty when the text cannot be read.
std::string officeMathXmlFromRtf(std::string_view officeMathRtf, bool display);

// Text escaped for XML character data and attribute values; characters XML 1.0 does not
// allow are left out.
void appendXmlEscaped(std::string& out, std::string_view utf8);

}  // namespace writers
