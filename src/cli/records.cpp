#include "cli/records.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/cli.h"

#include "writers/latex.h"
#include "writers/mathml.h"

namespace fs = std::filesystem;

namespace {

// The length of the UTF-8 sequence at `s[i]`, or 0 when it is not a well-formed one.
std::size_t utf8Length(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = byte(i);
  std::size_t n = c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // No overlong forms, no surrogates, nothing beyond U+10FFFF.
  const unsigned char d = byte(i + 1);
  if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d >= 0xA0) || (c == 0xF0 && d < 0x90) ||
      (c == 0xF4 && d >= 0x90))
    return 0;
  return n;
}

std::string layoutOf(const conversion::EquationRecord& r) { return r.display ? "display" : "inline"; }

std::string formulaFileName(std::size_t index, FormulaKind kind) {
  char name[32];
  std::snprintf(name, sizeof name, "eq-%04zu.%s", index, kind == FormulaKind::MathML ? "mml" : "tex");
  return name;
}

std::string formulaOf(const conversion::EquationRecord& r, FormulaKind kind) {
  if (!r.info.tree) return {};
  return kind == FormulaKind::MathML ? writers::writeMathML(*r.info.tree, r.display)
                                     : writers::writeLatex(*r.info.tree);
}

bool writeWhole(const fs::path& path, const std::string& bytes, std::string& error) {
  std::FILE* f = std::fopen(path.string().c_str(), "wb");
  if (!f) {
    error = "cannot create '" + path.string() + "': " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written) {
    error = "error while writing '" + path.string() + "'";
    return false;
  }
  return true;
}

}  // namespace

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t n = utf8Length(text, i);
      if (n == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string recordLine(const std::string& file, std::size_t index,
                       const conversion::EquationRecord& r, FormulaKind kind,
                       const std::string* formula, const std::string& formulaFile) {
  std::string line = "{\"file\":" + jsonString(file) + ",\"index\":" + std::to_string(index) +
                     ",\"story\":" + jsonString(r.story) + ",\"position\":" +
                     (r.position.empty() ? std::to_string(r.offset) : jsonString(r.position)) +
                     ",\"class\":" + jsonString(r.className) + ",\"mtef\":" +
                     (r.info.mtefVersion > 0 ? std::to_string(r.info.mtefVersion) : "null") +
                     ",\"layout\":\"" + layoutOf(r) + "\",\"status\":\"" +
                     (r.converted ? "converted\"" : "kept\",\"reason\":" + jsonString(r.reason));
  if (kind != FormulaKind::None) {
    line += kind == FormulaKind::MathML ? ",\"mathml\":" : ",\"latex\":";
    line += formula ? jsonString(*formula) : "null";
    if (!formulaFile.empty()) line += ",\"output\":" + jsonString(formulaFile);
  }
  return line + "}\n";
}

bool writeReport(std::FILE* out, const std::string& file,
                 const std::vector<conversion::EquationRecord>& records) {
  std::string lines;
  for (std::size_t i = 0; i < records.size(); ++i) lines += recordLine(file, i + 1, records[i]);
  return std::fwrite(lines.data(), 1, lines.size(), out) == lines.size() && std::fflush(out) == 0;
}

int writeExtraction(const std::string& file, const std::vector<conversion::EquationRecord>& records,
                    FormulaKind kind, const std::string& folder) {
  const bool toFolder = !folder.empty() && folder != "-";
  if (toFolder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
      const bool file = fs::exists(folder, ec);
      std::fprintf(stderr, "velotrix: cannot create the folder '%s'%s%s\n", folder.c_str(),
                   file || ec ? ": " : "", file ? "a file of that name is there" : ec ? ec.message().c_str() : "");
      return kExitOutput;
    }
  }
  std::string lines, error;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const conversion::EquationRecord& r = records[i];
    const std::string formula = formulaOf(r, kind);
    const std::string name = toFolder && r.info.tree ? formulaFileName(i + 1, kind) : "";
    if (!name.empty() && !writeWhole(fs::path(folder) / name, formula, error)) {
      std::fprintf(stderr, "velotrix: %s\n", error.c_str());
      return kExitWrite;
    }
    lines += recordLine(file, i + 1, r, kind, r.info.tree ? &formula : nullptr, name);
  }
  if (toFolder) {
    if (!writeWhole(fs::path(folder) / "equations.jsonl", lines, error)) {
      std::fprintf(stderr, "velotrix: %s\n", error.c_str());
      return kExitWrite;
    }
    return kExitOk;
  }
  if (std::fwrite(lines.data(), 1, lines.size(), stdout) != lines.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "velotrix: error while writing standard output\n");
    return kExitWrite;
  }
  return kExitOk;
}
