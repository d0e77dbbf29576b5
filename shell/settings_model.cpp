// The viewer's per-user preferences: names, defaults, reading rules and orders.
#include "shell/settings_model.h"

#include <cstddef>

static const char *const kValueNames[SET_FIELD_COUNT] = {
    "Language",     "SaveOnExit", "LogFileSize", "FrameMaximized",  "ShowRemoteCursor",
    "ClipConTools", "XConClip",   "YConClip",    "AutoScaleScreen",
};

static const uint32_t kDefaults[SET_FIELD_COUNT] = {
    1, 1, 40, 0, 1, 1, 360, (uint32_t)-7, 0,
};

const int kSettingReadOrder[kStoredSettingCount] = {
    SET_LANGUAGE,   SET_SAVE_ON_EXIT, SET_FRAME_MAXIMIZED, SET_SHOW_REMOTE_CURSOR, SET_CLIP_CON_TOOLS,
    SET_X_CON_CLIP, SET_Y_CON_CLIP,   SET_LOG_FILE_SIZE,   SET_AUTO_SCALE_SCREEN,
};

const int kSettingSaveOrder[kStoredSettingCount] = {
    SET_SAVE_ON_EXIT,   SET_LANGUAGE,   SET_FRAME_MAXIMIZED, SET_SHOW_REMOTE_CURSOR, SET_AUTO_SCALE_SCREEN,
    SET_CLIP_CON_TOOLS, SET_X_CON_CLIP, SET_Y_CON_CLIP,      SET_LOG_FILE_SIZE,
};

const char *SettingValueName(int field)
{
    if (field < 0 || field >= SET_FIELD_COUNT)
        return nullptr;
    return kValueNames[field];
}

uint32_t SettingDefault(int field)
{
    if (field < 0 || field >= SET_FIELD_COUNT)
        return 0;
    return kDefaults[field];
}

void SettingsSetDefaults(ViewerSettings *s)
{
    for (int i = 0; i < SET_FIELD_COUNT; i++)
        s->v[i] = kDefaults[i];
}

uint32_t SettingApplyReadRule(int field, uint32_t stored)
{
    if (field == SET_LANGUAGE)
        return stored > 1 ? 1 : stored;
    if (field == SET_LOG_FILE_SIZE) {
        // Unsigned, as the registry holds it: a huge value is a large limit, not a
        // negative one.
        if (stored < 40)
            return 40;
        if (stored > 10000)
            return 10000;
        return stored;
    }
    return stored;
}

int SettingLanguageIndex(const ViewerSettings *s) { return s->v[SET_LANGUAGE] == 0 ? 0 : 1; }
