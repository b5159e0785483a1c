// A folder's listing with every name in code page 932, and whether the code page holds the name
// exactly. The ANSI listing gives a name the code page lacks in a substituted form ("café.txt"
// as "cafe.txt", "😀.txt" as "??.txt"), which opens another entry or none; the wide listing
// tells such names apart. A platform without the wide calls gets the ANSI listing.
#pragma once
#include <windows.h>

// What the listing says of an entry's name.
enum ListedName {
    NAME_EXACT = 0,         // entry.cFileName is the name
    NAME_NOT_IN_CODE_PAGE,  // characters the code page lacks; entry.cFileName shows them as "?"
    NAME_TOO_LONG           // its code page form does not fit 259 bytes; entry.cFileName is cut
};

struct FolderListing {
    HANDLE find;
    bool wide;              // listed with the wide calls
    WIN32_FIND_DATAA entry; // the current entry: its facts, and its name in code page 932
    ListedName name;
};

// Starts listing `pattern` (a folder followed by "\\*", or a path): true with the first entry in
// `listing`; false with the platform's last-error code (ERROR_FILE_NOT_FOUND when nothing
// matches), and nothing to close.
bool ListFirstEntry(const char *pattern, FolderListing *listing);
// The next entry: false at the end (ERROR_NO_MORE_FILES) or on a failure (another code).
bool ListNextEntry(FolderListing *listing);
void CloseListing(FolderListing *listing);
