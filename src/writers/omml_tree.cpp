// Reading the Office Math control words back into OMML elements. The text is the Office
// Math writer's own, so the reader knows its few forms: element groups {\mname ...},
// character groups {\uc1\uN\'3f}, Greek letters as \fN\'xx (code page 1253), symbol
// fields and the picture group {\mmathPict}, which carries nothing here.
#include "writers/omml_tree.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/unicode.h"

namespace writers::omml {
namespace {

constexpr std::string_view kPropertyNames[] = {
    "aln",      "argSz",    "baseJc",   "begChr",   "brk",        "cGp",       "cGpRule",
    "chr",      "count",    "cSp",      "degHide",  "diff",       "endChr",    "grow",
    "hideBot",  "hideLeft", "hideRight", "hideTop", "jc",         "limLoc",    "lit",
    "maxDist",  "mcJc",     "noBreak",  "nor",      "objDist",    "opEmu",     "plcHide",
    "pos",      "rSp",      "rSpRule",  "scr",      "sepChr",     "show",      "shp",
    "strikeBLTR", "strikeH", "strikeTLBR", "strikeV", "sty",      "subHide",   "supHide",
    "transp",   "type",     "vertJc",   "zeroAsc",  "zeroDesc",   "zeroWid",
};

// Code page 1252 at 0x80..0x9F (0 where the code page has no character).
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t fromWindows1252(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kWindows1252High[b - 0x80] ? kWindows1252High[b - 0x80] : 0xFFFD;
  return b;
}

// Greek letters of code page 1253 sit 0x2D0 below their Unicode values; the rest of the
// page is read as 1252, which the writer never mixes with a Greek font reference.
std::uint32_t fromWindows1253(unsigned char b) {
  if ((b >= 0xC1 && b <= 0xFE && b != 0xD2) || b == 0xB8 || b == 0xB9 || b == 0xBA ||
      b == 0xBC || b == 0xBE || b == 0xBF)
    return b + 0x2D0u;
  if (b == 0xA2) return 0x0386;
  return fromWindows1252(b);
}

// UTF-8 of one character; a lone surrogate cannot stand in XML and becomes U+FFFD.
void appendUtf8(std::string& out, std::uint32_t c) {
  platform::appendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
}

struct ControlWord {
  std::string_view word;
  bool hasParam = false;
  long param = 0;
};

// The character state of one group: characters to skip after \u, the \uc count, and
// whether a font reference made \'xx bytes Greek.
struct GroupState {
  long ucCount = 1;
  long skip = 0;
  bool greek = false;
};

class Parser {
 public:
  Parser(std::string_view text, std::size_t maxDepth) : s_(text), maxDepth_(maxDepth) {}

  ParseResult run() {
    ParseResult result;
    std::size_t open = s_.find('{');
    if (open == std::string_view::npos) return fail("no group found");
    pos_ = open + 1;
    Element top;
    top.name = "oMath";
    GroupState gs;
    if (!groupBody(top, gs, 1)) return fail(error_);
    result.ok = true;
    result.display = display_;
    result.equation = std::move(top.children);
    return result;
  }

 private:
  ParseResult fail(const std::string& why) {
    ParseResult r;
    r.error = why;
    return r;
  }

  bool atEnd() const { return pos_ >= s_.size(); }

  // A parameter's digits (after an optional minus), held at the limits of long as strtol
  // holds them.
  static long decimal(std::string_view digits) {
    const bool negative = digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    constexpr long kMax = std::numeric_limits<long>::max();
    long value = 0;
    for (char d : digits) {
      const int v = d - '0';
      if (value > (kMax - v) / 10) return negative ? std::numeric_limits<long>::min() : kMax;
      value = value * 10 + v;
    }
    return negative ? -value : value;
  }

  static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The byte of a \'xx symbol from its two characters.
  static unsigned char hexByte(std::string_view two) {
    const int high = hexValue(two[0]), low = hexValue(two[1]);
    if (high >= 0 && low >= 0) return static_cast<unsigned char>(high * 16 + low);
    if (high >= 0) return static_cast<unsigned char>(high);
    return static_cast<unsigned char>(std::strtoul(std::string(two).c_str(), nullptr, 16));
  }

