// The text-file reader and the language-file loader on arbitrary files. The first byte
// picks the code page, the second the chunk size; the rest is the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/messages.h"
#include "settings/text_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static const std::string path = "/tmp/velotrix_fuzz_text_" + std::to_string(::getpid());
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data + 2, 1, size - 2, f);
  std::fclose(f);
  const std::wstring wide(path.begin(), path.end());

  static const std::uint32_t selectors[] = {kSelectAnsi, kSelectOem, kSelectUtf8, kSelectUtf16Le,
                                            kSelectUtf16Be, kSelectUtf32Le, kSelectUtf32Be,
                                            1250, 1251, 1253, 932, 936, 949, 950, 65001};
  TextFileReader reader;
  reader.Open(wide, selectors[data[0] % (sizeof selectors / sizeof selectors[0])], data[1]);
  std::u16string line;
  for (int lines = 0; lines < 100000 && reader.ReadLine(line, 1000) != 0; ++lines) {
  }
  reader.Close();

  LanguageMap map;
  LoadLanguageFile(map, wide, 3, L'#', L'=');
  return 0;
}
