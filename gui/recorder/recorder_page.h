#pragma once
// RecorderPage: the recorder page.  The browser above, the list of the
// scenario's recorded requests below, with a split the user drags (the
// browser keeps at least 150 pixels, the list 50; the position is kept as
// "LastSplit" under "Layout/Recorder").  Above the browser: Back, Forward,
// Stop, the address box and Go.  Below the list: Delete (also the Delete key
// in the list) and Clear.
//
// The page owns the program's recording hook, which feeds the open scenario's
// request container; after each capture the list is rebuilt by a queued call
// and scrolled to the newest request.  User-interface thread only.
#include <QPointer>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

#include "app/recorder/correlation.h"
#include "app/recorder/recorder_hook.h"
#include "app/recorder/script_request.h"
#include "app/recorder/script_values.h"
#include "gui/shell/page.h"

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QToolButton;
class QTreeWidget;

namespace velk::scenario {
class ScenarioDocument;
}  // namespace velk::scenario

namespace velk::recorder {

class RecorderBrowser;

class RecorderPage : public shell::Page {
    Q_OBJECT
public:
    static constexpr int kMinBrowserHeight = 150;
    static constexpr int kMinListHeight = 50;
    static constexpr int kDefaultListHeight = 150;
    static constexpr int kMaxAddressLength = 1024;

    explicit RecorderPage(scenario::ScenarioDocument& document, QWidget* parent = nullptr);
    ~RecorderPage() override;

    RecorderHook& hook() { return m_hook; }
    scenario::ScenarioDocument& document() { return m_document; }
    RecorderBrowser* browser() const { return m_browser; }
    QLineEdit* addressBox() const { return m_address; }
    QTreeWidget* requestList() const { return m_list; }
    QSplitter* splitter() const { return m_splitter; }
    // Below the list: what the user must know about the recording.
    QLabel* notice() const { return m_notice; }
    // Below the list: what the page did that the recording does not hold
    // ("not recorded: ..."), one line each.
    QLabel* notRecordedNotice() const { return m_notRecorded; }
    // The hook feeds the document's requests again, with request numbers from
    // 1 when renumber is set (a new scenario).
    void reattach(bool renumber);
    // The browser shows an empty page.
    void blank();

    // A recording starts: what its pages give the browser is kept from here
    // on, and a scenario that has no requests yet checks its replays.
    void beginRecording();
    // The user stopped recording: the proposals dialog, when there is
    // something to show and the user has not turned it off; OK applies the
    // ticked proposals and the checks switch.
    void offerProposals();
    // Adds the requests of a HAR file to the scenario and offers their
    // proposals as a recording does.  False, after telling the user why, for
    // a file that cannot be read.
    bool importHar(const QString& path);
    // What the recorded requests sent and got back, in the scenario's order,
    // for the script-value proposals: the script requests with their
    // answers, the pages with their meta tags.
    std::vector<ScriptExchange> scriptExchanges() const;
    // The pages kept while recording, by request id.
    const std::vector<std::pair<int32_t, PageFacts>>& recordedPages() const { return m_pages; }
    // The script requests recorded, by request id, with their answers.
    const std::vector<std::pair<int32_t, ScriptRequest>>& recordedScripts() const {
        return m_scripts;
    }
    // Distinct "not recorded" lines shown; past it they are counted.
    static constexpr int kMaxNotRecordedLines = 6;
    // Bytes of the script requests' bodies and answers kept for the proposals
    // per recording; past it a call is kept without them, and the user told.
    static constexpr size_t kMaxKeptScriptBytes = size_t(32) << 20;
    // "ShowProposals" under "Recorder" in the settings store (default on).
    static bool showProposals();
    static void setShowProposals(bool show);

    void activatePage() override;
    void resetPage() override;

public slots:
    // Rebuilds the list from the container; then shows its last row.
    void refresh(bool scrollToEnd = false);
    void go();
    void deleteSelected();
    void clearAll();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The proposals dialog is about to be shown (tests answer it).
    void proposalsOffered(QDialog* dialog);

private:
    // The proposals dialog over these proposals and exchanges.
    void offer(std::vector<Proposal> proposals, const std::vector<ScriptExchange>& exchanges);
    void onPageRead(PageFacts facts);
    void onPageStatus(const QUrl& url, int status);
    void onScriptRecorded(const ScriptRequest& request);
    void onNotRecorded(const QString& what, const QString& url);
    // Keeps facts for the request with id and makes its recorded outcome.
    void keepPage(int32_t id, const PageFacts& facts);
    void updateButtons();
    void saveSplit();
    void restoreSplit();

    scenario::ScenarioDocument& m_document;
    RecorderHook m_hook;
    RecorderBrowser* m_browser = nullptr;
    QLineEdit* m_address = nullptr;
    QToolButton* m_back = nullptr;
    QToolButton* m_forward = nullptr;
    QToolButton* m_stop = nullptr;
    QPushButton* m_go = nullptr;
    QSplitter* m_splitter = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_clear = nullptr;
    QLabel* m_notice = nullptr;
    QLabel* m_notRecorded = nullptr;
    QStringList m_notRecordedLines;
    int m_notRecordedMore = 0;
    std::vector<std::pair<int32_t, ScriptRequest>> m_scripts;
    size_t m_scriptBytes = 0;
    bool m_splitRestored = false;
    std::vector<std::pair<int32_t, PageFacts>> m_pages;
    // A load's status that came before its page's facts.
    std::optional<std::pair<QString, int>> m_pendingStatus;
};

}  // namespace velk::recorder
