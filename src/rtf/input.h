// The RTF input stream (bytes pulled from the host through its callback, with one byte of
// push-back) and the token reader on top of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

struct RtfInput {
  std::string buffer = " ";  // last byte of the previous chunk, then the current chunk
  std::int32_t position = 1;  // index of the byte delivered last
  platform::MemHandle rtfBuffer = nullptr;
  platform::RtfCallback rtfCallback = nullptr;
  bool endOfInput = false;
  bool locked = false;        // rtfBuffer is locked from the last refill
  std::uint64_t chunkStart = 0;  // document offset of buffer[1]
};

extern RtfInput gRtfInput;

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

// Text runs longer than this are delivered as several text tokens, so that a document
// without markup never needs more than this much memory for one token.
constexpr std::size_t kMaxTextRun = 64 * 1024;

// Binds the stream to the host's callback and transfer buffer and starts it afresh.
void InitRtfInput(platform::RtfCallback rtfCallback, platform::MemHandle rtfBuffer);
// Unlocks the host's buffer if the stream still holds it (at the end of a run).
void ReleaseRtfInput();

// Refills the stream from the host and returns the first new byte (0 at the end).
unsigned char RefillRtfInput();

// Returns the next byte, or 0 at the end of input.
inline unsigned char ReadRtfByte() {
  RtfInput& in = gRtfInput;
  if (in.endOfInput) return 0;
  ++in.position;
  if (in.position >= 0 && static_cast<std::size_t>(in.position) < in.buffer.size())
    return static_cast<unsigned char>(in.buffer[static_cast<std::size_t>(in.position)]);
  return RefillRtfInput();
}
void UnreadRtfByte();

// The document offset of the next byte the stream delivers.
inline std::uint64_t RtfInputOffset() {
  const RtfInput& in = gRtfInput;
  return in.chunkStart + static_cast<std::uint64_t>(in.position < 0 ? 0 : in.position);
}

// Reads one token; with a non-empty stop text, reads raw text up to and including the
// first place where the stop text ends the text read so far, and returns the text before.
// A zero byte is an ordinary byte of text; only the end of the input yields kind 0.
RtfToken NextRtfToken(std::string_view stopText);
// Hands a token back: the next ordinary reads return the tokens handed back, the last
// one first, before reading on.
void UnreadRtfToken(RtfToken token);

// Length of the text before a stop text that ends `text`, or -1 when it does not end it.
// A run of blanks in the stop text matches any run of blanks (or none) in the text.
std::int32_t MatchStopText(std::string_view text, std::string_view stopText);
