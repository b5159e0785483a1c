// The command line: options fill the main dialog's fields, every other word is a source; /run and
// /log are taken out before the rest is applied.
#include "cmdline.h"
#include "controls.h"
#include "dialogwords.h"
#include "msgbox.h"
#include "optionwords.h"
#include "paths.h"
#include "patterns.h"
#include "script.h"
#include <cstring>

// The source field holds at most 4095 bytes; the text fields of the other options at most 259.
static const size_t SOURCE_TEXT_SIZE = 4096;
static const size_t FIELD_TEXT_SIZE = 260;

struct CommandOption {
    const char *name;
    int control;         // the field a text option sets; 0 for the two words
    const char *message; // shown when no word follows, or the text does not fit its field
};

static const CommandOption OPTIONS[] = {
    {"/conf", 0, "引数が不正です。\n   /conf 設定"},
    {"/mode", 0, "引数が不正です。\n   /mode コピーモード"},
    {"/tuf", IDC_TUF, "引数が不正です。\n   /tuf コピーしないファイルの種類"},
    {"/tud", IDC_TUD, "引数が不正です。\n   /tud コピーしないファイルの種類"},
    {"/tcf", IDC_TCF, "引数が不正です。\n   /tcf コピーするファイルの種類"},
    {"/tcd", IDC_TCD, "引数が不正です。\n   /tcd コピーするフォルダの種類"},
    {"/dest", IDC_DEST, "引数が不正です。\n   /dest コピー先のフォルダ名"},
};

static const char SCRIPT_MESSAGE[] = "引数が不正です。\n   /script スクリプトファイル";
const char MSG_ARGUMENTS_UNBALANCED[] = "引数に不整合な引用符があります。";
const char MSG_LOG_MISSING[] = "引数が不正です。\n   /log ログファイル";
const char MSG_LOG_WITHOUT_RUN[] = "引数が不正です。\n   /log は /run と一緒に指定してください。";
const char MSG_NAME_UNUSABLE[] = "名前に扱えない文字があるフォルダやファイルがあります。";
const char MSG_LOG_UNUSABLE[] = "ログファイルの名前に扱えない文字があります。";
static const char TOO_MANY_MESSAGE[] = "コピーするフォルダやファイルが多すぎます。";
static const char NO_MEMORY_MESSAGE[] = "メモリが不足しています。";

static const CommandOption *FindOption(const char *word) {
    for (const CommandOption &option : OPTIONS)
        if (IsName(word, option.name)) return &option;
    return nullptr;
}

// Takes /run and /log out of the split words, closing up the list, where an option name is read:
// an option's value is never one of them. Null, or the first refusal.
static const char *TakeRunWords(int *count, char **words, RunWords *found) {
    const char *refusal = nullptr;
    int kept = 0;
    for (int i = 0; i < *count; i++) {
        char *word = words[i];
        if (IsName(word, "/run")) {
            found->run = true;
            continue;
        }
        if (IsName(word, "/log")) {
            // A value that a path cannot hold whole would name another file.
            if (i + 1 >= *count || strlen(words[i + 1]) >= MAX_PATH) {
                if (!refusal) refusal = MSG_LOG_MISSING;
            } else {
                strcpy(found->logPath, words[i + 1]);
                found->log = true;
            }
            i++;
            continue;
        }
        words[kept++] = word;
        bool takesValue = FindOption(word) || (kept == 1 && IsName(word, "/script"));
        if (takesValue && i + 1 < *count) words[kept++] = words[++i];
    }
    *count = kept;
    if (!refusal && found->log && !found->run) refusal = MSG_LOG_WITHOUT_RUN;
    if (!refusal && found->log && FindSingleByteChar(found->logPath, UNHOLDABLE_MARK)) refusal = MSG_LOG_UNUSABLE;
    return refusal;
}

// A /run standing alone between blanks (or the text's ends). Neither "/" nor a blank is ever a
// trail byte, so a match is always these four single-byte characters.
static bool HasStandingRun(const char *text) {
    for (const char *p = text; (p = strchr(p, '/')) != nullptr; p++) {
        bool before = p == text || p[-1] == ' ' || p[-1] == '\t';
        if (before && StartsWithName(p, "/run") && (p[4] == '\0' || p[4] == ' ' || p[4] == '\t')) return true;
    }
    return false;
}

