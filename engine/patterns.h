// Word splitting, wildcard matching and the code page 932 byte primitives that all text handling
// of the engine shares.
#pragma once
#include <windows.h>

// Mark bytes of a class map.
#define BYTE_CLASS_SINGLE '0'
#define BYTE_CLASS_LEAD '1'
#define BYTE_CLASS_TRAIL '2'

// Is this byte a lead byte of code page 932 (0x81–0x9F, 0xE0–0xFC)? Whether a given byte of a
// string is one also depends on the byte before it: see ByteClasses.
constexpr bool IsLeadByteValue(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Writes the class map of `text` into `map` (room for strlen(text) + 1 bytes): '0' single-byte,
// '1' lead byte, '2' trail byte (the byte after a lead byte, whatever its value).
void ByteClasses(const char *text, char *map);

// The first single-byte `ch` in `text`, or null. A trail byte equal to `ch` is skipped.
char *FindSingleByteChar(const char *text, char ch);
// The last single-byte `ch` in `text`, or null.
char *FindLastSingleByteChar(const char *text, char ch);

// Replaces every single-byte a–z by A–Z in place; returns `text`.
char *UpcaseAscii(char *text);

// Splits `text` in place into words separated by blanks and tabs; quotes group and are removed.
// On success returns 0 with *count and *words set; the array (count pointers into `text`) is
// owned by the caller and freed with LocalFree (it is null when the count is 0). Returns
// SPLIT_UNBALANCED_QUOTES with the last error ERROR_INVALID_PARAMETER, and changes and allocates
// nothing, when a quote is left open; SPLIT_NO_MEMORY when the array cannot be allocated.
#define SPLIT_UNBALANCED_QUOTES ((int)0x80000003)
#define SPLIT_NO_MEMORY ((int)0x80000004)
int SplitWords(char *text, int *count, char ***words);

// 1 when `name` (one folder or file name, no folder part) matches `pattern`, else 0. `*` takes
// any run of bytes, `?` any one byte; both are wildcards only as single-byte characters, ASCII
// letters compare without regard to case, every other byte is literal. A literal double-byte
// character matches the same character, and one that the pattern fields' upper-casing makes the
// same (full-width Latin, Greek and Cyrillic letters and the small Roman numerals: "ｒｅａｄｍｅ"
// matches "ＲＥＡＤＭＥ"), so that a pattern matches what its field shows. Two stars side by side
// take at least one byte ("a**" does not match "a"). "*" matches every name, "" none. Allocates
// nothing; a pair costs at most name length times pattern length steps. The first call reads the
// platform's upper-casing of every double-byte character once (thread-safe).
int MatchWildcard(const char *name, const char *pattern);

// How many double-byte characters the platform's upper-casing (CharUpperBuffA in the ANSI code
// page) turns into another character, as MatchWildcard folds them: 103 in code page 932.
int DoubleByteUpperCount();
