// The copy job: its two option words MODE and CONF, attribute categories, platform masks,
// defaults and limits, and the selection of a folder or file by name and attributes.
#pragma once
#include <windows.h>

// ---- limits ----
#define SOURCES_TEXT_LIMIT 4095   // characters of the sources field
#define FIELD_TEXT_LIMIT 259      // characters of DEST and of each pattern field
#define HISTORY_ENTRIES 20        // recently-used entries per list

// ---- MODE ----
#define MODE_FILE_BITS_SHIFT 0    // bits 0–8: source file categories to copy
#define MODE_FOLDER_BITS_SHIFT 9  // bits 9–17: source folder categories to copy
#define MODE_DEST_BITS_SHIFT 18   // bits 18–26: destination file categories that may be overwritten
#define MODE_SKIP_SAME_SIZE 0x08000000u   // bit 27
#define MODE_SKIP_NOT_NEWER 0x10000000u   // bit 28
#define MODE_DEFINED_BITS 0x1FFFFFFFu
#define MODE_DEFAULT 0x16030180u

// ---- CONF ----
#define CONF_LOG_NOT_COPIED 0x1u  // level-0 records go into the log document
#define CONF_CLEAR_ARCHIVE 0x2u   // clear the source's archive attribute after each entry
#define CONF_LOG_NO_DONE 0x4u     // level-1 records stay out of the log document
#define CONF_CHECK_MISSING 0x8u   // list destination entries missing in the source
#define CONF_LEVEL_MASK 0x5u
#define CONF_DEFINED_BITS 0xFu
#define CONF_DEFAULT 0u

// ---- attributes ----
// Bits that make an entry be refused outright: 0x0008, 0x0040 and every bit from 0x8000 up.
#define UNKNOWN_ATTRIBUTE_MASK 0xFFFF8048u

// The one category of an entry: the first attribute it carries in this order decides.
enum AttributeCategory {
    CATEGORY_SYSTEM,
    CATEGORY_ENCRYPTED,
    CATEGORY_HIDDEN,
    CATEGORY_READONLY,
    CATEGORY_COMPRESSED,
    CATEGORY_TEMPORARY,
    CATEGORY_NOT_INDEXED,
    CATEGORY_ARCHIVE,
    CATEGORY_NORMAL,
    CATEGORY_COUNT
};

struct CategoryInfo {
    DWORD attribute;           // the attribute that gives the category (0 for normal)
    const char *folderMessage; // a source folder of this category is not copied
    const char *fileMessage;   // a source file of this category is not copied
    const char *destMessage;   // a destination file of this category may not be overwritten
};
extern const CategoryInfo CATEGORY_TABLE[CATEGORY_COUNT];

AttributeCategory AttributeCategoryOf(DWORD attributes);
// The MODE bits that allow a source folder, a source file, or overwriting a destination file of
// the category.
inline DWORD ModeFolderBit(AttributeCategory c) { return 1u << (MODE_FOLDER_BITS_SHIFT + (int)c); }
inline DWORD ModeFileBit(AttributeCategory c) { return 1u << (MODE_FILE_BITS_SHIFT + (int)c); }
inline DWORD ModeDestBit(AttributeCategory c) { return 1u << (MODE_DEST_BITS_SHIFT + (int)c); }

// ---- platform ----
// Platform codes (signed): Win32s, Windows 95 family, NT 3, NT 4, NT 5; negative: unknown.
#define PLATFORM_WIN32S 0x00000001
#define PLATFORM_WIN95 0x00010003
#define PLATFORM_NT3 0x00030002
#define PLATFORM_NT4 0x00030004
#define PLATFORM_NT5 0x00030005
#define MODE_MASK_OLD_PLATFORM 0x1E371B8Du // no encrypted, compressed, temporary, not-indexed
#define MODE_MASK_NT4 0x1E773B9Du          // no encrypted, temporary, not-indexed
#define MODE_MASK_NT5 0x1FFFFFFFu
DWORD PlatformModeMask(LONG platformCode);

// ---- log levels ----
// The label caption of a log level (CONF & 0x5); the level of a caption (0 when none matches,
// compared byte for byte); the next level when the level button is pressed (0 → 5 → 1 → 4 → 0).
const char *LogLevelCaption(DWORD level);
DWORD LogLevelOfCaption(const char *caption);
DWORD NextLogLevel(DWORD conf);

