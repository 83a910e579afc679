// The RTF input stream (bytes pulled from the host through its callback, with one byte of
// push-back) and the token reader on top of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// Token kinds.
constexpr std::int32_t kTokenNone = 0;     // end of input
constexpr std::int32_t kTokenBrace = 1;    // "{" or "}"
constexpr std::int32_t kTokenText = 2;     // a text run
constexpr std::int32_t kTokenWord = 3;     // control symbol or word without parameter
constexpr std::int32_t kTokenWordNum = 4;  // control word or hex escape with a parameter

struct RtfToken {
  std::int32_t kind = kTokenNone;
  std::int32_t value = 0;
  std::string text;
};

// One run's input stream.
struct RtfInput {
  // The stream's bytes: the last byte of the previous chunk (index 0), then the chunk the
  // host lent, read where it lies while it stays locked (indexes 1 to chunkSize).
  char previous = ' ';
  const char* chunk = nullptr;
  std::size_t chunkSize = 0;
  std::int32_t position = 1;  // index of the byte delivered last
  platform::MemHandle rtfBuffer = nullptr;
  platform::RtfCallback rtfCallback = nullptr;
  bool endOfInput = false;
  bool locked = false;        // rtfBuffer is locked from the last refill
  std::uint64_t chunkStart = 0;  // document offset of buffer[1]
  // Set after a carriage return, so that a line feed right after it is skipped, even
  // when the two arrive in different chunks or different tokens.
  bool afterCarriageReturn = false;
  std::vector<RtfToken> pendingTokens;  // handed back with UnreadRtfToken, last on top
};

// Text runs longer than this are delivered as several text tokens, so that a document
// without markup never needs more than this much memory for one token.
constexpr std::size_t kMaxTextRun = 64 * 1024;

// Binds the stream to the host's callback and transfer buffer and starts it afresh.
void InitRtfInput(RtfInput& in, platform::RtfCallback rtfCallback, platform::MemHandle rtfBuffer);
// Unlocks the host's buffer if the stream still holds it (at the end of a run).
void ReleaseRtfInput(RtfInput& in);

// Refills the stream from the host and returns the first new byte (0 at the end).
unsigned char RefillRtfInput(RtfInput& in);

// Returns the next byte, or 0 at the end of input.
inline unsigned char ReadRtfByte(RtfInput& in) {
  if (in.endOfInput) return 0;
  ++in.position;
  if (in.position >= 1 && static_cast<std::size_t>(in.position) <= in.chunkSize)
    return static_cast<unsigned char>(in.chunk[in.position - 1]);
  if (in.position == 0) return static_cast<unsigned char>(in.previous);
  return RefillRtfInput(in);
}

// Where the stream's next byte stands in the chunk, when the bytes from there on can be
// read in place: nothing handed back, the input not ended, and the next byte not the one
// kept from the chunk before. The plain-stretch scanners start there and, having taken
// bytes up to chunk index `next`, set `position` to it.
inline bool RtfChunkRest(const RtfInput& in, std::size_t& next) {
  if (in.position < 0 || !in.pendingTokens.empty() || in.endOfInput) return false;
  next = static_cast<std::size_t>(in.position);
  return next <= in.chunkSize;
}
void UnreadRtfByte(RtfInput& in);

// The document offset of the next byte the stream delivers.
inline std::uint64_t RtfInputOffset(const RtfInput& in) {
  return in.chunkStart + static_cast<std::uint64_t>(in.position < 0 ? 0 : in.position);
}

// Reads one token. A zero byte is an ordinary byte of text; only the end of the input
// yields kind 0.
RtfToken NextRtfToken(RtfInput& in);
// The same into `token`, whose text keeps its capacity from one token to the next.
void ReadRtfToken(RtfInput& in, RtfToken& token);

// The length of the plain stretch at `p` (at most `n` bytes): the bytes before the first
// brace, backslash, carriage return, line feed or tab.
std::size_t ScanPlainText(const char* p, std::size_t n);
// The same, stopping at a zero byte too.
std::size_t ScanPlainData(const char* p, std::size_t n);
// Hands a token back: the next reads return the tokens handed back, the last one first,
// before reading on.
void UnreadRtfToken(RtfInput& in, RtfToken token);
