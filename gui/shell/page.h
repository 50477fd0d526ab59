#pragma once
// Page: one of the six pages of the main window (recorder, editor, runner,
// report, graphs, batch run graphs).  One page is shown at a time; the main
// window tells a page when it is shown, when it is about to be hidden, and when
// the document was replaced, so that pages read from and write to the one open
// scenario at the right moments.
#include <QWidget>

namespace velk::shell {

class Page : public QWidget {
    Q_OBJECT
public:
    explicit Page(QWidget* parent = nullptr) : QWidget(parent) {}

    // The page becomes the shown one: reload what it shows from the document.
    virtual void activatePage() {}
    // Another page is about to be shown: keep the edits in the document.
    virtual void deactivatePage() {}
    // The document was replaced (new or open): drop what the page shows.
    virtual void resetPage() {}
};

}  // namespace velk::shell
