// The layout of an equation as the markup languages see it (MathML and LaTeX): tokens,
// rows, fractions, roots, scripts, operators with limits, labelled arrows, accents,
// fences, tables and enclosures. It is built once from the equation tree, with every
// template, typeface and MathType character code resolved, and each markup writer prints
// it in its own syntax.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "equation/tree.h"

namespace writers::layout {

enum class Variant : std::uint8_t {
  Italic, Normal, Bold, BoldItalic, DoubleStruck, Fraktur, BoldFraktur, Script, BoldScript,
};

enum class Token : std::uint8_t {
  Identifier,  // letters of variables
  Function,    // the letters of a function name, one token per name
  Number,      // digits and their decimal point, one token per number
  Operator,
  Text,        // text typeface, one token per run
  Space,
};

// Horizontal spaces, narrowest first.
enum class Space : std::uint8_t { Zero, Thin, Medium, Thick, Quad };

enum class Shape : std::uint8_t {
  Token,
  Row,          // parts in order
  Fraction,     // numerator, denominator
  Root,         // radicand, index (empty for a square root)
  Scripts,      // base, lower, upper
  BigOperator,  // operator, lower, upper; the operand follows in the row
  Limit,        // function (lim, max ...), lower, upper
  Arrow,        // upper label, lower label around `code`
  Accent,       // base with `mark` above or below
  Brace,        // base, label: a horizontal brace or bracket with its label
  Fence,        // content (and a second part after `middle` for a bra-ket)
  Table,        // rows x columns cells
  Enclose,      // content in a box or struck through
  LongDivision, // dividend, quotient
};

enum class Fraction : std::uint8_t { Bar, Small, Skewed, Linear };

enum class Mark : std::uint8_t {
  Dot, DoubleDot, TripleDot, QuadrupleDot, Tilde, Hat, Bar, DoubleBar, RightArrow,
  LeftArrow, BothArrow, RightHarpoon, LeftHarpoon, Frown, Smile, Arc,
  Prime, DoublePrime, TriplePrime, ReversedPrime,
};

// Enclosure notations, combined.
enum Notation : std::uint16_t {
  kTop = 1, kBottom = 2, kLeft = 4, kRight = 8, kBox = 15,
  kHorizontalStrike = 16, kUpStrike = 32, kDownStrike = 64, kActuarial = 128,
};

// Partition lines of a table: none, solid, dashed.
enum class Rule : std::uint8_t { None, Solid, Dashed };

struct Box {
  Shape shape = Shape::Row;

  // Token: its kind, style and characters (UTF-32).
  Token token = Token::Operator;
  Variant variant = Variant::Normal;
  Space space = Space::Thin;
  std::u32string text;
  std::int8_t bracket = 0;  // a plain opening (1) or closing (-1) bracket
  std::int32_t match = -1;  // a closing bracket's opening one in its row

  std::vector<Box> parts;
  std::int32_t depth = 0;  // how deeply boxes nest inside this one

  bool lower = false;      // Scripts, BigOperator, Limit, Arrow: has a lower part
  bool upper = false;      // ... has an upper part
  bool before = false;     // Scripts: written before what follows (empty base)
  bool underOver = false;  // BigOperator: limits below and above instead of scripts
  bool below = false;      // Accent: the mark stands below; Brace: below the base
  bool bracketShape = false;  // Brace: a square bracket instead of a curly brace
  Fraction fraction = Fraction::Bar;
  Mark mark = Mark::Dot;
  char32_t code = 0;         // Arrow: its character; Fence: the opening character (0 none)
  char32_t close = 0;        // Fence: the closing character (0 none)
  char32_t middle = 0;       // Fence: a separator between two parts (bra-ket)
  std::uint16_t notation = 0;

  // Table
  std::int32_t rows = 0;
  std::int32_t columns = 0;
  char align = 'l';          // l, c or r for every column
  bool relational = false;   // two columns per line, split at its first relation
  std::vector<Rule> rowRules;     // rows + 1 lines, top first
  std::vector<Rule> columnRules;  // columns + 1 lines, left first
};

// The equation's layout: a row holding its top-level parts.
Box build(const equation::Equation& equation);

// True for a relation symbol (=, <, ≤, →, ∈ ...): a relational pile aligns its lines there.
bool isRelation(char32_t c);

}  // namespace writers::layout
