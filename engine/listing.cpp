// Folder listings through the wide calls, each name converted to code page 932 without best fit.
#include "listing.h"
#include "patterns.h"
#include <string.h>

// The entry of a wide listing in code page 932 form. A character the code page lacks is never
// replaced by a look-alike (WC_NO_BEST_FIT_CHARS): "é" would name the file "e".
static void TakeWideEntry(const WIN32_FIND_DATAW &found, FolderListing *listing) {
    WIN32_FIND_DATAA &entry = listing->entry;
    entry.dwFileAttributes = found.dwFileAttributes;
    entry.ftCreationTime = found.ftCreationTime;
    entry.ftLastAccessTime = found.ftLastAccessTime;
    entry.ftLastWriteTime = found.ftLastWriteTime;
    entry.nFileSizeHigh = found.nFileSizeHigh;
    entry.nFileSizeLow = found.nFileSizeLow;
    entry.cAlternateFileName[0] = '\0';
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, found.cFileName, -1, entry.cFileName, MAX_PATH,
                                     nullptr, &usedDefault);
    if (length > 0) {
        listing->name = usedDefault ? NAME_NOT_IN_CODE_PAGE : NAME_EXACT;
        return;
    }
    // 255 UTF-16 units can take 510 bytes: the name is shown cut at a character's end.
    char whole[2 * MAX_PATH + 2];
    length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, found.cFileName, -1, whole, sizeof whole, nullptr,
                                 &usedDefault);
    if (length <= 0) whole[0] = '\0';
    size_t cut = 0;
    while (whole[cut]) {
        size_t step = IsLeadByteValue((unsigned char)whole[cut]) && whole[cut + 1] ? 2 : 1;
        if (cut + step > MAX_PATH - 1) break;
        cut += step;
    }
    memcpy(entry.cFileName, whole, cut);
    entry.cFileName[cut] = '\0';
    listing->name = NAME_TOO_LONG;
}

bool ListFirstEntry(const char *pattern, FolderListing *listing) {
    listing->find = INVALID_HANDLE_VALUE;
    WCHAR widePattern[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, pattern, -1, widePattern, MAX_PATH) == 0) {
        // The pattern itself does not fit the platform's paths.
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(widePattern, &found);
    if (find != INVALID_HANDLE_VALUE) {
        listing->find = find;
        listing->wide = true;
        TakeWideEntry(found, listing);
        return true;
    }
    // Windows 95 and Win32s have the wide calls only as stubs.
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
    find = FindFirstFileA(pattern, &listing->entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    listing->find = find;
    listing->wide = false;
    listing->name = NAME_EXACT;
    return true;
}

bool ListNextEntry(FolderListing *listing) {
    if (!listing->wide) return FindNextFileA(listing->find, &listing->entry) != FALSE;
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(listing->find, &found)) return false;
    TakeWideEntry(found, listing);
    return true;
}

void CloseListing(FolderListing *listing) {
    if (listing->find != INVALID_HANDLE_VALUE) FindClose(listing->find);
    listing->find = INVALID_HANDLE_VALUE;
}
