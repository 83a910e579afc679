#include "platform/hex.h"

#include <algorithm>
#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Where the compiler can build a function for AVX2 and ask the processor at run time,
// decoding takes 32 digits at a time on processors that have it.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define VELOTRIX_AVX2_HEX 1
#include <immintrin.h>
#endif

namespace platform {
namespace {

constexpr std::array<std::uint8_t, 256> makeDigitTable() {
  std::array<std::uint8_t, 256> table{};
  for (int c = '0'; c <= '9'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - 'A' + 10);
  return table;
}

constexpr std::array<std::uint8_t, 256> kDigitValue = makeDigitTable();
constexpr char kDigits[] = "0123456789abcdef";

#if defined(VELOTRIX_AVX2_HEX)
const bool kHasAvx2 = __builtin_cpu_supports("avx2");

// Decodes 16 bytes at a time while the 32 digits for them are all hex digits (with
// kLowerOnly, lower-case ones); returns the bytes decoded.
template <bool kLowerOnly>
__attribute__((target("avx2"))) std::size_t decodeBlocks32(const unsigned char* in, char* out, std::size_t count) {
  const __m256i zero = _mm256_set1_epi8('0' - 1), nine = _mm256_set1_epi8('9' + 1);
  const __m256i a = _mm256_set1_epi8('a' - 1), f = _mm256_set1_epi8('f' + 1);
  const __m256i caseBit = _mm256_set1_epi8(0x20), low4 = _mm256_set1_epi8(0x0f), letterAdd = _mm256_set1_epi8(9);
  const __m256i lowByte = _mm256_set1_epi16(0x00ff);
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i));
    const __m256i digit = _mm256_and_si256(_mm256_cmpgt_epi8(v, zero), _mm256_cmpgt_epi8(nine, v));
    const __m256i lower = kLowerOnly ? v : _mm256_or_si256(v, caseBit);
    const __m256i letter = _mm256_and_si256(_mm256_cmpgt_epi8(lower, a), _mm256_cmpgt_epi8(f, lower));
    if (static_cast<unsigned>(_mm256_movemask_epi8(_mm256_or_si256(digit, letter))) != 0xffffffffu) break;
    const __m256i nibbles = _mm256_add_epi8(_mm256_and_si256(v, low4), _mm256_and_si256(letter, letterAdd));
    const __m256i pairs = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(nibbles, lowByte), 4),
                                          _mm256_srli_epi16(nibbles, 8));
    // Packing works within each 128-bit half: the two halves' eight bytes are joined.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(pairs, pairs), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_castsi256_si128(packed));
  }
  return i;
}
#endif

#if defined(__SSE2__)
// Sixteen digits at a time while they are all hex digits (with kLowerOnly, lower-case
// ones); returns the bytes decoded.
template <bool kLowerOnly>
std::size_t decodeBlocks16(const unsigned char* in, char* out, std::size_t count) {
  const __m128i zero = _mm_set1_epi8('0' - 1), nine = _mm_set1_epi8('9' + 1);
  const __m128i a = _mm_set1_epi8('a' - 1), f = _mm_set1_epi8('f' + 1);
  const __m128i caseBit = _mm_set1_epi8(0x20), low4 = _mm_set1_epi8(0x0f), letterAdd = _mm_set1_epi8(9);
  const __m128i lowByte = _mm_set1_epi16(0x00ff);
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(v, zero), _mm_cmpgt_epi8(nine, v));
    const __m128i lower = kLowerOnly ? v : _mm_or_si128(v, caseBit);
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(lower, a), _mm_cmpgt_epi8(f, lower));
    if (_mm_movemask_epi8(_mm_or_si128(digit, letter)) != 0xffff) break;
    const __m128i nibbles = _mm_add_epi8(_mm_and_si128(v, low4), _mm_and_si128(letter, letterAdd));
    // Each 16-bit lane holds the high digit in its low byte and the low digit above it.
    const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, lowByte), 4),
                                       _mm_srli_epi16(nibbles, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(pairs, pairs));
  }
  return i;
}
#endif

// Whole blocks of lower-case digits, the widest way the processor has; returns the bytes
// decoded.
std::size_t decodeLowerBlocks(const unsigned char* in, char* out, std::size_t count) {
  std::size_t i = 0;
#if defined(VELOTRIX_AVX2_HEX)
  if (kHasAvx2) i = decodeBlocks32<true>(in, out, count);
#endif
#if defined(__SSE2__)
  i += decodeBlocks16<true>(in + 2 * i, out + i, count - i);
#endif
  return i;
}

}  // namespace

std::string decodeHex(std::string_view text) {
  std::string bytes;
  decodeHex(text, bytes);
  return bytes;
}

void decodeHex(std::string_view text, std::string& bytes) {
  bytes.resize(text.size() / 2);
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  char* out = bytes.data();
  std::size_t i = 0;
#if defined(VELOTRIX_AVX2_HEX)
  if (kHasAvx2) i = decodeBlocks32<false>(in, out, bytes.size());
#endif
#if defined(__SSE2__)
  i += decodeBlocks16<false>(in + 2 * i, out + i, bytes.size() - i);
#endif
  for (; i < bytes.size(); ++i)
    out[i] = static_cast<char>(kDigitValue[in[2 * i]] * 16 + kDigitValue[in[2 * i + 1]]);
}

std::size_t decodeHexLines(const char* text, std::size_t n, char* out, int& pending, std::size_t& produced) {
  const auto* in = reinterpret_cast<const unsigned char*>(text);
  char* o = out;
  std::size_t i = 0;
  while (i < n) {
    if (pending < 0) {
      const std::size_t decoded = decodeLowerBlocks(in + i, o, (n - i) / 2);
      i += 2 * decoded;
      o += decoded;
      if (i >= n) break;
    }
    // What the blocks stopped at: line breaks and digits one at a time, until a line of
    // whole pairs starts again.
    for (; i < n; ++i) {
      const unsigned char c = in[i];
      if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')) {
        const int value = kDigitValue[c];
        if (pending < 0) {
          pending = value;
        } else {
          *o++ = static_cast<char>(pending * 16 + value);
          pending = -1;
        }
      } else if (c != '\r' && c != '\n') {
        produced = static_cast<std::size_t>(o - out);
        return i;
      } else if (i + 1 < n && pending < 0 && in[i + 1] != '\r' && in[i + 1] != '\n') {
        ++i;  // a line of digits starts after the break
        break;
      }
    }
  }
  produced = static_cast<std::size_t>(o - out);
  return i;
}

void appendHex(std::string& out, std::string_view bytes) {
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 2);
  char* p = out.data() + start;
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: the high and low nibbles interleaved, then each nibble made
  // a digit ('0' + n, and 39 more for the letters).
  const __m128i low4 = _mm_set1_epi8(0x0f), nine = _mm_set1_epi8(9);
  const __m128i zeroDigit = _mm_set1_epi8('0'), letterGap = _mm_set1_epi8('a' - '0' - 10);
  const auto digits = [&](__m128i nibbles) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), letterGap);
    return _mm_add_epi8(_mm_add_epi8(nibbles, zeroDigit), letters);
  };
  for (; i + 16 <= bytes.size(); i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), low4);
    const __m128i low = _mm_and_si128(v, low4);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), digits(_mm_unpacklo_epi8(high, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), digits(_mm_unpackhi_epi8(high, low)));
    p += 32;
  }
#endif
  for (; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 15];
  }
}

}  // namespace platform
