// The command line: program arguments (or /script with a script file) fill the main dialog;
// /run and /log make a scheduled start that runs the job and ends by itself.
#pragma once
#include <windows.h>

// Applies the command-line text to the main dialog's controls. 0 when accepted, -1 when refused
// (a warning has then been shown, owner the dialog). Called once by the dialog's initialisation.
// /run and /log are taken out first (RunWords); the rest is applied as it always was.
int ApplyCommandLine(HWND dialog, const char *text);

// Messages of the two words of a scheduled start.
extern const char MSG_LOG_MISSING[];     // "引数が不正です。\n   /log ログファイル"
extern const char MSG_LOG_WITHOUT_RUN[]; // "引数が不正です。\n   /log は /run と一緒に指定してください。"
extern const char MSG_LOG_UNUSABLE[];    // the /log value has a character code page 932 cannot hold
extern const char MSG_ARGUMENTS_UNBALANCED[]; // "引数に不整合な引用符があります。"
// A name with a character code page 932 cannot hold: a dropped one, or a word of the command line
// (which is then refused whole, never resolved through a substitute).
extern const char MSG_NAME_UNUSABLE[];

// In a text made from the wide command line, the byte that stands for a character code page 932
// cannot hold (WideCharToMultiByte's default character). It is never a trail byte.
#define UNHOLDABLE_MARK '\x01'

// What the command line says about a scheduled start. /run and /log count where the command line
// would read an option name, not where they are another option's value (`/dest /run` sets the
// destination to "/run"); /script takes the next word as its value only as the first word that
// remains. When the text cannot be split, a /run standing alone between blanks still counts.
struct RunWords {
    bool run;              // /run was given
    bool log;              // /log was given with a value
    char logPath[MAX_PATH]; // that value, as typed
    // Null, or the message that refuses the command line: unbalanced quotes, /log without a value
    // (or with one too long for a path), /log without /run, a /log value holding UNHOLDABLE_MARK.
    const char *refusal;
};
void ReadRunWords(const char *text, RunWords *words);