  // Reads the control word at pos_ (just after its backslash).
  ControlWord readWord() {
    ControlWord cw;
    const std::size_t start = pos_;
    while (pos_ < s_.size() && ((s_[pos_] >= 'a' && s_[pos_] <= 'z') || (s_[pos_] >= 'A' && s_[pos_] <= 'Z')))
      ++pos_;
    cw.word = s_.substr(start, pos_ - start);
    const std::size_t digits = pos_;
    if (pos_ < s_.size() && s_[pos_] == '-') ++pos_;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9') ++pos_;
    if (pos_ > digits && !(pos_ == digits + 1 && s_[digits] == '-')) {
      cw.hasParam = true;
      cw.param = decimal(s_.substr(digits, pos_ - digits));
    } else {
      pos_ = digits;
    }
    if (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
    return cw;
  }

  // Skips a group whose '{' has been read.
  bool skipGroup() {
    std::size_t depth = 1;
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '\\') {
        ++pos_;
      } else if (c == '{') {
        ++depth;
      } else if (c == '}') {
        if (--depth == 0) return true;
      }
    }
    error_ = "unterminated group";
    return false;
  }

  // Text goes to the element: a property's value, a run's last text piece, or a run of
  // its own when it stands directly in a container.
  void addChar(Element& el, std::uint32_t c) {
    std::string* target = nullptr;
    if (el.isProperty) {
      target = &el.value;
    } else if (el.name == "r") {
      if (el.pieces.empty() || !el.pieces.back().symbolFont.empty()) el.pieces.emplace_back();
      target = &el.pieces.back().text;
    } else {
      if (el.children.empty() || !implicitRun_(el.children.back())) {
        Element run;
        run.name = "r";
        run.value = "\x01";  // marks a run made for loose text
        el.children.push_back(std::move(run));
      }
      Element& run = el.children.back();
      if (run.pieces.empty()) run.pieces.emplace_back();
      target = &run.pieces.back().text;
    }
    if (pendingHigh_ && (c < 0xDC00 || c >= 0xE000)) {
      appendUtf8(*target, 0xFFFD);
      pendingHigh_ = 0;
    }
    if (c >= 0xD800 && c < 0xDC00) {
      pendingHigh_ = c;
      return;
    }
    if (c >= 0xDC00 && c < 0xE000 && pendingHigh_) {
      c = 0x10000 + ((pendingHigh_ - 0xD800) << 10) + (c - 0xDC00);
      pendingHigh_ = 0;
    }
    appendUtf8(*target, c);
  }

  static bool implicitRun_(const Element& e) { return e.name == "r" && e.value == "\x01"; }

