// Code-page conversions of the simulated Windows. The code page 932 table is read once from the
// host's iconv ("CP932", Microsoft's mapping); UTF-8 is converted by hand.
#include "sim_internal.h"
#include <iconv.h>
#include <locale.h>
#include <wctype.h>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {
// Both directions of code page 932: a one- or two-byte code per UTF-16 unit (0: none) and the
// unit of every code (0: none).
struct Cp932Table {
    std::vector<uint16_t> toCode = std::vector<uint16_t>(0x10000, 0);
    std::vector<char16_t> toUnit = std::vector<char16_t>(0x10000, 0);
};

char16_t UnitOf(iconv_t cd, const unsigned char *bytes, size_t n) {
    char in[2] = {(char)bytes[0], n > 1 ? (char)bytes[1] : '\0'};
    char out[8];
    char *ip = in, *op = out;
    size_t il = n, ol = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &ip, &il, &op, &ol) == (size_t)-1 || il != 0 || op - out != 2) return 0;
    return (char16_t)((unsigned char)out[0] | ((unsigned char)out[1] << 8));
}

const Cp932Table &Table() {
    static const Cp932Table table = [] {
        Cp932Table t;
        iconv_t cd = iconv_open("UTF-16LE", "CP932");
        if (cd == (iconv_t)-1) abort(); // the host lacks the code page: nothing can be simulated
        for (unsigned b = 0; b < 0x100; b++) {
            unsigned char one = (unsigned char)b;
            if (SimIsLead(one)) {
                for (unsigned trail = 0x40; trail <= 0xFC; trail++) {
                    unsigned char two[2] = {one, (unsigned char)trail};
                    char16_t unit = UnitOf(cd, two, 2);
                    uint16_t code = (uint16_t)(b << 8 | trail);
                    if (!unit) continue;
                    t.toUnit[code] = unit;
                    // Of a character held twice, Windows writes the lower code, except that the
                    // IBM extension (0xFA40 on) goes before the NEC selection of it (0xED40 on).
                    uint16_t held = t.toCode[unit];
                    if (!held || (held >= 0xED40 && held <= 0xEEFC && code >= 0xFA40)) t.toCode[unit] = code;
                }
                continue;
            }
            char16_t unit = b == 0 ? 0 : UnitOf(cd, &one, 1);
            if (b == 0 || unit) {
                t.toUnit[b] = unit;
                if (b && !t.toCode[unit]) t.toCode[unit] = (uint16_t)b;
            }
        }
        iconv_close(cd);
        return t;
    }();
    return table;
}

// Windows' best fit of an accented Latin-1 letter: its plain letter; 0 when there is none.
char BestFit(char16_t unit) {
    static const char LATIN1[] = "AAAAAAACEEEEIIIIDNOOOOO OUUUUY  aaaaaaaceeeeiiiidnooooo ouuuuy y";
    if (unit < 0xC0 || unit > 0xFF) return 0;
    char plain = LATIN1[unit - 0xC0];
    return plain == ' ' ? 0 : plain;
}

std::u16string FromUtf8(const unsigned char *s, size_t n, bool *invalid) {
    std::u16string out;
    for (size_t i = 0; i < n;) {
        unsigned c = s[i], extra = c < 0x80 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 9;
        if (extra == 9 || i + extra >= n) {
            *invalid = true;
            out += u'\uFFFD';
            i++;
            continue;
        }
        unsigned code = extra ? c & (0x3F >> extra) : c;
        for (unsigned k = 1; k <= extra; k++) code = code << 6 | (s[i + k] & 0x3F);
        i += extra + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += (char16_t)(0xD800 + (code >> 10));
            out += (char16_t)(0xDC00 + (code & 0x3FF));
        } else {
            out += (char16_t)code;
        }
    }
    return out;
}

std::string ToUtf8(const char16_t *w, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; i++) {
        unsigned code = w[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (w[++i] - 0xDC00);
        if (code < 0x80) {
            out += (char)code;
        } else if (code < 0x800) {
            out += (char)(0xC0 | code >> 6);
            out += (char)(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += (char)(0xE0 | code >> 12);
            out += (char)(0x80 | ((code >> 6) & 0x3F));
            out += (char)(0x80 | (code & 0x3F));
        } else {
            out += (char)(0xF0 | code >> 18);
            out += (char)(0x80 | ((code >> 12) & 0x3F));
            out += (char)(0x80 | ((code >> 6) & 0x3F));
            out += (char)(0x80 | (code & 0x3F));
        }
    }
    return out;
}
} // namespace

