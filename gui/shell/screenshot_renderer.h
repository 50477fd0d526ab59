#pragma once
// Renders the main window with each of its pages shown, at the smallest size
// (765 x 550) and at 1280 x 800, into PNG files "main-<w>x<h>-page<n>.png" of a
// directory.  scripts/screenshots.sh runs the program with VELK_SCREENSHOTS set
// to the directory, so the pictures show the program as it is wired.
#include <QString>

namespace velk::shell {

class MainWindow;

// True when every picture was written.
bool renderScreenshots(MainWindow& frame, const QString& directory);

}  // namespace velk::shell
