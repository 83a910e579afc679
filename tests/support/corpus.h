// The real equation objects of the shared corpus, and wrapping them as RTF objects.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/objects.h"

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