  // {\field{\*\fldinst SYMBOL n \\f "Font"}{\fldrslt ...}}: '{' and \field have been read.
  bool symbolField(Element& el) {
    std::string instruction;
    std::size_t depth = 1;
    bool inInstruction = false;
    std::size_t instructionDepth = 0;
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '{') {
        ++depth;
      } else if (c == '}') {
        if (inInstruction && depth == instructionDepth) inInstruction = false;
        if (--depth == 0) break;
      } else if (c == '\\') {
        if (pos_ < s_.size() && (s_[pos_] == '\\' || s_[pos_] == '{' || s_[pos_] == '}')) {
          if (inInstruction) instruction += s_[pos_];
          ++pos_;
        } else {
          ControlWord cw = readWord();
          if (cw.word == "fldinst") {
            inInstruction = true;
            instructionDepth = depth;
          }
        }
      } else if (inInstruction) {
        instruction += c;
      }
    }
    if (depth != 0) {
      error_ = "unterminated field";
      return false;
    }
    // SYMBOL <code> \f "<font>"
    const std::size_t sym = instruction.find("SYMBOL");
    if (sym == std::string::npos) return true;
    RunPiece piece;
    piece.symbolCode = static_cast<std::uint32_t>(std::strtoul(instruction.c_str() + sym + 6, nullptr, 10));
    const std::size_t q1 = instruction.find('"', sym);
    const std::size_t q2 = q1 == std::string::npos ? q1 : instruction.find('"', q1 + 1);
    piece.symbolFont = q2 == std::string::npos ? "Symbol" : instruction.substr(q1 + 1, q2 - q1 - 1);
    if (el.name == "r") {
      el.pieces.push_back(std::move(piece));
    } else {
      Element run;
      run.name = "r";
      run.pieces.push_back(std::move(piece));
      el.children.push_back(std::move(run));
    }
    return true;
  }

  // A group whose '{' has been read, inside `el`.
  bool group(Element& el, const GroupState& outer, std::size_t depth) {
    if (depth > maxDepth_) {
      error_ = "the equation is nested too deeply";
      return false;
    }
    const std::size_t start = pos_;
    // Leading \* and \dnN do not decide what the group is.
    for (;;) {
      if (s_.substr(pos_, 2) == "\\*") {
        pos_ += 2;
        while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
        continue;
      }
      if (s_.substr(pos_, 3) == "\\dn") {
        ++pos_;
        readWord();
        continue;
      }
      break;
    }
    if (pos_ + 2 < s_.size() && s_[pos_] == '\\' && s_[pos_ + 1] == 'm') {
      ++pos_;
      const std::size_t wordStart = pos_;
      ControlWord cw = readWord();
      const std::string_view name =
          cw.word == "msty" || cw.word == "mscr" ? std::string_view() : cw.word.substr(1);
      if (name == "mathPict") return skipGroup();
      GroupState gs;
      if (name == "math" || name == "oMath") return groupBody(el, gs, depth + 1);
      if (name == "oMathPara") {
        display_ = true;
        return groupBody(el, gs, depth + 1);
      }
      if (name.empty()) {
        pos_ = wordStart - 1;
      } else {
        // Built in place: what the group holds goes to this child only, so the reference
        // stays valid while it is read.
        if (el.children.capacity() == 0) el.children.reserve(4);  // most elements have a few
        Element& child = el.children.emplace_back();
        child.name = std::string(name);
        child.isProperty = isPropertyName(name);
        if (!groupBody(child, gs, depth + 1)) return false;
        return true;
      }
    }
    if (s_.substr(pos_, 6) == "\\field") {
      pos_ += 6;
      return symbolField(el);
    }
    pos_ = start;
    // A character group: its text belongs to the element around it.
    GroupState gs = outer;
    gs.skip = 0;
    return groupBody(el, gs, depth + 1);
  }

  // The content of a group up to its closing brace.
  bool groupBody(Element& el, GroupState gs, std::size_t depth) {
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '}') {
        pendingHigh_ = 0;
        return true;
      }
      if (c == '{') {
        if (!group(el, gs, depth)) return false;
        continue;
      }
      if (c == '\r' || c == '\n') continue;
      if (c == '\\') {
        if (atEnd()) break;
        const char next = s_[pos_];
        if (next == '\'') {
          ++pos_;
          if (pos_ + 2 > s_.size()) break;
          const unsigned char b = hexByte(s_.substr(pos_, 2));
          pos_ += 2;
          if (gs.skip > 0) {
            --gs.skip;
            continue;
          }
          addChar(el, gs.greek ? fromWindows1253(b) : fromWindows1252(b));
          continue;
        }
        if (next == '\\' || next == '{' || next == '}') {
          ++pos_;
          if (gs.skip > 0) {
            --gs.skip;
            continue;
          }
          addChar(el, static_cast<unsigned char>(next));
          continue;
        }
        if (!((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'))) {
          ++pos_;  // a control symbol this text does not use
          continue;
        }
        ControlWord cw = readWord();
        if (cw.word == "u" && cw.hasParam) {
          long v = cw.param < 0 ? cw.param + 65536 : cw.param;
          addChar(el, static_cast<std::uint32_t>(v) & 0xFFFF);
          gs.skip = gs.ucCount;
        } else if (cw.word == "uc" && cw.hasParam) {
          gs.ucCount = cw.param < 0 ? 0 : cw.param;
        } else if (cw.word == "f") {
          gs.greek = true;
        } else if (cw.word == "msty" && el.name == "r") {
          el.style = static_cast<int>(std::clamp(cw.param, 0L, 3L));
        } else if (cw.word == "mscr" && el.name == "r") {
          el.script = static_cast<int>(std::clamp(cw.param, 0L, 5L));
        }
        continue;
      }
      if (gs.skip > 0) {
        --gs.skip;
        continue;
      }
      addChar(el, fromWindows1252(static_cast<unsigned char>(c)));
    }
    error_ = "unterminated group";
    return false;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::size_t maxDepth_;
  std::string error_;
  bool display_ = false;
  std::uint32_t pendingHigh_ = 0;
};

void clearRunMarks(std::vector<Element>& elements) {
  for (Element& e : elements) {
    if (e.name == "r" && e.value == "\x01") e.value.clear();
    clearRunMarks(e.children);
  }
}

}  // namespace

bool isPropertyName(std::string_view name) {
  // The names by first letter: most names asked about are elements, which one or two
  // comparisons of length turn away.
  static const auto byLetter = [] {
    std::array<std::vector<std::string_view>, 128> table;
    for (std::string_view n : kPropertyNames) table[static_cast<unsigned char>(n[0]) & 127].push_back(n);
    return table;
  }();
  if (name.empty() || static_cast<unsigned char>(name[0]) >= 128) return false;
  for (std::string_view n : byLetter[static_cast<unsigned char>(name[0])])
    if (n == name) return true;
  return false;
}

ParseResult parseOfficeMathRtf(std::string_view rtf, std::size_t maxDepth) {
  ParseResult result = Parser(rtf, maxDepth).run();
  clearRunMarks(result.equation);
  return result;
}

}  // namespace writers::omml
