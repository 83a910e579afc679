#include "settings/text_reader.h"

#include <cstring>
#include <new>

#include "platform/codepage.h"

namespace {

std::uint32_t codePageForSelector(std::uint32_t selector) {
  switch (selector) {
    case kSelectAnsi:
    case kSelectAnsiToo: return platform::ansiCodePage();
    case kSelectOem: return platform::oemCodePage();
    case kSelectUtf8: return platform::kCodePageUtf8;
    case kSelectUtf16Le: return platform::kCodePageUtf16Le;
    case kSelectUtf16Be: return platform::kCodePageUtf16Be;
    case kSelectUtf32Le: return platform::kCodePageUtf32Le;
    case kSelectUtf32Be: return platform::kCodePageUtf32Be;
    default: return selector;
  }
}

bool isDoubleByteCodePage(std::uint32_t codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
         codePage == 1361;
}

}  // namespace

void TextFileReader::Open(const std::wstring& filePath, std::uint32_t codePageSelector,
                          std::size_t chunkSize) {
  Close();
  status = 0;
  ungetPending = false;
  path = filePath;
  selector = codePageSelector;
  if (chunkSize < 4) chunkSize = 4;
  byteCapacity = chunkSize;
  unitCapacity = chunkSize;
  position = 1;
  unitCount = 0;
  byteCount = 0;

  file = platform::openFileForReading(path);
  if (file == platform::kInvalidFile) {
    status |= kTextIoError;
    return;
  }
  codePage = codePageForSelector(selector);

  if (chunkSize > (static_cast<std::size_t>(-1) / 4)) {
    status |= kTextNoMemory;
    return;
  }
  bytes.reset(new (std::nothrow) unsigned char[byteCapacity]);
  units.reset(new (std::nothrow) char16_t[unitCapacity]);
  if (!bytes || !units) {
    status |= kTextNoMemory;
    return;
  }

  std::size_t got = 0;
  if (!platform::readFromFile(file, bytes.get(), 4, got)) {
    status |= kTextIoError;
    return;
  }
  const unsigned char* b = bytes.get();
  std::uint32_t markCodePage = 0;
  std::size_t markLength = 0;
  if (got >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00) {
    markCodePage = platform::kCodePageUtf32Le;
    markLength = 4;
  } else if (got >= 4 && b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF) {
    markCodePage = platform::kCodePageUtf32Be;
    markLength = 4;
  } else if (got >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    markCodePage = platform::kCodePageUtf8;
    markLength = 3;
  } else if (got >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    markCodePage = platform::kCodePageUtf16Le;
    markLength = 2;
  } else if (got >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
    markCodePage = platform::kCodePageUtf16Be;
    markLength = 2;
  }
  if (markLength > 0) codePage = markCodePage;
  if (got < 4 && markLength == got) {
    byteCount = 0;
    return;
  }
  std::memmove(bytes.get(), bytes.get() + markLength, got - markLength);
  byteCount = got - markLength;
}

void TextFileReader::Close() {
  if (file != platform::kInvalidFile) platform::closeFile(file);
  file = platform::kInvalidFile;
  bytes.reset();
  units.reset();
  byteCount = 0;
  unitCount = 0;
  position = 1;
  ungetPending = false;
}

char16_t TextFileReader::GetChar() {
  if (status & kTextStopBits) return 0;
  if (ungetPending) {
    if (position > 0) --position;
    ungetPending = false;
  }
  if (position < unitCount) return units[position++];
  return Refill();
}

void TextFileReader::UngetChar() {
  if (ungetPending) {
    status |= kTextDoubleUnget;
    return;
  }
  ungetPending = true;
}

std::size_t TextFileReader::ReadLine(std::u16string& line, std::size_t maximum) {
  line.clear();
  std::size_t count = 0;
  bool endedOnLineEnd = false;
  for (;;) {
    char16_t unit = GetChar();
    if (unit == 0) break;
    ++count;
    if (unit == u'\n') {
      endedOnLineEnd = true;
      break;
    }
    if (unit == u'\r') {
      if (GetChar() != u'\n') UngetChar();
      endedOnLineEnd = true;
      break;
    }
    if (line.size() < maximum) line += unit;
  }
  if (endedOnLineEnd) {
    // Look one unit ahead so that an end of input right after the line end is seen now.
    GetChar();
    UngetChar();
  }
  return count;
}

bool TextFileReader::EnsureUnitCapacity(std::size_t needed) {
  if (needed <= unitCapacity) return true;
  std::unique_ptr<char16_t[]> bigger(new (std::nothrow) char16_t[needed]);
  if (!bigger) {
    status |= kTextNoMemory;
    return false;
  }
  units = std::move(bigger);
  unitCapacity = needed;
  status |= kTextBufferGrown;
  return true;
}

void TextFileReader::AppendUnit(char16_t unit) {
  // The UTF decoders size the buffer before they start; this guard only keeps a write
  // inside it whatever happens.
  if (unitCount < unitCapacity) units[unitCount++] = unit;
}

