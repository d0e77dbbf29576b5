// Loading and saving the viewer's preferences under HKCU. UI thread only.
#include "shell/settings_win.h"

#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/managerlink_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>

static HKEY OpenSettingsKey(void)
{
    HKEY key = NULL;
    DWORD disp;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, CORVID_SETTINGS_KEY, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL,
                        &key, &disp) != ERROR_SUCCESS)
        return NULL;
    return key;
}

static void KeyFailureText(char *text, int cap)
{
    char s[256];
    LoadLangString(IDS_SETTINGS_KEY_FAILED, s, sizeof(s));
    snprintf(text, cap, "%s%s", s, CORVID_SETTINGS_KEY);
}

int SaveSettings(HKEY key, int allValues)
{
    HKEY own = NULL;
    if (!key) {
        own = key = OpenSettingsKey();
        if (!key) {
            char text[512];
            KeyFailureText(text, sizeof(text));
            WriteLog(text);
            return 0;
        }
    }
    int ok = 1;
    for (int i = 0; i < kStoredSettingCount; i++) {
        int field = kSettingSaveOrder[i];
        const char *name = SettingValueName(field);
        DWORD value = g_viewer.settings.v[field];
        if (RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value)) != ERROR_SUCCESS) {
            char format[256], text[512];
            LoadLangString(IDS_SETTINGS_VALUE_FAILED, format, sizeof(format));
            snprintf(text, sizeof(text), format, name);
            WriteLog(text);
            ok = 0;
            break;
        }
        if (!allValues)
            break;
    }
    if (own)
        RegCloseKey(own);
    return ok;
}

int LoadSettings(void)
{
    HKEY key = OpenSettingsKey();
    if (!key) {
        char text[512];
        KeyFailureText(text, sizeof(text));
        WriteLog(text);
        SendMessageRecord(1, text);
        return 0;
    }
    ViewerSettings *s = &g_viewer.settings;
    int complete = 1;
    for (int i = 0; i < kStoredSettingCount; i++) {
        int field = kSettingReadOrder[i];
        // Read as raw bytes into a 4-byte slot: the stored type is not checked, and a
        // longer value is refused by the size rather than overrunning the field.
        DWORD value = 0, size = sizeof(value);
        LONG rc = RegQueryValueExA(key, SettingValueName(field), NULL, NULL, (BYTE *)&value, &size);
        if (rc != ERROR_SUCCESS) {
            s->v[field] = SettingDefault(field);
            complete = 0;
        } else {
            s->v[field] = SettingApplyReadRule(field, value);
        }
    }
    if (complete) {
        RegCloseKey(key);
        return 1;
    }
    int ok = SaveSettings(key, 1);
    RegCloseKey(key);
    return ok;
}
