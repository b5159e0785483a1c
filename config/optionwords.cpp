// Option and key names, and the 32-bit hexadecimal word reader.
#include "optionwords.h"
#include <cstring>

static int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

DWORD ReadHexWord(const char *text) {
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // "0x" counts as a prefix only when a digit follows; otherwise the 0 is the number's only digit.
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0) p += 2;
    unsigned long long value = 0;
    for (int d; (d = HexDigitValue(*p)) >= 0; p++) {
        value = value * 16 + (unsigned)d;
        if (value > 0xFFFFFFFFull) value = 0xFFFFFFFFull; // too large: the largest word
    }
    // The Windows runtime negates after clamping, so "-123456789A" reads as 1.
    return negative ? (DWORD)(0u - (DWORD)value) : (DWORD)value;
}

static char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

bool StartsWithName(const char *text, const char *name) {
    for (; *name; text++, name++)
        if (UpperAscii(*text) != UpperAscii(*name)) return false;
    return true;
}

bool IsName(const char *text, const char *name) { return StartsWithName(text, name) && text[strlen(name)] == '\0'; }
