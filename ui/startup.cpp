// Platform detection, the settings version check and the texts of the start sequence.
#include "startup.h"
#include "copyjob.h"
#include "dialogwords.h"
#include "maindialog.h"
#include "msgbox.h"
#include "registry.h"
#include "scheduled.h"
#include "settings.h"
#include <cstring>

const char MSG_RICHEDIT_LOAD_FAILED[] = "RICHED32.DLL をロードできません。";
const char MSG_REGISTRY_FAILED[] = "レジストリに登録できません。";
const char MSG_CLASS_FAILED[] = "ウィンドウクラスを登録できません。";
const char MSG_WINDOW_FAILED[] = "ウィンドウを作成できません。";
const char MSG_DIALOG_FAILED[] = "ダイアログを作成できません。";
const char MSG_REGISTER_FAILED[] = "拡張子(kjb)を登録できません。";
const char MSG_REGISTERED[] = "拡張子(kjb)を登録しました。";
const char MENU_REGISTER[] = "拡張子の登録(&R)";
const char MENU_MKSCRIPT[] = "スクリプトの作成(&L)";
const char MENU_TRIAL[] = "確認のみ実行(&T)";

LONG PlatformCodeOf(DWORD platformId, DWORD majorVersion) {
    switch (platformId) {
    case VER_PLATFORM_WIN32s:
        return PLATFORM_WIN32S;
    case VER_PLATFORM_WIN32_WINDOWS:
        return majorVersion == 4 ? PLATFORM_WIN95 : (LONG)0x80000002;
    case VER_PLATFORM_WIN32_NT:
        if (majorVersion == 3) return PLATFORM_NT3;
        if (majorVersion == 4) return PLATFORM_NT4;
        // Every NT from 5 on (2000, XP, Vista … 11) has encryption, compression, temporary and
        // not-indexed files.
        if (majorVersion >= 5) return PLATFORM_NT5;
        return (LONG)0x80000002;
    }
    return (LONG)0x80000002;
}

LONG DetectPlatform() {
    OSVERSIONINFOA info;
    memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info; // 148
    if (!GetVersionExA(&info)) return (LONG)0x80000001;
    return PlatformCodeOf(info.dwPlatformId, info.dwMajorVersion);
}

int MigrateSettings() {
    if (EnsureSettingsKey() < 0) return -1;
    if (ReadSettingsVersion() >= SETTINGS_VERSION) return 0;
    RegistryDeleteValue(HKEY_CURRENT_USER, SettingsKeyPath(), "Configuration");
    RegistryDeleteValue(HKEY_CURRENT_USER, SettingsKeyPath(), "Mode");
    return WriteSettingsVersion(SETTINGS_VERSION) < 0 ? -1 : 0;
}

HICON g_mainIconLarge, g_mainIconSmall;

// The four icons, destroyed in the order large main, small main, copy button, stop button; a
// load that failed left nothing to destroy.
static void DestroyStartIcons(const StartSteps &steps) {
    HICON icons[] = {g_mainIconLarge, g_mainIconSmall, g_copyButtonImage, g_stopButtonImage};
    for (HICON icon : icons)
        if (icon) steps.destroyIcon(icon);
    g_mainIconLarge = g_mainIconSmall = g_copyButtonImage = g_stopButtonImage = nullptr;
}

// The exit code of a start that ends: a /run start's own, otherwise `code`.
static int StartEnds(int code) { return ScheduledStartActive() ? FinishScheduledStart() : code; }

int RunStartSequence(const StartSteps &steps, HINSTANCE instance, const char *commandLine, int show,
                     const char *runWordsText) {
    steps.setMessageBoxInstance(instance);
    // /run before any step that can show a box: in a /run start no box waits for a person.
    if (!commandLine) commandLine = "";
    if (BeginScheduledStart(runWordsText ? runWordsText : commandLine) && ScheduledStartRefused())
        return FinishScheduledStart();
    steps.initCommonControls();
    HMODULE richEdit = steps.loadRichEdit();
    if (!richEdit) {
        ShowErrorBox(nullptr, "%s", MSG_RICHEDIT_LOAD_FAILED);
        return StartEnds(0);
    }
    if (steps.migrateSettings() < 0) {
        ShowErrorBox(nullptr, "%s", MSG_REGISTRY_FAILED);
        steps.freeLibrary(richEdit);
        return StartEnds(0);
    }
    PlatformCode = DetectPlatform();
    // The words are read from the wide command line where there is one: a character code page
    // 932 cannot hold is marked there, and its word is refused rather than resolved through "?".
    g_commandLine = runWordsText ? runWordsText : commandLine;
    g_instance = instance;

    // A failed load is not reported: the window or button goes without its image.
    g_mainIconLarge = steps.loadIcon(instance, "ICON1_MAIN", 32, 32);
    g_mainIconSmall = steps.loadIcon(instance, "ICON1_MAIN", 16, 16);
    g_copyButtonImage = steps.loadIcon(instance, "ICON2_COPYBUTTON", 64, 36);
    g_stopButtonImage = steps.loadIcon(instance, "ICON3_STOPBUTTON", 64, 36);

    const char *failure = nullptr;
    HWND window = nullptr, dialog = nullptr;
    if (!steps.registerClass(instance, g_mainIconLarge, g_mainIconSmall))
        failure = MSG_CLASS_FAILED;
    else if (!(window = steps.createWindow(instance)))
        failure = MSG_WINDOW_FAILED;
    else if (!(dialog = steps.createDialog(instance, window)))
        failure = MSG_DIALOG_FAILED;
    // A /run start whose command line or script was refused while the dialog was made has
    // nothing to run: it ends before the window is shown.
    if (failure || ScheduledStartRefused()) {
        if (failure) ShowErrorBox(nullptr, "%s", failure);
        if (window) {
            g_mainWindowGoing = 1;
            steps.destroyWindow(window);
        }
        DestroyStartIcons(steps);
        steps.freeLibrary(richEdit);
        return StartEnds(0);
    }
    steps.sizeAndShow(window, dialog, show);
    if (ScheduledStartActive()) steps.startRun(dialog);

    int quitCode = 0;
    for (;;) {
        BOOL got = steps.getMessage(&quitCode);
        if (got == 0) break;
        // -1 is a failure of the loop itself, not a message: end as after WM_QUIT rather than spin.
        if (got == -1) {
            quitCode = 0;
            break;
        }
        steps.dispatchMessage(dialog);
    }
    DestroyStartIcons(steps);
    steps.freeLibrary(richEdit);
    return StartEnds(quitCode);
}
