// Renders the Verify Scenario dialog of a replay that differs from its
// recording, at its size of 900 pixels, into the PNG file named on the
// command line, for a person to look at (long titles and redirects included).
//   QT_QPA_PLATFORM=offscreen verify_screenshot docs/screenshots/verify.png
#include <QApplication>
#include <QPixmap>
#include <QTest>
#include <cstdio>

#include "gui/recorder/verify_dialog.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: verify_screenshot FILE.png\n");
        return 2;
    }
    QApplication app(argc, argv);
    velk::runner::VerifyReport report;
    const char* const names[] = {"home", "login", "account", "search"};
    for (int i = 0; i < 4; ++i) {
        velk::runner::VerifyRow row;
        row.request = names[i];
        row.recorded = velk::scenario::RecordedOutcome{
            200, i == 1 ? "/account/overview/with/a/long/path" : "",
            "Demo shop - a page title that runs on for a while", 4096};
        row.replayed.name = names[i];
        row.replayed.status = i == 1 ? 200 : 200;
        row.replayed.location = "";
        row.replayed.title = i == 1 ? "Log in to the demo shop - your session has expired"
                                    : "Demo shop - a page title that runs on for a while";
        row.replayed.size = 4100;
        if (i == 1) row.differences = {"redirect", "title"};
        report.rows.push_back(row);
    }
    velk::recorder::VerifyDialog dialog(report);
    dialog.show();
    QTest::qWait(300);
    return dialog.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
