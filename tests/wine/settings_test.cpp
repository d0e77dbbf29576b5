// Settings in the registry: first start, reading rules, and what a save writes.
#include <gtest/gtest.h>

#include "shell/settings_win.h"
#include "tests/wine/viewer_fixture.h"

#include <map>
#include <string>

namespace {

// Every value of the key, each checked to be a 4-byte DWORD; empty when no key.
std::map<std::string, DWORD> ReadKey()
{
    std::map<std::string, DWORD> values;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, CORVID_SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; i++) {
        char name[64];
        DWORD nameLen = sizeof(name), type, data = 0, size = sizeof(data);
        if (RegEnumValueA(key, i, name, &nameLen, NULL, &type, (BYTE *)&data, &size) != ERROR_SUCCESS)
            break;
        EXPECT_EQ(type, (DWORD)REG_DWORD) << name;
        EXPECT_EQ(size, 4u) << name;
        values[name] = data;
    }
    RegCloseKey(key);
    return values;
}

void SetValue(const char *name, DWORD v, DWORD type = REG_DWORD, const void *data = NULL, DWORD size = 4)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, CORVID_SETTINGS_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, data ? (const BYTE *)data : (const BYTE *)&v, size);
    RegCloseKey(key);
}

void DeleteKey()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, CORVID_SETTINGS_KEY);
    RegDeleteKeyA(HKEY_CURRENT_USER, CORVID_SETTINGS_KEY);
}

const std::map<std::string, DWORD> kDefaults = {
    {"Language", 1},     {"SaveOnExit", 1}, {"LogFileSize", 40},     {"FrameMaximized", 0},  {"ShowRemoteCursor", 1},
    {"ClipConTools", 1}, {"XConClip", 360}, {"YConClip", (DWORD)-7}, {"AutoScaleScreen", 0},
};

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrepareTestViewer();
        DeleteKey();
        memset(&g_viewer.settings, 0xAB, sizeof(g_viewer.settings));
    }
    void TearDown() override { DeleteKey(); }
};

TEST_F(Settings, FirstStartCreatesKeyWithAllNineDefaults)
{
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(ReadKey(), kDefaults);
    EXPECT_EQ(g_viewer.settings.v[SET_Y_CON_CLIP], (DWORD)-7);
}

// Out-of-range values are corrected in memory; the key is written back only when a
// value was missing.
TEST_F(Settings, CorrectedSetIsWrittenBackOnlyWhenAValueWasMissing)
{
    struct Case {
        bool complete;
        DWORD logSize, corrected;
    } cases[] = {{true, 20, 40}, {false, 123456, 10000}};
    for (const Case &c : cases) {
        DeleteKey();
        for (auto &kv : kDefaults)
            if (c.complete || kv.first != "XConClip")
                SetValue(kv.first.c_str(), kv.second);
        SetValue("Language", 5);
        SetValue("LogFileSize", c.logSize);
        SetValue("SaveOnExit", 0);
        ASSERT_TRUE(LoadSettings());
        EXPECT_EQ(g_viewer.settings.v[SET_LANGUAGE], 1u);
        EXPECT_EQ(g_viewer.settings.v[SET_LOG_FILE_SIZE], c.corrected);
        auto values = ReadKey();
        EXPECT_EQ(values.size(), 9u);
        EXPECT_EQ(values["Language"], c.complete ? 5u : 1u);
        EXPECT_EQ(values["LogFileSize"], c.complete ? c.logSize : c.corrected);
        EXPECT_EQ(values["XConClip"], 360u);
        EXPECT_EQ(values["SaveOnExit"], 0u);
    }
}

TEST_F(Settings, OversizedValueFallsBackToDefaultWithoutOverrun)
{
    for (auto &kv : kDefaults)
        SetValue(kv.first.c_str(), kv.second);
    BYTE big[64];
    memset(big, 0x11, sizeof(big));
    SetValue("XConClip", 0, REG_BINARY, big, sizeof(big));
    ASSERT_TRUE(LoadSettings());
    EXPECT_EQ(g_viewer.settings.v[SET_X_CON_CLIP], 360u);
    EXPECT_EQ(g_viewer.settings.v[SET_Y_CON_CLIP], (DWORD)-7);
}

TEST_F(Settings, SaveWithoutAllValuesWritesOnlySaveOnExit)
{
    SettingsSetDefaults(&g_viewer.settings);
    g_viewer.settings.v[SET_SAVE_ON_EXIT] = 0;
    ASSERT_TRUE(SaveSettings(NULL, 0));
    auto values = ReadKey();
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values["SaveOnExit"], 0u);
    ASSERT_TRUE(SaveSettings(NULL, 1));
    EXPECT_EQ(ReadKey().size(), 9u);
}

} // namespace
