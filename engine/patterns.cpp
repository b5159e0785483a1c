// Word splitting, wildcard matching and the code page 932 byte primitives.
#include "patterns.h"
#include <string.h>
#include <string>

// Walks a string keeping track of byte classes: Next() gives the class of the next byte.
struct ByteClassWalker {
    bool afterLead = false;
    char Next(unsigned char b) {
        if (afterLead) {
            afterLead = false;
            return BYTE_CLASS_TRAIL;
        }
        if (IsLeadByteValue(b)) {
            afterLead = true;
            return BYTE_CLASS_LEAD;
        }
        return BYTE_CLASS_SINGLE;
    }
};

void ByteClasses(const char *text, char *map) {
    ByteClassWalker w;
    size_t i = 0;
    for (; text[i]; i++) map[i] = w.Next((unsigned char)text[i]);
    map[i] = 0;
}

char *FindSingleByteChar(const char *text, char ch) {
    ByteClassWalker w;
    for (const char *p = text; *p; p++)
        if (w.Next((unsigned char)*p) == BYTE_CLASS_SINGLE && *p == ch) return (char *)p;
    return nullptr;
}

char *FindLastSingleByteChar(const char *text, char ch) {
    ByteClassWalker w;
    const char *found = nullptr;
    for (const char *p = text; *p; p++)
        if (w.Next((unsigned char)*p) == BYTE_CLASS_SINGLE && *p == ch) found = p;
    return (char *)found;
}

char *UpcaseAscii(char *text) {
    ByteClassWalker w;
    for (char *p = text; *p; p++)
        if (w.Next((unsigned char)*p) == BYTE_CLASS_SINGLE && *p >= 'a' && *p <= 'z') *p = (char)(*p - 'a' + 'A');
    return text;
}

// ---- SplitWords ----

enum QuoteState { QUOTE_NONE, QUOTE_SINGLE, QUOTE_DOUBLE };

// Follows the quote state over one single-byte character.
static void FollowQuote(QuoteState &state, char c) {
    if (c == '\'') {
        if (state == QUOTE_NONE) state = QUOTE_SINGLE;
        else if (state == QUOTE_SINGLE) state = QUOTE_NONE;
    } else if (c == '"') {
        if (state == QUOTE_NONE) state = QUOTE_DOUBLE;
        else if (state == QUOTE_DOUBLE) state = QUOTE_NONE;
    }
}

// One pass over the text: counts the words, and when `words` is given records their starts and
// ends each word with a NUL. Returns the final quote state.
static QuoteState ScanWords(char *text, int *count, char **words) {
    QuoteState state = QUOTE_NONE;
    ByteClassWalker w;
    bool inWord = false;
    int n = 0;
    for (char *p = text; *p; p++) {
        bool single = w.Next((unsigned char)*p) == BYTE_CLASS_SINGLE;
        if (single && state == QUOTE_NONE && (*p == ' ' || *p == '\t')) {
            if (inWord && words) *p = 0;
            inWord = false;
            continue;
        }
        if (!inWord) {
            if (words) words[n] = p;
            n++;
            inWord = true;
        }
        if (single) FollowQuote(state, *p);
    }
    *count = n;
    return state;
}

// Deletes the quote characters of one word in place: a double quote outside single quotes and a
// single quote outside double quotes; a quote of the other kind inside quotes stays.
static void RemoveQuotes(char *word) {
    QuoteState state = QUOTE_NONE;
    ByteClassWalker w;
    char *out = word;
    for (char *p = word; *p; p++) {
        bool single = w.Next((unsigned char)*p) == BYTE_CLASS_SINGLE;
        if (single && ((*p == '"' && state != QUOTE_SINGLE) || (*p == '\'' && state != QUOTE_DOUBLE))) {
            FollowQuote(state, *p);
            continue;
        }
        *out++ = *p;
    }
    *out = 0;
}

