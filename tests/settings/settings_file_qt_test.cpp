// The settings file and QSettings share one INI file: values written by either
// read back the same through the other, and neither loses the other's groups.
#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include "app/settings/settings_file.h"
#include "common/temp_dir.h"

namespace velk::settings {
namespace {

const char* const kAwkward[] = {
    "",
    "plain",
    "s3cret, with = signs; and spaces",
    " leading and trailing ",
    "quote \" and back\\slash",
    "@at the start",
    "J\xc3\xa9r\xc3\xb4me \xe2\x82\xac",
    "tab\there\nnew line",
    "\x01"
    "abc",
};

TEST(SettingsFile, WhatQSettingsWritesReadsTheSameAndBack) {
    velk::test::TempDir dir;
    const std::string path = dir.file("VELK.conf");
    {
        QSettings qt(QString::fromStdString(path), QSettings::IniFormat);
        qt.setValue("Window/Geometry", QByteArray("\x01\x02 binary", 9));
        qt.setValue("Recent/File1", "/tmp/a, b.vts");
        qt.beginGroup("Settings");
        for (size_t i = 0; i < std::size(kAwkward); ++i)
            qt.setValue(QString("S%1").arg(i), QString::fromUtf8(kAwkward[i]));
        qt.setValue("Timeout", 45);
        qt.endGroup();
        qt.sync();
        ASSERT_EQ(qt.status(), QSettings::NoError);
    }
    SettingsFile file(path);
    ASSERT_TRUE(file.open(true));
    for (size_t i = 0; i < std::size(kAwkward); ++i) {
        const std::string key = "S" + std::to_string(i);
        EXPECT_EQ(file.readString(key).value_or("<missing>"), kAwkward[i]) << key;
        // Written back by us, in a new key, so QSettings reads ours below.
        file.writeString("T" + std::to_string(i), kAwkward[i]);
    }
    EXPECT_EQ(file.readInt("Timeout"), 45);
    file.writeInt("Timeout", -7);
    ASSERT_TRUE(file.close());

    QSettings qt(QString::fromStdString(path), QSettings::IniFormat);
    EXPECT_EQ(qt.value("Window/Geometry").toByteArray(), QByteArray("\x01\x02 binary", 9));
    EXPECT_EQ(qt.value("Recent/File1").toString(), "/tmp/a, b.vts");
    qt.beginGroup("Settings");
    for (size_t i = 0; i < std::size(kAwkward); ++i)
        EXPECT_EQ(qt.value(QString("T%1").arg(i)).toString().toStdString(), kAwkward[i]) << i;
    EXPECT_EQ(qt.value("Timeout").toInt(), -7);
}

}  // namespace
}  // namespace velk::settings
