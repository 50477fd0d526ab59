#include "gui/recorder/recorder_page.h"

#include <sys/stat.h>

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/recorder/new_recording.h"
#include "app/recorder/request_list_rows.h"
#include "app/scenario/scenario_document.h"
#include "gui/recorder/capture_script.h"
#include "gui/recorder/recorder_browser.h"
#include "gui/shell/user_settings.h"

namespace velk::recorder {
namespace {

const QString kSplitGroup = QStringLiteral("Layout/Recorder");
const QString kSplitKey = QStringLiteral("LastSplit");

QToolButton* browserButton(QWebEnginePage* page, QWebEnginePage::WebAction which,
                           const QString& statusTip, const QString& toolTip, QWidget* parent) {
    QAction* action = page->action(which);
    action->setToolTip(toolTip);
    action->setStatusTip(statusTip);
    auto* button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

}  // namespace

RecorderPage::RecorderPage(scenario::ScenarioDocument& document, QWidget* parent)
    : Page(parent), m_document(document) {
    m_browser = new RecorderBrowser(m_hook, this);
    QWebEnginePage* page = m_browser->page();

    auto* bar = new QHBoxLayout;
    m_back = browserButton(page, QWebEnginePage::Back, tr("Back"), tr("Back"), this);
    m_forward = browserButton(page, QWebEnginePage::Forward, tr("Forward"), tr("Forward"), this);
    m_stop = browserButton(page, QWebEnginePage::Stop, tr("Stop navigation in the browser"),
                           tr("Stop"), this);
    m_address = new QLineEdit(this);
    m_address->setMaxLength(kMaxAddressLength);
    auto* addressLabel = new QLabel(tr("&Address:"), this);
    addressLabel->setBuddy(m_address);
    m_go = new QPushButton(tr("&Go"), this);
    m_go->setToolTip(tr("Go to URL"));
    for (QWidget* w : {static_cast<QWidget*>(m_back), static_cast<QWidget*>(m_forward),
                       static_cast<QWidget*>(m_stop)})
        bar->addWidget(w);
    bar->addWidget(addressLabel);
    bar->addWidget(m_address, 1);
    bar->addWidget(m_go);

    m_list = new QTreeWidget(this);
    m_list->setColumnCount(4);
    m_list->setHeaderLabels({tr("Name"), tr("URL"), tr("Data"), tr("Delay")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(false);
    const int initial[] = {100, 100, 100, 20};
    for (int c = 0; c < 4; ++c) m_list->setColumnWidth(c, initial[c]);
    m_list->installEventFilter(this);
    m_delete = new QPushButton(tr("&Delete"), this);
    m_clear = new QPushButton(tr("C&lear"), this);
    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_list, 1);
    // What the user must know about the recording (a POST without its body).
    m_notice = new QLabel(lower);
    m_notice->setWordWrap(true);
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notice->setStyleSheet(QStringLiteral("color: #8a1c00"));
    m_notice->hide();
    lowerLayout->addWidget(m_notice);
    m_notRecorded = new QLabel(lower);
    m_notRecorded->setWordWrap(true);
    m_notRecorded->setTextFormat(Qt::PlainText);
    m_notRecorded->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_notRecorded->setStyleSheet(QStringLiteral("color: #8a1c00"));
    m_notRecorded->hide();
    lowerLayout->addWidget(m_notRecorded);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_delete);
    buttons->addWidget(m_clear);
    lowerLayout->addLayout(buttons);
    lower->setMinimumHeight(kMinListHeight);
    m_browser->setMinimumHeight(kMinBrowserHeight);

    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->addWidget(m_browser);
    m_splitter->addWidget(lower);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(m_splitter, 1);

    connect(m_go, &QPushButton::clicked, this, &RecorderPage::go);
    connect(m_address, &QLineEdit::returnPressed, this, &RecorderPage::go);
    connect(m_delete, &QPushButton::clicked, this, &RecorderPage::deleteSelected);
    connect(m_clear, &QPushButton::clicked, this, &RecorderPage::clearAll);
    auto* deleteKey =
        new QShortcut(QKeySequence::Delete, m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, &RecorderPage::deleteSelected);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &RecorderPage::updateButtons);
    connect(m_splitter, &QSplitter::splitterMoved, this, &RecorderPage::saveSplit);
    connect(m_browser, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url) { m_address->setText(url.toString()); });
    connect(m_browser, &RecorderBrowser::postWithoutBody, this, [this](const QUrl& url) {
        m_notice->setText(tr("The POST to %1 was recorded without its body: the page sent it "
                             "without a form submission. Add its parameters in the editor.")
                              .arg(url.toString()));
        m_notice->show();
    });
    connect(m_browser, &RecorderBrowser::filesRecorded, this,
            [this](const QUrl& url, const QStringList& fields) {
                m_notice->setText(
                    tr("The form sent to %1 was recorded as multipart with its file fields (%2) "
                       "as File functions naming the files chosen: a page cannot give their "
                       "content, so put files of those names in the folder the test runs in, "
                       "or name others in the editor.")
                        .arg(url.toString(), fields.join(QStringLiteral(", "))));
                m_notice->show();
            });
    connect(m_browser, &RecorderBrowser::scriptRecorded, this, &RecorderPage::onScriptRecorded);
    connect(m_browser, &RecorderBrowser::notRecorded, this, &RecorderPage::onNotRecorded);
    connect(m_browser, &RecorderBrowser::pageRead, this, &RecorderPage::onPageRead);
    connect(m_browser, &RecorderBrowser::pageStatus, this, &RecorderPage::onPageStatus);
    connect(m_browser, &QWebEngineView::loadFinished, this, [this] {
        if (m_hook.isRecording()) m_document.setModified(true);
    });

