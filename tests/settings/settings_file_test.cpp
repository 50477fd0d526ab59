#include "app/settings/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/settings/global_settings.h"
#include "common/temp_dir.h"

namespace velk::settings {
namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST(SettingsFile, SavedSettingsLoadBackAndOnlyTheOwnerCanReadThem) {
    velk::test::TempDir dir;
    const std::string file = dir.file("Orvantis/VELK.conf");
    GlobalSettings saved;
    GlobalSettings::Values v;
    v.timeout = 45;
    v.useProxy = true;
    v.proxyType = 3;
    v.proxyServer = "proxy.lan";
    v.proxyPort = 1080;
    v.proxyAuth = true;
    v.proxyUser = "me";
    v.proxyPassword = "s3cret, with = signs; and spaces";
    v.sslVersion = 0;
    ASSERT_TRUE(saved.setValues(v));
    {
        SettingsFile store(file);
        ASSERT_TRUE(saved.save(store));
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(dir.file("Orvantis")), 0700u);

    GlobalSettings loaded;
    SettingsFile store(file);
    int read = 0;
    ASSERT_TRUE(loaded.load(store, &read));
    EXPECT_EQ(read, 12);
    EXPECT_EQ(loaded.proxyAddress(), "socks5://me:s3cret, with = signs; and spaces@proxy.lan:1080");
    EXPECT_EQ(loaded.timeout(), 45);
    EXPECT_EQ(loaded.sslVersion(), 0);
}

TEST(SettingsFile, WhatTheFileHoldsDecidesWhatLoads) {
    struct Case {
        const char* what;
        const char* text;  // null: no file at all
        bool ok;
        int read;
        int32_t timeout;
    } cases[] = {
        {"no file", nullptr, false, 0, 120},
        {"no Settings group", "[Layout]\nx=1\n", false, 0, 120},
        {"only the recorder values", "[Settings]\nStartRecording=1\nPromptRecording=0\n", false, 2,
         120},
        {"a timeout that is no number",
         "[Settings]\nStartRecording=0\nPromptRecording=1\nUseProxy=0\nProxyType=0\nProxyServer="
         "\nProxyPort=0\n"
         "ProxyAuth=0\nProxyUser=\nProxyPassword=\nTimeout=soon\nHTTPVersion=1\nSSLVersion=1\n",
         false, 9, 120},
        {"everything",
         "[Settings]\nStartRecording=0\nPromptRecording=1\nUseProxy=0\nProxyType=0\nProxyServer="
         "\nProxyPort=0\n"
         "ProxyAuth=0\nProxyUser=\nProxyPassword=\nTimeout=9\nHTTPVersion=1\nSSLVersion=1\n",
         true, 12, 9},
    };
    for (const Case& c : cases) {
        velk::test::TempDir dir;
        const std::string file = dir.file("VELK.conf");
        if (c.text) dir.write("VELK.conf", c.text);
        GlobalSettings settings;
        SettingsFile store(file);
        int read = -1;
        EXPECT_EQ(settings.load(store, &read), c.ok) << c.what;
        EXPECT_EQ(read, c.read) << c.what;
        EXPECT_EQ(settings.timeout(), c.timeout) << c.what;
    }
}

TEST(SettingsFile, TheUsersStoreLivesUnderTheConfigDirectory) {
    SettingsFile store;
    EXPECT_TRUE(store.filePath().ends_with("/Orvantis/VELK.conf")) << store.filePath();
}

}  // namespace
}  // namespace velk::settings
