// The plain rules under the shell's widgets: the navigation bar's folders and
// hit tests, the progress bar's geometry, the recent-file list, the saved
// placement, the Settings form, the tips file and the operating-system text.
#include <gtest/gtest.h>

#include <thread>

#include "app/shell/label_contrast.h"
#include "app/shell/navigation_bar_model.h"
#include "app/shell/os_text.h"
#include "app/shell/progress_geometry.h"
#include "app/shell/recent_file_list.h"
#include "app/shell/settings_form_rules.h"
#include "app/shell/tips_reader.h"
#include "app/shell/window_placement.h"
#include "common/temp_dir.h"

namespace velk::shell {
namespace {

using Hit = NavigationBarModel::Hit;
using Kind = NavigationBarModel::HitKind;

NavigationBarModel twoFolders() {
    NavigationBarModel m;
    m.addFolder("Test");
    m.addFolder("Results");
    for (const char* label : {"Recorder", "Editor", "Runner"}) m.addItem(0, 9, label, 0);
    for (const char* label : {"Text Report", "Graphs", "Batch Run Graphs"})
        m.addItem(1, 9, label, 0);
    return m;
}

TEST(NavigationBarModel, OpenFolderButtonsStackAtTopAndTheRestAtTheBottom) {
    NavigationBarModel m = twoFolders();
    EXPECT_EQ(m.openFolder(), 0);
    EXPECT_EQ(m.folder(0).items[2].label, "Runner");
    EXPECT_EQ(m.folderButtonRect(0, 100, 400), (NavigationBarRect{0, 0, 100, 22}));
    EXPECT_EQ(m.folderButtonRect(1, 100, 400), (NavigationBarRect{0, 378, 100, 400}));
    EXPECT_EQ(m.hitTest(50, 390, 100, 400, 14), (Hit{Kind::kFolder, 1}));
    EXPECT_FALSE(m.selectFolder(0));
    EXPECT_TRUE(m.selectFolder(1));
    EXPECT_EQ(m.folderButtonRect(1, 100, 400), (NavigationBarRect{0, 22, 100, 44}));
    EXPECT_EQ(m.itemAreaRect(100, 400), (NavigationBarRect{0, 44, 100, 400}));
    EXPECT_FALSE(m.selectFolder(2));
    EXPECT_EQ(m.openFolder(), 1);
}

TEST(NavigationBarModel, ItemsAreHitOnIconOrLabelInBothIconSizes) {
    NavigationBarModel m = twoFolders();
    for (bool large : {true, false}) {
        m.setLargeIcons(large);
        for (int i = 0; i < 3; ++i) {
            const NavigationBarRect icon = m.iconRect(i, 100, 400, 14);
            const NavigationBarRect label = m.labelRect(i, 100, 400, 14);
            EXPECT_EQ(m.hitTest(icon.left + 1, icon.top + 1, 100, 400, 14), (Hit{Kind::kItem, i}));
            EXPECT_EQ(m.hitTest(label.left + 1, label.top + 1, 100, 400, 14),
                      (Hit{Kind::kItem, i}));
        }
        EXPECT_EQ(m.openFolder(), 0);  // the icon size keeps the open folder
        EXPECT_EQ(m.itemCount(), 3);
    }
    // An item cut off by a short bar is not clickable.
    m.setLargeIcons(true);
    const NavigationBarRect third = m.iconRect(2, 100, 120, 14);
    EXPECT_EQ(m.hitTest(third.left + 1, third.top + 1, 100, 120, 14), Hit{});
}

TEST(NavigationBarModel, RenameAndRemoveKeepAValidOpenFolder) {
    NavigationBarModel m = twoFolders();
    EXPECT_TRUE(m.renameItem(0, 1, "Edit"));
    EXPECT_FALSE(m.renameItem(0, 3, "x"));
    EXPECT_TRUE(m.renameFolder(1, "Output"));
    m.selectFolder(1);
    EXPECT_TRUE(m.removeFolder(0));
    EXPECT_EQ(m.openFolder(), 0);
    EXPECT_EQ(m.folder(0).name, "Output");
    EXPECT_TRUE(m.removeFolder(0));
    EXPECT_EQ(m.openFolder(), -1);
    EXPECT_EQ(m.hitTest(1, 1, 100, 400, 14), Hit{});
}

TEST(ProgressGeometry, BarFollowsTheLabelAndKeepsFortyPercent) {
    const BarRect pane{0, 0, 400, 20};
    struct Case {
        bool label;
        int labelWidth;
        BarRect expected;
    };
    const Case cases[] = {
        {false, 0, {0, 2, 160, 18}},     // empty label: from the pane's left edge
        {true, 80, {100, 2, 220, 18}},   // after the text plus four blanks (20)
        {true, 500, {400, 2, 400, 18}},  // a label wider than the pane: nothing left
    };
    for (const Case& c : cases)
        EXPECT_EQ(progressBarRect(pane, c.label, c.labelWidth, 20), c.expected) << c.labelWidth;
}

TEST(RecentFileList, NewestFirstEachOnceAtMostSeven) {
    RecentFileList list;
    for (int i = 1; i <= 9; ++i) list.add("/s/" + std::to_string(i) + ".vts");
    ASSERT_EQ(list.files().size(), 7u);
    EXPECT_EQ(list.files().front(), "/s/9.vts");
    EXPECT_EQ(list.files().back(), "/s/3.vts");
    list.add("/s/5.vts");
    EXPECT_EQ(list.files()[0], "/s/5.vts");
    EXPECT_EQ(list.files().size(), 7u);
    list.remove("/s/5.vts");
    EXPECT_EQ(list.files()[0], "/s/9.vts");
    list.assign({"/a", "", "/a", "/b", "/c", "/d", "/e", "/f", "/g", "/h"});
    EXPECT_EQ(list.files(), (std::vector<std::string>{"/a", "/b", "/c", "/d", "/e", "/f", "/g"}));
}

TEST(WindowPlacement, StoredRectangleIsParsedStrictly) {
    EXPECT_EQ(parseWindowRect("10,20,800,600"), (PlacementRect{10, 20, 800, 600}));
    EXPECT_EQ(parseWindowRect("-1200,-5,-100,700"), (PlacementRect{-1200, -5, -100, 700}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "a,b,c,d", "10,10,5,5", "1, 2,3,4",
                            "0,0,99999999999,10", "1,2,3,4x"})
        EXPECT_FALSE(parseWindowRect(bad)) << bad;
    EXPECT_EQ(formatWindowRect({1, 2, 3, 4}), "1,2,3,4");
}

TEST(WindowPlacement, MinimizedRestoresNormalAndLostMonitorsAreLeft) {
    EXPECT_EQ(restoredShowState(kShowMinimized), kShowNormal);
    EXPECT_EQ(restoredShowState(kShowMaximized), kShowMaximized);
    EXPECT_EQ(restoredShowState(77), kShowNormal);
    const PlacementRect screen{0, 0, 1280, 800};
    // On the screen: kept.
    EXPECT_EQ(fitOntoScreen({100, 100, 900, 700}, screen, 765, 550),
              (PlacementRect{100, 100, 900, 700}));
    // On a monitor to the right that is gone: moved in, size kept.
    EXPECT_EQ(fitOntoScreen({2000, 100, 2800, 700}, screen, 765, 550),
              (PlacementRect{480, 100, 1280, 700}));
    // Above the screen (title bar unreachable): moved down.
    EXPECT_EQ(fitOntoScreen({100, -400, 900, 200}, screen, 765, 550),
              (PlacementRect{100, 0, 900, 600}));
    // Too small: grown to the minimum size.
    EXPECT_EQ(fitOntoScreen({10, 10, 20, 20}, screen, 765, 550), (PlacementRect{10, 10, 775, 560}));
    EXPECT_EQ(centred(screen, 765, 550), (PlacementRect{257, 125, 1022, 675}));
    EXPECT_EQ(centred({0, 0, 700, 500}, 765, 550), (PlacementRect{0, 0, 765, 550}));
}

TEST(SettingsFormRules, EnablingFollowsProxyAuthenticationAndSocks4) {
    struct Case {
        bool proxy, auth;
        int type;
        SettingsEnabling expected;
    };
    const Case cases[] = {{false, true, 0, {false, false, false}},
                          {true, false, 0, {true, true, false}},
                          {true, true, 3, {true, true, true}},
                          {true, true, 2, {true, false, false}}};
    for (const Case& c : cases) {
        const SettingsEnabling e = settingsEnabling(c.proxy, c.auth, c.type);
        EXPECT_EQ(e.proxyFields, c.expected.proxyFields);
        EXPECT_EQ(e.authCheck, c.expected.authCheck);
        EXPECT_EQ(e.authFields, c.expected.authFields);
    }
}

TEST(SettingsFormRules, FirstFailingCheckNamesItsField) {
    using V = velk::settings::GlobalSettings::Values;
    V v;
    v.useProxy = true;
    v.proxyAuth = true;
    EXPECT_EQ(checkSettings(v, false).field, SettingsField::kTimeout);
    EXPECT_EQ(checkSettings(v, true).message, "The server name cannot be empty.");
    v.proxyServer = "proxy";
    EXPECT_EQ(checkSettings(v, true).message, "The server port cannot be empty.");
    v.proxyPort = 70000;  // above 65535 is accepted here
    EXPECT_EQ(checkSettings(v, true).message, "The user name cannot be empty.");
    v.proxyUser = "me";
    EXPECT_EQ(checkSettings(v, true).field, SettingsField::kPassword);
    v.proxyType = 2;  // SOCKS4: no authentication to check
    EXPECT_EQ(checkSettings(v, true).field, SettingsField::kNone);
    V off;  // no proxy: nothing about it is checked
    off.proxyAuth = true;
    EXPECT_EQ(checkSettings(off, true).field, SettingsField::kNone);
}

TEST(TipsReader, SkipsCommentsAndBlankLinesAndWrapsAround) {
    velk::test::TempDir dir;
    const std::string path =
        dir.write("Tips.txt", "; comment\nFirst tip.\r\n\tindented\n\n second\nSecond tip.\n");
    TipsReader reader;
    ASSERT_EQ(reader.open(path, "", 0), TipsReader::Status::kOk);
    EXPECT_EQ(reader.next(), "First tip.");
    EXPECT_EQ(reader.next(), "Second tip.");
    EXPECT_EQ(reader.next(), "First tip.");
    // The stored position is used while the file's time is the same...
    const long long pos = reader.position();
    const std::string stamp = reader.timeStamp();
    TipsReader again;
    ASSERT_EQ(again.open(path, stamp, pos), TipsReader::Status::kOk);
    EXPECT_EQ(again.next(), "Second tip.");
    // ...and not when the file changed.
    TipsReader changed;
    ASSERT_EQ(changed.open(path, "another time", pos), TipsReader::Status::kOk);
    EXPECT_EQ(changed.next(), "First tip.");
    TipsReader bad;
    EXPECT_EQ(bad.open(path, stamp, 1 << 30), TipsReader::Status::kTrouble);
    EXPECT_EQ(bad.next(), "First tip.");
    TipsReader missing;
    EXPECT_EQ(missing.open(dir.file("none.txt"), "", 0), TipsReader::Status::kMissing);
    EXPECT_EQ(missing.next(), std::nullopt);
    TipsReader onlyComments;
    ASSERT_EQ(onlyComments.open(dir.write("c.txt", ";a\n\n ;b\n"), "", 0), TipsReader::Status::kOk);
    EXPECT_EQ(onlyComments.next(), std::nullopt);
}

TEST(OsText, KernelReleaseAndDistribution) {
    EXPECT_EQ(prettyNameOf("NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
              "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(prettyNameOf("PRETTY_NAME=Plain\r\n"), "Plain");
    EXPECT_EQ(prettyNameOf("PRETTY_NAME='It\\'s'\n"), "It's");
    EXPECT_EQ(prettyNameOf("NAME=x\n"), "");
    EXPECT_EQ(composeOsText("Linux", "6.1.0", "Debian"), "Linux 6.1.0 (Debian)");
    EXPECT_EQ(composeOsText("Linux", "6.1.0", ""), "Linux 6.1.0");
    EXPECT_EQ(operatingSystemText().rfind("Linux", 0), 0u);
}

TEST(LabelContrast, TextOnAnyBackgroundReachesFourAndAHalfToOne) {
    // The guidelines' own end points, then the light grey of the bar and a
    // sweep of greys and colours, the worst case among them a mid grey.
    EXPECT_NEAR(contrastRatio({0, 0, 0}, {255, 255, 255}), 21.0, 1e-9);
    EXPECT_NEAR(contrastRatio({119, 119, 119}, {255, 255, 255}), 4.48, 0.01);
    EXPECT_LT(contrastRatio({255, 255, 255}, {160, 160, 160}), 3.0);  // the old white on grey
    EXPECT_EQ(readableTextOn({160, 160, 160}), (Rgb{0, 0, 0}));
    EXPECT_EQ(readableTextOn({40, 40, 60}), (Rgb{255, 255, 255}));
    for (int r = 0; r < 256; r += 15)
        for (int g = 0; g < 256; g += 15)
            for (int b = 0; b < 256; b += 15) {
                const Rgb background{r, g, b};
                EXPECT_GE(contrastRatio(readableTextOn(background), background), 4.5)
                    << r << "," << g << "," << b;
            }
    EXPECT_EQ(blend({200, 200, 200}, {0, 0, 0}, 0), (Rgb{200, 200, 200}));
    EXPECT_EQ(blend({200, 200, 200}, {0, 0, 0}, 255), (Rgb{0, 0, 0}));
}

}  // namespace
}  // namespace velk::shell
