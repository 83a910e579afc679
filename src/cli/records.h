// The equation records of a conversion as JSON Lines: the machine-readable report
// (--report json) and the extraction of every equation as MathML or LaTeX (--extract).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/equation_record.h"

enum class FormulaKind { None, MathML, Latex };

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 become U+FFFD, so
// that the line stays valid whatever a document or a file name holds.
std::string jsonString(std::string_view text);

// One record as a JSON object on one line (with its line break). `file` names the input;
// `formula` and `formulaFile` are written only for an extraction (an equation without a
// formula gets null).
std::string recordLine(const std::string& file, std::size_t index,
                       const conversion::EquationRecord& record, FormulaKind kind = FormulaKind::None,
                       const std::string* formula = nullptr, const std::string& formulaFile = "");

// Writes the records of one input to `out` as JSON Lines; false on a write error.
bool writeReport(std::FILE* out, const std::string& file,
                 const std::vector<conversion::EquationRecord>& records);

// The extraction of one input: the records with their formulas as JSON Lines to standard
// output, or, with a folder, one file per equation (eq-0001.mml or .tex) and the lines in
// equations.jsonl there. Returns an exit code; says what went wrong on standard error.
int writeExtraction(const std::string& file, const std::vector<conversion::EquationRecord>& records,
                    FormulaKind kind, const std::string& folder);