int SplitWords(char *text, int *count, char ***words) {
    int n = 0;
    if (ScanWords(text, &n, nullptr) != QUOTE_NONE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return SPLIT_UNBALANCED_QUOTES;
    }
    char **list = nullptr;
    if (n > 0) {
        list = (char **)LocalAlloc(LMEM_FIXED, (size_t)n * sizeof(char *));
        if (!list) return SPLIT_NO_MEMORY;
        ScanWords(text, &n, list);
        for (int i = 0; i < n; i++) RemoveQuotes(list[i]);
    }
    *count = n;
    *words = list;
    return 0;
}

// ---- MatchWildcard ----
//
// Both strings are read as if marked: a start mark (0x1E) before and an end mark (0x1F) after.
// Every byte becomes a key that holds its class and, for single-byte letters, the upper-case
// letter, so that "equal with the same class, or single-byte and equal after folding a–z" is
// one comparison of keys. The pattern is cut at its single-byte stars into segments; a run of
// stars and question marks is read with its question marks first ("*?" is "?*"), so no segment
// after the first starts with "?". The name is then scanned once, never going back: when the
// current segment fails part-way, only the failing byte is tried against its first byte.

static const char START_MARK = 0x1E;
static const char END_MARK = 0x1F;
static const unsigned short KEY_ANY = 0xFFFF; // a single-byte "?" in the pattern
// Names and patterns are at most 259 bytes; longer ones (which no field lets through) are
// matched in a heap buffer instead of being cut.
static const size_t MATCH_STACK_BYTES = 600;

static constexpr unsigned short ByteKey(unsigned char b, char cls) {
    if (cls == BYTE_CLASS_SINGLE && b >= 'a' && b <= 'z') b = (unsigned char)(b - 32);
    return (unsigned short)(((unsigned)cls << 8) | b);
}

// The key of every byte value as a single-byte character and as a lead byte candidate, so that
// the scan of a name costs one table look-up per byte.
enum { KIND_PLAIN, KIND_LEAD, KIND_WILDCARD };
struct KeyTables {
    unsigned short single[256];
    bool lead[256];
    unsigned char kind[256]; // of a byte that does not follow a lead byte
    constexpr KeyTables() : single(), lead(), kind() {
        for (int b = 0; b < 256; b++) {
            single[b] = ByteKey((unsigned char)b, BYTE_CLASS_SINGLE);
            lead[b] = IsLeadByteValue((unsigned char)b);
            kind[b] = lead[b] ? KIND_LEAD : (b == '*' || b == '?') ? KIND_WILDCARD : KIND_PLAIN;
        }
    }
};
static constexpr KeyTables KEYS;

// `keys` gets the pattern's segments one after another (stars removed); segment i covers
// keys[start[i]] .. keys[start[i+1] - 1]. Returns the number of stars; *empty gets the number of
// empty segments.
static int CompilePattern(const char *pattern, unsigned short *keys, int *start, int *empty) {
    int n = 0, k = 0, emptySegments = 0;
    start[0] = 0;
    keys[n++] = KEYS.single[(unsigned char)START_MARK];
    bool afterLead = false;
    const unsigned char *p = (const unsigned char *)pattern;
    for (; *p; p++) {
        unsigned char b = *p;
        if (afterLead) {
            keys[n++] = (unsigned short)((BYTE_CLASS_TRAIL << 8) | b);
            afterLead = false;
            continue;
        }
        unsigned char kind = KEYS.kind[b];
        if (kind == KIND_PLAIN) {
            keys[n++] = KEYS.single[b];
        } else if (kind == KIND_LEAD) {
            keys[n++] = (unsigned short)((BYTE_CLASS_LEAD << 8) | b);
            afterLead = true;
        } else {
            // A run of wildcards: its question marks join the current segment, then each star
            // cuts one (two stars side by side leave an empty segment between them).
            int stars = 0;
            for (; *p == '*' || *p == '?'; p++) {
                if (*p == '?') keys[n++] = KEY_ANY;
                else stars++;
            }
            p--;
            for (int i = 0; i < stars; i++) {
                start[++k] = n;
                if (i > 0) emptySegments++;
            }
        }
    }
    keys[n++] = afterLead ? (unsigned short)((BYTE_CLASS_TRAIL << 8) | (unsigned char)END_MARK)
                          : KEYS.single[(unsigned char)END_MARK];
    start[k + 1] = n;
    *empty = emptySegments;
    return k;
}

