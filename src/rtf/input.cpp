#include "rtf/input.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Where the compiler can build a function for AVX2 and ask the processor at run time, the
// stretch scan takes 32 bytes at a time on processors that have it.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define VELOTRIX_AVX2_SCAN 1
#include <immintrin.h>
#endif

namespace {

bool isLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(unsigned char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Bytes that end a plain stretch of a text run: markup, line ends and tabs. A zero byte
// is ordinary text: it is copied like any other byte.
struct PlainTextStops {
  bool table[256] = {};
  constexpr PlainTextStops() {
    for (unsigned char c : {'{', '}', '\\', '\r', '\n', '\t'}) table[c] = true;
  }
};
constexpr PlainTextStops kPlainTextStops;

}  // namespace

namespace {

// The length of the stretch at `p` before the first stop (and, with `zeroStops`, zero byte).
template <bool zeroStops>
bool stopsStretch(char c) {
  return kPlainTextStops.table[static_cast<unsigned char>(c)] || (zeroStops && c == 0);
}

#if defined(VELOTRIX_AVX2_SCAN)
const bool kHasAvx2 = __builtin_cpu_supports("avx2");

// The whole 32-byte blocks of the scan below; returns the stop found, or where the blocks
// ended (`found` false).
template <bool zeroStops>
__attribute__((target("avx2"))) std::size_t scanBlocks32(const char* p, std::size_t n, bool& found) {
  const __m256i open = _mm256_set1_epi8('{'), close = _mm256_set1_epi8('}'),
                slash = _mm256_set1_epi8('\\'), thirteen = _mm256_set1_epi8(13);
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i low = _mm256_cmpeq_epi8(_mm256_min_epu8(v, thirteen), v);
    const __m256i hit = _mm256_or_si256(_mm256_or_si256(low, _mm256_cmpeq_epi8(v, slash)),
                                        _mm256_or_si256(_mm256_cmpeq_epi8(v, open), _mm256_cmpeq_epi8(v, close)));
    for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
      if (stopsStretch<zeroStops>(p[at])) {
        found = true;
        return at;
      }
    }
  }
  found = false;
  return i;
}
#endif

template <bool zeroStops>
std::size_t scanStretch(const char* p, std::size_t n) {
  const auto stops = [](char c) { return stopsStretch<zeroStops>(c); };
  std::size_t i = 0;
#if defined(VELOTRIX_AVX2_SCAN)
  if (kHasAvx2 && n >= 32) {
    bool found = false;
    i = scanBlocks32<zeroStops>(p, n, found);
    if (found) return i;
  }
#endif
#if defined(__SSE2__)
  // Sixteen bytes at a time. The candidates are the braces, the backslash and every byte
  // up to 13 (line ends and tabs among them); a candidate that is not a stop is passed.
  const __m128i open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}'),
                slash = _mm_set1_epi8('\\'), thirteen = _mm_set1_epi8(13);
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(v, thirteen), v);
    const __m128i hit = _mm_or_si128(_mm_or_si128(low, _mm_cmpeq_epi8(v, slash)),
                                     _mm_or_si128(_mm_cmpeq_epi8(v, open), _mm_cmpeq_epi8(v, close)));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
      if (stops(p[at])) return at;
    }
  }
#endif
  for (; i < n; ++i)
    if (stops(p[i])) return i;
  return n;
}

}  // namespace

std::size_t ScanPlainText(const char* p, std::size_t n) { return scanStretch<false>(p, n); }
std::size_t ScanPlainData(const char* p, std::size_t n) { return scanStretch<true>(p, n); }

namespace {

// Appends the plain bytes that follow in the current chunk to a text run in one go.
void appendPlainText(RtfInput& in, std::string& text) {
  std::size_t start = 0;
  if (in.endOfInput || !RtfChunkRest(in, start)) return;
  const std::size_t room = kMaxTextRun > text.size() ? kMaxTextRun - text.size() : 0;
  const std::size_t limit = std::min(in.chunkSize, start + room);
  if (start >= limit) return;
  const std::size_t n = ScanPlainText(in.chunk + start, limit - start);
  text.append(in.chunk + start, n);
  in.position = static_cast<std::int32_t>(start + n);
}

// Reads the digits (an optional minus sign first) as a signed number, saturating at the
// 32-bit range the way the platform's string-to-long conversion does where long has 32
// bits. A lone minus sign is 0.
std::int32_t parseNumber(const std::string& digits, int base) {
  std::size_t i = 0;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) i = 1;
  std::int64_t v = 0;
  for (; i < digits.size(); ++i) {
    const auto c = static_cast<unsigned char>(digits[i]);
    const int d = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    v = v * base + d;
    if (v > std::int64_t{1} << 40) break;  // far beyond the range either way
  }
  if (negative) v = -v;
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

// Line feeds are removed from text runs and tabs become blanks.
void applyTextReplacements(std::string& text) {
  if (std::memchr(text.data(), '\n', text.size()) == nullptr &&
      std::memchr(text.data(), '\t', text.size()) == nullptr)
    return;
  std::size_t out = 0;
  for (char c : text) {
    if (c == '\n') continue;
    text[out++] = c == '\t' ? ' ' : c;
  }
  text.resize(out);
}

}  // namespace