std::u16string SimWideOf(const std::string &text) {
    const Cp932Table &t = Table();
    std::u16string out;
    for (size_t i = 0; i < text.size(); i++) {
        unsigned char b = (unsigned char)text[i];
        if (SimIsLead(b) && i + 1 < text.size()) {
            char16_t unit = t.toUnit[(uint16_t)(b << 8 | (unsigned char)text[i + 1])];
            out += unit ? unit : u'\u30FB';
            i++;
        } else {
            char16_t unit = t.toUnit[b];
            out += unit || !b ? unit : (char16_t)b;
        }
    }
    return out;
}

bool SimCodePageOf(const std::u16string &wide, std::string &text, bool bestFit, const char *defaultChar,
                   bool *defaulted) {
    const Cp932Table &t = Table();
    bool exact = true;
    if (defaulted) *defaulted = false;
    text.clear();
    for (char16_t unit : wide) {
        uint16_t code = unit ? t.toCode[unit] : 0;
        if (!unit) {
            text += '\0';
        } else if (code) {
            if (code > 0xFF) text += (char)(code >> 8);
            text += (char)(code & 0xFF);
        } else {
            exact = false;
            char plain = bestFit ? BestFit(unit) : 0;
            if (plain) {
                text += plain;
            } else {
                text += defaultChar ? defaultChar : "?";
                if (defaulted) *defaulted = true;
            }
        }
    }
    return exact;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int size) {
    if (!text || length == 0 || size < 0 || (codePage != CP_ACP && codePage != 932 && codePage != CP_UTF8))
        return SimFail(ERROR_INVALID_PARAMETER, 0);
    size_t n = length < 0 ? strlen(text) + 1 : (size_t)length;
    std::u16string out;
    if (codePage == CP_UTF8) {
        bool invalid = false;
        out = FromUtf8((const unsigned char *)text, n, &invalid);
        if (invalid && (flags & MB_ERR_INVALID_CHARS)) return SimFail(1113 /* ERROR_NO_UNICODE_TRANSLATION */, 0);
    } else {
        out = SimWideOf(std::string(text, n));
    }
    if (size == 0) return (int)out.size();
    if (out.size() > (size_t)size) return SimFail(ERROR_INSUFFICIENT_BUFFER, 0);
    memcpy(wide, out.data(), out.size() * sizeof(WCHAR));
    return (int)out.size();
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int length, LPSTR text, int size,
                        LPCSTR defaultChar, LPBOOL usedDefault) {
    if (!wide || length == 0 || size < 0 || (codePage != CP_ACP && codePage != 932 && codePage != CP_UTF8))
        return SimFail(ERROR_INVALID_PARAMETER, 0);
    // UTF-8 takes neither a default character nor its flag (Win32 refuses them).
    if (codePage == CP_UTF8 && (defaultChar || usedDefault)) return SimFail(ERROR_INVALID_PARAMETER, 0);
    size_t n = 0;
    if (length < 0)
        while (wide[n++]) {
        }
    else
        n = (size_t)length;
    std::string out;
    if (codePage == CP_UTF8) {
        out = ToUtf8(wide, n);
    } else {
        bool defaulted;
        SimCodePageOf(std::u16string(wide, n), out, !(flags & WC_NO_BEST_FIT_CHARS), defaultChar, &defaulted);
        if (usedDefault) *usedDefault = defaulted;
    }
    if (size == 0) return (int)out.size();
    if (out.size() > (size_t)size) return SimFail(ERROR_INSUFFICIENT_BUFFER, 0);
    memcpy(text, out.data(), out.size());
    return (int)out.size();
}

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
    if (!text || length == 0) return 0;
    // The host's Unicode case table, whatever locale the process runs in.
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", (locale_t)0);
    if (!unicode) abort(); // the host lacks the locale: the upper-casing cannot be simulated
    std::u16string wide = SimWideOf(std::string(text, length));
    for (char16_t &unit : wide)
        if (unit < 0xD800 || unit > 0xDFFF) unit = (char16_t)towupper_l(unit, unicode);
    std::string upper;
    SimCodePageOf(wide, upper, true);
    size_t written = upper.size() < length ? upper.size() : length;
    memcpy(text, upper.data(), written);
    return (DWORD)written;
}
