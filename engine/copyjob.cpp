// The copy job's words, categories, masks, defaults and the selection of folders and files.
#include "copyjob.h"
#include "patterns.h"
#include <string.h>

const CategoryInfo CATEGORY_TABLE[CATEGORY_COUNT] = {
    {FILE_ATTRIBUTE_SYSTEM, "システムフォルダのためコピーしません。", "システムファイルのためコピーしません。",
     "コピー先がシステムファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_ENCRYPTED, "暗号フォルダのためコピーしません。", "暗号ファイルのためコピーしません。",
     "コピー先が暗号ファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_HIDDEN, "隠しフォルダのためコピーしません。", "隠しファイルのためコピーしません。",
     "コピー先が隠しファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_READONLY, "読取専用フォルダのためコピーしません。", "読取専用ファイルのためコピーしません。",
     "コピー先が読取専用ファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_COMPRESSED, "圧縮フォルダのためコピーしません。", "圧縮ファイルのためコピーしません。",
     "コピー先が圧縮ファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_TEMPORARY, "テンポラリフォルダのためコピーしません。", "テンポラリファイルのためコピーしません。",
     "コピー先がテンポラリファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, "無索引フォルダのためコピーしません。", "無索引ファイルのためコピーしません。",
     "コピー先が無索引ファイルのためコピーしません。"},
    {FILE_ATTRIBUTE_ARCHIVE, "アーカイブフォルダのためコピーしません。", "アーカイブファイルのためコピーしません。",
     "コピー先がアーカイブファイルのためコピーしません。"},
    // The normal file messages say "標準" where the check box captions say "通常".
    {0, "通常フォルダのためコピーしません。", "標準ファイルのためコピーしません。",
     "コピー先が標準ファイルのためコピーしません。"},
};

const char MSG_FOLDER_NOT_INCLUDED[] = "指定外のフォルダなのでコピーしません。";
const char MSG_FOLDER_EXCLUDED[] = "指定のフォルダなのでコピーしません。";
const char MSG_FILE_NOT_INCLUDED[] = "指定外のファイルなのでコピーしません。";
const char MSG_FILE_EXCLUDED[] = "指定のファイルなのでコピーしません。";
const char MSG_UNKNOWN_ATTRIBUTE[] = "未知の属性のためコピーできません。";
const char MSG_DEST_UNKNOWN_ATTRIBUTE[] = "コピー先が未知の属性のためコピーできません。";
const char MSG_SOURCE_ATTRIBUTES_FAILED[] = "コピー元の属性を取得できません。";
const char MSG_DEST_ATTRIBUTES_FAILED[] = "コピー先の属性を取得できません。";
const char MSG_FILE_NAME_UNUSABLE[] = "ファイル名に扱えない文字があるためコピーできません。";
const char MSG_FOLDER_NAME_UNUSABLE[] = "フォルダ名に扱えない文字があるためコピーできません。";
const char MSG_CHECK_NAME_UNUSABLE[] = "名前に扱えない文字があるため確認できません。";
const char MSG_SOURCE_PATH_TOO_LONG[] = "コピー元のパス名が長すぎるためコピーできません。";
const char MSG_DEST_PATH_TOO_LONG[] = "コピー先のパス名が長すぎるためコピーできません。";
const char MSG_CHECK_PATH_TOO_LONG[] = "パス名が長すぎるため確認できません。";

AttributeCategory AttributeCategoryOf(DWORD attributes) {
    for (int c = 0; c < CATEGORY_NORMAL; c++)
        if (attributes & CATEGORY_TABLE[c].attribute) return (AttributeCategory)c;
    return CATEGORY_NORMAL;
}

DWORD PlatformModeMask(LONG platformCode) {
    if (platformCode < 0x20000) return MODE_MASK_OLD_PLATFORM;
    if (platformCode < 0x30005) return MODE_MASK_NT4;
    return MODE_MASK_NT5;
}

static const char *const LEVEL_CAPTIONS[8] = {
    "ログにエラーとコピー完を表示する", "ログにすべてを表示する", nullptr, nullptr,
    "ログにエラーのみを表示する",       "ログにエラーと未コピーを表示する", nullptr, nullptr,
};

