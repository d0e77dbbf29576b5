// The viewer's per-user preferences: fields, registry value names, defaults, the rules
// applied on reading, and the read and save orders. Portable; the registry access
// itself is in settings_win.cpp. Touched only by the UI thread.
#pragma once
#include <cstdint>

enum SettingField {
    SET_LANGUAGE = 0,
    SET_SAVE_ON_EXIT = 1,
    SET_LOG_FILE_SIZE = 2,
    SET_FRAME_MAXIMIZED = 3,
    SET_SHOW_REMOTE_CURSOR = 4,
    SET_CLIP_CON_TOOLS = 5,
    SET_X_CON_CLIP = 6,
    SET_Y_CON_CLIP = 7,
    SET_AUTO_SCALE_SCREEN = 8,
    SET_FIELD_COUNT = 9
};

struct ViewerSettings {
    uint32_t v[SET_FIELD_COUNT];
};

enum { kStoredSettingCount = 9 };

#define CORVID_SETTINGS_KEY "SOFTWARE\\Vantor\\Corvids"

// Registry value name of a field, or nullptr for an index out of range.
const char *SettingValueName(int field);
uint32_t SettingDefault(int field);

// Fields in the order they are read, and in the order they are written.
extern const int kSettingReadOrder[kStoredSettingCount];
extern const int kSettingSaveOrder[kStoredSettingCount];

// Every field at its default.
void SettingsSetDefaults(ViewerSettings *s);

// The rule for a value that was present in the registry: Language above 1 (a
// negative stored value included, as it reads unsigned) becomes 1; LogFileSize is
// clamped to 40..10000, read unsigned too (0x80000000 and up read as 10000).
uint32_t SettingApplyReadRule(int field, uint32_t stored);

// Active language index (0 English, 1 Russian) for a Language setting.
int SettingLanguageIndex(const ViewerSettings *s);
