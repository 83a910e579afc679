// Runs a document through the host simulator and the document pass, returning the output.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "cli/host_simulator.h"
#include "rtf/document.h"
#include "rtf/output.h"

inline std::string tempPath(const std::string& name) {
  return "/tmp/velotrix_test_" + std::to_string(::getpid()) + "_" + name;
}

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline std::string convertDocument(const std::string& document, std::size_t chunkSize = 4096) {
  std::string path = tempPath("out.rtf");
  outputFile = platform::createOutputFileA(path.c_str());
  HostBeginString(document, chunkSize);
  RunDocumentPass(HostCallback(), HostBuffer());
  HostEnd();
  platform::closeFile(outputFile);
  outputFile = platform::kInvalidFile;
  std::string out = readFile(path);
  std::remove(path.c_str());
  return out;
}
