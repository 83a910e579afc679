// A validity check of Office Math in its RTF control-word form, as Word and other readers
// of OMML need it: groups well nested, every character of text inside a run, no run inside
// a run, and the children of each structure in the order of the OMML schema.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace omcheck {

// Groups whose text is a property value, not equation text.
inline bool isValueGroup(const std::string& word) {
  static const std::set<std::string> kValues = {
      "mchr", "mbegChr", "mendChr", "msepChr", "mtype", "mpos", "mvertJc", "mlimLoc", "mmcJc",
      "mcount", "mplcHide", "mhideTop", "mhideBot", "mhideLeft", "mhideRight", "mstrikeH",
      "mstrikeV", "mstrikeBLTR", "mstrikeTLBR", "mdegHide", "mopEmu", "msubHide", "msupHide",
      "fldinst"};
  return kValues.count(word) != 0;
}

// The order of the children of each structure; a child may be left out, none repeated
// out of order.
inline const std::vector<std::string>* childOrder(const std::string& word) {
  static const std::map<std::string, std::vector<std::string>> kOrder = {
      {"mf", {"mfPr", "mnum", "mden"}},
      {"mrad", {"mradPr", "mdeg", "me"}},
      {"mnary", {"mnaryPr", "msub", "msup", "me"}},
      {"msSub", {"msSubPr", "me", "msub"}},
      {"msSup", {"msSupPr", "me", "msup"}},
      {"msSubSup", {"msSubSupPr", "me", "msub", "msup"}},
      {"msPre", {"msPrePr", "msub", "msup", "me"}},
      {"mlimLow", {"mlimLowPr", "me", "mlim"}},
      {"mlimUpp", {"mlimUppPr", "me", "mlim"}},
      {"macc", {"maccPr", "me"}},
      {"mbar", {"mbarPr", "me"}},
      {"mgroupChr", {"mgroupChrPr", "me"}},
      {"mborderBox", {"mborderBoxPr", "me"}},
      {"mbox", {"mboxPr", "me"}},
      {"md", {"mdPr", "me"}},
      {"mm", {"mmPr", "mmr"}},
  };
  auto it = kOrder.find(word);
  return it == kOrder.end() ? nullptr : &it->second;
}

// The first problem found, or empty when the text is valid.
inline std::string problems(std::string_view rtf) {
  struct Group {
    std::string word;     // its first control word
    bool inRun = false;   // inside a run (this group or an enclosing one)
    bool inValue = false;
    std::size_t lastChild = 0;  // place in the child order of the last child seen
    bool wordSeen = false;
  };
  std::vector<Group> stack;
  auto text = [&](std::size_t at) -> std::string {
    if (stack.empty()) return "text outside every group at " + std::to_string(at);
    const Group& g = stack.back();
    if (!g.inRun && !g.inValue) return "text outside a run at " + std::to_string(at) + " in \\" + g.word;
    return {};
  };
  for (std::size_t i = 0; i < rtf.size();) {
    const char c = rtf[i];
    if (c == '{') {
      Group g;
      if (!stack.empty()) g.inRun = stack.back().inRun, g.inValue = stack.back().inValue;
      stack.push_back(g);
      ++i;
      continue;
    }
    if (c == '}') {
      if (stack.empty()) return "a group closes that never opened at " + std::to_string(i);
      stack.pop_back();
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') { ++i; continue; }
    if (c == '\\') {
      if (i + 1 < rtf.size() && !std::isalpha(static_cast<unsigned char>(rtf[i + 1]))) {
        // A control symbol: an escaped character or a hex escape is text; "\*" is not.
        const char s = rtf[i + 1];
        if (s == '\'' || s == '{' || s == '}' || s == '\\') {
          if (std::string e = text(i); !e.empty()) return e;
        }  // "\*" marks a destination: the word after it names the group
        i += s == '\'' ? 4 : 2;
        continue;
      }
      std::size_t j = i + 1;
      while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
      const std::string word(rtf.substr(i + 1, j - i - 1));
      while (j < rtf.size() && (std::isdigit(static_cast<unsigned char>(rtf[j])) || rtf[j] == '-')) ++j;
      if (j < rtf.size() && rtf[j] == ' ') ++j;  // the delimiter
      i = j;
      if (stack.empty() || stack.back().wordSeen) {
        // "\uN" stands for a character; other words inside a group are formatting.
        if (word == "u") {
          if (std::string e = text(i); !e.empty()) return e;
        }
        continue;
      }
      Group& g = stack.back();
      g.wordSeen = true;
      g.word = word;
      if (word == "mr") {
        if (g.inRun) return "a run inside a run at " + std::to_string(i);
        g.inRun = true;
      }
      if (isValueGroup(word)) g.inValue = true;
      if (stack.size() >= 2) {
        Group& parent = stack[stack.size() - 2];
        if (const auto* order = childOrder(parent.word)) {
          std::size_t place = 0;
          while (place < order->size() && (*order)[place] != word) ++place;
          if (place == order->size()) return "\\" + word + " cannot stand in \\" + parent.word;
          if (place < parent.lastChild) return "\\" + word + " out of order in \\" + parent.word;
          parent.lastChild = place;
        }
      }
      continue;
    }
    if (std::string e = text(i); !e.empty()) return e;
    ++i;
  }
  if (!stack.empty()) return "a group is never closed";
  return {};
}

}  // namespace omcheck