const char *LogLevelCaption(DWORD level) { return LEVEL_CAPTIONS[level & CONF_LEVEL_MASK]; }

DWORD LogLevelOfCaption(const char *caption) {
    for (DWORD level = 0; level < 8; level++)
        if (LEVEL_CAPTIONS[level] && strcmp(caption, LEVEL_CAPTIONS[level]) == 0) return level;
    return 0;
}

DWORD NextLogLevel(DWORD conf) {
    static const DWORD next[8] = {5, 4, 0, 0, 0, 1, 0, 0};
    return (conf & ~CONF_LEVEL_MASK) | next[conf & CONF_LEVEL_MASK];
}

const char *const DEFAULT_TCF[] = {"*", "*.TXT *.DOC", "*.H *.C *.CPP", nullptr};
const char *const DEFAULT_TCD[] = {"*", "\"MY *\"", nullptr};
const char *const DEFAULT_TUF[] = {"", "*.TMP", "$* _* ~*", nullptr};
const char *const DEFAULT_TUD[] = {"", "_*", "$*", "_* $*", nullptr};
const char *const DEFAULT_DEST[] = {"E:\\", "A:\\", nullptr};

void ReleaseWordList(WordList *list) {
    if (list->words) LocalFree(list->words);
    list->words = nullptr;
    list->count = 0;
}

void ReleaseCopyJob(CopyJob *job) {
    ReleaseWordList(&job->sourceList);
    ReleaseWordList(&job->tcdList);
    ReleaseWordList(&job->tcfList);
    ReleaseWordList(&job->tudList);
    ReleaseWordList(&job->tufList);
}

static bool AnyMatches(const WordList &list, const char *name) {
    for (int i = 0; i < list.count; i++)
        if (MatchWildcard(name, list.words[i])) return true;
    return false;
}

bool PassesIncludeList(const WordList &list, const char *name) { return AnyMatches(list, name); }
bool RejectedByExcludeList(const WordList &list, const char *name) { return AnyMatches(list, name); }

static Selection Refuse(SelectionResult result, const char *message, int level) { return {result, message, level}; }

// The tests shared by folders and files, in their fixed order: include list, exclude list,
// unknown attribute bits, category.
static Selection Select(const char *name, DWORD attributes, DWORD mode, const WordList &include,
                        const WordList &exclude, bool folder) {
    if (!PassesIncludeList(include, name))
        return Refuse(REFUSED_NOT_INCLUDED, folder ? MSG_FOLDER_NOT_INCLUDED : MSG_FILE_NOT_INCLUDED, 0);
    if (RejectedByExcludeList(exclude, name))
        return Refuse(REFUSED_EXCLUDED, folder ? MSG_FOLDER_EXCLUDED : MSG_FILE_EXCLUDED, 0);
    if (attributes & UNKNOWN_ATTRIBUTE_MASK) return Refuse(REFUSED_UNKNOWN_ATTRIBUTE, MSG_UNKNOWN_ATTRIBUTE, 2);
    AttributeCategory c = AttributeCategoryOf(attributes);
    if (!(mode & (folder ? ModeFolderBit(c) : ModeFileBit(c))))
        return Refuse(REFUSED_CATEGORY, folder ? CATEGORY_TABLE[c].folderMessage : CATEGORY_TABLE[c].fileMessage, 0);
    return {SELECTED, nullptr, 0};
}

Selection SelectFolder(const char *name, DWORD attributes, DWORD mode, const WordList &tcd, const WordList &tud) {
    return Select(name, attributes, mode, tcd, tud, true);
}

Selection SelectFile(const char *name, DWORD attributes, DWORD mode, const WordList &tcf, const WordList &tuf) {
    return Select(name, attributes, mode, tcf, tuf, false);
}

Selection JudgeDestinationFile(DWORD attributes, DWORD mode) {
    if (attributes & UNKNOWN_ATTRIBUTE_MASK) return Refuse(REFUSED_UNKNOWN_ATTRIBUTE, MSG_DEST_UNKNOWN_ATTRIBUTE, 2);
    AttributeCategory c = AttributeCategoryOf(attributes);
    if (!(mode & ModeDestBit(c))) return Refuse(REFUSED_CATEGORY, CATEGORY_TABLE[c].destMessage, 0);
    return {SELECTED, nullptr, 0};
}