    // Captures reach the container under the hook's lock; the list is rebuilt
    // later, from the event loop.
    QPointer<RecorderPage> self(this);
    m_hook.setNotifier([self] {
        if (self)
            QMetaObject::invokeMethod(self, "refresh", Qt::QueuedConnection, Q_ARG(bool, true));
    });
    reattach(false);
    refresh();
}

RecorderPage::~RecorderPage() {
    m_hook.clear(true);
    // The browser feeds the hook: it goes first, while the hook still exists.
    delete m_browser;
}

void RecorderPage::reattach(bool renumber) {
    if (renumber) RecorderHook::resetCounter();
    m_hook.attach(&m_document.scenario().requests());
}

void RecorderPage::blank() {
    m_browser->dropPending();
    m_browser->setUrl(QUrl(QStringLiteral("about:blank")));
}

void RecorderPage::beginRecording() {
    m_notice->hide();
    m_notRecorded->hide();
    m_notRecordedLines.clear();
    m_notRecordedMore = 0;
    m_scripts.clear();
    m_scriptBytes = 0;
    m_browser->resetScriptCount();
    m_pages.clear();
    m_pendingStatus.reset();
    // A new recording checks its replays and plays each iteration as a new visitor.
    prepareRecordingScenario(m_document.scenario());
}

void RecorderPage::onPageRead(PageFacts facts) {
    if (!m_hook.isRecording()) return;
    if (m_pendingStatus &&
        m_pendingStatus->first == normalisedUrl(QString::fromStdString(facts.url)))
        facts.status = m_pendingStatus->second;
    m_pendingStatus.reset();
    if (facts.cut) {
        m_notice->setText(tr("The page %1 holds more than %2 hidden fields or link values: only "
                             "the first %2 of each were looked at, so values past them are not "
                             "offered for replacement when recording stops.")
                              .arg(QString::fromStdString(facts.url))
                              .arg(kMaxPageItems));
        m_notice->show();
    }
    const scenario::CRequest* last = nullptr;
    auto& requests = m_document.scenario().requests();
    std::lock_guard<scenario::CRequestsContainer> g(requests);
    last = requests.lastRecorded();
    // A page that no recorded request led to (the one shown before recording
    // started) belongs to nothing.
    if (last) keepPage(last->getId(), facts);
}

