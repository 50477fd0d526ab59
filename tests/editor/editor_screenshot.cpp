// Renders the editor page with a scenario loaded into a PNG file, for the
// README:  editor_screenshot scenario.vts out.png [width height]
#include <QApplication>
#include <QPixmap>
#include <QTreeWidget>
#include <cstdio>

#include "editor_form_view.h"
#include "scenario_document.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: editor_screenshot scenario.vts out.png [width height]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    velk::model::ScenarioDocument document;
    document.newDocument();
    std::string error;
    if (!document.open(argv[1], error)) {
        std::fprintf(stderr, "editor_screenshot: %s\n", error.c_str());
        return 1;
    }
    velk::editor::CEditorFormView view(document);
    view.resize(argc > 4 ? std::atoi(argv[3]) : 765, argc > 4 ? std::atoi(argv[4]) : 550);
    view.show();
    view.activatePage();
    QTreeWidget* list = view.requestList();
    // The login request shows a parameter list worth seeing.
    const int row = list->topLevelItemCount() > 1 ? 1 : 0;
    if (row < list->topLevelItemCount()) {
        list->setCurrentItem(list->topLevelItem(row));
    }
    QApplication::processEvents();
    if (!view.grab().save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "editor_screenshot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
