// The compound-file reader on arbitrary bytes, as an equation object's native data.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ole/equation_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string stream;
  const bool read = ReadEquationNative(
      std::string_view(reinterpret_cast<const char*>(data), size), NativeForm::CompoundFile, stream);
  if (!read && !stream.empty()) __builtin_trap();
  return 0;
}
