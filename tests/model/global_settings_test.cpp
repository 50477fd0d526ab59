#include "app/settings/global_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <variant>

namespace velk::settings {
namespace {

// A store in memory that records the order of reads and writes.
class MemoryStore : public SettingsBackend {
public:
    std::map<std::string, std::variant<int32_t, std::string>, std::less<>> values;
    bool exists = true;
    bool canCreate = true;
    std::vector<std::string> reads, writes;

    bool open(bool create) override {
        if (!exists && create && canCreate) exists = true;
        return exists;
    }
    std::optional<int32_t> readInt(std::string_view name) override {
        reads.emplace_back(name);
        auto it = values.find(name);
        if (it == values.end() || !std::holds_alternative<int32_t>(it->second)) return std::nullopt;
        return std::get<int32_t>(it->second);
    }
    std::optional<std::string> readString(std::string_view name) override {
        reads.emplace_back(name);
        auto it = values.find(name);
        if (it == values.end() || !std::holds_alternative<std::string>(it->second))
            return std::nullopt;
        return std::get<std::string>(it->second);
    }
    void writeInt(std::string_view name, int32_t value) override {
        writes.emplace_back(name);
        values[std::string(name)] = value;
    }
    void writeString(std::string_view name, std::string_view value) override {
        writes.emplace_back(name);
        values[std::string(name)] = std::string(value);
    }
    bool close() override { return true; }
};

TEST(GlobalSettings, ProxyAddressOfEveryType) {
    struct Case {
        int32_t type;
        bool auth;
        const char* address;
    } cases[] = {
        {0, false, "http://proxy.lan:1080"},
        {1, false, "httpc://proxy.lan:1080"},
        {2, true, "socks4://us@er:p:w@proxy.lan:1080"},
        {3, true, "socks5://us@er:p:w@proxy.lan:1080"},
        {3, false, "socks5://proxy.lan:1080"},
    };
    for (const Case& c : cases) {
        GlobalSettings s;
        GlobalSettings::Values v;
        v.proxyType = c.type;
        v.proxyAuth = c.auth;
        v.proxyServer = "proxy.lan";
        v.proxyPort = 1080;
        v.proxyUser = "us@er";
        v.proxyPassword = "p:w";
        ASSERT_TRUE(s.setValues(v));
        EXPECT_EQ(s.proxyAddress(), c.address);
    }
    EXPECT_STREQ(GlobalSettings::proxyTypeName(1), "HTTPS");
    EXPECT_STREQ(GlobalSettings::proxyTypeName(4), "");
}

TEST(GlobalSettings, AProxyTypeOutsideTheListIsRefused) {
    GlobalSettings s;
    GlobalSettings::Values v;
    v.proxyType = 4;
    v.timeout = 1;
    EXPECT_FALSE(s.setValues(v));
    EXPECT_EQ(s.timeout(), 120);
}

TEST(GlobalSettings, SaveWritesEveryValueInItsOrderAndLoadReadsThemBack) {
    GlobalSettings s;
    GlobalSettings::Values v;
    v.timeout = 30;
    v.useProxy = true;
    v.proxyServer = "p";
    v.proxyType = 2;
    v.proxyPort = 3128;
    v.proxyAuth = true;
    v.proxyUser = "u";
    v.proxyPassword = "pw";
    v.httpVersion = 0;
    v.sslVersion = 0;
    v.promptRecording = false;
    v.startRecording = true;
    ASSERT_TRUE(s.setValues(v));
    MemoryStore store;
    store.exists = false;
    ASSERT_TRUE(s.save(store));
    EXPECT_EQ(store.writes, (std::vector<std::string>{
                                "UseProxy", "ProxyType", "ProxyPort", "ProxyServer", "ProxyAuth",
                                "ProxyUser", "ProxyPassword", "Timeout", "PromptRecording",
                                "StartRecording", "HTTPVersion", "SSLVersion"}));
    GlobalSettings loaded;
    int read = 0;
    ASSERT_TRUE(loaded.load(store, &read));
    EXPECT_EQ(read, 12);
    EXPECT_EQ(store.reads, (std::vector<std::string>{
                               "StartRecording", "PromptRecording", "UseProxy", "ProxyType",
                               "ProxyServer", "ProxyPort", "ProxyAuth", "ProxyUser",
                               "ProxyPassword", "Timeout", "HTTPVersion", "SSLVersion"}));
    EXPECT_EQ(loaded.proxyAddress(), "socks4://u:pw@p:3128");
    EXPECT_EQ(loaded.timeout(), 30);
    EXPECT_EQ(loaded.httpVersion(), 0);
    EXPECT_FALSE(loaded.values().promptRecording);
}

TEST(GlobalSettings, LoadStopsAtTheFirstValueItCannotRead) {
    struct Case {
        const char* what;
        std::map<std::string, std::variant<int32_t, std::string>, std::less<>> values;
        int read;
        int32_t timeout;
        bool startRecording, promptRecording;
    } cases[] = {
        {"only the recorder values",
         {{"StartRecording", 1}, {"PromptRecording", 0}},
         2,
         120,
         true,
         false},
        {"a text where a number belongs",
         {{"StartRecording", 1},
          {"PromptRecording", 1},
          {"UseProxy", std::string("yes")},
          {"Timeout", 5}},
         2,
         120,
         true,
         true},
        {"a proxy type outside the list",
         {{"StartRecording", 0},
          {"PromptRecording", 1},
          {"UseProxy", 0},
          {"ProxyType", 9},
          {"Timeout", 5}},
         3,
         120,
         false,
         true},
        {"nothing", {}, 0, 120, false, true},
    };
    for (const Case& c : cases) {
        MemoryStore store;
        store.values = c.values;
        GlobalSettings s;
        int read = -1;
        EXPECT_FALSE(s.load(store, &read)) << c.what;
        EXPECT_EQ(read, c.read) << c.what;
        EXPECT_EQ(s.timeout(), c.timeout) << c.what;
        EXPECT_EQ(s.values().startRecording, c.startRecording) << c.what;
        EXPECT_EQ(s.values().promptRecording, c.promptRecording) << c.what;
        EXPECT_EQ(s.values().proxyType, 0) << c.what;
    }
}

TEST(GlobalSettings, AStoreThatCannotBeOpenedChangesNothing) {
    MemoryStore store;
    store.exists = false;
    store.canCreate = false;
    store.values["Timeout"] = 5;
    GlobalSettings s;
    EXPECT_FALSE(s.load(store));
    EXPECT_TRUE(store.reads.empty());
    EXPECT_FALSE(s.save(store));
    EXPECT_TRUE(store.writes.empty());
}

}  // namespace
}  // namespace velk::settings