// ---- defaults of the history lists when the settings store holds none ----
extern const char *const DEFAULT_TCF[];  // each list ends with a null entry
extern const char *const DEFAULT_TCD[];
extern const char *const DEFAULT_TUF[];
extern const char *const DEFAULT_TUD[];
extern const char *const DEFAULT_DEST[];

// ---- word lists and the job ----
// A list of words split from a text that the list's owner keeps alive (see SplitWords).
struct WordList {
    int count;
    char **words;
};
void ReleaseWordList(WordList *list);

// A name passes an include list when any pattern matches; an empty include list lets nothing
// pass. A name is rejected by an exclude list when any pattern matches; an empty one rejects none.
bool PassesIncludeList(const WordList &list, const char *name);
bool RejectedByExcludeList(const WordList &list, const char *name);

// One copy request as read from the dialog at the start of a run. The lists point into the texts.
struct CopyJob {
    char sources[SOURCES_TEXT_LIMIT + 1];
    char dest[FIELD_TEXT_LIMIT + 2];      // room for the "\\" that the run appends
    char tcd[FIELD_TEXT_LIMIT + 1];
    char tcf[FIELD_TEXT_LIMIT + 1];
    char tud[FIELD_TEXT_LIMIT + 1];
    char tuf[FIELD_TEXT_LIMIT + 1];
    WordList sourceList, tcdList, tcfList, tudList, tufList;
    DWORD mode;
    DWORD conf;
    // A trial run: every decision is made and recorded as the real run would make it, and nothing
    // on disk is created, copied, changed or cleared.
    bool trial;
};
void ReleaseCopyJob(CopyJob *job); // releases the five lists; safe to call twice

// ---- selection ----
// Why a folder or file is refused before anything at the destination is looked at.
enum SelectionResult {
    SELECTED = 0,
    REFUSED_NOT_INCLUDED,      // no include pattern matches
    REFUSED_EXCLUDED,          // an exclude pattern matches
    REFUSED_UNKNOWN_ATTRIBUTE, // a bit of UNKNOWN_ATTRIBUTE_MASK
    REFUSED_CATEGORY           // the category's MODE bit is clear
};
struct Selection {
    SelectionResult result;
    const char *message; // the log message of the refusal; null when selected
    int level;           // log level of the refusal
};
Selection SelectFolder(const char *name, DWORD attributes, DWORD mode, const WordList &tcd, const WordList &tud);
Selection SelectFile(const char *name, DWORD attributes, DWORD mode, const WordList &tcf, const WordList &tuf);
// May an existing destination file be overwritten? SELECTED, REFUSED_UNKNOWN_ATTRIBUTE (level 2)
// or REFUSED_CATEGORY (level 0) with the destination message of its category.
Selection JudgeDestinationFile(DWORD attributes, DWORD mode);

// ---- messages of the selection ----
extern const char MSG_FOLDER_NOT_INCLUDED[];
extern const char MSG_FOLDER_EXCLUDED[];
extern const char MSG_FILE_NOT_INCLUDED[];
extern const char MSG_FILE_EXCLUDED[];
extern const char MSG_UNKNOWN_ATTRIBUTE[];
extern const char MSG_DEST_UNKNOWN_ATTRIBUTE[];
// ---- messages shared by the copy walk and the missing-in-source walk ----
extern const char MSG_SOURCE_ATTRIBUTES_FAILED[];
extern const char MSG_DEST_ATTRIBUTES_FAILED[];
// A name that code page 932 cannot hold: the walk does not copy the entry (its name is shown with
// "?" for what cannot be shown), the missing-in-source check does not offer it for deletion.
extern const char MSG_FILE_NAME_UNUSABLE[];
extern const char MSG_FOLDER_NAME_UNUSABLE[];
extern const char MSG_CHECK_NAME_UNUSABLE[];
// A source or destination path longer than the platform's calls take.
extern const char MSG_SOURCE_PATH_TOO_LONG[];
extern const char MSG_DEST_PATH_TOO_LONG[];
extern const char MSG_CHECK_PATH_TOO_LONG[];