void InitRtfInput(RtfInput& in, platform::RtfCallback rtfCallback, platform::MemHandle rtfBuffer) {
  ReleaseRtfInput(in);
  in = RtfInput{};
  in.rtfCallback = rtfCallback;
  in.rtfBuffer = rtfBuffer;
}

void ReleaseRtfInput(RtfInput& in) {
  if (in.locked) platform::memUnlock(in.rtfBuffer);
  in.locked = false;
}

unsigned char RefillRtfInput(RtfInput& in) {
  // Refill: keep the last byte so that one byte can be pushed back across the boundary.
  in.chunkStart += in.chunkSize;
  if (in.chunkSize != 0) in.previous = in.chunk[in.chunkSize - 1];
  in.chunk = nullptr;
  in.chunkSize = 0;
  ReleaseRtfInput(in);
  if (!in.rtfCallback) {
    in.endOfInput = true;
    return 0;
  }
  std::int32_t count = in.rtfCallback(1, 0);
  if (count <= 0) {
    in.endOfInput = true;
    return 0;
  }
  auto* data = static_cast<const char*>(platform::memLock(in.rtfBuffer));
  if (!data) {
    in.endOfInput = true;
    return 0;
  }
  in.locked = true;
  // Never read past the block the host lent us, whatever count it reported.
  std::size_t available = platform::memSize(in.rtfBuffer);
  std::size_t n = static_cast<std::size_t>(count);
  if (available != 0 && n > available) n = available;
  in.chunk = data;
  in.chunkSize = n;
  in.position = 1;
  return static_cast<unsigned char>(data[0]);
}

void UnreadRtfByte(RtfInput& in) {
  if (--in.position < -1) in.position = -1;
}

void UnreadRtfToken(RtfInput& in, RtfToken token) { in.pendingTokens.push_back(std::move(token)); }

RtfToken NextRtfToken(RtfInput& in) {
  RtfToken token;
  ReadRtfToken(in, token);
  return token;
}

void ReadRtfToken(RtfInput& in, RtfToken& token) {
  if (!in.pendingTokens.empty()) {
    token = std::move(in.pendingTokens.back());
    in.pendingTokens.pop_back();
    return;
  }
  enum Mode { kOrdinary = 0, kHexEscape = 2 };
  token.kind = kTokenNone;
  token.value = 0;
  token.text.clear();
  Mode mode = kOrdinary;
  std::string digits;
  std::string& text = token.text;

  for (;;) {
    unsigned char c = ReadRtfByte(in);
    // A zero byte is data; only the end of the input ends a token early.
    if (c == 0 && in.endOfInput) break;
    if (c == '\r') {
      in.afterCarriageReturn = true;
      c = '\n';
    } else if (c == '\n' && in.afterCarriageReturn) {
      in.afterCarriageReturn = false;
      continue;
    } else {
      in.afterCarriageReturn = false;
    }

    if (token.kind == kTokenNone) {
      if (c == '{' || c == '}') {
        token.kind = kTokenBrace;
        text += static_cast<char>(c);
        break;
      }
      token.kind = c == '\\' ? kTokenWord : kTokenText;
      // Line feeds never reach the text of a run; they are dropped as they come.
      if (c != '\n') text += static_cast<char>(c);
      if (token.kind == kTokenText) appendPlainText(in, text);
      continue;
    }

    if (token.kind == kTokenText) {
      if (c == '{' || c == '}' || c == '\\') {
        UnreadRtfByte(in);
        break;
      }
      if (c != '\n') text += static_cast<char>(c);
      appendPlainText(in, text);
      if (text.size() >= kMaxTextRun) break;
      continue;
    }

    // After a backslash.
    if (text.size() == 1) {
      text += static_cast<char>(c);
      if (c == '\'') {
        mode = kHexEscape;
        continue;
      }
      if (!isLetter(c)) break;  // a control symbol
      continue;
    }
    if (mode == kHexEscape) {
      if (isHexDigit(c) && digits.size() < 2) {
        digits += static_cast<char>(c);
        continue;
      }
      UnreadRtfByte(in);
      break;
    }
    if (isLetter(c) && digits.empty()) {
      text += static_cast<char>(c);
    } else if (isDigit(c) || (c == '-' && digits.empty())) {
      digits += static_cast<char>(c);
    } else {
      if (c != ' ' && c != '\n') UnreadRtfByte(in);
      break;
    }
  }

  if (token.kind == kTokenText) {
    applyTextReplacements(text);
  } else if (token.kind == kTokenWord) {
    if (text == "\\") text.clear();
    if (!digits.empty()) {
      token.kind = kTokenWordNum;
      token.value = parseNumber(digits, mode == kHexEscape ? 16 : 10);
    }
  }
}
