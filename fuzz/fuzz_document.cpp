// The whole document pass on arbitrary bytes, with both output formats. The pass that
// keeps records reads every item through the token path; its document must be the same
// as the one of the pass that copies plain stretches straight through.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/host_simulator.h"
#include "rtf/document.h"

namespace {

// The document one pass writes, read back from a file in memory (/dev/shm).
std::string convert(const std::string& doc, std::uint32_t format, bool records) {
  static const std::string path = "/dev/shm/fuzz_document." + std::to_string(getpid());
  platform::FileHandle file = platform::createOutputFileA(path.c_str());
  if (file == platform::kInvalidFile) std::abort();
  DocumentPass pass;
  pass.equations.eqVersion = format;
  pass.equations.keepRecords = records;
  // Chunks of 1 to 7 bytes put token and line-end boundaries everywhere; larger ones
  // keep long documents quick.
  HostBeginString(doc, doc.size() % 2 ? 1 + doc.size() % 7 : 4096);
  RunDocumentPass(pass, HostCallback(), HostBuffer(), file);
  HostEnd();
  platform::closeFile(file);
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string doc(reinterpret_cast<const char*>(data), size);
  if (convert(doc, 1, false) != convert(doc, 1, true)) std::abort();
  convert(doc, 0, false);
  return 0;
}
