// The Office Math XML serialiser: OMML elements as Word writes them in a .docx story part
// (prefix m: for the math namespace, w: for the document namespace; the part declares both).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "writers/omml_tree.h"

namespace writers {

// The font Word gives math runs.
constexpr std::string_view kMathFont = "Cambria Math";

// <m:oMath>...</m:oMath>, inside <m:oMathPara> when `display`. Properties come in the
// schema's order, runs carry the math font, empty property values that mean "default"
// are left out.
std::string writeOfficeMathXml(const std::vector<omml::Element>& equation, bool display);

// The same, straight from the Office Math writer's control-word text. Empty when that
// text cannot be read.
std::string officeMathXmlFromRtf(std::string_view officeMathRtf, bool display);

// Text escaped for XML character data and attribute values; characters XML 1.0 does not
// allow are left out.
void appendXmlEscaped(std::string& out, std::string_view utf8);

}  // namespace writers
