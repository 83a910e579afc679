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
#include "settings/settings.h"

inline std::string tempPath(const std::string& name) {
  return "/tmp/velotrix_test_" + std::to_string(::getpid()) + "_" + name;
}

inline std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// The pass of the last convertDocument call: its counts and unconverted objects.
inline DocumentPass& lastPass() {
  static DocumentPass pass;
  return pass;
}

// A pass with the equation settings of gSettings, as the export run starts it.
inline DocumentPass passWithSettings() {
  DocumentPass pass;
  pass.equations.eqVersion = gSettings.eqVersion;
  pass.equations.euclid = gSettings.isEuclid != 0;
  pass.equations.uniPrime = gSettings.isUniPrime != 0;
  return pass;
}

inline std::string convertDocument(const std::string& document, std::size_t chunkSize = 4096) {
  std::string path = tempPath("out.rtf");
  platform::FileHandle file = platform::createOutputFileA(path.c_str());
  HostBeginString(document, chunkSize);
  lastPass() = passWithSettings();
  RunDocumentPass(lastPass(), HostCallback(), HostBuffer(), file);
  HostEnd();
  platform::closeFile(file);
  std::string out = readFile(path);
  std::remove(path.c_str());
  return out;
}
