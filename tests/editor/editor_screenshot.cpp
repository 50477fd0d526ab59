// Renders the editor page with a scenario loaded into a PNG file, for the
// README:  editor_screenshot scenario.vts out.png [dialog.png]
// The parameter dialog, on the shown request's first parameter, goes into
// dialog.png when it is given.
#include <QApplication>
#include <QPixmap>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>

#include "app/scenario/scenario_document.h"
#include "gui/editor/editor_page.h"
#include "gui/editor/param_dialog.h"
#include "gui/editor/request_options_panel.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: editor_screenshot scenario.vts out.png [dialog.png]\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    velk::scenario::ScenarioDocument document;
    document.newDocument();
    if (const velk::Status opened = document.open(argv[1]); !opened) {
        std::fprintf(stderr, "editor_screenshot: %s\n", opened.message().c_str());
        return 1;
    }
    velk::editor::EditorPage view(document);
    view.resize(765, 550);
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
    if (argc > 3) {
        velk::editor::RequestOptionsPanel* form = view.requestOptions();
        form->setDialogRunner([&](velk::editor::ParamDialog& dialog) {
            dialog.show();
            QApplication::processEvents();
            if (!dialog.grab().save(QString::fromLocal8Bit(argv[3])))
                std::fprintf(stderr, "editor_screenshot: cannot write %s\n", argv[3]);
            return int(QDialog::Rejected);
        });
        QTreeWidget* params = form->parameterList();
        if (params->topLevelItemCount() > 0) {
            params->setCurrentItem(params->topLevelItem(0));
            form->editParameterButton()->click();
        }
    }
    return 0;
}
