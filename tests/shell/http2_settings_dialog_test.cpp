// The Settings dialog's HTTP/2 choice, driven through its widgets: it sits next
// to the HTTP version, holds that at HTTP 1.1 while chosen, and OK stores it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTest>

#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "common/temp_dir.h"
#include "gui/shell/settings_dialog.h"

namespace velk::shell {
namespace {

using velk::settings::GlobalSettings;

TEST(SettingsDialogHttp2, ChoiceHoldsTheVersionAtHttp11AndIsStoredByOk) {
    velk::test::TempDir dir;
    GlobalSettings settings;
    velk::settings::SettingsFile store(dir.file("VELK.conf"));
    SettingsDialog dialog(settings, store);
    ASSERT_EQ(dialog.http2()->count(), 3);
    EXPECT_EQ(dialog.http2()->currentIndex(), 0);
    dialog.httpVersion()->setCurrentIndex(0);
    EXPECT_TRUE(dialog.httpVersion()->isEnabled());

    dialog.http2()->setCurrentIndex(2);
    EXPECT_FALSE(dialog.httpVersion()->isEnabled());
    EXPECT_EQ(dialog.httpVersion()->currentIndex(), 1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(settings.http2(), 2);
    EXPECT_EQ(settings.httpVersion(), 1);

    // The next dialog opens with what was stored, and Off gives the version back.
    SettingsDialog again(settings, store);
    EXPECT_EQ(again.http2()->currentIndex(), 2);
    again.http2()->setCurrentIndex(0);
    EXPECT_TRUE(again.httpVersion()->isEnabled());
    again.accept();
    EXPECT_EQ(settings.http2(), 0);

    GlobalSettings loaded;
    velk::settings::SettingsFile reread(dir.file("VELK.conf"));
    ASSERT_TRUE(loaded.load(reread));
    EXPECT_EQ(loaded.http2(), 0);
}

}  // namespace
}  // namespace velk::shell