void RecorderPage::onScriptRecorded(const ScriptRequest& request) {
    const QString url = QString::fromStdString(request.url);
    if (request.body == ScriptRequest::Body::kUnreadable ||
        request.body == ScriptRequest::Body::kTooLarge) {
        m_notice->setText(
            request.body == ScriptRequest::Body::kTooLarge
                ? tr("The %1 to %2 was recorded without its body: it was larger than %3 KiB. "
                     "Put it in a file and name it with $content in the editor.")
                      .arg(QString::fromStdString(request.method), url)
                      .arg(ScriptRequest::kMaxSent / 1024)
                : tr("The %1 to %2 was recorded without its body: the page's script sent it "
                     "in a form that cannot be read back (a Blob, a stream or binary data). "
                     "Add the body in the editor.")
                      .arg(QString::fromStdString(request.method), url));
        m_notice->show();
    }
    ScriptRequest kept = request;
    const size_t bytes = kept.text.size() + kept.answer.size();
    if (m_scriptBytes + bytes > kMaxKeptScriptBytes) {
        // The request is in the scenario; only what the proposals read is dropped.
        kept.text.clear();
        kept.answer.clear();
        onNotRecorded(tr("the answer, for the proposals (more than %1 MiB of answers), of")
                          .arg(kMaxKeptScriptBytes >> 20),
                      url);
    } else {
        m_scriptBytes += bytes;
    }
    auto& requests = m_document.scenario().requests();
    std::lock_guard<scenario::CRequestsContainer> g(requests);
    if (const scenario::CRequest* last = requests.lastRecorded())
        m_scripts.emplace_back(last->getId(), std::move(kept));
}

void RecorderPage::onNotRecorded(const QString& what, const QString& url) {
    if (!m_hook.isRecording()) return;
    // Addresses come from the page: shown as plain text, one line, bounded.
    QString where = url.left(200);
    where.replace(QRegularExpression(QStringLiteral("[\\x00-\\x1f\\x7f]")), QStringLiteral(" "));
    const QString line = tr("not recorded: %1 %2").arg(what, where);
    if (m_notRecordedLines.contains(line)) return;
    if (m_notRecordedLines.size() < kMaxNotRecordedLines)
        m_notRecordedLines << line;
    else
        ++m_notRecordedMore;
    QString text = m_notRecordedLines.join(QLatin1Char('\n'));
    if (m_notRecordedMore > 0)
        text += QLatin1Char('\n') + tr("not recorded: %n more", "", m_notRecordedMore);
    m_notRecorded->setText(text);
    m_notRecorded->show();
}

void RecorderPage::onPageStatus(const QUrl& url, int status) {
    if (!m_hook.isRecording()) return;
    const QString where = normalisedUrl(url.toString(QUrl::FullyEncoded));
    if (!m_pages.empty() && m_pages.back().second.status == 0 &&
        normalisedUrl(QString::fromStdString(m_pages.back().second.url)) == where) {
        PageFacts facts = m_pages.back().second;
        facts.status = status;
        std::lock_guard<scenario::CRequestsContainer> g(m_document.scenario().requests());
        keepPage(m_pages.back().first, facts);
        return;
    }
    m_pendingStatus.emplace(where, status);
}

void RecorderPage::keepPage(int32_t id, const PageFacts& facts) {
    auto& requests = m_document.scenario().requests();
    auto* node = requests.findNode(id);
    if (!node) return;
    node->request->setOutcome(outcomeOf(facts, "/" + node->request->getUri()));
    auto it = std::find_if(m_pages.begin(), m_pages.end(),
                           [id](const auto& page) { return page.first == id; });
    if (it != m_pages.end())
        it->second = facts;
    else
        m_pages.emplace_back(id, facts);
}

std::vector<ScriptExchange> RecorderPage::scriptExchanges() const {
    return recordedExchanges(m_document.scenario().requests(), m_scripts, m_pages);
}

void RecorderPage::activatePage() {
    refresh();
}

void RecorderPage::resetPage() {
    refresh();
}

