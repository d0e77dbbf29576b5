// The viewer's preferences: defaults, registry names, read and save orders, and the
// rules applied to stored values.
#include "shell/settings_model.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

TEST(SettingsModel, FieldsNamesAndDefaults)
{
    struct Row {
        int field;
        const char *name;
        uint32_t def;
    };
    const Row rows[SET_FIELD_COUNT] = {
        {0, "Language", 1},         {1, "SaveOnExit", 1},   {2, "LogFileSize", 40}, {3, "FrameMaximized", 0},
        {4, "ShowRemoteCursor", 1}, {5, "ClipConTools", 1}, {6, "XConClip", 360},   {7, "YConClip", 0xFFFFFFF9u}, // -7
        {8, "AutoScaleScreen", 0},
    };
    ViewerSettings s;
    for (uint32_t &v : s.v)
        v = 0xA5A5A5A5u;
    SettingsSetDefaults(&s);
    for (const Row &r : rows) {
        EXPECT_STREQ(SettingValueName(r.field), r.name) << r.field;
        EXPECT_EQ(SettingDefault(r.field), r.def) << r.field;
        EXPECT_EQ(s.v[r.field], r.def) << r.field;
    }
    EXPECT_EQ(SettingValueName(-1), nullptr);
    EXPECT_EQ(SettingValueName(SET_FIELD_COUNT), nullptr);
    EXPECT_EQ(sizeof(ViewerSettings), 9 * sizeof(uint32_t));
}

Names OrderNames(const int *order)
{
    Names out;
    for (int i = 0; i < kStoredSettingCount; i++) {
        const char *n = SettingValueName(order[i]);
        out.push_back(n ? n : "(null)");
    }
    return out;
}

TEST(SettingsModel, ReadAndSaveOrders)
{
    EXPECT_EQ(OrderNames(kSettingReadOrder),
              (Names{"Language", "SaveOnExit", "FrameMaximized", "ShowRemoteCursor", "ClipConTools", "XConClip",
                     "YConClip", "LogFileSize", "AutoScaleScreen"}));
    // SaveOnExit first: a save without the all-values flag stops after it.
    EXPECT_EQ(OrderNames(kSettingSaveOrder),
              (Names{"SaveOnExit", "Language", "FrameMaximized", "ShowRemoteCursor", "AutoScaleScreen", "ClipConTools",
                     "XConClip", "YConClip", "LogFileSize"}));
}

TEST(SettingsModel, ReadRules)
{
    struct Case {
        int field;
        uint32_t stored, read;
    };
    const Case cases[] = {
        {SET_LANGUAGE, 0, 0},
        {SET_LANGUAGE, 1, 1},
        {SET_LANGUAGE, 2, 1},
        {SET_LANGUAGE, 5, 1},
        {SET_LANGUAGE, 0x80000000u, 1},
        {SET_LANGUAGE, 0xFFFFFFFFu, 1},
        {SET_LOG_FILE_SIZE, 0, 40},
        {SET_LOG_FILE_SIZE, 20, 40},
        {SET_LOG_FILE_SIZE, 39, 40},
        {SET_LOG_FILE_SIZE, 40, 40},
        {SET_LOG_FILE_SIZE, 41, 41},
        {SET_LOG_FILE_SIZE, 9999, 9999},
        {SET_LOG_FILE_SIZE, 10000, 10000},
        {SET_LOG_FILE_SIZE, 10001, 10000},
        {SET_LOG_FILE_SIZE, 0x7FFFFFFFu, 10000},
        {SET_LOG_FILE_SIZE, 0xFFFFFFFFu, 10000},
        {SET_LOG_FILE_SIZE, 0x80000000u, 10000},
        {SET_SAVE_ON_EXIT, 7, 7},
        {SET_FRAME_MAXIMIZED, 0xFFFFFFFFu, 0xFFFFFFFFu},
        {SET_SHOW_REMOTE_CURSOR, 0, 0},
        {SET_CLIP_CON_TOOLS, 2, 2},
        {SET_X_CON_CLIP, 0xFFFFFF00u, 0xFFFFFF00u},
        {SET_Y_CON_CLIP, 0xFFFFFFF9u, 0xFFFFFFF9u},
        {SET_Y_CON_CLIP, 100000, 100000},
        {SET_AUTO_SCALE_SCREEN, 1, 1},
        {SET_AUTO_SCALE_SCREEN, 12345, 12345},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SettingApplyReadRule(c.field, c.stored), c.read) << SettingValueName(c.field) << " " << c.stored;
}

TEST(SettingsModel, LanguageIndex)
{
    const struct {
        uint32_t setting;
        int index;
    } cases[] = {{0, 0}, {1, 1}};
    for (const auto &c : cases) {
        ViewerSettings s;
        SettingsSetDefaults(&s);
        s.v[SET_LANGUAGE] = c.setting;
        EXPECT_EQ(SettingLanguageIndex(&s), c.index) << c.setting;
    }
    ViewerSettings s;
    SettingsSetDefaults(&s);
    EXPECT_EQ(SettingLanguageIndex(&s), 1); // Russian by default
}

} // namespace
