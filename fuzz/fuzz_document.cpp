// The whole document pass on arbitrary bytes, with both output formats.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/host_simulator.h"
#include "rtf/document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::FileHandle sink = platform::createOutputFileA("/dev/null");
  const std::string doc(reinterpret_cast<const char*>(data), size);
  for (std::uint32_t format : {1u, 0u}) {
    DocumentPass pass;
    pass.equations.eqVersion = format;
    // Chunks of 1 to 7 bytes put token and line-end boundaries everywhere; larger ones
    // keep long documents quick.
    HostBeginString(doc, size % 2 ? 1 + size % 7 : 4096);
    RunDocumentPass(pass, HostCallback(), HostBuffer(), sink);
    HostEnd();
  }
  return 0;
}
