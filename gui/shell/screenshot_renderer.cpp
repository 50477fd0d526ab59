#include "gui/shell/screenshot_renderer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QThread>

#include "app/settings/global_settings.h"
#include "app/settings/settings_file.h"
#include "app/shell/program_data.h"
#include "gui/shell/about_dialog.h"
#include "gui/shell/main_window.h"
#include "gui/shell/navigation_bar.h"
#include "gui/shell/settings_dialog.h"
#include "gui/shell/tip_dialog.h"

namespace velk::shell {
namespace {

// Lets layouts, repaints and the navigation bar's animation finish (bounded).
void settle(MainWindow& frame) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    } while ((frame.navigationBar()->isAnimating() || clock.elapsed() < 200) &&
             clock.elapsed() < 3000);
}

}  // namespace

bool renderScreenshots(MainWindow& frame, const QString& directory) {
    QDir().mkpath(directory);
    bool ok = true;
    const QSize sizes[] = {QSize(765, 550), QSize(1280, 800)};
    for (const QSize& size : sizes) {
        frame.showNormal();
        frame.resize(size);
        for (int page = 1; page <= MainWindow::kPageCount; ++page) {
            frame.showPage(page);
            settle(frame);
            const QString name = QStringLiteral("%1/main-%2x%3-page%4.png")
                                     .arg(directory)
                                     .arg(size.width())
                                     .arg(size.height())
                                     .arg(page);
            ok = frame.grab().save(name) && ok;
        }
    }
    // The dialogs, as the user meets them.
    auto saveDialog = [&](QWidget& dialog, const char* name) {
        dialog.show();
        QCoreApplication::processEvents();
        ok = dialog.grab().save(QStringLiteral("%1/%2.png").arg(directory, name)) && ok;
        dialog.hide();
    };
    TipDialog tip(QString::fromStdString(programDataPath("Tips.txt")), &frame);
    saveDialog(tip, "tip-of-the-day");
    AboutDialog about(&frame);
    saveDialog(about, "about");
    velk::settings::SettingsFile store;
    SettingsDialog settings(velk::settings::GlobalSettings::shared(), store, &frame);
    saveDialog(settings, "settings");
    return ok;
}

}  // namespace velk::shell
