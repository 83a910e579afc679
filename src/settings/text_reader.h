// TextFileReader: reads a text file of unknown encoding as UTF-16 units and splits it
// into lines. A byte-order mark decides the encoding; without one the caller's code page
// applies. The file is read in small chunks into one reused byte buffer and one reused
// decoded buffer; sequences that straddle a chunk boundary are carried over to the next
// chunk, and undecodable bytes become substitute characters (noted in `status`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

// `status` bits.
constexpr std::uint32_t kTextSubstituted = 1;    // some bytes decoded only as a substitute
constexpr std::uint32_t kTextBufferGrown = 2;    // the decoded buffer had to be enlarged
constexpr std::uint32_t kTextDoubleUnget = 4;    // pushed back twice without a read between
constexpr std::uint32_t kTextEmptyChunk = 8;     // a chunk yielded no characters
constexpr std::uint32_t kTextNoMemory = 16;      // an allocation failed
constexpr std::uint32_t kTextIoError = 32;       // opening or reading the file failed
// While any of these is set every read returns end of input.
constexpr std::uint32_t kTextStopBits = kTextEmptyChunk | kTextNoMemory | kTextIoError;

// Code-page selectors for Open; any other value is a code page number.
constexpr std::uint32_t kSelectAnsi = 0;
constexpr std::uint32_t kSelectOem = 1;
constexpr std::uint32_t kSelectAnsiToo = 2;
constexpr std::uint32_t kSelectUtf8 = 10;
constexpr std::uint32_t kSelectUtf16Le = 11;
constexpr std::uint32_t kSelectUtf16Be = 12;
constexpr std::uint32_t kSelectUtf32Le = 13;
constexpr std::uint32_t kSelectUtf32Be = 14;

struct TextFileReader {
  std::uint32_t status = 0;
  bool ungetPending = false;
  platform::FileHandle file = platform::kInvalidFile;
  std::wstring path;
  std::uint32_t selector = 0;
  std::uint32_t codePage = 0;
  std::size_t byteCapacity = 0;
  std::size_t unitCapacity = 0;
  std::size_t position = 1;
  std::size_t unitCount = 0;
  std::size_t byteCount = 0;
  std::unique_ptr<unsigned char[]> bytes;
  std::unique_ptr<char16_t[]> units;

  TextFileReader() = default;
  TextFileReader(const TextFileReader&) = delete;
  TextFileReader& operator=(const TextFileReader&) = delete;
  ~TextFileReader() { Close(); }

  // Opens `filePath` with a code-page selector and chunk size (raised to at least 4).
  // The caller checks Status() afterwards.
  void Open(const std::wstring& filePath, std::uint32_t codePageSelector, std::size_t chunkSize);
  void Close();
  std::uint32_t Status() const { return status; }
  // The next UTF-16 unit, or 0 at the end of input or after an error.
  char16_t GetChar();
  // Pushes the last unit back; only one unit can be pushed back at a time.
  void UngetChar();
  // Reads one line (without its line end) into `line`, keeping at most `maximum` units.
  // Returns 0 when nothing more could be read, otherwise the units read for the line,
  // its first line-end unit included.
  std::size_t ReadLine(std::u16string& line, std::size_t maximum);

 private:
  char16_t Refill();
  bool EnsureUnitCapacity(std::size_t needed);
  void DecodeUtf32(bool last, std::size_t& consumed);
  void DecodeUtf16(bool last, std::size_t& consumed);
  bool DecodeCodePage(bool last, std::size_t& consumed);
  void AppendUnit(char16_t unit);
};
