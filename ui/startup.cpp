// Platform detection, the settings version check and the texts of the start sequence.
#include "startup.h"
#include "copyjob.h"
#include "registry.h"
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
