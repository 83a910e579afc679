#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/host_simulator.h"
#include "rtf/input.h"

namespace {

// Renders every token of a document as "kind:text[=value]".
std::vector<std::string> tokens(const std::string& doc, std::size_t chunk = 4096) {
  HostBeginString(doc, chunk);
  RtfInput in;
  InitRtfInput(in, HostCallback(), HostBuffer());
  std::vector<std::string> out;
  for (;;) {
    RtfToken t = NextRtfToken(in);
    if (t.kind == kTokenNone) break;
    std::string s = std::to_string(t.kind) + ":" + t.text;
    if (t.kind == kTokenWordNum) s += "=" + std::to_string(t.value);
    out.push_back(s);
  }
  ReleaseRtfInput(in);
  HostEnd();
  return out;
}

using V = std::vector<std::string>;

TEST(Tokenizer, ReadsTheKindsOfToken) {
  struct Case {
    std::string input;
    V expected;
  } cases[] = {
      {"{\\rtf1\\ansi Hello}", {"1:{", "4:\\rtf=1", "3:\\ansi", "2:Hello", "1:}"}},
      {"\\'e9x", {"4:\\'=233", "2:x"}},
      {"\\'E9", {"4:\\'=233"}},
      {"\\'zz", {"3:\\'", "2:zz"}},
      {"\\'abc", {"4:\\'=171", "2:c"}},
      {"\\li-720\\fi", {"4:\\li=-720", "3:\\fi"}},
      {"\\f1abc", {"4:\\f=1", "2:abc"}},
      {"\\par\r\nx", {"3:\\par", "2:x"}},
      {"a\r\nb", {"2:ab"}},
      {"a\tb", {"2:a b"}},
      {"\\-\\~\\1", {"3:\\-", "3:\\~", "3:\\1"}},
      {"\\{x\\}", {"3:\\{", "2:x", "3:\\}"}},
      {"\\u8722?", {"4:\\u=8722", "2:?"}},
      {"\\x-", {"4:\\x=0"}},
      {"\\fs99999999999 ", {"4:\\fs=2147483647"}},
      {"\\a1-2", {"4:\\a=1", "2:-2"}},
      {"\\word", {"3:\\word"}},
      {"\\", {"3:"}},
  };
  for (const Case& c : cases) EXPECT_EQ(tokens(c.input), c.expected) << c.input;
  // A zero byte is text, wherever it stands.
  EXPECT_EQ(tokens(std::string("ab\0cd", 5)), (V{std::string("2:ab\0cd", 7)}));
  EXPECT_EQ(tokens(std::string("{\0\\b\0", 5)),
            (V{"1:{", std::string("2:\0", 3), "3:\\b", std::string("2:\0", 3)}));
}

TEST(Tokenizer, ChunkBoundariesDoNotChangeTokens) {
  const std::string doc =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Times;}}\r\n\\pard\\li-720 caf\\'e9\r\n"
      "line\r\nnext\\par\r\n\\u8722?\\'4a}";
  const V whole = tokens(doc, 1 << 16);
  for (std::size_t chunk : {1u, 2u, 3u, 7u}) EXPECT_EQ(tokens(doc, chunk), whole) << chunk;
}

TEST(Tokenizer, CarriageReturnAtChunkEdgePairsWithLineFeed) {
  // "a\r" in one chunk and "\nb" in the next: one line end, so one text run "ab".
  EXPECT_EQ(tokens("a\r\nb", 2), (V{"2:ab"}));
  EXPECT_EQ(tokens("\\par\r\nb", 5), (V{"3:\\par", "2:b"}));
  // A lone carriage return is a line end of its own.
  EXPECT_EQ(tokens("\\par\rb", 5), (V{"3:\\par", "2:b"}));
}

TEST(Tokenizer, EndsQuietlyWithoutHost) {
  RtfInput in;
  InitRtfInput(in, nullptr, nullptr);
  EXPECT_EQ(ReadRtfByte(in), 0);
  EXPECT_EQ(NextRtfToken(in).kind, kTokenNone);
  // A callback that reports data but whose buffer cannot be locked also ends the input.
  HostBeginString("abc", 4);
  InitRtfInput(in, HostCallback(), nullptr);
  EXPECT_EQ(ReadRtfByte(in), 0);
  HostEnd();
}

TEST(Tokenizer, OneBytePushBackAcrossChunks) {
  HostBeginString("abcd", 2);
  RtfInput in;
  InitRtfInput(in, HostCallback(), HostBuffer());
  EXPECT_EQ(ReadRtfByte(in), 'a');
  EXPECT_EQ(ReadRtfByte(in), 'b');
  EXPECT_EQ(ReadRtfByte(in), 'c');  // new chunk
  UnreadRtfByte(in);
  UnreadRtfByte(in);
  EXPECT_EQ(ReadRtfByte(in), 'b');  // kept from the previous chunk
  EXPECT_EQ(ReadRtfByte(in), 'c');
  EXPECT_EQ(ReadRtfByte(in), 'd');
  EXPECT_EQ(ReadRtfByte(in), 0);
  EXPECT_EQ(HostCallsRecord().unexpectedArgs, 0u);
  ReleaseRtfInput(in);
  HostEnd();
}

}  // namespace
