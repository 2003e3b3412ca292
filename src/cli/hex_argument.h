#pragma once
// Hexadecimal arguments of the command line: the mode word and offsets.

#include <cstdint>

// Reads `text` the way the "%X" conversion of formatted input reads an unsigned
// hexadecimal number: leading white space, an optional sign (a minus negates
// modulo 2^32), an optional 0x, 0X or $ prefix, then digits of either case up
// to the first other character; the rest is ignored. No digit at all gives
// `fallback` and clears *anyDigit when given. More than eight significant
// digits saturate at 0xFFFFFFFF, whatever the sign.
std::uint32_t parseHexArgument(const char* text, std::uint32_t fallback, bool* anyDigit = nullptr);

// The value of one hexadecimal digit of either case, or -1 for any other character.
int hexDigitValue(char c);
