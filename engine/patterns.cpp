// Word splitting, wildcard matching and the code page 932 byte primitives.
#include "patterns.h"
#include <string.h>

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
// The pattern is read element by element: a literal byte (its class must equal the name byte's
// class; single-byte letters compare folded to upper case), or a run of single-byte wildcards.
// In a run every "?" takes one byte of the name, of any class; the stars of a run take any number
// of bytes together, and every star after the first takes one byte more ("**" is "?*": two stars
// side by side leave a segment between them that takes one byte). A star remembers where it
// began; when the rest of the pattern fails, the last star takes one byte more and the rest is
// tried again from there. Only the last star ever needs to go back, so a pair costs at most name
// length times pattern length steps, and nothing is allocated.

struct FoldTable {
    unsigned char upper[256];
    constexpr FoldTable() : upper() {
        for (int b = 0; b < 256; b++) upper[b] = (unsigned char)(b >= 'a' && b <= 'z' ? b - 32 : b);
    }
};
static constexpr FoldTable FOLD;

// The double-byte characters that the pattern fields' upper-casing changes, each with the
// character it becomes, sorted; read once from the platform (see DoubleByteUpperCount).
#define DOUBLE_BYTE_FOLDS_MAX 512
struct DoubleByteFolds {
    int count;
    WORD from[DOUBLE_BYTE_FOLDS_MAX];
    WORD to[DOUBLE_BYTE_FOLDS_MAX];
    bool leadFolds[256]; // some character with this lead byte is folded, or is what one folds to
    bool leadMixed[256]; // ... and a character it is folded with has another lead byte
};

// One character as UTF-16, or 0 when it is not one unit.
static WCHAR WideOf(const char *character) {
    WCHAR wide[2];
    return MultiByteToWideChar(CP_ACP, 0, character, 2, wide, 2) == 1 ? wide[0] : 0;
}

// Every double-byte character is upper-cased on its own, as the field would upper-case it. The
// platform upper-cases through UTF-16, and code page 932 holds some characters twice (the NEC and
// IBM extensions): a change that only writes the same character with other bytes is no fold.
static DoubleByteFolds ReadDoubleByteFolds() {
    DoubleByteFolds folds;
    memset(&folds, 0, sizeof folds);
    for (unsigned lead = 0x81; lead <= 0xFC; lead++) {
        if (!IsLeadByteValue((unsigned char)lead)) continue;
        for (unsigned trail = 0x40; trail <= 0xFC; trail++) {
            if (trail == 0x7F) continue;
            char character[2] = {(char)lead, (char)trail}, upper[2] = {(char)lead, (char)trail};
            if (CharUpperBuffA(upper, 2) != 2 || memcmp(character, upper, 2) == 0) continue;
            if (!IsLeadByteValue((unsigned char)upper[0])) continue; // not a double-byte character
            WCHAR before = WideOf(character), after = WideOf(upper);
            if (!before || !after || before == after) continue;
            if (folds.count == DOUBLE_BYTE_FOLDS_MAX) return folds;
            // Taken in ascending order: the table stays sorted.
            folds.from[folds.count] = (WORD)(lead << 8 | trail);
            folds.to[folds.count] = (WORD)((unsigned char)upper[0] << 8 | (unsigned char)upper[1]);
            unsigned char upperLead = (unsigned char)upper[0];
            folds.leadFolds[lead] = folds.leadFolds[upperLead] = true;
            if (upperLead != lead) folds.leadMixed[lead] = folds.leadMixed[upperLead] = true;
            folds.count++;
        }
    }
    return folds;
}

static const DoubleByteFolds &Folds() {
    static const DoubleByteFolds folds = ReadDoubleByteFolds();
    return folds;
}

int DoubleByteUpperCount() { return Folds().count; }

// A double-byte character as the field's upper-casing leaves it.
static WORD FoldDoubleByte(const DoubleByteFolds &folds, WORD code) {
    if (!folds.leadFolds[code >> 8]) return code;
    int low = 0, high = folds.count;
    while (low < high) {
        int middle = (low + high) / 2;
        if (folds.from[middle] < code) low = middle + 1;
        else high = middle;
    }
    return low < folds.count && folds.from[low] == code ? folds.to[low] : code;
}

// Two double-byte characters (lead and trail bytes) that the field shows alike.
static bool SameDoubleByte(const unsigned char *a, const unsigned char *b) {
    if (a[0] == b[0] && a[1] == b[1]) return true;
    const DoubleByteFolds &folds = Folds();
    return FoldDoubleByte(folds, (WORD)(a[0] << 8 | a[1])) == FoldDoubleByte(folds, (WORD)(b[0] << 8 | b[1]));
}

// A quick refusal, before any matching: the pattern's last literal bytes (after its last
// wildcard) must end the name. Class-blind, so it only ever refuses pairs that cannot match.
static bool TailCannotMatch(const unsigned char *name, size_t nameLength, const unsigned char *pattern) {
    const unsigned char *tail = pattern;
    bool trail = false;
    for (const unsigned char *p = pattern; *p; p++) {
        if (!trail && (*p == '*' || *p == '?')) tail = p + 1;
        trail = !trail && IsLeadByteValue(*p);
    }
    if (tail == pattern) return false; // no wildcard: the scan compares the whole name anyway
    size_t tailLength = strlen((const char *)tail);
    if (tailLength > nameLength) return true;
    const unsigned char *end = name + nameLength - tailLength;
    // The tail begins a character. A name that matches ends in the tail's characters, each in
    // the same place, so each double-byte character of the tail is compared as one.
    for (size_t i = 0; i < tailLength; i++) {
        if (IsLeadByteValue(tail[i]) && i + 1 < tailLength) {
            if (!SameDoubleByte(tail + i, end + i)) return true;
            i++;
        } else if (FOLD.upper[tail[i]] != FOLD.upper[end[i]]) {
            return true;
        }
    }
    return false;
}