void RecorderPage::refresh(bool scrollToEnd) {
    if (scrollToEnd && m_hook.isRecording()) m_document.setModified(true);
    const auto rows = requestRows(m_document.scenario().requests());
    m_list->setUpdatesEnabled(false);
    m_list->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(rows.size()));
    for (const RequestRow& row : rows) {
        auto* item = new QTreeWidgetItem(
            QStringList{QString::fromStdString(row.name), QString::fromStdString(row.url),
                        QString::fromStdString(row.data), QString::fromStdString(row.delay)});
        item->setData(0, Qt::UserRole, row.id);
        items.push_back(item);
    }
    m_list->addTopLevelItems(items);
    m_list->setUpdatesEnabled(true);
    if (scrollToEnd && !items.isEmpty()) m_list->scrollToItem(items.back());
    updateButtons();
}

void RecorderPage::go() {
    const QString text = m_address->text().trimmed();
    m_browser->setUrl(text.isEmpty() ? QUrl(QStringLiteral("about:blank"))
                                     : QUrl::fromUserInput(text));
}

void RecorderPage::deleteSelected() {
    std::vector<int32_t> ids;
    int lastRow = -1;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        if (!item->isSelected()) continue;
        ids.push_back(item->data(0, Qt::UserRole).toInt());
        lastRow = row;
    }
    if (ids.empty()) return;
    removeRequests(m_document.scenario(), ids);
    m_document.setModified(true);
    refresh();
    const int count = m_list->topLevelItemCount();
    if (count == 0) return;
    QTreeWidgetItem* next = m_list->topLevelItem(std::min(lastRow, count - 1));
    m_list->setCurrentItem(next);
    next->setSelected(true);
    m_list->setFocus();
}

void RecorderPage::clearAll() {
    if (QMessageBox::question(this, QStringLiteral("VELK"),
                              tr("Are you sure you want to clear the list of requests?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    clearRequests(m_document.scenario());
    refresh();
    m_document.setModified(true);
}

void RecorderPage::updateButtons() {
    m_delete->setEnabled(!m_list->selectedItems().isEmpty());
    m_clear->setEnabled(m_list->topLevelItemCount() > 0);
}

void RecorderPage::showEvent(QShowEvent* event) {
    Page::showEvent(event);
    if (!m_splitRestored) {
        m_splitRestored = true;
        restoreSplit();
    }
}

bool RecorderPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::Resize) {
        const auto widths = requestColumnWidths(m_list->width());
        for (int c = 0; c < 4; ++c) m_list->setColumnWidth(c, widths[size_t(c)]);
    }
    return Page::eventFilter(watched, event);
}

void RecorderPage::saveSplit() {
    auto settings = shell::openUserSettings();
    // The file also holds the proxy password: the owner's alone.
    const QFileInfo file(settings->fileName());
    if (!QFileInfo::exists(file.absolutePath()) && QDir().mkpath(file.absolutePath()))
        ::chmod(QFile::encodeName(file.absolutePath()).constData(), S_IRWXU);
    settings->setValue(kSplitGroup + QLatin1Char('/') + kSplitKey, m_splitter->sizes().value(0));
    settings->sync();
    ::chmod(QFile::encodeName(file.absoluteFilePath()).constData(), S_IRUSR | S_IWUSR);
}

void RecorderPage::restoreSplit() {
    const QVariant value =
        shell::openUserSettings()->value(kSplitGroup + QLatin1Char('/') + kSplitKey);
    bool ok = false;
    const int top = value.toString().trimmed().toInt(&ok);
    const int total = m_splitter->sizes().value(0) + m_splitter->sizes().value(1);
    if (!value.isValid() || !ok || top < 0) {
        // The browser is what the user works in: the list starts small.
        m_splitter->setSizes(
            {std::max(kMinBrowserHeight, total - kDefaultListHeight), kDefaultListHeight});
        return;
    }
    const int browser =
        std::clamp(top, kMinBrowserHeight, std::max(kMinBrowserHeight, total - kMinListHeight));
    m_splitter->setSizes({browser, std::max(kMinListHeight, total - browser)});
}

}  // namespace velk::recorder
