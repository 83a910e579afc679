// What independent clients read back, compared with the corpus structure dumps: the
// letters, digits and Greek letters of a dump, the characters of a formula as a client
// holds it (StarMath text or MathML tokens), and what one has that the other lacks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

inline bool haveCommand(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::u32string codePoints(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t v = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n && i + k < utf8.size(); ++k) v = (v << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out += v;
    i += static_cast<std::size_t>(n);
  }
  return out;
}

inline bool counts(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= 0x391 && c <= 0x3C9);
}

// The letters, digits and Greek letters of a structure dump, in order.
inline std::u32string expectedFromDump(const std::string& dump) {
  std::u32string out;
  static const std::regex code("<mt_code_value>0x([0-9A-Fa-f]+)</mt_code_value>");
  for (auto it = std::sregex_iterator(dump.begin(), dump.end(), code); it != std::sregex_iterator(); ++it) {
    const auto c = static_cast<char32_t>(std::stoul((*it)[1].str(), nullptr, 16));
    if (counts(c)) out += c;
  }
  return out;
}

// The characters of a formula as LibreOffice holds it: its StarMath text without the
// keywords (LibreOffice's MathML export loses parts that its own formula keeps), or the
// tokens of its MathML when there is no StarMath text.
inline std::u32string formulaCharacters(const std::string& content) {
  std::u32string out;
  static const std::regex annotation("<annotation encoding=\"StarMath 5.0\">([^<]*)</annotation>");
  static const std::regex token("<m(?:i|n|o|text)[^>]*>([^<]*)</m(?:i|n|o|text)>");
  std::smatch found;
  if (!std::regex_search(content, found, annotation)) {
    for (auto it = std::sregex_iterator(content.begin(), content.end(), token); it != std::sregex_iterator(); ++it)
      out += codePoints((*it)[1].str());
    return out;
  }
  // Quoted text is the equation's own; outside it, words of two or more letters are
  // StarMath keywords (matrix, left, lbrace, csub ...) and the equation's letters stand
  // one to a word.
  const std::string formula = std::regex_replace(found[1].str(), std::regex("&quot;"), "\"");
  static const std::regex word("[A-Za-z]{2,}");
  bool quoted = false;
  std::string plain;
  for (char c : formula) {
    if (c == '"') {
      if (!quoted) out += codePoints(std::regex_replace(plain, word, " ")), plain.clear();
      quoted = !quoted;
      continue;
    }
    if (quoted) {
      out += static_cast<unsigned char>(c) < 0x80 ? std::u32string(1, static_cast<char32_t>(c)) : U"";
      if (static_cast<unsigned char>(c) >= 0x80) plain += c;  // multi-byte: decoded below
    } else {
      plain += c;
    }
  }
  out += codePoints(std::regex_replace(plain, word, " "));
  std::u32string kept;
  for (char32_t c : out)
    if (c != ' ' && c != '{' && c != '}' && c != '#' && c != '\n') kept += c;
  return kept;
}

// The characters of `part` missing from `whole` (each counted as often as it stands).
// Order is not compared: MTEF keeps an operator's limits after its operand.
inline std::string missing(const std::u32string& part, std::u32string whole) {
  std::string lost;
  for (char32_t c : part) {
    const auto at = whole.find(c);
    if (at == std::u32string::npos) {
      lost += "U+" + std::to_string(static_cast<unsigned>(c)) + " ";
    } else {
      whole.erase(at, 1);
    }
  }
  return lost;
}

inline std::string readAll(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}
