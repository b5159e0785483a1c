// Reads the log and missing-files documents back as a viewer shows them: one string per line,
// RTF escapes undone, colour words dropped.
#pragma once
#include "copylog.h"
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

inline std::vector<std::string> DocumentLines(const LogDocument &doc) {
    std::string text(doc.text, doc.length);
    static const std::string PROLOGUE_END = "\\fs18 ";
    size_t at = text.find(PROLOGUE_END);
    if (at == std::string::npos) return {"<no prologue>"};
    std::string plain;
    for (size_t i = at + PROLOGUE_END.size(); i < text.size();) {
        if (text[i] != '\\') {
            plain += text[i++];
        } else if (text.compare(i, 3, "\\cf") == 0) {
            i = text.find(' ', i) + 1;
        } else if (text.compare(i, 5, "\\par\n") == 0) {
            plain += '\n';
            i += 5;
        } else if (text.compare(i, 2, "\\u") == 0) {
            // A unit the code page lacks, as the tree layouts write it: "{E9}", a pair as "{1F600}".
            char *end;
            unsigned long unit = (unsigned short)strtol(text.c_str() + i + 2, &end, 10);
            i = (size_t)(end - text.c_str()) + 1;
            unsigned long low;
            if (unit >= 0xD800 && unit < 0xDC00 && text.compare(i, 2, "\\u") == 0 &&
                (low = (unsigned short)strtol(text.c_str() + i + 2, &end, 10)) >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i = (size_t)(end - text.c_str()) + 1;
            }
            char hex[16];
            snprintf(hex, sizeof hex, "{%lX}", unit);
            plain += hex;
        } else if (text.compare(i, 2, "\\'") == 0) {
            plain += (char)strtol(text.substr(i + 2, 2).c_str(), nullptr, 16);
            i += 4;
        } else {
            plain += text[i + 1];
            i += 2;
        }
    }
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = plain.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(plain.substr(start, end - start));
    return lines;
}

inline std::vector<std::string> LogLines() { return DocumentLines(g_copyLog); }

// How the summary record of a run begins, as its line reads.
#define SUMMARY_HEAD "! > > コピー "
inline std::vector<std::string> MissingLines() { return DocumentLines(g_missingList); }
