// Character tables for MTEF 2 and 4, which store a character as one byte: its position in
// the font its typeface stands for. Each table turns that byte into a 16-bit character
// code (Unicode, or MathType's private codes); bytes without an entry stand for themselves.
#pragma once

#include <cstdint>

std::uint16_t mapSymbolChar(std::uint8_t byte);  // typefaces 132, 133, 134
std::uint16_t mapExtraChar(std::uint8_t byte);   // typeface 139 (MT Extra)
std::uint16_t mapExpandChar(std::uint8_t byte);  // typeface 150 (expandable characters)