static int MatchCompiled(const char *name, const unsigned short *keys, const int *start, int k) {
    int i = 0, progress = 0;
    const unsigned short *seg = keys + start[0];
    int len = start[1] - start[0];
    const unsigned char *np = (const unsigned char *)name;
    bool atEnd = false;
    unsigned char b = (unsigned char)START_MARK;
    bool afterLead = false;
    for (;;) {
        unsigned short key;
        if (!afterLead && !KEYS.lead[b]) {
            key = KEYS.single[b];
        } else if (afterLead) {
            key = (unsigned short)((BYTE_CLASS_TRAIL << 8) | b);
            afterLead = false;
        } else {
            key = (unsigned short)((BYTE_CLASS_LEAD << 8) | b);
            afterLead = true;
        }
        if (len == 0) {
            // An empty segment (two stars side by side) is complete after one byte.
            progress = len;
        } else if (seg[progress] == key || seg[progress] == KEY_ANY) {
            progress++;
        } else {
            progress = seg[0] == key ? 1 : 0;
        }
        if (progress == len) {
            if (++i > k) break;
            seg = keys + start[i];
            len = start[i + 1] - start[i];
            progress = 0;
        }
        if (atEnd) break;
        if (*np) {
            b = *np++;
        } else {
            b = (unsigned char)END_MARK;
            atEnd = true;
        }
    }
    return i == k + 1 && atEnd;
}

// Could a name byte ever equal this pattern key? Cheap and class-blind: a "no" is certain (equal
// keys mean an equal byte, or a lower-case letter whose upper case is the key's byte).
static inline bool MayEqual(unsigned short key, unsigned char b) {
    unsigned char low = (unsigned char)key;
    return key == KEY_ANY || low == b || (b >= 'a' && b <= 'z' && low == b - 32);
}

// Rejects most names that cannot match without the full scan: the first segment must match the
// name's first bytes and the last segment its last bytes, since neither can restart.
static bool CannotMatch(const char *name, size_t nameLen, const unsigned short *keys, const int *start, int k,
                        int empty) {
    // Every key takes one byte of the marked name, and so does every empty segment.
    if ((size_t)(start[k + 1] + empty) > nameLen + 2) return true;
    auto byteAt = [&](size_t t) -> unsigned char {
        return t == 0 ? (unsigned char)START_MARK : t <= nameLen ? (unsigned char)name[t - 1] : (unsigned char)END_MARK;
    };
    for (int t = 1; t < start[1]; t++)
        if (!MayEqual(keys[t], byteAt((size_t)t))) return true;
    size_t lastLen = (size_t)(start[k + 1] - start[k]);
    for (size_t t = 0; t + 1 < lastLen; t++)
        if (!MayEqual(keys[start[k] + t], byteAt(nameLen + 2 - lastLen + t))) return true;
    return false;
}

static int Match(const char *name, const char *pattern, unsigned short *keys, int *start) {
    int empty;
    int k = CompilePattern(pattern, keys, start, &empty);
    if (CannotMatch(name, strlen(name), keys, start, k, empty)) return 0;
    return MatchCompiled(name, keys, start, k);
}

int MatchWildcard(const char *name, const char *pattern) {
    if (pattern[0] == '*' && pattern[1] == 0) return 1;
    if (pattern[0] == 0) return 0;
    if (strnlen(pattern, MATCH_STACK_BYTES - 2) == MATCH_STACK_BYTES - 2) {
        size_t patLen = strlen(pattern);
        std::basic_string<unsigned short> keys(patLen + 2, 0);
        std::basic_string<int> start(patLen + 3, 0);
        return Match(name, pattern, &keys[0], &start[0]);
    }
    unsigned short keys[MATCH_STACK_BYTES];
    int start[MATCH_STACK_BYTES + 1];
    return Match(name, pattern, keys, start);
}
