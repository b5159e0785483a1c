// What the command line and script files share: option and key names compared without regard to
// ASCII letter case, and the one reader of the 32-bit hexadecimal words they carry (/mode, /conf,
// MODE:, CONF:).
#pragma once
#include <windows.h>

// Reads `text` as the shipped 32-bit program's strtoul(text, 0, 16) reads it: leading white space
// (space, \t \n \v \f \r) skipped, an optional sign, an optional 0x or 0X, then hexadecimal digits
// up to the first other byte. No digits give 0; a value above 0xFFFFFFFF gives 0xFFFFFFFF; then a
// minus negates the value modulo 2^32 ("-1" is 0xFFFFFFFF, "-123456789A" is 1, as the Windows
// runtime answers). The same on every build: a host whose unsigned long has 64 bits (and whose
// runtime does not negate a clamped value) does not change the answer.
DWORD ReadHexWord(const char *text);

// Does `text` begin with `name` (ASCII letters compared without regard to case, every other byte
// exactly)? `name` is plain ASCII, so a byte compared is never the trail byte of a character.
bool StartsWithName(const char *text, const char *name);
// Is `text` exactly `name`, in the same sense?
bool IsName(const char *text, const char *name);
