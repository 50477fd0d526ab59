#include "gui/shell/document_controller.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/scenario/scenario_document.h"
#include "gui/shell/main_window.h"
#include "gui/shell/page.h"
#include "gui/shell/user_settings.h"

namespace velk::shell {
namespace {

const QString kFilter = QStringLiteral("VELK Scenario (*.vts)");
const QString kRecentGroup = QStringLiteral("Recent File List");
const QString kCaption = QStringLiteral("VELK");

}  // namespace

DocumentController::DocumentController(velk::scenario::ScenarioDocument& document,
                                       MainWindow& frame, QObject* parent)
    : QObject(parent), m_document(document), m_frame(frame) {
    m_openDialog = [this] {
        return QFileDialog::getOpenFileName(&m_frame, QStringLiteral("Open"), QString(), kFilter);
    };
    m_saveDialog = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(&m_frame, QStringLiteral("Save As"), suggested,
                                            kFilter);
    };
    {
        const auto settings = openUserSettings();
        settings->beginGroup(kRecentGroup);
        std::vector<std::string> stored;
        for (int i = 1; i <= RecentFileList::kSize; ++i)
            stored.push_back(
                settings->value(QStringLiteral("File%1").arg(i)).toString().toStdString());
        m_recent.assign(stored);
    }
    m_frame.setRecentFiles(recentFiles());
    m_document.setChangeObserver([this] { refreshTitle(); });
    m_frame.setCloseGuard([this] { return saveModified(); });
    connect(m_frame.action(MainWindow::kNewScenario), &QAction::triggered, this,
            &DocumentController::newDocument);
    connect(m_frame.action(MainWindow::kOpenScenario), &QAction::triggered, this,
            &DocumentController::openWithDialog);
    connect(m_frame.action(MainWindow::kSaveScenario), &QAction::triggered, this,
            &DocumentController::save);
    connect(m_frame.action(MainWindow::kSaveScenarioAs), &QAction::triggered, this,
            &DocumentController::saveAs);
    connect(&m_frame, &MainWindow::recentFileRequested, this, &DocumentController::openDocument);
    refreshTitle();
}

void DocumentController::setFileDialogs(OpenDialog open, SaveDialog save) {
    m_openDialog = std::move(open);
    m_saveDialog = std::move(save);
}

QStringList DocumentController::recentFiles() const {
    QStringList list;
    for (const std::string& path : m_recent.files()) list << QString::fromStdString(path);
    return list;
}

QString DocumentController::windowTitle() const {
    return QString::fromStdString(m_document.title()) + QStringLiteral(" - VELK v2.0");
}

void DocumentController::refreshTitle() {
    m_frame.setWindowTitle(QString::fromStdString(m_document.title()) +
                           QStringLiteral("[*] - VELK v2.0"));
    m_frame.setWindowModified(m_document.isModified());
}

bool DocumentController::saveModified() {
    if (!m_document.isModified()) return true;
    const QString name = m_document.path().empty() ? QString::fromStdString(m_document.title())
                                                   : QString::fromStdString(m_document.path());
    const auto answer = QMessageBox::question(
        &m_frame, kCaption, QStringLiteral("Save changes to %1?").arg(name),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Cancel) return false;
    if (answer == QMessageBox::No) return true;
    return save();
}

bool DocumentController::newDocument() {
    if (!saveModified()) return false;
    emit aboutToReplaceDocument();
    m_document.newDocument();
    showFreshPage(MainWindow::kRecorderPage);
    emit documentReplaced();
    return true;
}

bool DocumentController::openWithDialog() {
    if (!saveModified()) return false;
    const QString path = m_openDialog();
    if (path.isEmpty()) return false;
    return openPrompted(path);
}

bool DocumentController::openDocument(const QString& path) {
    if (!saveModified()) return false;
    return openPrompted(path);
}

bool DocumentController::openPrompted(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    emit aboutToReplaceDocument();
    if (const velk::Status opened = m_document.open(absolute.toStdString()); !opened) {
        showError(opened.message());
        removeRecent(absolute);
        return false;
    }
    showFreshPage(MainWindow::kEditorPage);
    addRecent(absolute);
    refreshTitle();
    emit documentReplaced();
    return true;
}

void DocumentController::showFreshPage(int number) {
    m_frame.resetPages();
    // A page that is shown already is not shown again: tell it to read the new
    // document all the same.
    const bool shown = m_frame.shownPage() == number;
    m_frame.showPage(number);
    if (shown) m_frame.page(number)->activatePage();
}

bool DocumentController::save() {
    if (m_document.path().empty()) return saveAs();
    return saveTo(QString::fromStdString(m_document.path()));
}

bool DocumentController::saveAs() {
    const QString suggested = m_document.path().empty()
                                  ? QString::fromStdString(m_document.title()) + ".vts"
                                  : QString::fromStdString(m_document.path());
    QString path = m_saveDialog(suggested);
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".vts");
    return saveTo(QFileInfo(path).absoluteFilePath());
}

bool DocumentController::saveTo(const QString& path) {
    if (const velk::Status saved = m_document.saveAs(path.toStdString()); !saved) {
        showError(saved.message());
        return false;
    }
    addRecent(path);
    refreshTitle();
    return true;
}

void DocumentController::addRecent(const QString& path) {
    m_recent.add(path.toStdString());
    storeRecent();
}

void DocumentController::removeRecent(const QString& path) {
    m_recent.remove(path.toStdString());
    storeRecent();
}

void DocumentController::storeRecent() {
    const auto settings = openUserSettings();
    settings->beginGroup(kRecentGroup);
    settings->remove(QString());
    const auto& files = m_recent.files();
    for (size_t i = 0; i < files.size(); ++i)
        settings->setValue(QStringLiteral("File%1").arg(i + 1), QString::fromStdString(files[i]));
    m_frame.setRecentFiles(recentFiles());
}

void DocumentController::showError(const std::string& message) {
    QMessageBox::warning(&m_frame, kCaption, QString::fromStdString(message));
}

}  // namespace velk::shell
