#include "cli/hex_argument.h"

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::uint32_t parseHexArgument(const char* text, std::uint32_t fallback, bool* anyDigit)
{
    const char* p = text;
    while (isSpace(*p)) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // "0x" with no digit after it still reads the 0 as a digit.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && hexDigitValue(p[2]) >= 0) {
        p += 2;
    } else if (p[0] == '$' && hexDigitValue(p[1]) >= 0) {
        p += 1;  // the assembler's way of writing hexadecimal
    }

    std::uint32_t value = 0;
    int significantDigits = 0;
    bool digitRead = false;
    for (int digit = hexDigitValue(*p); digit >= 0; digit = hexDigitValue(*++p)) {
        digitRead = true;
        if (value == 0 && digit == 0) {
            continue;  // leading zeros are not significant
        }
        if (++significantDigits > 8) {
            if (anyDigit != nullptr) {
                *anyDigit = true;
            }
            return 0xFFFFFFFFu;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    if (anyDigit != nullptr) {
        *anyDigit = digitRead;
    }
    if (!digitRead) {
        return fallback;
    }
    return negative ? 0u - value : value;
}
