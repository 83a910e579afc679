// The real equation objects of the shared corpus, and wrapping them as RTF objects.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct CorpusEntry {
  std::string file;
  std::string className;
  int mtefVersion = 0;
  std::size_t nativeBytes = 0;
  std::string bytes;  // the compound file
};

inline std::string corpusDir() { return VELOTRIX_CORPUS_DIR; }

inline bool haveCorpus() { return std::filesystem::exists(corpusDir() + "/manifest.tsv"); }

// Every entry of manifest.tsv with its file's bytes; empty when the corpus is absent.
inline std::vector<CorpusEntry> loadCorpus() {
  std::vector<CorpusEntry> entries;
  std::ifstream manifest(corpusDir() + "/manifest.tsv");
  std::string line;
  std::getline(manifest, line);  // column names
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    CorpusEntry e;
    std::string version, size;
    if (!std::getline(fields, e.file, '\t') || !std::getline(fields, e.className, '\t') ||
        !std::getline(fields, version, '\t') || !std::getline(fields, size, '\t'))
      continue;
    e.mtefVersion = std::stoi(version);
    e.nativeBytes = std::stoul(size);
    std::ifstream f(corpusDir() + "/equations/" + e.file, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    e.bytes = ss.str();
    entries.push_back(std::move(e));
  }
  return entries;
}

#define SKIP_WITHOUT_CORPUS() \
  if (!haveCorpus()) GTEST_SKIP() << "no corpus at " << corpusDir()

inline std::string toHex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The OLE1 embedded-object record (empty topic and item names) as hex text.
inline std::string objectRecordHex(const std::string& className, const std::string& native) {
  auto le32 = [](std::size_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return s;
  };
  return toHex(le32(0x501) + le32(2) + le32(className.size() + 1) + className +
               std::string(1, '\0') + le32(0) + le32(0) + le32(native.size()) + native);
}

// An RTF object group as Word writes it, the data broken into lines of 128 digits.
inline std::string rtfObject(const std::string& className, const std::string& native) {
  std::string hex = objectRecordHex(className, native);
  std::string lines;
  for (std::size_t i = 0; i < hex.size(); i += 128) lines += "\r\n" + hex.substr(i, 128);
  return "{\\object\\objemb{\\*\\objclass " + className + "}\\objw1440\\objh480{\\*\\objdata " +
         lines + "\r\n}{\\result{\\pict\\wmetafile8\\picw100\\pich100 0100090000}}}";
}
