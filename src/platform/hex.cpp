#include "platform/hex.h"

#include <array>

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

}  // namespace

std::string decodeHex(std::string_view text) {
  std::string bytes(text.size() / 2, '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>(kDigitValue[in[2 * i]] * 16 + kDigitValue[in[2 * i + 1]]);
  return bytes;
}

void appendHex(std::string& out, std::string_view bytes) {
  const std::size_t start = out.size();
  out.resize(start + bytes.size() * 2);
  char* p = out.data() + start;
  for (unsigned char b : bytes) {
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 15];
  }
}

}  // namespace platform
