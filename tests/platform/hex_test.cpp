#include <gtest/gtest.h>

#include <string>

#include "platform/hex.h"

namespace {

TEST(Hex, DecodesEveryDigitPairWhereverItStands) {
  const std::string bytes0to15("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16);
  struct Case {
    std::string hex;
    std::string bytes;
  } cases[] = {
      {"", ""},
      {"abc", "\xab"},  // an odd trailing digit is dropped
      {"00ff7F80", std::string("\x00\xff\x7f\x80", 4)},
      {"000102030405060708090a0b0c0d0e0f", bytes0to15},
      {"000102030405060708090A0B0C0D0E0F0", bytes0to15},
      // A character that is not a digit counts as 0, inside a long run or at its end.
      {"00010203040506078z090a0b0c0d0e0f", std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x80\x09\x0a\x0b\x0c\x0d\x0e\x0f", 16)},
      {"000102030405060708090a0b0c0d0e0f1g", bytes0to15 + "\x10"},
      {"0g:/@`GF", std::string("\x00\x00\x00\x0f", 4)},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::decodeHex(c.hex), c.bytes) << c.hex;
  // Long runs are decoded many digits at a time: a stray character anywhere in them, or
  // an odd length, gives what decoding one pair at a time gives.
  const auto value = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : 0;
  };
  std::string run;
  for (int i = 0; i < 150; ++i) run += "0123456789abcdefABCDEF"[i * 7 % 22];
  for (std::size_t at = 0; at <= run.size(); ++at) {
    std::string hex = run.substr(0, at == run.size() ? at - 1 : run.size());
    if (at < hex.size()) hex[at] = "z\\}\r"[at % 4];
    std::string expected;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) expected += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
    EXPECT_EQ(platform::decodeHex(hex), expected) << at;
  }
}

}  // namespace