void ReadRunWords(const char *text, RunWords *words) {
    memset(words, 0, sizeof *words);
    size_t length = strlen(text);
    char *copy = (char *)LocalAlloc(LMEM_FIXED, length + 1);
    int count = 0;
    char **list = nullptr;
    int split = copy ? SplitWords((char *)memcpy(copy, text, length + 1), &count, &list) : SPLIT_NO_MEMORY;
    if (split < 0) {
        words->run = HasStandingRun(text);
        words->refusal = split == SPLIT_UNBALANCED_QUOTES ? MSG_ARGUMENTS_UNBALANCED : NO_MEMORY_MESSAGE;
    } else {
        words->refusal = TakeRunWords(&count, list, words);
    }
    if (list) LocalFree(list);
    if (copy) LocalFree(copy);
}

// Applies one option with its value; false when the value does not fit its field.
static bool ApplyOption(HWND dialog, const CommandOption &option, const char *value) {
    if (option.control == 0) {
        DWORD word = ReadHexWord(value);
        if (option.name[1] == 'm')
            ShowModeWord(dialog, word);
        else
            ShowConfWord(dialog, word);
        return true;
    }
    if (strlen(value) >= FIELD_TEXT_SIZE) return false;
    SendDlgItemMessageA(dialog, option.control, WM_SETTEXT, 0, (LPARAM)value);
    return true;
}

// Walks the words; the source text collects the sources. 0, or -1 after a warning.
static int ApplyWords(HWND dialog, int count, char **words, char *sources) {
    size_t length = 0;
    sources[0] = '\0';
    for (int i = 0; i < count; i++) {
        if (const CommandOption *option = FindOption(words[i])) {
            if (i + 1 >= count || !ApplyOption(dialog, *option, words[i + 1])) {
                ShowWarningBox(dialog, "%s", option->message);
                return -1;
            }
            i++;
            continue;
        }
        // A source that cannot be resolved is taken as typed; the copy run reports it.
        char canonical[MAX_PATH];
        const char *candidate = CanonicalizePath(words[i], canonical) == 0 ? canonical : words[i];
        size_t candidateLength = strlen(candidate);
        if (candidateLength + length + 3 >= SOURCE_TEXT_SIZE) {
            ShowWarningBox(dialog, "%s", TOO_MANY_MESSAGE);
            return -1;
        }
        // The space depends on the word's position: a first source after options gets one too.
        if (i != 0) sources[length++] = ' ';
        sources[length++] = '"';
        memcpy(sources + length, candidate, candidateLength);
        length += candidateLength;
        sources[length++] = '"';
        sources[length] = '\0';
    }
    SendDlgItemMessageA(dialog, IDC_SOURCES, WM_SETTEXT, 0, (LPARAM)sources);
    return 0;
}

int ApplyCommandLine(HWND dialog, const char *text) {
    // SplitWords works in place: on a copy, so that the caller's text stays as it was.
    size_t textLength = strlen(text);
    char *copy = (char *)LocalAlloc(LMEM_FIXED, textLength + 1 + SOURCE_TEXT_SIZE);
    if (!copy) {
        ShowWarningBox(dialog, "%s", NO_MEMORY_MESSAGE);
        return -1;
    }
    memcpy(copy, text, textLength + 1);
    char *sources = copy + textLength + 1;
    int count = 0;
    char **words = nullptr;
    int result;
    int split = SplitWords(copy, &count, &words);
    RunWords found;
    memset(&found, 0, sizeof found);
    const char *refusal = nullptr;
    if (split == SPLIT_UNBALANCED_QUOTES)
        refusal = MSG_ARGUMENTS_UNBALANCED;
    else if (split != 0)
        refusal = NO_MEMORY_MESSAGE;
    else
        refusal = TakeRunWords(&count, words, &found);
    // A word with a character the code page cannot hold would name another entry through its
    // substitute ("简体目录" reads "?体目?", a wildcard): the whole line is refused.
    for (int i = 0; i < count && !refusal; i++)
        if (FindSingleByteChar(words[i], UNHOLDABLE_MARK)) refusal = MSG_NAME_UNUSABLE;
    if (refusal) {
        ShowWarningBox(dialog, "%s", refusal);
        result = -1;
    } else if (count > 0 && IsName(words[0], "/script")) {
        if (count == 2) {
            result = ReadScriptFile(dialog, words[1]) == 0 ? 0 : -1;
        } else {
            ShowWarningBox(dialog, "%s", SCRIPT_MESSAGE);
            result = -1;
        }
    } else {
        result = ApplyWords(dialog, count, words, sources);
    }
    if (words) LocalFree(words);
    LocalFree(copy);
    return result;
}
