#pragma once
// The "About VELK" box: the emblem, what the program is, its version line and
// the web site as a link that opens in the user's browser.
#include <QDialog>

namespace velk::shell {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace velk::shell