void TextFileReader::DecodeUtf32(bool last, std::size_t& consumed) {
  const unsigned char* b = bytes.get();
  const bool bigEndian = codePage == platform::kCodePageUtf32Be;
  std::size_t i = 0;
  for (; i + 4 <= byteCount; i += 4) {
    std::uint32_t c = bigEndian ? (std::uint32_t{b[i]} << 24) | (std::uint32_t{b[i + 1]} << 16) |
                                      (std::uint32_t{b[i + 2]} << 8) | b[i + 3]
                                : (std::uint32_t{b[i + 3]} << 24) | (std::uint32_t{b[i + 2]} << 16) |
                                      (std::uint32_t{b[i + 1]} << 8) | b[i];
    if (c > 0x10FFFF) {
      // Beyond Unicode: no surrogate pair can carry it.
      AppendUnit(u'\uFFFD');
      status |= kTextSubstituted;
    } else if (c > 0xFFFF) {
      c -= 0x10000;
      AppendUnit(static_cast<char16_t>(0xD800 + (c >> 10)));
      AppendUnit(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      AppendUnit(static_cast<char16_t>(c));
    }
  }
  if (last && i < byteCount) {
    AppendUnit(u'?');
    status |= kTextSubstituted;
    i = byteCount;
  }
  consumed = i;
}

void TextFileReader::DecodeUtf16(bool last, std::size_t& consumed) {
  const unsigned char* b = bytes.get();
  const bool bigEndian = codePage == platform::kCodePageUtf16Be;
  auto unitAt = [&](std::size_t i) {
    return static_cast<char16_t>(bigEndian ? (b[i] << 8) | b[i + 1] : (b[i + 1] << 8) | b[i]);
  };
  std::size_t i = 0;
  while (i + 2 <= byteCount) {
    char16_t unit = unitAt(i);
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      if (i + 4 > byteCount) break;  // the partner comes with the next chunk
      AppendUnit(unit);
      AppendUnit(unitAt(i + 2));
      i += 4;
    } else {
      AppendUnit(unit);
      i += 2;
    }
  }
  if (last && i < byteCount) {
    AppendUnit(u'?');
    status |= kTextSubstituted;
    i = byteCount;
  }
  consumed = i;
}

bool TextFileReader::DecodeCodePage(bool last, std::size_t& consumed) {
  const unsigned char* b = bytes.get();
  std::size_t take = 0;
  if (last) {
    if (platform::multiByteToUtf16(codePage, true, b, byteCount, nullptr, 0) > 0) take = byteCount;
  } else {
    // The longest prefix that converts cleanly: a sequence cut by the chunk end is left
    // for the next chunk.
    for (std::size_t length = byteCount; length > 0; --length) {
      if (platform::multiByteToUtf16(codePage, true, b, length, nullptr, 0) > 0) {
        take = length;
        break;
      }
    }
  }
  if (take == 0) {
    status |= kTextSubstituted;
    if (last) {
      take = byteCount;
    } else {
      take = 1;
      if (isDoubleByteCodePage(codePage) && platform::isDbcsLeadByte(codePage, b[0])) {
        take = 2;
      } else if (codePage == platform::kCodePageUtf8) {
        take += (b[0] >= 0xC0) + (b[0] >= 0xE0) + (b[0] >= 0xF0);
      }
      if (take > byteCount) take = byteCount;
    }
  }
  std::size_t needed = platform::multiByteToUtf16(codePage, false, b, take, nullptr, 0);
  if (!EnsureUnitCapacity(needed)) return false;
  unitCount = needed == 0 ? 0 : platform::multiByteToUtf16(codePage, false, b, take, units.get(), unitCapacity);
  consumed = take;
  return true;
}

char16_t TextFileReader::Refill() {
  unitCount = 0;
  position = 1;
  if (!bytes || !units) return 0;
  std::size_t got = 0;
  if (!platform::readFromFile(file, bytes.get() + byteCount, byteCapacity - byteCount, got)) {
    status |= kTextIoError;
    return 0;
  }
  byteCount += got;
  if (byteCount == 0) return 0;
  const bool last = byteCount < byteCapacity;

  std::size_t consumed = 0;
  if (codePage == platform::kCodePageUtf32Le || codePage == platform::kCodePageUtf32Be) {
    if (!EnsureUnitCapacity(byteCount / 2 + 1)) return 0;
    DecodeUtf32(last, consumed);
  } else if (codePage == platform::kCodePageUtf16Le || codePage == platform::kCodePageUtf16Be) {
    if (!EnsureUnitCapacity(byteCount / 2 + 1)) return 0;
    DecodeUtf16(last, consumed);
  } else if (!DecodeCodePage(last, consumed)) {
    return 0;
  }

  if (unitCount == 0) {
    status |= kTextEmptyChunk;
    return 0;
  }
  if (last) {
    byteCount = 0;
  } else {
    std::memmove(bytes.get(), bytes.get() + consumed, byteCount - consumed);
    byteCount -= consumed;
  }
  return units[0];
}