// The first byte in [from, end) that equals `folded` after folding, or null.
static const unsigned char *FindFolded(const unsigned char *from, const unsigned char *end, unsigned char folded) {
    const unsigned char *found = (const unsigned char *)memchr(from, folded, (size_t)(end - from));
    if (folded >= 'A' && folded <= 'Z') {
        const unsigned char *lower = (const unsigned char *)memchr(from, folded + 32, (size_t)(end - from));
        if (lower && (!found || lower < found)) found = lower;
    }
    return found;
}

// Whether the byte at `at` is a trail byte, given that the byte at `from` (at or before `at`) is
// one when `fromTrail`. Only the lead-valued bytes right before `at` need looking at: the byte
// after any other byte starts a character, and from there they pair up.
static bool IsTrailAt(const unsigned char *from, bool fromTrail, const unsigned char *at) {
    if (at == from) return fromTrail;
    size_t run = 0;
    const unsigned char *q = at;
    while (q > from && IsLeadByteValue(q[-1])) {
        q--;
        run++;
    }
    if (q == from && fromTrail) return (run - 1) % 2 == 1; // `from` ends a character
    return run % 2 == 1;
}

int MatchWildcard(const char *name, const char *pattern) {
    if (pattern[0] == '*' && pattern[1] == 0) return 1;
    if (pattern[0] == 0) return 0;
    const unsigned char *p = (const unsigned char *)pattern, *n = (const unsigned char *)name;
    const unsigned char *nameEnd = n + strlen(name);
    if (TailCannotMatch(n, (size_t)(nameEnd - n), p)) return 0;
    // Whether the byte at p, and at n, follows a lead byte (is a trail byte).
    bool pTrail = false, nTrail = false;
    // Where the last star began in the pattern (just after its run) and in the name, and the
    // pattern byte after it, folded, when that is a literal (0 otherwise): the star skips name
    // bytes that cannot equal it.
    const unsigned char *starP = nullptr, *starN = nullptr;
    bool starTrail = false;
    unsigned char starNext = 0;
    for (;;) {
        if (!pTrail && (*p == '*' || *p == '?')) {
            unsigned any = 0, stars = 0;
            for (; *p == '*' || *p == '?'; p++) {
                if (*p == '*') stars++;
                else any++;
            }
            if (stars) any += stars - 1;
            for (; any && *n; any--) {
                nTrail = !nTrail && IsLeadByteValue(*n);
                n++;
            }
            if (any == 0) {
                // A star that ends the pattern takes the rest of the name (unless the name ends in
                // a lone lead byte, which only a pattern ending the same way matches).
                if (stars && *p == 0) return IsTrailAt(n, nTrail, nameEnd) ? 0 : 1;
                if (stars) {
                    starP = p;
                    starN = n;
                    starTrail = nTrail;
                    // A double-byte character may be folded with one of another lead byte:
                    // then the star cannot skip ahead by its lead byte.
                    starNext = Folds().leadMixed[*p] ? 0 : FOLD.upper[*p];
                }
                continue;
            }
            // The name ended inside the run: fall through to going back.
        } else if (*p == 0) {
            // Both ends reached; a name or pattern that ends in a lone lead byte matches only its
            // like (the end itself then counts as that lead byte's trail byte).
            if (*n == 0 && pTrail == nTrail) return 1;
        } else if (*n) {
            unsigned char pb = *p, nb = *n;
            bool pLead = !pTrail && IsLeadByteValue(pb), nLead = !nTrail && IsLeadByteValue(nb);
            bool same;
            if (pLead && nLead && p[1] && n[1]) {
                // Two whole double-byte characters, equal as the field shows them.
                if (SameDoubleByte(p, n)) {
                    p += 2;
                    n += 2;
                    pTrail = nTrail = false;
                    continue;
                }
                same = false;
            } else if (pTrail != nTrail || pLead != nLead) same = false;
            else if (pTrail || pLead) same = pb == nb;
            else same = FOLD.upper[pb] == FOLD.upper[nb];
            if (same) {
                pTrail = pLead;
                nTrail = nLead;
                p++;
                n++;
                continue;
            }
        }
        // The rest of the pattern does not match here: the last star takes one byte more, or as
        // many more as it takes to reach a byte that can begin the rest.
        if (!starP || starN == nameEnd) return 0;
        starTrail = !starTrail && IsLeadByteValue(*starN);
        starN++;
        if (starNext) {
            const unsigned char *found = FindFolded(starN, nameEnd, starNext);
            if (!found) return 0; // nothing further on can begin the rest
            starTrail = IsTrailAt(starN, starTrail, found);
            starN = found;
        }
        p = starP;
        pTrail = false;
        n = starN;
        nTrail = starTrail;
    }
}
