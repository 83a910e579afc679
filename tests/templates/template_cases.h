// Helpers for the template tests: hand-built MTEF streams written as readable hex with
// named pieces, and expectations written in terms of the translations of those pieces.
//
// In an input pattern, "@A" stands for the hex of piece A for the stream's version; spaces
// are ignored. In an expected pattern, "@A" stands for the translation of piece A on its
// own (for the same target), "^" for an atom start and "$" for an atom end; spaces are
// ignored in MTEF 3 patterns only.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "mtef/context.h"
#include "mtef/record.h"

namespace tcase {

constexpr int kMtef3Target = 0;
constexpr int kOfficeMath = 1;

// The named pieces, for MTEF 5 and for MTEF 2/3.
inline std::string pieceHex(int version, char name) {
  const bool v5 = version == 5;
  switch (name) {
    case 'A': return v5 ? "01 00 02 00 83 78 00 00" : "01 02 83 78 00 00";  // line "x"
    case 'B': return v5 ? "01 00 02 00 83 79 00 00" : "01 02 83 79 00 00";  // line "y"
    case 'C': return v5 ? "01 00 02 00 83 7a 00 00" : "01 02 83 7a 00 00";  // line "z"
    case 'E': return v5 ? "01 00 00" : "01 00";                             // empty line
    case 'N': return v5 ? "01 01" : "11";                                   // null line
    case 'F': return v5 ? "02 00 81 28 00" : "02 81 28 00";                 // char "("
    case 'G': return v5 ? "02 00 81 29 00" : "02 81 29 00";                 // char ")"
    case 'H': return v5 ? "02 00 81 7c 00" : "02 81 7c 00";                 // char "|"
    case 'X': return v5 ? "02 00 83 78 00" : "02 83 78 00";                 // char "x"
    case 'Y': return v5 ? "02 00 83 79 00" : "02 83 79 00";                 // char "y"
    case 'Q': return v5 ? "02 00 96 37 fe" : "02 96 37 fe";                 // brace char
    // a fraction x over y
    case 'R': return v5 ? "03 00 0b 00 00 @A @B 00" : "03 0e 00 00 @A @B 00";
    default: ADD_FAILURE() << "unknown piece " << name; return "";
  }
}

inline std::string expandHex(int version, std::string_view pattern, int depth = 0) {
  std::string hex;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == ' ') continue;
    if (c == '@' && i + 1 < pattern.size() && depth < 8) {
      hex += expandHex(version, pieceHex(version, pattern[++i]), depth + 1);
    } else {
      hex += c;
    }
  }
  return hex;
}

struct Translation {
  std::string text;
  std::int32_t code = 0;
  bool consumedAll = false;
  bool failed = false;
};

// Reads one record of the stream (a TMPL, or a LINE holding templates).
inline Translation translate(int target, int version, const std::string& hex) {
  EquationContext ctx = makeEquationContext(target, 0, 1);
  ctx.mtefVersion = version;
  ctx.mtefHex = hex;
  ctx.readPos = -1;
  ctx.inPreamble = false;
  Translation t;
  t.code = readRecord(ctx, &t.text, kModeNested);
  t.consumedAll = ctx.readPos + 1 == static_cast<std::int32_t>(hex.size());
  t.failed = ctx.failed;
  return t;
}

inline std::string expandText(int target, int version, std::string_view pattern) {
  std::string text;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '@' && i + 1 < pattern.size()) {
      text += translate(target, version, expandHex(version, pieceHex(version, pattern[++i]))).text;
    } else if (c == '^') {
      text += kAtomStart;
    } else if (c == '$') {
      text += kAtomEnd;
    } else if (c == ' ' && target == kMtef3Target) {
      continue;
    } else {
      text += c;
    }
  }
  return text;
}

// Office Math text: braces balance (escaped ones aside) and never close more than was
// opened; atom markers likewise.
inline ::testing::AssertionResult wellNested(const std::string& text) {
  int braces = 0;
  int atoms = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\' && i + 1 < text.size()) {
      ++i;  // an escaped character, or the first letter of a control word
      continue;
    }
    if (c == '{') ++braces;
    if (c == '}' && --braces < 0) return ::testing::AssertionFailure() << "stray } at " << i;
    if (c == kAtomStart) ++atoms;
    if (c == kAtomEnd && --atoms < 0) return ::testing::AssertionFailure() << "stray atom end at " << i;
  }
  if (braces != 0) return ::testing::AssertionFailure() << braces << " unclosed braces";
  if (atoms != 0) return ::testing::AssertionFailure() << atoms << " unclosed atoms";
  return ::testing::AssertionSuccess();
}

// Readable form of a failing text.
inline std::string show(const std::string& text) {
  std::string s;
  for (char c : text) {
    if (c == kAtomStart) s += '^';
    else if (c == kAtomEnd) s += '$';
    else s += c;
  }
  return s;
}

// One table row: the input record and what each target must produce.
struct Case {
  const char* name;
  int version;
  const char* input;
  const char* officeMath;
  const char* mtef3;
};

inline void checkCase(const Case& c) {
  SCOPED_TRACE(c.name);
  const std::string hex = expandHex(c.version, c.input);
  for (int target : {kOfficeMath, kMtef3Target}) {
    SCOPED_TRACE(target == kOfficeMath ? "Office Math" : "MTEF 3");
    const Translation t = translate(target, c.version, hex);
    EXPECT_EQ(t.code, 0);
    EXPECT_TRUE(t.consumedAll) << "the record was not read to its end";
    EXPECT_FALSE(t.failed);
    const std::string expected =
        expandText(target, c.version, target == kOfficeMath ? c.officeMath : c.mtef3);
    EXPECT_EQ(show(t.text), show(expected));
    if (target == kOfficeMath) {
      EXPECT_TRUE(wellNested(t.text)) << show(t.text);
    }
  }
}

// Every truncation of the input must still give well-nested Office Math and end.
inline void checkTruncations(const Case& c) {
  SCOPED_TRACE(c.name);
  const std::string hex = expandHex(c.version, c.input);
  for (std::size_t len = 0; len < hex.size(); len += 2) {
    const Translation t = translate(kOfficeMath, c.version, hex.substr(0, len));
    EXPECT_TRUE(wellNested(t.text)) << "cut at byte " << len / 2 << ": " << show(t.text);
    translate(kMtef3Target, c.version, hex.substr(0, len));
  }
}

}  // namespace tcase
